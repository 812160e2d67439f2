"""Many files on a Dask cluster: one task per (file, channel), one row per
file and channel in a pandas DataFrame.

Without a client, a LocalCluster with one single-threaded worker process per
core runs the tasks; pass a distributed.Client or a scheduler address
("tcp://host:8786") to use any running cluster. A file that fails becomes a
row with its error and no values: a bad file never stops the batch.
"""

from __future__ import annotations

import os
from typing import Iterable

import numpy as np

from .analysis import analyze, metric_names
from .calibration import as_calibration
from .errors import VarnholtError
from .results import RESULT_OF_METRIC

ID_COLUMNS = ["path", "channel", "status", "error", "file_rate_hz", "level_db_spl"]
SOUND_EXTENSIONS = (".wav", ".flac", ".aif", ".aiff", ".ogg", ".au", ".caf", ".w64", ".rf64")


def expand_paths(items: Iterable) -> list[str]:
    """Files as given; directories give their sound files (sorted, recursively)."""
    out = []
    for item in items:
        item = os.fspath(item)
        if os.path.isdir(item):
            for root, _, names in sorted(os.walk(item)):
                out += [os.path.join(root, n) for n in sorted(names)
                        if n.lower().endswith(SOUND_EXTENSIONS)]
        else:
            out.append(item)
    return out


def _channel_count(path: str) -> int:
    """Channels in the file; 1 when it cannot be read, so that its single task
    reports the reason."""
    import soundfile

    try:
        return max(soundfile.info(path).channels, 1)
    except Exception:  # an unreadable file becomes one failed row
        return 1


def _failed_row(path, channel, error) -> dict:
    return {"path": path, "channel": channel, "status": "failed", "error": error}


def analyse_one(path: str, channel: int, metrics, calibration, field) -> dict:
    """One row: the single values of every metric for one channel of one file.
    Never raises: every failure becomes the row's error."""
    try:
        (c,) = analyze(path, metrics=metrics, calibration=calibration, field=field,
                       channel=channel, jobs=1)
    except (VarnholtError, ValueError, OSError, RuntimeError, MemoryError) as e:
        return _failed_row(path, channel, str(e))
    if c.error:
        return _failed_row(path, channel, c.error)
    row = {"path": path, "channel": channel, "status": "ok" if c.ok else "failed",
           "error": "; ".join(f"{m}: {e}" for m, e in c.errors.items()),
           "file_rate_hz": c.file_rate_hz, "level_db_spl": c.level_db_spl}
    for m, r in c.results.items():
        for v in r.single_values:
            row[f"{m}.{v.symbol}"] = v.value
    return row


def columns_and_units(metrics) -> tuple[list[str], dict[str, str]]:
    """Column names ("metric.symbol") and their units, in the tool's order."""
    units = {"file_rate_hz": "Hz", "level_db_spl": "dB SPL"}
    columns = list(ID_COLUMNS)
    for m in metrics:
        for symbol, unit in _single_value_units(m):
            columns.append(f"{m}.{symbol}")
            units[f"{m}.{symbol}"] = unit
    return columns, units


def _single_value_units(metric: str):
    """(symbol, unit) of a metric's single values, from a result on a short tone."""
    cls = RESULT_OF_METRIC[metric]
    return [(v.symbol, v.unit) for v in _template(cls)]


def _template(cls):
    """The single values of a result built from minimal arrays: their symbols
    and units do not depend on the data."""
    from . import results as r

    if cls is r.Loudness:
        return cls.from_arrays("free", np.zeros(240), 0.0, np.zeros(240)).single_values
    if cls is r.LoudnessTime:
        return cls.from_arrays("free", np.zeros(240), np.zeros(1), np.zeros((1, 240))).single_values
    if cls is r.Sharpness:
        return cls.from_arrays("free", 0.0, np.zeros(0)).single_values
    if cls is r.RoughnessDW:
        return cls.from_arrays(np.zeros(1)).single_values
    if cls is r.TonalityAures:
        return cls.from_arrays("free", np.zeros(1)).single_values
    if cls is r.EcmaTonality:
        return cls.from_arrays("free", np.zeros((5, 58, 53))).single_values
    return cls.from_arrays("free", np.zeros((1, 53))).single_values


def to_frame(rows: list[dict], metrics):
    """The DataFrame of the rows, units in df.attrs["units"]."""
    import pandas as pd

    columns, units = columns_and_units(metrics)
    df = pd.DataFrame(rows, columns=columns)
    df["file_rate_hz"] = df["file_rate_hz"].astype("Int64")  # empty in failed rows
    df.attrs["units"] = units
    return df


def batch(paths, metrics=None, calibration=None, client=None, field="free", progress=False):
    """Single values of every (file, channel) as a pandas DataFrame.

    `paths`: files and directories. `client`: None (a LocalCluster on every
    core), a distributed.Client, or a scheduler address. Columns: path,
    channel, status ("ok"/"failed"), error, file_rate_hz, level_db_spl, then
    "metric.symbol" per single value; units in df.attrs["units"].
    """
    import distributed

    names = metric_names(metrics)
    # Resolved once here (a calibrator recording is read on this machine), and
    # a bad calibration is refused before any task runs.
    calibration = as_calibration(calibration)
    files = expand_paths(paths if not isinstance(paths, (str, os.PathLike)) else [paths])
    own_cluster = None
    if client is None:
        own_cluster = distributed.LocalCluster(n_workers=os.cpu_count() or 1,
                                               threads_per_worker=1, processes=True,
                                               dashboard_address=None)
        client = distributed.Client(own_cluster)
        own_client = client
    elif isinstance(client, str):
        own_client = client = distributed.Client(client)
    else:
        own_client = None
    try:
        # Channels are counted where the files are read: on the workers.
        counts = client.gather(client.map(_channel_count, files, pure=False))
        tasks = [(p, c) for p, n in zip(files, counts) for c in range(1, n + 1)]
        futures = [client.submit(analyse_one, p, c, names, calibration, field, pure=False)
                   for p, c in tasks]
        if progress:
            distributed.progress(futures)
        rows = client.gather(futures)
    finally:
        if own_client is not None:
            own_client.close()
        if own_cluster is not None:
            own_cluster.close()
    return to_frame(rows, names)
