#!/usr/bin/env python3
"""Checks that the bundled coastlines fall on the coast of real images.

Run by hand or from the test suite (needs numpy, PROJ's `proj`, gdal-bin):
  python3 tools/check_map_accuracy.py [--only TEXT] [--offset DX,DY]
          [shared-data-folder] [folder for PNGs] [zyrproc]
--only keeps the cases whose name contains TEXT; --offset moves every coast
sample by DX, DY pixels before scoring, so the peak must move by the same
amount (a check that the search finds a known misplacement).

For each case the coast and lake points of the bundled GSHHG tiles are put
into the pixel grid of a real image and, for every shift of -4..4 pixels in
x and y, the image's gradient magnitude under the coast is averaged.  The
coast is placed right when the peak is within one pixel of (0, 0) and clearly
above the far shifts (ratio of the peak to the mean of the shifts at distance
4 over 1.2).  Prints each score table, the peak and the ratio; optionally
writes every image with its coast drawn over it as a PNG (ImageMagick).

How the coast reaches the pixel grid:
- GINI cases, independent of the program's projection code: PROJ's `proj`
  with the numbers of the file's product definition block (projection, first
  grid point, central meridian, spacing; Lambert tangent at its latin, polar
  stereographic true at 60N; sphere of radius 6371.2 km as the products use).
- LRIT and GeoTIFF cases, through the program itself: the pixels as its
  readers deliver them (`zyrproc --pgm`) and its own navigation
  (`zyrproc --latlon`) evaluated on a lat/lon lattice over the case's box and
  interpolated bilinearly in between; a few lattice-cell centres are asked
  too and the interpolation error is printed.

Cases and why they are what they are:
- WEST-CONUS_4km_3.9 (Lambert): a crisp, cloud-free California coast.
- SUPER-NATIONAL_8km_IR over the California box (polar stereographic).  The
  1 km SFC-T product of the same grid is not used: its header spacing is
  about 0.11 % off, so its coast lands 1-2 pixels away at the far side of the
  image although reader and projection agree with PROJ to 0.005 pixel; the
  8 km infrared image of the same grid has the exact spacing.
- AK-NATIONAL_8km_IR: at 23:45 Alaska is mostly under cloud and the coast
  gives no usable gradient (peak at the edge of the search, ratio near 1).
  The case is printed as INCONCLUSIVE and does not fail the run.
- COMS LRIT IR1 segments (geostationary, the reader puts them north-up):
  segment 1 holds the Bohai, the Yellow Sea, Korea and the Sea of Japan.
  The Bohai and Yellow Sea shores alone give little winter contrast in this
  image (haze; peak 2 rows off, ratio about 1.4), so the box takes in the
  Sea of Japan shores, where the warm sea against cold land gives the
  signal.  The segments further south are cloud and tropical sea with little
  coast contrast in the infrared; they are judged the same way but only reported as inconclusive.
- GeoTIFF: the WEST-CONUS pixels georeferenced with their Lambert numbers by
  gdal_translate, warped to lat/lon (EPSG:4326) by gdalwarp, and read back
  by the program's TIFF reader.
"""
import concurrent.futures
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..")
CALIFORNIA = (32, 42, -125, -116)
# GINI cases: sample, coast files, (lat0, lat1, lon0, lon1) of the coast used,
# and whether a failure only means the image has no usable coast signal.
GINI_CASES = [
    ("gini/WEST-CONUS_4km_3.9_20050912_2130.gini", ["gshhg-na.map"], CALIFORNIA, False),
    ("gini/SUPER-NATIONAL_8km_IR_20050911_2345.gini", ["gshhg-na.map"], CALIFORNIA, False),
    ("gini/AK-NATIONAL_8km_IR_20050912_2345.gini", ["gshhg-ak.map"], (50, 72, -170, -130), True),
]
LRIT = "lrit/IMG_ENH_01_IR1_20120101_000920_0%d.lrit"
# LRIT cases: segment, coast files, coast box; only segment 1 has a clear
# winter coast.  South of 15N, outside the East Asia GSHHG tile, the 10m
# Natural Earth land takes its place.
LRIT_CASES = [
    (1, ["gshhg-ea.map"], (33, 46, 117, 142), False),  # Bohai, Yellow Sea, Korea, Sea of Japan
    (2, ["gshhg-ea.map"], (24, 34, 117, 133), True),   # East China Sea coast, Kyushu, Taiwan
    (3, ["land-10m.map"], (5, 19, 117, 127), True),    # Philippines
    (4, ["land-10m.map"], (-8, 5, 117, 140), True),    # Borneo, Celebes, New Guinea
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
        # Pieces inside the box: a line leaving the box is cut there, not
        # joined straight to where it comes back.
        piece = []
        for i in range(n):
            la, lo = vals[2 * i], vals[2 * i + 1]
            if box[0] <= la <= box[1] and box[2] <= lo <= box[3]:
                piece.append((la, lo))
            else:
                pts.append(piece)
                piece = []
        pts.append(piece)
    return [l for l in pts if len(l) > 1]


def project(cmd, latlon):
    text = "".join("%.6f %.6f\n" % (lo, la) for la, lo in latlon)
    out = subprocess.run(cmd, input=text.encode(), capture_output=True, check=True).stdout.decode()
    return [tuple(map(float, l.split()[:2])) for l in out.splitlines()]


def densify(lines):
    """Points every half pixel along lines of (column, row) points."""
    out = []
    for line in lines:
        for (ca, ra), (cb, rb) in zip(line, line[1:]):
            if None in (ca, cb):
                continue
            steps = max(1, int(2 * max(abs(cb - ca), abs(rb - ra))))
            if steps > 2000:  # a line jumping across the image
                continue
            for s in range(steps):
                t = s / steps
                out.append((ca + t * (cb - ca), ra + t * (rb - ra)))
    return np.array(out, dtype=float).reshape(-1, 2)


OFFSET = (0, 0)


def score(name, pix, samples, png, inconclusive_ok):
    """Scores the coast samples (column, row from the top) on the image;
    returns "PASS", "FAIL" or "INCONCLUSIVE"."""
    ny, nx = pix.shape
    if len(samples):
        samples = samples + np.array(OFFSET, dtype=float)
    p = pix.astype(np.int32)
    grad = np.zeros_like(p)
    grad[1:-1, 1:-1] = np.abs(p[1:-1, 2:] - p[1:-1, :-2]) + np.abs(p[2:, 1:-1] - p[:-2, 1:-1])
    ci = np.rint(samples[:, 0]).astype(int) if len(samples) else np.zeros(0, int)
    rj = np.rint(samples[:, 1]).astype(int) if len(samples) else np.zeros(0, int)
    # Samples near missing data (0: outside the sensor's view or the warped
    # area) are left out: the edge of the missing area is a gradient that
    # has nothing to do with the coast.
    keep = np.ones(len(ci), bool)
    for dj in (-5, 0, 5):
        for di in (-5, 0, 5):
            i, j = ci + di, rj + dj
            inside = (i >= 0) & (i < nx) & (j >= 0) & (j < ny)
            keep &= inside
            keep[inside] &= pix[j[inside], i[inside]] != 0
    ci, rj = ci[keep], rj[keep]
    table = {}
    for sy in range(-4, 5):
        for sx in range(-4, 5):
            i, j = ci + sx, rj + sy
            ok = (i >= 1) & (i < nx - 1) & (j >= 1) & (j < ny - 1)
            table[(sx, sy)] = float(grad[j[ok], i[ok]].mean()) if ok.any() else 0.0
    print("%s: %d coast samples; mean gradient under the coast by shift (x across, y down):" % (name, len(ci)))
    for sy in range(-4, 5):
        print("  " + " ".join("%6.1f" % table[(sx, sy)] for sx in range(-4, 5)))
    peak = max(table, key=table.get)
    far = [v for (sx, sy), v in table.items() if max(abs(sx), abs(sy)) == 4]
    ratio = table[peak] / max(sum(far) / len(far), 1e-9)
    ok = len(ci) >= 50 and abs(peak[0]) <= 1 and abs(peak[1]) <= 1 and ratio > 1.2
    verdict = "PASS" if ok else "INCONCLUSIVE" if inconclusive_ok else "FAIL"
    if len(ci) < 50:
        print("  too few coast samples on image data: %s" % verdict)
    else:
        print("  peak at shift x=%d y=%d, %.2f times the far shifts: %s" % (peak[0], peak[1], ratio, verdict))
    if png:
        img = pix.copy()
        img[rj, ci] = 255
        pgm = b"P5 %d %d 255\n" % (nx, ny) + img.tobytes()
        subprocess.run(["convert", "pgm:-", png], input=pgm, check=True)
    return verdict


def coast_lines(maps, box):
    lines = []
    for m in maps:
        lines += read_map(os.path.join(ROOT, "data", "maps", m), box)
    return lines


def gini_case(shared, sample, maps, box, png, inconclusive_ok):
    g = read_gini(os.path.join(shared, sample))
    nx, ny, DX = g["nx"], g["ny"], g["dx"]
    pix = np.frombuffer(g["pix"], np.uint8).reshape(ny, nx)
    lines = coast_lines(maps, box)
    flat = [p for line in lines for p in line]
    xy = project(g["cmd"], [(g["la1"], g["lo1"])] + flat)
    x0, y0 = xy[0]
    # The first grid point is the south-west corner; rows are stored from
    # the north, so row = ny-1 - northing.
    cr, k = [], 1
    for line in lines:
        cr.append([((x - x0) / DX, ny - 1 - (y - y0) / DX) for x, y in xy[k:k + len(line)]])
        k += len(line)
    return score(sample, pix, densify(cr), png, inconclusive_ok)


def read_pgm(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    nx, ny = int(fields[1]), int(fields[2])
    return np.frombuffer(data[pos + 1:pos + 1 + nx * ny], np.uint8).reshape(ny, nx)


class ProgramNav:
    """The program's latitude/longitude -> (column, row) of an image, asked
    of zyrproc on a lattice and interpolated bilinearly."""

    def __init__(self, zyrproc, inp, path, box, step):
        self.args = [zyrproc, "-inp", inp]
        self.path = path
        self.box, self.step = box, step
        self.lats = np.arange(box[0], box[1] + step / 2, step)
        self.lons = np.arange(box[2], box[3] + step / 2, step)
        nodes = [(la, lo) for la in self.lats for lo in self.lons]
        with concurrent.futures.ThreadPoolExecutor(2) as ex:
            vals = list(ex.map(lambda q: self.ask(*q), nodes))
        self.grid = np.array([v if v else (np.nan, np.nan) for v in vals]).reshape(len(self.lats), len(self.lons), 2)
        # The interpolation error, from the program at a few cell centres.
        err = 0.0
        for la, lo in [(box[0] + step * 1.5, box[2] + step * 1.5), ((box[0] + box[1]) / 2 + step / 2,
                                                                      (box[2] + box[3]) / 2 + step / 2)]:
            want, got = self.ask(la, lo), self(la, lo)
            if want and got:
                err = max(err, abs(want[0] - got[0]), abs(want[1] - got[1]))
        self.error = err

    def ask(self, lat, lon):
        out = subprocess.run(self.args + ["--latlon", "%.6f,%.6f" % (lat, lon), self.path],
                             capture_output=True, text=True).stdout.splitlines()
        for k, line in enumerate(out[:-1]):
            if line.startswith("Image domain:"):
                f = out[k + 1].split()
                try:
                    return float(f[0]), float(f[1])
                except (ValueError, IndexError):
                    return None
        return None

    def __call__(self, lat, lon):
        fi = (lat - self.box[0]) / self.step
        fj = (lon - self.box[2]) / self.step
        i, j = min(int(fi), len(self.lats) - 2), min(int(fj), len(self.lons) - 2)
        if i < 0 or j < 0:
            return None
        a, b = fi - i, fj - j
        g = self.grid
        v = (1 - a) * ((1 - b) * g[i, j] + b * g[i, j + 1]) + a * ((1 - b) * g[i + 1, j] + b * g[i + 1, j + 1])
        return None if np.isnan(v).any() else (float(v[0]), float(v[1]))


def program_case(name, zyrproc, inp, path, maps, box, step, tmp, png, inconclusive_ok):
    raw = os.path.join(tmp, "raw.pgm")
    subprocess.run([zyrproc, "-inp", inp, "--pgm", raw, path], capture_output=True)
    if not os.path.exists(raw):
        print("%s: the program did not read it: FAIL" % name)
        return "FAIL"
    pix = read_pgm(raw)
    os.remove(raw)
    nav = ProgramNav(zyrproc, inp, path, box, step)
    print("%s: program navigation on a %g-degree lattice, interpolation error %.3f px" % (name, step, nav.error))
    cr = []
    for line in coast_lines(maps, box):
        pts = [nav(la, lo) for la, lo in line]
        cr.append([p if p else (None, None) for p in pts])
    return score(name, pix, densify(cr), png, inconclusive_ok)


def make_geotiff(shared, tmp):
    """WEST-CONUS pixels in their Lambert grid, warped to lat/lon by GDAL."""
    g = read_gini(os.path.join(shared, GINI_CASES[0][0]))
    nx, ny, DX = g["nx"], g["ny"], g["dx"]
    x0, y0 = project(g["cmd"], [(g["la1"], g["lo1"])])[0]
    src = os.path.join(tmp, "wc.pgm")
    with open(src, "wb") as f:
        f.write(b"P5 %d %d 255\n" % (nx, ny) + g["pix"])
    srs = " ".join(g["cmd"][1:-2])
    ul = (x0 - DX / 2, y0 + (ny - 1) * DX + DX / 2)
    lr = (x0 + (nx - 1) * DX + DX / 2, y0 - DX / 2)
    lcc = os.path.join(tmp, "wc-lcc.tif")
    out = os.path.join(tmp, "wc-ll.tif")
    subprocess.run(["gdal_translate", "-q", "-of", "GTiff", "-a_srs", srs, "-a_ullr", "%f" % ul[0], "%f" % ul[1],
                    "%f" % lr[0], "%f" % lr[1], src, lcc], check=True)
    subprocess.run(["gdalwarp", "-q", "-overwrite", "-t_srs", "EPSG:4326", "-te", "-127", "30", "-113", "44",
                    "-tr", "0.04", "0.04", "-r", "near", "-dstnodata", "0", lcc, out], check=True)
    return out


def main():
    global OFFSET
    args, only = [], ""
    argv = iter(sys.argv[1:])
    for a in argv:
        if a == "--only":
            only = next(argv, "")
        elif a == "--offset":
            OFFSET = tuple(float(v) for v in next(argv, "0,0").split(","))
        else:
            args.append(a)
    shared = args[0] if len(args) > 0 else os.path.join(ROOT, "..", "shared", "data")
    outdir = args[1] if len(args) > 1 and args[1] else None
    zyrproc = args[2] if len(args) > 2 else None
    results = []

    def png(name):
        return os.path.join(outdir, os.path.basename(name) + ".png") if outdir else None

    for sample, maps, box, inconclusive_ok in GINI_CASES:
        if only not in sample:
            continue
        if not os.path.exists(os.path.join(shared, sample)):
            print("%s: sample missing, skipped" % sample)
            continue
        results.append(gini_case(shared, sample, maps, box, png(sample), inconclusive_ok))
    if not zyrproc or not os.access(zyrproc, os.X_OK):
        print("LRIT and GeoTIFF cases: no zyrproc program given, skipped")
    elif only in "GeoTIFF" or only in LRIT:
        tmp = tempfile.mkdtemp(prefix="zyrmapacc")
        try:
            for seg, maps, box, inconclusive_ok in LRIT_CASES:
                if only not in LRIT % seg:
                    continue
                path = os.path.join(shared, LRIT % seg)
                if not os.path.exists(path):
                    print("%s: sample missing, skipped" % (LRIT % seg))
                    continue
                results.append(program_case(LRIT % seg, zyrproc, "lrit", path, maps, box, 2.0, tmp, png(LRIT % seg),
                                            inconclusive_ok))
            if only not in "GeoTIFF":
                pass
            elif shutil.which("gdalwarp") and shutil.which("gdal_translate"):
                tif = make_geotiff(shared, tmp)
                results.append(program_case("WEST-CONUS warped to lat/lon (GeoTIFF)", zyrproc, "tiff", tif,
                                            ["gshhg-na.map"], CALIFORNIA, 2.0, tmp, png("west-conus-ll.tif"), False))
            else:
                print("GeoTIFF case: gdal-bin missing, skipped")
        finally:
            shutil.rmtree(tmp, ignore_errors=True)
    print("summary: %d PASS, %d INCONCLUSIVE, %d FAIL" % tuple(results.count(v) for v in ("PASS", "INCONCLUSIVE", "FAIL")))
    return 1 if "FAIL" in results else 0


if __name__ == "__main__":
    sys.exit(main())
