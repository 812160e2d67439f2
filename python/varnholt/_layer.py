"""The analysis layer (libvarnholt_analysis) through cffi: settings in,
per-channel results out, their arrays read-only views of the layer's memory.

Everything between a sound and its numbers happens in the layer, the same
code the varnholt tool runs: reading, resampling, calibration, span and
channels, the checks, the metric streams and the single values with their
definitions. This module only translates.
"""

from __future__ import annotations

import math
import numbers
import os
from contextlib import contextmanager

import numpy as np

from ._library import analysis_lib, ffi
from .errors import VarnholtError, error_for

VHA_ERR_CANCELLED = 11


def status_text(status: int) -> str:
    return ffi.string(analysis_lib().vha_status_string(status)).decode()


def _text(pointer) -> str:
    return ffi.string(pointer).decode("utf-8", "replace") if pointer != ffi.NULL else ""


def check(status: int, what: str, settings=None) -> None:
    """Raises the exception of a failing status; the settings' own reason
    (e.g. why a calibrator recording was refused) replaces the bare text."""
    if status == 0:
        return
    text = status_text(status)
    reason = _text(analysis_lib().vha_settings_error(settings)) if settings is not None else ""
    raise error_for(status, text, reason or f"{what}: {text}")


class Cancelled(VarnholtError):
    """The analysis was stopped from its progress callback."""


@contextmanager
def settings_handle():
    lib = analysis_lib()
    out = ffi.new("vha_settings**")
    check(lib.vha_settings_create(out), "settings")
    try:
        yield out[0]
    finally:
        lib.vha_settings_destroy(out[0])


def apply_calibration(settings, calibration) -> None:
    """The calibration (a varnholt.Calibration) onto the layer's settings."""
    lib = analysis_lib()
    if calibration.method == "calibrator":
        status = lib.vha_settings_set_calibrator(
            settings, os.fsencode(calibration.calibrator_file),
            float(calibration.calibrator_spl_db), int(calibration.calibrator_channel))
    elif calibration.method == "full-scale-spl":
        status = lib.vha_settings_set_full_scale_spl(settings,
                                                     float(calibration.full_scale_spl_db))
    else:
        status = lib.vha_settings_set_scale(settings, float(calibration.pascal_per_unit))
    check(status, "calibration", settings)


def calibration_in_force(settings) -> tuple[float, str]:
    factor = ffi.new("double*")
    description = ffi.new("const char**")
    check(analysis_lib().vha_settings_calibration(settings, factor, description), "calibration")
    return float(factor[0]), _text(description[0])


def configure(settings, *, metrics: str, field: int, calibration, channel: int,
              start: float, duration: float, remove_dc: bool, bands: bool, band_rows: int,
              jobs: int) -> None:
    lib = analysis_lib()
    check(lib.vha_settings_set_metrics(settings, metrics.encode()), "metrics", settings)
    check(lib.vha_settings_set_sound_field(settings, field), "field")
    apply_calibration(settings, calibration)
    check(lib.vha_settings_set_channel(settings, channel), f"channel {channel}")
    check(lib.vha_settings_set_span(settings, start, duration),
          f"start {start!r} s, duration {duration!r} s")
    check(lib.vha_settings_set_remove_dc(settings, int(remove_dc)), "remove_dc")
    check(lib.vha_settings_set_keep_bands(settings, int(bands)), "bands")
    check(lib.vha_settings_set_band_rows(settings, band_rows), f"band_rows {band_rows}")
    check(lib.vha_settings_set_jobs(settings, jobs), f"jobs {jobs}")


def run(settings, source, fs, progress=None):
    """Analyses a path, or an array of samples at fs (1-D: one channel;
    2-D: frames x channels), and returns the layer's result, released when
    the last array viewing its memory goes. `progress(share)` may return
    True to cancel."""
    lib = analysis_lib()
    out = ffi.new("vha_result**")
    keep = []
    if progress is not None:
        @ffi.callback("int(void*, double)", onerror=lambda *exc: 1)
        def told(_user, share):
            return 1 if progress(share) else 0

        keep.append(told)
        check(lib.vha_settings_set_progress(settings, told, ffi.NULL), "progress")
    try:
        if isinstance(source, np.ndarray):
            frames = source.shape[0]
            channels = 1 if source.ndim == 1 else source.shape[1]
            samples = ffi.from_buffer("double[]", source) if source.size else ffi.NULL
            status = lib.vha_analyse_samples(settings, samples, frames, channels, fs, out)
        else:
            status = lib.vha_analyse_file(settings, os.fsencode(source), out)
    finally:
        if keep:
            lib.vha_settings_set_progress(settings, ffi.NULL, ffi.NULL)
    if status == VHA_ERR_CANCELLED:
        raise Cancelled("the analysis was cancelled", status=status, status_text="cancelled")
    check(status, "analysis")
    # Released when the last array that views its memory goes.
    return ffi.gc(out[0], lib.vha_result_destroy)


class _LayerMemory:
    """A read-only view of doubles the layer's result holds. numpy keeps this
    object as the array's base, and it keeps the result alive: the arrays
    reach Python without a copy, however large the per-band arrays are."""

    def __init__(self, result, pointer, count: int):
        self._result = result
        self.__array_interface__ = {
            "data": (int(ffi.cast("uintptr_t", pointer)), True), "shape": (count,),
            "typestr": "<f8", "version": 3}


def _array(result, pointer, count: int) -> np.ndarray:
    if count == 0:
        return np.empty(0)
    return np.asarray(_LayerMemory(result, pointer, count))


def _value(x: float):
    """A single value for Python: None where the layer has none (NaN)."""
    return None if math.isnan(x) else float(x)


def file_info(result) -> dict:
    lib = analysis_lib()
    info = ffi.new("vha_file_info*")
    check(lib.vha_result_file(result, info), "result")
    warning = ffi.new("const char**")
    warnings = []
    for i in range(info.warning_count):
        check(lib.vha_result_file_warning(result, i, warning), "result")
        warnings.append(_text(warning[0]))
    return {
        "path": _text(info.path), "error": _text(info.error), "format": _text(info.format),
        "calibration": _text(info.calibration), "pascal_per_unit": info.pascal_per_unit,
        "file_rate_hz": info.file_rate_hz, "resampled": bool(info.resampled),
        "file_frames": info.file_frames, "analysed_samples": info.analysed_samples,
        "channel_count": info.channel_count, "start_s": info.start_s,
        "duration_s": info.duration_s, "warnings": tuple(warnings), "channels": info.channels,
    }


def channel_info(result, c: int) -> dict:
    lib = analysis_lib()
    info = ffi.new("vha_channel_info*")
    check(lib.vha_result_channel(result, c, info), "result")
    warning = ffi.new("const char**")
    warnings = []
    for i in range(info.warning_count):
        check(lib.vha_result_channel_warning(result, c, i, warning), "result")
        warnings.append(_text(warning[0]))
    return {
        "channel": info.channel, "error": _text(info.error), "status": info.status,
        "samples": info.samples,
        "peak_pa": info.peak_pa, "rms_pa": info.rms_pa, "dc_offset_pa": info.dc_offset_pa,
        "dc_removed": bool(info.dc_removed), "warnings": tuple(warnings),
        "metrics": info.metrics,
    }


def metric_parts(result, c: int, m: int) -> dict:
    """One metric of one channel: name, method, error, frame times, and its
    single values, series and per-band arrays by key (axis, rows, and the
    row times of arrays reduced for display, else None)."""
    lib = analysis_lib()
    info = ffi.new("vha_metric_info*")
    check(lib.vha_result_metric(result, c, m, info), "result")
    summary = ffi.new("vha_summary*")
    summaries = []
    for i in range(info.summaries):
        check(lib.vha_result_summary(result, c, m, i, summary), "result")
        summaries.append((_text(summary.symbol), _text(summary.key), _value(summary.value),
                          _text(summary.unit), _text(summary.definition)))
    series_out = ffi.new("vha_series*")
    series = {}
    for i in range(info.series):
        check(lib.vha_result_series(result, c, m, i, series_out), "result")
        series[_text(series_out.key)] = _array(result, series_out.values, series_out.count)
    band = ffi.new("vha_band_array*")
    bands = {}
    for i in range(info.band_arrays):
        check(lib.vha_result_band_array(result, c, m, i, band), "result")
        values = _array(result, band.values, band.rows * band.bands).reshape(band.rows,
                                                                              band.bands)
        # Rows of their own times only where they were reduced for display.
        row_times = _array(result, band.row_times_s, band.rows) \
            if band.frames_per_row > 1 else None
        bands[_text(band.key)] = (_array(result, band.axis, band.bands), values, row_times)
    return {
        "name": _text(info.name), "method": _text(info.method), "error": _text(info.error),
        "status": info.status,
        "time": _array(result, info.frame_times_s, info.frames), "summaries": summaries,
        "series": series, "bands": bands,
    }


def sound_files(inputs, recursive: bool) -> tuple[list[str], str]:
    """The files the inputs name, found by the layer as the tool finds them,
    and the reason when none could be listed."""
    lib = analysis_lib()
    encoded = [ffi.new("char[]", os.fsencode(os.fspath(i))) for i in inputs]
    array = ffi.new("const char*[]", encoded) if encoded else ffi.NULL
    out = ffi.new("vha_file_list**")
    check(lib.vha_find_sound_files(array, len(encoded), int(recursive), out), "sound files")
    found = ffi.gc(out[0], lib.vha_file_list_destroy)
    paths = [os.fsdecode(ffi.string(lib.vha_file_list_path(found, i)))
             for i in range(lib.vha_file_list_size(found))]
    return paths, _text(lib.vha_file_list_error(found))


def is_whole_number(x) -> bool:
    return isinstance(x, numbers.Integral) and not isinstance(x, bool)
