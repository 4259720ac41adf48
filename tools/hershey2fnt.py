#!/usr/bin/env python3
"""Convert Hershey fonts (.jhf, as shipped by Debian's hershey-fonts-data) into
the kernel's stroke font files and write the font list "zyr.fnl".

Font file: whitespace-separated decimal numbers, each one byte.  Glyphs
follow each other, each started by 255 and made of (x, y) pairs: x < 128
continues the stroke, x + 128 starts a new one.  254 ends the stroke table;
then 256 numbers give each character's first x byte in the table (-1 none).

Units: the kernel puts the base line at y = 35 and the cap line at y = 140
(105 units above).  Hershey's roman faces have the cap line at -12 and the
base line at +9 (21 units), so one Hershey unit becomes 5 font units; y is
turned over (Hershey counts downwards).  x is shifted so that each glyph's
leftmost point sits at 0: the kernel takes the largest x as the glyph width
and adds its own spacing between characters.  The kernel's table holds
15000 numbers; points on straight runs are dropped until a face fits.

Usage: hershey2fnt.py SRC_DIR OUT_DIR
"""
import os
import sys

SCALE = 5
BASE_H = 9        # Hershey y of the base line
BASE_F = 35       # font y of the base line
TABLE_MAX = 15000

# (output file, list name, Hershey file, description)
FACES = [
    ("modern.fnt", "modern", "rowmans.jhf", "simplex sans (Hershey Roman Simplex)"),
    ("duplex.fnt", "duplex", "rowmand.jhf", "duplex sans (Hershey Roman Duplex)"),
    ("serif.fnt", "serif", "timesr.jhf", "serif (Hershey Roman Complex, Times-like)"),
    ("script.fnt", "script", "scripts.jhf", "script (Hershey Script Simplex)"),
    ("greek.fnt", "greek", "greeks.jhf", "Greek (Hershey Greek Simplex)"),
]


def read_jhf(path):
    """Glyphs in file order: list of strokes (lists of (x, y)) and the left bound."""
    text = open(path, encoding="ascii").read().split("\n")
    # Records may continue over several lines: join until the count is met.
    glyphs = []
    i = 0
    while i < len(text):
        line = text[i].rstrip("\r")
        i += 1
        if not line.strip():
            continue
        count = int(line[5:8])
        data = line[8:]
        while len(data) < 2 * count and i < len(text):
            data += text[i].rstrip("\r")
            i += 1
        left = ord(data[0]) - ord("R")
        strokes, cur = [], []
        for k in range(1, count):
            a, b = data[2 * k], data[2 * k + 1]
            if a == " " and b == "R":
                if cur:
                    strokes.append(cur)
                cur = []
                continue
            cur.append((ord(a) - ord("R"), ord(b) - ord("R")))
        if cur:
            strokes.append(cur)
        glyphs.append((strokes, left))
    return glyphs


def thin(stroke, tol):
    """Drop middle points lying within tol font units of the line through their neighbours."""
    if tol <= 0 or len(stroke) < 3:
        return stroke
    out = [stroke[0]]
    for k in range(1, len(stroke) - 1):
        (x0, y0), (x1, y1), (x2, y2) = out[-1], stroke[k], stroke[k + 1]
        dx, dy = x2 - x0, y2 - y0
        norm = (dx * dx + dy * dy) ** 0.5
        dist = abs(dy * (x1 - x0) - dx * (y1 - y0)) / norm if norm else abs(x1 - x0) + abs(y1 - y0)
        if dist > tol:
            out.append(stroke[k])
    out.append(stroke[-1])
    return out


def encode(glyphs, tol):
    table, index = [], [-1] * 256
    clamped = 0
    for n, (strokes, _left) in enumerate(glyphs):
        code = 32 + n
        if code > 126 or not strokes:
            continue
        pts = [p for s in strokes for p in s]
        minx = min(p[0] for p in pts)
        span = max(p[0] for p in pts) - minx
        sx = SCALE if span * SCALE <= 127 else 127.0 / span  # very wide glyphs are narrowed
        table.append(255)
        index[code] = len(table)
        for s in strokes:
            fs = [(int(round((x - minx) * sx)), BASE_F + (BASE_H - y) * SCALE) for x, y in s]
            fs = thin(fs, tol)
            for k, (x, y) in enumerate(fs):
                if y < 0 or y > 254:
                    clamped += 1
                    y = min(max(y, 0), 254)
                table += [x + 128 if k == 0 else x, y]
    table.append(254)
    return table, index, clamped


def main():
    src, out = sys.argv[1], sys.argv[2]
    lst = []
    for fname, name, hfile, desc in FACES:
        glyphs = read_jhf(os.path.join(src, hfile))
        tol = 0.0
        while True:
            table, index, clamped = encode(glyphs, tol)
            if len(table) <= TABLE_MAX:
                break
            tol += 0.25
        with open(os.path.join(out, fname), "w") as f:
            for k in range(0, len(table), 20):
                f.write(" ".join(str(v) for v in table[k:k + 20]) + "\n")
            for k in range(0, 256, 16):
                f.write(" ".join(str(v) for v in index[k:k + 16]) + "\n")
        print(f"{fname}: {hfile}, {len(table)} numbers, thinning {tol}, {clamped} y clamped", file=sys.stderr)
        lst.append((name, fname))
    with open(os.path.join(out, "zyr.fnl"), "w") as f:
        for name, fname in lst:
            f.write(f"{name} {fname}\n")


if __name__ == "__main__":
    main()
