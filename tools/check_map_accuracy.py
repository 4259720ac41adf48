#!/usr/bin/env python3
"""Checks that the bundled coastlines fall on the coast of a real image.

Run by hand:  python3 tools/check_map_accuracy.py [shared-data-folder] [folder for PNGs]

Data alone, independent of the program's own projection code: the coast and
lake points of the bundled GSHHG tiles are put into the grid of a GINI
sample with PROJ's `proj`, using the numbers of the file's product
definition block (projection, first grid point, central meridian, spacing;
Lambert tangent at its latin, polar stereographic true at 60N; sphere of
radius 6371.2 km as the products use).  Samples: WEST-CONUS_4km_3.9
(Lambert), SUPER-NATIONAL_1km_SFC-T and AK-NATIONAL_8km_IR (polar
stereographic).  For every shift of -4..4 pixels in
x and y the script averages the image's gradient magnitude under the coast
points; the coast is placed right when the peak is at (0, 0) within one
pixel and clearly above the far shifts.  Prints the score table, the peak
and its ratio to the mean of the shifts at distance 4.  Optionally writes
each image with the coast drawn over it as a PNG (ImageMagick's convert).
"""
import os
import struct
import subprocess
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..")
# sample, coast files, (lat0, lat1, lon0, lon1) of the coast used
SAMPLES = [
    ("gini/WEST-CONUS_4km_3.9_20050912_2130.gini", ["gshhg-na.map"], (20, 55, -130, -100)),
    ("gini/SUPER-NATIONAL_1km_SFC-T_20050912_1900.gini", ["gshhg-na.map"], (24, 50, -125, -65)),
    # the cloud-free California coast of the same image
    ("gini/SUPER-NATIONAL_1km_SFC-T_20050912_1900.gini", ["gshhg-na.map"], (32, 42, -125, -116)),
    ("gini/AK-NATIONAL_8km_IR_20050912_2345.gini", ["gshhg-ak.map"], (50, 72, -170, -130)),
]


def s24(b):
    v = int.from_bytes(b, "big")
    return -(v & 0x7FFFFF) if v & 0x800000 else v


def read_gini(path):
    data = open(path, "rb").read()
    pos = data.find(b"\n") + 1  # after the WMO heading
    out = b""
    while pos < len(data) - 2:
        o = zlib.decompressobj()
        out += o.decompress(data[pos:])
        if not o.eof:
            break
        pos = len(data) - len(o.unused_data)
    head = out.find(b"\r\r\n") + 3  # inner heading, then the 512-byte block
    pdb = out[head:head + 512]
    g = {
        "proj": pdb[15], "nx": int.from_bytes(pdb[16:18], "big"), "ny": int.from_bytes(pdb[18:20], "big"),
        "la1": s24(pdb[20:23]) / 1e4, "lo1": s24(pdb[23:26]) / 1e4, "lov": s24(pdb[27:30]) / 1e4,
        "dx": int.from_bytes(pdb[30:33], "big") / 10, "latin": s24(pdb[38:41]) / 1e4,
    }
    if g["lov"] > 180:
        g["lov"] -= 360
    n = g["nx"] * g["ny"]
    g["pix"] = out[head + 512: head + 512 + n]
    if len(g["pix"]) != n:
        sys.exit("unexpected image size")
    if g["proj"] == 3:
        lat = "%g" % g["latin"]
        g["cmd"] = ["proj", "+proj=lcc", "+lat_1=" + lat, "+lat_2=" + lat, "+lat_0=" + lat]
    else:
        g["cmd"] = ["proj", "+proj=stere", "+lat_0=90", "+lat_ts=60"]
    g["cmd"] += ["+lon_0=%g" % g["lov"], "+R=6371200", "-f", "%.3f"]
    return g


def read_map(path, box):
    pts = []
    data = open(path, "rb").read()
    pos = 0
    while pos + 22 <= len(data):
        n = struct.unpack(">h", data[pos:pos + 2])[0]
        if n <= 0:
            break
        vals = struct.unpack(">%df" % (2 * n), data[pos + 22: pos + 22 + 8 * n])
        pos += 22 + 8 * n
        line = [(vals[2 * i], vals[2 * i + 1]) for i in range(n)]
        pts.append([p for p in line if box[0] <= p[0] <= box[1] and box[2] <= p[1] <= box[3]])
    return [l for l in pts if len(l) > 1]


def project(cmd, latlon):
    text = "".join("%.6f %.6f\n" % (lo, la) for la, lo in latlon)
    out = subprocess.run(cmd, input=text.encode(), capture_output=True, check=True).stdout.decode()
    return [tuple(map(float, l.split()[:2])) for l in out.splitlines()]


def check(shared, sample, maps, box, png):
    path = os.path.join(shared, sample)
    if not os.path.exists(path):
        print("%s: sample missing, skipped" % sample)
        return True
    g = read_gini(path)
    nx, ny, pix, DX = g["nx"], g["ny"], g["pix"], g["dx"]
    grad = [0] * (nx * ny)
    for j in range(1, ny - 1):
        r = j * nx
        for i in range(1, nx - 1):
            k = r + i
            grad[k] = abs(pix[k + 1] - pix[k - 1]) + abs(pix[k + nx] - pix[k - nx])
    lines = []
    for m in maps:
        lines += read_map(os.path.join(ROOT, "data", "maps", m), box)
    flat = [p for line in lines for p in line]
    xy_all = project(g["cmd"], [(g["la1"], g["lo1"])] + flat)
    x0, y0 = xy_all[0]
    samples = []
    k = 1
    for line in lines:
        xy = xy_all[k:k + len(line)]
        k += len(line)
        for (xa, ya), (xb, yb) in zip(xy, xy[1:]):
            ca, ra = (xa - x0) / DX, (ya - y0) / DX
            cb, rb = (xb - x0) / DX, (yb - y0) / DX
            steps = max(1, int(2 * max(abs(cb - ca), abs(rb - ra))))
            for s in range(steps):
                t = s / steps
                samples.append((ca + t * (cb - ca), ra + t * (rb - ra)))
    # The first grid point is the south-west corner; rows are stored from
    # the north, so row = ny-1 - northing.  Samples near missing data (value
    # 0: outside the sensor's view) are left out: the edge of the missing
    # area is a gradient that has nothing to do with the coast.
    def has_data(c, r):
        i0, j0 = int(round(c)), ny - 1 - int(round(r))
        for j in range(j0 - 5, j0 + 6, 5):
            for i in range(i0 - 5, i0 + 6, 5):
                if not (0 <= i < nx and 0 <= j < ny) or pix[j * nx + i] == 0:
                    return False
        return True
    samples = [p for p in samples if has_data(*p)]
    table = {}
    for sy in range(-4, 5):
        for sx in range(-4, 5):
            tot, n = 0, 0
            for c, r in samples:
                i = int(round(c)) + sx
                j = ny - 1 - int(round(r)) + sy
                if 1 <= i < nx - 1 and 1 <= j < ny - 1:
                    tot += grad[j * nx + i]
                    n += 1
            table[(sx, sy)] = tot / max(n, 1)
    peak = max(table, key=table.get)
    far = [v for (sx, sy), v in table.items() if max(abs(sx), abs(sy)) == 4]
    ratio = table[peak] / (sum(far) / len(far))
    print("%s: %d coast samples; mean gradient under the coast by shift (x across, y down):" % (sample, len(samples)))
    for sy in range(-4, 5):
        print("  " + " ".join("%6.1f" % table[(sx, sy)] for sx in range(-4, 5)))
    ok = abs(peak[0]) <= 1 and abs(peak[1]) <= 1 and ratio > 1.2
    print("  peak at shift x=%d y=%d, %.2f times the far shifts: %s" % (peak[0], peak[1], ratio,
                                                                        "PASS" if ok else "FAIL"))
    if png:
        img = bytearray(pix)
        for c, r in samples:
            i, j = int(round(c)), ny - 1 - int(round(r))
            if 0 <= i < nx and 0 <= j < ny:
                img[j * nx + i] = 255
        pgm = b"P5 %d %d 255\n" % (nx, ny) + bytes(img)
        subprocess.run(["convert", "pgm:-", png], input=pgm, check=True)
    return ok


def main():
    shared = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "..", "shared", "data")
    outdir = sys.argv[2] if len(sys.argv) > 2 else None
    ok = True
    for sample, maps, box in SAMPLES:
        png = os.path.join(outdir, os.path.basename(sample) + ".png") if outdir else None
        ok = check(shared, sample, maps, box, png) and ok
    print("LRIT samples (Bohai, Yellow Sea): checked once the LRIT reader and navigation draw through the program")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
