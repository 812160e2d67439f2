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
    columns = max(len(channels), 1)
    fig = Figure(figsize=(COLUMN_WIDTH_IN * columns, PANEL_HEIGHT_IN * rows + 0.8),
                 layout="constrained")
    for c, part in zip(channels, fig.subfigures(1, columns, squeeze=False)[0]):
        part.suptitle(channel_title(c), fontsize="medium")
        grid = part.add_gridspec(rows, 1)
        row = 0
        for m in metrics:
            n = _rows(m)
            axes = [part.add_subplot(grid[row + i, 0]) for i in range(n)]
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
            ax = part.add_subplot(grid[0, 0])
            ax.set_axis_off()
            ax.text(0.5, 0.5, f"failed: {c.error}", ha="center", va="center", wrap=True)
    return fig


def write_report(channels: Sequence[ChannelAnalysis], output) -> str:
    """Draws the report and saves it; the format follows the suffix (.png, .pdf,
    .svg; .html or a folder ending in '/': the interactive pages of html_report)."""
    output = os.fspath(output)
    suffix = os.path.splitext(output)[1].lower()
    from .html_report import is_html_output, write_html_report

    if is_html_output(output):
        return write_html_report(channels, output)
    if suffix not in (".png", ".pdf", ".svg"):
        raise ValueError(f"{output}: the report is written as .png, .pdf, .svg or .html")
    fig = report_figure(channels)
    fig.savefig(output, dpi=100)
    return output
