"""Results of the varnholt tool's --json output as the package's own result
objects, so that they plot and report like results computed in Python.

The arrays come from the JSON; the single values are those the tool wrote
(keys the package does not know are kept under their JSON key)."""

from __future__ import annotations

import json
from dataclasses import replace
from types import MappingProxyType

import numpy as np

from .analysis import ChannelAnalysis
from .calibration import Calibration
from .results import (EcmaRoughness, EcmaTonality, Loudness, LoudnessTime, RoughnessDW,
                      Sharpness, TonalityAures)
from .single_values import SingleValue


def _array(x) -> np.ndarray:
    return np.array([np.nan if v is None else v for v in x], dtype=np.float64) \
        if x and not isinstance(x[0], list) else np.array(
            [[np.nan if v is None else v for v in row] for row in x], dtype=np.float64)


def _with_tool_values(result, summary: dict):
    """The result with the tool's single values in place of the recomputed ones."""
    known = {v.key: v for v in result.single_values}
    values = []
    for key, entry in summary.items():
        value = np.nan if entry["value"] is None else float(entry["value"])
        base = known.get(key)
        symbol = base.symbol if base else key
        values.append(SingleValue(symbol, key, value, entry.get("unit", ""),
                                  entry.get("definition", "")))
    return replace(result, single_values=tuple(values))


def _metric(name: str, m: dict, field: str):
    series = {k: _array(v["values"]) for k, v in m.get("series", {}).items()}
    bands = {k: _array(v["values"]) for k, v in m.get("bands", {}).items()}
    axis = {k: _array(v["axis"]["values"]) for k, v in m.get("bands", {}).items()}
    summary = m.get("summary", {})
    if name == "loudness":
        r = Loudness.from_arrays(field, axis["specific_loudness"], summary["loudness"]["value"],
                                 bands["specific_loudness"])
    elif name == "loudness-time":
        r = LoudnessTime.from_arrays(field, axis["specific_loudness"], series["loudness"],
                                     bands["specific_loudness"])
    elif name == "sharpness":
        r = Sharpness.from_arrays(field, summary["sharpness"]["value"], np.empty(0))
    elif name == "roughness":
        r = RoughnessDW.from_arrays(series["roughness"])
    elif name == "tonality":
        r = TonalityAures.from_arrays(field, series["tonality"])
    elif name == "ecma-tonality":
        planes = np.stack([bands[k] for k in (
            "tonal_specific_loudness", "noise_specific_loudness", "tonal_frequency",
            "specific_tonality", "combined_specific_loudness")])
        r = EcmaTonality.from_arrays(field, planes)
    elif name == "ecma-roughness":
        r = EcmaRoughness.from_arrays(field, bands["specific_roughness"])
    else:
        return None
    return _with_tool_values(r, summary)


def _sharpness_per_frame(s: Sharpness, n: LoudnessTime) -> Sharpness:
    """S(t) from the tool's time-varying specific loudness, when the library
    is there to compute it; the tool writes only the stationary S."""
    from . import binding
    from .errors import LibraryNotFoundError

    try:
        s_t = np.array([binding.sharpness_din(row) for row in n.specific])
    except LibraryNotFoundError:
        return s
    return replace(s, time=n.time, sharpness=s_t)


def _calibration(j: dict) -> Calibration:
    f = float(j["pascal_per_sample_unit"])
    method = j.get("method", "scale")
    if method == "full-scale-spl":
        c = Calibration.full_scale_spl(j["full_scale_spl_db"])
    elif method == "calibrator":
        c = Calibration("calibrator", f,
                        f"{f:.6g} Pa per sample unit (calibrator {j['calibrator_file']} = "
                        f"{j['calibrator_spl_db']:.6g} dB SPL, RMS {j['calibrator_rms_units']:.6g})",
                        calibrator_file=j["calibrator_file"],
                        calibrator_spl_db=j["calibrator_spl_db"],
                        calibrator_channel=j.get("calibrator_channel"),
                        calibrator_rms_units=j["calibrator_rms_units"])
    else:
        c = Calibration.scale(f)
    return replace(c, pascal_per_unit=f)


def channels_from_tool_json(source) -> list[ChannelAnalysis]:
    """Every channel of every file in the tool's JSON (a path or a parsed dict)."""
    if not isinstance(source, dict):
        with open(source, encoding="utf-8") as f:
            source = json.load(f)
    field = source.get("sound_field", "free")
    cal = _calibration(source["calibration"])
    out = []
    for file in source["files"]:
        if "channels" not in file:
            out.append(ChannelAnalysis(file["path"], 0, "", 0, False, cal, field,
                                       error=file.get("error", "failed")))
            continue
        for c in file["channels"]:
            results, errors = {}, {}
            for name, m in c.get("metrics", {}).items():
                if m.get("status") == "ok":
                    r = _metric(name, m, field)
                    if r is not None:
                        results[name] = r
                else:
                    errors[name] = m.get("error", "failed")
            if "sharpness" in results and "loudness-time" in results:
                results["sharpness"] = _sharpness_per_frame(results["sharpness"],
                                                            results["loudness-time"])
            out.append(ChannelAnalysis(
                file["path"], c["channel"], file.get("format", ""), file.get("sample_rate_hz", 0),
                file.get("resampling") is not None, cal, field,
                samples=c.get("analysed_samples", 0), rms_pa=c.get("rms_pa", 0.0),
                peak_pa=c.get("peak_pa", 0.0), error=c.get("error", ""),
                results=MappingProxyType(results), errors=MappingProxyType(errors)))
    return out
