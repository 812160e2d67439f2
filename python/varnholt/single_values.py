"""Every single value the package reports, and how it is formed.

These are the command-line tool's definitions, word for word and operation
for operation (tools/varnholt/statistics.cpp and metric_results.cpp), so
that Python and the tool give the same numbers on the same signal. Keep this
module in step with the tool: it is the only place that defines them.

Sums run in frame order, as the tool's loops do (np.cumsum accumulates
sequentially; np.sum would sum pairwise and round differently).
"""

from __future__ import annotations

import math
from dataclasses import dataclass

import numpy as np

SAMPLE_RATE_HZ = 48000.0
REFERENCE_PRESSURE_PA = 2e-5

# The ECMA-418-2 tonality and loudness summaries leave out the settling of
# the hearing model's smoothing at the start of the signal.
ECMA_SETTLING_S = 0.3
# Bark_HMS width of one of the 53 hearing-model bands: the band sums become
# integrals over the critical-band rate.
ECMA_BAND_WIDTH = 0.5

PERCENTILE_RULE = (
    "percentiles interpolate linearly between the sorted frame values at rank p/100 * (n - 1)"
)


@dataclass(frozen=True)
class SingleValue:
    """One reported number: `symbol` as in the tool's summary ("N5"), `key`
    as in its JSON ("n5"), the value, its unit ("" when dimensionless) and
    how it was formed."""

    symbol: str
    key: str
    value: float
    unit: str
    definition: str


# ---------------------------------------------------------------------------
# Statistics of a series of frame values

def sequential_sum(values: np.ndarray, axis: int = -1):
    """Sum in index order along `axis` (0 for an empty series)."""
    values = np.asarray(values, dtype=np.float64)
    if values.shape[axis] == 0:
        return np.sum(values, axis=axis)
    return np.take(np.cumsum(values, axis=axis), -1, axis=axis)


def mean(values) -> float:
    """Arithmetic mean; 0 for an empty series."""
    values = np.asarray(values, dtype=np.float64)
    if values.size == 0:
        return 0.0
    return float(sequential_sum(values)) / values.size


def index_of_maximum(values) -> int:
    """Index of the largest value (the first one on ties); 0 for an empty series."""
    values = np.asarray(values)
    return int(np.argmax(values)) if values.size else 0


def maximum(values) -> float:
    """Largest value; 0 for an empty series."""
    values = np.asarray(values, dtype=np.float64)
    return float(values[index_of_maximum(values)]) if values.size else 0.0


def percentile(values, p: float) -> float:
    """The p-th percentile (0 <= p <= 100): with the values sorted ascending as
    x_0 ... x_{n-1}, the rank h = p/100 * (n - 1) gives
    x_floor(h) + (h - floor(h)) * (x_ceil(h) - x_floor(h)); 0 for an empty series."""
    values = np.asarray(values, dtype=np.float64)
    if values.size == 0:
        return 0.0
    ordered = np.sort(values)
    rank = min(max(p, 0.0), 100.0) / 100.0 * float(ordered.size - 1)
    below = math.floor(rank)
    above = min(below + 1, ordered.size - 1)
    fraction = rank - below
    return float(ordered[below] + fraction * (ordered[above] - ordered[below]))


def percent_exceeded(values, x: float) -> float:
    """The value exceeded during x % of the frames: the (100 - x)th percentile."""
    return percentile(values, 100.0 - x)


# The exceedance levels reported for every time-varying metric: X5 is the
# value exceeded in 5 % of the frames, ..., X95 the one exceeded in 95 %.
EXCEEDANCE_PERCENTS = (5, 10, 50, 90, 95)


def exceedance_levels(values, symbol: str, key: str, unit: str,
                      prefix: str = "") -> tuple[SingleValue, ...]:
    return tuple(
        SingleValue(
            f"{symbol}{x}", f"{key}{x}", percent_exceeded(values, float(x)), unit,
            f"{prefix}value exceeded in {x} % of the frames: the {100 - x}th percentile; "
            + PERCENTILE_RULE,
        )
        for x in EXCEEDANCE_PERCENTS
    )


def first_frame_from(times_s, t_s: float) -> int:
    """Index of the first frame whose time is at least t_s (times ascending)."""
    return int(np.searchsorted(np.asarray(times_s), t_s, side="left"))


def frame_times(frames: int, first_s: float, hop_s: float) -> np.ndarray:
    """first_s + f * hop_s for f = 0 ... frames - 1."""
    return first_s + np.arange(frames, dtype=np.float64) * hop_s


# ---------------------------------------------------------------------------
# Quantities derived from the library's arrays

def loudness_level_phon(loudness_sone: float) -> float:
    """Loudness level after the sone-phon relation of ISO 532-1."""
    if loudness_sone >= 1.0:
        return 40.0 + 10.0 * math.log2(loudness_sone)
    return 40.0 * math.pow(loudness_sone + 0.0005, 0.35)


def ecma_tonality_per_frame(specific_tonality, band_tonal_frequency):
    """T(t), the largest specific tonality over the 53 bands in each frame, and
    the tonal frequency of that band; both arrays are (frames, 53)."""
    band = np.argmax(specific_tonality, axis=1)
    rows = np.arange(band.size)
    return specific_tonality[rows, band], band_tonal_frequency[rows, band]


def ecma_band_integral(specific) -> np.ndarray:
    """0.5 Bark_HMS x the sum of the 53 band values of each frame: the
    loudness N(t) of the combined specific loudness, the roughness R(t) of
    the specific roughness."""
    return ECMA_BAND_WIDTH * sequential_sum(specific, axis=1)


def level_db_spl(rms_pa: float) -> float:
    """Sound pressure level of an RMS pressure, dB re 20 uPa."""
    return 20.0 * math.log10(rms_pa / REFERENCE_PRESSURE_PA)


# ---------------------------------------------------------------------------
# The single values of each metric, in the tool's order

def loudness_values(loudness_sone: float) -> tuple[SingleValue, ...]:
    return (
        SingleValue("N", "loudness", loudness_sone, "sone", "total loudness of the whole signal"),
        SingleValue(
            "LN", "loudness_level", loudness_level_phon(loudness_sone), "phon",
            "loudness level: 40 + 10 log2(N) for N >= 1 sone, 40 (N + 0.0005)^0.35 below",
        ),
    )


def sharpness_values(sharpness_acum: float) -> tuple[SingleValue, ...]:
    return (
        SingleValue("S", "sharpness", sharpness_acum, "acum",
                    "sharpness of the stationary specific-loudness pattern"),
    )


def loudness_time_values(loudness) -> tuple[SingleValue, ...]:
    return (
        SingleValue("N_max", "loudness_max", maximum(loudness), "sone", "largest frame value"),
        SingleValue("N_mean", "loudness_mean", mean(loudness), "sone", "mean over all frames"),
    ) + exceedance_levels(loudness, "N", "n", "sone")


def frame_metric_values(symbol: str, key: str, values, unit: str) -> tuple[SingleValue, ...]:
    """Mean, maximum and exceedance levels of a per-frame metric (roughness
    after Daniel and Weber: R, "roughness", asper; tonality after Aures: K,
    "tonality", "")."""
    return (
        SingleValue(symbol + "_mean", key + "_mean", mean(values), unit, "mean over all frames"),
        SingleValue(symbol + "_max", key + "_max", maximum(values), unit, "largest frame value"),
    ) + exceedance_levels(values, symbol, symbol.lower(), unit)


ECMA_T_DEFINITION = "T(t) = the largest specific tonality over the 53 bands in each frame; "
ECMA_N_DEFINITION = (
    "N(t) = 0.5 Bark_HMS x the sum of the 53 combined specific loudness values; "
)
ECMA_R_DEFINITION = "R(t) = 0.5 Bark_HMS x the sum of the 53 specific roughness values; "


def ecma_tonality_values(time_s, tonality, tonal_frequency, loudness) -> tuple[SingleValue, ...]:
    start = first_frame_from(time_s, ECMA_SETTLING_S)
    settled_t = tonality[start:]
    settled_n = loudness[start:]
    peak = start + index_of_maximum(settled_t)
    values = (
        SingleValue("T_mean", "tonality_mean", mean(settled_t), "tu_HMS",
                    ECMA_T_DEFINITION + "mean over the frames from 0.3 s on"),
        SingleValue("T_max", "tonality_max", float(tonality[peak]), "tu_HMS",
                    ECMA_T_DEFINITION + "largest value from 0.3 s on"),
    )
    # Where nothing is tonal there is no tonal frequency to report.
    if tonality[peak] > 0.0:
        values += (
            SingleValue("f_T_max", "tonal_frequency_at_max", float(tonal_frequency[peak]), "Hz",
                        "tonal frequency of the band that gives T_max, in the frame of T_max"),
        )
    return values + (
        SingleValue("N_mean", "loudness_mean", mean(settled_n), "sone_HMS",
                    ECMA_N_DEFINITION + "mean over the frames from 0.3 s on"),
        SingleValue("N_max", "loudness_max", maximum(settled_n), "sone_HMS",
                    ECMA_N_DEFINITION + "largest value from 0.3 s on"),
    ) + exceedance_levels(settled_t, "T", "t", "tu_HMS", ECMA_T_DEFINITION + "from 0.3 s on, the ")


def ecma_roughness_values(roughness) -> tuple[SingleValue, ...]:
    return (
        SingleValue("R_p90", "roughness_p90", percentile(roughness, 90.0), "asper_HMS",
                    ECMA_R_DEFINITION + "90th percentile over all frames; " + PERCENTILE_RULE),
        SingleValue("R_max", "roughness_max", maximum(roughness), "asper_HMS",
                    ECMA_R_DEFINITION + "largest frame value"),
        SingleValue("R_mean", "roughness_mean", mean(roughness), "asper_HMS",
                    ECMA_R_DEFINITION + "mean over all frames"),
    ) + exceedance_levels(roughness, "R", "r", "asper_HMS", ECMA_R_DEFINITION + "the ")


# The sound levels in the order the library writes them: (symbol, JSON key,
# definition), all in dB re 20 uPa.
SOUND_LEVELS = (
    ("LAeq", "laeq", "A-weighted equivalent continuous level: 10 lg of the mean square of the "
     "A-weighted pressure over the analysed signal"),
    ("LCeq", "lceq", "C-weighted equivalent continuous level"),
    ("LZeq", "lzeq", "unweighted (Z) equivalent continuous level"),
    ("LAFmax", "lafmax", "largest A-weighted level with time weighting F (exponential, 125 ms)"),
    ("LASmax", "lasmax", "largest A-weighted level with time weighting S (exponential, 1 s)"),
    ("LCpeak", "lcpeak",
     "peak C-weighted sound pressure level, largest |sample| without time weighting"),
)


def sound_level_values(levels) -> tuple[SingleValue, ...]:
    return tuple(SingleValue(symbol, key, float(value), "dB", f"{definition}, re 20 uPa")
                 for (symbol, key, definition), value in zip(SOUND_LEVELS, levels))
