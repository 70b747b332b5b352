#!/usr/bin/env bash
# Installs what is missing, builds both builds and runs every test: the
# native ones, then the Windows ones under Wine (with Xvfb for the window).
# Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$root/scripts/setup.sh"

# Message boxes must return at once in the tests that do not drive a window.
unset DISPLAY

status=0
summaries=()
passed=0 failed=0
# run_ctest LABEL DIR: runs CTest there and keeps its count for the close.
run_ctest() {
  local label=$1 dir=$2 log line total bad
  log=$(mktemp)
  set +e
  (cd "$dir" && ctest --output-on-failure -j2) 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  set -e
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n1)
  rm -f "$log"
  if [ -z "$line" ]; then
    summaries+=("$label: CTest gave no summary")
    status=1
    return
  fi
  bad=$(sed -E 's/.*, ([0-9]+) tests? failed out of.*/\1/' <<<"$line")
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  passed=$((passed + total - bad))
  failed=$((failed + bad))
  summaries+=("$label: $((total - bad)) passed, $bad failed")
}

bash "$root/scripts/build.sh" native
run_ctest native "$root/build/native"
# CTest runs each case in a process of its own; once more all in one, so
# that no case leans on a process to itself. The long random rounds, which
# share nothing with the others, ran once above: not again.
long_rounds='RestoreFuzz.*:RestoreWithRecovery.AnyTwoLossesComeBackAndAThirdIsRefused'
long_rounds+=':RestoreWithRecovery.PiecesLargerThanTheWindowComeBackAndAreCounted'
long_rounds+=':RecoveryCode.RandomLossesInLargeSetsAndAtTheLimit:Restore.RebuildsRandomSplitsByteForByte'
long_rounds+=':RestoreWithStripes.RandomDamageUpToRInEveryRow:SplitEngineProperty.*'
if "$root/build/native/tests/morsela_tests" --gtest_brief=1 --gtest_filter="-$long_rounds" \
  >/tmp/morsela-one-process.log 2>&1; then
  summaries+=("native, one process: passed")
  passed=$((passed + 1))
else
  tail -n 40 /tmp/morsela-one-process.log
  summaries+=("native, one process: failed")
  failed=$((failed + 1))
  status=1
fi

bash "$root/scripts/build.sh" windows
export MORSELA_WINEPREFIX=$root/build/windows/wineprefix
# One persistent wineserver, with its system processes, started apart from
# CTest's output pipes (CTest would wait for them) and ended at the close.
"$root/scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 </dev/null || true
"$root/scripts/wine-run.sh" --wineserver -p >/dev/null 2>&1 </dev/null || true
"$root/scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 </dev/null || true
run_ctest windows "$root/build/windows"
"$root/scripts/wine-run.sh" --wineserver -k 2>/dev/null || true

echo
printf '%s\n' "${summaries[@]}"
echo "total: $passed passed, $failed failed"
exit $status
