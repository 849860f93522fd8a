#!/bin/sh
# The serial tests' lines: pseudo-terminal pairs com5<->com6 and com12<->com13
# linked into the Wine prefix's dosdevices, made by socat.
#   serial_ptys.sh start <pid file>   starts them, writing socat's ids
#   serial_ptys.sh stop <pid file>    stops those ids
set -eu
dev="$WINEPREFIX/dosdevices"
case "$1" in
start)
  command -v socat >/dev/null || { echo "serial_ptys: socat is missing; install the package socat" >&2; exit 1; }
  : >"$2"
  for pair in "com5 com6" "com12 com13"; do
    set -- "$1" "$2" $pair
    rm -f "$dev/$3" "$dev/$4"
    socat "pty,raw,echo=0,link=$dev/$3" "pty,raw,echo=0,link=$dev/$4" </dev/null >/dev/null 2>&1 &
    echo $! >>"$2"
    tries=0
    until [ -e "$dev/$3" ] && [ -e "$dev/$4" ]; do
      tries=$((tries + 1))
      [ $tries -le 50 ] || { echo "serial_ptys: socat made no $3/$4 links" >&2; exit 1; }
      sleep 0.1
    done
  done ;;
stop)
  if [ -f "$2" ]; then
    while read -r pid; do kill "$pid" 2>/dev/null || true; done <"$2"
    rm -f "$2"
  fi ;;
esac
