#!/usr/bin/env bash
# The shared library shows exactly its interface, under its version node: the
# C functions unmangled, the zr_gen classes (with type information, so callers
# can catch the exception pointers), the drawing classes and functions, and
# nothing of the platform layer.
set -u
lib="$1"
status=0
# Every exported symbol carries the version node NOTESTORE_0 (only the node
# itself is absolute); the checks below read the plain names.
unversioned=$(nm -D --defined-only "$lib" | awk '$2 != "A" && $3 !~ /@@NOTESTORE_0$/' | head -5)
if [ -n "$unversioned" ]; then echo "without the version node NOTESTORE_0:"; echo "$unversioned"; status=1; fi
symbols=$(nm -D --defined-only "$lib" | sed 's/@@NOTESTORE_0$//')
demangled=$(nm -DC --defined-only "$lib" | sed 's/@@NOTESTORE_0$//')

expect() {  # pattern, description, text
  if ! grep -qE "$1" <<<"$3"; then echo "missing: $2"; status=1; fi
}
refuse() {
  local hits
  hits=$(grep -E "$1" <<<"$3" | head -5)
  if [ -n "$hits" ]; then echo "must not be exported ($2):"; echo "$hits"; status=1; fi
}

for f in ZR_Trace zr_AssertFailedLine zr_CVIsValidAddress MemAlloc MemFree MemGetPtr MemReleasePtr MemRealloc MemDuplicate MemGetSize; do
  expect " T $f\$" "$f (unmangled)" "$symbols"
done
# Every function notestore.h declares, by its plain name.
header="$(dirname "$0")/../notestore/include/notestore.h"
mapfile -t flat < <(grep -oE '^OL_API [^(]*\(' "$header" | grep -oE '[A-Za-z_][A-Za-z0-9_]*\($' | tr -d '(')
[ ${#flat[@]} -gt 150 ] || { echo "notestore.h lists only ${#flat[@]} functions"; status=1; }
for f in "${flat[@]}"; do
  expect " T $f\$" "$f (unmangled)" "$symbols"
done
# The bitmap bridge, for the managed caller.
for f in BitmapToDIB DIBToBitmap ConvertDIBtoBitmap OL_DeleteGraphicsObject; do
  expect " T $f\$" "$f (unmangled)" "$symbols"
done
# The drawing classes and functions, which stand outside the namespace.
for c in CCompression CDib; do
  expect " $c::" "members of $c" "$demangled"
done
drawing=(
  CopyHandle IsInfoHeader DIBWidth DIBHeight DIBBitCount DIBNumColors PaletteSize FindDIBBits
  CreateDIB ReadDIBFile SaveDIB ShrinkDIB ClipDIB ResizeDIB CreateDIBPalette CreateHalftonePalette
  PalEntriesOnDevice ConvertDibToInternalFormat ConvertInternalFormatToDib
)
for f in "${drawing[@]}"; do
  expect " T $f\(" "$f" "$demangled"
done
for c in CException CDBException CFileException CFile MemFile SharedFile CFileStream CBaseObject CTime _String COutlineDB COutlineRecord CSharedHeader CPrivateOutlineHeader; do
  expect " zr_gen::$c::" "members of zr_gen::$c" "$demangled"
done
for c in CException CDBException CFileException; do
  expect "typeinfo for zr_gen::$c\$" "typeinfo for zr_gen::$c" "$demangled"
done
expect " zr_gen::_ThrowFileException\(" "zr_gen::_ThrowFileException" "$demangled"
refuse " _Z[^ ]*OL_" "flat functions with C++ names" "$symbols"
refuse " _Z[^ ]*(BitmapToDIB|DIBToBitmap|ConvertDIBtoBitmap)" "bridge functions with C++ names" "$symbols"
refuse "platform::|CreateFileW|GetLastError|LocalAlloc|FormatMessageW|CreateDIBSection|SHLoadImageFile" "platform layer" "$demangled"
refuse " testing::" "test code" "$demangled"

[ $status -eq 0 ] && echo "exports as expected"
exit $status
