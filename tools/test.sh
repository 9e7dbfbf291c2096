#!/usr/bin/env bash
# Builds everything (64-bit test build, 32-bit release build) and runs every test under Wine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash tools/deps.sh

cmake --preset test >/dev/null
cmake --build --preset test
cmake --preset release >/dev/null
cmake --build --preset release
mkdir -p dist && cp build/release/Orvane.exe dist/Orvane.exe && cp res/config.ini.example dist/config.ini

# Tests need an X display: use the one we have, or a private Xvfb.
if [ -z "${DISPLAY:-}" ] || [ "${CI:-}" = "true" ]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24" bash tools/test-inner.sh "$@"
fi
exec bash tools/test-inner.sh "$@"
