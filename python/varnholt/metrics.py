"""One function per metric: samples in (pascal, any rate), a result with
axes, units and single values out.

Each runs the analysis layer on the array, as the tool runs it on a file:
other rates are resampled to 48 kHz with libsoxr at the tool's quality, a
non-finite sample is refused with its index, and the single values are the
layer's own.
"""

from __future__ import annotations

import numpy as np

from . import binding
from .analysis import as_samples, run_layer
from .errors import error_for
from .results import (EcmaRoughness, EcmaTonality, Levels, Loudness, LoudnessTime, Sharpness,
                      RoughnessDW, TonalityAures, from_layer)

ANALYSIS_RATE_HZ = 48000


def _one_channel(x) -> np.ndarray:
    p = as_samples(x)
    if p.size == 0:
        raise error_for(6, "input is too short", "samples: none given: input is too short")
    if p.ndim != 1:
        from .analysis import _refuse

        raise _refuse(f"samples: expected one channel (a 1-D array), got shape {p.shape}; "
                      "varnholt.analyze(x, fs=...) takes several channels")
    return p


def _metrics(x, fs, names: str, field):
    """The results of the metrics `names` of one channel in pascal, every
    per-band array kept; a failure raises the exception of its status."""
    def convert(result, field_name, _calibration):
        from . import _layer

        file = _layer.file_info(result)
        if file["error"]:
            raise error_for(2, "invalid argument", file["error"])
        channel = _layer.channel_info(result, 0)
        if channel["error"]:
            raise error_for(channel["status"], _layer.status_text(channel["status"]),
                            channel["error"])
        out = []
        for m in range(channel["metrics"]):
            parts = _layer.metric_parts(result, 0, m)
            if parts["error"]:
                raise error_for(parts["status"], _layer.status_text(parts["status"]),
                                f"{parts['name']}: {parts['error']}")
            out.append(from_layer(parts, field_name))
        return out

    return run_layer(_one_channel(x), fs=fs, metrics=names, field=field, bands=True, jobs=1,
                     convert=convert)


def loudness(x, fs=ANALYSIS_RATE_HZ, field="free") -> Loudness:
    """Stationary loudness after ISO 532-1 of a whole signal in pascal."""
    return _metrics(x, fs, "loudness", field)[0]


def loudness_time(x, fs=ANALYSIS_RATE_HZ, field="free") -> LoudnessTime:
    """Time-varying loudness after ISO 532-1, one frame every 2 ms."""
    return _metrics(x, fs, "loudness-time", field)[0]


def sharpness(x, fs=ANALYSIS_RATE_HZ, field="free", per_frame=True) -> Sharpness:
    """Sharpness after DIN 45692 of the stationary specific loudness (S, as the
    tool reports it) and, with `per_frame`, S(t) of every 2 ms frame of the
    time-varying specific loudness."""
    if not per_frame:
        return _metrics(x, fs, "sharpness", field)[0]
    s, n = _metrics(x, fs, "sharpness,loudness-time", field)
    s_t = np.array([binding.sharpness_din(row) for row in n.specific])
    return Sharpness(s.field, n.time, s_t, s.single_values)


def roughness_dw(x, fs=ANALYSIS_RATE_HZ) -> RoughnessDW:
    """Roughness after Daniel and Weber, 200 ms frames every 100 ms."""
    return _metrics(x, fs, "roughness", "free")[0]


def tonality_aures(x, fs=ANALYSIS_RATE_HZ, field="free") -> TonalityAures:
    """Tonality after Aures, 250 ms frames every 125 ms."""
    return _metrics(x, fs, "tonality", field)[0]


def ecma_tonality(x, fs=ANALYSIS_RATE_HZ, field="free") -> EcmaTonality:
    """ECMA-418-2 tonality and loudness per hearing-model band, 187.5 frames
    per second. Tonal frequencies are NaN where no tonal component is present."""
    return _metrics(x, fs, "ecma-tonality", field)[0]


def ecma_roughness(x, fs=ANALYSIS_RATE_HZ, field="free") -> EcmaRoughness:
    """ECMA-418-2 roughness per hearing-model band, 50 frames per second."""
    return _metrics(x, fs, "ecma-roughness", field)[0]


def levels(x, fs=ANALYSIS_RATE_HZ) -> Levels:
    """Sound levels after IEC 61672-1 (LAeq, LCeq, LZeq, LAFmax, LASmax,
    LCpeak) and the 28 third-octave band levels of a whole signal in pascal."""
    return _metrics(x, fs, "levels", "free")[0]


# The tool's metric names and the functions that compute them.
METRIC_FUNCTIONS = {
    "loudness": lambda p, field: loudness(p, field=field),
    "loudness-time": lambda p, field: loudness_time(p, field=field),
    "sharpness": lambda p, field: sharpness(p, field=field),
    "roughness": lambda p, field: roughness_dw(p),
    "tonality": lambda p, field: tonality_aures(p, field=field),
    "ecma-tonality": lambda p, field: ecma_tonality(p, field=field),
    "ecma-roughness": lambda p, field: ecma_roughness(p, field=field),
}
