"""Streams against the whole-signal functions: the same frames, bit for bit,
whatever the chunk sizes; misuse raises the package's exceptions."""

import numpy as np
import pytest

import varnholt
from conftest import am_tone
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
        with pytest.raises(varnholt.InputTooShortError, match="at least 9600 samples at 48 kHz, 200 ms; got 9599 samples at 48000 Hz"):
            s.finish()


@pytest.mark.parametrize("metric,field", [("sharpness", "free"), ("loudness", "outdoors")])
def test_unknown_metric_or_field_is_refused(metric, field):
    with pytest.raises(varnholt.VarnholtInputError):
        varnholt.Stream(metric, field=field)


def test_values_per_frame_and_release():
    assert [varnholt.Stream(m).values_per_frame for m in varnholt.stream.STREAM_METRICS] == [
        6, 241, 241, 1, 1, 265, 53]
    s = varnholt.Stream("tonality")
    assert s.read().shape == (0, 1)
    s.close()
    s.close()  # closing twice is harmless
    assert s.closed


def test_a_stream_at_44k1_gives_the_frames_of_the_layer():
    # The stream resamples chunk by chunk as the analysis layer resamples a
    # whole file, so its frames equal the array function's at 44.1 kHz bit
    # for bit; 1 s at 44.1 kHz is 48000 samples at 48 kHz, 500 frames.
    x = am_tone(1000.0, 70.0, 70.0, 1.0, rate=44100)
    with varnholt.Stream("loudness-time", fs=44100) as s:
        for chunk in np.array_split(x, 7):
            s.push(chunk)
        s.finish()
        frames = s.read()
    whole = varnholt.loudness_time(x, fs=44100)
    assert frames.shape == (500, 241)
    assert frames[:, 0].tolist() == whole.loudness.tolist()


def test_a_levels_stream_gives_the_sound_levels(tone):
    with varnholt.Stream("levels") as s:
        s.push(tone)
        s.finish()
        (levels,) = s.read()
    assert levels.tolist() == [v.value for v in varnholt.levels(tone).single_values]


@pytest.mark.parametrize("misuse,words", [
    (lambda s: (s.finish(), s.push(np.zeros(10))), "is finished: make a new Stream"),
    (lambda s: (s.finish(), s.finish()), "is finished"),
])
def test_a_finished_or_failed_stream_says_so(misuse, words):
    with varnholt.Stream("ecma-roughness", fs=44100) as s:
        s.push(np.zeros(20000))
        with pytest.raises(varnholt.VarnholtError, match=words):
            misuse(s)


def test_a_failed_stream_names_its_failure():
    with varnholt.Stream("roughness") as s:
        s.push(np.zeros(100))
        with pytest.raises(varnholt.InputTooShortError):
            s.finish()
        with pytest.raises(varnholt.InvalidArgumentError, match="failed earlier .*too short"):
            s.push(np.zeros(10))


@pytest.mark.parametrize("kwargs,error", [
    ({"threads": -1}, varnholt.InvalidArgumentError),
    ({"threads": 0}, varnholt.InvalidArgumentError),
    ({"fs": 0}, varnholt.InvalidSampleRateError),
    ({"fs": 44100.5}, varnholt.InvalidSampleRateError),
])
def test_bad_stream_settings_are_refused(kwargs, error):
    with pytest.raises(error):
        varnholt.Stream("loudness-time", **kwargs)
