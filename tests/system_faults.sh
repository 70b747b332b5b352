#!/usr/bin/env bash
# Prepares a fault that needs the operating system's help and runs the one
# unit test that checks it: natively, or under Wine when a runner is given.
#   system_faults.sh disk-full|file-size-limit|big-source TEST_BINARY [RUNNER]
set -u
fault=$1 binary=$2 runner=${3:-}
work=$(mktemp -d /tmp/morsela-fault.XXXXXX)
trap 'rm -rf "$work"' EXIT

# The path of the prepared folder as the test program sees it.
dir_for_test() { if [ -n "$runner" ]; then echo "Z:$work/"; else echo "$work/"; fi; }

run() { # filter
  if [ -n "$runner" ]; then "$runner" "$binary" --gtest_filter="$1"
  else "$binary" --gtest_filter="$1"; fi
}

case $fault in
  disk-full)
    head -c 5000 /dev/urandom > "$work/d.bin"
    ln -s /dev/full "$work/d#.1"
    MORSELA_DISKFULL_DIR=$(dir_for_test) run 'SystemFaults.PieceOnAFullDisk'
    ;;
  file-size-limit)
    head -c 300000 /dev/urandom > "$work/big.bin"
    trap '' XFSZ
    if [ -n "$runner" ]; then
      # The wineserver must not live under the limit, or it dies.
      "$runner" --wineserver -p >/dev/null 2>&1 </dev/null
    fi
    (ulimit -f 100; MORSELA_FSIZE_DIR=$(dir_for_test) run 'SystemFaults.PieceBeyondTheFileSizeLimit')
    ;;
  big-source)
    free_kb=$(df -Pk "$work" | awk 'NR==2 {print $4}')
    if [ "$free_kb" -lt $((10 * 1024 * 1024)) ]; then
      echo "skipped: a split of a 4 GiB source needs 10 GiB free in /tmp, and there are $((free_kb / 1024)) MiB"
      exit 77
    fi
    truncate -s $((4294967296 + 5000)) "$work/huge.bin"
    tail='the last bytes of a file past four GiB'
    printf '%s' "$tail" | dd of="$work/huge.bin" bs=1 seek=$((4294967296 + 5000 - ${#tail})) conv=notrunc status=none
    MORSELA_BIG_DIR=$(dir_for_test) run 'SystemFaults.SourceOfMoreThanFourGiB'
    ;;
  *) echo "unknown fault $fault"; exit 2 ;;
esac
