#!/bin/bash
# Breaks the portable sources one line at a time and tells which breaks no
# native test notices.
#
#   scripts/mutate.sh <list-file>...
#
# Each line of a list file is one change, `path|exact old text|new text`
# (path from the repository's top; the first occurrence of the old text in
# that file is replaced; when the texts hold `|` themselves, the old text is
# the longest run of fields that the file holds).
# Blank lines and lines starting with # are skipped.
# For each change: apply it, build the native tests (build-native, made when
# absent), run them (ctest), put the file back. A change that does not
# build, or whose old text is not in the file, is reported as such and
# counts as neither noticed nor missed.
#
# MUTATE_TESTS=<ctest regex> limits the tests run (default: all of them).
# Exits 1 when any change went unnoticed.
set -uo pipefail
cd "$(dirname "$0")/.."
[ $# -ge 1 ] || { echo "usage: scripts/mutate.sh <list-file>..." >&2; exit 2; }

build=build-native
# ccache, where the machine has it, spares recompiling each file put back;
# where it has none, a build configured with it drops the launcher.
launcher=(-UCMAKE_CXX_COMPILER_LAUNCHER -UCMAKE_C_COMPILER_LAUNCHER)
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=1
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/native-i386.cmake -DRUNTIME_FLAVOUR=native \
  "${launcher[@]}" >/dev/null 2>&1 || exit 2
echo "building the unchanged tree..."
cmake --build "$build" -j4 >/dev/null 2>&1 || { echo "the unchanged tree does not build" >&2; exit 2; }
ctest_args=(--test-dir "$build" -j4 --timeout 300)
[ -n "${MUTATE_TESTS:-}" ] && ctest_args+=(-R "$MUTATE_TESTS")
ctest "${ctest_args[@]}" >/dev/null 2>&1 || { echo "the unchanged tree fails its tests" >&2; exit 2; }

saved=$(mktemp)
current=""
restore() { [ -n "$current" ] && cp "$saved" "$current"; current=""; }
trap 'restore; rm -f "$saved"' EXIT
trap 'exit 130' INT TERM

# Applies one list line to its file; false when the file or the old text is
# absent. When the texts hold `|` themselves, the old text is the longest
# run of fields found in the file.
apply() {
  python3 - "$1" <<'EOF'
import sys
fields = sys.argv[1].split("|")
if len(fields) < 3:
    sys.exit(1)
path = fields[0]
try:
    text = open(path, encoding="utf-8").read()
except OSError:
    sys.exit(1)
for split in range(len(fields) - 1, 1, -1):
    old, new = "|".join(fields[1:split]), "|".join(fields[split:])
    if old and old in text:
        open(path, "w", encoding="utf-8").write(text.replace(old, new, 1))
        sys.exit(0)
sys.exit(1)
EOF
}

noticed=0; missed=0; unbuilt=0; absent=0
missed_list=()
for list in "$@"; do
  while IFS= read -r line || [ -n "$line" ]; do
    [[ -z "${line// }" || "$line" == \#* ]] && continue
    path=${line%%|*}
    label="$path: ${line#*|}"
    if [ ! -f "$path" ]; then
      echo "ABSENT     $label (no such file)"; absent=$((absent + 1)); continue
    fi
    cp "$path" "$saved"
    current=$path
    if ! apply "$line"; then
      restore
      echo "ABSENT     $label (old text not found)"; absent=$((absent + 1)); continue
    fi
    if ! cmake --build "$build" -j4 </dev/null >/dev/null 2>&1; then
      echo "NO BUILD   $label"; unbuilt=$((unbuilt + 1))
    elif ctest "${ctest_args[@]}" </dev/null >/dev/null 2>&1; then
      echo "MISSED     $label"; missed=$((missed + 1)); missed_list+=("$label")
    else
      echo "noticed    $label"; noticed=$((noticed + 1))
    fi
    restore
  done <"$list"
done
# Leave the build as the sources are.
cmake --build "$build" -j4 >/dev/null 2>&1

echo
echo "$((noticed + missed)) changes run: $noticed noticed, $missed missed" \
     "($unbuilt did not build, $absent not applied)"
for label in "${missed_list[@]}"; do echo "  missed: $label"; done
[ "$missed" -eq 0 ]
