#!/usr/bin/env python3
"""Writes McIDAS AREA files for tests, benchmarks and fuzz seeds.

Either byte order, plain or as a sync-framed nibble-compressed stream, 1 or 2
bytes per element, with any navigation block given as words.  No real
compressed AREA stream is at hand, so this is the writer the reader is
checked against; it shares no code with the reader.

Pixel values come from a raw file (--raw: nx*ny values, 1 byte each, or
2 bytes high byte first with --bytes 2) or from a built-in pattern.

Examples:
  make_area.py out.area --nx 100 --ny 50
  make_area.py out.area --nx 300 --ny 20 --framed --pattern random --values-out raw.bin
  make_area.py out.area --nx 8 --ny 4 --order little --bytes 2 --nav GVAR:1,2,3
"""
import argparse
import random
import struct
import sys

SYNC = bytes([0, 0xFF] * 4)


def pattern_values(kind, nx, ny, bytes_per, seed):
    top = 256 if bytes_per == 1 else 65536
    if kind == "gradient":
        return [((x + 3 * y) * (1 if bytes_per == 1 else 37)) % top for y in range(ny) for x in range(nx)]
    if kind == "smooth":
        # Slowly varying values: what satellite images look like and what
        # the nibble coding compresses well.
        rnd = random.Random(seed)
        out, v = [], 100
        for _ in range(nx * ny):
            v = (v + rnd.choice([-3, -1, 0, 0, 0, 1, 2, 5])) % top
            out.append(v)
        return out
    rnd = random.Random(seed)
    return [rnd.randrange(top) for _ in range(nx * ny)]


def directory(args, nav_words):
    w = [0] * 64
    w[1] = 4
    w[2] = args.ss
    w[3] = args.date
    w[4] = args.time
    w[5] = args.line
    w[6] = args.elem
    w[8] = args.ny
    w[9] = args.nx
    w[10] = args.bytes
    w[11] = args.lres
    w[12] = args.eres
    w[13] = 1
    w[14] = args.prefix
    w[18] = args.bands
    w[33] = args.data_offset if args.data_offset is not None else 256 + 4 * nav_words
    w[34] = 256
    w[47] = args.start_scan
    return w


def text_word(s):
    return struct.unpack(">i", s.encode("latin-1").ljust(4)[:4])[0]


def pack_words(words, order, texts):
    """Words to bytes; 'texts' maps word index -> 4 raw bytes stored as is."""
    fmt = ">i" if order == "big" else "<i"
    out = bytearray()
    for i, v in enumerate(words):
        if i in texts:
            out += texts[i]
        else:
            out += struct.pack(fmt, v)
    return bytes(out)


def nav_block(spec, order):
    if not spec:
        return b"", 0
    name, _, rest = spec.partition(":")
    n = 640 if name == "GVAR" else 128
    words = [0] * n
    if rest:
        for i, v in enumerate(rest.split(",")):
            words[i + 1] = int(v)
    return pack_words(words, order, {0: name.encode("latin-1").ljust(4)[:4]}), n


def encode_line(values):
    """Nibble codes for one line: small steps as single nibbles, repeats
    of the running value in runs of up to three, everything else literal."""
    steps = {-6: 1, 6: 2, -5: 3, 5: 4, -4: 5, 4: 6, -3: 7, 3: 8, -2: 9, 2: 10, -1: 11, 1: 12}
    nibs, run, i = [], 0, 0
    while i < len(values):
        v = values[i]
        diff = (v - run + 128) % 256 - 128
        if diff == 0:
            k = 1
            while k < 3 and i + k < len(values) and values[i + k] == run:
                k += 1
            nibs.append(12 + k)
            i += k
            continue
        if diff in steps:
            nibs.append(steps[diff])
        else:
            nibs += [0, v >> 4, v & 15]
        run = v
        i += 1
    if len(nibs) % 2:
        nibs.append(13)  # never read: the line is full before it
    return bytes((nibs[k] << 4) | nibs[k + 1] for k in range(0, len(nibs), 2))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("out")
    ap.add_argument("--nx", type=int, required=True)
    ap.add_argument("--ny", type=int, required=True)
    ap.add_argument("--order", choices=["big", "little"], default="big")
    ap.add_argument("--bytes", type=int, choices=[1, 2], default=1)
    ap.add_argument("--framed", action="store_true", help="sync-framed nibble-compressed stream")
    ap.add_argument("--prefix", type=int, default=0, help="line prefix length in bytes")
    ap.add_argument("--nav", default="", help="TYPE[:w1,w2,...] navigation block")
    ap.add_argument("--raw", help="file of pixel values")
    ap.add_argument("--pattern", choices=["gradient", "random", "smooth"], default="gradient")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--values-out", help="also write the pixel values (1 byte each) here")
    ap.add_argument("--date", type=int, default=104191, help="year*1000+day (year 104 = 2004)")
    ap.add_argument("--time", type=int, default=142500, help="HHMMSS")
    ap.add_argument("--line", type=int, default=1)
    ap.add_argument("--elem", type=int, default=1)
    ap.add_argument("--lres", type=int, default=4)
    ap.add_argument("--eres", type=int, default=4)
    ap.add_argument("--start-scan", type=int, default=0)
    ap.add_argument("--bands", type=int, default=0x10)
    ap.add_argument("--ss", type=int, default=70)
    ap.add_argument("--memo", default="")
    ap.add_argument("--source", default="GVAR")
    ap.add_argument("--calib", default="BRIT")
    ap.add_argument("--data-offset", type=int)
    args = ap.parse_args()

    nx, ny = args.nx, args.ny
    if args.raw:
        raw = open(args.raw, "rb").read()
        if args.bytes == 1:
            values = list(raw[: nx * ny])
        else:
            values = [raw[2 * k] << 8 | raw[2 * k + 1] for k in range(nx * ny)]
    else:
        values = pattern_values(args.pattern, nx, ny, 1 if args.framed else args.bytes, args.seed)

    order = "big" if args.framed else args.order
    nav, nav_words = nav_block(args.nav, order)
    w = directory(args, nav_words)
    memo = args.memo.encode("latin-1").ljust(32, b" ")[:32]
    texts = {24 + k: memo[4 * k: 4 * k + 4] for k in range(8)}
    texts[51] = args.source.encode("latin-1").ljust(4)[:4]
    texts[52] = args.calib.encode("latin-1").ljust(4)[:4]
    head = pack_words(w, order, texts)

    out = bytearray()
    if not args.framed:
        out += head + nav
        out += b"\0" * max(0, w[33] - len(out))
        for y in range(ny):
            out += b"\xEE" * args.prefix
            row = values[y * nx:(y + 1) * nx]
            if args.bytes == 1:
                out += bytes(row)
            else:
                out += b"".join(struct.pack(">H", v) for v in row)
    else:
        out += SYNC + head + SYNC + nav
        for y in range(ny):
            row = values[y * nx:(y + 1) * nx]
            code = encode_line(row)
            out += SYNC + struct.pack(">I", y + 1) + b"\xEE" * args.prefix
            out += struct.pack(">HH", 0, len(code)) + code
    with open(args.out, "wb") as f:
        f.write(out)
    if args.values_out:
        with open(args.values_out, "wb") as f:
            if args.bytes == 2 and not args.framed:
                f.write(b"".join(struct.pack(">H", v) for v in values))
            else:
                f.write(bytes(values))
    return 0


if __name__ == "__main__":
    sys.exit(main())
