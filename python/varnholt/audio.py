"""Sound files through libsndfile (the soundfile package): integer PCM
arrives normalised to full scale 1, floating-point data as stored, as the
varnholt tool reads them."""

from __future__ import annotations

import os
from dataclasses import dataclass

import numpy as np
import soundfile

from .errors import InvalidArgumentError


@dataclass(frozen=True)
class AudioData:
    format: str
    sample_rate_hz: int
    channels: np.ndarray  # (channels, frames), sample units

    @property
    def frames(self) -> int:
        return self.channels.shape[1]


def read_audio(path) -> AudioData:
    """Every channel of a sound file; InvalidArgumentError when it cannot be read."""
    path = os.fspath(path)
    def refuse(why: str):
        return InvalidArgumentError(f"{path}: {why}", status=2, status_text="invalid argument")

    if not os.path.exists(path):
        raise refuse("no such file")
    if os.path.isdir(path):
        raise refuse("is a directory, not a file")
    if os.path.isfile(path) and os.path.getsize(path) == 0:
        raise refuse("empty file: no data")
    try:
        with soundfile.SoundFile(path) as f:
            data = f.read(dtype="float64", always_2d=True)
            info = f"{f.format_info}, {f.subtype_info}"
            rate = f.samplerate
    except RuntimeError as e:
        raise refuse(f"not an audio file that can be read ({e})") from None
    if data.shape[0] == 0:
        raise refuse("the file holds no audio samples")
    return AudioData(info, rate, np.ascontiguousarray(data.T))
