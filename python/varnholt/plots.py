"""Plots of every result, with quantities and units on the axes.

Every plot draws into rows of two cells: a data Axes and, to its right, a
side Axes without axis lines that holds the legend or the colour bar. So no
legend covers data, and every data Axes of a figure has the same width
whether its row has a colour bar or not: the time axes of a figure line up.

Single-panel results (loudness, sharpness, roughness after Daniel and Weber,
Aures tonality, sound levels) draw into one Axes and return it. Two-panel
results (time-varying loudness, ECMA-418-2 tonality and roughness) take
None or a pair of Axes and return the pair: a time series above, a time x
band image below. Given Axes get their side cell as an inset outside their
right edge; with none, a figure is made with the side column in its grid.

Long results are reduced to what the display can show before drawing: a
series to its minimum and maximum in each display column, an image to the
largest value of each band in each display column. Extremes stay visible
and the drawing costs the same for a minute of sound as for an hour.
"""

from __future__ import annotations

import math

import numpy as np

from .results import (EcmaRoughness, EcmaTonality, Levels, Loudness, LoudnessTime,
                      RoughnessDW, Sharpness, TonalityAures)
from .single_values import SOUND_LEVELS

IMAGE_MAP = "viridis"
FONT_SIZE = 8  # points: tick labels, axis labels, legends
TITLE_SIZE = 9
SIDE_WIDTH_IN = 1.9  # the legend and colour-bar column
DATA_WIDTH_IN = 5.6  # data Axes of a figure made by .plot()
ROW_HEIGHT_IN = 2.3
# Display columns per inch of data width: twice the pixels of a 100 dpi
# image, enough that no reduction shows at the resolution of a PDF viewer
# at page width either.
COLUMNS_PER_INCH = 200
# Gap between a data Axes and a side cell placed outside it, in inches: room
# for the tick labels and label of a right-hand axis where there is one.
SIDE_GAP_IN = 0.15
TWIN_SIDE_GAP_IN = 0.8


# ---------------------------------------------------------------------------
# Reduction to the display

def min_max_envelope(time, values, columns: int):
    """(time, values) reduced to at most 2 x `columns` points: the series cut
    into `columns` runs of consecutive points, each run giving its smallest
    and largest value at their own times, in time order. A series of at most
    2 x `columns` points is returned as it is. NaN values are ignored; a run
    of NaN only gives NaN, so gaps in the series stay gaps."""
    time = np.asarray(time, dtype=np.float64)
    values = np.asarray(values, dtype=np.float64)
    columns = max(int(columns), 1)
    n = values.size
    if n <= 2 * columns:
        return time, values
    per = -(-n // columns)
    runs = -(-n // per)
    padded = np.full(runs * per, np.nan)
    padded[:n] = values
    padded = padded.reshape(runs, per)
    present = ~np.isnan(padded)
    largest = np.argmax(np.where(present, padded, -np.inf), axis=1)
    smallest = np.argmin(np.where(present, padded, np.inf), axis=1)
    start = np.arange(runs) * per
    picks = np.stack([start + np.minimum(smallest, largest),
                      start + np.maximum(smallest, largest)], axis=1).reshape(-1)
    picks = np.minimum(picks, n - 1)
    out = values[picks]
    out[np.repeat(~present.any(axis=1), 2)] = np.nan
    return time[picks], out


def max_per_column(time, values, columns: int):
    """An image of (frames, bands) values reduced along time to at most
    `columns` frames, each the largest value of a run of consecutive frames
    (NaN ignored): returns (time edges of the runs, reduced values). Frame k
    covers time[k] +- half the frame step. The values are reduced in place of
    a copy, so a long result costs no more memory than its image."""
    time = np.asarray(time, dtype=np.float64)
    n = values.shape[0]
    step = float(time[1] - time[0]) if n > 1 else 1.0
    per = max(-(-n // max(int(columns), 1)), 1)
    starts = np.arange(0, n, per)
    reduced = values if per == 1 else np.fmax.reduceat(values, starts, axis=0)
    edges = np.append(time[starts] - 0.5 * step, time[-1] + 0.5 * step)
    return edges, reduced


def _centre_edges(centres) -> np.ndarray:
    """Cell edges half-way between neighbouring centres, the outer ones half a
    step beyond the first and last."""
    c = np.asarray(centres, dtype=np.float64)
    if c.size == 1:
        return np.array([c[0] - 0.5, c[0] + 0.5])
    middle = 0.5 * (c[1:] + c[:-1])
    return np.concatenate([[c[0] - (middle[0] - c[0])], middle,
                           [c[-1] + (c[-1] - middle[-1])]])


def time_span(time) -> tuple[float, float]:
    """0 to one frame step after the last frame: the span a result covers."""
    time = np.asarray(time)
    if time.size == 0:
        return 0.0, 1.0
    step = float(time[1] - time[0]) if time.size > 1 else float(time[0]) or 1.0
    return 0.0, float(time[-1]) + step


# ---------------------------------------------------------------------------
# Cells: data Axes and their side cells

def row_grid(parent, heights_in, data_width_in: float, side_width_in: float = SIDE_WIDTH_IN):
    """A GridSpec of rows x (data, side) in a Figure or SubFigure; row i is
    heights_in[i] high in proportion."""
    return parent.add_gridspec(len(heights_in), 2, width_ratios=[data_width_in, side_width_in],
                               height_ratios=list(heights_in))


def add_row(parent, grid, row: int, sharex=None):
    """The data Axes and the side Axes of one row of a row_grid."""
    data = parent.add_subplot(grid[row, 0], sharex=sharex)
    side = parent.add_subplot(grid[row, 1])
    side.set_axis_off()
    return data, side


def _new_figure(count: int):
    import matplotlib.pyplot as plt

    fig = plt.figure(figsize=(DATA_WIDTH_IN + SIDE_WIDTH_IN + 1.2, ROW_HEIGHT_IN * count + 0.3),
                     layout="constrained")
    grid = row_grid(fig, [ROW_HEIGHT_IN] * count, DATA_WIDTH_IN)
    rows = []
    for i in range(count):
        rows.append(add_row(fig, grid, i, sharex=rows[0][0] if rows else None))
    return tuple(r[0] for r in rows), tuple(r[1] for r in rows)


def _side_outside(ax, gap_in: float):
    """A side cell outside the right edge of an Axes the caller gave."""
    width_in = max(ax.bbox.width / ax.figure.dpi, 0.1)
    side = ax.inset_axes([1.0 + gap_in / width_in, 0.0, SIDE_WIDTH_IN / width_in, 1.0])
    side.set_axis_off()
    return side


def _cells(ax, count: int, side, gaps_in=None):
    """(data Axes, side Axes) for `count` panels: a new figure for ax None,
    else the given Axes with the given side cells or new ones outside them."""
    if ax is None:
        return _new_figure(count)
    if count == 2 and not (hasattr(ax, "__len__") and len(ax) == 2):
        raise ValueError("this result draws two panels: pass a pair of Axes "
                         "(series above, time x band image below) or None")
    axes = tuple(ax) if count == 2 else (ax,)
    if side is not None:
        return axes, (tuple(side) if count == 2 else (side,))
    gaps_in = gaps_in or (SIDE_GAP_IN,) * count
    return axes, tuple(_side_outside(a, g) for a, g in zip(axes, gaps_in))


def _columns(ax, columns) -> int:
    if columns:
        return int(columns)
    return max(int(ax.bbox.width / ax.figure.dpi * COLUMNS_PER_INCH), 100)


# ---------------------------------------------------------------------------
# Pieces every plot uses

def _label(quantity: str, unit: str) -> str:
    return f"{quantity} in {unit}" if unit else quantity


def number(value, digits: int = 3) -> str:
    """A single value for a label: significant digits; "none" where there is no value."""
    if value is None or (isinstance(value, float) and math.isnan(value)):
        return "none"
    return f"{value:.{digits}g}"


def _style(ax, title: str = "", xlabel: str = "", ylabel: str = ""):
    ax.tick_params(labelsize=FONT_SIZE)
    if xlabel:
        ax.set_xlabel(xlabel, fontsize=FONT_SIZE)
    if ylabel:
        ax.set_ylabel(ylabel, fontsize=FONT_SIZE)
    if title:
        ax.set_title(title, fontsize=TITLE_SIZE)


def _time_axis(ax, span):
    ax.set_xlim(*span)
    ax.set_xlabel("time in s", fontsize=FONT_SIZE)


def _legend(side, *axes):
    """One legend of the labelled artists of `axes`, at the top left of the side cell."""
    handles, labels = [], []
    for a in axes:
        h, lab = a.get_legend_handles_labels()
        handles += h
        labels += lab
    if handles:
        side.legend(handles, labels, loc="upper left", bbox_to_anchor=(0.0, 1.0),
                    borderaxespad=0.0, frameon=False, fontsize=FONT_SIZE)


def _colour_bar(mappable, side, quantity: str, unit: str):
    """A colour bar in the side cell, its quantity and unit above it on two
    lines: a label along the bar would be longer than the panel is high."""
    cax = side.inset_axes([0.0, 0.0, 0.08, 0.72])
    bar = side.figure.colorbar(mappable, cax=cax)
    cax.tick_params(labelsize=FONT_SIZE)
    cax.set_title(f"{quantity}\nin {unit}" if unit else quantity, loc="left",
                  fontsize=FONT_SIZE)
    return bar


def _series(ax, time, values, columns, **style):
    t, v = min_max_envelope(time, values, columns)
    return ax.plot(t, v, **style)


def _image(ax, side, time, axis, values, axis_label, quantity, unit, span, columns):
    """values: (rows, bands), drawn against row times and band positions."""
    _time_axis(ax, span)
    _style(ax, ylabel=axis_label)
    if values.shape[0] == 0:
        return None
    edges, reduced = max_per_column(time, values, columns)
    # Specific loudness, tonality and roughness are never negative: the colour
    # scale starts at 0, so silence is the colour of nothing.
    top = float(np.nanmax(reduced)) if np.isfinite(reduced).any() else 0.0
    mesh = ax.pcolormesh(edges, _centre_edges(axis), reduced.T, shading="flat", cmap=IMAGE_MAP,
                         vmin=0.0, vmax=top if top > 0.0 else 1.0, rasterized=True)
    _colour_bar(mesh, side, quantity, unit)
    ax.set_xlim(*span)
    return mesh


def _mean_line(ax, value, label, colour="C1", style="--"):
    if value is not None and math.isfinite(value):
        ax.axhline(value, color=colour, linestyle=style, linewidth=1, label=label)


# ---------------------------------------------------------------------------
# One function per result

def plot_loudness(r: Loudness, ax=None, *, side=None, **_):
    (ax,), (side,) = _cells(ax, 1, side)
    ax.plot(r.bark, r.specific, color="C0")
    _style(ax, f"loudness N = {number(r.N)} sone, LN = {number(r.LN)} phon ({r.field} field)",
           _label("critical-band rate", r.units["bark"]),
           _label("specific loudness N'", r.units["specific"]))
    return ax


def plot_loudness_time(r: LoudnessTime, ax=None, *, side=None, span=None, columns=None):
    (top, bottom), (top_side, bottom_side) = _cells(ax, 2, side)
    span = span or time_span(r.time)
    columns = _columns(top, columns)
    _series(top, r.time, r.loudness, columns, color="C0", linewidth=1, label="N(t)")
    _mean_line(top, r.N5, f"N5 = {number(r.N5)} sone")
    if r.loudness.size:
        peak = int(np.argmax(r.loudness))
        top.plot([r.time[peak]], [r.N_max], "v", color="C3",
                 label=f"N_max = {number(r.N_max)} sone")
    _time_axis(top, span)
    _style(top, f"time-varying loudness ({r.field} field)",
           ylabel=_label("loudness N", r.units["loudness"]))
    _legend(top_side, top)
    _image(bottom, bottom_side, r.band_time, r.bark, r.specific,
           _label("critical-band rate", r.units["bark"]), "specific loudness N'",
           r.units["specific"], span, columns)
    return top, bottom


def plot_sharpness(r: Sharpness, ax=None, *, side=None, span=None, columns=None):
    (ax,), (side,) = _cells(ax, 1, side)
    span = span or time_span(r.time)
    if r.sharpness.size:
        mean = float(np.mean(r.sharpness))
        _series(ax, r.time, r.sharpness, _columns(ax, columns), color="C0", linewidth=1,
                label="S(t)")
        _mean_line(ax, mean, f"mean S(t) = {number(mean)} acum")
    _mean_line(ax, r.S, f"S = {number(r.S)} acum\n(stationary)", colour="C2", style=":")
    _time_axis(ax, span)
    _style(ax, f"sharpness (DIN 45692, {r.field} field)",
           ylabel=_label("sharpness S(t)" if r.sharpness.size else "sharpness S", "acum"))
    _legend(side, ax)
    return ax


def _frame_series(r, ax, side, span, columns, values, symbol, unit, title, mean_symbol):
    (ax,), (side,) = _cells(ax, 1, side)
    span = span or time_span(r.time)
    quantity = {"R": "roughness R", "K": "tonality K"}[symbol]
    _series(ax, r.time, values, _columns(ax, columns), color="C0", linewidth=1,
            label=f"{symbol}(t)")
    mean = getattr(r, mean_symbol)
    _mean_line(ax, mean, f"{mean_symbol} = {number(mean)}" + (f" {unit}" if unit else ""))
    _time_axis(ax, span)
    _style(ax, title, ylabel=_label(quantity, unit))
    # Plain numbers on the value axis: an offset such as "1e-5 + 1.4332" hides
    # how small the variation is.
    ax.ticklabel_format(axis="y", useOffset=False)
    _legend(side, ax)
    return ax


def plot_roughness_dw(r: RoughnessDW, ax=None, *, side=None, span=None, columns=None):
    return _frame_series(r, ax, side, span, columns, r.roughness, "R", r.units["roughness"],
                         "roughness (Daniel and Weber)", "R_mean")


def plot_tonality_aures(r: TonalityAures, ax=None, *, side=None, span=None, columns=None):
    return _frame_series(r, ax, side, span, columns, r.tonality, "K", r.units["tonality"],
                         f"tonality (Aures, {r.field} field)", "K_mean")


def _band_ticks_hz(ax, r):
    """Label the band axis (Bark_HMS positions) with band centre frequencies."""
    picks = list(range(0, r.band.size, 8))
    ax.set_yticks(r.band[picks])
    ax.set_yticklabels([f"{r.band_hz[b]:.0f}" for b in picks])
    ax.set_ylabel("band centre frequency in Hz", fontsize=FONT_SIZE)


def tonal_frequency_mask(tonality, frequency) -> np.ndarray:
    """Frames that have a tonal component: a tonality above 0 and a tonal
    frequency that is a positive number. Elsewhere the band that gives T(t)
    is noise or silence and its frequency means nothing."""
    tonality = np.asarray(tonality, dtype=np.float64)
    frequency = np.asarray(frequency, dtype=np.float64)
    with np.errstate(invalid="ignore"):
        return (tonality > 0.0) & np.isfinite(frequency) & (frequency > 0.0)


def plot_ecma_tonality(r: EcmaTonality, ax=None, *, side=None, span=None, columns=None):
    (top, bottom), (top_side, bottom_side) = _cells(ax, 2, side,
                                                    (TWIN_SIDE_GAP_IN, SIDE_GAP_IN))
    span = span or time_span(r.time)
    columns = _columns(top, columns)
    _series(top, r.time, r.tonality, columns, color="C0", linewidth=1, label="T(t)")
    _mean_line(top, r.T_mean, f"T_mean = {number(r.T_mean)} tu_HMS")
    _time_axis(top, span)
    f_max = getattr(r, "f_T_max", None)
    peak = (f"f_T_max = {f_max:.0f} Hz" if f_max is not None and math.isfinite(f_max)
            else "no tonal component")
    _style(top, f"ECMA-418-2 tonality, {peak} ({r.field} field)",
           ylabel=_label("tonality T", r.units["tonality"]))
    freq = top.twinx()
    tonal = tonal_frequency_mask(r.tonality, r.tonal_frequency)
    shown = np.where(tonal, r.tonal_frequency, np.nan)
    t, f = min_max_envelope(r.time, shown, columns)
    keep = ~np.isnan(f)
    freq.plot(t[keep], f[keep], ".", color="C3", markersize=2,
              label="tonal frequency" if keep.any() else "tonal frequency: none")
    freq.set_xlim(*span)
    # Tonal frequencies from 50 Hz to 15 kHz: a logarithmic axis shows the
    # low ones as clearly as the high ones, as the band image below does.
    freq.set_yscale("log")
    if keep.any():
        low, high = float(np.min(f[keep])), float(np.max(f[keep]))
        freq.set_ylim(10.0 ** math.floor(math.log10(low) - 0.05),
                      10.0 ** math.ceil(math.log10(high) + 0.05))
    else:
        freq.set_ylim(20.0, 20000.0)
    _style(freq, ylabel=_label("tonal frequency", r.units["tonal_frequency"]))
    _legend(top_side, top, freq)
    _image(bottom, bottom_side, r.band_time, r.band, r.specific_tonality, "", "specific tonality",
           r.units["specific_tonality"], span, columns)
    _band_ticks_hz(bottom, r)
    return top, bottom


def plot_ecma_roughness(r: EcmaRoughness, ax=None, *, side=None, span=None, columns=None):
    (top, bottom), (top_side, bottom_side) = _cells(ax, 2, side)
    span = span or time_span(r.time)
    columns = _columns(top, columns)
    _series(top, r.time, r.roughness, columns, color="C0", linewidth=1, label="R(t)")
    _mean_line(top, r.R_p90, f"R_p90 = {number(r.R_p90)} asper_HMS")
    _time_axis(top, span)
    _style(top, f"ECMA-418-2 roughness ({r.field} field)",
           ylabel=_label("roughness R", r.units["roughness"]))
    _legend(top_side, top)
    _image(bottom, bottom_side, r.band_time, r.band, r.specific_roughness, "", "specific roughness",
           r.units["specific_roughness"], span, columns)
    _band_ticks_hz(bottom, r)
    return top, bottom


def plot_levels(r: Levels, ax=None, *, side=None, **_):
    """Band levels as bars a third of an octave wide on a logarithmic frequency
    axis; the six sound levels as lines, with their values in the legend."""
    (ax,), (side,) = _cells(ax, 1, side)
    third = 2.0 ** (1.0 / 6.0)  # band edges at a sixth of an octave either side
    levels = np.where(np.isfinite(r.band_levels), r.band_levels, np.nan)
    # Bars rise from a floor 10 dB below the quietest band (a multiple of
    # 10 dB): a level is not a quantity that starts at 0 dB.
    shown = levels[np.isfinite(levels)]
    floor = 10.0 * math.floor(float(np.min(shown)) / 10.0) - 10.0 if shown.size else 0.0
    ax.bar(r.frequency / third, levels - floor, bottom=floor,
           width=r.frequency * (third - 1 / third), align="edge", color="C0",
           label="third-octave\nband levels")
    for i, (symbol, _, _) in enumerate(SOUND_LEVELS):
        value = getattr(r, symbol)
        text = f"{value:.1f} dB" if value is not None and not math.isnan(value) else "none"
        _mean_line(ax, value, f"{symbol} = {text}", colour=f"C{i + 1}")
        if not (value is not None and math.isfinite(value)):
            ax.plot([], [], color=f"C{i + 1}", linestyle="--", label=f"{symbol} = {text}")
    ax.set_xscale("log")
    ax.set_ylim(bottom=floor)
    _style(ax, f"sound levels: LAeq = {number(r.LAeq, 4)} dB, LAFmax = {number(r.LAFmax, 4)} dB, "
               f"LCpeak = {number(r.LCpeak, 4)} dB",
           _label("band centre frequency", r.units["frequency"]),
           _label("band level", r.units["band_levels"]))
    _legend(side, ax)
    return ax


PLOTTERS = {
    Loudness: plot_loudness,
    LoudnessTime: plot_loudness_time,
    Sharpness: plot_sharpness,
    RoughnessDW: plot_roughness_dw,
    TonalityAures: plot_tonality_aures,
    EcmaTonality: plot_ecma_tonality,
    EcmaRoughness: plot_ecma_roughness,
    Levels: plot_levels,
}
TWO_PANELS = (LoudnessTime, EcmaTonality, EcmaRoughness)
# Results whose x axis is time; the others are against Bark or frequency.
TIME_PANELS = (LoudnessTime, Sharpness, RoughnessDW, TonalityAures, EcmaTonality, EcmaRoughness)


def plot_result(result, ax=None, **options):
    """Draws a result. `options` for the report: `side`, the side cell (or
    pair) for the legend and colour bar; `span`, the (start, end) of the time
    axis in s; `columns`, the display columns series and images are reduced to."""
    return PLOTTERS[type(result)](result, ax, **options)
