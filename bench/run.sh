#!/usr/bin/env bash
# Measures each program against the cost of its own I/O on this machine.
#
#   bash bench/run.sh [SIZE ...]        (default: 4096 16384)
#
# For each SIZE it generates a SIZE x SIZE terrain (islands in an empty sea),
# then runs demtiler, dempaint and demscan RUNS times each (default 5) and
# prints the median wall time, the throughput over the input, the peak
# resident memory, and the I/O limit of the same job: reading the input once
# (cat input > /dev/null) plus writing the output's number of bytes once
# (head -c N /dev/zero > file), with the ratio of the two.
set -euo pipefail
cd "$(dirname "$0")/.."

if (($#)); then sizes=("$@"); else sizes=(4096 16384); fi
runs=${RUNS:-5}
work=${BENCH_DIR:-build/bench-run}

cmake --preset default >/dev/null
cmake --build build --target demtiler dempaint demscan make_terrain >/dev/null

bin=$PWD/build
mkdir -p "$work"
work=$(cd "$work" && pwd)

# Median of the numbers on standard input.
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Wall seconds of one run of the command given as arguments.
wall() {
  local start=$EPOCHREALTIME
  "$@"
  awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.4f\n", b - a }'
}

# One run of a program with its console text kept in console.txt and its peak
# resident memory in peak.txt.
run_program() { /usr/bin/time -f %M -o peak.txt "$1" >console.txt 2>&1; }

# Runs a program RUNS times in the current folder; prints "median_s peak_kib".
measure_program() {
  local program=$1 times=() peak=0 kib
  for ((i = 0; i < runs; i++)); do
    times+=("$(wall run_program "$program")")
    kib=$(tail -n 1 peak.txt)
    ((kib > peak)) && peak=$kib
  done
  echo "$(printf '%s\n' "${times[@]}" | median) $peak"
}

# The I/O limit: the input read once, the output's byte count written once.
measure_limit() {
  local input=$1 bytes=$2 times=()
  for ((i = 0; i < runs; i++)); do
    times+=("$(wall bash -c "cat '$input' >/dev/null; head -c $bytes /dev/zero >limit.bin")")
  done
  rm -f limit.bin
  printf '%s\n' "${times[@]}" | median
}

report() {
  local program=$1 size=$2 input=$3 output=$4 bound_mib=$5 result limit
  result=$(measure_program "$bin/$program/$program")
  if [[ -n $(grep -a "Runtime error" console.txt) ]]; then
    echo "$program failed: $(grep -a 'Runtime error' console.txt)" >&2
    exit 1
  fi
  limit=$(measure_limit "$input" "$(stat -c %s "$output")")
  read -r seconds peak <<<"$result"
  awk -v p="$program" -v s="${size}x$size" -v t="$seconds" -v m="$peak" -v l="$limit" \
    -v in_bytes="$(stat -c %s "$input")" -v bound="$bound_mib" 'BEGIN {
      printf "| %-8s | %-11s | %8.3f | %8.0f | %9.1f | %9.0f | %8.3f | %5.2f |\n",
        p, s, t, in_bytes / 1e6 / t, m / 1024, bound, l, t / l }'
}

echo "machine: $(nproc) cores, $(free -g | awk '/Mem:/ { print $2 }') GiB, $(uname -sr), runs per figure: $runs"
echo
echo "| program  | raster      | median s |     MB/s | peak MiB | bound MiB |  limit s | ratio |"
echo "|----------|-------------|----------|----------|----------|-----------|----------|-------|"
for size in "${sizes[@]}"; do
  dir=$work/$size
  mkdir -p "$dir"
  cd "$dir"
  [[ -f terrain.raw ]] || "$bin/demo/make_terrain" "$size" "$size" terrain.raw
  cp "$OLDPWD/demo/demtiler.dat" .
  raster_mib=$((4 * size * size / 1048576))

  printf 'terrain.raw\r\nterrain.gnd\r\n%d\r\n%d\r\n' "$size" "$size" >demtiler.ini
  report demtiler "$size" terrain.raw terrain.gnd 32

  printf 'terrain.raw\r\nterrain.tga\r\n%d\r\n%d\r\n' "$size" "$size" >dempaint.ini
  report dempaint "$size" terrain.raw terrain.tga $((raster_mib + 16))

  printf 'terrain.tga\r\nback.raw\r\n0\r\n' >demscan.ini
  report demscan "$size" terrain.tga back.raw $((raster_mib + 16))
  cmp -s terrain.raw back.raw || echo "warning: the round trip did not restore terrain.raw" >&2
  rm -f back.raw terrain.tga terrain.gnd
  cd "$OLDPWD"
done
