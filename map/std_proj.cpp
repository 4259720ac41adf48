// A domain stated in the published projection definitions.
//
// The transforms of the map layer (earth radius R = 6371.22 km, a sphere
// for every projection but the satellite view, whose ellipsoid flag is the
// only one the layer honours) are the spherical forms of these methods, each
// with its origin where plot (0, 0) lies, so no false easting or northing
// is needed:
// - polar stereographic: radius R (1 - s sin t) tan((s lat + 90) / 2) from
//   the pole, i.e. the pole as origin with scale (1 - s sin t) / 2 there
//   (t the true latitude, s -1 north);
// - Lambert conformal: the cone's apex at plot (0, 0), i.e. the false origin
//   at the pole of the domain's hemisphere; the cone is built from the true
//   latitudes' sizes in that hemisphere, so they are given its sign;
// - Mercator: true scale on the equator; orthographic and Lambert
//   azimuthal: centred on (plat, plon);
// - latitude/longitude: plot x is the longitude east of plon.
#include "map/std_proj.h"

#include <cmath>

#include "map/map.h"

namespace {

constexpr double D2R = M_PI / 180;
constexpr double R_METRES = 6371220.0;

int refuse(const char **why, const char *reason)
{
    if (why) *why = reason;
    return -1;
}

}  // namespace

int MAP_std_proj(const DOM *dom, MAP_STD_PROJ *out, const char **why)
{
    if (!dom || !out) return refuse(why, "no domain");
    switch (dom->proj) {
    case DOM_LATLON: case DOM_MERC: case DOM_PSTEREO: case DOM_LAMB: case DOM_LAMBAZ: case DOM_ORTHO: break;
    case DOM_SAT: return refuse(why, "the satellite view has no GeoTIFF projection");
    case DOM_MOLL: return refuse(why, "Mollweide has no GeoTIFF projection");
    case DOM_GNOM: return refuse(why, "the gnomonic projection has no transform here");
    case DOM_MISSING: return refuse(why, "no map projection");
    default: return refuse(why, "not an earth projection");
    }
    const MapProj proj(*dom);
    const DOM &d = proj.domain();
    float cx, cy;
    if (proj.tran(&cx, &cy, d.clat, d.clon) != 1 || !std::isfinite(d.plat) || !std::isfinite(d.plon))
        return refuse(why, "the domain's centre cannot be projected");
    MAP_STD_PROJ p{};
    p.semi_major = p.semi_minor = R_METRES;
    p.unit = 1e5;
    p.k0 = 1;
    p.lon0 = d.plon;
    const double s = d.plat >= 0 ? 1 : -1;  // the hemisphere of the polar projections
    switch (d.proj) {
    case DOM_LATLON:
        p.method = MAP_STD_LATLON;
        p.unit = 1;
        p.x0 = d.plon;
        break;
    case DOM_MERC: p.method = MAP_STD_MERC; break;
    case DOM_PSTEREO:
        p.method = MAP_STD_PSTEREO;
        p.lat0 = 90 * s;
        p.k0 = (1 + s * std::sin(proj.true_lat(0) * D2R)) / 2;
        break;
    case DOM_LAMB:
        p.method = MAP_STD_LCC;
        p.lat0 = 90 * s;
        p.lat1 = s * std::fabs(proj.true_lat(0));
        p.lat2 = s * std::fabs(proj.true_lat(1));
        break;
    case DOM_LAMBAZ: p.method = MAP_STD_LAEA, p.lat0 = d.plat; break;
    default: p.method = MAP_STD_ORTHO, p.lat0 = d.plat; break;
    }
    if (!(p.k0 > 0)) return refuse(why, "a true latitude that leaves no scale at the pole");
    *out = p;
    return 0;
}
