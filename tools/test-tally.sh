# Sourced by test.sh and test-inner.sh: what each part of a test run passed and failed, read
# from the part's own output, summed into one closing line "N passed, M failed" and, when
# something failed, the list of what failed.
# The tally is a file ($ORVANE_TEST_TALLY) of lines "count<TAB>part<TAB>passed<TAB>failed",
# "skipped<TAB>part<TAB>number" and "failed<TAB>part<TAB>what", so that test-inner.sh runs
# started by test.sh add to its sum. A skipped test is not counted as passed.

# tally_start: a fresh tally, unless the caller (test.sh) keeps one already. Sets
# tally_owner=1 when this script made it (and so prints the closing line).
tally_start() {
  tally_owner=0
  if [ -z "${ORVANE_TEST_TALLY:-}" ]; then
    ORVANE_TEST_TALLY="$(mktemp "${TMPDIR:-/tmp}/orvane-tally.XXXXXX")"
    export ORVANE_TEST_TALLY
    tally_owner=1
  fi
}

# tally_add <part> <passed> <failed> [what failed...]
tally_add() {
  local part="$1" passed="$2" failed="$3" what
  shift 3
  printf 'count\t%s\t%s\t%s\n' "$part" "$passed" "$failed" >>"$ORVANE_TEST_TALLY"
  for what in "$@"; do printf 'failed\t%s\t%s\n' "$part" "$what" >>"$ORVANE_TEST_TALLY"; done
}

# tally_skipped <part> <number>
tally_skipped() {
  [ "${2:-0}" -gt 0 ] || return 0
  printf 'skipped\t%s\t%s\n' "$1" "$2" >>"$ORVANE_TEST_TALLY"
}

# tally_ctest <part> <log> <exit code>: ctest's summary ("N% tests passed, F tests failed out of
# T") and its list of failed tests. A run without a summary, or of no test at all (test
# discovery that failed or timed out), is one failure.
tally_ctest() {
  local part="$1" log="$2" rc="$3" summary total failed names=()
  summary="$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)"
  if [ -z "$summary" ]; then
    tally_add "$part" 0 1 "ctest ran no test (exit code $rc): test discovery failed or found nothing"
    return
  fi
  failed="$(sed -E 's/^[0-9]+% tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")"
  total="$(sed -E 's/^[0-9]+% tests passed, ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$summary")"
  if [ "$total" = 0 ]; then
    tally_add "$part" 0 1 "ctest ran no test: test discovery found nothing"
    return
  fi
  # "The following tests FAILED:" then one line per test: "<tab> 92 - Suite.Name (Failed)".
  mapfile -t names < <(sed -nE '/^The following tests FAILED:/,/^[^[:space:]]/ s/^[[:space:]]+[0-9]+ - (.*) \(([^)]*)\)$/\1 (\2)/p' "$log")
  if [ "$failed" -gt 0 ] && [ "${#names[@]}" = 0 ]; then names=("$failed tests (see above)"); fi
  # ctest counts a skipped test as passed; "The following tests did not run:" lists them.
  local skipped
  skipped="$(sed -nE '/^The following tests did not run:/,/^[^[:space:]]/ s/^[[:space:]]+[0-9]+ - .*\((Skipped|Disabled)\)$/x/p' "$log" | wc -l)"
  tally_skipped "$part" "$skipped"
  if [ "$failed" = 0 ] && [ "$rc" != 0 ]; then
    tally_add "$part" $((total - skipped)) 1 "ctest exited with $rc although every test passed"
    return
  fi
  tally_add "$part" $((total - failed - skipped)) "$failed" "${names[@]}"
}

# tally_gtest <part> <log> <exit code>: one GoogleTest executable's own summary
# ("[  PASSED  ] N tests.", "[  FAILED  ] M tests, listed below:" and the names). A run
# without a summary (a crash, a time limit) is one failure.
tally_gtest() {
  local part="$1" log="$2" rc="$3" passed failed names=()
  passed="$(sed -nE 's/^\[  PASSED  \] ([0-9]+) tests?\..*/\1/p' "$log" | tail -1)"
  failed="$(sed -nE 's/^\[  FAILED  \] ([0-9]+) tests?, listed below:.*/\1/p' "$log" | tail -1)"
  if [ -z "$passed" ]; then
    tally_add "$part" 0 1 "no summary (exit code $rc)"
    return
  fi
  failed="${failed:-0}"
  tally_skipped "$part" "$(sed -nE 's/^\[  SKIPPED \] ([0-9]+) tests?, listed below:.*/\1/p; s/^\[  SKIPPED \] ([0-9]+) tests?\..*/\1/p' "$log" | tail -1)"
  mapfile -t names < <(sed -nE '/^\[  FAILED  \] [0-9]+ tests?, listed below:/,/^$/ s/^\[  FAILED  \] ([^ ,]+).*$/\1/p' "$log" | grep -v '^[0-9]')
  if [ "$failed" = 0 ]; then
    # --gtest_brief=1 prints no list of failures at the end: each failed test's own result line
    # ("[  FAILED  ] Suite.Name (N ms)") is then what there is.
    mapfile -t names < <(sed -nE 's/^\[  FAILED  \] ([A-Za-z0-9_]+\.[A-Za-z0-9_/]+) \([0-9]+ ms\)$/\1/p' "$log")
    failed=${#names[@]}
  fi
  if [ "$failed" = 0 ] && [ "$rc" != 0 ]; then
    tally_add "$part" "$passed" 1 "exit code $rc although every test passed"
    return
  fi
  tally_add "$part" "$passed" "$failed" "${names[@]}"
}

# tally_checks <part> <log> <exit code>: a script whose checks print "-- passed: <what>" and
# "-- FAILED: <what>". A failing script with no failed check (it stopped early) is one failure.
tally_checks() {
  local part="$1" log="$2" rc="$3" passed names=()
  passed="$(grep -c '^-- passed: ' "$log")"
  mapfile -t names < <(sed -n 's/^-- FAILED: //p' "$log")
  if [ "$rc" != 0 ] && [ "${#names[@]}" = 0 ]; then names=("stopped early (exit code $rc, see above)"); fi
  tally_add "$part" "$passed" "${#names[@]}" "${names[@]}"
}

# tally_close: prints each part's count, then each thing that failed, and last the closing
# line "N passed, M failed" (and how many were skipped, if any); true when nothing failed and
# something passed.
tally_close() {
  local passed failed skipped
  passed="$(awk -F'\t' '$1 == "count" { n += $3 } END { print n + 0 }' "$ORVANE_TEST_TALLY")"
  failed="$(awk -F'\t' '$1 == "count" { n += $4 } END { print n + 0 }' "$ORVANE_TEST_TALLY")"
  skipped="$(awk -F'\t' '$1 == "skipped" { n += $3 } END { print n + 0 }' "$ORVANE_TEST_TALLY")"
  echo "== summary"
  awk -F'\t' '$1 == "skipped" { s[$2] += $3 }
              $1 == "count" { printf "  %s: %s passed, %s failed%s\n", $2, $3, $4, s[$2] ? ", " s[$2] " skipped" : "" }' \
    <(grep '^skipped' "$ORVANE_TEST_TALLY"; grep '^count' "$ORVANE_TEST_TALLY")
  awk -F'\t' '$1 == "failed" { printf "FAILED %s: %s\n", $2, $3 }' "$ORVANE_TEST_TALLY"
  echo "$passed passed, $failed failed$([ "$skipped" = 0 ] || echo " ($skipped skipped)")"
  [ "$failed" = 0 ] && [ "$passed" -gt 0 ]
}
