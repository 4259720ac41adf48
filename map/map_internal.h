// The projection object's pieces, shared by its source files (proj.cpp,
// proj_earth.cpp, proj_diagram.cpp, map.cpp) and by nothing else.
#pragma once

#include <cmath>

#include "map/dom.h"
#include "map/proj.h"

namespace map_detail {

constexpr double R = 63.7122;          // earth radius, 100 km
constexpr double D2R = 0.017453292519943334;
constexpr double R2D = 57.295779513082195;
constexpr float MISS = -9999.0f;

// Earth projections, on an object's state: lat in [-90, 90] and finite,
// lon already in [-180, 180].  earth_constants computes what the others
// read.
void earth_constants(ProjState &st);
int earth_fwd(const ProjState &st, int proj, double lat, double lon, float *x, float *y);
int earth_inv(const ProjState &st, int proj, double x, double y, float *lat, float *lon);
void lamb_bound(const ProjState &st, double lat0, double lat1, double d0, double d1, float out[4]);
// Inverse transform of n points and the satellite view's forward transform
// of n points, the single-point checks included; ok[i] is what the single
// point transform would return.
void earth_inv_points(const ProjState &st, int proj, int n, const float *x, const float *y, float *lat, float *lon,
                      unsigned char *ok);
void sat_fwd_points(const ProjState &st, int n, const float *lat, const float *lon, float *x, float *y,
                    unsigned char *ok);

// The fixed-grid satellite view (proj 9 with DOM_is_geos; proj_geos.cpp).
// geos_lat is the latitude part of the forward transform (the ellipsoid's
// x/y-plane distance and height of the point, 100 km) so that a batch can
// reuse it; geos_core completes it from the sine and cosine of the
// longitude from plon.
struct GeosLat {
    double rc, rs;
};
void geos_constants(ProjState &st);
GeosLat geos_lat(const ProjState &st, double lat);
int geos_core(const ProjState &st, const GeosLat &p, double sd, double cd, float *x, float *y);
int geos_fwd(const ProjState &st, double lat, double dlon, float *x, float *y);
int geos_inv(const ProjState &st, double x, double y, float *lat, float *lon);

// Diagram coordinate systems (codes 20 to 44).  settle_diagram computes the
// skew-T and tephigram factors from the view when they are not computed.
void settle_diagram(ProjState &st);
int diagram_fwd(const ProjState &st, int proj, double a, double b, float *x, float *y);
int diagram_inv(const ProjState &st, int proj, double x, double y, float *a, float *b);

inline double norm180(double lon)
{
    if (lon > 180.0 || lon < -180.0) {
        lon = std::fmod(lon, 360.0);
        if (lon > 180.0) lon -= 360.0;
        else if (lon < -180.0) lon += 360.0;
    }
    return lon;
}

inline double one_step180(double d)
{
    if (d > 180.0) return d - 360.0;
    if (d < -180.0) return d + 360.0;
    return d;
}

// Earth projections refuse coordinates that are not numbers or latitudes
// beyond the poles, before any arithmetic can loop or trap on them.
inline bool bad_earth_input(float lat, float lon)
{
    return !std::isfinite(lat) || !std::isfinite(lon) || lat > 90.0f || lat < -90.0f;
}

inline int fail(float *a, float *b)
{
    *a = MISS;
    *b = MISS;
    return 0;
}

}  // namespace map_detail
