"""What the Python binding costs, and whether calls run in parallel.

  1. Overhead: a 10 s ECMA-418-2 tonality analysis called straight through
     cffi (buffers prepared beforehand) against the same call through
     varnholt.binding and through varnholt.ecma_tonality (results with axes
     and single values). Best of several runs each.
  2. The GIL: the same 10 s analysis twice, one after the other on one
     thread, then on two threads at once. A speed-up near 2 means cffi
     releases the GIL during the C call (on a machine with two free cores).

Run: VARNHOLT_LIBRARY=build/.../libvarnholt.so.1 PYTHONPATH=python \
     python3 python/bench/bench_binding.py [repeats]
"""

import sys
import threading
import time

import numpy as np

import varnholt
from varnholt import binding
from varnholt._library import ffi, lib

RATE = 48000
SECONDS = 10.0


def signal():
    t = np.arange(int(SECONDS * RATE)) / RATE
    tone = 0.02 * np.sqrt(2) * np.sin(2 * np.pi * 1000 * t) * (1 + np.sin(2 * np.pi * 70 * t))
    noise = np.random.default_rng(1).standard_normal(t.size) * 0.002
    return tone + noise


def best_of(repeats, call):
    times = []
    for _ in range(repeats):
        start = time.perf_counter()
        call()
        times.append(time.perf_counter() - start)
    return min(times)


def direct_call(x):
    frames = ffi.new("size_t*")
    lib().vh_ecma_tonal_frame_count(x.size, RATE, frames)
    capacity = 265 * frames[0]
    out = ffi.new("double[]", capacity)
    samples = ffi.from_buffer("double[]", x)
    return lambda: lib().vh_ecma_tonal_analysis(samples, x.size, RATE, 0, out, capacity, frames)


def overhead(x, repeats):
    c = best_of(repeats, direct_call(x))
    b = best_of(repeats, lambda: binding.ecma_tonal_analysis(x))
    r = best_of(repeats, lambda: varnholt.ecma_tonality(x))
    print(f"10 s ECMA tonality, best of {repeats}:")
    print(f"  direct cffi call        {c:8.3f} s")
    print(f"  varnholt.binding        {b:8.3f} s  ({100 * (b - c) / c:+.2f} %)")
    print(f"  varnholt.ecma_tonality  {r:8.3f} s  ({100 * (r - c) / c:+.2f} %)")


def two_threads(x, repeats):
    call = lambda: binding.roughness_ecma(x)  # noqa: E731
    one = best_of(repeats, lambda: (call(), call()))

    def both():
        threads = [threading.Thread(target=call) for _ in range(2)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()

    two = best_of(repeats, both)
    print(f"two 10 s ECMA roughness analyses, best of {repeats}:")
    print(f"  one thread, one after the other  {one:8.3f} s")
    print(f"  two threads at once              {two:8.3f} s  (speed-up {one / two:.2f}x)")


if __name__ == "__main__":
    repeats = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    x = signal()
    overhead(x, repeats)
    two_threads(x, repeats)
