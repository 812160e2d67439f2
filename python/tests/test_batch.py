"""Batches on a real two-worker LocalCluster give exactly the rows of a
sequential loop, in memory, in SQLite and in CSV; a broken file becomes a
failed row and stops nothing; a batch run again computes only what is
missing, and refuses other settings."""

import os
import signal
import sqlite3
import subprocess
import sys
import textwrap

import numpy as np
import pandas as pd
import pytest

import varnholt
from varnholt.batch_dask import (_without_path, channel_row, expand_paths, failed_row,
                                 progress_line)
from varnholt.batch_store import SINGLE_VALUES, SettingsDifferError, read_results, to_frame

from conftest import am_tone, sine

METRICS = "loudness,roughness,ecma-roughness"
CAL = {"full_scale_spl": 100}
WAIT_S = 120.0


@pytest.fixture(scope="module")
def folder(tmp_path_factory, stereo_44k1):
    import shutil

    import soundfile

    d = tmp_path_factory.mktemp("batch")
    shutil.copy(stereo_44k1, d / "a_stereo.wav")
    soundfile.write(d / "b_mono.flac", am_tone(500.0, 30.0, 60.0, 0.4), 48000, subtype="PCM_24")
    soundfile.write(d / "c_short.wav", sine(1000.0, 60.0, 0.05), 48000, subtype="FLOAT")
    (d / "d_broken.wav").write_bytes(b"RIFF not really a wave file")
    return d


@pytest.fixture(scope="module")
def client():
    import distributed

    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as c:
        yield c


def sequential(paths, metrics, calibration=None):
    """The table of a loop over files and channels in this process."""
    rows = []
    for p in paths:
        try:
            rows += [channel_row(c) for c in varnholt.analyze(p, metrics=metrics, calibration=calibration)]
        except varnholt.VarnholtError as e:
            rows.append(failed_row(p, 1, _without_path(str(e), p)))
    return to_frame(rows, varnholt.analysis.metric_names(metrics))


def by_key(df):
    """Rows in the order of the files and channels, as a batch returns them."""
    return df.sort_values(["path", "channel"], ignore_index=True)


def test_two_worker_cluster_gives_the_rows_of_a_sequential_loop(folder, client, monkeypatch):
    df = varnholt.batch([folder], metrics=METRICS, calibration=CAL, client=client)
    monkeypatch.setattr(varnholt.batch_dask, "IN_FLIGHT", 2)  # submitted two at a time
    by_address = varnholt.batch([folder], metrics=METRICS, calibration=CAL,
                                client=client.scheduler.address)
    pd.testing.assert_frame_equal(by_address, df)
    pd.testing.assert_frame_equal(df, sequential(expand_paths([folder]), METRICS, CAL),
                                  check_exact=True)

    assert list(df["status"]) == ["ok", "ok", "ok", "failed", "failed"]
    broken = df.iloc[4]
    assert broken["error"].startswith("not an audio file") and "d_broken" not in broken["error"]
    assert broken.drop(["path", "channel", "status", "error", "warnings"]).isna().all()
    short = df.iloc[3]  # loudness succeeds, the framed metrics are refused
    assert short["loudness.N"] > 0 and np.isnan(short["roughness.R_mean"])
    assert "too short" in short["error"]
    assert df.attrs["units"]["loudness.N"] == "sone"
    assert df.attrs["units"]["ecma-roughness.R_p90"] == "asper_HMS"


@pytest.mark.parametrize("metric", list(SINGLE_VALUES))
def test_declared_single_values_are_those_of_the_results(metric):
    """The table's columns are declared per metric: they must be the symbols,
    keys and units of the results, in their order (on a tone, where
    ecma-tonality reports its tonal frequency)."""
    from varnholt.metrics import METRIC_FUNCTIONS

    x = am_tone(1000.0, 70.0, 70.0, 1.0)
    r = varnholt.levels(x) if metric == "levels" else METRIC_FUNCTIONS[metric](x, "free")
    assert [(v.symbol, v.key, v.unit) for v in r.single_values] == list(SINGLE_VALUES[metric])


@pytest.mark.parametrize("fmt", ["sqlite", "csv"])
def test_outputs_hold_the_table_with_units_and_settings_and_resume(folder, client, tmp_path,
                                                                    fmt):
    out = tmp_path / f"results.{fmt}"
    in_memory = varnholt.batch([folder], metrics=METRICS, calibration=CAL, client=client)
    df = varnholt.batch([folder], metrics=METRICS, calibration=CAL, client=client, out=out)
    assert (df.attrs["submitted"], df.attrs["skipped"]) == (5, 0)
    pd.testing.assert_frame_equal(df, in_memory, check_exact=True)
    pd.testing.assert_frame_equal(by_key(read_results(out)), in_memory, check_exact=True)
    again = varnholt.batch([folder], metrics=METRICS, calibration=CAL, client=client, out=out)
    assert (again.attrs["submitted"], again.attrs["skipped"]) == (0, 5)
    pd.testing.assert_frame_equal(again, in_memory, check_exact=True)

    if fmt == "csv":
        header = out.read_text().splitlines()[0].split(",")
        assert header[:7] == ["path", "channel", "status", "error", "warnings",
                              "file_rate_hz [Hz]", "level_db_spl [dB SPL]"]
        assert "loudness.loudness [sone]" in header and "roughness.r5 [asper]" in header
    else:
        with sqlite3.connect(out) as db:
            units = dict(db.execute("SELECT column_name, unit FROM units"))
            settings = dict(db.execute("SELECT name, value FROM settings"))
        assert units["ecma-roughness.roughness_p90"] == "asper_HMS"
        assert settings["library_version"] == f'"{varnholt.binding.version_string()}"'
        assert settings["start_s"] == settings["duration_s"] == "null"


@pytest.mark.parametrize("fmt", ["sqlite", "csv"])
def test_a_value_a_result_leaves_out_is_an_empty_cell_in_its_column(client, tmp_path, fmt):
    import soundfile

    soundfile.write(tmp_path / "silence.wav", np.zeros(48000), 48000)
    out = tmp_path / f"results.{fmt}"
    df = varnholt.batch([tmp_path / "silence.wav"], metrics="ecma-tonality", client=client,
                        out=out)
    assert df["ecma-tonality.T_max"][0] == 0.0 and np.isnan(df["ecma-tonality.f_T_max"][0])
    if fmt == "csv":
        import csv

        header, row = csv.reader(out.read_text().splitlines())
        cells = dict(zip(header, row))
        assert cells["ecma-tonality.tonal_frequency_at_max [Hz]"] == ""
    else:
        with sqlite3.connect(out) as db:
            [(value,)] = db.execute('SELECT "ecma-tonality.tonal_frequency_at_max" FROM results')
        assert value is None


@pytest.mark.parametrize("change, setting", [
    ({"metrics": "loudness"}, "metrics"),
    ({"calibration": {"full_scale_spl": 94}}, "calibration"),
    ({"field": "diffuse"}, "field"),
])
def test_other_settings_on_an_existing_output_are_refused_unless_overwritten(
        folder, client, tmp_path, change, setting):
    out = tmp_path / "results.sqlite"
    call = dict(metrics=METRICS, calibration=CAL, client=client, out=out)
    varnholt.batch([folder / "b_mono.flac"], **call)
    before = read_results(out).attrs["settings"]
    with pytest.raises(SettingsDifferError, match=f"settings \\({setting}: .* there, .* here\\)"):
        varnholt.batch([folder / "b_mono.flac"], **dict(call, **change))
    df = varnholt.batch([folder / "b_mono.flac"], **dict(call, **change), overwrite=True)
    assert df.attrs["submitted"] == 1
    assert read_results(out).attrs["settings"][setting] != before[setting]


@pytest.mark.parametrize("fmt", ["sqlite", "csv"])
def test_a_file_changed_since_its_row_is_analysed_again_and_its_row_replaced(client, tmp_path,
                                                                              fmt):
    import soundfile

    paths = [str(tmp_path / f"{n}.wav") for n in ("quiet", "loud")]
    soundfile.write(paths[0], sine(1000.0, 50.0, 0.3), 48000, subtype="FLOAT")
    soundfile.write(paths[1], sine(1000.0, 80.0, 0.3), 48000, subtype="FLOAT")
    out = tmp_path / f"results.{fmt}"
    before = varnholt.batch(paths, metrics="loudness", client=client, out=out)
    soundfile.write(paths[0], np.stack([sine(1000.0, 60.0, 0.4)] * 2, axis=1), 48000,
                    subtype="FLOAT")
    after = varnholt.batch(paths, metrics="loudness", client=client, out=out)
    assert (after.attrs["submitted"], after.attrs["skipped"]) == (2, 1)
    pd.testing.assert_frame_equal(by_key(read_results(out)), sequential(sorted(paths), "loudness"),
                                  check_exact=True)
    assert after["loudness.N"][0] > before["loudness.N"][0]


def test_a_torn_last_csv_line_is_cut_off_and_its_row_computed_again(folder, client, tmp_path):
    out = tmp_path / "results.csv"
    call = dict(metrics=METRICS, calibration=CAL, client=client, out=out)
    whole = varnholt.batch([folder], **call)
    text = out.read_text()
    last = text.rstrip("\n").rfind("\n") + 1
    out.write_text(text[:last + (len(text) - last) // 2])  # half of the last row
    again = varnholt.batch([folder], **call)
    assert (again.attrs["submitted"], again.attrs["skipped"]) == (1, 4)
    assert out.read_text() == text
    pd.testing.assert_frame_equal(by_key(read_results(out)), whole, check_exact=True)


def test_series_are_written_per_file_channel_and_metric_with_no_part_files(folder, client,
                                                                          tmp_path):
    series = tmp_path / "series"
    df = varnholt.batch([folder / "a_stereo.wav", folder / "b_mono.flac"],
                        metrics="loudness,ecma-roughness", calibration=CAL, client=client,
                        series=series)
    assert sorted(os.listdir(series)) == [f"{n}.ch{c}.ecma-roughness.csv"
                                          for n, c in (("a_stereo", 1), ("a_stereo", 2),
                                                       ("b_mono", 1))]
    table = pd.read_csv(series / "a_stereo.ch2.ecma-roughness.csv", float_precision="round_trip")
    r = varnholt.analyze(folder / "a_stereo.wav", metrics="ecma-roughness", calibration=CAL, channel=2)[0]
    assert list(table.columns) == ["time_s", "roughness_asper_HMS"]
    assert table["roughness_asper_HMS"].tolist() == r["ecma-roughness"].roughness.tolist()
    assert df.attrs["submitted"] == 3


def test_folders_give_every_extension_libsndfile_reads_and_nothing_is_an_error(tmp_path):
    (tmp_path / "sub").mkdir()
    for name in ("b.OGA", "a.wav", "notes.txt", "sub/c.flac"):
        (tmp_path / name).write_bytes(b"")
    assert expand_paths([tmp_path]) == [str(tmp_path / "a.wav"), str(tmp_path / "b.OGA")]
    assert expand_paths(tmp_path, recursive=True)[-1] == str(tmp_path / "sub" / "c.flac")
    (tmp_path / "empty").mkdir()
    with pytest.raises(ValueError, match="holds no sound files .*recursive"):
        expand_paths([tmp_path / "sub" / "c.flac", tmp_path / "empty"])
    done = subprocess.run([sys.executable, "-m", "varnholt", "batch", str(tmp_path / "empty"),
                           "--out", str(tmp_path / "r.csv")], capture_output=True, text=True,
                          timeout=WAIT_S)
    assert done.returncode == 2 and "holds no sound files" in done.stderr


def test_progress_line_counts_rows_and_estimates_the_time_left():
    assert progress_line(10, 40, 0, 5.0) == "batch: 10/40 rows, about 15 s left"
    assert progress_line(10, 40, 60, 300.0) == \
        "batch: 70/100 rows (60 from an earlier run), about 15 min left"
    assert progress_line(40, 40, 0, 20.0) == "batch: 40/40 rows, done in 20.0 s"


@pytest.mark.parametrize("guarded", [False, True])
def test_a_script_without_the_main_guard_fails_once_with_the_fix(folder, tmp_path, guarded):
    call = (f"df = varnholt.batch([{str(folder / 'b_mono.flac')!r}], metrics='loudness')\n"
            "print('rows', len(df))\n")
    body = ('if __name__ == "__main__":\n' + textwrap.indent(call, "    ")) if guarded else call
    script = tmp_path / "analyse_all.py"
    script.write_text("import varnholt\n\n" + body)
    process = subprocess.Popen([sys.executable, str(script)], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True, start_new_session=True,
                               cwd=tmp_path)
    try:
        stdout, stderr = process.communicate(timeout=WAIT_S)
    finally:
        try:
            os.killpg(process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
        process.wait(timeout=WAIT_S)
    if guarded:
        assert process.returncode == 0 and "rows 1" in stdout, stderr
        return
    assert process.returncode == 1 and "Nanny" not in stderr
    assert stderr.count("Traceback") == 1
    assert f"{script}, line 3: varnholt.batch starts worker processes" in stderr
    assert 'if __name__ == "__main__":\n        df = varnholt.batch(...)' in stderr
