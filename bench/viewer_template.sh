#!/usr/bin/env bash
# Writes a tree template shaped like a real file system: COPIES top-level
# folders "usr1/", "usr2/", ... each holding the listing of this machine's
# /usr, one line per entry in the order a walk of the folders meets them,
# "level,name" with a final "/" on folders and the level the entry's depth.
#
#   bench/viewer_template.sh COPIES > tree_display_template.txt
#
# One copy gives about 160,000 lines here, six about a million.
set -euo pipefail
copies=${1:?usage: viewer_template.sh COPIES}
listing=$(mktemp)
trap 'rm -f "$listing"' EXIT
# Names with a line break cannot be one template line; they are left out,
# with everything below them.
LC_ALL=C find /usr -xdev -mindepth 1 \( -name $'*\n*' -prune \) -o -printf '%d,%f%y\n' |
  LC_ALL=C awk '{ type = substr($0, length($0)); line = substr($0, 1, length($0) - 1);
                  if (type == "d") line = line "/"; print line }' >"$listing"
for ((copy = 1; copy <= copies; ++copy)); do
  printf '0,usr%d/\n' "$copy"
  cat "$listing"
done
