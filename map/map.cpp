// The map transform layer: the current domain's projection object, which
// every MAP_* transform acts on, and the direction helpers used for wind
// plotting.
#include "map/map.h"

#include <cmath>
#include <cstring>

#include "core/flags.h"
#include "map/dom_internal.h"
#include "map/map_internal.h"
#include "map/overlay_internal.h"

using namespace map_detail;

namespace {

// The current domain's object: the one thing this layer holds for its
// MAP_* functions.  Its first-use steps are left lazy (see
// MapProj::settle) so that the layer behaves as one object changed in place.
MapProj current;

MapProj &cur() { return current; }

}  // namespace

int MAP_domain(const DOM *dom)
{
    if (!dom) {
        cur().set_proj(DOM_MISSING);
        return -1;
    }
    cur().install(*dom);
    return 0;
}

DOM *MAP_get_domain(DOM *out)
{
    // The layer's pointer form: callers only read through it.
    if (!out) return const_cast<DOM *>(&cur().domain());
    *out = cur().domain();
    return out;
}

void MAP_print_domain() { DOM_print(MESS_PRINT, &cur().domain()); }

void MAP_proj(int code) { cur().set_proj(code); }
void MAP_coord(float plat, float plon) { cur().set_coord(plat, plon); }
void MAP_proj_coord(const float t[2]) { cur().set_true_lats(t); }

int MAP_get_proj() { return cur().domain().proj; }
float MAP_get_clat() { return cur().domain().clat; }
float MAP_get_clon() { return cur().domain().clon; }
int MAP_proj_str(const char *word) { return DOM_proj_str(word); }

MapProj MAP_make_proj(const DOM *dom) { return MapProj(*dom, cur().view()); }

int MAP_tran(float *x, float *y, float lat, float lon) { return cur().settle_tran(x, y, lat, lon); }
bool MAP_bound(int n, const float *latlon, float out4[4]) { return cur().bound(n, latlon, out4); }
int MAP_untran(float *lat, float *lon, float x, float y) { return cur().settle_untran(lat, lon, x, y); }

int MAP_tran_center(float *x, float *y) { return MAP_tran(x, y, cur().domain().clat, cur().domain().clon); }
int MAP_tran_ep(float pt[2], const float latlon[2]) { return MAP_tran(&pt[0], &pt[1], latlon[0], latlon[1]); }
int MAP_tran_pe(float pt[2], const float xy[2]) { return MAP_untran(&pt[0], &pt[1], xy[0], xy[1]); }

void MAP_set_limits() { cur().set_limits(); }
void MAP_get_limits(float out4[4]) { std::memcpy(out4, cur().limits(), 4 * sizeof(float)); }

void MAP_get_up_left(float *x, float *y)
{
    *x = cur().limits()[0];
    *y = cur().limits()[3];
}

void MAP_set_view(const float vp[4]) { cur().set_view(vp); }

int MAP_grid_tran(float *x, float *y, float i, float j) { return cur().grid_tran(x, y, i, j); }
int MAP_grid_untran(float *i, float *j, float x, float y) { return cur().grid_untran(i, j, x, y); }
int MAP_in_domain(float x, float y) { return cur().in_domain(x, y); }
int MAP_in_grid_domain(float x, float y) { return cur().in_grid_domain(x, y); }

int MAP_domain_tran(const DOM *from, const DOM *to, float *x, float *y, float x0, float y0)
{
    if (!from || !to) return fail(x, y);
    if (DOM_comp(from, to)) {
        *x = x0;
        *y = y0;
        return 1;
    }
    const MapProj a = MAP_make_proj(from), b = MAP_make_proj(to);
    float lat, lon;
    int r = a.untran(&lat, &lon, x0, y0);
    if (r == 1 || (r == 0 && lat != MISS)) r = b.tran(x, y, lat, lon);
    else fail(x, y);
    return r;
}

float MAP_factor(float lat)
{
    if (cur().domain().proj == DOM_PSTEREO) return (float)(1.866 / (1.0 + std::sin(lat * D2R)));
    if (cur().domain().proj == DOM_LAMB) return cur().domain().parm[2];
    return 1.0f;
}

// ---- directions ----

namespace {

bool north_ps() { return cur().domain().plat >= 0; }

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
    const DOM &d = cur().domain();
    switch (d.proj) {
    case DOM_PSTEREO:
        if (x == 0 && y == 0) return north_ps() ? dir - d.plon : dir + d.plon;
        return north_ps() ? dir - (float)(std::atan2(x, -y) * R2D) : dir + (float)(std::atan2(x, y) * R2D);
    case DOM_LAMB:
        // The southern cone opens the other way: its meridians turn with
        // the opposite sign, as on the southern polar stereographic.
        cur().settle();
        if (cur().hemisphere() < 0) return dir + (float)(std::atan2(x, y) * R2D);
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
    const DOM &d = cur().domain();
    switch (d.proj) {
    case DOM_PSTEREO:
        if (x == 0 && y == 0) return north_ps() ? dir + d.plon : dir - d.plon;
        return north_ps() ? (float)(std::atan2(x, -y) * R2D) + dir : dir - (float)(std::atan2(x, y) * R2D);
    case DOM_LAMB:
        cur().settle();
        if (cur().hemisphere() < 0) return dir - (float)(std::atan2(x, y) * R2D);
        return (float)(std::atan2(x, -y) * R2D) + dir;
    default: return dir;
    }
}

float MAP_uvdir_adj(float u, float v, float x, float y)
{
    const DOM &d = cur().domain();
    if (d.proj != DOM_PSTEREO) return 0.0f;
    if (x == 0 && y == 0) return north_ps() ? -d.plon : d.plon;
    return north_ps() ? -(float)(std::atan2(x, -y) * R2D) : (float)(std::atan2(x, y) * R2D);
}

float MAP_dir(float x1, float y1, float x2, float y2)
{
    double dir = std::atan2(x2 - x1, y2 - y1) * R2D;
    if (cur().domain().proj == DOM_PSTEREO)
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
    current = MapProj{};
    DOM_reset();
    DOM_reset_region_menu();
    MAP_reset_overlay();
}
