#!/usr/bin/env bash
# gadgetkit shows exactly its eight functions, versioned: seven plain names
# and the print hook under its decorated name.
set -u
expected=$(printf '%s\n' ComposeMMS GetBColorvalue GetGColorvalue GetRColorvalue OLBluetoothStatus OLColorDlg \
  OLPrintDlg _Z13PrintHookProcPvjji | sort)
# Each under the version node GADGETKIT_0.
expected=$(sed 's/$/@@GADGETKIT_0/' <<<"$expected")
actual=$(nm -D --defined-only "$1" | awk '$2 == "T" {print $3}' | sort)
if [ "$actual" != "$expected" ]; then
  diff <(echo "$expected") <(echo "$actual")
  exit 1
fi
echo "gadgetkit exports as expected"
