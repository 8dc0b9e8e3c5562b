"""The generator's ReAdW and msconvert layouts, read back through the plug-in.
What each scan holds is read from the file's own text (attributes, the
precursor, the base64 peaks decoded here), never from the generator or
orvo-host, so neither can vouch for itself."""
import base64
import json
import math
import os
import re
import shlex
import struct
import subprocess
import tempfile
import unittest
from pathlib import Path

HOST = os.environ.get("ORVO_HOST", "")
MKMZXML = os.environ.get("ORVO_MKMZXML", "")
RUNNER = shlex.split(os.environ.get("ORVO_RUNNER", ""))

SCAN = re.compile(r"<scan\s([^>]*)>(.*?)</scan>", re.S)
ATTRIBUTE = re.compile(r'([A-Za-z]+)="([^"]*)"')
PRECURSOR = re.compile(r"<precursorMz\s([^>]*)>([^<]*)</precursorMz>")
PEAKS = re.compile(r"<peaks\s([^>]*)>([^<]*)</peaks>")
# A small run with every kind of scan: MS1, MS2 with and without a charge.
SMALL = ["--scans", "40", "--ms1-every", "4", "--ms1-peaks", "30", "--ms2-peaks", "12"]


def setUpModule():
    for name, path in (("ORVO_HOST", HOST), ("ORVO_MKMZXML", MKMZXML)):
        if not os.access(path, os.X_OK):
            raise RuntimeError(f"{name} must name the built program, not {path!r}")


def run(*command):
    done = subprocess.run([*RUNNER, *map(str, command)], capture_output=True,
                          stdin=subprocess.DEVNULL, timeout=120)
    if done.returncode != 0:
        raise AssertionError(f"{' '.join(map(str, command))}: exit {done.returncode}: "
                             f"{done.stderr.decode('utf-8', 'replace')}")
    return done.stdout


def json_lines(data):
    return [json.loads(line) for line in data.decode("utf-8").splitlines() if line.strip()]


def seconds(duration):
    """An xs:duration of seconds only, as these layouts write it: PT12.34S."""
    match = re.fullmatch(r"PT(\d+(?:\.\d+)?)S", duration)
    assert match, duration
    return float(match[1])


def file_scans(text):
    """Every scan of the file's text: its attributes, precursor and decoded peaks."""
    scans = []
    for tag, body in SCAN.findall(text):
        scan = dict(ATTRIBUTE.findall(tag))
        precursor = PRECURSOR.search(body)
        scan["precursor"] = (dict(ATTRIBUTE.findall(precursor[1])), float(precursor[2])) \
            if precursor else None
        peaks_tag, data = PEAKS.search(body).groups()
        peaks = dict(ATTRIBUTE.findall(peaks_tag))
        assert (peaks["byteOrder"], peaks["pairOrder"]) == ("network", "m/z-int"), peaks
        raw = base64.b64decode(data)
        code = "d" if peaks["precision"] == "64" else "f"
        values = struct.unpack(f">{len(raw) // struct.calcsize(code)}{code}", raw)
        scan["values"] = (list(values[0::2]), list(values[1::2]), code)
        scans.append(scan)
    return scans


def as_stored(value, code):
    """A value of the host's output as the file's precision holds it."""
    return struct.unpack(code, struct.pack(code, value))[0]


class GeneratorLayouts(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.dir = Path(cls.tmp.name)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def generate(self, name, *args):
        path = self.dir / name
        run(MKMZXML, "-o", path, *args)
        return path, path.read_text(encoding="latin-1")

    def assert_reads_back(self, path, text, g):
        scans = file_scans(text)
        self.assertEqual(len(scans), 40)
        # --strict: the plug-in itself must take the file, no repaired copy.
        dump = json_lines(run(HOST, "-q", "--strict", "dump", path))
        rows = json_lines(run(HOST, "-q", "--strict", "--format", "json", "scans", path))
        self.assertEqual(len(dump), len(scans))
        self.assertEqual(len(rows), len(scans))
        charges = set()
        for scan, got, row in zip(scans, dump, rows):
            with self.subTest(num=scan["num"]):
                mz, intensity, code = scan["values"]
                self.assertEqual(got["scan_number"], int(scan["num"]))
                self.assertEqual(got["ms_level"], int(scan["msLevel"]))
                self.assertEqual(got["polarity"], scan["polarity"])
                self.assertAlmostEqual(got["rt_seconds"], seconds(scan["retentionTime"]),
                                       places=9)
                self.assertEqual(got["tic"], float(scan["totIonCurrent"]))
                self.assertEqual(got["peak_count"], int(scan["peaksCount"]))
                self.assertEqual(got["kind"], "centroided")
                self.assertEqual([as_stored(v, code) for v in got["mz"]], mz)
                self.assertEqual([as_stored(v, code) for v in got["intensity"]], intensity)
                # The header's summary agrees with the peaks it sums up: to
                # six digits where the layout writes C's %g, else exactly at
                # the file's precision.
                for name, value in (("lowMz", mz[0]), ("highMz", mz[-1])):
                    self.assertEqual(float(scan[name]) if g else as_stored(float(scan[name]), code),
                                     float("%.6g" % value) if g else value, name)
                if scan["precursor"]:
                    attributes, precursor_mz = scan["precursor"]
                    self.assertEqual(got["precursor_mz"], precursor_mz)
                    charge = int(attributes.get("precursorCharge", 0)) or None
                    self.assertEqual(got["charge"], charge)
                    charges.add(charge)
                    self.assertEqual(row["precursor_intensity"],
                                     float(attributes["precursorIntensity"]))
                    self.assertEqual(row["collision_energy"], float(scan["collisionEnergy"]))
                else:
                    self.assertIsNone(got["precursor_mz"])
                self.assertEqual(row["base_peak_mz"], float(scan["basePeakMz"]))
                self.assertEqual(row["filter_line"], scan.get("filterLine"))
        self.assertIn(None, charges, "no MS2 scan without a charge")
        self.assertTrue(charges - {None}, "no MS2 scan with a charge")
        return scans

    def test_readw_layout(self):
        for precision in ("32", "64"):
            with self.subTest(precision=precision):
                path, text = self.generate(f"readw{precision}.mzXML", *SMALL, "--seed", "5",
                                           "--precision", precision, "--layout", "readw")
                # Blanks in the scan tag, a tab in the peaks tag over three lines.
                self.assertIn('<scan num="2"\n          scanType="FULL"\n          msLevel="2"\n',
                              text)
                self.assertIn(f'<peaks precision="{precision}"\n\t     byteOrder="network"\n'
                              '\t     pairOrder="m/z-int">', text)
                self.assertRegex(text, r'\n      <precursorMz precursorIntensity="[0-9.]+'
                                       r'(e\+0\d\d)?"( precursorCharge="\d")?>\d+\.\d{8}<')
                self.assertRegex(text, r'totIonCurrent="\d\.\d+e\+0\d\d"')
                self.assertRegex(text, r'retentionTime="PT\d+\.\d\dS"')
                self.assertNotIn("filterLine", text)
                scans = self.assert_reads_back(path, text, g=True)
                for scan in scans:
                    self.assertEqual("collisionEnergy" in scan, scan["msLevel"] == "2")

    def test_msconvert_layout(self):
        for precision in ("32", "64"):
            with self.subTest(precision=precision):
                path, text = self.generate(f"msconvert{precision}.mzXML", *SMALL, "--seed", "6",
                                           "--precision", precision, "--layout", "msconvert")
                indent = "\n             "
                self.assertIn(f'<peaks compressionType="none"{indent}compressedLen="0"{indent}'
                              f'precision="{precision}"{indent}byteOrder="network"{indent}'
                              'pairOrder="m/z-int">', text)
                self.assertIn('<scan num="2"\n          scanType="Full"\n          '
                              'centroided="1"\n          msLevel="2"\n', text)
                self.assertRegex(text, r'\n          filterLine="ITMS \+ c NSI d Full ms2 '
                                       r'\d+\.\d\d@cid35\.00 \[\d+\.00-\d+\.00\]">\n')
                self.assertRegex(text, r'<precursorMz precursorScanNum="1" precursorIntensity=')
                self.assertEqual(text.count("\t"), 0)
                self.assertIsNone(re.search(r'="[-0-9.]+e\+', text), "an exponent with '+'")
                scans = self.assert_reads_back(path, text, g=False)
                # A fragment names the survey scan before it.
                survey = None
                for scan in scans:
                    if scan["msLevel"] == "1":
                        survey = scan["num"]
                    else:
                        self.assertEqual(scan["precursor"][0]["precursorScanNum"], survey)

    def test_msconvert_layout_is_what_repair_makes_of_msconvert_output(self):
        # msconvert writes 3.2 with contentType; repair renames it pairOrder
        # and names schema 2.1. Its copy of that text is the layout's bytes.
        path, text = self.generate("layout.mzXML", *SMALL, "--seed", "8", "--layout",
                                   "msconvert")
        as_written = text.replace("_2.1", "_3.2").replace('pairOrder="m/z-int"',
                                                         'contentType="m/z-int"')
        self.assertEqual(as_written.count("_3.2"), 4)
        source = self.dir / "as-msconvert-writes.mzXML"
        source.write_text(as_written, encoding="latin-1")
        repaired = self.dir / "repaired.mzXML"
        run(HOST, "-q", "repair", source, "-o", repaired)
        self.assertEqual(repaired.read_text(encoding="latin-1"), text)
        # The generator's own 3.2 without zlib is that text up to its index,
        # whose offsets count the longer attribute name.
        written, text3 = self.generate("layout3.mzXML", *SMALL, "--seed", "8", "--layout",
                                       "msconvert", "--mzxml3", "--no-zlib")
        run_end = as_written.index("</msRun>")
        self.assertEqual(text3[:run_end], as_written[:run_end])
        run(HOST, "-q", "repair", written, "-o", repaired)
        self.assertEqual(repaired.read_text(encoding="latin-1"), text)

    def test_mzxml3_peaks_compressed_or_not_read_the_same(self):
        # The converter layout's 3.2, with zlib and without, read through
        # repaired copies: the values are the file's either way.
        listed = []
        for options in ([], ["--no-zlib"]):
            path, text = self.generate("z.mzXML", *SMALL, "--seed", "9", "--layout", "converter",
                                       "--mzxml3", *options)
            packing = "none" if options else "zlib"
            self.assertEqual(text.count(f'compressionType="{packing}"'), text.count("<peaks"))
            self.assertEqual(text.count('contentType="m/z-int"'), text.count("<peaks"))
            listed.append(run(HOST, "-q", "dump", path))
        self.assertEqual(listed[0], listed[1])
        self.assertGreater(listed[0].count(b"\n"), 2)
        done = subprocess.run([*RUNNER, MKMZXML, "-o", self.dir / "no.mzXML", "--no-zlib"],
                              capture_output=True, text=True)
        self.assertEqual(done.returncode, 2, done.stderr)
        self.assertIn("--no-zlib goes with --mzxml3", done.stderr)

    def test_readw_layout_refuses_mzxml3(self):
        done = subprocess.run([*RUNNER, MKMZXML, "-o", self.dir / "no.mzXML", "--layout",
                               "readw", "--mzxml3"], capture_output=True, text=True)
        self.assertEqual(done.returncode, 2, done.stderr)
        self.assertIn("--mzxml3", done.stderr)
        self.assertFalse((self.dir / "no.mzXML").exists())


if __name__ == "__main__":
    unittest.main()
