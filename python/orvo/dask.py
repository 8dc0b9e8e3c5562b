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
more, on the cluster, to learn the columns. A file the plug-in cannot read
fails the computation with that file's orvo.Error.

Needs Dask (Debian's python3-dask, and python3-distributed for a cluster);
`import orvo` works without them.
"""

import os
import socket
import time

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
_STABLE_TYPES = {"parent_label": "float64", "charge": "float64", "polarity": "object"}


def _scan_table(run):
    return pandas.DataFrame(run.scans).astype(_STABLE_TYPES)


def read_scans(path):
    """The scan table of one file, a "file" column first: one partition."""
    path = os.fspath(path)
    with orvo.open(path) as run:
        table = _scan_table(run)
    table.insert(0, "file", path)
    return table


def read_summary(path):
    """One row of facts about one file, and where and how fast it was read."""
    path = os.fspath(path)
    started = time.perf_counter()
    with orvo.open(path) as run:
        info = run.info
        table = _scan_table(run)
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
        }
    )


def _frame(read, paths, meta):
    paths = [os.fspath(path) for path in paths]
    if not paths:
        raise ValueError("no files given")
    parts = [dask.delayed(read)(path) for path in paths]
    return dd.from_delayed(parts, meta=meta, verify_meta=False)


def scans(paths, meta=None):
    """A Dask DataFrame of every scan of every file: one partition a file,
    in the order given, with the file's path in a "file" column."""
    return _frame(read_scans, paths, meta)


def summaries(paths, meta=None):
    """A Dask DataFrame of one row a file: size, scan counts by MS level,
    retention-time range, centroiding, instrument, and the seconds and the
    worker ("host:pid") of its read."""
    return _frame(read_summary, paths, meta)
