#!/usr/bin/env python3
"""Writes Unisys satellite image files for tests and fuzz seeds.

A Unisys file is nx*ny pixel bytes whose start is overwritten by a text
header of blank-separated keyword words ending with "end" and one separator
byte.  No real sample is at hand, so this writer is what the reader is
checked against; it shares no code with the reader.

Examples:
  make_unisys.py out.uni --nx 640 --ny 480
  make_unisys.py out.uni --nx 100 --ny 80 --word idGOES-8 --word f886000000 \
      --word lat40.0 --word lon-100.0 --word pl
"""
import argparse
import sys


def build(nx, ny, words, sep=b' ', pattern='ramp'):
    header = sep.join([b'x%d' % nx, b'y%d' % ny] + [w.encode() for w in words] + [b'end']) + sep
    if pattern == 'ramp':
        pixels = bytearray((i * 7 + 3) & 0xFF for i in range(nx * ny))
    else:
        pixels = bytearray(nx * ny)
    pixels[:len(header)] = header
    return bytes(pixels[:nx * ny])


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument('out')
    ap.add_argument('--nx', type=int, required=True)
    ap.add_argument('--ny', type=int, required=True)
    ap.add_argument('--word', action='append', default=[], help='extra header word, e.g. lat40.0')
    ap.add_argument('--pattern', choices=['ramp', 'zero'], default='ramp')
    a = ap.parse_args()
    open(a.out, 'wb').write(build(a.nx, a.ny, a.word, pattern=a.pattern))


if __name__ == '__main__':
    sys.exit(main())
