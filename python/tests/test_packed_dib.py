"""Packed DIBs (the clipboard's CF_DIB layout) as bytes: to_bytes("dib") and from_bytes()."""

import struct

import numpy as np
import pytest

import kvdib
from conftest import banded, gradient


def images():
    rgb = kvdib.from_numpy(banded(6, 21))
    eight = rgb.convert("8bit")
    return [rgb, eight, eight.convert("8bit-rle"), rgb.convert("4bit"), rgb.convert("4bit-rle"), rgb.convert("1bit")]


@pytest.mark.parametrize("index", range(6))
def test_a_packed_dib_is_the_bmp_file_without_its_file_header(index, no_leaks):
    img = images()[index]
    dib = img.to_bytes("dib")
    bmp = img.to_bytes("bmp")
    assert dib == bmp[14:]
    size, width, height, _, bits = struct.unpack_from("<IiiHH", dib)
    assert (size, width, abs(height), bits) == (40, img.width, img.height, img.bit_count)
    back = kvdib.from_bytes(dib)
    assert back.pixel_format == img.pixel_format
    assert back.to_bytes("bmp") == bmp
    assert kvdib.from_bytes(memoryview(bytearray(dib))).to_bytes("dib") == dib
    np.testing.assert_array_equal(back.to_numpy(), img.to_numpy())


def test_a_core_header_and_bit_fields_are_read():
    # 2 x 1 pixels of 24 bits behind a 12-byte header: blue, green, red, then row padding.
    core = struct.pack("<IHHHH", 12, 2, 1, 1, 24) + bytes([1, 2, 3, 4, 5, 6, 0, 0])
    img = kvdib.from_bytes(core)
    assert img.pixel_format == "24bit"
    np.testing.assert_array_equal(img.to_numpy(), [[[3, 2, 1], [6, 5, 4]]])
    # 16 bits 5-6-5 with BI_BITFIELDS: the masks in front of the (empty) table.
    head = struct.pack("<IiiHHIIiiII", 40, 1, 1, 1, 16, 3, 0, 0, 0, 0, 0)
    img = kvdib.from_bytes(head + struct.pack("<III", 0xF800, 0x07E0, 0x001F) + bytes([0xFF, 0xFF, 0, 0]))
    np.testing.assert_array_equal(img.to_numpy(), [[[248, 252, 248]]])


def test_refused_packed_dibs_raise_the_library_message(no_leaks):
    dib = kvdib.from_numpy(gradient(4, 4)).to_bytes("dib")
    for data, message in [
        (dib[:-1], "TKvDIB.LoadFromClipboardFormat: Invalid Clipboard Data"),
        (dib[:20], "TKvDIB.LoadFromClipboardFormat: Invalid Clipboard Data"),
        (dib[:4] + struct.pack("<i", 0) + dib[8:], "TKvInternalDIB.LoadFromStream: Invalid Width or Height"),
        (dib[:14] + struct.pack("<H", 2) + dib[16:], "TKvInternalDIB.LoadFromClipboardFormat: Invalid biBitCount"),
    ]:
        with pytest.raises(kvdib.EKvDIBInvalidDIB) as raised:
            kvdib.from_bytes(data)
        assert str(raised.value) == message
    # Neither "BM" nor a header size: taken for a BMP file, which it is not.
    with pytest.raises(kvdib.EKvDIBInvalidDIBFile):
        kvdib.from_bytes(struct.pack("<I", 108) + dib[4:])
    with pytest.raises(ValueError, match="'bmp' or 'dib', not 'png'"):
        kvdib.from_bytes(dib).to_bytes("png")
