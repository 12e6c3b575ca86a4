#!/usr/bin/env bash
# The Debian package as a user gets it: builds it with scripts/package.sh
# (or takes the .deb given as argument), checks its control fields, its
# files, its Depends line against dpkg-shlibdeps, its manual pages, and
# lintian when installed; then unpacks it into a temporary root and runs both
# programs from there on the bundled examples, the viewer under a private X
# server with a window manager. Prints one line when everything holds; on a
# failure says what did not hold and exits with status 1.
#
#   tests/package_test.sh [package.deb]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# How long the viewer may take to show its window, or to end once asked.
limit=60

fail() {
  echo "package test: $*" >&2
  exit 1
}

# Runs inside tests/run_with_x.sh: starts the unpacked treeviewer in a folder
# holding the example settings and template, waits for its window, checks
# the window's title and size, asks it to close as a user does (the window
# manager sends WM_DELETE_WINDOW) and expects status 0 with nothing printed.
if [ "${1:-}" = --viewer-under-x ]; then
  program=$2 folder=$3
  cd "$folder"
  "$program" >stdout 2>stderr &
  viewer=$!
  window=
  deadline=$((SECONDS + limit))
  while [ -z "$window" ]; do
    kill -0 "$viewer" 2>/dev/null ||
      { wait "$viewer" && status=0 || status=$?; cat stderr >&2; fail "treeviewer ended with status $status before its window showed"; }
    [ "$SECONDS" -lt "$deadline" ] || fail "treeviewer showed no window titled 'Tree viewer example' within ${limit}s"
    window=$(xdotool search --onlyvisible --name '^Tree viewer example$' 2>/dev/null | head -n 1) || true
    [ -n "$window" ] || sleep 0.05
  done
  eval "$(xdotool getwindowgeometry --shell "$window")"
  [ "${WIDTH}x${HEIGHT}" = 420x360 ] ||
    fail "treeviewer's window is ${WIDTH}x${HEIGHT}, tree_window.ini asks for 420x360"
  wmctrl -i -c "$window"
  deadline=$((SECONDS + limit))
  while kill -0 "$viewer" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || { kill "$viewer"; fail "treeviewer did not end within ${limit}s of the close request"; }
    sleep 0.05
  done
  wait "$viewer" && status=0 || status=$?
  [ "$status" = 0 ] || fail "treeviewer ended with status $status after the close request"
  [ ! -s stdout ] && [ ! -s stderr ] || { cat stdout stderr >&2; fail "treeviewer printed something"; }
  exit 0
fi

cd "$root"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

deb=${1:-}
if [ -z "$deb" ]; then
  deb=$(scripts/package.sh | tail -n 1) || fail "scripts/package.sh failed"
fi
[ -f "$deb" ] || fail "no package at '$deb'"
name=$(basename "$deb")

# Control fields. The version is the change log's.
field() { dpkg-deb -f "$deb" "$1"; }
version=$(dpkg-parsechangelog -l packaging/changelog -S Version)
expect_field() {
  [ "$(field "$1")" = "$2" ] || fail "$name: $1 is '$(field "$1")', expected '$2'"
}
expect_field Package treetools
expect_field Version "$version"
expect_field Architecture "$(dpkg --print-architecture)"
expect_field Section utils
expect_field Priority optional
[ "$name" = "treetools_${version}_$(dpkg --print-architecture).deb" ] || fail "unexpected file name $name"
[[ "$(field Maintainer)" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] || fail "$name: Maintainer '$(field Maintainer)' is no name and address"
[ -n "$(field Description | sed -n 2p)" ] || fail "$name: Description has no long description"

# Files: the two programs, their manual pages, copyright and change log, as
# root, and nothing else.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort >"$work/files"
sort >"$work/files.expected" <<'EOF'
-rwxr-xr-x root/root ./usr/bin/treesearch
-rwxr-xr-x root/root ./usr/bin/treeviewer
-rw-r--r-- root/root ./usr/share/doc/treetools/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/treetools/copyright
-rw-r--r-- root/root ./usr/share/man/man1/treesearch.1.gz
-rw-r--r-- root/root ./usr/share/man/man1/treeviewer.1.gz
EOF
diff -u "$work/files.expected" "$work/files" >&2 || fail "$name holds other files than expected"
dpkg-deb -x "$deb" "$work/root"

# Depends: exactly what dpkg-shlibdeps computes for the unpacked programs,
# naming the libraries they are built on.
mkdir -p "$work/shlibs/debian"
: >"$work/shlibs/debian/control"
computed=$(cd "$work/shlibs" && dpkg-shlibdeps -O "$work/root/usr/bin/treesearch" "$work/root/usr/bin/treeviewer" 2>/dev/null |
  sed -n 's/^shlibs:Depends=//p')
as_set() { tr ',' '\n' | sed 's/^ *//; s/ *$//' | sort; }
depends=$(field Depends)
[ "$(as_set <<<"$depends")" = "$(as_set <<<"$computed")" ] ||
  fail "$name: Depends is '$depends', dpkg-shlibdeps gives '$computed'"
for library in libc6 'libstdc\+\+6' 'libgtk2\.0-0' libjpeg libpng libtiff libopenjp2; do
  as_set <<<"$depends" | grep -Eq "^$library" || fail "$name: Depends '$depends' names no $library"
done

# Manual pages: the project's pages, compressed as Debian keeps them, and
# rendered by man without a warning.
for program in treeviewer treesearch; do
  page=$work/root/usr/share/man/man1/$program.1.gz
  gzip -dc "$page" | cmp -s - "man/$program.1" || fail "$program.1.gz is not man/$program.1"
  grep -q "^\.TH .* \"treetools $version\" " "man/$program.1" || fail "man/$program.1 names another version than $version"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man $program.1.gz warns: $warnings"
  LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null | grep -Eq "^ *$program +- " ||
    fail "man $program.1.gz shows no NAME line"
done

# Lintian, where it is installed: no error.
lintian_note="lintian not installed"
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" >"$work/lintian" 2>&1 || { cat "$work/lintian" >&2; fail "lintian reports errors"; }
  lintian_note="lintian: no error, $(grep -c '^W:' "$work/lintian" || true) warnings"
fi

# treesearch from the package on examples/search: the appended block, and
# the same block again on a second run.
mkdir "$work/search"
cp examples/search/*.txt "$work/search"
cat >"$work/block" <<'EOF'
Projetos
/home/ana/Projetos\README.md
/home/ana/Projetos/Plano de Ação\orçamento.ods
/home/ana/Projetos/Plano de Ação\Relatório final.odt
/home/ana/Documentos\RELATÓRIO 2025.pdf
EOF
for run in 1 2; do
  (cd "$work/search" && env -i PATH=/usr/bin:/bin "$work/root/usr/bin/treesearch" >"$work/stdout" 2>"$work/stderr") &&
    status=0 || status=$?
  [ "$status" = 0 ] || fail "treesearch run $run ended with status $status"
  [ ! -s "$work/stdout" ] && [ ! -s "$work/stderr" ] || { cat "$work/stdout" "$work/stderr" >&2; fail "treesearch run $run printed something"; }
done
cat "$work/block" "$work/block" | cmp -s - "$work/search/searchOutputList.txt" ||
  { diff -u <(cat "$work/block" "$work/block") "$work/search/searchOutputList.txt" >&2; fail "treesearch appended other blocks than expected"; }

# treeviewer from the package on examples/.
mkdir "$work/viewer"
cp examples/tree_window.ini examples/tree_display_template.txt "$work/viewer"
TREE_TEST_WM=openbox tests/run_with_x.sh bash "$0" --viewer-under-x "$work/root/usr/bin/treeviewer" "$work/viewer"

echo "package: $name ok (files, Depends from dpkg-shlibdeps, manual pages, treesearch and treeviewer run from the package; $lintian_note)"
