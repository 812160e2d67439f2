"""Every plot draws the result's own arrays, with quantities and units on
the axes; the report renders to PNG and PDF."""

import matplotlib.pyplot as plt
import numpy as np
import pytest

import varnholt


@pytest.fixture(scope="module")
def results(tone):
    return {
        "loudness": varnholt.loudness(tone),
        "loudness-time": varnholt.loudness_time(tone),
        "sharpness": varnholt.sharpness(tone),
        "roughness": varnholt.roughness_dw(tone),
        "tonality": varnholt.tonality_aures(tone),
        "ecma-tonality": varnholt.ecma_tonality(tone),
        "ecma-roughness": varnholt.ecma_roughness(tone),
    }


@pytest.fixture(autouse=True)
def close_figures():
    yield
    plt.close("all")


def line_data(ax, index=0):
    x, y = ax.get_lines()[index].get_data()
    return np.asarray(x), np.asarray(y)


def image_data(ax):
    return np.asarray(ax.collections[0].get_array()).reshape(-1)


# (metric, x array, y array, x label, y label) of the single-panel plots and
# of the upper panel of the two-panel ones.
SERIES = [
    ("loudness", "bark", "specific", "critical-band rate in Bark",
     "specific loudness N' in sone/Bark"),
    ("loudness-time", "time", "loudness", "time in s", "loudness N in sone"),
    ("sharpness", "time", "sharpness", "time in s", "sharpness S(t) in acum"),
    ("roughness", "time", "roughness", "time in s", "roughness R in asper"),
    ("tonality", "time", "tonality", "time in s", "tonality K"),
    ("ecma-tonality", "time", "tonality", "time in s", "tonality T in tu_HMS"),
    ("ecma-roughness", "time", "roughness", "time in s", "roughness R in asper_HMS"),
]


@pytest.mark.parametrize("metric,x,y,xlabel,ylabel", SERIES, ids=[s[0] for s in SERIES])
def test_series_plots_draw_the_result_arrays(results, metric, x, y, xlabel, ylabel):
    r = results[metric]
    drawn = r.plot()
    ax = drawn[0] if isinstance(drawn, tuple) else drawn
    got_x, got_y = line_data(ax)
    np.testing.assert_array_equal(got_x, getattr(r, x))
    np.testing.assert_array_equal(got_y, getattr(r, y))
    assert (ax.get_xlabel(), ax.get_ylabel()) == (xlabel, ylabel)


# Marked single values: (metric, symbol) drawn as a horizontal line.
MARKED = [("loudness-time", "N5"), ("sharpness", "S"), ("roughness", "R_mean"),
          ("tonality", "K_mean"), ("ecma-tonality", "T_mean"), ("ecma-roughness", "R_p90")]


@pytest.mark.parametrize("metric,symbol", MARKED)
def test_single_values_are_marked(results, metric, symbol):
    r = results[metric]
    drawn = r.plot()
    ax = drawn[0] if isinstance(drawn, tuple) else drawn
    levels = [line.get_ydata()[0] for line in ax.get_lines()[1:]]
    assert getattr(r, symbol) in levels


def test_loudness_maximum_is_marked_at_its_frame(results):
    r = results["loudness-time"]
    top, _ = r.plot()
    marker = [line for line in top.get_lines() if line.get_marker() == "v"][0]
    assert marker.get_ydata()[0] == r.N_max
    assert marker.get_xdata()[0] == r.time[np.argmax(r.loudness)]


# (metric, band-array attribute, band axis label)
IMAGES = [("loudness-time", "specific", "critical-band rate in Bark"),
          ("ecma-tonality", "specific_tonality", "band centre frequency in Hz"),
          ("ecma-roughness", "specific_roughness", "band centre frequency in Hz")]


@pytest.mark.parametrize("metric,attribute,ylabel", IMAGES, ids=[i[0] for i in IMAGES])
def test_images_draw_time_by_band(results, metric, attribute, ylabel):
    r = results[metric]
    _, bottom = r.plot()
    np.testing.assert_array_equal(image_data(bottom), getattr(r, attribute).T.reshape(-1))
    assert (bottom.get_xlabel(), bottom.get_ylabel()) == ("time in s", ylabel)
    colourbar = bottom.collections[0].colorbar.ax
    assert r.units[attribute] in colourbar.get_title(loc="left")


def test_ecma_band_ticks_are_the_band_centre_frequencies(results):
    r = results["ecma-tonality"]
    _, bottom = r.plot()
    ticks = bottom.get_yticks()
    labels = [t.get_text() for t in bottom.get_yticklabels()]
    for tick, label in zip(ticks, labels):
        band = int(np.flatnonzero(r.band == tick)[0])
        assert label == f"{r.band_hz[band]:.0f}"


def twin_of(top):
    return [ax for ax in top.figure.axes if ax is not top and ax.bbox.bounds == top.bbox.bounds][0]


def test_the_tonal_frequency_is_drawn_above_the_tonality(results):
    r = results["ecma-tonality"]
    top, _ = r.plot()
    twin = twin_of(top)
    x, y = line_data(twin)
    tonal = (r.tonality > 0) & (r.tonal_frequency > 0)
    assert tonal.any()
    np.testing.assert_array_equal(x, r.time[tonal])
    np.testing.assert_array_equal(y, r.tonal_frequency[tonal])
    assert twin.get_ylabel() == "tonal frequency in Hz"


def test_tonal_frequencies_are_drawn_only_where_a_tonal_component_is(results):
    """Frames of no tonality, of frequency 0 and of no frequency (NaN) give no dot."""
    frames = 64  # past the 0.3 s the single values leave out
    planes = np.zeros((5, frames, varnholt.results.ECMA_BAND_COUNT))
    planes[3, :12, 20] = [0, 0.5, 0.5, 0.5, 0, 0.7, 0.7, 0.2, 0, 0, 0.3, 0.3]
    planes[2, :12, 20] = [900, 800, 0, np.nan, 700, 600, 600, 500, np.nan, 0, 400, 300]
    r = varnholt.EcmaTonality.from_arrays("free", planes)
    top, _ = r.plot()
    x, y = line_data(twin_of(top))
    np.testing.assert_array_equal(x, r.time[[1, 5, 6, 7, 10, 11]])
    np.testing.assert_array_equal(y, [800, 600, 600, 500, 400, 300])


def test_a_channel_with_nothing_tonal_draws_no_tonal_frequency():
    r = varnholt.ecma_tonality(np.zeros(48000))
    top, bottom = r.plot()
    x, _ = line_data(twin_of(top))
    assert x.size == 0
    assert "no tonal component" in top.get_title()
    np.testing.assert_array_equal(line_data(top)[1], r.tonality)


def test_plots_draw_into_given_axes(results):
    fig, axes = plt.subplots(2, 1)
    assert results["roughness"].plot(axes[0]) is axes[0]
    assert results["ecma-roughness"].plot(axes) == tuple(axes)
    with pytest.raises(ValueError, match="pair of Axes"):
        results["loudness-time"].plot(axes[0])


@pytest.mark.parametrize("suffix,magic", [(".png", b"\x89PNG"), (".pdf", b"%PDF")])
def test_the_report_renders(tmp_path, stereo_44k1, suffix, magic):
    from varnholt.static_report import write_report

    channels = varnholt.analyze(stereo_44k1, metrics="loudness,roughness,ecma-tonality",
                                calibration={"full_scale_spl": 100}, channel=1, bands=True)
    out = write_report(channels, tmp_path / f"report{suffix}")
    with open(out, "rb") as f:
        assert f.read(4) == magic
