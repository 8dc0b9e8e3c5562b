"""Exports of many and large files: the same bytes whatever the number of
threads, values as short as exact that read back to the plug-in's, and
memory that does not grow with the file."""
import json
import os
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path


from test_orvo_host import (HOST, MKMZXML, RUNNER, as_float32, generate, host, json_lines, ok,
                            parse_mgf, peak_memory_kib)



class Exports(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.dir = Path(cls.tmp.name)

        def make(name, *args):
            return generate(cls.dir / name, *args)

        # Each MGF is several mebibytes: a file read out of turn waits on disk.
        cls.runs = [make(f"run{i}.mzXML", "--size", "3M", "--seed", str(i), *extra)
                    for i, extra in enumerate([[], ["--precision", "64"], [], ["--no-index"]])]

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_output_is_the_same_whatever_the_threads(self):
        for command in (["mgf"], ["check"], ["--format", "json", "info"]):
            with self.subTest(command[-1]):
                one = host("-j", "1", *command, *self.runs)
                self.assertEqual(one.returncode, 0, one.stderr)
                for jobs in ("2", "4"):
                    many = host("-j", jobs, *command, *self.runs)
                    self.assertEqual(many.returncode, 0, many.stderr)
                    self.assertEqual(many.stdout, one.stdout, jobs)
        # One file: the budget beyond its reader formats its spectra.
        for command in (["mgf"], ["dump"]):
            with self.subTest(command[-1] + " of one file"):
                one = host("-j", "1", *command, self.runs[1])
                self.assertEqual(one.returncode, 0, one.stderr)
                for jobs in ("2", "5"):
                    self.assertEqual(host("-j", jobs, *command, self.runs[1]).stdout, one.stdout)
        out = self.dir / "all.mgf"
        ok(self, "-j", "4", "mgf", *self.runs, "-o", out)
        self.assertEqual(out.read_text(), host("mgf", *self.runs).stdout)

    def test_values_read_back_to_the_plug_ins(self):
        # The 32-bit run's values read back as the same 32-bit floats, the
        # 64-bit run's as the same doubles; the module holds the plug-in's.
        try:
            import numpy as np
            import orvo
        except ImportError:
            self.skipTest("the orvo module (and numpy) is not importable here")
        for path, bits in ((self.runs[0], 32), (self.runs[1], 64)):
            with self.subTest(bits=bits), orvo.open(path) as run:
                dumped = {d["label"]: d for d in json_lines(ok(self, "dump", path))}
                mgf = {int(b["SCANS"]): b["peaks"] for b in parse_mgf(ok(self, "mgf", path))}
                for label, d in dumped.items():
                    mz, intensity = run.spectrum(label)
                    if bits == 32:
                        want = list(zip(mz.astype(np.float32).tolist(),
                                        intensity.astype(np.float32).tolist()))
                        got = [(as_float32(m), as_float32(i)) for m, i in zip(d["mz"],
                                                                             d["intensity"])]
                        self.assertEqual(got, want)
                        if label in mgf:
                            self.assertEqual([(as_float32(m), as_float32(i))
                                              for m, i in mgf[label]], want)
                    else:
                        self.assertEqual(d["mz"], mz.tolist())
                        self.assertEqual(d["intensity"], intensity.tolist())
                        if label in mgf:
                            self.assertEqual(mgf[label], list(zip(mz.tolist(),
                                                                  intensity.tolist())))

    @unittest.skipIf(RUNNER or sys.platform != "linux", "peak memory is read on Linux")
    @unittest.skipIf(os.environ.get("ORVO_SANITIZED") == "1",
                     "a sanitizer's allocator keeps freed memory: peak memory is not the host's")
    def test_mgf_memory_does_not_grow_with_the_file(self):
        big = self.dir / "big.mzXML"
        subprocess.run([MKMZXML, "-o", str(big), "--size", "40M", "--seed", "9"], check=True,
                       capture_output=True)
        peak = []
        for path in (self.runs[0], big):
            peak.append(peak_memory_kib(HOST, "-q", "mgf", path, "-o", self.dir / "big.mgf"))
        small, large = peak
        self.assertGreater((self.dir / "big.mgf").stat().st_size, 30 << 20)
        # Ten times the file, the same memory: within a few mebibytes.
        self.assertLess(large - small, 8 << 10, peak)
        self.assertLess(large, 64 << 10, peak)


if __name__ == "__main__":
    unittest.main()
