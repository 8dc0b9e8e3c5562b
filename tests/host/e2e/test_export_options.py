"""The exports' options as the field's tools taught people to expect: -o on
every export, --keep-going, msconvert's MGF habits, chromatograms as rows,
retention times in minutes, and mass tolerances with their units. Expected
values come from the file's own text or from another subcommand's listing."""
import re
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

from test_orvo_host import (CORPUS, RUNNER, SAMPLE, as_float32, host, json_lines, ok,
                            parse_mgf, tsv_rows)
from test_views import write_profile_run


def precursors(path):
    """(m/z, precursorIntensity) of each scan, by num, from the text: of the last
    <precursorMz> before the scan's peaks, where the reader takes its m/z."""
    text = Path(path).read_text(encoding="latin-1")
    found = {}
    for scan in re.split(r"(?=<scan\s)", text)[1:]:
        num = int(re.search(r'num="(\d+)"', scan)[1])
        tags = re.findall(r"<precursorMz\b([^>]*)>([^<]*)", scan.split("<peaks")[0])
        if tags:
            given = re.search(r'precursorIntensity="([^"]*)"', tags[-1][0])
            found[num] = (float(tags[-1][1]), float(given[1]) if given else None)
    return found


class ExportOptions(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.dir = Path(cls.tmp.name)
        cls.profile = write_profile_run(cls.dir / "profile.mzXML")
        cls.scans = json_lines(host("--format", "json", "scans", SAMPLE).stdout)
        # Scan 2's peaks spoilt, same length: its fetch fails, the listing reads.
        text = Path(SAMPLE).read_text(encoding="latin-1")
        start = text.index(">", text.index("<peaks", text.index('<scan num="2"'))) + 1
        end = text.index("</peaks>", start)
        cls.spoilt = cls.dir / "spoilt.mzXML"
        cls.spoilt.write_text(text[:start] + "!" * (end - start) + text[end:], encoding="latin-1")
        cls.not_mzxml = cls.dir / "notes.mzXML"
        cls.not_mzxml.write_text("peak list follows\n")

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def rows(self, *args):
        return json_lines(ok(self, *args, "--format", "json"))

    def test_every_export_writes_o_only_when_whole(self):
        exports = {  # name: the command, the same to standard output
            "dump": (["dump", SAMPLE], ["dump", SAMPLE]),
            "scans": (["scans", SAMPLE], ["scans", SAMPLE, "--format", "tsv"]),
            "spectrum": (["spectrum", SAMPLE, "2", "3", "--format", "json"],
                         ["spectrum", SAMPLE, "2", "3", "--format", "json"]),
            "tic": (["tic", SAMPLE, "--format", "tsv"], ["tic", SAMPLE, "--format", "tsv"]),
            "xic": (["xic", self.profile, "--mz", "500", "--format", "json"],
                    ["xic", self.profile, "--mz", "500", "--format", "json"]),
        }
        for name, (command, to_stdout) in exports.items():
            with self.subTest(name):
                out = self.dir / f"out.{name}"
                self.assertEqual(ok(self, *command, "-o", out), "")
                self.assertEqual(out.read_text(), ok(self, *to_stdout))
        # A spectrum that fails leaves an earlier file as it was, and nothing beside it.
        for command in (["dump", self.spoilt], ["spectrum", self.spoilt, "1", "2"]):
            with self.subTest(failed=command[0]):
                keep = self.dir / "keep" / "earlier.txt"
                keep.parent.mkdir(exist_ok=True)
                keep.write_text("an earlier result\n")
                done = host(*command, "-o", keep)
                self.assertEqual((done.returncode, done.stdout), (1, ""), done.stderr)
                self.assertEqual(keep.read_text(), "an earlier result\n")
                self.assertEqual(list(keep.parent.iterdir()), [keep])

    def test_mgf_keep_going_writes_the_files_that_read(self):
        out = self.dir / "all.mgf"
        done = host("-j", "1", "mgf", SAMPLE, self.not_mzxml, self.profile, "-o", out,
                    "--keep-going")
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertIn(str(self.not_mzxml), done.stderr)
        self.assertIn("2 of 3 files read, 1 failed", done.stderr)
        self.assertEqual(out.read_text(), ok(self, "mgf", SAMPLE) + ok(self, "mgf", self.profile))
        # Every failure named, the good files still written.
        done = host("mgf", self.not_mzxml, SAMPLE, self.dir / "gone.mzXML", "-o", out,
                    "--keep-going")
        self.assertEqual(done.returncode, 1)
        self.assertIn(str(self.not_mzxml), done.stderr)
        self.assertIn("gone.mzXML", done.stderr)
        self.assertEqual(out.read_text(), ok(self, "mgf", SAMPLE))
        # Without it the first failure stops the run and writes nothing.
        out.unlink()
        done = host("-j", "1", "mgf", SAMPLE, self.not_mzxml, self.profile, "-o", out)
        self.assertEqual(done.returncode, 1)
        self.assertFalse(out.exists())
        self.assertIn("1 file not written after the first failure (--keep-going writes",
                      done.stderr)

    def test_mgf_pepmass_carries_the_precursor_intensity(self):
        # Three precursors in one scan: m/z and intensity of the same one.
        several = CORPUS / "openms__MzXMLFile_1.mzXML"
        for path in [Path(SAMPLE)] + [several] * several.is_file():
            with self.subTest(path.name):
                given = precursors(path)
                blocks = parse_mgf(ok(self, "mgf", path))
                self.assertTrue(blocks)
                for block in blocks:
                    mz, intensity = given[int(block["SCANS"])]
                    self.assertEqual(list(map(float, block["PEPMASS"].split())),
                                     [mz, intensity] if intensity else [mz])
        # An unknown charge leaves its field of TITLE empty.
        blocks = parse_mgf(ok(self, "mgf", SAMPLE))
        self.assertIn(None, [b.get("CHARGE") for b in blocks])
        for block in blocks:
            self.assertEqual(block["TITLE"].rsplit(".", 1)[1],
                             (block.get("CHARGE") or "").rstrip("+-"))

    def test_mgf_agrees_with_msconvert(self):
        msconvert = shutil.which("msconvert")
        if RUNNER or not msconvert:
            self.skipTest("ProteoWizard's msconvert (libpwiz-tools) is not installed")
        names = ["pwiz__tiny.pwiz.mzXML", "pyteomics__test.mzXML", "msnbase__dummyiTRAQ.mzXML"]
        if not all((CORPUS / name).is_file() for name in names):
            self.skipTest(f"the corpus is not at {CORPUS}")
        for name in names:
            with self.subTest(name), tempfile.TemporaryDirectory() as out:
                subprocess.run([msconvert, "--mgf", "-o", out, str(CORPUS / name)], check=True,
                               capture_output=True, timeout=120)
                theirs = parse_mgf(next(Path(out).glob("*.mgf")).read_text())
                ours = parse_mgf(ok(self, "mgf", CORPUS / name))

                def habits(blocks):
                    return [(list(map(float, b["PEPMASS"].split())), b["TITLE"].rsplit(".", 1)[1])
                            for b in blocks]
                self.assertEqual(habits(ours), habits(theirs))

    def test_chromatograms_as_rows(self):
        ms1 = [s for s in self.scans if s["ms_level"] == 1]
        tic = self.rows("tic", SAMPLE)
        self.assertEqual([(r["label"], r["rt_seconds"], r["intensity"]) for r in tic],
                         [(s["label"], s["rt_seconds"], s["tic"]) for s in ms1])
        self.assertTrue(all(abs(r["rt_minutes"] * 60 - r["rt_seconds"]) < 1e-9 for r in tic))
        dump = {d["label"]: d for d in json_lines(ok(self, "dump", SAMPLE))}
        bpc = self.rows("bpc", SAMPLE, "--ms-level", "2")
        # The file's 32-bit peaks: the dump writes them as floats, the rows exactly.
        self.assertEqual([(r["label"], as_float32(r["intensity"])) for r in bpc],
                         [(label, as_float32(max(d["intensity"]))) for label, d in dump.items()
                          if d["ms_level"] == 2])
        table = tsv_rows(ok(self, "xic", self.profile, "--mz", "500", "--format", "tsv"))
        heights = [float(r["intensity"]) for r in table]
        self.assertEqual(heights.index(max(heights)), 2)  # the apex is in the third MS1 scan
        done = host("tic", SAMPLE)
        self.assertEqual(done.returncode, 2)
        self.assertIn("give -o OUT.svg for the plot, or --format tsv or json", done.stderr)

    def test_rt_takes_minutes_as_the_axis_shows_them(self):
        labels = [r["label"] for r in self.rows("scans", SAMPLE, "--rt", "3:6")]
        self.assertTrue(labels)
        for rt in ("0.05m:0.1m", "3s:0.1MIN", "3 : 6s"):
            with self.subTest(rt):
                self.assertEqual([r["label"] for r in self.rows("scans", SAMPLE, "--rt", rt)],
                                 labels)
        done = host("tic", SAMPLE, "--rt", "1h:2h", "-o", self.dir / "x.svg")
        self.assertEqual(done.returncode, 2)
        self.assertIn("'1h' is not a time: write seconds (90 or 90s) or minutes", done.stderr)
        # The option's help and the axis name the same unit.
        self.assertIn("minutes", ok(self, "tic", "--help"))
        svg = self.dir / "tic.svg"
        ok(self, "tic", SAMPLE, "-o", svg)
        self.assertIn("retention time (min)", svg.read_text())

    def test_xic_tolerance_says_its_unit(self):
        def trace(tol, *extra, mz="500"):
            done = host("xic", self.profile, "--mz", mz, "--tol", tol, "--format", "json",
                        *extra)
            self.assertEqual(done.returncode, 0, done.stderr)
            return [r["intensity"] for r in json_lines(done.stdout)], done.stderr

        wide, said = trace("0.3Da")
        self.assertEqual(said, "")
        self.assertGreater(max(wide), 0)
        for tol in ("0.3 da", "300mmu", "300MMU", "600ppm"):
            with self.subTest(tol):
                self.assertEqual(trace(tol), (wide, ""))
        self.assertEqual(trace("0.3")[0], wide)
        self.assertIn("--tol 0.3: a number without a unit is taken as 0.3 Da", trace("0.3")[1])
        self.assertEqual(trace("0.3", "-q"), (wide, ""))
        done = host("xic", self.profile, "--mz", "500", "--tol", "10Th", "-o", self.dir / "x.svg")
        self.assertEqual(done.returncode, 2)
        self.assertIn("write 10ppm, 0.01Da or 5mmu", done.stderr)
        # A target beyond every scan's peaks: a zero trace, and a word why.
        zeros, said = trace("10ppm", mz="1500")
        self.assertEqual(set(zeros), {0})
        self.assertIn("m/z 1500 \u00b1 10 ppm lies outside the peaks of every scan read "
                      "(m/z 400 to 699.75)", said)


if __name__ == "__main__":
    unittest.main()
