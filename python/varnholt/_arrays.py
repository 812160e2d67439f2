"""Turning what callers hand in into the arrays the library reads.

A float64, C-contiguous, native-order 1-D array is passed on as it is (no
copy). Other floating types, integer PCM and non-contiguous views are
converted once. Integer PCM is scaled so that full scale is 1.0, as
libsndfile reads it: int8/int16/int32 by 2^7/2^15/2^31, uint8 (8-bit WAV,
offset binary) as (x - 128) / 128.
"""

from __future__ import annotations

import numpy as np

from .errors import InvalidArgumentError

_PCM_FULL_SCALE = {
    np.dtype(np.int8): 2.0**7,
    np.dtype(np.int16): 2.0**15,
    np.dtype(np.int32): 2.0**31,
}
_UINT8_OFFSET = 128.0


def _refuse(what: str, detail: str) -> InvalidArgumentError:
    return InvalidArgumentError(f"{what}: {detail}", status=2, status_text="invalid argument")


def as_double_array(x, what: str = "samples") -> np.ndarray:
    """x as a C-contiguous float64 array (the same object when it already is one).

    A 2-D array is refused: every function of the library works on one
    channel per call.
    """
    a = np.asarray(x)
    if a.ndim != 1:
        if a.ndim == 2:
            raise _refuse(
                what,
                f"a 2-D array of shape {a.shape}: the metrics take one channel per call; "
                "pass one column (x[:, c]) or row at a time",
            )
        raise _refuse(what, f"a {a.ndim}-D array: expected a 1-D array of samples")
    dtype = a.dtype
    if dtype == np.float64 and dtype.isnative and a.flags.c_contiguous:
        return a
    if dtype.kind == "f":
        return np.ascontiguousarray(a, dtype=np.float64)
    if dtype in _PCM_FULL_SCALE:
        # A power-of-two scale: exact, and one pass that also makes the copy.
        return np.multiply(a, 1.0 / _PCM_FULL_SCALE[dtype], dtype=np.float64, order="C")
    if dtype == np.uint8:
        out = np.subtract(a, _UINT8_OFFSET, dtype=np.float64, order="C")
        out /= _UINT8_OFFSET
        return out
    raise _refuse(
        what,
        f"samples of type {dtype} cannot be read as sound pressure; pass floating-point "
        "pascal or integer PCM (int8, int16, int32, uint8)",
    )
