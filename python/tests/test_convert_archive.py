"""The Dask batch example on a small tree with a two-worker local cluster."""

from __future__ import annotations

import csv
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

import qola
from conftest import tone, wav_bytes

pytest.importorskip("dask.distributed", reason="dask.distributed is not installed")
SCRIPT = Path(__file__).resolve().parents[2] / "examples" / "python" / "convert_archive.py"


def convert(source: Path, target: Path, *options: str) -> tuple[int, dict[str, dict[str, str]]]:
    done = subprocess.run([sys.executable, str(SCRIPT), str(source), str(target), "--workers", "2", *options],
                          capture_output=True, text=True, timeout=300)
    report = target / "conversion-report.csv"
    assert report.exists(), done.stderr
    assert "Traceback" not in done.stderr, done.stderr  # the cluster shut down cleanly
    with open(report, newline="") as handle:
        rows = {Path(row["file"]).relative_to(source).as_posix(): row for row in csv.DictReader(handle)}
    return done.returncode, rows


def test_tree_to_qla_and_back(tmp_path):
    originals = {"a/one.wav": tone(30000, 2, np.int16, 1), "a/b/two.wav": tone(9000, 1, np.uint8, 2),
                 "three.wav": tone(5000, 1, np.int16, 3)}
    for name, data in originals.items():
        path = tmp_path / "src" / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(wav_bytes(data, 22050))
    (tmp_path / "src" / "notes.txt").write_text("not audio")

    status, rows = convert(tmp_path / "src", tmp_path / "qla")
    assert status == 0 and set(rows) == set(originals)
    for name, row in rows.items():
        assert row["status"] == "converted" and row["verification"] == "ok", row
        assert float(row["ratio"]) > 1
        assert Path(row["output"]) == tmp_path / "qla" / (name + ".qla")

    status, again = convert(tmp_path / "src", tmp_path / "qla")  # everything is done already
    assert status == 0 and {row["status"] for row in again.values()} == {"skipped"}
    assert {name: row["ratio"] for name, row in again.items()} == {name: row["ratio"] for name, row in rows.items()}

    damaged = tmp_path / "qla" / "damaged.wav.qla"
    damaged.write_bytes((tmp_path / "qla" / "three.wav.qla").read_bytes()[:200])
    status, rows = convert(tmp_path / "qla", tmp_path / "wav", "--to", "wav")
    assert status == 1 and rows["damaged.wav.qla"]["status"] == "failed"
    assert not (tmp_path / "wav" / "damaged.wav").exists()
    for name in originals:
        assert rows[name + ".qla"]["verification"] == "ok"
        assert (tmp_path / "wav" / name).read_bytes() == (tmp_path / "src" / name).read_bytes()


def test_tree_to_flac(tmp_path):
    soundfile = pytest.importorskip("soundfile", reason="soundfile is not installed")
    data = tone(8000, 2, np.int16)
    (tmp_path / "qla").mkdir()
    qola.write(tmp_path / "qla" / "x.qla", data, 16000)
    status, rows = convert(tmp_path / "qla", tmp_path / "flac", "--to", "flac")
    assert status == 0 and rows["x.qla"]["verification"] == "ok"
    back, rate = soundfile.read(tmp_path / "flac" / "x.flac", dtype="int16", always_2d=True)
    assert rate == 16000
    np.testing.assert_array_equal(back, data)
