"""vornix.PhoneVornix: handlers and their arguments, a handler's exception raised from the
call that fed the audio, the library's failures as VornixError, and properties and groups
that keep what they are given."""

import gc
import json
import os
import subprocess

import pytest

import vornix

CLI = os.environ.get("VORNIX_CLI", "vornix")


@pytest.fixture(scope="module")
def keys(tmp_path_factory):
    path = str(tmp_path_factory.mktemp("component") / "keys.wav")
    subprocess.run([CLI, "gen", "dtmf", "159#", "-o", path], check=True, capture_output=True)
    return path


class Refused(Exception):
    pass


def test_handlers_hear_every_key_with_the_members_names(keys):
    d = vornix.PhoneVornix()
    d.MonitorDTMF = True
    heard, senders = [], []
    d.OnDTMF.append(lambda sender, e: heard.append((e.RecvChar, e.RawCode, e.Position)))
    d.on("OnDTMF", lambda sender, e: senders.append(sender))
    d.Source(keys)
    out = subprocess.run([CLI, "decode", "--json", "--dtmf-profile", "exact", keys], check=True, capture_output=True, text=True)
    expected = [json.loads(line) for line in out.stdout.splitlines()]
    assert heard == [(e["RecvChar"], e["RawCode"], e["Position"]) for e in expected]
    assert senders and all(s is d for s in senders)
    # A handler taken off hears nothing more.
    d.OnDTMF.clear()
    d.Source(keys)
    assert len(heard) == len(expected)
    with pytest.raises(ValueError):
        d.on("OnNothing", print)


def test_a_handlers_exception_comes_from_the_call_that_fed_the_audio(keys):
    d = vornix.PhoneVornix()
    d.MonitorDTMF = True
    calls = []

    def refuse(sender, e):
        calls.append(e.RecvChar)
        raise Refused(e.RecvChar)

    d.OnDTMF.append(refuse)
    with pytest.raises(Refused, match="1"):
        d.Source(keys)
    # The decoder finished the file: every key was raised, the first exception wins.
    assert calls == list("159#")

    with open(keys, "rb") as f:
        audio = f.read()[44:]
    d.WaveStreamStart()
    with pytest.raises(Refused):
        for at in range(0, len(audio), 800):
            d.WaveStreamInput(audio[at:at + 800])
    d.WaveStreamEnd()
    # Nothing is left pending for the next call.
    d.OnDTMF.clear()
    d.Source(keys)


def test_library_failures_carry_the_result_code(tmp_path):
    d = vornix.PhoneVornix()
    with pytest.raises(vornix.ArgumentError) as refused:
        d.WaveFormatIndex = 66
    assert refused.value.code == 0x80070057
    assert isinstance(refused.value, ValueError) and isinstance(refused.value, vornix.VornixError)
    with pytest.raises(vornix.VornixError) as missing:
        d.Source(tmp_path / "missing.wav")
    assert missing.value.code & 0x80000000 and str(missing.value)
    with pytest.raises(vornix.IndexOutOfRangeError):
        d.DTMFParams.Frequency_row = [697.0, 770.0]
    with pytest.raises(vornix.ArgumentError):
        d.WaveStreamInput(b"")


def test_properties_and_groups_keep_their_values():
    d = vornix.PhoneVornix()
    d.SilenceThreshold = -35.5
    d.DecodeChannel = vornix.CHANNEL_OPT.RIGHT_CHANNEL
    d.DTMFParams.minDuration = 55
    d.DTMFParams.Frequency_col = [1209.0, 1336.0, 1477.0, 1633.0]
    d.CustomToneParams.FFT_Window = vornix.FFT_WINDOW_TYPE.WINDOW_HANNING
    d.TTYParams.Rate = 1  # a plain int takes the enumeration's value
    assert d.SilenceThreshold == -35.5
    assert d.DecodeChannel == vornix.CHANNEL_OPT.RIGHT_CHANNEL
    assert d.DTMFParams.minDuration == 55
    assert d.DTMFParams.Frequency_col == [1209.0, 1336.0, 1477.0, 1633.0]
    assert d.CustomToneParams.FFT_Window == vornix.FFT_WINDOW_TYPE.WINDOW_HANNING
    assert d.TTYParams.Rate == vornix.TTY_RATE.BR_50_Baud
    # A group keeps its component alive.
    group = vornix.PhoneVornix().FSKParams
    gc.collect()
    group.BaudRate = 75
    assert group.BaudRate == 75


def test_a_custom_tone_added_is_reported_with_its_number(tmp_path):
    path = str(tmp_path / "tone.wav")
    subprocess.run([CLI, "gen", "tone", "1000", "--on", "600", "-o", path], check=True, capture_output=True)
    d = vornix.PhoneVornix()
    d.MonitorDTMF = False
    d.MonitorCustomTone = True
    d.MonitorTones_Add(42, 500, 0, 1000, -1, -1, -1, -36.0, 0.0)
    tones = []
    d.OnToneDetected.append(lambda sender, e: tones.append(e.AppSpecific))
    d.Source(path)
    assert tones == [42]
