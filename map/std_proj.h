// A domain's projection in the terms of the published definitions (EPSG's
// methods and PROJ's parameters), for writers of georeferenced files.
#pragma once

#include "core/records.h"

// Methods a domain can be stated as.
enum {
    MAP_STD_LATLON = 1,   // geographic latitude/longitude
    MAP_STD_MERC = 2,     // Mercator, true scale on the equator (EPSG 9804)
    MAP_STD_PSTEREO = 3,  // polar stereographic with a scale at the pole (EPSG 9810)
    MAP_STD_LCC = 4,      // Lambert conformal conic, two parallels (EPSG 9802)
    MAP_STD_LAEA = 5,     // Lambert azimuthal equal-area (EPSG 9820, spherical)
    MAP_STD_ORTHO = 6,    // orthographic (EPSG 9840)
};

struct MAP_STD_PROJ {
    int method;
    double lat0;        // latitude of the natural or false origin, the pole or the centre
    double lon0;        // central meridian (longitude of origin)
    double lat1, lat2;  // standard parallels of the Lambert conformal cone
    double k0;          // scale factor at the natural origin (Mercator, polar stereographic)
    double semi_major, semi_minor;  // of the earth the transforms use, metres
    // Coordinates in the method's own system (false easting and northing 0):
    // X = x0 + unit * plot x, Y = unit * plot y; unit is 1e5 (metres per
    // 100 km) for the projections and 1 (degree) for latitude/longitude,
    // where x0 is the central meridian.
    double unit, x0;
};

// Fills out for dom.  0, or -1 when no published method states the domain
// (satellite view, Mollweide, gnomonic, diagrams, a missing projection, a
// centre the projection cannot place); `why` (may be null) then gets a
// short reason.
int MAP_std_proj(const DOM *dom, MAP_STD_PROJ *out, const char **why = nullptr);
