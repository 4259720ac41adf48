// A projection object: one domain with its plot limits and every constant
// its transforms need (hemisphere sign, cone constant, satellite powers,
// the diagram systems' scale factors).  Any number live side by side, so
// code that moves points between two domains (the remap, the fitting, a
// reader placing its corners) holds both at once instead of switching the
// map layer's current domain.  The layer's MAP_* functions act on one such
// object, the current one (map/map.h).
//
// An object built from a domain is ready: its transforms only read it, so
// threads may share it.  Earth distances are in units of 100 km; angles in
// degrees.
#pragma once

#include "core/records.h"

namespace map_detail {

// Everything an object holds.  The float constants are the documented state
// of the layer (xfactor -9999: not computed yet); the doubles are what the
// per-point code uses.
struct ProjState {
    DOM domain;
    float limits[4];  // xmin, xmax, ymin, ymax
    float view[4];    // x1, x2, y1, y2: the viewport the skew-T and tephigram systems scale by
    float xfactor, yfactor, scale, tlat1, tlat2, sat_rad, earth_ratio2;
    bool ready;   // earth-projection constants computed for the domain
    bool usable;  // false when the domain cannot be projected (degenerate cone)
    double sin_p, cos_p;                      // sine and cosine of plat
    double k_ps;                              // polar stereographic radius factor
    double n, rmult, inv_n;                   // Lambert cone constant, R*mult, 1/n
    double s;                                 // hemisphere sign
    double srad, srad2, srad4, s2e2, eratio;  // satellite powers
    // The fixed grid (DOM_is_geos): semi-major axis, (b/a)^2, the
    // satellite's distance from the centre and height above the surface
    // (100 km), the sweep axis.
    double g_a, g_rp2, g_dist, g_height;
    bool g_sweep_x;
};

}  // namespace map_detail

class MapProj {
public:
    // No domain: projection code -9999, points pass through unchanged.
    MapProj();
    // dom installed as MAP_domain installs it (see install), then settled.
    // view is the plot viewport (x1, x2, y1, y2) for the skew-T and
    // tephigram systems; without one it is all zeros.
    explicit MapProj(const DOM &dom, const float view[4] = nullptr);

    // Takes dom (copied): a missing plat becomes clat and a missing plon
    // clon; true latitudes and satellite radius from parm or their
    // defaults; constants invalidated; limits computed.  The view is kept.
    void install(const DOM &dom);
    // What the first transform after a change does before it runs: the
    // earth constants of the domain (an orthographic domain without a pole
    // latitude gets 0 there), the skew-T and tephigram factors from the
    // view.  The layer does this lazily, where its transforms first need
    // it; an object built from a domain has it done.
    void settle();

    // Changes to the domain that keep the limits: the projection code, the
    // pole, the Lambert true latitudes (ignored unless proj is 4).
    // Constants are invalidated until the next settle().
    void set_proj(int code);
    void set_coord(float plat, float plon);
    void set_true_lats(const float t[2]);
    void set_view(const float vp[4]);
    // Recomputes the limits from the domain.
    void set_limits();

    const DOM &domain() const { return st_.domain; }
    // xmin, xmax, ymin, ymax
    const float *limits() const { return st_.limits; }
    const float *view() const { return st_.view; }
    bool is_earth() const { return st_.domain.proj >= 1 && st_.domain.proj <= 9; }
    // The true latitudes in use (polar stereographic: the first; Lambert
    // conformal: both, the defaults filled in).
    float true_lat(int k) const { return k ? st_.tlat2 : st_.tlat1; }
    // Hemisphere sign of the polar stereographic (-1 north) and Lambert
    // conformal (+1 north) projections, once settled.
    double hemisphere() const { return st_.s; }

    // Forward: 1 drawable, 0 not (outputs -9999).  Earth projections refuse
    // points that are not numbers or lie beyond a pole.
    int tran(float *x, float *y, float lat, float lon) const;
    // Inverse: same convention.
    int untran(float *lat, float *lon, float x, float y) const;
    // n points, each exactly as tran/untran give it (ok[i] its result);
    // faster where points share latitudes or longitudes (a latitude/longitude
    // grid's rows and columns).
    void tran_points(int n, const float *lat, const float *lon, float *x, float *y, unsigned char *ok) const;
    void untran_points(int n, const float *x, const float *y, float *lat, float *lon, unsigned char *ok) const;
    // The same on an object that may not be settled: settle() first, unless
    // an earth projection refuses the point (a point that is not a number,
    // a latitude beyond a pole), which settles nothing.  This is the layer's
    // MAP_tran and MAP_untran.
    int settle_tran(float *x, float *y, float lat, float lon);
    int settle_untran(float *lat, float *lon, float x, float y);

    // A rectangle (xmin, xmax, ymin, ymax) holding every point settle_tran
    // gives the n latitude/longitude pairs (lat, lon, lat, lon, ...), found
    // without transforming each: false where it cannot tell (a point it
    // refuses, a projection other than the Lambert conformal, points
    // reaching more than half-way round the cone).
    bool bound(int n, const float *latlon, float out4[4]);

    // Grid index to plot coordinates (row 0 at the top) and back; -1 with
    // -9999 twice when the first input is -9999, else 0.
    int grid_tran(float *x, float *y, float i, float j) const;
    int grid_untran(float *i, float *j, float x, float y) const;
    // Inside the limits (or everywhere without a projection); the grid form
    // widens them by three spacings.
    int in_domain(float x, float y) const;
    int in_grid_domain(float x, float y) const;

private:
    void invalidate();
    map_detail::ProjState st_;
};
