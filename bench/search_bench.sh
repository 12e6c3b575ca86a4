#!/usr/bin/env bash
# Measures treesearch against `LC_ALL=C grep -F -i -f terms` over the same
# folder/file pairs (as folder\file lines), on a corpus shaped like a real
# file system: this machine's /usr listing, repeated to about 1,000,000 pairs
# and to 8 times that. Every row is the best of several runs of each program;
# the peak memory is treesearch's in that best run, bounded whatever the size
# of the block, which waits in a temporary file beyond a few tens of
# megabytes.
#
# Rows: rare terms (about 1 % of the pairs match), a heavy mix (about a third
# match), terms with accented capitals, 10,000 rare terms, dense matches
# (terms found many times in every pair), 1,000 terms longer than 1,024 bytes,
# 10,000 terms and no pairs, a million terms and no folder list, 8 times the
# pairs, ten million pairs and `readme` or `usr`, every one of 8 times the
# pairs matching (a block of hundreds of megabytes), and one folder line of
# 200 MB without a line end. Shapes that defeat a naive engine: 100 terms of
# 1,102 bytes whose first kilobyte is all `a` over 1,000 lines of 5,000 `a`
# (and the same terms with all `a` but three bytes in the middle);
# one 800 KB term of the same kind over one line of 1.6 MB; 100,000 real
# path fragments (every pair matches); 1,000,000 random words; the 26 single
# letters; 10,000 terms sharing a 215-byte prefix.
#
# Usage: bench/search_bench.sh [runs [row]]   (default 7 runs per
# measurement; with a row, only the rows whose names hold it)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-7}
only=${2:-}
build=$root/build-bench
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTREE_VIEWER=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target treesearch >/dev/null
treesearch=$build/search/treesearch

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
find /usr -type f -printf '%h\t%f\n' 2>/dev/null | LC_ALL=C sort >"$work/usr.tsv"
listed=$(wc -l <"$work/usr.tsv")

printf '%s\n' zlib README Makefile locale/pt_BR 'AÇÃO' 'ÉCOLE' 'São' 'Über' >"$work/rare"
printf '%s\n' .py .h zlib README >"$work/heavy"
printf '%s\n' 'AÇÃO' 'ÉCOLE' 'São' 'Über' 'Índice' 'Ópera' 'ÊNFASE' 'Ícone' 'CORAÇÃO' 'Último' >"$work/accented"
# Ten thousand words of 6 to 12 letters that hardly ever occur in paths.
awk 'BEGIN { srand(11); for (i = 0; i < 10000; i++) { n = 6 + int(rand() * 7); s = "";
  for (j = 0; j < n; j++) s = s sprintf("%c", 97 + int(rand() * 26)); print s } }' >"$work/many"

printf '%s\n' / e a s >"$work/dense"
# A thousand words of 1,100 to 2,000 letters, in no path.
awk 'BEGIN { srand(13); for (i = 0; i < 1000; i++) { n = 1100 + int(rand() * 901); s = "";
  for (j = 0; j < n; j++) s = s sprintf("%c", 97 + int(rand() * 26)); print s } }' >"$work/long"

# Path fragments of the listing: its folder names and file names, at most
# 100,000 ("usr" among them, so every pair matches).
awk -F'\t' '{ n = split($1, part, "/"); for (i = 1; i <= n; i++) if (part[i] != "") print part[i]; print $2 }' \
  "$work/usr.tsv" | LC_ALL=C sort -u | awk 'BEGIN { srand(17) } { print rand() "\t" $0 }' | LC_ALL=C sort |
  cut -f2- | { head -n 100000 || true; } >"$work/fragments"
grep -qx usr "$work/fragments" || echo usr >>"$work/fragments"
awk 'BEGIN { srand(19); for (i = 0; i < 1000000; i++) { n = 6 + int(rand() * 7); s = "";
  for (j = 0; j < n; j++) s = s sprintf("%c", 97 + int(rand() * 26)); print s } }' >"$work/words"
printf '%s\n' {a..z} >"$work/letters"
awk 'BEGIN { srand(23); p = ""; for (j = 0; j < 215; j++) p = p sprintf("%c", 97 + int(rand() * 26));
  for (i = 0; i < 10000; i++) { n = 6 + int(rand() * 7); s = "";
  for (j = 0; j < n; j++) s = s sprintf("%c", 97 + int(rand() * 26)); print p s } }' >"$work/prefixed"
# 1,100 `a` and two letters; 799,999 `a` and a `b`.
as() { head -c "$1" /dev/zero | tr '\0' a; }  # $1 times `a`
for i in {0..99}; do as 1100; printf '%b\n' "\\x$(printf %x $((98 + i / 26)))\\x$(printf %x $((97 + i % 26)))"; done \
  >"$work/repetitive"
{ as 799999; echo b; } >"$work/huge"
# The same with the difference in the middle: both ends occur everywhere.
for i in {0..99}; do as 549; printf '%03d' "$i"; as 550; echo; done >"$work/middled"

make_corpus() {  # folder $1 with the inputs for $2 pairs
  local dir=$1 pairs=$2
  mkdir -p "$dir"
  local copies=$(((pairs + listed - 1) / listed))
  # head stops reading early on purpose: the broken pipe is no failure.
  { for ((i = 0; i < copies; i++)); do cat "$work/usr.tsv"; done | head -n "$pairs" >"$dir/pairs.tsv"; } || true
  cut -f1 "$dir/pairs.tsv" >"$dir/foldersScratch.txt"
  cut -f2 "$dir/pairs.tsv" >"$dir/filesScratch.txt"
  tr '\t' '\\' <"$dir/pairs.tsv" >"$dir/pairs.txt"
  rm "$dir/pairs.tsv"
  echo usr >"$dir/searchTreeName.txt"
}

best() {  # best wall time (s) and its peak memory (KiB) of "$@", run in $dir
  local best_t= best_m= t
  for ((r = 0; r < runs; r++)); do
    rm -f "$dir/searchOutputList.txt" "$dir/grep.out"
    local start end m
    start=$(date +%s%N)
    /usr/bin/time -f '%M' -o "$work/time" bash -c "cd '$dir' && $*"
    end=$(date +%s%N)
    read -r m <"$work/time"
    t=$(echo "scale=3; ($end - $start) / 1000000000" | bc)
    if [ -z "$best_t" ] || awk "BEGIN{exit !($t < $best_t)}"; then best_t=$t best_m=$m; fi
  done
  echo "$best_t $best_m"
}

# The size (MB) of the automaton that terms file $1 makes when it has too
# many terms to compile: one state per distinct prefix of the folded terms,
# 14 bytes each (edge start, edge target and byte, failure link, end mark).
# Compiled term sets take far less; their bound is given the same way.
automaton_mb() {
  tr 'A-Z' 'a-z' <"$1" | LC_ALL=C sort -u | awk '
    { n = length($0); if (n == 0) next; i = 0; m = length(last) < n ? length(last) : n
      while (i < m && substr(last, i + 1, 1) == substr($0, i + 1, 1)) i++
      states += n - i; last = $0 }
    END { printf "%.1f", (states + 1) * 14 / 1048576 }'
}

declare -A seconds
# row name, terms file, target ratio text
measure() {
  local row=$1 terms=$2 target=$3
  [[ $row == *"$only"* ]] || return 0
  cp "$work/$terms" "$dir/searchTermsList.txt"
  local ts_t ts_m grep_t
  read -r ts_t ts_m < <(best "'$treesearch'")
  local block pairs matches
  block=$(stat -c %s "$dir/searchOutputList.txt")
  matches=$(($(wc -l <"$dir/searchOutputList.txt") - 1))
  pairs=$( (cat "$dir/foldersScratch.txt" 2>/dev/null || true) | wc -l)
  local automaton
  automaton=$(automaton_mb "$dir/searchTermsList.txt")
  read -r grep_t _ < <(best "LC_ALL=C grep -F -i -f searchTermsList.txt pairs.txt >grep.out; exit 0")
  seconds[$row]=$ts_t
  printf '%-22s %8d pairs %5.1f %% match | treesearch %6.3fs  grep %6.3fs  ratio %5.2f (target %s) | peak %6.1f MB, bound %6.1f MB (64 + automaton; block %.1f MB)\n' \
    "$row" "$pairs" "$(echo "100 * $matches / ($pairs + ($pairs == 0))" | bc -l)" "$ts_t" "$grep_t" \
    "$(echo "$ts_t / ($grep_t + ($grep_t == 0) * 0.001)" | bc -l)" "$target" "$(echo "$ts_m / 1024" | bc -l)" \
    "$(echo "64 + $automaton" | bc -l)" "$(echo "$block / 1048576" | bc -l)"
}

wanted() {  # whether any of the rows named is measured
  local row
  for row; do [[ $row == *"$only"* ]] && return 0; done
  return 1
}

dir=$work/x1
if wanted "rare terms" "heavy mix" "accented capitals" "10,000 terms" "dense matches" "long terms" \
  "100k path fragments" "1M random words" "26 single letters" "10k shared prefix"; then
make_corpus "$dir" 1000000
measure "rare terms" rare "<= 0.5"
measure "heavy mix" heavy "<= 0.5"
measure "accented capitals" accented "<= 0.5"
measure "10,000 terms" many "<= 0.5"
measure "dense matches" dense "<= 1"
measure "long terms" long "<= 1"
measure "100k path fragments" fragments "<= 1"
measure "1M random words" words "<= 1"
measure "26 single letters" letters "<= 1"
measure "10k shared prefix" prefixed "<= 1"
rm -rf "$dir"
fi

make_lines() {  # folder $1 with $2 folder lines of $3 `a`, file x
  local dir=$1
  mkdir -p "$dir"
  local line
  line=$(as "$3")
  for ((i = 0; i < $2; i++)); do echo "$line"; done >"$dir/foldersScratch.txt"
  awk -v n="$2" 'BEGIN { for (i = 0; i < n; i++) print "x" }' >"$dir/filesScratch.txt"
  paste -d'\\' "$dir/foldersScratch.txt" "$dir/filesScratch.txt" >"$dir/pairs.txt"
  echo a >"$dir/searchTreeName.txt"
}
dir=$work/long_lines
wanted "repetitive long terms" "long terms, middles differ" && make_lines "$dir" 1000 5000
measure "repetitive long terms" repetitive "<= 1"
measure "long terms, middles differ" middled "<= 1"
rm -rf "$dir"
dir=$work/one_long_line
wanted "one 800 KB term" && make_lines "$dir" 1 1600000
measure "one 800 KB term" huge "<= 1"
rm -rf "$dir"

dir=$work/none
make_corpus "$dir" 0
measure "no pairs, 10,000 terms" many "-"
# No folder list at all, and a million terms: nothing to compile.
rm "$dir/foldersScratch.txt"
measure "1M terms, no folder list" words "-"
rm -rf "$dir"

dir=$work/x8
if wanted "rare terms, 8x pairs" "all match, 8x pairs"; then
  make_corpus "$dir" 8000000
  measure "rare terms, 8x pairs" rare "-"
  measure "all match, 8x pairs" dense "-"
  rm -rf "$dir"
fi
# Ten million pairs and one term: `readme` (a few in a thousand match here)
# and `usr`, which every pair holds (a block of hundreds of megabytes).
dir=$work/x10
if wanted "readme, 10M pairs" "usr, 10M pairs"; then
  make_corpus "$dir" 10000000
  echo readme >"$work/readme"
  echo usr >"$work/usr"
  measure "readme, 10M pairs" readme "<= 1"
  measure "usr, 10M pairs" usr "<= 1"
  rm -rf "$dir"
fi
if [ -n "${seconds[rare terms, 8x pairs]:-}" ] && [ -n "${seconds[rare terms]:-}" ]; then
  printf 'growth 1x -> 8x pairs (rare terms): %.2f x the time (target <= 8.8)\n' \
    "$(echo "${seconds[rare terms, 8x pairs]} / ${seconds[rare terms]}" | bc -l)"
fi

[[ "single line" == *"$only"* ]] || exit 0
# One folder line of 200 MB without a line end, and one file name.
dir=$work/line
mkdir -p "$dir"
copies=$((200000000 / $(stat -c %s "$work/usr.tsv") + 1))
{ for ((i = 0; i < copies; i++)); do tr '\t\n' '//' <"$work/usr.tsv"; done | head -c 200000000 >"$dir/foldersScratch.txt"; } || true
printf 'x' >"$dir/filesScratch.txt"
{ cat "$dir/foldersScratch.txt"; printf '\\x'; } >"$dir/pairs.txt"
echo line >"$dir/searchTreeName.txt"
cp "$work/rare" "$dir/searchTermsList.txt"
read -r ts_t ts_m < <(best "'$treesearch'")
block=$(stat -c %s "$dir/searchOutputList.txt")
read -r grep_t _ < <(best "LC_ALL=C grep -F -i -f searchTermsList.txt pairs.txt >grep.out; exit 0")
printf '%-22s 200 MB line, no line end | treesearch %6.3fs  grep %6.3fs  ratio %5.2f (target <= 2) | peak %6.1f MB, bound %6.1f MB (line + 64 MB); block %d bytes\n' \
  "single line" "$ts_t" "$grep_t" "$(echo "$ts_t / $grep_t" | bc -l)" "$(echo "$ts_m / 1024" | bc -l)" \
  "$(echo "200000000 / 1048576 + 64" | bc -l)" "$block"
