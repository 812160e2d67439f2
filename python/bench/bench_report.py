"""Wall time and memory of writing the reports of a recording.

Synthesises music-like sound at 44.1 kHz (harmonic notes with gaps, some
amplitude-modulated, over low noise; 3 minutes of stereo by default), then,
in a child process, analyses it with every metric as a report does (the
per-band arrays reduced to display rows by the analysis layer) and writes
the report as PNG, PDF and HTML from the one result. The child reports its
resident memory from /proc/self/status: the peak of the analysis, what the
results hold, and the peak of each report (the kernel's high-water mark is
reset before each through /proc/self/clear_refs), and the HTML page's size.

    python3 python/bench/bench_report.py [--seconds 180] [--channels 2] [--keep DIR]
"""

from __future__ import annotations

import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

RATE_HZ = 44100


def music(seconds: float, seed: int) -> np.ndarray:
    """Notes of 0.4 to 2 s on a chromatic scale, three harmonics each, with
    a fast attack and an exponential decay, gaps of up to 0.6 s between
    them, four in ten amplitude-modulated at 30 to 80 Hz; low noise under
    everything and 2 s of silence in the middle."""
    rng = np.random.default_rng(seed)
    n = int(seconds * RATE_HZ)
    x = np.zeros(n)
    at = 0
    while at < n:
        length = min(int(rng.uniform(0.4, 2.0) * RATE_HZ), n - at)
        t = np.arange(length) / RATE_HZ
        f = 220.0 * 2.0 ** (rng.integers(0, 24) / 12.0)
        envelope = np.minimum(1.0, t / 0.02) * np.exp(-t * rng.uniform(0.3, 2.0))
        note = sum(np.sin(2 * np.pi * f * k * t) / k for k in (1, 2, 3))
        if rng.random() < 0.4:
            note = note * (1.0 + 0.6 * np.sin(2 * np.pi * rng.uniform(30.0, 80.0) * t))
        x[at:at + length] += 0.3 * envelope * note
        at += length + int(rng.uniform(0.0, 0.6) * RATE_HZ)
    x += 0.02 * rng.standard_normal(n)
    middle = n // 2
    x[middle:middle + 2 * RATE_HZ] = 0.0
    return x


def status_mb(field: str) -> float:
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1]) / 1024.0
    return float("nan")


def reset_peak():
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")


def child(path: str, out_dir: str) -> None:
    """Analyse, then draw PNG and PDF; print one JSON line of figures."""
    import matplotlib

    matplotlib.use("Agg")
    import varnholt
    from varnholt.analysis import DISPLAY_BAND_ROWS
    from varnholt.html_report import write_html_report
    from varnholt.static_report import write_report

    figures = {}
    start = time.perf_counter()
    channels = varnholt.analyze(path, calibration={"full_scale_spl": 100}, bands=True,
                                band_rows=DISPLAY_BAND_ROWS)
    figures["analysis_s"] = time.perf_counter() - start
    figures["analysis_peak_mb"] = status_mb("VmHWM")
    figures["results_mb"] = status_mb("VmRSS")
    for suffix in ("png", "pdf", "html"):
        reset_peak()
        start = time.perf_counter()
        out = os.path.join(out_dir, f"report.{suffix}")
        if suffix == "html":
            write_html_report(channels, out)
            figures["html_mb"] = os.path.getsize(out) / 2**20
        else:
            write_report(channels, out)
        figures[f"{suffix}_s"] = time.perf_counter() - start
        figures[f"{suffix}_peak_mb"] = status_mb("VmHWM")
    print(json.dumps(figures))


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=180.0)
    parser.add_argument("--channels", type=int, default=2, choices=(1, 2))
    parser.add_argument("--keep", metavar="DIR", help="write the sound file and reports here")
    parser.add_argument("--child", nargs=2, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        child(*args.child)
        return 0

    import soundfile

    with tempfile.TemporaryDirectory() as scratch:
        out_dir = args.keep or scratch
        os.makedirs(out_dir, exist_ok=True)
        path = os.path.join(out_dir, "music.wav")
        with soundfile.SoundFile(path, "w", RATE_HZ, args.channels, subtype="PCM_16") as f:
            # Ten minutes at a time, so that an hour needs no hour in memory.
            for first in range(0, int(args.seconds), 600):
                part = min(600.0, args.seconds - first)
                sound = np.stack([music(part, 10 * first + c + 1)
                                  for c in range(args.channels)], axis=1)
                f.write(np.clip(sound / 1.1, -1.0, 1.0))
            del sound
        start = time.perf_counter()
        done = subprocess.run([sys.executable, __file__, "--child", path, out_dir],
                              capture_output=True, text=True)
        wall = time.perf_counter() - start
        if done.returncode != 0:
            print(done.stderr, file=sys.stderr)
            return 1
        figures = json.loads(done.stdout.strip().splitlines()[-1])
        print(f"{args.seconds:g} s of {args.channels} channel(s) at {RATE_HZ} Hz, every metric")
        print(f"  analysis:       {figures['analysis_s']:7.1f} s, peak "
              f"{figures['analysis_peak_mb']:6.0f} MB, "
              f"results held {figures['results_mb']:6.0f} MB")
        for suffix in ("png", "pdf", "html"):
            print(f"  report .{suffix:4s}:   {figures[f'{suffix}_s']:7.1f} s, peak "
                  f"{figures[f'{suffix}_peak_mb']:6.0f} MB (results included)")
        print(f"  HTML page:      {figures['html_mb']:7.1f} MB; child process {wall:.0f} s wall")
    return 0


if __name__ == "__main__":
    sys.exit(main())
