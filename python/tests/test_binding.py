"""The binding against direct cffi calls of the C functions: the same arrays
in, bit-identical results out, for every export."""

import numpy as np
import pytest

import varnholt
from varnholt import binding
from varnholt._library import ffi, lib

from conftest import RATE, sine


def c_call(function, samples, *args, out_len, field=None):
    """Calls a framed analysis export directly into a cffi buffer of out_len doubles."""
    x = ffi.new("double[]", list(samples))
    out = ffi.new("double[]", out_len)
    frames = ffi.new("size_t*")
    pre = (field,) if field is not None else ()
    status = getattr(lib(), function)(x, len(samples), RATE, *pre, out, out_len, frames)
    assert status == 0
    return np.frombuffer(ffi.buffer(out), dtype=np.float64).copy()


def c_frames(function, count):
    frames = ffi.new("size_t*")
    assert getattr(lib(), function)(count, RATE, frames) == 0
    return frames[0]


@pytest.fixture(scope="module")
def signal(tone):
    return tone


def test_library_information_equals_the_c_values():
    assert binding.abi_version() == lib().vh_abi_version() == 1
    assert binding.version_string() == ffi.string(lib().vh_version_string()).decode()
    assert [binding.status_string(s) for s in range(-1, 12)] == [
        ffi.string(lib().vh_status_string(s)).decode() for s in range(-1, 12)]
    np.testing.assert_array_equal(binding.bark_axis(), [lib().vh_bark_axis()[i] for i in range(240)])
    np.testing.assert_array_equal(binding.third_octave_centres_hz(),
                                  [lib().vh_third_octave_centres_hz()[i] for i in range(28)])


def test_stationary_loudness_levels_and_sharpness_equal_the_c_calls(signal):
    levels = np.linspace(40.0, 70.0, 28)
    for field in (0, 1):
        n, specific = binding.loudness_from_levels(levels, field)
        c_n, c_specific = ffi.new("double*"), ffi.new("double[240]")
        assert lib().vh_loudness_from_levels(ffi.new("double[]", list(levels)), 28, field, c_n,
                                             c_specific, 240) == 0
        assert n == c_n[0]
        np.testing.assert_array_equal(specific, list(c_specific))

        n, specific = binding.loudness_stationary(signal, field)
        assert lib().vh_loudness_stationary(ffi.new("double[]", list(signal)), signal.size, RATE,
                                            field, c_n, c_specific, 240) == 0
        assert n == c_n[0]
        np.testing.assert_array_equal(specific, list(c_specific))

        c_s = ffi.new("double*")
        assert lib().vh_sharpness_din(c_specific, 240, c_s) == 0
        assert binding.sharpness_din(specific) == c_s[0]


def test_time_varying_loudness_equals_the_c_call(signal):
    f = c_frames("vh_loudness_time_frame_count", signal.size)
    assert binding.loudness_time_frame_count(signal.size) == f
    loudness, specific = binding.loudness_time(signal, "diffuse")
    c_loudness, c_specific = ffi.new("double[]", f), ffi.new("double[]", 240 * f)
    frames = ffi.new("size_t*")
    assert lib().vh_loudness_time(ffi.new("double[]", list(signal)), signal.size, RATE, 1,
                                  c_loudness, f, c_specific, 240 * f, frames) == 0
    np.testing.assert_array_equal(loudness, list(c_loudness))
    np.testing.assert_array_equal(specific.ravel(), list(c_specific))
    assert specific.shape == (f, 240)


# (binding function, C export, its frame-count export, output values per frame, takes a field)
FRAMED = [
    (binding.roughness_dw, "vh_roughness_dw", "vh_roughness_frame_count", 1, False),
    (binding.tonality_aures, "vh_tonality_aures", "vh_tonality_frame_count", 1, True),
    (binding.ecma_tonal_analysis, "vh_ecma_tonal_analysis", "vh_ecma_tonal_frame_count", 265, True),
    (binding.roughness_ecma, "vh_roughness_ecma", "vh_ecma_roughness_frame_count", 53, True),
]


@pytest.mark.parametrize("function,export,counter,per_frame,has_field", FRAMED,
                         ids=[e for _, e, *_ in FRAMED])
def test_framed_analyses_equal_the_c_calls(signal, function, export, counter, per_frame,
                                           has_field):
    f = c_frames(counter, signal.size)
    assert getattr(binding, counter[3:])(signal.size) == f
    field = 1 if has_field else None
    got = function(signal, 1) if has_field else function(signal)
    expected = c_call(export, signal, out_len=per_frame * f, field=field)
    np.testing.assert_array_equal(got.ravel(), expected)


def test_float64_contiguous_input_is_passed_without_a_copy():
    from varnholt._arrays import as_double_array

    x = np.zeros(1000)
    assert as_double_array(x) is x


@pytest.mark.parametrize("convert", [
    lambda x: x.astype(np.float32).astype(np.float64),  # float32 widened exactly
    lambda x: x,
], ids=["float32", "float64"])
def test_other_layouts_are_converted_once_to_the_same_values(convert):
    from varnholt._arrays import as_double_array

    x = sine(1000.0, 70.0, 0.01)
    np.testing.assert_array_equal(as_double_array(x.astype(np.float32)), convert(x.astype(np.float32)))
    both = np.stack([x, -x], axis=1)  # column views are strided
    np.testing.assert_array_equal(as_double_array(both[:, 0]), x)
    np.testing.assert_array_equal(as_double_array(x.astype(">f8")), x)


def test_integer_pcm_is_read_with_full_scale_one():
    from varnholt._arrays import as_double_array

    cases = [(np.array([-32768, 0, 16384], np.int16), [-1.0, 0.0, 0.5]),
             (np.array([-2**31, 2**30], np.int32), [-1.0, 0.5]),
             (np.array([-128, 64], np.int8), [-1.0, 0.5]),
             (np.array([0, 128, 192], np.uint8), [-1.0, 0.0, 0.5])]
    for pcm, expected in cases:
        np.testing.assert_array_equal(as_double_array(pcm), expected)


def test_calls_from_many_threads_equal_one_call(signal):
    from concurrent.futures import ThreadPoolExecutor

    alone = binding.roughness_ecma(signal)
    with ThreadPoolExecutor(4) as pool:
        for got in pool.map(lambda _: binding.roughness_ecma(signal), range(4)):
            np.testing.assert_array_equal(got, alone)


def test_a_missing_library_names_the_places_tried_and_the_fix(monkeypatch, tmp_path):
    from varnholt import _library

    monkeypatch.setenv("VARNHOLT_LIBRARY", str(tmp_path / "nowhere.so"))
    monkeypatch.setattr(_library, "LIBRARY_NAME", "libvarnholt-missing.so.1")
    _library.lib.cache_clear()
    try:
        with pytest.raises(varnholt.LibraryNotFoundError) as e:
            _library.lib()
        assert "VARNHOLT_LIBRARY" in str(e.value) and "nowhere.so" in str(e.value)
        assert "cmake --install" in str(e.value)
    finally:
        monkeypatch.undo()
        _library.lib.cache_clear()


# (binding function, C export, values written)
LEVELS = [(binding.sound_levels, "vh_sound_levels", 6),
          (binding.third_octave_levels, "vh_third_octave_levels", 28)]


@pytest.mark.parametrize("function,export,values", LEVELS, ids=[e for _, e, _ in LEVELS])
def test_level_exports_equal_the_c_calls(signal, function, export, values):
    out = ffi.new("double[]", values)
    assert getattr(lib(), export)(ffi.new("double[]", list(signal)), signal.size, RATE, out,
                                  values) == 0
    np.testing.assert_array_equal(function(signal), list(out))
