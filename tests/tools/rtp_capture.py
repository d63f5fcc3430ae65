#!/usr/bin/python3
"""Writes a packet capture of telephone calls carried over RTP, from a JSON description,
for the tests of `vornix decode CALL.pcap` and `vornix listen --rtp`.

    rtp_capture.py DESCRIPTION.json [-o OUTPUT]     writes the capture
    rtp_capture.py DESCRIPTION.json --send HOST:PORT [--log FILE]
                                                    sends the streams' RTP to HOST:PORT in
                                                    real time instead (one UDP socket per
                                                    stream); --log gets a line per packet:
                                                    "MONOTONIC_SECONDS SSRC SEQ OFFSET KIND",
                                                    OFFSET being the packet's first sample
                                                    counted from the stream's first timestamp
    rtp_capture.py DESCRIPTION.json --report        also prints a JSON line per stream: its
                                                    SSRC and the first-sample offsets of the
                                                    audio packets it dropped and of the
                                                    packets it swapped

The description (names relative to the current folder; a time is seconds since 1970 as a
number, or ISO 8601 text such as "2026-12-08T22:57:34.120Z"):

{
  "output": "call.pcap",
  "format": "pcap",              pcap | pcapng
  "resolution": "us",            us | ns: the capture's timestamp unit
  "byte_order": "little",        little | big: the byte order of the file's own headers
  "link": "ethernet",            ethernet | sll (Linux cooked) | raw (IP packets alone)
  "streams": [{
    "audio": "keys.ul",          .ul / .al: G.711 bytes as sox writes them; .wav: a WAV that
                                 sox made (u-law, A-law or 16-bit PCM, mono, 8000 Hz);
                                 recoded when the codec differs
    "duration_ms": 2000,         instead of "audio": that much of the codec's silence
    "payload_type": 0,           0 (PCMU), 8 (PCMA) or a dynamic type with "codec"
    "codec": "PCMU",             PCMU | PCMA; needed for a dynamic payload type
    "ssrc": "0x11223344",        a number or hex text
    "sequence": 0,               the first packet's sequence number (wraps at 2^16)
    "timestamp": 0,              the first packet's RTP timestamp (wraps at 2^32)
    "ptime_ms": 20,              audio per packet (20 ms = 160 bytes); the last is padded
                                 with silence to a whole packet
    "src": "192.0.2.1:4000",     IPv4 "A.B.C.D:PORT" or IPv6 "[2001:db8::1]:PORT"
    "dst": "192.0.2.2:5004",
    "start": 1796770654.12,      capture time of the stream's first packet
    "drop": 0.0,                 fraction of the audio packets left out (never the first)
    "reorder": 0.0,              fraction of packets swapped with one 1..reorder_distance
    "reorder_distance": 3,       places on (never the first); the capture times stay in
                                 order, the packets change places
    "drop_events": false,        whether telephone-event packets may be dropped too
    "seed": 1,                   for the choice of dropped and reordered packets
    "event_payload_type": 101,
    "event_interval_ms": 50,     an update this often while a key is held
    "event_volume": 10,          -dBm0
    "audio_during_events": "keep",  keep: the audio goes on unchanged (the key may be in it
                                 too); silence: the codec's silence while a key is held;
                                 none: no audio packets while a key is held
    "events": [{"key": "5", "start_ms": 500, "duration_ms": 100}]
  }],
  "calls": [{                    SIP INVITE and 200 OK over UDP, each with SDP
    "call_id": "a84b4c76e66710@pc33.example.com",
    "caller": "192.0.2.10:5060", "callee": "192.0.2.20:5060",
    "time": 1796770653.0,        the INVITE; the 200 OK follows after answer_delay_ms (50)
    "compact": false,            compact header names (i:, l:, c:, f:, t:, v:, m:)
    "offer":  {"rtp": "192.0.2.1:4000", "codec_pt": 96, "codec": "PCMU", "event_pt": 101},
    "answer": {"rtp": "192.0.2.2:5004", "codec_pt": 96, "codec": "PCMU", "event_pt": 101}
  }],
  "noise": [{                    DNS queries and answers, not RTP
    "client": "192.0.2.30", "server": "192.0.2.53:53", "queries": 20,
    "start": 1796770653.5, "interval_ms": 150,
    "client_port": 0,            0: a new random port for every query
    "seed": 7
  }]
}

An event is sent as RFC 4733 sets out: the k-th update at start + k * interval with
duration k * interval while that is shorter than the key, the marker bit on the first
packet, then the end packet (E bit, whole duration) three times, interval apart; all with
the timestamp of the key's start. Every packet of a stream (audio and events) takes the
next sequence number in the order it is sent. The packets of all streams, calls and noise
are written in time order.
"""

import argparse
import json
import random
import socket
import struct
import sys
import time
from datetime import datetime, timezone
from decimal import Decimal

from scapy.layers.dns import DNS, DNSQR, DNSRR
from scapy.layers.inet import IP, UDP
from scapy.layers.inet6 import IPv6
from scapy.layers.l2 import CookedLinux, Ether

RATE = 8000
SILENCE = {"PCMU": 0xFF, "PCMA": 0xD5}
STATIC_CODECS = {0: "PCMU", 8: "PCMA"}
EVENT_CODES = {c: i for i, c in enumerate("0123456789*#ABCD")}
LINK_TYPES = {"ethernet": 1, "raw": 101, "sll": 113}


# What drop_and_reorder did to each stream, for --report.
REPORT = []


class DescriptionError(Exception):
    pass


# ------------------------------------------------------------- G.711


def ulaw_to_linear(byte):
    b = ~byte & 0xFF
    magnitude = (((b & 0x0F) << 3) + 0x84) << ((b & 0x70) >> 4)
    return (0x84 - magnitude) if b & 0x80 else (magnitude - 0x84)


def alaw_to_linear(byte):
    b = byte ^ 0x55
    exponent = (b & 0x70) >> 4
    value = (b & 0x0F) << 4
    value = value + 8 if exponent == 0 else (value + 0x108) << (exponent - 1)
    return value if b & 0x80 else -value


def linear_to_ulaw(sample):
    # On 14 bits, rounding down as sox's encoder does, so a WAV recoded here has sox's bytes.
    magnitude, mask = (sample >> 2, 0xFF) if sample >= 0 else (-(sample >> 2), 0x7F)
    magnitude = min(magnitude, 8159) + 0x21
    segment = max(magnitude.bit_length() - 6, 0)
    if segment > 7:
        return 0x7F ^ mask
    return ((segment << 4) | ((magnitude >> (segment + 1)) & 0x0F)) ^ mask


def linear_to_alaw(sample):
    sign = 0x80 if sample >= 0 else 0
    magnitude = min(-sample - 1 if sample < 0 else sample, 32767) >> 3
    if magnitude < 32:
        code = magnitude >> 1
    else:
        exponent = magnitude.bit_length() - 5
        code = (exponent << 4) | ((magnitude >> exponent) & 0x0F)
    return (sign | code) ^ 0x55


def recode(data, encoding, codec):
    """G.711 bytes of this codec from bytes in this encoding (PCMU, PCMA or L16)."""
    if encoding == codec:
        return bytes(data)
    if encoding == "L16":
        samples = struct.unpack("<%dh" % (len(data) // 2), data[: len(data) // 2 * 2])
    else:
        decode = ulaw_to_linear if encoding == "PCMU" else alaw_to_linear
        samples = [decode(b) for b in data]
    encode = linear_to_ulaw if codec == "PCMU" else linear_to_alaw
    return bytes(encode(s) for s in samples)


def read_wav(path):
    """(encoding, bytes) of a mono 8000 Hz WAV: u-law, A-law or 16-bit PCM."""
    with open(path, "rb") as f:
        data = f.read()
    if len(data) < 12 or data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise DescriptionError("%s: not a WAV file" % path)
    fmt, samples, at = None, None, 12
    while at + 8 <= len(data):
        chunk, size = data[at : at + 4], struct.unpack_from("<I", data, at + 4)[0]
        body = data[at + 8 : at + 8 + size]
        if chunk == b"fmt " and len(body) >= 16:
            fmt = struct.unpack_from("<HHIIHH", body)
            if fmt[0] == 0xFFFE and len(body) >= 26:
                fmt = (struct.unpack_from("<H", body, 24)[0],) + fmt[1:]
        elif chunk == b"data":
            samples = body
        at += 8 + size + (size & 1)
    if fmt is None or samples is None:
        raise DescriptionError("%s: no fmt or data chunk" % path)
    tag, channels, rate, _, _, bits = fmt
    if channels != 1 or rate != RATE:
        raise DescriptionError("%s: %d channels at %d Hz, not mono at 8000 Hz" % (path, channels, rate))
    kinds = {(7, 8): "PCMU", (6, 8): "PCMA", (1, 16): "L16"}
    if (tag, bits) not in kinds:
        raise DescriptionError("%s: format %d with %d bits is not G.711 or 16-bit PCM" % (path, tag, bits))
    return kinds[(tag, bits)], samples


def stream_audio(stream, codec):
    """The stream's G.711 bytes in its own codec."""
    if "audio" in stream:
        path = stream["audio"]
        if path.endswith(".ul"):
            encoding, data = "PCMU", open(path, "rb").read()
        elif path.endswith(".al"):
            encoding, data = "PCMA", open(path, "rb").read()
        elif path.endswith(".wav"):
            encoding, data = read_wav(path)
        else:
            raise DescriptionError("%s: audio must be .ul, .al or .wav" % path)
        return recode(data, encoding, codec)
    return bytes([SILENCE[codec]]) * (int(stream["duration_ms"]) * RATE // 1000)


# ------------------------------------------------------------- values of the description


def microseconds(value):
    """Seconds since 1970 (a number or ISO 8601 text) as whole microseconds."""
    if isinstance(value, str):
        moment = datetime.fromisoformat(value.replace("Z", "+00:00"))
        if moment.tzinfo is None:
            moment = moment.replace(tzinfo=timezone.utc)
        return (moment - datetime(1970, 1, 1, tzinfo=timezone.utc)) // datetime.resolution
    return int(Decimal(value) * 1000000)


def endpoint(text):
    """("4" or "6", address, port) from "192.0.2.1:4000" or "[2001:db8::1]:4000"."""
    if text.startswith("["):
        address, _, port = text[1:].partition("]:")
        family, version = socket.AF_INET6, "6"
    else:
        address, _, port = text.rpartition(":")
        family, version = socket.AF_INET, "4"
    try:
        socket.inet_pton(family, address)
        port = int(port)
    except (OSError, ValueError):
        raise DescriptionError("%r is not ADDRESS:PORT" % text) from None
    if not 0 < port < 65536:
        raise DescriptionError("%r: port out of range" % text)
    return version, address, port


def number(value):
    return int(value, 0) if isinstance(value, str) else int(value)


def codec_of(stream):
    pt = int(stream["payload_type"])
    codec = stream.get("codec", STATIC_CODECS.get(pt))
    if codec not in SILENCE:
        raise DescriptionError("payload type %d needs a codec (PCMU or PCMA)" % pt)
    return codec


# ------------------------------------------------------------- RTP


def rtp_header(marker, pt, sequence, timestamp, ssrc):
    return struct.pack("!BBHII", 0x80, (0x80 if marker else 0) | pt, sequence & 0xFFFF,
                       timestamp & 0xFFFFFFFF, ssrc)


class Packet:
    """One datagram at a capture time; kind is audio, event, sip or noise."""

    def __init__(self, time_us, kind, payload=b"", offset=0, marker=False, pt=0, fields=None):
        self.time_us, self.kind, self.payload = time_us, kind, payload
        self.offset, self.marker, self.pt, self.fields = offset, marker, pt, fields
        self.sequence = 0


def overlaps(begin, end, events):
    return any(begin < e["start_ms"] * 8 + e["duration_ms"] * 8 and e["start_ms"] * 8 < end for e in events)


def audio_packets(stream, codec, events):
    audio = stream_audio(stream, codec)
    size = int(stream.get("ptime_ms", 20)) * RATE // 1000
    if size <= 0:
        raise DescriptionError("ptime_ms must give at least one sample")
    during = stream.get("audio_during_events", "keep")
    if during not in ("keep", "silence", "none"):
        raise DescriptionError("audio_during_events is keep, silence or none")
    packets = []
    for offset in range(0, len(audio), size):
        chunk = audio[offset : offset + size]
        chunk += bytes([SILENCE[codec]]) * (size - len(chunk))
        if during != "keep" and overlaps(offset, offset + size, events):
            if during == "none":
                continue
            chunk = bytes([SILENCE[codec]]) * size
        packets.append(Packet(offset * 1000000 // RATE, "audio", chunk, offset, marker=not packets,
                              pt=int(stream["payload_type"])))
    return packets


def event_packets(stream, events):
    pt = int(stream.get("event_payload_type", 101))
    interval = int(stream.get("event_interval_ms", 50))
    volume = int(stream.get("event_volume", 10)) & 0x3F
    if interval <= 0:
        raise DescriptionError("event_interval_ms must be positive")
    packets = []
    for e in events:
        if e["key"] not in EVENT_CODES:
            raise DescriptionError("%r is not a key" % e["key"])
        code, start, length = EVENT_CODES[e["key"]], int(e["start_ms"]), int(e["duration_ms"])
        if not 0 < length * 8 <= 0xFFFF:
            raise DescriptionError("an event lasts 1 ms to 8 s")
        sends = [(start + k * interval, k * interval, False) for k in range(1, (length + interval - 1) // interval)]
        sends += [(start + length + k * interval, length, True) for k in range(3)]
        for i, (at, duration, end) in enumerate(sends):
            body = struct.pack("!BBH", code, (0x80 if end else 0) | volume, duration * 8)
            packets.append(Packet(at * 1000, "event", body, start * 8, marker=i == 0, pt=pt,
                                  fields=(e["key"], end, duration * 8)))
    return packets


def drop_and_reorder(stream, packets):
    """Leaves packets out and swaps some with one a few places on; the first stays first."""
    rng = random.Random(stream.get("seed", 1))
    droppable = [i for i, p in enumerate(packets) if i > 0 and (p.kind == "audio" or stream.get("drop_events"))]
    dropped = set(rng.sample(droppable, round(float(stream.get("drop", 0)) * len(droppable))))
    kept = [(p.time_us, p) for i, p in enumerate(packets) if i not in dropped]
    order = [p for _, p in kept]
    distance = max(1, int(stream.get("reorder_distance", 3)))
    swaps = round(float(stream.get("reorder", 0)) * len(order))
    moved = set()
    candidates = list(range(1, len(order) - 1))
    rng.shuffle(candidates)
    for i in candidates:
        if swaps == 0:
            break
        j = min(i + rng.randint(1, distance), len(order) - 1)
        if i in moved or j in moved or i == j:
            continue
        order[i], order[j] = order[j], order[i]
        moved.update((i, j))
        swaps -= 1
    REPORT.append({"ssrc": number(stream.get("ssrc", 0x11223344)),
                   "dropped": sorted(packets[i].offset for i in dropped if packets[i].kind == "audio"),
                   "swapped": sorted(order[i].offset for i in moved)})
    return [(t, p) for (t, _), p in zip(kept, order)]


def stream_packets(stream):
    """[(capture time in us, Packet with its RTP datagram)] of one stream, in capture order."""
    codec = codec_of(stream)
    events = stream.get("events", [])
    packets = audio_packets(stream, codec, events) + event_packets(stream, events)
    packets.sort(key=lambda p: (p.time_us, p.kind != "audio"))
    ssrc, first_sequence = number(stream.get("ssrc", 0x11223344)), number(stream.get("sequence", 0))
    first_timestamp = number(stream.get("timestamp", 0))
    for n, p in enumerate(packets):
        p.sequence = (first_sequence + n) & 0xFFFF
        p.payload = rtp_header(p.marker, p.pt, p.sequence, first_timestamp + p.offset, ssrc) + p.payload
        p.ssrc = ssrc
    start = microseconds(stream["start"])
    return [(start + t, p) for t, p in drop_and_reorder(stream, packets)]


# ------------------------------------------------------------- SIP and noise


def sdp(side, version, address):
    family = "IP6" if version == "6" else "IP4"
    _, _, port = endpoint(side["rtp"])
    codec_pt, event_pt = int(side["codec_pt"]), int(side["event_pt"])
    lines = ["v=0", "o=- 4242 4242 IN %s %s" % (family, address), "s=-", "c=IN %s %s" % (family, address),
             "t=0 0", "m=audio %d RTP/AVP %d %d" % (port, codec_pt, event_pt),
             "a=rtpmap:%d %s/8000" % (codec_pt, side["codec"]), "a=rtpmap:%d telephone-event/8000" % event_pt,
             "a=fmtp:%d 0-16" % event_pt, "a=ptime:20", "a=sendrecv"]
    return ("\r\n".join(lines) + "\r\n").encode()


def sip_message(call, first_line, side, via, compact):
    version, address, _ = endpoint(side["rtp"])
    body = sdp(side, version, address)
    names = {"Via": "v", "From": "f", "To": "t", "Call-ID": "i", "Contact": "m", "Content-Type": "c",
             "Content-Length": "l"}
    name = (lambda n: names.get(n, n)) if compact else (lambda n: n)
    headers = [(name("Via"), "SIP/2.0/UDP %s;branch=z9hG4bK776asdhds" % via),
               ("Max-Forwards", "70"),
               (name("From"), "<sip:caller@example.com>;tag=1928301774"),
               (name("To"), "<sip:callee@example.com>" + (";tag=a6c85cf" if first_line.startswith("SIP") else "")),
               (name("Call-ID"), call["call_id"]), ("CSeq", "314159 INVITE"),
               (name("Contact"), "<sip:%s>" % via), (name("Content-Type"), "application/sdp"),
               (name("Content-Length"), str(len(body)))]
    sep = ":" if compact else ": "
    text = first_line + "\r\n" + "".join(n + sep + v + "\r\n" for n, v in headers) + "\r\n"
    return text.encode() + body


def call_packets(call):
    """The INVITE from caller to callee and the 200 OK back: [(time, src, dst, Packet)]."""
    caller, callee = call["caller"], call["callee"]
    at = microseconds(call["time"])
    compact = bool(call.get("compact", False))
    invite = sip_message(call, "INVITE sip:callee@example.com SIP/2.0", call["offer"], caller, compact)
    ok = sip_message(call, "SIP/2.0 200 OK", call["answer"], caller, compact)
    answer_at = at + int(call.get("answer_delay_ms", 50)) * 1000
    return [(at, caller, callee, Packet(at, "sip", invite)), (answer_at, callee, caller, Packet(answer_at, "sip", ok))]


def noise_packets(noise):
    """DNS queries for made-up names and their answers: [(time, src, dst, Packet)]."""
    rng = random.Random(noise.get("seed", 7))
    server = noise["server"]
    version, _, _ = endpoint(server)
    client = noise["client"]
    at, interval = microseconds(noise["start"]), int(noise.get("interval_ms", 150)) * 1000
    out = []
    for q in range(int(noise.get("queries", 20))):
        port = int(noise.get("client_port", 0)) or rng.randint(32768, 60999)
        me = ("[%s]:%d" if version == "6" else "%s:%d") % (client, port)
        ident = rng.randint(0, 0xFFFF)
        name = "host%d.example.net" % rng.randint(0, 9999)
        query = bytes(DNS(id=ident, rd=1, qd=DNSQR(qname=name)))
        reply = bytes(DNS(id=ident, qr=1, rd=1, ra=1, qd=DNSQR(qname=name),
                          an=DNSRR(rrname=name, ttl=300, rdata="198.51.100.%d" % rng.randint(1, 254))))
        t = at + q * interval
        out.append((t, me, server, Packet(t, "noise", query)))
        out.append((t + 3000, server, me, Packet(t + 3000, "noise", reply)))
    return out


# ------------------------------------------------------------- framing and files


def mac(address):
    digest = socket.inet_pton(socket.AF_INET6 if ":" in address else socket.AF_INET, address)
    return "02:00:%02x:%02x:%02x:%02x" % tuple(digest[-4:])


def frame(link, src, dst, payload):
    version, src_address, src_port = endpoint(src)
    dst_version, dst_address, dst_port = endpoint(dst)
    if version != dst_version:
        raise DescriptionError("%s > %s mixes IPv4 and IPv6" % (src, dst))
    ip = IPv6(src=src_address, dst=dst_address) if version == "6" else IP(src=src_address, dst=dst_address)
    datagram = ip / UDP(sport=src_port, dport=dst_port) / payload
    if link == "ethernet":
        return bytes(Ether(src=mac(src_address), dst=mac(dst_address)) / datagram)
    if link == "sll":
        return bytes(CookedLinux(pkttype=0, lladdrtype=1, lladdrlen=6, src=bytes.fromhex(mac(src_address).replace(":", "")) + b"\0\0") / datagram)
    return bytes(datagram)


def write_capture(path, description, frames):
    fmt = description.get("format", "pcap")
    link = LINK_TYPES[description.get("link", "ethernet")]
    nano = description.get("resolution", "us") == "ns"
    order = ">" if description.get("byte_order", "little") == "big" else "<"
    with open(path, "wb") as f:
        if fmt == "pcap":
            f.write(struct.pack(order + "IHHiIII", 0xA1B23C4D if nano else 0xA1B2C3D4, 2, 4, 0, 0, 65535, link))
            for time_us, data in frames:
                sub = (time_us % 1000000) * (1000 if nano else 1)
                f.write(struct.pack(order + "IIII", time_us // 1000000, sub, len(data), len(data)) + data)
        elif fmt == "pcapng":
            def block(kind, body):
                body += b"\0" * (-len(body) % 4)
                return struct.pack(order + "II", kind, 12 + len(body)) + body + struct.pack(order + "I", 12 + len(body))
            f.write(block(0x0A0D0D0A, struct.pack(order + "IHHq", 0x1A2B3C4D, 1, 0, -1)))
            # if_tsresol (option 9): 10^-6 or 10^-9 s, then the end of options.
            options = struct.pack(order + "HHB3x", 9, 1, 9 if nano else 6) + struct.pack(order + "HH", 0, 0)
            f.write(block(1, struct.pack(order + "HHI", link, 0, 262144) + options))
            for time_us, data in frames:
                ticks = time_us * (1000 if nano else 1)
                f.write(block(6, struct.pack(order + "IIIII", 0, ticks >> 32, ticks & 0xFFFFFFFF, len(data), len(data)) + data))
        else:
            raise DescriptionError("format is pcap or pcapng")


def build(description):
    """Every datagram of the description: [(time, src, dst, Packet)] in time order."""
    datagrams = []
    for stream in description.get("streams", []):
        datagrams += [(t, stream["src"], stream["dst"], p) for t, p in stream_packets(stream)]
    for call in description.get("calls", []):
        datagrams += call_packets(call)
    for noise in description.get("noise", []):
        datagrams += noise_packets(noise)
    datagrams.sort(key=lambda d: d[0])  # stable: a stream's own order is kept
    return datagrams


def send(description, target, log):
    """The streams' RTP to target in real time, the first packet now."""
    version, address, port = endpoint(target)
    family = socket.AF_INET6 if version == "6" else socket.AF_INET
    sockets = {}
    datagrams = [d for d in build(description) if d[3].kind in ("audio", "event")]
    if not datagrams:
        return
    origin, begin = datagrams[0][0], time.monotonic()
    firsts = {}
    for at, src, _, p in datagrams:
        delay = begin + (at - origin) / 1e6 - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        s = sockets.setdefault(src, socket.socket(family, socket.SOCK_DGRAM))
        s.sendto(p.payload, (address, port))
        if log:
            first = firsts.setdefault(p.ssrc, struct.unpack_from("!I", p.payload, 4)[0] - p.offset)
            offset = (struct.unpack_from("!I", p.payload, 4)[0] - first) & 0xFFFFFFFF
            log.write("%.6f 0x%08x %d %d %s\n" % (time.monotonic(), p.ssrc, p.sequence, offset, p.kind))
            log.flush()


def main():
    parser = argparse.ArgumentParser(description="Writes an RTP capture from a JSON description.")
    parser.add_argument("description")
    parser.add_argument("-o", "--output", help="instead of the description's output")
    parser.add_argument("--send", metavar="HOST:PORT", help="send the streams in real time instead")
    parser.add_argument("--log", help="with --send: a line per packet sent")
    parser.add_argument("--report", action="store_true",
                        help="print each stream's dropped and swapped packets (offsets of their first samples)")
    args = parser.parse_args()
    try:
        with open(args.description) as f:
            description = json.load(f, parse_float=Decimal)
        if args.send:
            with open(args.log, "w") if args.log else open("/dev/null", "w") as log:
                send(description, args.send, log if args.log else None)
            return 0
        link = description.get("link", "ethernet")
        if link not in LINK_TYPES:
            raise DescriptionError("link is ethernet, sll or raw")
        frames = [(t, frame(link, src, dst, p.payload)) for t, src, dst, p in build(description)]
        write_capture(args.output or description["output"], description, frames)
        if args.report:
            for r in REPORT:
                print(json.dumps(r))
    except (DescriptionError, KeyError, OSError, ValueError) as e:
        print("rtp_capture.py: %s" % (e if not isinstance(e, KeyError) else "missing %s" % e), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
