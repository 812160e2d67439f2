"""Results of each metric: numpy arrays with their axes, the single values
users report, units as attributes, and a plot of each.

A result is a frozen dataclass. Its arrays are read-only; its single values
(see varnholt.single_values) are attributes named by their symbols, e.g.
``result.N5``; ``result.units`` maps every array and single value to its unit
("" for a dimensionless one), ``result.summary`` maps the tool's JSON keys to
the values.
"""

from __future__ import annotations

import math
from dataclasses import dataclass, fields
from types import MappingProxyType
from typing import ClassVar, Mapping

import numpy as np

from . import single_values as sv
from .single_values import SingleValue

ECMA_BAND_COUNT = 53


def ecma_band_axis() -> np.ndarray:
    """Band b of the ECMA-418-2 hearing model at 0.5 (b + 1) Bark_HMS."""
    return 0.5 * np.arange(1, ECMA_BAND_COUNT + 1, dtype=np.float64)


def ecma_band_centres_hz() -> np.ndarray:
    """Centre frequencies of the 53 hearing-model bands in Hz:
    81.9289 / 0.1618 * sinh(0.1618 z) at z = 0.5 (b + 1) Bark_HMS."""
    return np.array(
        [math.sinh(((b + 1) * 0.5) * 0.1618) * (81.9289 / 0.1618) for b in range(ECMA_BAND_COUNT)]
    )


class MetricResult:
    """Behaviour shared by the results of all metrics."""

    metric: ClassVar[str]  # the tool's name of the metric, e.g. "loudness-time"
    method: ClassVar[str]
    array_units: ClassVar[Mapping[str, str]]
    single_values: tuple[SingleValue, ...]

    def __post_init__(self):
        # Band arrays have a row per frame unless they were reduced for
        # display (analyze(..., band_rows=...)): then each row has the mean
        # time of the frames it took.
        if any(f.name == "band_time" for f in fields(self)) and self.band_time is None:
            object.__setattr__(self, "band_time", self.time)
        for f in fields(self):
            value = getattr(self, f.name)
            if isinstance(value, np.ndarray):
                value.flags.writeable = False

    def __getattr__(self, name: str):
        # Only single values are looked up here; the guard keeps copying and
        # unpickling (which probe attributes before the fields exist) safe.
        if name.startswith("_") or name == "single_values":
            raise AttributeError(name)
        for v in self.single_values:
            if v.symbol == name:
                return v.value
        raise AttributeError(f"{type(self).__name__} has no attribute {name!r}")

    def __dir__(self):
        return list(super().__dir__()) + [v.symbol for v in self.single_values]

    @property
    def units(self) -> Mapping[str, str]:
        """Unit of every array and single value, by attribute name."""
        units = dict(self.array_units)
        units.update({v.symbol: v.unit for v in self.single_values})
        return MappingProxyType(units)

    def brief(self) -> str:
        """The single values on one line, with units."""
        return ", ".join(
            f"{v.symbol} = none" if v.value is None
            else f"{v.symbol} = {v.value:.4g}" + (f" {v.unit}" if v.unit else "")
            for v in self.single_values)

    def __repr__(self) -> str:
        arrays = ", ".join(f"{f.name} {getattr(self, f.name).shape}" for f in fields(self)
                           if isinstance(getattr(self, f.name), np.ndarray))
        return f"<{type(self).__name__}: {self.brief()}; arrays: {arrays}>"

    @property
    def summary(self) -> dict[str, float]:
        """The single values by the keys of the tool's JSON summary."""
        return {v.key: v.value for v in self.single_values}

    def plot(self, ax=None):
        from . import plots

        return plots.plot_result(self, ax)


@dataclass(frozen=True, eq=False, repr=False)
class Loudness(MetricResult):
    """Stationary loudness after ISO 532-1: N (sone), LN (phon)."""

    field: str
    bark: np.ndarray  # Bark
    specific: np.ndarray  # sone/Bark on `bark`
    single_values: tuple[SingleValue, ...]

    metric: ClassVar[str] = "loudness"
    method: ClassVar[str] = "ISO 532-1 (Zwicker method), stationary"
    array_units: ClassVar[Mapping[str, str]] = {"bark": "Bark", "specific": "sone/Bark"}

    @classmethod
    def from_arrays(cls, field, bark, loudness_sone, specific):
        return cls(field, bark, specific, sv.loudness_values(float(loudness_sone)))


@dataclass(frozen=True, eq=False, repr=False)
class LoudnessTime(MetricResult):
    """Time-varying loudness after ISO 532-1: N_max, N_mean and the exceedance
    levels N5, N10, N50, N90, N95 (sone)."""

    field: str
    time: np.ndarray  # s, frame f at 96 f / 48000
    loudness: np.ndarray  # sone per frame
    bark: np.ndarray  # Bark
    specific: np.ndarray  # sone/Bark, (rows, 240)
    single_values: tuple[SingleValue, ...]
    band_time: np.ndarray | None = None  # s, of each row of `specific`

    metric: ClassVar[str] = "loudness-time"
    method: ClassVar[str] = "ISO 532-1 (Zwicker method), time-varying"
    array_units: ClassVar[Mapping[str, str]] = {
        "time": "s", "loudness": "sone", "bark": "Bark", "specific": "sone/Bark",
        "band_time": "s"}
    hop_s: ClassVar[float] = 96.0 / sv.SAMPLE_RATE_HZ

    @classmethod
    def from_arrays(cls, field, bark, loudness, specific):
        time = sv.frame_times(loudness.size, 0.0, cls.hop_s)
        return cls(field, time, loudness, bark, specific, sv.loudness_time_values(loudness))


@dataclass(frozen=True, eq=False, repr=False)
class Sharpness(MetricResult):
    """Sharpness after DIN 45692: S (acum) of the stationary specific loudness,
    and S(t), the sharpness of each 2 ms frame of the time-varying specific
    loudness (empty when not computed)."""

    field: str
    time: np.ndarray  # s
    sharpness: np.ndarray  # acum per frame
    single_values: tuple[SingleValue, ...]

    metric: ClassVar[str] = "sharpness"
    method: ClassVar[str] = "DIN 45692, from the stationary specific loudness"
    array_units: ClassVar[Mapping[str, str]] = {"time": "s", "sharpness": "acum"}

    @classmethod
    def from_arrays(cls, field, sharpness_acum, sharpness_per_frame):
        time = sv.frame_times(sharpness_per_frame.size, 0.0, LoudnessTime.hop_s)
        return cls(field, time, sharpness_per_frame, sv.sharpness_values(float(sharpness_acum)))


@dataclass(frozen=True, eq=False, repr=False)
class RoughnessDW(MetricResult):
    """Roughness after Daniel and Weber: R_mean, R_max (asper)."""

    time: np.ndarray  # s, centre of each 200 ms frame
    roughness: np.ndarray  # asper per frame
    single_values: tuple[SingleValue, ...]

    metric: ClassVar[str] = "roughness"
    method: ClassVar[str] = "Daniel and Weber"
    array_units: ClassVar[Mapping[str, str]] = {"time": "s", "roughness": "asper"}

    @classmethod
    def from_arrays(cls, roughness):
        time = sv.frame_times(roughness.size, 0.5 * 9600 / sv.SAMPLE_RATE_HZ,
                              4800 / sv.SAMPLE_RATE_HZ)
        return cls(time, roughness, sv.frame_metric_values("R", "roughness", roughness, "asper"))


@dataclass(frozen=True, eq=False, repr=False)
class TonalityAures(MetricResult):
    """Tonality after Aures (dimensionless): K_mean, K_max."""

    field: str
    time: np.ndarray  # s, centre of each 250 ms frame
    tonality: np.ndarray  # per frame, dimensionless
    single_values: tuple[SingleValue, ...]

    metric: ClassVar[str] = "tonality"
    method: ClassVar[str] = "Aures"
    array_units: ClassVar[Mapping[str, str]] = {"time": "s", "tonality": ""}

    @classmethod
    def from_arrays(cls, field, tonality):
        time = sv.frame_times(tonality.size, 0.5 * 12000 / sv.SAMPLE_RATE_HZ,
                              6000 / sv.SAMPLE_RATE_HZ)
        return cls(field, time, tonality, sv.frame_metric_values("K", "tonality", tonality, ""))


@dataclass(frozen=True, eq=False, repr=False)
class EcmaTonality(MetricResult):
    """ECMA-418-2 tonality and loudness: T(t) with its tonal frequency, N(t);
    T_mean, T_max, f_T_max, N_mean, N_max from 0.3 s on. Band arrays are
    (frames, 53)."""

    field: str
    time: np.ndarray  # s, frame k at 256 k / 48000
    band: np.ndarray  # Bark_HMS
    band_hz: np.ndarray  # Hz, band centre frequencies
    tonal_specific_loudness: np.ndarray
    noise_specific_loudness: np.ndarray
    band_tonal_frequency: np.ndarray
    specific_tonality: np.ndarray
    combined_specific_loudness: np.ndarray
    tonality: np.ndarray  # T(t), tu_HMS
    tonal_frequency: np.ndarray  # Hz, of the band that gives T(t)
    loudness: np.ndarray  # N(t), sone_HMS
    single_values: tuple[SingleValue, ...]
    band_time: np.ndarray | None = None  # s, of each row of the five planes

    metric: ClassVar[str] = "ecma-tonality"
    method: ClassVar[str] = "ECMA-418-2 hearing model: tonality and loudness"
    array_units: ClassVar[Mapping[str, str]] = {
        "time": "s", "band": "Bark_HMS", "band_hz": "Hz",
        "tonal_specific_loudness": "sone_HMS/Bark_HMS",
        "noise_specific_loudness": "sone_HMS/Bark_HMS",
        "band_tonal_frequency": "Hz", "specific_tonality": "tu_HMS/Bark_HMS",
        "combined_specific_loudness": "sone_HMS/Bark_HMS",
        "tonality": "tu_HMS", "tonal_frequency": "Hz", "loudness": "sone_HMS",
        "band_time": "s"}
    hop_s: ClassVar[float] = 256.0 / sv.SAMPLE_RATE_HZ

    @classmethod
    def from_arrays(cls, field, planes):
        """`planes`: (5, frames, 53) as the library writes them."""
        time = sv.frame_times(planes.shape[1], 0.0, cls.hop_s)
        tonality, frequency = sv.ecma_tonality_per_frame(planes[3], planes[2])
        loudness = sv.ecma_band_integral(planes[4])
        return cls(field, time, ecma_band_axis(), ecma_band_centres_hz(), planes[0], planes[1],
                   planes[2], planes[3], planes[4], tonality, frequency, loudness,
                   sv.ecma_tonality_values(time, tonality, frequency, loudness))


@dataclass(frozen=True, eq=False, repr=False)
class EcmaRoughness(MetricResult):
    """ECMA-418-2 roughness: R(t) at 50 frames per second; R_p90 (its 90th percentile), R_max, R_mean and
    the exceedance levels R5 ... R95."""

    field: str
    time: np.ndarray  # s, frame k at k / 50
    band: np.ndarray  # Bark_HMS
    band_hz: np.ndarray  # Hz
    specific_roughness: np.ndarray  # asper_HMS/Bark_HMS, (rows, 53)
    roughness: np.ndarray  # R(t), asper_HMS
    single_values: tuple[SingleValue, ...]
    band_time: np.ndarray | None = None  # s, of each row of specific_roughness

    metric: ClassVar[str] = "ecma-roughness"
    method: ClassVar[str] = "ECMA-418-2 hearing model: roughness"
    array_units: ClassVar[Mapping[str, str]] = {
        "time": "s", "band": "Bark_HMS", "band_hz": "Hz",
        "specific_roughness": "asper_HMS/Bark_HMS", "roughness": "asper_HMS", "band_time": "s"}

    @classmethod
    def from_arrays(cls, field, specific):
        time = sv.frame_times(specific.shape[0], 0.0, 1.0 / 50.0)
        roughness = sv.ecma_band_integral(specific)
        return cls(field, time, ecma_band_axis(), ecma_band_centres_hz(), specific, roughness,
                   sv.ecma_roughness_values(roughness))


@dataclass(frozen=True, eq=False, repr=False)
class Levels(MetricResult):
    """Sound levels after IEC 61672-1: LAeq, LCeq, LZeq, LAFmax, LASmax, LCpeak
    (dB re 20 uPa), and the 28 third-octave band levels (dB re (20 uPa)^2)."""

    frequency: np.ndarray  # Hz, band centre frequencies
    band_levels: np.ndarray  # dB per third-octave band
    single_values: tuple[SingleValue, ...]

    metric: ClassVar[str] = "levels"
    method: ClassVar[str] = ("IEC 61672-1 sound levels (A, C, Z frequency weighting; F, S time "
                             "weighting), third-octave band levels")
    array_units: ClassVar[Mapping[str, str]] = {"frequency": "Hz", "band_levels": "dB"}

    @classmethod
    def from_arrays(cls, centres_hz, sound_levels, band_levels):
        return cls(centres_hz, band_levels, sv.sound_level_values(sound_levels))


# In the tool's order of metrics.
RESULT_TYPES = (Levels, Loudness, LoudnessTime, Sharpness, RoughnessDW, TonalityAures,
                EcmaTonality, EcmaRoughness)
RESULT_OF_METRIC = {cls.metric: cls for cls in RESULT_TYPES}
METRICS = tuple(RESULT_OF_METRIC)


ECMA_TONAL_PLANES = ("tonal_specific_loudness", "noise_specific_loudness", "band_tonal_frequency",
                     "specific_tonality", "combined_specific_loudness")


def from_layer(parts: dict, field: str) -> MetricResult:
    """The result of one metric as the analysis layer gives it (see
    varnholt._layer.metric_parts): its own single values, series and, where
    kept, per-band arrays; band arrays that were not kept are empty."""
    values = tuple(SingleValue(*v) for v in parts["summaries"])
    time, series, bands = parts["time"], parts["series"], parts["bands"]
    name = parts["name"]

    def band(key, width):
        return bands.get(key, (None, np.empty((0, width)), None))[1]

    # Reduced for display, the band arrays have rows of their own times.
    band_time = next((b[2] for b in bands.values() if b[2] is not None), None)

    if name == "levels":
        axis, rows, _ = bands.get("third_octave_levels", (np.empty(0), np.empty((1, 0)), None))
        return Levels(axis, rows[0], values)
    if name == "loudness":
        axis, rows, _ = bands["specific_loudness"]
        return Loudness(field, axis, rows[0], values)
    if name == "loudness-time":
        from .binding import bark_axis

        return LoudnessTime(field, time, series["loudness"], bark_axis(),
                            band("specific_loudness", 240), values, band_time)
    if name == "sharpness":
        return Sharpness(field, np.empty(0), np.empty(0), values)
    if name == "roughness":
        return RoughnessDW(time, series["roughness"], values)
    if name == "tonality":
        return TonalityAures(field, time, series["tonality"], values)
    if name == "ecma-tonality":
        planes = [band("tonal_frequency" if p == "band_tonal_frequency" else p, ECMA_BAND_COUNT)
                  for p in ECMA_TONAL_PLANES]
        return EcmaTonality(field, time, ecma_band_axis(), ecma_band_centres_hz(), *planes,
                            series["tonality"], series["tonal_frequency"], series["loudness"],
                            values, band_time)
    if name == "ecma-roughness":
        return EcmaRoughness(field, time, ecma_band_axis(), ecma_band_centres_hz(),
                             band("specific_roughness", ECMA_BAND_COUNT), series["roughness"],
                             values, band_time)
    raise ValueError(f"unknown metric {name!r}")
