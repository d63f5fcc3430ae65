#!/usr/bin/env python3
"""Writes the seed corpora of the audio fuzz targets into fuzz/corpus/.

Compressed streams come from ffmpeg's encoders; everything is kept to a few hundred
bytes so that the fuzzers start from real structure without slow executions.
Run again after changing an input layout of AudioHarness.h or CallerIdFuzzHarness.h;
`make_seeds.py caller_id` writes only the caller-ID seeds (they need no ffmpeg).
"""
import math
import os
import struct
import sys
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


# Caller ID: messages built here from the line framing, as framer input (bits or
# characters) and as 16-bit PCM of whole transmissions.

def cid_message(kind, data, checksum_error=0):
    """Type, length, data and the checksum that makes all bytes add up to 0."""
    body = bytes([kind, len(data)]) + bytes(data)
    return body + bytes([(-sum(body) + checksum_error) & 0xFF])


def mdmf_params(*params):
    return b"".join(bytes([kind, len(value)]) + value for kind, value in params)


def even_parity(byte):
    return byte | 0x80 if bin(byte).count("1") % 2 else byte


def crc16(data):
    """x^16 + x^12 + x^5 + 1, least significant bit first, from 0, not inverted."""
    crc = 0
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ 0x8408 if crc & 1 else crc >> 1
    return crc


def japanese_message(number):
    """DLE SOH 07 DLE STX 40 L, the number as parameter 02, DLE ETX, two check bytes;
    every byte but the check bytes with even parity."""
    params = bytes([0x02, len(number)]) + number
    body = bytes([0x10, 0x01, 0x07, 0x10, 0x02, 0x40, len(params)]) + params + bytes([0x10, 0x03])
    sent = bytes(even_parity(b) for b in body)
    crc = crc16(sent[2:])
    return sent + bytes([crc & 0xFF, crc >> 8])


def character_bits(message):
    """Start bit, eight data bits least significant first, stop bit, for every byte."""
    bits = []
    for byte in message:
        bits += [0] + [(byte >> i) & 1 for i in range(8)] + [1]
    return bits


def pack_bits(bits):
    bits = bits + [1] * (-len(bits) % 8)  # the line idles at mark
    return bytes(sum(bits[at + i] << i for i in range(8)) for at in range(0, len(bits), 8))


def framer_bits(message, marks=20):
    return [1] * marks + character_bits(message) + [1] * 8


def fsk(bits, rate, mark, space, amplitude=0.3, baud=1200.0):
    """Phase-continuous FSK; bit k spans samples [round(k rate / baud), round((k+1) rate / baud))."""
    out, phase = [], 0.0
    for k, bit in enumerate(bits):
        step = 2 * math.pi * (mark if bit else space) / rate
        for _ in range(round((k + 1) * rate / baud) - round(k * rate / baud)):
            out.append(amplitude * math.sin(phase))
            phase = (phase + step) % (2 * math.pi)
    return out


def tones(frequencies, seconds, rate, amplitude):
    return [sum(amplitude * math.sin(2 * math.pi * f * n / rate) for f in frequencies)
            for n in range(round(seconds * rate))]


def silence(seconds, rate):
    return [0.0] * round(seconds * rate)


def pcm16(samples):
    return b"".join(struct.pack("<h", max(-32767, min(32767, round(x * 32767)))) for x in samples)


def on_hook(message, rate, seizure=300, marks=180, mark=1200.0, space=2200.0):
    bits = [i & 1 for i in range(seizure)] + [1] * marks + character_bits(message) + [1] * 10
    return silence(0.05, rate) + fsk(bits, rate, mark, space) + silence(0.1, rate)


def call_waiting(message, rate):
    """The alerting pair, the handset's DTMF D answer, a short gap, marks and the message."""
    bits = [1] * 80 + character_bits(message) + [1] * 10
    return (silence(0.05, rate) + tones([2130, 2750], 0.08, rate, 0.2) + silence(0.05, rate)
            + tones([941, 1633], 0.065, rate, 0.2) + silence(0.02, rate)
            + fsk(bits, rate, 1200.0, 2200.0) + silence(0.1, rate))


def japanese_sequence(message, rate):
    """A clipped ring burst (16 Hz square at 0.98 of full scale), a quiet gap, then V.23
    marks and the message."""
    ring = [0.98 if (n * 32 // rate) % 2 == 0 else -0.98 for n in range(round(0.5 * rate))]
    bits = [1] * 60 + character_bits(message) + [1] * 10
    return ring + silence(0.9, rate) + fsk(bits, rate, 1300.0, 2100.0) + silence(0.1, rate)


def caller_id_seeds():
    sdmf = cid_message(0x04, b"01011230" + b"5551234567")
    mdmf = cid_message(0x80, mdmf_params((0x01, b"12251430"), (0x02, b"5551234567"), (0x07, b"DOE JOHN"),
                                         (0x03, b"5559876")))
    private = cid_message(0x80, mdmf_params((0x01, b"03150905"), (0x04, b"P"), (0x08, b"O")))
    unknown = cid_message(0x80, mdmf_params((0x01, b"07041200"), (0x42, bytes(range(90))), (0x02, b"911")))
    waiting_on = cid_message(0x06, b"BBB")
    waiting_off = cid_message(0x06, b"ooo")
    waiting_count = cid_message(0x82, mdmf_params((0x0B, b"\xff"), (0x0D, b"\x03")))
    waiting_clear = cid_message(0x82, mdmf_params((0x0B, b"\x00")))
    japanese = japanese_message(b"0312345678")

    # Framer: first byte 0 standard bits, 4 Japanese bits, 1 flagged bits, 2 standard
    # characters, 3 Japanese characters; its top five bits restart the message every 8 n bytes.
    write("caller_id_format", "sdmf-bits", b"\0" + pack_bits(framer_bits(sdmf)))
    write("caller_id_format", "mdmf-bits", b"\0" + pack_bits(framer_bits(mdmf)))
    write("caller_id_format", "waiting-on-bits", b"\0" + pack_bits(framer_bits(waiting_on)))
    write("caller_id_format", "waiting-count-bits", b"\0" + pack_bits(framer_bits(waiting_count)))
    write("caller_id_format", "japanese-bits", b"\4" + pack_bits(framer_bits(japanese)))
    write("caller_id_format", "private-chars", b"\2" + private)
    write("caller_id_format", "unknown-parameter-chars", b"\2" + unknown)
    write("caller_id_format", "waiting-off-chars", b"\2" + waiting_off + waiting_clear)
    write("caller_id_format", "bad-checksum-chars", b"\2" + cid_message(0x80, mdmf_params((0x02, b"5550000")), 1))
    write("caller_id_format", "japanese-chars", b"\3" + japanese)
    # A standard then a Japanese message, each one with its flag on every bit.
    flagged = [(b, 0) for b in framer_bits(sdmf)] + [(b, 1) for b in framer_bits(japanese)]
    flagged += [(1, 1)] * (-len(flagged) % 4)
    write("caller_id_format", "flagged-bits", b"\1" + bytes(
        sum((flagged[at + i][0] | flagged[at + i][1] << 1) << (2 * i) for i in range(4))
        for at in range(0, len(flagged), 4)))
    # A torn standard message, the restart after 40 bytes that also switches to the
    # Japanese parser, then a whole Japanese message.
    torn = pack_bits(framer_bits(mdmf)[:100])
    write("caller_id_format", "restart-bits", bytes([5 << 3]) + torn + b"\xff" * (40 - len(torn))
          + pack_bits(framer_bits(japanese)))

    # Whole decoder: first byte the rate (0 8000, 1 11025, 2 16000 Hz) with bit 7 turning
    # the call-waiting search off; second byte the piece sizes; then 16-bit PCM.
    write("caller_id_audio", "mdmf-8k", b"\x80\x05" + pcm16(on_hook(mdmf, 8000)))
    write("caller_id_audio", "sdmf-8k-cw-search", b"\x00\x0c" + pcm16(on_hook(sdmf, 8000, 120, 80)))
    write("caller_id_audio", "waiting-8k", b"\x80\x01" + pcm16(on_hook(waiting_count, 8000, 120, 80)))
    write("caller_id_audio", "v23-8k", b"\x80\x07" + pcm16(on_hook(private, 8000, 120, 80, 1300.0, 2100.0)))
    write("caller_id_audio", "call-waiting-8k", b"\x00\x03" + pcm16(call_waiting(mdmf, 8000)))
    write("caller_id_audio", "japanese-8k", b"\x80\x09" + pcm16(japanese_sequence(japanese, 8000)))
    write("caller_id_audio", "sdmf-16k", b"\x82\x02" + pcm16(on_hook(sdmf, 16000, 120, 80)))
    write("caller_id_audio", "sdmf-11k", b"\x81\x0f" + pcm16(on_hook(sdmf, 11025, 120, 80)))


if __name__ == "__main__":
    if sys.argv[1:] == ["caller_id"]:
        caller_id_seeds()
    else:
        main()
        caller_id_seeds()
