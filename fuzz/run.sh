#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for SECONDS (default 60),
# starting from its seed corpus and the saved crashers; new inputs go to a
# scratch corpus under build-fuzz/, the committed seeds stay as they are.
#
#   bash fuzz/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

for target in build-fuzz/fuzz/*_fuzz; do
  name=$(basename "$target" _fuzz)
  scratch=build-fuzz/corpus/$name
  mkdir -p "$scratch" build-fuzz/artifacts
  # Every saved crasher must now pass.
  find fuzz/crashers -type f -name "$name-*" -exec "$target" {} + >/dev/null 2>&1 ||
    { echo "a saved crasher fails again: $name"; exit 1; }
  echo "== $name: ${seconds}s"
  "$target" "$scratch" "fuzz/corpus/$name" -max_total_time="$seconds" -rss_limit_mb=512 \
    -artifact_prefix=build-fuzz/artifacts/"$name-" -print_final_stats=1 2>&1 |
    grep -E '^(#[0-9]+.*DONE|Done|stat::number_of_executed_units|stat::peak_rss_mb|==[0-9]+==ERROR|SUMMARY)' || true
  ls build-fuzz/artifacts/"$name-"* >/dev/null 2>&1 && { echo "$name found a failing input in build-fuzz/artifacts"; exit 1; }
done
echo "fuzzing clean"
