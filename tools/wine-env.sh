# Sourced by the run, test and screenshot scripts: a Wine prefix inside the given build folder,
# tuned for tests (no window manager waits), with a CJK font for the Chinese captions, and its
# service processes started detached from our stdio.
# Usage: wine_env_up <build-dir> [dpi] || fail; ...; wine_env_down
# With a dpi the programs run in a second prefix of the build folder, "wineprefix-hidpi", whose
# system DPI (HKCU\Control Panel\Desktop LogPixels) is set to it; each new process reads it.
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64

wine_env_up() {
  local dir="$1" dpi="${2:-}"
  export WINEPREFIX="$dir/wineprefix${dpi:+-hidpi}"
  export WINEDEBUG="${WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # The marker names the prefix layout: a prefix made by an older script is made again.
  local marker="$WINEPREFIX/.orvane-ready-2"
  if [ ! -f "$marker" ]; then
    rm -rf "$WINEPREFIX"
    "$WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
    "$WINESERVER" -w
    # Without a window manager Wine waits about 2 s whenever a top-level window goes away.
    "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
    # A crashing test must fail at once, not wait for a debugger.
    "$WINE" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /f </dev/null >/dev/null 2>&1
    # Chinese captions and message boxes: link Debian's WenQuanYi Micro Hei (fonts-wqy-microhei,
    # found through fontconfig) to the fonts that dialogs, captions and message boxes use.
    local font
    for font in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2"; do
      "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$font" \
        /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f </dev/null >/dev/null 2>&1
    done
    "$WINESERVER" -w
    touch "$marker"
  fi
  "$WINESERVER" -p
  "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
  if [ -n "$dpi" ]; then
    # A run meant for this DPI is worth nothing at another: a value the prefix does not take ends it.
    if ! [[ "$dpi" =~ ^[1-9][0-9]{1,3}$ ]]; then
      echo "wine-env: not a DPI: '$dpi'" >&2
      return 1
    fi
    local err
    if ! err="$("$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
                 </dev/null 2>&1 >/dev/null)"; then
      echo "wine-env: could not set LogPixels to $dpi in $WINEPREFIX: $err" >&2
      return 1
    fi
  fi
}

wine_env_down() {
  "$WINESERVER" -k 2>/dev/null || true
}

# For the scripts that run programs: the prefix of <build-dir> up, taken down again when the
# calling script exits, and <build-dir> as the current folder.
wine_env_enter() {
  trap wine_env_down EXIT
  wine_env_up "$1" "${2:-}" || return 1
  cd "$1"
}
