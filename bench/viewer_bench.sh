#!/usr/bin/env bash
# How long treeviewer takes to show a large tree, and how much memory it
# needs, beside a plain GTK 2 program that fills a GtkTreeStore with the same
# template.
#
#   bench/viewer_bench.sh
#
# Templates are made from this machine's /usr listing (viewer_template.sh):
# one copy (about 160,000 lines) and six copies (about a million). Each
# program starts in a folder holding the template, on a private X server;
# its window is asked to close as soon as it appears, and the time is taken
# until the program has ended: start-up, reading and filling the whole tree,
# the first round of events and the release of everything. Peak memory is
# /usr/bin/time's %M. Medians of RUNS runs (3) for treeviewer and of
# BASELINE_RUNS runs (1) for the GtkTreeStore program, which is slow.
#
# Environment: BUILD_DIR (default build-bench, a Release build made here),
# RUNS, BASELINE_RUNS, COPIES (default "1 6").
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
runs=${RUNS:-3}
baseline_runs=${BASELINE_RUNS:-1}
copies_list=${COPIES:-1 6}

if [ -z "${VIEWER_BENCH_UNDER_X:-}" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTREE_VIEWER=ON -DTREE_SANITIZE=OFF >/dev/null
  cmake --build "$build" -j2 --target treeviewer gtktreestore_baseline viewer_close_on_map >/dev/null
  VIEWER_BENCH_UNDER_X=1 BUILD_DIR=$build exec "$root/tests/run_with_x.sh" "$0" "$@"
fi

viewer=$build/viewer/treeviewer
baseline=$build/bench/gtktreestore_baseline
closer=$build/bench/viewer_close_on_map
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The median of the numbers given, one per line.
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# run_once FOLDER PROGRAM [ARGS...]: prints "seconds peak_kb".
run_once() {
  local folder=$1
  shift
  local result status
  result=$(cd "$folder" && "$closer" --timeout 600 -- /usr/bin/time -f %M -o "$folder/peak" "$@")
  status=$(sed -n 's/.*status=\([0-9]*\).*/\1/p' <<<"$result")
  if [ "$status" != 0 ]; then
    echo "run failed: $result" >&2
    exit 1
  fi
  echo "$(sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$result") $(tail -n 1 "$folder/peak")"
}

# measure LABEL COUNT FOLDER PROGRAM [ARGS...]: prints a table row and keeps
# the median seconds in $last_seconds.
measure() {
  local label=$1 count=$2 folder=$3
  shift 3
  local samples=()
  for ((i = 0; i < count; ++i)); do samples+=("$(run_once "$folder" "$@")"); done
  last_seconds=$(printf '%s\n' "${samples[@]}" | cut -d' ' -f1 | median)
  local peak
  peak=$(printf '%s\n' "${samples[@]}" | cut -d' ' -f2 | median)
  printf '%-34s %9s %10.3f %10.1f\n' "$label" "$lines" "$last_seconds" "$(awk "BEGIN { print $peak / 1024 }")"
}

printf '%-34s %9s %10s %10s\n' program lines seconds "peak MB"
declare -A viewer_seconds viewer_lines
for copies in $copies_list; do
  folder=$work/copies$copies
  mkdir -p "$folder"
  "$root/bench/viewer_template.sh" "$copies" >"$folder/tree_display_template.txt"
  printf '%s\n' 100 100 800 600 0 0 'Benchmark' >"$folder/tree_window.ini"
  lines=$(wc -l <"$folder/tree_display_template.txt")
  measure "treeviewer" "$runs" "$folder" "$viewer"
  viewer_seconds[$copies]=$last_seconds
  viewer_lines[$copies]=$lines
  measure "GtkTreeStore, filled while shown" "$baseline_runs" "$folder" "$baseline"
  measure "GtkTreeStore, filled, then shown" "$baseline_runs" "$folder" "$baseline" --detached
done

set -- $copies_list
if [ $# -ge 2 ]; then
  small=$1 large=${!#}
  printf 'treeviewer: %.2f times the lines in %.2f times the time\n' \
    "$(awk "BEGIN { print ${viewer_lines[$large]} / ${viewer_lines[$small]} }")" \
    "$(awk "BEGIN { print ${viewer_seconds[$large]} / ${viewer_seconds[$small]} }")"
fi
