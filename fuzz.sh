#!/usr/bin/env bash
# Builds the native flavour in build-native and runs every fuzz target for the
# given number of seconds each (default 60), starting from its committed
# corpus. Prints per target the executions, the coverage (features) and the
# findings; crash inputs land in build-native/fuzz-findings/<target>/.
# Exits non-zero when any target found something.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)
seconds=${1:-60}

./scripts/setup-machine.sh
native="$root/build-native"
cmake -S . -B "$native" -DCMAKE_TOOLCHAIN_FILE=cmake/native-i386.cmake \
  -DRUNTIME_FLAVOUR=native >/dev/null
cmake --build "$native" -j"$(nproc)"

export ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1
export LSAN_OPTIONS=suppressions=$root/testsupport/native/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
targets=$(cd "$native" && ls fuzz_* | sed 's/^fuzz_//')
failed=0
for target in $targets; do
  findings="$native/fuzz-findings/$target"
  work="$native/fuzz-work/$target"
  mkdir -p "$findings" "$work"
  log="$native/fuzz-work/$target.log"
  # New inputs grow in the work folder; the committed seeds are only read.
  status=0
  "$native/fuzz_$target" -max_total_time="$seconds" -timeout=10 -max_len=65536 \
    -artifact_prefix="$findings/" -print_final_stats=1 \
    "$work" "$root/tests/fuzz/corpus/$target" >"$log" 2>&1 || status=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  features=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || echo 0)
  found=$(find "$findings" -type f | wc -l)
  echo "$target: $runs executions, $features features, $found findings (exit $status)"
  if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
    failed=1
    grep -m3 -E 'ERROR|SUMMARY|fuzz oracle|recorded box' "$log" || true
  fi
done
exit $failed
