#!/usr/bin/env python3
"""Converts a folder of images with kvdib on Dask's distributed scheduler.

    PYTHONPATH=build/python python3 examples/dask_batch.py IN_DIR OUT_DIR [--to 8bit] [--fine]
        [--ext png] [--scheduler tcp://HOST:8786] [--chunk 16]

Without --scheduler it starts a local cluster of worker processes on this machine; with
one it sends the same work to a running cluster (`dask-scheduler` on one machine,
`dask-worker tcp://HOST:8786` on each of the others, every one with kvdib importable and
IN_DIR and OUT_DIR on a shared file system). Each task is kvdib.batch_convert over a chunk
of the file list; outputs appear only when complete, so a task the scheduler reruns after a
lost worker leaves nothing half-written.
"""

import argparse
import os
import sys

from dask.distributed import Client, LocalCluster, as_completed

import kvdib

READABLE = (".bmp", ".dib", ".png", ".jpg", ".jpeg")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("in_dir")
    parser.add_argument("out_dir")
    parser.add_argument("--to", default="8bit", choices=kvdib.formats)
    parser.add_argument("--fine", action="store_true")
    parser.add_argument("--ext", default="png", choices=("png", "bmp", "dib"))
    parser.add_argument("--scheduler", help="address of a running scheduler (default: a local cluster)")
    parser.add_argument("--chunk", type=int, default=16, help="files per task")
    args = parser.parse_args()

    paths = sorted(
        os.path.join(args.in_dir, name)
        for name in os.listdir(args.in_dir)
        if name.lower().endswith(READABLE)
    )
    chunks = [paths[i : i + args.chunk] for i in range(0, len(paths), args.chunk)]
    if args.scheduler:
        client = Client(args.scheduler)
    else:
        client = Client(LocalCluster(processes=True, threads_per_worker=1, dashboard_address=None))
    with client:
        futures = client.map(
            kvdib.batch_convert, chunks, out_dir=args.out_dir, to=args.to, fine=args.fine, ext=args.ext
        )
        done = failed = 0
        for future in as_completed(futures):
            try:
                done += len(future.result())
            except Exception as e:  # one bad file fails its chunk; report it and go on
                failed += 1
                print("failed: %s %s" % (e, " ".join(getattr(e, "__notes__", []))), file=sys.stderr)
        print("%d files written to %s, %d chunks failed" % (done, args.out_dir, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
