"""The analysis of a sound file as the varnholt tool does it: per channel,
non-finite samples refused, resampling to 48 kHz, calibration to pascal, a
plausibility check of the pressures, then each metric (a metric that fails
leaves the others standing)."""

from __future__ import annotations

import math
import os
from dataclasses import dataclass, field as dataclass_field
from types import MappingProxyType
from typing import Mapping, Sequence

import numpy as np

from .audio import read_audio
from .calibration import Calibration, as_calibration
from .errors import InvalidArgumentError, VarnholtError
from .metrics import METRIC_FUNCTIONS
from .resample import ANALYSIS_RATE_HZ, resample_to_analysis_rate
from .results import METRICS, MetricResult
from .single_values import level_db_spl

# One atmosphere: a pressure wave cannot swing below zero absolute pressure
# in its troughs, so anything beyond is a calibration mistake, not sound.
MAX_PEAK_PRESSURE_PA = 101325.0


@dataclass(frozen=True, eq=False)
class ChannelAnalysis:
    """The results of one channel of one file."""

    path: str
    channel: int  # counted from 1
    format: str
    file_rate_hz: int
    resampled: bool
    calibration: Calibration
    field: str
    samples: int = 0  # analysed samples at 48 kHz
    rms_pa: float = 0.0
    peak_pa: float = 0.0
    error: str = ""  # the channel could not be analysed at all
    results: Mapping[str, MetricResult] = dataclass_field(default_factory=dict)
    errors: Mapping[str, str] = dataclass_field(default_factory=dict)  # by metric

    @property
    def level_db_spl(self) -> float:
        """RMS level in dB SPL; -inf for silence."""
        return level_db_spl(self.rms_pa) if self.rms_pa > 0.0 else -math.inf

    @property
    def ok(self) -> bool:
        return not self.error and not self.errors

    def __getitem__(self, metric: str) -> MetricResult:
        return self.results[metric]


def metric_names(metrics) -> tuple[str, ...]:
    """The tool's metric names, validated; all of them for None."""
    if metrics is None:
        return METRICS
    if isinstance(metrics, str):
        metrics = [m.strip() for m in metrics.split(",") if m.strip()]
    unknown = [m for m in metrics if m not in METRICS]
    if unknown or not metrics:
        raise InvalidArgumentError(
            f"metrics {list(metrics)!r}: choose from {', '.join(METRICS)}",
            status=2, status_text="invalid argument")
    return tuple(dict.fromkeys(metrics))


def analyse_channel(samples: np.ndarray, common: dict, metrics: Sequence[str],
                    field: str) -> ChannelAnalysis:
    bad = np.flatnonzero(~np.isfinite(samples))
    # Checked before resampling, which would smear one bad sample over many.
    if bad.size:
        i = int(bad[0])
        t = i / common["file_rate_hz"]
        return ChannelAnalysis(**common, error=f"sample {i} (at {t:.6g} s) is not a finite number")
    if common["file_rate_hz"] != ANALYSIS_RATE_HZ:
        samples = resample_to_analysis_rate(samples, common["file_rate_hz"])
    p = samples * common["calibration"].pascal_per_unit
    peak = float(np.max(np.abs(p))) if p.size else 0.0
    rms = math.sqrt(float(np.cumsum(p * p)[-1]) / p.size) if p.size else 0.0
    base = dict(common, samples=p.size, rms_pa=rms, peak_pa=peak)
    if not peak <= MAX_PEAK_PRESSURE_PA:
        return ChannelAnalysis(**base, error=f"peak pressure {peak:.4g} Pa exceeds one "
                               "atmosphere: not sound in air, check the calibration")
    results, errors = {}, {}
    for m in metrics:
        try:
            results[m] = METRIC_FUNCTIONS[m](p, field)
        except VarnholtError as e:
            errors[m] = str(e)
    return ChannelAnalysis(**base, results=MappingProxyType(results),
                           errors=MappingProxyType(errors))


def analyze(path, metrics=None, calibration=None, field="free",
            channel: int | None = None) -> list[ChannelAnalysis]:
    """Analyses every channel of a sound file (or the one `channel` picks,
    counting from 1) with the given metrics (the tool's names, default all).

    `calibration`: None (the file holds pascal), a number (Pa per sample
    unit), a varnholt.Calibration, or a dict {"scale": PA},
    {"full_scale_spl": DB} or {"calibrator": FILE, "spl": DB}.
    Raises InvalidArgumentError when the file cannot be read; failures of a
    channel or metric are reported in its ChannelAnalysis.
    """
    names = metric_names(metrics)
    cal = as_calibration(calibration)
    audio = read_audio(path)
    count = audio.channels.shape[0]
    if channel is not None and not 1 <= channel <= count:
        raise InvalidArgumentError(f"{path}: has {count} channel(s); channel {channel} does not "
                                   "exist", status=2, status_text="invalid argument")
    picked = range(1, count + 1) if channel is None else [channel]
    field_name = field if isinstance(field, str) else {0: "free", 1: "diffuse"}.get(field, field)
    out = []
    for c in picked:
        common = dict(path=os.fspath(path), channel=c, format=audio.format,
                      file_rate_hz=audio.sample_rate_hz,
                      resampled=audio.sample_rate_hz != ANALYSIS_RATE_HZ, calibration=cal,
                      field=field_name)
        out.append(analyse_channel(audio.channels[c - 1], common, names, field))
    return out
