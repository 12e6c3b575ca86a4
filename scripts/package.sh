#!/usr/bin/env bash
# Builds treeviewer and treesearch in Release mode with Debian's hardening
# flags and makes the Debian package of both programs and their manual pages
# in out/. Its Depends line is computed by dpkg-shlibdeps. Prints the path of
# the package as its last line. Installs the Debian packages it needs first.
#
#   scripts/package.sh && apt install ./out/treetools_*.deb    (as root)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh
umask 022

build=$root/build-package
out=$root/out
jobs=${TREE_JOBS:-$(nproc)}

# The flags every Debian package is built with (hardening, fortified
# functions, read-only relocations).
cflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
  -DCMAKE_EXE_LINKER_FLAGS="$ldflags" >/dev/null
cmake --build "$build" -j"$jobs" >/dev/null
rm -f "$build"/treetools_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log" >&2; exit 1; }

deb=$(find "$build" -maxdepth 1 -name 'treetools_*.deb' | head -n 1)
if [ -z "$deb" ]; then
  echo "package.sh: cpack made no package in $build" >&2
  exit 1
fi
mkdir -p "$out"
rm -f "$out"/treetools_*.deb
cp "$deb" "$out/"
echo "$out/$(basename "$deb")"
