#!/usr/bin/env python3
"""Brightness temperatures of MSG HRIT pixels, computed from the files alone.

    msg_bt.py PROLOGUE SEGMENT... --pixels COL,ROW ...

Pixels are counted from 0 at the top left of the whole north-up image (the
files hold it turned by 180 degrees: their first line is the south end of
their segment, their first column the east end).  Prints one line per
pixel: the temperature in K, or "missing" where no segment holds it or the
count is 0.

The count is the pixel's 10-bit sample (most significant bit first) in its
segment's data field.  Radiance R = offset + slope * count, with the
channel's slope and offset from the prologue's Level 1.5 image calibration
records (12 channels x two big-endian 8-byte reals, byte 387065 of the
prologue's data field).  Then, from EUMETSAT, "The Conversion from Effective
Radiances to Equivalent Brightness Temperatures" (EUM/MET/TEN/11/0569):

    T = (C2 vc / ln(1 + C1 vc^3 / R) - B) / A

C1 = 1.19104e-5 mW m-2 sr-1 (cm-1)-4, C2 = 1.43877 K cm, and vc, A, B the
channel's central wavenumber and coefficients in that document's table.
"""
import math
import struct
import sys

# IR_108 of Meteosat-8..11 (MSG1..MSG4): vc (cm-1), A, B.
IR_108 = {321: (930.647, 0.9983, 0.625), 322: (931.700, 0.9983, 0.640),
          323: (929.842, 0.9983, 0.6084), 324: (931.122, 0.9983, 0.6256)}
C1, C2 = 1.19104e-5, 1.43877


def headers(path):
    data = open(path, 'rb').read()
    total = struct.unpack('>I', data[4:8])[0]
    recs, at = {}, 0
    while at < total:
        kind, length = data[at], struct.unpack('>H', data[at + 1:at + 3])[0]
        recs[kind] = data[at + 3:at + length]
        at += length
    return data, total, recs


def main():
    args = sys.argv[1:]
    cut = args.index('--pixels')
    files, pixels = args[:cut], args[cut + 1:]
    pro_data, pro_total, _ = headers(files[0])
    segs = {}
    for path in files[1:]:
        data, total, recs = headers(path)
        bits, cols, lines = recs[1][0], *struct.unpack('>HH', recs[1][1:5])
        cfac = struct.unpack('>i', recs[2][32:36])[0]
        sat, chan, seg, first, last = struct.unpack('>HBHHH', recs[128][:9])
        assert bits == 10 and cfac < 0 and chan == 9, 'an IR_108 segment of MSG, turned'
        segs[seg] = (data, total)
    total_lines = (last - first + 1) * lines
    vc, a, b = IR_108[sat]
    slope, offset = struct.unpack('>dd', pro_data[pro_total + 387065 + 16 * (chan - 1):][:16])
    for p in pixels:
        col, row = map(int, p.split(','))
        line, c = total_lines - 1 - row, cols - 1 - col  # in the files' scan order
        seg = first + line // lines
        if seg not in segs:
            print('missing')
            continue
        data, total = segs[seg]
        bit = ((line % lines) * cols + c) * 10
        word = int.from_bytes(data[total + bit // 8:total + bit // 8 + 3], 'big')
        count = (word >> (24 - bit % 8 - 10)) & 1023
        if count == 0:
            print('missing')
            continue
        r = offset + slope * count
        print('%.6f' % ((C2 * vc / math.log(1 + C1 * vc ** 3 / r) - b) / a))


main()
