"""Results of the varnholt tool's --json output as the package's own result
objects, so that they plot and report like results computed in Python.

The arrays come from the JSON; the single values are those the tool wrote
(keys the package does not know are kept under their JSON key). The tool
writes one JSON document for one input and JSON Lines for several (one
document per file and channel); both are read, one document at a time."""

from __future__ import annotations

import json
import os
from dataclasses import fields, replace
from types import MappingProxyType

import numpy as np

from .analysis import ChannelAnalysis
from .calibration import Calibration
from .results import (EcmaRoughness, EcmaTonality, Levels, Loudness, LoudnessTime, RoughnessDW,
                      Sharpness, TonalityAures)
from .single_values import SOUND_LEVELS, SingleValue


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
    elif name == "levels":
        levels = [np.nan if summary.get(key, {}).get("value") is None else summary[key]["value"]
                  for _, key, _ in SOUND_LEVELS]
        r = Levels.from_arrays(axis["third_octave_levels"], np.array(levels, dtype=np.float64),
                               bands["third_octave_levels"])
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


# Fields the analysis of a channel may not have yet; given where it has them.
_OPTIONAL_FIELDS = ("warnings", "dc_offset_pa")


def _channel(file: dict, c: dict, cal: Calibration, field: str, **analysis) -> ChannelAnalysis:
    optional = {"warnings": tuple(file.get("warnings", ())) + tuple(c.get("warnings", ())),
                "dc_offset_pa": c.get("dc_offset_pa")}
    known = {f.name for f in fields(ChannelAnalysis)}
    channel = ChannelAnalysis(
        file["path"], c.get("channel", 0), file.get("format", ""), file.get("sample_rate_hz", 0),
        file.get("resampling") is not None, cal, field,
        **analysis, **{k: v for k, v in optional.items() if k in known and v is not None})
    for name in _OPTIONAL_FIELDS:
        if name not in known and optional[name] is not None:
            # The analysis keeps no such field yet: the report still shows it.
            object.__setattr__(channel, name, optional[name])
    return channel


def _document_channels(source: dict, path=None, channel=None) -> list[ChannelAnalysis]:
    """The channels of one JSON document, those of `path` and `channel` only
    where given."""
    field = source.get("sound_field", "free")
    cal = _calibration(source["calibration"])
    out = []
    for file in source["files"]:
        if path is not None and not same_path(file["path"], path):
            continue
        if "channels" not in file:
            if channel is None:
                out.append(_channel(file, {}, cal, field, error=file.get("error", "failed")))
            continue
        for c in file["channels"]:
            if channel is not None and c["channel"] != channel:
                continue
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
            out.append(_channel(
                file, c, cal, field, samples=c.get("analysed_samples", 0),
                rms_pa=c.get("rms_pa", 0.0), peak_pa=c.get("peak_pa", 0.0),
                error=c.get("error", ""), results=MappingProxyType(results),
                errors=MappingProxyType(errors)))
    return out


def same_path(written: str, given: str) -> bool:
    """Whether a path the tool wrote names the file a user gave."""
    return os.path.normpath(written) == os.path.normpath(given) or \
        os.path.abspath(written) == os.path.abspath(given)


def tool_documents(source):
    """The JSON documents of the tool's output file one at a time: a single
    document (pretty-printed or not) or JSON Lines."""
    with open(source, encoding="utf-8") as f:
        first = ""
        for first in f:
            if first.strip():
                break
        try:
            document = json.loads(first)
        except json.JSONDecodeError:
            document = None
        if document is None:
            # One document over several lines.
            f.seek(0)
            yield json.load(f)
            return
        yield document
        for number, line in enumerate(f, 2):
            if line.strip():
                try:
                    yield json.loads(line)
                except json.JSONDecodeError as e:
                    raise ValueError(f"{source}: line {number}: not a JSON document of the "
                                     f"varnholt tool: {e}") from None


def channels_from_tool_json(source, path=None, channel=None) -> list[ChannelAnalysis]:
    """Every channel of every file in the tool's JSON (a path or a parsed
    dict), or those of file `path` and channel `channel` (from 1) only."""
    documents = [source] if isinstance(source, dict) else tool_documents(source)
    out = []
    for document in documents:
        out += _document_channels(document, path, channel)
    return out
