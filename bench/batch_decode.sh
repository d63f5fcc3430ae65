#!/usr/bin/env bash
# What decoding many files in one process saves: makes 10,000 one-second recordings and
# times, in the same run,
#   (a) `vornix decode -j 2` over all of them against one `vornix decode` process per file
#       run two at a time by `xargs -P 2`;
#   (b) `vornix decode -j 1` against `vornix decode -j 2` on the same files.
# Each pair is timed RUNS times in turn (A B A B ...) and the median of the pair-by-pair
# ratios is printed, so a drift in the machine's speed during the run moves both sides.
#   bench/batch_decode.sh [BUILD_DIR] [RUNS]   (default build/, built in release if needed; 3 runs)
# Run it on a machine otherwise idle: the load average is printed before and after.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
runs="${2:-3}"
vornix="$build/tools/vornix"
files="${BENCH_FILES:-10000}"  # another count for a quick try: BENCH_FILES=500

if [ ! -x "$vornix" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release
  cmake --build "$build" -j "$(nproc)" --target vornix_cli
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) processors"

# 100 different recordings (five keys of 100 ms with 100 ms gaps in noise: one second
# each), copied to 10,000 files of their own, so every file is read from its own blocks.
mkdir -p "$work/calls"
pattern="0123456789*#ABCD"
for ((i = 0; i < 100; i++)); do
  keys=""
  for ((k = 0; k < 5; k++)); do keys+="${pattern:$(((i * 7 + k * 3) % 16)):1}"; done
  "$vornix" gen dtmf "$keys" --duration 100 --gap 100 --noise -30 --seed "$((i + 1))" -o "$work/seed-$i.wav"
done
for ((n = 0; n < files; n++)); do
  printf '%s\n' "$work/calls/call-$n.wav"
done > "$work/list.txt"
for ((n = 0; n < files; n++)); do
  cp "$work/seed-$((n % 100)).wav" "$work/calls/call-$n.wav"
done
audio_seconds="$(awk -v n="$files" 'BEGIN { print n * 1.0 }')"

now() { date +%s.%N; }
# Seconds of wall time of one command line, its output thrown away.
timed() {
  local start end
  start="$(now)"
  sh -c "$1" > /dev/null 2>&1
  end="$(now)"
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }'
}

one_process="$(printf '%q' "$vornix") decode --json --quiet --files-from $(printf '%q' "$work/list.txt") -j 2"
per_file="xargs -d '\\n' -n 1 -P 2 $(printf '%q' "$vornix") decode --json --quiet < $(printf '%q' "$work/list.txt")"
serial="$(printf '%q' "$vornix") decode --json --quiet --files-from $(printf '%q' "$work/list.txt") -j 1"

# What two cores give right now: one busy loop's time against two at once. 2.0 on two
# idle cores; the ratio of (b) cannot exceed it.
spin="awk 'BEGIN { for (i = 0; i < 2e7; i++) s += i }'"
spin_one="$(timed "$spin; $spin")"
spin_two="$(timed "$spin & $spin; wait")"

# Every way prints the same events (checked on the first 500 files, to spare the time
# of one more run of a process per file).
head -n 500 "$work/list.txt" > "$work/check.txt"
check() { sh -c "${1//list.txt/check.txt}" | sort; }
check "$one_process" > "$work/a.txt"
check "$per_file" > "$work/b.txt"
check "$serial" > "$work/c.txt"
cmp -s "$work/a.txt" "$work/b.txt" || { echo "-j 2 and one process per file print different events" >&2; exit 1; }
cmp -s "$work/a.txt" "$work/c.txt" || { echo "-j 1 and -j 2 print different events" >&2; exit 1; }

: > "$work/a.times"
: > "$work/b.times"
for ((r = 0; r < runs; r++)); do
  j2="$(timed "$one_process")"
  xa="$(timed "$per_file")"
  j2b="$(timed "$one_process")"
  j1="$(timed "$serial")"
  echo "$xa $j2" >> "$work/a.times"
  echo "$j1 $j2b" >> "$work/b.times"
done

median_ratio() {
  awk '{ print $1 / $2, $1, $2 }' "$1" | sort -g | awk '{ r[NR] = $1; x[NR] = $2; y[NR] = $3 }
    END { m = int((NR + 1) / 2); printf "%.3f %.3f %.3f\n", r[m], x[m], y[m] }'
}
read -r ratio_a xargs_s j2_s < <(median_ratio "$work/a.times")
read -r ratio_b j1_s j2b_s < <(median_ratio "$work/b.times")

awk -v files="$files" -v audio="$audio_seconds" -v runs="$runs" \
    -v ra="$ratio_a" -v xa="$xargs_s" -v ja="$j2_s" -v rb="$ratio_b" -v j1="$j1_s" -v jb="$j2b_s" 'BEGIN {
  printf "input:  %d one-second recordings of 8 kHz 16-bit keys in noise, %d runs of each\n", files, runs
  printf "(a) one process per file, xargs -P 2:  %8.3f s  %7.0f files/s\n", xa, files / xa
  printf "    vornix decode -j 2:                %8.3f s  %7.0f files/s  -> %.1f x faster (median of the pairs)\n", ja, files / ja, ra
  printf "(b) vornix decode -j 1:                %8.3f s  %7.0f files/s\n", j1, files / j1
  printf "    vornix decode -j 2:                %8.3f s  %7.0f files/s  -> %.2f x faster (median of the pairs)\n", jb, files / jb, rb
}'
awk -v one="$spin_one" -v two="$spin_two" 'BEGIN {
  printf "two busy loops at once ran %.2f x as fast as one after the other (2.00 on two idle cores)\n", one / two
}'
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
