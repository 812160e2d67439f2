"""What the Python binding costs, and whether calls run in parallel.

  1. Overhead: a 10 s ECMA-418-2 tonality analysis called straight through
     cffi (buffers prepared beforehand) against the same call through
     varnholt.binding and through varnholt.ecma_tonality (results with axes
     and single values). Best of several interleaved runs each.
  2. The GIL: a pure-Python thread keeps counting while the main thread is
     inside a C call; then the same 10 s analysis twice, one after the other
     on one thread, and on two threads at once. The speed-up approaches 2
     only with two idle cores; on a busy machine it shows the cores free.

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
    # Interleaved, so that a busy spell of a shared machine hits all three alike.
    calls = [direct_call(x), lambda: binding.ecma_tonal_analysis(x),
             lambda: varnholt.ecma_tonality(x)]
    best = [min(t) for t in zip(*[[best_of(1, call) for call in calls] for _ in range(repeats)])]
    c, b, r = best
    print(f"10 s ECMA tonality, best of {repeats}:")
    print(f"  direct cffi call        {c:8.3f} s")
    print(f"  varnholt.binding        {b:8.3f} s  ({100 * (b - c) / c:+.2f} %)")
    print(f"  varnholt.ecma_tonality  {r:8.3f} s  ({100 * (r - c) / c:+.2f} %)")
    # The Python-side work alone, free of the run-to-run noise of the C call:
    # frame count, output allocation and buffer hand-over, then the result
    # with its axes and single values.
    planes = binding.ecma_tonal_analysis(x)
    frames = ffi.new("size_t*")

    def prepare():
        lib().vh_ecma_tonal_frame_count(x.size, RATE, frames)
        out = np.empty((5, frames[0], 53))
        out.fill(0.0)  # the first touch of the pages, which the C call would pay
        ffi.from_buffer("double[]", x), ffi.from_buffer("double[]", out)

    p = best_of(repeats, prepare)
    a = best_of(repeats, lambda: varnholt.EcmaTonality.from_arrays("free", planes))
    print(f"  Python-side work: call set-up {1000 * p:.2f} ms ({100 * p / c:.3f} %), "
          f"result {1000 * a:.2f} ms ({100 * a / c:.3f} %)")


def gil_released(x):
    """Counts in a pure-Python thread while the main thread is inside one C
    call: a thread that held the GIL would leave the count near zero."""
    count, stop = [0], [False]

    def spin():
        while not stop[0]:
            count[0] += 1

    spinner = threading.Thread(target=spin)
    spinner.start()
    time.sleep(0.05)
    before = count[0]
    start = time.perf_counter()
    binding.roughness_ecma(x)
    seconds = time.perf_counter() - start
    during = count[0] - before
    stop[0] = True
    spinner.join()
    print(f"a Python thread counted to {during} during a {seconds:.2f} s C call "
          f"({'the GIL is released' if during > 1000 else 'the GIL is HELD'})")


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
    gil_released(x)
    two_threads(x, repeats)
