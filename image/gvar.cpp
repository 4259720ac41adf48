// GVAR navigation of the GOES I-M imager and sounder: orbit and attitude
// model from the block's coefficient sets, instrument-to-earth rotation and
// the intersection of the line of sight with the earth ellipsoid.
//
// Axes: earth-fixed x through (0 N, 0 E), z to the north pole, distances in
// equatorial radii.  The orbit frame's columns are the spacecraft's roll
// axis (along track, east for a geostationary orbit), pitch axis (the
// negative orbit normal, south) and yaw axis (nadir).  In instrument axes a
// line of sight with elevation a (north positive) and scan angle z (east
// positive) is (sin z, -cos z sin a, cos z cos a).
#include <cmath>
#include <cstdint>
#include <cstring>

#include "image/nav.h"

namespace {

constexpr double aebe2 = 1.0067391845079678;   // (equatorial / polar radius)^2
constexpr double nominal_radius = 42164.365;   // km
constexpr double earth_eq = 6378.388;          // km, the unit of distance
constexpr double rad = 180.0 / M_PI;

struct Series {
    double exp_mag = 0, exp_tc = 0, mean = 0;
    int nsin = 0;
    double mag[15] = {}, phase[15] = {};
    int nmono = 0;
    int sin_order[4] = {}, mono_order[4] = {};
    double mono_mag[4] = {}, mono_phase[4] = {}, mono_angle[4] = {};
};

// Per instrument: 0 imager, 1 sounder.
constexpr int incmax[2] = {6136, 2805};
constexpr double elvinc[2] = {8.0e-6, 17.5e-6};
constexpr double scninc[2] = {16.0e-6, 35.0e-6};
constexpr double elvln[2] = {28.0e-6, 280.0e-6};
constexpr double scnpx[2] = {16.0e-6, 280.0e-6};
constexpr double elvmax_default[2] = {0.220896, 0.2208938};
constexpr double scnmax_default[2] = {0.24544, 0.2454375};
constexpr double line_centre[2] = {4.5, 2.5};

struct Gvar {
    bool valid = false;
    int instrument = 0;
    double elvmax = elvmax_default[0], scnmax = scnmax_default[0];
    double sublat = 0, sublon = 0;  // radians
    double pos[3] = {};             // equatorial radii
    double bt[3][3] = {};           // instrument -> earth
    double rma = 0, pma = 0, q3 = 0;
};
Gvar gv;

double w7(int32_t v) { return v / 1e7; }

Series load_series(const int32_t *w)
{
    Series s;
    s.exp_mag = w7(w[0]);
    s.exp_tc = w[1] / 100.0;
    s.mean = w7(w[2]);
    // Counts beyond the block's room are cut to it.
    s.nsin = w[3] < 0 ? 0 : (w[3] > 15 ? 15 : w[3]);
    for (int l = 0; l < 15; ++l) {
        s.mag[l] = w7(w[4 + 2 * l]);
        s.phase[l] = w7(w[5 + 2 * l]);
    }
    s.nmono = w[34] < 0 ? 0 : (w[34] > 4 ? 4 : w[34]);
    for (int l = 0; l < 4; ++l) {
        const int32_t *g = w + 35 + 5 * l;
        s.sin_order[l] = g[0];
        s.mono_order[l] = g[1] < 0 ? 0 : (g[1] > 16 ? 16 : g[1]);
        s.mono_mag[l] = w7(g[2]);
        s.mono_phase[l] = w7(g[3]);
        s.mono_angle[l] = w7(g[4]);
    }
    return s;
}

// One attitude angle at orbit angle a and time e since the exponential
// start.  The block lists only magnitudes and phases of the sinusoids; the
// first one is taken as order 1 (once per orbit), the next as order 2 and so
// on, since an order-0 term would only repeat the mean angle.
double gatt(const Series &s, double a, double e)
{
    double att = s.mean;
    if (e >= 0 && s.exp_tc != 0) att += s.exp_mag * std::exp(-e / s.exp_tc);
    for (int l = 0; l < s.nsin; ++l) att += s.mag[l] * std::cos((l + 1) * a + s.phase[l]);
    for (int l = 0; l < s.nmono; ++l)
        att += s.mono_mag[l] * std::pow(a - s.mono_angle[l], s.mono_order[l]) *
               std::cos(s.sin_order[l] * a + s.mono_phase[l]);
    return att;
}

// Orbit frame times the small-angle attitude rotation.
void inst2e(double r, double p, double y, const double b[3][3], double out[3][3])
{
    double rpy[3][3] = {{1 - 0.5 * (p * p + y * y), -y, p},
                        {p * r + y, 1 - 0.5 * (y * y + r * r), -r},
                        {y * r - p, p * y + r, 1 - 0.5 * (p * p + r * r)}};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) out[i][j] = b[i][0] * rpy[0][j] + b[i][1] * rpy[1][j] + b[i][2] * rpy[2][j];
}

// Line of sight for (elevation, scan) -> geodetic latitude, longitude (rad).
int lpoint(const Gvar &g, double alpha, double zeta, double *lat, double *lon)
{
    double ca = std::cos(alpha), sa = std::sin(alpha), cz = std::cos(zeta);
    double da = alpha - g.pma * sa * (1 / cz + std::tan(zeta)) - g.rma * (1 - ca / cz);
    double dz = zeta + g.rma * sa;
    double g1[3] = {std::sin(dz), -std::cos(dz) * std::sin(da), std::cos(dz) * std::cos(da)};
    double u[3];
    for (int i = 0; i < 3; ++i) u[i] = g.bt[i][0] * g1[0] + g.bt[i][1] * g1[1] + g.bt[i][2] * g1[2];
    double q1 = u[0] * u[0] + u[1] * u[1] + aebe2 * u[2] * u[2];
    double q2 = g.pos[0] * u[0] + g.pos[1] * u[1] + aebe2 * g.pos[2] * u[2];
    double d = q2 * q2 - q1 * g.q3;
    if (std::fabs(d) < 1e-9) d = 0;
    if (!(d >= 0) || !(q1 > 0)) return -1;
    double h = -(q2 + std::sqrt(d)) / q1;
    double p[3] = {g.pos[0] + h * u[0], g.pos[1] + h * u[1], g.pos[2] + h * u[2]};
    *lat = std::atan2(aebe2 * p[2], std::hypot(p[0], p[1]));
    *lon = std::atan2(p[1], p[0]);
    return 0;
}

// Geodetic latitude, longitude (rad) -> (elevation, scan); -1 when the
// point faces away from the satellite.
int gpoint(const Gvar &g, double lat, double lon, double *alpha, double *zeta)
{
    double gc = std::atan(std::tan(lat) / aebe2);
    if (std::fabs(lat) >= M_PI / 2) gc = lat;
    double c = std::cos(gc), s = std::sin(gc);
    double r = 1 / std::sqrt(c * c + aebe2 * s * s);
    double pt[3] = {r * c * std::cos(lon), r * c * std::sin(lon), r * s};
    double f[3] = {pt[0] - g.pos[0], pt[1] - g.pos[1], pt[2] - g.pos[2]};
    if (pt[0] * f[0] + pt[1] * f[1] + aebe2 * pt[2] * f[2] > 0) return -1;
    double ft[3];
    for (int j = 0; j < 3; ++j) ft[j] = g.bt[0][j] * f[0] + g.bt[1][j] * f[1] + g.bt[2][j] * f[2];
    double dz = std::atan(ft[0] / std::hypot(ft[1], ft[2]));
    double da = -std::atan(ft[1] / ft[2]);
    // Undo the misalignment terms of lpoint; a few fixed-point passes bring
    // the inverse to rounding level (the terms are below 1e-3 rad).
    double a = da, z = dz;
    for (int k = 0; k < 3; ++k) {
        z = dz - g.rma * std::sin(a);
        double cz = std::cos(z);
        a = da + g.pma * std::sin(a) * (1 / cz + std::tan(z)) + g.rma * (1 - std::cos(a) / cz);
    }
    *alpha = a;
    *zeta = z;
    return 0;
}

}  // namespace

int GVAR_init(const int32_t *w)
{
    Gvar g;
    // Motion compensation is on when the word's first byte in memory (its
    // low byte once the block is in host order) is not negative.  The real
    // GOES-8 block holds 0x83 there, and its reference values alone put the
    // point its copy was centred on (25 N 80 W) within a fifth of a pixel of
    // the image centre, which the orbit model would move by 20 elements.
    bool imc = (int8_t)(w[2] & 0xFF) >= 0;
    double lam = w7(w[5]), dr = w7(w[6]), phi = w7(w[7]), psi = w7(w[8]);
    double roll = w7(w[9]), pitch = w7(w[10]), yaw = w7(w[11]);
    double epoch = time50(w + 12);
    double imc_roll = w7(w[15]), imc_pitch = w7(w[16]), imc_yaw = w7(w[17]);
    const int32_t *L = w + 18, *R = w + 31, *S = w + 42, *Y = w + 51;
    double solar = w7(w[60]), exp_start = w[61] / 100.0;
    int year = w[367] / 1000 + 1900, day = w[367] % 1000;
    int32_t tm = w[368];
    double img = timex(year, day, tm / 10000000, (tm / 100000) % 100, (tm / 1000) % 100 + (tm % 1000) / 1000.0);
    g.instrument = w[369] == 2 ? 1 : 0;
    int in = g.instrument;
    int nscyc = w[379], ewcyc = w[380], nsinc = w[381], ewinc = w[382];
    if (nscyc != 0 && ewcyc != 0 && nsinc != 0 && ewinc != 0) {
        g.elvmax = in == 0 ? ((double)nscyc * incmax[0] + nsinc) * elvinc[0]
                           : ((9.0 - nscyc) * incmax[1] - nsinc) * elvinc[1];
        g.scnmax = ((double)ewcyc * incmax[in] + ewinc) * scninc[in];
    } else {
        g.elvmax = elvmax_default[in];
        g.scnmax = scnmax_default[in];
    }

    double t = img - epoch;
    if (imc) {
        double wo = 0.00437469 * t;
        double s1 = std::sin(wo), c1 = std::cos(wo), s2 = std::sin(2 * wo), c2 = std::cos(2 * wo);
        double s19 = std::sin(1.9268 * wo), c19 = std::cos(1.9268 * wo);
        double s09 = std::sin(0.927 * wo), c09 = std::cos(0.927 * wo);
        lam += w7(L[0]) + w7(L[1]) * wo + w7(L[2]) * wo * wo +
               2 * (w7(L[3]) * s1 + w7(L[4]) * c1 + w7(L[5]) * s2 + w7(L[6]) * c2 + w7(L[7]) * s19 +
                    w7(L[8]) * c19 + w7(L[9]) * s09 + w7(L[10]) * c09 + wo * (w7(L[11]) * s1 + w7(L[12]) * c1));
        dr = w7(R[0]) + w7(R[1]) * c1 + w7(R[2]) * s1 + w7(R[3]) * c2 + w7(R[4]) * s2 + w7(R[5]) * c19 +
             w7(R[6]) * s19 + w7(R[7]) * c09 + w7(R[8]) * s09 + wo * (w7(R[9]) * c1 + w7(R[10]) * s1);
        double s = w7(S[0]) + w7(S[1]) * c1 + w7(S[2]) * s1 + w7(S[3]) * c2 + w7(S[4]) * s2 +
                   wo * (w7(S[5]) * c1 + w7(S[6]) * s1) + w7(S[7]) * c09 + w7(S[8]) * s09;
        phi = s * (1 + s * s / 6);
        double y = w7(Y[0]) + w7(Y[1]) * s1 + w7(Y[2]) * c1 + w7(Y[3]) * s2 + w7(Y[4]) * c2 +
                   wo * (w7(Y[5]) * s1 + w7(Y[6]) * c1) + w7(Y[7]) * s09 + w7(Y[8]) * c09;
        psi = y * (1 + y * y / 6);
    }

    double slat = std::sin(phi), syaw = std::sin(psi);
    double sinoi2 = slat * slat + syaw * syaw;
    double cosoi = std::sqrt(std::fmax(0.0, 1 - sinoi2)), sinoi = std::sqrt(sinoi2);
    double u = (slat == 0 && syaw == 0) ? 0 : std::atan2(slat, syaw);
    double sinu = std::sin(u), cosu = std::cos(u);
    double asc = lam - u, sasc = std::sin(asc), casc = std::cos(asc);
    g.sublat = std::atan(aebe2 * std::tan(phi));
    g.sublon = std::remainder(std::atan2(sinu * cosoi, cosu) + asc, 2 * M_PI);
    double b[3][3];
    b[0][0] = -casc * sinu - sasc * cosu * cosoi;  // roll axis: along track
    b[1][0] = -sasc * sinu + casc * cosu * cosoi;
    b[2][0] = cosu * sinoi;
    b[0][1] = -sasc * sinoi;  // pitch axis: negative orbit normal
    b[1][1] = casc * sinoi;
    b[2][1] = -cosoi;
    b[0][2] = -casc * cosu + sasc * sinu * cosoi;  // yaw axis: nadir
    b[1][2] = -sasc * cosu - casc * sinu * cosoi;
    b[2][2] = -slat;
    double rs = (nominal_radius + dr) / earth_eq;
    for (int k = 0; k < 3; ++k) g.pos[k] = -rs * b[k][2];
    g.q3 = g.pos[0] * g.pos[0] + g.pos[1] * g.pos[1] + aebe2 * g.pos[2] * g.pos[2] - 1;

    if (imc) {
        double a = solar * t, e = t - exp_start;
        roll += imc_roll + gatt(load_series(w + 62), a, e);
        pitch += imc_pitch + gatt(load_series(w + 129), a, e);
        yaw += imc_yaw + gatt(load_series(w + 184), a, e);
        g.rma = gatt(load_series(w + 257), a, e);
        g.pma = gatt(load_series(w + 312), a, e);
    }
    inst2e(roll, pitch, yaw, b, g.bt);

    bool ok = std::isfinite(g.q3) && g.q3 > 0 && std::isfinite(g.sublat) && std::isfinite(g.sublon) &&
              std::isfinite(g.rma) && std::isfinite(g.pma) && std::isfinite(g.elvmax) && std::isfinite(g.scnmax);
    for (auto &row : g.bt)
        for (double v : row) ok = ok && std::isfinite(v);
    g.valid = ok;
    gv = g;
    return 0;
}

int GVAR_tran(int direction, double *lat, double *lon, double *line, double *elem)
{
    const Gvar &g = gv;
    int in = g.instrument;
    if (direction == 1) {
        double l = *line, e = *elem;
        if (in == 1) {
            l = (l + 9) / 10;
            e = (e + 9) / 10;
        }
        double alpha = g.elvmax - (l - line_centre[in]) * elvln[in];
        double zeta = (e - 1) * scnpx[in] - g.scnmax;
        double la, lo;
        if (!g.valid || !std::isfinite(alpha) || !std::isfinite(zeta) || lpoint(g, alpha, zeta, &la, &lo) != 0) {
            *lat = -9999;
            *lon = -9999;
            return -1;
        }
        *lat = la * rad;
        *lon = lo * rad;
        return 0;
    }
    if (direction == 2) {
        if (!(*lat >= -90 && *lat <= 90) || !std::isfinite(*lon) || !g.valid) {
            *line = -9999;
            *elem = -9999;
            return -1;
        }
        double alpha, zeta;
        if (gpoint(g, *lat / rad, *lon / rad, &alpha, &zeta) != 0) return -1;
        double l = (g.elvmax - alpha) / elvln[in] + line_centre[in];
        double e = (zeta + g.scnmax) / scnpx[in] + 1;
        if (in == 1) {
            l = 10 * l - 9;
            e = 10 * e - 9;
        }
        *line = l;
        *elem = e;
        return 0;
    }
    if (direction == 3) {
        if (!g.valid) {
            *lat = -9999;
            *lon = -9999;
            return -1;
        }
        *lat = g.sublat * rad;
        *lon = g.sublon * rad;
        return 0;
    }
    return 0;
}

// Angles per full-frame unit.  Sounder full-frame coordinates count tenths
// of a sounder pixel (line = 10 * pixel line - 9), so both of its angles are
// a tenth of its 280 microradian pixel.
double scan_delta() { return gv.instrument == 1 ? scnpx[1] / 10 : scnpx[0]; }
double elev_delta() { return gv.instrument == 1 ? elvln[1] / 10 : elvln[0]; }

void GVAR_make_block(const GVAR_BLOCK_SPEC &s, int32_t nav[640])
{
    std::memset(nav, 0, 640 * sizeof(int32_t));
    std::memcpy(nav, "GVAR", 4);
    auto e7 = [](double v) { return (int32_t)std::lround(v * 1e7); };
    // Motion compensation off: the transform then uses the reference values.
    nav[2] = 0x80;
    nav[5] = e7(s.sublon / rad);
    nav[6] = e7(s.radial);
    nav[7] = e7(s.lat);
    nav[8] = e7(s.orbit_yaw);
    nav[9] = e7(s.roll);
    nav[10] = e7(s.pitch);
    nav[11] = e7(s.yaw);
    // Epoch = image time, in binary-coded decimal.
    auto bcd = [](int v, int digits) {
        uint32_t r = 0;
        for (int k = 0, p = 1; k < digits; ++k, p *= 10) r |= (uint32_t)((v / p) % 10) << (4 * k);
        return r;
    };
    uint64_t all = ((uint64_t)bcd(s.year, 4) << 48) | ((uint64_t)bcd(s.day, 3) << 36) |
                   ((uint64_t)bcd(s.hour, 2) << 28) | ((uint64_t)bcd(s.minute, 2) << 20) |
                   ((uint64_t)bcd(s.second, 2) << 12);
    nav[12] = (int32_t)(uint32_t)(all >> 32);
    nav[13] = (int32_t)(uint32_t)all;
    nav[367] = (s.year - 1900) * 1000 + s.day;
    nav[368] = ((s.hour * 100 + s.minute) * 100 + s.second) * 1000;
    nav[369] = s.instrument == 2 ? 2 : 1;
    nav[379] = s.ns_cyc;
    nav[380] = s.ew_cyc;
    nav[381] = s.ns_inc;
    nav[382] = s.ew_inc;
}
