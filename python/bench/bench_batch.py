"""What a batch on a Dask cluster costs around the analysis itself.

  1. Throughput: 200 short files (1 s, mono) on a LocalCluster of two
     single-threaded worker processes, with the rows going to memory, to
     SQLite and to CSV. The overhead per task is the worker time not spent
     analysing: 2 x wall time / tasks - the mean time a task computed on
     its worker (Dask's task stream), on workers that have run a task
     before; the analysis in this process, file by file, is shown beside.
     What a batch costs however many tasks it has (connecting, versions,
     probing the files) is shown apart.
  2. The resume check: an output already holding 10,000 rows (one per file
     of 10,000 files of 50 ms) is run again; every row is found, nothing is
     submitted, and the time is that of finding the files, probing their
     sizes and times on the workers, comparing them with the rows and
     reading the table back.
  3. The client's memory while 2,000 rows finish, written to SQLite, and
     kept in memory for comparison: the resident size of this process and
     what Python objects hold (tracemalloc). Written rows are not kept, and
     the futures of finished tasks are let go, so neither should grow.

Run: VARNHOLT_LIBRARY=build/.../libvarnholt.so.1 PYTHONPATH=python \
     python3 python/bench/bench_batch.py [--files 200] [--resume-rows 10000] \
                                         [--memory-rows 2000] [--repeats 3]
"""

import argparse
import os
import shutil
import tempfile
import time
import tracemalloc

import numpy as np
import soundfile

import varnholt
from varnholt.batch_dask import _settings, channel_row, worker_versions
from varnholt.batch_store import open_store
from varnholt.calibration import as_calibration

METRICS = ("loudness", "sharpness")
RATE = 48000


def write_files(folder, count, seconds, seed):
    """Noise files at 40 ... 80 dB SPL (the file holds pascal)."""
    os.makedirs(folder, exist_ok=True)
    rng = np.random.default_rng(seed)
    paths = []
    for i in range(count):
        x = rng.standard_normal(int(seconds * RATE))
        x *= 2e-5 * 10 ** ((40 + 40 * i / max(count - 1, 1)) / 20) / x.std()
        paths.append(os.path.join(folder, f"take{i:05d}.wav"))
        soundfile.write(paths[-1], x, RATE, subtype="FLOAT")
    return paths


def rss_mb() -> float:
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    return float("nan")


def traced_mb() -> float:
    """Memory held by Python objects now (tracemalloc)."""
    return tracemalloc.get_traced_memory()[0] / 2**20


def timed_batch(client, paths, target):
    """Wall time of one batch, and the time its tasks computed on the workers."""
    import distributed

    if target is not None and os.path.exists(target):
        os.remove(target)
    with distributed.get_task_stream(client) as stream:
        start = time.perf_counter()
        df = varnholt.batch(paths, metrics=METRICS, client=client, out=target)
        wall = time.perf_counter() - start
    assert df.attrs["submitted"] == len(paths) and (df["status"] == "ok").all()
    compute = sum(s["stop"] - s["start"] for task in stream.data
                  if task["key"].startswith("analyse_task")
                  for s in task["startstops"] if s["action"] == "compute")
    return wall, compute


def throughput(client, folder, scratch, count, repeats):
    paths = write_files(folder, count, 1.0, 1)
    for p in paths[:5]:  # load the library and warm the caches
        varnholt.analyze(p, metrics=METRICS)
    analysis = []
    for _ in range(repeats):
        start = time.perf_counter()
        for p in paths:
            varnholt.analyze(p, metrics=METRICS)
        analysis.append(time.perf_counter() - start)
    workers = len(client.scheduler_info()["workers"])
    # The workers import the package and load the library on their first task.
    varnholt.batch(paths[:2 * workers], metrics=METRICS, client=client)
    print(f"1. throughput: {count} files of 1 s, metrics {','.join(METRICS)}, {workers} workers, "
          f"best of {repeats}")
    print(f"   analysis in this process: {1e3 * min(analysis) / count:.1f} ms per task")
    outputs = (None, "results.sqlite", "results.csv")
    # Interleaved, so that a busy spell of a shared machine hits all three alike.
    runs = [[timed_batch(client, paths, None if out is None else os.path.join(scratch, out))
             for out in outputs] for _ in range(repeats)]
    for out, results in zip(outputs, zip(*runs)):
        wall, compute = min(results)
        overhead = workers * wall / count - compute / count
        print(f"   to {out or 'memory':14s} {wall:6.2f} s, {count / wall:6.1f} tasks/s; per task "
              f"{1e3 * compute / count:5.1f} ms analysing on a worker, "
              f"{1e3 * overhead:5.1f} ms around it ({100 * overhead * count / compute:.0f} %)")
    start = time.perf_counter()
    df = varnholt.batch(paths, metrics=METRICS, client=client,
                        out=os.path.join(scratch, "results.sqlite"))
    assert df.attrs["submitted"] == 0
    print(f"   of that, per batch rather than per task (the same call again, nothing to do): "
          f"{time.perf_counter() - start:.2f} s")


def fill(out, paths, client):
    """An output holding one row per file, as a finished batch leaves it."""
    settings = _settings(METRICS, as_calibration(None), "free", None)
    package, library = set(client.run(worker_versions).values()).pop()
    settings.update(varnholt_version=package, library_version=library)
    template = channel_row(varnholt.analyze(paths[0], metrics=METRICS)[0])
    store = open_store(out, METRICS, settings)
    rows = []
    for p in paths:
        st = os.stat(p)
        rows.append(dict(template, path=p, file_size=st.st_size, file_mtime_ns=st.st_mtime_ns,
                         file_channels=1))
    for i in range(0, len(rows), 1000):
        store.write(rows[i:i + 1000])
    store.close()


def resume_check(client, folder, scratch, count):
    paths = write_files(folder, count, 0.05, 2)
    print(f"2. resume check: {count} rows present, {count} files of 50 ms")
    for name in ("resume.sqlite", "resume.csv"):
        out = os.path.join(scratch, name)
        fill(out, paths, client)
        start = time.perf_counter()
        df = varnholt.batch([folder], metrics=METRICS, client=client, out=out)
        took = time.perf_counter() - start
        assert (df.attrs["submitted"], df.attrs["skipped"]) == (0, count)
        print(f"   {name:14s} {took:6.2f} s ({1e6 * took / count:.0f} us per row)")
    return paths


def client_memory(client, paths, scratch, count):
    print(f"3. client memory over {count} rows (MB)")
    tracemalloc.start()
    for out in ("memory.sqlite", None):
        samples = {0: (rss_mb(), traced_mb())}
        step = max(count // 8, 1)

        def sample(done, total):
            if done - max(samples) >= step or done == total:
                samples[done] = (rss_mb(), traced_mb())

        target = None if out is None else os.path.join(scratch, out)
        df = varnholt.batch(paths[:count], metrics=METRICS, client=client, out=target,
                            progress=sample)
        assert df.attrs["submitted"] == count
        marks = sorted(samples.items())
        print(f"   rows to {out or 'memory (kept)'}: resident / allocated by Python at rows "
              + ", ".join(f"{done}: {rss:.0f} / {py:.1f}" for done, (rss, py) in marks))
        quarter = min(marks, key=lambda m: abs(m[0] - count // 4))
        (rss0, py0), (rss1, py1) = quarter[1], marks[-1][1]
        print(f"     growth from row {quarter[0]} to {marks[-1][0]}: resident {rss1 - rss0:+.1f} MB,"
              f" allocated by Python {py1 - py0:+.2f} MB")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--files", type=int, default=200)
    parser.add_argument("--resume-rows", type=int, default=10000)
    parser.add_argument("--memory-rows", type=int, default=2000)
    parser.add_argument("--repeats", type=int, default=3)
    args = parser.parse_args()
    import distributed

    scratch = tempfile.mkdtemp(prefix="bench_batch_")
    try:
        with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                      dashboard_address=None) as cluster, \
                distributed.Client(cluster) as client:
            throughput(client, os.path.join(scratch, "short"), scratch, args.files, args.repeats)
            tiny = resume_check(client, os.path.join(scratch, "tiny"), scratch,
                                args.resume_rows)
            client_memory(client, tiny, scratch, min(args.memory_rows, len(tiny)))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
