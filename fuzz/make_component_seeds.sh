#!/usr/bin/env bash
# Writes the seed corpora of the whole-road fuzz targets into fuzz/corpus/component_file
# and fuzz/corpus/component_stream: a short recording of every signal the decoder knows
# (made by `vornix gen`), the same DTMF in the containers sox and ffmpeg write, and raw
# streams of every width. Recordings are kept short (a fraction of a second where the
# signal allows) so that executions stay fast.
#   fuzz/make_component_seeds.sh [path/to/vornix]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
vornix="${1:-$here/../build/tools/vornix}"
files="$here/corpus/component_file"
streams="$here/corpus/component_stream"
mkdir -p "$files" "$streams"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

gen() { "$vornix" gen "$@" --quiet; }
# file KIND NAME SOURCE: the file-target layout, a byte for the name's kind, one for the
# settings, then the file.
file_seed() { { printf "\\x$(printf %02x "$1")\\x00"; cat "$3"; } > "$files/$2"; }
# stream_seed PICK SHAPE NAME SOURCE: the stream-target layout, the format pick, its
# shape, the settings, the cut, then the audio.
stream_seed() { { printf "\\x$(printf %02x "$1")\\x$(printf %02x "$2")\\x00\\x05"; cat "$4"; } > "$streams/$3"; }

gen dtmf "1#" --duration 50 --gap 50 -o "$work/dtmf.wav"
gen cid --format sdmf --number 5551234 --mark-bits 80 -o "$work/cid.wav"
gen cid --vmwi on --mark-bits 80 -o "$work/vmwi.wav"
gen cid --standard v23 --number 12 --mark-bits 80 -o "$work/v23.wav"
gen cid --call-waiting --number 7 -o "$work/cidcw.wav"
gen mf "KP1ST" --duration 60 --kp-duration 90 --gap 60 -o "$work/mf.wav"
gen paging --type CCIR 123 -o "$work/paging.wav"
gen sit RO --short 200 -o "$work/sit.wav" --bits 8
gen tone 440,480 --on 150 --off 100 -o "$work/tone.wav"
gen tty "HI" -o "$work/tty.wav"
gen fsk "ok" -o "$work/fsk.wav"
gen same "ZCZC-WXR-TOR-039173+0030-1591829-KEAX/NWS-" -o "$work/same.wav" --bits 8
for kind in dtmf cid vmwi v23 cidcw mf paging sit tone tty fsk same; do
  file_seed 0 "$kind.wav" "$work/$kind.wav"
done

# The same keys in the containers users have; MPEG audio behind an ID3 tag.
sox "$work/dtmf.wav" "$work/dtmf.flac"
sox "$work/dtmf.wav" "$work/dtmf.au"
sox "$work/dtmf.wav" "$work/dtmf.aiff"
ffmpeg -loglevel error -y -i "$work/dtmf.wav" -c:a libvorbis -b:a 32k "$work/dtmf.ogg"
ffmpeg -loglevel error -y -i "$work/dtmf.wav" -c:a libopus -b:a 16k "$work/dtmf.opus"
ffmpeg -loglevel error -y -i "$work/dtmf.wav" -c:a libmp3lame -b:a 32k -id3v2_version 3 \
  -metadata title=seed "$work/dtmf.mp3"
ffmpeg -loglevel error -y -i "$work/dtmf.wav" -c:a aac -b:a 24k "$work/dtmf.m4a"
for kind in flac au aiff ogg opus m4a; do file_seed 5 "dtmf-$kind" "$work/dtmf.$kind"; done
file_seed 3 "dtmf-mp3" "$work/dtmf.mp3"
sox "$work/cid.wav" -t raw "$work/cid.raw"
file_seed 1 "cid-raw" "$work/cid.raw"

# Raw streams: 16-bit and 8-bit PCM by format number, A-law and mu-law, and the widths
# only a format record gives (24-bit, 32-bit, 32-bit float).
sox "$work/dtmf.wav" -t raw -e signed -b 16 "$work/s16.raw"
sox "$work/dtmf.wav" -t raw -e unsigned -b 8 "$work/u8.raw"
sox "$work/dtmf.wav" -t raw -e a-law "$work/alaw.raw"
sox "$work/dtmf.wav" -t raw -e u-law "$work/ulaw.raw"
sox "$work/dtmf.wav" -t raw -e signed -b 24 "$work/s24.raw"
sox "$work/dtmf.wav" -t raw -e signed -b 32 "$work/s32.raw"
sox "$work/dtmf.wav" -t raw -e floating-point -b 32 "$work/f32.raw"
sox "$work/cid.wav" -t raw -e signed -b 16 "$work/cid16.raw"
sox "$work/dtmf.wav" -c 2 -t raw -e signed -b 16 "$work/s16-stereo.raw"
stream_seed 2 0 "dtmf-s16" "$work/s16.raw"
stream_seed 0 0 "dtmf-u8" "$work/u8.raw"
stream_seed 37 0 "dtmf-alaw" "$work/alaw.raw"
stream_seed 45 0 "dtmf-ulaw" "$work/ulaw.raw"
stream_seed 201 0 "dtmf-s24" "$work/s24.raw"
stream_seed 202 0 "dtmf-s32" "$work/s32.raw"
stream_seed 200 0 "dtmf-f32" "$work/f32.raw"
stream_seed 2 0 "cid-s16" "$work/cid16.raw"
stream_seed 3 0 "dtmf-s16-stereo" "$work/s16-stereo.raw"
