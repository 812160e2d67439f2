"""An interactive HTML report of analysed channels, to listen to while looking.

Each page shows one file: every time series on zoomable panels linked in
time, the per-band patterns as heat maps, the single values with units, and
the sound itself in an <audio> element whose position moves a cursor across
every time panel; a click on a panel seeks the sound there. A batch written
to a folder gets an index page that sorts and scatters the single values of
every file and channel.

A page works from file:// on its own: the plotting library (uPlot, from
npm, inlined with its licence), the page's script, the data and, when small
enough, the sound are all inside it, and its Content-Security-Policy forbids
fetching anything else.

Sizes. A series of up to FULL_SERIES_MAX_FRAMES frames is drawn with every
frame; a longer one as a min/max envelope over ENVELOPE_COLUMNS columns (the
smallest and largest frame of each column, at their own times, so a peak one
frame wide stays visible and every drawn point is a frame of the result).
The exact series then go to <page>.series.json beside the page. Heat maps
keep at most IMAGE_COLUMNS columns (the largest value of the frames in each)
quantised to 8 bits over the plane's range, since a colour map shows no more.
The sound is embedded as Ogg Vorbis when it encodes to at most
EMBED_AUDIO_MAX_BYTES; a longer recording is linked by its relative path.
"""

from __future__ import annotations

import base64
import html
import io
import json
import math
import os
import re
import urllib.parse
from dataclasses import dataclass, replace
from pathlib import Path
from types import MappingProxyType
from typing import Iterable, Sequence

import numpy as np

from .analysis import ChannelAnalysis

UPLOT_DIR_ENV = "VARNHOLT_UPLOT_DIR"
UPLOT_DEFAULT_DIR = "/usr/local/share/varnholt-js/node_modules/uplot"
UPLOT_INSTALL_STEP = ("npm install --prefix /usr/local/share/varnholt-js uplot@1.6.32 "
                      "(part of scripts/install-deps.sh)")

# 8 MB of Vorbis is about ten minutes of stereo or twenty of mono at the
# encoder's default quality; base64 makes it 10.7 MB of page.
EMBED_AUDIO_MAX_BYTES = 8 * 1024 * 1024
FULL_SERIES_MAX_FRAMES = 16384
ENVELOPE_COLUMNS = 4096
IMAGE_COLUMNS = 4096
# Codes 0 ... 254 span a plane's range; 255 marks a value that does not
# exist (no tonal component in the band).
IMAGE_LEVELS = 254
IMAGE_MISSING = 255
COLOUR_MAP = "viridis"
ANALYSIS_RATE_HZ = 48000.0

HERE = Path(__file__).resolve().parent / "html"

# ---------------------------------------------------------------------------
# What each metric draws

@dataclass(frozen=True)
class SeriesLayout:
    attr: str
    label: str  # quantity as the panel shows it
    axis: str = "y"  # "y" left, "y2" right
    points: bool = False  # dots instead of a line (values that come and go)


@dataclass(frozen=True)
class PanelLayout:
    title: str
    series: tuple[SeriesLayout, ...]
    mark: str | None = None  # a single value drawn as a dashed line


@dataclass(frozen=True)
class ImageLayout:
    title: str
    planes: tuple[tuple[str, str], ...]  # (attribute, label); the first is shown first
    axis: str  # attribute of the band axis
    hz_axis: bool = False  # bands in Bark_HMS: a second axis in Hz


TIME_PANELS = {
    "loudness-time": (PanelLayout("loudness N(t)", (SeriesLayout("loudness", "N(t)"),), "N5"),),
    "sharpness": (PanelLayout("sharpness S(t) of each 2 ms frame",
                            (SeriesLayout("sharpness", "S(t)"),), "S"),),
    "roughness": (PanelLayout("roughness R(t)", (SeriesLayout("roughness", "R(t)"),), "R_mean"),),
    "tonality": (PanelLayout("tonality K(t)", (SeriesLayout("tonality", "K(t)"),), "K_mean"),),
    "ecma-tonality": (
        PanelLayout("tonality T(t) and its tonal frequency",
                  (SeriesLayout("tonality", "T(t)"),
                   SeriesLayout("tonal_frequency", "f_T(t)", "y2", points=True)), "T_mean"),
        PanelLayout("loudness N(t)", (SeriesLayout("loudness", "N(t)"),), "N_mean"),
    ),
    "ecma-roughness": (PanelLayout("roughness R(t)", (SeriesLayout("roughness", "R(t)"),),
                                   "R_p90"),),
}

IMAGES = {
    "loudness-time": (ImageLayout("specific loudness N'(z, t)", (("specific", "N'"),), "bark"),),
    "ecma-tonality": (ImageLayout("tonality per band", (
        ("specific_tonality", "specific tonality"),
        ("tonal_specific_loudness", "tonal specific loudness"),
        ("noise_specific_loudness", "noise specific loudness"),
        ("combined_specific_loudness", "combined specific loudness"),
        ("band_tonal_frequency", "tonal frequency of the band")), "band", hz_axis=True),),
    "ecma-roughness": (ImageLayout("specific roughness", (
        ("specific_roughness", "specific roughness"),), "band", hz_axis=True),),
}

# Results over frequency rather than time: (title, x attribute, y attribute,
# x label, y label, bars on a logarithmic axis).
SPECTRA = {
    "loudness": ("specific loudness N'(z) of the whole signal", "bark", "specific", "z", "N'",
                 False),
    "levels": ("third-octave band levels", "frequency", "band_levels", "f", "L", True),
}

METRIC_ORDER = ("levels", "loudness", "loudness-time", "sharpness", "roughness", "tonality",
                "ecma-tonality", "ecma-roughness")


# ---------------------------------------------------------------------------
# Small helpers

def _finite_or_none(x) -> float | None:
    if x is None:
        return None
    x = float(x)
    return x if math.isfinite(x) else None


def _json_list(a: np.ndarray) -> list:
    """A float array as a JSON-ready list: NaN (a value that does not exist) becomes null."""
    a = np.asarray(a, dtype=np.float64)
    finite = np.isfinite(a)
    if finite.all():
        return a.tolist()
    out = a.astype(object)
    out[~finite] = None
    return out.tolist()


def script_json(value) -> str:
    """JSON to place inside <script type="application/json">: '<', '>' and '&'
    as \\u escapes, so no text in it can close the element or open a comment."""
    text = json.dumps(value, allow_nan=False, ensure_ascii=False, separators=(",", ":"))
    return (text.replace("<", "\\u003c").replace(">", "\\u003e").replace("&", "\\u0026")
            .replace("\u2028", "\\u2028").replace("\u2029", "\\u2029"))


def envelope_indices(values: np.ndarray, columns: int | None = None) -> np.ndarray:
    """Frames that draw `values` as a min/max envelope over `columns` columns:
    in each column its smallest and its largest frame, in time order (one
    frame where they coincide, the column's first where it holds no value)."""
    columns = columns or ENVELOPE_COLUMNS
    n = values.size
    width = -(-n // columns)
    count = -(-n // width)
    rows = np.full(count * width, np.nan)
    rows[:n] = values
    rows = rows.reshape(count, width)
    valid = ~np.isnan(rows)
    low = np.where(valid, rows, np.inf).argmin(axis=1)
    high = np.where(valid, rows, -np.inf).argmax(axis=1)
    start = np.arange(count) * width
    pairs = np.stack([np.minimum(low, high), np.maximum(low, high)], axis=1) + start[:, None]
    idx = np.minimum(pairs.ravel(), n - 1)
    return idx[np.r_[True, np.diff(idx) > 0]]


def image_columns(plane: np.ndarray, columns: int | None = None) -> np.ndarray:
    """(frames, bands) reduced to at most `columns` rows, each the largest
    value of its frames per band (NaN only where all of them are NaN)."""
    columns = columns or IMAGE_COLUMNS
    frames = plane.shape[0]
    if frames <= columns:
        return np.asarray(plane, dtype=np.float64)
    width = -(-frames // columns)
    count = -(-frames // width)
    out = np.empty((count, plane.shape[1]))
    block = max(1, 65536 // width)  # columns per step: bounded scratch memory
    for c0 in range(0, count, block):
        c1 = min(count, c0 + block)
        chunk = np.asarray(plane[c0 * width:c1 * width], dtype=np.float64)
        if chunk.shape[0] < (c1 - c0) * width:
            pad = np.full(((c1 - c0) * width - chunk.shape[0], plane.shape[1]), np.nan)
            chunk = np.concatenate([chunk, pad])
        out[c0:c1] = np.fmax.reduce(chunk.reshape(c1 - c0, width, plane.shape[1]), axis=1)
    return out


def quantise(plane: np.ndarray) -> tuple[bytes, float | None, float | None]:
    """8-bit codes of a (columns, bands) plane, stored band by band (one row of
    the image per band); code k stands for lo + k (hi - lo) / IMAGE_LEVELS."""
    finite = np.isfinite(plane)
    if not finite.any():
        return np.full(plane.T.shape, IMAGE_MISSING, np.uint8).tobytes(), None, None
    lo, hi = float(plane[finite].min()), float(plane[finite].max())
    scale = IMAGE_LEVELS / (hi - lo) if hi > lo else 0.0
    codes = np.where(finite, np.rint((np.where(finite, plane, lo) - lo) * scale), IMAGE_MISSING)
    return np.ascontiguousarray(codes.T).astype(np.uint8).tobytes(), lo, hi


def colour_map_hex(name: str = COLOUR_MAP) -> str:
    """IMAGE_LEVELS + 1 colours of a matplotlib colour map as one hex string."""
    from matplotlib import colormaps

    rgba = colormaps[name](np.linspace(0.0, 1.0, IMAGE_LEVELS + 1))
    return "".join(f"{round(r * 255):02x}{round(g * 255):02x}{round(b * 255):02x}"
                   for r, g, b, _ in rgba)


def _unit_of(result, attr: str) -> str:
    return result.units.get(attr, "")


def _value_of(result, symbol: str):
    for v in result.single_values:
        if v.symbol == symbol:
            return v
    return None


# ---------------------------------------------------------------------------
# The channel as the page draws it

@dataclass
class Source:
    """One channel to report, with what the result object itself does not
    carry: warnings from the tool's JSON, the analysed span, where its sound is."""

    channel: ChannelAnalysis
    warnings: tuple[str, ...] = ()
    start_s: float = 0.0  # start of the analysed span in the file
    duration_s: float | None = None  # length of the analysed span, None: to the end
    audio_path: str | None = None  # the sound file, None when there is none
    description: str = ""  # shown instead of the path, e.g. for the tool's built-in signal
    dc_offset_pa: float | None = None  # when the result object does not carry it


def _time_series(result, layout: PanelLayout, exact: dict, metric: str):
    """One time panel's data: shared frame times, each series' values, reduced
    to an envelope of the first series when longer than FULL_SERIES_MAX_FRAMES."""
    time = np.asarray(result.time, dtype=np.float64)
    present = [s for s in layout.series if getattr(result, s.attr, None) is not None
               and np.asarray(getattr(result, s.attr)).shape == time.shape]
    if not present or time.size == 0:
        return None
    kept = exact.setdefault(metric, {"time": time, "series": {}})["series"]
    for s in present:
        kept[s.attr] = (np.asarray(getattr(result, s.attr), np.float64), _unit_of(result, s.attr))
    reduced = time.size > FULL_SERIES_MAX_FRAMES
    idx = envelope_indices(np.asarray(getattr(result, present[0].attr), np.float64)) \
        if reduced else slice(None)
    mark = _value_of(result, layout.mark) if layout.mark else None
    return {
        "kind": "series", "metric": metric, "title": layout.title, "method": result.method,
        "frames": int(time.size), "reduced": bool(reduced),
        "t": _json_list(time[idx]),
        "series": [{"attr": s.attr, "label": s.label, "unit": _unit_of(result, s.attr),
                    "axis": s.axis, "points": s.points,
                    "v": _json_list(np.asarray(getattr(result, s.attr), np.float64)[idx])}
                   for s in present],
        "mark": None if mark is None or _finite_or_none(mark.value) is None else {
            "label": mark.symbol, "value": float(mark.value), "unit": mark.unit},
    }


def _image(result, layout: ImageLayout, metric: str, duration_s: float):
    time = np.asarray(getattr(result, "band_time", result.time), dtype=np.float64)
    axis = np.asarray(getattr(result, layout.axis), dtype=np.float64)
    planes = []
    for attr, label in layout.planes:
        plane = getattr(result, attr, None)
        if plane is None or np.ndim(plane) != 2 or plane.shape != (time.size, axis.size):
            continue
        reduced = image_columns(plane)
        codes, lo, hi = quantise(reduced)
        planes.append({"attr": attr, "label": label, "unit": _unit_of(result, attr),
                       "lo": lo, "hi": hi, "columns": int(reduced.shape[0]),
                       "codes": base64.b64encode(codes).decode("ascii")})
    if not planes or time.size == 0 or axis.size == 0:
        return None
    hop = float(time[1] - time[0]) if time.size > 1 else duration_s
    # A row reduced for display stands at the mean time of its frames, and
    # reaches from its first frame to one frame step past its last.
    frames = np.asarray(result.time, dtype=np.float64)
    frame_hop = float(frames[1] - frames[0]) if frames.size > 1 else hop
    t0, t1 = float(time[0]) - 0.5 * (hop - frame_hop), float(time[-1]) + 0.5 * (hop + frame_hop)
    step = float(axis[1] - axis[0]) if axis.size > 1 else 1.0
    return {
        "kind": "image", "metric": metric, "title": layout.title, "method": result.method,
        "frames": int(time.size), "t0": t0, "t1": t1,
        "bands": int(axis.size), "z0": float(axis[0]), "dz": step,
        "axis_label": "z",
        "axis_unit": _unit_of(result, layout.axis), "hz_axis": layout.hz_axis,
        "planes": planes,
    }


def _spectrum(result, metric: str):
    title, x_attr, y_attr, x_label, y_label, bars = SPECTRA[metric]
    x, y = getattr(result, x_attr, None), getattr(result, y_attr, None)
    if x is None or y is None or np.size(x) == 0:
        return None
    return {"kind": "spectrum", "metric": metric, "title": title, "method": result.method,
            "bars": bars,
            "x": _json_list(x), "y": _json_list(y), "x_label": x_label,
            "x_unit": _unit_of(result, x_attr), "y_label": y_label,
            "y_unit": _unit_of(result, y_attr)}


def _generic_panels(result, metric: str, exact: dict, duration_s: float):
    """Panels of a result the tables above do not name: every 1-D array along
    `time` as a series, every (frames, bands) array as a heat map."""
    time = getattr(result, "time", None)
    if time is None or np.ndim(time) != 1 or np.size(time) == 0:
        return []
    arrays = {k: v for k, v in vars(result).items()
              if isinstance(v, np.ndarray) and k not in ("time", "band_time")}
    series = [k for k, v in arrays.items() if v.shape == time.shape]
    axes = [k for k, v in arrays.items() if v.ndim == 1 and v.shape != time.shape]
    out = []
    for attr in series:
        p = _time_series(result, PanelLayout(f"{metric}: {attr.replace('_', ' ')}",
                                           (SeriesLayout(attr, attr),)), exact, metric)
        if p:
            out.append(p)
    for attr, v in arrays.items():
        if v.ndim == 2 and v.shape[0] == time.size:
            axis = next((a for a in axes if arrays[a].size == v.shape[1]), None)
            if axis:
                p = _image(result, ImageLayout(f"{metric}: {attr.replace('_', ' ')}",
                                             ((attr, attr.replace("_", " ")),), axis),
                           metric, duration_s)
                if p:
                    out.append(p)
    return out


def _duration_s(c: ChannelAnalysis, span: float | None) -> float:
    if c.samples:
        return c.samples / ANALYSIS_RATE_HZ
    if span:
        return float(span)
    ends = [float(r.time[-1]) for r in c.results.values()
            if getattr(r, "time", None) is not None and np.size(r.time)]
    return max(ends, default=0.0)


def channel_model(src: Source) -> tuple[dict, dict]:
    """The page data of one channel, and its exact time series: by metric its
    frame times and series {attribute: (values, unit)}."""
    c = src.channel
    exact: dict = {}
    duration = _duration_s(c, src.duration_s)
    panels, spectra, values = [], [], []
    order = sorted(c.results, key=lambda m: (METRIC_ORDER.index(m) if m in METRIC_ORDER
                                             else len(METRIC_ORDER), m))
    for m in order:
        r = c.results[m]
        for v in r.single_values:
            values.append({"metric": m, "symbol": v.symbol, "key": v.key,
                           "value": _finite_or_none(v.value), "unit": v.unit,
                           "definition": v.definition})
        if m in TIME_PANELS or m in IMAGES:
            for layout in TIME_PANELS.get(m, ()):
                p = _time_series(r, layout, exact, m)
                if p:
                    panels.append(p)
            for layout in IMAGES.get(m, ()):
                p = _image(r, layout, m, duration)
                if p:
                    panels.append(p)
        elif m in SPECTRA:
            p = _spectrum(r, m)
            if p:
                spectra.append(p)
        else:
            panels.extend(_generic_panels(r, m, exact, duration))
    warnings = list(src.warnings) + [w for w in getattr(c, "warnings", ()) or ()
                                     if w not in src.warnings]
    level = c.level_db_spl if c.rms_pa > 0 else None
    model = {
        "channel": c.channel, "error": c.error or "", "errors": dict(c.errors),
        "warnings": warnings, "level_db_spl": _finite_or_none(level),
        "rms_pa": _finite_or_none(c.rms_pa), "peak_pa": _finite_or_none(c.peak_pa),
        "dc_offset_pa": _finite_or_none(getattr(c, "dc_offset_pa", src.dc_offset_pa)),
        "calibration": getattr(c.calibration, "description", str(c.calibration)),
        "field": c.field, "duration_s": duration,
        "values": values, "panels": panels, "spectra": spectra,
    }
    return model, exact


# ---------------------------------------------------------------------------
# Sound

def _vorbis(path: str, channels: Sequence[int], start_s: float, duration_s: float | None,
            limit: int, gain: float = 1.0) -> bytes | None:
    """The channels (counted from 1) of a sound file as Ogg Vorbis, times
    `gain`, or None once the encoding passes `limit` bytes. Encoded block by
    block: the Vorbis encoder of libsndfile 1.2.0 crashes on single writes of
    millions of frames, and a block loop bounds the memory for long files."""
    import soundfile

    picks = [ch - 1 for ch in channels]
    out = io.BytesIO()
    with soundfile.SoundFile(path) as f:
        rate = f.samplerate
        first = int(round(start_s * rate))
        frames = f.frames - first if duration_s is None else int(round(duration_s * rate))
        f.seek(min(max(first, 0), f.frames))
        with soundfile.SoundFile(out, "w", rate, len(picks), format="OGG",
                                 subtype="VORBIS") as enc:
            left = frames
            for block in f.blocks(blocksize=16384, dtype="float32", always_2d=True):
                block = block[:left, picks]
                enc.write(block * gain if gain != 1.0 else block)
                left -= block.shape[0]
                if out.tell() > limit:
                    return None
                if left <= 0:
                    break
    data = out.getvalue()
    return data if len(data) <= limit else None


def playback_gain(sources: Sequence[Source]) -> float:
    """1, or what brings the largest sample of the channels to full scale: a
    floating-point file may hold pascal, and a peak above 1 Pa (91 dB SPL)
    would clip in the player."""
    peaks = [s.channel.peak_pa / s.channel.calibration.pascal_per_unit for s in sources
             if getattr(s.channel.calibration, "pascal_per_unit", 0) > 0]
    peak = max(peaks, default=0.0)
    return 1.0 / peak if peak > 1.0 else 1.0


def audio_model(sources: Sequence[Source], page_dir: str, embed: bool,
                limit: int = EMBED_AUDIO_MAX_BYTES) -> dict:
    """How the page plays its sound: embedded, linked, or not at all (why)."""
    src = sources[0]
    path = src.audio_path
    if path is None or not os.path.isfile(path):
        why = ("the analysed signal is built into the varnholt tool" if src.description
               else f"{src.channel.path} is not here")
        return {"src": None, "offset_s": 0.0, "note": f"no sound to play: {why}"}
    channels = [s.channel.channel for s in sources if s.channel.channel >= 1]
    gain = playback_gain(sources)
    why = "is not embedded (turned off)"
    if embed and channels:
        try:
            data = _vorbis(path, channels, src.start_s, src.duration_s, limit, gain)
        except (RuntimeError, OSError, ValueError) as e:
            data, why = None, f"could not be encoded ({e})"
        else:
            why = f"encodes to more than {limit / 2**20:.0f} MB"
        if data is not None:
            return {"src": "data:audio/ogg;base64," + base64.b64encode(data).decode("ascii"),
                    "offset_s": 0.0, "embedded": True,
                    "note": f"channel{'s' if len(channels) > 1 else ''} "
                            f"{', '.join(map(str, channels))} embedded as Ogg Vorbis" + (
                                f", {-20 * math.log10(gain):.1f} dB down so that its peak "
                                "fits the player's range" if gain < 1.0 else "")}
    rel = os.path.relpath(os.path.abspath(path), os.path.abspath(page_dir))
    return {"src": urllib.parse.quote(Path(rel).as_posix()), "offset_s": src.start_s,
            "embedded": False,
            "note": f"the sound {why}: the page plays the file itself, {rel}, all channels"}


# ---------------------------------------------------------------------------
# Templates and the plotting library

def uplot_dir() -> Path:
    d = Path(os.environ.get(UPLOT_DIR_ENV) or UPLOT_DEFAULT_DIR)
    if not (d / "dist" / "uPlot.iife.min.js").is_file():
        raise FileNotFoundError(
            f"the plotting library uPlot is not in {d} (looked for dist/uPlot.iife.min.js): "
            f"install it with {UPLOT_INSTALL_STEP}, or set {UPLOT_DIR_ENV} to its folder")
    return d


def _inline_script(text: str) -> str:
    # A script element ends at the first "</script"; the library and our own
    # code contain none, and this keeps it that way.
    return re.sub(r"</(script)", r"<\\/\1", text, flags=re.IGNORECASE)


def _uplot_assets() -> tuple[str, str, str]:
    d = uplot_dir()
    js = (d / "dist" / "uPlot.iife.min.js").read_text(encoding="utf-8")
    css = (d / "dist" / "uPlot.min.css").read_text(encoding="utf-8")
    licence = (d / "LICENSE").read_text(encoding="utf-8") if (d / "LICENSE").is_file() else "MIT"
    version = json.loads((d / "package.json").read_text(encoding="utf-8")).get("version", "")
    notice = f"uPlot {version}, https://github.com/leeoniya/uPlot\n\n{licence}"
    return js, css, notice.replace("*/", "* /")


CSP = ("default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; "
       "img-src data: blob:; media-src 'self' data: blob: file:; base-uri 'none'; "
       "form-action 'none'")


def _page_html(kind: str, title: str, heading: str, data: dict, with_uplot: bool) -> str:
    template = (HERE / "template.html").read_text(encoding="utf-8")
    css = (HERE / "report.css").read_text(encoding="utf-8")
    script = "\n".join((HERE / f"{name}.js").read_text(encoding="utf-8")
                       for name in ("dom", kind))
    if with_uplot:
        uplot_js, uplot_css, notice = _uplot_assets()
        library = f"<script>/*!\n{notice}\n*/\n{_inline_script(uplot_js)}</script>"
        css = uplot_css + "\n" + css
    else:
        library = ""
    parts = {
        "CSP": html.escape(CSP),
        "TITLE": html.escape(title),
        "HEADING": html.escape(heading),
        "STYLE": css.replace("</", "<\\/"),
        "LIBRARY": library,
        "DATA": script_json(data),
        "SCRIPT": _inline_script(script),
    }
    return re.sub(r"@@([A-Z]+)@@", lambda m: parts[m.group(1)], template)


# ---------------------------------------------------------------------------
# Pages

def _display_name(src: Source) -> str:
    return src.description or os.path.basename(src.channel.path) or src.channel.path


def write_page(sources: Sequence[Source], output: str, *, embed_audio: bool = True,
               links: dict | None = None) -> str:
    """One page for channels of one file; writes <page>.series.json beside
    it when a series had to be reduced. Returns the page's path."""
    output = os.fspath(output)
    page_dir = os.path.dirname(os.path.abspath(output))
    first = sources[0]
    channels, exact_all = [], []
    for s in sources:
        model, exact = channel_model(s)
        channels.append(model)
        exact_all.append((s.channel.channel, exact))
    name = _display_name(first)
    reduced = any(p.get("reduced") for ch in channels for p in ch["panels"])
    exact_href = None
    if reduced:
        exact_path = os.path.splitext(output)[0] + ".series.json"
        write_exact_series(exact_path, first.channel.path, exact_all)
        exact_href = urllib.parse.quote(os.path.basename(exact_path))
    picked = [s.channel.channel for s in sources]
    data = {
        "file": name, "path": first.channel.path, "format": first.channel.format,
        "sample_rate_hz": first.channel.file_rate_hz, "resampled": first.channel.resampled,
        "start_s": first.start_s,
        "duration_s": max((ch["duration_s"] for ch in channels), default=0.0),
        "channels": channels, "audio": audio_model(sources, page_dir, embed_audio),
        "exact_href": exact_href,
        "exact": None if reduced else {"file": first.channel.path, "channels": [
            {"channel": ch, "metrics": {m: _exact_metric(e) for m, e in ex.items()}}
            for ch, ex in exact_all]},
        "colours": colour_map_hex(), "links": links or {},
        "image_levels": IMAGE_LEVELS, "image_missing": IMAGE_MISSING,
    }
    which = ", ".join(f"channel {c}" for c in picked if c >= 1)
    title = f"{name}{', ' + which if which else ''}: Varnholt report"
    text = _page_html("page", title, name, data, with_uplot=True)
    with open(output, "w", encoding="utf-8") as f:
        f.write(text)
    return output


def _exact_metric(e: dict) -> dict:
    return {"time": _json_list(e["time"]), "time_unit": "s",
            "series": {attr: {"unit": unit, "values": _json_list(values)}
                       for attr, (values, unit) in e["series"].items()}}


def write_exact_series(path: str, file: str, exact_all) -> None:
    """The exact time series of a page's channels as JSON, null for a missing
    value: {"file", "channels": [{"channel", "metrics": {metric: {"time",
    "time_unit", "series": {name: {"unit", "values"}}}}}]}. Written metric by
    metric, through json.dumps, whose C encoder is many times faster than the
    streaming json.dump and needs one metric's text at a time."""
    with open(path, "w", encoding="utf-8") as f:
        f.write('{"file":%s,"channels":[' % json.dumps(file))
        for i, (channel, exact) in enumerate(exact_all):
            f.write('%s{"channel":%d,"metrics":{' % ("," if i else "", channel))
            for j, (metric, e) in enumerate(exact.items()):
                f.write(("," if j else "") + json.dumps(metric) + ":")
                f.write(json.dumps(_exact_metric(e), allow_nan=False, separators=(",", ":")))
            f.write("}}")
        f.write("]}")


def _safe_stem(name: str) -> str:
    stem = re.sub(r"[^A-Za-z0-9._-]+", "_", os.path.splitext(os.path.basename(name))[0])
    return stem.strip("._") or "sound"


def _index_model(sources: Sequence[Source], hrefs: Sequence[str | None]) -> dict:
    columns: dict[str, dict] = {}
    rows = []
    for src, href in zip(sources, hrefs):
        c = src.channel
        values = {}
        for m in sorted(c.results, key=lambda m: (METRIC_ORDER.index(m) if m in METRIC_ORDER
                                                  else len(METRIC_ORDER), m)):
            for v in c.results[m].single_values:
                key = f"{m}.{v.key}"
                columns.setdefault(key, {"key": key, "metric": m, "symbol": v.symbol,
                                         "unit": v.unit, "definition": v.definition})
                values[key] = _finite_or_none(v.value)
        status = "failed" if c.error else ("ok" if not c.errors else "partly failed")
        errors = [c.error] if c.error else [f"{m}: {e}" for m, e in c.errors.items()]
        warnings = list(src.warnings) + [w for w in getattr(c, "warnings", ()) or ()
                                         if w not in src.warnings]
        rows.append({"file": _display_name(src), "path": c.path,
                     "channel": c.channel if c.channel >= 1 else None, "href": href,
                     "status": status, "errors": errors, "warnings": warnings,
                     "level_db_spl": _finite_or_none(c.level_db_spl) if c.rms_pa > 0 else None,
                     "values": values})
    return {"rows": rows, "columns": list(columns.values())}


def write_index(sources: Sequence[Source], folder: str, *, embed_audio: bool = True) -> str:
    """index.html plus one page per file and channel in `folder`."""
    os.makedirs(folder, exist_ok=True)
    names: dict[str, int] = {}
    pages = []
    for src in sources:
        if src.channel.error and not src.channel.results and src.channel.channel < 1:
            pages.append(None)
            continue
        stem = _safe_stem(_display_name(src))
        key = f"{stem}.ch{src.channel.channel}"
        names[key] = names.get(key, 0) + 1
        suffix = "" if names[key] == 1 else f"-{names[key]}"
        pages.append(f"{stem}{suffix}.ch{src.channel.channel}.html")
    listed = [i for i, p in enumerate(pages) if p]
    for n, i in enumerate(listed):
        links = {"index": "index.html",
                 "previous": urllib.parse.quote(pages[listed[n - 1]]) if n > 0 else None,
                 "next": urllib.parse.quote(pages[listed[n + 1]]) if n + 1 < len(listed)
                 else None}
        write_page([sources[i]], os.path.join(folder, pages[i]), embed_audio=embed_audio,
                   links=links)
    hrefs = [urllib.parse.quote(p) if p else None for p in pages]
    model = _index_model(sources, hrefs)
    files = len({s.channel.path for s in sources})
    rows = len(sources)
    model["title"] = f"{files} file{'s' if files != 1 else ''}, {rows} row{'s' if rows != 1 else ''}"
    text = _page_html("index", "Varnholt report: every file and channel",
                      "Every file and channel", model, with_uplot=False)
    index = os.path.join(folder, "index.html")
    with open(index, "w", encoding="utf-8") as f:
        f.write(text)
    return index


def _is_folder_output(output: str) -> bool:
    return output.endswith(("/", os.sep)) or os.path.isdir(output)


def is_html_output(output) -> bool:
    """True for a page (x.html) or a folder of them (an existing folder, or a
    path ending in '/'); False for the static reports (.png, .pdf, .svg)."""
    output = os.fspath(output)
    return _is_folder_output(output) or os.path.splitext(output)[1].lower() == ".html"


def write_html(sources: Sequence[Source], output, *, embed_audio: bool = True) -> str:
    """`output` ending in .html: one page (the channels of one file); a folder
    (an existing one, or a path ending in '/'): index.html and a page per
    file and channel. Returns the path of the page or of index.html."""
    output = os.fspath(output)
    if not sources:
        raise ValueError("nothing to report: no channels")
    if not is_html_output(output):
        raise ValueError(f"{output}: an HTML report is written to a .html file or a folder "
                         "(a path ending in '/')")
    if not _is_folder_output(output):
        paths = list(dict.fromkeys(s.channel.path for s in sources))
        if len(paths) > 1:
            raise ValueError(f"{output}: one page holds one file, these channels come from "
                             f"{len(paths)} files; write them to a folder (-o DIR/)")
        return write_page(sources, output, embed_audio=embed_audio)
    return write_index(sources, output, embed_audio=embed_audio)


def write_html_report(channels: Sequence[ChannelAnalysis], output, *,
                      embed_audio: bool = True) -> str:
    """The HTML report of analysed channels (as varnholt.analyze returns them)."""
    sources = [c if isinstance(c, Source) else Source(c, audio_path=c.path) for c in channels]
    return write_html(sources, output, embed_audio=embed_audio)


# ---------------------------------------------------------------------------
# Inputs: sound files, folders, the varnholt tool's JSON or JSON Lines

def _levels_from_json(m: dict):
    """The levels metric of the tool's JSON as a Levels result."""
    from .results import Levels
    from .single_values import SOUND_LEVELS, SingleValue

    band = m.get("bands", {}).get("third_octave_levels")
    if band is None:
        return None
    symbols = {key: symbol for symbol, key, _ in SOUND_LEVELS}
    values = tuple(SingleValue(symbols.get(k, k), k,
                               math.nan if e.get("value") is None else float(e["value"]),
                               e.get("unit", ""), e.get("definition", ""))
                   for k, e in m.get("summary", {}).items())
    nan = lambda x: np.array([math.nan if v is None else v for v in x], dtype=np.float64)
    return Levels(nan(band["axis"]["values"]), nan(band["values"]), values)


def sources_from_tool_json(doc: dict, json_dir: str = ".") -> list[Source]:
    """Sources of one document of the tool's --json output."""
    from .tool_json import channels_from_tool_json

    channels = channels_from_tool_json(doc)
    calibration_warnings = list(doc.get("calibration", {}).get("warnings", []))
    out = []
    i = 0
    for file in doc.get("files", []):
        path = file.get("path", "")
        audio = path if os.path.isfile(path) else os.path.join(json_dir, path)
        span = file.get("analysed_span") or {}
        file_channels = file.get("channels")
        for c_json in file_channels if file_channels is not None else [None]:
            c = channels[i]
            i += 1
            if c_json is not None and "levels" in c_json.get("metrics", {}) \
                    and "levels" not in c.results \
                    and c_json["metrics"]["levels"].get("status") == "ok":
                levels = _levels_from_json(c_json["metrics"]["levels"])
                if levels is not None:
                    c = replace(c, results=MappingProxyType({**c.results, "levels": levels}))
            warnings = calibration_warnings + list(file.get("warnings", []))
            if c_json is not None:
                warnings += list(c_json.get("warnings", []))
            builtin = file.get("format") == "built-in signal"
            out.append(Source(
                c, tuple(dict.fromkeys(warnings)),
                start_s=float(span.get("start_s") or 0.0), duration_s=span.get("duration_s"),
                audio_path=audio if os.path.isfile(audio) and not builtin else None,
                description=file.get("description", path) if builtin else "",
                dc_offset_pa=None if c_json is None else c_json.get("dc_offset_pa")))
    return out


def read_tool_json(path) -> list[Source]:
    """The tool's --json output: one document, or JSON Lines (one per file and channel)."""
    path = os.fspath(path)
    with open(path, encoding="utf-8") as f:
        text = f.read()
    json_dir = os.path.dirname(os.path.abspath(path))
    try:
        docs = [json.loads(text)]
    except json.JSONDecodeError:
        docs = [json.loads(line) for line in text.splitlines() if line.strip()]
    return [s for d in docs for s in sources_from_tool_json(d, json_dir)]


def _is_tool_json(path: str) -> bool:
    return os.path.splitext(path)[1].lower() in (".json", ".jsonl", ".ndjson")


def gather(inputs, metrics=None, calibration=None, field="free",
           channel: int | None = None) -> list[Source]:
    """Sources of sound files (analysed here), folders of them, the tool's JSON
    or JSON Lines, and ChannelAnalysis objects; a file that cannot be read
    becomes a failed row."""
    from .analysis import DISPLAY_BAND_ROWS, analyze, sound_files
    from .calibration import as_calibration
    from .errors import VarnholtError

    if isinstance(inputs, (str, os.PathLike, ChannelAnalysis, Source)):
        inputs = [inputs]
    out: list[Source] = []
    for item in inputs:
        if isinstance(item, Source):
            out.append(item)
        elif isinstance(item, ChannelAnalysis):
            out.append(Source(item, audio_path=item.path))
        else:
            path = os.fspath(item)
            if os.path.isdir(path):
                out.extend(gather(sound_files(path), metrics, calibration, field, channel))
            elif _is_tool_json(path):
                out.extend(read_tool_json(path))
            else:
                try:
                    chans = analyze(path, metrics=metrics, calibration=calibration, field=field,
                                    channel=channel, bands=True, band_rows=DISPLAY_BAND_ROWS)
                except (VarnholtError, ValueError, OSError) as e:
                    chans = [ChannelAnalysis(path, 0, "", 0, False, as_calibration(calibration),
                                             field if isinstance(field, str) else "free",
                                             error=str(e))]
                out.extend(Source(c, audio_path=path) for c in chans)
    return out


def failures(sources: Iterable[Source]) -> list[str]:
    """One line per failed file, channel or metric, as the command line prints them."""
    out = []
    for s in sources:
        c = s.channel
        if c.channel >= 1:
            where = f"{c.path}: channel {c.channel}: "
        else:  # the whole file failed; its error may name it already
            where = "" if c.error.startswith(c.path) else f"{c.path}: "
        out += [f"{where}{m}: {e}" for m, e in c.errors.items()]
        if c.error:
            out.append(f"{where}{c.error}")
    return out


def command(inputs, output, **analysis) -> tuple[str, list[str]]:
    """The report and plot subcommands with an HTML output: the path written
    and the failures to print."""
    uplot_dir()  # before the analysis: a missing library fails at once
    sources = gather(inputs, **analysis)
    return write_html(sources, output), failures(sources)


def report(source, output, metrics=None, calibration=None, field="free",
           channel: int | None = None, embed_audio: bool = True) -> str:
    """Writes the report of `source`: ChannelAnalysis objects, sound files,
    folders or the tool's JSON / JSON Lines. To x.html: one interactive page
    (the channels of one file); to a folder (a path ending in '/'): index.html
    and a page per file and channel; to .png, .pdf or .svg: the static
    static report of varnholt.static_report. Returns the path written."""
    if is_html_output(output):
        uplot_dir()  # before the analysis: a missing library fails at once
    sources = gather(source, metrics, calibration, field, channel)
    if is_html_output(output):
        return write_html(sources, output, embed_audio=embed_audio)
    from .static_report import write_report

    return write_report([s.channel for s in sources], output)
