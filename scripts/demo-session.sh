#!/usr/bin/env bash
# One run of the demo on the current DISPLAY, for run-demo.sh (which sets
# WINEPREFIX, HOME and the other Wine variables). Environment: demo, the
# path of kvdemo.exe; screenshot, the PNG to save (empty: run until the
# window is closed). The prefix is made on first use, with Wine drawing the
# window frames itself, since a headless display has no window manager.
# Waits for the prefix's wineserver to end; exits with the demo's status.
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"
wine_env_fonts

if [ ! -f "$WINEPREFIX/.prefix-ready" ]; then
  wineboot --init >/dev/null 2>&1 || true
  wine_env_set_x11 Decorated N
  touch "$WINEPREFIX/.prefix-ready"
fi

status=0
if [ -n "${screenshot:-}" ]; then
  mkdir -p "$(dirname "$screenshot")"
  rm -f "$screenshot"
  KVDEMO_SCREENSHOT=$(winepath -w "$screenshot") wine "$demo" || status=$?
else
  wine "$demo" || status=$?
fi
wineserver -w
exit $status
