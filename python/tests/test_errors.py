"""Every status raises its exception; bad inputs give clear errors and
never crash the interpreter."""

import math

import numpy as np
import pytest

import varnholt
from varnholt import binding, errors

from conftest import sine

STATUS_CLASSES = [
    (1, errors.NullPointerError, False),
    (2, errors.InvalidArgumentError, True),
    (3, errors.InvalidSampleRateError, True),
    (4, errors.InvalidSoundFieldError, True),
    (5, errors.NonFiniteInputError, True),
    (6, errors.InputTooShortError, True),
    (7, errors.OutputTooSmallError, False),
    (8, errors.SizeOverflowError, True),
    (9, errors.AllocationError, False),
    (10, errors.NumericalError, False),
]


@pytest.mark.parametrize("status,cls,is_input", STATUS_CLASSES)
def test_every_status_maps_to_its_exception(status, cls, is_input):
    text = binding.status_string(status)
    with pytest.raises(cls) as e:
        binding._check(status, "vh_something")
    assert e.value.status == status and e.value.status_text == text
    assert isinstance(e.value, varnholt.VarnholtError)
    assert isinstance(e.value, ValueError) == is_input
    assert str(e.value) == f"vh_something: {text}"


def test_an_unknown_status_is_a_plain_varnholt_error():
    with pytest.raises(varnholt.VarnholtError) as e:
        binding._check(42, "vh_something")
    assert type(e.value) is varnholt.VarnholtError and e.value.status == 42
    assert e.value.status_text == "unknown status"


OK = sine(1000.0, 60.0, 0.4)
WITH_NAN = OK.copy()
WITH_NAN[100] = math.nan

# (call, exception, words the message must hold)
BAD_INPUTS = [
    (lambda: varnholt.loudness(WITH_NAN), errors.NonFiniteInputError, "sample 100 (at"),
    (lambda: varnholt.ecma_roughness(np.full(20000, math.inf)), errors.NonFiniteInputError,
     "sample 0 (at 0 s) is not a finite number"),
    (lambda: varnholt.loudness(OK.astype(np.complex128)), errors.InvalidArgumentError, "complex"),
    (lambda: varnholt.loudness(["a", "b"]), errors.InvalidArgumentError, "expected numbers"),
    (lambda: varnholt.roughness_dw(np.zeros((2, 20000))), errors.InvalidArgumentError,
     "expected one channel"),
    (lambda: varnholt.loudness(np.empty(0)), errors.InputTooShortError, "too short"),
    (lambda: varnholt.roughness_dw(OK[:9599]), errors.InputTooShortError, "at least 9600"),
    (lambda: varnholt.ecma_tonality(OK[:1000]), errors.InputTooShortError, "at least 14592"),
    (lambda: binding.loudness_stationary(OK, sample_rate=44100), errors.InvalidSampleRateError,
     "sample rate"),
    (lambda: binding.roughness_ecma(OK, sample_rate=44100), errors.InvalidSampleRateError,
     "sample rate"),
    (lambda: varnholt.loudness(OK, fs=-1), errors.InvalidSampleRateError, "sample rate"),
    (lambda: varnholt.tonality_aures(OK, field="outdoor"), errors.InvalidSoundFieldError,
     "free"),
    (lambda: varnholt.ecma_tonality(OK, field=2**40), errors.InvalidSoundFieldError, "free"),
    (lambda: binding.sharpness_din(-np.ones(240)), errors.InvalidArgumentError,
     "invalid argument"),
    (lambda: binding.loudness_from_levels(np.zeros(27)), errors.InvalidArgumentError,
     "invalid argument"),
    (lambda: varnholt.Calibration.scale(-1.0), errors.InvalidArgumentError, "positive"),
    (lambda: varnholt.Calibration.scale(math.nan), errors.InvalidArgumentError, "positive"),
    (lambda: varnholt.Calibration.scale(True), errors.InvalidArgumentError, "expected a number"),
    (lambda: varnholt.loudness(sine(1000.0, 60.0, 0.4) * 1e6), errors.InvalidArgumentError,
     "above 120 dB"),
    (lambda: varnholt.analyze(OK, fs=48000, bands=True, band_rows=1), errors.InvalidArgumentError,
     "2 or more"),
    (lambda: varnholt.analyze(OK, fs=48000, bands=True, band_rows=True),
     errors.InvalidArgumentError, "band_rows True"),
]


@pytest.mark.parametrize("call,cls,words", BAD_INPUTS, ids=range(len(BAD_INPUTS)))
def test_bad_inputs_raise_clear_errors(call, cls, words):
    with pytest.raises(cls) as e:
        call()
    assert isinstance(e.value, ValueError)
    assert words in str(e.value)


def test_the_analysis_export_reports_its_own_first_failing_check():
    # A short signal with a bad field: the ECMA analysis checks the field
    # before the length (its frame count knows no field).
    with pytest.raises(errors.InvalidSoundFieldError):
        binding.ecma_tonal_analysis(OK[:100], 7)


def test_file_analysis_reports_what_it_cannot_analyse(tmp_path):
    import soundfile

    path = tmp_path / "nan.wav"
    x = sine(1000.0, 60.0, 0.4)
    x[480] = math.nan
    soundfile.write(path, np.stack([x, sine(500.0, 60.0, 0.4)], axis=1), 48000, subtype="DOUBLE")
    bad, good = varnholt.analyze(path, metrics="loudness")
    assert bad.error == "sample 480 (at 0.01 s) is not a finite number" and not bad.results
    assert good.ok and good["loudness"].N > 0
    loud, = varnholt.analyze(path, metrics="loudness", calibration=1e7, channel=2)
    assert "exceeds one atmosphere" in loud.error
    with pytest.raises(errors.InvalidArgumentError, match="channel 3 does not exist"):
        varnholt.analyze(path, channel=3)
    with pytest.raises(errors.InvalidArgumentError, match="choose from"):
        varnholt.analyze(path, metrics="loudness,colour")
    with pytest.raises(errors.InvalidArgumentError, match="positive"):
        varnholt.analyze(path, calibration=-2.0)


def test_sound_files_are_found_as_the_tool_finds_them(tmp_path):
    for name in ("b.oga", "a.WAV", "notes.txt", "sub/c.flac"):
        (tmp_path / name).parent.mkdir(exist_ok=True)
        (tmp_path / name).write_bytes(b"")
    top = str(tmp_path)
    assert varnholt.sound_files(tmp_path) == [f"{top}/a.WAV", f"{top}/b.oga"]
    assert varnholt.sound_files([tmp_path], recursive=True)[-1] == f"{top}/sub/c.flac"
    (tmp_path / "empty").mkdir()
    with pytest.raises(errors.InvalidArgumentError, match="empty"):
        varnholt.sound_files(tmp_path / "empty")
