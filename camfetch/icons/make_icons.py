#!/usr/bin/env python3
"""Draws the programs' icons and writes them as .ico files (32-bit images with an AND mask).

  camera.ico               camfetch: a camera body with its lens
  picture.ico              a stored picture: a framed landscape with a sun
  film.ico                 a stored clip: a film strip with sprocket holes
  ../../camflash/camflash.ico  camflash: a camera with a lightning bolt across its lens

Each icon carries one image per size Windows asks for at the usual scalings: the list's
small icons at 100%, 125%, 150% and 200% (16, 20, 24 and 32 pixels), and the application
icons also at the large-icon sizes up to 200% (40, 48 and 64). Every image is drawn at its own
size from the shapes, each pixel sampled 4 by 4 times, so none is a stretched copy of another.
Run from this folder; the .ico files are committed."""
import struct

SMALL_SIZES = [16, 20, 24, 32]
APP_SIZES = [16, 20, 24, 32, 40, 48, 64]
SAMPLES = 4  # per pixel and axis


def camera(X, Y):  # X, Y in 32ths of the icon
    if 9 <= X < 15 and 6 <= Y < 10: return (60, 60, 60)             # viewfinder hump
    if 2 <= X < 30 and 9 <= Y < 27:
        d = ((X - 16) ** 2 + (Y - 18) ** 2) ** 0.5
        if d < 4: return (40, 90, 170) if d > 2 else (150, 200, 255)  # lens glass
        if d < 7: return (20, 20, 20)                                 # lens ring
        if 23 <= X < 27 and 11 <= Y < 13: return (250, 200, 60)       # flash
        return (90, 90, 96) if Y > 10 else (60, 60, 60)
    return None
camera.units = 32


def picture(X, Y):  # in 16ths
    if not (1 <= X < 15 and 2 <= Y < 14): return None
    if X < 2 or X >= 14 or Y < 3 or Y >= 13: return (70, 50, 30)      # frame
    if ((X - 10.5) ** 2 + (Y - 5.5) ** 2) < 2.5: return (255, 210, 40)  # sun
    if Y > 8 + 0.4 * abs(X - 6): return (40, 140, 50)                  # hill
    return (120, 180, 240)                                             # sky
picture.units = 16


def film(X, Y):  # in 16ths
    if not (3 <= X < 13 and 0 <= Y < 16): return None
    if X < 5 or X >= 11:                                              # edges with holes
        hole = int(Y) % 3 == 1 and (3.5 <= X < 4.5 or 11.5 <= X < 12.5)
        return (255, 255, 255) if hole else (20, 20, 20)
    if int(Y) % 5 == 0: return (20, 20, 20)                           # gap between frames
    return (180, 140, 90)                                             # frame
film.units = 16


BOLT = [(21, 1), (8, 18), (14.5, 18), (10, 31.5), (25.5, 12), (19, 12), (26, 1)]


def inside(polygon, x, y):
    result = False
    for (x1, y1), (x2, y2) in zip(polygon, polygon[1:] + polygon[:1]):
        if (y1 > y) != (y2 > y) and x < x1 + (y - y1) * (x2 - x1) / (y2 - y1):
            result = not result
    return result


def edge_distance(polygon, x, y):
    best = 1e9
    for (x1, y1), (x2, y2) in zip(polygon, polygon[1:] + polygon[:1]):
        dx, dy = x2 - x1, y2 - y1
        t = max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / (dx * dx + dy * dy)))
        best = min(best, ((x - x1 - t * dx) ** 2 + (y - y1 - t * dy) ** 2) ** 0.5)
    return best


def flash(X, Y):  # camflash, in 32ths
    if inside(BOLT, X, Y):
        return (90, 60, 0) if edge_distance(BOLT, X, Y) < 0.9 else (250, 205, 30)
    d = ((X - 16) ** 2 + (Y - 18.5) ** 2) ** 0.5
    if d < 4.2: return (40, 60, 100)                                  # lens glass
    if d < 6.2: return (200, 220, 240)                                # lens ring
    if 2 <= X < 30 and 9 <= Y < 28:                                   # body, corners rounded
        ex, ey = max(0, 4 - min(X - 2, 30 - X)), max(0, 4 - min(Y - 9, 28 - Y))
        if ex * ex + ey * ey < 16: return (40, 70, 120)
    if 6 <= X < 14 and 6 <= Y < 10: return (40, 70, 120)              # viewfinder hump
    return None
flash.units = 32


def image(draw, n):
    """One BITMAPINFOHEADER image of n by n pixels: colour with alpha, then the AND mask."""
    rows, mask_rows = [], []
    for y in range(n - 1, -1, -1):                                    # bottom-up
        row, bits = b'', []
        for x in range(n):
            r = g = b = covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    X = (x + (sx + 0.5) / SAMPLES) * draw.units / n
                    Y = (y + (sy + 0.5) / SAMPLES) * draw.units / n
                    c = draw(X, Y)
                    if c is not None:
                        r, g, b, covered = r + c[0], g + c[1], b + c[2], covered + 1
            if covered == 0:
                row += bytes((0, 0, 0, 0)); bits.append(1)
            else:
                alpha = round(255 * covered / SAMPLES ** 2)
                row += bytes((b // covered, g // covered, r // covered, alpha)); bits.append(0)
        rows.append(row)
        mb = b''
        for i in range(0, n, 8):
            v = 0
            for bit in bits[i:i + 8]: v = (v << 1) | bit
            v <<= 8 - len(bits[i:i + 8])
            mb += bytes((v,))
        mb += b'\0' * ((4 - len(mb) % 4) % 4)
        mask_rows.append(mb)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b''.join(rows) + b''.join(mask_rows)


def write(path, draw, sizes):
    images = [image(draw, n) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


write('camera.ico', camera, APP_SIZES)
write('picture.ico', picture, SMALL_SIZES)
write('film.ico', film, SMALL_SIZES)
write('../../camflash/camflash.ico', flash, APP_SIZES)
