"""One Python function per export of libvarnholt, on numpy arrays.

Each function keeps the C function's name without the `vh_` prefix, its
arguments in the same order (sizes come from the arrays), and returns what
the C function writes to its output pointers. A failing status raises the
exception of that status (see varnholt.errors). The library is free to run
on many threads: cffi releases the GIL for the duration of every call.
"""

from __future__ import annotations

import numbers

import numpy as np

from ._arrays import as_double_array
from ._library import ffi, lib
from .errors import InvalidSoundFieldError, error_for

SAMPLE_RATE = 48000
BARK_POINTS = 240
THIRD_OCTAVE_BANDS = 28
ECMA_BANDS = 53
ECMA_TONAL_PLANES = 5
SOUND_LEVEL_COUNT = 6

SOUND_FIELDS = {"free": 0, "diffuse": 1}

# Shortest signal each analysis accepts, in samples at 48 kHz.
MINIMUM_SAMPLES = {
    "vh_loudness_stationary": 256,
    "vh_sound_levels": 1,
    "vh_third_octave_levels": 256,
    "vh_loudness_time": 1,
    "vh_roughness_dw": 9600,
    "vh_tonality_aures": 12000,
    "vh_ecma_tonal_analysis": 14592,
    "vh_roughness_ecma": 15360,
}


def sound_field_code(field) -> int:
    """0 for "free", 1 for "diffuse"; 32-bit integers go to the library
    unchanged (it checks them)."""
    if isinstance(field, str) and field in SOUND_FIELDS:
        return SOUND_FIELDS[field]
    if isinstance(field, numbers.Integral) and -2**31 <= field < 2**31:
        return int(field)
    raise InvalidSoundFieldError(f"sound field {field!r}: expected 'free' or 'diffuse'",
                                 status=4, status_text="invalid sound field")


def status_string(status: int) -> str:
    """The library's text of a status code."""
    return ffi.string(lib().vh_status_string(status)).decode()


def _check(status: int, function: str, count: int | None = None) -> None:
    if status == 0:
        return
    text = status_string(status)
    message = f"{function}: {text}"
    if status == 6 and count is not None and function in MINIMUM_SAMPLES:
        need = MINIMUM_SAMPLES[function]
        message += (
            f" (needs at least {need} samples, {need / SAMPLE_RATE * 1000:.0f} ms at 48 kHz;"
            f" got {count})"
        )
    raise error_for(status, text, message)


def _in(a: np.ndarray):
    return ffi.from_buffer("double[]", a)


def _out(a: np.ndarray):
    return ffi.from_buffer("double[]", a, require_writable=True)


def abi_version() -> int:
    return int(lib().vh_abi_version())


def version_string() -> str:
    return ffi.string(lib().vh_version_string()).decode()


def bark_axis() -> np.ndarray:
    """The 240-point critical-band-rate axis in Bark (a read-only copy)."""
    a = np.frombuffer(ffi.buffer(lib().vh_bark_axis(), 8 * BARK_POINTS), dtype=np.float64).copy()
    a.flags.writeable = False
    return a


def third_octave_centres_hz() -> np.ndarray:
    """The 28 third-octave centre frequencies in Hz (a read-only copy)."""
    a = np.frombuffer(
        ffi.buffer(lib().vh_third_octave_centres_hz(), 8 * THIRD_OCTAVE_BANDS), dtype=np.float64
    ).copy()
    a.flags.writeable = False
    return a


def loudness_from_levels(levels, sound_field="free") -> tuple[float, np.ndarray]:
    """(loudness in sone, 240 specific loudness values in sone/Bark) of 28 band levels in dB."""
    x = as_double_array(levels, "levels")
    loudness = ffi.new("double*")
    specific = np.empty(BARK_POINTS)
    s = lib().vh_loudness_from_levels(
        _in(x), x.size, sound_field_code(sound_field), loudness, _out(specific), specific.size
    )
    _check(s, "vh_loudness_from_levels")
    return loudness[0], specific


def loudness_stationary(samples, sound_field="free", sample_rate=SAMPLE_RATE):
    """(loudness in sone, 240 specific loudness values in sone/Bark) of a whole signal."""
    x = as_double_array(samples)
    loudness = ffi.new("double*")
    specific = np.empty(BARK_POINTS)
    s = lib().vh_loudness_stationary(
        _in(x), x.size, sample_rate, sound_field_code(sound_field), loudness,
        _out(specific), specific.size,
    )
    _check(s, "vh_loudness_stationary", x.size)
    return loudness[0], specific


def _frame_count(function: str, count: int, sample_rate: int) -> int:
    frames = ffi.new("size_t*")
    s = getattr(lib(), function)(count, sample_rate, frames)
    _check(s, function, count)
    return int(frames[0])


def loudness_time_frame_count(count: int, sample_rate=SAMPLE_RATE) -> int:
    return _frame_count("vh_loudness_time_frame_count", count, sample_rate)


def roughness_frame_count(count: int, sample_rate=SAMPLE_RATE) -> int:
    return _frame_count("vh_roughness_frame_count", count, sample_rate)


def tonality_frame_count(count: int, sample_rate=SAMPLE_RATE) -> int:
    return _frame_count("vh_tonality_frame_count", count, sample_rate)


def ecma_tonal_frame_count(count: int, sample_rate=SAMPLE_RATE) -> int:
    return _frame_count("vh_ecma_tonal_frame_count", count, sample_rate)


def ecma_roughness_frame_count(count: int, sample_rate=SAMPLE_RATE) -> int:
    return _frame_count("vh_ecma_roughness_frame_count", count, sample_rate)


def _analysis(function: str, counter: str, x: np.ndarray, sample_rate: int, shape, call):
    """Sizes the output from the frame count, then runs the analysis into it.

    `call(out, capacity, frames)` calls the C analysis. When the frame count
    refuses the input, the analysis is called anyway on a one-value buffer,
    so that the status raised is the first failing check in the analysis'
    own documented order.
    """
    frames = ffi.new("size_t*")
    s = getattr(lib(), counter)(x.size, sample_rate, frames)
    if s != 0:
        spare = np.empty(1)
        _check(call(_out(spare), spare.size, frames) or s, function, x.size)
    out = np.empty(shape(int(frames[0])))
    _check(call(_out(out), out.size, frames), function, x.size)
    return out


def loudness_time(samples, sound_field="free", sample_rate=SAMPLE_RATE):
    """(loudness per 2 ms frame in sone, specific loudness (frames, 240) in sone/Bark)."""
    x = as_double_array(samples)
    field = sound_field_code(sound_field)
    specific = None

    def call(out, capacity, frames):
        nonlocal specific
        specific = np.empty((capacity, BARK_POINTS))
        return lib().vh_loudness_time(
            _in(x), x.size, sample_rate, field, out, capacity,
            _out(specific), specific.size, frames,
        )

    loudness = _analysis(
        "vh_loudness_time", "vh_loudness_time_frame_count", x, sample_rate, lambda n: n, call
    )
    return loudness, specific


def sharpness_din(specific) -> float:
    """Sharpness in acum of a 240-value specific loudness pattern (sone/Bark)."""
    x = as_double_array(specific, "specific loudness")
    sharpness = ffi.new("double*")
    _check(lib().vh_sharpness_din(_in(x), x.size, sharpness), "vh_sharpness_din")
    return sharpness[0]


def roughness_dw(samples, sample_rate=SAMPLE_RATE) -> np.ndarray:
    """Roughness in asper per 200 ms frame, frames 100 ms apart."""
    x = as_double_array(samples)
    return _analysis(
        "vh_roughness_dw", "vh_roughness_frame_count", x, sample_rate, lambda n: n,
        lambda out, capacity, frames: lib().vh_roughness_dw(
            _in(x), x.size, sample_rate, out, capacity, frames),
    )


def tonality_aures(samples, sound_field="free", sample_rate=SAMPLE_RATE) -> np.ndarray:
    """Aures tonality per 250 ms frame, frames 125 ms apart."""
    x = as_double_array(samples)
    field = sound_field_code(sound_field)
    return _analysis(
        "vh_tonality_aures", "vh_tonality_frame_count", x, sample_rate, lambda n: n,
        lambda out, capacity, frames: lib().vh_tonality_aures(
            _in(x), x.size, sample_rate, field, out, capacity, frames),
    )


def ecma_tonal_analysis(samples, sound_field="free", sample_rate=SAMPLE_RATE) -> np.ndarray:
    """The five ECMA-418-2 tonality planes, shape (5, frames, 53): tonal and noise
    specific loudness, tonal frequency (Hz), specific tonality, combined specific
    loudness; frame k at 256 k / 48000 s, band b at 0.5 (b + 1) Bark_HMS."""
    x = as_double_array(samples)
    field = sound_field_code(sound_field)
    return _analysis(
        "vh_ecma_tonal_analysis", "vh_ecma_tonal_frame_count", x, sample_rate,
        lambda n: (ECMA_TONAL_PLANES, n, ECMA_BANDS),
        lambda out, capacity, frames: lib().vh_ecma_tonal_analysis(
            _in(x), x.size, sample_rate, field, out, capacity, frames),
    )


def roughness_ecma(samples, sound_field="free", sample_rate=SAMPLE_RATE) -> np.ndarray:
    """ECMA-418-2 specific roughness, shape (frames, 53), frame k at k / 50 s."""
    x = as_double_array(samples)
    field = sound_field_code(sound_field)
    return _analysis(
        "vh_roughness_ecma", "vh_ecma_roughness_frame_count", x, sample_rate,
        lambda n: (n, ECMA_BANDS),
        lambda out, capacity, frames: lib().vh_roughness_ecma(
            _in(x), x.size, sample_rate, field, out, capacity, frames),
    )


def sound_levels(samples, sample_rate=SAMPLE_RATE) -> np.ndarray:
    """LAeq, LCeq, LZeq, LAFmax, LASmax, LCpeak in dB re 20 uPa of a whole signal."""
    x = as_double_array(samples)
    levels = np.empty(SOUND_LEVEL_COUNT)
    s = lib().vh_sound_levels(_in(x), x.size, sample_rate, _out(levels), levels.size)
    _check(s, "vh_sound_levels", x.size)
    return levels


def third_octave_levels(samples, sample_rate=SAMPLE_RATE) -> np.ndarray:
    """The 28 third-octave band levels in dB re (20 uPa)^2 of a whole signal,
    ordered as third_octave_centres_hz()."""
    x = as_double_array(samples)
    levels = np.empty(THIRD_OCTAVE_BANDS)
    s = lib().vh_third_octave_levels(_in(x), x.size, sample_rate, _out(levels), levels.size)
    _check(s, "vh_third_octave_levels", x.size)
    return levels


def stream_create(metric: int, sample_rate=SAMPLE_RATE, sound_field="free"):
    """A new stream (a `vh_stream*`) of a VH_METRIC_ number; release it with
    stream_destroy."""
    stream = ffi.new("vh_stream**")
    s = lib().vh_stream_create(metric, sample_rate, sound_field_code(sound_field), stream)
    _check(s, "vh_stream_create")
    return stream[0]


def stream_frame_values(metric: int) -> int:
    """Values per frame of a metric's stream."""
    values = ffi.new("size_t*")
    _check(lib().vh_stream_frame_values(metric, values), "vh_stream_frame_values")
    return int(values[0])


def stream_push(stream, samples) -> None:
    """Feeds samples (pascal) to a stream."""
    x = as_double_array(samples)
    _check(lib().vh_stream_push(stream, _in(x), x.size), "vh_stream_push")


def stream_finish(stream) -> None:
    """Ends a stream's signal: its last frames become final."""
    _check(lib().vh_stream_finish(stream), "vh_stream_finish")


def stream_read(stream, values_per_frame: int) -> np.ndarray:
    """Every frame the stream has ready, oldest first, shape (frames, values_per_frame)."""
    frames = ffi.new("size_t*")
    _check(lib().vh_stream_read(stream, ffi.NULL, 0, frames), "vh_stream_read")
    out = np.empty((int(frames[0]), values_per_frame))
    if out.size:
        _check(lib().vh_stream_read(stream, _out(out), out.size, frames), "vh_stream_read")
    return out


def stream_set_threads(stream, threads: int) -> None:
    """Lets a stream use up to `threads` threads (the caller's included) for
    its later pushes and finish; the frames stay bit-identical."""
    _check(lib().vh_stream_set_threads(stream, threads), "vh_stream_set_threads")


def stream_destroy(stream) -> None:
    """Releases a stream (a null one too)."""
    lib().vh_stream_destroy(stream)
