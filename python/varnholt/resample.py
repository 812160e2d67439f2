"""Sample-rate conversion to 48 kHz with libsoxr, exactly as the varnholt
tool does it: one-shot, double samples, 32-bit precision (SOXR_32_BITQ),
linear phase, one thread; round(n * 48000 / rate) samples out."""

from __future__ import annotations

import functools
import math

import cffi
import numpy as np

from ._arrays import as_double_array

ANALYSIS_RATE_HZ = 48000
RESAMPLER_DESCRIPTION = "libsoxr, 32-bit precision (highest quality), linear phase"
LIBRARY_NAME = "libsoxr.so.0"

_SOXR_FLOAT64_I = 1
_SOXR_32_BITQ = 7
_SOXR_LINEAR_PHASE = 0x00

_ffi = cffi.FFI()
_ffi.cdef("""
typedef struct { int itype; int otype; double scale; void* e; unsigned long flags; }
    soxr_io_spec_t;
typedef struct { double precision; double phase_response; double passband_end;
                 double stopband_begin; void* e; unsigned long flags; } soxr_quality_spec_t;
typedef struct { unsigned log2_min_dft_size; unsigned log2_large_dft_size;
                 unsigned coef_size_kbytes; unsigned num_threads; void* e;
                 unsigned long flags; } soxr_runtime_spec_t;
soxr_io_spec_t soxr_io_spec(int itype, int otype);
soxr_quality_spec_t soxr_quality_spec(unsigned long recipe, unsigned long flags);
soxr_runtime_spec_t soxr_runtime_spec(unsigned num_threads);
const char* soxr_oneshot(double input_rate, double output_rate, unsigned num_channels,
                         const void* in, size_t ilen, size_t* idone,
                         void* out, size_t olen, size_t* odone,
                         const soxr_io_spec_t*, const soxr_quality_spec_t*,
                         const soxr_runtime_spec_t*);
""")


@functools.lru_cache(maxsize=None)
def _soxr():
    try:
        return _ffi.dlopen(LIBRARY_NAME)
    except OSError as e:
        raise OSError(
            f"cannot load {LIBRARY_NAME} for resampling ({e}); install libsoxr0 "
            "(scripts/install-deps.sh) or pass signals at 48000 Hz"
        ) from None


def resample_to_analysis_rate(samples, rate_hz: int) -> np.ndarray:
    """One channel from rate_hz to 48 kHz; round(n * 48000 / rate_hz) samples."""
    if int(rate_hz) != rate_hz or rate_hz <= 0:
        from .errors import InvalidSampleRateError

        raise InvalidSampleRateError(f"sample rate {rate_hz!r}: expected a positive whole number "
                                     "of hertz", status=3, status_text="invalid sample rate")
    x = as_double_array(samples)
    if rate_hz == ANALYSIS_RATE_HZ:
        return x
    soxr = _soxr()
    ratio = float(ANALYSIS_RATE_HZ) / float(rate_hz)
    # Rounded half away from zero, as the tool's llround does.
    exact = x.size * ratio
    expected = math.floor(exact)
    if exact - expected >= 0.5:
        expected += 1
    # One spare sample so that soxr's own rounding of the length never truncates.
    out = np.empty(expected + 1)
    io = soxr.soxr_io_spec(_SOXR_FLOAT64_I, _SOXR_FLOAT64_I)
    quality = soxr.soxr_quality_spec(_SOXR_32_BITQ, _SOXR_LINEAR_PHASE)
    runtime = soxr.soxr_runtime_spec(1)
    io_p = _ffi.new("soxr_io_spec_t*", io)
    quality_p = _ffi.new("soxr_quality_spec_t*", quality)
    runtime_p = _ffi.new("soxr_runtime_spec_t*", runtime)
    consumed = _ffi.new("size_t*")
    produced = _ffi.new("size_t*")
    error = soxr.soxr_oneshot(float(rate_hz), float(ANALYSIS_RATE_HZ), 1,
                              _ffi.from_buffer("double[]", x), x.size, consumed,
                              _ffi.from_buffer("double[]", out, require_writable=True), out.size,
                              produced, io_p, quality_p, runtime_p)
    if error != _ffi.NULL:
        raise RuntimeError(f"resampling failed ({_ffi.string(error).decode()})")
    return out[: min(int(produced[0]), expected)]
