"""Threads: different images convert in parallel (the interpreter lock is released) with
the results of one-at-a-time conversions; images that share storage stay correct."""

import gc
import threading
from concurrent.futures import ThreadPoolExecutor

import numpy as np

import kvdib
from conftest import banded, gradient

JOBS = [("8bit", False), ("8bit", True), ("4bit", False), ("4bit-rle", True), ("halftone", False), ("1bit", False)]


def test_threads_give_the_one_at_a_time_results():
    sources = [kvdib.from_numpy(gradient(96, 128, seed=s)) for s in range(4)]
    expected = {(s, to, fine): sources[s].convert(to, fine=fine).to_bytes() for s in range(4) for to, fine in JOBS}
    rgb = {s: sources[s].to_numpy(copy=True) for s in range(4)}
    expected_q = {s: kvdib.quantize(rgb[s], fine=True) for s in range(4)}

    def work(key):
        s, to, fine = key
        progress = []
        out = sources[s].convert(to, fine=fine, progress=progress.append).to_bytes()
        idx, pal = kvdib.quantize(rgb[s], fine=True)
        return key, out, idx, pal, progress

    with ThreadPoolExecutor(4) as pool:
        results = list(pool.map(work, list(expected) * 2))
    for (s, to, fine), out, idx, pal, progress in results:
        assert out == expected[(s, to, fine)]
        np.testing.assert_array_equal(idx, expected_q[s][0])
        np.testing.assert_array_equal(pal, expected_q[s][1])
        assert progress == [] or (progress[0] == 0 and progress[-1] == 100)


def test_threads_sharing_one_source():
    # Every thread converts, views and drops images that share the source's storage,
    # while the main thread keeps reading it.
    source = kvdib.from_numpy(banded(64, 96))
    pixels = source.to_numpy(copy=True)
    expected = {to: source.convert(to).to_bytes() for to in ("8bit", "24bit", "8bit-rle", "1bit")}
    stop = threading.Event()
    errors = []

    def work():
        try:
            for _ in range(15):
                for to, data in expected.items():
                    out = source.convert(to)
                    same = out.convert(out.pixel_format)
                    if out.to_bytes() != data or same.to_bytes() != data:
                        errors.append(to)
                    view = same.to_numpy()
                    del out, same
                    if view.shape != pixels.shape:
                        errors.append("shape")
        except Exception as e:  # reported below with the rest
            errors.append(repr(e))

    threads = [threading.Thread(target=work) for _ in range(4)]
    for t in threads:
        t.start()
    while any(t.is_alive() for t in threads):
        np.testing.assert_array_equal(source.to_numpy(), pixels)
        if stop.wait(0.001):
            break
    for t in threads:
        t.join()
    assert errors == []
    gc.collect()
    np.testing.assert_array_equal(source.to_numpy(), pixels)


def test_files_from_threads(tmp_path):
    images = [kvdib.from_numpy(banded(40, 50, seed=s)).convert("8bit") for s in range(6)]

    def work(i):
        images[i].save(tmp_path / ("%d.png" % i))
        images[i].save(tmp_path / ("%d.bmp" % i))
        return kvdib.open(tmp_path / ("%d.bmp" % i)).to_bytes() == images[i].to_bytes()

    with ThreadPoolExecutor(3) as pool:
        assert all(pool.map(work, range(6)))
    assert sorted(p.name for p in tmp_path.iterdir()) == sorted(
        ["%d.%s" % (i, e) for i in range(6) for e in ("png", "bmp")])  # no temporaries left
