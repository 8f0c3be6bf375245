#!/usr/bin/env bash
# Measures velmoria-setup against a floor: bench/floor.c, a minimal C program
# doing the I/O of the same run. Both write the setup nnn, given on the
# command line, the largest of the eight files, in a tmpfs folder: a first
# run, where there is no events.txt, and a run again over the events.txt an
# earlier run wrote for those answers, as players run the setup again.
# Prints the median wall time of each (hyperfine, RUNS runs in ROUNDS
# rounds), which is the measure, and for the record the instructions each
# executes (callgrind) and each one's peak resident memory.
#
#   bench/run.sh [path/to/velmoria-setup]     (default: build/velmoria-setup)
#
# Needs hyperfine, valgrind and GNU time (apt-get install hyperfine valgrind
# time) and a C compiler. Run by hand; CI does not.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
program=$(realpath "${1:-$top/build/velmoria-setup}")
runs=${RUNS:-1600}
rounds=${ROUNDS:-200}

work=$(mktemp -d /dev/shm/velmoria-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
cc -O2 -o "$work/floor" \
  -DEVENTS_FILE="\"$top/tests/data/events-nnn.txt\"" "$top/bench/floor.c"
cp "$program" "$work/velmoria-setup"
mkdir "$work/scenario"
cd "$work/scenario"
for first in first ""; do
  [ -z "$first" ] || rm -f events.txt
  "$work/floor" $first || { echo "the floor failed ($first)" >&2; exit 1; }
  cmp -s events.txt "$top/tests/data/events-nnn.txt" ||
    { echo "the floor wrote another file" >&2; exit 1; }
  [ -z "$first" ] || rm -f events.txt
  "$work/velmoria-setup" nnn
  cmp -s events.txt "$top/tests/data/events-nnn.txt" ||
    { echo "velmoria-setup wrote another file" >&2; exit 1; }
done

# Many short rounds, each with the two in the other order, so that a drift
# in the machine's state weighs on both alike; the medians are over all
# runs. Long rounds let a virtual machine's slow swings decide the ratio.
for round in $(seq 1 "$rounds"); do
  order=(floor setup)
  ((round % 2)) || order=(setup floor)
  for kind in first again; do
    commands=()
    [ "$kind" = again ] || commands=(--prepare "rm -f events.txt")
    for who in "${order[@]}"; do
      case $who-$kind in
        setup-*) command="$work/velmoria-setup nnn" ;;
        floor-first) command="$work/floor first" ;;
        floor-again) command="$work/floor" ;;
      esac
      commands+=(-n "$kind-$who" "$command")
    done
    # Its warnings about outliers are about single rounds; the medians are
    # over all of them.
    hyperfine -N --warmup 3 --runs "$((runs / rounds))" --style none \
      --export-json "$work/$kind-$round.json" "${commands[@]}" 2>/dev/null
  done
done
median() {
  awk -v name="\"$1\"" '
    /"command":/ { mine = index($0, name) > 0 }
    /"times": \[/ { in_times = mine; next }
    /\]/ { in_times = 0 }
    in_times { gsub(/[ ,]/, ""); print }' "$work"/*.json |
    sort -g | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}

instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" \
    </dev/null 2>&1 >/dev/null | sed -n 's/.*Collected : //p'
}
peak_kb() {
  /usr/bin/time -v "$@" </dev/null 2>&1 >/dev/null |
    sed -n 's/.*Maximum resident set size (kbytes): //p'
}
rm -f events.txt
first_instructions=("$(instructions "$work/floor" first)")
rm -f events.txt
first_instructions+=("$(instructions "$work/velmoria-setup" nnn)")
again_instructions=("$(instructions "$work/floor")"
  "$(instructions "$work/velmoria-setup" nnn)")
peaks=("$(peak_kb "$work/floor")" "$(peak_kb "$work/velmoria-setup" nnn)")

printf '%-26s %12s %12s %8s   %s\n' "" floor program ratio target
for kind in first again; do
  awk -v label="median wall time, $kind" -v f="$(median "$kind-floor")" \
    -v p="$(median "$kind-setup")" 'BEGIN {
    printf "%-26s %9.1f us %9.1f us %8.2f   at most 1.15\n", label, f * 1e6,
      p * 1e6, p / f }'
done
for kind in first again; do
  declare -n counts="${kind}_instructions"
  awk -v label="instructions, $kind" -v f="${counts[0]}" -v p="${counts[1]}" \
    'BEGIN { printf "%-26s %12d %12d %8.2f   (reported)\n", label, f, p, p / f }'
done
printf '%-26s %9d kB %9d kB %8s   (reported)\n' "peak resident memory" \
  "${peaks[0]}" "${peaks[1]}" ""
