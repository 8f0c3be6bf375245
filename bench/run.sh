#!/usr/bin/env bash
# Measures velmoria-setup against a floor: bench/floor.c, a minimal C program
# doing the I/O of the same run. Both run a second setup in a tmpfs folder:
# the answers nnn on the command line, over the events.txt of those answers
# that an earlier run wrote, the largest of the eight, as players run the
# setup again. Prints the median wall time of each (hyperfine, RUNS runs in
# ROUNDS rounds), the instructions each executes (callgrind) and each one's
# peak resident memory.
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
cp "$top/tests/data/events-nnn.txt" events.txt
"$work/floor" || { echo "the floor failed" >&2; exit 1; }
cmp -s events.txt "$top/tests/data/events-nnn.txt" ||
  { echo "the floor wrote another file" >&2; exit 1; }
"$work/velmoria-setup" nnn
cmp -s events.txt "$top/tests/data/events-nnn.txt" ||
  { echo "velmoria-setup wrote another file" >&2; exit 1; }

# Many short rounds, each with the two in the other order, so that a drift
# in the machine's state weighs on both alike; the medians are over all
# runs. Long rounds let a virtual machine's slow swings decide the ratio.
for round in $(seq 1 "$rounds"); do
  commands=(-n floor "$work/floor" -n velmoria-setup "$work/velmoria-setup nnn")
  ((round % 2)) ||
    commands=(-n velmoria-setup "$work/velmoria-setup nnn" -n floor "$work/floor")
  # Its warnings about outliers are about single rounds; the medians are
  # over all of them.
  hyperfine -N --warmup 3 --runs "$((runs / rounds))" --style none \
    --export-json "$work/round-$round.json" "${commands[@]}" 2>/dev/null
done
median() {
  awk -v name="\"$1\"" '
    /"command":/ { mine = index($0, name) > 0 }
    /"times": \[/ { in_times = mine; next }
    /\]/ { in_times = 0 }
    in_times { gsub(/[ ,]/, ""); print }' "$work"/round-*.json |
    sort -g | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }'
}
medians=("$(median floor)" "$(median velmoria-setup)")

instructions() {
  valgrind --tool=callgrind --callgrind-out-file=/dev/null "$@" \
    </dev/null 2>&1 >/dev/null | sed -n 's/.*Collected : //p'
}
peak_kb() {
  /usr/bin/time -v "$@" </dev/null 2>&1 >/dev/null |
    sed -n 's/.*Maximum resident set size (kbytes): //p'
}
floor_instructions=$(instructions "$work/floor")
program_instructions=$(instructions "$work/velmoria-setup" nnn)
floor_kb=$(peak_kb "$work/floor")
program_kb=$(peak_kb "$work/velmoria-setup" nnn)

awk -v fm="${medians[0]}" -v pm="${medians[1]}" \
  -v fi="$floor_instructions" -v pi="$program_instructions" \
  -v fk="$floor_kb" -v pk="$program_kb" 'BEGIN {
  printf "%-22s %12s %12s %8s   %s\n", "", "floor", "program", "ratio", "target"
  printf "%-22s %9.1f us %9.1f us %8.2f   at most 1.05\n", "median wall time",
    fm * 1e6, pm * 1e6, pm / fm
  printf "%-22s %12d %12d %8.2f   at most 3\n", "instructions", fi, pi, pi / fi
  printf "%-22s %9d kB %9d kB %8s   at most 2048 kB\n", "peak resident memory",
    fk, pk, ""
}'
