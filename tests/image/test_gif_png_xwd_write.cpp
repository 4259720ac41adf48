// The three palette writers against independent decoders: every record
// layout (depth, bits per pixel, byte order; colour table, masks or gray)
// is written as GIF (plain and interlaced), PNG and XWD, and ImageMagick
// and PIL must see exactly the colours the record holds.
#include <gtest/gtest.h>

#include <random>

#include "codec_oracle.h"
#include "gks/gks.h"
#include "image/gif.h"
#include "image/pngio.h"
#include "image/xwd.h"
#include "../test_support.h"

using codec::RGB;

namespace {

enum Colour { TABLE, MASK565, MASK888, MASKBGR, GRAY };

struct Layout {
    const char *name;
    int depth, bits_pixel, order;
    Colour colour;
    int ncolours;  // distinct colours drawn from
};

// Depth 1 is written least significant bit first and depth 4 high nibble
// first: the X conventions of byte order 0 and 1 respectively, which the XWD
// oracle follows.
const Layout kLayouts[] = {
    {"d1", 1, 1, 0, TABLE, 2},
    {"d4", 4, 4, 1, TABLE, 16},
    {"d8_table", 8, 8, 1, TABLE, 200},
    {"d8_gray", 8, 0, 1, GRAY, 256},
    {"d16_msb", 16, 16, 1, MASK565, 90},
    {"d16_lsb", 16, 16, 0, MASK565, 90},
    {"d24_msb", 24, 24, 1, MASK888, 120},
    {"d24_lsb", 24, 24, 0, MASK888, 120},
    {"d32_msb", 24, 32, 1, MASK888, 250},
    {"d32_lsb", 24, 32, 0, MASK888, 250},
    {"d32_bgr", 24, 32, 0, MASKBGR, 64},
};

struct Made {
    std::vector<RGB> expect;  // nx * ny colours
};

// Builds the record and the colours it must show.
Made make(const Layout &L, codec::Rec &rec, int nx, int ny, unsigned seed)
{
    std::mt19937 rng(seed);
    Made m;
    std::vector<uint32_t> pool;
    std::vector<RGB> pool_rgb;
    for (int i = 0; i < L.ncolours; i++) {
        RGB c{(uint8_t)rng(), (uint8_t)rng(), (uint8_t)rng()};
        uint32_t v = (uint32_t)i;
        switch (L.colour) {
        case TABLE: break;
        case GRAY: c = {(uint8_t)i, (uint8_t)i, (uint8_t)i}; break;
        case MASK565:
            c[0] &= 0xF8; c[1] &= 0xFC; c[2] &= 0xF8;
            v = (c[0] >> 3) << 11 | (c[1] >> 2) << 5 | c[2] >> 3;
            break;
        case MASK888: v = c[0] << 16 | c[1] << 8 | c[2]; break;
        case MASKBGR: v = c[2] << 16 | c[1] << 8 | c[0]; break;
        }
        pool.push_back(v);
        pool_rgb.push_back(c);
    }
    std::vector<uint32_t> values((size_t)nx * ny);
    for (size_t i = 0; i < values.size(); i++) {
        size_t k = rng() % pool.size();
        values[i] = pool[k];
        m.expect.push_back(pool_rgb[k]);
    }
    codec::fill(rec.get(), nx, ny, L.depth, L.bits_pixel, L.order, values);
    switch (L.colour) {
    case TABLE:
        rec->indexed = 1;
        rec->ncolors = L.ncolours;
        rec->cmap = codec::exact_table(pool_rgb);
        break;
    case MASK565: rec->red_mask = 0xF800; rec->green_mask = 0x07E0; rec->blue_mask = 0x001F; break;
    case MASK888: rec->red_mask = 0xFF0000; rec->green_mask = 0xFF00; rec->blue_mask = 0xFF; break;
    case MASKBGR: rec->red_mask = 0xFF; rec->green_mask = 0xFF00; rec->blue_mask = 0xFF0000; break;
    case GRAY: break;
    }
    return m;
}

class WriterLayouts : public testing::TestWithParam<Layout> {};

TEST_P(WriterLayouts, ExternalDecodersSeeTheRecordsColours)
{
    if (!codec::have_convert()) GTEST_SKIP() << "ImageMagick convert not installed";
    const Layout &L = GetParam();
    testutil::ScratchDir dir;
    const int nx = 37, ny = 23;  // odd width: partial bytes at depth 1 and 4
    struct Out { const char *file; int (*write)(const char *, IMG *); bool interlace; bool pil; };
    const Out outs[] = {
        {"plain.gif", GIF_write, false, true},
        {"inter.gif", GIF_write, true, true},
        {"out.png", PNG_write, false, true},
        {"out.xwd", [](const char *n, IMG *i) { return XWD_write(n, i); }, false, false},
    };
    for (const Out &o : outs) {
        SCOPED_TRACE(o.file);
        codec::Rec rec;  // fresh: the GIF writer replaces the pixels
        Made m = make(L, rec, nx, ny, 7);
        GIF_interlace(o.interlace);
        std::string path = dir.file(o.file);
        ASSERT_EQ(o.write(path.c_str(), rec.get()), 1);
        GIF_interlace(0);
        std::string want = codec::to_bytes(m.expect);
        std::string im = codec::im_rgb(path);
        if (o.write != GIF_write && o.write != PNG_write && L.colour == MASK565) {
            // The XWD holds the 16-bit pixels themselves; ImageMagick widens
            // 5- and 6-bit channels by v * 255 / 31 where the palette writers
            // shift left, so the two agree to within 7.
            EXPECT_LE(codec::max_channel_diff(im, want), 7);
        } else {
            EXPECT_EQ(codec::first_diff(im, want), -1) << "ImageMagick, " << im.size() << " bytes";
        }
        if (o.pil && codec::have_pil()) {
            EXPECT_EQ(codec::first_diff(codec::pil_rgb(path), want), -1) << "PIL";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(All, WriterLayouts, testing::ValuesIn(kLayouts),
                         [](const auto &info) { return std::string(info.param.name); });

// The GIF writer's header choices seen through PIL: palette size and the
// LZW minimum code size for one, two, exactly 256 and more than 256
// colours.  Past 256 every further value takes entry 0's colour.
TEST(GifWrite, PaletteSizeAndOverflow)
{
    if (!codec::have_pil()) GTEST_SKIP() << "python3 PIL not installed";
    testutil::ScratchDir dir;
    struct Case { int colours; int table_entries; int code_size; };
    const Case cases[] = {{1, 2, 2}, {2, 2, 2}, {3, 4, 2}, {5, 8, 3}, {256, 256, 8}, {300, 256, 8}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.colours);
        const int nx = 20, ny = (c.colours + nx - 1) / nx + 1;
        codec::Rec rec;
        std::vector<uint32_t> values((size_t)nx * ny);
        std::vector<RGB> expect;
        for (size_t i = 0; i < values.size(); i++) {
            uint32_t k = (uint32_t)(i % c.colours);
            values[i] = (k * 7919u) & 0xFFFFFF;  // distinct 24-bit colours
        }
        codec::fill(rec.get(), nx, ny, 24, 32, 0, values);
        rec->red_mask = 0xFF0000; rec->green_mask = 0xFF00; rec->blue_mask = 0xFF;
        for (size_t i = 0; i < values.size(); i++) {
            uint32_t v = i % c.colours < 256 ? values[i] : values[0];
            expect.push_back({(uint8_t)(v >> 16), (uint8_t)(v >> 8), (uint8_t)v});
        }
        std::string path = dir.file("p.gif");
        ASSERT_EQ(GIF_write(path.c_str(), rec.get()), 1);
        std::string bytes = testutil::read_file(path);
        ASSERT_GT(bytes.size(), 13u);
        int packed = (unsigned char)bytes[10];
        EXPECT_EQ(packed & 0x80, 0x80);
        EXPECT_EQ(2 << (packed & 7), c.table_entries);
        // Minimum code size: right after the table and the 10-byte descriptor.
        size_t at = 13 + 3 * (size_t)c.table_entries + 10;
        EXPECT_EQ((int)(unsigned char)bytes[at], c.code_size);
        EXPECT_EQ(codec::first_diff(codec::pil_rgb(path), codec::to_bytes(expect)), -1);
    }
}

// Transparency: the entry of the background's pixel value is marked in a
// graphic control extension, and PIL reports it.
TEST(GifWrite, TransparentBackgroundEntry)
{
    if (!codec::have_pil()) GTEST_SKIP() << "python3 PIL not installed";
    testutil::ScratchDir dir;
    long bg = gget_color_ind(-1) & 0xFF;
    codec::Rec rec;
    std::vector<uint32_t> values = {(uint32_t)((bg + 1) & 0xFF), (uint32_t)((bg + 2) & 0xFF), (uint32_t)bg, (uint32_t)bg};
    codec::fill(rec.get(), 2, 2, 8, 8, 1, values);
    GIF_transparent(1);
    std::string path = dir.file("t.gif");
    ASSERT_EQ(GIF_write(path.c_str(), rec.get()), 1);
    GIF_transparent(0);
    std::string out = codec::pil_script(
        "import sys\nfrom PIL import Image\nim=Image.open(sys.argv[1])\nprint(im.info.get('transparency'))\n",
        path);
    EXPECT_EQ(out, "2\n");  // the background value was the third distinct value
}

// The writers fail cleanly: 0 and no crash on an unwritable folder and on
// a full device.
TEST(ImageWriters, FailuresReturnZero)
{
    codec::Rec rec;
    codec::fill(rec.get(), 4, 4, 8, 8, 1, std::vector<uint32_t>(16, 3));
    testutil::ScratchDir dir;
    // Below a plain file and below /proc no folder can be made.
    std::string under_file = dir.write("plain", "") + "/x";
    for (const std::string &n : {under_file, std::string("/proc/zyr-no/x")}) {
        const char *name = n.c_str();
        EXPECT_EQ(GIF_write(name, rec.get()), 0);
        EXPECT_EQ(PNG_write(name, rec.get()), 0);
        EXPECT_EQ(XWD_write(name, rec.get()), 0);
    }
    if (access("/dev/full", W_OK) == 0) {
        EXPECT_EQ(GIF_write("/dev/full", rec.get()), 0);
        EXPECT_EQ(PNG_write("/dev/full", rec.get()), 0);
        EXPECT_EQ(XWD_write("/dev/full", rec.get()), 0);
    }
    IMG empty;
    IMG_init(&empty);
    EXPECT_EQ(GIF_write(dir.file("e.gif").c_str(), &empty), 0);
    EXPECT_EQ(PNG_write(dir.file("e.png").c_str(), &empty), 0);
}

}  // namespace
