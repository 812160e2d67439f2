"""Shared fixtures: signals written as physics, the built tool, test files.

VARNHOLT_LIBRARY names the library under test; VARNHOLT_TOOL the varnholt
program whose results Python must reproduce (both set by scripts/test.sh).
"""

import os
import shutil
from pathlib import Path

import matplotlib
import numpy as np
import pytest

matplotlib.use("Agg")  # headless: no display, no window

RATE = 48000
REFERENCE_PA = 2e-5
ROOT = Path(__file__).resolve().parents[2]


def sine(frequency_hz, level_db, seconds, rate=RATE):
    """A sine of the given SPL: peak sqrt(2) * 20 uPa * 10^(L/20)."""
    t = np.arange(int(round(seconds * rate))) / rate
    return np.sqrt(2.0) * REFERENCE_PA * 10 ** (level_db / 20) * np.sin(2 * np.pi * frequency_hz * t)


def am_tone(carrier_hz, modulation_hz, level_db, seconds, rate=RATE):
    """A fully amplitude-modulated tone: rough and tonal at once."""
    t = np.arange(int(round(seconds * rate))) / rate
    return sine(carrier_hz, level_db, seconds, rate) * (1 + np.sin(2 * np.pi * modulation_hz * t))


@pytest.fixture(scope="session")
def tone():
    """0.5 s of a 1 kHz tone at 70 dB SPL modulated at 70 Hz: long enough for every metric."""
    return am_tone(1000.0, 70.0, 70.0, 0.5)


@pytest.fixture(scope="session")
def tool():
    path = os.environ.get("VARNHOLT_TOOL") or shutil.which("varnholt")
    if not path:
        pytest.fail("set VARNHOLT_TOOL to the built varnholt program")
    return path


@pytest.fixture(scope="session")
def stereo_44k1(tmp_path_factory):
    """A 16-bit stereo WAV at 44.1 kHz: a rough tone left, a plain tone right."""
    import soundfile

    seconds, rate = 0.6, 44100
    left = am_tone(1000.0, 70.0, 80.0, seconds, rate)
    right = sine(500.0, 70.0, seconds, rate)
    path = tmp_path_factory.mktemp("audio") / "stereo44k1.wav"
    # Full scale = 1 Pa (--scale 1), well above the peaks.
    soundfile.write(path, np.stack([left, right], axis=1), rate, subtype="PCM_16")
    return path
