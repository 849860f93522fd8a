#!/bin/bash
# The storage benchmark: the engine against SQLite 3.53.2 (the amalgamation
# shipped in the better-sqlite3 12.11.1 npm package, fetched into the build
# tree and never committed), each case in its own process under Wine with the
# tests' prefix. Prints one table.
#
#   bench/run_dbstore_bench.sh [bench build folder] [tests' build folder] [rows...]
#   (defaults: build-bench, build-test, 100000 1000000)
set -euo pipefail
cd "$(dirname "$0")/.."
bench_build=${1:-build-bench}
test_build=${2:-build-test}
shift $(( $# > 2 ? 2 : $# )) || true
row_counts=("$@")
[ ${#row_counts[@]} -eq 0 ] && row_counts=(100000 1000000)

sqlite_dir="$bench_build/sqlite/package/deps/sqlite3"
if [ ! -f "$sqlite_dir/sqlite3.o" ]; then
  mkdir -p "$bench_build/sqlite"
  (cd "$bench_build/sqlite" && npm pack better-sqlite3@12.11.1 >/dev/null 2>&1 &&
     tar -xzf better-sqlite3-12.11.1.tgz package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h)
  i686-w64-mingw32-gcc-posix -O2 -DSQLITE_THREADSAFE=0 -c "$sqlite_dir/sqlite3.c" -o "$sqlite_dir/sqlite3.o"
fi
cmake -S . -B "$bench_build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DRUNTIME_FLAVOUR=release \
  -DDBSTORE_BENCH_SQLITE_DIR="$(cd "$sqlite_dir" && pwd)" >/dev/null
cmake --build "$bench_build" --target dbstore_bench -j4 >/dev/null

mkdir -p "$test_build"
. scripts/wine-env.sh
wine_env_start "$test_build"
trap wine_env_stop EXIT
bench_exe="$(cd "$bench_build" && pwd)/bench/dbstore_bench.exe"
scratch='C:\dbstore_bench'

declare -A result
for rows in "${row_counts[@]}"; do
  for order in increasing random absent; do
    for engine in engine sqlite sqlite-default; do
      line=$(wine "$bench_exe" "$engine" "$rows" "$order" "$scratch" 2>/dev/null | grep '^case ' || true)
      result["$engine $rows $order"]="${line#case $engine $rows $order }"
    done
  done
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }
printf '%-10s %-10s %-15s %12s %12s %12s %12s %9s\n' rows order engine "insert/s" "scan/s" "seek/s" "file bytes" "peak MiB"
for rows in "${row_counts[@]}"; do
  for order in increasing random absent; do
    read -r ei es ek ef em <<<"${result["engine $rows $order"]:-0 0 0 0 0}"
    for engine in engine sqlite sqlite-default; do
      read -r i s k f m <<<"${result["$engine $rows $order"]:-0 0 0 0 0}"
      printf '%-10s %-10s %-15s %12s %12s %12s %12s %9s\n' "$rows" "$order" "$engine" "$i" "$s" "$k" "$f" "$m"
    done
    for engine in sqlite sqlite-default; do
      read -r i s k f m <<<"${result["$engine $rows $order"]:-0 0 0 0 0}"
      printf '%-10s %-10s %-15s %12s %12s %12s %12s %9s\n' "$rows" "$order" "÷ $engine" \
        "$(ratio "$ei" "$i")" "$(ratio "$es" "$s")" "$(ratio "$ek" "$k")" "$(ratio "$ef" "$f")" "$(ratio "$em" "$m")"
    done
  done
done
