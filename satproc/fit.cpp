// Image domain fitting.  Map-projected AREA navigations are turned into a
// domain of the map layer: a base spacing s (plot units, 100 km, per
// full-resolution pixel) and the block's pole line/element place the image
// centre, which the projection's inverse turns into latitude and longitude.
// Satellite navigations get the satellite-view projection centred on the
// sub-satellite point.
#include "satproc/fit.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/flags.h"
#include "core/util.h"
#include "core/res.h"
#include "gks/gks.h"
#include "image/nav.h"
#include "map/map.h"
#include "satproc/sat_param.h"

namespace {

constexpr uint32_t IMG_DOM_MASK = MESS_OUT2;

void print_image_domain(const DOM *dom)
{
    MESS_print(IMG_DOM_MASK, "Image domain: ");
    DOM_print(IMG_DOM_MASK, dom);
}

// grid_domain replaces whatever the navigation says.
bool grid_override(IMG *image)
{
    const char *text = RES_get("grid_domain");
    if (!text || !*text) return false;
    SAT_set_tran_sat(0);
    DOM_init(&image->domain);
    DOM_decode(text, &image->domain);
    // A region's prompt answered with "exit": the caller's caller ends the
    // program, with nothing more said.
    if (!ZYR_exit_requested()) print_image_domain(&image->domain);
    return true;
}

void sub_satellite(DOM *d)
{
    float la = -9999, lo = -9999, l = 0, e = 0;
    AREA_tran(3, &la, &lo, &l, &e);
    d->plat = la;
    d->plon = lo;
}

// Centre of the image (row height/2, column width/2, as the whole program
// takes it: half a pixel off the grid centre for even sizes) in full-frame
// line and element.
void centre_line_elem(int width, int height, float *L, float *E)
{
    AREA_line_elem(1, L, E, height / 2.0f, width / 2.0f);
}

// Map types: centre from plot point (x, y) with the y axis pointing up,
// through the domain's own projection.
void centre_from_plot(DOM *d, float x, float y)
{
    float la, lo;
    MAP_make_proj(d).untran(&la, &lo, x, -y);
    d->clat = la;
    d->clon = lo;
}

void debug_block(const char *type, const int32_t *w, bool ps)
{
    char text[5];
    std::memcpy(text, w, 4);
    text[4] = 0;
    MESS_print(MESS_DEBUG, "%s: %s\n", type, text);
    MESS_print(MESS_DEBUG, "NPLINE: %d\n", w[1]);
    MESS_print(MESS_DEBUG, "NPELEM: %d\n", w[2]);
    MESS_print(MESS_DEBUG, "STDLAT: %d\n", w[3]);
    MESS_print(MESS_DEBUG, "SPACE: %d\n", w[4]);
    MESS_print(MESS_DEBUG, "NRMLON: %d\n", w[5]);
    if (ps) {
        MESS_print(MESS_DEBUG, "EQURAD: %d\n", w[6]);
        MESS_print(MESS_DEBUG, "ECCENT: %d\n", w[7]);
    }
}

bool is_type(const AREA_REC *a, const char *t, int n) { return std::strncmp(a->nav_type, t, n) == 0; }

double pow10i(int e) { return std::pow(10.0, e); }

// GOES spin-scan: spacing measured from navigated neighbours of the centre.
void goes_domain(DOM *d, int width, int height)
{
    auto plot_of = [](float row, float col, float *x, float *y) {
        float l, e, la, lo;
        AREA_line_elem(1, &l, &e, row, col);
        AREA_tran(1, &la, &lo, &l, &e);
        MAP_tran(x, y, la, lo);
        return std::make_pair(la, lo);
    };
    float xc, yc, xl, yl, xd, yd;
    auto c = plot_of(height / 2.0f, width / 2.0f, &xc, &yc);
    d->clat = c.first;
    d->clon = c.second;
    plot_of(height / 2.0f, width / 2.0f - 10, &xl, &yl);
    plot_of(height / 2.0f + 10, width / 2.0f, &xd, &yd);
    d->dx = (xc - xl) / 10;
    d->dy = (yc - yd) / 10;
}

}  // namespace

int GVAR_calc_domain(IMG *image)
{
    if (grid_override(image)) return 0;
    DOM *d = &image->domain;
    DOM_init(d);
    d->proj = DOM_SAT;
    MAP_proj(DOM_SAT);
    if (SAT_get_tran_sat()) sub_satellite(d);
    d->parm[0] = 421.643f;
    d->parm[1] = 1.0f;
    d->ellipsoid = 1;
    MAP_coord(d->plat, d->plon);
    float L, E, la = -9999, lo = -9999;
    centre_line_elem(image->nx, image->ny, &L, &E);
    AREA_tran(1, &la, &lo, &L, &E);
    d->clat = la;
    d->clon = lo;
    d->nx = image->nx;
    d->ny = image->ny;
    float lc, ec, lr, er;
    AREA_get_res(&lc, &ec, &lr, &er);
    d->dx = (float)(er * scan_delta() * 421.643);
    d->dy = (float)(lr * elev_delta() * 421.643);
    print_image_domain(d);
    return 0;
}

int AREA_calc_domain(IMG *image, const AREA_REC *area)
{
    if (!image || !area || !area->dir) return 0;
    if (grid_override(image)) return 0;
    const int32_t *dir = area->dir;
    const int width = dir[AREA_W_NELEMS], height = dir[AREA_W_NLINES];
    const float eres = (float)dir[AREA_W_ERES], lres = (float)dir[AREA_W_LRES];
    DOM *d = &image->domain;

    if (is_type(area, "GVAR", 4) && area->gvar) return GVAR_calc_domain(image);

    const int32_t *w = nullptr;
    bool map_type = true;
    DOM_init(d);
    if (is_type(area, "GOES", 4) && area->goes) {
        d->proj = DOM_SAT;
        map_type = false;
    } else if (is_type(area, "PS", 2) && area->ps) {
        w = area->ps;
        d->proj = DOM_PSTEREO;
        d->plat = w[3] / 10000.0f;
        d->plon = -(w[5] / 10000.0f);
        d->parm[0] = d->plat;
        debug_block("PS", w, true);
    } else if (is_type(area, "MOLL", 2) && area->proj) {
        w = area->proj;
        d->proj = DOM_MOLL;
        d->plat = 0;
        d->plon = -(w[4] / 10000.0f);
    } else if (is_type(area, "RECT", 2) && area->proj) {
        w = area->proj;
        d->proj = DOM_LATLON;
        d->plat = 0;
        d->plon = 0;
    } else if (is_type(area, "MERC", 2) && area->proj) {
        w = area->proj;
        d->proj = DOM_MERC;
        d->plat = 0;
        d->plon = -(w[5] / 10000.0f);
    } else if (is_type(area, "LAMB", 2) && area->proj) {
        w = area->proj;
        d->proj = DOM_LAMB;
        d->plat = w[11] / 10000.0f;
        d->plon = -(w[6] / 10000.0f);
        d->parm[0] = w[3] / 10000.0f;
        d->parm[1] = w[4] / 10000.0f;
    } else if (is_type(area, "TANC", 2) && area->tanc) {
        w = area->tanc;
        d->proj = DOM_LAMB;
        d->plat = w[4] / 10000.0f;
        d->plon = -(w[5] / 10000.0f);
        d->parm[0] = d->parm[1] = d->plat;
        debug_block("TANC", w, false);
    } else if (is_type(area, "MSAT", 2) && area->ps) {
        // Meteosat: a fixed satellite view with its own scan geometry.
        w = area->ps;
        SAT_set_tran_sat(0);
        d->proj = DOM_SAT;
        d->plat = 0;
        d->plon = -(w[6] / 10000.0f);
        d->parm[0] = 421.64f;
        d->parm[1] = 1.0f;
        d->ellipsoid = 1;
        d->nx = width;
        d->ny = height;
        float hw = width * 0.5f, hh = height * 0.5f;
        float x = (float)((1250.5 - (hw * eres + ((double)dir[AREA_W_ELEM] - 1)) * 0.5) * 0.052984800189733505);
        float y = (float)((w[5] - ((double)w[4] + ((double)dir[AREA_W_LINE] - 1 + hh * lres) * 0.5 - w[3])) * 0.0529848);
        float la, lo;
        MAP_make_proj(d).untran(&la, &lo, x, y);
        d->clat = la;
        d->clon = lo;
        d->dx = eres * 0.0264924f;
        d->dy = lres * 0.0264924f;
        print_image_domain(d);
        return 0;
    } else {
        // Unknown type: no projection, only the line.
        print_image_domain(d);
        return 0;
    }
    if (map_type) SAT_set_tran_sat(0);

    const bool tanc = d->proj == DOM_LAMB && is_type(area, "TANC", 2);
    if (!tanc) {
        MAP_proj(d->proj);
        if (d->proj == DOM_SAT && SAT_get_tran_sat()) sub_satellite(d);
        MAP_coord(d->plat, d->plon);
    }
    float L, E;
    centre_line_elem(width, height, &L, &E);

    if (d->proj == DOM_SAT) {
        goes_domain(d, width, height);
    } else if (d->proj == DOM_LATLON) {
        int e11 = w[11] ? w[11] : 4, e12 = w[12] ? w[12] : 4, e13 = w[13] ? w[13] : 4, e14 = w[14] ? w[14] : 4;
        double sx = w[5] / pow10i(e13), sy = w[6] / pow10i(e14);
        double lat0 = w[2] / pow10i(e11), lon0 = -(w[4] / pow10i(e12));
        float x = (float)((E - w[3]) * sx + lon0), y = (float)((L - w[1]) * sy + lat0);
        d->dx = (float)sx;
        d->dy = (float)sy;
        centre_from_plot(d, x, y);
        d->plon = d->clon;
        d->dx *= eres;
        d->dy *= lres;
    } else if (d->proj == DOM_MOLL) {
        double s = w[14] == 0x4B4D5050 ? w[6] * 0.7071 / 1000 / (w[3] * 380.344) : w[3] * 0.62 / 1000;
        d->dx = (float)(eres * s);
        d->dy = (float)(lres * s);
        centre_from_plot(d, (E - w[2]) * d->dx, (L - w[1]) * d->dy);
    } else {
        double s, pl, pe;
        if (tanc) {
            s = w[3] / 1000000.0;
            pl = w[1] / 10000.0;
            pe = w[2] / 10000.0;
        } else {
            const bool ps = d->proj == DOM_PSTEREO, lamb = d->proj == DOM_LAMB;
            s = ps ? w[4] * 63.71 / w[6] : lamb ? w[5] * 63.713 / w[7] : w[4] * 63.713 / w[6];
            pl = w[1];
            pe = w[2];
        }
        centre_from_plot(d, (float)((E - pe) * s), (float)((L - pl) * s));
        d->dx = (float)(eres * s);
        d->dy = (float)(lres * s);
    }
    // TANC images get their projection and size like the others, but print
    // no domain line.
    d->nx = width;
    d->ny = height;
    if (!tanc) print_image_domain(d);
    return 0;
}

void SAT_view_size(int *w, int *h)
{
    *w = 640;
    *h = 427;
    if (gchk_graphics()) {
        int r[4] = {0, 0, 0, 0};
        gsel_norm_tran(2);
        if (gget_gviewport(r) == 0 && r[2] > 1 && r[3] > 1) {
            *w = r[2];
            *h = r[3];
            return;
        }
    }
    const char *g = RES_get("geometry");
    int gw = 0, gh = 0;
    // A geometry that is not two sizes above 1 (0, 1, negative, text) is
    // ignored: the window size would make no grid.
    if (g && std::sscanf(g, "%dx%d", &gw, &gh) == 2 && gw > 1 && gh > 1 && gw <= 100000 && gh <= 100000) {
        *w = gw;
        *h = gh;
    }
}

int SAT_domain_image(DOM *dom)
{
    if (!dom || dom->proj == DOM_MISSING) return 0;
    int w, h;
    SAT_view_size(&w, &h);
    const MapProj proj = MAP_make_proj(dom);
    const float *lim = proj.limits();
    dom->dx = (lim[1] - lim[0]) / (w - 1);
    dom->dy = (lim[3] - lim[2]) / (h - 1);
    dom->nx = w;
    dom->ny = h;
    return 0;
}

int SAT_image_setup(IMG *image, DOM *plot)
{
    int w, h;
    SAT_view_size(&w, &h);
    DOM_init(plot);
    const DOM &id = image->domain;
    plot->proj = id.proj;
    const bool sat_source = image->source == IMG_SRC_AREA || image->source == IMG_SRC_UNISYS;
    const int p = id.proj;
    const bool known = p == 1 || p == 2 || p == 3 || p == 4 || p == 7 || p == 9;
    if (!sat_source || known) {
        MAP_domain(&id);
        // Column w/2, row h/2: the window's centre pixel, like the fitting's
        // centre half a pixel off the grid centre for even sizes.
        float x, y, la, lo;
        MAP_grid_tran(&x, &y, w / 2.0f, h / 2.0f);
        MAP_untran(&la, &lo, x, y);
        plot->clat = la;
        plot->clon = lo;
        plot->dx = id.dx;
        plot->dy = id.dy;
        plot->plat = id.plat;
        plot->plon = id.plon;
        std::memcpy(plot->parm, id.parm, sizeof plot->parm);
        plot->ellipsoid = id.ellipsoid;
        plot->nx = w;
        plot->ny = h;
        MESS_print(MESS_OUT2, "Plot domain: ");
        DOM_print(MESS_OUT1, plot);
    }
    const int off = SAT_get_pix_off();
    if (off != 0 && image->data && image->bytes_line > 0 && image->ny > 0) {
        size_t n = (size_t)image->bytes_line * (size_t)image->ny;
        for (size_t i = 0; i < n; ++i) {
            int v = image->data[i] + off;
            image->data[i] = (unsigned char)(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
    return 0;
}
