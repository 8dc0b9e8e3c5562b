"""orvo-host on files as people have them: no dead end where the file does not
state its centroiding, missing values shown as missing, every refusal named
in its last line, outputs that a failed run leaves alone."""
import json
import os
import re
import shutil
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ET
from pathlib import Path

from test_orvo_host import (CORPUS, generate, HOST, MKMZXML, RUNNER, host, json_lines, ok, parse_mgf,
                            status_code, tsv_rows)

LAST_LINE = re.compile(r"(?m)^orvo-host: (.*)\(status (0x8004[0-9A-F]{4})\)\n"
                       r"(orvo-host: .*: orvo-host repair .* -o COPY writes a copy the reader "
                       r"opens; without --strict it is read through one\n)?\Z")
REFUSED, BAD_HEADER = status_code("FILE_REFUSED"), status_code("BAD_SCAN_HEADER")


def last_line(test, done):
    """The cause and status code of the failure the last line of stderr names."""
    test.assertEqual(done.returncode, 1, done.stderr)
    found = LAST_LINE.search(done.stderr)
    test.assertIsNotNone(found, done.stderr)
    return found.group(1), found.group(2)


class RealFiles(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        tmp = cls.dir = Path(cls.tmp.name)

        def make(name, *args):
            return generate(tmp / name, *args)

        def edited(source, name, *edits):
            text = source.read_text(encoding="latin-1")
            for pattern, replacement, count in edits:
                text, done = re.subn(pattern, replacement, text)
                assert done == count or count is None, (pattern, done)
            path = tmp / name
            path.write_text(text, encoding="latin-1")
            return path

        base = make("base.mzXML", "--scans", "8", "--ms1-every", "4", "--ms1-peaks", "12",
                    "--ms2-peaks", "5", "--no-index", "--no-sha1", "--seed", "5")
        scans = base.read_text(encoding="latin-1").count("<scan ")
        cls.scans = scans
        # Neither centroiding nor total ion currents, of unknown polarity,
        # the MS2 scans negative with charge 2.
        cls.bare = edited(base, "bare.mzXML",
                          (r'<dataProcessing centroided="1"', "<dataProcessing", 1),
                          (r' totIonCurrent="[^"]*"', "", scans),
                          (r'(msLevel="1"[^>]*?)polarity="\+"', r'\1polarity="any"', None),
                          (r'polarity="\+"', 'polarity="-"', None),
                          (r'precursorCharge="\d+"', 'precursorCharge="2"', None))
        cls.counted_wrong = edited(base, "counted.mzXML",
                                   (r'scanCount="%d"' % scans, 'scanCount="%d"' % (scans - 3), 1))
        cls.numbered = edited(base, "numbered.mzXML", (r'<scan num="(\d+)"',
                                                       lambda m: '<scan num="%d"' % (
                                                           int(m.group(1)) + 18), scans))
        cls.schema3 = edited(base, "schema3.mzXML", (r"_2\.1", "_3.2", None))
        cls.empty = tmp / "empty.mzXML"
        cls.empty.write_bytes(b"")

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_unstated_centroiding_is_read_as_profile_and_said_once(self):
        for args in (["scans", self.bare], ["info", self.bare], ["mgf", self.bare],
                     ["dump", self.bare], ["spectrum", self.bare, "2"]):
            with self.subTest(args[0]):
                done = host(*args)
                self.assertEqual(done.returncode, 0, done.stderr)
                notes = re.findall(r"does not state whether its spectra are centroided.*",
                                   done.stderr)
                self.assertEqual(len(notes), 1, done.stderr)
                self.assertIn("--centroided yes or no", notes[0])
        info = json_lines(ok(self, "--format", "json", "info", self.bare))[0]
        self.assertEqual((info["centroided"], info["centroiding_stated"]), (False, False))
        self.assertEqual({d["kind"] for d in json_lines(ok(self, "dump", self.bare))},
                         {"profile"})
        # A choice still decides, and check says each notice once.
        self.assertEqual({d["kind"] for d in json_lines(ok(self, "--centroided", "yes",
                                                           "dump", self.bare))}, {"centroided"})
        text = ok(self, "-v", "check", self.bare)
        self.assertEqual(len(re.findall(r"^  Scan \d+ starts at byte", text, re.M)), self.scans)
        self.assertEqual(text.count("The msRun element declares"), 1)

    def test_missing_values_are_missing_in_every_form(self):
        rows = json_lines(ok(self, "--format", "json", "scans", self.bare))
        self.assertEqual({r["tic"] for r in rows}, {None})
        self.assertEqual({r["polarity"] for r in rows if r["ms_level"] == 1}, {None})
        self.assertIn({r["charge"] for r in rows if r["ms_level"] == 2}, ({2}, {2, None}))
        self.assertEqual({r["precursor_mz"] for r in rows if r["ms_level"] == 1}, {None})
        self.assertEqual({r["parent_label"] for r in rows if r["ms_level"] == 1}, {None})
        for row in tsv_rows(ok(self, "--format", "tsv", "scans", self.bare)):
            self.assertEqual(row["tic"], "")
            self.assertIn(row["polarity"], ("", "-"))
        table = ok(self, "--format", "table", "scans", self.bare).splitlines()
        head = table[0].split()
        for line in table[1:]:
            cells = dict(zip(head, line.split()))
            self.assertEqual(cells["tic"], "-")
            # "-" is a polarity: an unknown one shows as neither sign.
            self.assertEqual(cells["polarity"], "?" if cells["ms_level"] == "1" else "-")
        for scan in json_lines(ok(self, "dump", self.bare)):
            self.assertIsNone(scan["tic"])

    def test_tic_of_a_file_without_currents_is_summed_from_its_peaks(self):
        svg = self.dir / "tic.svg"
        ok(self, "tic", self.bare, "-o", svg)
        root = ET.parse(svg).getroot()
        texts = " ".join(t.text or "" for t in root.iter() if t.tag.endswith("text"))
        self.assertIn("summed from the peaks: the file gives no totIonCurrent", texts)
        ms1 = [d for d in json_lines(ok(self, "dump", self.bare)) if d["ms_level"] == 1]
        heights = [float(e.get("cy")) for e in root.iter()
                   if "point" in e.get("class", "").split()]
        self.assertEqual(len(heights), len(ms1))
        # Drawn from sums that differ, not a flat line at zero.
        sums = [sum(d["intensity"]) for d in ms1]
        self.assertEqual(len(set(heights)) > 1, len(set(sums)) > 1)
        self.assertTrue(all(s > 0 for s in sums))

    def test_each_refusal_names_its_cause_in_the_last_line(self):
        cases = {  # name: arguments, words the last line must hold, status code
            "missing": (["scans", self.dir / "absent.mzXML"], ["does not exist", "No such file"],
                        REFUSED),
            "folder": (["scans", self.dir], ["is a folder"], REFUSED),
            "empty": (["info", self.empty], ["is empty"], REFUSED),
            "schema 3.2": (["scans", self.schema3], ["mzXML 3.2: only 2.0 and 2.1 are read"],
                           REFUSED),
            "count": (["scans", self.counted_wrong],
                      [f'more than {self.scans - 3} scans', f'scanCount="{self.scans - 3}"'],
                      REFUSED),
            "num": (["dump", self.numbered], ['carries num="19"', 'num="1" is expected'],
                    BAD_HEADER),
        }
        if os.geteuid() != 0 and not RUNNER:
            locked = self.dir / "locked.mzXML"
            shutil.copy(self.bare, locked)
            locked.chmod(0)
            cases["unreadable"] = (["scans", locked], ["may not be read", "Permission denied"],
                                   REFUSED)
        for name, (args, words, code) in cases.items():
            with self.subTest(name):
                cause, status = last_line(self, host("--strict", *args))
                self.assertEqual(status, code)
                for word in words:
                    self.assertIn(word, cause)
                self.assertNotIn("It may be missing, unreadable", cause)
        if "unreadable" not in cases:
            self.skipTest("run as root or under a runner: the unreadable file was not tried")

    def test_check_json_is_one_typed_object_a_file(self):
        done = host("--format", "json", "check", self.bare, self.numbered)
        self.assertEqual(done.returncode, 1)
        good, bad = json_lines(done.stdout)
        self.assertEqual((good["verdict"], good["scans_listed"], good["spectra_read"]),
                         ("ok", self.scans, self.scans))
        self.assertEqual((good["status_code"], good["sha1"], good["centroiding_stated"]),
                         (None, "absent", False))
        self.assertTrue(all({"id", "level", "sentence"} <= set(e) for e in good["events"]))
        self.assertEqual(good["quiet_event_counts"]["SCAN_OFFSET"], self.scans)
        self.assertEqual((bad["verdict"], bad["status_code"], bad["scans_listed"]),
                         ("failed", BAD_HEADER, None))
        self.assertIn('num="19"', bad["reason"])
        self.assertIn("repair", bad["hint"])

    def test_a_failed_run_leaves_an_earlier_output_alone(self):
        keep = self.dir / "keep.mgf"
        keep.write_bytes(b"an earlier result\n")
        before = set(self.dir.iterdir())
        done = host("--strict", "mgf", self.bare, self.numbered, "-o", keep)
        self.assertEqual(done.returncode, 1)
        self.assertEqual(keep.read_bytes(), b"an earlier result\n")
        self.assertEqual(set(self.dir.iterdir()), before)
        # The same command that succeeds replaces it whole.
        ok(self, "mgf", self.bare, "-o", keep)
        self.assertEqual(keep.read_text(), ok(self, "mgf", self.bare))

    @unittest.skipIf(RUNNER or not os.path.exists("/dev/full"), "needs /dev/full")
    def test_a_full_disk_is_status_1_with_the_systems_reason(self):
        done = host("mgf", self.bare, "-o", "/dev/full")
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertIn("No space left on device", done.stderr)
        with open("/dev/full", "wb") as full:
            done = subprocess.run([HOST, "dump", str(self.bare)], stdout=full,
                                  stderr=subprocess.PIPE, text=True, stdin=subprocess.DEVNULL)
        self.assertEqual(done.returncode, 1, done.stderr)
        self.assertIn("standard output: No space left on device", done.stderr)

    def test_mgf_charge_carries_the_ions_sign(self):
        blocks = parse_mgf(ok(self, "mgf", self.bare))
        self.assertTrue(blocks)
        self.assertIn({b.get("CHARGE") for b in blocks}, ({"2-"}, {"2-", None}))
        self.assertTrue(all(b["TITLE"].endswith(".2" if "CHARGE" in b else ".") for b in blocks))

    def test_usage_errors_name_what_is_wrong(self):
        done = host("bogus", self.bare)
        self.assertEqual(done.returncode, 2)
        self.assertIn("unknown subcommand 'bogus'", done.stderr)
        for command in ("scans", "mgf", "check", "plot"):
            with self.subTest(command):
                text = ok(self, command, "--help")
                for option in ("--centroided", "--first-label", "-v", "-q", "--plugin"):
                    self.assertIn(option, text)
                self.assertEqual("--format" in text, command in ("scans", "check"))


class RealCorpusFiles(unittest.TestCase):
    def setUp(self):
        if not (CORPUS / "SOURCES.md").is_file():
            self.skipTest(f"no mzXML corpus at {CORPUS} (set ORVO_CORPUS): corpus checks not run")

    def corpus(self, name):
        path = CORPUS / name
        if not path.is_file():
            self.skipTest(f"{name} is not in the corpus")
        return path

    def test_refused_files_name_their_cause(self):
        cases = {
            "maldiquantforeign__tiny1.mzXML3.0.mzXML": "it is mzXML 3.0: only 2.0 and 2.1",
            "mzxmljl__test64.mzXML": "it is mzXML 3.2: only 2.0 and 2.1",
            "pyteomics__test.mzXML": 'found 2 scans, but its msRun element declares '
                                     'scanCount="3113"',
            "openms__MzXMLFile_3_64bit.mzXML": 'found 3 scans, but its msRun element declares '
                                               'scanCount="4"',
            "openms__MzXMLFile_2_minimal.mzXML": "<msRun> start tag has no attributes",
            "pwiz__tiny.pwiz.mzXML": 'carries num="19" where num="1" is expected',
            "openms-pyopenms__test2.mzXML": 'carries num="12663"',
        }
        for name, words in cases.items():
            with self.subTest(name):
                done = host("--strict", "scans", self.corpus(name))
                cause, _ = last_line(self, done)
                self.assertIn(words, cause)
                # The next step is named last, and the file named is the one given.
                self.assertTrue(done.stderr.endswith("read through one\n"), done.stderr)
                self.assertIn(f"orvo-host repair {self.corpus(name)} -o COPY", done.stderr)
                # Without --strict the same file is read through a repaired copy.
                done = host("--format", "json", "scans", self.corpus(name))
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertRegex(done.stderr, rf"{re.escape(str(self.corpus(name)))}: read "
                                              r"through a repaired copy: .*index rebuilt")
                self.assertNotIn("orvo-repaired", done.stderr)

    def test_files_without_totioncurrent_or_centroiding(self):
        rows = json_lines(ok(self, "--format", "json", "scans",
                             self.corpus("openms__FileInfo_4_input.mzXML")))
        self.assertEqual({r["tic"] for r in rows}, {None})
        rows = json_lines(ok(self, "--format", "json", "scans",
                             self.corpus("openms__OpenSwathWorkflow_2_input.mzXML")))
        self.assertEqual({r["polarity"] for r in rows}, {None})
        done = host("scans", self.corpus("msnbase__dummyiTRAQ.mzXML"))
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("read as profile spectra", done.stderr)

    def test_info_gives_what_the_file_says_and_missing_as_missing(self):
        files = sorted(CORPUS.glob("*.mzXML"))
        done = host("--format", "json", "info", "--stats", *files)
        infos = {Path(o["file"]).name: o for o in json_lines(done.stdout) if o["error"] is None}
        self.assertGreaterEqual(len(infos), 12, done.stderr)
        with_operator = 0
        for path in files:
            if path.name not in infos:
                continue
            info, text = infos[path.name], path.read_text(encoding="latin-1")
            with self.subTest(path.name):
                # From the file's own text: its first parentFile and the
                # operator of its msInstrument.
                parent = re.search(r'<parentFile\b[^>]*\bfileName="([^"]*)"', text)
                self.assertEqual(info["file_name"], parent[1] if parent and parent[1] else None)
                instrument = re.search(r"<msInstrument\b.*?</msInstrument>", text, re.S)
                person = instrument and re.search(r"<operator\b([^>]*)>", instrument[0])
                names = [re.search(rf'\b{n}="([^"]*)"', person[1]) for n in ("first", "last")] \
                    if person else []
                expected = " ".join(n[1] for n in names if n and n[1]) or None
                self.assertEqual(info["operator"], expected)
                with_operator += expected is not None
                # Never a blank, an empty text or the path for what is not given.
                for key in ("file_name", "operator", "instrument", "mass_analyzer"):
                    self.assertTrue(info[key] is None or info[key].strip() == info[key] != "",
                                    (key, info[key]))
                self.assertNotEqual(info["file_name"], info["file"])
                # One answer on centroiding, the peaks' own.
                kind = info["peak_kind"]
                self.assertEqual(info["centroided"], {"centroided": True, "profile": False}.get(kind),
                                 kind)
        self.assertGreaterEqual(with_operator, 4)
        # Profile MS1 beside centroided MS2 in a run that states profile.
        self.assertEqual(infos["openms-pyopenms__test2.mzXML"]["peak_kind"],
                         "MS1 profile, MS2 centroided")
        self.assertEqual(infos["msnbase__dummyiTRAQ.mzXML"]["peak_kind"], "profile")
        self.assertEqual(infos["openms__FileInfo_4_input.mzXML"]["peak_kind"], "centroided")
        # In a table what is missing is "-".
        table = ok(self, "--format", "table", "info", self.corpus("openms-pyopenms__test.mzXML"))
        cells = dict(line.split(None, 1) if " " in line.strip() else (line.strip(), "")
                     for line in table.splitlines()[1:])
        self.assertEqual((cells["operator"].strip(), cells["instrument"].strip()), ("-", "-"))

    def test_mgf_charges_agree_with_msconvert(self):
        msconvert = shutil.which("msconvert")
        if RUNNER or not msconvert:
            self.skipTest("ProteoWizard's msconvert (libpwiz-tools) is not installed")
        path = self.corpus("openms__InspectOutfile_test_2.mzXML")
        with tempfile.TemporaryDirectory() as out:
            subprocess.run([msconvert, "--mgf", "-o", out, str(path)], check=True,
                           capture_output=True, timeout=120)
            theirs = parse_mgf(next(Path(out).glob("*.mgf")).read_text())
        ours = parse_mgf(ok(self, "mgf", path))
        self.assertEqual([b.get("CHARGE") for b in ours], [b.get("CHARGE") for b in theirs])
        self.assertIn("2-", [b.get("CHARGE") for b in ours])


if __name__ == "__main__":
    unittest.main()
