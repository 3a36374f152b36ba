"""numpy arrays in and out of images: round trips of every format, views over the image's
own pixels, what keeps an image alive, and Pillow."""

import gc
import pickle
import weakref

import numpy as np
import pytest

import kvdib
from conftest import banded, gradient

# Odd widths put padding at the end of every row of every depth.
SHAPES = [(1, 40), (7, 13), (33, 31)]


@pytest.mark.parametrize("h,w", SHAPES + [(1, 1)])
def test_true_colour_round_trip(h, w):
    rgb = gradient(h, w)
    img = kvdib.from_numpy(rgb)
    assert (img.width, img.height, img.bit_count, img.pixel_format) == (w, h, 24, "24bit")
    np.testing.assert_array_equal(img.to_numpy(), rgb)
    np.testing.assert_array_equal(np.asarray(img), rgb)
    np.testing.assert_array_equal(img.to_numpy(copy=True), rgb)
    assert img.palette.shape == (0, 3)
    with pytest.raises(ValueError, match="no palette indices"):
        img.indices


@pytest.mark.parametrize("h,w", SHAPES)
@pytest.mark.parametrize("to", kvdib.formats)
def test_every_format_round_trips_through_numpy(h, w, to):
    out = kvdib.from_numpy(banded(h, w, seed=h)).convert(to)
    rgb = out.to_numpy()
    assert rgb.shape == (h, w, 3) and rgb.dtype == np.uint8
    if out.bit_count == 24:
        np.testing.assert_array_equal(rgb, banded(h, w, seed=h))
        return
    palette, indices = out.palette, out.indices
    assert indices.shape == (h, w) and int(indices.max()) < len(palette) <= 1 << out.bit_count
    np.testing.assert_array_equal(palette[indices], rgb)
    # Back in as an 8-bit image and out to the same storage format: the same pixels.
    back = kvdib.from_numpy(indices, palette)
    assert back.pixel_format == "8bit"
    np.testing.assert_array_equal(back.indices, indices)
    np.testing.assert_array_equal(back.palette, palette)
    np.testing.assert_array_equal(back.to_numpy(), rgb)
    if out.pixel_format in ("8bit", "8bit-rle", "1bit"):
        again = back.convert(out.pixel_format, key_color=tuple(int(c) for c in palette[-1]))
        np.testing.assert_array_equal(again.to_numpy(), rgb)


def test_inputs_of_any_layout():
    rgb = gradient(20, 30)
    for view in (rgb[::2, ::3], rgb[::-1], np.asfortranarray(rgb), rgb[:, :, ::-1][:, :, ::-1]):
        np.testing.assert_array_equal(kvdib.from_numpy(view).to_numpy(), view)
    idx = (np.arange(600).reshape(20, 30) % 5).astype(np.uint8)
    pal = np.array([[0, 0, 0], [255, 0, 0], [0, 255, 0], [0, 0, 255], [9, 8, 7]], np.uint8)
    np.testing.assert_array_equal(kvdib.from_numpy(idx.T, pal).indices, idx.T)
    np.testing.assert_array_equal(kvdib.from_numpy(idx, pal[::-1]).palette, pal[::-1])
    # Lists and other array-likes go through numpy.asarray, but only as uint8.
    with pytest.raises(TypeError, match="uint8"):
        kvdib.from_numpy(rgb.tolist())  # numpy makes int64 of it
    with pytest.raises(TypeError, match="uint8"):
        kvdib.from_numpy(rgb.astype(np.float32))
    with pytest.raises(ValueError, match=r"\(h, w, 3\)"):
        kvdib.from_numpy(rgb[:, :, :2])
    with pytest.raises(ValueError, match="beyond the 5 palette colours"):
        kvdib.from_numpy(idx + 1, pal)


def test_views_are_read_only_and_change_nothing():
    rgb = gradient(9, 11)
    img = kvdib.from_numpy(rgb)
    shared = img.convert("24bit")  # the same format shares the storage
    view = img.to_numpy()
    assert view.base is img and not view.flags.writeable
    with pytest.raises(ValueError):
        view[0, 0, 0] = 1
    with pytest.raises(ValueError):
        view.flags.writeable = True
    mine = img.to_numpy(copy=True)
    assert mine.flags.writeable and mine.flags.c_contiguous and mine.base is None
    mine[:] = 0
    # numpy's protocol: a view where the pixels are held as RGB, a copy only when allowed.
    assert np.asarray(img).base is img and img.__array__(copy=False).base is img
    assert np.asarray(img, dtype=np.float32).dtype == np.float32
    with pytest.raises(ValueError, match="need a copy"):
        img.convert("8bit").__array__(copy=False)
    eight = img.convert("8bit")
    idx = eight.indices
    assert idx.base is eight and not idx.flags.writeable
    with pytest.raises(ValueError):
        idx.flags.writeable = True
    np.testing.assert_array_equal(shared.to_numpy(), rgb)
    np.testing.assert_array_equal(img.to_numpy(), rgb)


def test_a_view_keeps_its_image_alive(no_leaks):
    gc.collect()
    blocks = kvdib._kvdib._pixel_blocks_in_use()
    img = kvdib.from_numpy(gradient(64, 48))
    alive = weakref.ref(img)
    views = [img.to_numpy(), np.asarray(img), img.to_numpy()[10:20, ::-2]]
    eight = img.convert("8bit")
    idx_alive = weakref.ref(eight)
    views.append(eight.indices[::3])
    expected = views[0].copy()
    del img, eight
    gc.collect()
    assert alive() is not None and idx_alive() is not None
    np.testing.assert_array_equal(views[1], expected)
    views.pop(0), views.pop(0)
    gc.collect()
    assert alive() is not None  # the slice still looks into it
    views.pop(0)
    gc.collect()
    assert alive() is None and idx_alive() is not None
    views.clear()
    gc.collect()
    assert idx_alive() is None
    assert kvdib._kvdib._pixel_blocks_in_use() == blocks


def test_shared_storage_lives_until_the_last_image(no_leaks):
    gc.collect()
    blocks = kvdib._kvdib._pixel_blocks_in_use()
    img = kvdib.from_numpy(gradient(16, 16))
    same = img.convert("24bit")
    assert kvdib._kvdib._pixel_blocks_in_use() == blocks + 1  # shared, not copied
    view = same.to_numpy()
    del img, same
    gc.collect()
    assert kvdib._kvdib._pixel_blocks_in_use() == blocks + 1
    np.testing.assert_array_equal(view, gradient(16, 16))
    del view
    gc.collect()
    assert kvdib._kvdib._pixel_blocks_in_use() == blocks


def test_pickle_keeps_the_image_exactly():
    for to in ("24bit", "8bit-rle", "4bit", "1bit"):
        img = kvdib.from_numpy(banded(12, 17)).convert(to)
        back = pickle.loads(pickle.dumps(img))
        assert isinstance(back, kvdib.Image) and back.to_bytes() == img.to_bytes()


def test_pillow_two_liners():
    Image = pytest.importorskip("PIL.Image")
    img = kvdib.from_numpy(gradient(10, 14))
    pil = Image.fromarray(img.to_numpy())
    assert pil.mode == "RGB" and pil.size == (14, 10)
    back = kvdib.from_numpy(np.asarray(pil.convert("RGB")))
    np.testing.assert_array_equal(back.to_numpy(), img.to_numpy())
    # Indexed images keep their palette and indices.
    out = img.convert("4bit")
    pal_img = Image.fromarray(out.indices)
    pal_img.putpalette(out.palette.tobytes())
    assert pal_img.mode == "P"
    np.testing.assert_array_equal(np.asarray(pal_img.convert("RGB")), out.to_numpy())
