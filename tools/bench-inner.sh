#!/usr/bin/env bash
# Runs every benchmark of the test build inside its Wine prefix (called with a display, by
# bench.sh, or sourced by test-inner.sh after the tests). Each prints its figures, and each
# figure with a target its ratio, the target, and by how much a missed target was missed.
# Arguments: names of benchmarks to run (e.g. StartBench); none: all of them. Afterwards
# bench_passed holds how many ended well and bench_failed the names of the others.
run_benchmarks() {
  local rc=0 b
  bench_passed=0
  bench_failed=()
  echo "== benchmarks =="
  for b in *Bench.exe; do
    [ -f "$b" ] || continue
    if (($#)) && [[ " $* " != *" ${b%.exe} "* ]]; then continue; fi
    echo "-- $b"
    "$WINE" "./$b" 2>&1 | grep -v ":fixme:"
    if [ "${PIPESTATUS[0]}" -eq 0 ]; then
      bench_passed=$((bench_passed + 1))
    else
      bench_failed+=("${b%.exe}")
      rc=1
    fi
  done
  return $rc
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -uo pipefail
  root="$(cd "$(dirname "$0")/.." && pwd)"
  source "$root/tools/wine-env.sh"
  wine_env_enter "$root/build/test" || exit 1
  run_benchmarks "$@"
fi
