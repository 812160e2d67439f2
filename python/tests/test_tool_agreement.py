"""Python and the varnholt tool run the same analysis layer, so on the same
file and settings they give the same numbers, to the last bit: every single
value with its unit and definition, every series and per-band array, frame
times, warnings, errors and statuses. The tool's JSON writes each double as
the shortest text that reads back to it, so equality here is exact."""

import json
import math
import subprocess

import numpy as np
import pytest

import varnholt

from conftest import am_tone, sine


def tool_json(tool, path, options, tmp_path):
    out = tmp_path / "result.json"
    done = subprocess.run([tool, "--metrics", "all", *options, "--json", str(out), str(path)],
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    assert done.returncode in (0, 1), done.stderr
    return json.loads(out.read_text())["files"][0]


def same(python, from_json) -> bool:
    """Values equal bit for bit, a missing value (NaN, None) on both sides alike."""
    a = np.asarray(python, dtype=float).ravel()
    b = np.array([math.nan if v is None else v for v in np.ravel(np.array(from_json,
                                                                          dtype=object))],
                 dtype=float)
    return a.shape == b.shape and bool(np.all((a == b) | (np.isnan(a) & np.isnan(b))))


def assert_same_results(channels, tool_file):
    assert len(channels) == len(tool_file["channels"])
    for c, t in zip(channels, tool_file["channels"]):
        assert (c.channel, c.samples) == (t["channel"], t["analysed_samples"])
        assert (c.rms_pa, c.peak_pa, c.dc_offset_pa, c.dc_removed) == \
            (t["rms_pa"], t["peak_pa"], t["dc_offset_pa"], t["dc_removed"])
        assert c.warnings == tuple(tool_file["warnings"] + t["warnings"])
        assert ("ok" if c.ok else "failed") == t["status"]
        assert set(c.results) | set(c.errors) == set(t["metrics"])
        for metric, m in t["metrics"].items():
            if m["status"] == "failed":
                assert c.errors[metric] == m["error"]
                continue
            r = c.results[metric]
            assert [(v.key, v.unit, v.definition) for v in r.single_values] == \
                [(k, s["unit"], s["definition"]) for k, s in m["summary"].items()], metric
            assert same([math.nan if v.value is None else v.value for v in r.single_values],
                        [s["value"] for s in m["summary"].values()]), metric
            if "frame_times" in m:
                assert same(r.time, m["frame_times"]["values"]), metric
            for key, series in m.get("series", {}).items():
                assert same(getattr(r, key), series["values"]), (metric, key)
            for key, band in m.get("bands", {}).items():
                name = {"tonal_frequency": "band_tonal_frequency",
                        "third_octave_levels": "band_levels"}.get(key, key)
                name = "specific" if key == "specific_loudness" else name
                assert same(getattr(r, name), band["values"]), (metric, key)


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    import soundfile

    d = tmp_path_factory.mktemp("agreement")
    rate = 44100
    soundfile.write(d / "stereo44k1.wav", np.stack([am_tone(1000.0, 70.0, 80.0, 0.8, rate),
                                                    sine(500.0, 70.0, 0.8, rate)], axis=1),
                    rate, subtype="PCM_16")
    soundfile.write(d / "cal.wav", 0.1 * np.sin(2 * np.pi * 1000 * np.arange(9600) / 48000),
                    48000, subtype="FLOAT")
    soundfile.write(d / "take.flac", 0.05 * am_tone(2000.0, 40.0, 94.0, 0.5), 48000,
                    subtype="PCM_24")
    soundfile.write(d / "silent.wav", np.zeros(48000), 48000, subtype="PCM_16")
    # A DC offset of a third of the RMS: warned about, and removable.
    soundfile.write(d / "offset.wav", 0.02 + sine(300.0, 60.0, 0.6) / 2, 48000, subtype="DOUBLE")
    return d


CASES = [
    ("stereo44k1.wav", ["--full-scale-spl", "100"], dict(calibration={"full_scale_spl": 100})),
    ("take.flac", ["--field", "diffuse", "--calibration", "{d}/cal.wav", "--calibration-spl", "94"],
     dict(field="diffuse", calibration={"calibrator": "{d}/cal.wav", "spl": 94})),
    ("silent.wav", [], {}),
    ("offset.wav", [], {}),
    ("offset.wav", ["--remove-dc", "--start", "0.1", "--duration", "0.45", "--channel", "1"],
     dict(remove_dc=True, start=0.1, duration=0.45, channel=1)),
]


@pytest.mark.parametrize("name,options,kwargs", CASES, ids=[f"{c[0]} {' '.join(c[1])}".strip()
                                                             for c in CASES])
def test_python_gives_the_tools_results(tool, files, tmp_path, name, options, kwargs):
    options = [o.replace("{d}", str(files)) for o in options]
    kwargs = {k: ({kk: (vv.replace("{d}", str(files)) if isinstance(vv, str) else vv)
                   for kk, vv in v.items()} if isinstance(v, dict) else v)
              for k, v in kwargs.items()}
    tool_file = tool_json(tool, files / name, options, tmp_path)
    channels = varnholt.analyze(files / name, bands=True, jobs=2, **kwargs)
    assert_same_results(channels, tool_file)


def test_a_dc_offset_is_warned_about_in_python_as_in_the_tool(files):
    (c,) = varnholt.analyze(files / "offset.wav", metrics="levels")
    assert any("DC offset of 0.02 Pa" in w for w in c.warnings)
    (removed,) = varnholt.analyze(files / "offset.wav", metrics="levels", remove_dc=True)
    assert removed.dc_removed and removed["levels"].LZeq < c["levels"].LZeq


def test_arrays_are_views_of_the_layers_result_and_keep_it_alive():
    import gc

    x = am_tone(1000.0, 70.0, 70.0, 0.5)
    specific = varnholt.loudness_time(x).specific
    copy = np.array(specific)
    gc.collect()
    # No copy was made (the array owns no memory), it cannot be written, and
    # the result it views is still there after everything else went.
    assert not specific.flags.owndata and not specific.flags.writeable
    np.testing.assert_array_equal(specific, copy)


def test_a_result_prints_in_a_few_lines(files):
    # In a notebook an analysis shows its single values, not its arrays.
    (c,) = varnholt.analyze(files / "take.flac", bands=True)
    text = repr(c)
    assert len(text.splitlines()) <= 12 and len(text) < 3000
    assert "loudness-time: N_max = " in text and "sone" in text
    assert len(repr(c["ecma-tonality"])) < 1500
