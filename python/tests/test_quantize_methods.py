"""The library's own quantizer through the package: method, colors and dither on convert,
quantize and batch_convert, against the described reductions where they must agree."""

import numpy as np
import pytest

import kvdib
from conftest import PHOTO


@pytest.fixture(scope="module")
def photo():
    return kvdib.open(PHOTO)


def psnr(a, b):
    err = np.mean((a.astype(np.float64) - b.astype(np.float64)) ** 2)
    return 10 * np.log10(255.0**2 / err)


def test_normal_method_at_256_and_16_is_the_described_reduction(photo):
    rgb = photo.to_numpy()
    for fmt, colors in (("8bit", 256), ("4bit", 16)):
        plain = photo.convert(fmt)
        same = photo.convert(fmt, method="normal", colors=colors)
        assert same.to_bytes() == plain.to_bytes()
        idx, pal = kvdib.quantize(rgb, colors)
        idx2, pal2 = kvdib.quantize(rgb, colors, method="normal")
        assert np.array_equal(idx, idx2) and np.array_equal(pal, pal2)


def test_refine_and_best_beat_the_normal_method(photo):
    rgb = photo.to_numpy()
    scores = {}
    for method in ("normal", "refine", "best"):
        idx, pal = kvdib.quantize(rgb, 256, method=method)
        assert idx.shape == rgb.shape[:2] and int(idx.max()) < len(pal)
        scores[method] = psnr(pal[idx], rgb)
    assert scores["normal"] < scores["refine"] < scores["best"]


def test_counts_formats_and_dithering(photo):
    out = photo.convert("8bit", method="refine", colors=100)
    assert out.pixel_format == "8bit" and len(out.palette) <= 100
    few = photo.convert("8bit", colors=10)  # a 4-bit result widened to the 8 bits asked for
    assert few.pixel_format == "8bit" and len(few.palette) <= 10
    assert photo.convert("4bit", method="best", colors=12).pixel_format == "4bit"
    dithered = photo.convert("8bit", method="refine", dither=True)
    assert dithered.pixel_format == "8bit"
    assert not np.array_equal(dithered.indices, photo.convert("8bit", method="refine").indices)
    assert photo.convert("8bit-rle", colors=2).pixel_format == "8bit-rle"


def test_bad_options_are_refused_before_anything(photo):
    for kwargs, text in (
        ({"method": "wu"}, "method must be"),
        ({"colors": 1}, "colors must be from 2 to 256"),
        ({"colors": 257}, "colors must be from 2 to 256"),
        ({"method": "refine", "fine": True}, "contradicts"),
    ):
        with pytest.raises(ValueError, match=text):
            photo.convert("8bit", **kwargs)
    with pytest.raises(ValueError, match="colors must be from 2 to 16"):
        photo.convert("4bit", colors=17)
    with pytest.raises(ValueError, match="apply to the '8bit' and '4bit' formats"):
        photo.convert("halftone", method="best")
    eight = photo.convert("8bit")
    with pytest.raises(ValueError, match="reduce 24-bit images"):
        eight.convert("4bit", method="refine")


def test_progress_and_cancel_through_the_quantizer(photo):
    seen = []
    photo.convert("8bit", method="refine", progress=seen.append)
    assert seen[0] == 0 and seen[-1] == 100 and len(seen) == 257

    def stop(p):
        if p > 10:
            raise KeyboardInterrupt

    before = photo.to_bytes()
    with pytest.raises(KeyboardInterrupt):
        photo.convert("8bit", method="best", progress=stop)
    assert photo.to_bytes() == before


def test_batch_convert_passes_the_options(tmp_path, photo):
    src = tmp_path / "in.bmp"
    photo.save(src)
    (out,) = kvdib.batch_convert([src], tmp_path / "out", to="8bit", ext="bmp", method="refine", colors=64)
    assert kvdib.open(out).to_bytes() == photo.convert("8bit", method="refine", colors=64).to_bytes()
