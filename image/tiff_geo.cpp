// The map domain of a GeoTIFF: geographic files directly, Mercator, Lambert
// conformal conic and polar stereographic files through their own
// ellipsoidal projection.
//
// A projected file's first and last pixel centres (pixel (0, 0) and pixel
// (nx-1, ny-1)) are turned into latitude/longitude with the file's projection
// and ellipsoid, and the program's spherical domain of the same kind is
// fitted through them, so those two pixels land exactly where the file puts
// them.  Projection parameters are read the way the common GeoTIFF readers
// read them:
// - a parameter may sit in any of its alternative keys (natural origin,
//   false origin or centre); the first one present and non-zero is used;
// - Mercator: the latitude of true scale is the standard parallel (3078);
//   without it a scale factor (3092) other than 1 is the scale on the
//   equator, and otherwise the natural origin latitude (3081) is taken as the
//   latitude of true scale;
// - polar stereographic: a natural origin latitude (3081) of +-90 is the pole
//   with the scale factor 3092, any other value is the latitude of true scale
//   and its sign the hemisphere;
// - a projected system given only as a code (3072) is taken from a short
//   table of the common polar and Mercator systems.
// A transformation with rotation or shear gives no domain.
#include <cmath>
#include <initializer_list>
#include <map>

#include "core/flags.h"
#include "image/tiff_internal.h"
#include "map/map.h"

namespace tiffrd {

namespace {

constexpr double D2R = M_PI / 180;

// GeoKeys: short values, and doubles for keys stored in GeoDoubleParams.
struct GeoKeys {
    std::map<unsigned, unsigned> shorts;
    std::map<unsigned, double> doubles;
    bool has(unsigned k) const { return shorts.count(k) || doubles.count(k); }
    unsigned s(unsigned k, unsigned fallback = 0) const
    {
        auto it = shorts.find(k);
        return it == shorts.end() ? fallback : it->second;
    }
    double d(unsigned k, double fallback) const
    {
        auto it = doubles.find(k);
        return it == doubles.end() || !std::isfinite(it->second) ? fallback : it->second;
    }
    // The first of the keys present with a non-zero value, else 0.
    double first(std::initializer_list<unsigned> keys) const
    {
        for (unsigned k : keys)
            if (double v = d(k, 0)) return v;
        return 0;
    }
};

GeoKeys read_geokeys(const Tiff &t)
{
    GeoKeys g;
    const Entry *dir = t.get(34735);
    if (!dir || dir->type != 3 || dir->count < 4) return g;
    const Entry *dbl = t.get(34736);
    uint32_t nkeys = (uint32_t)t.uint_at(*dir, 3);
    // Keys past the end of the tag are ignored.
    nkeys = std::min<uint32_t>(nkeys, (dir->count - 4) / 4);
    for (uint32_t k = 0; k < nkeys; k++) {
        uint32_t i = 4 + 4 * k;
        unsigned id = (unsigned)t.uint_at(*dir, i), loc = (unsigned)t.uint_at(*dir, i + 1);
        unsigned count = (unsigned)t.uint_at(*dir, i + 2), val = (unsigned)t.uint_at(*dir, i + 3);
        if (loc == 0) g.shorts[id] = val;
        else if (loc == 34736 && dbl && count >= 1 && val < dbl->count)
            g.doubles[id] = t.double_at(*dbl, val);
        else if (loc == 34735 && count >= 1 && val < dir->count)
            g.shorts[id] = (unsigned)t.uint_at(*dir, val);
        // ASCII parameters (34737) carry citations only.
    }
    return g;
}

// Semi-major axis and inverse flattening of the ellipsoids real files name
// through an ellipsoid, datum or geographic system code.
bool known_ellipsoid(unsigned code, double &a, double &rf)
{
    struct E { unsigned ell, datum, gcs; double a, rf; };
    static const E table[] = {
        {7030, 6326, 4326, 6378137.0, 298.257223563},     // WGS 84
        {7019, 6269, 4269, 6378137.0, 298.257222101},     // GRS 1980 / NAD83
        {7008, 6267, 4267, 6378206.4, 294.9786982139},    // Clarke 1866 / NAD27
        {7004, 6301, 4301, 6377397.155, 299.1528128},     // Bessel 1841 / Tokyo
        {7022, 6230, 4230, 6378388.0, 297.0},             // International 1924 / ED50
        {7043, 6322, 4322, 6378135.0, 298.26},            // WGS 72
        {7001, 6277, 4277, 6377563.396, 299.3249646},     // Airy 1830 / OSGB36
    };
    for (const E &e : table)
        if (code == e.ell || code == e.datum || code == e.gcs) {
            a = e.a;
            rf = e.rf;
            return true;
        }
    return false;
}

struct Ellipsoid {
    double a = 6378137.0, e = 0.0818191908426215;
};

Ellipsoid ellipsoid_from_keys(const GeoKeys &g)
{
    double a = 6378137.0, rf = 298.257223563;
    if (g.doubles.count(2057)) {
        a = g.d(2057, a);
        if (g.doubles.count(2059)) rf = g.d(2059, rf);
        else if (g.doubles.count(2058)) {
            double b = g.d(2058, a);
            rf = a != b ? a / (a - b) : 0;
        }
    } else if (!known_ellipsoid(g.s(2056), a, rf) && !known_ellipsoid(g.s(2050), a, rf)) {
        known_ellipsoid(g.s(2048), a, rf);  // else WGS 84
    }
    Ellipsoid el;
    double f = rf > 0 ? 1 / rf : 0;
    el.a = a > 0 ? a : 6378137.0;
    el.e = f > 0 && f < 1 ? std::sqrt(f * (2 - f)) : 0;
    return el;
}

// Conformal latitude pieces of the ellipsoidal projections.
double tsfn(double phi, double e)
{
    double s = e * std::sin(phi);
    return std::tan(M_PI / 4 - phi / 2) / std::pow((1 - s) / (1 + s), e / 2);
}

double msfn(double phi, double e)
{
    double s = e * std::sin(phi);
    return std::cos(phi) / std::sqrt(1 - s * s);
}

// Latitude (radians) whose tsfn is t.
double phi_of_t(double t, double e)
{
    double phi = M_PI / 2 - 2 * std::atan(t);
    for (int i = 0; i < 20; i++) {
        double s = e * std::sin(phi);
        double next = M_PI / 2 - 2 * std::atan(t * std::pow((1 - s) / (1 + s), e / 2));
        if (std::fabs(next - phi) < 1e-13) return next;
        phi = next;
    }
    return phi;
}

// The file's own projection, inverse only: metres from the false origin in,
// degrees out.
struct FileProj {
    enum Kind { MERC, LCC, PS } kind = MERC;
    Ellipsoid el;
    double lon0 = 0;   // central meridian, degrees
    double fe = 0, fn = 0;
    double k = 1;      // Mercator: a k0; Lambert: a F k0 (sign of n); polar: rho over t
    double n = 1, rho0 = 0;  // Lambert cone constant and radius of the origin
    double hemi = 1;   // polar stereographic: 1 north, -1 south
    double true_lat[2] = {0, 0};  // for the spherical domain

    bool inverse(double x, double y, double &lat, double &lon) const
    {
        x -= fe;
        y -= fn;
        double phi, dlam;
        if (kind == MERC) {
            phi = phi_of_t(std::exp(-y / k), el.e);
            dlam = x / k;
        } else if (kind == LCC) {
            double sn = n > 0 ? 1 : -1, dy = rho0 - y;
            double rho = sn * std::sqrt(x * x + dy * dy);
            double theta = std::atan2(sn * x, sn * dy);
            phi = rho == 0 ? sn * M_PI / 2 : phi_of_t(std::pow(rho / k, 1 / n), el.e);
            dlam = theta / n;
        } else {
            double rho = std::sqrt(x * x + y * y);
            phi = hemi * phi_of_t(rho / k, el.e);
            dlam = hemi > 0 ? std::atan2(x, -y) : std::atan2(x, y);
        }
        lat = phi / D2R;
        lon = rdr::norm_lon(lon0 + dlam / D2R);
        return std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= 90;
    }
};

// Metres per unit of the model's linear unit.
double linear_unit(const GeoKeys &g)
{
    switch (g.s(3076, 9001)) {
    case 9002: return 0.3048;
    case 9003: return 1200.0 / 3937.0;
    case 9001: return 1;
    default: return g.d(3077, 1) > 0 ? g.d(3077, 1) : 1;
    }
}

// Projection keys of the systems real files name by code alone.
bool keys_from_code(unsigned code, GeoKeys &g)
{
    struct C { unsigned code, ct; double lat, lon, k, fe, fn, a, rf; };
    static const C table[] = {
        {3395, 7, 0, 0, 1, 0, 0, 6378137.0, 298.257223563},          // World Mercator
        {3857, 7, 0, 0, 1, 0, 0, 6378137.0, 0},                       // web Mercator (sphere)
        {3413, 15, 70, -45, 1, 0, 0, 6378137.0, 298.257223563},      // NSIDC north
        {3031, 15, -71, 0, 1, 0, 0, 6378137.0, 298.257223563},       // Antarctic
        {3995, 15, 71, 0, 1, 0, 0, 6378137.0, 298.257223563},        // Arctic
        {3976, 15, -70, 0, 1, 0, 0, 6378137.0, 298.257223563},       // NSIDC south
        {32661, 15, 90, 0, 0.994, 2e6, 2e6, 6378137.0, 298.257223563},   // UPS north
        {32761, 15, -90, 0, 0.994, 2e6, 2e6, 6378137.0, 298.257223563},  // UPS south
    };
    for (const C &c : table)
        if (c.code == code) {
            g.shorts[3075] = c.ct;
            g.shorts[3076] = 9001;
            g.doubles[3081] = c.lat;
            g.doubles[c.ct == 15 ? 3095 : 3080] = c.lon;
            g.doubles[3092] = c.k;
            g.doubles[3082] = c.fe;
            g.doubles[3083] = c.fn;
            g.doubles[2057] = c.a;
            if (c.rf) g.doubles[2059] = c.rf;
            else g.doubles[2058] = c.a;
            return true;
        }
    return false;
}

// The file projection and the program's domain kind for it; false for a
// projection without one (the message says which).
bool projection_from_keys(const GeoKeys &g, FileProj &p, DOM &d)
{
    p.el = ellipsoid_from_keys(g);
    const double a = p.el.a, e = p.el.e;
    double unit = linear_unit(g);
    unsigned ct = g.s(3075);
    double k0 = g.first({3092, 3093});
    if (k0 <= 0) k0 = 1;
    p.fe = g.first({3082, 3086, 3090}) * unit;
    p.fn = g.first({3083, 3087, 3091}) * unit;
    if (ct == 7) {  // Mercator
        p.kind = FileProj::MERC;
        p.lon0 = g.first({3080, 3084, 3088});
        double lat_ts = 0;
        if (g.doubles.count(3078)) lat_ts = g.d(3078, 0);
        else if (k0 == 1) lat_ts = g.first({3081, 3085, 3089});
        if (lat_ts) k0 = msfn(lat_ts * D2R, e);
        p.k = a * k0;
        d.proj = DOM_MERC;
        d.plat = 0;
    } else if (ct == 8 || ct == 9) {  // Lambert conformal conic, two or one parallels
        p.kind = FileProj::LCC;
        double lat0, lat1, lat2;
        if (ct == 8) {
            p.lon0 = g.first({3084, 3080, 3088});
            lat0 = g.first({3085, 3081, 3089});
            lat1 = g.d(3078, lat0);
            lat2 = g.d(3079, lat1);
            p.fe = g.first({3086, 3082}) * unit;
            p.fn = g.first({3087, 3083}) * unit;
            k0 = 1;
        } else {
            p.lon0 = g.first({3080, 3084, 3088});
            lat0 = lat1 = lat2 = g.first({3081, 3085, 3089});
        }
        double p0 = lat0 * D2R, p1 = lat1 * D2R, p2 = lat2 * D2R;
        double m1 = msfn(p1, e), t1 = tsfn(p1, e);
        double n = lat1 == lat2 ? std::sin(p1)
                                : (std::log(m1) - std::log(msfn(p2, e))) /
                                      (std::log(t1) - std::log(tsfn(p2, e)));
        if (!(std::fabs(n) > 1e-9) || !std::isfinite(n)) {
            MESS_print(MESS_MESS, "TIFF: Lambert cone without a cone (parallels %g, %g): no map "
                       "domain\n", lat1, lat2);
            return false;
        }
        p.n = n;
        p.k = a * k0 * m1 / (n * std::pow(t1, n));
        p.rho0 = p.k * std::pow(tsfn(p0, e), n);
        d.proj = DOM_LAMB;
        d.plat = n > 0 ? 90 : -90;
        d.parm[0] = (float)lat1;
        d.parm[1] = (float)lat2;
        d.parm[2] = 1;
    } else if (ct == 15) {  // polar stereographic
        p.kind = FileProj::PS;
        p.lon0 = g.first({3095, 3080, 3088});
        double lat = g.first({3081, 3085, 3089});
        if (lat == 0) lat = 90;
        p.hemi = lat > 0 ? 1 : -1;
        double true_lat;
        if (std::fabs(lat) >= 90) {
            p.k = 2 * a * k0 / std::sqrt(std::pow(1 + e, 1 + e) * std::pow(1 - e, 1 - e));
            // The sphere's latitude of that scale: k0 = (1 + sin lat) / 2.
            true_lat = p.hemi * std::asin(std::fmin(1.0, std::fmax(-1.0, 2 * k0 - 1))) / D2R;
        } else {
            double pc = std::fabs(lat) * D2R;
            p.k = a * msfn(pc, e) / tsfn(pc, e);
            true_lat = lat;
        }
        d.proj = DOM_PSTEREO;
        d.plat = (float)(90 * p.hemi);
        d.parm[0] = (float)true_lat;
    } else {
        MESS_print(MESS_MESS, "TIFF: projection not supported: no map domain\n");
        return false;
    }
    p.lon0 = rdr::norm_lon(p.lon0);
    d.plon = (float)p.lon0;
    // (The Lambert constants are negative for a cone opening to the south.)
    if (p.k == 0 || !std::isfinite(p.k) || !std::isfinite(p.rho0)) {
        MESS_print(MESS_MESS, "TIFF: projection parameters out of range: no map domain\n");
        return false;
    }
    // Model coordinates are in the file's unit: fold it into the constants.
    p.fe /= unit;
    p.fn /= unit;
    p.k /= unit;
    p.rho0 /= unit;
    return true;
}

// Raster to model: X = c0 + c1 i + c2 j, Y = c3 + c4 i + c5 j.
struct Affine {
    double c[6] = {0, 1, 0, 0, 0, 1};
    bool rotated() const { return c[2] != 0 || c[4] != 0; }
    void apply(double i, double j, double &x, double &y) const
    {
        x = c[0] + c[1] * i + c[2] * j;
        y = c[3] + c[4] * i + c[5] * j;
    }
};

// The georeference; false when the file has none.
bool georef(const Tiff &t, Affine &aff)
{
    const Entry *tie = t.get(33922), *scale = t.get(33550), *mat = t.get(34264);
    // The later of tiepoint and transformation in the directory wins.
    bool use_matrix = mat && mat->count >= 16 && (!tie || mat->tag > tie->tag);
    if (use_matrix) {
        double m[8];
        for (int i = 0; i < 8; i++) m[i] = t.double_at(*mat, i);
        aff.c[0] = m[3]; aff.c[1] = m[0]; aff.c[2] = m[1];
        aff.c[3] = m[7]; aff.c[4] = m[4]; aff.c[5] = m[5];
        MESS_print(TAGS, "UL: %.0f %.0f\n", m[3], m[7]);
        return true;
    }
    if (!tie || tie->count < 6 || !scale || scale->count < 2) return false;
    double I = t.double_at(*tie, 0), J = t.double_at(*tie, 1);
    double X = t.double_at(*tie, 3), Y = t.double_at(*tie, 4);
    double sx = t.double_at(*scale, 0), sy = t.double_at(*scale, 1);
    aff.c[0] = X - I * sx; aff.c[1] = sx; aff.c[2] = 0;
    aff.c[3] = Y + J * sy; aff.c[4] = 0; aff.c[5] = -sy;
    return true;
}

}  // namespace

void make_domain(const Tiff &t, int w, int h, IMG *image)
{
    GeoKeys g = read_geokeys(t);
    unsigned model = g.s(1024);
    if (model == 1 && !g.has(3075)) keys_from_code(g.s(3072), g);
    unsigned trans = g.s(3075);
    MESS_print(TAGS, "Proj: %d\n", model == 2 ? 2 : trans);
    bool geographic = model == 2;
    if (!geographic && (model != 1 || !g.has(3075))) {
        if (g.has(1024)) MESS_print(MESS_MESS, "TIFF: projection not supported: no map domain\n");
        return;
    }
    DOM d;
    DOM_init(&d);
    d.nx = w;
    d.ny = h;
    FileProj fp;
    if (!geographic && !projection_from_keys(g, fp, d)) return;
    Affine aff;
    if (!georef(t, aff)) {
        MESS_print(MESS_WARN, "SAT_read_TIFF: %s: no tiepoint or transformation: no map domain\n",
                   t.name);
        return;
    }
    if (aff.rotated()) {
        MESS_print(MESS_WARN, "SAT_read_TIFF: %s: rotated transformation: no map domain\n", t.name);
        return;
    }
    // Pixel centres are half a pixel into the raster for PixelIsArea (the
    // default), on the grid for PixelIsPoint.
    double half = g.s(1025, 1) == 2 ? 0 : 0.5;
    double x1, y1, x2, y2;
    aff.apply(half, half, x1, y1);
    aff.apply(w - 1 + half, h - 1 + half, x2, y2);
    if (geographic) {
        double unit = g.s(2054, 9102) == 9101 ? 180 / M_PI : 1;  // radians or degrees
        x1 *= unit, y1 *= unit, x2 *= unit, y2 *= unit;
        d.proj = DOM_LATLON;
        d.plat = d.plon = 0;
        d.dx = (float)std::fabs(aff.c[1] * unit);
        d.dy = (float)std::fabs(aff.c[5] * unit);
        d.clat = (float)((y1 + y2) / 2);
        d.clon = (float)rdr::norm_lon((x1 + x2) / 2);
    } else {
        double la1, lo1, la2, lo2;
        if (!fp.inverse(x1, y1, la1, lo1) || !fp.inverse(x2, y2, la2, lo2) ||
            !rdr::fit_domain(&d, la1, lo1, la2, lo2)) {
            MESS_print(MESS_WARN, "SAT_read_TIFF: %s: corners cannot be projected: no map domain\n",
                       t.name);
            return;
        }
        if (d.proj == DOM_MERC) d.ellipsoid = 1;
    }
    MESS_print(TAGS, "Center: %.2f %.2f\n", d.clat, d.clon);
    image->domain = d;
}

}  // namespace tiffrd
