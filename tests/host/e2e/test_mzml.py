"""orvo-host mzml: each file written as indexed mzML 1.1 that the schema
accepts, whose every value reads back to the mzXML's own text (decoded here,
not by orvo-host), whose index offsets and checksum hold, and which
ProteoWizard's msconvert, where installed, reads to the same values as the
source."""
import base64
import hashlib
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET
from pathlib import Path

from test_orvo_host import (CORPUS, HOST, MKMZXML, MZML, RUNNER, SAMPLE, as_float32,
                            corpus_outcomes, decode_array, generate, host, peak_memory_kib)

MZXML = re.compile(r"\{http://sashimi\.sourceforge\.net/schema_revision/mzXML_2\.[01]\}")
MSCONVERT = None if RUNNER else shutil.which("msconvert")
FILEINFO = None if RUNNER else shutil.which("FileInfo")


def openms_file(*parts):
    """A file of Debian's openms-common, or None when the package is absent."""
    for root in sorted(Path("/usr/share").glob("openms*")):
        path = root.joinpath(*parts)
        if path.is_file():
            return path
    return None


SCHEMA = openms_file("SCHEMAS", "mzML_idx_1_10.xsd")
# mzXML's activationMethod and the PSI-MS terms written for it.
DISSOCIATION = {"CID": "MS:1000133", "HCD": "MS:1000422", "ETD": "MS:1000598",
                "ECD": "MS:1000250"}
XMLLINT = shutil.which("xmllint")


def local(tag):
    return MZXML.sub("", tag)


def mzxml_scans(path):
    """Every scan of an mzXML file from its own text: level, polarity,
    seconds, precursor and its charge, and the decoded peaks."""
    scans = []
    for scan in ET.parse(path).getroot().iter():
        if local(scan.tag) != "scan":
            continue
        peaks = next(e for e in scan if local(e.tag) == "peaks")
        raw = base64.b64decode(peaks.text or "")
        wide = peaks.get("precision") == "64"
        count = len(raw) // (8 if wide else 4)
        values = struct.unpack(f">{count}{'d' if wide else 'f'}", raw)
        precursor = next((e for e in scan if local(e.tag) == "precursorMz"), None)
        given = precursor.attrib if precursor is not None else {}
        scans.append({
            "num": int(scan.get("num")),
            "level": int(scan.get("msLevel")),
            "polarity": scan.get("polarity"),
            "rt": float(re.fullmatch(r"PT([0-9.eE+-]+)S", scan.get("retentionTime")).group(1)),
            "tic": float(scan.get("totIonCurrent", "0")),
            "precursor": float(precursor.text) if precursor is not None else None,
            "charge": (int(precursor.get("precursorCharge"))
                       if precursor is not None and precursor.get("precursorCharge") else None),
            # 0 is taken as no intensity, as in MGF.
            "precursor_intensity": (float(given["precursorIntensity"])
                                    if float(given.get("precursorIntensity", "0")) else None),
            "activation": given.get("activationMethod"),
            "collision_energy": (float(scan.get("collisionEnergy"))
                                 if scan.get("collisionEnergy") else None),
            "filter": scan.get("filterLine"),
            "mz": list(values[0::2]),
            "intensity": list(values[1::2]),
            "wide": wide,
        })
    return scans


def edited_scans(text, edits):
    """`text` with the scans named in `edits` changed: {num: {"level": N,
    "scan": attributes added to its start tag, "drop": an attribute text
    taken out, "precursor": its precursorMz element in place of the one it
    has ("" for none)}}. Only files without an index may be edited so."""
    pieces = text.split("<scan ")
    for i, piece in enumerate(pieces):
        found = re.match(r'num="(\d+)"', piece)
        edit = edits.get(int(found.group(1))) if found else None
        if not edit:
            continue
        if "level" in edit:
            piece = re.sub(r'msLevel="\d+"', f'msLevel="{edit["level"]}"', piece, count=1)
        if "scan" in edit:
            piece = piece.replace(" peaksCount=", f' {edit["scan"]} peaksCount=', 1)
        if "drop" in edit:
            piece = piece.replace(" " + edit["drop"], "", 1)
        if "precursor" in edit:
            piece, count = re.subn(r"<precursorMz [^>]*>[^<]*</precursorMz>\s*",
                                   edit["precursor"], piece, count=1)
            assert count == 1, f"scan {found.group(1)} has no precursor to replace"
        pieces[i] = piece
    return "<scan ".join(pieces)


def params(element):
    """accession -> (value, unit) of an element's own cvParams."""
    return {p.get("accession"): (p.get("value"), p.get("unitAccession"))
            for p in element.findall(MZML + "cvParam")}


def mzml_spectra(path):
    """Each spectrum as msconvert's or orvo-host's mzML holds it."""
    spectra = []
    for spectrum in ET.parse(path).getroot().iter(MZML + "spectrum"):
        own = params(spectrum)
        scan = params(spectrum.find(f"{MZML}scanList/{MZML}scan"))
        rt, unit = scan["MS:1000016"]
        seconds = float(rt) * (60 if unit == "UO:0000031" else 1)
        arrays, wide = {}, {}
        for array in spectrum.iter(MZML + "binaryDataArray"):
            kind = "mz" if "MS:1000514" in params(array) else "intensity"
            arrays[kind], wide[kind] = decode_array(array)
        precursor = spectrum.find(f"{MZML}precursorList/{MZML}precursor")
        ion = (precursor.find(f"{MZML}selectedIonList/{MZML}selectedIon")
               if precursor is not None else None)
        ion_params = params(ion) if ion is not None else {}
        activation = (params(precursor.find(MZML + "activation"))
                      if precursor is not None else {})
        spectra.append({
            "id": spectrum.get("id"),
            "index": int(spectrum.get("index")),
            "length": int(spectrum.get("defaultArrayLength")),
            "level": int(own["MS:1000511"][0]),
            "polarity": "+" if "MS:1000130" in own else "-" if "MS:1000129" in own else None,
            "rt": seconds,
            "tic": float(own["MS:1000285"][0]) if "MS:1000285" in own else None,
            "precursor": (float(ion_params["MS:1000744"][0])
                          if "MS:1000744" in ion_params else None),
            "charge": int(ion_params["MS:1000041"][0]) if "MS:1000041" in ion_params else None,
            "precursor_intensity": (float(ion_params["MS:1000042"][0])
                                    if "MS:1000042" in ion_params else None),
            "intensity_unit": ion_params.get("MS:1000042", (None, None))[1],
            "collision_energy": (float(activation["MS:1000045"][0])
                                 if "MS:1000045" in activation else None),
            "energy_unit": activation.get("MS:1000045", (None, None))[1],
            "dissociation": {a for a in activation if a in DISSOCIATION.values()},
            "filter": scan.get("MS:1000512", (None, None))[0],
            "spectrum_ref": precursor.get("spectrumRef") if precursor is not None else None,
            "external": precursor.get("externalSpectrumID") if precursor is not None else None,
            "mz": arrays.get("mz"),
            "intensity": arrays.get("intensity"),
            "wide": wide,
        })
    return spectra



class Mzml(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.dir = Path(cls.tmp.name)

        def make(name, *args):
            return generate(cls.dir / name, *args)

        wide = make("wide64.mzXML", "--scans", "14", "--ms1-every", "3", "--ms1-peaks", "25",
                    "--ms2-peaks", "7", "--precision", "64", "--no-index", "--centroided", "0",
                    "--layout", "converter", "--seed", "4")
        # A negative-mode run: the same bytes with each polarity turned.
        narrow = make("narrow32.mzXML", "--scans", "9", "--ms1-every", "4", "--ms1-peaks", "30",
                      "--ms2-peaks", "5", "--no-sha1", "--seed", "3")
        negative = cls.dir / "negative.mzXML"
        text = narrow.read_text(encoding="latin-1")
        assert text.count('polarity="+"') == 9
        negative.write_text(text.replace('polarity="+"', 'polarity="-"'), encoding="latin-1")
        # MS3 and MS4 scans, activation methods, a filter line, a precursor
        # intensity of 0 and a deep scan without a precursor, as converters
        # write for ion-trap MSn runs.
        plain = make("plain.mzXML", "--scans", "12", "--ms1-every", "6", "--ms1-peaks", "8",
                     "--ms2-peaks", "4", "--no-index", "--no-sha1", "--seed", "5")
        deep = cls.dir / "deep.mzXML"
        deep.write_text(edited_scans(plain.read_text(encoding="latin-1"), {
            3: {"level": 3, "precursor": '<precursorMz precursorIntensity="1500.5" '
                'precursorCharge="2" activationMethod="ETD">401.25</precursorMz>'},
            4: {"level": 4, "precursor": '<precursorMz precursorIntensity="0" '
                'activationMethod="HCD">250.125</precursorMz>'},
            5: {"level": 3, "precursor": '<precursorMz precursorIntensity="77" '
                'precursorCharge="3" activationMethod="ECD">333.5</precursorMz>'},
            6: {"scan": 'filterLine="ITMS + c NSI d Full ms2 592.47@cid35.00 &amp; &quot;x&quot;"'},
            8: {"drop": 'collisionEnergy="35"'},
            9: {"level": 3, "precursor": ""},
        }), encoding="latin-1")
        cls.fixtures = {"sample": Path(SAMPLE), "wide64": wide, "negative": negative,
                        "deep": deep}
        cls.count = 0

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def convert(self, source, *options, verify=True):
        """The mzML orvo-host writes of `source`, checked with --verify."""
        Mzml.count += 1
        out = self.dir / f"out{Mzml.count}.mzML"
        done = host("mzml", source, "-o", out, *(["--verify"] if verify else []), *options)
        self.assertEqual(done.returncode, 0, done.stderr)
        if verify:
            spectra = len(mzxml_scans(source))
            self.assertRegex(done.stderr.splitlines()[-1],
                             rf"verified: {spectra} spectr(a|um), index and checksum$")
        return out

    def assert_valid(self, path):
        # Without the schema the other checks still run; test_schema_at_hand
        # says what was not done.
        if not (SCHEMA and XMLLINT):
            return
        done = subprocess.run([XMLLINT, "--noout", "--schema", str(SCHEMA), str(path)],
                              capture_output=True, text=True)
        self.assertEqual(done.returncode, 0, done.stderr[-2000:])

    def test_schema_at_hand(self):
        if not (SCHEMA and XMLLINT):
            self.skipTest("no mzML_idx_1_10.xsd (Debian's openms-common) or no xmllint: "
                          "outputs are not validated against the schema")
        self.assert_valid(self.convert(self.fixtures["sample"]))

    def assert_index_and_checksum(self, path):
        data = path.read_bytes()
        end = data.index(b"<fileChecksum>") + len(b"<fileChecksum>")
        stated = re.search(rb"<fileChecksum>([0-9a-f]{40})</fileChecksum>", data).group(1)
        self.assertEqual(stated.decode(), hashlib.sha1(data[:end]).hexdigest())
        at = int(re.search(rb"<indexListOffset>(\d+)</indexListOffset>", data).group(1))
        self.assertTrue(data.startswith(b"<indexList ", at))
        offsets = re.findall(rb'<offset idRef="([^"]+)">(\d+)</offset>', data)
        ids = re.findall(rb'<(spectrum|chromatogram) index="\d+" id="([^"]+)"', data)
        self.assertEqual([ref for ref, _ in offsets], [i for _, i in ids])
        for ref, offset in offsets:
            tag = data[int(offset):int(offset) + 200]
            self.assertRegex(tag, rb'^<(spectrum|chromatogram) index="\d+" id="'
                             + re.escape(ref) + b'"')

    def assert_same_as_source(self, source, spectra, mz_wide=False):
        scans = mzxml_scans(source)
        self.assertEqual(len(spectra), len(scans))
        by_num = {s["num"]: i for i, s in enumerate(scans)}
        for i, (scan, spectrum) in enumerate(zip(scans, spectra)):
            with self.subTest(scan=scan["num"]):
                self.assertEqual(spectrum["index"], i)
                self.assertEqual(spectrum["id"], f"scan={scan['num']}")
                self.assertEqual(spectrum["length"], len(scan["mz"]))
                self.assertEqual(spectrum["level"], scan["level"])
                self.assertEqual(spectrum["polarity"], scan["polarity"])
                self.assertEqual(spectrum["rt"], scan["rt"])
                self.assertEqual(spectrum["tic"], scan["tic"] or sum(scan["intensity"]))
                self.assertEqual(spectrum["precursor"], scan["precursor"])
                self.assertEqual(spectrum["charge"], scan["charge"])
                self.assertEqual(spectrum["filter"], scan["filter"])
                if scan["level"] >= 2:
                    self.assert_precursor_as_source(spectrum, scan)
                # The source's precision, or 64 bits for m/z when asked.
                self.assertEqual(spectrum["wide"], {"mz": scan["wide"] or mz_wide,
                                                    "intensity": scan["wide"]})
                self.assertEqual(spectrum["mz"], scan["mz"])
                self.assertEqual(spectrum["intensity"], scan["intensity"])
                if scan["level"] >= 2:
                    # The nearest scan before it of the level above it.
                    parent = max(n for n, s in enumerate(scans[:i])
                                 if s["level"] == scan["level"] - 1)
                    self.assertEqual(spectrum["spectrum_ref"], f"scan={scans[parent]['num']}")
                    self.assertIn(scans[parent]["num"], by_num)

    def assert_precursor_as_source(self, spectrum, scan):
        self.assertEqual(spectrum["precursor_intensity"],
                         scan["precursor_intensity"] if scan["precursor"] else None)
        if spectrum["precursor_intensity"] is not None:
            self.assertEqual(spectrum["intensity_unit"], "MS:1000131")
        self.assertEqual(spectrum["collision_energy"], scan["collision_energy"])
        if spectrum["collision_energy"] is not None:
            self.assertEqual(spectrum["energy_unit"], "UO:0000266")
        method = scan["activation"] or "CID"
        self.assertEqual(spectrum["dissociation"], {DISSOCIATION[method]})

    def test_every_option_writes_valid_mzml_of_the_source_values(self):
        for name, source in self.fixtures.items():
            for options in ([], ["--zlib"], ["--mz-precision", "64"],
                            ["--zlib", "--mz-precision", "64"]):
                with self.subTest(fixture=name, options=options):
                    out = self.convert(source, *options)
                    self.assert_valid(out)
                    self.assert_index_and_checksum(out)
                    self.assert_same_as_source(source, mzml_spectra(out),
                                               mz_wide="--mz-precision" in options)

    def test_numpress_keeps_values_within_its_precision(self):
        source = self.fixtures["sample"]
        scans = mzxml_scans(source)
        for options in (["--numpress", "linear"], ["--numpress", "linear,pic", "--zlib"],
                        ["--numpress", "slof"]):
            with self.subTest(options=options):
                out = self.convert(source, *options)
                self.assert_valid(out)
                self.assert_index_and_checksum(out)
                root = ET.parse(out).getroot()
                terms = {p.get("accession") for p in root.iter(MZML + "cvParam")}
                wanted = {"linear": "MS:1002312", "pic": "MS:1002313", "slof": "MS:1002314"}
                for kind in options[1].split(","):
                    accession = wanted[kind]
                    if "--zlib" in options:
                        accession = {"MS:1002312": "MS:1002746",
                                     "MS:1002313": "MS:1002747"}[accession]
                    self.assertIn(accession, terms)
                if MSCONVERT:
                    # msconvert decodes numpress: its values lie within
                    # numpress's error of the source's.
                    read = self.msconvert(out, f"np{Mzml.count}")
                    self.assertIsNotNone(read)
                    self.assertEqual(len(read), len(scans))
                    for scan, spectrum in zip(scans, read):
                        for got, want in zip(spectrum["mz"], scan["mz"], strict=True):
                            self.assertAlmostEqual(got, want, delta=1e-4 * max(1.0, want) * 1e-2)
                        for got, want in zip(spectrum["intensity"], scan["intensity"],
                                             strict=True):
                            self.assertAlmostEqual(got, want, delta=max(0.51, 2e-3 * want))

    def test_filters_and_external_precursors(self):
        source = self.fixtures["sample"]
        scans = mzxml_scans(source)
        out = self.dir / "ms2.mzML"
        done = host("mzml", source, "-o", out, "--ms-level", "2", "--mz", "300:1500", "--verify")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assert_valid(out)
        spectra = mzml_spectra(out)
        ms2 = [s for s in scans if s["level"] == 2]
        self.assertEqual(len(spectra), len(ms2))
        for scan, spectrum in zip(ms2, spectra):
            kept = [(m, i) for m, i in zip(scan["mz"], scan["intensity"]) if 300 <= m <= 1500]
            self.assertEqual(list(zip(spectrum["mz"], spectrum["intensity"])), kept)
            # The parent was left out: named in the source file, not here.
            self.assertIsNone(spectrum["spectrum_ref"])
            self.assertRegex(spectrum["external"], r"^scan=\d+$")
            # The total ion current is that of the peaks written.
            self.assertAlmostEqual(spectrum["tic"], sum(i for _, i in kept), delta=1e-6 *
                                   max(1.0, spectrum["tic"]))
        # The chromatogram is then one of the MS2 spectra.
        chromatogram = ET.parse(out).getroot().find(f".//{MZML}chromatogram")
        self.assertEqual(int(chromatogram.get("defaultArrayLength")), len(ms2))

    def test_deeper_scans_refer_to_the_level_above(self):
        deep = self.fixtures["deep"]
        spectra = {s["id"]: s for s in mzml_spectra(self.convert(deep))}
        # 3 and 5 were picked from 2, 4 from 3; 9 names its parent alone.
        refs = {i: spectra[f"scan={i}"]["spectrum_ref"] for i in (3, 4, 5, 9)}
        self.assertEqual(refs, {3: "scan=2", 4: "scan=3", 5: "scan=2", 9: "scan=8"})
        self.assertEqual(spectra["scan=4"]["precursor"], 250.125)
        self.assertIsNone(spectra["scan=4"]["charge"])
        self.assertIsNone(spectra["scan=9"]["precursor"])
        self.assertEqual(spectra["scan=6"]["filter"],
                         'ITMS + c NSI d Full ms2 592.47@cid35.00 & "x"')
        # Without the levels above, the parents are named in the source file.
        out = self.dir / "deep-ms3.mzML"
        done = host("mzml", deep, "-o", out, "--ms-level", "3", "--verify")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assert_valid(out)
        external = {s["id"]: s["external"] for s in mzml_spectra(out)}
        self.assertEqual(external, {"scan=3": "scan=2", "scan=5": "scan=2", "scan=9": "scan=8"})

    def test_the_same_bytes_whatever_the_threads(self):
        big = self.dir / "threads.mzXML"
        subprocess.run([*RUNNER, MKMZXML, "-o", str(big), "--size", "2M", "--seed", "8"],
                       check=True, capture_output=True)
        outputs = []
        for jobs in ("1", "2", "4"):
            out = self.dir / f"threads{jobs}.mzML"
            done = host("-j", jobs, "mzml", big, "-o", out, *(["--zlib"] if jobs == "4" else []))
            self.assertEqual(done.returncode, 0, done.stderr)
            outputs.append(out)
        self.assertEqual(outputs[0].read_bytes(), outputs[1].read_bytes())
        self.assert_index_and_checksum(outputs[2])
        self.assert_same_as_source(big, mzml_spectra(outputs[2]))

    def test_output_options_and_failures(self):
        sample = self.fixtures["sample"]
        bad = self.dir / "bad.mzXML"
        bad.write_text("<mzXML>not a run</mzXML>\n")
        cases = [
            (["mzml", sample], 2, "give -o OUT, --suffix .mzML or --out-dir DIR"),
            (["mzml", sample, sample, "-o", self.dir / "x.mzML"], 2, "-o names one output"),
            (["mzml", sample, "--out-dir", self.dir / "none"], 2, "is not a folder"),
            (["mzml", sample, "-o", "-", "--verify"], 2, "needs a file"),
            (["mzml", sample, "--numpress", "pic,slof", "-o", self.dir / "y.mzML"], 2,
             "give one of them"),
            (["mzml", sample, "--mz-precision", "32", "-o", self.dir / "y.mzML"], 2, "64"),
        ]
        for args, status, text in cases:
            with self.subTest(args=args[1:]):
                done = host(*args)
                self.assertEqual(done.returncode, status, done.stderr)
                self.assertIn(text, done.stderr)
        # The same name from two folders would be one output.
        twin = self.dir / "twin"
        twin.mkdir(exist_ok=True)
        shutil.copy(sample, twin / "sample.mzXML")
        done = host("mzml", sample, twin / "sample.mzXML", "--out-dir", self.dir)
        self.assertEqual(done.returncode, 2)
        self.assertIn("would both be written to", done.stderr)

        # Without --keep-going the first failure stops the run; files before
        # it are written, none is left half-written.
        for keep_going in (False, True):
            with self.subTest(keep_going=keep_going):
                folder = self.dir / f"keep{keep_going}"
                folder.mkdir()
                files = [self.fixtures["negative"], bad, self.fixtures["wide64"]]
                done = host("-j", "1", "mzml", *files, "--out-dir", folder,
                            *(["--keep-going"] if keep_going else []))
                self.assertEqual(done.returncode, 1)
                self.assertIn("bad.mzXML", done.stderr)
                written = sorted(p.name for p in folder.iterdir())
                expected = ["negative.mzML"] + (["wide64.mzML"] if keep_going else [])
                self.assertEqual(written, expected)
                self.assertIn("1 file not converted" if not keep_going else "2 of 3 files read",
                              done.stderr)
        # A target that is its own source is refused, and the source kept.
        copy = self.dir / "self.mzML"
        shutil.copy(sample, copy)
        before = copy.read_bytes()
        done = host("mzml", copy, "--suffix", ".mzML")
        self.assertEqual(done.returncode, 1)
        self.assertIn("would replace the file itself", done.stderr)
        self.assertEqual(copy.read_bytes(), before)
        # --suffix writes beside the source; standard output takes one file.
        done = host("mzml", self.fixtures["negative"], "--suffix", ".conv.mzML")
        self.assertEqual(done.returncode, 0, done.stderr)
        beside = self.fixtures["negative"].with_name("negative.conv.mzML")
        self.assertEqual(host("mzml", self.fixtures["negative"], "-o", "-").stdout,
                         beside.read_text(encoding="utf-8"))

    def msconvert(self, path, name):
        """msconvert's reading of `path`, written by it as 64-bit mzML; None
        when it cannot read the file."""
        work = self.dir / name
        work.mkdir()
        done = subprocess.run([MSCONVERT, str(path), "--mzML", "--64", "-o", str(work),
                               "--outfile", "out.mzML"], capture_output=True, text=True)
        try:
            return mzml_spectra(work / "out.mzML") if done.returncode == 0 else None
        except (ET.ParseError, FileNotFoundError):
            return None

    def assert_msconvert_reads_alike(self, source, out, name):
        """Returns whether msconvert reads the source, so that there was
        something to compare."""
        original = self.msconvert(source, name + ".in")
        if original is None:
            return False
        converted = self.msconvert(out, name + ".out")
        self.assertIsNotNone(converted, "msconvert reads the source but not the mzML")
        self.assertEqual(len(converted), len(original))
        for a, b in zip(original, converted):
            # Not the filter string: msconvert's mzXML reading leaves out
            # filterLine (the mzML holds it; the source check covers it).
            for key in ("level", "polarity", "rt", "precursor", "charge", "mz", "intensity"):
                self.assertEqual(b[key], a[key], f"{name} {a['id']}: {key}")
            # msconvert keeps the energy of a scan with a precursor m/z
            # only; the mzML states it for every MSn spectrum.
            if a["precursor"] is not None:
                self.assertEqual(b["collision_energy"], a["collision_energy"],
                                 f"{name} {a['id']}: collision_energy")
            # Where the source gives no total ion current, msconvert gives
            # none; the mzML has the sum of the peaks.
            if a["tic"] is not None:
                self.assertEqual(b["tic"], a["tic"])
            # Where the source's precursor intensity is 0, msconvert writes
            # 0 and the mzML none.
            if a["precursor_intensity"]:
                self.assertEqual(b["precursor_intensity"], a["precursor_intensity"])
        return True

    def test_msconvert_reads_the_mzml_as_it_reads_the_source(self):
        if not MSCONVERT:
            self.skipTest("no msconvert (Debian's libpwiz-tools): comparison not run")
        for name, source in self.fixtures.items():
            for options in ([], ["--zlib"]):
                with self.subTest(fixture=name, options=options):
                    out = self.convert(source, *options, verify=False)
                    self.assertTrue(self.assert_msconvert_reads_alike(
                        source, out, f"{name}{''.join(options)}"))

    def test_openms_reads_the_mzml(self):
        if not FILEINFO:
            self.skipTest("no OpenMS FileInfo (Debian's topp): not read by OpenMS")
        for name, source in self.fixtures.items():
            for options in ([], ["--zlib"]):
                with self.subTest(fixture=name, options=options):
                    scans = mzxml_scans(source)
                    out = self.convert(source, *options, verify=False)
                    done = subprocess.run([FILEINFO, "-in", out], capture_output=True,
                                          text=True, check=False)
                    self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
                    told = dict(re.findall(r"^(Number of spectra|Total number of peaks): (\d+)$",
                                           done.stdout, re.M))
                    self.assertEqual(int(told["Number of spectra"]), len(scans))
                    self.assertEqual(int(told["Total number of peaks"]),
                                     sum(len(scan["mz"]) for scan in scans))

    def test_corpus_files_that_open(self):
        if not (CORPUS / "SOURCES.md").is_file():
            self.skipTest(f"no mzXML corpus at {CORPUS} (set ORVO_CORPUS): corpus not converted")
        names = sorted(n for n, outcome in corpus_outcomes().items() if outcome == (None, None))
        folder = self.dir / "corpus"
        folder.mkdir()
        files = [CORPUS / n for n in names if (CORPUS / n).is_file()]
        self.assertTrue(files)
        done = host("mzml", *files, "--out-dir", folder, "--verify")
        self.assertEqual(done.returncode, 0, done.stderr)
        compared = 0
        for path in files:
            out = folder / (path.stem + ".mzML")
            with self.subTest(path.name):
                self.assertRegex(done.stderr, re.escape(str(out)) + r": verified: \d+ spectr")
                self.assert_valid(out)
                self.assert_index_and_checksum(out)
                if MSCONVERT:
                    compared += self.assert_msconvert_reads_alike(path, out,
                                                                  "corpus-" + path.stem)
        if MSCONVERT:
            self.assertGreater(compared, 0, "msconvert read none of the corpus files")

    @unittest.skipIf(RUNNER or sys.platform != "linux", "peak memory is read on Linux")
    @unittest.skipIf(os.environ.get("ORVO_SANITIZED") == "1",
                     "a sanitizer's allocator keeps freed memory: peak memory is not the host's")
    def test_memory_does_not_grow_with_the_file(self):
        peak = []
        for size in ("2M", "40M"):
            source = self.dir / f"mem{size}.mzXML"
            subprocess.run([MKMZXML, "-o", str(source), "--size", size, "--seed", "9"],
                           check=True, capture_output=True)
            peak.append(peak_memory_kib(HOST, "-q", "mzml", source, "-o", self.dir / "mem.mzML"))
        small, large = peak
        self.assertGreater((self.dir / "mem.mzML").stat().st_size, 30 << 20)
        self.assertLess(large - small, 8 << 10, peak)


if __name__ == "__main__":
    unittest.main()
