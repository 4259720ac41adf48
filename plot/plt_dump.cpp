// The current window as a ZYRIMG file: the plot's picture with its map
// domain (widened from the map panel to the whole window), date and labels.
#include <cmath>
#include <cstdio>

#include "gks/gks.h"
#include "image/img.h"
#include "map/map.h"
#include "plot/plt.h"

namespace {

// The map domain of a w x h window picture: the plot domain the map is
// drawn in (transform 2, whose world is the projection plane), extended
// from the panel to the whole window at the panel's pixel size, so that
// every pixel of the picture, labels and margins included, is located and
// the map lines fall on the grid points they were drawn at.  False when
// there is no map domain or the window gives no usable grid.
bool extend_to_window(int w, int h, DOM *out)
{
    DOM d;
    MAP_get_domain(&d);
    if (d.proj == DOM_MISSING || w < 2 || h < 2 || !gchk_graphics()) return false;
    int keep = 0;
    ginq_cur_norm_tran_num(nullptr, &keep);
    gsel_norm_tran(2);
    // World coordinates of the centres of the first and last pixels.
    const float x0 = xp_W(0), y0 = yp_W(0), x1 = xp_W((float)(w - 1)), y1 = yp_W((float)(h - 1));
    gsel_norm_tran(keep);
    const float dx = (x1 - x0) / (float)(w - 1), dy = (y0 - y1) / (float)(h - 1);
    if (!(dx > 0) || !(dy > 0) || !std::isfinite(dx) || !std::isfinite(dy)) return false;
    float lat = DOM_MISSING, lon = DOM_MISSING;
    MAP_untran(&lat, &lon, 0.5f * (x0 + x1), 0.5f * (y0 + y1));
    if (lat == DOM_MISSING || lon == DOM_MISSING) return false;
    // The projection keeps its own pole and meridian (the plot domain's,
    // filled in from its centre when it gave none).
    d.clat = lat;
    d.clon = lon;
    d.dx = dx;
    d.dy = dy;
    d.nx = w;
    d.ny = h;
    *out = d;
    return true;
}

}  // namespace

int IMG_dump(const char *name)
{
    IMG img;
    IMG_init(&img);
    if (!gget_image(&img)) {
        IMG_free(&img);
        return 0;
    }
    // The plot's map domain goes with the picture when the picture is the
    // map panel (no large view offset), extended to the window's pixels.
    if (PLT_get_view_offset() <= 0.7f) extend_to_window(img.nx, img.ny, &img.domain);
    const char *ul = PLT_get_label(0, 0), *lr = PLT_get_label(5, 0), *ur = PLT_get_label(2, 0);
    std::snprintf(img.info, sizeof img.info, "%s [%s]", ul ? ul : "", lr ? lr : "");
    std::snprintf(img.date_label, sizeof img.date_label, "%s", ur ? ur : "");
    int rc = IMG_write(name, &img, 0);
    IMG_free(&img);
    return rc;
}

