#!/usr/bin/env bash
# Runs CTest inside a prepared Wine prefix (called by test.sh with a display).
# test-inner.sh [ctest args]: every test but the high-DPI runs (without ctest args also the whole
# test executable in one process), then the benchmarks.
# test-inner.sh --dpi <dpi> [--start-bench] [ctest args]: the high-DPI tests (label "dpi") in the
# high-DPI prefix at that system DPI, on whatever screen the display has; --start-bench: then the
# start benchmark's comparison of start-up at that DPI and at 96 DPI.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/tools/wine-env.sh"
# A zone with a non-zero bias: screenshot names must be in local time, not UTC (Wine takes the
# zone from TZ when a process starts).
export TZ=Asia/Shanghai
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
wine_env_enter "$root/build/test" "$dpi" || { echo "test-inner: no Wine prefix${dpi:+ at $dpi DPI}" >&2; exit 1; }
# The DPI the tests must find (they fail on any other): the high-DPI prefix's, or Wine's own 96.
export ORVANE_EXPECT_DPI="${dpi:-96}"
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
# The whole test executable once more in one process, as a developer runs it: no test may pass
# only because it runs alone (a process-wide cache, a fault or state left by an earlier test).
# Only for the full run: ctest arguments choose some tests.
if [ $# -eq 0 ]; then
  echo "-- orvane_tests.exe: every test in one process"
  timeout 1800 "$WINE" ./orvane_tests.exe --gtest_brief=1 </dev/null 2>&1 | grep -v ":fixme:"
  one_rc=${PIPESTATUS[0]}
  [ "$one_rc" -eq 0 ] || { echo "test-inner: orvane_tests.exe in one process failed ($one_rc)"; rc=1; }
fi
# ORVANE_SKIP_BENCH=1: tests only.
if [ "${ORVANE_SKIP_BENCH:-0}" != 1 ]; then
  source "$root/tools/bench-inner.sh"
  run_benchmarks || rc=1
fi
exit $rc
