#!/usr/bin/env bash
# Runs CTest inside a prepared Wine prefix (called by test.sh with a display).
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/tools/wine-env.sh"
wine_env_up "$root/build/test"
trap wine_env_down EXIT
cd "$root/build/test"
ctest --output-on-failure --timeout 120 "$@"
rc=$?
echo "== benchmarks =="
for b in *Bench.exe; do
  [ -f "$b" ] || continue
  echo "-- $b"
  "$WINE" "./$b" 2>&1 | grep -v ":fixme:" || rc=1
done
exit $rc
