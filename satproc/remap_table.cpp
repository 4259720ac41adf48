// The remap's index table: where in the source every output pixel samples,
// kept from one frame to the next.  Frames of one loop usually share the
// source's navigation, size and the target domain; the first such frame
// traces every pixel into a table and each later one only gathers through it.
//
// Choices made here:
// - One table is kept (the last one built).  A table is built by the second
//   frame of a key, not the first: a single frame (the common run of one
//   file) traces straight into its pixels, which costs less than tracing
//   into a table and gathering through it, and a frame whose navigation
//   differs from its neighbours' builds nothing it would not use.  The
//   first frame of a key only notes the key (and frees a table of another
//   key); the next frame with the same key builds the table and gathers,
//   and every later one only gathers.  A frame that is still gathering
//   through an old table holds it alive (shared ownership), so at most two
//   exist at once, one per frame in flight.
// - Nearest-neighbour sampling keeps one 32-bit byte offset per output pixel
//   (-1 where nothing is sampled): 4 bytes a pixel, 8 MB for 1920 x 1080.
//   Blending and banded sampling keep the traced position itself (two
//   floats, 8 bytes a pixel): their weights come from the position's float
//   fractions, and only the position itself gives them back bit for bit.
// - The key is everything the positions depend on: the target domain (and
//   the viewport its projection object takes), the image's size and row
//   length, its domain unless the navigation places it, the remap settings
//   (step, navigation path, longitude limits, kind of table) and, on the
//   navigation path, the navigation: its kind, its pixel mapping and its
//   answers (double precision) at a 9 x 9 grid of the target's points.  A
//   navigation block that differs only in words the model does not use
//   gives the same answers and shares the table; one that moves the earth
//   by any amount does not.
// - Threads: the lookup and the build happen under the cache's mutex (the
//   tracing reads process-wide navigation state anyway).  A built table is
//   never changed again, so any number of threads may gather through it.
#include <cstring>
#include <memory>
#include <mutex>

#include "core/flags.h"
#include "image/nav.h"
#include "satproc/remap.h"
#include "satproc/remap_internal.h"

namespace remap_detail {

struct Key {
    DOM out{}, imgdom{};
    float view[4] = {0, 0, 0, 0};
    int w = 0, h = 0;
    int64_t stride = 0;
    int step = 0;
    bool nav = false, img_ok = false, nearest = false;
    float min_lon = 0, max_lon = 0;
    int nav_kind = 0;
    float res[4] = {0, 0, 0, 0};
    std::vector<double> probes;  // line, element, result of each probe

    bool operator==(const Key &k) const
    {
        // Floats compare as stored bits: a key equals only its exact copy.
        return std::memcmp(&out, &k.out, sizeof out) == 0 && std::memcmp(&imgdom, &k.imgdom, sizeof imgdom) == 0 &&
               std::memcmp(view, k.view, sizeof view) == 0 && w == k.w && h == k.h && stride == k.stride &&
               step == k.step && nav == k.nav && img_ok == k.img_ok && nearest == k.nearest &&
               std::memcmp(&min_lon, &k.min_lon, sizeof min_lon) == 0 &&
               std::memcmp(&max_lon, &k.max_lon, sizeof max_lon) == 0 && nav_kind == k.nav_kind &&
               std::memcmp(res, k.res, sizeof res) == 0 && probes.size() == k.probes.size() &&
               (probes.empty() || std::memcmp(probes.data(), k.probes.data(), probes.size() * sizeof(double)) == 0);
    }
};

struct Table {
    Key key;
    bool nearest = false;
    std::vector<int32_t> idx;     // nearest: byte offset of the sampled pixel, -1 none
    std::vector<float> col, row;  // otherwise: the traced position, NaN none
    // Per row, the first column and the end of what may sample the image:
    // the columns beyond, none at either end of the row, are 0 without
    // reading the table (most of a picture whose image covers part of it).
    std::vector<int> first, end;
};

namespace {

constexpr int PROBES = 9;

// The navigation's answers at a grid of the target's points, as the trace
// asks them (latitude/longitude to line/element).  False when too few of
// them lie on the earth to tell two navigations apart.
bool nav_probes(const Ctx &c, std::vector<double> &out)
{
    int on_earth = 0;
    for (int pj = 0; pj < PROBES; ++pj)
        for (int pi = 0; pi < PROBES; ++pi) {
            const float x = c.xmin + (float)(pi * (c.nx - 1) / (PROBES - 1)) * c.dx;
            const float y = c.ymax - (float)(pj * (c.ny - 1) / (PROBES - 1)) * c.dy;
            float lat = MISS, lon = MISS;
            double line = MISS, elem = MISS, r = -2;
            if (c.outp.untran(&lat, &lon, x, y) && lat != MISS) {
                double la = lat, lo = lon;
                r = AREA_tran_d(2, &la, &lo, &line, &elem);
                on_earth += r == 0;
            }
            out.insert(out.end(), {line, elem, r});
        }
    return on_earth >= 8;
}

Key make_key(const Ctx &c, const Sampler &s, bool nearest)
{
    Key k;
    k.out = c.out;
    std::memcpy(k.view, c.outp.view(), sizeof k.view);
    k.w = s.w;
    k.h = s.h;
    k.stride = (int64_t)s.stride;
    k.step = c.step;
    k.nav = c.nav && c.step != 0;
    k.nearest = nearest;
    k.min_lon = c.min_lon;
    k.max_lon = c.max_lon;
    // The navigation path does not look at the image's domain.
    if (!k.nav) {
        k.imgdom = c.imgdom;
        k.img_ok = c.img_ok;
    } else {
        k.nav_kind = AREA_nav_kind();
        AREA_get_res(&k.res[0], &k.res[1], &k.res[2], &k.res[3]);
    }
    return k;
}

class Cache {
public:
    std::mutex m;
    std::shared_ptr<const Table> table;
    std::unique_ptr<Key> seen;  // the key of the last frame traced without a table
    long builds = 0;
    int reuse = -1;  // -1: not decided yet (ZYR_REMAP_REUSE decides)
    bool margins = true;

    bool reuse_on()
    {
        if (reuse < 0) {
            const char *e = std::getenv("ZYR_REMAP_REUSE");
            reuse = !(e && std::strcmp(e, "0") == 0);
        }
        return reuse != 0;
    }
};

Cache &cache()
{
    static Cache c;
    return c;
}

// Positions of every output pixel, block by block, as the remap traces them.
std::shared_ptr<Table> build(const Ctx &c, const Sampler &s, Key key)
{
    auto t = std::make_shared<Table>();
    t->key = std::move(key);
    t->nearest = t->key.nearest;
    const int nx = c.nx, ny = c.ny;
    const size_t n = (size_t)nx * ny;
    // As many rows at a time as the remap's own blocks hold.
    const int block = c.step == 0 ? BLOCK_ROWS : std::max(1, 32768 / (nx / c.step + 2));
    Batch b;
    if (t->nearest) {
        t->idx.resize(n);
        std::vector<float> cols((size_t)block * nx), rows((size_t)block * nx);
        for (int j0 = 0; j0 < ny; j0 += block) {
            const int j1 = std::min(ny, j0 + block);
            block_positions(c, j0, j1, false, cols.data(), rows.data(), b);
            int32_t *o = t->idx.data() + (size_t)j0 * nx;
            parallel_rows(j1 - j0, (size_t)(j1 - j0) * nx, [&](int a, int z) {
                for (size_t i = (size_t)a * nx; i < (size_t)z * nx; ++i)
                    o[i] = (int32_t)s.nearest_offset(cols[i], rows[i]);
            });
        }
    } else {
        t->col.resize(n);
        t->row.resize(n);
        for (int j0 = 0; j0 < ny; j0 += block) {
            const int j1 = std::min(ny, j0 + block);
            block_positions(c, j0, j1, false, t->col.data() + (size_t)j0 * nx, t->row.data() + (size_t)j0 * nx, b);
        }
    }
    t->first.assign((size_t)ny, 0);
    t->end.assign((size_t)ny, 0);
    parallel_rows(ny, n, [&](int a, int z) {
        for (int j = a; j < z; ++j) {
            const size_t r = (size_t)j * nx;
            auto none = [&](int i) { return t->nearest ? t->idx[r + i] < 0 : std::isnan(t->col[r + i]); };
            int f = 0, e = nx;
            while (f < e && none(f)) ++f;
            while (e > f && none(e - 1)) --e;
            t->first[(size_t)j] = f;
            t->end[(size_t)j] = e;
        }
    });
    return t;
}

}  // namespace

std::shared_ptr<const Table> table_for(Ctx &c, const Sampler &s)
{
    Cache &k = cache();
    std::lock_guard<std::mutex> lock(k.m);
    if (!k.reuse_on()) return nullptr;
    // Byte offsets must fit the table's 31 bits.
    if (!s.small32) return nullptr;
    const bool nearest = s.nearest_only();
    Key key = make_key(c, s, nearest);
    if (key.nav && !nav_probes(c, key.probes)) {
        k.table.reset();
        return nullptr;
    }
    if (k.table && k.table->key == key) return k.table;
    k.table.reset();  // freed before the next one is made
    if (!k.seen || !(*k.seen == key)) {
        k.seen = std::make_unique<Key>(std::move(key));
        return nullptr;
    }
    k.seen.reset();
    if (k.margins) find_footprint(c, key.nav);
    k.table = build(c, s, std::move(key));
    ++k.builds;
    MESS_print(MESS_OUT4, "Remap table built: %dx%d, %s\n", c.nx, c.ny, nearest ? "offsets" : "positions");
    return k.table;
}

namespace {

// Pixels i0..i1-1 (one row's run) from the table and the source.
void gather_run(const Table &t, const Sampler &s, unsigned char *out, size_t i0, size_t i1)
{
    if (t.nearest) {
        const int32_t *idx = t.idx.data();
        const unsigned char *src = s.src;
        // Without branches: offset -1 reads the first byte and masks it.
        for (size_t i = i0; i < i1; ++i) {
            const int32_t k = idx[i];
            out[i] = (unsigned char)(src[k < 0 ? 0 : k] & ~(k >> 31));
        }
        return;
    }
    if (s.two_pass()) {
        // Plain blending: the positions a pixel inside the edges are
        // turned into offsets and fractions a chunk at a time, and the
        // chunk sampled in the two passes of a first frame, which give
        // remap_pixel's values; the rest go through remap_pixel.
        constexpr int CHUNK = 1024;
        int32_t idx[CHUNK];
        float fr[CHUNK], fc[CHUNK];
        const int32_t st = (int32_t)s.stride;
        for (size_t c0 = i0; c0 < i1; c0 += CHUNK) {
            const int m = (int)std::min<size_t>(CHUNK, i1 - c0);
            const float *col = t.col.data() + c0, *row = t.row.data() + c0;
            unsigned char *o = out + c0;
            for (int k = 0; k < m; ++k) {
                const float c = col[k], r = row[k];
                if (s.inside(c, r, c, r)) {
                    const int r0 = (int)r, cc = (int)c;
                    idx[k] = r0 * st + cc;
                    fr[k] = r - (float)r0;
                    fc[k] = c - (float)cc;
                } else {
                    idx[k] = -1;
                    fr[k] = fc[k] = 0;
                    o[k] = s.remap_pixel(c, r);
                }
            }
            s.second_pass(idx, fr, fc, o, m);
        }
        return;
    }
    for (size_t i = i0; i < i1; ++i) out[i] = s.remap_pixel(t.col[i], t.row[i]);
}

}  // namespace

void gather(const Table &t, const Sampler &s, unsigned char *out, int nx, int ny)
{
    parallel_rows(ny, (size_t)nx * ny, [&](int a, int z) {
        for (int j = a; j < z; ++j) {
            const size_t r = (size_t)j * nx;
            const int f = t.first[(size_t)j], e = t.end[(size_t)j];
            std::memset(out + r, 0, (size_t)f);
            std::memset(out + r + e, 0, (size_t)(nx - e));
            if (f < e) gather_run(t, s, out, r + f, r + e);
        }
    });
}

bool margins_on()
{
    std::lock_guard<std::mutex> lock(cache().m);
    return cache().margins;
}

}  // namespace remap_detail

using remap_detail::cache;

void SAT_remap_set_margins(int on)
{
    std::lock_guard<std::mutex> lock(cache().m);
    cache().margins = on != 0;
    cache().table.reset();
    cache().seen.reset();
}

void SAT_remap_set_reuse(int on)
{
    std::lock_guard<std::mutex> lock(cache().m);
    cache().reuse = on != 0;
    if (!on) cache().table.reset(), cache().seen.reset();
}

long SAT_remap_table_builds()
{
    std::lock_guard<std::mutex> lock(cache().m);
    return cache().builds;
}

void SAT_remap_reset()
{
    std::lock_guard<std::mutex> lock(cache().m);
    cache().table.reset();
    cache().seen.reset();
    cache().builds = 0;
    cache().reuse = -1;
    cache().margins = true;
}
