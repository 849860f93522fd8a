# Sourced by the benchmark scripts: sqlite_amalgamation <bench build folder>
# fetches SQLite 3.53.2 (the amalgamation shipped in the better-sqlite3
# 12.11.1 npm package) into the build tree once, never committed, compiles
# it for the target, and prints the folder holding sqlite3.h and sqlite3.o.
sqlite_amalgamation() {
  local dir="$1/sqlite/package/deps/sqlite3"
  if [ ! -f "$dir/sqlite3.o" ]; then
    mkdir -p "$1/sqlite"
    (cd "$1/sqlite" && npm pack better-sqlite3@12.11.1 >/dev/null 2>&1 &&
       tar -xzf better-sqlite3-12.11.1.tgz package/deps/sqlite3/sqlite3.c package/deps/sqlite3/sqlite3.h)
    i686-w64-mingw32-gcc-posix -O2 -DSQLITE_THREADSAFE=0 -c "$dir/sqlite3.c" -o "$dir/sqlite3.o"
  fi
  (cd "$dir" && pwd)
}

# bench_with_sqlite <bench build folder> <target> configures the folder for
# the release flavour with that SQLite build and builds the benchmark.
bench_with_sqlite() {
  local sqlite_dir
  sqlite_dir=$(sqlite_amalgamation "$1")
  cmake -S . -B "$1" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DRUNTIME_FLAVOUR=release \
    -DDBSTORE_BENCH_SQLITE_DIR="$sqlite_dir" >/dev/null
  cmake --build "$1" --target "$2" -j4 >/dev/null
}
