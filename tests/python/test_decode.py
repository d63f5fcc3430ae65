"""vornix.decode and vornix.Decoder against `vornix decode --json` on the same recordings:
the same events, member by member and in the same order, whether the module reads the
file, its samples as bytes, or numpy arrays, mono or stereo, whole or in chunks."""

import json
import os
import struct
import subprocess

import numpy as np
import pytest

import vornix

CLI = os.environ.get("VORNIX_CLI", "vornix")


def command(path, *options, check=True):
    out = subprocess.run([CLI, "decode", "--json", *options, path], check=check, capture_output=True, text=True).stdout
    return [json.loads(line) for line in out.splitlines()]


def members(events):
    # Names, order and values of every member: dict equality alone would not see the order.
    return [list(e.items()) for e in events]


def by_channel(events):
    # Both channels of a file are decoded one after the other; fed as a stream, their
    # events come as the chunks complete them, interleaved. Each channel's in its order.
    return members(sorted(events, key=lambda e: e.get("Channel", "")))


def samples(path):
    """The format and the data chunk of a wave file vornix gen wrote."""
    with open(path, "rb") as f:
        data = f.read()
    at, fmt = 12, None
    while at + 8 <= len(data):
        tag, size = data[at:at + 4], struct.unpack("<I", data[at + 4:at + 8])[0]
        body = data[at + 8:at + 8 + size]
        if tag == b"fmt ":
            fmt = struct.unpack("<HHIIHH", body[:16])
        elif tag == b"data":
            _, channels, rate, _, _, bits = fmt
            return rate, channels, bits, body
        at += 8 + size + (size & 1)
    raise AssertionError(f"{path}: no data chunk")


def array(path):
    rate, channels, bits, body = samples(path)
    dtype = {8: np.uint8, 16: np.int16, 32: np.float32}[bits]
    a = np.frombuffer(body, dtype=dtype)
    return rate, (a.reshape(-1, channels) if channels == 2 else a)


def gen(folder, name, *args):
    path = str(folder / name)
    subprocess.run([CLI, "gen", *args, "-o", path], check=True, capture_output=True)
    return path


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    d = tmp_path_factory.mktemp("recordings")
    f = {
        "dtmf": gen(d, "dtmf.wav", "dtmf", "0123456789*#ABCD", "--duration", "60", "--gap", "60", "--noise", "-50"),
        "dtmf8": gen(d, "dtmf8.wav", "dtmf", "4711", "--bits", "8"),
        "dtmf32": gen(d, "dtmf32.wav", "dtmf", "0815", "--bits", "32", "--rate", "16000"),
        "cid": gen(d, "cid.wav", "cid", "--number", "5551234", "--name", "JANE ROE", "--lead", "200"),
        "tone": gen(d, "tone.wav", "tone", "1000", "--on", "600", "--off", "400", "--count", "2"),
    }
    # Stereo with other keys on each channel: two mono recordings side by side.
    left = array(gen(d, "left.wav", "dtmf", "123A", "--lead", "50"))[1]
    right = array(gen(d, "right.wav", "dtmf", "987#D", "--lead", "130"))[1]
    frames = np.zeros((max(len(left), len(right)), 2), np.int16)
    frames[: len(left), 0], frames[: len(right), 1] = left, right
    f["stereo"] = str(d / "stereo.wav")
    with open(f["stereo"], "wb") as out:
        body = frames.tobytes()
        out.write(b"RIFF" + struct.pack("<I", 36 + len(body)) + b"WAVEfmt " + struct.pack("<IHHIIHH", 16, 1, 2, 8000, 32000, 4, 16))
        out.write(b"data" + struct.pack("<I", len(body)) + body)
    return f


# (recording, the command's options, the same as keywords)
CASES = [
    ("dtmf", [], {}),
    ("dtmf", ["--dtmf-profile", "exact", "--min-duration", "30"], {"dtmf_profile": "exact", "min_duration": 30}),
    ("dtmf8", [], {}),
    ("dtmf32", [], {}),
    ("cid", ["--detect", "cid"], {"detect": ("cid",)}),
    ("tone", ["--detect", "tones", "--tone", "7:500:0:1000", "--tone", "busy"], {"detect": "tones", "tone": ["7:500:0:1000", "busy"]}),
    ("stereo", ["--channel", "both"], {"channel": "both"}),
    ("stereo", ["--channel", "right"], {"channel": "right"}),
]


@pytest.mark.parametrize("recording,options,keywords", CASES)
def test_every_form_of_the_audio_gives_the_commands_events(files, recording, options, keywords):
    path = files[recording]
    expected = command(path, *options)
    assert expected, "the recording must hold events for the comparison to mean anything"
    assert members(vornix.decode(path, **keywords)) == members(expected)

    rate, channels, bits, body = samples(path)
    encoding = {8: "u8", 16: "s16le", 32: "f32le"}[bits]
    from_bytes = vornix.decode(body, rate=rate, channels=channels, encoding=encoding, name=path, **keywords)
    assert members(from_bytes) == members(expected)
    _, a = array(path)
    assert members(vornix.decode(a, rate=rate, name=path, **keywords)) == members(expected)


@pytest.mark.parametrize("recording,options,keywords", [CASES[0], CASES[4], CASES[6]])
@pytest.mark.parametrize("chunk_bytes", [1, 7, 333, 4096])
def test_chunks_of_any_size_give_the_commands_events(files, recording, options, keywords, chunk_bytes):
    path = files[recording]
    expected = command(path, *options)
    rate, channels, bits, body = samples(path)
    decoder = vornix.Decoder(rate, channels=channels, name=path, **keywords)
    fed = []
    for at in range(0, len(body), chunk_bytes):
        fed += decoder.feed(body[at:at + chunk_bytes])
    rest = decoder.end()
    assert by_channel(fed + rest) == by_channel(expected)
    # Events come with the chunk that completed them, not all at the end.
    assert fed


def test_array_chunks_of_one_frame_and_other_encodings(files):
    path = files["stereo"]
    expected = command(path, "--channel", "both")
    rate, frames = array(path)
    # One frame at a time, then the same audio as floats in uneven pieces.
    decoder = vornix.Decoder(rate, channel="both", name=path)
    events = [e for i in range(len(frames)) for e in decoder.feed(frames[i:i + 1])] + decoder.end()
    assert by_channel(events) == by_channel(expected)
    as_float = (frames / 32768.0).astype(np.float32)
    decoder = vornix.Decoder(rate, channel="both", name=path)
    events = [e for at in range(0, len(frames), 997) for e in decoder.feed(as_float[at:at + 997])] + decoder.end()
    assert by_channel(events) == by_channel(expected)
    # A stream ended starts again from position 0.
    assert by_channel(decoder.feed(as_float) + decoder.end()) == by_channel(expected)


def test_format_and_option_mistakes_are_value_errors(files):
    with pytest.raises(ValueError, match="fft_size"):
        vornix.decode(files["dtmf"], fft_sise=512)
    with pytest.raises(ValueError, match="fft-size"):
        vornix.decode(files["dtmf"], fft_size=0)
    with pytest.raises(ValueError, match="unknown detector"):
        vornix.decode(files["dtmf"], detect=("dtmf", "nonsense"))
    with pytest.raises(ValueError, match="float64"):
        vornix.decode(np.zeros(100))
    with pytest.raises(ValueError, match="shape"):
        vornix.decode(np.zeros((10, 3), np.int16))
    decoder = vornix.Decoder(8000)
    decoder.feed(np.zeros(10, np.int16))
    with pytest.raises(ValueError, match="s16le"):
        decoder.feed(np.zeros(10, np.float32))


def test_files_the_library_cannot_read_raise_vornix_error(tmp_path):
    with pytest.raises(vornix.VornixError, match="no such file") as missing:
        vornix.decode(tmp_path / "missing.wav")
    assert missing.value.code & 0x80000000
    junk = tmp_path / "junk.wav"
    junk.write_bytes(b"RIFF\x10\x00\x00\x00WAVEjunkjunkjunk")
    with pytest.raises(vornix.VornixError, match="junk.wav"):
        vornix.decode(junk)
    # A directory is refused before the library sees it, as an argument.
    with pytest.raises(ValueError, match="is a directory"):
        vornix.decode(tmp_path)


def test_what_the_command_warns_of_is_a_python_warning(files, tmp_path):
    # Keys on the right channel only, the left one decoded.
    path = gen(tmp_path, "right.wav", "dtmf", "42", "--channels", "2", "--channel", "right")
    with pytest.warns(UserWarning, match='left channel is silent.*channel="right"'):
        assert vornix.decode(path) == []
    with pytest.warns(UserWarning, match="left channel is silent"):
        vornix.decode(array(path)[1])
    assert vornix.decode(path, channel="right")
    # A copy cut short: the events up to its end, as the command prints them.
    with open(files["dtmf"], "rb") as f:
        whole = f.read()
    cut = tmp_path / "cut.wav"
    cut.write_bytes(whole[: len(whole) // 2])
    with pytest.warns(UserWarning, match="truncated"):
        events = vornix.decode(cut)
    # The command prints them and fails.
    assert events and members(events) == members(command(str(cut), check=False))
