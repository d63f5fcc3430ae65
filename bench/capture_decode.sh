#!/usr/bin/env bash
# What reading calls out of a packet capture costs: one capture of CALLS calls of a minute
# each (G.711 µ-law, 20 ms packets, keys in the audio and as telephone events, SIP with
# SDP, 2 % of packets lost and 5 % reordered), made by the tests' capture builder, timed
# through `vornix decode` against the WAVs of the same audio decoded by one `vornix decode`
# in the same run (RUNS times each, in turn; the medians are printed). Also counts the keys
# found in a capture of a minute of synthetic speech, which should be none.
#   bench/capture_decode.sh [BUILD_DIR] [RUNS] [CALLS]   (default build/, 3 runs, 8 calls)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$(cd "${1:-$root/build}" && pwd)"
runs="${2:-3}"
calls="${3:-8}"
vornix="$build/tools/vornix"
builder="$root/tests/tools/rtp_capture.py"
if [ ! -x "$vornix" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release
  cmake --build "$build" -j "$(nproc)" --target vornix_cli
fi
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) processors"

# A minute of keys in noise per call, each call its own keys.
streams="" sip="" wavs=()
for ((c = 0; c < calls; c++)); do
  keys=""
  for ((k = 0; k < 60; k++)); do keys+="${c}"; done
  "$vornix" gen dtmf "$keys" --duration 100 --gap 900 --noise -30 --seed "$((c + 1))" -o "call-$c.wav"
  sox "call-$c.wav" -t ul "call-$c.ul"
  sox -t ul -r 8000 -c 1 "call-$c.ul" "call-$c-ul.wav"
  wavs+=("call-$c-ul.wav")
  a="10.0.$c.1:4000" b="10.0.$c.2:5004"
  streams+="${streams:+,}{\"audio\":\"call-$c.ul\",\"payload_type\":96,\"codec\":\"PCMU\",\"ssrc\":$((c + 1)),\"src\":\"$a\",\"dst\":\"$b\",
    \"start\":1796770654.0,\"drop\":0.02,\"reorder\":0.05,\"seed\":$((c + 1)),\"event_payload_type\":101,
    \"events\":[{\"key\":\"#\",\"start_ms\":30500,\"duration_ms\":100}]}"
  sip+="${sip:+,}{\"call_id\":\"call-$c@bench\",\"caller\":\"10.0.$c.1:5060\",\"callee\":\"10.0.$c.2:5060\",\"time\":1796770653.0,
    \"offer\":{\"rtp\":\"$a\",\"codec_pt\":96,\"codec\":\"PCMU\",\"event_pt\":101},\"answer\":{\"rtp\":\"$b\",\"codec_pt\":96,\"codec\":\"PCMU\",\"event_pt\":101}}"
done
echo "{\"output\":\"calls.pcap\",\"streams\":[$streams],\"calls\":[$sip]}" > calls.json
/usr/bin/python3 "$builder" calls.json

# A minute of speech, made by espeak-ng, as one more call.
text="The quick brown fox jumps over the lazy dog while the operator reads the numbers one two three four five six seven eight nine zero and asks the caller to hold the line for the next available agent."
espeak-ng -s 150 -w speech-raw.wav "$text $text $text $text $text"
sox speech-raw.wav -r 8000 -c 1 -t ul speech.ul
echo "{\"output\":\"speech.pcap\",\"streams\":[{\"audio\":\"speech.ul\",\"payload_type\":0,\"ssrc\":9,\"src\":\"10.1.0.1:4000\",\"dst\":\"10.1.0.2:5004\",\"start\":1796770654.0}]}" > speech.json
/usr/bin/python3 "$builder" speech.json

now() { date +%s.%N; }
timed() {
  local start end
  start="$(now)"
  "$@" > /dev/null 2>&1
  end="$(now)"
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }'
}
keys_in() { grep -c '"OnDTMF"' || true; }
"$vornix" decode --json calls.pcap > capture.jsonl
capture_keys="$(grep '"Source":"audio"' capture.jsonl | keys_in)"
event_keys="$(grep '"Source":"rfc4733"' capture.jsonl | keys_in)"
wav_keys="$("$vornix" decode --json --quiet "${wavs[@]}" | keys_in)"
speech_keys="$("$vornix" decode --json speech.pcap | keys_in)"

: > times
for ((r = 0; r < runs; r++)); do
  echo "$(timed "$vornix" decode --json calls.pcap) $(timed "$vornix" decode --json --quiet -j 1 "${wavs[@]}")" >> times
done
median() { cut -d' ' -f"$1" times | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
capture_s="$(median 1)"
wav_s="$(median 2)"
awk -v calls="$calls" -v cs="$capture_s" -v ws="$wav_s" -v ck="$capture_keys" -v ek="$event_keys" -v wk="$wav_keys" -v sk="$speech_keys" \
    -v bytes="$(stat -c %s calls.pcap)" 'BEGIN {
  audio = calls * 60
  printf "input:  %d calls of 60 s in one capture (%.1f MB, 2 %% lost, 5 %% reordered), and their WAVs\n", calls, bytes / 1e6
  printf "capture: %7.3f s  %7.0fx real time  %d keys heard (of %d sent; lost packets cut some) + %d of %d telephone events\n", cs, audio / cs, ck, calls * 60, ek, calls
  printf "WAVs:    %7.3f s  %7.0fx real time  %d keys\n", ws, audio / ws, wk
  printf "the capture costs %.2fx the WAVs\n", cs / ws
  printf "speech (a minute, espeak-ng, in a capture): %d keys\n", sk
}'
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
