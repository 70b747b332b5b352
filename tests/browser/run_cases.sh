#!/usr/bin/env bash
# The restore's case tables through the restore page: the native tests run
# their restore cases once more, exporting each (tests/support/case_export.h),
# then the page takes every case in Chromium and one of each test in Firefox.
#   run_cases.sh MORSELA_TESTS RESTORE_HTML
set -euo pipefail
tests=$1 page=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cases=$(mktemp -d /tmp/morsela-cases.XXXXXX)
trap 'rm -rf "$cases"' EXIT
# The fuzz test's random damage and the fault tables export nothing useful;
# the pieces larger than the split's window come in through a restore
# program of another name, which the page does not take.
MORSELA_CASE_EXPORT=$cases "$tests" \
  --gtest_filter='Restore*:-RestoreFuzz*:RestoreWithRecovery.PiecesLargerThanTheWindowComeBackAndAreCounted' \
  >"$cases/native.log" 2>&1 ||
  { tail -n 30 "$cases/native.log"; exit 1; }
cd "$here"
node page_cases.mjs "$page" "$cases" chromium firefox-key | grep -v '^skip' || exit 1
