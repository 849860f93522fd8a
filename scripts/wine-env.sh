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
  wine_env_fonts
  wine_env_sound

  local fifo="$build_dir/.xvfb-display"
  rm -f "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  wine_env_started_xvfb=$!
  local tries=0
  while [ ! -s "$fifo" ] && [ $tries -lt 100 ]; do sleep 0.1; tries=$((tries + 1)); done
  if [ ! -s "$fifo" ]; then echo "wine-env: Xvfb did not start" >&2; return 1; fi
  export DISPLAY=":$(head -n1 "$fifo")"

  # Make the prefix first, with a server of its own that ends when wineboot
  # is done; only then start the persistent one the tests share.
  if [ ! -f "$WINEPREFIX/.prefix-ready" ]; then
    wineboot --init >/dev/null 2>&1 || true
    wineserver -w
    touch "$WINEPREFIX/.prefix-ready"
  fi
  wineserver -f -p >/dev/null 2>&1 &
  wine_env_started_server=$!

  # Xvfb has no window manager: Wine draws the window frames itself
  # (otherwise captions and borders read back black) and leaves windows
  # unmanaged (otherwise hiding a window waits 2 s for a manager's answer).
  if [ ! -f "$WINEPREFIX/.x11-settings" ]; then
    wine_env_set_x11 Decorated N
    wine_env_set_x11 Managed N
    touch "$WINEPREFIX/.x11-settings"
  fi
  # Start the session's background processes (services, the desktop) now,
  # with no output: started by a test they would inherit its output pipes and
  # keep CTest waiting for them to close.
  wine cmd /c exit >/dev/null 2>&1 || true
}

# The font configuration of the scratch HOME, which Wine reads:
# - Wine's own fonts (Marlett for the caption buttons and the other glyphs
#   the system draws, the Tahoma-like and MS Sans Serif faces of dialogs),
#   which this Wine build does not look for in its data folder;
# - text drawn unsmoothed, as Windows draws its bitmap dialog fonts, so a
#   caption reads back in exactly two colours.
wine_env_fonts() {
  mkdir -p "$HOME/.config/fontconfig"
  cat >"$HOME/.config/fontconfig/fonts.conf" <<'FONTS'
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <dir>/usr/share/wine/fonts</dir>
  <match target="font">
    <edit name="antialias" mode="assign"><bool>false</bool></edit>
  </match>
</fontconfig>
FONTS
}

# Sound output to ALSA's null device, so that the audio paths run on a
# machine without a sound card (the sound tests also run once without it).
wine_env_sound() {
  echo 'pcm.!default { type null }' >"$HOME/.asoundrc"
}

# Sets a value of the X11 driver's key in the current WINEPREFIX.
wine_env_set_x11() {
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v "$1" /d "$2" /f >/dev/null 2>&1
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
