"""Batches survive faults of real processes: a Dask scheduler and two workers
run as programs on 127.0.0.1, and a worker, the client or the scheduler is
killed in the middle. Every (file, channel) row ends up in the output exactly
once, equal to a sequential analysis in this process."""

import os
import signal
import socket
import sqlite3
import subprocess
import sys
import time
from pathlib import Path

import numpy as np
import pandas as pd
import pytest

import varnholt
from varnholt.batch_dask import channel_row
from varnholt.batch_store import read_results, to_frame

from conftest import am_tone, sine

METRICS = ("loudness", "sharpness")  # cheap: the files' length sets the pace
FILES = 40
SECONDS = 3.0
KILL_AFTER_ROWS = 8
WAIT_S = 120.0  # the bound of every wait for a process or a row
PYTHON_DIR = str(Path(__file__).resolve().parents[1])


def _free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _environment() -> dict:
    env = dict(os.environ)
    if not env.get("VARNHOLT_LIBRARY"):
        pytest.fail("set VARNHOLT_LIBRARY to the built libvarnholt.so.1")
    env["PYTHONPATH"] = os.pathsep.join(p for p in (PYTHON_DIR, env.get("PYTHONPATH")) if p)
    # A client that has lost its scheduler gives up reconnecting after this.
    env["DASK_DISTRIBUTED__COMM__TIMEOUTS__CONNECT"] = "5s"
    return env


def _kill(process: subprocess.Popen) -> None:
    """SIGKILL the process group a test started (a worker's nanny and its
    worker process together)."""
    try:
        os.killpg(process.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    process.wait(timeout=WAIT_S)


class Cluster:
    """`dask scheduler` and `dask worker` programs, each in its own process
    group, on their own ports on 127.0.0.1."""

    def __init__(self, logs: Path, workers: int, started: list):
        env = _environment()
        port = _free_port()
        self.address = f"tcp://127.0.0.1:{port}"

        def start(name, *args):
            log = open(logs / f"{name}-{port}.log", "w")
            p = subprocess.Popen([sys.executable, "-m", *args], env=env, stdout=log,
                                 stderr=subprocess.STDOUT, start_new_session=True,
                                 cwd=logs)
            log.close()
            started.append(p)
            return p

        self.scheduler = start("scheduler", "distributed.cli.dask_scheduler", "--host",
                               "127.0.0.1", "--port", str(port), "--no-dashboard", "--no-show")
        self.workers = [
            start(f"worker{i}", "distributed.cli.dask_worker", self.address, "--host",
                  "127.0.0.1", "--worker-port", str(_free_port()), "--nanny-port",
                  str(_free_port()), "--nthreads", "1", "--nworkers", "1", "--no-dashboard",
                  "--name", f"worker{i}", "--local-directory", str(logs))
            for i in range(workers)]
        import distributed

        with distributed.Client(self.address, timeout=WAIT_S) as client:
            client.wait_for_workers(workers, timeout=WAIT_S)

    def worker_count(self) -> int:
        import distributed

        with distributed.Client(self.address, timeout=WAIT_S) as client:
            return len(client.scheduler_info()["workers"])


@pytest.fixture
def start_cluster(tmp_path):
    """Starts clusters on demand; every process is killed when the test ends."""
    started: list[subprocess.Popen] = []
    yield lambda workers=2: Cluster(tmp_path, workers, started)
    for p in started:
        _kill(p)


@pytest.fixture(scope="module")
def cluster(tmp_path_factory):
    """A cluster that the tests on it leave healthy."""
    started: list[subprocess.Popen] = []
    try:
        yield Cluster(tmp_path_factory.mktemp("cluster"), 2, started)
    finally:
        for p in started:
            _kill(p)


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    """40 files of 3 s: noise at levels from 40 to 80 dB SPL, every fifth one
    stereo with a tone on its second channel."""
    import soundfile

    d = tmp_path_factory.mktemp("sounds")
    rng = np.random.default_rng(20240611)
    paths = []
    for i in range(FILES):
        noise = rng.standard_normal(int(SECONDS * 48000))
        noise *= 2e-5 * 10 ** ((40 + i) / 20) / noise.std()
        data = noise if i % 5 else np.stack([noise, sine(250.0 + 50 * i, 60.0, SECONDS)], axis=1)
        paths.append(str(d / f"take{i:02d}.wav"))
        soundfile.write(paths[-1], data, 48000, subtype="FLOAT")
    return paths


@pytest.fixture(scope="module")
def sequential(files):
    """The table analysed here, file by file, channel by channel."""
    rows = [channel_row(c) for p in files for c in varnholt.analyze(p, metrics=METRICS)]
    return to_frame(rows, METRICS)


def _table(out) -> pd.DataFrame:
    """Every row stored, after checking that no (file, channel) is there twice."""
    df = read_results(out)
    assert not df.duplicated(["path", "channel"]).any()
    return df.sort_values(["path", "channel"], ignore_index=True)


def _rows_in(out: Path) -> int:
    """Rows readable now in an output being written; 0 before it exists.
    SQLite rows are counted in the database, not read into a table: a poll
    that takes long lets a fast batch finish before the test can stop it."""
    try:
        if Path(out).suffix == ".sqlite":
            db = sqlite3.connect(f"file:{out}?mode=ro", uri=True, timeout=0.05)
            try:
                return db.execute("SELECT count(*) FROM results").fetchone()[0]
            finally:
                db.close()
        return len(read_results(out))
    except (ValueError, OSError, sqlite3.Error, KeyError):
        return 0


def _assert_same_table(out, sequential):
    pd.testing.assert_frame_equal(_table(out), sequential, check_exact=True)


def _client_process(tmp_path, files, address, out) -> subprocess.Popen:
    log = open(tmp_path / "client.log", "w")
    p = subprocess.Popen([sys.executable, "-m", "varnholt", "batch", *files, "--scheduler",
                          address, "--metrics", ",".join(METRICS), "--out", str(out)],
                         env=_environment(), stdout=log, stderr=subprocess.STDOUT,
                         start_new_session=True)
    log.close()
    return p


@pytest.fixture
def client_process(tmp_path):
    """Runs `python3 -m varnholt batch` as its own process group; killed at the end."""
    started = []

    def start(*args):
        started.append(_client_process(tmp_path, *args))
        return started[-1]

    yield start
    for p in started:
        _kill(p)


def _wait_for_rows(out, process, n: int) -> None:
    deadline = time.monotonic() + WAIT_S
    while _rows_in(out) < n:
        assert process.poll() is None, "the batch ended before it could be stopped"
        assert time.monotonic() < deadline, f"no {n} rows in {out} within {WAIT_S} s"
        time.sleep(0.01)


TASKS = FILES + FILES // 5  # every fifth file has two channels


@pytest.mark.parametrize("fmt", ["sqlite", "csv"])
def test_a_worker_killed_mid_batch_leaves_every_row_exactly_once(start_cluster, files,
                                                                 sequential, tmp_path, fmt):
    cluster = start_cluster()
    out = tmp_path / f"results.{fmt}"
    killed_at = []

    def kill_a_worker(done, total):
        if done >= KILL_AFTER_ROWS and not killed_at:
            _kill(cluster.workers[1])
            killed_at.append(done)

    df = varnholt.batch(files, metrics=METRICS, client=cluster.address, out=out,
                        progress=kill_a_worker)
    assert killed_at and killed_at[0] < TASKS
    assert cluster.worker_count() == 1
    assert df.attrs["submitted"] == TASKS
    _assert_same_table(out, sequential)


@pytest.mark.parametrize("fmt", ["sqlite", "csv"])
def test_a_killed_client_resumes_and_computes_only_what_is_missing(cluster, client_process,
                                                                   files, sequential,
                                                                   tmp_path, fmt):
    out = tmp_path / f"results.{fmt}"
    client = client_process(files, cluster.address, out)
    _wait_for_rows(out, client, KILL_AFTER_ROWS)
    _kill(client)
    kept = _rows_in(out)
    assert KILL_AFTER_ROWS <= kept < TASKS
    df = varnholt.batch(files, metrics=METRICS, client=cluster.address, out=out)
    assert (df.attrs["submitted"], df.attrs["skipped"]) == (TASKS - kept, kept)
    _assert_same_table(out, sequential)


def test_a_killed_scheduler_is_a_clear_error_and_a_new_one_resumes(start_cluster,
                                                                    client_process, files,
                                                                    sequential, tmp_path):
    first = start_cluster()
    out = tmp_path / "results.sqlite"
    client = client_process(files, first.address, out)
    _wait_for_rows(out, client, KILL_AFTER_ROWS)
    _kill(first.scheduler)
    assert client.wait(timeout=WAIT_S) == 2
    log = (tmp_path / "client.log").read_text()
    assert f"lost the connection to the scheduler {first.address}" in log
    assert "run the same call again" in log
    kept = _rows_in(out)
    assert KILL_AFTER_ROWS <= kept < TASKS
    second = start_cluster()
    df = varnholt.batch(files, metrics=METRICS, client=second.address, out=out)
    assert (df.attrs["submitted"], df.attrs["skipped"]) == (TASKS - kept, kept)
    _assert_same_table(out, sequential)


def test_bad_files_become_rows_with_their_error_and_the_batch_goes_on(cluster, files,
                                                                      tmp_path):
    import soundfile

    truncated = tmp_path / "truncated.flac"
    soundfile.write(truncated, am_tone(1000.0, 70.0, 70.0, 2.0), 48000)
    whole = truncated.read_bytes()
    truncated.write_bytes(whole[:len(whole) // 2])
    not_audio = tmp_path / "notes.wav"
    not_audio.write_text("a text file, not a sound\n")
    too_short = tmp_path / "click.wav"
    soundfile.write(too_short, sine(1000.0, 60.0, 100 / 48000), 48000, subtype="FLOAT")
    paths = [files[1], str(truncated), str(not_audio), str(too_short), files[2]]
    df = varnholt.batch(paths, metrics=METRICS, client=cluster.address,
                        out=tmp_path / "results.csv")
    assert list(df["status"]) == ["ok", "failed", "failed", "failed", "ok"]
    assert "lost sync" in df["error"][1]
    assert "not an audio file" in df["error"][2]
    assert df["error"][3] == "; ".join(f"{m}: input is too short "
                                       "(needs at least 256 samples, 5 ms at 48 kHz)"
                                       for m in METRICS)
    for path, error in zip(df["path"], df["error"]):
        assert path not in error and os.path.basename(path) not in error
