#!/usr/bin/env bash
# config.ini beside an executable whose folder path is longer than MAX_PATH (260): runs a copy
# of the test executable from such a folder, with its own config.ini, and requires the value it
# reads there (GoogleTest case ConfigPath.ChildReadsTheFileBesideItsOwnExecutable does the
# reading). Started from here because Wine's CreateProcessW cannot start a program from such a
# folder; Wine's loader can.
# Usage: beyond-max-path.sh <emulator> <orvane_tests.exe> <work folder>
set -uo pipefail
emulator=$1 exe=$2 work=$3
top="$work/beyond-max-path"
rm -rf "$top"
deep="$top"
# The Windows path is Z: followed by this one; well beyond 260 characters.
while [ ${#deep} -lt 300 ]; do deep="$deep/deep-folder-for-config-test-0123456789"; done
mkdir -p "$deep" || exit 1
cp "$exe" "$deep/" || exit 1
printf '[mw]\r\nclient_web=http://deep.example/own-config\r\n' >"$deep/config.ini"
child="$deep/$(basename "$exe")"
filter=--gtest_filter=ConfigPath.ChildReadsTheFileBesideItsOwnExecutable

fail=0
out=$(ORVANE_EXPECTED_CLIENT_WEB=http://deep.example/own-config "$emulator" "$child" "$filter" 2>&1)
rc=$?
echo "$out" | grep -v ':fixme:'
# Passed, not skipped: the child really ran the comparison.
if [ $rc -ne 0 ] || ! grep -q '^\[  PASSED  \] 1 test' <<<"$out"; then
  echo "FAILED: the program in the deep folder did not read its own config.ini"
  fail=1
fi
# And the comparison can fail: a wrong expectation fails the child.
if ORVANE_EXPECTED_CLIENT_WEB=http://elsewhere.example/ "$emulator" "$child" "$filter" >/dev/null 2>&1; then
  echo "FAILED: the child accepted a value it did not read"
  fail=1
fi
rm -rf "$top"
exit $fail
