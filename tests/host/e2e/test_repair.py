"""orvo-host repair: each kind of fault a file from elsewhere may have, made
by orvo-mkmzxml or by a small edit of its output, comes out as a copy that
`check` passes with the values of the same run written cleanly. ProteoWizard's
msconvert, where installed, is the independent judge of the real files."""
import hashlib
import os
import re
import shlex
import shutil
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ET
from pathlib import Path

from test_orvo_host import MZML, decode_array

HOST = os.environ.get("ORVO_HOST", "")
MKMZXML = os.environ.get("ORVO_MKMZXML", "")
RUNNER = shlex.split(os.environ.get("ORVO_RUNNER", ""))
CORPUS = Path(os.environ.get("ORVO_CORPUS", "/nonexistent-corpus"))
# An independent reader; only for the native build (it cannot read what
# Wine's path names look like, and needs no second run).
MSCONVERT = None if RUNNER else shutil.which("msconvert")

RUN = ["--scans", "12", "--ms1-every", "4", "--ms1-peaks", "30", "--ms2-peaks", "8",
       "--seed", "5"]


def setUpModule():
    for name, path in (("ORVO_HOST", HOST), ("ORVO_MKMZXML", MKMZXML)):
        if not os.access(path, os.X_OK):
            raise RuntimeError(f"{name} must name the built program, not {path!r}")


def run(*command, timeout=300):
    done = subprocess.run(list(map(str, command)), capture_output=True,
                          stdin=subprocess.DEVNULL, timeout=timeout)
    done.stdout, done.stderr = (b.decode("utf-8", "replace").replace("\r\n", "\n")
                                for b in (done.stdout, done.stderr))
    return done


def host(*args):
    return run(*RUNNER, HOST, *args)


def make(path, *args):
    subprocess.run([*RUNNER, MKMZXML, "-o", str(path), *args], check=True,
                   capture_output=True, stdin=subprocess.DEVNULL)
    return path


def edit(source, target, *replacements):
    """`source` with each (old, new, count) replaced exactly count times."""
    text = source.read_text(encoding="latin-1")
    for old, new, count in replacements:
        found = len(re.findall(old, text))
        assert found == count, f"{old!r}: {found} occurrences, not {count}"
        text = re.sub(old, new, text)
    target.write_text(text, encoding="latin-1", newline="")
    return target


def nest_fragments(text):
    """Each MS1 scan closed only after the MS2 scans that follow it."""
    out, open_survey = [], False
    for element in re.findall(r"    <scan .*?</scan>\n", text, re.S):
        survey = 'msLevel="1"' in element
        if survey and open_survey:
            out.append("    </scan>\n")
        if survey:
            element = element[:-len("    </scan>\n")]
        out.append(element)
        open_survey = open_survey or survey
    out.append("    </scan>\n")
    head = text[:text.index("    <scan ")]
    tail = text[text.rindex("</scan>\n") + len("</scan>\n"):]
    return head + "".join(out) + tail


def values(path, *options):
    """The dump of a file: what an engine gets from it, scan for scan."""
    done = host(*options, "dump", path)
    assert done.returncode == 0, done.stderr
    return done.stdout


class Fixtures(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        tmp = cls.dir = Path(cls.tmp.name)
        cls.clean = make(tmp / "clean.mzXML", *RUN)
        cls.clean64 = make(tmp / "clean64.mzXML", *RUN, "--precision", "64")
        from19 = make(tmp / "from19.mzXML", *RUN, "--first-num", "19")
        # Each fault: the file, the run it must read as, what the line says.
        cls.faults = {
            "count": (make(tmp / "count.mzXML", *RUN, "--declared-scans", "3113"), cls.clean,
                      "scanCount 3113 set to 12"),
            "from19": (from19, cls.clean, "renumbered 12 scans from 19"),
            "mzxml3": (make(tmp / "v3.mzXML", *RUN, "--precision", "64", "--mzxml3"),
                       cls.clean64, "schema 3.2 written as 2.1, 12 peak lists decompressed, "
                       "contentType written as pairOrder in 12 peak lists"),
            "no_orders": (edit(cls.clean, tmp / "no_orders.mzXML",
                               (' byteOrder="network" pairOrder="m/z-int"', "", 12)), cls.clean,
                          'byteOrder="network" added to 12 peak lists, '
                          'pairOrder="m/z-int" added to 12 peak lists'),
            "bare_run": (edit(cls.clean, tmp / "bare_run.mzXML",
                              (r"<msRun [^>]*>", "<msRun>", 1)), cls.clean,
                         "scanCount 12 added"),
            "nested": (edit(from19, tmp / "nested.mzXML", (r"(?s)^.*$", lambda m: nest_fragments(m[0]), 1)),
                       cls.clean, "renumbered 12 scans from 19"),
            # A scan's header is searched for num= up to its peaks.
            "scan_origin": (edit(cls.clean, tmp / "scan_origin.mzXML",
                                 (r'(<scan num="1"[^>]*>)',
                                  r'\1\n      <scanOrigin parentFileID="0" num="7"/>', 1)),
                            cls.clean, '1 other num= text in scan headers written as "num ="'),
            "second_num": (edit(cls.clean, tmp / "second_num.mzXML",
                                (r'(<scan num="3")', r'\1\n        fnum="5"', 1)),
                           cls.clean, '1 other num= text in scan headers written as "num ="'),
            # The reader takes the first scanCount= it meets for the run's.
            "early_count": (edit(cls.clean, tmp / "early_count.mzXML",
                                 (r'<\?xml version="1.0"', '<?xml version="1.0" scanCount="0"', 1),
                                 (r"\n  <msRun ", '\n  <!-- scanCount="5" -->\n  <msRun ', 1)),
                            cls.clean, '2 earlier scanCount= texts written as "scanCount ="'),
        }

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def repair(self, source, *options):
        target = self.dir / f"{source.stem}.fixed.mzXML"
        done = host("repair", source, "-o", target, *options)
        self.assertEqual(done.returncode, 0, done.stderr)
        return target, done.stdout

    def test_each_fault_reads_as_the_clean_run_after_repair(self):
        for name, (source, reference, change) in self.faults.items():
            with self.subTest(name):
                self.assertEqual(host("check", source).returncode, 1, "the fault is no fault")
                before = source.read_bytes()
                copy, line = self.repair(source)
                self.assertEqual(source.read_bytes(), before, "the input changed")
                self.assertIn(change, line)
                self.assertTrue(line.rstrip().endswith(
                    "index rebuilt: 12 scans, sha1 recomputed, every spectrum reads"), line)
                checked = host("check", copy)
                self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
                self.assertIn("sha1: matches", checked.stdout)
                self.assertEqual(values(copy), values(reference))
                again, _ = self.repair(copy)
                self.assertEqual(again.read_bytes(), copy.read_bytes(), "not idempotent")

    def test_a_sound_file_or_one_with_a_stale_index_comes_out_as_the_clean_file(self):
        stale = edit(self.clean, self.dir / "stale.mzXML",
                     (r"<offset id=\"(\d+)\">(\d+)<",
                      lambda m: f'<offset id="{m[1]}">{int(m[2]) - 4}<', 12))
        unindexed = make(self.dir / "unindexed.mzXML", *RUN, "--no-index")
        for source in (self.clean, stale):
            with self.subTest(source.name):
                copy, line = self.repair(source)
                self.assertEqual(copy.read_bytes(), self.clean.read_bytes())
        copy, line = self.repair(unindexed)
        self.assertIn("index rebuilt: 12 scans, sha1 recomputed", line)
        self.assertRegex(copy.read_text(encoding="latin-1"),
                         r"</msRun>\n  <index name=\"scan\">(\n    <offset id=\"\d+\">\d+</offset>)"
                         r"{12}\n  </index>\n  <indexOffset>\d+</indexOffset>\n  <sha1>")
        self.assertEqual(values(copy), values(self.clean))
        # The lines the repair writes end as the file's own lines do.
        crlf = self.dir / "crlf.mzXML"
        crlf.write_bytes(unindexed.read_bytes().replace(b"\n", b"\r\n"))
        copy, _ = self.repair(crlf)
        self.assertNotRegex(copy.read_bytes(), rb"[^\r]\n")
        self.assertEqual(values(copy), values(self.clean))

    def test_numbers_references_and_the_map(self):
        # Fragment scans that name their survey scan by number.
        source = edit(self.faults["from19"][0], self.dir / "refs.mzXML",
                      (r"<precursorMz ", '<precursorMz precursorScanNum="NUM" ', 9))
        text = source.read_text(encoding="latin-1")
        parents, survey = {}, None
        for num, level in re.findall(r'<scan num="(\d+)" msLevel="(\d)"', text):
            survey = int(num) if level == "1" else survey
            parents[int(num)] = survey
        for num in sorted(parents):
            if parents[num] != num:
                text = re.sub(r'(<scan num="%d"[^<]*<precursorMz precursorScanNum=")NUM' % num,
                              r"\g<1>%d" % parents[num], text, count=1)
        self.assertNotIn("NUM", text)
        source.write_text(text, encoding="latin-1")
        table = self.dir / "map.tsv"
        copy, line = self.repair(source, "--map", table)
        self.assertIn("renumbered 12 scans from 19, 9 precursor scan references renumbered", line)
        rows = [row.split("\t") for row in table.read_text().splitlines()]
        self.assertEqual(rows[0], ["file", "position", "original_num"])
        self.assertEqual([(int(p), int(n)) for _, p, n in rows[1:]],
                         [(p, p + 18) for p in range(1, 13)])
        fixed = copy.read_text(encoding="latin-1")
        for position in range(1, 13):
            self.assertIn(f'<scan num="{position}" ', fixed)
            self.assertIn(f"<!--original scan number {position + 18}-->", fixed)
        references = re.findall(r'<scan num="(\d+)"[^<]*<!--[^>]*>\s*<precursorMz '
                                r'precursorScanNum="(\d+)"', fixed)
        self.assertEqual(len(references), 9)
        for num, reference in references:
            self.assertEqual(int(reference), parents[int(num) + 18] - 18)

    def test_peaks_that_do_not_inflate_are_copied_and_named(self):
        source = edit(self.faults["mzxml3"][0], self.dir / "broken3.mzXML",
                      (r'(<scan num="3" (?:.|\n)*?compressedLen="\d+">)[^<]*', r"\g<1>AAAAAAAA", 1))
        target = self.dir / "broken3.fixed.mzXML"
        # One session reads the copy back, or several share its spectra.
        for jobs in ("1", "8"):
            with self.subTest(jobs=jobs):
                done = host("repair", "-j", jobs, source, "-o", target)
                self.assertEqual(done.returncode, 1)
                self.assertIn("11 peak lists decompressed", done.stdout)
                self.assertIn("peaks that cannot be decoded copied as they were (scan 3)",
                              done.stdout)
                self.assertIn("1 of 12 spectra cannot be read (scan 3)", done.stdout)
                self.assertIn('compressionType="zlib" compressedLen=',
                              target.read_text(encoding="latin-1"))

    def test_what_cannot_be_repaired_is_refused_and_nothing_is_written(self):
        text = self.clean.read_text(encoding="latin-1")
        old = self.dir / "old.mzXML"
        old.write_text('<?xml version="1.0"?>\n<msRun scanCount="1">\n'
                       + text[text.index("    <scan "):text.index("</scan>") + 7]
                       + "\n</msRun>\n", encoding="latin-1")
        cases = {
            "not XML": (b"scan\tmz\tintensity\n1\t100.5\t20\n", "is not XML"),
            "mzXML 1.x": (old.read_bytes(), "is mzXML 1.x (its root element is msRun)"),
            "contentType": (edit(self.faults["mzxml3"][0], self.dir / "mz.mzXML",
                                 (r'contentType="m/z-int"', 'contentType="m/z ruler"', 12))
                            .read_bytes(), 'holds peaks of contentType "m/z ruler" (scan 1)'),
            "cut short": (self.clean.read_bytes()[:3000], "(it was cut short)"),
            "not mzXML": (b'<?xml version="1.0"?>\n<mzML/>\n',
                          "is not an mzXML file: its root element is mzML"),
        }
        for name, (content, reason) in cases.items():
            with self.subTest(name):
                source = self.dir / "refused.mzXML"
                source.write_bytes(content)
                target = self.dir / "target.mzXML"
                target.write_bytes(b"an earlier file")
                done = host("repair", source, "-o", target)
                self.assertEqual(done.returncode, 1)
                self.assertIn(f"{source}: cannot be repaired: it ", done.stderr)
                self.assertIn(reason, done.stderr)
                self.assertEqual(target.read_bytes(), b"an earlier file")
                self.assertEqual([p for p in self.dir.iterdir() if p.name.endswith(".part")], [])

    def test_output_options(self):
        source = self.faults["count"][0]
        done = host("repair", source, "-o", source)
        self.assertEqual(done.returncode, 1)
        self.assertIn("the copy would replace the file itself", done.stderr)
        self.assertEqual(host("repair", source).returncode, 2)
        self.assertEqual(host("repair", source, "-o", "x", "--suffix", "y").returncode, 2)
        folder = self.dir / "out"
        folder.mkdir()
        done = host("repair", source, self.faults["from19"][0], "-o", folder)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(sorted(p.name for p in folder.iterdir()), ["count.mzXML", "from19.mzXML"])
        self.assertIn("2 of 2 files repaired, 0 not", done.stderr)
        for _ in range(2):  # the second time over the first copy
            done = host("repair", source, "--suffix", ".ok")
            self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(host("check", self.dir / "count.ok.mzXML").returncode, 0)


def spectra_by_msconvert(path, work):
    """m/z and intensity arrays of every spectrum msconvert reads, or None."""
    work.mkdir(exist_ok=True)
    done = run(MSCONVERT, path, "--mzML", "--64", "-o", work, "--outfile", "out.mzML")
    if done.returncode != 0 or not (work / "out.mzML").is_file():
        return None
    spectra = []
    for spectrum in ET.parse(work / "out.mzML").getroot().iter(MZML + "spectrum"):
        arrays = {}
        for array in spectrum.iter(MZML + "binaryDataArray"):
            names = {p.get("accession") for p in array.iter(MZML + "cvParam")}
            arrays["mz" if "MS:1000514" in names else "intensity"] = tuple(decode_array(array)[0])
        spectra.append(arrays)
    return spectra


class Corpus(unittest.TestCase):
    # The real files that `check` refuses or cannot walk, with the reason.
    REFUSED = ["pwiz__tiny.pwiz", "pwiz-examples__tiny.pwiz", "openms__MzXMLFile_1",
               "openms-pyopenms__test2", "pyteomics__test", "mzxmljl__test96",
               "openms__MzXMLFile_2_minimal", "openms__MzXMLFile_3_64bit",
               "openms-pyopenms__test1", "maldiquantforeign__tiny1.mzXML3.0", "mzxmljl__test64"]

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.dir = Path(cls.tmp.name)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def setUp(self):
        if not (CORPUS / "SOURCES.md").is_file():
            self.skipTest(f"no mzXML corpus at {CORPUS} (set ORVO_CORPUS): corpus checks not run")

    def repaired(self, path):
        copy = self.dir / path.name
        if not copy.exists():
            done = host("repair", path, "-o", copy)
            self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
            self.assertIn("every spectrum reads", done.stdout)
        return copy

    def test_every_refused_file_checks_ok_after_repair(self):
        for name in self.REFUSED:
            path = CORPUS / (name + ".mzXML")
            with self.subTest(name):
                before = hashlib.sha1(path.read_bytes()).hexdigest()
                self.assertEqual(host("check", path).returncode, 1)
                copy = self.repaired(path)
                checked = host("check", copy)
                self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
                self.assertIn("verdict: OK", checked.stdout)
                self.assertEqual(hashlib.sha1(path.read_bytes()).hexdigest(), before)
                again = self.dir / ("again-" + path.name)
                self.assertEqual(host("repair", copy, "-o", again).returncode, 0)
                self.assertEqual(again.read_bytes(), copy.read_bytes())

    def test_msconvert_reads_original_and_copy_alike(self):
        if not MSCONVERT:
            self.skipTest("no msconvert (Debian's libpwiz-tools): comparison not run")
        compared = 0
        for name in self.REFUSED:
            path = CORPUS / (name + ".mzXML")
            with self.subTest(name):
                original = spectra_by_msconvert(path, self.dir / (name + ".pwiz-in"))
                if original is None:
                    continue  # msconvert cannot read it either: nothing to compare
                copy = spectra_by_msconvert(self.repaired(path), self.dir / (name + ".pwiz-out"))
                self.assertIsNotNone(copy, "msconvert reads the original but not the copy")
                self.assertEqual(copy, original)
                compared += 1
        self.assertGreater(compared, 0)


if __name__ == "__main__":
    unittest.main()
