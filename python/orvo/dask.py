"""Many mzXML files as Dask DataFrames, read on whichever workers run the tasks.

    import orvo.dask
    from dask.distributed import Client

    client = Client("scheduler:8786")        # or Client() for the local cores
    scans = orvo.dask.scans(paths)           # one partition a file, a "file" column
    ms2 = scans[scans.ms_level == 2].compute()
    table = orvo.dask.summaries(paths).compute()

Each task gets a file's path, not its bytes: the worker that runs it opens
the file itself, so every worker must see the files under the same paths
(a shared file system). Unless `meta` is given, the first file is read once
more, on the cluster, to learn the columns. A file the plug-in refuses for a
cause orvo.repair mends is read through a repaired copy, as orvo.open does.
A file that cannot be read at all fails the computation of `scans` with
that file's orvo.Error, or with errors="skip" gives no rows; in `summaries`
it gives a row whose "error" names the cause.

Needs Dask (Debian's python3-dask, and python3-distributed for a cluster);
`import orvo` works without them.
"""

import os
import socket
import time
import warnings

try:
    import dask
    import dask.dataframe as dd
    import pandas
except ImportError as missing:  # pragma: no cover - depends on the machine
    raise ImportError(
        f"orvo.dask needs Dask and pandas ({missing.name} is missing): "
        "apt-get install python3-dask python3-distributed"
    ) from missing

import orvo

__all__ = ["scans", "summaries", "read_scans", "read_summary"]


# Columns whose values a file may not give: masked in run.scans, they come
# out as NaN (None for polarity) in every partition, whatever one file holds.
_STABLE_TYPES = {"parent_label": "float64", "charge": "float64", "polarity": "object",
                 "filter_line": "object"}


def _scan_table(run):
    return pandas.DataFrame(run.scans).astype(_STABLE_TYPES)


# The columns of a scan table, for the empty partition of a file skipped.
_SCAN_COLUMNS = {"file": "object", "label": "uint32", "parent_label": "float64",
                 "ms_level": "int32", "polarity": "object", "rt_seconds": "float64",
                 "precursor_mz": "float64", "charge": "float64", "tic": "float64",
                 "position": "uint32", "scan_number": "int64", "peaks_count": "int64",
                 "base_peak_mz": "float64", "base_peak_intensity": "float64",
                 "precursor_intensity": "float64", "collision_energy": "float64",
                 "filter_line": "object"}


def _errors_argument(errors):
    if errors not in ("raise", "skip"):
        raise ValueError(f'errors must be "raise" or "skip", not {errors!r}')
    return errors


def read_scans(path, errors="raise"):
    """The scan table of one file, a "file" column first: one partition. With
    errors="skip", a file that cannot be read gives an empty one."""
    path = os.fspath(path)
    try:
        with warnings.catch_warnings():
            # Read through a repaired copy on a worker: the note has no reader there.
            warnings.simplefilter("ignore", UserWarning)
            with orvo.open(path) as run:
                table = _scan_table(run)
    except orvo.Error:
        if _errors_argument(errors) == "raise":
            raise
        return pandas.DataFrame({c: pandas.Series(dtype=t) for c, t in _SCAN_COLUMNS.items()})
    table.insert(0, "file", path)
    return table


def read_summary(path):
    """One row of facts about one file, and where and how fast it was read."""
    path = os.fspath(path)
    started = time.perf_counter()
    try:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", UserWarning)
            with orvo.open(path) as run:
                info = run.info
                table = _scan_table(run)
    except orvo.Error as error:
        return _failed_summary(path, str(error), time.perf_counter() - started)
    seconds = time.perf_counter() - started
    levels = table["ms_level"] if len(table) else pandas.Series(dtype="int64")
    times = table["rt_seconds"] if len(table) else pandas.Series(dtype="float64")
    instrument = info.get("instrument", "")
    if isinstance(instrument, list):
        instrument = "; ".join(instrument)
    return pandas.DataFrame(
        {
            "file": [path],
            "bytes": [os.path.getsize(path)],
            "scans": [len(table)],
            "ms1_scans": [int((levels == 1).sum())],
            "ms2_scans": [int((levels == 2).sum())],
            "first_rt": [float(times.min()) if len(times) else float("nan")],
            "last_rt": [float(times.max()) if len(times) else float("nan")],
            "centroided": [bool(info["centroided"])],
            "instrument": [instrument],
            "read_seconds": [seconds],
            "worker": [f"{socket.gethostname()}:{os.getpid()}"],
            "error": [None],
        }
    )


def _failed_summary(path, error, seconds):
    """The row of a file that cannot be read: what is known, and why."""
    try:
        size = os.path.getsize(path)
    except OSError:
        size = -1
    nan = float("nan")
    return pandas.DataFrame(
        {
            "file": [path], "bytes": [size], "scans": [0], "ms1_scans": [0], "ms2_scans": [0],
            "first_rt": [nan], "last_rt": [nan], "centroided": [False], "instrument": [""],
            "read_seconds": [seconds], "worker": [f"{socket.gethostname()}:{os.getpid()}"],
            "error": [error],
        }
    )


def _frame(read, paths, meta, **options):
    paths = [os.fspath(path) for path in paths]
    if not paths:
        raise ValueError("no files given")
    parts = [dask.delayed(read)(path, **options) for path in paths]
    return dd.from_delayed(parts, meta=meta, verify_meta=False)


def scans(paths, meta=None, errors="raise"):
    """A Dask DataFrame of every scan of every file: one partition a file,
    in the order given, with the file's path in a "file" column.
    errors="raise" fails the computation with the orvo.Error of a file that
    cannot be read; errors="skip" leaves its rows out."""
    return _frame(read_scans, paths, meta, errors=_errors_argument(errors))


def summaries(paths, meta=None):
    """A Dask DataFrame of one row a file: size, scan counts by MS level,
    retention-time range, centroiding, instrument, the seconds and the worker
    ("host:pid") of its read, and "error": None, or why the file cannot be
    read (its row then counts no scans)."""
    return _frame(read_summary, paths, meta)
