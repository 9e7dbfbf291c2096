#!/usr/bin/env bash
# Runs build/run/Orvane.exe in the run prefix; --screenshot: capture the screen after a while
# and stop the program.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/tools/wine-env.sh"
# The player's own sound server when one runs (else a private one with a null sink).
export ORVANE_HOST_SOUND="${ORVANE_HOST_SOUND:-1}"
wine_env_enter "$root/build/run" || exit 1
if [ "${1:-}" = "--screenshot" ]; then
  "$WINE" ./Orvane.exe &
  pid=$!
  sleep "${ORVANE_SCREENSHOT_DELAY:-8}"
  import -window root "$root/build/run/screenshot.png" && echo "screenshot: build/run/screenshot.png"
  kill "$pid" 2>/dev/null
  exit 0
fi
"$WINE" ./Orvane.exe
