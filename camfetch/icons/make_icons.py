#!/usr/bin/env python3
"""Draws camfetch's icons and writes them as .ico files (32-bit images with an AND mask).

  camera.ico   the application: a camera body with its lens
  picture.ico  a stored picture: a framed landscape with a sun
  film.ico     a stored clip: a film strip with sprocket holes
Run from this folder; the .ico files are committed beside it."""
import struct

def camera(x, y, n):
    s = n / 32.0
    X, Y = x / s, y / s
    if 9 <= X < 15 and 6 <= Y < 10: return (60, 60, 60)            # viewfinder hump
    if 2 <= X < 30 and 9 <= Y < 27:
        cx, cy = 16, 18
        d = ((X - cx) ** 2 + (Y - cy) ** 2) ** 0.5
        if d < 4: return (40, 90, 170) if d > 2 else (150, 200, 255)  # lens glass
        if d < 7: return (20, 20, 20)                                 # lens ring
        if 23 <= X < 27 and 11 <= Y < 13: return (250, 200, 60)       # flash
        return (90, 90, 96) if Y > 10 else (60, 60, 60)
    return None

def picture(x, y, n):
    s = n / 16.0
    X, Y = x / s, y / s
    if not (1 <= X < 15 and 2 <= Y < 14): return None
    if X < 2 or X >= 14 or Y < 3 or Y >= 13: return (70, 50, 30)      # frame
    if ((X - 10.5) ** 2 + (Y - 5.5) ** 2) < 2.5: return (255, 210, 40)  # sun
    if Y > 8 + 0.4 * abs(X - 6): return (40, 140, 50)                  # hill
    return (120, 180, 240)                                             # sky

def film(x, y, n):
    s = n / 16.0
    X, Y = x / s, y / s
    if not (3 <= X < 13 and 0 <= Y < 16): return None
    if X < 5 or X >= 11:                                              # edges with holes
        return (255, 255, 255) if (int(Y) % 3 == 1 and (3.5 <= X < 4.5 or 11.5 <= X < 12.5)) else (20, 20, 20)
    if int(Y) % 5 == 0: return (20, 20, 20)                           # gap between frames
    return (180, 140, 90)                                             # frame

def image(draw, n):
    rows = []
    mask_rows = []
    for y in range(n - 1, -1, -1):                                    # bottom-up
        row = b''
        bits = []
        for x in range(n):
            c = draw(x, y, n)
            if c is None:
                row += bytes((0, 0, 0, 0)); bits.append(1)
            else:
                row += bytes((c[2], c[1], c[0], 255)); bits.append(0)
        rows.append(row)
        mb = b''
        for i in range(0, n, 8):
            v = 0
            for b in bits[i:i + 8]: v = (v << 1) | b
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
    open(path, 'wb').write(out + b''.join(images))

write('camera.ico', camera, [32, 16])
write('picture.ico', picture, [16, 32])
write('film.ico', film, [16, 32])
