"""batch_convert on its own and as the map function of Dask's distributed scheduler on a
local cluster of worker processes."""

import os
import shutil

import numpy as np
import pytest

import kvdib
from conftest import banded, gradient


@pytest.fixture(scope="module")
def folder(tmp_path_factory, photo):
    """A folder of inputs of every kind the package reads."""
    d = tmp_path_factory.mktemp("in")
    shutil.copy(photo, d / "astronaut.bmp")
    big = kvdib.open(photo)
    rgb = big.to_numpy()
    kvdib.from_numpy(rgb[:200, 100:420]).save(d / "crop.png")
    kvdib.from_numpy(rgb[::2, ::3]).convert("8bit").save(d / "small8.png")
    kvdib.from_numpy(banded(90, 130)).convert("8bit-rle").save(d / "bands.bmp")
    kvdib.from_numpy(gradient(70, 50)).convert("4bit").save(d / "grad4.bmp")
    kvdib.from_numpy(gradient(33, 47, seed=3)).save(d / "grad.dib")
    try:
        from PIL import Image

        Image.fromarray(rgb[50:250, 50:300]).save(d / "photo.jpg", quality=90)
    except ImportError:
        pass
    return d


def one_at_a_time(path, out_dir, to, fine, ext):
    target = os.path.join(out_dir, os.path.splitext(os.path.basename(path))[0] + "." + ext)
    kvdib.open(path).convert(to, fine=fine).save(target)
    return target


def test_batch_convert_is_one_at_a_time(folder, tmp_path):
    paths = sorted(str(p) for p in folder.iterdir())
    for to, fine, ext in (("8bit", False, "png"), ("4bit-rle", True, "bmp")):
        got = kvdib.batch_convert(paths, tmp_path / "batch", to=to, fine=fine, ext=ext)
        assert [os.path.basename(p) for p in got] == [os.path.splitext(os.path.basename(p))[0] + "." + ext
                                                      for p in paths]
        for p, out in zip(paths, got):
            ref = one_at_a_time(p, tmp_path, to, fine, ext)
            assert open(out, "rb").read() == open(ref, "rb").read()
    single = kvdib.batch_convert(paths[0], tmp_path / "single", to="1bit")
    assert single == [os.path.join(str(tmp_path / "single"), os.path.splitext(os.path.basename(paths[0]))[0] + ".png")]


def test_batch_convert_refuses_before_it_starts(folder, tmp_path):
    a = str(folder / "grad4.bmp")
    os.makedirs(tmp_path / "other")
    b = shutil.copy(a, tmp_path / "other" / "grad4.bmp")
    out = tmp_path / "out"
    with pytest.raises(ValueError, match="would both be written"):
        kvdib.batch_convert([a, b], out)
    with pytest.raises(ValueError, match="PNG output cannot hold the RLE format 8bit-rle"):
        kvdib.batch_convert([a], out, to="8bit-rle")
    with pytest.raises(ValueError, match="ext must be one of"):
        kvdib.batch_convert([a], out, ext="gif")
    with pytest.raises(ValueError, match="unknown format"):
        kvdib.batch_convert([a], out, to="7bit")
    assert not out.exists()
    # A bad input stops the call with the library's error, its path noted.
    bad = tmp_path / "bad.bmp"
    bad.write_bytes(b"BM" + bytes(60))
    with pytest.raises(kvdib.Error) as raised:
        kvdib.batch_convert([a, bad], out)
    assert any(str(bad) in note for note in raised.value.__notes__)
    assert sorted(os.listdir(out)) == ["grad4.png"]


def test_dask_distributed_local_cluster(folder, tmp_path):
    distributed = pytest.importorskip("distributed")
    paths = sorted(str(p) for p in folder.iterdir())
    chunks = [paths[i : i + 2] for i in range(0, len(paths), 2)]
    out = str(tmp_path / "dask")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=2, processes=True, dashboard_address=None) as cluster:
        with distributed.Client(cluster) as client:
            futures = client.map(kvdib.batch_convert, chunks, out_dir=out, to="8bit", fine=True, ext="png")
            results = [p for chunk in client.gather(futures) for p in chunk]
            worker_pids = set(client.run(os.getpid).values())
    assert os.getpid() not in worker_pids and len(worker_pids) == 2
    assert len(results) == len(paths) == len(os.listdir(out))
    for p, got in zip(paths, results):
        ref = one_at_a_time(p, str(tmp_path), "8bit", True, "png")
        assert open(got, "rb").read() == open(ref, "rb").read()
        np.testing.assert_array_equal(kvdib.open(got).to_numpy(), kvdib.open(p).convert("8bit", fine=True).to_numpy())


def test_the_dask_example_runs(folder, tmp_path):
    pytest.importorskip("distributed")
    import subprocess
    import sys

    from conftest import SOURCE_DIR

    example = os.path.join(SOURCE_DIR, "examples", "dask_batch.py")
    run = subprocess.run([sys.executable, example, str(folder), str(tmp_path / "out"), "--to", "4bit", "--chunk", "3"],
                         capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    n = len(os.listdir(folder))
    assert "%d files written" % n in run.stdout and sorted(os.listdir(tmp_path / "out")) == sorted(
        os.path.splitext(p)[0] + ".png" for p in os.listdir(folder))
