#!/usr/bin/env python3
"""Independent reference decoders for the reader tests: writes the 8-bit
pixels (rows top first) of an AWIPS/GINI or LRIT file to OUT.
  ref_readers.py gini|lrit FILE OUT
"""
import io
import os
import struct
import sys
import zlib


def gini(path):
    b = open(path, 'rb').read()
    block = b[b.index(b'\n') + 1:]
    if block[0] == 0x78:  # a chain of zlib streams; the first holds a heading line
        rest, out = block, b''
        while rest:
            d = zlib.decompressobj()
            try:
                out += d.decompress(rest)
            except zlib.error:
                break
            rest = d.unused_data
            if not d.eof:
                break
        block = out[out.index(b'\n') + 1:]
    nx, ny = struct.unpack('>HH', block[16:20])
    img = block[512:]
    if img[1:4] == b'PNG':
        from PIL import Image
        img = Image.open(io.BytesIO(img)).tobytes()
    return img[:nx * ny].ljust(nx * ny, b'\0')


def lrit(path):
    b = open(path, 'rb').read()
    pos, total = 0, None
    while total is None or pos < total:
        t, n = b[pos], struct.unpack('>H', b[pos + 1:pos + 3])[0]
        body = b[pos + 3:pos + n]
        if t == 0:
            total = struct.unpack('>I', body[1:5])[0]
        if t == 1:
            bits, nc, nl, comp = struct.unpack('>BHHB', body[:6])
        if t == 2:
            cfac = struct.unpack('>i', body[32:36])[0]
        pos += n
    d, count = b[total:], nc * nl
    if bits == 8:
        out = bytes(d[:count])
    elif bits == 16:
        # KMA's COMS full-disk HRIT files (IMG_FD_*) store their 16-bit data
        # least significant byte first (the sample list documents it); the
        # other sources keep the LRIT rule, most significant first.
        hi = 1 if os.path.basename(path).startswith('IMG_FD_') else 0
        out = bytes((((d[2 * i + hi] << 8) | d[2 * i + 1 - hi]) >> 2) & 0xFF for i in range(count))
    else:
        vals, acc, have, mask = bytearray(), 0, 0, (1 << bits) - 1
        for byte in d:
            acc, have = (acc << 8) | byte, have + 8
            while have >= bits and len(vals) < count:
                have -= bits
                vals.append((((acc >> have) & mask) >> (bits - 8)) & 0xFF)
            acc &= (1 << have) - 1
            if len(vals) == count:
                break
        out = bytes(vals)
    return out[::-1] if cfac < 0 else out


if __name__ == '__main__':
    kind, path, dest = sys.argv[1:4]
    open(dest, 'wb').write({'gini': gini, 'lrit': lrit}[kind](path))
