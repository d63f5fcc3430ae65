"""Telephone-line signal decoding: DTMF and MF keys, paging and information tones, custom
tones, caller ID, message waiting, TTY, SAME alerts and FSK data.

Two layers:

* ``vornix.decode(path_or_audio, rate=None, detect=("dtmf",), **tuning)`` and
  ``vornix.Decoder(...)`` give each event as a dict with exactly the members of a
  ``vornix decode --json`` line ("file", "event", the event's members, "Seconds", and
  "Channel" with ``channel="both"``). The tuning keywords are the command's decode options
  with underscores: ``fft_size=512``, ``dtmf_profile="exact"``, ``tone=["busy", ...]``.
* ``vornix.PhoneVornix``: the component itself, its properties, parameter groups, calls and
  events (``d.OnDTMF.append(fn)`` or ``d.on("OnDTMF", fn)``; ``fn(sender, args)``).

Audio that is not a file: bytes (raw PCM in the ``encoding``, ``channels`` and ``rate``
given, s16le, mono and 8000 Hz unless told) or a numpy array, whose dtype gives the
encoding (int16, uint8, int8 or float32 in [-1, 1)) and whose shape the channels:
``(frames,)`` is mono, ``(frames, 2)`` stereo, interleaved as rows.

Failures of the library raise VornixError (``.code`` is its result code); arguments it
refuses, ArgumentError, which is also a ValueError; other argument errors, ValueError.
"""

import json
import os
import threading

from ._vornix import (  # noqa: F401  (the public names of the package)
    ArgumentError,
    CDTMFParams,
    CFSKParams,
    CCustomToneParams,
    CHANNEL_OPT,
    CID_STATUS,
    CMonitorTonesParams,
    CTTYParams,
    CTonePagingParams,
    DTMF_PROFILE,
    EventArgs,
    FFT_WINDOW_TYPE,
    FSK_LEVEL,
    IndexOutOfRangeError,
    KeyArgs,
    OnCallerIDArgs,
    OnDebugArgs,
    OnFrequencyDetectedArgs,
    OnProgressArgs,
    OnSAMEArgs,
    OnSAMEelementArgs,
    OnSilenceEndArgs,
    OnSilenceStartArgs,
    OnSITArgs,
    OnToneDetectedArgs,
    OnVMWIArgs,
    PAGING_TYPE,
    PARITY_TYPE,
    PhoneVornix,
    SAME_STATUS,
    SIT_TYPE,
    STOPBITS_TYPE,
    TONE_BLOCK_LAYOUT,
    TTY_MODE,
    TTY_RATE,
    VMWI_STATUS,
    VornixError,
)
from . import _vornix

__all__ = ["decode", "Decoder", "PhoneVornix", "VornixError", "ArgumentError", "IndexOutOfRangeError"]


def _arguments_repr(self):
    cls = type(self)
    names = [n for n in dir(cls) if not n.startswith("_") and isinstance(getattr(cls, n, None), property)]
    return f"{cls.__name__}(" + ", ".join(f"{n}={getattr(self, n)!r}" for n in names) + ")"


# Event arguments show their members: KeyArgs(Position=1122, RawCode=49, RecvChar='1').
for _cls in (EventArgs, KeyArgs, OnCallerIDArgs, OnDebugArgs, OnFrequencyDetectedArgs, OnProgressArgs, OnSAMEArgs,
             OnSAMEelementArgs, OnSilenceEndArgs, OnSilenceStartArgs, OnSITArgs, OnToneDetectedArgs, OnVMWIArgs):
    _cls.__repr__ = _arguments_repr
del _cls

# The command's decode options: name -> whether it takes a value (else it is a flag).
_OPTIONS = dict(_vornix._decode_options())

# numpy dtypes by the raw encodings the command reads; big-endian int16 is the command's
# s16be, converted before the decoder reads it.
_ENCODINGS = {"<i2": "s16le", ">i2": "s16be", "|u1": "u8", "|i1": "s8", "<f4": "f32le"}


def _option_text(value):
    if isinstance(value, bool):
        return "on" if value else "off"
    if isinstance(value, float):
        return repr(value)
    return str(value)


def _arguments(detect, tuning):
    """The command line of decode's options for these keywords."""
    args = []
    if detect is not None:
        names = [detect] if isinstance(detect, str) else list(detect)
        if not names or not all(isinstance(n, str) and n for n in names):
            raise ValueError("detect must name one detector or more, such as ('dtmf', 'cid')")
        args += ["--detect", ",".join(names)]
    for key, value in tuning.items():
        name = key.replace("_", "-")
        if name not in _OPTIONS or name in ("detect",):
            known = ", ".join(sorted(n.replace("-", "_") for n in _OPTIONS if n != "detect"))
            raise ValueError(f"{key!r} is not an option of decode (options: {known})")
        if value is None:
            continue
        if not _OPTIONS[name]:
            if not isinstance(value, bool):
                raise ValueError(f"{key} is a switch: True or False")
            if value:
                args.append("--" + name)
            continue
        values = value if isinstance(value, (list, tuple)) else [value]
        for v in values:
            args += ["--" + name, _option_text(v)]
    return args


def _is_array(audio):
    return type(audio).__module__ == "numpy" and hasattr(audio, "dtype")


def _is_path(audio):
    return isinstance(audio, (str, os.PathLike))


# The command decodes file after file with the same components; decode() does too, with a
# session per thread and set of options (a few kept), so a loop over many files does not
# set up the decoder for each.
_sessions = threading.local()
_SESSIONS_KEPT = 4


def _session(args):
    kept = getattr(_sessions, "kept", None)
    if kept is None:
        kept = _sessions.kept = {}
    key = tuple(args)
    session = kept.pop(key, None)
    if session is None:
        session = _vornix._Session(args)
        while len(kept) >= _SESSIONS_KEPT:
            kept.pop(next(iter(kept)))
    kept[key] = session  # the latest used last
    return session


def decode(source, rate=None, detect=("dtmf",), **tuning):
    """Decodes a whole recording and returns its events, each a dict like a line of
    ``vornix decode --json``.

    source: a path (str or os.PathLike; any file the command reads), bytes-like raw PCM, or
    a numpy array (see the package's help for the formats). rate: the sample rate of raw
    audio (default 8000). detect: the detectors to run (the command's --detect names).
    tuning: the command's decode options with underscores (fft_size=512, channel="both",
    encoding="u8", ...); name="..." sets the events' "file" ("-" for audio, the path for a
    file, as the command says them).
    """
    name = tuning.pop("name", None)
    if _is_path(source):
        path = os.fspath(source)
        if isinstance(path, bytes):
            path = os.fsdecode(path)
        session = _session(_arguments(detect, dict(tuning, rate=rate)))
        return [json.loads(line) for line in session.decode_file(path, path if name is None else name)]
    if _is_array(source) or isinstance(source, (bytes, bytearray, memoryview)):
        decoder = Decoder(rate, detect, name="-" if name is None else name, **tuning)
        return decoder.feed(source) + decoder.end()
    raise ValueError(f"decode takes a path, bytes or a numpy array, not {type(source).__name__}")


class Decoder:
    """Decodes audio as it comes: ``feed(chunk)`` returns the events that chunk completed,
    ``end()`` (or ``close()``) the rest, and the next ``feed`` starts a new stream.

    The format is fixed by the first chunk unless given: a numpy array's dtype and shape
    give the encoding and channels; bytes are s16le mono unless ``encoding=`` and
    ``channels=`` say otherwise. ``rate`` is the sample rate (default 8000). A chunk may
    hold any number of bytes: a frame cut between two chunks is decoded when the rest
    comes. The other keywords are decode()'s.
    """

    def __init__(self, rate=None, detect=("dtmf",), *, name="-", **tuning):
        self._rate = rate
        self._detect = detect
        self._name = name
        self._encoding = tuning.pop("encoding", None)
        self._channels = tuning.pop("channels", None)
        self._tuning = tuning
        self._session = None
        # The options are checked now, so a mistake is raised here and not at the first chunk.
        _vornix._Session(self._command_line(self._encoding or "s16le", self._channels or 1))

    def _command_line(self, encoding, channels):
        return _arguments(self._detect, dict(self._tuning, rate=self._rate or 8000, encoding=encoding, channels=channels))

    def _format_of(self, chunk):
        if not _is_array(chunk):
            return chunk, self._encoding or "s16le", self._channels or 1
        import numpy

        dtype = chunk.dtype
        if dtype.kind == "f" and dtype.itemsize == 4 and dtype.byteorder == ">":
            chunk = chunk.astype("<f4")
        encoding = _ENCODINGS.get(chunk.dtype.str)
        if encoding is None:
            raise ValueError(f"audio arrays are int16, uint8, int8 or float32, not {dtype}")
        if chunk.ndim == 1:
            channels = 1
        elif chunk.ndim == 2 and chunk.shape[1] in (1, 2):
            channels = chunk.shape[1]
        else:
            raise ValueError(f"an audio array has the shape (frames,) or (frames, channels), not {chunk.shape}")
        if self._encoding is not None and encoding != self._encoding:
            raise ValueError(f"this decoder reads {self._encoding}; the array's {dtype} is {encoding}")
        if self._channels is not None and channels != self._channels:
            raise ValueError(f"this decoder reads {self._channels} channel(s); the array has {channels}")
        return numpy.ascontiguousarray(chunk), encoding, channels

    def feed(self, chunk):
        """Decodes a chunk (bytes-like or a numpy array) and returns the events it completed."""
        if not (_is_array(chunk) or isinstance(chunk, (bytes, bytearray, memoryview))):
            raise ValueError(f"a chunk is bytes or a numpy array, not {type(chunk).__name__}")
        chunk, encoding, channels = self._format_of(chunk)
        if self._session is None:
            self._session = _vornix._Session(self._command_line(encoding, channels))
            self._encoding, self._channels = encoding, channels
        return [json.loads(line) for line in self._session.feed(chunk, self._name)]

    def end(self):
        """Ends the stream and returns its last events."""
        if self._session is None:
            return []
        return [json.loads(line) for line in self._session.end()]

    close = end
