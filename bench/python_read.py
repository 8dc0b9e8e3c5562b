"""The whole read of a file from Python through the orvo module: open (with
the file's index), the scan list as columns, every spectrum as arrays.
Prints the peaks read, then the seconds of each run, as read_bench reads
them back.
    python3 bench/python_read.py FILE [REPEATS]
"""
import sys
import time

import orvo


def whole_read(path):
    """The peaks read and the seconds taken. The clock stops at the last
    spectrum, before the run is closed, as the C++ whole read's does."""
    peaks = 0
    start = time.perf_counter()
    with orvo.open(path) as run:
        scans = run.scans
        for label in scans["label"].tolist():
            mz, intensity = run.spectrum(label)
            peaks += len(mz)
        seconds = time.perf_counter() - start
    return peaks, seconds


def main():
    path = sys.argv[1]
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    times = []
    for _ in range(repeats):
        peaks, seconds = whole_read(path)
        times.append(seconds)
    print(peaks, *(f"{t:.6f}" for t in times))


if __name__ == "__main__":
    main()
