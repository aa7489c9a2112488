"""Reads the pixels of an 8-bit RGB or RGBA PNG, such as a browser's screenshot, with the
standard library alone, so that the browser tests need no imaging package.

    image = png_pixels.read("shot.png")
    r, g, b = image.pixel(x, y)
"""

import struct
import zlib

SIGNATURE = b"\x89PNG\r\n\x1a\n"


class PngError(ValueError):
    pass


class Image:
    def __init__(self, width, height, channels, rows):
        self.width = width
        self.height = height
        self.channels = channels
        self.rows = rows

    def pixel(self, x, y):
        """(r, g, b) at column x, row y; alpha, where there is one, is left out."""
        if not (0 <= x < self.width and 0 <= y < self.height):
            raise IndexError(f"pixel ({x}, {y}) outside {self.width} x {self.height}")
        offset = x * self.channels
        row = self.rows[y]
        return row[offset], row[offset + 1], row[offset + 2]


def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def _unfilter(data, width, height, channels):
    stride = width * channels
    rows = []
    previous = bytearray(stride)
    position = 0
    for y in range(height):
        if position + 1 + stride > len(data):
            raise PngError(f"image data ends at row {y} of {height}")
        kind = data[position]
        row = bytearray(data[position + 1:position + 1 + stride])
        position += 1 + stride
        if kind == 1:
            for i in range(channels, stride):
                row[i] = (row[i] + row[i - channels]) & 0xFF
        elif kind == 2:
            for i in range(stride):
                row[i] = (row[i] + previous[i]) & 0xFF
        elif kind == 3:
            for i in range(stride):
                left = row[i - channels] if i >= channels else 0
                row[i] = (row[i] + ((left + previous[i]) >> 1)) & 0xFF
        elif kind == 4:
            for i in range(stride):
                left = row[i - channels] if i >= channels else 0
                upper_left = previous[i - channels] if i >= channels else 0
                row[i] = (row[i] + _paeth(left, previous[i], upper_left)) & 0xFF
        elif kind != 0:
            raise PngError(f"unknown filter type {kind} in row {y}")
        rows.append(row)
        previous = row
    return rows


def decode(blob):
    if not blob.startswith(SIGNATURE):
        raise PngError("not a PNG file (no signature)")
    position = len(SIGNATURE)
    header = None
    compressed = bytearray()
    while position + 8 <= len(blob):
        length, kind = struct.unpack(">I4s", blob[position:position + 8])
        body = blob[position + 8:position + 8 + length]
        if len(body) != length:
            raise PngError(f"chunk {kind!r} is cut short")
        position += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            compressed += body
        elif kind == b"IEND":
            break
    if header is None:
        raise PngError("no IHDR chunk")
    width, height, depth, colour, _, _, interlace = header
    channels = {2: 3, 6: 4}.get(colour)
    if depth != 8 or channels is None:
        raise PngError(f"only 8-bit RGB and RGBA are read (bit depth {depth}, colour type {colour})")
    if interlace:
        raise PngError("interlaced PNGs are not read")
    try:
        data = zlib.decompress(bytes(compressed))
    except zlib.error as error:
        raise PngError(f"image data do not inflate: {error}") from None
    return Image(width, height, channels, _unfilter(data, width, height, channels))


def read(path):
    with open(path, "rb") as file:
        return decode(file.read())
