// Colour enhancement applied to an image record, and the colour bar.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "gks/gks.h"
#include "image/img.h"
#include "plot/attrib.h"
#include "plot/plt.h"
#include "satproc/clr.h"
#include "satproc/enh.h"

int SAT_color_image(IMG *image)
{
    if (!image) return 0;
    // The record gets its own copy of the colour table (it frees its map
    // with the pixels), so later colour additions do not change it.
    int n = CLR_get_num();
    float *cmap = n > 0 ? static_cast<float *>(std::malloc(sizeof(float) * 3 * n)) : nullptr;
    if (cmap)
        for (int i = 0; i < n; ++i) CLR_get_rgb(i, &cmap[3 * i], &cmap[3 * i + 1], &cmap[3 * i + 2]);
    std::free(image->cmap);
    image->cmap = cmap;
    image->ncolors = cmap ? n : 0;
    image->indexed = 1;
    bool eight_bit = image->depth == 8 && (image->bits_pixel == 0 || image->bits_pixel == 8);
    if (eight_bit && image->data && image->nx > 0 && image->ny > 0 && image->bytes_line >= image->nx)
        SAT_color_pixels(image->data, image->nx, image->ny, image->bytes_line);
    return 0;
}

namespace {

constexpr float GAP_CAP = 0.035f;
constexpr float GAP_MIN = 0.01f;

void cell(float x1, float y1, float x2, float y2, int colour)
{
    gset_fill_colr_ind(colour);
    GPH_frect(x1, y1, x2, y2);
}

} // namespace

int SAT_color_bar(int ir)
{
    float view[4], area[4];
    PLT_get_view(view);
    GPH_get_view_size(area);
    float gap = std::min(view[2] - area[2], GAP_CAP);
    if (!(gap >= GAP_MIN)) return -1;

    ATTRIB rec;
    PLT_label_attrib(&rec);
    GPH_trans(1);
    GPH_line_attr(&rec);
    ATTRIB solid;
    ATTRIB_init(&solid);
    solid.fill = 0;
    GPH_fill_attr(&solid);

    const float x0 = view[0] + 0.03f * (view[1] - view[0]);
    const float xm = (view[0] + view[1]) / 2;
    const float yb = view[2] - gap, yt = view[2] - 0.15f * gap;
    const float cw = (xm - x0) / 256;
    SAT_ENHANCEMENT e = SAT_get_enhancement();
    for (int p = 0; p < 256; ++p) {
        int entry = std::clamp(e.sat_color_ind[p], 0, 255);
        cell(x0 + p * cw, yb, x0 + (p + 1) * cw, yt, e.color_fill_ind[entry] % 1000);
    }
    if (ir == 1) {
        for (int t = 50; t >= -110; t -= 10) {
            float x = x0 + SAT_ir_ind((float)t) * cw;
            float len = t % 50 == 0 ? 0.015f : 0.01f;
            GPH_line(x, yt, x, yt - len);
        }
    }
    for (int v = 0; v < 256; v += 16) GPH_line(x0 + v * cw, yb, x0 + v * cw, yb + 0.01f);
    GPH_rect(x0, yb, xm, yt);
    GPH_trans(2);
    // The lower left and centre labels make way for the bar.
    PLT_set_bar(1);
    return 0;
}
