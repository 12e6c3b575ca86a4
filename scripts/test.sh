#!/usr/bin/env bash
# Builds everything and runs the whole test suite: a plain build, a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, and a short fuzzing run of
# every fuzz target. Installs the Debian packages it needs first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/install-deps.sh

jobs=$(nproc)
fuzz_seconds=${TREE_FUZZ_SECONDS:-30}
# The toolkit and its libraries keep some memory until exit; only their own
# frames are suppressed.
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

echo "== plain build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

echo "== Debian package"
# Builds out/treetools_*.deb and runs the programs it installs.
tests/package_test.sh

echo "== AddressSanitizer and UndefinedBehaviorSanitizer build"
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTREE_SANITIZE=ON >/dev/null
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize && ctest --output-on-failure -j"$jobs")

echo "== fuzzing, ${fuzz_seconds}s per target"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTREE_FUZZ=ON >/dev/null
fuzzers=(text_fuzzer matcher_fuzzer template_fuzz image_decoders_fuzz)
corpora=(fuzz/text_corpus fuzz/matcher_corpus viewer/tree/fuzz/corpus viewer/images/decoders/fuzz/corpus)
cmake --build build-fuzz -j"$jobs" --target "${fuzzers[@]}"
for i in "${!fuzzers[@]}"; do
  target=${fuzzers[$i]}
  binary=$(find build-fuzz -type f -name "$target" -perm -u+x | head -n 1)
  scratch=$(mktemp -d)
  # New inputs go to the scratch folder; the committed seeds stay as they are.
  "$binary" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    "$scratch" "${corpora[$i]}" 2>"$scratch.log" ||
    { tail -n 40 "$scratch.log"; exit 1; }
  echo "$target: $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$scratch.log" | grep -o '[0-9]*$') executions, no failure"
  rm -rf "$scratch" "$scratch.log"
done
