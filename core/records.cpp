#include "core/records.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
constexpr int kMissing = -9999;  // every record marks a missing field so
}  // namespace

void DATE_init(DATE *date)
{
    if (!date) return;
    date->year = date->month = date->day = date->julian = kMissing;
    date->weekday = date->hour = date->minute = date->second = kMissing;
}

int DOM_init(DOM *dom)
{
    if (!dom) return 0;
    dom->proj = DOM_MISSING;
    dom->plat = dom->plon = DOM_MISSING;
    for (float &p : dom->parm) p = DOM_MISSING;
    dom->clat = dom->clon = DOM_MISSING;
    dom->dx = dom->dy = DOM_MISSING;
    dom->nx = dom->ny = DOM_MISSING;
    dom->ellipsoid = 0;
    return 0;
}

int IMG_init(IMG *image)
{
    image->source = 0;
    image->type = 0;
    image->version = 0;
    image->date_label[0] = '\0';
    DATE_init(&image->date);
    image->info[0] = '\0';
    DOM_init(&image->domain);
    image->nx = image->ny = image->depth = 0;
    image->bits_pixel = image->bytes_line = 0;
    image->byte_order = 1;
    image->ncolors = 0;
    image->transparent = -1;
    image->cmap = nullptr;
    image->data = nullptr;
    image->value_kind = IMG_VALUE_NONE;
    image->value_offset = 0.0f;
    image->value_scale = 0.0f;
    image->value_units[0] = '\0';
    image->value_name[0] = '\0';
    image->platform[0] = '\0';
    return 0;
}

int IMG_free(IMG *image)
{
    std::free(image->data);
    std::free(image->cmap);
    image->data = nullptr;
    image->cmap = nullptr;
    image->ncolors = 0;
    return 0;
}

int IMG_copy(IMG *dest, const IMG *src)
{
    if (dest == src) return 0;
    *dest = *src;
    dest->data = nullptr;
    int64_t size = (int64_t)std::max(src->bytes_line, src->nx) * std::max(src->ny, 0);
    if (src->data && size > 0) {
        dest->data = (unsigned char *)std::malloc((size_t)size);
        if (dest->data) std::memcpy(dest->data, src->data, (size_t)size);
    }
    return 0;
}

int ATTRIB_init(ATTRIB *rec)
{
    if (!rec) return -1;
    rec->color = ATTRIB_UNSET;
    rec->width = (float)ATTRIB_UNSET;
    rec->size = (float)ATTRIB_UNSET;
    rec->expansion = (float)ATTRIB_UNSET;
    rec->style = ATTRIB_UNSET;
    rec->fill = ATTRIB_UNSET;
    rec->font = ATTRIB_UNSET;
    return 0;
}
