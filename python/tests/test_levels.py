"""Sound levels and third-octave band levels of signals of known level, and
their plot."""

import matplotlib.pyplot as plt
import numpy as np
import pytest

import varnholt

from conftest import sine

# The A and C weightings are 0 dB at 1 kHz and the filters settle within a few
# milliseconds, so 0.5 s of a 94 dB tone reads 94 dB to well within 0.01 dB.
SETTLED_DB = 0.01
# Sampling a 1 kHz sine at 48 kHz misses its crest by at most 0.02 dB.
CREST_SAMPLING_DB = 0.02


@pytest.fixture(scope="module")
def calibrator():
    return varnholt.levels(sine(1000.0, 94.0, 0.5))


@pytest.mark.parametrize("symbol", ["LAeq", "LCeq", "LZeq"])
def test_a_94_db_calibrator_tone_reads_94_db(calibrator, symbol):
    assert getattr(calibrator, symbol) == pytest.approx(94.0, abs=SETTLED_DB)
    assert calibrator.units[symbol] == "dB"


def test_the_peak_is_the_crest_and_the_band_is_the_1_khz_band(calibrator):
    # Switched on abruptly, the tone overshoots its crest by 0.3 dB through the
    # C weighting's high-pass near 20 Hz; faded in over 10 ms it does not.
    x = sine(1000.0, 94.0, 0.5)
    faded_in = varnholt.levels(x * np.minimum(1.0, np.arange(x.size) / 480.0))
    crest = 94.0 + 20 * np.log10(np.sqrt(2.0))
    assert crest - CREST_SAMPLING_DB - SETTLED_DB <= faded_in.LCpeak <= crest + SETTLED_DB
    band = int(np.argmax(calibrator.band_levels))
    assert calibrator.frequency[band] == 1000.0
    assert calibrator.band_levels.shape == calibrator.frequency.shape == (28,)
    assert calibrator.units["frequency"] == "Hz" and calibrator.units["band_levels"] == "dB"


def test_the_plot_draws_the_band_levels(calibrator):
    try:
        ax = calibrator.plot()
        np.testing.assert_allclose([p.get_y() + p.get_height() for p in ax.patches],
                                   calibrator.band_levels, rtol=1e-12)
        assert ax.get_xscale() == "log"
        legend = [t.get_text() for a in ax.figure.axes if a.get_legend()
                  for t in a.get_legend().get_texts()]
        for symbol in ("LAeq", "LCeq", "LZeq", "LAFmax", "LASmax", "LCpeak"):
            assert any(t.startswith(f"{symbol} = ") for t in legend)
    finally:
        plt.close("all")
