"""Plots of every result, with quantities and units on the axes.

Single-panel results (loudness, sharpness, roughness after Daniel and Weber,
Aures tonality) draw into one Axes and return it. Two-panel results
(time-varying loudness, ECMA-418-2 tonality and roughness) take None or a
pair of Axes and return the pair: a time series above, a time x band image
below.
"""

from __future__ import annotations

import numpy as np

from .results import (EcmaRoughness, EcmaTonality, Levels, Loudness, LoudnessTime,
                      RoughnessDW, Sharpness, TonalityAures)
from .single_values import SOUND_LEVELS

IMAGE_MAP = "viridis"


def _axes(ax, panels: int):
    if ax is not None:
        if panels == 2 and not (hasattr(ax, "__len__") and len(ax) == 2):
            raise ValueError("this result draws two panels: pass a pair of Axes "
                             "(series above, time x band image below) or None")
        return tuple(ax) if panels == 2 else ax
    import matplotlib.pyplot as plt

    if panels == 1:
        _, ax = plt.subplots(figsize=(7, 3.5), layout="constrained")
        return ax
    _, axes = plt.subplots(2, 1, figsize=(7, 6), sharex=True, layout="constrained")
    return tuple(axes)


def _label(quantity: str, unit: str) -> str:
    return f"{quantity} in {unit}" if unit else quantity


def _series(ax, time, values, quantity, unit, mean_value, mean_label):
    ax.plot(time, values, color="C0", label=quantity)
    ax.axhline(mean_value, color="C1", linestyle="--", label=mean_label)
    ax.set_xlabel("time in s")
    ax.set_ylabel(_label(quantity, unit))
    # Plain numbers on the value axis: an offset such as "1e-5 + 1.4332" hides
    # how small the variation is.
    ax.ticklabel_format(axis="y", useOffset=False)
    ax.legend(loc="best", fontsize="small")
    return ax


def _image(ax, time, axis, values, axis_label, colour_label):
    """values: (frames, bands) as pcolormesh with frame times and band positions."""
    mesh = ax.pcolormesh(time, axis, values.T, shading="nearest", cmap=IMAGE_MAP,
                         rasterized=True)
    ax.set_xlabel("time in s")
    ax.set_ylabel(axis_label)
    ax.figure.colorbar(mesh, ax=ax, label=colour_label)
    return mesh


def plot_loudness(r: Loudness, ax=None):
    ax = _axes(ax, 1)
    ax.plot(r.bark, r.specific, color="C0")
    ax.set_xlabel(_label("critical-band rate", r.units["bark"]))
    ax.set_ylabel(_label("specific loudness N'", r.units["specific"]))
    ax.set_title(f"loudness N = {r.N:.3g} sone, LN = {r.LN:.3g} phon ({r.field} field)")
    return ax


def plot_loudness_time(r: LoudnessTime, ax=None):
    top, bottom = _axes(ax, 2)
    top.plot(r.time, r.loudness, color="C0", label="N(t)")
    top.axhline(r.N5, color="C1", linestyle="--", label=f"N5 = {r.N5:.3g} sone")
    peak = int(np.argmax(r.loudness)) if r.loudness.size else 0
    if r.loudness.size:
        top.plot([r.time[peak]], [r.N_max], "v", color="C3", label=f"N_max = {r.N_max:.3g} sone")
    top.set_ylabel(_label("loudness N", r.units["loudness"]))
    top.set_xlabel("time in s")
    top.legend(loc="best", fontsize="small")
    top.set_title(f"time-varying loudness ({r.field} field)")
    _image(bottom, r.time, r.bark, r.specific, _label("critical-band rate", r.units["bark"]),
           _label("N'", r.units["specific"]))
    return top, bottom


def plot_sharpness(r: Sharpness, ax=None):
    ax = _axes(ax, 1)
    if r.sharpness.size:
        mean = float(np.mean(r.sharpness))
        _series(ax, r.time, r.sharpness, "sharpness S(t)", "acum", mean,
                f"mean S(t) = {mean:.3g} acum")
    else:
        ax.set_xlabel("time in s")
        ax.set_ylabel(_label("sharpness S", "acum"))
    ax.axhline(r.S, color="C2", linestyle=":", label=f"S (stationary) = {r.S:.3g} acum")
    ax.legend(loc="best", fontsize="small")
    ax.set_title(f"sharpness (DIN 45692, {r.field} field)")
    return ax


def plot_roughness_dw(r: RoughnessDW, ax=None):
    ax = _axes(ax, 1)
    _series(ax, r.time, r.roughness, "roughness R", r.units["roughness"], r.R_mean,
            f"R_mean = {r.R_mean:.3g} asper")
    ax.set_title("roughness (Daniel and Weber)")
    return ax


def plot_tonality_aures(r: TonalityAures, ax=None):
    ax = _axes(ax, 1)
    _series(ax, r.time, r.tonality, "tonality K", r.units["tonality"], r.K_mean,
            f"K_mean = {r.K_mean:.3g}")
    ax.set_title(f"tonality (Aures, {r.field} field)")
    return ax


def _band_ticks_hz(ax, r):
    """Label the band axis (Bark_HMS positions) with band centre frequencies."""
    picks = [b for b in range(0, r.band.size, 8)]
    ax.set_yticks(r.band[picks])
    ax.set_yticklabels([f"{r.band_hz[b]:.0f}" for b in picks])
    ax.set_ylabel("band centre frequency in Hz")


def plot_ecma_tonality(r: EcmaTonality, ax=None):
    top, bottom = _axes(ax, 2)
    top.plot(r.time, r.tonality, color="C0", label="T(t)")
    top.axhline(r.T_mean, color="C1", linestyle="--", label=f"T_mean = {r.T_mean:.3g} tu_HMS")
    top.set_ylabel(_label("tonality T", r.units["tonality"]))
    top.set_xlabel("time in s")
    top.legend(loc="upper left", fontsize="small")
    freq = top.twinx()
    tonal = r.tonality > 0.0
    freq.plot(r.time[tonal], r.tonal_frequency[tonal], ".", color="C3", markersize=2,
              label="tonal frequency")
    freq.set_ylabel(_label("tonal frequency", r.units["tonal_frequency"]))
    freq.legend(loc="upper right", fontsize="small")
    top.set_title(f"ECMA-418-2 tonality, f_T_max = {r.f_T_max:.0f} Hz ({r.field} field)")
    _image(bottom, r.time, r.band, r.specific_tonality, "",
           _label("specific tonality", r.units["specific_tonality"]))
    _band_ticks_hz(bottom, r)
    return top, bottom


def plot_ecma_roughness(r: EcmaRoughness, ax=None):
    top, bottom = _axes(ax, 2)
    top.plot(r.time, r.roughness, color="C0", label="R(t)")
    top.axhline(r.R_p90, color="C1", linestyle="--", label=f"R_p90 = {r.R_p90:.3g} asper_HMS")
    top.set_ylabel(_label("roughness R", r.units["roughness"]))
    top.set_xlabel("time in s")
    top.legend(loc="best", fontsize="small")
    top.set_title(f"ECMA-418-2 roughness ({r.field} field)")
    _image(bottom, r.time, r.band, r.specific_roughness, "",
           _label("specific roughness", r.units["specific_roughness"]))
    _band_ticks_hz(bottom, r)
    return top, bottom


def plot_levels(r: Levels, ax=None):
    """Band levels as bars a third of an octave wide on a logarithmic frequency
    axis; the six sound levels in the legend."""
    ax = _axes(ax, 1)
    third = 2.0 ** (1.0 / 6.0)  # band edges at a sixth of an octave either side
    ax.bar(r.frequency / third, r.band_levels, width=r.frequency * (third - 1 / third),
           align="edge", color="C0", label="third-octave band levels")
    for i, (symbol, _, _) in enumerate(SOUND_LEVELS):
        ax.axhline(getattr(r, symbol), color=f"C{i + 1}", linestyle="--", linewidth=1,
                   label=f"{symbol} = {getattr(r, symbol):.1f} dB")
    ax.set_xscale("log")
    ax.set_xlabel(_label("band centre frequency", r.units["frequency"]))
    ax.set_ylabel(_label("band level", r.units["band_levels"]))
    ax.legend(loc="best", fontsize="small")
    ax.set_title(f"sound levels: LAeq = {r.LAeq:.1f} dB, LAFmax = {r.LAFmax:.1f} dB, "
                 f"LCpeak = {r.LCpeak:.1f} dB")
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


def plot_result(result, ax=None):
    return PLOTTERS[type(result)](result, ax)
