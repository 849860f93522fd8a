#!/bin/bash
# The storage benchmark: the storage core and the engine's table layer
# against SQLite 3.53.2 (the amalgamation shipped in the better-sqlite3
# 12.11.1 npm package, fetched into the build tree and never committed), each
# case in its own process under Wine with the tests' prefix. SQLite runs in
# exclusive locking mode (it holds its file lock while open, as the engine
# does), once with a cache matched to the engine's budget ("sqlite") and once
# with its own default cache ("sqlite-default", a reference row). Prints one
# table, then the table layer's ratios against their goals, then per case
# the storage core's five ratios against SQLite with the matched cache.
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

. bench/sqlite_amalgamation.sh
sqlite_dir=$(sqlite_amalgamation "$bench_build")
cmake -S . -B "$bench_build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DRUNTIME_FLAVOUR=release \
  -DDBSTORE_BENCH_SQLITE_DIR="$sqlite_dir" >/dev/null
cmake --build "$bench_build" --target dbstore_bench -j4 >/dev/null

mkdir -p "$test_build"
. scripts/wine-env.sh
wine_env_start "$test_build"
trap wine_env_stop EXIT
bench_exe="$(cd "$bench_build" && pwd)/bench/dbstore_bench.exe"
scratch='C:\dbstore_bench'

# The first process after the Wine server starts runs slower (its files
# and the server not yet warm): one small case runs first, unmeasured, so
# that no engine's first case pays for it.
wine "$bench_exe" engine 10000 increasing "$scratch" >/dev/null 2>&1 || true

declare -A result
orders=(increasing random absent bulk mixed)
# The table layer runs the single-transaction cases only.
engines_of() { case "$1" in bulk|mixed) echo engine sqlite sqlite-default ;; *) echo engine table sqlite sqlite-default ;; esac; }
for rows in "${row_counts[@]}"; do
  for order in "${orders[@]}"; do
    for engine in $(engines_of "$order"); do
      line=$(wine "$bench_exe" "$engine" "$rows" "$order" "$scratch" 2>/dev/null | grep '^case ' || true)
      result["$engine $rows $order"]="${line#case $engine $rows $order }"
    done
  done
done

load() { read -r -a figures <<<"${result["$1"]:-0 0 0 0 0 0 0}"; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }
row() { printf '%-10s %-10s %-15s %12s %12s %12s %12s %9s %11s %11s\n' "$@"; }
row rows order engine "insert/s" "scan/s" "seek/s" "file bytes" "peak MiB" "BLOB w MB/s" "BLOB r MB/s"
for rows in "${row_counts[@]}"; do
  for order in "${orders[@]}"; do
    for engine in $(engines_of "$order"); do
      load "$engine $rows $order"
      row "$rows" "$order" "$engine" "${figures[@]}"
    done
    pairs=("engine sqlite" "engine sqlite-default")
    [[ "$(engines_of "$order")" == *table* ]] && pairs+=("table engine" "table sqlite")
    for pair in "${pairs[@]}"; do
      read -r ours peer <<<"$pair"
      load "$ours $rows $order"; mine=("${figures[@]}")
      load "$peer $rows $order"
      quotients=()
      for i in 0 1 2 3 4 5 6; do quotients+=("$(ratio "${mine[$i]}" "${figures[$i]}")"); done
      row "$rows" "$order" "$ours ÷ $peer" "${quotients[@]}"
    done
  done
done

echo
goal() { printf '%-10s %-10s %-24s %sx %s goal %s %s\n' "$1" "$2" "$3" "$4" "$5" "${7:->=}" "$6"; }
for rows in "${row_counts[@]}"; do
  for order in increasing random absent; do
    load "table $rows $order"; table=("${figures[@]}")
    load "engine $rows $order"; core=("${figures[@]}")
    load "sqlite $rows $order"; sqlite=("${figures[@]}")
    goal "$rows" "$order" "table inserts" "$(ratio "${table[0]}" "${core[0]}")" "storage core" 0.8
    goal "$rows" "$order" "table scan" "$(ratio "${table[1]}" "${core[1]}")" "storage core" 0.7
    if [ "$order" != absent ]; then
      goal "$rows" "$order" "table lookups" "$(ratio "${table[2]}" "${core[2]}")" "storage core seeks" 0.6
    fi
    goal "$rows" "$order" "10 MB BLOB write" "$(ratio "${table[5]}" "${sqlite[5]}")" "sqlite" 1.0
    goal "$rows" "$order" "10 MB BLOB read" "$(ratio "${table[6]}" "${sqlite[6]}")" "sqlite" 1.0
  done
done

# The storage core against SQLite with the matched cache, one block per case:
# inserts (operations for "mixed"), scan, seeks, file bytes, peak working set.
echo
for rows in "${row_counts[@]}"; do
  for order in "${orders[@]}"; do
    load "engine $rows $order"; core=("${figures[@]}")
    load "sqlite $rows $order"; sqlite=("${figures[@]}")
    goal "$rows" "$order" "inserts" "$(ratio "${core[0]}" "${sqlite[0]}")" sqlite 0.7
    goal "$rows" "$order" "full scan" "$(ratio "${core[1]}" "${sqlite[1]}")" sqlite 1.0
    goal "$rows" "$order" "10,000 seeks" "$(ratio "${core[2]}" "${sqlite[2]}")" sqlite 1.0
    # Loads in key order fill their pages; the others leave some room.
    case "$order" in increasing|bulk) bytes_goal=1.3 ;; *) bytes_goal=1.6 ;; esac
    goal "$rows" "$order" "file bytes" "$(ratio "${core[3]}" "${sqlite[3]}")" sqlite "$bytes_goal" "<="
    goal "$rows" "$order" "peak working set" "$(ratio "${core[4]}" "${sqlite[4]}")" sqlite 1.3 "<="
  done
done

# Growth: time at the largest row count over time at the smallest, per row.
# Inserts and the scan cover every row; the mixed case's operations and the
# seeks are as many at every size, so their time is the inverse of the rate.
# SQLite's own rows (matched cache) show what the same work grows by on this
# machine: once a case's pages outgrow the processor's last cache, every
# engine's inserts wait on memory more per row.
if [ ${#row_counts[@]} -ge 2 ]; then
  echo
  small=${row_counts[0]} big=${row_counts[${#row_counts[@]}-1]}
  growth() {  # rate at small, rate at big, whether the work grows with the rows
    awk -v s="$1" -v b="$2" -v k="$(( big / small ))" -v scaled="$3" \
      'BEGIN { if (s > 0 && b > 0) printf "%.2f", (scaled ? k : 1) * s / b; else printf "-" }'
  }
  for order in "${orders[@]}"; do
    for engine in $(engines_of "$order"); do
      [ "$engine" = sqlite-default ] && continue
      load "$engine $small $order"; at_small=("${figures[@]}")
      load "$engine $big $order"; at_big=("${figures[@]}")
      scaled=1; [ "$order" = mixed ] && scaled=0
      goal "$big÷$small" "$order" "$engine inserts growth" "$(growth "${at_small[0]}" "${at_big[0]}" $scaled)" "time" 12 "<="
      goal "$big÷$small" "$order" "$engine scan growth" "$(growth "${at_small[1]}" "${at_big[1]}" 1)" "time" 12 "<="
      if [ "$order" != absent ] || [ "$engine" = engine ]; then
        goal "$big÷$small" "$order" "$engine seeks growth" "$(growth "${at_small[2]}" "${at_big[2]}" 0)" "time" 12 "<="
      fi
    done
  done
fi
