#!/bin/bash
# The serial benchmark on the tests' pseudo-terminal lines, under Wine with
# the tests' prefix. Prints the bench's figures.
#
#   bench/run_serial_bench.sh [bench build folder] [tests' build folder]
#   (defaults: build-bench, build-test)
set -euo pipefail
cd "$(dirname "$0")/.."
bench_build=${1:-build-bench}
test_build=${2:-build-test}
cmake -S . -B "$bench_build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DRUNTIME_FLAVOUR=release >/dev/null
cmake --build "$bench_build" --target serial_bench -j4 >/dev/null

mkdir -p "$test_build"
. scripts/wine-env.sh
wine_env_start "$test_build"
pids="$(cd "$test_build" && pwd)/serial-bench-ptys.pids"
trap 'tests/system/serial_ptys.sh stop "$pids"; wine_env_stop' EXIT
tests/system/serial_ptys.sh start "$pids"
wine "$bench_build/bench/serial_bench.exe" 2>&1
