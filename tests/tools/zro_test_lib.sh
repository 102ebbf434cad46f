# shellcheck shell=bash disable=SC2034
# Sourced by zro's shell tests, with the test's own arguments: zro is the
# first. Each test runs in a fresh folder, removed at exit, records failures
# with `fail` and ends with `finish`, which prints its closing line when
# nothing failed and exits with the status.
zro="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
status=0
fail() { echo "FAILED: $*"; status=1; }
finish() {  # closing line
  [ $status -eq 0 ] && echo "$1"
  exit $status
}
