"""Many files on a Dask cluster: one task per (file, channel), one row per
file and channel, written to an output the moment its task finishes.

Without a client, a LocalCluster with one single-threaded worker process per
core runs the tasks; pass a distributed.Client or a scheduler address
("tcp://host:8786") to use any running cluster. Only this process writes the
output, once per finished task, so a row is never lost once written and never
written twice: a worker that dies has its tasks run again elsewhere, and a
batch stopped at any moment resumes from its output when run again. A file
that cannot be analysed becomes a row with its error; the batch goes on.
"""

from __future__ import annotations

import ast
import dataclasses
import itertools
import json
import logging
import math
import os
import sys
import time
from concurrent.futures import CancelledError
from typing import Iterable

from . import batch_store
from .analysis import analyze, metric_names
from .batch_store import open_store, read_settings, series_names, series_of, write_series
from .calibration import as_calibration
from .errors import LibraryNotFoundError, VarnholtError

# How many files one task looks at when the workers count channels and read
# sizes and times: enough to make the per-task overhead small on 10,000 files.
PROBE_CHUNK = 250
# Tasks submitted at most at any time; topped up when half have finished. A
# future costs the client a few kilobytes, so its memory stays bounded on a
# batch of any size, and the queue is still far longer than any cluster's
# worker threads.
IN_FLIGHT = 2000


class SchedulerLostError(RuntimeError):
    """The connection to the Dask scheduler was lost in the middle of a batch."""


# ---------------------------------------------------------------------------
# Finding the files

def expand_paths(items: Iterable, recursive: bool = False) -> list[str]:
    """The files of the batch, found by the analysis layer exactly as the
    varnholt tool finds them (see varnholt.sound_files), each once. Raises
    ValueError for a folder without sound files and when nothing is left."""
    from .analysis import sound_files

    out = list(dict.fromkeys(sound_files(items, recursive)))
    if not out:
        raise ValueError("no files to analyse")
    return out


# ---------------------------------------------------------------------------
# What runs on the workers

def probe_files(paths, known: dict) -> list[tuple[int, int, int]]:
    """(size in bytes, modification time in ns, channels) of each file, seen
    where the files are read. `known` gives these for files with rows: while
    size and time agree, the channels are taken from there and the file is not
    opened. An unreadable file counts one channel (its task reports why); a
    missing one has size and time -1."""
    import soundfile

    out = []
    for p in paths:
        try:
            st = os.stat(p)
        except OSError:
            out.append((-1, -1, 1))
            continue
        stamp = known.get(p)
        if stamp is not None and stamp[:2] == (st.st_size, st.st_mtime_ns):
            out.append(stamp)
            continue
        try:
            channels = max(soundfile.info(p).channels, 1)
        except Exception:  # any failure to read is the task's to report
            channels = 1
        out.append((st.st_size, st.st_mtime_ns, channels))
    return out


def worker_versions() -> tuple[str, str]:
    """The package's version and the library's, where the tasks run."""
    from . import __version__, binding

    return __version__, binding.version_string()


def channel_row(c) -> dict:
    """One row of the table from one channel's analysis: its identity and
    status, then every single value as "metric.symbol" (None where a result
    leaves a value out)."""
    errors = ([c.error] if c.error else []) + [f"{m}: {e}" for m, e in c.errors.items()]
    row = {"path": c.path, "channel": c.channel, "status": "failed" if errors else "ok",
           "error": "; ".join(errors), "warnings": "; ".join(getattr(c, "warnings", ())),
           "file_rate_hz": c.file_rate_hz, "level_db_spl": None if c.error else c.level_db_spl}
    for m, r in c.results.items():
        for v in r.single_values:
            row[f"{m}.{v.symbol}"] = v.value
    return row


def failed_row(path: str, channel: int, error: str) -> dict:
    return {"path": path, "channel": channel, "status": "failed", "error": error,
            "warnings": ""}


def _without_path(message: str, path: str) -> str:
    """An error about a file without its path: the row names the file already."""
    if message.startswith(path + ": "):
        message = message[len(path) + 2:]
    return message.replace(f"Error opening '{path}': ", "").replace(path, "the file")


def analyse_task(path: str, channel: int, stamp: tuple, metrics, calibration, field,
                 series: bool):
    """The row of one channel of one file, with the file's size, time and
    channels as probed (`stamp`), and its per-frame series when asked for. A fault of the file
    becomes the row's error; a fault of the worker (no library) is raised."""
    try:
        # One thread per task: the cluster runs as many tasks as it has
        # worker threads, and threads within a task would only compete.
        [c] = analyze(path, metrics=metrics, calibration=calibration, field=field,
                      channel=channel, jobs=1)
    except LibraryNotFoundError:
        raise
    except (VarnholtError, ValueError, OSError, RuntimeError, MemoryError) as e:
        row, frames = failed_row(path, channel, _without_path(str(e), path)), {}
    else:
        row, frames = channel_row(c), series_of(c.results) if series else {}
    row["file_size"], row["file_mtime_ns"], row["file_channels"] = stamp
    return row, frames


# ---------------------------------------------------------------------------
# The script guard

GUARD_FIX = '''Put the script's work under the main guard:

    if __name__ == "__main__":
        df = varnholt.batch(...)'''


def refuse_unguarded_script() -> None:
    """Raises RuntimeError when the batch is started from the top level of a
    script outside `if __name__ == "__main__":`. The worker processes of a
    LocalCluster are spawned: each one runs the main script again from the
    top before it can work, and there it would start a cluster of its own,
    endlessly."""
    main = sys.modules.get("__main__")
    path = getattr(main, "__file__", None)
    if not path or not os.path.isfile(path):
        return  # an interactive session or a notebook: nothing is run again
    frame = sys._getframe(1)
    while frame is not None and not (frame.f_code.co_name == "<module>"
                                     and frame.f_globals is vars(main)):
        frame = frame.f_back
    if frame is None:
        return
    try:
        with open(path, encoding="utf-8") as f:
            tree = ast.parse(f.read(), path)
    except (OSError, SyntaxError, ValueError):
        return
    line = frame.f_lineno
    for statement in tree.body:
        if statement.lineno <= line <= (statement.end_lineno or statement.lineno):
            if isinstance(statement, ast.If) and "__name__" in ast.unparse(statement.test):
                return
            raise RuntimeError(
                f"{path}, line {line}: varnholt.batch starts worker processes, and each one "
                "runs this script again from the top, where it would start a batch of its "
                f"own. {GUARD_FIX}")


# ---------------------------------------------------------------------------
# Progress

def progress_line(done: int, total: int, earlier: int, elapsed_s: float) -> str:
    """"batch: 57/200 rows (40 from an earlier run), about 12 s left"; the
    time left from this run's rate so far."""
    text = f"batch: {done + earlier}/{total + earlier} rows"
    if earlier:
        text += f" ({earlier} from an earlier run)"
    if 0 < done < total and elapsed_s > 0:
        left = (total - done) * elapsed_s / done
        text += f", about {left:.0f} s left" if left < 120 else f", about {left / 60:.0f} min left"
    elif done == total:
        text += f", done in {elapsed_s:.1f} s"
    return text


class Progress:
    """A single updating line on a terminal's stderr, an updating line of text
    in a notebook, a line every 10 s elsewhere; or a call of `how(done, total)`
    after each group of rows."""

    def __init__(self, how, total: int, earlier: int):
        self.how, self.total, self.earlier = how, total, earlier
        self.started = time.monotonic()
        self.shown_at = -math.inf
        self.notebook = None
        if how is True and not sys.stderr.isatty() and "ipykernel" in sys.modules:
            from IPython.display import Pretty, display

            self.notebook = display(Pretty(""), display_id=True)
            self.pretty = Pretty

    def update(self, done: int) -> None:
        if not self.how:
            return
        if callable(self.how):
            self.how(done + self.earlier, self.total + self.earlier)
            return
        now = time.monotonic()
        last = done == self.total
        line = progress_line(done, self.total, self.earlier, now - self.started)
        if self.notebook is not None:
            if last or now - self.shown_at > 0.2:
                self.notebook.update(self.pretty(line))
                self.shown_at = now
        elif sys.stderr.isatty():
            if last or now - self.shown_at > 0.2:
                print("\r" + line + "\x1b[K", end="\n" if last else "", file=sys.stderr,
                      flush=True)
                self.shown_at = now
        elif last or now - self.shown_at > 10.0:
            print(line, file=sys.stderr, flush=True)
            self.shown_at = now


# ---------------------------------------------------------------------------
# The batch

def _field_name(field) -> str:
    return field if isinstance(field, str) else {0: "free", 1: "diffuse"}.get(field, field)


def _settings(names, calibration, field, series) -> dict:
    """What a row depends on, besides its file: recorded in the output, and
    compared when a batch resumes. The library versions are added once the
    workers are known. Start and length of the analysed span: the whole file."""
    settings = {"metrics": list(names), "calibration": dataclasses.asdict(calibration),
                "field": _field_name(field), "start_s": None, "duration_s": None,
                "series": None if series is None else os.path.abspath(os.fspath(series))}
    return json.loads(json.dumps(settings))


def _connect_timeout_s() -> float:
    import dask
    from dask.utils import parse_timedelta

    return parse_timedelta(dask.config.get("distributed.comm.timeouts.connect"), "s")


def _versions(client) -> dict:
    timeout = _connect_timeout_s()
    try:
        client.wait_for_workers(1, timeout=timeout)
    except TimeoutError:
        raise SchedulerLostError(f"no worker joined the scheduler {client.scheduler.address} "
                                 f"within {timeout:g} s") from None
    found = set(client.run(worker_versions).values())
    if len(found) > 1:
        raise RuntimeError("the workers run different versions of varnholt and its library: "
                           + ", ".join(f"{p} with {lib}" for p, lib in sorted(found)))
    package, library = found.pop()
    return {"varnholt_version": package, "library_version": library}


def _plan(files, probes, done: dict) -> tuple[list, list, int]:
    """The tasks to run ((path, channel, stamp)), the files whose rows are
    stale (the file changed since: its rows go, all its channels run again),
    and how many of the rows asked for are there already."""
    recorded: dict[str, dict[int, tuple]] = {}
    for (path, channel), stamp in done.items():
        recorded.setdefault(path, {})[channel] = stamp
    tasks, stale, present = [], [], 0
    for path, stamp in zip(files, probes):
        rows = recorded.get(path, {})
        if any(s[:2] != stamp[:2] for s in rows.values()):
            stale.append(path)
            rows = {}
        channels = stamp[2]
        present += sum(1 for c in rows if c <= channels)
        tasks += [(path, c, stamp) for c in range(1, channels + 1) if c not in rows]
    return tasks, stale, present


def _lost(client, store_out, written: int, left: int) -> SchedulerLostError:
    where = (f"the {written} rows finished in this run are in {store_out}; run the same call "
             "again, against a running scheduler, to compute the other "
             f"{left}" if store_out else
             "the rows finished so far are lost (give out= to keep them as they finish)")
    return SchedulerLostError(f"lost the connection to the scheduler "
                              f"{getattr(client.scheduler, 'address', '')}: {where}")


def _run(client, tasks, store, out, options: dict, series_folder, names_of, progress) -> int:
    """Submits the tasks and writes each row as its task finishes; returns the
    number of rows written."""
    import distributed
    from distributed import KilledWorker

    waiting = iter(tasks)
    pending: dict = {}  # task of each future in flight, by key
    completed = distributed.as_completed()

    def submit(n: int) -> None:
        chunk = list(itertools.islice(waiting, n))
        if chunk:
            futures = client.map(analyse_task, *zip(*chunk), pure=False, **options)
            pending.update((f.key, t) for f, t in zip(futures, chunk))
            completed.update(futures)  # held there until they finish; then they go

    submit(IN_FLIGHT)
    written = 0
    try:
        while not completed.is_empty():
            ready = completed.next_batch(block=False)
            if not ready:
                if client.status != "running":
                    raise _lost(client, out, written, len(tasks) - written)
                time.sleep(0.02)
                continue
            rows, finished, again = [], [], []
            for f in ready:
                if f.status == "finished":
                    finished.append(f)
                elif f.status in ("lost", "pending") and client.status == "running":
                    # A worker died holding this task or its result: the
                    # scheduler runs it again elsewhere; wait for it anew.
                    again.append(f)
                elif f.status == "error":
                    error = f.exception()
                    if not isinstance(error, KilledWorker):
                        raise error
                    path, channel, (size, mtime, channels) = pending[f.key]
                    rows.append(dict(failed_row(path, channel, "the worker died each time it "
                                                "analysed this channel"),
                                     file_size=size, file_mtime_ns=mtime,
                                     file_channels=channels))
                else:
                    raise _lost(client, out, written, len(tasks) - written)
            try:
                results = [(f, r) for f, r in zip(finished, client.gather(finished))]
            except CancelledError:
                if client.status != "running":
                    raise
                # A result went with a dying worker: take the others one by
                # one, and wait for that task to run again.
                results = []
                for f in finished:
                    try:
                        results.append((f, f.result()))
                    except CancelledError:
                        again.append(f)
            for f, (row, frames) in results:
                if frames:
                    write_series(series_folder, names_of[row["path"]], row["channel"], frames)
                rows.append(row)
            store.write(rows)
            waiting_again = {f.key for f in again}
            for f in ready:
                if f.key not in waiting_again:
                    del pending[f.key]
            completed.update(again)
            written += len(rows)
            del ready, finished, rows, again
            if len(pending) <= IN_FLIGHT // 2:
                submit(IN_FLIGHT - len(pending))
            progress.update(written)
    except (OSError, CancelledError, TimeoutError) as e:
        if _scheduler_gone(client, e):
            raise _lost(client, out, written, len(tasks) - written) from None
        raise
    return written


def _scheduler_gone(client, error: BaseException) -> bool:
    """Whether an error means the scheduler is gone: the client says so, or
    the connection to it closed (a reset can arrive before the client has
    noticed), or a task was cancelled under us."""
    from distributed.comm.core import CommClosedError

    return (client.status != "running"
            or isinstance(error, (CancelledError, CommClosedError, ConnectionError)))


def _close(client) -> None:
    """Closes a client of our own; one that has lost its scheduler stops
    reconnecting at once, which distributed would log as an error of its own
    after ours."""
    if client.status == "running":
        client.close(timeout=_connect_timeout_s())
        return
    loggers = [logging.getLogger(name) for name in ("distributed.client", "distributed.utils")]
    levels = [log.level for log in loggers]
    for log in loggers:
        log.setLevel(logging.CRITICAL)
    try:
        client.close(timeout=_connect_timeout_s())
    finally:
        for log, level in zip(loggers, levels):
            log.setLevel(level)


def batch(paths, metrics=None, calibration=None, client=None, field="free", progress=False,
          out=None, overwrite=False, series=None, recursive=False):
    """Single values of every (file, channel) as a pandas DataFrame.

    `paths`: files and folders (their sound files; `recursive` also those in
    subfolders). `client`: None (a LocalCluster on every core), a
    distributed.Client, or a scheduler address. `out`: a .sqlite or .csv file
    that gets each row as it finishes; a batch run again with the same
    settings computes only what is missing from it (and files changed since
    their row was written). Settings that differ from those recorded in `out`
    are an error unless `overwrite`. `series`: a folder for the per-frame
    series of each file and channel. `progress`: True for a progress line, or
    a function called with (rows done, rows in all).

    Columns: path, channel, status ("ok"/"failed"), error, warnings,
    file_rate_hz, level_db_spl, then "metric.symbol" per single value; units
    in df.attrs["units"], the number of tasks submitted by this call in
    df.attrs["submitted"], rows already present in df.attrs["skipped"].
    """
    import distributed

    names = metric_names(metrics)
    # Resolved once here (a calibrator recording is read on this machine), and
    # a bad calibration is refused before any task runs.
    calibration = as_calibration(calibration)
    files = expand_paths(paths, recursive)
    settings = _settings(names, calibration, field, series)
    if out is not None and not overwrite:
        recorded = read_settings(out)
        if recorded is not None:  # before starting a cluster for nothing
            batch_store.compare_settings(os.fspath(out), recorded, settings)
    own_cluster = own_client = None
    if client is None:
        refuse_unguarded_script()
        own_cluster = distributed.LocalCluster(n_workers=os.cpu_count() or 1,
                                               threads_per_worker=1, processes=True,
                                               dashboard_address=None)
        own_client = client = distributed.Client(own_cluster)
    elif isinstance(client, str):
        try:
            own_client = client = distributed.Client(client, timeout=_connect_timeout_s())
        except (OSError, TimeoutError) as e:
            raise SchedulerLostError(f"cannot reach the scheduler {client}: {e}") from None
    store = None
    try:
        settings.update(_versions(client))
        store = open_store(out, names, settings, overwrite)
        done = store.done()
        known = {path: stamp for (path, _), stamp in done.items()}
        chunks = [files[i:i + PROBE_CHUNK] for i in range(0, len(files), PROBE_CHUNK)]
        probed = client.map(probe_files, chunks,
                            [{p: known[p] for p in chunk if p in known} for chunk in chunks],
                            pure=False)
        probes = [stamp for part in client.gather(probed) for stamp in part]
        del known, probed
        tasks, stale, present = _plan(files, probes, done)
        del done
        if stale:
            store.discard(stale)
        report = Progress(progress, len(tasks), present)
        if not tasks:
            report.update(0)  # every row was there already: say so
        options = dict(metrics=names, calibration=calibration, field=field,
                       series=series is not None)
        _run(client, tasks, store, None if out is None else os.fspath(out), options,
             series, series_names(files) if series is not None else {}, report)
        keys = [(p, c) for p, (_, _, n) in zip(files, probes) for c in range(1, n + 1)]
        df = store.frame(keys)
    except (OSError, CancelledError, TimeoutError) as e:
        if not _scheduler_gone(client, e):
            raise
        raise SchedulerLostError(f"lost the connection to the scheduler "
                                 f"{getattr(client.scheduler, 'address', '')} before the "
                                 "tasks were submitted: run the same call again") from None
    finally:
        if store is not None:
            store.close()
        if own_client is not None:
            _close(own_client)
        if own_cluster is not None:
            own_cluster.close()
    df.attrs["submitted"] = len(tasks)
    df.attrs["skipped"] = present
    return df
