"""The analysis of a sound file or array, channel by channel, by the same
analysis layer the varnholt tool runs: reading block by block, resampling
to 48 kHz, calibration, span and channels, the checks for non-finite
samples, DC offsets and implausible pressures, every metric's stream (on
threads), and the single values with their definitions. A metric that fails
leaves the others standing."""

from __future__ import annotations

import math
import numbers
import os
import sys
from dataclasses import dataclass, field as dataclass_field
from types import MappingProxyType
from typing import Mapping

import numpy as np

from . import _layer
from .calibration import Calibration, as_calibration
from .errors import InvalidArgumentError
from .results import METRICS, MetricResult, from_layer
from .single_values import level_db_spl

SOUND_FIELDS = {"free": 0, "diffuse": 1}
# Rows of the per-band arrays a report draws: more than a page or a screen
# has pixel columns, however long the recording.
DISPLAY_BAND_ROWS = 4096


def _refuse(message: str) -> InvalidArgumentError:
    return InvalidArgumentError(message, status=2, status_text="invalid argument")


@dataclass(frozen=True, eq=False, repr=False)
class ChannelAnalysis:
    """The results of one channel of one file or array."""

    path: str  # "" for an array
    channel: int  # counted from 1
    format: str
    file_rate_hz: int
    resampled: bool
    calibration: Calibration
    field: str
    samples: int = 0  # analysed samples at 48 kHz
    rms_pa: float = 0.0
    peak_pa: float = 0.0
    dc_offset_pa: float = 0.0  # the mean pressure, before remove_dc subtracted it
    dc_removed: bool = False
    start_s: float = 0.0  # the analysed span of the source
    duration_s: float = 0.0
    error: str = ""  # the channel could not be analysed at all
    warnings: tuple[str, ...] = ()  # the file's, then the channel's, one sentence each
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

    def __repr__(self) -> str:
        where = f"{os.path.basename(self.path) or 'array'}, channel {self.channel}"
        if self.error:
            return f"<ChannelAnalysis {where}: failed: {self.error}>"
        level = f"{self.level_db_spl:.1f} dB SPL" if self.rms_pa > 0 else "silence"
        lines = [f"<ChannelAnalysis {where}: {level}, {self.duration_s:.6g} s"]
        for name, r in self.results.items():
            lines.append(f"  {name}: {r.brief()}")
        lines += [f"  {name}: failed: {e}" for name, e in self.errors.items()]
        lines += [f"  warning: {w}" for w in self.warnings]
        return "\n".join(lines) + ">"


def metric_names(metrics) -> tuple[str, ...]:
    """The tool's metric names, validated, each once; all of them for None or "all"."""
    if metrics is None:
        return METRICS
    if isinstance(metrics, str):
        metrics = [m.strip() for m in metrics.split(",") if m.strip()]
    metrics = list(metrics)
    if "all" in metrics:
        return METRICS
    unknown = [m for m in metrics if m not in METRICS]
    if unknown or not metrics:
        raise _refuse(f"metrics {metrics!r}: choose from {', '.join(METRICS)} (or 'all')")
    return tuple(dict.fromkeys(metrics))


def field_code(field) -> int:
    if isinstance(field, str) and field in SOUND_FIELDS:
        return SOUND_FIELDS[field]
    if _layer.is_whole_number(field) and field in (0, 1):
        return int(field)
    from .errors import InvalidSoundFieldError

    raise InvalidSoundFieldError(f"sound field {field!r}: expected 'free' or 'diffuse'",
                                 status=4, status_text="invalid sound field")


def _rate(fs) -> int:
    if isinstance(fs, bool) or not isinstance(fs, numbers.Real) or fs != int(fs) or fs <= 0 \
            or fs >= 2**31:
        from .errors import InvalidSampleRateError

        raise InvalidSampleRateError(f"sample rate {fs!r}: expected a positive whole number of "
                                     "hertz", status=3, status_text="invalid sample rate")
    return int(fs)


def _seconds(value, what: str, default: float) -> float:
    if value is None:
        return default
    if isinstance(value, bool) or not isinstance(value, numbers.Real) or not math.isfinite(value) \
            or value < 0:
        raise _refuse(f"{what} {value!r}: expected a finite number of seconds, 0 or more")
    return float(value)


def _jobs(jobs) -> int:
    if jobs is None:
        return os.cpu_count() or 1
    if not _layer.is_whole_number(jobs) or not 1 <= jobs <= 1024:
        raise _refuse(f"jobs {jobs!r}: expected a whole number from 1 to 1024")
    return int(jobs)


def _channel(channel) -> int:
    if channel is None:
        return 0
    if not _layer.is_whole_number(channel) or channel < 1 or channel >= 2**31:
        raise _refuse(f"channel {channel!r}: expected a channel number counted from 1")
    return int(channel)


def as_samples(x, what: str = "samples") -> np.ndarray:
    """A C-contiguous float64 array of samples: 1-D (one channel) or 2-D
    (frames x channels). int16 and int32 PCM count full scale as 1."""
    a = np.asarray(x)
    if a.dtype.kind == "c":
        raise _refuse(f"{what}: complex values are not sound pressures")
    if a.dtype.kind not in "fiu":
        raise _refuse(f"{what}: expected numbers, got an array of {a.dtype}")
    if a.dtype == np.int16:
        a = a / 32768.0
    elif a.dtype == np.int32:
        a = a / 2147483648.0
    if a.ndim not in (1, 2):
        raise _refuse(f"{what}: expected a 1-D array (one channel) or a 2-D array "
                      f"(frames x channels), got {a.ndim} dimensions")
    return np.ascontiguousarray(a, dtype=np.float64)


def _terminal_progress(name: str):
    def show(share: float) -> bool:
        print(f"\r{name}: {100 * share:3.0f} %", end="", file=sys.stderr, flush=True)
        return False

    return show


def _progress(progress, name: str):
    if progress is True:
        return _terminal_progress(name)
    if callable(progress):
        return progress
    if progress in (False, None):
        return None
    raise _refuse(f"progress {progress!r}: expected True, False or a function of the share done")


def sound_files(inputs, recursive: bool = False) -> list[str]:
    """The files that `inputs` (paths of files and folders) name, as the
    varnholt tool finds them: files as given; folders replaced by the files
    in them whose extension names a format libsndfile reads (wav, flac, ogg,
    oga, aiff, mp3, ...), sorted, subfolders too with `recursive`. Raises
    InvalidArgumentError for a folder that cannot be read or holds no sound
    file."""
    if isinstance(inputs, (str, os.PathLike)):
        inputs = [inputs]
    paths, error = _layer.sound_files(list(inputs), recursive)
    if error:
        raise _refuse(error)
    return paths


def channels_of(result, field: str, calibration: Calibration) -> list[ChannelAnalysis]:
    """Python objects of a layer result (copies; the result may be destroyed)."""
    file = _layer.file_info(result)
    if file["error"]:
        where = f"{file['path']}: " if file["path"] else ""
        raise _refuse(f"{where}{file['error']}")
    out = []
    for c in range(file["channels"]):
        info = _layer.channel_info(result, c)
        results, errors = {}, {}
        for m in range(info["metrics"]):
            parts = _layer.metric_parts(result, c, m)
            if parts["error"]:
                errors[parts["name"]] = parts["error"]
            else:
                results[parts["name"]] = from_layer(parts, field)
        out.append(ChannelAnalysis(
            path=file["path"], channel=info["channel"], format=file["format"],
            file_rate_hz=file["file_rate_hz"], resampled=file["resampled"],
            calibration=calibration, field=field, samples=info["samples"],
            rms_pa=info["rms_pa"], peak_pa=info["peak_pa"], dc_offset_pa=info["dc_offset_pa"],
            dc_removed=info["dc_removed"], start_s=file["start_s"],
            duration_s=file["duration_s"], error=info["error"],
            warnings=file["warnings"] + info["warnings"],
            results=MappingProxyType(results), errors=MappingProxyType(errors)))
    return out


def run_layer(source, *, fs=None, metrics=None, calibration=None, field="free", channel=None,
              start=None, duration=None, remove_dc=False, bands=False, band_rows=None,
              jobs=None, progress=False, convert=channels_of):
    """Runs the layer on a path or an array and converts its result with
    `convert(result, field_name, calibration)`."""
    names = metric_names(metrics)
    code = field_code(field)
    field_name = "diffuse" if code == 1 else "free"
    cal = as_calibration(calibration)
    if isinstance(source, (str, os.PathLike)):
        if fs is not None:
            raise _refuse("fs is for arrays: a file states its own sample rate")
        source, rate, name = os.fspath(source), 0, os.path.basename(os.fspath(source))
    else:
        if fs is None:
            raise _refuse("an array needs its sample rate: analyze(x, fs=48000)")
        source, rate, name = as_samples(source), _rate(fs), "array"
    for flag, value in (("remove_dc", remove_dc), ("bands", bands)):
        if not isinstance(value, (bool, np.bool_)):
            raise _refuse(f"{flag} {value!r}: expected True or False")
    if band_rows is not None and (not _layer.is_whole_number(band_rows) or band_rows < 2):
        raise _refuse(f"band_rows {band_rows!r}: expected a whole number of rows, 2 or more, "
                      "or None for a row per frame")
    duration_s = _seconds(duration, "duration", -1.0)
    with _layer.settings_handle() as settings:
        _layer.configure(settings, metrics=",".join(names), field=code, calibration=cal,
                         channel=_channel(channel), start=_seconds(start, "start", 0.0),
                         duration=duration_s, remove_dc=bool(remove_dc), bands=bool(bands),
                         band_rows=int(band_rows or 0), jobs=_jobs(jobs))
        told = _progress(progress, name)
        result = _layer.run(settings, source, rate, told)
        if progress is True:
            print(file=sys.stderr)
    return convert(result, field_name, cal)


def analyze(source, *, fs=None, metrics=None, calibration=None, field="free", channel=None,
            start=None, duration=None, remove_dc=False, bands=False, band_rows=None,
            jobs=None, progress=False) -> list[ChannelAnalysis]:
    """Analyses every channel of a sound file or array (or the one `channel`
    picks, counting from 1) with the given metrics, as the varnholt tool does.

    `source`: a path (any format libsndfile reads; "-" for a WAV stream on
    standard input), or an array at `fs` Hz in sample units (1-D: one
    channel; 2-D: frames x channels; int16/int32 PCM with full scale 1).
    `metrics`: the tool's names, a list or a comma-separated string; None or
    "all" for every metric. `calibration`: None (1 Pa per sample unit), a
    number (Pa per unit), a varnholt.Calibration, or a dict {"scale": PA},
    {"full_scale_spl": DB} or {"calibrator": FILE, "spl": DB}. `start` and
    `duration` (s) pick a span; `remove_dc` subtracts each channel's mean
    first. By default only the series the single values need are kept;
    `bands=True` also keeps the per-band arrays over time (memory grows with
    the signal); with `band_rows` as well, at most that many rows of them,
    for display: each row the largest value per band over a run of frames,
    at `band_time` (memory no longer grows with the signal). `jobs`: threads (default: the number of cores); the results
    are the same for any number. `progress`: True for a line on stderr, or a
    function of the share done (0 to 1) that returns True to cancel.

    Raises InvalidArgumentError when the source cannot be read; failures of
    a channel or metric are reported in its ChannelAnalysis (`error`,
    `errors`), and what the analysis noticed in `warnings`.
    """
    return run_layer(source, fs=fs, metrics=metrics, calibration=calibration, field=field,
                     channel=channel, start=start, duration=duration, remove_dc=remove_dc,
                     bands=bands, band_rows=band_rows, jobs=jobs, progress=progress)
