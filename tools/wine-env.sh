# Sourced by the run and test scripts: a Wine prefix inside the given build folder, tuned for
# tests (no window manager waits), with its service processes started detached from our stdio.
# Usage: wine_env_up <build-dir>; ...; wine_env_down
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64

wine_env_up() {
  local dir="$1"
  export WINEPREFIX="$dir/wineprefix"
  export WINEDEBUG="${WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ ! -f "$WINEPREFIX/.orvane-ready" ]; then
    rm -rf "$WINEPREFIX"
    "$WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
    "$WINESERVER" -w
    # Without a window manager Wine waits about 2 s whenever a top-level window goes away.
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
    # A crashing test must fail at once, not wait for a debugger.
    "$WINE" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /f </dev/null >/dev/null 2>&1
    "$WINESERVER" -w
    touch "$WINEPREFIX/.orvane-ready"
  fi
  "$WINESERVER" -p
  "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

wine_env_down() {
  "$WINESERVER" -k 2>/dev/null || true
}
