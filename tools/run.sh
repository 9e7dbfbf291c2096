#!/usr/bin/env bash
# Builds Orvane.exe (64-bit, runnable here) and runs it under Wine. With no display it runs
# in a private Xvfb and writes a screenshot to build/run/screenshot.png after a few seconds.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash tools/deps.sh
cmake --preset test >/dev/null
cmake --build --preset test --target Orvane
mkdir -p build/run
cp build/test/Orvane.exe build/run/Orvane.exe
[ -f build/run/config.ini ] || cp res/config.ini.example build/run/config.ini

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24" bash tools/run-inner.sh --screenshot "$@"
fi
exec bash tools/run-inner.sh "$@"
