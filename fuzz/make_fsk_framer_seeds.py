#!/usr/bin/env python3
"""Writes the seeds of the FSK data framer's fuzz target into fuzz/corpus/fsk_framer/.

Layout (FskFramerFuzzHarness.h): data bits + 1, stop bits + 1, parity + 1, start tone,
stop tone + 1, a period byte p, then the bits, eight a byte, least significant first; when
p is not 0, a new five-byte framing follows every p bytes of bits.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
FOLDER = os.path.join(HERE, "corpus", "fsk_framer")


def parity_bit(value, parity):
    odd = bin(value).count("1") & 1
    return {1: odd ^ 1, 2: odd, 3: 1, 4: 0}[parity]


def frame(value, data_bits, stop_bits, parity, start, stop, spoil=False):
    bits = [1 if start else 0] + [(value >> i) & 1 for i in range(data_bits)]
    if parity:
        bits.append(parity_bit(value, parity) ^ int(spoil))
    return bits + [stop] * stop_bits


def pack(bits):
    bits = bits + [0] * (-len(bits) % 8)
    return bytes(sum(bits[i + j] << j for j in range(8)) for i in range(0, len(bits), 8))


def framing(data_bits, stop_bits, parity, start, stop):
    return bytes([data_bits + 1, stop_bits + 1, parity + 1, start, stop + 1])


def seed(name, data_bits, stop_bits, parity, start, stop, bits, period=0, tail=b""):
    os.makedirs(FOLDER, exist_ok=True)
    with open(os.path.join(FOLDER, name), "wb") as f:
        f.write(framing(data_bits, stop_bits, parity, start, stop) + bytes([period]) + pack(bits) + tail)


text = b"Vornix \x00\xff"
idle = [1] * 5
seed("8n1-text", 8, 1, 0, 0, 1, idle + sum((frame(c, 8, 1, 0, 0, 1) for c in text), []) + idle)
seed("8n1-framing-error", 8, 1, 0, 0, 1, idle + frame(0x41, 8, 0, 0, 0, 1) + [0] + frame(0x5A, 8, 1, 0, 0, 1)[1:])
seed("5n2-all-values", 5, 3, 0, 0, 1, sum((frame(v, 5, 2, 0, 0, 1) for v in range(32)), []))
seed("7e1-good-and-bad", 7, 1, 2, 0, 1,
     idle + frame(ord("A"), 7, 1, 2, 0, 1) + frame(ord("B"), 7, 1, 2, 0, 1, spoil=True) + idle)
seed("8o1-odd", 8, 1, 1, 0, 1, idle + sum((frame(c, 8, 1, 1, 0, 1) for c in b"odd"), []))
seed("8-no-stop", 8, 0, 0, 0, 1, sum((frame(c, 8, 0, 0, 0, 1) for c in b"back2back"), []))
seed("8-one5-mark-parity", 8, 2, 3, 0, 1, idle + sum((frame(c, 8, 2, 3, 0, 1) for c in b"1.5"), []))
seed("mark-start-inverted", 8, 1, 4, 1, 0, [0] * 3 + frame(0x6B, 8, 1, 4, 1, 0) + [0] + frame(0x80, 8, 1, 4, 1, 0))
# A new framing every four bytes of bits, cutting characters in the middle.
seed("reframed", 8, 1, 0, 0, 1, idle + frame(0x41, 8, 1, 0, 0, 1) * 2, period=4,
     tail=framing(5, 0, 1, 1, 0) + pack(frame(9, 5, 0, 1, 1, 0) * 6))
