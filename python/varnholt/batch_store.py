"""Where the rows of a batch go as they finish: a SQLite database, a CSV file,
or memory. Each output holds one row per (file, channel), the settings that
made the rows, and the size and modification time of every file analysed, so
that the same batch run again computes only what is missing.

A row is durable once written: SQLite commits each group of finished rows in
one transaction (WAL journal); the CSV file gets each row in one append, and
a line torn by a kill is cut off before the next run appends to it.
"""

from __future__ import annotations

import csv
import io
import json
import math
import os
import sqlite3
import time
from dataclasses import dataclass

import numpy as np

from .single_values import EXCEEDANCE_PERCENTS, SOUND_LEVELS

# ---------------------------------------------------------------------------
# Columns

ID_COLUMNS = ["path", "channel", "status", "error", "warnings", "file_rate_hz", "level_db_spl"]
# What a row records of its file, to tell on the next run whether the file
# has changed since (size in bytes, modification time in nanoseconds) and,
# while it has not, how many channels it has without opening it again.
FILE_COLUMNS = ["file_size", "file_mtime_ns", "file_channels"]
ID_UNITS = {"file_rate_hz": "Hz", "level_db_spl": "dB SPL", "file_size": "B",
            "file_mtime_ns": "ns"}


def _exceedance(symbol: str, key: str, unit: str) -> tuple:
    return tuple((f"{symbol}{x}", f"{key}{x}", unit) for x in EXCEEDANCE_PERCENTS)


# (symbol, key, unit) of every single value a metric declares, in the tool's
# summary order. A value may be absent from one result (f_T_max where nothing
# is tonal); its column is there all the same, empty in that row.
SINGLE_VALUES = {
    "loudness": (("N", "loudness", "sone"), ("LN", "loudness_level", "phon")),
    "loudness-time": (("N_max", "loudness_max", "sone"), ("N_mean", "loudness_mean", "sone"))
    + _exceedance("N", "n", "sone"),
    "sharpness": (("S", "sharpness", "acum"),),
    "roughness": (("R_mean", "roughness_mean", "asper"), ("R_max", "roughness_max", "asper"))
    + _exceedance("R", "r", "asper"),
    "tonality": (("K_mean", "tonality_mean", ""), ("K_max", "tonality_max", ""))
    + _exceedance("K", "k", ""),
    "ecma-tonality": (("T_mean", "tonality_mean", "tu_HMS"), ("T_max", "tonality_max", "tu_HMS"),
                      ("f_T_max", "tonal_frequency_at_max", "Hz"),
                      ("N_mean", "loudness_mean", "sone_HMS"),
                      ("N_max", "loudness_max", "sone_HMS"))
    + _exceedance("T", "t", "tu_HMS"),
    "ecma-roughness": (("R_p90", "roughness_p90", "asper_HMS"),
                       ("R_max", "roughness_max", "asper_HMS"),
                       ("R_mean", "roughness_mean", "asper_HMS"))
    + _exceedance("R", "r", "asper_HMS"),
    "levels": tuple((symbol, key, "dB") for symbol, key, _ in SOUND_LEVELS),
}


@dataclass(frozen=True)
class Column:
    """One column: `name` in the DataFrame ("loudness-time.N5"), `stored` in
    the files, named as in the tool's summary CSV ("loudness-time.n5")."""

    name: str
    stored: str
    unit: str
    kind: str  # "text", "int" or "real"


def _id_column(name: str) -> Column:
    kind = {"channel": "int", "file_rate_hz": "int", "level_db_spl": "real", "file_size": "int",
            "file_mtime_ns": "int", "file_channels": "int"}.get(name, "text")
    return Column(name, name, ID_UNITS.get(name, ""), kind)


def value_columns(metrics) -> list[Column]:
    """The DataFrame's columns: the channel's identity and status, then every
    declared single value of every metric."""
    columns = [_id_column(c) for c in ID_COLUMNS]
    for m in metrics:
        columns += [Column(f"{m}.{symbol}", f"{m}.{key}", unit, "real")
                    for symbol, key, unit in SINGLE_VALUES[m]]
    return columns


def stored_columns(metrics) -> list[Column]:
    """The columns of a stored row: the DataFrame's and the file's size and time."""
    return value_columns(metrics) + [_id_column(c) for c in FILE_COLUMNS]


def units_of(metrics) -> dict[str, str]:
    return {c.name: c.unit for c in value_columns(metrics) if c.unit}


def to_frame(rows, metrics):
    """The DataFrame of rows (dicts by column name): a missing or None value is
    NaN, units in df.attrs["units"]."""
    import pandas as pd

    columns = value_columns(metrics)
    df = pd.DataFrame([[row.get(c.name) for c in columns] for row in rows],
                      columns=[c.name for c in columns])
    for c in columns:
        if c.kind == "real":
            df[c.name] = df[c.name].astype("float64")
        elif c.name == "file_rate_hz":
            df[c.name] = df[c.name].astype("Int64")  # empty where the file could not be read
        elif c.name == "channel":
            df[c.name] = df[c.name].astype("int64")
    df.attrs["units"] = units_of(metrics)
    return df


# ---------------------------------------------------------------------------
# Settings

class SettingsDifferError(ValueError):
    """An existing output was made with other settings than this call's."""


def compare_settings(out, recorded: dict, wanted: dict) -> None:
    """Raises SettingsDifferError naming each setting in `wanted` that differs
    from the one recorded in `out`."""
    differ = [f"{name}: {recorded.get(name)!r} there, {value!r} here"
              for name, value in wanted.items() if recorded.get(name, _MISSING) != value]
    if differ:
        raise SettingsDifferError(
            f"{out} holds results made with other settings ({'; '.join(differ)}): give "
            "overwrite=True (--overwrite) to replace them, or another output")


_MISSING = object()


def _json(value) -> str:
    return json.dumps(value, sort_keys=True)


# ---------------------------------------------------------------------------
# Stores

def _cell(value):
    """A value as stored: None for a missing number or NaN."""
    if value is None:
        return None
    if isinstance(value, (float, np.floating)):
        return None if math.isnan(value) else float(value)
    if isinstance(value, (int, np.integer)):
        return int(value)
    return value


class MemoryStore:
    """Rows kept in memory, for a batch that returns its DataFrame only."""

    def __init__(self, metrics):
        self.metrics = metrics
        self.rows: dict[tuple[str, int], dict] = {}

    def done(self) -> dict:
        return {}

    def discard(self, paths) -> None:
        pass

    def write(self, rows) -> None:
        for row in rows:
            self.rows[(row["path"], row["channel"])] = row

    def frame(self, keys):
        return to_frame([self.rows[k] for k in keys if k in self.rows], self.metrics)

    def close(self) -> None:
        pass


class SqliteStore:
    """Tables `results` (one row per path and channel, a column per value as
    the tool's summary CSV names it), `units` (column, unit) and `settings`
    (name, JSON value)."""

    def __init__(self, path, metrics, settings: dict, overwrite: bool):
        self.path = os.fspath(path)
        self.metrics = metrics
        self.columns = stored_columns(metrics)
        if overwrite:
            for suffix in ("", "-wal", "-shm"):
                _remove(self.path + suffix)
        self.db = sqlite3.connect(self.path, timeout=30.0, isolation_level=None)
        try:
            self.db.execute("PRAGMA journal_mode=WAL")
            tables = {r[0] for r in self.db.execute(
                "SELECT name FROM sqlite_master WHERE type='table'")}
        except sqlite3.DatabaseError as e:
            self.db.close()
            raise SettingsDifferError(f"{self.path}: not a SQLite database ({e}): give "
                                      "overwrite=True to replace it, or another output") from None
        # A committed group survives the death of this process; only a power
        # failure could lose the last few commits.
        self.db.execute("PRAGMA synchronous=NORMAL")
        if "settings" in tables:
            compare_settings(self.path, read_settings(self.path, self.db), settings)
        elif tables:
            self.db.close()
            raise SettingsDifferError(f"{self.path} is not the output of a batch (no settings "
                                      "table): give overwrite=True to replace it, or another output")
        else:
            self._create(settings)
        names = ", ".join(_quote(c.stored) for c in self.columns)
        marks = ", ".join("?" * len(self.columns))
        self._insert = f"INSERT OR REPLACE INTO results ({names}) VALUES ({marks})"

    def _create(self, settings: dict) -> None:
        sql_type = {"text": "TEXT", "int": "INTEGER", "real": "REAL"}
        body = ", ".join(f"{_quote(c.stored)} {sql_type[c.kind]}" for c in self.columns)
        with self.db:
            self.db.execute("BEGIN")
            self.db.execute("CREATE TABLE settings (name TEXT PRIMARY KEY, value TEXT NOT NULL)")
            self.db.executemany("INSERT INTO settings VALUES (?, ?)",
                                [(k, _json(v)) for k, v in settings.items()])
            self.db.execute("CREATE TABLE units (column_name TEXT PRIMARY KEY, unit TEXT NOT NULL)")
            self.db.executemany("INSERT INTO units VALUES (?, ?)",
                                [(c.stored, c.unit) for c in self.columns])
            self.db.execute(f"CREATE TABLE results ({body}, PRIMARY KEY (path, channel))")

    def done(self) -> dict:
        return {(p, c): (s, t, n) for p, c, s, t, n in self.db.execute(
            "SELECT path, channel, file_size, file_mtime_ns, file_channels FROM results")}

    def discard(self, paths) -> None:
        with self.db:
            self.db.execute("BEGIN")
            self.db.executemany("DELETE FROM results WHERE path = ?", [(p,) for p in paths])

    def write(self, rows) -> None:
        with self.db:
            self.db.execute("BEGIN")
            self.db.executemany(self._insert,
                                [[_cell(row.get(c.name)) for c in self.columns] for row in rows])

    def frame(self, keys):
        return to_frame(_pick(_sqlite_rows(self.db, self.columns), keys), self.metrics)

    def close(self) -> None:
        self.db.close()


def _quote(name: str) -> str:
    return '"' + name.replace('"', '""') + '"'


def _sqlite_rows(db, columns):
    names = ", ".join(_quote(c.stored) for c in columns)
    for values in db.execute(f"SELECT {names} FROM results"):
        yield {c.name: v for c, v in zip(columns, values)}


class CsvStore:
    """A CSV file with the units in its header ("loudness-time.n5 [sone]"), as
    the tool's summary CSV, and its settings beside it in OUT.settings.json.

    Each row is appended in one write; the file is fsync'd every FSYNC_ROWS
    rows or FSYNC_S seconds and when the batch ends. A last line without its
    newline (the process was killed while appending it) is cut off on opening.
    """

    FSYNC_ROWS = 200
    FSYNC_S = 5.0

    def __init__(self, path, metrics, settings: dict, overwrite: bool):
        self.path = os.fspath(path)
        self.settings_path = settings_path_of_csv(self.path)
        self.metrics = metrics
        self.columns = stored_columns(metrics)
        self.header = _csv_line([c.stored + (f" [{c.unit}]" if c.unit else "")
                                 for c in self.columns])
        if overwrite:
            _remove(self.path)
            _remove(self.settings_path)
        if os.path.exists(self.settings_path):
            compare_settings(self.path, read_settings(self.path), settings)
        elif os.path.exists(self.path):
            raise SettingsDifferError(
                f"{self.path} is not the output of a batch (no {self.settings_path} beside it): "
                "give overwrite=True to replace it, or another output")
        else:
            _write_atomically(self.settings_path, json.dumps(settings, indent=1) + "\n")
        if not os.path.exists(self.path):
            _write_atomically(self.path, self.header)
        self._cut_torn_line()
        self.fd = os.open(self.path, os.O_WRONLY | os.O_APPEND)
        self.unsynced = 0
        self.synced_at = time.monotonic()

    def _cut_torn_line(self) -> None:
        header = self.header.encode()
        with open(self.path, "rb") as f:
            if f.read(len(header)) != header:
                raise SettingsDifferError(f"{self.path}: its header is not the one of these "
                                          "metrics: give overwrite=True to replace it")
            size = f.seek(0, os.SEEK_END)
            f.seek(size - 1)
            if f.read(1) == b"\n":
                return
            # Only the last line can be torn: look back from the end for its start
            # (the header, checked whole above, ends with a newline).
            end, keep = size, len(header)
            while end > len(header):
                start = max(len(header), end - 65536)
                f.seek(start)
                newline = f.read(end - start).rfind(b"\n")
                if newline >= 0:
                    keep = start + newline + 1
                    break
                end = start
        with open(self.path, "r+b") as f:
            f.truncate(keep)
            os.fsync(f.fileno())

    def done(self) -> dict:
        return {(r["path"], r["channel"]): (r["file_size"], r["file_mtime_ns"], r["file_channels"])
                for r in _csv_rows(self.path, self.columns)}

    def discard(self, paths) -> None:
        paths = set(paths)
        kept = [r for r in _csv_rows(self.path, self.columns) if r["path"] not in paths]
        _write_atomically(self.path, self.header + "".join(self._line(r) for r in kept))
        os.close(self.fd)
        self.fd = os.open(self.path, os.O_WRONLY | os.O_APPEND)

    def _line(self, row) -> str:
        return _csv_line([_csv_value(row.get(c.name)) for c in self.columns])

    def write(self, rows) -> None:
        for row in rows:
            data = self._line(row).encode()
            while data:  # a regular file takes it in one call; a short write would go on
                data = data[os.write(self.fd, data):]
        self.unsynced += len(rows)
        if self.unsynced >= self.FSYNC_ROWS or time.monotonic() - self.synced_at > self.FSYNC_S:
            self._sync()

    def _sync(self) -> None:
        os.fsync(self.fd)
        self.unsynced = 0
        self.synced_at = time.monotonic()

    def frame(self, keys):
        return to_frame(_pick(_csv_rows(self.path, self.columns), keys), self.metrics)

    def close(self) -> None:
        self._sync()
        os.close(self.fd)


def _csv_value(value) -> str:
    value = _cell(value)
    if value is None:
        return ""
    if isinstance(value, float):
        return repr(value)  # the shortest text that reads back as the same double
    # Errors stay on one line, so a line break always ends a row.
    return str(value).replace("\r", " ").replace("\n", " ")


def _csv_line(cells) -> str:
    buffer = io.StringIO()
    csv.writer(buffer, lineterminator="\n").writerow(cells)
    return buffer.getvalue()


def _csv_rows(path, columns):
    """The complete rows of a batch CSV as dicts by column name; a torn last
    line (without its newline) is left out."""
    parse = {"text": str, "int": lambda t: int(t) if t else None,
             "real": lambda t: float(t) if t else None}
    with open(path, newline="", encoding="utf-8") as f:
        lines = f.read()
    if not lines.endswith("\n"):
        lines = lines[:lines.rfind("\n") + 1]
    reader = csv.reader(io.StringIO(lines))
    next(reader, None)
    for cells in reader:
        if len(cells) == len(columns):
            yield {c.name: parse[c.kind](t) for c, t in zip(columns, cells)}


def _pick(rows, keys) -> list[dict]:
    """The rows of `keys` ((path, channel) pairs) in that order."""
    by_key = {}
    wanted = set(keys)
    for r in rows:
        k = (r["path"], r["channel"])
        if k in wanted:
            by_key[k] = r
    return [by_key[k] for k in keys if k in by_key]


def _write_atomically(path: str, text: str) -> None:
    part = path + ".part"
    with open(part, "w", encoding="utf-8", newline="") as f:
        f.write(text)
        f.flush()
        os.fsync(f.fileno())
    os.replace(part, path)


def _remove(path: str) -> None:
    try:
        os.remove(path)
    except FileNotFoundError:
        pass


def settings_path_of_csv(path: str) -> str:
    return os.fspath(path) + ".settings.json"


def is_sqlite(out) -> bool:
    return os.fspath(out).lower().endswith((".sqlite", ".sqlite3", ".db"))


def is_csv(out) -> bool:
    return os.fspath(out).lower().endswith(".csv")


def read_settings(out, db=None) -> dict | None:
    """The settings recorded in an output; None when it does not exist."""
    out = os.fspath(out)
    if is_csv(out):
        path = settings_path_of_csv(out)
        if not os.path.exists(path):
            return None
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    if not os.path.exists(out):
        return None
    own = db is None
    db = db or sqlite3.connect(f"file:{out}?mode=ro", uri=True, timeout=30.0)
    try:
        return {name: json.loads(value) for name, value in db.execute(
            "SELECT name, value FROM settings")}
    except sqlite3.DatabaseError:
        return None
    finally:
        if own:
            db.close()


def open_store(out, metrics, settings: dict, overwrite: bool = False):
    """The store of `out`: None for memory, a .sqlite/.sqlite3/.db database, or
    a .csv file."""
    if out is None:
        return MemoryStore(metrics)
    if is_sqlite(out):
        return SqliteStore(out, metrics, settings, overwrite)
    if is_csv(out):
        return CsvStore(out, metrics, settings, overwrite)
    raise ValueError(f"output {os.fspath(out)}: name a .sqlite (or .db) or a .csv file")


def read_results(out):
    """The DataFrame of every row in a batch output (.sqlite or .csv), in the
    order stored; units in df.attrs["units"], settings in df.attrs["settings"]."""
    out = os.fspath(out)
    settings = read_settings(out)
    if settings is None:
        raise ValueError(f"{out}: not the output of a batch")
    metrics = settings["metrics"]
    columns = stored_columns(metrics)
    if is_csv(out):
        rows = list(_csv_rows(out, columns))
    else:
        db = sqlite3.connect(f"file:{out}?mode=ro", uri=True, timeout=30.0)
        try:
            rows = list(_sqlite_rows(db, columns))
        finally:
            db.close()
    df = to_frame(rows, metrics)
    df.attrs["settings"] = settings
    return df


# ---------------------------------------------------------------------------
# Per-frame series

# The per-frame series each metric writes, as the tool's --csv does:
# (attribute of the result, column key, unit).
SERIES = {
    "loudness-time": (("loudness", "loudness", "sone"),),
    "roughness": (("roughness", "roughness", "asper"),),
    "tonality": (("tonality", "tonality", ""),),
    "ecma-tonality": (("tonality", "tonality", "tu_HMS"),
                      ("tonal_frequency", "tonal_frequency", "Hz"),
                      ("loudness", "loudness", "sone_HMS")),
    "ecma-roughness": (("roughness", "roughness", "asper_HMS"),),
}


def series_names(paths) -> dict[str, str]:
    """The base name of each file's series files, as the tool names them: the
    file's stem, with -2, -3 ... where stems repeat."""
    names, used = {}, set()
    for p in paths:
        stem = os.path.splitext(os.path.basename(p))[0] or "input"
        name, n = stem, 2
        while name in used:
            name, n = f"{stem}-{n}", n + 1
        used.add(name)
        names[p] = name
    return names


def series_of(results) -> dict[str, np.ndarray]:
    """(frames, 1 + values) arrays, time first, of every metric of one channel
    that has a per-frame series."""
    out = {}
    for m, r in results.items():
        if m in SERIES:
            out[m] = np.column_stack([r.time] + [getattr(r, a) for a, _, _ in SERIES[m]])
    return out


def write_series(folder, name: str, channel: int, series: dict) -> None:
    """One CSV per metric, written as NAME.chN.METRIC.csv.part and renamed when
    complete: a file under its own name is always whole."""
    os.makedirs(folder, exist_ok=True)
    for m, table in series.items():
        path = os.path.join(folder, f"{name}.ch{channel}.{m}.csv")
        header = ["time_s"] + [key + (f"_{unit}" if unit else "") for _, key, unit in SERIES[m]]
        lines = [_csv_line(header)] + [_csv_line([_csv_value(v) for v in row]) for row in table]
        _write_atomically(path, "".join(lines))
