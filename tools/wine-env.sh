# Sourced by the run, test and screenshot scripts: a Wine prefix inside the given build folder,
# tuned for tests (no window manager waits), with a CJK font for the Chinese captions, and its
# service processes started detached from our stdio.
# Usage: wine_env_up <build-dir> [dpi] || fail; ...; wine_env_down
# Sound: Wine plays through PulseAudio. wine_env_up starts a private server with a null sink (a
# real default device that plays nowhere) in a fresh 0700 runtime folder, and wine_env_down stops
# it, so the tests have the same audio device on any machine, in CI as root without a desktop
# too. With ORVANE_HOST_SOUND=1 (tools/run.sh) a server already running for the user is used
# instead, when there is one.
# With a dpi the programs run in a second prefix of the build folder, "wineprefix-hidpi", whose
# system DPI (HKCU\Control Panel\Desktop LogPixels) is set to it; each new process reads it.
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64

sound_up() {
  ORVANE_PULSE_DIR=""
  if [ "${ORVANE_HOST_SOUND:-0}" = 1 ] && command -v pactl >/dev/null 2>&1; then
    # Asked without starting a server as a side effect.
    local conf found=0
    conf="$(mktemp)"
    printf 'autospawn = no\n' >"$conf"
    PULSE_CLIENTCONFIG="$conf" timeout 5 pactl info </dev/null >/dev/null 2>&1 && found=1
    rm -f "$conf"
    [ "$found" = 1 ] && return 0
  fi
  if ! command -v pulseaudio >/dev/null 2>&1 || ! command -v pactl >/dev/null 2>&1; then
    echo "wine-env: pulseaudio or pactl missing (bash tools/deps.sh installs them): Wine has no audio device" >&2
    return 0
  fi
  ORVANE_PULSE_DIR="$(mktemp -d "${TMPDIR:-/tmp}/orvane-pulse.XXXXXX")"
  chmod 700 "$ORVANE_PULSE_DIR"
  export XDG_RUNTIME_DIR="$ORVANE_PULSE_DIR"
  export PULSE_RUNTIME_PATH="$ORVANE_PULSE_DIR/pulse"
  export PULSE_STATE_PATH="$ORVANE_PULSE_DIR/state"
  export PULSE_SERVER="unix:$ORVANE_PULSE_DIR/pulse/native"
  # Our server or none: no client starts a server of its own when ours is gone.
  printf 'autospawn = no\n' >"$ORVANE_PULSE_DIR/client.conf"
  export PULSE_CLIENTCONFIG="$ORVANE_PULSE_DIR/client.conf"
  if pulseaudio --daemonize=yes --exit-idle-time=-1 --disallow-exit -n \
       --load="module-null-sink sink_name=nullsink" --load=module-native-protocol-unix \
       </dev/null >"$ORVANE_PULSE_DIR/log" 2>&1 &&
     pactl set-default-sink nullsink </dev/null >>"$ORVANE_PULSE_DIR/log" 2>&1; then
    return 0
  fi
  echo "wine-env: PulseAudio did not start: Wine has no audio device" >&2
  sed 's/^/  pulseaudio: /' "$ORVANE_PULSE_DIR/log" >&2
}

sound_down() {
  [ -n "${ORVANE_PULSE_DIR:-}" ] || return 0
  pulseaudio --kill </dev/null >/dev/null 2>&1 || true
  rm -rf "$ORVANE_PULSE_DIR"
  ORVANE_PULSE_DIR=""
}

wine_env_up() {
  local dir="$1" dpi="${2:-}"
  # Before any Wine process: each picks its audio driver when it first plays.
  sound_up
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
  sound_down
}

# For the scripts that run programs: the prefix of <build-dir> up, taken down again when the
# calling script exits, and <build-dir> as the current folder.
wine_env_enter() {
  trap wine_env_down EXIT
  wine_env_up "$1" "${2:-}" || return 1
  cd "$1"
}
