#!/usr/bin/env bash
# Runs every benchmark of the test build inside its Wine prefix (called with a display, by
# bench.sh, or sourced by test-inner.sh after the tests). Each prints its figures, and each
# figure with a target its ratio, the target, and by how much a missed target was missed.
# Arguments: names of benchmarks to run (e.g. StartBench); none: all of them.
run_benchmarks() {
  local rc=0 b
  echo "== benchmarks =="
  for b in *Bench.exe; do
    [ -f "$b" ] || continue
    if (($#)) && [[ " $* " != *" ${b%.exe} "* ]]; then continue; fi
    echo "-- $b"
    "$WINE" "./$b" 2>&1 | grep -v ":fixme:"
    [ "${PIPESTATUS[0]}" -eq 0 ] || rc=1
  done
  return $rc
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -uo pipefail
  root="$(cd "$(dirname "$0")/.." && pwd)"
  source "$root/tools/wine-env.sh"
  wine_env_enter "$root/build/test"
  run_benchmarks "$@"
fi
