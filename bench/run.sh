#!/usr/bin/env bash
# Measures each program against the cost of its own I/O on this machine.
#
#   bash bench/run.sh [SIZE ...]        (default: 4096 16384 32768)
#
# For each SIZE it generates a SIZE x SIZE terrain (islands in an empty sea),
# then runs demtiler, demjoin, dempaint and demscan RUNS times each (default 5) and
# prints the best and the median wall time, the peak resident memory, and the
# I/O limit of the same job: the input read once and the output's number of
# bytes written once, both in 4 MiB blocks (dd bs=4M), with the ratio of the
# program's time to the limit's, best to best and median to median. demjoin
# reads only the height blocks of its archive: its limit reads as many bytes
# (57764 per tile) from the start of the archive. Large runs
# on a shared machine are noisy; the best of the runs is the steadier figure.
#
# A size whose files would not fit (three times the raster: the raster, the
# image and the raster read back) is skipped with a message; 32768 x 32768
# needs 12 GiB free.
#
# Beside each program, the same conversion written with numpy in strips of
# rows (bench/paint.py, scan.py, tile.py: what a user would otherwise write)
# is timed the same way, and its output compared with the program's byte for
# byte; without a python3 that has numpy, those rows are left out.
#
# BEFORE=DIR also measures the programs of another build folder (DIR holds
# demtiler/, dempaint/ and demscan/ as build/ does) in the same run, on the
# same files, the two builds taking turns run by run, for before-and-after figures;
# demjoin, which the other build may not have, is measured in this build alone.
set -euo pipefail
cd "$(dirname "$0")/.."

if (($#)); then sizes=("$@"); else sizes=(4096 16384 32768); fi
runs=${RUNS:-5}
work=${BENCH_DIR:-build/bench-run}
before=${BEFORE:-}
[[ -z $before ]] || before=$(cd "$before" && pwd)

cmake --preset default >/dev/null
cmake --build build --target demtiler dempaint demscan demjoin make_terrain >/dev/null

bin=$PWD/build
bench=$PWD/bench
mkdir -p "$work"
work=$(cd "$work" && pwd)

# Best (lowest) and median of the numbers on standard input: "best median".
best_and_median() {
  sort -g | awk '{ v[NR] = $1 } END {
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    print v[1], m }'
}

# Wall seconds of one run of the command given as arguments.
wall() {
  local start=$EPOCHREALTIME
  "$@"
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.4f\n", b - a }'
}

# One run of a program with its console text kept in console.txt and its peak
# resident memory in peak.txt.
run_program() { /usr/bin/time -f %M -o peak.txt "$@" >console.txt 2>&1; }

# Runs a command RUNS times in the current folder, each time with its output
# file ($1) removed first, outside the timing: emptying a large file that an
# earlier run left takes the system long, so every run starts alike, and like
# the limit's. Prints "best_s median_s peak_kib".
measure_program() {
  local output=$1 times=() peak=0 kib
  shift
  for ((i = 0; i < runs; i++)); do
    rm -f "$output"
    times+=("$(wall run_program "$@")")
    kib=$(tail -n 1 peak.txt)
    ((kib > peak)) && peak=$kib
  done
  echo "$(printf '%s\n' "${times[@]}" | best_and_median) $peak"
}

# The I/O limit: the input read once (or its first $3 bytes), the output's
# byte count written once, in 4 MiB blocks. Prints "best_s median_s".
limit_job() {
  if [[ -n ${3:-} ]]; then
    dd if="$1" of=/dev/null bs=4M count="$3" iflag=count_bytes status=none
  else
    dd if="$1" of=/dev/null bs=4M status=none
  fi
  dd if=/dev/zero of=limit.bin bs=4M count="$2" iflag=count_bytes status=none
}
measure_limit() {
  local times=()
  for ((i = 0; i < runs; i++)); do
    rm -f limit.bin
    times+=("$(wall limit_job "$1" "$2" "${3:-}")")
  done
  rm -f limit.bin
  printf '%s\n' "${times[@]}" | best_and_median
}

# Whether the run whose console is in console.txt went well; a terrain with
# more tiles than one archive holds (error 201) prints a row saying so.
check_console() {
  local program=$1 label=$2 size=$3
  # One archive holds at most 34824 tiles: a larger terrain is refused with 201.
  if grep -aq "Runtime error 201" console.txt; then
    printf '| %-8s | %-6s | %-11s | too many tiles for one archive (error 201): not measured |\n' \
      "$program" "$label" "${size}x$size"
    return 1
  fi
  if grep -aq "Runtime error" console.txt; then
    echo "$program ($label) failed: $(grep -a 'Runtime error' console.txt)" >&2
    exit 1
  fi
}

# One table row of program $1, build label $2 and size $3, from "best median
# peak_kib" ($4) and the limit's "best median" ($5).
print_row() {
  local best median peak limit_best limit_median
  read -r best median peak <<<"$4"
  read -r limit_best limit_median <<<"$5"
  awk -v p="$1" -v b="$2" -v s="${3}x$3" -v tb="$best" -v tm="$median" -v m="$peak" \
    -v lb="$limit_best" -v lm="$limit_median" 'BEGIN {
      printf "| %-8s | %-6s | %-11s | %6.3f | %8.3f | %8.1f | %7.3f | %7.3f | %5.2f | %6.2f |\n",
        p, b, s, tb, tm, m / 1024, lb, lm, tb / lb, tm / lm }'
}

# One table row: the program of build folder $2 over the files of this size;
# $7, when given, is how many bytes of the input the limit reads.
report() {
  local program=$1 build=$2 label=$3 size=$4 input=$5 output=$6 input_bytes=${7:-} result
  result=$(measure_program "$output" "$build/$program/$program")
  check_console "$program" "$label" "$size" || return 0
  print_row "$program" "$label" "$size" "$result" \
    "$(measure_limit "$input" "$(stat -c %s "$output")" "$input_bytes")"
}

# The numpy script of a program, run with `args` in place of the program:
# one table row, its output compared with the program's (`output`).
report_numpy() {
  local program=$1 script=$2 size=$3 input=$4 output=$5 result
  shift 5
  [[ -n $python ]] || return 0
  cp "$output" program-output
  result=$(measure_program "$output" "$python" "$bench/$script" "$@")
  cmp -s "$output" program-output || { echo "$script: output differs from $program's" >&2; exit 1; }
  rm -f program-output
  print_row "$program" numpy "$size" "$result" "$(measure_limit "$input" "$(stat -c %s "$output")")"
}

# A python3 with numpy, Debian's first: another one earlier on the PATH may
# lack it.
python=
for candidate in /usr/bin/python3 python3; do
  if "$candidate" -c 'import numpy' 2>/dev/null; then python=$candidate; break; fi
done
[[ -n $python ]] || echo "no python3 with numpy: the numpy rows are left out" >&2

# Every build measured: "label folder".
builds=("after $bin")
[[ -z $before ]] || builds=("before $before" "${builds[@]}")

# Runs `program` of each build on the files of this size, RUNS times, the
# builds taking turns run by run, so that a slow spell of a shared machine
# falls on each of them alike; `output` is kept from the last build's run, for
# the program after it.
report_all() {
  local program=$1 size=$2 input=$3 output=$4 entry kib limit i
  local -A times=() peaks=()
  for ((i = 0; i < runs; i++)); do
    for entry in "${builds[@]}"; do
      rm -f "$output"
      times[$entry]+="$(wall run_program "${entry#* }/$program/$program") "
      check_console "$program" "${entry%% *}" "$size" || return 0
      kib=$(tail -n 1 peak.txt)
      ((kib > ${peaks[$entry]:-0})) && peaks[$entry]=$kib
    done
  done
  limit=$(measure_limit "$input" "$(stat -c %s "$output")")
  for entry in "${builds[@]}"; do
    print_row "$program" "${entry%% *}" "$size" \
      "$(printf '%s\n' ${times[$entry]} | best_and_median) ${peaks[$entry]}" "$limit"
  done
}

echo "machine: $(nproc) cores, $(free -g | awk '/Mem:/ { print $2 }') GiB, $(uname -sr), runs per figure: $runs"
echo
echo "| program  | build  | raster      | best s | median s | peak MiB | limit b | limit m | ratio | ratio m |"
echo "|----------|--------|-------------|--------|----------|----------|---------|---------|-------|---------|"
for size in "${sizes[@]}"; do
  dir=$work/$size
  mkdir -p "$dir"
  raster_bytes=$((4 * size * size))
  free_bytes=$(df --output=avail -B1 "$dir" | tail -n 1)
  have=$((free_bytes + $([[ -f $dir/terrain.raw ]] && stat -c %s "$dir/terrain.raw" || echo 0)))
  if ((have < 3 * raster_bytes)); then
    echo "skipped ${size}x$size: it needs $((3 * raster_bytes >> 30)) GiB free, the disk has $((free_bytes >> 30)) GiB" >&2
    continue
  fi
  cd "$dir"
  [[ -f terrain.raw ]] || "$bin/demo/make_terrain" "$size" "$size" terrain.raw
  cp "$OLDPWD/demo/demtiler.dat" .

  printf 'terrain.raw\r\nterrain.gnd\r\n%d\r\n%d\r\n' "$size" "$size" >demtiler.ini
  report_all demtiler "$size" terrain.raw terrain.gnd
  report_numpy demtiler tile.py "$size" terrain.raw terrain.gnd \
    terrain.raw terrain.gnd "$size" "$size" demtiler.dat
  # demjoin reads the archive back, when there is one (not past 34824 tiles).
  if [[ -f terrain.gnd ]]; then
    printf 'terrain.gnd\r\njoined.raw\r\n%d\r\n%d\r\n' "$size" "$size" >demjoin.ini
    tiles=$(od -An -tu4 -j4 -N4 terrain.gnd | tr -d ' ')
    report demjoin "$bin" after "$size" terrain.gnd joined.raw $((tiles * 57764))
    rm -f joined.raw
  fi
  rm -f terrain.gnd

  printf 'terrain.raw\r\nterrain.tga\r\n%d\r\n%d\r\n' "$size" "$size" >dempaint.ini
  report_all dempaint "$size" terrain.raw terrain.tga
  report_numpy dempaint paint.py "$size" terrain.raw terrain.tga \
    terrain.raw terrain.tga "$size" "$size"

  printf 'terrain.tga\r\nback.raw\r\n0\r\n' >demscan.ini
  report_all demscan "$size" terrain.tga back.raw
  report_numpy demscan scan.py "$size" terrain.tga back.raw terrain.tga back.raw
  cmp -s terrain.raw back.raw || echo "warning: the round trip did not restore terrain.raw" >&2
  rm -f back.raw terrain.tga
  cd "$OLDPWD"
done
