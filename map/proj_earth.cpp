// Earth projections: one forward/inverse pair per projection, working on the
// constants that earth_constants() computes once for a projection object.  Plot
// coordinates are in units of 100 km on a sphere of radius R (lat/lon:
// degrees).
#include <bit>
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "map/map_internal.h"

namespace map_detail {

namespace {

constexpr double PI_M = 3.1415926535898;  // the Mollweide iteration's pi
constexpr double MERC_HALF = 200.15778450913643;  // R*pi: half the Mercator world width
constexpr double MERC_WIDTH = 400.31556901827287;
constexpr double MERC_PER_DEG = 1.1119876665653476;  // R*pi/180
constexpr double ELL_POLAR = 63.56752;               // ellipsoid polar radius
constexpr double ELL_EQ2 = 4068.063;                 // ellipsoid equatorial radius squared
// Gnomonic: points closer than this (cosine of the angular distance) to
// 90 degrees from the centre are not drawable; they would land thousands of
// earth radii out.
constexpr double GNOM_MIN_COS = 0.01;

// ---- polar stereographic (1) ----
int ps_fwd(const ProjState &st, double lat, double dlon, float *x, float *y)
{
    const double s = st.s;
    if (s * lat > 75.0) lat = 75.0 * s;
    double r = st.k_ps * std::tan((s * lat + 90.0) * 0.5 * D2R);
    double sn, cs;
    sincos(dlon * D2R, &sn, &cs);
    *x = (float)(r * sn);
    *y = (float)(s * r * cs);
    return 1;
}

int ps_inv(const ProjState &st, double x, double y, float *lat, float *lon)
{
    const double s = st.s;
    double r = std::sqrt(x * x + y * y);
    double dl = (x == 0.0 && y == 0.0) ? 0.0 : std::atan2(x, s * y) * R2D;
    *lat = (float)(s * (2.0 * std::atan(r / st.k_ps) * R2D - 90.0));
    *lon = (float)(dl + st.domain.plon);
    return 1;
}

// ---- lat/lon (2) ----
int ll_fwd(const ProjState &, double lat, double dlon, float *x, float *y)
{
    *x = (float)one_step180(dlon);
    *y = (float)lat;
    return 1;
}

int ll_inv(const ProjState &st, double x, double y, float *lat, float *lon)
{
    *lon = (float)norm180(x + st.domain.plon);
    *lat = (float)y;
    return 1;
}

// ---- Mercator (3) ----
int merc_fwd(const ProjState &, double lat, double dlon, float *x, float *y)
{
    double xx = dlon * MERC_PER_DEG;
    if (xx > MERC_HALF) xx -= MERC_WIDTH;
    else if (xx < -MERC_HALF) xx += MERC_WIDTH;
    if (lat > 89.9) lat = 89.9;
    else if (lat < -89.9) lat = -89.9;
    *x = (float)xx;
    *y = (float)(-R * std::log(std::tan((45.0 - lat * 0.5) * D2R)));
    return 1;
}

int merc_inv(const ProjState &st, double x, double y, float *lat, float *lon)
{
    *lon = (float)norm180(x / MERC_PER_DEG + st.domain.plon);
    *lat = (float)(90.0 - 114.59155902616439 * std::atan(1.0 / std::exp(y / R)));
    return 1;
}

// ---- Lambert conformal (4) ----
int lamb_fwd(const ProjState &st, double lat, double dlon, float *x, float *y)
{
    const double s = st.s;
    if (s > 0 && lat < -89.0) lat = -89.0;
    else if (s < 0 && lat > 89.0) lat = 89.0;
    double rho = st.rmult * std::pow(std::tan((45.0 - s * lat * 0.5) * D2R), st.n);
    double sn, cs;
    sincos(st.n * one_step180(dlon) * D2R, &sn, &cs);
    *x = (float)(rho * sn);
    *y = (float)(-s * rho * cs);
    return 1;
}

int lamb_inv(const ProjState &st, double x, double y, float *lat, float *lon)
{
    const double s = st.s;
    double rho = std::sqrt(x * x + y * y);
    double th = (x == 0.0 && y == 0.0) ? 0.0 : std::atan2(x, -s * y) * R2D;
    *lat = (float)(s * 90.0 - 2.0 * s * std::atan(std::pow(rho / st.rmult, st.inv_n)) * R2D);
    *lon = (float)(th * st.inv_n + st.domain.plon);
    return 1;
}

// ---- orthographic (5) ----
int ortho_fwd(const ProjState &st, double lat, double dlon, float *x, float *y)
{
    double sl, cl, sd, cd;
    sincos(lat * D2R, &sl, &cl);
    sincos(dlon * D2R, &sd, &cd);
    if (cl * st.cos_p * cd + st.sin_p * sl < 0.0) return fail(x, y);
    *x = (float)(R * cl * sd);
    *y = (float)(R * (st.cos_p * sl - st.sin_p * cl * cd));
    return 1;
}

int ortho_inv(const ProjState &st, double x, double y, float *lat, float *lon)
{
    double d = 4059.2444 - x * x - y * y;
    if (!(d >= 0.0)) return fail(lat, lon);
    double z = std::sqrt(d);
    double a = (st.sin_p * z + st.cos_p * y) / R;
    *lat = (float)(std::asin(std::fmax(-1.0, std::fmin(1.0, a))) * R2D);
    *lon = (float)(std::atan2(x, st.cos_p * z - st.sin_p * y) * R2D + st.domain.plon);
    return 1;
}

// ---- gnomonic (6) ----
// A gnomonic transform is supplied (rather than leaving code 6 without one)
// so that a "gn" domain draws: the tangent-plane projection about
// (plat, plon), great circles as straight lines.  Only the hemisphere around
// the centre is drawable, cut a little short of 90 degrees.
int gnom_fwd(const ProjState &st, double lat, double dlon, float *x, float *y)
{
    double sl, cl, sd, cd;
    sincos(lat * D2R, &sl, &cl);
    sincos(dlon * D2R, &sd, &cd);
    double c = st.sin_p * sl + st.cos_p * cl * cd;
    if (c < GNOM_MIN_COS) return fail(x, y);
    *x = (float)(R * cl * sd / c);
    *y = (float)(R * (st.cos_p * sl - st.sin_p * cl * cd) / c);
    return 1;
}

int gnom_inv(const ProjState &st, double x, double y, float *lat, float *lon)
{
    double rho = std::sqrt(x * x + y * y);
    if (rho < 1e-10) {
        *lat = st.domain.plat;
        *lon = st.domain.plon;
        return 1;
    }
    double c = std::atan(rho / R);
    double sc, cc;
    sincos(c, &sc, &cc);
    *lat = (float)(std::asin(cc * st.sin_p + y * sc * st.cos_p / rho) * R2D);
    *lon = (float)(std::atan2(x * sc, rho * st.cos_p * cc - y * st.sin_p * sc) * R2D + st.domain.plon);
    return 1;
}

// ---- Mollweide (7) ----
// This Mollweide is the usual one scaled by 1/sqrt(2): the ellipse spans
// +-2R by +-R.
int moll_fwd(const ProjState &, double lat, double dlon, float *x, float *y)
{
    double phi = lat * D2R;
    double half;
    if (std::fabs(lat) > 89.99) {
        half = lat > 0 ? PI_M * 0.5 : -PI_M * 0.5;
    } else {
        double t = phi, target = PI_M * std::sin(phi);
        for (int i = 0; i < 15; ++i) {
            double d = -(t + std::sin(t) - target) / (1.0 + std::cos(t));
            t += d;
            if (std::fabs(d) < 1e-10) break;
        }
        half = t * 0.5;
    }
    dlon = one_step180(dlon);
    double sh, ch;
    sincos(half, &sh, &ch);
    *x = std::fabs(lat) <= 89.99 ? (float)(dlon * (R / 90.0) * ch) : 0.0f;
    *y = (float)(R * sh);
    return 1;
}

// Points outside the ellipse (more than 180 degrees from plon) are not
// drawable; on the top and bottom edges the longitude is plon.
int moll_inv(const ProjState &st, double x, double y, float *lat, float *lon)
{
    double t = y / R;
    if (!(t >= -1.0 && t <= 1.0)) return fail(lat, lon);
    double th = std::asin(t);
    double c = std::cos(th);
    double dl = c > 1e-12 ? 90.0 * x / (R * c) : 0.0;
    if (std::fabs(dl) > 180.0 + 1e-9) return fail(lat, lon);
    double a = (2.0 * th + std::sin(2.0 * th)) / PI_M;
    if (!(a >= -1.0 && a <= 1.0)) {
        if (std::fabs(a) > 1.0 + 1e-12) return fail(lat, lon);
        a = a > 0 ? 1.0 : -1.0;
    }
    *lat = (float)(std::asin(a) * R2D);
    *lon = (float)(dl + st.domain.plon);
    return 1;
}

// ---- Lambert azimuthal equal-area (8) ----
int laea_fwd(const ProjState &st, double lat, double dlon, float *x, float *y)
{
    double sl, cl, sd, cd;
    sincos(lat * D2R, &sl, &cl);
    sincos(dlon * D2R, &sd, &cd);
    double q = st.cos_p * cl * cd + st.sin_p * sl;
    if ((float)q == -1.0f) return fail(x, y);
    double k = R * std::sqrt(2.0 / (1.0 + q));
    *x = (float)(k * cl * sd);
    *y = (float)(k * (sl * st.cos_p - cl * st.sin_p * cd));
    return 1;
}

int laea_inv(const ProjState &st, double x, double y, float *lat, float *lon)
{
    double rho = std::sqrt(x * x + y * y);
    double t = rho / 127.4244;
    if (!(t <= 1.0)) return fail(lat, lon);
    const double plat = st.domain.plat, plon = st.domain.plon;
    if (rho < 1e-10) {
        *lat = (float)plat;
        *lon = (float)plon;
        return 0;
    }
    double g = 2.0 * std::asin(t);
    double sg, cg;
    sincos(g, &sg, &cg);
    double a = st.cos_p * sg * y / rho + st.sin_p * cg;
    double phi = std::asin(std::fmax(-1.0, std::fmin(1.0, a)));
    double l;
    if (std::fabs(std::fabs(plat) - 90.0) <= 1e-10) {
        l = plat < 0 ? plon - std::atan2(-x, y) * R2D : std::atan2(x, -y) * R2D + plon;
    } else {
        double d = cg - st.sin_p * std::sin(phi);
        l = d == 0.0 ? plon : std::atan2(x * sg * st.cos_p, rho * d) * R2D + plon;
    }
    *lat = (float)(phi * R2D);
    *lon = (float)l;
    return 1;
}

// ---- satellite view (9) ----
// The forward transform is split into a latitude part, a longitude part and
// the rest, so that a batch of points can reuse the first two (see
// sat_fwd_points); sat_fwd composes them for one point.
struct SatLat {
    double sl, cl, r;  // sine and cosine of the (geocentric) latitude, earth radius there
};
struct SatLon {
    double sd, cd;  // sine and cosine of the longitude from plon
};

inline SatLat sat_lat(const ProjState &st, double lat)
{
    double phi = lat * D2R, r = R;
    if (st.domain.ellipsoid) {
        phi = std::atan(st.earth_ratio2 * std::tan(phi));
        double c = std::cos(phi);
        r = ELL_POLAR / std::sqrt(1.0 - (1.0 - st.earth_ratio2) * c * c);
    }
    SatLat t;
    t.r = r;
    sincos(phi, &t.sl, &t.cl);
    return t;
}

inline SatLon sat_lon(double dlon)
{
    SatLon t;
    sincos(dlon * D2R, &t.sd, &t.cd);
    return t;
}

inline int sat_core(const ProjState &st, const SatLat &p, const SatLon &q, float *x, float *y)
{
    double a = p.cl * q.cd;
    if (a < st.eratio) return fail(x, y);
    double h = st.srad - p.r * a;
    double vy = p.r * p.cl * q.sd;
    double xx = vy / h;
    double yy = p.r * p.sl / std::sqrt(vy * vy + h * h);
    if (st.domain.parm[1] == 1.0f) {
        xx = std::atan(xx);
        yy = std::atan(yy);
    }
    *x = (float)(xx * st.srad);
    *y = (float)(yy * st.srad);
    return 1;
}

int sat_fwd(const ProjState &st, double lat, double dlon, float *x, float *y)
{
    return sat_core(st, sat_lat(st, lat), sat_lon(dlon), x, y);
}

int sat_inv(const ProjState &st, double x, double y, float *lat, float *lon)
{
    const bool scan = st.domain.parm[1] == 1.0f;
    if (st.domain.ellipsoid) {
        double ax = scan ? x / st.srad : std::atan(x / st.srad);
        double ay = scan ? y / st.srad : std::atan(y / st.srad);
        double sx, cx, sy, cy;
        sincos(ax, &sx, &cx);
        sincos(ay, &sy, &cy);
        double b = st.srad * cx * cy;
        double q = sy * sy / st.earth_ratio2 + cy * cy;
        double disc = b * b - q * st.s2e2;
        if (!(disc >= 0.0)) return fail(lat, lon);
        double d = (b - std::sqrt(disc)) / q;
        double u = st.srad - d * cx * cy;
        double w = sx * d * cy;
        *lat = (float)(std::atan(d * sy / (st.earth_ratio2 * std::sqrt(w * w + u * u))) * R2D);
        *lon = (float)(std::atan(w / u) * R2D + st.domain.plon);
        return 1;
    }
    // The sphere is intersected with the line of sight (sat_rad, x, y*k):
    // the forward transform's y is the elevation over the horizontal
    // distance, so it is scaled by k = sqrt(1 + (x/sat_rad)^2) back to a
    // ratio over the along-view distance, and the sphere's own radius R
    // (not the ellipsoid's equatorial radius) is used in sat2_earth2.
    // Without both, the inverse misses its own forward by up to 0.3 degrees.
    if (scan) {
        x = st.srad * std::tan(x / st.srad);
        y = st.srad * std::tan(y / st.srad);
    }
    double tx = x / st.srad;
    y *= std::sqrt(1.0 + tx * tx);
    double S = x * x + y * y + st.srad2;
    double disc = st.srad4 - S * st.s2e2;
    if (!(disc >= 0.0)) return fail(lat, lon);
    double f = (st.srad2 - std::sqrt(disc)) / S;
    double sp = f * y / R;
    double phi = std::asin(std::fmax(-1.0, std::fmin(1.0, sp)));
    double sl = f * x / (R * std::cos(phi));
    *lat = (float)(phi * R2D);
    *lon = (float)(std::asin(std::fmax(-1.0, std::fmin(1.0, sl))) * R2D + st.domain.plon);
    return 1;
}

}  // namespace

void earth_constants(ProjState &st)
{
    DOM &d = st.domain;
    st.usable = true;
    double plat = d.plat == DOM_MISSING ? 0.0 : d.plat;
    if (d.proj == DOM_ORTHO && d.plat == DOM_MISSING) d.plat = 0.0f;
    st.sin_p = std::sin(plat * D2R);
    st.cos_p = std::cos(plat * D2R);
    switch (d.proj) {
    case DOM_PSTEREO:
        st.s = plat >= 0 ? -1.0 : 1.0;
        st.scale = (float)st.s;
        st.k_ps = (1.0 - st.s * std::sin(st.tlat1 * D2R)) * R;
        st.xfactor = (float)st.k_ps;
        break;
    case DOM_LAMB: {
        st.s = plat >= 0 ? 1.0 : -1.0;
        st.scale = (float)st.s;
        // The cone is built in the projection's own hemisphere: true
        // latitudes count by their size, so the 30/60 defaults serve a
        // southern domain as well as -30/-60 do.  The tangent cone (one true
        // latitude) takes n = sin(t1).
        double t1 = std::fabs(st.tlat1), t2 = std::fabs(st.tlat2);
        double n;
        if (t1 == t2) n = std::sin(t1 * D2R);
        else
            n = (std::log(std::cos(t1 * D2R)) - std::log(std::cos(t2 * D2R))) /
                (std::log(std::tan((45.0 - t1 * 0.5) * D2R)) - std::log(std::tan((45.0 - t2 * 0.5) * D2R)));
        // A cone that degenerates (true latitude 0 or 90) cannot be drawn.
        if (!(std::fabs(n) > 1e-6) || !std::isfinite(n)) {
            st.usable = false;
            n = 1.0;
        }
        double mult = std::cos(t1 * D2R) / (n * std::pow(std::tan((45.0 - t1 * 0.5) * D2R), n));
        if (!std::isfinite(mult) || mult <= 0) {
            st.usable = false;
            mult = 1.0;
        }
        st.n = n;
        st.inv_n = 1.0 / n;
        st.xfactor = (float)n;
        st.rmult = R * mult;
        break;
    }
    case DOM_ORTHO:
        st.xfactor = (float)st.cos_p;
        st.yfactor = (float)st.sin_p;
        break;
    case DOM_SAT:
        if (DOM_is_geos(&d)) {
            geos_constants(st);
            break;
        }
        st.srad = st.sat_rad;
        st.srad2 = st.srad * st.srad;
        st.srad4 = st.srad2 * st.srad2;
        // The ellipsoid pair uses the ellipsoid's equatorial radius; the
        // sphere pair uses R itself so that its inverse matches its forward.
        st.s2e2 = st.srad2 - (d.ellipsoid ? ELL_EQ2 : R * R);
        st.eratio = R / st.srad;
        if (!(st.srad > R)) st.usable = false;
        break;
    default:
        st.xfactor = 0.0f;
        break;
    }
    st.ready = true;
}

// The points of a latitude/longitude grid share their latitude along a row
// and their longitude down a column: the latitude terms of the last latitude
// and the longitude terms of recent longitudes (a small hash table keyed by
// the longitude's bits) are kept, and each is computed from the
// same float by the same code as the single-point transform does, so the
// results are the same bit for bit.  Everything lives on this call's stack:
// threads may call it at once.  LatFn gives the latitude terms, CoreFn
// completes a point from them and the longitude's.
template <class LatFn, class CoreFn>
void cached_fwd_points(const ProjState &state, int n, const float *lat, const float *lon, float *x, float *y,
                       unsigned char *ok, LatFn lat_fn, CoreFn core_fn)
{
    // A copy the outputs cannot alias: its constants stay in registers
    // across the stores of the loop.
    const ProjState st = state;
    constexpr int SLOT_BITS = 9, SLOTS = 1 << SLOT_BITS, PROBES = 4;
    uint64_t key[SLOTS] = {};  // 0 empty, else the longitude's bits with bit 32 set
    SatLon lons[SLOTS];
    uint64_t lat_key = 0;
    decltype(lat_fn(st, 0.0)) la{};
    for (int i = 0; i < n; ++i) {
        if (bad_earth_input(lat[i], lon[i])) {
            ok[i] = fail(&x[i], &y[i]);
            continue;
        }
        const uint64_t ak = std::bit_cast<uint32_t>(lat[i]) | (1ull << 32);
        if (ak != lat_key) {
            la = lat_fn(st, lat[i]);
            lat_key = ak;
        }
        // Open addressing: a few slots from the hash, the first free one
        // taken; when all are held by other longitudes the first is reused.
        const uint64_t lon_key = std::bit_cast<uint32_t>(lon[i]) | (1ull << 32);
        const int h = (int)(((uint32_t)lon_key * 2654435761u) >> (32 - SLOT_BITS));
        int slot = h;
        for (int probe = 0; probe < PROBES; ++probe) {
            slot = (h + probe) & (SLOTS - 1);
            if (key[slot] == lon_key || key[slot] == 0) break;
            if (probe == PROBES - 1) slot = h;
        }
        if (key[slot] != lon_key) {
            key[slot] = lon_key;
            lons[slot] = sat_lon(norm180(lon[i]) - st.domain.plon);
        }
        ok[i] = core_fn(st, la, lons[slot], &x[i], &y[i]);
    }
}

void sat_fwd_points(const ProjState &st, int n, const float *lat, const float *lon, float *x, float *y,
                    unsigned char *ok)
{
    if (DOM_is_geos(&st.domain))
        return cached_fwd_points(st, n, lat, lon, x, y, ok, geos_lat,
                                 [](const ProjState &s, const GeosLat &p, const SatLon &q, float *px, float *py) {
                                     return geos_core(s, p, q.sd, q.cd, px, py);
                                 });
    return cached_fwd_points(st, n, lat, lon, x, y, ok, sat_lat, sat_core);
}

// The inverse transform of n points with the projection chosen once; points
// that are not numbers fail as in MAP_untran.
template <class Inv>
void inv_points(Inv inv, int n, const float *x, const float *y, float *lat, float *lon, unsigned char *ok)
{
    for (int i = 0; i < n; ++i)
        ok[i] = !std::isfinite(x[i]) || !std::isfinite(y[i]) ? fail(&lat[i], &lon[i]) : inv(x[i], y[i], &lat[i], &lon[i]) != 0;
}

void earth_inv_points(const ProjState &st, int proj, int n, const float *x, const float *y, float *lat, float *lon,
                      unsigned char *ok)
{
    auto with = [&st](auto inv) {
        return [&st, inv](double a, double b, float *la, float *lo) { return inv(st, a, b, la, lo); };
    };
    switch (proj) {
    case DOM_PSTEREO: return inv_points(with(ps_inv), n, x, y, lat, lon, ok);
    case DOM_LATLON: return inv_points(with(ll_inv), n, x, y, lat, lon, ok);
    case DOM_MERC: return inv_points(with(merc_inv), n, x, y, lat, lon, ok);
    case DOM_LAMB: return inv_points(with(lamb_inv), n, x, y, lat, lon, ok);
    case DOM_SAT:
        if (DOM_is_geos(&st.domain)) return inv_points(with(geos_inv), n, x, y, lat, lon, ok);
        return inv_points(with(sat_inv), n, x, y, lat, lon, ok);
    default:
        return inv_points([&st, proj](double a, double b, float *la, float *lo) { return earth_inv(st, proj, a, b, la, lo); },
                          n, x, y, lat, lon, ok);
    }
}

int earth_fwd(const ProjState &st, int proj, double lat, double lon, float *x, float *y)
{
    double dlon = lon - st.domain.plon;
    switch (proj) {
    case DOM_PSTEREO: return ps_fwd(st, lat, dlon, x, y);
    case DOM_LATLON: return ll_fwd(st, lat, dlon, x, y);
    case DOM_MERC: return merc_fwd(st, lat, dlon, x, y);
    case DOM_LAMB: return lamb_fwd(st, lat, dlon, x, y);
    case DOM_ORTHO: return ortho_fwd(st, lat, dlon, x, y);
    case DOM_GNOM: return gnom_fwd(st, lat, dlon, x, y);
    case DOM_MOLL: return moll_fwd(st, lat, dlon, x, y);
    case DOM_LAMBAZ: return laea_fwd(st, lat, dlon, x, y);
    case DOM_SAT: return DOM_is_geos(&st.domain) ? geos_fwd(st, lat, dlon, x, y) : sat_fwd(st, lat, dlon, x, y);
    default: return 1;
    }
}

int earth_inv(const ProjState &st, int proj, double x, double y, float *lat, float *lon)
{
    switch (proj) {
    case DOM_PSTEREO: return ps_inv(st, x, y, lat, lon);
    case DOM_LATLON: return ll_inv(st, x, y, lat, lon);
    case DOM_MERC: return merc_inv(st, x, y, lat, lon);
    case DOM_LAMB: return lamb_inv(st, x, y, lat, lon);
    case DOM_ORTHO: return ortho_inv(st, x, y, lat, lon);
    case DOM_GNOM: return gnom_inv(st, x, y, lat, lon);
    case DOM_MOLL: return moll_inv(st, x, y, lat, lon);
    case DOM_LAMBAZ: return laea_inv(st, x, y, lat, lon);
    case DOM_SAT: return DOM_is_geos(&st.domain) ? geos_inv(st, x, y, lat, lon) : sat_inv(st, x, y, lat, lon);
    default: return 1;
    }
}

// A rectangle holding lamb_fwd's points of latitudes lat0..lat1 and (the
// longitude differences it takes, after its one step) d0..d1: the cone's
// radius grows or shrinks with latitude alone and its angle with the
// longitude alone, so the points fill a ring sector whose extremes lie at
// its corners or where the angle crosses an axis.  Widened by far more than
// the rounding of the single points.
void lamb_bound(const ProjState &st, double lat0, double lat1, double d0, double d1, float out[4])
{
    auto rho = [&st](double lat) {
        const double s = st.s;
        if (s > 0 && lat < -89.0) lat = -89.0;
        else if (s < 0 && lat > 89.0) lat = 89.0;
        return st.rmult * std::pow(std::tan((45.0 - s * lat * 0.5) * D2R), st.n);
    };
    const double ra = rho(lat0), rb = rho(lat1);
    double t0 = st.n * d0 * D2R, t1 = st.n * d1 * D2R;
    if (t0 > t1) std::swap(t0, t1);
    double th[8];
    int k = 0;
    th[k++] = t0;
    th[k++] = t1;
    for (int q = -4; q <= 4 && k < 8; ++q)
        if (q * M_PI / 2 > t0 && q * M_PI / 2 < t1) th[k++] = q * M_PI / 2;
    double x0 = HUGE_VAL, x1 = -HUGE_VAL, y0 = HUGE_VAL, y1 = -HUGE_VAL;
    for (int i = 0; i < k; ++i)
        for (double r : {ra, rb}) {
            const double x = r * std::sin(th[i]), y = -st.s * r * std::cos(th[i]);
            x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
        }
    const double pad = 1e-3 + 1e-6 * std::max(std::max(std::fabs(x0), std::fabs(x1)), std::max(std::fabs(y0), std::fabs(y1)));
    out[0] = (float)(x0 - pad);
    out[1] = (float)(x1 + pad);
    out[2] = (float)(y0 - pad);
    out[3] = (float)(y1 + pad);
}

}  // namespace map_detail
