"""Batches on a real two-worker LocalCluster give exactly the rows of a
sequential loop; a broken file becomes a failed row and stops nothing."""

import numpy as np
import pandas as pd
import pytest

import varnholt
from varnholt.batch_dask import analyse_one, expand_paths, to_frame

from conftest import am_tone, sine

METRICS = "loudness,roughness,ecma-roughness"


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


def test_two_worker_cluster_gives_the_rows_of_a_sequential_loop(folder):
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        df = varnholt.batch([folder], metrics=METRICS, calibration={"full_scale_spl": 100},
                            client=client)
        by_address = varnholt.batch([folder], metrics=METRICS,
                                    calibration={"full_scale_spl": 100},
                                    client=cluster.scheduler_address)
    pd.testing.assert_frame_equal(by_address, df)
    names = varnholt.analysis.metric_names(METRICS)
    cal = varnholt.Calibration.full_scale_spl(100)
    rows = [analyse_one(p, c, names, cal, "free")
            for p in expand_paths([folder]) for c in ((1, 2) if "stereo" in p else (1,))]
    pd.testing.assert_frame_equal(df, to_frame(rows, names))

    assert list(df["status"]) == ["ok", "ok", "ok", "failed", "failed"]
    broken = df.iloc[4]
    assert broken["path"].endswith("d_broken.wav") and "not an audio file" in broken["error"]
    assert broken.drop(["path", "channel", "status", "error"]).isna().all()
    short = df.iloc[3]  # loudness succeeds, the framed metrics are refused
    assert short["loudness.N"] > 0 and np.isnan(short["roughness.R_mean"])
    assert "too short" in short["error"]
    assert df.attrs["units"]["loudness.N"] == "sone"
    assert df.attrs["units"]["ecma-roughness.R_p90"] == "asper_HMS"
