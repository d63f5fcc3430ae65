#!/usr/bin/env bash
# Builds the fuzz targets with clang (ASan + UBSan, build-fuzz/) and runs every one in
# turn for an equal share of the time given.
#   scripts/fuzz.sh [MINUTES]          MINUTES in all (default 12: one minute a target)
#   FUZZ_TARGETS="component_file converter" scripts/fuzz.sh 20   only these targets
# Each target starts from its seeds (fuzz/corpus/<name>, made by hand or by a script),
# what earlier runs found (fuzz/coverage/<name>) and fuzz/regressions/<name>. Afterwards
# the smallest set of inputs covering all that the run reached replaces the found inputs,
# the smallest first up to FUZZ_KEEP_KB (default 512) kilobytes a target, so the tree
# stays small; every input that crashed a target or broke one of its checks is kept in
# fuzz/regressions/<name>. The test suite replays all three folders (ctest -R fuzz_replay).
# A summary line per target says how many runs it made and what it found; the script
# exits 1 when any target found something.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
minutes="${1:-12}"
if ! [[ "$minutes" =~ ^[0-9]+$ ]] || (( minutes < 1 )); then
  echo "usage: scripts/fuzz.sh [MINUTES]   (a whole number of minutes, at least 1)" >&2
  exit 2
fi

"$root/scripts/install-deps.sh"
build="$root/build-fuzz"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DVORNIX_FUZZ=ON -DVORNIX_BUILD_BENCH=OFF -DVORNIX_BUILD_TESTS=OFF >/dev/null
targets=()
if [[ -n "${FUZZ_TARGETS:-}" ]]; then
  read -r -a targets <<< "$FUZZ_TARGETS"
else
  for source in "$root"/fuzz/Fuzz*.cpp; do
    name="$(basename "$source" .cpp)"   # FuzzSoundFile -> sound_file
    name="$(sed -E 's/^Fuzz//; s/([a-z0-9])([A-Z])/\1_\2/g' <<< "$name" | tr '[:upper:]' '[:lower:]')"
    targets+=("$name")
  done
fi
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

seconds=$(( minutes * 60 / ${#targets[@]} ))
(( seconds >= 10 )) || seconds=10
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
broken=0
for name in "${targets[@]}"; do
  corpus="$root/fuzz/corpus/$name"
  found="$root/fuzz/coverage/$name"
  regressions="$root/fuzz/regressions/$name"
  mkdir -p "$corpus" "$found" "$work/$name" "$work/$name-artifacts"
  seeds=("$corpus" "$found")
  [[ -d "$regressions" ]] && seeds+=("$regressions")
  log="$work/$name.log"
  # Runs go into a scratch corpus; a crash, a leak, a timeout or a broken check ends the
  # run and leaves its input among the artifacts.
  set +e
  "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=25 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$work/$name-artifacts/" "$work/$name" "${seeds[@]}" >"$log" 2>&1
  status=$?
  set -e
  runs="$(grep -Eo '^stat::number_of_executed_units: *[0-9]+' "$log" | grep -Eo '[0-9]+$' || echo '?')"
  # The smallest set of inputs that covers everything the seeds, the earlier finds and
  # the run reached; its inputs that are not seeds become the found inputs.
  mkdir -p "$work/$name-cover"
  "$build/fuzz/fuzz_$name" -merge=1 "$work/$name-cover" "$corpus" "$found" "$work/$name" \
    >"$work/$name.merge.log" 2>&1 || true
  before=$(find "$found" -type f | wc -l)
  if [[ -n "$(ls -A "$work/$name-cover")" ]]; then
    seeded="$(find "$corpus" -type f -exec sha1sum {} + | cut -d' ' -f1)"
    rm -f "$found"/*
    kept=0
    while read -r bytes input; do
      grep -qx "$(basename "$input")" <<< "$seeded" && continue
      (( kept + bytes <= ${FUZZ_KEEP_KB:-512} * 1024 )) || break
      cp "$input" "$found/"
      kept=$(( kept + bytes ))
    done < <(find "$work/$name-cover" -type f -printf '%s %p\n' | sort -n)
  fi
  after=$(find "$found" -type f | wc -l)
  artifacts=("$work/$name-artifacts"/*)
  if [[ -e "${artifacts[0]}" ]]; then
    mkdir -p "$regressions"
    cp "${artifacts[@]}" "$regressions/"
    broken=1
    echo "$name: $runs runs in ${seconds} s, FOUND ${#artifacts[@]} input(s), kept in fuzz/regressions/$name:"
    grep -E '^==[0-9]+==ERROR|^SUMMARY|deadly signal|ERROR: libFuzzer' "$log" | head -n 5 | sed 's/^/    /'
  elif (( status != 0 )); then
    broken=1
    echo "$name: $runs runs in ${seconds} s, the fuzzer stopped with status $status:"
    tail -n 5 "$log" | sed 's/^/    /'
  else
    echo "$name: $runs runs in ${seconds} s, nothing found; found inputs $before -> $after"
  fi
done
exit "$broken"
