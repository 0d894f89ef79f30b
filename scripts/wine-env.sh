#!/usr/bin/env bash
# Sourced by the scripts that run the Windows executables under Wine: a
# display of their own and a fresh Wine prefix, made the same way for the
# tests on this machine and for the guest on a real kernel.
#
#   source scripts/wine-env.sh
#   wine_env PREFIX        # exports WINEPREFIX and the settings every run uses
#   start_xvfb             # sets DISPLAY and xvfb_pid
#   make_wine_prefix       # a new prefix at $WINEPREFIX
#   stop_wine_and_xvfb     # ends this prefix's Wine server and the display

wine_env() {
  export WINEPREFIX=$1
  export WINEARCH=win64
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
}

xvfb_pid=""
start_xvfb() {
  # A display number nobody else uses.
  local display=90
  while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
  done
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$display"
  for _ in $(seq 1 50); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.1
  done
}

stop_wine_and_xvfb() {
  wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
  fi
}

make_wine_prefix() {
  # A server left on the old prefix by an earlier run or by hand goes first.
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
  # Wine 8 does not pick up its own fonts unless they sit in the prefix.
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  # No window manager runs under Xvfb: Wine draws the frames itself.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  wineserver -w
}
