"""A one-page report of a file's analysis: one column per channel, one panel
per metric (two for the metrics with a time x band image), each column
titled with the file, channel, calibration and level."""

from __future__ import annotations

import os
from typing import Sequence

from .analysis import ChannelAnalysis
from .plots import TWO_PANELS, plot_result
from .results import RESULT_OF_METRIC

PANEL_HEIGHT_IN = 2.4
COLUMN_WIDTH_IN = 8.0


def _rows(metric: str) -> int:
    return 2 if RESULT_OF_METRIC[metric] in TWO_PANELS else 1


def channel_title(c: ChannelAnalysis) -> str:
    level = f"{c.level_db_spl:.1f} dB SPL (RMS)" if c.rms_pa > 0 else "silence"
    resampled = f", resampled from {c.file_rate_hz} Hz" if c.resampled else ""
    return (f"{os.path.basename(c.path)}, channel {c.channel}: {level}{resampled}\n"
            f"calibration: {c.calibration.description}; {c.field} field")


def report_figure(channels: Sequence[ChannelAnalysis]):
    """A matplotlib Figure (no pyplot state) with the report of the channels."""
    from matplotlib.figure import Figure

    metrics = []
    for c in channels:
        for m in list(c.results) + list(c.errors):
            if m not in metrics:
                metrics.append(m)
    metrics.sort(key=list(RESULT_OF_METRIC).index)
    rows = sum(_rows(m) for m in metrics) or 1
    fig = Figure(figsize=(COLUMN_WIDTH_IN * max(len(channels), 1), PANEL_HEIGHT_IN * rows + 0.8),
                 layout="constrained")
    grid = fig.add_gridspec(rows, max(len(channels), 1))
    for col, c in enumerate(channels):
        row = 0
        for m in metrics:
            n = _rows(m)
            axes = [fig.add_subplot(grid[row + i, col]) for i in range(n)]
            if m in c.results:
                plot_result(c.results[m], tuple(axes) if n == 2 else axes[0])
            else:
                reason = c.errors.get(m) or c.error or "not computed"
                for ax in axes:
                    ax.set_axis_off()
                axes[0].text(0.5, 0.5, f"{m}: failed: {reason}", ha="center", va="center",
                             wrap=True, transform=axes[0].transAxes)
            row += n
        if row == 0:
            ax = fig.add_subplot(grid[0, col])
            ax.set_axis_off()
            ax.text(0.5, 0.5, f"failed: {c.error}", ha="center", va="center")
    titles = [channel_title(c) for c in channels]
    fig.suptitle("\n".join(titles) if len(channels) == 1 else "      |      ".join(
        t.replace("\n", "; ") for t in titles), fontsize="medium")
    return fig


def write_report(channels: Sequence[ChannelAnalysis], output) -> str:
    """Draws the report and saves it; the format follows the suffix (.png, .pdf, .svg)."""
    output = os.fspath(output)
    suffix = os.path.splitext(output)[1].lower()
    if suffix not in (".png", ".pdf", ".svg"):
        raise ValueError(f"{output}: the report is written as .png, .pdf or .svg")
    fig = report_figure(channels)
    fig.savefig(output, dpi=100)
    return output
