#!/usr/bin/env python3
"""Writes the seed corpora of the audio fuzz targets into fuzz/corpus/.

Compressed streams come from ffmpeg's encoders; everything is kept to a few hundred
bytes so that the fuzzers start from real structure without slow executions.
Run again after changing an input layout of AudioHarness.h.
"""
import os
import struct
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def record(tag, channels, rate, avg, align, bits, extra=b""):
    return struct.pack("<HHIIHHH", tag, channels, rate, avg, align, bits, len(extra)) + extra


def chunk(cid, data, size=None, pad=True):
    size = len(data) if size is None else size
    return cid + struct.pack("<I", size) + data + (b"\0" if pad and len(data) % 2 else b"")


def riff(chunks, size=None):
    return b"RIFF" + struct.pack("<I", len(chunks) + 4 if size is None else size) + b"WAVE" + chunks


def encode(codec, rate, channels, seconds, fmt, *options):
    """A short sine through one of ffmpeg's encoders, as the file bytes."""
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "out." + fmt)
        subprocess.run(["ffmpeg", "-v", "error", "-f", "lavfi", "-i",
                        f"sine=frequency=697:sample_rate={rate}:duration={seconds}",
                        "-ac", str(channels), "-c:a", codec, *options, out], check=True)
        with open(out, "rb") as f:
            return f.read()


def wave_parts(data):
    """The "fmt " record and the "data" bytes of a wave file."""
    at, fmt, audio = 12, None, None
    while at + 8 <= len(data):
        cid, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        body = data[at + 8:at + 8 + size]
        if cid == b"fmt ":
            fmt = body if len(body) >= 18 else body + b"\0\0"
        elif cid == b"data":
            audio = body
        at += 8 + size + (size & 1)
    return fmt, audio


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    pcm = bytes(range(0, 200))
    pcm_fmt = record(1, 1, 8000, 16000, 2, 16)
    waves = {
        "adpcm_ms": encode("adpcm_ms", 8000, 1, 0.07, "wav", "-block_size", "256"),
        "adpcm_ima": encode("adpcm_ima_wav", 8000, 1, 0.07, "wav", "-block_size", "256"),
        "gsm": encode("libgsm_ms", 8000, 1, 0.08, "wav"),
        "alaw": encode("pcm_alaw", 8000, 2, 0.02, "wav"),
        "mulaw": encode("pcm_mulaw", 8000, 1, 0.02, "wav"),
    }
    mp3 = encode("libmp3lame", 8000, 1, 0.3, "mp3", "-b:a", "8k", "-write_xing", "1", "-id3v2_version", "0")
    mp2 = encode("mp2", 32000, 1, 0.05, "mp2", "-b:a", "32k")

    # Sound files: the first byte picks the name (0 .wav, 1 .RAW, 2 .pcm, 3 .mp3).
    write("sound_file", "pcm.wav", b"\0" + riff(chunk(b"fmt ", pcm_fmt) + chunk(b"data", pcm)))
    write("sound_file", "odd-chunks.wav", b"\0" + riff(chunk(b"LIST", b"abc") + chunk(b"fmt ", pcm_fmt[:16])
                                                        + chunk(b"data", pcm[:33])))
    write("sound_file", "truncated.wav", b"\0" + riff(chunk(b"fmt ", pcm_fmt) + chunk(b"data", pcm, 5000), 0xFFFFFFFF))
    write("sound_file", "empty-data.wav", b"\0" + riff(chunk(b"fmt ", pcm_fmt) + chunk(b"data", b"")))
    for name, data in waves.items():
        write("sound_file", name + ".wav", b"\0" + data)
    write("sound_file", "stream.mp3", b"\3" + mp3)
    write("sound_file", "layer2.mp3", b"\0" + mp2)
    write("sound_file", "speech.raw", b"\1" + pcm)

    # Converter: record, extra bytes, piece byte, stream.
    for name, data in waves.items():
        fmt, audio = wave_parts(data)
        write("converter", name, fmt + b"\x11" + audio)
    truespeech = record(0x22, 1, 8000, 1067, 32, 1, bytes([1, 0, 240, 0]) + bytes(28))
    write("converter", "truespeech", truespeech + b"\x05" + bytes((i * 37) & 255 for i in range(32 * 6)))
    mp3_record = record(0x55, 1, 8000, 1000, 1, 0, struct.pack("<HIHHH", 1, 2, 72, 1, 1393))
    write("converter", "mp3", mp3_record + b"\x03" + mp3)
    write("converter", "pcm24", record(1, 2, 8000, 48000, 6, 24) + b"\x02" + bytes(range(60)))
    extensible = struct.pack("<HHI", 24, 3, 1) + bytes([6, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71])
    write("converter", "extensible-alaw", record(0xFFFE, 1, 8000, 8000, 1, 8, extensible) + b"\x09" + pcm)

    # Identifiers as a host would type them.
    write("wave_format_id", "pcm", b"01000100401f0000803e0000020010000000")
    write("wave_format_id", "gsm", b"31000100401f0000590600004100000002004001")
    write("wave_format_id", "truespeech", truespeech.hex().encode())
    write("wave_format_id", "spaced", b" 1 0 1 0401f0000803E0000020010000000f")


if __name__ == "__main__":
    main()
