"""The recording behind docs/html-report.png: 10 s of a motor's hum with a
whine, and a rattle from 6 s to 7.5 s, written as an interactive HTML report.

Run from the repository (with the library built):
  VARNHOLT_LIBRARY=build/src/libvarnholt.so.1 PYTHONPATH=python \
    python3 docs/html_report_example.py OUT_FOLDER
"""

import sys
from pathlib import Path

import numpy as np
import soundfile

import varnholt

RATE = 48000


def pressure(db):
    """Peak of a sine at `db` dB SPL, in pascal."""
    return np.sqrt(2) * 2e-5 * 10 ** (db / 20)


def recording(seconds=10.0):
    rng = np.random.default_rng(42)
    t = np.arange(int(seconds * RATE)) / RATE
    hum = sum(pressure(62 - 4 * k) * np.sin(2 * np.pi * 120 * (k + 1) * t) for k in range(6))
    whine = pressure(55) * np.sin(2 * np.pi * 2200 * t) * np.clip(t - 3.0, 0, 1)
    # The rattle: short bursts of noise 14 times a second, between 6 and 7.5 s.
    bursts = (np.sin(2 * np.pi * 14 * t) > 0.7) * (t >= 6.0) * (t < 7.5)
    rattle = pressure(68) / np.sqrt(2) * bursts * rng.standard_normal(t.size)
    return hum + whine + rattle


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    out.mkdir(parents=True, exist_ok=True)
    wav = out / "motor-take.wav"
    soundfile.write(wav, recording(), RATE, subtype="FLOAT")  # pascal, --scale 1
    print(varnholt.report(wav, out / "motor-take.html"))


if __name__ == "__main__":
    main()
