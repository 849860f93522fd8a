#!/bin/bash
# The SQL benchmark: this run-time's Database.SQLExecute / SQLSelect against
# SQLite 3.53.2 (the amalgamation shipped in the better-sqlite3 12.11.1 npm
# package, fetched into the build tree and never committed) through
# sqlite3_exec and through prepared statements, each case in its own process
# under Wine with the tests' prefix, on one file system. Prints one table,
# then the ratios (SQLite's time / ours) against their goals, then where our
# time goes. The query results' cases follow (scrollable reads, ORDER BY,
# GROUP BY), against SQLite's prepared statements, with each process's peak
# working set; a case that runs over 600 s shows "> 600 s".
#
#   bench/run_sql_bench.sh [--full] [bench build folder] [tests' build folder]
#   (defaults: build-bench, build-test; 100,000 rows, --full adds 1,000,000)
set -euo pipefail
cd "$(dirname "$0")/.."
row_counts=(100000)
if [ "${1:-}" = "--full" ]; then row_counts+=(1000000); shift; fi
bench_build=${1:-build-bench}
test_build=${2:-build-test}

. bench/sqlite_amalgamation.sh
sqlite_dir=$(sqlite_amalgamation "$bench_build")
cmake -S . -B "$bench_build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DRUNTIME_FLAVOUR=release \
  -DDBSTORE_BENCH_SQLITE_DIR="$sqlite_dir" >/dev/null
cmake --build "$bench_build" --target sql_bench -j4 >/dev/null

mkdir -p "$test_build"
. scripts/wine-env.sh
wine_env_start "$test_build"
trap wine_env_stop EXIT
bench_exe="$(cd "$bench_build" && pwd)/bench/sql_bench.exe"
scratch='C:\sql_bench'

cases=(insert commit select range like update delete join)
drivers=(ours sqlite-exec sqlite-prepared)
declare -A seconds statements split
for rows in "${row_counts[@]}"; do
  for name in "${cases[@]}"; do
    for driver in "${drivers[@]}"; do
      read -r _ _ _ _ count time _ < <(wine "$bench_exe" "$name" "$driver" "$rows" "$scratch" 2>/dev/null |
                                        grep '^case ' || echo "case - - - 0 0 0")
      seconds["$name $driver $rows"]=$time
      statements["$name $rows"]=$count
    done
    split["$name $rows"]=$(wine "$bench_exe" "$name" split "$rows" "$scratch" 2>/dev/null | grep '^split ' |
                             cut -d' ' -f3- || true)
  done
done

per_second() { awk -v n="$1" -v s="$2" 'BEGIN { if (s > 0) printf "%.0f", n / s; else printf "-" }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "-" }'; }
row() { printf '%-8s %-8s %14s %14s %14s %9s %9s\n' "$@"; }
row rows case "ours st/s" "exec st/s" "prepared st/s" "exec÷us" "prep÷us"
for rows in "${row_counts[@]}"; do
  for name in "${cases[@]}"; do
    n=${statements["$name $rows"]}
    ours=${seconds["$name ours $rows"]}; exec=${seconds["$name sqlite-exec $rows"]}
    prepared=${seconds["$name sqlite-prepared $rows"]}
    row "$rows" "$name" "$(per_second "$n" "$ours")" "$(per_second "$n" "$exec")" \
      "$(per_second "$n" "$prepared")" "$(ratio "$exec" "$ours")" "$(ratio "$prepared" "$ours")"
  done
done

echo
declare -A goals=([insert]=0.8 [commit]=0.8 [update]=0.8 [delete]=0.8 [select]=0.6 [range]=0.6 [like]=0.6 [join]=0.5)
for rows in "${row_counts[@]}"; do
  for name in "${cases[@]}"; do
    printf '%-8s %-8s %sx sqlite3_exec goal >= %s\n' "$rows" "$name" \
      "$(ratio "${seconds["$name sqlite-exec $rows"]}" "${seconds["$name ours $rows"]}")" "${goals[$name]}"
  done
done

echo
echo "where our time goes (seconds): parse, parse+validate, statement without values, with values"
for rows in "${row_counts[@]}"; do
  for name in "${cases[@]}"; do printf '%-8s %-8s %s\n' "$rows" "$name" "${split["$name $rows"]}"; done
done

# The query results' cases, ours against SQLite's prepared statements; the
# ORDER BY cases also at a tenth of the size, for the growth per tenfold.
results_cases=(drain order-int order-int-desc order-text order-text-desc group10 group1k group100k query)
results_counts=(10000 "${row_counts[@]}")
declare -A rseconds rpeak
run_case() {  # case driver rows: "<seconds> <peak>", or "> 600 s" when it runs over
  local line
  line=$(timeout 600 wine "$bench_exe" "$1" "$2" "$3" "$scratch" 2>/dev/null | tr -d '\r' | grep '^case ' || true)
  if [ -z "$line" ]; then echo "timeout -"; else echo "$line" | awk '{ print $6, $8 }'; fi
}
for rows in "${results_counts[@]}"; do
  for name in "${results_cases[@]}"; do
    for driver in ours sqlite-prepared; do
      read -r time peak < <(run_case "$name" "$driver" "$rows")
      rseconds["$name $driver $rows"]=$time
      rpeak["$name $driver $rows"]=$peak
    done
  done
done

echo
mib() { awk -v b="$1" 'BEGIN { if (b ~ /^[0-9]+$/) printf "%.1f", b / 1048576; else printf "-" }'; }
shown() { [ "$1" = timeout ] && echo "> 600 s" || per_second "$2" "$1"; }
printf '%-8s %-16s %14s %14s %8s %10s %10s\n' rows case "ours rows/s" "sqlite rows/s" "sqlite÷us" "ours MiB" "sqlite MiB"
for rows in "${results_counts[@]}"; do
  for name in "${results_cases[@]}"; do
    ours=${rseconds["$name ours $rows"]}; theirs=${rseconds["$name sqlite-prepared $rows"]}
    [ "$ours" = timeout ] && r="-" || r=$(ratio "$theirs" "$ours")
    printf '%-8s %-16s %14s %14s %8s %10s %10s\n' "$rows" "$name" "$(shown "$ours" "$rows")" \
      "$(shown "$theirs" "$rows")" "$r" "$(mib "${rpeak["$name ours $rows"]}")" \
      "$(mib "${rpeak["$name sqlite-prepared $rows"]}")"
  done
done

echo
for rows in "${row_counts[@]}"; do
  for name in "${results_cases[@]}"; do
    ours=${rseconds["$name ours $rows"]}
    [ "$ours" = timeout ] && r="> 600 s" || r="$(ratio "${rseconds["$name sqlite-prepared $rows"]}" "$ours")x"
    goal=0.7; [ "$name" = query ] && goal=1.0
    printf '%-8s %-16s %s sqlite-prepared goal >= %s\n' "$rows" "$name" "$r" "$goal"
  done
  for name in order-int order-int-desc order-text order-text-desc; do
    printf '%-8s %-16s %sx MiB-peak-above-drain goal <= 8\n' "$rows" "$name" \
      "$(awk -v a="${rpeak["$name ours $rows"]}" -v b="${rpeak["drain ours $rows"]}" \
         'BEGIN { if (a ~ /^[0-9]+$/ && b ~ /^[0-9]+$/) printf "%.2f", (a - b) / 1048576; else printf "-" }')"
  done
done

echo
echo "ORDER BY time per tenfold size (about 12 for n log n):"
previous=""
for rows in "${results_counts[@]}"; do
  if [ -n "$previous" ]; then
    for name in order-int order-int-desc order-text order-text-desc; do
      printf '%-8s %-16s %s\n' "$rows" "$name" \
        "$(ratio "${rseconds["$name ours $rows"]}" "${rseconds["$name ours $previous"]}")"
    done
  fi
  previous=$rows
done

echo
echo "where our ORDER BY time goes (seconds): source drained, source drained reading its values,"
echo "sorted result built (those reads, runs, spool writes, merges), sorted rows walked, values read as text"
for rows in "${row_counts[@]}"; do
  for name in order-int order-text; do
    printf '%-8s %-16s %s\n' "$rows" "$name" \
      "$(wine "$bench_exe" "$name" split "$rows" "$scratch" 2>/dev/null | grep '^split ' | cut -d' ' -f3- || true)"
  done
done
