#!/usr/bin/env bash
# Seeds of fuzz_capture_decode: short calls as packet captures, made by the tests' capture
# builder (scapy) from keys that vornix gen writes and sox encodes.
#   fuzz/make_capture_seeds.sh [VORNIX]   (default build/tools/vornix)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
vornix="${1:-$root/build/tools/vornix}"
out="$root/fuzz/corpus/capture_decode"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
cd "$work"
"$vornix" gen dtmf 5 --duration 60 --gap 40 -o keys.wav
sox keys.wav -t ul keys.ul
sox keys.wav -t al keys.al
call='"calls":[{"call_id":"seed@example.com","caller":"192.0.2.10:5060","callee":"192.0.2.20:5060","time":1796770653.9,
  "offer":{"rtp":"192.0.2.1:4000","codec_pt":96,"codec":"PCMU","event_pt":101},
  "answer":{"rtp":"192.0.2.2:5004","codec_pt":96,"codec":"PCMU","event_pt":101}}]'
stream() {  # audio payload_type source destination extra [codec]
  printf '{"audio":"%s","payload_type":%s,"codec":"%s","ssrc":"0x1234abcd","sequence":65534,"timestamp":4294967200,
    "src":"%s","dst":"%s","start":1796770654.0%s}' "$1" "$2" "${6:-PCMU}" "$3" "$4" "$5"
}
cat > a.json <<JSON
{"output":"$out/ulaw-sip-events.pcap","link":"ethernet",$call,
 "streams":[$(stream keys.ul 96 192.0.2.1:4000 192.0.2.2:5004 ',"event_payload_type":101,"events":[{"key":"7","start_ms":20,"duration_ms":60}]')],
 "noise":[{"client":"192.0.2.30","server":"192.0.2.53:53","queries":2,"start":1796770653.5,"interval_ms":50,"seed":7}]}
JSON
cat > b.json <<JSON
{"output":"$out/alaw-ipv6-sll.pcapng","format":"pcapng","resolution":"ns","link":"sll",
 "streams":[$(stream keys.al 8 '[2001:db8::1]:4000' '[2001:db8::2]:5004' ',"drop":0.1,"reorder":0.2,"seed":3' PCMA)]}
JSON
cat > c.json <<JSON
{"output":"$out/ulaw-raw-bigendian.pcap","link":"raw","byte_order":"big",
 "streams":[$(stream keys.ul 0 192.0.2.1:4000 192.0.2.2:5004 '')]}
JSON
for d in a b c; do /usr/bin/python3 "$root/tests/tools/rtp_capture.py" "$d.json"; done
ls -l "$out"
