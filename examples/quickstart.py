"""Reads the bundled example with the orvo module: the scan table, then a
spectrum plot when matplotlib is there.

    python3 examples/quickstart.py
"""
from pathlib import Path

import orvo

here = Path(__file__).resolve().parent

with orvo.open(here / "sample.mzXML") as run:
    print(run.info)
    try:
        import pandas
        print(pandas.DataFrame(run.scans).head(12))
    except ImportError:  # plain rows without pandas
        scans = run.scans
        print("  ".join(scans))
        for row in list(zip(*scans.values()))[:12]:
            print("  ".join(str(value) for value in row))

    mz, intensity = run.spectrum(1)
    print(f"scan 1: {len(mz)} peaks, base peak at m/z {mz[intensity.argmax()]:.4f}")
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
        plt.vlines(mz, 0, intensity)
        plt.xlabel("m/z")
        plt.ylabel("intensity")
        plt.savefig("spectrum-1.png")
        print("saved spectrum-1.png")
    except ImportError:
        print("matplotlib is not installed: no plot")
