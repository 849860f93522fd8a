#!/bin/sh
# A volume of 1 MiB for the tests of streams that fill it:
#   small_volume.sh make <folder>     mounts a 1 MiB tmpfs there (as root);
#                                     where mounting is not allowed the folder
#                                     stays an ordinary one and the tests skip
#   small_volume.sh remove <folder>   unmounts it and removes the folder
set -eu
dir="$2"
if [ -d "$dir" ]; then
  if mountpoint -q "$dir" 2>/dev/null; then umount "$dir"; fi
  rm -rf "$dir"
fi
[ "$1" = make ] || exit 0

mkdir -p "$dir"
mount -t tmpfs -o size=1m,mode=0777 tmpfs "$dir" 2>/dev/null || true
