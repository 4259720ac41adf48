// Colour enhancement applied to an image record.
#include <cstdlib>
#include <cstring>

#include "gks/clr.h"
#include "image/img.h"
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
