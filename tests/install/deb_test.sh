#!/usr/bin/env bash
# cpack -G DEB packs the installed tree; the package installs with dpkg into
# a temporary root and lists the libraries, headers, programs, manual pages,
# completion and the files that find the libraries.
# Usage: deb_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() { echo "FAIL: $*"; status=1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(find "$work/out" -maxdepth 1 -name '*.deb' | head -1)
[ -n "$deb" ] || { cat "$work/cpack.log"; echo "FAIL: no package"; exit 1; }
info=$(dpkg-deb --info "$deb")
grep -q 'Package: notestore' <<<"$info" || fail "package name"
grep -q 'Depends: .*libc6' <<<"$info" || fail "no library dependencies were found"

# A root of its own, with an empty package database; the dependencies are
# those of this machine, not of the temporary root. The maintainer scripts
# run outside the root: the ldconfig they call is a stand-in that only
# notes the call, so that this machine's library cache stays as it is.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$work/bin"
touch "$root/var/lib/dpkg/status"
printf '#!/bin/sh\necho "$@" >>"%s"\n' "$work/ldconfig.calls" >"$work/bin/ldconfig"
chmod +x "$work/bin/ldconfig"
PATH=$work/bin:$PATH dpkg --root="$root" --force-not-root --force-depends --force-script-chrootless \
  --no-triggers --log=/dev/null -i "$deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; exit 1; }
[ -e "$work/ldconfig.calls" ] || fail "installing did not refresh the library cache"
listed=$(dpkg --root="$root" -L notestore)
for pattern in '/usr/lib/.*libnotestore\.so\.0$' '/usr/lib/.*libnotestore\.so$' \
               '/usr/lib/.*libgadgetkit\.so\.0$' '/usr/lib/.*libgadgetkit\.so$' \
               '/usr/include/notestore/notestore\.h$' '/usr/include/gadgetkit/gadgetkit\.h$' \
               '/usr/bin/zro$' '/usr/bin/rtsetup$' \
               '/usr/share/man/man1/zro\.1' '/usr/share/man/man1/rtsetup\.1' \
               '/usr/share/bash-completion/completions/zro$' \
               '/usr/lib/.*pkgconfig/notestore\.pc$' '/usr/lib/.*pkgconfig/gadgetkit\.pc$' \
               '/usr/lib/.*cmake/notestore/notestoreConfig\.cmake$'; do
  grep -qE "$pattern" <<<"$listed" || fail "the package does not list $pattern"
done
for f in $(grep -E 'lib(notestore|gadgetkit)\.so\.0$|/usr/bin/' <<<"$listed"); do
  [ -e "$root$f" ] || fail "listed but not installed: $f"
done
# The installed pkg-config file leads to the root it was installed to.
pc_dir=$root$(dirname "$(grep -E 'pkgconfig/notestore\.pc$' <<<"$listed")")
pc_libdir=$(PKG_CONFIG_PATH=$pc_dir pkg-config --variable=libdir notestore)
[ -e "$pc_libdir/libnotestore.so" ] || fail "notestore.pc's libdir ($pc_libdir) does not hold the library"

[ $status -eq 0 ] && echo "package as expected"
exit $status
