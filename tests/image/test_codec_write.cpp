// The GIF, PNG, XWD and animation writers against libpng, PIL and ImageMagick, read back by our readers.

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>

#include "codec_oracle.h"
#include "gks/gks.h"
#include "image/anim.h"
#include "image/gif.h"
#include "image/pngio.h"
#include "image/xwd.h"

namespace {

// The RGB bytes of a file's first image as PIL decodes it.
std::string pil_rgb(const std::string &path)
{
    return codec::pil_script("sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGB').tobytes())", path);
}

enum Colour { TABLE, MASK565, MASK888, MASKBGR, GRAY };

// Depth 1 is written least significant bit first and depth 4 high nibble
// first: the X conventions of byte order 0 and 1, which the XWD oracle follows.
struct Layout {
    const char *name;
    int depth, bits_pixel, order;
    Colour colour;
    int ncolours;  // distinct colours drawn from
    bool interlace = false, pad = true;
} const kLayouts[] = {
    {"d1", 1, 1, 0, TABLE, 2}, {"d4", 4, 4, 1, TABLE, 16}, {"d8_table", 8, 8, 1, TABLE, 200},
    {"d8_table_interlaced_gif", 8, 8, 1, TABLE, 200, true}, {"d8_gray", 8, 0, 1, GRAY, 256},
    {"d8_gray_unpadded", 8, 0, 1, GRAY, 256, false, false},  // rows as files hold them: odd length
    {"d16_msb", 16, 16, 1, MASK565, 90}, {"d16_lsb", 16, 16, 0, MASK565, 90},
    {"d24_msb", 24, 24, 1, MASK888, 120}, {"d24_lsb", 24, 24, 0, MASK888, 120},
    {"d32_msb", 24, 32, 1, MASK888, 250}, {"d32_lsb", 24, 32, 0, MASK888, 250},
    {"d32_bgr", 24, 32, 0, MASKBGR, 64},
};

// Builds a 37 x 23 record (odd width: partial bytes at depth 1 and 4) and
// returns the RGB bytes it must show.
std::string make(const Layout &L, codec::Rec &rec)
{
    std::mt19937 rng(7);
    std::vector<uint32_t> pool, values(37 * 23);
    std::vector<std::array<uint8_t, 3>> pool_rgb;
    for (int i = 0; i < L.ncolours; i++) {
        std::array<uint8_t, 3> c{(uint8_t)rng(), (uint8_t)rng(), (uint8_t)rng()};
        uint32_t v = (uint32_t)i;
        if (L.colour == GRAY) c = {(uint8_t)i, (uint8_t)i, (uint8_t)i};
        if (L.colour == MASK565) c[0] &= 0xF8, c[1] &= 0xFC, c[2] &= 0xF8, v = (c[0] >> 3) << 11 | (c[1] >> 2) << 5 | c[2] >> 3;
        if (L.colour == MASK888) v = c[0] << 16 | c[1] << 8 | c[2];
        if (L.colour == MASKBGR) v = c[2] << 16 | c[1] << 8 | c[0];
        pool.push_back(v), pool_rgb.push_back(c);
    }
    std::string want;
    for (auto &v : values) {
        size_t k = rng() % pool.size();
        v = pool[k];
        want.append((const char *)pool_rgb[k].data(), 3);
    }
    codec::fill(rec.get(), 37, 23, L.depth, L.bits_pixel, L.order, values, L.pad);
    const uint32_t masks[][3] = {{0, 0, 0}, {0xF800, 0x07E0, 0x001F}, {0xFF0000, 0xFF00, 0xFF}, {0xFF, 0xFF00, 0xFF0000}, {0, 0, 0}};
    rec->red_mask = masks[L.colour][0], rec->green_mask = masks[L.colour][1], rec->blue_mask = masks[L.colour][2];
    if (L.colour == TABLE) {  // entries (b + 0.5) / 255, which the writers' "x 255" truncates to b
        rec->indexed = 1, rec->ncolors = L.ncolours, rec->cmap = (float *)malloc(sizeof(float) * 3 * L.ncolours);
        for (int i = 0; i < 3 * L.ncolours; i++) rec->cmap[i] = (pool_rgb[i / 3][i % 3] + 0.5f) / 255.0f;
    }
    strcpy(rec->info, L.name);
    return want;
}

// Each layout written in each format must show exactly the record's colours
// to the outside decoder, and read back by our readers: the same colours
// from the PNG and GIF, the very bytes, masks and name from the XWD.
TEST(ImageWriters, EveryLayoutRoundTripsThroughEveryFormat)
{
    NEED_TOOL("convert");
    NEED_PIL();
    testutil::ScratchDir dir;
    const std::string png = dir.file("o.png"), gif = dir.file("o.gif"), xwd = dir.file("o.xwd");
    for (const Layout &L : kLayouts) {
        SCOPED_TRACE(L.name);
        codec::Rec rec, from_png, from_gif, from_xwd;
        const std::string want = make(L, rec);
        ASSERT_EQ(PNG_write(png.c_str(), rec.get()), 1);
        testutil::Raster r;
        ASSERT_TRUE(testutil::read_png(png, &r));
        EXPECT_EQ(codec::max_channel_diff(std::string(r.px.begin(), r.px.end()), want), 0) << "PNG by libpng";
        ASSERT_EQ(PNG_read(png.c_str(), from_png.get(), 0), 1);
        EXPECT_EQ(codec::max_channel_diff(codec::record_rgb(from_png.get()), want), 0) << "PNG by our reader";
        ASSERT_EQ(XWD_write(xwd.c_str(), rec.get()), 1);
        // The XWD holds 16-bit pixels themselves; ImageMagick widens 5- and
        // 6-bit channels by v * 255 / 31 where the palette writers shift
        // left, so the two agree to within 7.
        EXPECT_LE(codec::max_channel_diff(codec::im_rgb(xwd), want), L.colour == MASK565 ? 7 : 0) << "XWD by ImageMagick";
        from_xwd->depth = 24;
        ASSERT_EQ(XWD_read(xwd.c_str(), from_xwd.get(), 0), 1);
        EXPECT_EQ(std::string((char *)from_xwd->data, (size_t)from_xwd->bytes_line * 23),
                  std::string((char *)rec->data, (size_t)rec->bytes_line * 23));
        EXPECT_EQ(std::vector<uint32_t>({from_xwd->red_mask, from_xwd->green_mask, from_xwd->blue_mask}),
                  std::vector<uint32_t>({rec->red_mask, rec->green_mask, rec->blue_mask}));
        EXPECT_STREQ(from_xwd->info, L.name);
        EXPECT_EQ(L.colour == GRAY ? codec::max_channel_diff(codec::record_rgb(from_xwd.get()), want) : 0, 0) << "XWD gray";
        GIF_interlace(L.interlace);  // last: the GIF writer replaces the pixels
        ASSERT_EQ(GIF_write(gif.c_str(), rec.get()), 1);
        GIF_interlace(0);
        EXPECT_EQ(codec::max_channel_diff(pil_rgb(gif), want), 0) << "GIF by PIL";
        ASSERT_EQ(GIF_read(gif.c_str(), from_gif.get(), 0), 1);
        EXPECT_EQ(codec::max_channel_diff(codec::record_rgb(from_gif.get()), want), 0) << "GIF by our reader";
    }
}

// The writers' header choices: the GIF palette size and LZW minimum code
// size for one, two, exactly 256 and more than 256 colours (past 256 every
// further value takes entry 0's colour); with transparency the entry of the
// background's pixel value (here the third distinct value) marked; the PNG
// text chunks.  Seen through PIL.
TEST(ImageWriters, HeaderChoicesSeenByPil)
{
    NEED_PIL();
    testutil::ScratchDir dir;
    const std::string path = dir.file("p.gif");
    struct { int colours, table_entries, code_size; } cases[] = {{1, 2, 2}, {2, 2, 2}, {3, 4, 2}, {5, 8, 3}, {256, 256, 8}, {300, 256, 8}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.colours);
        const int nx = 20, ny = (c.colours + nx - 1) / nx + 1;
        codec::Rec rec;
        std::vector<uint32_t> values((size_t)nx * ny);
        std::string want;
        for (size_t i = 0; i < values.size(); i++) {
            values[i] = ((uint32_t)(i % c.colours) * 7919u) & 0xFFFFFF;
            const uint32_t v = i % c.colours < 256 ? values[i] : 0;  // entry 0 is value 0's colour
            want += {(char)(v >> 16), (char)(v >> 8), (char)v};
        }
        codec::fill(rec.get(), nx, ny, 24, 32, 0, values);
        rec->red_mask = 0xFF0000, rec->green_mask = 0xFF00, rec->blue_mask = 0xFF;
        ASSERT_EQ(GIF_write(path.c_str(), rec.get()), 1);
        std::string bytes = testutil::read_file(path);
        ASSERT_GT(bytes.size(), 13u + 3 * c.table_entries + 10);
        EXPECT_EQ((uint8_t)bytes[10] & 0x80, 0x80);
        EXPECT_EQ(2 << (bytes[10] & 7), c.table_entries);
        // Minimum code size: right after the table and the 10-byte descriptor.
        EXPECT_EQ((int)(uint8_t)bytes[13 + 3 * (size_t)c.table_entries + 10], c.code_size);
        EXPECT_EQ(codec::max_channel_diff(pil_rgb(path), want), 0);
    }
    long bg = gget_color_ind(-1) & 0xFF;
    codec::Rec rec;
    codec::fill(rec.get(), 2, 2, 8, 8, 1, {(uint32_t)((bg + 1) & 0xFF), (uint32_t)((bg + 2) & 0xFF), (uint32_t)bg, (uint32_t)bg});
    GIF_transparent(1);
    ASSERT_EQ(GIF_write(path.c_str(), rec.get()), 1);
    GIF_transparent(0);
    EXPECT_EQ(codec::pil_script("print(Image.open(sys.argv[1]).info.get('transparency'))", path), "2\n");
    // The PNG writer's text chunks.
    ASSERT_EQ(PNG_write(dir.file("t.png").c_str(), rec.get()), 1);
    EXPECT_EQ(codec::pil_script("im = Image.open(sys.argv[1])\nprint(im.mode, len(im.getpalette()) // 3, sorted(im.text))\n"
                                "print(im.text['Software'])\nprint(im.text['Creation Time'][-4:])\n",
                                dir.file("t.png")),
              "P 256 ['Creation Time', 'Software', 'Title']\nZYR - Tarnwell Renderer v5.0\n GMT\n");
}

// 0 on an unwritable folder, a full device, no frames and an empty record.
// Large pictures are read and compressed in shares on the worker threads:
// the joined palette and entries must be those of one pass over all rows
// (forced with ZYR_THREADS=1), whether the later rows bring new colours, the
// shares together meet more than 256, or one share alone does; and the PNG
// of parts must show libpng the picture's colours.
TEST(ImageWriters, SharedWorkGivesTheOnePassPaletteAndPixels)
{
    struct Case {
        const char *name;
        int top, bottom;  // distinct values first met in the upper and lower half
    } const cases[] = {{"new colours below", 100, 100}, {"over 256 in all", 200, 200}, {"over 256 above", 300, 10}};
    const int w = 3000, h = 1400;  // 4.2 MB of entries: four compressed parts
    testutil::ScratchDir dir;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint32_t> values((size_t)w * h);
        std::mt19937 rng(11);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) {
                // Runs of 7 pixels, as flat areas come; below, old colours mix with new.
                const uint32_t k = (uint32_t)((x / 7 + y) % (y < h / 2 ? c.top : c.top + c.bottom));
                values[(size_t)y * w + x] = (k * 2654435761u) & 0xFFFFFF;
            }
        codec::Rec rec;
        codec::fill(rec.get(), w, h, 24, 32, 0, values);
        rec->red_mask = 0xFF0000, rec->green_mask = 0xFF00, rec->blue_mask = 0xFF;
        IMG_palette one, shared;
        std::vector<uint8_t> one_index, shared_index;
        setenv("ZYR_THREADS", "1", 1);
        ASSERT_TRUE(IMG_build_palette(rec.get(), false, &one, &one_index, "test"));
        setenv("ZYR_THREADS", "4", 1);
        ASSERT_TRUE(IMG_build_palette(rec.get(), false, &shared, &shared_index, "test"));
        EXPECT_EQ(shared.ncolors, one.ncolors);
        EXPECT_EQ(std::memcmp(shared.value, one.value, sizeof one.value), 0);
        EXPECT_EQ(std::memcmp(shared.rgb, one.rgb, sizeof one.rgb), 0);
        EXPECT_TRUE(shared_index == one_index);
        const std::string png = dir.file("big.png");
        ASSERT_EQ(PNG_write(png.c_str(), rec.get()), 1);
        unsetenv("ZYR_THREADS");
        testutil::Raster r;
        ASSERT_TRUE(testutil::read_png(png, &r));
        ASSERT_EQ(r.w * r.h, w * h);
        size_t wrong = 0;
        for (size_t i = 0; i < values.size(); i++) {
            // Past 256 colours a value takes entry 0's colour.
            const uint32_t v = one.value[one_index[i]];
            wrong += r.rgb((int)(i % w), (int)(i / w)) != v;
        }
        EXPECT_EQ(wrong, 0u);
    }
}

TEST(ImageWriters, FailuresReturnZero)
{
    codec::Rec rec;
    codec::fill(rec.get(), 4, 4, 8, 8, 1, std::vector<uint32_t>(16, 3));
    const ANIM_frame frames[] = {{rec.get(), 1}, {rec.get(), 1}};
    testutil::ScratchDir dir;
    // Below a plain file and below /proc no folder can be made.
    for (const std::string &n : {dir.write("plain", "") + "/x", std::string("/proc/zyr-no/x"), std::string("/dev/full")}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(PNG_write(n.c_str(), rec.get()), 0);
        EXPECT_EQ(XWD_write(n.c_str(), rec.get()), 0);
        EXPECT_EQ(ANIM_write_gif(n.c_str(), frames, 2), 0);
        EXPECT_EQ(ANIM_write_apng(n.c_str(), frames, 2), 0);
        EXPECT_EQ(GIF_write(n.c_str(), rec.get()), 0);
    }
    const std::string none = dir.file("none.gif");
    EXPECT_EQ(ANIM_write_gif(none.c_str(), frames, 0), 0);
    EXPECT_EQ(ANIM_write_apng(none.c_str(), nullptr, 0), 0);
    EXPECT_FALSE(std::filesystem::exists(none));
    codec::Rec empty;
    EXPECT_EQ(GIF_write(dir.file("e.gif").c_str(), empty.get()), 0);
    EXPECT_EQ(PNG_write(dir.file("e.png").c_str(), empty.get()), 0);
}

// Animated loops (GIF and APNG) read back by PIL frame by frame: the frame
// count, the loop, every delay and every frame's colours.  n frames of
// w x h, 24-bit true colour, mostly a fixed background with a moving block
// (later frames change only part of the picture); `colours` distinct
// colours per frame, each frame a different set when `distinct`.
struct Anim {
    const char *name;
    int frames, w, h, colours;
    bool distinct;
} const kAnims[] = {
    {"one_frame", 1, 30, 20, 40, false}, {"global_palette", 5, 41, 23, 60, false},
    {"local_tables", 4, 33, 17, 200, true},  // 800 colours in all
    {"exactly_256", 3, 32, 32, 256, false}, {"long_loop", 128, 8, 6, 5, false},
};

class AnimFiles : public testing::TestWithParam<Anim> {};

TEST_P(AnimFiles, PilReadsEveryFrameAndDelay)
{
    NEED_PIL();
    const Anim &c = GetParam();
    std::mt19937 rng(17);
    std::vector<std::unique_ptr<codec::Rec>> recs;
    std::vector<ANIM_frame> frames;
    std::string want = std::to_string(c.frames) + " 0\n";
    for (int k = 0; k < c.frames; k++) {
        std::vector<uint32_t> pool, v((size_t)c.w * c.h);
        for (int i = 0; i < c.colours; i++) pool.push_back(c.distinct ? (uint32_t)(k * 4096 + i * 13) : (uint32_t)(i * 0x10307));
        want += k + 1 == c.frames ? "1000 " : "500 ";
        for (size_t i = 0; i < v.size(); i++) {
            int x = (int)(i % c.w), y = (int)(i / c.w);
            bool block = x >= 2 * k % c.w && x < 2 * k % c.w + 6 && y >= k % c.h && y < k % c.h + 5;
            v[i] = block || (i % 7 == 0) ? pool[rng() % pool.size()] : pool[0];
            char hex[7];
            snprintf(hex, sizeof hex, "%06x", v[i] & 0xFFFFFF);
            want += hex;
        }
        want += "\n";
        codec::Rec &r = *recs.emplace_back(std::make_unique<codec::Rec>());
        codec::fill(r.get(), c.w, c.h, 24, 32, 0, v);
        r.red_mask = 0xFF0000, r.green_mask = 0xFF00, r.blue_mask = 0xFF;
        frames.push_back({r.get(), k + 1 == c.frames ? 1.0f : 0.5f});
    }
    testutil::ScratchDir dir;
    const std::string gif = dir.file("a.gif"), apng = dir.file("a.png");
    ASSERT_EQ(ANIM_write_gif(gif.c_str(), frames.data(), c.frames), 1);
    ASSERT_EQ(ANIM_write_apng(apng.c_str(), frames.data(), c.frames), 1);
    const std::string read = "im = Image.open(sys.argv[1])\nprint(im.n_frames, im.info.get('loop'))\n"
                             "for k in range(im.n_frames):\n    im.seek(k)\n"
                             "    print(round(im.info.get('duration')), im.convert('RGB').tobytes().hex())\n";
    EXPECT_EQ(codec::pil_script(read, gif), want) << "GIF";
    EXPECT_EQ(codec::pil_script(read, apng), want) << "APNG";
}

INSTANTIATE_TEST_SUITE_P(All, AnimFiles, testing::ValuesIn(kAnims),
                         [](const auto &info) { return std::string(info.param.name); });

}  // namespace
