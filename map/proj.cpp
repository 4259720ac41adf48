// The projection object: installing a domain, its limits and grid, and the
// common entry of the forward and inverse transforms, which hands each point
// to its projection's pair (proj_earth.cpp, proj_diagram.cpp).
#include "map/proj.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "map/map_internal.h"

using namespace map_detail;

namespace {

bool is_diagram(int proj) { return proj >= 20 && proj <= 44; }

void order(float *a, float *b)
{
    if (*a > *b) std::swap(*a, *b);
}

}  // namespace

MapProj::MapProj() : st_{}
{
    DOM_init(&st_.domain);
    st_.xfactor = MISS;
    st_.earth_ratio2 = 0.99330556f;
    st_.sat_rad = 421.61f;
}

MapProj::MapProj(const DOM &dom, const float view[4]) : MapProj()
{
    set_view(view);
    install(dom);
    settle();
}

void MapProj::invalidate()
{
    st_.xfactor = MISS;
    st_.ready = false;
}

void MapProj::install(const DOM &dom)
{
    st_.domain = dom;
    DOM &d = st_.domain;
    if (d.plat == DOM_MISSING) d.plat = d.clat;
    if (d.plon == DOM_MISSING) d.plon = d.clon;
    if (d.proj == DOM_PSTEREO) {
        st_.tlat1 = d.parm[0] != DOM_MISSING ? d.parm[0] : (d.plat < 0 ? -60.0f : 60.0f);
    } else if (d.proj == DOM_LAMB) {
        if (d.parm[0] != DOM_MISSING) {
            st_.tlat1 = d.parm[0];
            // A single true latitude makes a tangent cone.
            st_.tlat2 = d.parm[1] != DOM_MISSING ? d.parm[1] : d.parm[0];
        } else {
            st_.tlat1 = 30.0f;
            st_.tlat2 = 60.0f;
        }
    } else if (d.proj == DOM_SAT) {
        st_.sat_rad = d.parm[0] != DOM_MISSING ? d.parm[0] : 421.61f;
    }
    invalidate();
    st_.earth_ratio2 = 0.99330556f;
    set_limits();
}

void MapProj::settle()
{
    if (is_earth()) {
        if (!st_.ready) earth_constants(st_);
    } else {
        settle_diagram(st_);
    }
}

void MapProj::set_proj(int code)
{
    st_.domain.proj = code;
    invalidate();
}

void MapProj::set_coord(float plat, float plon)
{
    st_.domain.plat = plat;
    st_.domain.plon = plon;
    invalidate();
}

void MapProj::set_true_lats(const float t[2])
{
    if (st_.domain.proj != DOM_LAMB || !t) return;
    st_.domain.parm[0] = st_.tlat1 = t[0];
    st_.domain.parm[1] = st_.tlat2 = t[1];
    invalidate();
}

void MapProj::set_view(const float vp[4])
{
    if (vp) std::memcpy(st_.view, vp, sizeof st_.view);
}

int MapProj::tran(float *x, float *y, float lat, float lon) const
{
    const int proj = st_.domain.proj;
    if (is_earth()) {
        if (bad_earth_input(lat, lon)) return fail(x, y);
        if (!st_.usable) return fail(x, y);
        return earth_fwd(st_, proj, lat, norm180(lon), x, y);
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
    if (is_diagram(proj)) return diagram_fwd(st_, proj, lat, lon, x, y);
    return 1;  // no transform for this code: outputs untouched
}

int MapProj::untran(float *lat, float *lon, float x, float y) const
{
    const int proj = st_.domain.proj;
    if (is_earth()) {
        if (!std::isfinite(x) || !std::isfinite(y)) return fail(lat, lon);
        if (!st_.usable) return fail(lat, lon);
        return earth_inv(st_, proj, x, y, lat, lon);
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
    if (is_diagram(proj)) return diagram_inv(st_, proj, x, y, lat, lon);
    return 1;
}

// The earth path written out as tran's and untran's, with the constants
// made on the way: these carry every point the overlay draws.
int MapProj::settle_tran(float *x, float *y, float lat, float lon)
{
    if (!is_earth()) {
        settle_diagram(st_);
        return tran(x, y, lat, lon);
    }
    if (bad_earth_input(lat, lon)) return fail(x, y);
    if (!st_.ready) earth_constants(st_);
    if (!st_.usable) return fail(x, y);
    return earth_fwd(st_, st_.domain.proj, lat, norm180(lon), x, y);
}

bool MapProj::bound(int n, const float *ll, float out4[4])
{
    if (st_.domain.proj != DOM_LAMB || n < 1) return false;
    if (!st_.ready) earth_constants(st_);
    if (!st_.usable) return false;
    double la0 = HUGE_VAL, la1 = -HUGE_VAL, d0 = HUGE_VAL, d1 = -HUGE_VAL;
    for (int i = 0; i < n; ++i) {
        const float lat = ll[2 * i], lon = ll[2 * i + 1];
        if (bad_earth_input(lat, lon)) return false;
        // The longitude difference as settle_tran and lamb_fwd form it.
        const double d = one_step180(norm180(lon) - st_.domain.plon);
        la0 = std::min(la0, (double)lat), la1 = std::max(la1, (double)lat);
        d0 = std::min(d0, d), d1 = std::max(d1, d);
    }
    if (d1 - d0 >= 180.0) return false;
    lamb_bound(st_, la0, la1, d0, d1, out4);
    return true;
}

int MapProj::settle_untran(float *lat, float *lon, float x, float y)
{
    if (!is_earth()) {
        settle_diagram(st_);
        return untran(lat, lon, x, y);
    }
    if (!std::isfinite(x) || !std::isfinite(y)) return fail(lat, lon);
    if (!st_.ready) earth_constants(st_);
    if (!st_.usable) return fail(lat, lon);
    return earth_inv(st_, st_.domain.proj, x, y, lat, lon);
}

void MapProj::tran_points(int n, const float *lat, const float *lon, float *x, float *y, unsigned char *ok) const
{
    if (st_.domain.proj == DOM_SAT && st_.usable) return sat_fwd_points(st_, n, lat, lon, x, y, ok);
    for (int i = 0; i < n; ++i) ok[i] = tran(&x[i], &y[i], lat[i], lon[i]) != 0;
}

void MapProj::untran_points(int n, const float *x, const float *y, float *lat, float *lon, unsigned char *ok) const
{
    if (is_earth() && st_.usable) return earth_inv_points(st_, st_.domain.proj, n, x, y, lat, lon, ok);
    for (int i = 0; i < n; ++i) ok[i] = untran(&lat[i], &lon[i], x[i], y[i]) != 0;
}

void MapProj::set_limits()
{
    const DOM &d = st_.domain;
    float *L = st_.limits;
    const int proj = d.proj;
    if (is_earth()) {
        float cx = MISS, cy = MISS;
        settle_tran(&cx, &cy, d.clat, d.clon);
        float hw = ((float)d.nx - 1.0f) * 0.5f * d.dx, hh = ((float)d.ny - 1.0f) * 0.5f * d.dy;
        L[0] = cx - hw;
        L[1] = cx + hw;
        L[2] = cy - hh;
        L[3] = cy + hh;
        return;
    }
    // Outputs start at the raw corner so that codes without a transform
    // keep it.  The diagram factors are 0 or fixed here: nothing to settle.
    auto corner = [this](float a, float b, float *x, float *y) {
        *x = a;
        *y = b;
        tran(x, y, a, b);
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
        st_.xfactor = (float)d.nx / d.dx;
        st_.yfactor = (float)d.ny / d.dy;
    } else if (proj == 40 || proj == 43 || proj == 44) {
        st_.xfactor = st_.yfactor = 0.0f;
        float x2, y2;
        corner(d.clat, d.clon, &x0, &y0);
        corner(d.clat + d.dx, d.clon, &x1, &y1);
        corner(d.clat, d.clon + d.dy, &x2, &y2);
        L[0] = std::fmin(x0, std::fmin(x1, x2));
        L[1] = std::fmax(x0, std::fmax(x1, x2));
        L[2] = std::fmin(y0, std::fmin(y1, y2));
        L[3] = std::fmax(y0, std::fmax(y1, y2));
        st_.xfactor = MISS;
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

int MapProj::grid_tran(float *x, float *y, float i, float j) const
{
    if (i == MISS) return fail(x, y), -1;
    *x = st_.limits[0] + i * st_.domain.dx;
    *y = st_.limits[3] - j * st_.domain.dy;
    return 0;
}

int MapProj::grid_untran(float *i, float *j, float x, float y) const
{
    if (x == MISS) return fail(i, j), -1;
    *i = (x - st_.limits[0]) / st_.domain.dx;
    *j = (st_.limits[3] - y) / st_.domain.dy;
    return 0;
}

int MapProj::in_domain(float x, float y) const
{
    if (st_.domain.proj == DOM_MISSING) return 1;
    const float *L = st_.limits;
    return x >= L[0] && x <= L[1] && y >= L[2] && y <= L[3];
}

int MapProj::in_grid_domain(float x, float y) const
{
    if (st_.domain.proj == DOM_MISSING) return 1;
    const float *L = st_.limits;
    float wx = 3.0f * st_.domain.dx, wy = 3.0f * st_.domain.dy;
    return x >= L[0] - wx && x <= L[1] + wx && y >= L[2] - wy && y <= L[3] + wy;
}
