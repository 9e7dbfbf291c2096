#!/usr/bin/env bash
# Runs CTest inside a prepared Wine prefix (called by test.sh with a display).
# test-inner.sh [ctest args]: every test but the high-DPI runs, then the benchmarks.
# test-inner.sh --dpi <dpi> [--start-bench] [ctest args]: the high-DPI tests (label "dpi") in the
# high-DPI prefix at that system DPI, on whatever screen the display has; --start-bench: then the
# start benchmark's comparison of start-up at that DPI and at 96 DPI.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/tools/wine-env.sh"
dpi=""
start_bench=0
if [ "${1:-}" = "--dpi" ]; then
  dpi="$2"
  shift 2
  if [ "${1:-}" = "--start-bench" ]; then
    start_bench=1
    shift
  fi
fi
wine_env_enter "$root/build/test" "$dpi"
if [ -n "$dpi" ]; then
  ctest --output-on-failure --timeout 120 -L dpi "$@"
  rc=$?
  if [ "${ORVANE_SKIP_BENCH:-0}" != 1 ] && [ "$start_bench" = 1 ]; then
    echo "-- StartBench.exe --dpi $dpi"
    "$WINE" ./StartBench.exe --dpi "$dpi" 2>&1 | grep -v ":fixme:"
    [ "${PIPESTATUS[0]}" -eq 0 ] || rc=1
  fi
  exit $rc
fi
ctest --output-on-failure --timeout 120 -LE dpi "$@"
rc=$?
# ORVANE_SKIP_BENCH=1: tests only.
if [ "${ORVANE_SKIP_BENCH:-0}" != 1 ]; then
  source "$root/tools/bench-inner.sh"
  run_benchmarks || rc=1
fi
exit $rc
