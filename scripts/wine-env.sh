# Sourced by test.sh and run-demo.sh: a private Wine prefix and home under the
# build tree, an Xvfb display and a persistent wineserver. wine_env_stop stops
# only the processes started here, by their process ids.
# Usage: wine_env_start <build-dir>

wine_env_started_xvfb=""
wine_env_started_server=""

wine_env_start() {
  local build_dir
  build_dir=$(cd "$1" && pwd)
  export WINEPREFIX="$build_dir/wineprefix"
  export HOME="$build_dir/home"
  export WINEDEBUG=-all
  export WINEARCH=win32
  # No Mono or Gecko installer prompts in a test prefix.
  export WINEDLLOVERRIDES="mscoree=;mshtml="
  mkdir -p "$HOME"

  local fifo="$build_dir/.xvfb-display"
  rm -f "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  wine_env_started_xvfb=$!
  local tries=0
  while [ ! -s "$fifo" ] && [ $tries -lt 100 ]; do sleep 0.1; tries=$((tries + 1)); done
  if [ ! -s "$fifo" ]; then echo "wine-env: Xvfb did not start" >&2; return 1; fi
  export DISPLAY=":$(head -n1 "$fifo")"

  wineserver -f -p >/dev/null 2>&1 &
  wine_env_started_server=$!

  if [ ! -f "$WINEPREFIX/.prefix-ready" ]; then
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w
    wineserver -f -p >/dev/null 2>&1 &
    wine_env_started_server=$!
    touch "$WINEPREFIX/.prefix-ready"
  fi
}

wine_env_stop() {
  if [ -n "$wine_env_started_server" ]; then
    wineserver -k >/dev/null 2>&1 || true
    kill "$wine_env_started_server" 2>/dev/null || true
    wait "$wine_env_started_server" 2>/dev/null || true
  fi
  if [ -n "$wine_env_started_xvfb" ]; then
    kill "$wine_env_started_xvfb" 2>/dev/null || true
    wait "$wine_env_started_xvfb" 2>/dev/null || true
  fi
  wine_env_started_server=""
  wine_env_started_xvfb=""
}
