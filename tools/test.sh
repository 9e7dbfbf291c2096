#!/usr/bin/env bash
# Builds everything (64-bit test build, 32-bit release build, the clang build), checks the
# release kit, tries the setup program and runs every test under Wine, each Wine run on a
# private Xvfb display. Ends on the closing line "N passed, M failed": every check, test and
# benchmark of every run, as each run reports them; before it, what failed.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
# Each part's passed and failed count goes into one tally (tools/test-tally.sh); the run ends on
# the closing line "N passed, M failed", after the list of what failed.
source tools/test-tally.sh
tally_start
logs="$(mktemp -d "${TMPDIR:-/tmp}/orvane-test.XXXXXX")"
trap 'rm -rf "$logs" "$ORVANE_TEST_TALLY"' EXIT
# A step without which nothing can be tested: when it fails, the run ends here.
step() {
  "$@" && return 0
  tally_add "build" 0 1 "$*"
  tally_close
  exit 1
}
# run_checks <part> <command...>: a script of "-- passed:"/"-- FAILED:" checks, shown as it runs
# and counted. Its output goes to a file that is followed as it grows, not through a pipe: a
# process it may leave behind (a persistent wineserver after an early exit) would keep a pipe
# open and the run waiting for ever.
run_checks() {
  local part="$1" log="$logs/checks.log" pid rc
  shift
  : >"$log"
  "$@" >"$log" 2>&1 &
  pid=$!
  # Started in the background, the command would ignore Ctrl+C: pass it on, and stop.
  trap 'kill -- "$pid" 2>/dev/null; exit 130' INT
  tail -n +1 -f --pid="$pid" "$log"
  wait "$pid"
  rc=$?
  trap - INT
  tally_checks "$part" "$log" "$rc"
}
# run_tests <part> <command...>: a test-inner.sh run, which adds its own counts; one that ends
# badly without having counted a failure (killed, no prefix) counts as one.
run_tests() {
  local part="$1" rc before
  shift
  before="$(grep -c '^failed' "$ORVANE_TEST_TALLY")"
  "$@"
  rc=$?
  if [ "$rc" != 0 ] && [ "$(grep -c '^failed' "$ORVANE_TEST_TALLY")" = "$before" ]; then
    tally_add "$part" 0 1 "ended with exit code $rc (see above)"
  fi
}

configure() { cmake --preset "$1" >/dev/null; }

step bash tools/deps.sh
step configure test
step cmake --build --preset test
step configure release
step cmake --build --preset release
# Second compiler: the whole project must also build warning-free with clang (the tests run on
# the GCC build above).
step configure clang
step cmake --build --preset clang
step mkdir -p dist
step cp build/release/Orvane.exe dist/Orvane.exe
step cp res/config.ini.example dist/config.ini

# What operators get: the sample launcher page in headless Chromium, the release zip built
# twice, signing. ORVANE_SKIP_RELEASE_CHECKS=1 leaves them out (quicker loops on the Wine tests).
[ "${ORVANE_SKIP_RELEASE_CHECKS:-}" = 1 ] || run_checks "release checks" bash tools/test-release.sh

# Every Wine run in a private Xvfb, never on the developer's own display: the tests' windows
# would cover the desktop for minutes and take its clipboard.
private_display() {
  local screen="$1"
  shift
  env -u DISPLAY -u WAYLAND_DISPLAY xvfb-run -a -s "-screen 0 ${screen}x24" "$@"
}

# The players' setup program under Wine, in a prefix of its own: install, upgrade, a running
# program, a program file it cannot write, a failing step, a second setup, uninstall.
run_checks "setup" private_display 1920x1080 bash tools/test-setup.sh

run_tests "tests" private_display 1920x1080 bash tools/test-inner.sh "$@"
# High DPI: the tests labelled "dpi" again at other system DPIs, each on the screen it needs
# (its own Xvfb): 200 % on 3840 x 2160 (launcher at 2x, with the start-up comparison of the start
# benchmark), 150 % on 2560 x 1440 (1.5x), 200 % on 1920 x 1080 (the launcher does not fit at
# more than 1x). The high-DPI prefix is made once per build folder.
# The caller's ctest arguments apply to these runs too.
ctest_args=("$@")
for run in "192 3840x2160 --start-bench" "144 2560x1440" "192 1920x1080"; do
  read -r dpi screen bench <<<"$run"
  echo "== high DPI: $dpi DPI on $screen =="
  ORVANE_SCREEN="$screen" run_tests "tests at $dpi DPI on $screen" private_display "$screen" \
    bash tools/test-inner.sh --dpi "$dpi" \
    ${bench:+"$bench"} ${ctest_args[@]+"${ctest_args[@]}"}
done
tally_close
