"""Filters, the run summary and the plots of orvo-host, against values
computed here from an unfiltered dump, and the plots rendered by a browser."""
import base64
import json
import os
import re
import shutil
import struct
import subprocess
import tempfile
import unittest
import xml.etree.ElementTree as ET
import zlib
from pathlib import Path

from test_orvo_host import MKMZXML, RUNNER, SAMPLE, host, json_lines, ok, tsv_rows

SVG = "{http://www.w3.org/2000/svg}"


def write_profile_run(path):
    """A run of profile spectra: three peaks a spectrum, the one at m/z 500
    eluting with its apex in the third MS1 scan; no totIonCurrent anywhere."""
    subprocess.run([*RUNNER, MKMZXML, "-o", str(path), "--scans", "20", "--ms1-every", "4",
                    "--ms1-peaks", "5", "--ms2-peaks", "5", "--no-index", "--no-sha1",
                    "--centroided", "0", "--seed", "11"],
                   check=True, capture_output=True, stdin=subprocess.DEVNULL)
    apex = [0.1, 0.5, 1.0, 0.4, 0.05]
    ms1 = iter(range(len(apex)))

    def profile(match):
        tag, body = match.group(1), match.group(2)
        height = apex[next(ms1)] if 'msLevel="1"' in tag else 0.0
        points = []
        for k in range(1200):
            mz = 400 + k * 0.25
            y = (3e5 * 2.718281828 ** (-((mz - 450) / 1.5) ** 2)
                 + 1e6 * height * 2.718281828 ** (-((mz - 500) / 1.2) ** 2)
                 + 2e5 * 2.718281828 ** (-((mz - 612.5) / 3) ** 2))
            points += [mz, y]
        peaks = base64.b64encode(struct.pack(f">{len(points)}f", *points)).decode()
        tag = re.sub(r'peaksCount="\d+"', 'peaksCount="1200"', tag)
        tag = re.sub(r' totIonCurrent="[^"]*"', "", tag)
        body = re.sub(r"(<peaks [^>]*>)[^<]*(</peaks>)", rf"\g<1>{peaks}\g<2>", body)
        return tag + body

    text = path.read_text(encoding="latin-1")
    text = re.sub(r"(<scan [^>]*>)(.*?</peaks>)", profile, text, flags=re.S)
    path.write_text(text, encoding="latin-1")
    return path


def write_raw2xml_run(path):
    """A run as raw2xml writes one: profile MS1 scans (an even 0.02 m/z
    grid), centroided MS2 scans, and dataProcessing saying profile for all."""
    subprocess.run([*RUNNER, MKMZXML, "-o", str(path), "--scans", "12", "--ms1-every", "4",
                    "--ms1-peaks", "5", "--ms2-peaks", "15", "--no-index", "--no-sha1",
                    "--centroided", "0", "--seed", "13"],
                   check=True, capture_output=True, stdin=subprocess.DEVNULL)

    def profile(match):
        tag, body = match.group(1), match.group(2)
        if 'msLevel="1"' not in tag:
            return tag + body
        points = []
        for k in range(3000):
            mz = 400 + k * 0.02
            points += [mz, 1e5 * 2.718281828 ** (-((mz - 431.2) / 0.05) ** 2) + 50 * (k % 7)]
        peaks = base64.b64encode(struct.pack(f">{len(points)}f", *points)).decode()
        tag = re.sub(r'peaksCount="\d+"', 'peaksCount="3000"', tag)
        body = re.sub(r"(<peaks [^>]*>)[^<]*(</peaks>)", rf"\g<1>{peaks}\g<2>", body)
        return tag + body

    text = path.read_text(encoding="latin-1")
    assert '<dataProcessing centroided="0"' in text
    path.write_text(re.sub(r"(<scan [^>]*>)(.*?</peaks>)", profile, text, flags=re.S),
                    encoding="latin-1")
    return path


def png_pixels(path):
    """(width, height, rows of RGB tuples) of an 8-bit RGB or RGBA PNG."""
    data = Path(path).read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, idat = 8, b""
    while pos < len(data):
        (length,), kind = struct.unpack(">I", data[pos:pos + 4]), data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and colour in (2, 6), f"PNG of depth {depth}, colour type {colour}"
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw, bpp = zlib.decompress(idat), 3 if colour == 2 else 4
    stride, prior, rows = width * bpp, bytearray(width * bpp), []
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        if kind == 2:
            line = bytearray((a + b) & 255 for a, b in zip(line, prior))
        elif kind:
            for i in range(stride):
                left = line[i - bpp] if i >= bpp else 0
                up, corner = prior[i], prior[i - bpp] if i >= bpp else 0
                if kind == 1:
                    guess = left
                elif kind == 3:
                    guess = (left + up) // 2
                else:
                    p = left + up - corner
                    pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                    guess = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[i] = (line[i] + guess) & 255
        rows.append([tuple(line[i:i + 3]) for i in range(0, stride, bpp)])
        prior = line
    return width, height, rows


# The traces are blue and the marks red; drawn at half size, thin lines are
# blended with the white page, so a tint is what stays of them.
def bluish(rgb):
    return rgb[2] - rgb[0] > 25


def reddish(rgb):
    return rgb[0] - rgb[2] > 25


def svg_texts(path, cls):
    return [e.text for e in ET.parse(path).getroot().iter(f"{SVG}text")
            if cls in e.get("class", "").split()]


def svg_count(path, tag, cls):
    return sum(cls in e.get("class", "").split() for e in ET.parse(path).getroot().iter(SVG + tag))


class Views(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.dir = Path(cls.tmp.name)
        cls.profile = write_profile_run(cls.dir / "profile.mzXML")
        cls.dump = json_lines(host("dump", SAMPLE).stdout)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def labels(self, *args):
        return [s["label"] for s in json_lines(ok(self, "--format", "json", "scans", SAMPLE, *args))]

    def test_scan_filters_select_what_the_listing_says(self):
        scans = self.dump
        cases = {  # filter: which scans it selects
            "--ms-level 2": lambda s: s["ms_level"] == 2,
            "--ms-level 1,2": lambda s: True,
            "--scans 3-7,20": lambda s: 3 <= s["label"] <= 7 or s["label"] == 20,
            "--rt 1.5:3": lambda s: 1.5 <= s["rt_seconds"] <= 3,
            "--rt :2": lambda s: s["rt_seconds"] <= 2,
            "--rt 4:": lambda s: s["rt_seconds"] >= 4,
            "--charge 2,3": lambda s: s["charge"] in (2, 3),
            "--charge 3-4 --rt 1:": lambda s: s["charge"] in (3, 4) and s["rt_seconds"] >= 1,
        }
        for args, chosen in cases.items():
            with self.subTest(args):
                expected = [s["label"] for s in scans if chosen(s)]
                self.assertTrue(0 < len(expected) < len(scans) or args == "--ms-level 1,2")
                self.assertEqual(self.labels(*args.split()), expected)
                dumped = json_lines(ok(self, "dump", SAMPLE, *args.split()))
                self.assertEqual([d["label"] for d in dumped], expected)
                shown = tsv_rows(ok(self, "--format", "tsv", "spectrum", SAMPLE, *args.split()))
                self.assertEqual(sorted({int(p["label"]) for p in shown}), expected)
        # mgf keeps MS2 unless told otherwise; the filters narrow it.
        mgf = ok(self, "mgf", SAMPLE, "--charge", "2")
        self.assertEqual([int(n) for n in re.findall(r"^SCANS=(\d+)$", mgf, re.M)],
                         [s["label"] for s in scans if s["ms_level"] == 2 and s["charge"] == 2])

    def test_peak_filters_keep_the_window_the_floor_and_the_top_in_mz_order(self):
        args = ["--mz", "300:1500", "--min-intensity", "1e5", "--top", "5"]
        for scan, filtered in zip(self.dump, json_lines(ok(self, "dump", SAMPLE, *args))):
            kept = [(m, i) for m, i in zip(scan["mz"], scan["intensity"])
                    if 300 <= m <= 1500 and i >= 1e5]
            top = sorted(sorted(kept, key=lambda p: -p[1])[:5])
            self.assertEqual(list(zip(filtered["mz"], filtered["intensity"])), top)
            self.assertEqual(filtered["peak_count"], len(top))

    def test_excluded_spectra_are_never_fetched(self):
        # Scan 2's peaks spoilt, same length: only a fetch of it can fail.
        text = Path(SAMPLE).read_text(encoding="latin-1")
        start = text.index("<peaks", text.index('<scan num="2"'))
        body = text.index(">", start) + 1
        end = text.index("</peaks>", body)
        spoilt = self.dir / "spoilt.mzXML"
        spoilt.write_text(text[:body] + "!" * (end - body) + text[end:], encoding="latin-1")
        self.assertEqual(host("dump", spoilt).returncode, 1)
        for args in (["dump", spoilt, "--ms-level", "1"], ["dump", spoilt, "--scans", "1,3-36"],
                     ["mgf", spoilt, "--rt", "0.9:"], ["spectrum", spoilt, "--charge", "4"],
                     ["bpc", spoilt, "-o", self.dir / "bpc.svg"]):
            with self.subTest(" ".join(map(str, args[2:]))):
                ok(self, *args)

    def test_bad_ranges_are_usage_errors_that_say_why(self):
        cases = {
            ("scans", "--rt", "5:2"): "--rt: the range 5:2 is empty",
            ("scans", "--scans", "20-10"): "--scans: the range 20-10 is empty",
            ("dump", "--scans", "1,x"): "'x' is not a whole number",
            ("scans", "--ms-level", "0"): "0 is outside the range 1 to 16",
            ("scans", "--charge", "two"): "'two' is not a whole number",
            ("dump", "--mz", "500"): "'500' is not a range",
            ("mgf", "--min-intensity", "lots"): "'lots' is not a number",
            ("dump", "--top", "0"): "--top",
            ("xic", "--mz", "500", "--tol", "-3ppm", "-o", "x.svg"): "not a tolerance above 0",
            ("spectrum",): "LABEL (or a scan filter",
        }
        for (command, *args), says in cases.items():
            with self.subTest(command=command, args=args):
                done = host(command, SAMPLE, *args)
                self.assertEqual((done.returncode, done.stdout), (2, ""), done.stderr)
                self.assertIn(says, done.stderr)

    def test_info_is_one_row_a_file_and_agrees_with_dump(self):
        files = [Path(SAMPLE), self.profile]
        missing = self.dir / "missing.mzXML"
        done = host("--format", "tsv", "info", "--stats", *files, missing)
        self.assertEqual(done.returncode, 1)
        rows = tsv_rows(done.stdout)
        self.assertEqual([r["file"] for r in rows], list(map(str, files + [missing])))
        # A file that cannot be read keeps its row: the error, and nothing made up.
        failed = rows.pop()
        self.assertRegex(failed["error"], r"missing\.mzXML.*\(status 0x8004[0-9A-F]{4}\)$")
        self.assertEqual((failed["scan_count"], failed["peaks_total"]), ("", ""))
        objects = json_lines(ok(self, "--format", "json", "info", "--stats", *files))
        for path, row, obj in zip(files, rows, objects):
            with self.subTest(path.name):
                dump = json_lines(ok(self, "dump", path))
                counts = sorted(d["peak_count"] for d in dump)
                mz = [m for d in dump for m in d["mz"]]
                levels = {str(n): sum(d["ms_level"] == n for d in dump) for n in (1, 2)}
                charges = [d["charge"] for d in dump if d["ms_level"] == 2]
                expected = {
                    "scan_count": len(dump), "spectra_per_ms_level": levels,
                    "rt_min_seconds": min(d["rt_seconds"] for d in dump),
                    "rt_max_seconds": max(d["rt_seconds"] for d in dump),
                    "precursor_mz_max": max(d["precursor_mz"] for d in dump if d["ms_level"] == 2),
                    "peaks_total": sum(counts), "peaks_min": counts[0],
                    "peaks_max": counts[-1], "peaks_median": counts[len(counts) // 2],
                    "mz_min": min(mz), "mz_max": max(mz),
                    "intensity_max": max(i for d in dump for i in d["intensity"]),
                    "peak_kind": dump[0]["kind"],
                    "charges": {("none" if c is None else str(c)): charges.count(c)
                                for c in sorted(set(charges), key=lambda c: c or 0)},
                }
                for key, value in expected.items():
                    self.assertEqual(obj[key], value, key)
                    if isinstance(value, float):
                        self.assertEqual(float(row[key]), value, key)
                    elif isinstance(value, dict):
                        self.assertEqual(row[key], " ".join(f"{k}:{v}" for k, v in value.items()))
                    else:
                        self.assertEqual(row[key], str(value), key)
                # The names info always gave are still there.
                for key in ("file_name", "instrument", "completion_time", "scan_mix",
                            "centroided", "centroiding_stated"):
                    self.assertIn(key, row)
                    self.assertIn(key, obj)

    def test_info_stats_judges_each_levels_kind_from_its_peaks(self):
        raw2xml = write_raw2xml_run(self.dir / "raw2xml.mzXML")
        cases = {raw2xml: ("MS1 profile, MS2 centroided", None),
                 self.profile: ("profile", False), Path(SAMPLE): ("centroided", True)}
        for path, (kind, centroided) in cases.items():
            with self.subTest(path.name):
                [info] = json_lines(ok(self, "--format", "json", "info", "--stats", path))
                self.assertEqual((info["peak_kind"], info["centroided"]), (kind, centroided))
                self.assertIs(info["centroiding_stated"], True)
        # Without --stats the answer is the run's statement, which the data
        # above overrule for its MS2 scans.
        [info] = json_lines(ok(self, "--format", "json", "info", raw2xml))
        self.assertIs(info["centroided"], False)

    def test_long_file_names_shorten_titles_in_the_middle(self):
        name = "2026-01-02_HeLa_digest_120min_gradient_replicate_03_" + "x" * 60 + "_end.mzXML"
        long_named = self.dir / name
        shutil.copyfile(SAMPLE, long_named)
        for width in (320, 960):
            svg = self.dir / f"long{width}.svg"
            ok(self, "tic", long_named, "--width", str(width), "-o", svg)
            [title] = svg_texts(svg, "title")
            self.assertIn("\u2026", title)
            self.assertTrue(title.startswith("2026-01-02_HeLa" if width > 320 else "202"), title)
            # The name gives way; what is plotted stays whole.
            self.assertTrue(title.endswith(("_end.mzXML" if width > 320 else "ML") +
                                           "  total ion current"), title)
            # 17-unit bold glyphs of 0.62 em and a tenth (wider than Helvetica
            # Bold's letters and digits), 10 units clear of each edge.
            self.assertLessEqual(len(title) * 17 * 0.62 * 1.1, width - 20, title)
            self.assertIn(name, ET.parse(svg).getroot().find(f"{SVG}title").text)

    def test_every_plot_kind_renders_with_its_text(self):
        d = self.dir
        ms1 = next(s for s in self.dump if s["ms_level"] == 1 and any(
            c["parent_label"] == s["label"] for c in self.dump))
        children = [c for c in self.dump if c["parent_label"] == ms1["label"]]
        ms2 = next(s for s in self.dump if s["ms_level"] == 2 and s["charge"])
        plots = {  # name: arguments, x title, y title, classes of text to find
            "ms1": (["plot", SAMPLE, ms1["label"]], "m/z", "intensity", ["mark-label", "peak-label"]),
            "ms2": (["plot", SAMPLE, ms2["label"], "--labels", "5"], "m/z", "intensity",
                    ["mark-label", "peak-label"]),
            "zoom": (["plot", SAMPLE, ms1["label"], "--mz", "200:700", "--width", "640",
                      "--height", "360"], "m/z", "intensity", ["peak-label"]),
            "profile": (["plot", self.profile, "1"], "m/z", "intensity", ["peak-label"]),
            "tic": (["tic", self.profile], "retention time (min)", "total ion current", []),
            "bpc": (["bpc", SAMPLE, "--ms-level", "1,2"], "retention time (min)",
                    "base peak intensity", []),
            "xic": (["xic", self.profile, "--mz", "500", "--tol", "20ppm"],
                    "retention time (min)", "intensity", []),
        }
        for name, (args, x_title, y_title, classes) in plots.items():
            with self.subTest(name):
                svg = d / f"{name}.svg"
                ok(self, *args, "-o", svg)
                self.assertEqual(svg_texts(svg, "x-label"), [x_title])
                self.assertEqual(svg_texts(svg, "y-label"), [y_title])
                self.assertTrue(svg_texts(svg, "title")[0].startswith(Path(args[1]).name))
                for cls in classes:
                    self.assertTrue(svg_texts(svg, cls), cls)
        # What each plot says, checked against the dump.
        self.assertEqual(svg_count(d / "ms1.svg", "line", "mark"), len(children))
        self.assertEqual(svg_texts(d / "ms2.svg", "mark-label"),
                         [f"precursor {ms2['precursor_mz']:.2f} ({ms2['charge']}+)"])
        top = sorted(zip(ms2["intensity"], ms2["mz"]), reverse=True)[:5]
        self.assertLessEqual({float(t) for t in svg_texts(d / "ms2.svg", "peak-label")},
                             {round(m, 2) for _, m in top})
        self.assertTrue(all(200 <= float(t) <= 700 for t in svg_texts(d / "zoom.svg", "peak-label")))
        self.assertEqual((svg_count(d / "profile.svg", "path", "profile"),
                          svg_count(d / "profile.svg", "line", "peak")), (1, 0))
        self.assertIn("summed from the peaks", svg_texts(d / "tic.svg", "subtitle")[0])
        self.assertEqual(svg_count(d / "bpc.svg", "circle", "point"), len(self.dump))
        trace = ET.parse(d / "xic.svg").getroot().find(f".//{SVG}polyline").get("points").split()
        heights = [float(p.split(",")[1]) for p in trace]
        self.assertEqual(heights.index(min(heights)), 2)  # the apex, highest on the page
        self.render(plots)

    def render(self, plots):
        chromium = shutil.which("chromium") or shutil.which("chromium-browser")
        if not chromium:
            self.skipTest("chromium is not installed (Debian's chromium): plots not rendered")
        # All plots on one page, one browser start: each in a cell of its own.
        cell_w, cell_h, columns = 480, 270, 4
        names = list(plots)
        page = self.dir / "plots.html"
        page.write_text("<html><body style='margin:0;background:#fff'>" + "".join(
            f"<img src='{n}.svg' style='position:absolute;left:{i % columns * cell_w}px;"
            f"top:{i // columns * cell_h}px;width:{cell_w}px;height:{cell_h}px'>"
            for i, n in enumerate(names)) + "</body></html>")
        rows_needed = (len(names) + columns - 1) // columns
        png = self.dir / "plots.png"
        done = subprocess.run([chromium, "--headless", "--disable-gpu", "--no-sandbox",
                               "--hide-scrollbars", f"--screenshot={png}",
                               f"--window-size={cell_w * columns},{cell_h * rows_needed}",
                               page.as_uri()], capture_output=True, timeout=120,
                              stdin=subprocess.DEVNULL)
        self.assertTrue(png.is_file(), done.stderr.decode(errors="replace")[-2000:])
        _, _, pixels = png_pixels(png)
        for i, name in enumerate(names):
            with self.subTest(rendered=name):
                x0, y0 = i % columns * cell_w, i // columns * cell_h
                cell = [p for row in pixels[y0:y0 + cell_h] for p in row[x0:x0 + cell_w]]
                self.assertGreater(len(set(cell)), 2, "blank")
                self.assertGreater(sum(map(bluish, cell)), 200, "no trace drawn")
                if "mark-label" in plots[name][3]:
                    self.assertGreater(sum(map(reddish, cell)), 50, "no mark drawn")


if __name__ == "__main__":
    unittest.main()
