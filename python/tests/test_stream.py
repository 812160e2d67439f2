"""Streams against the whole-signal functions: the same frames, bit for bit,
whatever the chunk sizes; misuse raises the package's exceptions."""

import numpy as np
import pytest

import varnholt
from varnholt import binding


def whole_signal_frames(metric, x):
    """The frames of a metric's whole-signal function, laid out as its stream's."""
    if metric == "loudness-time":
        loudness, specific = binding.loudness_time(x, "diffuse")
        return np.column_stack([loudness, specific])
    if metric == "roughness":
        return binding.roughness_dw(x)[:, None]
    if metric == "ecma-roughness":
        return binding.roughness_ecma(x, "diffuse")
    if metric == "ecma-tonality":  # plane-major (5, frames, 53) to frame-major (frames, 265)
        planes = binding.ecma_tonal_analysis(x, "diffuse")
        return planes.transpose(1, 0, 2).reshape(planes.shape[1], -1)
    raise AssertionError(metric)


def streamed(metric, x, seed, threads=1):
    """x pushed in random chunks (empty ones too), frames read after every push."""
    rng = np.random.default_rng(seed)
    frames = []
    with varnholt.Stream(metric, field="diffuse", threads=threads) as s:
        start = 0
        while start < x.size:
            stop = min(x.size, start + int(rng.integers(0, 7000)))
            s.push(x[start:stop])
            frames.append(s.read())
            start = stop
        s.finish()
        frames.append(s.read())
    return np.concatenate(frames)


@pytest.mark.parametrize("metric", ["loudness-time", "roughness", "ecma-tonality",
                                    "ecma-roughness"])
@pytest.mark.parametrize("seed, threads", [(1, 1), (2, 3)])
def test_random_chunks_give_the_frames_of_the_whole_signal(tone, metric, seed, threads):
    got = streamed(metric, tone, seed, threads)
    assert np.array_equal(got, whole_signal_frames(metric, tone))


def test_a_float64_chunk_is_pushed_without_a_copy(monkeypatch, tone):
    handed = []
    original = binding._in
    monkeypatch.setattr(binding, "_in", lambda a: handed.append(a) or original(a))
    with varnholt.Stream("loudness-time") as s:
        s.push(tone)
    assert len(handed) == 1 and handed[0] is tone


def finished(s):
    s.push(np.zeros(300))
    s.finish()


def closed(s):
    s.close()


# (what is done to a fresh loudness stream first, then the call that must raise, the exception)
MISUSE = [
    (finished, lambda s: s.push(np.zeros(10)), varnholt.InvalidArgumentError),
    (finished, lambda s: s.finish(), varnholt.InvalidArgumentError),
    (lambda s: s.push(np.zeros(100)), lambda s: s.finish(), varnholt.InputTooShortError),
    (lambda s: None, lambda s: s.push(np.array([0.0, np.nan])), varnholt.NonFiniteInputError),
    (lambda s: None, lambda s: s.push(np.zeros((2, 300))), varnholt.InvalidArgumentError),
    (closed, lambda s: s.push(np.zeros(10)), varnholt.InvalidArgumentError),
    (closed, lambda s: s.read(), varnholt.InvalidArgumentError),
]


@pytest.mark.parametrize("before,call,error", MISUSE)
def test_misuse_raises(before, call, error):
    s = varnholt.Stream("loudness")
    before(s)
    with pytest.raises(error):
        call(s)
    s.close()


def test_a_refused_chunk_leaves_the_stream_usable():
    x = np.full(300, 0.02)
    with varnholt.Stream("loudness") as s:
        with pytest.raises(varnholt.NonFiniteInputError):
            s.push(np.array([np.inf]))
        s.push(x)
        s.finish()
        frame = s.read()
    n, specific = binding.loudness_stationary(x)
    assert np.array_equal(frame, np.concatenate([[n], specific])[None, :])


def test_too_short_names_the_minimum_and_what_was_pushed():
    with varnholt.Stream("roughness") as s:
        s.push(np.zeros(9599))
        with pytest.raises(varnholt.InputTooShortError, match="at least 9600 samples; got 9599"):
            s.finish()


@pytest.mark.parametrize("metric,field", [("sharpness", "free"), ("loudness", "outdoors")])
def test_unknown_metric_or_field_is_refused(metric, field):
    with pytest.raises(varnholt.VarnholtInputError):
        varnholt.Stream(metric, field=field)


def test_values_per_frame_and_release():
    assert [varnholt.Stream(m).values_per_frame for m in varnholt.stream.STREAM_METRICS] == [
        241, 241, 1, 1, 265, 53]
    s = varnholt.Stream("tonality")
    assert s.read().shape == (0, 1)
    s.close()
    s.close()  # closing twice is harmless
    assert s.closed
