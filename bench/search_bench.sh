#!/usr/bin/env bash
# Measures treesearch against `LC_ALL=C grep -F -i -f terms` over the same
# folder/file pairs, on a corpus shaped like a real file system: this
# machine's /usr listing, repeated to about 1,000,000 pairs and to 8 times
# that. Prints the best of several runs, the ratio of best times, the growth
# from 1x to 8x and treesearch's peak memory against its input size.
#
# Usage: bench/search_bench.sh [runs]   (default 5 runs per measurement)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
build=$root/build-bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTREE_VIEWER=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target treesearch >/dev/null
treesearch=$build/search/treesearch

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
find /usr -type f -printf '%h\t%f\n' 2>/dev/null | LC_ALL=C sort >"$work/usr.tsv"
listed=$(wc -l <"$work/usr.tsv")

# Ten terms a user might look for, three of them with accented capitals.
printf '%s\n' python3 GTK zlib README x86_64 locale/pt_BR 'AÇÃO' 'ÉCOLE' 'São' 'Über' >"$work/terms"

make_corpus() {  # folder with the four inputs for about $1 pairs
  local dir=$1 pairs=$2
  mkdir -p "$dir"
  local copies=$(((pairs + listed - 1) / listed))
  # head stops reading early on purpose: the broken pipe is no failure.
  { for ((i = 0; i < copies; i++)); do cat "$work/usr.tsv"; done | head -n "$pairs" >"$dir/pairs.tsv"; } || true
  cut -f1 "$dir/pairs.tsv" >"$dir/foldersScratch.txt"
  cut -f2 "$dir/pairs.tsv" >"$dir/filesScratch.txt"
  tr '\t' '\\' <"$dir/pairs.tsv" >"$dir/pairs.txt"
  rm "$dir/pairs.tsv"
  cp "$work/terms" "$dir/searchTermsList.txt"
  echo usr >"$dir/searchTreeName.txt"
}

best() {  # best wall time (s) and its peak memory (KiB) of "$@", run in $dir
  local best_t= best_m=
  for ((r = 0; r < runs; r++)); do
    rm -f "$dir/searchOutputList.txt" "$dir/grep.out"
    /usr/bin/time -f '%e %M' -o "$work/time" bash -c "cd '$dir' && $*"
    read -r t m <"$work/time"
    if [ -z "$best_t" ] || awk "BEGIN{exit !($t < $best_t)}"; then best_t=$t best_m=$m; fi
  done
  echo "$best_t $best_m"
}

declare -A ts grep_t mem input
for scale in 1 8; do
  dir=$work/x$scale
  make_corpus "$dir" $((1000000 * scale))
  input[$scale]=$(($(stat -c %s "$dir/foldersScratch.txt") + $(stat -c %s "$dir/filesScratch.txt")))
  read -r ts[$scale] mem[$scale] < <(best "'$treesearch'")
  matches=$(($(wc -l <"$dir/searchOutputList.txt") - 1))
  read -r grep_t[$scale] _ < <(best "LC_ALL=C grep -F -i -f searchTermsList.txt pairs.txt >grep.out")
  grep_lines=$(wc -l <"$dir/grep.out")
  printf '%sx: %d pairs, %.1f MB input; treesearch %ss (%d matches), grep %ss (%d lines)\n' \
    "$scale" "$((1000000 * scale))" "$(echo "${input[$scale]} / 1000000" | bc -l)" \
    "${ts[$scale]}" "$matches" "${grep_t[$scale]}" "$grep_lines"
  printf '    treesearch peak memory %.1f MB = %.2f x input\n' \
    "$(echo "${mem[$scale]} * 1024 / 1000000" | bc -l)" "$(echo "${mem[$scale]} * 1024 / ${input[$scale]}" | bc -l)"
  rm -rf "$dir"
done
printf 'ratio treesearch / grep at 1x: %.2f (target <= 1.0)\n' "$(echo "${ts[1]} / ${grep_t[1]}" | bc -l)"
printf 'growth 1x -> 8x: %.2f x the time (target <= 8.8)\n' "$(echo "${ts[8]} / ${ts[1]}" | bc -l)"
