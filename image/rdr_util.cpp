#include "image/rdr_util.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/flags.h"
#include "map/map.h"

namespace rdr {

bool read_all(FILE *in, std::vector<unsigned char> &out)
{
    out.clear();
    if (!in) return false;
    unsigned char buf[65536];
    size_t got;
    while ((got = fread(buf, 1, sizeof buf, in)) > 0) {
        if (out.size() + got > MAX_FILE) return false;
        out.insert(out.end(), buf, buf + got);
    }
    return !ferror(in);
}

unsigned Span::u8(uint64_t off) const
{
    if (!has(off, 1)) { bad = true; return 0; }
    return p[off];
}

unsigned Span::u16(uint64_t off) const
{
    if (!has(off, 2)) { bad = true; return 0; }
    return big ? (p[off] << 8 | p[off + 1]) : (p[off + 1] << 8 | p[off]);
}

uint32_t Span::u32(uint64_t off) const
{
    if (!has(off, 4)) { bad = true; return 0; }
    const unsigned char *q = p + off;
    return big ? (uint32_t)q[0] << 24 | (uint32_t)q[1] << 16 | (uint32_t)q[2] << 8 | q[3]
               : (uint32_t)q[3] << 24 | (uint32_t)q[2] << 16 | (uint32_t)q[1] << 8 | q[0];
}

double Span::f64(uint64_t off) const
{
    if (!has(off, 8)) { bad = true; return 0; }
    uint64_t v = 0;
    for (int i = 0; i < 8; i++) v |= (uint64_t)p[off + (big ? i : 7 - i)] << (8 * (7 - i));
    double d;
    std::memcpy(&d, &v, sizeof d);
    return d;
}

int ir_count(double kelvin)
{
    const double c = kelvin - 273.15;
    const double n = c >= -30 ? std::trunc(-2 * c) + 114 : std::trunc(145 - c);
    return (int)std::clamp(n, 1.0, 255.0);
}

double norm_lon(double lon)
{
    if (!std::isfinite(lon)) return lon;
    lon = std::fmod(lon + 180.0, 360.0);
    if (lon < 0) lon += 360.0;
    return lon - 180.0;
}

bool fit_mercator(DOM *dom, float plon, double lat1, double lon1, double lat2, double lon2,
                  int nx, int ny)
{
    if (nx < 2 || ny < 2) return false;
    DOM d;
    DOM_init(&d);
    d.proj = DOM_MERC;
    d.plat = 0;
    d.plon = plon;
    d.clat = 0;
    d.clon = plon;
    d.dx = d.dy = 1;
    d.nx = nx;
    d.ny = ny;
    const MapProj p = MAP_make_proj(&d);
    float x1, y1, x2, y2;
    if (!p.tran(&x1, &y1, (float)lat1, (float)lon1) || !p.tran(&x2, &y2, (float)lat2, (float)lon2)) return false;
    float clat, clon;
    if (!p.untran(&clat, &clon, (x1 + x2) / 2, (y1 + y2) / 2)) return false;
    d.dx = (x2 - x1) / (nx - 1);
    d.dy = (y2 - y1) / (ny - 1);
    d.clat = clat;
    d.clon = clon;
    *dom = d;
    return true;
}

bool fit_domain(DOM *dom, double lat1, double lon1, double lat2, double lon2)
{
    if (dom->nx < 2 || dom->ny < 2) return false;
    DOM d = *dom;
    d.clat = (float)lat1;
    d.clon = (float)lon1;
    d.dx = d.dy = 1;
    const MapProj p = MAP_make_proj(&d);
    float x1, y1, x2, y2;
    if (!p.tran(&x1, &y1, (float)lat1, (float)lon1) || !p.tran(&x2, &y2, (float)lat2, (float)lon2)) return false;
    double dx = ((double)x2 - x1) / (d.nx - 1), dy = ((double)y1 - y2) / (d.ny - 1);
    if (!(dx > 0) || !(dy > 0) || !std::isfinite(dx) || !std::isfinite(dy)) return false;
    float clat, clon;
    if (!p.untran(&clat, &clon, (x1 + x2) / 2, (y1 + y2) / 2)) return false;
    if (!std::isfinite(clat) || !std::isfinite(clon)) return false;
    d.dx = (float)dx;
    d.dy = (float)dy;
    d.clat = clat;
    d.clon = (float)norm_lon(clon);
    *dom = d;
    return true;
}

}  // namespace rdr
