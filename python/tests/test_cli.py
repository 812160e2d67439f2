"""python3 -m varnholt: report of a file, report of the tool's JSON."""

import subprocess
import sys

import pytest

import varnholt
from varnholt.static_report import report_figure
from varnholt.tool_json import channels_from_tool_json


def run(*args):
    return subprocess.run([sys.executable, "-m", "varnholt", *args], capture_output=True,
                          text=True)


def test_report_of_a_file(stereo_44k1, tmp_path):
    out = tmp_path / "r.svg"
    done = run("report", str(stereo_44k1), "-o", str(out), "--metrics", "loudness,tonality",
               "--full-scale-spl", "100", "--channel", "2")
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == str(out) and out.read_text().lstrip().startswith("<?xml")


def test_report_titles_name_file_channel_calibration_and_level(stereo_44k1):
    channels = varnholt.analyze(stereo_44k1, metrics="loudness", channel=1,
                                calibration={"full_scale_spl": 100})
    title = report_figure(channels).subfigs[0]._suptitle.get_text()
    for words in ("stereo44k1.wav", "channel 1", "full-scale sine = 100 dB SPL",
                  f"{channels[0].level_db_spl:.1f} dB SPL"):
        assert words in title


def test_plot_of_the_tool_json_holds_the_tool_results(tool, stereo_44k1, tmp_path):
    result = tmp_path / "result.json"
    subprocess.run([tool, "--metrics", "loudness-time,sharpness,ecma-roughness", "--json",
                    str(result), str(stereo_44k1)], check=True, stdout=subprocess.DEVNULL)
    channels = channels_from_tool_json(result)
    python = varnholt.analyze(stereo_44k1, metrics="loudness-time,sharpness,ecma-roughness",
                              bands=True)
    for from_json, computed in zip(channels, python):
        for metric in computed.results:
            assert from_json[metric].summary == computed[metric].summary
        assert from_json["ecma-roughness"].specific_roughness.tolist() == \
            computed["ecma-roughness"].specific_roughness.tolist()
    out = tmp_path / "report.png"
    done = run("plot", str(result), "-o", str(out))
    assert done.returncode == 0, done.stderr
    assert out.read_bytes()[:4] == b"\x89PNG"


def test_a_file_that_cannot_be_read_is_a_clear_error(tmp_path):
    done = run("report", str(tmp_path / "missing.wav"), "-o", str(tmp_path / "r.png"))
    assert done.returncode == 2 and "no such file" in done.stderr
