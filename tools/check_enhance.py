#!/usr/bin/python3
"""Independent check of an enhancement: builds the colour of every pixel
value 0..255 from the enhancement file's temperatures and values (infrared
scale of AREA/AWIPS data) and the colour table, applies it to an image with
numpy, and writes the coloured image as PPM with PIL.

  tools/check_enhance.py ZYR_CLR ENHANCEMENT OUT.ppm [IN.pgm]

Without IN.pgm the image is a 0..255 ramp, one value per column, 5 rows
(enough for the 3x3 and 5x5 dither patterns to show).
"""
import math
import sys

import numpy as np
from PIL import Image


def read_table(path):
    names, rgb = [], []
    for line in open(path):
        line = line.strip()
        if not line or line.startswith("#") or line.upper() == "END":
            continue
        w = line.split()
        if w[1].startswith("#"):
            h = w[1][1:]
            c = [int(h[i:i + 2], 16) / 255 for i in (0, 2, 4)]
        else:
            c = [float(v) for v in w[1:4]]
        names.append(w[0].lower())
        rgb.append(c)
    return names, rgb


def pixel_of(t):
    # AREA/AWIPS brightness temperature scale, deg C.
    v = math.trunc(-2 * t) + 114 if t >= -30 else math.trunc(145 - t)
    return min(255, max(0, v))


ORDER3 = [(1, 1), (2, 2), (0, 0), (2, 0), (0, 2), (2, 1), (0, 1), (1, 0), (1, 2)]
ORDER5 = [(2, 2), (0, 0), (4, 2), (1, 3), (3, 1), (2, 4), (0, 2), (4, 4), (3, 3), (1, 1), (2, 0), (0, 4), (4, 0),
          (1, 2), (3, 0), (2, 3), (0, 1), (4, 1), (3, 4), (1, 0), (0, 3), (3, 2), (4, 3), (1, 4), (2, 1)]


def main():
    names, rgb = read_table(sys.argv[1])
    words = open(sys.argv[2]).read().split()[:256]
    items = [w for w in words[1:] if not w.startswith(("#", "@"))]

    def index(word):
        if word.lower() in names:
            return names.index(word.lower())
        if word[:1].isdigit():
            return int("".join(ch for ch in word if ch.isdigit()) or 0)
        return -1

    size = 0
    entries = []  # [colour, dither colour, density, break]

    def part(text, brk):
        nonlocal size
        if "%" in text:
            c1, rest = text.split("%", 1)
            d = rest[:1]
            if size == 0:
                size = 3 if d.isdigit() else 5
            dens = max(0, min(9, ord(d) - 48)) if size == 3 else max(0, min(25, ord(d) - 97))
            entries.append([index(c1), index(rest[1:]), dens, brk])
        else:
            entries.append([index(text), 0, 0, brk])

    for it in items:
        if it.startswith("c") and ":" in it:
            t, c = it[1:].split(":", 1)
            part(c, pixel_of(float(t)))
        elif "-" in it:
            a, b = (index(x) for x in it.split("-", 1))
            step = 1 if a <= b else -1
            for c in range(a, b + step, step):
                entries.append([c, 0, 0, None])
        elif ":" in it:
            v, c = it.split(":", 1)
            part(c, int(v))
        else:
            part(it, None)

    n = len(entries)
    cuts = [e[3] for e in entries] + [256]
    if cuts[0] is None:
        cuts[0] = 0
    last = 0
    for j in range(1, n + 1):
        if cuts[j] is None:
            continue
        for k in range(last + 1, j):
            cuts[k] = cuts[last] + (cuts[j] - cuts[last]) * (k - last) // (j - last)
        last = j

    colour = np.zeros(256, dtype=np.int64)
    dcolour = np.zeros(256, dtype=np.int64)
    dens = np.zeros(256, dtype=np.int64)
    b = 0
    for p in range(256):
        if cuts[b + 1] == p:
            b += 1
        e = entries[0] if p < cuts[0] else entries[b]
        colour[p], dcolour[p], dens[p] = e[0], e[1], e[2]

    if len(sys.argv) > 4:
        img = np.asarray(Image.open(sys.argv[4]).convert("L"), dtype=np.int64)
    else:
        img = np.tile(np.arange(256), (5, 1))
    h, w = img.shape
    ys, xs = np.mgrid[0:h, 0:w]
    rank = np.zeros((h, w), dtype=np.int64)
    if size:
        order = ORDER3 if size == 3 else ORDER5
        table = np.zeros((size, size), dtype=np.int64)
        for i, (x, y) in enumerate(order):
            table[y, x] = i + 1
        rank = table[ys % size, xs % size]
    use2 = rank <= dens[img]
    if size == 0:
        use2[:] = False
    idx = np.where(use2, dcolour[img], colour[img])
    lut = (np.array(rgb) * 255 + 0.5).astype(np.uint8)
    out = lut[np.clip(idx, 0, len(lut) - 1)]
    Image.fromarray(out, "RGB").save(sys.argv[3], format="PPM")


if __name__ == "__main__":
    main()
