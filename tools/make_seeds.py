#!/usr/bin/env python3
"""Writes the fuzz seeds that are made by the project's generators:
fuzz_nav (a navigation block of each type with its directory and pixels),
fuzz_plot_param (plot parameters, input keywords, a domain and a window
size), the JPEG segments of fuzz_lrit, and image files of a size whose
cuts fall past their headers for fuzz_unisys and fuzz_zyrimg.  Run by hand from the source tree after a build; the outputs are kept
under fuzz/seeds/.

  tools/make_seeds.py [BUILD_DIR]      (default: build)

The AREA files the nav seeds come from are made by tools/make_area.py (map
projections, noise blocks) and by make_demo_loop (a GVAR block from physical
parameters); the seed is the fuzz target's input: the type's index and a
flag byte, the 64 directory words and 640 navigation words in host order,
then 24 x 16 pixels.
"""
import os
import random
import struct
import subprocess
import sys
import tempfile

SRC = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SEEDS = os.path.join(SRC, "fuzz", "seeds")
TYPES = ["GOES", "GVAR", "PS  ", "MOLL", "MSAT", "RECT", "MERC", "LAMB", "TANC"]

# Navigation words 1.. of each map type, in the units the blocks use: rows
# and columns of the pole or origin, angles as DDDMMSS or degrees x 10000,
# grid spacings in metres, earth radius in metres.
MAP_NAVS = {
    "ps_north": "PS  :-1530,830,600000,2381,1050000,6378388,8199",
    "ps_south": "PS  :300,-200,-600000,4000,-450000,6371200",
    "merc": "MERC:12,-40,200000,10000,1000000,6378388",
    "lamb": "LAMB:-200,300,250000,250000,8000,950000,6371200,0,0,0,250000",
    "rect": "RECT:1,500000,1,1200000,10000,10000,0,0,0,0,4,4,4,4",
    "moll": "MOLL:8,12,100,900000,0,0",
    "moll_kmpp": "MOLL:8,12,3,900000,0,5000,0,0,0,0,0,0,0,1263357008",
    "tanc": "TANC:80000,120000,4000000,250000,950000",
    "msat": "MSAT:0,0,0,0,1250,0",
}


def area_words(path):
    """Directory (64 words) and navigation block (640 words, zero-padded) of
    an AREA file in either byte order, and its first 384 pixel bytes."""
    b = open(path, "rb").read()
    order = "<" if struct.unpack("<i", b[4:8])[0] == 4 else ">"
    d = list(struct.unpack(order + "64i", b[:256]))
    nav_at, data_at = d[34], d[33]
    n = (data_at - nav_at) // 4 if data_at > nav_at else 0
    nav = list(struct.unpack(order + "%di" % n, b[nav_at:nav_at + 4 * n])) + [0] * (640 - n)
    return d, nav[:640], b[data_at:data_at + 384]


def seed(type_name, flags, d, nav, pixels):
    # Words 40-42 of the directory set the target's output domain centre and
    # zoom factor (a float's bits).
    d = list(d)
    d[40], d[41] = 40, -100
    d[42] = struct.unpack("<i", struct.pack("<f", 2.0))[0]
    return (bytes([TYPES.index(type_name), flags]) + struct.pack("<64i", *d) + struct.pack("<640i", *nav)
            + pixels.ljust(384, b"\0"))


def write(target, name, data):
    os.makedirs(os.path.join(SEEDS, target), exist_ok=True)
    with open(os.path.join(SEEDS, target, name), "wb") as f:
        f.write(data)


def nav_seeds(build, tmp):
    area = os.path.join(tmp, "t.area")
    make_area = [sys.executable, os.path.join(SRC, "tools", "make_area.py"), area, "--nx", "24", "--ny", "16",
                 "--order", "little", "--pattern", "smooth"]
    for name, nav in MAP_NAVS.items():
        subprocess.run(make_area + ["--nav", nav, "--lres", "5", "--line", "6", "--elem", "-159"], check=True)
        d, words, pixels = area_words(area)
        write("fuzz_nav", name, seed(nav[:4], 0x11, d, words, pixels))
    # GVAR from physical parameters (and the same block read as spin-scan GOES).
    subprocess.run([os.path.join(build, "make_demo_loop"), tmp, "--frames", "1", "--res", "64"], check=True,
                   stdout=subprocess.DEVNULL)
    ir = os.path.join(tmp, "ir")
    d, words, pixels = area_words(os.path.join(ir, sorted(os.listdir(ir))[0]))
    write("fuzz_nav", "gvar_imager", seed("GVAR", 0x00, d, words, pixels))
    write("fuzz_nav", "gvar_as_goes", seed("GOES", 0x0d, d, words, pixels))
    # Blocks of zeros, extremes and noise for the two satellite models.
    rnd = random.Random(7)
    for kind in ("GOES", "GVAR"):
        for label, fill in (("zeros", lambda: 0), ("max", lambda: 0x7FFFFFFF),
                            ("noise", lambda: rnd.randrange(-2**31, 2**31))):
            words = [fill() for _ in range(640)]
            write("fuzz_nav", kind.lower() + "_" + label, seed(kind, 0x04, d, words, pixels))


PLOT_PARAMS = {
    "remap_cut": ["remap=4,tran_sat,zoom=2.5,fill=1010,cutoff=10:50:100:200,shift=2", "area", "ir",
                  "ps,40,-100,31,21,1,1", "640x480"],
    "bars_lambert": ["no_pixave,over,bar,pixoff=3,minlon=-120,maxlon=-60,refresh", "lrit", "wv",
                     "lc:25:-95:25,38,-97,61,37,0.8,0.8", "800x600"],
    "satellite": ["irb,cutoff=5,tran_zyr,remap", "tiff,awip", "vis", "sat:0:-75,0,-75,131,131,1,1", "100x100"],
    "latlon": ["fill=0,zoom=0,cutoff=", "unisat", "img", "ll,0,0,361,181,1,1", ""],
}


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(SRC, "build"))
    with tempfile.TemporaryDirectory() as tmp:
        nav_seeds(build, tmp)
        # LRIT segments of 8- and 12-bit JPEG data, behind the target's 0
        # byte ("as it stands").
        for bits in ("8", "12"):
            out = os.path.join(tmp, "j.lrit")
            subprocess.run([os.path.join(build, "make_lrit"), out, "--jpeg", bits, "--size", "40x24"], check=True)
            write("fuzz_lrit", "jpeg" + bits, b"\0" + open(out, "rb").read())
        out = os.path.join(tmp, "u.img")
        subprocess.run([sys.executable, os.path.join(SRC, "tools", "make_unisys.py"), out, "--nx", "64", "--ny", "48",
                        "--word", "idseed", "--word", "lat40", "--word", "lon-100"], check=True)
        write("fuzz_unisys", "plain64x48", open(out, "rb").read())
        out = os.path.join(tmp, "p.zyr")
        subprocess.run([os.path.join(build, "imgconv"), os.path.join(SEEDS, "fuzz_png", "adam7.png"), out], check=True)
        write("fuzz_zyrimg", "from_png", open(out, "rb").read())
    for name, parts in PLOT_PARAMS.items():
        write("fuzz_plot_param", name, "\0".join(parts).encode())
    return 0


if __name__ == "__main__":
    sys.exit(main())
