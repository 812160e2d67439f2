"""Reports as a reader sees them: the time axes of a page line up, nothing
is cut off, legends cover no data, a failed metric is one line, the PDF is
A4 pages, and plot reads what the tool writes for one input and for many."""

import re
import subprocess
import sys
from dataclasses import replace

import matplotlib.pyplot as plt
import numpy as np
import pytest
from matplotlib.axes import Axes
from matplotlib.backends.backend_agg import FigureCanvasAgg
from matplotlib.image import imread
from matplotlib.legend import Legend
from matplotlib.text import Text

import varnholt
from varnholt.plots import max_per_column, min_max_envelope
from varnholt.static_report import A4_IN, report_figure, report_pages
from varnholt.tool_json import channels_from_tool_json

from conftest import am_tone, sine

# Positions are compared in figure coordinates after one draw: equal means
# equal to round-off of the layout arithmetic.
POSITION_TOLERANCE = 1e-9
# A text may touch the figure's edge to within a pixel of anti-aliasing.
EDGE_TOLERANCE_PX = 1.0


def run(*args):
    return subprocess.run([sys.executable, "-m", "varnholt", *args], capture_output=True,
                          text=True)


def drawn(fig):
    """The figure laid out and drawn once, and its renderer."""
    if not getattr(fig, "drawn_for_test", False):
        if not isinstance(fig.canvas, FigureCanvasAgg):
            FigureCanvasAgg(fig)
        fig.canvas.draw()
        fig.drawn_for_test = True
    return fig, fig.canvas.get_renderer()


def parts(fig):
    """The channel columns of a one-image report, or the figure itself (a page)."""
    return fig.subfigs or [fig]


def data_axes(part):
    """Axes that show data: axis lines on, not a colour bar, not a twin."""
    out = []
    for ax in part.axes:
        if ax.axison and ax.get_label() != "<colorbar>" and not any(
                o is not ax and o.bbox.bounds == ax.bbox.bounds for o in out):
            out.append(ax)
    return out


def time_axes(part):
    return [ax for ax in data_axes(part) if ax.get_xlabel() == "time in s"]


def tick_labels(fig):
    labels = set()
    for ax in fig.findobj(Axes):
        for axis in (ax.xaxis, ax.yaxis):
            labels.update(id(t) for t in axis.get_ticklabels(which="both"))
    return labels


def assert_nothing_cut_off(fig):
    fig, renderer = drawn(fig)
    width, height = fig.bbox.width, fig.bbox.height
    ticks = tick_labels(fig)
    texts = [t for t in fig.findobj(Text) if t.get_visible() and t.get_text().strip()
             and id(t) not in ticks]
    for t in texts:
        box = t.get_window_extent(renderer)
        assert (box.x0 >= -EDGE_TOLERANCE_PX and box.y0 >= -EDGE_TOLERANCE_PX
                and box.x1 <= width + EDGE_TOLERANCE_PX and box.y1 <= height + EDGE_TOLERANCE_PX), \
            f"{t.get_text()!r} at {box} outside the figure {width} x {height}"
    # Tick labels, colour bars and insets: everything drawn.
    box = fig.get_tightbbox(renderer)
    assert box.x0 >= -0.01 and box.y0 >= -0.01
    assert box.x1 <= fig.get_figwidth() + 0.01 and box.y1 <= fig.get_figheight() + 0.01


def assert_time_axes_line_up(fig, duration) -> int:
    """Returns the number of time axes checked (a page of sound levels has none)."""
    fig, _ = drawn(fig)
    count = 0
    for part in parts(fig):
        axes = time_axes(part)
        count += len(axes)
        for ax in axes:
            assert ax.get_xlim() == pytest.approx((0.0, duration), abs=POSITION_TOLERANCE)
            first = axes[0].get_position()
            box = ax.get_position()
            assert (box.x0, box.x1) == pytest.approx((first.x0, first.x1), abs=POSITION_TOLERANCE)
    return count


def assert_legends_cover_no_data(fig):
    fig, renderer = drawn(fig)
    legends = fig.findobj(Legend)
    assert legends
    boxes = [ax.get_window_extent(renderer) for part in parts(fig) for ax in data_axes(part)]
    for legend in legends:
        extent = legend.get_window_extent(renderer)
        for box in boxes:
            assert not extent.overlaps(box), f"legend {extent} over the data of {box}"


# ---------------------------------------------------------------------------
# Reduction to the display

@pytest.mark.parametrize("n,columns", [(10, 100), (1000, 7), (90000, 1400), (33751, 512)])
def test_the_envelope_keeps_the_extremes_within_two_points_per_column(n, columns):
    rng = np.random.default_rng(n)
    t = np.arange(n) * 0.002
    x = rng.standard_normal(n)
    x[n // 3] = 50.0  # one-frame spikes, up and down
    x[2 * n // 3] = -40.0
    et, ex = min_max_envelope(t, x, columns)
    assert ex.size <= max(2 * columns, n)
    assert ex.size <= 2 * columns or ex.size == n
    assert np.max(ex) == 50.0 and np.min(ex) == -40.0
    assert np.all(np.diff(et) >= 0)
    assert set(zip(et.tolist(), ex.tolist())) <= set(zip(t.tolist(), x.tolist()))


def test_the_envelope_keeps_gaps():
    x = np.ones(1000)
    x[400:600] = np.nan
    _, ex = min_max_envelope(np.arange(1000.0), x, 50)
    assert np.isnan(ex).any() and np.nanmax(ex) == 1.0


def test_an_image_is_reduced_to_the_largest_value_per_column():
    rng = np.random.default_rng(3)
    values = rng.random((33751, 53))
    values[12345, 7] = 9.0
    time = np.arange(values.shape[0]) * 256 / 48000
    edges, reduced = max_per_column(time, values, 500)
    assert reduced.shape == (500, 53) or reduced.shape[0] < 500
    assert edges.size == reduced.shape[0] + 1
    assert reduced[:, 7].max() == 9.0
    np.testing.assert_array_equal(reduced.max(axis=0), values.max(axis=0))


def test_a_long_image_is_drawn_at_the_display_width():
    frames = 33751  # 3 minutes of ECMA-418-2 tonality
    planes = np.zeros((5, frames, varnholt.results.ECMA_BAND_COUNT))
    planes[3, ::50, 10] = 1.0
    planes[2, ::50, 10] = 440.0
    r = varnholt.EcmaTonality.from_arrays("free", planes)
    top, bottom = r.plot()
    drawn_values = np.asarray(bottom.collections[0].get_array())
    columns = int(bottom.bbox.width / bottom.figure.dpi * varnholt.plots.COLUMNS_PER_INCH)
    assert drawn_values.size <= columns * 53
    assert drawn_values.max() == 1.0
    assert top.get_lines()[0].get_xdata().size <= 2 * columns


# ---------------------------------------------------------------------------
# Layout

@pytest.fixture(scope="module")
def music(tmp_path_factory):
    """2 s of stereo 44.1 kHz: notes with gaps, one modulated, over noise."""
    import soundfile

    rate = 44100
    rng = np.random.default_rng(7)
    left = np.concatenate([sine(440.0, 70.0, 0.6, rate), np.zeros(rate // 5),
                           am_tone(1000.0, 70.0, 70.0, 0.7, rate), np.zeros(rate // 2)])
    right = np.concatenate([np.zeros(rate // 4), sine(300.0, 65.0, 1.2, rate),
                            np.zeros(left.size - rate // 4 - int(1.2 * rate))])
    noise = 2e-4 * rng.standard_normal((2, left.size))
    path = tmp_path_factory.mktemp("music") / "music.wav"
    soundfile.write(path, np.stack([left, right]).T + noise.T, rate, subtype="FLOAT")
    return path


@pytest.fixture(scope="module")
def analysed(music):
    return varnholt.analyze(music)


@pytest.fixture(scope="module")
def from_tool(tool, music, tmp_path_factory):
    """The tool's JSON of the music file (sound levels among the metrics)."""
    out = tmp_path_factory.mktemp("json") / "music.json"
    subprocess.run([tool, "--json", str(out), str(music)], check=True,
                   stdout=subprocess.DEVNULL)
    return out


@pytest.fixture(scope="module")
def short(tmp_path_factory):
    """0.14 s: too short for roughness, Aures tonality and both ECMA-418-2 metrics."""
    import soundfile

    path = tmp_path_factory.mktemp("short") / "short.wav"
    soundfile.write(path, sine(1000.0, 70.0, 0.14, 48000), 48000, subtype="FLOAT")
    return path


@pytest.fixture(scope="module")
def drawn_reports(analysed, from_tool, short):
    """Per source: its channels, the one-image report and the PDF pages, each drawn once."""
    out = {}
    sources = (("analysed", analysed), ("from_tool", channels_from_tool_json(from_tool)),
               ("short", varnholt.analyze(short)))
    for name, channels in sources:
        out[name] = channels, [drawn(f)[0] for f in [report_figure(channels)]
                               + list(report_pages(channels))]
    return out


def test_display_rows_draw_what_every_frame_draws_where_every_frame_draws_it(music):
    """A report keeps its per-band arrays at display resolution: the rows
    keep every peak, and the image spans the frames' own time range."""
    metrics = "loudness-time,ecma-tonality,ecma-roughness"
    full = varnholt.analyze(music, channel=1, metrics=metrics, bands=True)[0]
    shown = varnholt.analyze(music, channel=1, metrics=metrics, bands=True, band_rows=64)[0]
    for metric, attr in (("loudness-time", "specific"), ("ecma-tonality", "specific_tonality"),
                         ("ecma-roughness", "specific_roughness")):
        f, s = full[metric], shown[metric]
        np.testing.assert_array_equal(s.time, f.time)
        rows = getattr(s, attr)
        assert 32 <= rows.shape[0] <= 64 and rows.shape[0] == s.band_time.size
        np.testing.assert_array_equal(rows.max(axis=0), getattr(f, attr).max(axis=0))
        edges = [r.plot()[1].collections[0].get_coordinates()[0, :, 0] for r in (f, s)]
        row_step = s.band_time[1] - s.band_time[0]
        # Both start half a frame before the first frame (to the last bit of
        # the mean of frame times), and end within one row of each other.
        assert edges[1][0] == pytest.approx(edges[0][0], abs=1e-12)
        assert abs(edges[1][-1] - edges[0][-1]) <= row_step
        plt.close("all")


@pytest.mark.parametrize("source", ["analysed", "from_tool"])
def test_every_time_axis_of_a_page_spans_the_analysed_duration_at_the_same_width(
        drawn_reports, source):
    channels, figures = drawn_reports[source]
    counts = [assert_time_axes_line_up(fig, channels[0].samples / 48000) for fig in figures]
    # The image: per channel, 6 series and 3 images; the PDF: a table page,
    # then per channel the pages of loudness and sharpness (S(t)), of
    # time-varying loudness, roughness and tonality (a series of each kind
    # and an image), and of sound levels (none: against frequency).
    assert counts[0] == 9 * len(channels)
    family = [1, 2, 3, 3, 0]
    assert counts[1:] == [0] + family * len(channels)


@pytest.mark.parametrize("source", ["analysed", "from_tool", "short"])
def test_nothing_is_cut_off(drawn_reports, source):
    for fig in drawn_reports[source][1]:
        assert_nothing_cut_off(fig)


def test_legends_cover_no_data(drawn_reports):
    for fig in drawn_reports["from_tool"][1]:
        if fig.axes or fig.subfigs:
            assert_legends_cover_no_data(fig)


def test_a_result_plotted_alone_has_its_panels_aligned(analysed):
    top, bottom = analysed[0]["ecma-tonality"].plot()
    fig, _ = drawn(top.figure)
    assert top.get_xlim() == bottom.get_xlim()
    assert top.get_position().x0 == pytest.approx(bottom.get_position().x0)
    assert top.get_position().x1 == pytest.approx(bottom.get_position().x1)
    assert_legends_cover_no_data(fig)


def test_a_failed_metric_is_one_line_and_shrinks_no_panel(drawn_reports):
    """The panels of a short file whose metrics partly fail are as wide and as
    high as those of the same results without the failures."""
    failing = drawn_reports["short"][0]
    assert {"roughness", "tonality", "ecma-tonality", "ecma-roughness"} <= set(failing[0].errors)
    without = [replace(c, errors={}) for c in failing]
    sizes = {}
    for name, fig in (("failing", drawn_reports["short"][1][0]),
                      ("without", drawn(report_figure(without))[0])):
        part = fig.subfigs[0]
        sizes[name] = [ax.bbox.size for ax in data_axes(part)]
        if name == "failing":
            renderer = fig.canvas.get_renderer()
            lines = [t for ax in part.axes for t in ax.texts if "failed" in t.get_text()]
            assert len(lines) == len(failing[0].errors)
            for t in lines:
                assert "\n" not in t.get_text()
                assert t.get_window_extent(renderer).height < 2 * t.get_fontsize() * fig.dpi / 72
    assert len(sizes["failing"]) == len(sizes["without"]) == 5
    failing, without = np.array(sizes["failing"]), np.array(sizes["without"])
    np.testing.assert_allclose(failing[:, 0], without[:, 0], rtol=POSITION_TOLERANCE)
    # The figure's height is the panels' plus an estimate of the titles and
    # labels between them; the layout spreads the estimate's error.
    np.testing.assert_allclose(failing[:, 1], without[:, 1], rtol=0.05)


def test_the_pdf_is_a4_pages_a_table_then_one_page_per_metric_family(from_tool, tmp_path):
    out = tmp_path / "report.pdf"
    done = run("plot", str(from_tool), "-o", str(out), "--channel", "1")
    assert done.returncode == 0, done.stderr
    pdf = out.read_bytes()
    # One table page, then loudness and sharpness, time-varying loudness,
    # roughness, tonality, sound levels.
    assert len(re.findall(rb"/Type\s*/Page\b", pdf)) == 6
    sizes = set(re.findall(rb"/MediaBox\s*\[\s*0 0 ([\d.]+) ([\d.]+)\s*\]", pdf))
    assert sizes == {(b"%g" % (A4_IN[0] * 72), b"%g" % (A4_IN[1] * 72))}


def test_the_table_page_holds_every_single_value_with_its_unit(drawn_reports):
    channels, figures = drawn_reports["from_tool"]
    table = figures[1]
    texts = [t.get_text() for t in table.texts]
    for c in channels:
        assert any(f"channel {c.channel}" in t for t in texts)
        for r in c.results.values():
            for v in r.single_values:
                assert v.symbol in texts
                assert f"{v.value:.6g}" in texts
                assert not v.unit or v.unit in texts
    assert any(c.calibration.description in t for t in texts for c in channels[:1])
    assert any(t.startswith("warnings") for t in texts)


def test_the_report_draws_the_sound_levels_of_the_tool(drawn_reports):
    channels, figures = drawn_reports["from_tool"]
    levels = channels[0]["levels"]
    fig = figures[0]
    bars = [ax for ax in data_axes(fig.subfigs[0]) if ax.get_xscale() == "log"][0]
    np.testing.assert_allclose([p.get_y() + p.get_height() for p in bars.patches],
                               levels.band_levels, rtol=1e-12)
    assert "LAeq" in bars.get_title()


# ---------------------------------------------------------------------------
# The command line

@pytest.fixture(scope="module")
def silent(tmp_path_factory):
    import soundfile

    path = tmp_path_factory.mktemp("silent") / "silent.wav"
    soundfile.write(path, np.zeros((48000, 2)), 48000, subtype="PCM_16")
    return path


def test_a_channel_with_nothing_tonal_is_drawn_from_the_command_line(tool, silent, tmp_path):
    done = run("report", str(silent), "-o", str(tmp_path / "report.png"), "--metrics",
               "ecma-tonality")
    assert done.returncode == 0, done.stderr
    result = tmp_path / "silent.json"
    subprocess.run([tool, "--metrics", "ecma-tonality", "--json", str(result), str(silent)],
                   check=True, stdout=subprocess.DEVNULL)
    done = run("plot", str(result), "-o", str(tmp_path / "plot.pdf"))
    assert done.returncode == 0, done.stderr
    assert (tmp_path / "report.png").stat().st_size > 0
    assert (tmp_path / "plot.pdf").read_bytes()[:4] == b"%PDF"


@pytest.fixture(scope="module")
def json_lines(tool, music, short, tmp_path_factory):
    """The tool's JSON Lines of two files: one line per file and channel."""
    out = tmp_path_factory.mktemp("lines") / "results.jsonl"
    subprocess.run([tool, "--metrics", "levels,loudness,roughness", "--json", str(out),
                    str(music), str(short)], stdout=subprocess.DEVNULL)
    assert len(out.read_text().splitlines()) == 3
    return out


# (options, files written, channels drawn in each)
PICKS = [
    ((), ["report-1.png", "report-2.png"], [2, 1]),
    (("--channel", "2"), ["report.png"], [1]),
    (("--file", "MUSIC"), ["report.png"], [2]),
    (("--file", "MUSIC", "--channel", "1"), ["report.png"], [1]),
]


@pytest.mark.parametrize("options,written,columns", PICKS)
def test_plot_reads_json_lines(json_lines, music, tmp_path, options, written, columns):
    options = [str(music) if o == "MUSIC" else o for o in options]
    out = tmp_path / "report.png"
    done = run("plot", str(json_lines), "-o", str(out), *options)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == [str(tmp_path / name) for name in written]
    for name, count in zip(written, columns):
        image = imread(tmp_path / name)
        # One column of 9 inches per channel at 100 dpi.
        assert image.shape[1] == count * 900


def test_plot_writes_every_file_of_json_lines_into_one_pdf(json_lines, tmp_path):
    out = tmp_path / "all.pdf"
    done = run("plot", str(json_lines), "-o", str(out))
    assert done.returncode == 0, done.stderr
    # Per file a table page, then per channel loudness and sharpness,
    # roughness (Daniel and Weber; failed for the short file), sound levels.
    assert len(re.findall(rb"/Type\s*/Page\b", out.read_bytes())) == (1 + 2 * 3) + (1 + 3)


def test_plot_names_what_it_cannot_find(json_lines, tmp_path):
    done = run("plot", str(json_lines), "-o", str(tmp_path / "r.png"), "--channel", "5")
    assert done.returncode == 2 and "holds no channel 5" in done.stderr
