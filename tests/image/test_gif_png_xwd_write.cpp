// The three palette writers against independent decoders: every record
// layout (depth, bits per pixel, byte order; colour table, masks or gray) is
// written as PNG (read back by libpng), GIF (by PIL) and XWD (by
// ImageMagick), and each must show exactly the colours the record holds.

#include <random>

#include "codec_oracle.h"
#include "gks/gks.h"
#include "image/gif.h"
#include "image/pngio.h"
#include "image/xwd.h"

using codec::RGB;

namespace {

enum Colour { TABLE, MASK565, MASK888, MASKBGR, GRAY };

// Depth 1 is written least significant bit first and depth 4 high nibble
// first: the X conventions of byte order 0 and 1, which the XWD oracle follows.
struct Layout {
    const char *name;
    int depth, bits_pixel, order;
    Colour colour;
    int ncolours;  // distinct colours drawn from
    bool interlace = false;
} const kLayouts[] = {
    {"d1", 1, 1, 0, TABLE, 2},
    {"d4", 4, 4, 1, TABLE, 16},
    {"d8_table", 8, 8, 1, TABLE, 200},
    {"d8_table_interlaced_gif", 8, 8, 1, TABLE, 200, true},
    {"d8_gray", 8, 0, 1, GRAY, 256},
    {"d16_msb", 16, 16, 1, MASK565, 90},
    {"d16_lsb", 16, 16, 0, MASK565, 90},
    {"d24_msb", 24, 24, 1, MASK888, 120},
    {"d24_lsb", 24, 24, 0, MASK888, 120},
    {"d32_msb", 24, 32, 1, MASK888, 250},
    {"d32_lsb", 24, 32, 0, MASK888, 250},
    {"d32_bgr", 24, 32, 0, MASKBGR, 64},
};

// Builds a 37 x 23 record (odd width: partial bytes at depth 1 and 4) and
// returns the RGB bytes it must show.
std::string make(const Layout &L, codec::Rec &rec)
{
    const int nx = 37, ny = 23;
    std::mt19937 rng(7);
    std::vector<uint32_t> pool;
    std::vector<RGB> pool_rgb;
    for (int i = 0; i < L.ncolours; i++) {
        RGB c{(uint8_t)rng(), (uint8_t)rng(), (uint8_t)rng()};
        uint32_t v = (uint32_t)i;
        if (L.colour == GRAY) c = {(uint8_t)i, (uint8_t)i, (uint8_t)i};
        if (L.colour == MASK565) c[0] &= 0xF8, c[1] &= 0xFC, c[2] &= 0xF8, v = (c[0] >> 3) << 11 | (c[1] >> 2) << 5 | c[2] >> 3;
        if (L.colour == MASK888) v = c[0] << 16 | c[1] << 8 | c[2];
        if (L.colour == MASKBGR) v = c[2] << 16 | c[1] << 8 | c[0];
        pool.push_back(v);
        pool_rgb.push_back(c);
    }
    std::vector<uint32_t> values((size_t)nx * ny);
    std::vector<RGB> expect;
    for (auto &v : values) {
        size_t k = rng() % pool.size();
        v = pool[k];
        expect.push_back(pool_rgb[k]);
    }
    codec::fill(rec.get(), nx, ny, L.depth, L.bits_pixel, L.order, values);
    const uint32_t masks[][3] = {{0, 0, 0}, {0xF800, 0x07E0, 0x001F}, {0xFF0000, 0xFF00, 0xFF}, {0xFF, 0xFF00, 0xFF0000}, {0, 0, 0}};
    rec->red_mask = masks[L.colour][0], rec->green_mask = masks[L.colour][1], rec->blue_mask = masks[L.colour][2];
    if (L.colour == TABLE) rec->indexed = 1, rec->ncolors = L.ncolours, rec->cmap = codec::exact_table(pool_rgb);
    return codec::to_bytes(expect);
}

TEST(ImageWriters, EveryLayoutInEveryFormatShowsTheRecordsColours)
{
    NEED_TOOL("convert");
    NEED_PIL();
    testutil::ScratchDir dir;
    for (const Layout &L : kLayouts) {
        SCOPED_TRACE(L.name);
        codec::Rec png, gif, xwd;  // fresh records: the GIF writer replaces the pixels
        const std::string want = make(L, png);
        make(L, gif), make(L, xwd);
        ASSERT_EQ(PNG_write(dir.file("o.png").c_str(), png.get()), 1);
        testutil::Raster r;
        ASSERT_TRUE(testutil::read_png(dir.file("o.png"), &r));
        EXPECT_EQ(codec::first_diff(std::string(r.px.begin(), r.px.end()), want), -1) << "PNG by libpng";
        GIF_interlace(L.interlace);
        ASSERT_EQ(GIF_write(dir.file("o.gif").c_str(), gif.get()), 1);
        GIF_interlace(0);
        EXPECT_EQ(codec::first_diff(codec::pil_rgb(dir.file("o.gif")), want), -1) << "GIF by PIL";
        ASSERT_EQ(XWD_write(dir.file("o.xwd").c_str(), xwd.get()), 1);
        // The XWD holds 16-bit pixels themselves; ImageMagick widens 5- and
        // 6-bit channels by v * 255 / 31 where the palette writers shift
        // left, so the two agree to within 7.
        EXPECT_LE(codec::max_channel_diff(codec::im_rgb(dir.file("o.xwd")), want), L.colour == MASK565 ? 7 : 0) << "XWD by ImageMagick";
    }
}

// The GIF writer's header choices seen through PIL: palette size and the
// LZW minimum code size for one, two, exactly 256 and more than 256
// colours.  Past 256 every further value takes entry 0's colour.
TEST(GifWrite, PaletteSizeAndOverflow)
{
    NEED_PIL();
    testutil::ScratchDir dir;
    struct { int colours, table_entries, code_size; } cases[] = {{1, 2, 2}, {2, 2, 2}, {3, 4, 2}, {5, 8, 3}, {256, 256, 8}, {300, 256, 8}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.colours);
        const int nx = 20, ny = (c.colours + nx - 1) / nx + 1;
        codec::Rec rec;
        std::vector<uint32_t> values((size_t)nx * ny);
        std::vector<RGB> expect;
        for (size_t i = 0; i < values.size(); i++) values[i] = ((uint32_t)(i % c.colours) * 7919u) & 0xFFFFFF;
        for (size_t i = 0; i < values.size(); i++) {
            uint32_t v = i % c.colours < 256 ? values[i] : values[0];
            expect.push_back({(uint8_t)(v >> 16), (uint8_t)(v >> 8), (uint8_t)v});
        }
        codec::fill(rec.get(), nx, ny, 24, 32, 0, values);
        rec->red_mask = 0xFF0000, rec->green_mask = 0xFF00, rec->blue_mask = 0xFF;
        std::string path = dir.file("p.gif");
        ASSERT_EQ(GIF_write(path.c_str(), rec.get()), 1);
        std::string bytes = testutil::read_file(path);
        ASSERT_GT(bytes.size(), 13u);
        int packed = (unsigned char)bytes[10];
        EXPECT_EQ(packed & 0x80, 0x80);
        EXPECT_EQ(2 << (packed & 7), c.table_entries);
        // Minimum code size: right after the table and the 10-byte descriptor.
        EXPECT_EQ((int)(unsigned char)bytes[13 + 3 * (size_t)c.table_entries + 10], c.code_size);
        EXPECT_EQ(codec::first_diff(codec::pil_rgb(path), codec::to_bytes(expect)), -1);
    }
    // Transparency: the entry of the background's pixel value (here the
    // third distinct value) is marked in a graphic control extension.
    long bg = gget_color_ind(-1) & 0xFF;
    codec::Rec rec;
    codec::fill(rec.get(), 2, 2, 8, 8, 1, {(uint32_t)((bg + 1) & 0xFF), (uint32_t)((bg + 2) & 0xFF), (uint32_t)bg, (uint32_t)bg});
    GIF_transparent(1);
    ASSERT_EQ(GIF_write(dir.file("t.gif").c_str(), rec.get()), 1);
    GIF_transparent(0);
    EXPECT_EQ(codec::pil_script("import sys\nfrom PIL import Image\nprint(Image.open(sys.argv[1]).info.get('transparency'))\n",
                                dir.file("t.gif")),
              "2\n");
}

// The writers fail cleanly: 0 on an unwritable folder, a full device and an
// empty record.
TEST(ImageWriters, FailuresReturnZero)
{
    codec::Rec rec;
    codec::fill(rec.get(), 4, 4, 8, 8, 1, std::vector<uint32_t>(16, 3));
    testutil::ScratchDir dir;
    // Below a plain file and below /proc no folder can be made.
    for (const std::string &n : {dir.write("plain", "") + "/x", std::string("/proc/zyr-no/x"), std::string("/dev/full")}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(GIF_write(n.c_str(), rec.get()), 0);
        EXPECT_EQ(PNG_write(n.c_str(), rec.get()), 0);
        EXPECT_EQ(XWD_write(n.c_str(), rec.get()), 0);
    }
    IMG empty;
    IMG_init(&empty);
    EXPECT_EQ(GIF_write(dir.file("e.gif").c_str(), &empty), 0);
    EXPECT_EQ(PNG_write(dir.file("e.png").c_str(), &empty), 0);
}

}  // namespace
