"""The listings as msconvert and FileInfo taught people to read them: one table
over many files, the scan tags' own values, the digits TSV gives, a word when
the filters let nothing through or the m/z floor leaves peaks out. Expected
values come from the files' own text."""
import re
import tempfile
import unittest
from pathlib import Path

from test_orvo_host import (CORPUS, generate, host, json_lines, ok, tsv_rows)

TAG_COLUMNS = ["peaks_count", "base_peak_mz", "base_peak_intensity", "precursor_intensity",
               "collision_energy", "filter_line"]
PWIZ = CORPUS / "pwiz__tiny.pwiz.mzXML"


def tag_values(path):
    """What each scan start tag and its precursorMz tag state, from the text."""
    text = Path(path).read_text(encoding="latin-1")
    scans = []
    for tag, body in re.findall(r"(<scan\b[^>]*>)(.*?)(?=<scan\b|</msRun>)", text, re.S):
        def number(name, where=tag):
            found = re.search(rf'\b{name}="([^"]+)"', where)
            return float(found[1]) if found else None
        precursor = re.search(r"<precursorMz\b[^>]*>", body)
        filter_line = re.search(r'\bfilterLine="([^"]*)"', tag)
        scans.append({"peaks_count": int(number("peaksCount")),
                      "base_peak_mz": number("basePeakMz"),
                      "base_peak_intensity": number("basePeakIntensity"),
                      "precursor_intensity": number("precursorIntensity", precursor[0])
                      if precursor else None,
                      "collision_energy": number("collisionEnergy"),
                      "filter_line": filter_line[1].replace("&amp;", "&") if filter_line
                      else None})
    return scans


class Listings(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        tmp = Path(cls.tmp.name)
        cls.a = generate(tmp / "a.mzXML", "--scans", "6", "--ms1-every", "3", "--ms1-peaks", "8",
                         "--ms2-peaks", "4", "--no-index", "--seed", "2")
        cls.b = generate(tmp / "b.mzXML", "--scans", "4", "--ms1-every", "2", "--ms1-peaks", "5",
                         "--ms2-peaks", "3", "--precision", "64", "--seed", "4")
        # Filter lines on the first scans, one with an entity; no charges.
        text, done = re.subn(r"<scan num=\"(1|2)\"",
                             r'<scan filterLine="FTMS + p ESI &amp; scan \1" num="\1"',
                             cls.a.read_text(encoding="latin-1"))
        assert done == 2
        text, done = re.subn(r' precursorCharge="\d+"', "", text)
        assert done > 0
        cls.a.write_text(text, encoding="latin-1")
        # The pwiz file repaired, as an engine reads it: check takes no copy of its own.
        cls.pwiz = tmp / "pwiz.mzXML"
        if PWIZ.is_file():
            done = host("repair", PWIZ, "-o", cls.pwiz)
            assert done.returncode == 0, done.stderr

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_many_files_make_one_listing_with_a_file_column(self):
        one = {f: tsv_rows(ok(self, "scans", f)) for f in (self.a, self.b)}
        self.assertNotIn("file", one[self.a][0])
        rows = tsv_rows(ok(self, "scans", self.a, self.b))
        self.assertEqual(rows, [{"file": str(f), **r} for f in (self.a, self.b) for r in one[f]])
        as_json = json_lines(ok(self, "--format", "json", "scans", self.a, self.b))
        self.assertEqual([(r["file"], str(r["label"])) for r in as_json],
                         [(r["file"], r["label"]) for r in rows])
        table = ok(self, "--format", "table", "scans", self.a, self.b).splitlines()
        self.assertEqual((table[0].split()[0], len(table)), ("file", len(rows) + 1))
        # dump and spectrum name the file of each line or peak alike.
        dumped = json_lines(ok(self, "dump", self.a, self.b))
        self.assertEqual([(d["file"], d["label"]) for d in dumped],
                         [(r["file"], r["label"]) for r in as_json])
        peaks = tsv_rows(ok(self, "spectrum", self.a, self.b, "1", "2"))
        self.assertEqual(len(peaks), sum(len(d["mz"]) for d in dumped if d["label"] <= 2))
        self.assertEqual({p["file"] for p in peaks}, {str(self.a), str(self.b)})
        # A file that fails is named and counted; the others are still listed.
        done = host("scans", self.a, "/nonexistent/x.mzXML", self.b)
        self.assertEqual(done.returncode, 1)
        self.assertEqual(tsv_rows(done.stdout), rows)
        self.assertIn("2 of 3 files read, 1 failed", done.stderr)
        # A word that is neither a file nor a label is a usage error.
        self.assertEqual(host("spectrum", self.a, "abc").returncode, 2)

    def test_scan_tag_columns_hold_what_the_tags_state(self):
        files = [self.a, self.b] + ([PWIZ] if PWIZ.is_file() else [])
        for path in files:
            with self.subTest(path.name):
                expected = tag_values(path)
                rows = json_lines(ok(self, "--format", "json", "scans", path))
                self.assertEqual([{k: r[k] for k in TAG_COLUMNS} for r in rows], expected)
                for row, cells in zip(rows, tsv_rows(ok(self, "scans", path)), strict=True):
                    for key in TAG_COLUMNS:
                        cell = cells[key]
                        value = None if cell == "" else cell if key == "filter_line" else float(cell)
                        self.assertEqual(value, row[key], key)
                dumped = json_lines(ok(self, "dump", path))
                self.assertEqual([{k: d[k] for k in TAG_COLUMNS} for d in dumped], expected)
        self.assertEqual(tag_values(self.a)[0]["filter_line"], "FTMS + p ESI & scan 1")
        table = ok(self, "--format", "table", "scans", self.b).splitlines()
        self.assertTrue(all(line.endswith(" -") for line in table[1:]), table)

    def test_table_digits_are_those_of_tsv(self):
        tsv = tsv_rows(ok(self, "spectrum", self.a, "1"))
        table = ok(self, "--format", "table", "spectrum", self.a, "1").splitlines()
        self.assertEqual(table[0], f"scan 1: centroided, {len(tsv)} peaks")
        self.assertEqual([line.split() for line in table[2:]],
                         [[p["mz"], p["intensity"]] for p in tsv])
        listed = tsv_rows(ok(self, "scans", self.b))
        head, *lines = ok(self, "--format", "table", "scans", self.b).splitlines()
        self.assertEqual([dict(zip(head.split(), line.split()))["tic"] for line in lines],
                         [r["tic"] for r in listed])

    def test_filters_that_let_nothing_through_say_so(self):
        scans = len(tag_values(self.a))
        for args in (["mgf", "--charge", "2", self.a], ["scans", "--ms-level", "3", self.a],
                     ["dump", "--rt", "100000:", self.a, self.b]):
            with self.subTest(args[0]):
                done = host(*args)
                self.assertEqual(done.returncode, 0, done.stderr)
                judged = scans + (4 if len(args) == 5 else 0)
                self.assertIn(f"0 of {judged} scans passed the filters\n", done.stderr)
                self.assertEqual(host("-q", *args).stderr, "")
        self.assertNotIn("passed the filters", host("scans", "--ms-level", "2", self.a).stderr)

    @unittest.skipUnless(PWIZ.is_file(), f"no corpus at {CORPUS}")
    def test_peaks_under_the_mz_floor_are_counted(self):
        # Scan 2 declares 10 peaks from m/z 0; the reader reads none at or under its floor.
        declared = tag_values(self.pwiz)[1]["peaks_count"]
        peaks = tsv_rows(ok(self, "spectrum", self.pwiz, "2"))
        done = host("spectrum", self.pwiz, "2")
        self.assertIn(f"scan 2: the m/z floor left out {declared - len(peaks)} peak"
                      f"{'' if declared - len(peaks) == 1 else 's'} of the {declared} the file "
                      "gives", done.stderr)
        self.assertGreater(declared, len(peaks))
        # check and info count the whole file's.
        left_out = (sum(t["peaks_count"] for t in tag_values(self.pwiz))
                    - sum(d["peak_count"] for d in json_lines(ok(self, "dump", self.pwiz))))
        self.assertIn(f"the m/z floor left out {left_out} peaks", ok(self, "check", self.pwiz))
        [report] = json_lines(ok(self, "--format", "json", "check", self.pwiz))
        self.assertEqual(report["peaks_under_mz_floor"], left_out)
        [info] = json_lines(ok(self, "--format", "json", "info", "--stats", self.pwiz))
        self.assertEqual(info["peaks_under_mz_floor"], left_out)
        [quiet] = json_lines(ok(self, "--format", "json", "info", "--stats", self.a))
        self.assertEqual(quiet["peaks_under_mz_floor"], 0)


if __name__ == "__main__":
    unittest.main()
