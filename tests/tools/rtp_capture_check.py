#!/usr/bin/python3
"""Reads a capture that rtp_capture.py wrote back with scapy and checks it against its
JSON description, without the writer's code: every stream's sequence numbers and
timestamps from their first values across the wrap, the audio bytes at each timestamp,
the capture times, the drops and reorderings asked for, each key's RFC 4733 packets, the
SIP messages' Call-ID, lengths and SDP, and the DNS noise.

    rtp_capture_check.py DESCRIPTION.json [CAPTURE]

Prints one line per fault and exits 1 when there is one; audio payloads are compared for
.ul and .al audio only.
"""

import json
import struct
import sys
from decimal import Decimal

from scapy.all import rdpcap
from scapy.layers.dns import DNS
from scapy.layers.inet import IP, UDP
from scapy.layers.inet6 import IPv6
from scapy.layers.l2 import CookedLinux, Ether

faults = []


def fault(text):
    faults.append(text)


def to_us(value):
    if isinstance(value, str):
        from datetime import datetime, timezone
        moment = datetime.fromisoformat(value.replace("Z", "+00:00"))
        return round((moment - datetime(1970, 1, 1, tzinfo=timezone.utc)).total_seconds() * 1e6)
    return int(Decimal(value) * 1000000)


def flow(text):
    """(address, port) as scapy shows them."""
    if text.startswith("["):
        address, port = text[1:].split("]:")
    else:
        address, port = text.rsplit(":", 1)
    return address, int(port)


def as_int(value):
    return int(value, 0) if isinstance(value, str) else int(value)


def datagrams(path, link):
    layer = {"ethernet": Ether, "sll": CookedLinux, "raw": None}[link]
    out = []
    for p in rdpcap(path):
        if layer is not None and not p.haslayer(layer):
            fault("a packet without its %s header" % link)
        ip = p[IP] if p.haslayer(IP) else p[IPv6] if p.haslayer(IPv6) else None
        if ip is None or not p.haslayer(UDP):
            fault("a packet that is not UDP over IP")
            continue
        udp = p[UDP]
        if len(bytes(udp)) != udp.len:
            fault("a UDP length that is not the datagram's")
        out.append((int(Decimal(p.time) * 1000000), (ip.src, udp.sport), (ip.dst, udp.dport), bytes(udp.payload)))
    return out


def check_stream(n, s, packets):
    name = "stream %d" % n
    size = int(s.get("ptime_ms", 20)) * 8
    ssrc, seq0, ts0 = as_int(s.get("ssrc", 0x11223344)), as_int(s.get("sequence", 0)), as_int(s.get("timestamp", 0))
    event_pt, pt = int(s.get("event_payload_type", 101)), int(s["payload_type"])
    events = s.get("events", [])
    audio = None
    if s.get("audio", "").endswith((".ul", ".al")):
        audio = open(s["audio"], "rb").read()
    if not packets:
        return fault("%s: no packets" % name)
    start = to_us(s["start"])
    if packets[0][0] != start:
        fault("%s: first packet at %d us, not %d" % (name, packets[0][0], start))
    sequences, audio_count = [], 0
    by_event = {}
    for at, data in packets:
        v, m_pt, seq, ts, ident = struct.unpack_from("!BBHII", data)
        if v != 0x80 or ident != ssrc:
            fault("%s: header byte 0x%02x, SSRC 0x%08x" % (name, v, ident))
        offset = (ts - ts0) & 0xFFFFFFFF
        sequences.append((seq - seq0) & 0xFFFF)
        body = data[12:]
        if m_pt & 0x7F == pt:
            audio_count += 1
            if offset % size or len(body) != size:
                fault("%s: audio at offset %d with %d bytes" % (name, offset, len(body)))
            # A packet's place in time is its slot: swapped packets keep the slots' times.
            if audio is not None and s.get("audio_during_events", "keep") == "keep":
                want = audio[offset : offset + size]
                want += bytes([0xFF if s.get("codec", "PCMU" if pt == 0 else "PCMA") == "PCMU" else 0xD5]) * (size - len(want))
                if body != want:
                    fault("%s: audio bytes at offset %d differ" % (name, offset))
            if (m_pt & 0x80) != (0x80 if offset == 0 else 0):
                fault("%s: marker bit wrong at offset %d" % (name, offset))
        elif m_pt & 0x7F == event_pt:
            code, flags, duration = struct.unpack_from("!BBH", body)
            by_event.setdefault(offset, []).append((seq, bool(m_pt & 0x80), code, bool(flags & 0x80), duration))
        else:
            fault("%s: payload type %d" % (name, m_pt & 0x7F))
    if sorted(sequences) != sorted(set(sequences)):
        fault("%s: a sequence number twice" % name)
    if sequences[0] != 0:
        fault("%s: the first packet is not the first sequence number" % name)
    # What was sent: every audio slot of the audio (less those under a key with "none")
    # and every event packet; drops leave holes in the sequence numbers.
    sent_events = sum(len(range(1, (e["duration_ms"] + s.get("event_interval_ms", 50) - 1) // s.get("event_interval_ms", 50))) + 3 for e in events)
    seen_events = sum(len(v) for v in by_event.values())
    total = max(sequences) + 1
    dropped = total - len(sequences)
    expected_audio = total - sent_events
    if seen_events != sent_events and not s.get("drop_events"):
        fault("%s: %d event packets, %d sent" % (name, seen_events, sent_events))
    if dropped != round(float(s.get("drop", 0)) * (expected_audio - 1)) and not s.get("drop_events"):
        fault("%s: %d of %d audio packets dropped" % (name, dropped, expected_audio))
    backwards = sum(1 for a, b in zip(sequences, sequences[1:]) if b < a)
    if bool(backwards) != bool(float(s.get("reorder", 0))):
        fault("%s: %d packets out of order" % (name, backwards))
    for e in events:
        offset = e["start_ms"] * 8
        got = sorted(by_event.get(offset, []), key=lambda x: (x[0] - seq0) & 0xFFFF)
        ends = [g for g in got if g[3]]
        code = "0123456789*#ABCD".index(e["key"])
        if len(ends) != 3 or any(g[4] != e["duration_ms"] * 8 for g in ends):
            fault("%s: key %s has %d end packets" % (name, e["key"], len(ends)))
        if not got or not got[0][1] or any(g[1] for g in got[1:]):
            fault("%s: key %s: the marker bit is not on its first packet alone" % (name, e["key"]))
        if any(g[2] != code for g in got) or [g[4] for g in got] != sorted(g[4] for g in got):
            fault("%s: key %s: codes or durations wrong" % (name, e["key"]))
    return None


def check_call(c, packets):
    for message, side, sender in ((b"INVITE ", c["offer"], c["caller"]), (b"SIP/2.0 200", c["answer"], c["callee"])):
        found = [d for at, src, dst, d in packets if d.startswith(message) and src == flow(sender)]
        if len(found) != 1:
            fault("call %s: %d messages %r" % (c["call_id"], len(found), message))
            continue
        head, _, body = found[0].partition(b"\r\n\r\n")
        lines = head.decode().split("\r\n")[1:]
        fields = {k.strip().lower(): v.strip() for k, _, v in (line.partition(":") for line in lines)}
        if fields.get("call-id", fields.get("i")) != c["call_id"]:
            fault("call %s: Call-ID %r" % (c["call_id"], fields.get("call-id", fields.get("i"))))
        if int(fields.get("content-length", fields.get("l", -1))) != len(body):
            fault("call %s: Content-Length is not the body's" % c["call_id"])
        address, port = flow(side["rtp"])
        sdp = body.decode().split("\r\n")
        want = ["c=IN %s %s" % ("IP6" if ":" in address else "IP4", address),
                "m=audio %d RTP/AVP %d %d" % (port, side["codec_pt"], side["event_pt"]),
                "a=rtpmap:%d %s/8000" % (side["codec_pt"], side["codec"]),
                "a=rtpmap:%d telephone-event/8000" % side["event_pt"]]
        for w in want:
            if w not in sdp:
                fault("call %s: SDP without %r" % (c["call_id"], w))


def main():
    description = json.load(open(sys.argv[1]), parse_float=Decimal)
    path = sys.argv[2] if len(sys.argv) > 2 else description["output"]
    packets = datagrams(path, description.get("link", "ethernet"))
    times = [p[0] for p in packets]
    if times != sorted(times):
        fault("capture times go back")
    claimed = set()
    for n, s in enumerate(description.get("streams", [])):
        src, dst = flow(s["src"]), flow(s["dst"])
        ssrc = as_int(s.get("ssrc", 0x11223344))
        mine = [(at, d) for at, a, b, d in packets if a == src and b == dst and len(d) >= 12
                and struct.unpack_from("!I", d, 8)[0] == ssrc]
        claimed.update(id(d) for _, d in mine)
        check_stream(n, s, mine)
    for c in description.get("calls", []):
        check_call(c, packets)
    noise = [p for p in packets if id(p[3]) not in claimed and not p[3].startswith((b"INVITE ", b"SIP/2.0"))]
    want = sum(2 * int(q.get("queries", 20)) for q in description.get("noise", []))
    if len(noise) != want or any(not DNS(n[3]).qd for n in noise):
        fault("%d other datagrams, %d DNS ones expected" % (len(noise), want))
    for f in faults:
        print(f)
    print("%d packets, %d faults" % (len(packets), len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
