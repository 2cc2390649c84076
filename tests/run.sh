#!/usr/bin/env bash
# Builds the programs and runs every test of this system.
#
#   bash tests/run.sh
#
# First it makes sure that what the tests need is installed: GoogleTest, and
# the tools that the image editor and elevation-model tests drive. On Debian,
# as root, it installs what is missing with apt-get; anywhere else it prints
# the one apt-get line that would and stops with status 1 (without them,
# `cmake --workflow --preset test` still runs the tests those tools are not
# needed for). Then it configures, builds and tests in build/.
set -euo pipefail
cd "$(dirname "$0")/.."

needed=(build-essential cmake libgtest-dev libgmock-dev
        imagemagick python3-pil gdal-bin python3-gdal python3-numpy python-matplotlib-data)

missing=()
if command -v dpkg-query >/dev/null; then
  for package in "${needed[@]}"; do
    status=$(dpkg-query -W -f '${Status}' "$package" 2>/dev/null || true)
    [[ $status == *" installed" ]] || missing+=("$package")
  done
fi

if ((${#missing[@]})); then
  if [[ $(id -u) == 0 ]] && command -v apt-get >/dev/null; then
    echo "Installing what the tests need: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  else
    echo "The tests need packages that are not installed. Install them with:" >&2
    echo "  sudo apt-get install ${missing[*]}" >&2
    exit 1
  fi
fi

cmake --workflow --preset test
