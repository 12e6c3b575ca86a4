#!/usr/bin/env bash
# Builds everything and runs the whole test suite, stage by stage: a plain
# build, the Debian package, a build with AddressSanitizer and
# UndefinedBehaviorSanitizer, a ThreadSanitizer build of treesearch, and a
# short fuzzing run of every fuzz target. Installs the Debian packages it
# needs first. Every stage runs even when an earlier one failed; the last
# lines give one line per stage, and the status is 1 when any failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh || exit 1

jobs=$(nproc)
fuzz_seconds=${TREE_FUZZ_SECONDS:-30}
# The toolkit and its libraries keep some memory until exit; only their own
# frames are suppressed.
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
summary=()
failed=0

# run_stage NAME FUNCTION: runs the stage with its output shown and kept,
# then records one line with its result, its time and what the stage's
# `figures` function reads off its output.
run_stage() {
  local name=$1 stage=$2 log="$logs/$2.log" start=$SECONDS status
  echo "== $name"
  "$stage" 2>&1 | tee "$log"
  status=${PIPESTATUS[0]}
  local line
  line="$name: $([ "$status" -eq 0 ] && echo passed || echo FAILED) in $((SECONDS - start)) s"
  local figures
  figures=$(figures_of "$stage" "$log")
  [ -n "$figures" ] && line="$line; $figures"
  ((status == 0)) || failed=1
  summary+=("$line")
  echo "-- $line"
}

# What a ctest run or a fuzzing run said of itself, in one line.
figures_of() {
  local stage=$1 log=$2
  case $stage in
    fuzzing) grep -h '^fuzz ' "$log" | sed 's/^fuzz //' | paste -sd ';' - | sed 's/;/; /g' ;;
    package) grep -h '^package ' "$log" | sed 's/^package //' | tail -n 1 ;;
    *)
      local result
      result=$(grep -hE '^[0-9]+% tests passed' "$log" | tail -n 1)
      local skipped
      skipped=$(grep -chE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*\*\*\*Skipped' "$log")
      [ -n "$result" ] && echo "$result, $skipped skipped"
      ;;
  esac
}

ctest_in() {
  (cd "$1" && ctest --output-on-failure -j"$jobs")
}

plain() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null &&
    cmake --build build -j"$jobs" &&
    ctest_in build
}

package() {
  # Builds out/treetools_*.deb and runs the programs it installs.
  tests/package_test.sh && echo "package $(ls out/treetools_*.deb 2>/dev/null | tail -n 1) checked and run"
}

sanitizers() {
  cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTREE_SANITIZE=ON >/dev/null &&
    cmake --build build-sanitize -j"$jobs" &&
    ctest_in build-sanitize
}

# treesearch's reader thread and batch queue, and the tests of its library.
threads() {
  cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTREE_THREAD_SANITIZE=ON -DTREE_VIEWER=OFF \
    >/dev/null &&
    cmake --build build-tsan -j"$jobs" &&
    ctest_in build-tsan
}

fuzzing() {
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTREE_FUZZ=ON >/dev/null || return 1
  local fuzzers=(text_fuzzer line_scanner_fuzzer matcher_fuzzer template_fuzz image_decoders_fuzz)
  local corpora=(fuzz/text_corpus fuzz/line_scanner_corpus fuzz/matcher_corpus viewer/tree/fuzz/corpus viewer/images/decoders/fuzz/corpus)
  cmake --build build-fuzz -j"$jobs" --target "${fuzzers[@]}" || return 1
  local result=0 i
  for i in "${!fuzzers[@]}"; do
    local target=${fuzzers[$i]} binary scratch
    binary=$(find build-fuzz -type f -name "$target" -perm -u+x | head -n 1)
    scratch=$(mktemp -d)
    # New inputs go to the scratch folder; the committed seeds stay as they are.
    if "$binary" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      "$scratch" "${corpora[$i]}" 2>"$scratch.log"; then
      echo "fuzz $target: $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$scratch.log" | grep -o '[0-9]*$') executions, no failure"
    else
      tail -n 40 "$scratch.log"
      echo "fuzz $target: FAILED"
      result=1
    fi
    rm -rf "$scratch" "$scratch.log"
  done
  return $result
}

run_stage "plain build" plain
run_stage "Debian package" package
run_stage "AddressSanitizer and UndefinedBehaviorSanitizer build" sanitizers
run_stage "ThreadSanitizer build of treesearch" threads
run_stage "fuzzing, ${fuzz_seconds}s per target" fuzzing

echo "== summary"
printf '%s\n' "${summary[@]}"
echo "stages: $(printf '%s\n' "${summary[@]}" | grep -c ': passed') passed, $(printf '%s\n' "${summary[@]}" | grep -c ': FAILED') failed"
exit $failed
