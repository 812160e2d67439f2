"""Python and the varnholt tool give the same single values on the same
file and options: every value of the tool's JSON summary that Python also
reports, to 1e-12 relative."""

import json
import subprocess

import numpy as np
import pytest

import varnholt

from conftest import am_tone

# Both sides run the same library calls on the same samples and form the
# single values with the same operations; 1e-12 leaves room only for a
# reordered sum, never for a different definition.
RELATIVE = 1e-12


def tool_json(tool, path, options, tmp_path):
    out = tmp_path / "result.json"
    subprocess.run([tool, *options, "--json", str(out), str(path)], check=True,
                   stdout=subprocess.DEVNULL)
    return json.loads(out.read_text())["files"][0]


def assert_same_single_values(channels, tool_file):
    compared = 0
    assert len(channels) == len(tool_file["channels"])
    for c, t in zip(channels, tool_file["channels"]):
        assert c.channel == t["channel"]
        assert c.samples == t["analysed_samples"]
        assert c.rms_pa == pytest.approx(t["rms_pa"], rel=RELATIVE)
        assert c.peak_pa == t["peak_pa"]
        # Every metric of the package; the tool also has sound levels.
        assert set(c.results) <= set(t["metrics"])
        for metric, result in c.results.items():
            tool_summary = t["metrics"][metric]["summary"]
            for key, value in result.summary.items():
                if key not in tool_summary:
                    continue
                expected = tool_summary[key]["value"]
                if expected is None:  # the tool reports no value here
                    assert value is None or np.isnan(value), (metric, key)
                else:
                    assert value == pytest.approx(expected, rel=RELATIVE, abs=0.0), (metric, key)
                    assert tool_summary[key]["unit"] == result.units[
                        next(v.symbol for v in result.single_values if v.key == key)]
                compared += 1
    return compared


def test_stereo_44k1_file_with_full_scale_calibration(tool, stereo_44k1, tmp_path):
    tool_file = tool_json(tool, stereo_44k1, ["--full-scale-spl", "100"], tmp_path)
    assert tool_file["resampling"] is not None
    channels = varnholt.analyze(stereo_44k1, calibration={"full_scale_spl": 100})
    assert all(c.resampled and c.ok for c in channels)
    # 18 single values per channel today.
    assert assert_same_single_values(channels, tool_file) >= 2 * 18


def test_48k_file_with_a_calibrator_recording_in_the_diffuse_field(tool, tmp_path):
    import soundfile

    calibrator = tmp_path / "cal.wav"
    soundfile.write(calibrator, 0.1 * np.sin(2 * np.pi * 1000 * np.arange(9600) / 48000), 48000,
                    subtype="FLOAT")
    recording = tmp_path / "take.flac"
    soundfile.write(recording, 0.05 * am_tone(2000.0, 40.0, 94.0, 0.5), 48000, subtype="PCM_24")
    tool_file = tool_json(tool, recording, ["--field", "diffuse", "--calibration", str(calibrator),
                                            "--calibration-spl", "94"], tmp_path)
    channels = varnholt.analyze(recording, field="diffuse",
                                calibration={"calibrator": calibrator, "spl": 94})
    assert assert_same_single_values(channels, tool_file) >= 18
