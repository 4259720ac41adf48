// The map transform layer: the current domain, its limits and grid, the
// common entry of the forward and inverse transforms, and the direction
// helpers used for wind plotting.
#include "map/map.h"

#include <cmath>
#include <cstring>

#include "core/flags.h"
#include "map/dom_internal.h"
#include "map/map_internal.h"
#include "map/overlay_internal.h"

namespace map_detail {

// The state at program start: the default domain, no constants computed.
MapState start_state()
{
    MapState s{};
    DOM_init(&s.domain);
    s.xfactor = MISS;
    s.sat_ratio = MISS;
    s.earth_ratio2 = 0.99330556f;
    s.sat_rad = 421.61f;
    return s;
}

MapState st = start_state();

}  // namespace map_detail

using namespace map_detail;

namespace {

bool is_earth(int proj) { return proj >= 1 && proj <= 9; }
bool is_diagram(int proj) { return proj >= 20 && proj <= 44; }

void invalidate()
{
    st.xfactor = MISS;
    st.sat_ratio = MISS;
    st.ready = false;
}

void order(float *a, float *b)
{
    if (*a > *b) std::swap(*a, *b);
}

}  // namespace

int MAP_domain(const DOM *dom)
{
    if (!dom) {
        st.domain.proj = DOM_MISSING;
        invalidate();
        return -1;
    }
    st.domain = *dom;
    DOM &d = st.domain;
    if (d.plat == DOM_MISSING) d.plat = d.clat;
    if (d.plon == DOM_MISSING) d.plon = d.clon;
    if (d.proj == DOM_PSTEREO) {
        st.tlat1 = d.parm[0] != DOM_MISSING ? d.parm[0] : (d.plat < 0 ? -60.0f : 60.0f);
    } else if (d.proj == DOM_LAMB) {
        if (d.parm[0] != DOM_MISSING) {
            st.tlat1 = d.parm[0];
            // A single true latitude makes a tangent cone.
            st.tlat2 = d.parm[1] != DOM_MISSING ? d.parm[1] : d.parm[0];
        } else {
            st.tlat1 = 30.0f;
            st.tlat2 = 60.0f;
        }
    } else if (d.proj == DOM_SAT) {
        st.sat_rad = d.parm[0] != DOM_MISSING ? d.parm[0] : 421.61f;
    }
    invalidate();
    st.earth_ratio2 = 0.99330556f;
    MAP_set_limits();
    return 0;
}

DOM *MAP_get_domain(DOM *out)
{
    if (!out) return &st.domain;
    *out = st.domain;
    return out;
}

void MAP_print_domain() { DOM_print(MESS_PRINT, &st.domain); }

void MAP_proj(int code)
{
    st.domain.proj = code;
    invalidate();
}

void MAP_coord(float plat, float plon)
{
    st.domain.plat = plat;
    st.domain.plon = plon;
    invalidate();
}

void MAP_proj_coord(const float t[2])
{
    if (st.domain.proj != DOM_LAMB || !t) return;
    st.domain.parm[0] = st.tlat1 = t[0];
    st.domain.parm[1] = st.tlat2 = t[1];
    invalidate();
}

int MAP_get_proj() { return st.domain.proj; }
float MAP_get_clat() { return st.domain.clat; }
float MAP_get_clon() { return st.domain.clon; }
int MAP_proj_str(const char *word) { return DOM_proj_str(word); }

int MAP_tran(float *x, float *y, float lat, float lon)
{
    const int proj = st.domain.proj;
    if (is_earth(proj)) {
        if (bad_earth_input(lat, lon)) return fail(x, y);
        if (!st.ready) earth_constants();
        if (!st.usable) return fail(x, y);
        return earth_fwd(proj, lat, norm180(lon), x, y);
    }
    if (proj == DOM_MISSING) {
        *x = lat;
        *y = lon;
        return 1;
    }
    if (proj == DOM_PIXEL) {
        *x = lat;
        *y = -lon;
        return 1;
    }
    if (is_diagram(proj)) return diagram_fwd(proj, lat, lon, x, y);
    return 1;  // no transform for this code: outputs untouched
}

void MAP_tran_points(int n, const float *lat, const float *lon, float *x, float *y, unsigned char *ok)
{
    if (st.domain.proj == DOM_SAT) {
        if (!st.ready) earth_constants();
        if (st.usable) return sat_fwd_points(n, lat, lon, x, y, ok);
    }
    for (int i = 0; i < n; ++i) ok[i] = MAP_tran(&x[i], &y[i], lat[i], lon[i]) != 0;
}

void MAP_untran_points(int n, const float *x, const float *y, float *lat, float *lon, unsigned char *ok)
{
    const int proj = st.domain.proj;
    if (is_earth(proj)) {
        if (!st.ready) earth_constants();
        if (st.usable) return earth_inv_points(proj, n, x, y, lat, lon, ok);
    }
    for (int i = 0; i < n; ++i) ok[i] = MAP_untran(&lat[i], &lon[i], x[i], y[i]) != 0;
}

int MAP_untran(float *lat, float *lon, float x, float y)
{
    const int proj = st.domain.proj;
    if (is_earth(proj)) {
        if (!std::isfinite(x) || !std::isfinite(y)) return fail(lat, lon);
        if (!st.ready) earth_constants();
        if (!st.usable) return fail(lat, lon);
        return earth_inv(proj, x, y, lat, lon);
    }
    if (proj == DOM_MISSING) {
        *lat = x;
        *lon = y;
        return 1;
    }
    if (proj == DOM_PIXEL) {
        *lat = x;
        *lon = -y;
        return 1;
    }
    if (is_diagram(proj)) return diagram_inv(proj, x, y, lat, lon);
    return 1;
}

int MAP_tran_center(float *x, float *y) { return MAP_tran(x, y, st.domain.clat, st.domain.clon); }
int MAP_tran_ep(float pt[2], const float latlon[2]) { return MAP_tran(&pt[0], &pt[1], latlon[0], latlon[1]); }
int MAP_tran_pe(float pt[2], const float xy[2]) { return MAP_untran(&pt[0], &pt[1], xy[0], xy[1]); }

void MAP_set_limits()
{
    const DOM &d = st.domain;
    float *L = st.limits;
    const int proj = d.proj;
    if (is_earth(proj)) {
        float cx = MISS, cy = MISS;
        MAP_tran(&cx, &cy, d.clat, d.clon);
        float hw = ((float)d.nx - 1.0f) * 0.5f * d.dx, hh = ((float)d.ny - 1.0f) * 0.5f * d.dy;
        L[0] = cx - hw;
        L[1] = cx + hw;
        L[2] = cy - hh;
        L[3] = cy + hh;
        return;
    }
    // Outputs start at the raw corner so that codes without a transform
    // keep it.
    auto corner = [](float a, float b, float *x, float *y) {
        *x = a;
        *y = b;
        MAP_tran(x, y, a, b);
    };
    float x0, y0, x1, y1;
    if (proj == 20 || proj == 24 || proj == 25) {
        if (proj == 25) {
            L[0] = d.clat;
            L[1] = d.clat + (float)d.nx;
            L[2] = -d.clon;
            L[3] = (float)d.ny - d.clon;
        } else {
            L[0] = d.clat;
            L[1] = d.clat + (float)d.nx;
            L[2] = d.clon;
            L[3] = d.clon + (float)d.ny;
        }
        st.xfactor = (float)d.nx / d.dx;
        st.yfactor = (float)d.ny / d.dy;
    } else if (proj == 40 || proj == 43 || proj == 44) {
        st.xfactor = st.yfactor = 0.0f;
        float x2, y2;
        corner(d.clat, d.clon, &x0, &y0);
        corner(d.clat + d.dx, d.clon, &x1, &y1);
        corner(d.clat, d.clon + d.dy, &x2, &y2);
        L[0] = std::fmin(x0, std::fmin(x1, x2));
        L[1] = std::fmax(x0, std::fmax(x1, x2));
        L[2] = std::fmin(y0, std::fmin(y1, y2));
        L[3] = std::fmax(y0, std::fmax(y1, y2));
        st.xfactor = MISS;
        return;
    } else {
        corner(d.clat, d.clon, &x0, &y0);
        corner(d.clat + d.dx, d.clon + d.dy, &x1, &y1);
        L[0] = x0;
        L[1] = x1;
        L[2] = y0;
        L[3] = y1;
    }
    order(&L[0], &L[1]);
    order(&L[2], &L[3]);
}

void MAP_get_limits(float out4[4]) { std::memcpy(out4, st.limits, sizeof st.limits); }

void MAP_get_up_left(float *x, float *y)
{
    *x = st.limits[0];
    *y = st.limits[3];
}

void MAP_set_view(const float vp[4])
{
    if (vp) std::memcpy(st.view, vp, sizeof st.view);
}

int MAP_grid_tran(float *x, float *y, float i, float j)
{
    if (i == MISS) return fail(x, y), -1;
    *x = st.limits[0] + i * st.domain.dx;
    *y = st.limits[3] - j * st.domain.dy;
    return 0;
}

int MAP_grid_untran(float *i, float *j, float x, float y)
{
    if (x == MISS) return fail(i, j), -1;
    *i = (x - st.limits[0]) / st.domain.dx;
    *j = (st.limits[3] - y) / st.domain.dy;
    return 0;
}

int MAP_in_domain(float x, float y)
{
    if (st.domain.proj == DOM_MISSING) return 1;
    const float *L = st.limits;
    return x >= L[0] && x <= L[1] && y >= L[2] && y <= L[3];
}

int MAP_in_grid_domain(float x, float y)
{
    if (st.domain.proj == DOM_MISSING) return 1;
    const float *L = st.limits;
    float wx = 3.0f * st.domain.dx, wy = 3.0f * st.domain.dy;
    return x >= L[0] - wx && x <= L[1] + wx && y >= L[2] - wy && y <= L[3] + wy;
}

int MAP_domain_tran(const DOM *from, const DOM *to, float *x, float *y, float x0, float y0)
{
    if (!from || !to) return fail(x, y);
    if (DOM_comp(from, to)) {
        *x = x0;
        *y = y0;
        return 1;
    }
    MapState saved = st;
    float lat, lon;
    MAP_domain(from);
    int r = MAP_untran(&lat, &lon, x0, y0);
    if (r == 1 || (r == 0 && lat != MISS)) {
        MAP_domain(to);
        r = MAP_tran(x, y, lat, lon);
    } else {
        fail(x, y);
    }
    st = saved;
    return r;
}

float MAP_factor(float lat)
{
    if (st.domain.proj == DOM_PSTEREO) return (float)(1.866 / (1.0 + std::sin(lat * D2R)));
    if (st.domain.proj == DOM_LAMB) return st.domain.parm[2];
    return 1.0f;
}

// ---- directions ----

namespace {

bool north_ps() { return st.domain.plat >= 0; }

// Flat step of dist km along dir from a latitude/longitude.
void step_km(float lat, float lon, float dir, float dist, float *lat2, float *lon2)
{
    double s, c;
    sincos(dir * D2R, &s, &c);
    *lat2 = (float)(lat + dist * c / 111.195);
    *lon2 = (float)(lon + dist * s / (111.195 * std::cos(lat * D2R)));
}

}  // namespace

float MAP_dir_adj(float dir, float x, float y)
{
    const DOM &d = st.domain;
    switch (d.proj) {
    case DOM_PSTEREO:
        if (x == 0 && y == 0) return north_ps() ? dir - d.plon : dir + d.plon;
        return north_ps() ? dir - (float)(std::atan2(x, -y) * R2D) : dir + (float)(std::atan2(x, y) * R2D);
    case DOM_LAMB:
        // The southern cone opens the other way: its meridians turn with
        // the opposite sign, as on the southern polar stereographic.
        if (!st.ready) earth_constants();
        if (st.s < 0) return dir + (float)(std::atan2(x, y) * R2D);
        return dir - (float)(std::atan2(x, -y) * R2D);
    case DOM_SAT: {
        float lat, lon, lat2, lon2, x2, y2;
        if (!MAP_untran(&lat, &lon, x, y)) return MISS;
        step_km(lat, lon, dir, 1.0f, &lat2, &lon2);
        if (!MAP_tran(&x2, &y2, lat2, lon2)) return MISS;
        return (float)(std::atan2(x2 - x, y2 - y) * R2D);
    }
    default: return dir;
    }
}

float MAP_undir_adj(float dir, float x, float y)
{
    const DOM &d = st.domain;
    switch (d.proj) {
    case DOM_PSTEREO:
        if (x == 0 && y == 0) return north_ps() ? dir + d.plon : dir - d.plon;
        return north_ps() ? (float)(std::atan2(x, -y) * R2D) + dir : dir - (float)(std::atan2(x, y) * R2D);
    case DOM_LAMB:
        if (!st.ready) earth_constants();
        if (st.s < 0) return dir - (float)(std::atan2(x, y) * R2D);
        return (float)(std::atan2(x, -y) * R2D) + dir;
    default: return dir;
    }
}

float MAP_uvdir_adj(float u, float v, float x, float y)
{
    const DOM &d = st.domain;
    if (d.proj != DOM_PSTEREO) return 0.0f;
    if (x == 0 && y == 0) return north_ps() ? -d.plon : d.plon;
    return north_ps() ? -(float)(std::atan2(x, -y) * R2D) : (float)(std::atan2(x, y) * R2D);
}

float MAP_dir(float x1, float y1, float x2, float y2)
{
    double dir = std::atan2(x2 - x1, y2 - y1) * R2D;
    if (st.domain.proj == DOM_PSTEREO)
        dir += north_ps() ? std::atan2(x1, -y1) * R2D : -std::atan2(x1, y1) * R2D;
    return (float)dir;
}

void MAP_offset(float *x, float *y, float x0, float y0, float dir, float dist)
{
    float lat = 0, lon = 0, lat2 = 0, lon2 = 0;
    if (!MAP_untran(&lat, &lon, x0, y0)) {
        fail(x, y);
        return;
    }
    step_km(lat, lon, dir, dist, &lat2, &lon2);
    if (!MAP_tran(x, y, lat2, lon2)) fail(x, y);
}

void MAP_reset()
{
    st = start_state();
    DOM_reset();
    DOM_reset_region_menu();
    MAP_reset_overlay();
}
