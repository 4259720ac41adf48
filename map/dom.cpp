// Domain records and the domain string: keywords, templates, printing,
// comparison and the plotting priority derived from a domain's size.
//
// The projection field is a keyword, optionally "e" (the satellite view on
// the GRS80 ellipsoid), then plat:plon and the parameters, colon-separated.
// The geostationary fixed grid has its own keyword, which no string used
// before (so every existing string keeps its meaning):
//     geos[:AXIS[:SUBLON[:HEIGHT[:A[:B]]]]]
// AXIS "x" (the GOES-R ABI's sweep, the default) or "y" (MSG's), SUBLON the
// sub-satellite longitude (missing: the centre longitude, as plon), HEIGHT
// the satellite's height above the ellipsoid and A, B its semi-major and
// semi-minor axes, in metres as PROJ's +h/+a/+b and the files give them
// (defaults: GOES-R's 35786023, 6378137, 6356752.31414).  It is the
// satellite view (proj 9) with scan angles, plot x/y being the angles times
// the height; e.g. "geos:x:-75.2,30,-87,1101,601,0.0300,0.0300".  DOM_print
// writes it back with every number to the float's precision.
#include "map/dom.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/hooks.h"
#include "core/res.h"
#include "core/util.h"
#include "map/dom_internal.h"

namespace {

struct ProjWord {
    const char *word;
    int len;
    int code;
};

// Tested in order; the first prefix that matches wins ("lamb" before "la").
constexpr ProjWord proj_words[] = {
    {"geos", 4, 9},   {"ll", 2, 2},     {"lat", 3, 2},    {"polar", 5, 1}, {"ps", 2, 1},     {"sat", 3, 9},
    {"lamb", 4, 4},   {"lc", 2, 4},     {"la", 2, 8},    {"gn", 2, 6},     {"or", 2, 5},
    {"mo", 2, 7},     {"me", 2, 3},     {"pix", 3, 99},  {"xy", 2, 20},    {"xlogy", 5, 22},
    {"xlogp", 5, 22}, {"cat", 3, 24},   {"skewt", 5, 40}, {"ema", 3, 42},  {"teph", 4, 43},
    {"rteph", 5, 44}, {"therm", 5, 40}, {"stuve", 5, 41}, {"hodo", 4, 23}, {"vert", 4, 22},
    {"xp", 4, 25},    {"zoom", 4, 50},  {"size", 4, 51},
};

enum Kind { K_PROJ, K_PLON, K_CLAT, K_CLON, K_DX, K_DY, K_NX, K_NY, K_ID, K_REG };

struct Template {
    std::vector<Kind> kinds;
    const char *trace;
};

const Template templates[] = {
    {{K_PROJ, K_NX, K_NY}, "%2d proj,nx,ny\n"},
    {{K_PROJ, K_PLON, K_CLAT, K_CLON, K_NX, K_NY, K_DX, K_DY}, "%2d proj,plon,clat,clon,nx,ny,dx,dy\n"},
    {{K_PROJ, K_CLAT, K_CLON, K_NX, K_NY, K_DX, K_DY}, "%2d proj,clat,clon,nx,ny,dx,dy\n"},
    {{K_PROJ, K_PLON, K_CLAT, K_CLON, K_DX, K_DY}, "%2d proj,plon,clat,clon,dx,dy\n"},
    {{K_PROJ, K_CLAT, K_CLON, K_NX, K_NY, K_DX}, "%2d proj,clat,clon,nx,ny,dx\n"},
    {{K_CLAT, K_CLON, K_NX, K_NY, K_DX, K_DY}, "%2d clat,clon,nx,ny,dx,dy\n"},
    {{K_PROJ, K_CLAT, K_CLON, K_DX, K_DY}, "%2d proj,clat,clon,dx,dy\n"},
    {{K_CLAT, K_CLON, K_NX, K_NY, K_DX}, "%2d clat,clon,nx,ny,dx\n"},
    {{K_PROJ, K_CLAT, K_CLON, K_DX}, "%2d proj,clat,clon,dx\n"},
    {{K_CLAT, K_CLON, K_NX, K_NY}, "%2d clat,clon,nx,ny\n"},
    {{K_CLAT, K_CLON, K_DX}, "%2d clat,clon,dx\n"},
    {{K_PROJ, K_CLAT, K_CLON}, "%2d proj,clat,clon\n"},
    {{K_CLAT, K_CLON}, "%2d clat,clon\n"},
    {{K_ID}, "%2d id:###\n"},
    {{K_REG}, "%2d reg:REG\n"},
};

constexpr uint32_t TRACE = 0x40000000;

// Region references may name further regions; a chain this deep is a loop
// (a region naming itself, or two naming each other), not a real setup.
constexpr int MAX_REGION_DEPTH = 8;
int region_depth = 0;

int priority = 3;
int loc_prior = 4;

// Numeric fields: "%f"/"%d" must read something, and the value must be a
// finite number (a NaN or infinite centre or spacing would poison every
// transform of the domain).
bool read_float(const char *field, float *out)
{
    float v;
    if (std::sscanf(field, "%f", &v) != 1 || !std::isfinite(v)) return false;
    *out = v;
    return true;
}

bool read_int(const char *field, int32_t *out)
{
    int v;
    if (std::sscanf(field, "%d", &v) != 1) return false;
    *out = v;
    return true;
}

// The projection field: keyword, optional "e", then numbers separated by
// colons.  Empty plat/plon parts read as 0 (atof), empty parm parts stay
// missing.
// The fixed-grid keyword's parts (see the top of the file); false for an
// axis that is neither x nor y or a number that is not one.
bool read_geos(const std::vector<std::string> &parts, DOM *dom)
{
    dom->proj = DOM_SAT;
    dom->ellipsoid = DOM_GEOS_SWEEP_X;
    if (parts.size() > 6) return false;
    if (parts.size() > 1 && !parts[1].empty()) {
        if (stricmp(parts[1].c_str(), "y") == 0) dom->ellipsoid = DOM_GEOS_SWEEP_Y;
        else if (stricmp(parts[1].c_str(), "x") != 0) return false;
    }
    double v[4] = {DOM_MISSING, 35786023.0, 6378137.0, 6356752.31414};
    for (size_t k = 2; k < parts.size(); ++k) {
        if (parts[k].empty()) continue;
        char *end = nullptr;
        v[k - 2] = std::strtod(parts[k].c_str(), &end);
        if (*end || !std::isfinite(v[k - 2])) return false;
    }
    if (!(v[1] > 0 && v[2] > 0 && v[3] > 0)) return false;
    dom->plat = 0.0f;
    if (v[0] != DOM_MISSING) dom->plon = (float)v[0];
    dom->parm[0] = (float)((v[2] + v[1]) * 1e-5);
    dom->parm[1] = 1.0f;
    dom->parm[2] = (float)(v[2] * 1e-5);
    dom->parm[3] = (float)(v[3] * 1e-5);
    return true;
}

bool read_proj(const char *field, DOM *dom)
{
    int code = DOM_proj_str(field);
    if (code == -1) {
        dom->proj = 1;
        return false;
    }
    dom->proj = code;
    std::vector<std::string> parts;
    const char *p = field;
    for (;;) {
        const char *c = std::strchr(p, ':');
        parts.emplace_back(p, c ? (size_t)(c - p) : std::strlen(p));
        if (!c) break;
        p = c + 1;
    }
    size_t n = parts.size();
    if (strnicmp(field, "geos", 4) == 0) return read_geos(parts, dom);
    if (n == 2) {
        dom->plon = (float)std::atof(parts[1].c_str());
    } else if (n > 2) {
        size_t k = 1;
        if (parts[1] == "e") {
            dom->ellipsoid = 1;
            k = 2;
        }
        if (k < n) dom->plat = (float)std::atof(parts[k++].c_str());
        if (k < n) dom->plon = (float)std::atof(parts[k++].c_str());
        for (int j = 0; j < 4 && k < n; ++j, ++k)
            if (!parts[k].empty()) dom->parm[j] = (float)std::atof(parts[k].c_str());
    }
    // Values atof cannot give sensibly (nan, inf) are refused like text.
    if (!std::isfinite(dom->plat) || !std::isfinite(dom->plon)) return false;
    for (float v : dom->parm)
        if (!std::isfinite(v)) return false;
    return true;
}

bool read_id(const char *field, DOM *dom)
{
    if (strnicmp(field, "id:", 3) != 0) return false;
    std::string rest = field + 3;
    std::string file, station = rest;
    size_t colon = rest.find(':');
    if (colon != std::string::npos) {
        file = rest.substr(0, colon);
        station = rest.substr(colon + 1);
    }
    float lat, lon;
    if (CTY_get_loc(file.empty() ? nullptr : file.c_str(), station.c_str(), &lat, &lon) != 1) return false;
    dom->clat = lat;
    dom->clon = lon;
    return true;
}

// Decodes a region's domain string one level deeper; false when it is
// invalid or the chain of regions is too deep.
bool decode_nested(const char *text, DOM *dom)
{
    if (region_depth >= MAX_REGION_DEPTH) return false;
    ++region_depth;
    int r = DOM_decode(text, dom);
    --region_depth;
    return r != -1;
}

bool read_reg(const char *field, DOM *dom)
{
    if (std::strncmp(field, "id:", 3) == 0) return false;
    std::string out;
    if (strnicmp(field, "fi:", 3) == 0) {
        if (!DOM_search_region(field + 3, nullptr, &out)) return false;
        return decode_nested(out.c_str(), dom);
    }
    const char *colon = std::strchr(field, ':');
    if (colon) {
        std::string file(field, colon);
        const char *name = colon + 1;
        if (!*name) {
            DOM_read_menu(file.c_str());
            return true;
        }
        if (!DOM_search_region(file.c_str(), name, &out)) return false;
        return decode_nested(out.c_str(), dom);
    }
    // A region line whose domain is its own name stands for the built-in
    // region of that name (the region file lists "var" that way).
    if (DOM_search_region("zyr.reg", field, &out) && stricmp(out.c_str(), field) != 0)
        return decode_nested(out.c_str(), dom);
    if (DOM_builtin_region(field, dom)) return true;
    dom->proj = -1;
    return true;
}

// Fits one template to the fields; see DOM_decode.
bool set_params(const std::vector<std::string> &fields, std::vector<Kind> kinds, DOM *dom)
{
    for (size_t i = 0; i < kinds.size() && i < fields.size(); ++i) {
        if (kinds[i] == K_CLAT && strnicmp(fields[i].c_str(), "id:", 3) == 0) {
            kinds[i] = K_ID;
            if (i + 1 < kinds.size() && kinds[i + 1] == K_CLON) kinds.erase(kinds.begin() + (long)i + 1);
        }
    }
    if (kinds.size() != fields.size()) return false;
    DOM_init(dom);
    if (fields[0] == "miss" || fields[0] == "none") return true;
    for (size_t i = 0; i < kinds.size(); ++i) {
        const char *f = fields[i].c_str();
        bool ok = false;
        switch (kinds[i]) {
        case K_PROJ: ok = read_proj(f, dom); break;
        case K_PLON: ok = read_float(f, &dom->plon); break;
        case K_CLAT: ok = read_float(f, &dom->clat); break;
        case K_CLON: ok = read_float(f, &dom->clon); break;
        case K_DX: ok = read_float(f, &dom->dx); break;
        case K_DY: ok = read_float(f, &dom->dy); break;
        case K_NX: ok = read_int(f, &dom->nx); break;
        case K_NY: ok = read_int(f, &dom->ny); break;
        case K_ID: ok = read_id(f, dom); break;
        case K_REG: ok = read_reg(f, dom); break;
        }
        if (!ok) return false;
    }
    return true;
}

void grid_defaults(DOM *dom, float spacing)
{
    dom->nx = 25;
    dom->ny = 17;
    dom->dx = dom->dy = spacing;
}

// Defaults of each template once it fits; false refuses the fit.
bool apply_defaults(int t, DOM *dom)
{
    switch (t) {
    case 3: case 6:
        dom->nx = 25;
        dom->ny = 17;
        break;
    case 4: dom->dy = dom->dx; break;
    case 5: dom->proj = 1; break;
    case 7: dom->proj = 1; dom->dy = dom->dx; break;
    case 8: dom->nx = 25; dom->ny = 17; dom->dy = dom->dx; break;
    case 9: dom->proj = 1; dom->dx = dom->dy = 1.2f; break;
    case 10: dom->proj = 1; dom->nx = 25; dom->ny = 17; dom->dy = dom->dx; break;
    case 11:
        if (dom->proj == DOM_SIZE) {
            // A picture size; values outside the int range cannot be a size.
            if (!(std::fabs(dom->clat) < 2e9f) || !(std::fabs(dom->clon) < 2e9f)) return false;
            dom->nx = (int32_t)dom->clat;
            dom->ny = (int32_t)dom->clon;
            dom->clat = dom->clon = DOM_MISSING;
        } else {
            grid_defaults(dom, dom->proj == DOM_ZOOM ? 1.0f : 1.2f);
        }
        break;
    case 12: case 13:
        dom->proj = 1;
        grid_defaults(dom, 1.2f);
        break;
    default: break;
    }
    return true;
}

}  // namespace

int DOM_proj_str(const char *word)
{
    if (!word) return -1;
    if (std::strcmp(word, "miss") == 0) return DOM_MISSING;
    for (const ProjWord &w : proj_words)
        if (strnicmp(word, w.word, w.len) == 0) return w.code;
    return -1;
}

const char *DOM_proj_name(int proj)
{
    switch (proj) {
    case 1: return "pstereo";
    case 2: return "latlon";
    case 3: return "merc";
    case 4: return "lamb";
    case 5: return "ortho";
    case 6: return "gnom";
    case 7: return "moll";
    case 8: return "lambaz";
    case 9: return "sat";  // the fixed grid prints as "geos" (DOM_string)
    case 20: return "xy";
    case 21: return "xz";
    case 22: return "xlogp";
    case 23: return "polar";
    case 24: return "cat";
    case 40: return "skewt";
    case 41: return "stuve";
    case 42: return "ema";
    case 50: return "zoom";
    case 99: return "pixel";
    default: return "";
    }
}

int DOM_decode(const char *text, DOM *dom)
{
    DOM scratch;
    if (!dom) dom = &scratch;
    if (!text || !*text) {
        DOM_init(dom);
        return DOM_MISSING;
    }
    if (std::strcmp(text, "miss") == 0) {
        DOM_init(dom);
        FLAG_set(FLAG_DOMAIN, DOM_MISSING);
        DOM_set_file_key(text);
        return DOM_MISSING;
    }
    int count = 0;
    char **array = nullptr;
    parse_string(text, ',', &count, &array);
    std::vector<std::string> fields(array, array + count);
    free_parsed_array(count, array);
    MESS_print(TRACE, "******** PARSING DOMAIN: %d %s\n", count, text);

    int result = -1;
    if (!fields.empty()) {
        for (int t = 0; t < (int)(sizeof templates / sizeof templates[0]); ++t) {
            if (t == 0 && fields[0] != "size") continue;
            const bool fits = set_params(fields, templates[t].kinds, dom);
            // A built-in region's centre prompt answered with "exit".
            if (ZYR_exit_requested()) return -1;
            if (!fits) continue;
            if (!apply_defaults(t, dom)) continue;
            MESS_print(TRACE, templates[t].trace, 0);
            result = t == 14 ? 2 : 1;
            break;
        }
    } else {
        DOM_init(dom);
    }
    if (result == -1) MESS_print(MESS_WARN, "DOM_decode: Invalid plot domain\n");

    FLAG_set(FLAG_DOMAIN, result);
    DOM_set_file_key(text);
    // An unset size (a "miss"/"none" record) leaves the priority alone
    // rather than turning -9999 arithmetic into a priority.
    if (dom->ny != DOM_MISSING && dom->dy != DOM_MISSING) DOM_set_base_prior(((float)dom->ny - 1.0f) * dom->dy);
    return result;
}

std::string DOM_string(const DOM *dom)
{
    if (!dom) return "";
    char buf[64];
    std::string s;
    if (DOM_is_geos(dom)) {
        // Every number to its float's precision: a grid of 5000 columns
        // needs the spacing's ninth digit to keep its last pixel in place.
        s = dom->ellipsoid == DOM_GEOS_SWEEP_X ? "geos:x:" : "geos:y:";
        if (dom->plon != DOM_MISSING) {
            std::snprintf(buf, sizeof buf, "%.9g", dom->plon);
            s += buf;
        }
        const double a = (double)dom->parm[2] * 1e5, h = (double)dom->parm[0] * 1e5 - a;
        std::snprintf(buf, sizeof buf, ":%.3f:%.3f:%.3f", h, a, (double)dom->parm[3] * 1e5);
        s += buf;
        char tail[200];
        std::snprintf(tail, sizeof tail, ",%.9g,%.9g,%d,%d,%.9g,%.9g", dom->clat, dom->clon, dom->nx, dom->ny,
                      dom->dx, dom->dy);
        return s + tail;
    }
    s = DOM_proj_name(dom->proj);
    if (dom->ellipsoid) s += ":e";
    const float vals[5] = {dom->plat, dom->plon, dom->parm[0], dom->parm[1], dom->parm[2]};
    for (float v : vals) {
        if (v == DOM_MISSING) s += ":";
        else {
            std::snprintf(buf, sizeof buf, ":%3.3f", v);
            s += buf;
        }
    }
    char tail[200];
    std::snprintf(tail, sizeof tail, ",%3.3f,%3.3f,%d,%d,%4.4f,%4.4f", dom->clat, dom->clon, dom->nx, dom->ny, dom->dx,
                  dom->dy);
    return s + tail;
}

void DOM_print(unsigned mask, const DOM *dom)
{
    if (!dom || !MESS_check(mask)) return;
    MESS_print(mask, "%s\n", DOM_string(dom).c_str());
}

namespace {
float eff_plat(const DOM *d) { return d->plat == DOM_MISSING ? d->clat : d->plat; }
float eff_plon(const DOM *d) { return d->plon == DOM_MISSING ? d->clon : d->plon; }
}  // namespace

int DOM_comp_proj(const DOM *a, const DOM *b)
{
    if (!a || !b) return 0;
    if (a->proj != b->proj || eff_plat(a) != eff_plat(b) || eff_plon(a) != eff_plon(b)) return 0;
    for (int i = 0; i < 5; ++i)
        if (a->parm[i] != b->parm[i]) return 0;
    return a->ellipsoid == b->ellipsoid;
}

int DOM_comp(const DOM *a, const DOM *b)
{
    if (!DOM_comp_proj(a, b)) return 0;
    return a->clat == b->clat && a->clon == b->clon && a->dx == b->dx && a->dy == b->dy && a->nx == b->nx &&
           a->ny == b->ny;
}

float DOM_aspect(const DOM *dom)
{
    if (!dom || dom->nx < 2 || dom->ny < 2) return 1.0f;
    return (float)(dom->nx - 1) / (float)(dom->ny - 1);
}

int DOM_set_base_prior(float size)
{
    if (size > 50) priority = 1;
    else if (size > 25) priority = 2;
    else if (size > 12.5f) priority = 3;
    else if (size > 6.25f) priority = 4;
    else if (size > 3) priority = 5;
    else priority = 6;
    const char *adj = RES_get("stat_prior");
    if (adj) {
        if (adj[0] == '+' && adj[1] >= '0' && adj[1] <= '9') priority += adj[1] - '0';
        else if (adj[0] == '-' && adj[1] >= '0' && adj[1] <= '9') priority -= adj[1] - '0';
        else if (adj[0] >= '0' && adj[0] <= '9') priority = adj[0] - '0';
    }
    return priority;
}

int DOM_set_prior(int n) { return priority = n; }
int DOM_get_prior() { return priority; }
int DOM_set_loc_prior(int n) { return loc_prior = n; }
int DOM_get_loc_prior() { return loc_prior; }

void MAP_register_hooks() { HOOK_table().decode_domain = DOM_decode; }

void DOM_reset()
{
    region_depth = 0;
    priority = 3;
    loc_prior = 4;
}
