#!/usr/bin/env bash
# Sets up the machine, builds the test flavour and runs every test under Wine.
set -euo pipefail
cd "$(dirname "$0")"
root=$(pwd)

./scripts/setup-machine.sh

# The portable units natively under AddressSanitizer and UBSan, and each fuzz
# target once over its committed corpus.
native="$root/build-native"
cmake -S . -B "$native" -DCMAKE_TOOLCHAIN_FILE=cmake/native-i386.cmake \
  -DRUNTIME_FLAVOUR=native >/dev/null
cmake --build "$native" -j"$(nproc)"
(cd "$native" && ctest --output-on-failure -j"$(nproc)")
echo "native: sanitizer tests and fuzz corpora passed"

build="$root/build-test"
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DRUNTIME_FLAVOUR=test -DRUNTIME_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)"

. scripts/wine-env.sh
trap wine_env_stop EXIT
wine_env_start "$build"
cd "$build"
ctest --output-on-failure -j"$(nproc)"
