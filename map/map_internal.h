// State of the map transform layer, shared by its source files (map.cpp,
// proj_earth.cpp, proj_diagram.cpp) and by nothing else.
#pragma once

#include <cmath>

#include "map/dom.h"

namespace map_detail {

constexpr double R = 63.7122;          // earth radius, 100 km
constexpr double D2R = 0.017453292519943334;
constexpr double R2D = 57.295779513082195;
constexpr float MISS = -9999.0f;

struct MapState {
    DOM domain;
    float limits[4];  // xmin, xmax, ymin, ymax
    float view[4];    // x1, x2, y1, y2
    // Cached constants; the float ones keep the layer's documented state,
    // the doubles are what the per-point code uses.
    float xfactor, yfactor, scale, mult, tlat1, tlat2;
    float sat_rad, sat_rad2, sat_rad4, sat2_earth2, sat_ratio, earth_ratio, earth_ratio2;
    bool ready;  // earth-projection constants computed for the current domain
    bool usable; // false when the domain cannot be projected (degenerate cone)
    double sin_p, cos_p;      // sine and cosine of plat
    double k_ps;              // polar stereographic radius factor
    double n, rmult, inv_n;   // Lambert cone constant, R*mult, 1/n
    double s;                 // hemisphere sign
    double srad, srad2, srad4, s2e2, eratio;  // satellite powers (double)
};

extern MapState st;

// Earth projections: dlon is longitude minus plon in degrees, already in
// [-180, 180]; lat in [-90, 90] and finite.
void earth_constants();
int earth_fwd(int proj, double lat, double lon, float *x, float *y);
int earth_inv(int proj, double x, double y, float *lat, float *lon);
// Inverse transform of n points and the satellite view's forward transform
// of n points, MAP_untran's and MAP_tran's checks included; ok[i] is what
// they would return.
void earth_inv_points(int proj, int n, const float *x, const float *y, float *lat, float *lon, unsigned char *ok);
void sat_fwd_points(int n, const float *lat, const float *lon, float *x, float *y, unsigned char *ok);

// Diagram coordinate systems (codes 20 to 44).
int diagram_fwd(int proj, double a, double b, float *x, float *y);
int diagram_inv(int proj, double x, double y, float *a, float *b);

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
