"""orvo-host run as a person runs it. What a file holds is read from the
file's own text (scan tags, msLevel, peaksCount), never from orvo-host, so a
wrong reader cannot vouch for itself."""
import base64
import json
import os
import re
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
import zlib
from pathlib import Path

HOST = os.environ.get("ORVO_HOST", "")
MKMZXML = os.environ.get("ORVO_MKMZXML", "")
# What runs programs built for another system (Wine for the Windows build).
RUNNER = shlex.split(os.environ.get("ORVO_RUNNER", ""))
SAMPLE = os.environ.get("ORVO_SAMPLE", "")
CORPUS = Path(os.environ.get("ORVO_CORPUS", "/nonexistent-corpus"))
MZML = "{http://psi.hupo.org/ms/mzml}"
MESSAGES = Path(__file__).resolve().parents[3] / "src" / "engine" / "inc" / "ds" / "messages.h"

BAR = re.compile(r"\[[# ]+\]\s*\d+%")
FALLBACK = "not found in the catalog"
ISO_UTC = r"^\d{4}(-\d\d){2}T\d\d(:\d\d){2}Z$"
HEADER_COLUMNS = ["label", "parent_label", "ms_level", "polarity", "rt_seconds",
                  "precursor_mz", "charge", "tic", "position"]


def corpus_outcomes():
    """File name -> (open_state of a refused file, position of the header that stops
    the walk), from the last column of the Summary table of SOURCES.md: None where
    it names none; "as above" repeats the row before."""
    outcomes, text = {}, None
    for row in (CORPUS / "SOURCES.md").read_text(encoding="utf-8").splitlines():
        cells = [cell.strip() for cell in row.strip("| ").split("|")]
        if row.startswith("| ") and cells[0].endswith(".mzXML"):
            text = text if cells[-1] == "as above" else cells[-1]
            found = [re.search(words + r" (\d+)", text)
                     for words in ("open_state", "walk fails at position")]
            if not (any(found) or "walk OK" in text):
                raise ValueError(f"SOURCES.md: no outcome read for {cells[0]}: {text}")
            outcomes[cells[0]] = tuple(f and int(f[1]) for f in found)
    return outcomes


def status_code(name):
    """The status code of the error `name` in the plug-in's message table, as written."""
    return re.search(rf'MessageDef {name}\{{\s*"{name}", 0x[0-9A-F]+, (0x[0-9A-F]+)',
                     MESSAGES.read_text(encoding="utf-8"))[1]


def setUpModule():
    # A suite that skips itself for want of a path would pass in ctest unseen.
    for name, path in (("ORVO_HOST", HOST), ("ORVO_MKMZXML", MKMZXML)):
        if not os.access(path, os.X_OK):
            raise RuntimeError(f"{name} must name the built program, not {path!r}")
    if not os.path.isfile(SAMPLE):
        raise RuntimeError(f"ORVO_SAMPLE must name examples/sample.mzXML, not {SAMPLE!r}")


def run(*command):
    # Bytes first: text mode would turn the bar's "\r" into "\n" and hide it.
    done = subprocess.run(list(map(str, command)), capture_output=True,
                          stdin=subprocess.DEVNULL, timeout=120)
    done.stdout, done.stderr = (b.decode("utf-8", "replace") for b in (done.stdout, done.stderr))
    if RUNNER:
        # Windows programs end their text lines with CR LF; a lone CR stays.
        done.stdout, done.stderr = (t.replace("\r\n", "\n") for t in (done.stdout, done.stderr))
    return done


def host(*args):
    return run(*RUNNER, HOST, *args)


def generate(path, *args):
    """A file written by the generator, with these options."""
    subprocess.run([*RUNNER, MKMZXML, "-o", str(path), *args], check=True,
                   capture_output=True, stdin=subprocess.DEVNULL)
    return path


def peak_memory_kib(*command):
    """The peak resident memory of one run of `command`, in KiB, read by a
    parent process of its own so that nothing else is counted."""
    probe = ("import resource, subprocess, sys\n"
             "subprocess.run(sys.argv[1:], check=True, stdout=subprocess.DEVNULL)\n"
             "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n")
    done = subprocess.run([sys.executable, "-c", probe, *map(str, command)],
                          capture_output=True, text=True, check=True)
    return int(done.stdout)


def decode_array(array):
    """The values of an mzML binaryDataArray written without numpress, and whether
    they are 64-bit."""
    names = {p.get("accession") for p in array.iter(MZML + "cvParam")}
    raw = base64.b64decode(array.find(MZML + "binary").text or "")
    if "MS:1000574" in names:
        raw = zlib.decompress(raw)
    wide = "MS:1000523" in names
    count = len(raw) // (8 if wide else 4)
    return list(struct.unpack(f"<{count}{'d' if wide else 'f'}", raw)), wide


def as_float32(value):
    """The value as a 32-bit float holds it."""
    return struct.unpack("<f", struct.pack("<f", value))[0]


def ok(test, *args):
    done = host(*args)
    test.assertEqual(done.returncode, 0, f"orvo-host {' '.join(map(str, args))}: {done.stderr}")
    return done.stdout


def json_lines(text):
    return [json.loads(line) for line in text.splitlines() if line.strip()]


def tsv_rows(text):
    lines = text.splitlines()
    head = lines[0].split("\t")
    return [dict(zip(head, line.split("\t"))) for line in lines[1:]]


def file_scans(path):
    """(msLevel, peaksCount) of every scan start tag, read from the file's text."""
    text = Path(path).read_text(encoding="latin-1")
    return [(int(re.search(r'msLevel="(\d+)"', tag).group(1)),
             int(re.search(r'peaksCount="(\d+)"', tag).group(1)))
            for tag in re.findall(r"<scan\b[^>]*>", text)]


def marks(svg_path, name):
    return sum(name in e.get("class", "").split() for e in ET.parse(svg_path).getroot().iter())


def parse_mgf(text):
    blocks = []
    for body in re.findall(r"^BEGIN IONS\n(.*?)^END IONS$", text, re.M | re.S):
        lines = body.splitlines()
        block = dict(line.split("=", 1) for line in lines if "=" in line)
        block["peaks"] = [tuple(map(float, line.split())) for line in lines if "=" not in line]
        blocks.append(block)
    return blocks


class OrvoHost(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        tmp = Path(cls.tmp.name)

        def make(name, *args):
            return generate(tmp / name, *args)

        wide = make("wide64.mzXML", "--scans", "12", "--ms1-every", "3", "--ms1-peaks", "25",
                    "--ms2-peaks", "7", "--precision", "64", "--no-index", "--centroided", "0",
                    "--seed", "7")
        narrow = make("narrow32.mzXML", "--scans", "9", "--ms1-every", "4", "--ms1-peaks",
                      "30", "--ms2-peaks", "5", "--no-sha1", "--seed", "3")
        # The same run with its centroiding unstated: the reader needs the
        # person's word, and the edit leaves the file's <sha1> stale.
        text = wide.read_text(encoding="latin-1")
        assert text.count('<dataProcessing centroided="0">') == 1
        unstated = tmp / "unstated.mzXML"
        unstated.write_text(text.replace('<dataProcessing centroided="0">', "<dataProcessing>"),
                            encoding="latin-1")
        cls.text_file = tmp / "notes.txt"
        cls.text_file.write_text("peak list follows\n100 200\n")
        # The narrow run under the schema 3.2 names (same lengths: the index holds).
        cls.schema32 = tmp / "schema32.mzXML"
        narrow_text = narrow.read_text(encoding="latin-1")
        assert narrow_text.count("_2.1") == 4, "the schema names moved"
        cls.schema32.write_text(narrow_text.replace("_2.1", "_3.2"), encoding="latin-1")
        # name -> (file, global options, centroided, sha1 state)
        cls.fixtures = {
            "sample": (Path(SAMPLE), [], True, "matches"),
            "wide64": (wide, [], False, "matches"),
            "narrow32": (narrow, [], True, "none in the file"),
            "unstated": (unstated, ["--centroided", "yes"], True, "stale"),
        }

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_usage_errors_point_to_the_help_that_helps(self):
        for args, help_line in ((["scans", "--ms-level", "0", SAMPLE], "orvo-host scans --help"),
                                (["-q", "spectrum", SAMPLE, "abc"], "orvo-host spectrum --help"),
                                (["bogus", SAMPLE], "orvo-host --help"), ([], "orvo-host --help")):
            with self.subTest(args=args):
                done = host(*args)
                self.assertEqual(done.returncode, 2)
                self.assertTrue(done.stderr.endswith(f"(see {help_line})\n"), done.stderr)

    def test_usage_errors_say_what_was_wrong_in_words(self):
        cases = {
            ("scans", SAMPLE, "--ms-lvl", "2"): "unknown option --ms-lvl (did you mean --ms-level?)",
            ("scans", SAMPLE, "--fromat=tsv"): "unknown option --fromat (did you mean --format?)",
            ("dump", SAMPLE, "--centroid", "no"): "(did you mean --centroided?)",
            ("--ms-lvl", "2", "scans", SAMPLE): "unknown option --ms-lvl (did you mean --ms",
            ("scans", SAMPLE, "--stats"): "scans takes no --stats (info does)",
            ("check", SAMPLE, "--zzz"): "unknown option --zzz\n",
            ("spectrum", SAMPLE, "abc"): "'abc' is not a scan label: a label is a whole number",
            ("plot", SAMPLE, "-3", "-o", "x.svg"): "'-3' is not a scan label",
        }
        for args, says in cases.items():
            with self.subTest(args=args):
                done = host(*args)
                self.assertEqual((done.returncode, done.stdout), (2, ""), done.stderr)
                self.assertIn(says, done.stderr)
                self.assertNotRegex(done.stderr, "not expected|Could not convert")
        # A negative number is a value, never taken for an option.
        self.assertEqual(host("scans", SAMPLE, "--rt", "-5:1").returncode, 0)

    def test_man_page_has_exit_status_environment_files_and_examples(self):
        page = Path(self.tmp.name) / "orvo-host.1"
        self.assertEqual(host("--write-man-page", page).returncode, 0)
        text = page.read_text(encoding="utf-8")
        sections = re.findall(r"(?m)^\.SH (.+)$", text)
        for name in ("EXIT STATUS", "ENVIRONMENT", "FILES", "EXAMPLES"):
            self.assertIn(name, sections)
        environment = text.split(".SH ENVIRONMENT")[1].split(".SH ")[0].replace("\\-", "-")
        # Every variable the sources name to getenv is there, with those read
        # through the C library: the temporary folder, the locale, the width.
        root = Path(__file__).resolve().parents[3]
        read = {"TMPDIR", "COLUMNS", "LC_ALL", "LC_MESSAGES", "LC_CTYPE", "LANG"}
        for folder in ("src", "common", "python", "tools"):
            for source in (root / folder).rglob("*.cpp"):
                read |= set(re.findall(r'getenv\("(\w+)"\)',
                                       source.read_text(encoding="utf-8", errors="replace")))
        self.assertGreaterEqual(read, {"ORVO_PLUGIN", "ORVO_BASE64"})
        for name in read:
            self.assertRegex(environment, rf"(?m)^\\fB(.*, )?{name}(, .*)?\\fR$", name)
        # Each example runs as written on the example file.
        examples = text.split(".SH EXAMPLES")[1].split(".SH ")[0].replace("\\-", "-")
        for line in re.findall(r"(?m)^\\fBorvo-host (info --stats|tic|spectrum) run\.mzXML(.*)\\fR$",
                               examples):
            with self.subTest(example=line):
                out = Path(self.tmp.name) / "tic.svg"
                args = [SAMPLE if a == "run.mzXML" else out if a == "tic.svg" else a
                        for a in (line[0] + " run.mzXML" + line[1]).split()]
                self.assertEqual(host(*args).returncode, 0)

    def test_quiet_on_success_plural_as_counted(self):
        unstated = self.fixtures["unstated"][0]
        files = [f for f, *_ in self.fixtures.values()]
        for args, said in ((["scans", unstated], "does not state whether its spectra are centroided"),
                           (["info", *files], "4 of 4 files read, 0 failed"),
                           (["check", *files], "4 of 4 files read, 0 failed")):
            with self.subTest(args[0]):
                self.assertIn(said, host(*args).stderr)
                done = host("-q", *args)
                self.assertEqual((done.returncode, done.stderr), (0, ""))
        # A failure is still named, and so is the count it changes.
        done = host("-q", "info", unstated, self.text_file)
        self.assertEqual(done.returncode, 1)
        self.assertIn("1 of 2 files read, 1 failed", done.stderr)
        one = Path(self.tmp.name) / "one.mzXML"
        generate(one, "--scans", "1", "--ms1-peaks", "1")
        self.assertIn("  1 scan listed (one MS1 scan, centroided), 1 spectrum read with 1 peak\n",
                      ok(self, "check", one))
        self.assertIn("scan 1: centroided, 1 peak\n",
                      ok(self, "--format", "table", "spectrum", one, "1"))

    def test_info_reports_the_file(self):
        for name, (path, opts, centroided, _) in self.fixtures.items():
            with self.subTest(fixture=name):
                scans = file_scans(path)
                # TSV: one row a file, its fields as columns.
                [fields] = tsv_rows(ok(self, *opts, "info", path))
                self.assertEqual(fields["scan_count"], str(len(scans)))
                self.assertEqual(fields["centroided"], "true" if centroided else "false")
                self.assertEqual(fields["scan_mix"], "MS1 and MS2 scans")
                self.assertRegex(fields["completion_time"], ISO_UTC)
                # JSON is typed: numbers, truth values, one object a file.
                objects = json_lines(ok(self, *opts, "--format", "json", "info", path, path))
                self.assertEqual(len(objects), 2)
                self.assertEqual(objects[0]["scan_count"], len(scans))
                self.assertIs(objects[0]["centroided"], centroided)
                self.assertIs(objects[0]["centroiding_stated"], True)
                self.assertIsNone(objects[0]["error"])

    def test_scans_json_agrees_with_tsv_and_the_file(self):
        for name, (path, opts, _, _) in self.fixtures.items():
            with self.subTest(fixture=name):
                tsv = tsv_rows(ok(self, *opts, "scans", path))
                rows = json_lines(ok(self, *opts, "--format", "json", "scans", path))
                # Global options may also follow the subcommand.
                after = ok(self, "scans", path, *opts, "--format", "json")
                self.assertEqual(json_lines(after), rows)
                levels = [level for level, _ in file_scans(path)]
                self.assertEqual([r["ms_level"] for r in rows], levels)
                self.assertEqual([r["label"] for r in rows], list(range(1, len(levels) + 1)))
                ms1 = {r["label"] for r in rows if r["ms_level"] == 1}
                for text_row, row in zip(tsv, rows, strict=True):
                    for column, value in row.items():
                        cell = text_row[column]
                        as_str = isinstance(value, str)
                        self.assertEqual(None if cell == "" else cell if as_str else float(cell),
                                         value, column)
                    self.assertAlmostEqual(row["rt_minutes"] * 60, row["rt_seconds"], places=9)
                    if row["parent_label"] is not None:
                        self.assertIn(row["parent_label"], ms1)
                        self.assertLess(row["parent_label"], row["label"])
                only2 = ok(self, *opts, "--format", "json", "scans", path, "--ms-level", "2")
                self.assertEqual(json_lines(only2), [r for r in rows if r["ms_level"] == 2])

    def test_sample_rows_are_those_of_every_build(self):
        # The rows the Linux build printed when the example was made; every
        # build, the Windows one under Wine too, prints these bytes.
        expected = (Path(__file__).parent / "sample.scans.tsv").read_text(encoding="utf-8")
        self.assertEqual(ok(self, "--format", "tsv", "scans", SAMPLE), expected)

    def test_dump_agrees_with_scans_spectrum_and_the_file(self):
        for name, (path, opts, centroided, _) in self.fixtures.items():
            with self.subTest(fixture=name):
                dump = json_lines(ok(self, *opts, "dump", path))
                rows = json_lines(ok(self, *opts, "--format", "json", "scans", path))
                self.assertEqual([{k: d[k] for k in HEADER_COLUMNS} for d in dump],
                                 [{k: r[k] for k in HEADER_COLUMNS} for r in rows])
                self.assertEqual([d["peak_count"] for d in dump], [n for _, n in file_scans(path)])
                kind = "centroided" if centroided else "profile"
                for scan in dump:
                    n = scan["peak_count"]
                    self.assertEqual((scan["kind"], len(scan["mz"]), len(scan["intensity"])),
                                     (kind, n, n))
                    self.assertEqual(scan["mz"], sorted(scan["mz"]))
                picked = [dump[0], dump[-1], next(d for d in dump if d["ms_level"] == 2)]
                labels = [d["label"] for d in picked]
                peaks = tsv_rows(ok(self, *opts, "--format", "tsv", "spectrum", path, *labels))
                self.assertEqual(len(peaks), sum(d["peak_count"] for d in picked))
                for scan in picked:
                    mine = [p for p in peaks if p["label"] == str(scan["label"])]
                    self.assertEqual([float(p["mz"]) for p in mine], scan["mz"])
                    self.assertEqual([float(p["intensity"]) for p in mine], scan["intensity"])
                as_json = json_lines(ok(self, *opts, "--format", "json", "spectrum", path, *labels))
                self.assertEqual(as_json, picked)
                table = ok(self, *opts, "--format", "table", "spectrum", path, *labels)
                self.assertEqual(re.findall(r"^scan (\d+): (\w+), (\d+) peaks$", table, re.M),
                                 [(str(d["label"]), kind, str(d["peak_count"])) for d in picked])
                self.assertEqual(json_lines(ok(self, *opts, "dump", path, "--ms-level", "1")),
                                 [d for d in dump if d["ms_level"] == 1])

    def test_mgf_holds_the_ms2_scans_of_dump(self):
        for name, (path, opts, _, _) in self.fixtures.items():
            with self.subTest(fixture=name):
                ms2 = [d for d in json_lines(ok(self, *opts, "dump", path)) if d["ms_level"] == 2]
                text = ok(self, *opts, "mgf", path)
                blocks = parse_mgf(text)
                self.assertEqual(len(blocks), len(ms2))
                self.assertEqual(text.count("BEGIN IONS"), len(ms2))
                for block, scan in zip(blocks, ms2):
                    label, charge = scan["label"], scan["charge"]
                    title = f"{path.stem}.{label}.{label}.{'' if charge is None else abs(charge)}"
                    self.assertEqual(block["TITLE"], title)
                    self.assertEqual(block["SCANS"], str(label))
                    self.assertEqual(float(block["PEPMASS"].split()[0]), scan["precursor_mz"])
                    self.assertEqual(float(block["RTINSECONDS"]), scan["rt_seconds"])
                    sign = None if charge is None else f"{abs(charge)}{'+-'[charge < 0]}"
                    self.assertEqual(block.get("CHARGE"), sign)
                    self.assertEqual(block["peaks"], list(zip(scan["mz"], scan["intensity"])))
                out = Path(self.tmp.name) / "out.mgf"
                self.assertEqual(ok(self, *opts, "mgf", path, "-o", out), "")
                self.assertEqual(out.read_text(), text)

    def test_svg_plots_hold_one_mark_per_peak_and_ms1_scan(self):
        xmllint = shutil.which("xmllint")
        svg = Path(self.tmp.name) / "plot.svg"
        for name, (path, opts, centroided, _) in self.fixtures.items():
            with self.subTest(fixture=name):
                dump = json_lines(ok(self, *opts, "dump", path))
                # Sticks a peak, or one line through a profile's points.
                plots = [(["plot", path, d["label"]], "peak", d["peak_count"]) if centroided
                         else (["plot", path, d["label"]], "profile", int(d["peak_count"] > 0))
                         for d in (dump[0], dump[1], dump[-1])]
                plots.append((["tic", path], "point", sum(d["ms_level"] == 1 for d in dump)))
                for args, mark, count in plots:
                    ok(self, *opts, *args, "-o", svg)
                    self.assertEqual(marks(svg, mark), count, args)
                    if xmllint:
                        self.assertEqual(run(xmllint, "--noout", svg).returncode, 0, args)
        if not xmllint:
            self.skipTest("xmllint is not installed: SVG files were only parsed by ElementTree")

    def test_check_verdicts_and_parallel_output(self):
        for name, (path, opts, _, sha1) in self.fixtures.items():
            with self.subTest(fixture=name):
                text = ok(self, *opts, "check", path)
                self.assertTrue(text.startswith(f"== {path}\n"))
                self.assertIn(f"  sha1: {sha1}", text)
                self.assertIn("  verdict: OK", text)
                self.assertIn(f"{len(file_scans(path))} scans listed", text)
        # Left to itself, check reads a file of unstated centroiding as profile.
        text = ok(self, "check", self.fixtures["unstated"][0])
        self.assertIn("note: the file does not state whether", text)
        self.assertIn("profile)", text)
        files = [p for p, opts, *_ in self.fixtures.values() if not opts] + ["/nonexistent.mzXML"]
        one, four = host("-j", "1", "check", *files), host("-j", "4", "check", *files)
        self.assertEqual((one.returncode, four.returncode), (1, 1))
        self.assertEqual(four.stdout, one.stdout)
        self.assertEqual(re.findall(r"^== (.*)$", one.stdout, re.M), list(map(str, files)))
        for done in (one, four):
            self.assertTrue(done.stderr.endswith(
                f"orvo-host: {len(files) - 1} of {len(files)} files read, 1 failed\n"))

    def test_failures_give_status_1_with_a_catalog_sentence_usage_errors_2(self):
        sample = Path(SAMPLE)
        no_svg = Path(self.tmp.name) / "no.svg"
        cases = {  # name: status, arguments
            "missing file": (1, ["scans", "/nonexistent/run.mzXML"]),
            "directory": (1, ["scans", self.tmp.name]),
            "text file": (1, ["scans", self.text_file]),
            "schema 3.2": (1, ["--strict", "scans", self.schema32]),
            "bad label": (1, ["spectrum", sample, "99999"]),
            "plot of a bad label": (1, ["plot", sample, "99999", "-o", no_svg]),
            "centroiding given twice": (1, ["--centroided", "no", "scans", sample]),
            # (TSV and JSON give its row all the same, with the error.)
            "info of a missing file": (1, ["--format", "table", "info", "/nonexistent/run.mzXML"]),
            "format of mgf": (2, ["--format", "json", "mgf", sample]),
            "format after dump": (2, ["dump", sample, "--format", "tsv"]),
            "tsv of check": (2, ["check", sample, "--format", "tsv"]),
            "quiet and verbose": (2, ["-q", "scans", sample, "-v"]),
            "jobs of scans": (2, ["-j", "2", "scans", sample]),
            "unknown option": (2, ["info", "--zap", sample]),
            "unknown format": (2, ["--format", "xml", "info", sample]),
            "missing FILE": (2, ["info"]),
            "missing LABEL": (2, ["spectrum", sample]),
            "unknown subcommand": (2, ["bogus", sample]),
            "no subcommand": (2, []),
            "MS level 0": (2, ["scans", "--ms-level", "0", sample]),
            "zero jobs": (2, ["-j", "0", "check", sample]),
        }
        if (CORPUS / "mzxmljl__test64.mzXML").is_file():
            cases["corpus schema 3.2"] = (1, ["--strict", "scans",
                                               CORPUS / "mzxmljl__test64.mzXML"])
        for name, (status, args) in cases.items():
            with self.subTest(name):
                done = host(*args)
                self.assertEqual((done.returncode, done.stdout), (status, ""), done.stderr)
                if status == 2:
                    self.assertIn("usage: orvo-host", done.stderr)
                    continue
                self.assertRegex(done.stderr, r"(?m)^orvo-host: .*\(status 0x8004[0-9A-F]{4}\)$")
                self.assertNotIn(FALLBACK, done.stderr)
        self.assertFalse(no_svg.exists())
        # One bad label does not hide the peaks of the others.
        done = host("--format", "json", "spectrum", sample, "2", "99999", "3")
        self.assertEqual(done.returncode, 1)
        self.assertEqual([s["label"] for s in json_lines(done.stdout)], [2, 3])

    def test_progress_bar_only_on_a_terminal_and_never_on_stdout(self):
        # A Unix terminal is no console to a program that Wine runs.
        script = None if RUNNER else shutil.which("script")
        path = self.fixtures["wide64"][0]
        out = Path(self.tmp.name) / "stdout.txt"
        commands = {"scans": ["scans", path], "dump": ["dump", path], "mgf": ["mgf", path],
                    "tic": ["tic", path, "-o", Path(self.tmp.name) / "tic.svg"],
                    "check": ["check", path]}
        for name, args in commands.items():
            with self.subTest(name, stderr="pipe"):
                piped = host(*args)
                self.assertEqual(piped.returncode, 0, piped.stderr)
                self.assertNotIn("\r", piped.stderr + piped.stdout)
                self.assertNotRegex(piped.stderr + piped.stdout, BAR)
            if not script:
                continue
            with self.subTest(name, stderr="terminal"):
                line = " ".join(shlex.quote(str(a)) for a in [*RUNNER, HOST, *args])
                pty = run(script, "-qec", f"{line} >{shlex.quote(str(out))}", "/dev/null")
                self.assertEqual(pty.returncode, 0, pty.stdout)
                self.assertIn("\r", pty.stdout)
                self.assertRegex(pty.stdout, BAR)
                self.assertNotIn(b"\r", out.read_bytes())
                self.assertNotRegex(out.read_text(), BAR)
        if RUNNER:
            self.skipTest("run through a runner, the program sees no console: terminal side not run")
        if not script:
            self.skipTest("script (util-linux) is not installed: the terminal side was not run")


    def test_progress_line_fits_a_narrow_terminal_and_is_cleared(self):
        if RUNNER:
            self.skipTest("run through a runner, the program sees no console")
        import fcntl
        import pty
        import termios
        long_named = Path(self.tmp.name) / ("2026-01-02_run_" + "x" * 90 + "_end.mzXML")
        shutil.copyfile(self.fixtures["wide64"][0], long_named)
        for columns in (60, 80):
            with self.subTest(columns=columns):
                master, slave = pty.openpty()
                fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
                # COLUMNS says otherwise: the terminal's own width wins.
                child = subprocess.Popen([HOST, "check", long_named], stdin=subprocess.DEVNULL,
                                         stdout=subprocess.DEVNULL, stderr=slave,
                                         env={**os.environ, "COLUMNS": "200"})
                os.close(slave)
                written = b""
                while True:
                    try:
                        chunk = os.read(master, 65536)
                    except OSError:  # the terminal's other side is closed
                        break
                    if not chunk:
                        break
                    written += chunk
                os.close(master)
                self.assertEqual(child.wait(timeout=120), 0)
                text = written.decode("utf-8")
                bars = [p.replace("\x1b[K", "") for p in text.split("\r") if BAR.search(p)]
                self.assertTrue(bars, text)
                for bar in bars:
                    self.assertLess(len(bar), columns, bar)
                    self.assertRegex(bar, r"2026-01-02.*\u2026.*_end\.mzXML$")
                # Cleared at the end: nothing of the bar is left on the line.
                self.assertTrue(text.endswith("\r\x1b[K"), repr(text[-80:]))


class Corpus(unittest.TestCase):
    def setUp(self):
        if not (CORPUS / "SOURCES.md").is_file():
            self.skipTest(f"no mzXML corpus at {CORPUS} (set ORVO_CORPUS): corpus checks not run")
        self.expected = corpus_outcomes()
        self.files = [CORPUS / n for n in self.expected if (CORPUS / n).is_file()]

    def test_check_gives_the_expected_outcome(self):
        for path in self.files:
            with self.subTest(path.name):
                refused, fails_at = self.expected[path.name]
                listed = refused is None and fails_at is None
                done = host("check", path)
                self.assertEqual(done.returncode, 0 if listed else 1)
                self.assertNotIn(FALLBACK, done.stdout + done.stderr)
                verdict = re.search(r"^  verdict: (.*)$", done.stdout, re.M).group(1)
                self.assertEqual(verdict.startswith("OK, "), listed, verdict)
                self.assertEqual(re.findall(r"header of the scan at position (\d+) ", verdict),
                                 [str(fails_at)] * bool(fails_at), verdict)
                if not listed:
                    self.assertRegex(verdict, r"^FAILED: .*\(status 0x8004[0-9A-F]{4}\)$")

    def test_parallel_check_prints_what_a_single_job_prints(self):
        one, four = host("-j", "1", "check", *self.files), host("-j", "4", "check", *self.files)
        self.assertEqual((one.returncode, four.returncode), (1, 1))
        self.assertEqual(four.stdout, one.stdout)
        good = sum(self.expected[p.name] == (None, None) for p in self.files)
        self.assertIn(f"{good} of {len(self.files)} files read", one.stderr)

    def test_unusual_header_values(self):
        cases = [  # file, what SOURCES.md says the reader makes of it
            ("openms__InspectOutfile_test_1.mzXML", "rt_seconds", {-1.0}),
            ("openms__InspectOutfile_test_2.mzXML", "polarity", {None, "+", "-"}),
            ("openms-pyopenms__test.mzXML", "rt_seconds", {0.0}),
            ("openms-pyopenms__test.mzXML", "peak_count", {0}),
        ]
        for name, key, values in cases:
            with self.subTest(name, key=key):
                if not (CORPUS / name).is_file():
                    self.skipTest(f"{name} is not in the corpus")
                done = host("dump", CORPUS / name)
                self.assertEqual(done.returncode, 0, done.stderr)
                self.assertEqual({scan[key] for scan in json_lines(done.stdout)}, values)


if __name__ == "__main__":
    unittest.main()
