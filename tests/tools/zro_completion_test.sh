#!/usr/bin/env bash
# The bash completion of zro offers the commands and options that zro's help
# lists, and file names for arguments.
# Usage: zro_completion_test.sh COMPLETION_FILE ZRO
set -u
completion=$1
PATH=$(dirname "$2"):$PATH
# shellcheck source=/dev/null
source "$completion"
status=0
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
touch "$folder/notes.zro"

complete_words() {  # the words of the line; the last is being completed
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  _zro
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
expect() {  # expected, words...
  local expected=$1 actual
  shift
  actual=$(complete_words "$@")
  if [ "$actual" != "$expected" ]; then
    echo "FAIL: '$*' completes to '$actual', expected '$expected'"
    status=1
  fi
}

commands=$(zro --help | sed -n '/^Subcommands:/,/^$/{s/^  \([a-z][a-z-]*\) .*/\1/p}' | sort | tr '\n' ' ')
[ -n "$commands" ] || { echo "FAIL: zro --help lists no commands"; status=1; }
expect "$commands" zro ""
expect "show " zro sh
expect "--format " zro export --form
expect "--help " zro --he
expect "$folder/notes.zro " zro show "$folder/no"
[ $status -eq 0 ] && echo "completion as expected"
exit $status
