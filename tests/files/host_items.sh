#!/bin/sh
# What only the host can make for the folder-item tests, in one folder:
#   host_items.sh make <folder>     names holding a backslash, which Wine lists
#                                   as they are, and a folder the file system
#                                   will not let anything be deleted from
#   host_items.sh remove <folder>   takes it all away again
# The folder is frozen with chattr +i where that works (as root on most file
# systems), else by taking its write permission; "frozen-by" says which, and
# is empty when neither holds.
set -eu
dir="$2"
if [ -d "$dir" ]; then
  chattr -R -i "$dir" 2>/dev/null || true
  chmod -R u+w "$dir"
  rm -rf "$dir"
fi
[ "$1" = make ] || exit 0

mkdir -p "$dir/sub" "$dir/names/back" "$dir/frozen/empty"
printf 'victim' >"$dir/victim.txt"
printf 'listed' >"$dir/sub/..\\victim.txt"
printf 'real' >"$dir/names/back/slash"
printf 'listed' >"$dir/names/back\\slash"
printf 'kept' >"$dir/frozen/inside.txt"
printf 'kept' >"$dir/immutable.txt"

if chattr +i "$dir/immutable.txt" "$dir/frozen" 2>/dev/null; then
  echo chattr >"$dir/frozen-by"
else
  chattr -i "$dir/immutable.txt" 2>/dev/null || true
  rm -f "$dir/immutable.txt"
  chmod a-w "$dir/frozen"
  # Permissions stop no one running as root.
  if rmdir "$dir/frozen/empty" 2>/dev/null; then
    mkdir "$dir/frozen/empty" 2>/dev/null || true
    : >"$dir/frozen-by"
  else
    echo chmod >"$dir/frozen-by"
  fi
fi
