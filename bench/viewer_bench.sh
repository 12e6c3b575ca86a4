#!/usr/bin/env bash
# How long treeviewer takes with large trees and how much memory it needs,
# beside a plain GTK 2 program that fills a GtkTreeStore with the same
# template.
#
#   bench/viewer_bench.sh
#
# Three templates:
#   real     this machine's /usr listing (viewer_template.sh) 6 times: ~1M lines
#   real x10 the same listing 60 times: ~10M lines, ~200 MB
#   flat     1,000,000 top-level rows "0,row N"
# Each program starts in a folder holding the template, on a private X server
# without a window manager, two ways (viewer_close_on_map):
#   close    its window is asked to close as soon as it is mapped; the time is
#            taken until the program has ended (the close honoured, however
#            far the loading had come);
#   loaded   the close is asked only once the program has gone idle (no CPU
#            for 0.5 s) after its window was mapped; "busy" is the time until
#            it last used the CPU: the whole tree read and shown, and, for the
#            flat tree, "after map" is how long it stayed busy after the
#            window appeared.
#   whole    the whole tree loaded as a user finds it: End, then Ctrl+C,
#            every 20 ms from the window's mapping until the clipboard holds
#            the template's last row ("last row" is when it first did; each
#            template ends in a top-level row for it), then
#            as "loaded": "busy" is the end of the viewer's work and "peak"
#            its peak memory then.
# Then the find of the next row by text in the same tree (tree_find_bench).
# Peak memory is the program's peak resident size. Medians of RUNS runs (3);
# the GtkTreeStore program runs once (BASELINE_RUNS) on the real tree only.
#
# Environment: BUILD_DIR (default build-bench, a Release build made here),
# RUNS, BASELINE_RUNS.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-bench}
runs=${RUNS:-3}
baseline_runs=${BASELINE_RUNS:-1}

if [ -z "${VIEWER_BENCH_UNDER_X:-}" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTREE_VIEWER=ON -DTREE_SANITIZE=OFF >/dev/null
  cmake --build "$build" -j2 --target treeviewer gtktreestore_baseline viewer_close_on_map \
    tree_find_bench >/dev/null
  VIEWER_BENCH_UNDER_X=1 BUILD_DIR=$build exec "$root/tests/run_with_x.sh" "$0" "$@"
fi

viewer=$build/viewer/app/treeviewer
baseline=$build/bench/gtktreestore_baseline
closer=$build/bench/viewer_close_on_map
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The median of the numbers given, one per line.
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
field() { sed -n "s/.*[[:space:]]$1=\([-0-9.]*\).*/\1/p;s/^$1=\([-0-9.]*\).*/\1/p" | head -n 1; }

# run_once FOLDER CLOSER-OPTIONS... -- PROGRAM [ARGS...]: prints the closer's line.
run_once() {
  local folder=$1
  shift
  local result
  result=$(cd "$folder" && "$closer" --timeout 600 "$@")
  if [ "$(field status <<<"$result")" != 0 ]; then
    echo "run failed: $result" >&2
    exit 1
  fi
  echo "$result"
}

# measure LABEL COUNT FOLDER CLOSER-OPTIONS... -- PROGRAM: prints one table row.
measure() {
  local label=$1 count=$2 folder=$3
  shift 3
  local samples=()
  for ((i = 0; i < count; ++i)); do samples+=("$(run_once "$folder" "$@")"); done
  med() { for s in "${samples[@]}"; do field "$1" <<<"$s"; done | median; }
  local seconds mapped peak busy="" cpu="" after="" last=""
  seconds=$(med seconds)
  mapped=$(med mapped)
  peak=$(awk "BEGIN { printf \"%.0f\", $(med peak_kb) / 1024 }")
  if [[ " $* " == *" --last-row "* ]]; then
    last=$(med loaded)
  fi
  if [[ " $* " == *" --when-idle "* || " $* " == *" --last-row "* ]]; then
    busy=$(med busy)
    cpu=$(med cpu)
    after=$(for s in "${samples[@]}"; do
      awk "BEGIN { print $(field busy <<<"$s") - $(field mapped <<<"$s") }"; done | median)
  fi
  printf '%-44s %7s %8s %8s %8s %8s %8s %8s\n' "$label" "$mapped" "$seconds" "${busy:--}" \
    "${after:--}" "${cpu:--}" "$peak" "${last:--}"
}

make_real() {  # FOLDER COPIES
  mkdir -p "$1"
  "$root/bench/viewer_template.sh" "$2" >"$1/tree_display_template.txt"
}
make_flat() {  # FOLDER
  mkdir -p "$1"
  awk 'BEGIN { for (i = 1; i <= 1000000; ++i) printf "0,row %d\n", i }' >"$1/tree_display_template.txt"
}

printf '%-44s %7s %8s %8s %8s %8s %8s %8s\n' "" mapped close busy "after" cpu peak "last row"
printf '%-44s %7s %8s %8s %8s %8s %8s %8s\n' "template (lines, MB): program, way" s s s map s MB s
finds=()
for tree in real real10 flat; do
  folder=$work/$tree
  case $tree in
    real) make_real "$folder" 6 ;;
    real10) make_real "$folder" 60 ;;
    flat) make_flat "$folder" ;;
  esac
  # A last top-level row: End reaches it once the whole template is in
  # (the last line of a real tree lies inside a closed folder).
  last="last row of the tree"
  echo "0,$last" >>"$folder/tree_display_template.txt"
  printf '%s\n' 100 100 800 600 0 0 'Benchmark' >"$folder/tree_window.ini"
  lines=$(wc -l <"$folder/tree_display_template.txt")
  mb=$(awk "BEGIN { printf \"%.0f\", $(stat -c %s "$folder/tree_display_template.txt") / 1048576 }")
  echo "$tree ($lines lines, $mb MB)"
  measure "  treeviewer, close at map" "$runs" "$folder" -- "$viewer"
  # Finding the next row by a part of its text, in the same tree.
  finds+=("$("$build/bench/tree_find_bench" "$folder/tree_display_template.txt")")
  measure "  treeviewer, loaded" "$runs" "$folder" --when-idle -- "$viewer"
  measure "  treeviewer, whole tree loaded (End, Ctrl+C)" "$runs" "$folder" --last-row "$last" -- "$viewer"
  if [ "$tree" = real ]; then
    measure "  GtkTreeStore, filled while shown" "$baseline_runs" "$folder" -- "$baseline"
    measure "  GtkTreeStore, filled, then shown" "$baseline_runs" "$folder" -- "$baseline" --detached
  fi
  rm -rf "$folder"
done
echo
echo "find (next match, folded as the find bar folds; worst cases):"
printf '%s\n' "${finds[@]}"
