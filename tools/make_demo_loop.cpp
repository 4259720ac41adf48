// make_demo_loop OUTDIR [options]: writes a plausible loop of geostationary
// infrared images as McIDAS AREA files with GVAR navigation, for the demo,
// the end-to-end tests and the benchmark.
//
//   --frames N            number of images, 15 minutes apart (default 24)
//   --start YYYYMMDDHHMM  time of the first image (default 202506121800)
//   --seed S              seed of the cloud field (default 7)
//   --res N               element and line resolution in imager units (default 8)
//   --land FILE           land outlines in the big-endian map form
//                         (default maps/land-110m.map of the program data folder)
//
// The files are named as the "sat_ir" convention expects them under the
// satellite folder OUTDIR: OUTDIR/ir/YYYYMMDD_HHMM.area.
//
// The scene: a GOES imager at 75 W (navigation block from its physical
// parameters), a sector covering North America.  Sea surface temperature
// falls with latitude; land follows a daily cycle by local solar time; a
// seeded fractal cloud field with tops between 200 and 260 K drifts with
// the latitude's prevailing wind and evolves between frames; the view path
// through the atmosphere cools the limb.  Temperatures become counts through
// the enhancement's own infrared formula, so a temperature bar reads them
// back.
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/util.h"
#include "image/nav.h"
#include "satproc/enh.h"

namespace {

constexpr double kSubLon = -75.0;

// ---- land mask ----

// Land on a 0.25 degree grid, filled by even-odd crossings of the outline
// segments along each grid row.  Outlines cut at the date line are closed
// by their chord, which stays on the cut.
struct LandMask {
    static constexpr int NX = 1440, NY = 720;  // lon -180..180, lat -90..90
    std::vector<unsigned char> land = std::vector<unsigned char>((size_t)NX * NY, 0);

    bool at(double lat, double lon) const
    {
        int j = std::clamp((int)((lat + 90) * 4), 0, NY - 1);
        int i = ((int)std::floor((lon + 180) * 4) % NX + NX) % NX;
        return land[(size_t)j * NX + i] != 0;
    }
};

float be_float(const unsigned char *p)
{
    uint32_t u = (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

bool read_land(const char *path, LandMask &mask)
{
    FILE *f = std::fopen(path, "rb");
    if (!f) return false;
    std::vector<std::vector<std::pair<double, double>>> rings;  // (lat, lon)
    unsigned char h[22];
    while (std::fread(h, 1, sizeof h, f) == sizeof h) {
        int count = (int16_t)(h[0] << 8 | h[1]);
        if (count <= 0) break;
        std::vector<unsigned char> raw((size_t)count * 8);
        if (std::fread(raw.data(), 1, raw.size(), f) != raw.size()) break;
        std::vector<std::pair<double, double>> ring;
        for (int k = 0; k < count; k++) ring.push_back({be_float(&raw[8 * k]), be_float(&raw[8 * k + 4])});
        rings.push_back(std::move(ring));
    }
    std::fclose(f);
    if (rings.empty()) return false;
    std::vector<std::vector<double>> cross(LandMask::NY);
    for (const auto &r : rings) {
        for (size_t k = 0; k < r.size(); k++) {
            auto [la0, lo0] = r[k];
            auto [la1, lo1] = r[(k + 1) % r.size()];
            if (std::fabs(lo1 - lo0) > 180) continue;  // the chord across the cut
            int j0 = (int)std::ceil((std::min(la0, la1) + 90) * 4 - 0.5);
            int j1 = (int)std::floor((std::max(la0, la1) + 90) * 4 - 0.5);
            for (int j = std::max(j0, 0); j <= std::min(j1, LandMask::NY - 1); j++) {
                double lat = (j + 0.5) / 4 - 90;
                if ((la0 <= lat) == (la1 <= lat)) continue;
                cross[j].push_back(lo0 + (lat - la0) / (la1 - la0) * (lo1 - lo0));
            }
        }
    }
    for (int j = 0; j < LandMask::NY; j++) {
        auto &c = cross[j];
        std::sort(c.begin(), c.end());
        for (size_t k = 0; k + 1 < c.size(); k += 2) {
            int i0 = (int)std::ceil((c[k] + 180) * 4 - 0.5), i1 = (int)std::floor((c[k + 1] + 180) * 4 - 0.5);
            for (int i = std::max(i0, 0); i <= std::min(i1, LandMask::NX - 1); i++)
                mask.land[(size_t)j * LandMask::NX + i] = 1;
        }
    }
    return true;
}

// ---- clouds ----

uint32_t hash3(int x, int y, int z, uint32_t seed)
{
    uint32_t h = seed * 0x9E3779B1u ^ (uint32_t)x * 0x85EBCA77u ^ (uint32_t)y * 0xC2B2AE3Du ^
                 (uint32_t)z * 0x27D4EB2Fu;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

double smooth(double t) { return t * t * (3 - 2 * t); }

// Value noise in 0..1, trilinear between hashed lattice values.
double noise(double x, double y, double z, uint32_t seed)
{
    int xi = (int)std::floor(x), yi = (int)std::floor(y), zi = (int)std::floor(z);
    double fx = smooth(x - xi), fy = smooth(y - yi), fz = smooth(z - zi);
    double v[2][2][2];
    for (int a = 0; a < 2; a++)
        for (int b = 0; b < 2; b++)
            for (int c = 0; c < 2; c++) v[a][b][c] = hash3(xi + a, yi + b, zi + c, seed) / 4294967295.0;
    auto lerp = [](double p, double q, double t) { return p + (q - p) * t; };
    double x00 = lerp(v[0][0][0], v[1][0][0], fx), x10 = lerp(v[0][1][0], v[1][1][0], fx);
    double x01 = lerp(v[0][0][1], v[1][0][1], fx), x11 = lerp(v[0][1][1], v[1][1][1], fx);
    return lerp(lerp(x00, x10, fy), lerp(x01, x11, fy), fz);
}

double fractal(double x, double y, double z, uint32_t seed)
{
    double sum = 0, amp = 0.5, norm = 0;
    for (int o = 0; o < 5; o++) {
        sum += amp * noise(x, y, z, seed + o);
        norm += amp;
        x *= 2.03, y *= 2.03, z *= 1.5, amp *= 0.5;
    }
    return sum / norm;
}

// Prevailing wind in degrees of longitude per hour: easterly trades,
// westerlies at mid latitudes.
double drift(double lat)
{
    double a = std::fabs(lat);
    double ms = a < 25 ? -6.0 * std::cos(a / 25 * M_PI / 2) : 18.0 * std::sin((a - 25) / 35 * M_PI);
    if (a > 60) ms = 4;
    return ms * 3.6 / (111.2 * std::max(0.2, std::cos(lat * M_PI / 180)));
}

// ---- scene ----

struct Scene {
    const LandMask *mask;
    uint32_t seed;
    double hours;    // since the first frame
    double utc_hour; // of this frame

    double surface(double lat, double lon) const
    {
        double a = std::fabs(lat);
        double sst = 302.0 - 0.02 * std::pow(std::max(0.0, a - 12), 1.9);
        if (!mask->at(lat, lon)) return std::max(sst, 271.0);
        double solar = std::fmod(utc_hour + lon / 15 + 48, 24);
        double day = std::cos((solar - 14.5) / 24 * 2 * M_PI);
        return sst - 2 - 0.15 * std::max(0.0, a - 30) + 9 * day * std::cos(lat * M_PI / 180);
    }

    double brightness(double lat, double lon) const
    {
        double t = surface(lat, lon);
        double x = (lon - drift(lat) * hours) / 7.0, y = lat / 5.0;
        double c = fractal(x, y, hours * 0.12, seed);
        // More cloud in the tropics' convection band and the storm tracks.
        double a = std::fabs(lat);
        double bias = 0.06 * std::exp(-std::pow((a - 8) / 6, 2)) + 0.05 * std::exp(-std::pow((a - 45) / 10, 2));
        c += bias;
        const double thr = 0.56;
        if (c > thr) {
            double depth = std::min(1.0, (c - thr) / 0.22);
            double top = 260 - 60 * std::pow(fractal(x * 1.7, y * 1.7, hours * 0.2, seed + 99), 0.6) *
                                   (0.5 + 0.5 * depth);
            double cover = std::min(1.0, (c - thr) / 0.05);
            t = t + (std::min(t, top) - t) * cover;
        }
        // Limb cooling: the longer slant path through the atmosphere.
        double g = std::acos(std::clamp(std::cos(lat * M_PI / 180) * std::cos((lon - kSubLon) * M_PI / 180), -1.0, 1.0));
        double zen = std::atan2(std::sin(g), std::cos(g) - 6378.0 / 42164.0);
        t -= 9.0 * (1 / std::max(0.2, std::cos(zen)) - 1);
        return t;
    }
};

void put_be(std::vector<unsigned char> &b, size_t off, int32_t v)
{
    for (int k = 0; k < 4; k++) b[off + k] = (unsigned char)((uint32_t)v >> (24 - 8 * k));
}

int days_in_month(int y, int m)
{
    static const int d[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : d[m - 1];
}

struct Time {
    int y, mo, d, h, mi;
    int julian() const
    {
        int j = d;
        for (int m = 1; m < mo; m++) j += days_in_month(y, m);
        return j;
    }
    void add_minutes(int n)
    {
        mi += n;
        while (mi >= 60) mi -= 60, h++;
        while (h >= 24) h -= 24, d++;
        while (d > days_in_month(y, mo)) d -= days_in_month(y, mo), mo++;
        while (mo > 12) mo -= 12, y++;
    }
};

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: make_demo_loop OUTDIR [--frames N] [--start YYYYMMDDHHMM] [--seed S] "
                             "[--res N] [--land FILE]\n");
        return 2;
    }
    std::string out = argv[1];
    int frames = 24, res = 8;
    uint32_t seed = 7;
    std::string start = "202506121800";
    std::string land = std::string(FILE_data_dir()) + "/maps/land-110m.map";
    for (int i = 2; i + 1 < argc; i += 2) {
        std::string a = argv[i], v = argv[i + 1];
        if (a == "--frames") frames = std::clamp(std::atoi(v.c_str()), 1, 500);
        else if (a == "--start") start = v;
        else if (a == "--seed") seed = (uint32_t)std::strtoul(v.c_str(), nullptr, 10);
        else if (a == "--res") res = std::clamp(std::atoi(v.c_str()), 1, 64);
        else if (a == "--land") land = v;
        else {
            std::fprintf(stderr, "make_demo_loop: unknown option %s\n", a.c_str());
            return 2;
        }
    }
    Time t{};
    if (start.size() != 12 || std::sscanf(start.c_str(), "%4d%2d%2d%2d%2d", &t.y, &t.mo, &t.d, &t.h, &t.mi) != 5 ||
        t.mo < 1 || t.mo > 12 || t.d < 1 || t.d > days_in_month(t.y, t.mo) || t.h > 23 || t.mi > 59) {
        std::fprintf(stderr, "make_demo_loop: bad start time %s\n", start.c_str());
        return 2;
    }
    t.mi -= t.mi % 15;
    LandMask mask;
    if (!read_land(land.c_str(), mask)) {
        std::fprintf(stderr, "make_demo_loop: cannot read land outlines %s\n", land.c_str());
        return 1;
    }
    mkdir(out.c_str(), 0777);
    std::string dir = out + "/ir";
    mkdir(dir.c_str(), 0777);
    SAT_set_imager_source(SAT_SRC_AREA);

    // The sector: full-frame imager coordinates around North America.
    GVAR_BLOCK_SPEC spec{};
    spec.sublon = kSubLon;
    spec.instrument = 1;
    spec.year = t.y, spec.day = t.julian(), spec.hour = t.h, spec.minute = t.mi;
    std::vector<int32_t> nav(640);
    GVAR_make_block(spec, nav.data());
    GVAR_init(nav.data());
    double lmin = 1e9, lmax = -1e9, emin = 1e9, emax = -1e9;
    for (double lat : {15.0, 35.0, 58.0})
        for (double lon : {-135.0, -100.0, -75.0, -55.0}) {
            double la = lat, lo = lon, l, e;
            if (GVAR_tran(2, &la, &lo, &l, &e) != 0) continue;
            lmin = std::min(lmin, l), lmax = std::max(lmax, l);
            emin = std::min(emin, e), emax = std::max(emax, e);
        }
    if (lmin > lmax) {
        std::fprintf(stderr, "make_demo_loop: navigation failed\n");
        return 1;
    }
    int ul_line = (int)lmin, ul_elem = (int)emin;
    int ny = (int)((lmax - lmin) / res) + 1, nx = (int)((emax - emin) / res) + 1;
    nx = (nx + 3) / 4 * 4;

    // Navigation of every pixel, the same for all frames.
    std::vector<float> lat((size_t)nx * ny), lon((size_t)nx * ny);
    for (int j = 0; j < ny; j++)
        for (int i = 0; i < nx; i++) {
            double l = ul_line + (double)j * res, e = ul_elem + (double)i * res, la, lo;
            size_t k = (size_t)j * nx + i;
            if (GVAR_tran(1, &la, &lo, &l, &e) != 0) la = lo = -9999;
            lat[k] = (float)la, lon[k] = (float)lo;
        }

    const size_t nav_off = 256, data_off = nav_off + 640 * 4;
    for (int f = 0; f < frames; f++, t.add_minutes(15)) {
        Scene scene{&mask, seed, f * 0.25, t.h + t.mi / 60.0};
        std::vector<unsigned char> b(data_off + (size_t)nx * ny, 0);
        put_be(b, 4, 4);
        put_be(b, 8, 180);  // GOES-13
        put_be(b, 12, (t.y - 1900) * 1000 + t.julian());
        put_be(b, 16, t.h * 10000 + t.mi * 100);
        put_be(b, 20, ul_line);
        put_be(b, 24, ul_elem);
        put_be(b, 32, ny);
        put_be(b, 36, nx);
        put_be(b, 40, 1);
        put_be(b, 44, res);
        put_be(b, 48, res);
        put_be(b, 52, 1);
        put_be(b, 72, 1 << 3);  // band 4
        std::memcpy(&b[96], "DEMO IR LOOP                    ", 32);
        put_be(b, 33 * 4, (int32_t)data_off);
        put_be(b, 34 * 4, (int32_t)nav_off);
        std::memcpy(&b[51 * 4], "GVAR", 4);
        std::memcpy(&b[52 * 4], "BRIT", 4);
        // The navigation block with this frame's time.
        spec.year = t.y, spec.day = t.julian(), spec.hour = t.h, spec.minute = t.mi;
        GVAR_make_block(spec, nav.data());
        std::memcpy(&b[nav_off], "GVAR", 4);
        for (int k = 1; k < 640; k++) put_be(b, nav_off + 4 * k, nav[k]);
        for (size_t k = 0; k < lat.size(); k++) {
            if (lat[k] < -90) continue;
            double tk = scene.brightness(lat[k], lon[k]);
            b[data_off + k] = (unsigned char)SAT_ir_ind((float)(tk - 273.15));
        }
        char name[64];
        std::snprintf(name, sizeof name, "/%04d%02d%02d_%02d%02d.area", t.y, t.mo, t.d, t.h, t.mi);
        std::string path = dir + name;
        FILE *o = std::fopen(path.c_str(), "wb");
        if (!o || std::fwrite(b.data(), 1, b.size(), o) != b.size() || std::fclose(o) != 0) {
            std::fprintf(stderr, "make_demo_loop: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
