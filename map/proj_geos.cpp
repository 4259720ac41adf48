// The geostationary fixed grid: the satellite view on a given ellipsoid, in
// scan angles about either sweep axis, and the domain that puts an image's
// grid index on its scan angles.
//
// The satellite sits at distance H from the earth's centre on the x axis of
// an earth-centred frame turned to its sub-satellite longitude.  A point on
// the ellipsoid seen from it along (-1, vy, vz) has, for an instrument whose
// outer gimbal turns about the y axis (sweep y, the MSG convention)
//     x = atan(vy),                   y = atan(vz / sqrt(1 + vy^2))
// and for one whose outer gimbal turns about x (sweep x, the GOES-R ABI)
//     x = atan(vy / sqrt(1 + vz^2)),  y = atan(vz).
// Plot coordinates are these angles times the height above the surface
// (H - a), as PROJ's geos gives them in metres; here in 100 km.
#include <cmath>

#include "map/map_internal.h"

namespace map_detail {

namespace {

// GOES-R's published fixed-grid constants (GRS80 and the nominal height),
// used where a hand-made record leaves a parameter missing.
constexpr double DEF_A = 63.78137, DEF_B = 63.567523141, DEF_HEIGHT = 357.86023;

}  // namespace

void geos_constants(ProjState &st)
{
    const DOM &d = st.domain;
    const double a = d.parm[2] != DOM_MISSING ? d.parm[2] : DEF_A;
    const double b = d.parm[3] != DOM_MISSING ? d.parm[3] : DEF_B;
    const double dist = d.parm[0] != DOM_MISSING ? d.parm[0] : a + DEF_HEIGHT;
    st.g_a = a;
    st.g_rp2 = (b / a) * (b / a);
    st.g_dist = dist;
    st.g_height = dist - a;
    st.g_sweep_x = d.ellipsoid == DOM_GEOS_SWEEP_X;
    // A flattening beyond any planet's, or a satellite inside the earth,
    // has no view to draw.
    st.usable = a > 0 && b > 0.5 * a && b <= a && dist > a * 1.01 && std::isfinite(dist);
}

GeosLat geos_lat(const ProjState &st, double lat)
{
    // Geocentric latitude, then the ellipsoid's radius there.
    const double phic = std::atan(st.g_rp2 * std::tan(lat * D2R));
    double s, c;
    sincos(phic, &s, &c);
    const double r = st.g_a * std::sqrt(st.g_rp2) / std::sqrt(1.0 - (1.0 - st.g_rp2) * c * c);
    return {r * c, r * s};
}

int geos_core(const ProjState &st, const GeosLat &p, double sd, double cd, float *x, float *y)
{
    const double vx = p.rc * cd, vy = p.rc * sd, vz = p.rs;
    const double t = st.g_dist - vx;
    // Seen only when the line of sight meets the surface from outside: the
    // view vector against the surface normal (vx, vy, vz / (b/a)^2).
    if (t * vx - vy * vy - vz * vz / st.g_rp2 < 0.0) return fail(x, y);
    double ax, ay;
    if (st.g_sweep_x) {
        ax = std::atan(vy / std::hypot(vz, t));
        ay = std::atan(vz / t);
    } else {
        ax = std::atan(vy / t);
        ay = std::atan(vz / std::hypot(vy, t));
    }
    *x = (float)(ax * st.g_height);
    *y = (float)(ay * st.g_height);
    return 1;
}

int geos_fwd(const ProjState &st, double lat, double dlon, float *x, float *y)
{
    double sd, cd;
    sincos(dlon * D2R, &sd, &cd);
    return geos_core(st, geos_lat(st, lat), sd, cd, x, y);
}

int geos_inv(const ProjState &st, double x, double y, float *lat, float *lon)
{
    const double tx = std::tan(x / st.g_height), ty = std::tan(y / st.g_height);
    double vy, vz;
    if (st.g_sweep_x) {
        vz = ty;
        vy = tx * std::sqrt(1.0 + vz * vz);
    } else {
        vy = tx;
        vz = ty * std::sqrt(1.0 + vy * vy);
    }
    // The point dist - k, k*vy, k*vz on the ellipsoid: the nearer root of
    // q k^2 - 2 H k + H^2 - a^2 = 0.
    const double H = st.g_dist, q = 1.0 + vy * vy + vz * vz / st.g_rp2;
    const double disc = H * H - q * (H * H - st.g_a * st.g_a);
    if (!(disc >= 0.0)) return fail(lat, lon);
    const double k = (H - std::sqrt(disc)) / q;
    const double px = H - k, py = k * vy, pz = k * vz;
    *lat = (float)(std::atan(pz / (st.g_rp2 * std::hypot(px, py))) * R2D);
    *lon = (float)norm180(std::atan2(py, px) * R2D + st.domain.plon);
    return 1;
}

}  // namespace map_detail

using namespace map_detail;

int DOM_set_fixed_grid(DOM *dom, const DOM_FIXED_GRID *g)
{
    if (!dom || !g) return -1;
    const double vals[] = {g->sub_lon, g->height, g->semi_major, g->semi_minor, g->x0, g->y0, g->dx, g->dy};
    for (double v : vals)
        if (!std::isfinite(v)) return -1;
    // A full disk spans about +-0.152 rad; a grid reaching past +-0.5 rad
    // (or one with a pixel smaller than a micro-radian) is not a real one.
    const double x1 = g->x0 + (g->nx - 1) * g->dx, y1 = g->y0 + (g->ny - 1) * g->dy;
    if (g->nx < 1 || g->ny < 1 || g->nx > 100000 || g->ny > 100000 || !(g->dx > 1e-9) || !(g->dy < -1e-9) ||
        std::fabs(g->x0) > 0.5 || std::fabs(g->y0) > 0.5 || std::fabs(x1) > 0.5 || std::fabs(y1) > 0.5 ||
        std::fabs(g->sub_lon) > 360.0 || !(g->height > 1000.0) || !(g->semi_minor > 0) ||
        !(g->semi_major >= g->semi_minor) || g->height > 1e9 || g->semi_major > 1e8)
        return -1;
    DOM d;
    DOM_init(&d);
    d.proj = DOM_SAT;
    d.ellipsoid = g->sweep_x ? DOM_GEOS_SWEEP_X : DOM_GEOS_SWEEP_Y;
    d.plat = 0.0f;
    d.plon = (float)norm180(g->sub_lon);
    d.parm[0] = (float)((g->semi_major + g->height) * 1e-5);
    d.parm[1] = 1.0f;
    d.parm[2] = (float)(g->semi_major * 1e-5);
    d.parm[3] = (float)(g->semi_minor * 1e-5);
    d.nx = g->nx;
    d.ny = g->ny;
    // The plot scale is the height the transforms use (from the stored
    // floats, so the angles come back exactly as they went in).
    const double h = (double)d.parm[0] - (double)d.parm[2];
    d.dx = (float)(g->dx * h);
    d.dy = (float)(-g->dy * h);
    // The domain is centred on the grid's middle: its place on the earth is
    // what the record keeps, and the limits come back from it.
    d.clat = 0.0f;
    d.clon = d.plon;
    const MapProj p(d);
    float lat, lon;
    const float cx = (float)((g->x0 + 0.5 * (g->nx - 1) * g->dx) * h);
    const float cy = (float)((g->y0 + 0.5 * (g->ny - 1) * g->dy) * h);
    if (!p.untran(&lat, &lon, cx, cy)) return -1;
    d.clat = lat;
    d.clon = lon;
    *dom = d;
    return 0;
}
