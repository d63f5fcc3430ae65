#!/usr/bin/env bash
# Real-time factor of `vornix decode`: makes ten minutes of 8 kHz 16-bit keys in noise with
# `vornix gen`, times one decode of it and prints how many seconds of audio are decoded
# per second of wall time and per second of CPU time.
#   bench/decode_realtime.sh [BUILD_DIR]     (default build/, built in release if needed)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
vornix="$build/tools/vornix"

if [ ! -x "$vornix" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release
  cmake --build "$build" -j "$(nproc)" --target vornix_cli
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# 3000 keys of 100 ms, each followed by 100 ms of silence: 600 seconds.
keys=3000
pattern="0123456789*#ABCD"
digits=""
while [ "${#digits}" -lt "$keys" ]; do digits+="$pattern"; done
digits="${digits:0:$keys}"
audio_seconds=600
"$vornix" gen dtmf "$digits" --duration 100 --gap 100 --noise -30 --seed 1 -o "$work/ten-minutes.wav"

TIMEFORMAT='%R %U %S'
{ time "$vornix" decode "$work/ten-minutes.wav" > "$work/events.txt" 2> /dev/null; } 2> "$work/time.txt"
read -r wall user sys < "$work/time.txt"
found="$(wc -l < "$work/events.txt")"

# What the command costs before it decodes anything (loading the codec libraries,
# opening the file): one key's worth of audio.
"$vornix" gen dtmf 1 -o "$work/one-key.wav"
{ time "$vornix" decode "$work/one-key.wav" > /dev/null 2>&1; } 2> "$work/startup.txt"
read -r startup _ < "$work/startup.txt"

awk -v startup="$startup" -v audio="$audio_seconds" -v wall="$wall" -v user="$user" -v sys="$sys" -v found="$found" -v keys="$keys" 'BEGIN {
  cpu = user + sys
  printf "audio:      %d s of 8 kHz 16-bit mono, %d keys in noise (%d decoded)\n", audio, keys, found
  printf "wall time:  %.3f s   -> %.0f x real time\n", wall, (wall > 0 ? audio / wall : 0)
  printf "CPU time:   %.3f s   -> %.0f x real time per CPU second\n", cpu, (cpu > 0 ? audio / cpu : 0)
  printf "start-up:   %.3f s of the wall time is the command starting (a one-key file)\n", startup
  decode = wall - startup
  printf "decoding:   %.0f x real time once started\n", (decode > 0 ? audio / decode : 0)
}'
