#!/usr/bin/env bash
# Runs CTest inside a prepared Wine prefix (called by test.sh with a display).
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/tools/wine-env.sh"
wine_env_enter "$root/build/test"
ctest --output-on-failure --timeout 120 "$@"
rc=$?
# ORVANE_SKIP_BENCH=1: tests only.
if [ "${ORVANE_SKIP_BENCH:-0}" != 1 ]; then
  source "$root/tools/bench-inner.sh"
  run_benchmarks || rc=1
fi
exit $rc
