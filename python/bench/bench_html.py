"""What the interactive HTML report costs to write, how large it gets and how
fast it draws.

  1. A 3-minute stereo recording (a rough tone with a rattle from 1:40 on
     the left, a tone over noise on the right), analysed with every metric
     as a report analyses it (per-band arrays at display rows), then written as one page (both channels) and as a folder (a page per
     channel): the time and the peak of Python's allocations (tracemalloc,
     numpy included) of the writing alone, and the sizes.
  2. A 60-minute mono channel whose result objects are synthesised with
     every array at one row per frame (the bands as strided views of one
     random buffer), as results read from the tool's JSON have them, and
     written as a page; its sound would be linked, an hour being far over
     the embedding limit. (bench_report.py writes the page of a real hour.)
  3. Both pages in headless Chromium: the time to build the page (parse the
     data, draw every panel) and the time of one zoom step (all time panels
     set to a new span and redrawn), from the timings the page records in
     varnholtPage.timings; the median of ZOOM_STEPS steps in and out.

Run: VARNHOLT_LIBRARY=build/.../libvarnholt.so.1 PYTHONPATH=python \
     python3 python/bench/bench_html.py [work folder [more pages to time ...]]
"""

import os
import statistics
import sys
import tempfile
import time
import tracemalloc
from pathlib import Path

import numpy as np
import soundfile

import varnholt
from varnholt import html_report
from varnholt import single_values as sv
from varnholt.analysis import DISPLAY_BAND_ROWS, ChannelAnalysis
from varnholt.calibration import Calibration
from varnholt.results import (EcmaRoughness, EcmaTonality, Loudness, LoudnessTime, RoughnessDW,
                              Sharpness, TonalityAures, ecma_band_axis, ecma_band_centres_hz)

RATE = 48000
ZOOM_STEPS = 40


def take(seconds):
    """Stereo in pascal: left a 1 kHz tone at 70 dB SPL modulated at 70 Hz with
    a rattle (bursts of noise 8 times a second) from 100 s on; right a 500 Hz
    tone at 65 dB SPL over noise at 55 dB SPL."""
    rng = np.random.default_rng(5)
    t = np.arange(int(seconds * RATE)) / RATE
    p = lambda db: np.sqrt(2) * 2e-5 * 10 ** (db / 20)
    left = p(70) * np.sin(2 * np.pi * 1000 * t) * (1 + np.sin(2 * np.pi * 70 * t)) / 2
    rattle = (t >= 100) * (np.sin(2 * np.pi * 8 * t) > 0.8) * rng.standard_normal(t.size)
    left += p(72) / np.sqrt(2) * rattle
    right = p(65) * np.sin(2 * np.pi * 500 * t) + p(55) / np.sqrt(2) * rng.standard_normal(t.size)
    return np.stack([left, right], axis=1)


def timed_write(write):
    tracemalloc.start()
    start = time.perf_counter()
    path = write()
    elapsed = time.perf_counter() - start
    peak = tracemalloc.get_traced_memory()[1]
    tracemalloc.stop()
    return path, elapsed, peak


def strided(buffer, frames, bands):
    """A read-only (frames, bands) view whose row i is buffer[i : i + bands]:
    band patterns of the real shape in the memory of one series."""
    return np.lib.stride_tricks.as_strided(buffer, shape=(frames, bands),
                                           strides=(buffer.strides[0], buffer.strides[0]),
                                           writeable=False)


def synthetic_hour(seconds=3600.0):
    """Result objects of every metric for `seconds` of one channel."""
    rng = np.random.default_rng(9)
    wobble = lambda n, mean, depth: np.abs(mean + depth * np.cumsum(rng.standard_normal(n))
                                           / np.sqrt(n) + 0.1 * depth * rng.standard_normal(n))
    buffer = np.abs(rng.standard_normal(int(seconds * 500) + 512))  # one value per 2 ms frame
    n_lt = int(seconds / LoudnessTime.hop_s)
    loudness = wobble(n_lt, 12.0, 4.0)
    bark = np.arange(1, 241) / 10.0
    lt = LoudnessTime("free", sv.frame_times(n_lt, 0.0, LoudnessTime.hop_s), loudness, bark,
                      strided(buffer, n_lt, 240), sv.loudness_time_values(loudness))
    sharp = Sharpness("free", lt.time, wobble(n_lt, 1.6, 0.3), sv.sharpness_values(1.6))
    rough = RoughnessDW.from_arrays(wobble(int(seconds * 10) - 1, 0.8, 0.2))
    tonal = TonalityAures.from_arrays("free", wobble(int(seconds * 8) - 1, 0.3, 0.1))
    n_et = int(seconds * RATE / 256)
    time_et = sv.frame_times(n_et, 0.0, EcmaTonality.hop_s)
    t_et = wobble(n_et, 1.0, 0.3)
    f_et = np.where(rng.random(n_et) < 0.2, np.nan, 1000.0 + 50 * rng.standard_normal(n_et))
    n_et_l = wobble(n_et, 5.0, 1.0)
    plane = strided(buffer, n_et, 53)
    ecma_t = EcmaTonality("free", time_et, ecma_band_axis(), ecma_band_centres_hz(), plane, plane,
                          plane, plane, plane, t_et, f_et, n_et_l,
                          sv.ecma_tonality_values(time_et, t_et, f_et, n_et_l))
    n_er = int(seconds * 50)
    r_er = wobble(n_er, 1.1, 0.3)
    ecma_r = EcmaRoughness("free", sv.frame_times(n_er, 0.0, 0.02), ecma_band_axis(),
                           ecma_band_centres_hz(), strided(buffer, n_er, 53), r_er,
                           sv.ecma_roughness_values(r_er))
    stationary = Loudness.from_arrays("free", bark, 12.0, buffer[:240])
    results = {r.metric: r for r in (stationary, lt, sharp, rough, tonal, ecma_t, ecma_r)}
    return ChannelAnalysis("hour.wav", 1, "synthetic", RATE, False, Calibration.scale(1.0),
                           "free", samples=int(seconds * RATE), rms_pa=0.1, peak_pa=0.5,
                           results=results)


def browser_timings(page):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1280,1000"):
        options.add_argument(arg)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        start = time.perf_counter()
        driver.get(Path(page).resolve().as_uri())
        load = time.perf_counter() - start
        duration = driver.execute_script("return varnholtPage.data.duration_s")
        steps = []
        for i in range(ZOOM_STEPS):
            # In towards a tenth of the recording around 40 %, then out again.
            f = 0.1 + 0.9 * abs(1 - 2 * i / (ZOOM_STEPS - 1))
            mid = 0.4 * duration
            driver.execute_script("varnholtPage.setView(arguments[0], arguments[1])",
                                  mid - f * 0.4 * duration, mid + f * 0.6 * duration)
        timings = driver.execute_script("return varnholtPage.timings")
        render = next(t["ms"] for t in timings if t["what"] == "render")
        steps = [t["ms"] for t in timings if t["what"] == "zoom"][-ZOOM_STEPS:]
        panels = timings[-1]["panels"]
        return load, render, statistics.median(steps), max(steps), panels
    finally:
        driver.quit()


def size_mb(path):
    return os.path.getsize(path) / 1e6


def main():
    work = Path(sys.argv[1] if len(sys.argv) > 1 else tempfile.mkdtemp(prefix="bench-html-"))
    work.mkdir(parents=True, exist_ok=True)
    wav = work / "take-3min.wav"
    soundfile.write(wav, take(180.0), RATE, subtype="FLOAT")
    start = time.perf_counter()
    channels = varnholt.analyze(wav, bands=True, band_rows=DISPLAY_BAND_ROWS)
    print(f"analysis of 3 min stereo, every metric: {time.perf_counter() - start:.0f} s "
          "(not part of the figures below)")

    page, t_page, m_page = timed_write(
        lambda: varnholt.report(channels, work / "take-3min.html"))
    index, t_dir, m_dir = timed_write(lambda: varnholt.report(channels, f"{work}/folder/"))
    per_channel = sorted((work / "folder").glob("*.ch*.html"))
    print(f"3 min stereo, one page:        write {t_page:5.1f} s, peak {m_page / 1e6:6.0f} MB, "
          f"page {size_mb(page):5.1f} MB (+ {size_mb(work / 'take-3min.series.json'):.1f} MB "
          "exact series)")
    print(f"3 min stereo, folder:          write {t_dir:5.1f} s, peak {m_dir / 1e6:6.0f} MB, "
          f"pages {', '.join(f'{size_mb(p):.1f}' for p in per_channel)} MB")

    hour = synthetic_hour()
    hour_page, t_hour, m_hour = timed_write(
        lambda: html_report.write_html_report([hour], work / "hour.html"))
    print(f"60 min mono (synthetic), page: write {t_hour:5.1f} s, peak {m_hour / 1e6:6.0f} MB, "
          f"page {size_mb(hour_page):5.1f} MB (+ {size_mb(work / 'hour.series.json'):.1f} MB "
          "exact series; sound linked)")

    pages = [("3 min stereo page", page), ("3 min channel page", per_channel[0]),
             ("60 min page", hour_page)] + [(Path(p).name, p) for p in sys.argv[2:]]
    for name, p in pages:
        load, render, median, worst, panels = browser_timings(p)
        print(f"{name:20s} in Chromium: load {load:4.1f} s, build {render:5.0f} ms, "
              f"zoom step ({panels} time panels) median {median:5.1f} ms, worst {worst:5.1f} ms")


if __name__ == "__main__":
    main()
