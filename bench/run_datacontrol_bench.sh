#!/bin/bash
# The DataControl benchmark: its MovePrevious walk from the last row to the
# first (with no bound controls and with five) and RecordCount on a fresh
# query, over 1,000 and 4,000 rows of "select * from t" and the same ordered
# by name, against SQLite 3.53.2 (the SQL benchmark's build, fetched into the
# build tree and never committed) doing the same work through prepared
# statements. Each driver and size runs in its own process under Wine with
# the tests' prefix, in a hidden window. Prints milliseconds per step, the
# growth from 1,000 to 4,000 rows, then the ratios (SQLite's time / ours)
# against their goals.
#
#   bench/run_datacontrol_bench.sh [bench build folder] [tests' build folder]
#   (defaults: build-bench, build-test)
set -euo pipefail
cd "$(dirname "$0")/.."
bench_build=${1:-build-bench}
test_build=${2:-build-test}

. bench/sqlite_amalgamation.sh
bench_with_sqlite "$bench_build" datacontrol_bench

mkdir -p "$test_build"
. scripts/wine-env.sh
wine_env_start "$test_build"
trap wine_env_stop EXIT
bench_exe="$(cd "$bench_build" && pwd)/bench/datacontrol_bench.exe"
scratch='C:\datacontrol_bench'

sizes=(1000 4000)
declare -A seconds steps
for rows in "${sizes[@]}"; do
  for driver in ours sqlite; do
    while read -r _ name count time n; do
      seconds["$name $driver $count"]=$time
      steps["$name $driver $count"]=$n
    done < <(wine "$bench_exe" "$driver" "$rows" "$scratch" 2>/dev/null | tr -d '\r' | grep '^case ')
  done
done

ms() { awk -v s="$1" -v n="$2" 'BEGIN { if (s != "" && n > 0) printf "%.3f", 1000 * s / n; else printf "-" }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a != "" && b > 0) printf "%.2f", a / b; else printf "-" }'; }
cases=(walk-plain walk-sorted walk-five-plain walk-five-sorted count-plain count-sorted)
printf '%-18s %8s %12s %12s %10s %10s\n' case rows "ours ms" "sqlite ms" "sqlite÷us" "4000÷1000"
for name in "${cases[@]}"; do
  theirs_name=${name/walk-five/walk}
  for rows in "${sizes[@]}"; do
    ours=${seconds["$name ours $rows"]:-}; theirs=${seconds["$theirs_name sqlite $rows"]:-}
    growth="-"
    [ "$rows" = 4000 ] && growth=$(ratio "$(ms "$ours" "${steps["$name ours 4000"]:-0}")" \
                                         "$(ms "${seconds["$name ours 1000"]:-}" "${steps["$name ours 1000"]:-0}")")
    printf '%-18s %8s %12s %12s %10s %10s\n' "$name" "$rows" \
      "$(ms "$ours" "${steps["$name ours $rows"]:-0}")" \
      "$(ms "$theirs" "${steps["$theirs_name sqlite $rows"]:-0}")" "$(ratio "$theirs" "$ours")" "$growth"
  done
done

echo
for name in "${cases[@]}"; do
  theirs_name=${name/walk-five/walk}
  goal=""
  case "$name" in
    walk-plain|walk-sorted) goal=" goal >= 0.8" ;;
    count-*) goal=" goal >= 0.5" ;;
  esac
  for rows in "${sizes[@]}"; do
    printf '%-8s %-18s %sx sqlite-prepared%s\n' "$rows" "$name" \
      "$(ratio "${seconds["$theirs_name sqlite $rows"]:-}" "${seconds["$name ours $rows"]:-}")" "$goal"
  done
done
