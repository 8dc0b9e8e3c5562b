"""Files the plug-in refuses, read where people start: through a repaired
temporary copy that no ending leaves behind, numbered as the file the person
has; --strict refuses as an engine does and names the next step."""
import os
import re
import signal
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

from test_orvo_host import (CORPUS, HOST, RUNNER, SAMPLE, as_float32, generate, host,
                            json_lines, ok, parse_mgf, tsv_rows)
from test_repair import MSCONVERT, spectra_by_msconvert

# Every subcommand that reads, with what it needs beside the file.
READERS = {
    "info": ["info"],
    "scans": ["scans"],
    "spectrum": ["spectrum", "--ms-level", "1-16"],
    "dump": ["dump"],
    "mgf": ["mgf"],
    "tic": ["tic", "-o", "{out}.svg"],
    "bpc": ["bpc", "-o", "{out}.svg"],
    "xic": ["xic", "--mz", "500", "-o", "{out}.svg"],
    "plot": ["plot", "-o", "{out}.svg"],
}


class RepairedReading(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.dir = Path(cls.tmp.name)
        cls.copies = cls.dir / "copies"
        cls.copies.mkdir()
        # Numbered from 19 with a declared count that is wrong, as converters leave them.
        cls.numbered = cls.dir / "numbered.mzXML"
        generate(cls.numbered, "--scans", "12", "--first-num", "19", "--declared-scans", "40",
                 "--no-sha1")
        cls.schema3 = cls.dir / "schema3.mzXML"
        generate(cls.schema3, "--scans", "12", "--mzxml3")

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def reading(self, *args):
        done = host("--temp-dir", self.copies, *args)
        self.assertEqual(list(self.copies.iterdir()), [], "a repaired copy was left behind")
        return done

    def test_every_reading_subcommand_reads_every_real_file(self):
        if not (CORPUS / "SOURCES.md").is_file():
            self.skipTest(f"no mzXML corpus at {CORPUS} (set ORVO_CORPUS)")
        for path in sorted(CORPUS.glob("*.mzXML")):
            labels = tsv_rows(self.reading("--format", "tsv", "scans", path).stdout)
            for name, words in READERS.items():
                if name == "plot" and not labels:
                    continue  # no scan to draw
                args = [w.format(out=self.dir / name) for w in words] + [path]
                if name == "plot":
                    args.append(labels[0]["label"])
                with self.subTest(file=path.name, subcommand=name):
                    done = self.reading(*args)
                    self.assertEqual(done.returncode, 0, done.stderr)
                    self.assertNotIn("orvo-repaired", done.stderr + done.stdout)

    def test_values_through_the_copy_are_msconverts_of_the_original(self):
        if not MSCONVERT:
            self.skipTest("no msconvert (Debian's libpwiz-tools): comparison not run")
        if not (CORPUS / "SOURCES.md").is_file():
            self.skipTest(f"no mzXML corpus at {CORPUS} (set ORVO_CORPUS)")
        compared = 0
        for path in sorted(CORPUS.glob("*.mzXML")):
            if host("--strict", "-q", "scans", path).returncode == 0:
                continue  # read as it is: no copy to judge
            with self.subTest(path.name):
                theirs = spectra_by_msconvert(path, self.dir / ("pwiz-" + path.stem))
                if theirs is None:
                    continue  # msconvert cannot read it either
                done = self.reading("dump", path)
                self.assertEqual(done.returncode, 0, done.stderr)
                ours = json_lines(done.stdout)
                self.assertEqual(len(ours), len(theirs))
                for k, (mine, pwiz) in enumerate(zip(ours, theirs)):
                    # The plug-in keeps the peaks above m/z 1.0: the engine's rule.
                    kept = [(m, i) for m, i in zip(pwiz["mz"], pwiz["intensity"]) if m > 1.0]
                    read = list(zip(mine["mz"], mine["intensity"]))
                    if len(read) == len(kept) and all(
                            (m, i) == (a, b) or (as_float32(m), as_float32(i)) == (a, b)
                            for (m, i), (a, b) in zip(read, kept)):
                        continue
                    self.fail(f"spectrum {k + 1}: {len(read)} peaks read through the copy, "
                              f"msconvert gives {len(kept)} above m/z 1.0 or other values")
                compared += 1
        self.assertGreater(compared, 0)

    def test_the_copy_is_named_and_numbered_as_the_file_given(self):
        done = self.reading("--format", "json", "scans", self.numbered)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(done.stderr.count("read through a repaired copy"), 1, done.stderr)
        self.assertIn(f"{self.numbered}: read through a repaired copy: renumbered 12 scans from "
                      "19, scanCount 40 set to 12", done.stderr)
        rows = json_lines(done.stdout)
        self.assertEqual([r["scan_number"] for r in rows], list(range(19, 31)))
        quiet = self.reading("-q", "--format", "json", "scans", self.numbered)
        self.assertEqual((quiet.returncode, quiet.stderr, quiet.stdout), (0, "", done.stdout))
        self.assertEqual([r["label"] for r in rows], list(range(1, 13)))
        ms2 = [r["scan_number"] for r in rows if r["ms_level"] == 2]
        blocks = parse_mgf(self.reading("mgf", self.numbered).stdout)
        self.assertEqual([int(b["SCANS"]) for b in blocks], ms2)
        self.assertEqual([b["TITLE"].split(".")[1:3] for b in blocks],
                         [[str(n), str(n)] for n in ms2])
        dumped = json_lines(self.reading("dump", self.numbered).stdout)
        self.assertEqual([r["scan_number"] for r in dumped], list(range(19, 31)))
        if "mzml" in host("--help").stdout:
            mzml = self.dir / "numbered.mzML"
            done = self.reading("mzml", self.numbered, "-o", mzml, "--verify")
            self.assertEqual(done.returncode, 0, done.stderr)
            text = mzml.read_text(encoding="utf-8")
            self.assertEqual(re.findall(r'<spectrum index="\d+" id="scan=(\d+)"', text),
                             [str(n) for n in range(19, 31)])
        # A file read as it is keeps its positions as its numbers.
        rows = tsv_rows(ok(self, "--format", "tsv", "scans", SAMPLE))
        self.assertTrue(all(r["scan_number"] == r["position"] for r in rows))

    def test_strict_refuses_and_names_the_next_step(self):
        for path in (self.numbered, self.schema3):
            with self.subTest(path.name):
                done = self.reading("--strict", "scans", path)
                self.assertEqual((done.returncode, done.stdout), (1, ""), done.stderr)
                last = done.stderr.splitlines()[-1]
                self.assertEqual(last, f"orvo-host: {path}: orvo-host repair {path} -o COPY "
                                       "writes a copy the reader opens; without --strict it is "
                                       "read through one")

    def test_check_keeps_the_refusal_and_says_whether_a_copy_reads(self):
        done = self.reading("--format", "json", "check", self.schema3, self.dir / "absent.mzXML",
                            self.dir)
        self.assertEqual(done.returncode, 1)
        schema3, absent, folder = json_lines(done.stdout)
        self.assertEqual(schema3["verdict"], "failed")
        self.assertIn("it is mzXML 3.2", schema3["reason"])
        self.assertIn("a repaired copy reads (schema 3.2 written as 2.1", schema3["hint"])
        self.assertIn("orvo-host repair FILE -o COPY", schema3["hint"])
        for nothing_to_mend in (absent, folder):
            self.assertIsNone(nothing_to_mend["hint"])

    def test_refusals_no_repair_can_help_say_what_the_file_is(self):
        old = self.dir / "old.mzXML"
        old.write_text(Path(SAMPLE).read_text().replace("mzXML_idx_2.1", "mzXML_idx_1.2")
                       .replace("mzXML_2.1", "mzXML_1.2"))
        mzml = self.dir / "run.mzML"
        mzml.write_text('<?xml version="1.0"?>\n<indexedmzML xmlns="http://psi.hupo.org/ms/mzml">'
                        '\n<mzML version="1.1.0"></mzML>\n</indexedmzML>\n')
        text = self.dir / "notes.mzXML"
        text.write_text("no markup at all\n")
        empty = self.dir / "empty.mzXML"
        empty.write_bytes(b"")
        cases = {
            old: "it is mzXML 1.2, and mzXML 1.x is not read",
            mzml: "it is an mzML file, not mzXML",
            text: "it is not XML",
            empty: "it is empty",
            self.dir / "absent.mzXML": "it does not exist",
        }
        for path, words in cases.items():
            with self.subTest(path.name):
                done = self.reading("scans", path)
                self.assertEqual(done.returncode, 1)
                self.assertIn(words, done.stderr)
                self.assertNotIn("repair", done.stderr)

    def test_a_temp_dir_that_cannot_hold_the_copy_is_named(self):
        done = host("--temp-dir", self.dir / "no-such-folder", "scans", self.numbered)
        self.assertEqual(done.returncode, 1)
        self.assertIn(f"{self.numbered}: a repaired copy cannot be made in", done.stderr)
        self.assertIn("give --temp-dir DIR", done.stderr)

    def test_nothing_is_left_behind_when_the_program_is_stopped(self):
        if RUNNER:
            self.skipTest("POSIX signals: not sent to a program under an emulator")
        big = self.dir / "big.mzXML"
        generate(big, "--scans", "2000", "--ms2-peaks", "50", "--mzxml3")
        for stop in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal=stop.name):
                # Its MGF goes to a pipe nobody reads: once the pipe is full
                # the program waits there, the copy made, until it is stopped.
                program = subprocess.Popen([HOST, "--temp-dir", self.copies, "mgf", big],
                                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
                try:
                    deadline = time.monotonic() + 120
                    while not list(self.copies.iterdir()) and time.monotonic() < deadline:
                        time.sleep(0.01)
                    self.assertTrue(list(self.copies.iterdir()), "no repaired copy was made")
                    program.send_signal(stop)
                    program.wait(timeout=120)
                finally:
                    program.kill()
                    program.stdout.close()
                self.assertEqual(program.returncode, -stop)
                self.assertEqual(list(self.copies.iterdir()), [])

if __name__ == "__main__":
    unittest.main()
