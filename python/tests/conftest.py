"""Shared fixtures of the kvdib package tests.

The references come from outside the package: the kvdib tool (KVDIB_TOOL) converts files
with the same library, and a small BMP reader here parses them without the package.
"""

import os
import struct
import subprocess

import numpy as np
import pytest

import kvdib

SOURCE_DIR = os.environ.get("KVDIB_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
PHOTO = os.path.join(SOURCE_DIR, "examples", "astronaut.bmp")


def read_bmp(path):
    """(palette (n, 3) RGB or None, pixels): an uncompressed 1/4/8-bit BMP gives (h, w) indices,
    a 24-bit one (h, w, 3) RGB; rows top first. Only what the library's writer produces."""
    data = open(path, "rb").read()
    assert data[:2] == b"BM"
    offset = struct.unpack_from("<I", data, 10)[0]
    size, width, height, _, bits, compression = struct.unpack_from("<IiiHHI", data, 14)
    used = struct.unpack_from("<I", data, 46)[0]
    assert size == 40 and compression == 0
    palette = None
    if bits <= 8:
        n = used or (1 << bits)
        quads = np.frombuffer(data, np.uint8, 4 * n, 14 + 40).reshape(n, 4)
        palette = quads[:, 2::-1].copy()
    stride = (width * bits + 31) // 32 * 4
    rows = np.frombuffer(data, np.uint8, stride * abs(height), offset).reshape(abs(height), stride)
    if height > 0:
        rows = rows[::-1]
    if bits == 24:
        return None, rows[:, : 3 * width].reshape(-1, width, 3)[:, :, ::-1].copy()
    per_byte = 8 // bits
    shifts = np.array([8 - bits * (i + 1) for i in range(per_byte)], np.uint8)
    unpacked = (rows[:, :, None] >> shifts) & ((1 << bits) - 1)
    return palette, unpacked.reshape(rows.shape[0], -1)[:, :width].astype(np.uint8)


@pytest.fixture(scope="session")
def tool():
    path = os.environ.get("KVDIB_TOOL")
    if not path or not os.access(path, os.X_OK):
        pytest.skip("KVDIB_TOOL does not name the kvdib tool (run through ctest)")

    def run(src, dst, to, fine=False, key_color=None):
        args = [path, "convert", str(src), str(dst), "--to", to, "--quiet"]
        if fine:
            args.append("--fine")
        if key_color:
            args += ["--key-color", key_color]
        subprocess.run(args, check=True)
        return dst

    return run


@pytest.fixture(scope="session")
def photo():
    if not os.path.exists(PHOTO):
        pytest.skip("the bundled photograph %s is missing" % PHOTO)
    return PHOTO


@pytest.fixture(scope="session")
def photo_rgb(photo):
    return read_bmp(photo)[1]


@pytest.fixture
def no_leaks():
    """Fails a test after which the library holds more pixel blocks than before."""
    import gc

    gc.collect()
    before = kvdib._kvdib._pixel_blocks_in_use()
    yield
    gc.collect()
    assert kvdib._kvdib._pixel_blocks_in_use() == before


def gradient(h, w, seed=0):
    """A smooth colour image with noise: many colours, like a photograph."""
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:h, 0:w]
    rgb = np.stack([x * 255 // max(w - 1, 1), y * 255 // max(h - 1, 1), (x + y) * 127 // max(h + w - 2, 1)], -1)
    return np.clip(rgb + rng.integers(-8, 9, rgb.shape), 0, 255).astype(np.uint8)


def banded(h, w, seed=0):
    """Runs of 8 pixels in 40 colours: content that RLE encoding makes smaller."""
    colours = np.random.default_rng(seed).integers(0, 256, (40, 3)).astype(np.uint8)
    y, x = np.mgrid[0:h, 0:w]
    return colours[(x // 8 + y // 3) % len(colours)]
