"""Draw Windows metafiles (EMF, WMF, placeable WMF, and their gzip-compressed
.emz/.wmz forms) into NumPy arrays, anti-aliased, turned and cropped.

    import vellora
    pixels = vellora.render("chart.emf", width=800)      # (h, w, 4) uint8, RGBA
    vellora.info("chart.emf")["size"]                   # natural size at 96 dpi
    vellora.to_image("chart.emf", background="white")   # a PIL image, if PIL is there

Every call is independent and may run on many threads at once; the library
releases the GIL while it draws (ctypes calls do).
"""
import ctypes
import ctypes.util
import math
import os
import zlib

from ._library import load_library

__all__ = ["render", "info", "to_image", "VelloraError", "MAX_WIDTH", "MAX_HEIGHT", "MAX_AREA"]

MAX_WIDTH = 32767      # widest target the library draws
MAX_HEIGHT = 1048576   # tallest
MAX_AREA = 33554432    # (width + 1) * (height + 1) at most
_MAX_DATA = 1 << 30    # the library's file limit, also for inflated data

_FORMATS = {1: "EMF", 2: "WMF", 3: "placeable WMF"}


class VelloraError(Exception):
    """A call the library refused; `status` is its VELLORA_ERROR_* code."""

    def __init__(self, status, message):
        super().__init__(message)
        self.status = status


class _RECT(ctypes.Structure):
    _fields_ = [("left", ctypes.c_int32), ("top", ctypes.c_int32),
                ("right", ctypes.c_int32), ("bottom", ctypes.c_int32)]


class _Placeable(ctypes.Structure):
    _fields_ = [("left", ctypes.c_int16), ("top", ctypes.c_int16), ("right", ctypes.c_int16),
                ("bottom", ctypes.c_int16), ("unitsPerInch", ctypes.c_uint16)]


_lib = None


def _library():
    global _lib
    if _lib is not None:
        return _lib
    lib = load_library()
    P = ctypes.c_void_p
    sigs = {
        "VelloraStatusMessage": (ctypes.c_char_p, [ctypes.c_int]),
        "VelloraOpenFile": (ctypes.c_int, [ctypes.c_char_p, ctypes.POINTER(P)]),
        "VelloraOpenMemory": (ctypes.c_int, [ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(P)]),
        "VelloraClosePicture": (None, [P]),
        "VelloraPictureFormat": (ctypes.c_int, [P]),
        "VelloraPictureAspect": (ctypes.c_float, [P]),
        "VelloraPictureSize": (ctypes.c_int, [P, ctypes.c_double, ctypes.POINTER(ctypes.c_int),
                                              ctypes.POINTER(ctypes.c_int)]),
        "VelloraPicturePlaceableHeader": (ctypes.c_int, [P, ctypes.POINTER(_Placeable)]),
        "VelloraCreateBitmapDC": (P, [P, ctypes.c_int, ctypes.c_int, ctypes.c_int]),
        "VelloraDeleteDC": (None, [P]),
        "VelloraDrawPicture": (ctypes.c_int, [P, P, ctypes.POINTER(_RECT), ctypes.c_int32,
                                              ctypes.c_int32, ctypes.c_double, ctypes.c_double,
                                              ctypes.c_double, ctypes.c_double, ctypes.c_double]),
    }
    for name, (res, args) in sigs.items():
        f = getattr(lib, name)
        f.restype, f.argtypes = res, args
    _lib = lib
    return lib


def _check(status):
    if status:
        raise VelloraError(status, _library().VelloraStatusMessage(status).decode())


def _inflate(data):
    # gzip members one after another, as office suites write .emz/.wmz; never
    # more than the library's limit, nor a ratio no metafile compresses to.
    limit = min(_MAX_DATA, max(16 << 20, 200 * len(data)))
    out, rest = [], data
    size = 0
    while rest[:2] == b"\x1f\x8b":
        d = zlib.decompressobj(16 + zlib.MAX_WBITS)
        chunk = d.decompress(rest, limit - size + 1)
        size += len(chunk)
        if size > limit or d.unconsumed_tail:
            raise VelloraError(4, "the compressed data inflates beyond the limit")
        if not d.eof:
            raise VelloraError(3, "the compressed data is truncated")
        out.append(chunk)
        rest = d.unused_data
    return b"".join(out)


class _Picture:
    def __init__(self, source):
        lib = _library()
        handle = ctypes.c_void_p()
        if isinstance(source, (bytes, bytearray, memoryview)):
            data = bytes(source)
        else:
            with open(os.fspath(source), "rb") as f:
                data = f.read(_MAX_DATA + 1)
        if data[:2] == b"\x1f\x8b":
            data = _inflate(data)
        if len(data) > _MAX_DATA:
            raise VelloraError(4, lib.VelloraStatusMessage(4).decode())
        _check(lib.VelloraOpenMemory(data, len(data), ctypes.byref(handle)))
        self.handle = handle

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        _library().VelloraClosePicture(self.handle)
        self.handle = None

    def natural_size(self, dpi):
        w, h = ctypes.c_int(), ctypes.c_int()
        _check(_library().VelloraPictureSize(self.handle, float(dpi), ctypes.byref(w), ctypes.byref(h)))
        return w.value, h.value


def _fits(w, h):
    return 1 <= w <= MAX_WIDTH and 1 <= h <= MAX_HEIGHT and (w + 1) * (h + 1) <= MAX_AREA


def _scale_into_limits(fw, fh):
    # One common factor, rounded down, as the command does.
    s = min(1.0, MAX_WIDTH / fw, MAX_HEIGHT / fh)
    if (s * fw + 1) * (s * fh + 1) > MAX_AREA:
        b, a = fw + fh, fw * fh
        s = min(s, (math.sqrt(b * b + 4 * a * (MAX_AREA - 1)) - b) / (2 * a))
    w, h = max(1, math.floor(s * fw)), max(1, math.floor(s * fh))
    while not _fits(w, h):
        if w >= h and w > 1:
            w -= 1
        else:
            h -= 1
    return w, h


def _output_size(pic, width, height, dpi, crop):
    cw, ch = crop[2] - crop[0], crop[3] - crop[1]
    aspect = abs(_library().VelloraPictureAspect(pic.handle)) * cw / ch
    if width is not None and height is not None:
        w, h = int(width), int(height)
        if not _fits(w, h):
            raise VelloraError(6, "%d x %d pixels is more than the library draws at once" % (w, h))
        return w, h
    if width is not None or height is not None:
        if not (aspect > 0 and math.isfinite(aspect)):
            raise VelloraError(10, "the picture has no aspect ratio; give both width and height")
        fw = float(width) if width is not None else max(1.0, round(height * aspect))
        fh = float(height) if height is not None else max(1.0, round(width / aspect))
    else:
        nw, nh = pic.natural_size(dpi)
        fw, fh = max(1.0, round(nw * cw)), max(1.0, round(nh * ch))
    if fw < 1 or fh < 1:
        raise VelloraError(6, "the size must be at least 1 x 1 pixels")
    if not _fits(int(fw), int(fh)):
        return _scale_into_limits(fw, fh)
    return int(fw), int(fh)


def _colour(background):
    if background is None:
        return None
    if isinstance(background, str):
        s = background.strip().lower()
        named = {"white": (255, 255, 255), "black": (0, 0, 0), "transparent": None}
        if s in named:
            rgb = named[s]
            return None if rgb is None else rgb + (255,)
        if s.startswith("#") and len(s) in (7, 9):
            v = [int(s[i:i + 2], 16) for i in range(1, len(s), 2)]
            return tuple(v) + ((255,) if len(v) == 3 else ())
        raise ValueError("background: #rrggbb, #rrggbbaa, white, black, transparent or a tuple")
    t = tuple(int(c) for c in background)
    if len(t) == 3:
        t += (255,)
    if len(t) != 4 or not all(0 <= c <= 255 for c in t):
        raise ValueError("background: a tuple of 3 or 4 values 0..255")
    return None if t[3] == 0 else t


def _to_output(bgra, bg):
    import numpy as np
    b, g, r, a = (bgra[..., i].astype(np.uint32) for i in range(4))
    if bg is None:
        # Straight colour, rounded to nearest, as PNG files hold it.
        safe = np.where(a == 0, 1, a)
        un = lambda c: np.where(a == 0, 0, np.minimum(255, (c * 255 + safe // 2) // safe))
        return np.stack([un(r), un(g), un(b), a], axis=-1).astype(np.uint8)
    rest = 255 - a
    if bg[3] == 255:
        over = lambda c, k: np.minimum(255, (c * 255 + k * rest + 127) // 255)
        return np.stack([over(r, bg[0]), over(g, bg[1]), over(b, bg[2])], axis=-1).astype(np.uint8)
    af, ba = a / 255.0, bg[3] / 255.0
    out_a = af + ba * (1.0 - af)
    def chan(c, k):
        pre = c / 255.0 + k / 255.0 * ba * (1.0 - af)
        v = np.where(out_a > 0, pre / np.where(out_a > 0, out_a, 1) * 255.0, 0.0)
        return np.minimum(255.0, np.floor(v + 0.5))
    return np.stack([chan(r, bg[0]), chan(g, bg[1]), chan(b, bg[2]), np.floor(out_a * 255.0 + 0.5)],
                    axis=-1).astype(np.uint8)


def render(source, width=None, height=None, dpi=96, angle=0, crop=None, key=255, background=None):
    """Draws a metafile (a path, or its bytes) and returns a NumPy array.

    width, height: pixels; one alone keeps the picture's aspect ratio; neither
    gives the natural size at `dpi` (scaled down to what the library draws at
    once when larger). angle: degrees, counterclockwise, about the middle; what
    turns outside is cut off. crop: (x0, y0, x1, y1) fractions of the picture.
    key: the alpha of painted pixels (255 opaque). background: None for a
    transparent (h, w, 4) RGBA array with straight alpha; an opaque colour
    ("white", "#rrggbb", (r, g, b)) gives an (h, w, 3) RGB array.
    Raises VelloraError with the library's reason when nothing can be drawn.
    """
    import numpy as np
    c = tuple(float(v) for v in (crop or (0.0, 0.0, 1.0, 1.0)))
    if len(c) != 4:
        raise ValueError("crop: four fractions (x0, y0, x1, y1)")
    lo_x, hi_x = sorted(c[0::2])
    lo_y, hi_y = sorted(c[1::2])
    c = (max(0.0, lo_x), max(0.0, lo_y), min(1.0, hi_x), min(1.0, hi_y))
    if not (c[2] > c[0] and c[3] > c[1]):
        raise VelloraError(7, _library().VelloraStatusMessage(7).decode())
    bg = _colour(background)
    lib = _library()
    with _Picture(source) as pic:
        w, h = _output_size(pic, width, height, dpi, c)
        pixels = np.zeros((h, w, 4), dtype=np.uint8)
        dc = lib.VelloraCreateBitmapDC(pixels.ctypes.data, w, h, w * 4)
        if not dc:
            raise VelloraError(8, lib.VelloraStatusMessage(8).decode())
        try:
            rect = _RECT(0, 0, w - 1, h - 1)
            _check(lib.VelloraDrawPicture(dc, pic.handle, ctypes.byref(rect), int(key) & 0xFF, 0,
                                          math.radians(angle), *c))
        finally:
            lib.VelloraDeleteDC(dc)
    return _to_output(pixels, bg)


def to_image(source, **options):
    """render() as a PIL image (RGBA, or RGB over an opaque background)."""
    from PIL import Image
    return Image.fromarray(render(source, **options))


def info(source, dpi=96):
    """What the picture's headers say: format, aspect ratio, natural size at
    `dpi` (None for an empty frame), and a placeable WMF's header."""
    lib = _library()
    with _Picture(source) as pic:
        out = {"format": _FORMATS.get(lib.VelloraPictureFormat(pic.handle), "unknown"),
               "aspect": lib.VelloraPictureAspect(pic.handle), "dpi": dpi}
        try:
            out["size"] = pic.natural_size(dpi)
        except VelloraError:
            out["size"] = None
        ph = _Placeable()
        if lib.VelloraPicturePlaceableHeader(pic.handle, ctypes.byref(ph)) == 0:
            out["placeable"] = {"bbox": (ph.left, ph.top, ph.right, ph.bottom),
                                "units_per_inch": ph.unitsPerInch}
        return out
