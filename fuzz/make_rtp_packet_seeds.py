#!/usr/bin/env python3
"""Writes the seeds of the packet-capture fuzz target into fuzz/corpus/rtp_packets/.

Small captures built from first principles with struct: classic pcap files in both byte
orders and both time resolutions, and pcapng, carrying RTP (plain, with CSRCs, a header
extension and padding, a telephone-event) and a SIP INVITE with SDP over the link layers
the dissector reads, plus one file cut off inside a frame.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
FOLDER = os.path.join(HERE, "corpus", "rtp_packets")

SDP = (
    "v=0\r\no=- 1 1 IN IP4 192.0.2.10\r\ns=-\r\nc=IN IP4 192.0.2.10\r\nt=0 0\r\n"
    "m=audio 49170 RTP/AVP 0 8 101\r\na=rtpmap:101 telephone-event/8000\r\n"
    "m=video 0 RTP/AVP 96\r\n"
)
INVITE = (
    "INVITE sip:bob@example.com SIP/2.0\r\nVia: SIP/2.0/UDP 192.0.2.10:5060\r\n"
    "i: seed-call@192.0.2.10\r\nc: application/sdp\r\nl: %d\r\n\r\n%s" % (len(SDP), SDP)
).encode()
OK = b"SIP/2.0 200 OK\nCall-ID: seed-call@192.0.2.10\nContent-Length: 0\n\n"


def rtp(seq, ts, pt=0, payload=b"\xff" * 20, marker=False, csrcs=(), extension=None, padding=0):
    first = 0x80 | len(csrcs) | (0x10 if extension is not None else 0) | (0x20 if padding else 0)
    out = struct.pack("!BBHII", first, (0x80 if marker else 0) | pt, seq, ts, 0x11223344)
    out += b"".join(struct.pack("!I", c) for c in csrcs)
    if extension is not None:
        out += struct.pack("!HH", 0xBEDE, len(extension) // 4) + extension
    out += payload
    if padding:
        out += b"\0" * (padding - 1) + bytes([padding])
    return out


def udp(sport, dport, payload):
    return struct.pack("!HHHH", sport, dport, 8 + len(payload), 0) + payload


def ipv4(payload, src=(192, 0, 2, 10), dst=(198, 51, 100, 7)):
    return struct.pack("!BBHHHBBH4B4B", 0x45, 0, 20 + len(payload), 1, 0, 64, 17, 0, *src, *dst) + payload


def ipv6(payload, next_header=17):
    src = bytes.fromhex("20010db8000000000000000000000001")
    dst = bytes.fromhex("20010db8000000000000000000000002")
    return struct.pack("!IHBB", 0x60000000, len(payload), next_header, 64) + src + dst + payload


def ethernet(packet, ether_type=0x0800, vlans=()):
    out = bytes.fromhex("020000000001020000000002")
    for tpid in vlans:
        out += struct.pack("!HH", tpid, 100)
    return out + struct.pack("!H", ether_type) + packet


def sll2(packet, protocol):
    return struct.pack("!HHIHBB8s", protocol, 0, 1, 1, 0, 6, b"\2\0\0\0\0\1\0\0") + packet


def pcap(link, frames, nano=False, big=False):
    order = ">" if big else "<"
    out = struct.pack(order + "IHHiIII", 0xA1B23C4D if nano else 0xA1B2C3D4, 2, 4, 0, 0, 65535, link)
    for i, frame in enumerate(frames):
        out += struct.pack(order + "IIII", 1700000000 + i, 20000 * i, len(frame), len(frame)) + frame
    return out


def block(kind, body):
    body += b"\0" * (-len(body) % 4)
    return struct.pack("<II", kind, 12 + len(body)) + body + struct.pack("<I", 12 + len(body))


def pcapng(link, frames):
    out = block(0x0A0D0D0A, struct.pack("<IHHq", 0x1A2B3C4D, 1, 0, -1))
    out += block(1, struct.pack("<HHI", link, 0, 65535) + struct.pack("<HHB3xHH", 9, 1, 9, 0, 0))
    for i, frame in enumerate(frames):
        ts = 1700000000 * 10**9 + i * 20 * 10**6
        out += block(6, struct.pack("<IIIII", 0, ts >> 32, ts & 0xFFFFFFFF, len(frame), len(frame)) + frame)
    return out


def main():
    os.makedirs(FOLDER, exist_ok=True)
    stream = [rtp(65534 + i & 0xFFFF, 160 * i, marker=i == 0) for i in range(3)]
    event = rtp(3, 480, pt=101, payload=bytes([5, 0x8A, 0, 160]), marker=True)
    seeds = {
        "ethernet-sip-rtp.pcap": pcap(1, [ethernet(ipv4(udp(5060, 5060, INVITE))),
                                          ethernet(ipv4(udp(5060, 5060, OK)))]
                                      + [ethernet(ipv4(udp(49170, 40000, p))) for p in stream + [event]]),
        "vlan-rtp-options.pcapng": pcapng(1, [
            ethernet(ipv4(udp(4000, 4002, rtp(7, 0, csrcs=(1, 2), extension=b"\x10\xaa\0\0", padding=3))),
                     vlans=(0x88A8, 0x8100)),
            ethernet(ipv6(udp(4000, 4002, rtp(8, 160))), ether_type=0x86DD, vlans=(0x8100,)),
        ]),
        "raw-ipv6-nano-big-endian.pcap": pcap(101, [ipv6(udp(6000, 6002, p)) for p in stream], nano=True, big=True),
        "linux-cooked2-rtcp.pcap": pcap(276, [
            sll2(ipv4(udp(5005, 5007, struct.pack("!BBHI", 0x80, 200, 6, 0x11223344) + b"\0" * 20)), 0x0800),
            sll2(ipv6(udp(5004, 5006, stream[0])), 0x86DD),
        ]),
        "loopback-cut-short.pcap": pcap(0, [struct.pack("<I", 2) + ipv4(udp(1, 2, p)) for p in stream])[:-7],
    }
    for name, data in seeds.items():
        with open(os.path.join(FOLDER, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
