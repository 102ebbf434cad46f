#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses it as another
# project would: the files in their places, every exported function under its
# version node, a C program built with pkg-config and one built with
# find_package(notestore), both run.
# Usage: install_test.sh BUILD_DIR LIBDIR INCLUDEDIR BINDIR MANDIR DATADIR [C_FLAGS]
set -euo pipefail
build=$1 libdir=$2 includedir=$3 bindir=$4 mandir=$5 datadir=$6 cflags=${7:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
status=0
fail() { echo "FAIL: $*"; status=1; }

cmake --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; exit 1; }

for f in "$libdir/libnotestore.so.0" "$libdir/libgadgetkit.so.0" \
         "$includedir/notestore/notestore.h" "$includedir/gadgetkit/gadgetkit.h" \
         "$bindir/zro" "$bindir/rtsetup" "$mandir/man1/zro.1" "$mandir/man1/rtsetup.1" \
         "$datadir/bash-completion/completions/zro" \
         "$libdir/pkgconfig/notestore.pc" "$libdir/pkgconfig/gadgetkit.pc" \
         "$libdir/cmake/notestore/notestoreConfig.cmake" \
         "$libdir/cmake/notestore/notestoreConfigVersion.cmake" \
         "$libdir/cmake/notestore/notestoreTargets.cmake"; do
  [ -e "$prefix/$f" ] || fail "not installed: $f"
done
# The development links lead to the runtime names.
for library in notestore gadgetkit; do
  target=$(readlink -f "$prefix/$libdir/lib$library.so" || true)
  [ "$target" = "$(readlink -f "$prefix/$libdir/lib$library.so.0")" ] || fail "lib$library.so does not lead to lib$library.so.0"
  soname=$(objdump -p "$prefix/$libdir/lib$library.so.0" | awk '$1 == "SONAME" {print $2}')
  [ "$soname" = "lib$library.so.0" ] || fail "lib$library soname is '$soname'"
done
for page in zro rtsetup; do
  grep -q '^\.TH' "$prefix/$mandir/man1/$page.1" || fail "$page.1 is no manual page"
done
grep -q '^\.SH' "$prefix/$mandir/man1/zro.1" && grep -q 'show' "$prefix/$mandir/man1/zro.1" \
  || fail "zro.1 lacks the commands"
bash -n "$prefix/$datadir/bash-completion/completions/zro" || fail "the completion is no bash script"

# Every defined function of the interfaces carries its library's version node.
versioned() {  # library, node, name pattern, least count
  local table count unversioned
  table=$(objdump -T "$prefix/$libdir/lib$1.so.0" | awk '$4 != "*UND*" && $NF ~ /'"$3"'/')
  count=$(grep -c . <<<"$table" || true)
  unversioned=$(awk -v node="$2" '$(NF-1) != node' <<<"$table" | head -5)
  [ "$count" -ge "$4" ] || fail "lib$1: only $count symbols match $3"
  [ -z "$unversioned" ] || { fail "lib$1: symbols without $2:"; echo "$unversioned"; }
}
versioned notestore NOTESTORE_0 '^OL_' 140
versioned notestore NOTESTORE_0 '^(Mem|BitmapToDIB|DIBToBitmap|ConvertDIBtoBitmap)' 10
versioned gadgetkit GADGETKIT_0 '^(OL|Get|Compose|_Z13PrintHookProc)' 8

mkdir "$work/data"
export LD_LIBRARY_PATH=$prefix/$libdir
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
# shellcheck disable=SC2046,SC2086
cc -std=c11 -Wall -Wextra -Werror $cflags -o "$work/consumer_pc" "$here/consumer.c" $(pkg-config --cflags --libs notestore) \
  || fail "the pkg-config consumer does not build"
[ -x "$work/consumer_pc" ] && { "$work/consumer_pc" "$work/data" || fail "the pkg-config consumer failed"; }
[ "$(pkg-config --modversion gadgetkit)" = "$(pkg-config --modversion notestore)" ] || fail "gadgetkit.pc's version"

unset LD_LIBRARY_PATH
if cmake -S "$here/consumer" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
     -DCMAKE_C_FLAGS="$cflags" -DCMAKE_EXE_LINKER_FLAGS="$cflags" >"$work/cmake.log" 2>&1 \
   && cmake --build "$work/cmake" >>"$work/cmake.log" 2>&1; then
  rm -rf "$work/data"/*
  "$work/cmake/consumer" "$work/data" || fail "the find_package consumer failed"
  "$work/cmake/gadgetkit_probe" || fail "the gadgetkit consumer failed"
  # The programs found the installed libraries, not the build's.
  for program in consumer gadgetkit_probe; do
    # Whole output first: with pipefail, grep -q closing the pipe early fails ldd.
    linked=$(ldd "$work/cmake/$program")
    grep -q "$prefix/$libdir/lib" <<<"$linked" || fail "$program is not linked against the prefix"
  done
else
  cat "$work/cmake.log"; fail "the find_package consumer does not build"
fi
# A version of another major is refused.
printf 'cmake_minimum_required(VERSION 3.25)\nproject(p NONE)\nfind_package(notestore 1 REQUIRED)\n' >"$work/CMakeLists.txt"
if cmake -S "$work" -B "$work/major" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null 2>&1; then
  fail "find_package(notestore 1) accepted version 0"
fi

[ $status -eq 0 ] && echo "installed tree as expected"
exit $status
