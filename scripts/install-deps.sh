#!/usr/bin/env bash
# Installs every Debian package Vornix needs to build, test, benchmark and fuzz.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libavcodec-dev libavformat-dev libavutil-dev
  libasound2-dev
  libpcap-dev
  libcli11-dev nlohmann-json3-dev
  libcairo2-dev fonts-dejavu-core
  sox ffmpeg espeak-ng minimodem
  help2man
  python3-dev pybind11-dev python3-numpy python3-pytest
  python3-dask python3-distributed
  python3-scapy
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
