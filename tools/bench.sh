#!/usr/bin/env bash
# Builds the test build and runs the benchmarks (all, or those named: bash tools/bench.sh StartBench) under Wine (in a private Xvfb without a display).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
bash tools/deps.sh
cmake --preset test >/dev/null
cmake --build --preset test
if [ -z "${DISPLAY:-}" ] || [ "${CI:-}" = "true" ]; then
  exec xvfb-run -a -s "-screen 0 1920x1080x24" bash tools/bench-inner.sh "$@"
fi
exec bash tools/bench-inner.sh "$@"
