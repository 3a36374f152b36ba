"""Progress as the library reports it, cancelling from the callback, and the library's
exceptions as kvdib.Error subclasses with their exact messages."""

import struct

import numpy as np
import pytest

import kvdib
from conftest import banded, gradient


def expected_progress(total):
    # Start at 0, one report per step below the total (steps * 100 div total), end at 100.
    return [0] + [step * 100 // total for step in range(1, total)] + [100]


@pytest.mark.parametrize(
    "source,to,total",
    [("24bit", "8bit", 256), ("24bit", "8bit-rle", 256), ("24bit", "4bit", 16), ("8bit", "4bit", 16),
     ("8bit-rle", "4bit-rle", 16)],
)
def test_progress_sequence(source, to, total):
    img = kvdib.from_numpy(banded(40, 64)).convert(source)
    for fine in (False, True):
        seen = []
        img.convert(to, fine=fine, progress=seen.append)
        assert seen == expected_progress(total)


def test_conversions_without_a_reduction_report_nothing():
    img = kvdib.from_numpy(banded(8, 16))
    for source, to in (("24bit", "1bit"), ("24bit", "halftone"), ("8bit", "24bit"), ("8bit", "8bit-rle"),
                       ("24bit", "24bit")):
        seen = []
        img.convert(source).convert(to, progress=seen.append)
        assert seen == []


class Stop(Exception):
    pass


@pytest.mark.parametrize("at", [0, 1, 50, 99])
def test_cancel_leaves_the_image_as_it_was(at, no_leaks):
    img = kvdib.from_numpy(gradient(60, 80))
    before = img.to_bytes()
    view = img.to_numpy()
    seen = []

    def progress(percent):
        seen.append(percent)
        if percent >= at and len(seen) > (at > 0):
            raise Stop(percent)

    with pytest.raises(Stop):
        img.convert("8bit", progress=progress)
    assert seen[-1] >= at and 100 not in seen  # not called again after it raised
    assert img.to_bytes() == before and img.pixel_format == "24bit"
    np.testing.assert_array_equal(view, gradient(60, 80))
    # The image still converts as it would have.
    assert img.convert("8bit").to_bytes() == kvdib.from_numpy(gradient(60, 80)).convert("8bit").to_bytes()


def test_a_raise_at_the_end_still_cancels():
    img = kvdib.from_numpy(gradient(20, 20))

    def progress(percent):
        if percent == 100:
            raise Stop()

    with pytest.raises(Stop):
        img.convert("4bit", progress=progress)
    assert img.pixel_format == "24bit"


LIBRARY_CLASSES = [
    "EKvDIBInvalidDIB", "EKvDIBInvalidDIBFile", "EKvDIBInvalidDIBPara", "EKvDIBBadDIBType",
    "EKvDIBPaletteIndexRange", "EKvDIBPixelPositionRange", "EKvDIBInvalidPalette", "EKvDIBCompressionFailed",
    "EKvDIBAssert", "EOutOfResources", "EOutOfMemory", "EInvalidGraphic", "EStreamError",
]


def test_every_library_class_has_its_python_class():
    for name in LIBRARY_CLASSES:
        cls = getattr(kvdib, name)
        assert issubclass(cls, kvdib.Error) and cls.__module__ == "kvdib" and cls.__name__ == name
        message = "TKvTest.%s: Exact Message" % name
        with pytest.raises(cls) as raised:
            kvdib._kvdib._raise_library_error(name, message)
        assert type(raised.value) is cls and str(raised.value) == message
    assert issubclass(kvdib.FileError, kvdib.Error) and issubclass(kvdib.FileError, OSError)


def bmp(width=4, height=4, bits=24, header_size=40, file_type=b"BM", clr_used=0, pixels=None):
    stride = (width * bits + 31) // 32 * 4
    pixels = bytes(stride * abs(height)) if pixels is None else pixels
    colours = 4 * (clr_used or (1 << bits if bits <= 8 else 0))
    info = struct.pack("<IiiHHIIiiII", header_size, width, height, 1, bits, 0, len(pixels), 0, 0, clr_used, 0)
    offset = 14 + 40 + colours
    head = file_type + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    return head + info + bytes(colours) + pixels


@pytest.mark.parametrize(
    "make,cls,message",
    [
        (lambda: kvdib.from_numpy(np.zeros((2, 0, 3), np.uint8)), "EKvDIBInvalidDIBPara", "TKvDIB.SetWidth: Invalid Width"),
        (lambda: kvdib.from_numpy(np.zeros((0, 2), np.uint8), np.zeros((2, 3), np.uint8)), "EKvDIBInvalidDIBPara",
         "TKvDIB.SetHeight: Invalid Height"),
        # 40000 x 40000 pixels of 24 bits do not fit a block; numpy holds only one pixel.
        (lambda: kvdib.from_numpy(np.broadcast_to(np.zeros(3, np.uint8), (40000, 40000, 3))),
         "EKvDIBInvalidDIBPara", "TKvInternalDIB.CreateDIB: Invalid Parameters"),
        (lambda: kvdib.from_numpy(np.zeros((2, 2), np.uint8), np.zeros((257, 3), np.uint8)),
         "EKvDIBPaletteIndexRange", "TKvDIB.SetColorTable: Palette Index is Out of Range"),
        (lambda: kvdib.from_bytes(bmp(file_type=b"XY")), "EKvDIBInvalidDIBFile",
         "TKvInternalDIB.LoadFromFile: File type is invalid"),
        (lambda: kvdib.from_bytes(bmp(header_size=64)), "EKvDIBInvalidDIB",
         "TKvInternalDIB.LoadFromStream: Invalid Bitmap Header Size"),
        (lambda: kvdib.from_bytes(bmp(width=0)), "EKvDIBInvalidDIB",
         "TKvInternalDIB.LoadFromStream: Invalid Width or Height"),
        (lambda: kvdib.from_bytes(bmp()[:30]), "EStreamError", "Stream read error"),
        # Noise grows under RLE; the library refuses to store it larger than plain.
        (lambda: kvdib.from_numpy(gradient(16, 16)).convert("8bit").convert("8bit-rle"),
         "EKvDIBCompressionFailed", "Convert8BitRGBTo8BitRLE: Compression Failed"),
    ],
)
def test_bad_inputs_raise_the_library_class_and_message(make, cls, message):
    with pytest.raises(getattr(kvdib, cls)) as raised:
        make()
    assert type(raised.value) is getattr(kvdib, cls) and str(raised.value) == message


def test_file_errors(tmp_path):
    with pytest.raises(kvdib.FileError, match="^Cannot open file .*missing.bmp: No such file or directory$"):
        kvdib.open(tmp_path / "missing.bmp")
    (tmp_path / "text.bmp").write_text("hello")
    with pytest.raises(kvdib.FileError, match="^not a BMP, PNG, JPEG, PGM or PPM file$"):
        kvdib.open(tmp_path / "text.bmp")
    img = kvdib.from_numpy(banded(4, 16))
    with pytest.raises(kvdib.FileError, match="^Cannot create file .*/no/such/dir/x.png"):
        img.save(tmp_path / "no" / "such" / "dir" / "x.png")
    assert list(tmp_path.iterdir()) == [tmp_path / "text.bmp"]  # nothing half-written


def test_argument_errors_are_python_errors():
    img = kvdib.from_numpy(banded(4, 16))
    with pytest.raises(ValueError, match="unknown format '9bit'"):
        img.convert("9bit")
    with pytest.raises(ValueError, match="RRGGBB"):
        img.convert("1bit", key_color="white")
    with pytest.raises(ValueError, match="0..255"):
        img.convert("1bit", key_color=(0, 256, 0))
    with pytest.raises(ValueError, match="PNG output cannot hold the RLE format 8bit-rle"):
        img.convert("8bit-rle").save("x.png")
    with pytest.raises(ValueError, match=r"\.bmp, \.dib or \.png"):
        img.save("x.gif")
    with pytest.raises(ValueError, match="colors must be from 2 to 256"):
        kvdib.quantize(banded(4, 4), colors=1)
    with pytest.raises(ValueError, match="'bmp' or 'dib', not 'png'"):
        img.to_bytes("png")


def test_open_refuses_images_beyond_the_pixel_ceiling(tmp_path):
    img = kvdib.from_numpy(banded(40, 30))
    path = tmp_path / "big.bmp"
    img.save(path)
    size = "%d x %d pixels" % (img.width, img.height)
    with pytest.raises(kvdib.FileError, match=size + r".*limit of 1000 pixels"):
        kvdib.open(path, max_pixels=1000)
    assert kvdib.open(path, max_pixels=1200).width == img.width
    assert kvdib.open(path, max_pixels=0).height == img.height
