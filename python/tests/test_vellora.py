"""The Python module against the command: the same pictures, pixel for pixel."""
import gzip
import os
import subprocess

import numpy as np
import pytest
from PIL import Image

import vellora

EXAMPLES = os.path.join(os.path.dirname(__file__), "..", "..", "examples")
CHART = os.path.join(EXAMPLES, "chart.emf")
BADGE = os.path.join(EXAMPLES, "badge.wmf")  # placeable


def command_png(tmp_path, *args):
    out = tmp_path / "out.png"
    subprocess.run([os.environ["VELLORA_CLI"], "render", *args, "-o", str(out)], check=True,
                   capture_output=True)
    return np.array(Image.open(out))


@pytest.mark.parametrize("source,options,args", [
    (CHART, {"width": 200}, ["--width", "200"]),
    (CHART, {"width": 120, "height": 90, "angle": 30, "background": "white"},
     ["--width", "120", "--height", "90", "--rotate", "30", "--background", "white"]),
    (CHART, {"dpi": 40, "crop": (0.5, 0, 1, 0.5), "key": 128},
     ["--dpi", "40", "--crop", "0.5,0,1,0.5", "--key", "128"]),
    (BADGE, {"height": 64, "background": "#10203080"}, ["--height", "64", "--background", "#10203080"]),
])
def test_render_gives_the_commands_pixels(tmp_path, source, options, args):
    got = vellora.render(source, **options)
    want = command_png(tmp_path, source, *args)
    assert got.shape == want.shape
    assert np.array_equal(got, want)
    assert got[..., -1].any() if got.shape[-1] == 4 else got.std() > 0


def test_bytes_and_gzip_draw_as_the_file_does():
    data = open(BADGE, "rb").read()
    from_path = vellora.render(BADGE, width=50)
    assert np.array_equal(vellora.render(data, width=50), from_path)
    assert np.array_equal(vellora.render(gzip.compress(data), width=50), from_path)


def test_info_reads_the_headers():
    chart = vellora.info(CHART, dpi=48)
    assert chart["format"] == "EMF"
    assert chart["size"] == tuple(vellora.render(CHART, dpi=48).shape[1::-1])
    badge = vellora.info(BADGE)
    assert badge["format"] == "placeable WMF"
    assert badge["placeable"]["units_per_inch"] > 0
    assert vellora.to_image(BADGE, width=30).size[0] == 30


@pytest.mark.parametrize("call,status", [
    (lambda: vellora.render(b"\x55" * 100), 5),
    (lambda: vellora.render(CHART, width=40000, height=10), 6),
    (lambda: vellora.render(CHART, crop=(0.5, 0, 0.5, 1)), 7),
    (lambda: vellora.render(gzip.compress(b"\0" * (64 << 20))), 4),
])
def test_failures_raise_with_the_librarys_reason(call, status):
    with pytest.raises(vellora.VelloraError) as e:
        call()
    assert e.value.status == status
    assert str(e.value)
