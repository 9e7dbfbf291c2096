#!/usr/bin/env bash
# Runs CTest inside a prepared Wine prefix (called by test.sh with a display).
# test-inner.sh [ctest args]: every test but the high-DPI runs (without ctest args also the whole
# test executable in one process), then the benchmarks.
# test-inner.sh --dpi <dpi> [--start-bench] [ctest args]: the high-DPI tests (label "dpi") in the
# high-DPI prefix at that system DPI, on whatever screen the display has; --start-bench: then the
# start benchmark's comparison of start-up at that DPI and at 96 DPI.
# Each part's passed and failed count is read from its output into a tally (tools/test-tally.sh);
# run on its own, the script ends on the closing line "N passed, M failed" (under test.sh, which
# sums every run, test.sh does). A ctest run that found no test fails.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/tools/wine-env.sh"
source "$root/tools/test-tally.sh"
tally_start
logs="$(mktemp -d "${TMPDIR:-/tmp}/orvane-test-logs.XXXXXX")"
https_pid=""
finish() {
  local rc="$1"
  stop_https_server
  if [ "$tally_owner" = 1 ]; then
    tally_close || rc=1
    rm -f "$ORVANE_TEST_TALLY"
  fi
  rm -rf "$logs"
  exit "$rc"
}
# ctest, its output shown and kept for the tally: run_ctest <part> [ctest args].
run_ctest() {
  local part="$1" rc
  shift
  ctest --output-on-failure --no-tests=error --timeout 120 "$@" 2>&1 | tee "$logs/ctest.log"
  rc=${PIPESTATUS[0]}
  tally_ctest "$part" "$logs/ctest.log" "$rc"
  return "$rc"
}
# A zone with a non-zero bias: screenshot names must be in local time, not UTC (Wine takes the
# zone from TZ when a process starts).
export TZ=Asia/Shanghai
# The diagnosis's https case needs a server whose certificate the check must refuse: a throwaway
# self-signed one for a name that is not the server's address (127.0.0.1), made in the build
# folder. ORVANE_TEST_HTTPS_PORT tells the tests (through ctest and Wine) where it listens.
start_https_server() {
  local dir="$PWD/https-test" i
  if ! command -v openssl >/dev/null || ! command -v python3 >/dev/null; then
    echo "test-inner: *** openssl or python3 is missing: no https test server, the diagnosis's certificate test fails (apt-get install openssl python3) ***" >&2
    return 1
  fi
  mkdir -p "$dir" && rm -f "$dir/port"
  if ! openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=orvane-test.invalid" \
      -addext "subjectAltName=DNS:orvane-test.invalid" -keyout "$dir/key.pem" -out "$dir/cert.pem" \
      >"$dir/openssl.log" 2>&1; then
    echo "test-inner: *** openssl could not make the test certificate:" >&2
    cat "$dir/openssl.log" >&2
    return 1
  fi
  python3 "$root/tools/https-test-server.py" "$dir/cert.pem" "$dir/key.pem" "$dir/port" \
    </dev/null >"$dir/server.log" 2>&1 &
  https_pid=$!
  for i in $(seq 100); do
    [ -s "$dir/port" ] && break
    kill -0 "$https_pid" 2>/dev/null || break
    sleep 0.05
  done
  if [ ! -s "$dir/port" ]; then
    echo "test-inner: *** the https test server did not start:" >&2
    cat "$dir/server.log" >&2
    stop_https_server
    return 1
  fi
  ORVANE_TEST_HTTPS_PORT="$(cat "$dir/port")"
  export ORVANE_TEST_HTTPS_PORT
}
stop_https_server() {
  [ -n "$https_pid" ] || return 0
  kill "$https_pid" 2>/dev/null
  wait "$https_pid" 2>/dev/null
  https_pid=""
}
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
wine_env_enter "$root/build/test" "$dpi" || {
  echo "test-inner: no Wine prefix${dpi:+ at $dpi DPI}" >&2
  tally_add "Wine prefix${dpi:+ at $dpi DPI}" 0 1 "not made (see above)"
  finish 1
}
# wine_env_enter's own exit trap, with the https test server stopped first.
trap 'stop_https_server; wine_env_down' EXIT
# The DPI the tests must find (they fail on any other): the high-DPI prefix's, or Wine's own 96.
export ORVANE_EXPECT_DPI="${dpi:-96}"
if [ -n "$dpi" ]; then
  # test.sh names the screen (ORVANE_SCREEN), so that the tally tells its runs apart.
  at="$dpi DPI${ORVANE_SCREEN:+ on $ORVANE_SCREEN}"
  run_ctest "tests at $at" -L dpi "$@"
  rc=$?
  if [ "${ORVANE_SKIP_BENCH:-0}" != 1 ] && [ "$start_bench" = 1 ]; then
    echo "-- StartBench.exe --dpi $dpi"
    "$WINE" ./StartBench.exe --dpi "$dpi" 2>&1 | grep -v ":fixme:"
    if [ "${PIPESTATUS[0]}" -eq 0 ]; then
      tally_add "start benchmark at $at" 1 0
    else
      tally_add "start benchmark at $at" 0 1 "StartBench --dpi $dpi"
      rc=1
    fi
  fi
  finish $rc
fi
https_ok=1
start_https_server || https_ok=0
run_ctest "tests" -LE dpi "$@"
rc=$?
if [ "$https_ok" = 0 ]; then
  tally_add "https test server" 0 1 "no https test server (openssl or python3; see above)"
  rc=1
fi
# The whole test executable once more in one process, as a developer runs it: no test may pass
# only because it runs alone (a process-wide cache, a fault or state left by an earlier test).
# Only for the full run: ctest arguments choose some tests.
if [ $# -eq 0 ]; then
  echo "-- orvane_tests.exe: every test in one process"
  timeout 1800 "$WINE" ./orvane_tests.exe --gtest_brief=1 </dev/null 2>&1 | grep -v ":fixme:" | tee "$logs/one.log"
  one_rc=${PIPESTATUS[0]}
  tally_gtest "tests in one process" "$logs/one.log" "$one_rc"
  [ "$one_rc" -eq 0 ] || { echo "test-inner: orvane_tests.exe in one process failed ($one_rc)"; rc=1; }
fi
# ORVANE_SKIP_BENCH=1: tests only.
if [ "${ORVANE_SKIP_BENCH:-0}" != 1 ]; then
  source "$root/tools/bench-inner.sh"
  run_benchmarks || rc=1
  tally_add "benchmarks" "$bench_passed" "${#bench_failed[@]}" "${bench_failed[@]}"
fi
finish $rc
