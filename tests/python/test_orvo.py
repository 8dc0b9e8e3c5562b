"""The orvo module against orvo-host, which reads through the same plug-in:
every value the module hands out must be what the host dumps."""

import gc
import json
import math
import os
import re
import subprocess
import threading
from pathlib import Path

import numpy as np
import pytest

import orvo

HOST = os.environ["ORVO_HOST"]
MKMZXML = os.environ["ORVO_MKMZXML"]
SAMPLE = Path(os.environ["ORVO_SAMPLE"])
CORPUS = Path(os.environ.get("ORVO_CORPUS", "/nonexistent-corpus"))


def corpus_files():
    if not (CORPUS / "SOURCES.md").is_file():
        return [pytest.param(None, marks=pytest.mark.skip(reason=f"no corpus at {CORPUS}"))]
    return sorted(CORPUS.glob("*.mzXML"))


def dump(path):
    done = subprocess.run([HOST, "-q", "dump", str(path)], capture_output=True, text=True)
    return [json.loads(line) for line in done.stdout.splitlines()], done.stderr


def same(value, dumped):
    """A dumped null is a masked value or NaN in the module's columns."""
    if dumped is None:
        return value is None or value is np.ma.masked or (
            isinstance(value, float) and math.isnan(value))
    return value == dumped


def same_peaks(values, dumped):
    """The host writes a value that is exactly a 32-bit float as the shortest
    text of that float: it reads back to the same float. Others are exact."""
    dumped = np.array(dumped, dtype=np.float64)
    if len(dumped) != len(values):
        return False
    exact32 = values.astype(np.float32).astype(np.float64) == values
    as_written = np.where(exact32, dumped.astype(np.float32).astype(np.float64), dumped)
    return np.array_equal(as_written, values)


# What the scan tags state, as orvo-host scans and dump name it.
TAG_KEYS = ("peaks_count", "base_peak_mz", "base_peak_intensity", "precursor_intensity",
            "collision_energy", "filter_line")


def check_against_dump(run, rows):
    columns = run.scans
    by_label = {row["label"]: row for row in rows}
    for i, label in enumerate(columns["label"].tolist()):
        row = by_label.get(label)
        if row is None:  # the host could not read this spectrum: neither can the module
            with pytest.raises(orvo.Error):
                run.spectrum(label)
            continue
        # The module's columns carry the host's names.
        for key in ("parent_label", "ms_level", "polarity", "rt_seconds", "precursor_mz",
                    "charge", "tic", "position", "scan_number") + TAG_KEYS:
            value = columns[key][i]
            value = value.item() if isinstance(value, np.generic) else value
            assert same(value, row[key]), (label, key)
        mz, intensity = run.spectrum(label)
        assert mz.dtype == np.float64 and intensity.dtype == np.float64
        assert same_peaks(mz, row["mz"]) and same_peaks(intensity, row["intensity"])
        assert run.spectrum_info(label) == {"kind": row["kind"], "peak_count": row["peak_count"]}
    assert len(by_label) <= len(columns["label"])
    # A scan's dict holds the same tag values, None where the file gives none.
    for scan in run.spectra(errors="skip"):
        assert {k: scan[k] for k in TAG_KEYS} == {k: by_label[scan["label"]][k] for k in TAG_KEYS}


@pytest.mark.parametrize("path", [SAMPLE] + corpus_files(), ids=lambda p: p and p.name)
def test_values_equal_the_hosts_dump(path):
    rows, errors = dump(path)
    try:
        run = orvo.open(path)
    except orvo.Error as e:
        # Refused by both, with the host's catalog sentence.
        assert not rows and str(e) in errors
        assert e.code is None or e.code & 0x80000000  # a status code of failure
        return
    with run:
        check_against_dump(run, rows)


def test_sample_run_facts_and_iteration():
    with orvo.open(SAMPLE) as run:
        info = run.info
        assert info["scan_count"] == len(run) and info["centroided"] is True
        assert info["completion_time"].tzinfo is not None
        labels = [scan["label"] for scan in run]
        assert labels == run.scans["label"].tolist()
        ms2 = list(run.spectra(ms_level=2))
        assert ms2 and all(scan["ms_level"] == 2 for scan in ms2)
        assert np.array_equal(ms2[0]["mz"], run.spectrum(ms2[0]["label"])[0])
        # The events of the open, arguments and all, in the host's words;
        # the spectra read above posted theirs after them.
        shown = subprocess.run([HOST, "-vvvvvvv", "scans", str(SAMPLE)], capture_output=True,
                               text=True).stderr.splitlines()
        prefix = f"orvo-host: {SAMPLE.name}: "
        texts = [text for _, _, text in run.events]
        assert texts[:len(shown)] == [line.removeprefix(prefix) for line in shown]
        assert len(texts) == len(shown) + len(labels) + len(ms2) + 1
        assert run.events_dropped == 0
        for missing in (0, len(run) + 1, -1, 2**40):
            with pytest.raises(KeyError):
                run.spectrum(missing)
        with pytest.raises(TypeError):
            run.spectrum("1")
        first = run.scans["label"][0]  # a numpy integer, taken as any int is
        assert np.array_equal(run.spectrum(first)[1], run.spectrum(int(first))[1])
    with pytest.raises(orvo.Error) as refused:
        orvo.open(SAMPLE, first_label=2147483637)
    assert refused.value.message_name == "LABEL_OVERFLOW"
    with pytest.raises(orvo.Error) as refused:
        orvo.open(__file__)
    assert refused.value.arguments[0] == __file__ and __file__ in str(refused.value)


def test_errors_as_python_users_expect(tmp_path):
    assert re.fullmatch(r"\d+\.\d+(\.\d+)?", orvo.__version__)
    for path, kind in ((tmp_path / "absent.mzXML", FileNotFoundError),
                       (tmp_path, IsADirectoryError)):
        with pytest.raises(kind) as raised:
            orvo.open(path)
        error = raised.value
        assert isinstance(error, orvo.Error) and error.file == str(path)
        assert error.message_name == "FILE_REFUSED" and f"(status 0x{error.code:08X})" in str(error)
    edited = tmp_path / "counted.mzXML"
    edited.write_text(SAMPLE.read_text().replace('scanCount="36"', 'scanCount="30"'))
    with pytest.raises(orvo.Error) as raised:
        orvo.open(edited, strict=True)
    assert raised.value.message_name == "FILE_REFUSED_BECAUSE"
    assert 'more than 30 scans' in str(raised.value) and raised.value.code == error.code
    # A file that does not state its centroiding is read as profile, with a warning.
    unstated = tmp_path / "unstated.mzXML"
    unstated.write_text(SAMPLE.read_text().replace(' centroided="1"', ""))
    with pytest.warns(UserWarning, match="centroided=True or False"):
        run = orvo.open(unstated)
    with run:
        assert run.info["centroided"] is False and run.info["centroiding_stated"] is False
        assert run.spectrum_info(1)["kind"] == "profile"
    with orvo.open(unstated, centroided=True) as run:
        assert run.info["centroiding_stated"] is True


def test_a_refused_file_is_read_through_a_repaired_copy(tmp_path):
    """Unless strict: numbered as the original, the copy gone once closed."""
    text = SAMPLE.read_text()
    # Scans numbered from 101 and a count that is wrong: two refusals in one.
    for n in range(36, 0, -1):
        text = text.replace(f'<scan num="{n}"', f'<scan num="{n + 100}"')
    text = text.replace('scanCount="36"', 'scanCount="40"')
    edited = tmp_path / "edited.mzXML"
    edited.write_text(text)
    copies = tmp_path / "copies"
    copies.mkdir()
    with pytest.warns(UserWarning, match=r"read through a repaired copy: renumbered 36 scans "
                                         r"from 101, scanCount 40 set to 36"):
        run = orvo.open(edited, temp_dir=copies)
    with run, orvo.open(SAMPLE) as sample:
        assert len(list(copies.iterdir())) == 1
        assert list(run.scans["scan_number"]) == [n + 100 for n in range(1, 37)]
        assert list(sample.scans["scan_number"]) == list(range(1, 37))
        assert [s["scan_number"] for s in run.spectra(ms_level=1)] == [
            int(n) + 100 for n in sample.scans["label"][sample.scans["ms_level"] == 1]]
        assert all((a == b).all() for a, b in zip(run.spectrum(5), sample.spectrum(5)))
    assert list(copies.iterdir()) == []
    # What repair mends, written where it is asked.
    fixed = tmp_path / "fixed.mzXML"
    assert orvo.repair(edited, fixed).startswith("renumbered 36 scans from 101")
    with orvo.open(fixed, strict=True) as run:
        assert len(run) == 36
    (tmp_path / "notes.txt").write_text("not mzXML\n")
    with pytest.raises(orvo.Error, match="notes.txt: cannot be repaired: it "):
        orvo.repair(tmp_path / "notes.txt", tmp_path / "never.mzXML")
    assert not (tmp_path / "never.mzXML").exists()


def test_missing_values_are_masked_none_or_nan(tmp_path):
    bare = tmp_path / "bare.mzXML"
    text = re.sub(r' totIonCurrent="[^"]*"', "", SAMPLE.read_text())
    bare.write_text(text.replace('polarity="+"', 'polarity="any"', 1))
    with orvo.open(bare) as run:
        columns = run.scans
        assert np.isnan(columns["tic"]).all()
        assert columns["polarity"].mask.tolist()[:2] == [True, False]
        ms1 = columns["ms_level"] == 1
        assert columns["parent_label"].mask[ms1].all() and not columns["parent_label"].mask[~ms1].any()
        assert np.isnan(columns["precursor_mz"][ms1]).all()
        first = next(iter(run))
        assert (first["tic"], first["polarity"], first["parent_label"], first["charge"]) == (
            None, None, None, None)


def test_arrays_outlive_their_run_and_a_closed_run_refuses():
    run = orvo.open(SAMPLE)
    mz, intensity = run.spectrum(1)
    expected = mz.tolist()
    run.close()
    assert run.closed
    for call in (lambda: run.scans, lambda: run.spectrum(1), lambda: run.info, lambda: len(run)):
        with pytest.raises(ValueError):
            call()
    del run
    gc.collect()
    assert mz.tolist() == expected and len(intensity) == len(mz)


def test_iteration_stopped_early_or_by_close():
    with orvo.open(SAMPLE) as run:
        for scan in run:  # leaving the loop must not wait for the read-ahead
            break
        assert scan["label"] == 1
        scans = iter(run)
        next(scans)
        run.close()
        with pytest.raises(ValueError):
            for _ in scans:  # fetches after the close fail; what was fetched stays valid
                pass


def test_cut_files_end_in_orvo_errors(tmp_path):
    data = SAMPLE.read_bytes()
    for size in range(0, len(data), len(data) // 40):
        path = tmp_path / f"cut{size}.mzXML"
        path.write_bytes(data[:size])
        try:
            with orvo.open(path) as run:
                for label in run.scans["label"].tolist():
                    try:
                        run.spectrum(label)
                    except orvo.Error as e:
                        assert e.code is not None
        except orvo.Error as e:
            assert str(e)


def generated(tmp_path, name, scans, seed):
    path = tmp_path / name
    subprocess.run([MKMZXML, "-o", str(path), "--scans", str(scans), "--seed", str(seed)],
                   check=True, capture_output=True)
    return path


def test_event_log_keeps_the_first_events_then_reads_unheard(tmp_path):
    path = tmp_path / "many.mzXML"
    subprocess.run([MKMZXML, "-o", str(path), "--scans", "60000", "--ms1-peaks", "1",
                    "--ms2-peaks", "1"], check=True, capture_output=True)
    with orvo.open(path) as run:
        opened = len(run.events)
        for label in run.scans["label"].tolist():
            run.spectrum(label)
        events = run.events
        # One event a spectrum until the log is full; the reads after it go
        # unheard, so only the one that found no room is counted.
        assert len(events) == 100000 and run.events_dropped == 1
        assert events[opened][2].startswith("1 m/z values read for scan 1")
        assert events[-1][2].startswith(f"1 m/z values read for scan {100000 - opened}")
        unheard = run.spectrum(len(run))
    with orvo.open(path) as fresh:  # its log has room: this read is heard
        heard = fresh.spectrum(len(fresh))
        assert fresh.events[-1][2].startswith(f"1 m/z values read for scan {len(fresh)}")
    assert [a.tolist() for a in unheard] == [a.tolist() for a in heard]


def read_all(path):
    with orvo.open(path) as run:
        return [(scan["label"], scan["mz"].sum(), scan["intensity"].sum()) for scan in run]


def test_four_threads_read_as_one(tmp_path):
    paths = [generated(tmp_path, f"t{i}.mzXML", 300, i + 1) for i in range(4)]
    alone = [read_all(path) for path in paths]
    together = [None] * 4

    def work(i):
        together[i] = read_all(paths[i])

    threads = [threading.Thread(target=work, args=(i,)) for i in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert together == alone


def resident_kib():
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmRSS:"))


def test_reading_twice_does_not_grow(tmp_path):
    path = generated(tmp_path, "memory.mzXML", 2000, 7)
    read_all(path)
    gc.collect()
    before = resident_kib()
    for _ in range(2):
        read_all(path)
    gc.collect()
    assert resident_kib() - before < 4096


def test_spectra_raise_skip_or_empty_a_spectrum_that_fails(tmp_path):
    path = tmp_path / "one_bad.mzXML"
    subprocess.run([MKMZXML, "-o", str(path), "--scans", "6", "--ms1-peaks", "5",
                    "--ms2-peaks", "4", "--no-index"], check=True, capture_output=True)
    text = path.read_text(encoding="latin-1")
    # Scan 4 declares one peak more than its peak text holds; strict, so no
    # repaired copy reads it in its place.
    bad = re.search(r'<scan num="4"[^>]*?peaksCount="(\d+)"', text)
    text = text[:bad.start(1)] + str(int(bad[1]) + 1) + text[bad.end(1):]
    path.write_text(text, encoding="latin-1")
    with orvo.open(path, strict=True) as run:
        labels = run.scans["label"].tolist()
        with pytest.raises(orvo.Error) as failed:
            list(run.spectra())
        assert failed.value.code is not None and run.skipped_labels == []
        assert [s["label"] for s in run.spectra(errors="skip")] == [1, 2, 3, 5, 6]
        assert run.skipped_labels == [4]
        empty = list(run.spectra(errors="empty"))
        assert [s["label"] for s in empty] == labels
        assert len(empty[3]["mz"]) == len(empty[3]["intensity"]) == 0
        assert empty[3]["peaks_count"] == int(bad[1]) + 1 and len(empty[2]["mz"]) > 0
        assert run.skipped_labels == [4]
        with pytest.raises(ValueError):
            run.spectra(errors="ignore")


MZML_NS = "{http://psi.hupo.org/ms/mzml}"
needs_mzml = pytest.mark.skipif(not hasattr(orvo, "to_mzml"),
                                reason="a build without mzml (expat or MS-Numpress missing)")


@needs_mzml
def test_to_mzml_writes_the_hosts_bytes_and_reads_back(tmp_path):
    """The same file as orvo-host mzml for the same options, and a result
    that describes it."""
    import hashlib
    import xml.etree.ElementTree as ET
    cases = (({}, []), ({"zlib": True, "mz_precision": 64}, ["--zlib", "--mz-precision", "64"]),
             ({"numpress": ["linear", "slof"], "ms_level": 2, "threads": 1},
              ["--numpress", "linear,slof", "--ms-level", "2"]),
             ({"numpress": "linear,pic", "ms_level": [1, 2], "verify": True},
              ["--numpress", "linear,pic", "--ms-level", "1,2"]))
    for n, (options, flags) in enumerate(cases):
        ours, hosts = tmp_path / f"py{n}.mzML", tmp_path / f"host{n}.mzML"
        done = subprocess.run([HOST, "-q", "mzml", str(SAMPLE), "-o", str(hosts), *flags],
                              capture_output=True, text=True)
        assert done.returncode == 0, done.stderr
        result = orvo.to_mzml(SAMPLE, ours, **options)
        data = ours.read_bytes()
        assert data == hosts.read_bytes(), options
        written = ET.parse(ours).getroot().findall(f".//{MZML_NS}spectrum")
        levels = [int(s.find(f"{MZML_NS}cvParam[@accession='MS:1000511']").get("value"))
                  for s in written]
        assert (set(levels) == {2}) == (options.get("ms_level") == 2)
        end = data.index(b"<fileChecksum>") + len(b"<fileChecksum>")
        assert result == {
            "path": ours, "scans": 36, "spectra": len(written), "bytes": len(data),
            "sha1": hashlib.sha1(data).hexdigest(),
            "checksum": hashlib.sha1(data[:end]).hexdigest(),
            "source_sha1": hashlib.sha1(SAMPLE.read_bytes()).hexdigest(),
            "verified": options.get("verify", False)}
    # The precursor's intensity is the one orvo.open lists.
    with orvo.open(SAMPLE) as run:
        listed = [v for v, level in zip(run.scans["precursor_intensity"], run.scans["ms_level"])
                  if level == 2]
    root = ET.parse(tmp_path / "py0.mzML").getroot()
    stated = [p.get("value") for p in root.iter(f"{MZML_NS}cvParam")
              if p.get("accession") == "MS:1000042"]
    assert [float(v) for v in stated] == [v for v in listed if v > 0]


@needs_mzml
def test_to_mzml_refuses_what_it_cannot_write(tmp_path):
    target = tmp_path / "out.mzML"
    target.write_text("earlier\n")
    for options, text in (({"mz_precision": 32}, "mz_precision must be 64"),
                          ({"numpress": "pic,slof"}, "give one of them"),
                          ({"numpress": "zip"}, "not 'zip'"),
                          ({"ms_level": 0}, "outside the range 1 to 16"),
                          ({"threads": 0}, "threads must be 1 or more")):
        with pytest.raises(ValueError, match=text):
            orvo.to_mzml(SAMPLE, target, **options)
    with pytest.raises(FileNotFoundError):
        orvo.to_mzml(tmp_path / "absent.mzXML", target)
    with pytest.raises(orvo.Error, match="would replace the file itself"):
        orvo.to_mzml(SAMPLE, SAMPLE)
    # A failure leaves the earlier file as it was.
    assert target.read_text() == "earlier\n"
    # A refused file is converted through a repaired copy, with a warning,
    # unless strict.
    edited = tmp_path / "counted.mzXML"
    edited.write_text(SAMPLE.read_text().replace('scanCount="36"', 'scanCount="40"'))
    with pytest.raises(orvo.Error):
        orvo.to_mzml(edited, target, strict=True)
    with pytest.warns(UserWarning, match="read through a repaired copy"):
        assert orvo.to_mzml(edited, target, temp_dir=tmp_path, verify=True)["spectra"] == 36
