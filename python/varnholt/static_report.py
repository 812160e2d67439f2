"""Reports of a file's analysis, drawn from the kept results alone.

PNG and SVG: one image, one column per channel, one row per panel (two for
the metrics with a time x band image), the column titled with the file,
channel, calibration and level. PDF: A4 portrait pages; per file a table of
every single value with its unit, one value column per channel, with the
calibration and the warnings; then per channel one page for each metric
family (loudness and sharpness, time-varying loudness, roughness, tonality,
sound levels).

Every time panel of a channel column or page spans 0 to the analysed
duration over the same width: the legends and colour bars stand in a column
of their own to the right. A metric that failed is one line of text in its
place.
"""

from __future__ import annotations

import math
import os
import textwrap
from typing import Iterable, Sequence

from .analysis import ChannelAnalysis
from .plots import (COLUMNS_PER_INCH, FONT_SIZE, SIDE_WIDTH_IN, TIME_PANELS, TITLE_SIZE,
                    TWO_PANELS, add_row, plot_result, row_grid, time_span)
from .single_values import SAMPLE_RATE_HZ

# The tool's order of the metrics.
METRIC_ORDER = ("levels", "loudness", "loudness-time", "sharpness", "roughness", "tonality",
                "ecma-tonality", "ecma-roughness")
# The PDF's pages after the table: (title, metrics).
FAMILIES = (
    ("loudness and sharpness", ("loudness", "sharpness")),
    ("time-varying loudness", ("loudness-time",)),
    ("roughness", ("roughness", "ecma-roughness")),
    ("tonality", ("tonality", "ecma-tonality")),
    ("sound levels", ("levels",)),
)
PANEL_HEIGHT_IN = 2.0
FAILED_HEIGHT_IN = 0.25  # one line of text
COLUMN_WIDTH_IN = 9.0  # a channel's column of the PNG and SVG report
A4_IN = (8.27, 11.69)
PDF_PANEL_HEIGHT_IN = 2.35
# Left and right margins of a column for tick labels, axis labels and a
# right-hand axis: the data width is the rest less the side column.
MARGINS_IN = 1.8
OUTPUTS = (".png", ".pdf", ".svg")


def analysed_duration_s(c: ChannelAnalysis) -> float:
    """The analysed duration: the analysed samples at the analysis rate, or,
    where the count is not known, the span of the longest time result."""
    if c.samples:
        return c.samples / SAMPLE_RATE_HZ
    ends = [time_span(r.time)[1] for r in c.results.values()
            if isinstance(r, TIME_PANELS) and r.time.size]
    return max(ends, default=1.0)


def channel_title(c: ChannelAnalysis) -> str:
    level = f"{c.level_db_spl:.1f} dB SPL (RMS)" if c.rms_pa > 0 else "silence"
    resampled = f", resampled from {c.file_rate_hz} Hz" if c.resampled else ""
    duration = f", {analysed_duration_s(c):.3g} s" if c.samples else ""
    return (f"{os.path.basename(c.path)}, channel {c.channel}: {level}{duration}{resampled}\n"
            f"calibration: {c.calibration.description}; {c.field} field")


def warnings_of(c: ChannelAnalysis) -> list[str]:
    """The channel's warnings, then its failures, one sentence each."""
    lines = list(getattr(c, "warnings", ()) or ())
    if c.error:
        lines.append(f"failed: {c.error}")
    lines += [f"{m}: failed: {e}" for m, e in c.errors.items()]
    return lines


def _ordered(metrics: Iterable[str]) -> list[str]:
    rank = {m: i for i, m in enumerate(METRIC_ORDER)}
    return sorted(dict.fromkeys(metrics), key=lambda m: (rank.get(m, len(rank)), m))


def metrics_of(channels: Sequence[ChannelAnalysis]) -> list[str]:
    return _ordered(m for c in channels for m in list(c.results) + list(c.errors))


# ---------------------------------------------------------------------------
# Text that fits

def _text_width_in(text: str, size: float) -> float:
    from matplotlib.backends.backend_agg import RendererAgg
    from matplotlib.font_manager import FontProperties

    width, _, _ = RendererAgg(1, 1, 72).get_text_width_height_descent(
        text, FontProperties(size=size), ismath=False)
    return width / 72.0


def one_line(text: str, width_in: float, size: float = FONT_SIZE) -> str:
    """The text on one line, shortened with an ellipsis to fit width_in."""
    text = " ".join(text.split())
    if _text_width_in(text, size) <= width_in:
        return text
    low, high = 0, len(text)
    while low < high:
        middle = (low + high + 1) // 2
        if _text_width_in(text[:middle] + "\u2026", size) <= width_in:
            low = middle
        else:
            high = middle - 1
    return text[:low].rstrip() + "\u2026"


def wrapped(text: str, width_in: float, size: float = FONT_SIZE) -> list[str]:
    """The text broken into lines that fit width_in."""
    average = _text_width_in("abcdefghijklmnopqrstuvwxyz0123456789 ", size) / 37.0
    chars = max(int(width_in / average), 10)
    while True:
        lines = textwrap.wrap(text, chars, break_long_words=True) or [""]
        if all(_text_width_in(line, size) <= width_in for line in lines) or chars <= 10:
            return lines
        chars -= 2


# ---------------------------------------------------------------------------
# Panels of one channel

def _panel_count(c: ChannelAnalysis, metric: str) -> int:
    """Rows a metric takes: its panels, or one line where it has no result."""
    r = c.results.get(metric)
    if r is None:
        return 1
    return 2 if isinstance(r, TWO_PANELS) else 1


def _heights(c, metrics, panel_in):
    heights = []
    for m in metrics:
        h = panel_in if m in c.results else FAILED_HEIGHT_IN
        heights += [h] * _panel_count(c, m)
    return heights


def draw_channel(parent, c: ChannelAnalysis, metrics: Sequence[str], width_in: float,
                 panel_in: float = PANEL_HEIGHT_IN, filler_in: float = 0.0):
    """The panels of `metrics` of channel c, stacked in `parent` (a Figure or
    SubFigure `width_in` wide). Every time panel spans 0 to the analysed
    duration; returns the data Axes of the time panels."""
    data_in = max(width_in - SIDE_WIDTH_IN - MARGINS_IN, 1.0)
    columns = int(data_in * COLUMNS_PER_INCH)
    span = (0.0, analysed_duration_s(c))
    heights = _heights(c, metrics, panel_in)
    if not heights:
        heights = [FAILED_HEIGHT_IN]
    grid = row_grid(parent, heights + ([filler_in] if filler_in > 0 else []), data_in)
    time_axes = []
    row = 0
    if not metrics:
        _failure_line(parent, grid, 0, f"failed: {c.error or 'no metric computed'}", width_in)
    for m in metrics:
        r = c.results.get(m)
        if r is None:
            reason = c.errors.get(m) or c.error or "not computed"
            _failure_line(parent, grid, row, f"{m}: failed: {reason}", width_in)
            row += 1
            continue
        n = _panel_count(c, m)
        cells = [add_row(parent, grid, row + i) for i in range(n)]
        data = tuple(cell[0] for cell in cells)
        sides = tuple(cell[1] for cell in cells)
        if n == 2:
            plot_result(r, data, side=sides, span=span, columns=columns)
        else:
            plot_result(r, data[0], side=sides[0], span=span, columns=columns)
        if isinstance(r, TIME_PANELS):
            time_axes += list(data)
        row += n
    return time_axes


def _failure_line(parent, grid, row, text, width_in):
    """One line of text in the data column, shortened to fit the column and
    its side cell; it takes no part in the layout, so the columns keep the
    widths of every other row."""
    ax = parent.add_subplot(grid[row, 0])
    ax.set_axis_off()
    line = ax.text(0.0, 0.5, one_line(text, width_in - MARGINS_IN), ha="left", va="center",
                   fontsize=FONT_SIZE, color="C3", transform=ax.transAxes, clip_on=False)
    line.set_in_layout(False)


# ---------------------------------------------------------------------------
# The one-image report (PNG, SVG)

def report_figure(channels: Sequence[ChannelAnalysis]):
    """A matplotlib Figure (no pyplot state) with the report of the channels:
    one column per channel, one subfigure each."""
    from matplotlib.figure import Figure

    metrics = metrics_of(channels)
    columns = max(len(channels), 1)
    height = max((sum(_heights(c, metrics, PANEL_HEIGHT_IN)) + 0.45 * len(
        [m for m in metrics if m in c.results]) for c in channels), default=1.0) + 0.7
    fig = Figure(figsize=(COLUMN_WIDTH_IN * columns, height), layout="constrained")
    for c, part in zip(channels, fig.subfigures(1, columns, squeeze=False)[0]):
        part.suptitle(channel_title(c), fontsize=TITLE_SIZE)
        draw_channel(part, c, metrics, COLUMN_WIDTH_IN)
    return fig


# ---------------------------------------------------------------------------
# The PDF report

TABLE_LINE_IN = 0.148
TABLE_TOP_IN = 0.55
TABLE_LEFT_IN = 0.6
TABLE_CHANNELS_PER_PAGE = 4


def _value_text(v) -> str:
    if v.value is None or (isinstance(v.value, float) and math.isnan(v.value)):
        return "none"
    return f"{v.value:.6g}"


def _table_rows(channels):
    """("metric", name) and ("value", symbol, unit, [text per channel]) rows."""
    rows = []
    for m in metrics_of(channels):
        rows.append(("metric", m))
        seen = []
        for c in channels:
            r = c.results.get(m)
            for v in (r.single_values if r is not None else ()):
                if (v.key, v.symbol) not in [(k, s) for k, s, _ in seen]:
                    seen.append((v.key, v.symbol, v.unit))
        if not seen:
            rows.append(("value", "", "", ["failed" if m in c.errors else "" for c in channels]))
        for key, symbol, unit in seen:
            texts = []
            for c in channels:
                r = c.results.get(m)
                found = [v for v in (r.single_values if r is not None else ()) if v.key == key]
                texts.append(_value_text(found[0]) if found else
                             ("failed" if m in c.errors else ""))
            rows.append(("value", symbol, unit, texts))
    return rows


def _table_header_lines(channels, width_in):
    """(text, size, bold) lines above the table: file, calibration, each
    channel's level, then the warnings."""
    first = channels[0]
    lines = [(os.path.basename(first.path) + ": single values", TITLE_SIZE + 2, True)]
    for text in (f"file: {first.path}" + (f" ({first.format})" if first.format else ""),
                 f"calibration: {first.calibration.description}; {first.field} field"):
        lines += [(t, FONT_SIZE, False) for t in wrapped(text, width_in)]
    for c in channels:
        level = f"{c.level_db_spl:.2f} dB SPL (RMS)" if c.rms_pa > 0 else "silence"
        text = (f"channel {c.channel}: {level}, peak {c.peak_pa:.4g} Pa, "
                f"{analysed_duration_s(c):.4g} s analysed"
                + (f", resampled from {c.file_rate_hz} Hz to 48000 Hz" if c.resampled else ""))
        dc = getattr(c, "dc_offset_pa", None)
        if dc is not None:
            text += f", DC offset {dc:.3g} Pa"
        lines += [(t, FONT_SIZE, False) for t in wrapped(text, width_in)]
    warnings = [(c.channel, w) for c in channels for w in warnings_of(c)]
    lines.append(("warnings:" if warnings else "warnings: none", FONT_SIZE, True))
    for channel, w in warnings:
        lines += [(t, FONT_SIZE, False) for t in wrapped(f"channel {channel}: {w}", width_in)]
    return lines


def table_pages(channels: Sequence[ChannelAnalysis]):
    """The table of every single value of a file's channels, with units, the
    calibration and the warnings: one or more A4 Figures."""
    from matplotlib.figure import Figure

    width_in = A4_IN[0] - 2 * TABLE_LEFT_IN
    groups = [channels[i:i + TABLE_CHANNELS_PER_PAGE]
              for i in range(0, len(channels), TABLE_CHANNELS_PER_PAGE)] or [channels]
    pages = []
    for group in groups:
        header = _table_header_lines(group, width_in)
        rows = _table_rows(group)
        page = None
        y = 0.0
        for kind, *cells in [("header", h) for h in header] + [("gap",)] + [
                ("columns",)] + rows:
            if page is None or y > A4_IN[1] - TABLE_TOP_IN:
                page = Figure(figsize=A4_IN)
                pages.append(page)
                y = TABLE_TOP_IN
                if kind not in ("header", "gap", "columns") and len(pages) > 1:
                    y = _table_columns(page, group, y)
            if kind == "header":
                text, size, bold = cells[0]
                y += TABLE_LINE_IN * size / FONT_SIZE
                _put(page, TABLE_LEFT_IN, y, text, size=size, bold=bold)
            elif kind == "gap":
                y += TABLE_LINE_IN
            elif kind == "columns":
                y = _table_columns(page, group, y)
            elif kind == "metric":
                y += 1.3 * TABLE_LINE_IN
                _put(page, TABLE_LEFT_IN, y, cells[0], bold=True)
            else:
                y += TABLE_LINE_IN
                symbol, unit, texts = cells
                _put(page, TABLE_LEFT_IN + 0.2, y, symbol)
                for i, text in enumerate(texts):
                    _put(page, _value_x(i), y, text, ha="right")
                _put(page, _value_x(len(texts)) - 0.9, y, unit)
    return pages


def _value_x(i: int) -> float:
    """Right edge of value column i, in inches from the left of the page."""
    return TABLE_LEFT_IN + 2.4 + 1.4 * i


def _table_columns(page, group, y):
    y += TABLE_LINE_IN
    _put(page, TABLE_LEFT_IN, y, "metric, value", bold=True)
    for i, c in enumerate(group):
        _put(page, _value_x(i), y, f"channel {c.channel}", ha="right", bold=True)
    _put(page, _value_x(len(group)) - 0.9, y, "unit", bold=True)
    return y


def _put(page, x_in, y_in, text, size=FONT_SIZE, bold=False, ha="left"):
    """Text with its baseline y_in from the top of an A4 page."""
    page.text(x_in / A4_IN[0], 1.0 - y_in / A4_IN[1], text, fontsize=size, ha=ha,
              va="baseline", fontweight="bold" if bold else "normal")


def family_pages(c: ChannelAnalysis, metrics: Sequence[str]):
    """One A4 Figure per metric family the channel has, its panels stacked at
    the page's top, every page with the same columns."""
    from matplotlib.figure import Figure

    pages = []
    for title, family in FAMILIES:
        chosen = [m for m in family if m in metrics]
        if not chosen:
            continue
        page = Figure(figsize=A4_IN, layout="constrained")
        page.suptitle(f"{title}: " + channel_title(c), fontsize=TITLE_SIZE)
        used = sum(_heights(c, chosen, PDF_PANEL_HEIGHT_IN)) + 0.55 * len(
            [m for m in chosen if m in c.results]) * (1 + (title != "loudness and sharpness"))
        draw_channel(page, c, chosen, A4_IN[0], PDF_PANEL_HEIGHT_IN,
                     filler_in=max(A4_IN[1] - 0.8 - used, 0.05))
        pages.append(page)
    return pages


def report_pages(channels: Sequence[ChannelAnalysis]):
    """The PDF report's pages, one Figure at a time: per file its table
    pages, then per channel its family pages."""
    metrics = metrics_of(channels)
    for path in dict.fromkeys(c.path for c in channels):
        of_file = [c for c in channels if c.path == path]
        yield from table_pages(of_file)
        for c in of_file:
            yield from family_pages(c, metrics)


# ---------------------------------------------------------------------------
# Writing

def _suffix(output: str) -> str:
    suffix = os.path.splitext(output)[1].lower()
    if suffix not in OUTPUTS:
        raise ValueError(f"{output}: the report is written as .png, .pdf or .svg")
    return suffix


def write_pdf(channels: Sequence[ChannelAnalysis], output: str) -> str:
    from matplotlib.backends.backend_pdf import PdfPages

    with PdfPages(output) as pdf:
        for page in report_pages(channels):
            pdf.savefig(page)
    return output


def write_report(channels: Sequence[ChannelAnalysis], output) -> str:
    """Draws the report and saves it; the format follows the suffix (.png,
    .svg: one image; .pdf: A4 pages; .html or a folder ending in '/': the
    interactive pages of varnholt.html_report)."""
    output = os.fspath(output)
    from .html_report import is_html_output, write_html_report

    if is_html_output(output):
        return write_html_report(channels, output)
    if _suffix(output) == ".pdf":
        return write_pdf(channels, output)
    report_figure(channels).savefig(output, dpi=100)
    return output


def numbered(output: str, number: int) -> str:
    """report.png -> report-1.png, report-2.png, ..."""
    stem, suffix = os.path.splitext(output)
    return f"{stem}-{number}{suffix}"


def write_reports(groups: Sequence[Sequence[ChannelAnalysis]], output) -> list[str]:
    """The reports of several files (each a list of channels). PDF: all in
    one file, page after page. PNG and SVG: one image per file, numbered
    (report-1.png, report-2.png, ...) when there is more than one file."""
    output = os.fspath(output)
    suffix = _suffix(output)
    if suffix == ".pdf":
        return [write_pdf([c for g in groups for c in g], output)]
    if len(groups) == 1:
        return [write_report(groups[0], output)]
    return [write_report(g, numbered(output, i)) for i, g in enumerate(groups, 1)]
