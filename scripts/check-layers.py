#!/usr/bin/env python3
"""Checks the layering of zyrsat against layers.txt.

1. Every #include "dir/header.h" in a layer's sources names a header of the
   same layer or of a layer below it.
2. With --libs BUILD_DIR: every symbol a layer's static library leaves
   undefined and another of our libraries defines is defined in a layer
   below it (nm), so no lower layer calls up even without an #include.

Prints one line per violation and exits 1 when there is any.
"""
import argparse
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def read_layers(root):
    """[(layer, [folders])] bottom to top."""
    layers = []
    with open(os.path.join(root, "layers.txt")) as f:
        for line in f:
            line = line.split("#", 1)[0].split()
            if line:
                layers.append((line[0], line))
    return layers


def layer_of_path(path, layers):
    """Layer index of a source path relative to the root, or None."""
    folder = os.path.dirname(path)
    for i, (_, folders) in enumerate(layers):
        if folder in folders:
            return i
    return None


def check_includes(root, layers):
    bad = []
    include = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
    for i, (name, folders) in enumerate(layers):
        for folder in folders:
            d = os.path.join(root, folder)
            for fname in sorted(os.listdir(d)):
                if not fname.endswith((".cpp", ".h", ".inc")):
                    continue
                rel = os.path.join(folder, fname)
                with open(os.path.join(d, fname), errors="replace") as f:
                    for n, text in enumerate(f, 1):
                        m = include.match(text)
                        if not m:
                            continue
                        header = m.group(1)
                        target = header if "/" in header else os.path.join(folder, header)
                        j = layer_of_path(os.path.normpath(target), layers)
                        if j is not None and j > i:
                            bad.append(f"{rel}:{n}: includes {header}: layer '{name}' "
                                       f"may not include layer '{layers[j][0]}' above it")
    return bad


def nm(lib, *flags):
    out = subprocess.run(["nm", "-C", *flags, lib], capture_output=True, text=True, check=True).stdout
    return out.splitlines()


def check_symbols(build, layers):
    defined = {}   # symbol -> layer index
    undefined = {}  # layer index -> [(object, symbol)]
    for i, (name, _) in enumerate(layers):
        lib = os.path.join(build, f"libzyr_{name}.a")
        if not os.path.exists(lib):
            return [f"{lib}: missing (build the libraries first)"]
        obj = "?"
        for line in nm(lib):
            if line.endswith(":") and ".o" in line:
                obj = line[:-1]
                continue
            parts = line.split(None, 2) if not line.startswith(" ") else ["", *line.split(None, 1)]
            if len(parts) < 3:
                continue
            kind, sym = parts[1], parts[2]
            if kind == "U":
                undefined.setdefault(i, []).append((obj, sym))
            elif kind in "TDBRVW":
                defined.setdefault(sym, i)
    bad = []
    for i, items in undefined.items():
        for obj, sym in items:
            j = defined.get(sym)
            if j is not None and j > i:
                bad.append(f"libzyr_{layers[i][0]}.a({obj}): calls {sym} of layer "
                           f"'{layers[j][0]}' above it")
    return sorted(set(bad))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--root", default=ROOT, help="source tree (default: this script's)")
    ap.add_argument("--libs", metavar="BUILD_DIR", help="also check the built libraries' symbols")
    args = ap.parse_args()
    layers = read_layers(args.root)
    bad = check_includes(args.root, layers)
    if args.libs:
        bad += check_symbols(args.libs, layers)
    for line in bad:
        print(line)
    if bad:
        print(f"layering: {len(bad)} violation(s) of layers.txt", file=sys.stderr)
        return 1
    print("layering: " + " < ".join(name for name, _ in layers) + ": no upward include"
          + (" or call" if args.libs else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
