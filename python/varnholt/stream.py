"""A metric computed over a signal fed chunk by chunk, in working memory that
does not grow with the signal.

A stream gives exactly the frames of the whole-signal function of its
metric, whatever the chunk sizes. Chunks at a rate other than 48 kHz are
resampled chunk by chunk exactly as the analysis layer resamples files.
Frames can be read as soon as they are final; the last ones after finish()::

    with varnholt.Stream("loudness-time", fs=44100) as s:
        for chunk in chunks:          # pascal at 44.1 kHz
            s.push(chunk)
            frames = s.read()         # (frames, 241): N, then N' on 240 Bark
        s.finish()
        last = s.read()
"""

from __future__ import annotations

import numbers
import threading

import numpy as np

from . import binding
from .errors import InputTooShortError, InvalidArgumentError, NonFiniteInputError, VarnholtError

ANALYSIS_RATE_HZ = 48000

# The tool's metric names and the library's numbers of their streams.
STREAM_METRICS = {
    "levels": 7,
    "loudness": 1,
    "loudness-time": 2,
    "roughness": 3,
    "tonality": 4,
    "ecma-tonality": 5,
    "ecma-roughness": 6,
}

# Shortest signal each stream can finish, in samples at 48 kHz (as the
# whole-signal functions).
STREAM_MINIMUM_SAMPLES = {
    "levels": 1,
    "loudness": 256,
    "loudness-time": 1,
    "roughness": 9600,
    "tonality": 12000,
    "ecma-tonality": 14592,
    "ecma-roughness": 15360,
}


def _refused(message: str) -> InvalidArgumentError:
    return InvalidArgumentError(message, status=2, status_text="invalid argument")


class _Resampler:
    """The analysis layer's chunk-by-chunk resampler to 48 kHz."""

    def __init__(self, rate_hz: int):
        from . import _layer
        from ._library import analysis_lib, ffi

        self._lib, self._ffi, self._check = analysis_lib(), ffi, _layer.check
        out = ffi.new("vha_resampler**")
        self._check(self._lib.vha_resampler_create(rate_hz, out), "resampler")
        self._handle = ffi.gc(out[0], self._lib.vha_resampler_destroy)

    def _ready(self) -> np.ndarray:
        count = self._ffi.new("size_t*")
        self._check(self._lib.vha_resampler_read(self._handle, self._ffi.NULL, 0, count),
                    "resampler")
        out = np.empty(int(count[0]))
        if out.size:
            self._check(self._lib.vha_resampler_read(
                self._handle, self._ffi.from_buffer("double[]", out, require_writable=True),
                out.size, count), "resampler")
        return out

    def push(self, x: np.ndarray) -> np.ndarray:
        self._check(self._lib.vha_resampler_push(
            self._handle, self._ffi.from_buffer("double[]", x), x.size), "resampler")
        return self._ready()

    def finish(self) -> np.ndarray:
        self._check(self._lib.vha_resampler_finish(self._handle), "resampler")
        return self._ready()


class Stream:
    """One metric of one channel (pascal, at `fs` Hz), fed chunk by chunk.

    `metric` is one of the tool's names ("levels", "loudness",
    "loudness-time", "roughness", "tonality", "ecma-tonality",
    "ecma-roughness"); `fs` the rate of the chunks (other rates than 48 kHz
    are resampled as the analysis layer resamples files); `field` is "free"
    or "diffuse" (roughness and levels ignore it); `threads` lets the stream
    share each push among that many threads (the ECMA tonality does; the
    frames stay bit-identical). Frames hold `values_per_frame` values each,
    laid out as the library documents for the metric's stream ("levels":
    one frame at finish, LAeq, LCeq, LZeq, LAFmax, LASmax, LCpeak).
    Failing statuses raise varnholt's exceptions.

    The library's stream belongs to one thread at a time; a lock serialises
    the calls of this object, so sharing it between threads is safe. close()
    (or leaving a `with` block) releases the library's stream at once; a
    stream never closed is released when it is garbage-collected.
    """

    def __init__(self, metric: str, fs=ANALYSIS_RATE_HZ, field="free", threads: int = 1):
        if metric not in STREAM_METRICS:
            raise _refused(f"stream metric {metric!r}: choose from {', '.join(STREAM_METRICS)}")
        if isinstance(fs, bool) or not isinstance(fs, numbers.Real) or fs != int(fs) or \
                not 0 < fs < 2**31:
            from .errors import InvalidSampleRateError

            raise InvalidSampleRateError(f"sample rate {fs!r}: expected a positive whole number "
                                         "of hertz", status=3, status_text="invalid sample rate")
        if isinstance(threads, bool) or not isinstance(threads, numbers.Integral) or \
                not 1 <= threads <= 1024:
            raise _refused(f"threads {threads!r}: expected a whole number from 1 to 1024")
        self.metric = metric
        self.fs = int(fs)
        self.field = field
        self.values_per_frame = binding.stream_frame_values(STREAM_METRICS[metric])
        self._lock = threading.Lock()
        self._pushed = 0  # samples at fs
        self._state = "open"  # "finished", or the text of the failure that ended it
        self._handle = binding.stream_create(STREAM_METRICS[metric], binding.SAMPLE_RATE, field)
        self._resampler = _Resampler(self.fs) if self.fs != ANALYSIS_RATE_HZ else None
        if threads != 1:
            binding.stream_set_threads(self._handle, threads)

    def _open_handle(self):
        if self._handle is None:
            raise _refused(f"the {self.metric} stream is closed")
        if self._state == "finished":
            raise _refused(f"the {self.metric} stream is finished: make a new Stream for "
                           "another signal")
        if self._state != "open":
            raise _refused(f"the {self.metric} stream failed earlier ({self._state}) and takes "
                           "no more samples")
        return self._handle

    def _run(self, step):
        """A step that may fail the stream for good: its failure is kept."""
        try:
            step()
        except (NonFiniteInputError, VarnholtError) as e:
            if not isinstance(e, NonFiniteInputError):
                self._state = str(e)
            raise

    def push(self, x) -> None:
        """Feeds a 1-D chunk of samples in pascal. A chunk with a non-finite
        sample is refused whole (its index, counted from the stream's first
        sample, is named) and the stream stays usable."""
        with self._lock:
            handle = self._open_handle()
            x = np.ascontiguousarray(x, dtype=np.float64)
            if x.ndim != 1:
                raise _refused(f"a chunk is one channel (a 1-D array), got shape {x.shape}")
            bad = np.flatnonzero(~np.isfinite(x))
            if bad.size:
                at = self._pushed + int(bad[0])
                raise NonFiniteInputError(
                    f"sample {at} (at {at / self.fs:.6g} s) is not a finite number; the chunk "
                    "was refused", status=5, status_text="non-finite input")
            pressure = self._resampler.push(x) if self._resampler else x
            self._run(lambda: binding.stream_push(handle, pressure))
            self._pushed += x.size

    def finish(self) -> None:
        """Ends the signal: the last frames become final. Pushing or finishing
        again raises InvalidArgumentError."""
        with self._lock:
            handle = self._open_handle()

            def end():
                if self._resampler:
                    binding.stream_push(handle, self._resampler.finish())
                binding.stream_finish(handle)

            try:
                self._run(end)
            except InputTooShortError as e:
                need = STREAM_MINIMUM_SAMPLES[self.metric]
                raise InputTooShortError(
                    f"{e} (the {self.metric} stream needs at least {need} samples at 48 kHz, "
                    f"{need / 48:.0f} ms; got {self._pushed} samples at {self.fs} Hz)",
                    status=e.status, status_text=e.status_text) from None
            else:
                self._state = "finished"

    def read(self) -> np.ndarray:
        """Takes the finished frames out of the stream, oldest first:
        shape (frames, values_per_frame); (0, values_per_frame) when none is ready.
        Works on finished and failed streams too."""
        with self._lock:
            if self._handle is None:
                raise _refused(f"the {self.metric} stream is closed")
            return binding.stream_read(self._handle, self.values_per_frame)

    def close(self) -> None:
        """Releases the library's stream; further calls but close() raise."""
        with self._lock:
            handle, self._handle = self._handle, None
        if handle is not None:
            binding.stream_destroy(handle)

    @property
    def closed(self) -> bool:
        return self._handle is None

    def __enter__(self):
        return self

    def __exit__(self, *exc_info):
        self.close()

    def __del__(self):
        # Fallback for streams never closed; __init__ may have failed before
        # the handle existed.
        handle = getattr(self, "_handle", None)
        if handle is not None:
            self._handle = None
            binding.stream_destroy(handle)

    def __repr__(self):
        state = "closed" if self.closed else f"{self._pushed} samples pushed, {self._state}"
        return f"Stream({self.metric!r}, fs={self.fs}, field={self.field!r}; {state})"
