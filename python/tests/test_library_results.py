"""Every result of the package is the library's own: compared with the kvdib tool's files
(the same library behind a command line), parsed without the package."""

import numpy as np
import pytest

import kvdib
from conftest import read_bmp

REDUCTIONS = [(colors, fine) for colors in (256, 16) for fine in (False, True)]


@pytest.mark.parametrize("colors,fine", REDUCTIONS)
def test_quantize_is_the_library_reduction(tool, photo, photo_rgb, tmp_path, colors, fine):
    ref = tool(photo, tmp_path / "ref.bmp", "8bit" if colors == 256 else "4bit", fine=fine)
    ref_palette, ref_indices = read_bmp(ref)
    indices, palette = kvdib.quantize(photo_rgb, colors=colors, fine=fine)
    assert palette.shape == ref_palette.shape and 1 < len(palette) <= colors
    np.testing.assert_array_equal(palette, ref_palette)
    np.testing.assert_array_equal(indices, ref_indices)
    assert indices.flags.writeable and indices.flags.c_contiguous and palette.flags.writeable


def test_quantize_takes_any_strides(photo_rgb):
    # A Fortran-ordered copy and a negative-stride view hold the same pixels.
    expect_idx, expect_pal = kvdib.quantize(photo_rgb)
    for rgb in (np.asfortranarray(photo_rgb), photo_rgb[::-1][::-1], photo_rgb[:, ::-1][:, ::-1]):
        idx, pal = kvdib.quantize(rgb)
        np.testing.assert_array_equal(idx, expect_idx)
        np.testing.assert_array_equal(pal, expect_pal)


# Every format; fine only matters for the colour reductions.
CONVERSIONS = [(to, False) for to in kvdib.formats] + [(to, True) for to in ("4bit", "4bit-rle", "8bit", "8bit-rle")]


@pytest.mark.parametrize("to,fine", CONVERSIONS)
def test_convert_writes_what_the_tool_writes(tool, photo, tmp_path, to, fine):
    out = kvdib.open(photo).convert(to, fine=fine)
    assert out.to_bytes("bmp") == tool(photo, tmp_path / "ref.bmp", to, fine=fine).read_bytes()
    out.save(tmp_path / "mine.bmp")
    assert (tmp_path / "mine.bmp").read_bytes() == (tmp_path / "ref.bmp").read_bytes()
    if not to.endswith("-rle"):
        out.save(tmp_path / "mine.png")
        ref_png = tool(photo, tmp_path / "ref.png", to, fine=fine)
        assert (tmp_path / "mine.png").read_bytes() == ref_png.read_bytes()


def test_key_color_and_chains_match_the_tool(tool, photo, photo_rgb, tmp_path):
    r, g, b = (int(c) for c in photo_rgb[100, 200])
    key = "%02X%02X%02X" % (r, g, b)
    mask = kvdib.open(photo).convert("1bit", key_color=(r, g, b))
    assert mask.to_bytes() == tool(photo, tmp_path / "key.bmp", "1bit", key_color=key).read_bytes()
    assert kvdib.open(photo).convert("1bit", key_color="#" + key.lower()).to_bytes() == mask.to_bytes()
    # From an 8-bit file on: 256 to 16 colours, RLE and widening, each against the tool.
    eight = tool(photo, tmp_path / "eight.bmp", "8bit")
    for to in ("4bit", "4bit-rle", "8bit-rle", "24bit", "halftone", "1bit"):
        ref = tool(eight, tmp_path / ("from8-" + to + ".bmp"), to)
        assert kvdib.open(eight).convert(to).to_bytes() == ref.read_bytes(), to


def test_files_read_back_exactly(photo, tmp_path):
    img = kvdib.open(photo)
    for to in kvdib.formats:
        out = img.convert(to)
        data = out.to_bytes()
        assert kvdib.from_bytes(data).to_bytes() == data
        assert kvdib.from_bytes(bytearray(data)).to_bytes() == data
        if not to.endswith("-rle"):
            out.save(tmp_path / "x.png")
            back = kvdib.open(tmp_path / "x.png")
            np.testing.assert_array_equal(back.to_numpy(), out.to_numpy())
        out.save(str(tmp_path / "x.DIB"))
        assert (tmp_path / "x.DIB").read_bytes() == data
    assert kvdib.open(photo).to_bytes() == open(photo, "rb").read()


def test_packed_and_rle_files_unpack_exactly(tool, photo, tmp_path):
    # The tool's 1- and 4-bit files, unpacked here bit by bit, and their RLE forms decoded
    # by the library: the same indices and palette.
    for to, rle in (("1bit", None), ("4bit", "4bit-rle"), ("8bit", "8bit-rle")):
        ref_palette, ref_indices = read_bmp(tool(photo, tmp_path / (to + ".bmp"), to))
        images = [kvdib.open(tmp_path / (to + ".bmp"))]
        if rle:
            images.append(kvdib.open(tool(photo, tmp_path / (rle + ".bmp"), rle)))
        for img in images:
            np.testing.assert_array_equal(img.palette, ref_palette)
            np.testing.assert_array_equal(img.indices, ref_indices)
            np.testing.assert_array_equal(img.to_numpy(), ref_palette[ref_indices])
