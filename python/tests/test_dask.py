"""A batch on a local Dask cluster of two worker processes writes what the
command writes, file for file, and a manifest that accounts for every file."""
import filecmp
import os
import shutil
import subprocess
import sys

import pytest

pytest.importorskip("distributed")

EXAMPLES = os.path.join(os.path.dirname(__file__), "..", "..", "examples")


def test_cluster_batch_matches_the_command(tmp_path):
    src, dst, ref = tmp_path / "src", tmp_path / "dst", tmp_path / "ref"
    examples = ["chart.emf", "badge.wmf", "landscape.emf", "pattern.emf"]
    for i in range(200):
        folder = src / ("part%d" % (i % 5))
        folder.mkdir(parents=True, exist_ok=True)
        name = examples[i % len(examples)]
        shutil.copy(os.path.join(EXAMPLES, name), folder / ("%03d-%s" % (i, name)))
    (src / "part0" / "broken.emf").write_bytes(b"\x01\0\0\0" + b"\xff" * 60)
    options = ["--width", "64", "--background", "white"]
    cli = os.environ["VELLORA_CLI"]

    run = subprocess.run([sys.executable, "-m", "vellora.dask", str(src), str(dst), "--workers", "2",
                          "--chunk", "16", "--", *options], capture_output=True, text=True, timeout=300)
    assert run.returncode == 1, run.stderr  # the broken file
    assert "rendered 200, failed 1" in run.stderr

    subprocess.run([cli, "render", "-r", str(src), "--out-dir", str(ref), "-q", *options],
                   capture_output=True)
    produced = sorted(str(p.relative_to(dst)) for p in dst.rglob("*.png"))
    expected = sorted(str(p.relative_to(ref)) for p in ref.rglob("*.png"))
    assert produced == expected and len(produced) == 200
    assert all(filecmp.cmp(dst / p, ref / p, shallow=False) for p in produced)

    rows = [line.split("\t") for line in (dst / "manifest.tsv").read_text().splitlines()[1:]]
    assert len(rows) == 201
    failed = [r for r in rows if r[1] != "rendered"]
    assert [r[0] for r in failed] == [os.path.join("part0", "broken.emf")]
    assert failed[0][2].startswith("vellora:")
