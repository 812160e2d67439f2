"""A metric computed over a signal fed chunk by chunk, in working memory that
does not grow with the signal.

A stream gives exactly the frames of the whole-signal function of its
metric, whatever the chunk sizes. Frames can be read as soon as they are
final; the last ones after finish()::

    with varnholt.Stream("loudness-time") as s:
        for chunk in chunks:          # pascal at 48 kHz
            s.push(chunk)
            frames = s.read()         # (frames, 241): N, then N' on 240 Bark
        s.finish()
        last = s.read()
"""

from __future__ import annotations

import threading

import numpy as np

from . import binding
from .errors import InputTooShortError, InvalidArgumentError

# The tool's metric names and the library's numbers of their streams.
STREAM_METRICS = {
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
    "loudness": 256,
    "loudness-time": 1,
    "roughness": 9600,
    "tonality": 12000,
    "ecma-tonality": 14592,
    "ecma-roughness": 15360,
}


def _refused(message: str) -> InvalidArgumentError:
    return InvalidArgumentError(message, status=2, status_text="invalid argument")


class Stream:
    """One metric of one channel (pascal, 48 kHz), fed chunk by chunk.

    `metric` is one of the tool's names ("loudness", "loudness-time",
    "roughness", "tonality", "ecma-tonality", "ecma-roughness"); `field` is
    "free" or "diffuse" (roughness ignores it); `threads` lets the stream
    share each push among that many threads (the ECMA tonality does; the
    frames stay bit-identical). Frames hold
    `values_per_frame` values each, laid out as the library documents for
    the metric's stream. Failing statuses raise varnholt's exceptions.

    The library's stream belongs to one thread at a time; a lock serialises
    the calls of this object, so sharing it between threads is safe. close()
    (or leaving a `with` block) releases the library's stream at once; a
    stream never closed is released when it is garbage-collected.
    """

    def __init__(self, metric: str, field="free", threads: int = 1):
        if metric not in STREAM_METRICS:
            raise _refused(f"stream metric {metric!r}: choose from {', '.join(STREAM_METRICS)}")
        self.metric = metric
        self.field = field
        self.values_per_frame = binding.stream_frame_values(STREAM_METRICS[metric])
        self._lock = threading.Lock()
        self._pushed = 0
        self._handle = binding.stream_create(STREAM_METRICS[metric], binding.SAMPLE_RATE, field)
        if threads != 1:
            binding.stream_set_threads(self._handle, threads)

    def _open_handle(self):
        if self._handle is None:
            raise _refused(f"the {self.metric} stream is closed")
        return self._handle

    def push(self, x) -> None:
        """Feeds a 1-D chunk of samples in pascal (float64 C-contiguous arrays
        are passed without a copy). A chunk with a non-finite sample is refused
        whole and the stream stays usable."""
        with self._lock:
            handle = self._open_handle()
            binding.stream_push(handle, x)
            self._pushed += np.size(x)

    def finish(self) -> None:
        """Ends the signal: the last frames become final. Pushing or finishing
        again raises InvalidArgumentError."""
        with self._lock:
            handle = self._open_handle()
            try:
                binding.stream_finish(handle)
            except InputTooShortError as e:
                need = STREAM_MINIMUM_SAMPLES[self.metric]
                raise InputTooShortError(
                    f"{e} (the {self.metric} stream needs at least {need} samples; "
                    f"got {self._pushed})", status=e.status, status_text=e.status_text) from None

    def read(self) -> np.ndarray:
        """Takes the finished frames out of the stream, oldest first:
        shape (frames, values_per_frame); (0, values_per_frame) when none is ready."""
        with self._lock:
            return binding.stream_read(self._open_handle(), self.values_per_frame)

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
        state = "closed" if self.closed else f"{self._pushed} samples pushed"
        return f"Stream({self.metric!r}, field={self.field!r}; {state})"
