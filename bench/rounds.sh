# What the benchmark scripts share, sourced by them: timing, rounds of
# variants and the figures printed. A script defines `variants` (names) and
# `run_variant NAME`, which appends one run's seconds to times[NAME] (and
# may append other figures of the run to cpu[NAME]).
declare -A times cpu

# native_tools TARGET...: what the scripts need first: the packages, and
# the native tools named, in the Release build $build (configured once).
# The script has set $root and $build.
native_tools() {
  bash "$root/scripts/setup.sh"
  [ -f "$build/build.ninja" ] || cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" --target "$@" >/dev/null
}
now() { date +%s.%N; }

# run_rounds RUNS: one round not counted (what the set-up left behind, the
# write-back of fresh files, settles first), then RUNS rounds, each in a
# fresh random order, so that no variant always follows the same other
# (what one run leaves, the next may pay for).
run_rounds() {
  local v i
  for v in "${variants[@]}"; do run_variant "$v"; done
  times=() cpu=()
  for ((i = 0; i < $1; i++)); do
    for v in $(printf '%s\n' "${variants[@]}" | shuf); do run_variant "$v"; done
  done
}

best() { printf '%s\n' $1 | sort -g | head -n1; }
median() { printf '%s\n' $1 | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
ratio() { echo "$(median "${times[$1]}") / $(median "${times[$2]}")" | bc -l; }

# print_variants WIDTH: each variant's best, median and every run.
print_variants() {
  local name
  for name in "${variants[@]}"; do
    printf "  %-${1}s best %.3f s  median %.3f s  (runs: %s)\n" "$name" "$(best "${times[$name]}")" \
      "$(median "${times[$name]}")" "$(printf '%.2f ' ${times[$name]})"
  done
}
