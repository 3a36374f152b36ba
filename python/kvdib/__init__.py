"""kvdib: device-independent bitmaps, exact colour reduction and format conversion.

Images (1, 4, 8 and 24 bits per pixel, RLE4 and RLE8) as the kvdib image library holds
them, with numpy arrays in and out::

    import kvdib
    img = kvdib.open("photo.jpg")                  # BMP/DIB, PNG or JPEG
    out = img.convert("8bit", fine=True)           # 256 colours by the fine method
    out.save("photo-256.png")                      # indexed PNG (.bmp: the library's BMP)
    idx, pal = kvdib.quantize(rgb_array, colors=16)

Pillow, when installed (no dependency)::

    pil = PIL.Image.fromarray(img.to_numpy())                  # kvdib -> Pillow (RGB)
    img = kvdib.from_numpy(numpy.asarray(pil.convert("RGB")))  # Pillow -> kvdib

Errors of the library are kvdib.Error subclasses named after the library's classes
(kvdib.EKvDIBInvalidDIB, ...), carrying its exact messages; kvdib.FileError covers files,
PNG and JPEG data. batch_convert() is the function to hand to a distributed engine's map.
kvdib.formats lists the conversion targets (the kvdib tool's --to names).
"""

import os as _os

from ._kvdib import (  # noqa: F401
    EInvalidGraphic,
    EKvDIBAssert,
    EKvDIBBadDIBType,
    EKvDIBCompressionFailed,
    EKvDIBInvalidDIB,
    EKvDIBInvalidDIBFile,
    EKvDIBInvalidDIBPara,
    EKvDIBInvalidPalette,
    EKvDIBPaletteIndexRange,
    EKvDIBPixelPositionRange,
    EOutOfMemory,
    EOutOfResources,
    EStreamError,
    Error,
    FileError,
    Image,
    __version__,
    formats,
    from_bytes,
    from_numpy,
    open,
    quantize,
)

Image.__module__ = __name__

_OUTPUT_EXTENSIONS = ("png", "bmp", "dib")


def batch_convert(paths, out_dir, to="8bit", fine=False, ext="png", key_color=None, *, method=None, colors=None,
                  dither=False):
    """Converts every file of paths into out_dir; returns the output paths, in order.

    Each input (BMP/DIB, PNG or JPEG) is opened, converted with Image.convert(to, fine,
    key_color, method=method, colors=colors, dither=dither) and saved as out_dir/<input name without extension>.<ext>, ext being "png",
    "bmp" or "dib". A single path may be given instead of a list. Outputs appear only when
    complete, so a rerun task (as distributed engines do) never leaves a partial file.

    Meant as the function of an engine's map over chunks of a file list, e.g. with Dask:
    ``bag.from_sequence(paths, partition_size=64).map_partitions(kvdib.batch_convert, out)``
    or ``client.map(kvdib.batch_convert, chunks, out_dir=out)``. Raises ValueError before
    converting anything when two inputs would write the same output; the first failing
    input stops the call with its error (its path noted on the exception).
    """
    if isinstance(paths, (str, bytes, _os.PathLike)):
        paths = [paths]
    paths = [_os.fspath(p) for p in paths]
    ext = str(ext).lower().lstrip(".")
    if ext not in _OUTPUT_EXTENSIONS:
        raise ValueError("ext must be one of %s, not %r" % (", ".join(_OUTPUT_EXTENSIONS), ext))
    if to not in formats:
        raise ValueError("unknown format %r (one of %s)" % (to, ", ".join(formats)))
    if ext == "png" and to.endswith("-rle"):
        raise ValueError("PNG output cannot hold the RLE format " + to)
    out_dir = _os.fspath(out_dir)
    targets = []
    seen = {}
    for p in paths:
        name = _os.path.splitext(_os.path.basename(_os.fsdecode(p)))[0] + "." + ext
        target = _os.path.join(_os.fsdecode(out_dir), name)
        if target in seen:
            raise ValueError("%r and %r would both be written to %r" % (seen[target], p, target))
        seen[target] = p
        targets.append(target)
    _os.makedirs(out_dir, exist_ok=True)
    for p, target in zip(paths, targets):
        try:
            open(p).convert(to, fine=fine, key_color=key_color, method=method, colors=colors,
                            dither=dither).save(target)
        except Exception as e:
            e.add_note("while converting %s" % _os.fsdecode(p))
            raise
    return targets
