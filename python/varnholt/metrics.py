"""One function per metric: samples in (pascal, any rate), a result with
axes, units and single values out.

Signals at a rate other than 48 kHz are first resampled with libsoxr at the
tool's quality (varnholt.resample), so that Python and the tool analyse the
same samples.
"""

from __future__ import annotations

import numpy as np

from . import binding
from ._arrays import as_double_array
from .resample import ANALYSIS_RATE_HZ, resample_to_analysis_rate
from .results import (EcmaRoughness, EcmaTonality, Levels, Loudness, LoudnessTime,
                      RoughnessDW, Sharpness, TonalityAures)


def _at_analysis_rate(x, fs) -> np.ndarray:
    x = as_double_array(x)
    return x if fs == ANALYSIS_RATE_HZ else resample_to_analysis_rate(x, fs)


def _field_name(field) -> str:
    code = binding.sound_field_code(field)
    return {0: "free", 1: "diffuse"}.get(code, str(field))


def loudness(x, fs=ANALYSIS_RATE_HZ, field="free") -> Loudness:
    """Stationary loudness after ISO 532-1 of a whole signal in pascal."""
    p = _at_analysis_rate(x, fs)
    n, specific = binding.loudness_stationary(p, field)
    return Loudness.from_arrays(_field_name(field), binding.bark_axis(), n, specific)


def loudness_time(x, fs=ANALYSIS_RATE_HZ, field="free") -> LoudnessTime:
    """Time-varying loudness after ISO 532-1, one frame every 2 ms."""
    p = _at_analysis_rate(x, fs)
    n, specific = binding.loudness_time(p, field)
    return LoudnessTime.from_arrays(_field_name(field), binding.bark_axis(), n, specific)


def sharpness(x, fs=ANALYSIS_RATE_HZ, field="free", per_frame=True) -> Sharpness:
    """Sharpness after DIN 45692 of the stationary specific loudness (S, as the
    tool reports it) and, with `per_frame`, S(t) of every 2 ms frame of the
    time-varying specific loudness."""
    p = _at_analysis_rate(x, fs)
    _, specific = binding.loudness_stationary(p, field)
    s = binding.sharpness_din(specific)
    if per_frame:
        _, frames = binding.loudness_time(p, field)
        s_t = np.array([binding.sharpness_din(row) for row in frames])
    else:
        s_t = np.empty(0)
    return Sharpness.from_arrays(_field_name(field), s, s_t)


def roughness_dw(x, fs=ANALYSIS_RATE_HZ) -> RoughnessDW:
    """Roughness after Daniel and Weber, 200 ms frames every 100 ms."""
    return RoughnessDW.from_arrays(binding.roughness_dw(_at_analysis_rate(x, fs)))


def tonality_aures(x, fs=ANALYSIS_RATE_HZ, field="free") -> TonalityAures:
    """Tonality after Aures, 250 ms frames every 125 ms."""
    t = binding.tonality_aures(_at_analysis_rate(x, fs), field)
    return TonalityAures.from_arrays(_field_name(field), t)


def ecma_tonality(x, fs=ANALYSIS_RATE_HZ, field="free") -> EcmaTonality:
    """ECMA-418-2 tonality and loudness per hearing-model band, 187.5 frames per second."""
    planes = binding.ecma_tonal_analysis(_at_analysis_rate(x, fs), field)
    return EcmaTonality.from_arrays(_field_name(field), planes)


def ecma_roughness(x, fs=ANALYSIS_RATE_HZ, field="free") -> EcmaRoughness:
    """ECMA-418-2 roughness per hearing-model band, 50 frames per second."""
    specific = binding.roughness_ecma(_at_analysis_rate(x, fs), field)
    return EcmaRoughness.from_arrays(_field_name(field), specific)


def levels(x, fs=ANALYSIS_RATE_HZ) -> Levels:
    """Sound levels after IEC 61672-1 (LAeq, LCeq, LZeq, LAFmax, LASmax,
    LCpeak) and the 28 third-octave band levels of a whole signal in pascal."""
    p = _at_analysis_rate(x, fs)
    return Levels.from_arrays(binding.third_octave_centres_hz(), binding.sound_levels(p),
                              binding.third_octave_levels(p))


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
