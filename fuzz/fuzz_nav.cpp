// Fuzzes navigation and image-domain fitting: the input is a directory (64
// words) and a navigation block (up to 640 words) whose type is picked by the
// first byte, followed by pixels.  The block goes through AREA_init and
// AREA_calc_domain, then a small image is remapped onto a fixed domain and
// zoomed by a factor taken from the input.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz_common.h"
#include "image/area.h"
#include "image/img.h"
#include "image/nav.h"
#include "satproc/fit.h"
#include "satproc/remap.h"
#include "satproc/sat_param.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = [] {
        fuzz::scratch();
        fuzz::reset();
        return true;
    }();
    (void)ready;
    static const char *types[] = {"GOES", "GVAR", "PS  ", "MOLL", "MSAT", "RECT", "MERC", "LAMB", "TANC"};
    if (size < 2) return 0;
    const char *type = types[data[0] % 9];
    const int flags = data[1];
    data += 2;
    size -= 2;
    static int32_t dir[64], nav[640];
    std::memset(dir, 0, sizeof dir);
    std::memset(nav, 0, sizeof nav);
    size_t n = std::min(size, sizeof dir);
    std::memcpy(dir, data, n);
    data += n;
    size -= n;
    n = std::min(size, sizeof nav);
    std::memcpy(nav, data, n);
    data += n;
    size -= n;
    std::memcpy(nav, type, 4);

    AREA_REC rec{};
    rec.dir = dir;
    std::memcpy(rec.nav_type, type, 4);
    int32_t **slot = type[0] == 'G' ? (type[1] == 'O' ? &rec.goes : &rec.gvar)
                     : (type[0] == 'P' || type[1] == 'S') ? &rec.ps
                     : type[0] == 'T' ? &rec.tanc : &rec.proj;
    *slot = nav;

    SAT_param_reset();
    SAT_set_tran_sat(flags & 1);
    SAT_set_remap_inc(flags & 2 ? 0 : 1 + (flags >> 4));
    SAT_set_pix_ave((flags >> 2) & 1);

    IMG img;
    IMG_init(&img);
    img.nx = img.bytes_line = 24;
    img.ny = 16;
    img.depth = 8;
    img.source = IMG_SRC_AREA;
    img.res_x = (float)dir[12];
    img.res_y = (float)dir[11];
    img.data = (unsigned char *)std::calloc(24 * 16, 1);
    std::memcpy(img.data, data, std::min(size, (size_t)(24 * 16)));
    AREA_init(&rec);
    AREA_calc_domain(&img, &rec);
    img.domain.nx = 24;
    img.domain.ny = 16;

    DOM out;
    DOM_init(&out);
    out.proj = DOM_LATLON;
    out.clat = (float)(dir[40] % 90);
    out.clon = (float)(dir[41] % 180);
    out.nx = 20;
    out.ny = 12;
    out.dx = out.dy = 0.5f + (flags & 0x30) / 8.0f;
    IMG copy;
    IMG_copy(&copy, &img);
    SAT_remap_image(&copy, &out);
    IMG_free(&copy);

    float f;
    std::memcpy(&f, dir + 42, sizeof f);
    SAT_zoom_image(&img, (flags & 8) ? img.domain.clat : -9999.0f, img.domain.clon, f);
    IMG_free(&img);
    AREA_reset();
    return 0;
}
