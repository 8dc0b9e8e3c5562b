"""orvo.dask on a local cluster of worker processes, over generated files:
the frames must hold what reading each file in this process gives."""

import os
import subprocess
from pathlib import Path

import pandas
import pytest

import orvo

distributed = pytest.importorskip("distributed")
orvo_dask = pytest.importorskip("orvo.dask")

MKMZXML = os.environ["ORVO_MKMZXML"]

# (scans, MS1 every) of each generated file: different sizes and mixes, one
# with MS1 scans only.
FILES = [(40, 4), (7, 1), (25, 5), (60, 10), (13, 3)]


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    folder = tmp_path_factory.mktemp("runs")
    paths = []
    for i, (count, every) in enumerate(FILES):
        path = folder / f"run{i}.mzXML"
        subprocess.run(
            [MKMZXML, "-o", str(path), "--scans", str(count), "--ms1-every", str(every),
             "--ms1-peaks", "30", "--ms2-peaks", "10", "--seed", str(i)],
            check=True,
        )
        paths.append(str(path))
    return paths


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(
        n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None
    ) as cluster, distributed.Client(cluster) as connected:
        yield connected


def local_table(path):
    with orvo.open(path) as run:
        table = pandas.DataFrame(run.scans)
    table.insert(0, "file", path)
    return table


def test_scans_one_partition_a_file_equal_to_a_local_read(client, files):
    frame = orvo_dask.scans(files)
    assert frame.npartitions == len(files)
    assert list(frame.columns)[0] == "file"
    for i, path in enumerate(files):
        part = frame.get_partition(i).compute()
        assert set(part["file"]) == {path}
        pandas.testing.assert_frame_equal(part.reset_index(drop=True), local_table(path))
    whole = frame.compute().reset_index(drop=True)
    assert len(whole) == sum(count for count, _ in FILES)
    expected = pandas.concat([local_table(path) for path in files], ignore_index=True)
    pandas.testing.assert_frame_equal(whole, expected)


def test_summaries_are_read_on_the_workers(client, files):
    table = orvo_dask.summaries(files).compute().reset_index(drop=True)
    assert list(table["file"]) == files
    assert list(table["scans"]) == [count for count, _ in FILES]
    for row, (count, every) in zip(table.itertuples(), FILES):
        ms1 = len(range(0, count, every))
        assert (row.ms1_scans, row.ms2_scans) == (ms1, count - ms1)
        assert row.bytes == Path(row.file).stat().st_size
        assert row.first_rt <= row.last_rt
        assert row.read_seconds > 0
    # Worker processes opened the files, never this one.
    pids = {int(worker.rsplit(":", 1)[1]) for worker in table["worker"]}
    assert os.getpid() not in pids
    worker_pids = set(client.run(os.getpid).values())
    assert pids <= worker_pids


def test_a_file_that_cannot_be_read_fails_skips_or_names_its_cause(client, files, tmp_path):
    broken = tmp_path / "broken.mzXML"
    broken.write_text('<?xml version="1.0"?>\n<mzXML>\n<msRun scanCount="2">\n')
    frame = orvo_dask.scans([files[0], str(broken)])
    with pytest.raises(orvo.Error) as raised:
        frame.compute()
    assert raised.value.code is not None
    kept = orvo_dask.scans([str(broken), files[0]], errors="skip").compute()
    assert set(kept["file"]) == {files[0]} and len(kept) == FILES[0][0]
    table = orvo_dask.summaries([files[1], str(broken)]).compute().reset_index(drop=True)
    assert table["error"][0] is None
    assert str(broken) in table["error"][1] and table["scans"][1] == 0
    with pytest.raises(ValueError):
        orvo_dask.scans(files, errors="ignore")


def test_no_files_is_a_usage_error():
    with pytest.raises(ValueError):
        orvo_dask.scans([])
