"""Memory and time of a whole-file analysis: Python's analyze() against the
varnholt tool, which run the same analysis layer.

  1. A 3-minute stereo 44.1 kHz file, every metric: peak RSS and wall time
     of analyze() with its defaults and of the tool without --json, with the
     same number of jobs, in alternating runs (the ratio of each pair is
     quoted, so a machine whose speed drifts still compares fairly).
  2. The same with analyze(..., bands=True): peak RSS against the bytes of
     the arrays it keeps.
  3. The tool with --json on the same file: peak RSS, which must not grow
     with the document (the per-band arrays are spooled).
  4. Optionally (--long MINUTES) a mono 48 kHz file of that length through
     analyze() with its defaults and through the tool with --json.
     --pairs 0 leaves out 1 to 3.

Each run is a fresh process; peak RSS is the kernel's ru_maxrss of it.
The files are synthesised (tones, modulation, noise and pauses) under a
scratch folder.

Run: VARNHOLT_LIBRARY=build/.../src/libvarnholt.so.1 \
     VARNHOLT_TOOL=build/.../tools/varnholt/varnholt PYTHONPATH=python \
     python3 python/bench/bench_analysis.py [--pairs N] [--long MINUTES] [--jobs N]
"""

import argparse
import os
import resource
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np


def synthesise(path: Path, minutes: float, rate: int, channels: int) -> None:
    """Music-like sound written block by block: a modulated tone, a second
    tone, noise, and a pause every 20 s."""
    import soundfile

    rng = np.random.default_rng(7)
    block = rate * 10
    total = int(minutes * 60 * rate)
    with soundfile.SoundFile(path, "w", rate, channels, subtype="PCM_16") as f:
        for start in range(0, total, block):
            t = (start + np.arange(min(block, total - start))) / rate
            x = 0.05 * np.sin(2 * np.pi * 440 * t) * (1 + 0.8 * np.sin(2 * np.pi * 50 * t))
            x += 0.02 * np.sin(2 * np.pi * 1250 * t) + 0.01 * rng.standard_normal(t.size)
            x[(t % 20.0) > 18.0] *= 0.0
            f.write(np.stack([x * (0.8 ** c) for c in range(channels)], axis=1))


PYTHON_RUN = """
import sys, varnholt
channels = varnholt.analyze(sys.argv[1], jobs=int(sys.argv[2]), bands=sys.argv[3] == "1")
kept = sum(a.nbytes for c in channels for r in c.results.values()
           for a in vars(r).values() if hasattr(a, "nbytes"))
print(kept)
"""


def measured(command) -> tuple[float, float, str]:
    """Wall seconds, peak RSS in MB and standard output of one child process."""
    start = time.perf_counter()
    done = subprocess.run(command, check=True, stdout=subprocess.PIPE, text=True)
    wall = time.perf_counter() - start
    # The largest of this process's children so far: the one just run.
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    return wall, peak / 1024.0, done.stdout


def fresh(command) -> tuple[float, float, str]:
    """measured() in a process of its own: ru_maxrss of children is the
    largest so far, so each run needs a parent of its own."""
    out = subprocess.run([sys.executable, __file__, "--measure", "--", *command], check=True,
                         stdout=subprocess.PIPE, text=True).stdout.splitlines()
    wall, peak = map(float, out[0].split())
    return wall, peak, "\n".join(out[1:])


def main() -> None:
    p = argparse.ArgumentParser()
    p.add_argument("--pairs", type=int, default=2)
    p.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    p.add_argument("--long", type=float, default=0.0, help="minutes of a mono file to analyse too")
    p.add_argument("--measure", action="store_true", help=argparse.SUPPRESS)
    p.add_argument("command", nargs="*")
    a = p.parse_args()
    if a.measure:
        wall, peak, out = measured(a.command)
        print(wall, peak)
        print(out, end="")
        return
    tool = os.environ["VARNHOLT_TOOL"]
    with tempfile.TemporaryDirectory() as scratch:
        if a.pairs > 0:
            three_minutes(a, tool, Path(scratch))
        if a.long:
            long_file(a, tool, Path(scratch))


def three_minutes(a, tool: str, scratch: Path) -> None:
    stereo = scratch / "stereo-3min-44k1.wav"
    synthesise(stereo, 3.0, 44100, 2)
    python = [sys.executable, "-c", PYTHON_RUN, str(stereo), str(a.jobs)]
    tool_run = [tool, "--quiet", "--jobs", str(a.jobs), "--metrics", "all", str(stereo)]
    print(f"3-minute stereo 44.1 kHz file, every metric, {a.jobs} jobs")
    for i in range(a.pairs):
        tw, tm, _ = fresh(tool_run)
        pw, pm, _ = fresh(python + ["0"])
        print(f"  pair {i + 1}: tool {tw:6.1f} s {tm:6.0f} MB | analyze() {pw:6.1f} s "
              f"{pm:6.0f} MB | time ratio {pw / tw:.3f}, memory ratio {pm / tm:.2f}")
    bw, bm, kept = fresh(python + ["1"])
    kept_mb = int(kept) / 2**20
    print(f"  analyze(bands=True): {bw:.1f} s, {bm:.0f} MB peak, arrays kept {kept_mb:.0f} MB,"
          f" peak - arrays = {bm - kept_mb:.0f} MB")
    jw, jm, _ = fresh(tool_run[:-1] + ["--json", str(scratch / "r.json"), str(stereo)])
    size = (scratch / "r.json").stat().st_size / 2**20
    print(f"  tool --json: {jw:.1f} s, {jm:.0f} MB peak, document {size:.0f} MB")


def long_file(a, tool: str, scratch: Path) -> None:
    mono = scratch / "mono-long.wav"
    synthesise(mono, a.long, 48000, 1)
    lw, lm, _ = fresh([sys.executable, "-c", PYTHON_RUN, str(mono), str(a.jobs), "0"])
    print(f"{a.long:g}-minute mono file, analyze() defaults: {lw:.1f} s, {lm:.0f} MB peak",
          flush=True)
    document = scratch / "long.json"
    jw, jm, _ = fresh([tool, "--quiet", "--jobs", str(a.jobs), "--metrics", "all", "--json",
                       str(document), str(mono)])
    size = document.stat().st_size / 2**20
    document.unlink()
    print(f"{a.long:g}-minute mono file, tool --json: {jw:.1f} s, {jm:.0f} MB peak, "
          f"document {size:.0f} MB", flush=True)


if __name__ == "__main__":
    main()
