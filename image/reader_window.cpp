// The window of an image that a plot domain shows: the image rows and
// columns a reader that decodes windows needs to decode for it.
#include <algorithm>
#include <cmath>

#include "image/reader_table.h"
#include "map/proj.h"

bool IMG_window_for_domain(const DOM *image_dom, const DOM *target, IMG_WINDOW *window)
{
    if (!image_dom || !target || !window || image_dom->nx < 2 || image_dom->ny < 2 || target->proj < 1 ||
        target->proj > 9 || image_dom->proj < 1 || image_dom->proj > 9)
        return false;
    const MapProj to(*target), from(*image_dom);
    const float *lim = to.limits();
    if (!(lim[1] > lim[0]) || !(lim[3] > lim[2])) return false;
    // A lattice over the target's plot area taken to image grid indices;
    // between two lattice points the index moves at most a step's worth,
    // so the box grows by the largest step between neighbours.
    constexpr int N = 64;
    float lo_c = INFINITY, hi_c = -INFINITY, lo_r = INFINITY, hi_r = -INFINITY, step = 0;
    float prev_c[N + 1], prev_r[N + 1];
    bool prev_ok[N + 1] = {};
    for (int j = 0; j <= N; ++j) {
        float last_c = 0, last_r = 0;
        bool last_ok = false;
        for (int i = 0; i <= N; ++i) {
            const float x = lim[0] + (lim[1] - lim[0]) * i / N, y = lim[2] + (lim[3] - lim[2]) * j / N;
            float lat, lon, ix, iy, c = 0, r = 0;
            const bool ok = to.untran(&lat, &lon, x, y) && from.tran(&ix, &iy, lat, lon) &&
                            from.grid_untran(&c, &r, ix, iy) == 0 && std::isfinite(c) && std::isfinite(r);
            if (ok) {
                lo_c = std::min(lo_c, c), hi_c = std::max(hi_c, c);
                lo_r = std::min(lo_r, r), hi_r = std::max(hi_r, r);
                if (last_ok) step = std::max({step, std::fabs(c - last_c), std::fabs(r - last_r)});
                if (prev_ok[i]) step = std::max({step, std::fabs(c - prev_c[i]), std::fabs(r - prev_r[i])});
            }
            prev_ok[i] = last_ok = ok;
            prev_c[i] = last_c = c;
            prev_r[i] = last_r = r;
        }
    }
    const float nx = (float)image_dom->nx, ny = (float)image_dom->ny;
    const float margin = step + 2;
    lo_c = std::max(lo_c - margin, 0.0f), hi_c = std::min(hi_c + margin, nx - 1);
    lo_r = std::max(lo_r - margin, 0.0f), hi_r = std::min(hi_r + margin, ny - 1);
    if (!(hi_c >= lo_c) || !(hi_r >= lo_r)) return false;
    IMG_WINDOW w;
    w.first_elem = (int)std::floor(lo_c);
    w.first_line = (int)std::floor(lo_r);
    w.elems = (int)std::ceil(hi_c) - w.first_elem + 1;
    w.lines = (int)std::ceil(hi_r) - w.first_line + 1;
    // Nearly all of the image: read it whole.
    if ((double)w.elems * w.lines > 0.9 * nx * ny) return false;
    *window = w;
    return true;
}

int IMG_reader_read_file_for(const IMG_READER *reader, const char *name, const DOM *target,
                             IMG_READ_OUT *out)
{
    if (!reader || !out || !out->image) return IMG_READ_FAILED;
    IMG_FILE_SOURCE file;
    if (!file.open(reader, name)) return IMG_READ_FAILED;
    IMG_WINDOW window;
    const IMG_WINDOW *use = nullptr;
    if (target && reader->read_header) {
        IMG head;
        IMG_init(&head);
        IMG_READ_OUT h{&head, nullptr};
        if (reader->read_header(file.source(), &h) != IMG_READ_OK) return IMG_READ_FAILED;
        if (IMG_window_for_domain(&head.domain, target, &window)) use = &window;
        IMG_free(&head);
    }
    return reader->read(file.source(), use, out);
}
