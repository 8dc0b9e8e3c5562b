"""Times orvo.dask.scans over generated files on a local cluster of worker
processes, next to the same tables read in one process and to
`orvo-host check -j` on the same files.

    PYTHONPATH=build/release/python python3 bench/dask_bench.py \
        [--files 16] [--scans 20000] [--workers 2] [--data DIR]

The files are made once with orvo-mkmzxml into --data (default
build/release/bench-data/dask) and reused after.
"""

import argparse
import os
import subprocess
import time
from pathlib import Path

import pandas
from distributed import Client, LocalCluster

import orvo.dask

ROOT = Path(__file__).resolve().parent.parent


def make_files(folder, count, scans, mkmzxml):
    folder.mkdir(parents=True, exist_ok=True)
    paths = []
    for i in range(count):
        path = folder / f"run{i:03d}-{scans}.mzXML"
        if not path.exists():
            subprocess.run(
                [mkmzxml, "-o", str(path), "--scans", str(scans), "--ms1-every", "10",
                 "--ms1-peaks", "400", "--ms2-peaks", "60", "--seed", str(i)],
                check=True,
            )
        paths.append(str(path))
    return paths


def best_of(repeat, run):
    times = []
    for _ in range(repeat):
        started = time.perf_counter()
        result = run()
        times.append(time.perf_counter() - started)
    return min(times), result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--files", type=int, default=16)
    parser.add_argument("--scans", type=int, default=20000)
    parser.add_argument("--workers", type=int, default=2)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--data", type=Path, default=ROOT / "build/release/bench-data/dask")
    parser.add_argument("--bin", type=Path, default=ROOT / "build/release/bin")
    args = parser.parse_args()

    paths = make_files(args.data, args.files, args.scans, str(args.bin / "orvo-mkmzxml"))
    size = sum(os.path.getsize(path) for path in paths)
    print(f"{len(paths)} files, {size / 2**20:.0f} MiB, {args.workers} worker processes")

    one, table = best_of(
        args.repeat, lambda: pandas.concat([orvo.dask.read_scans(p) for p in paths])
    )
    print(f"one process, scan tables       {one:8.3f} s  {len(table)} scans")

    with LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster):
        frame = orvo.dask.scans(paths, meta=table.iloc[:0])
        many, result = best_of(args.repeat, frame.compute)
        assert len(result) == len(table)
        print(f"dask, scan tables              {many:8.3f} s  {len(result)} scans")
        summary, rows = best_of(args.repeat, orvo.dask.summaries(paths).compute)
        print(f"dask, summaries                {summary:8.3f} s  {len(rows)} rows")

    host = [str(args.bin / "orvo-host"), "-q", "check", "-j", str(args.workers)] + paths
    check, _ = best_of(args.repeat, lambda: subprocess.run(host, check=True,
                                                          stdout=subprocess.DEVNULL))
    print(f"orvo-host check -j {args.workers}           {check:8.3f} s  (every spectrum, sha1)")


if __name__ == "__main__":
    main()
