// The PNG reader on every colour type and bit depth, interlaced or not, as
// ImageMagick and PIL write them; the writer's text chunks; broken files.

#include <zlib.h>

#include "codec_oracle.h"
#include "image/pngio.h"

namespace {

struct Case {
    const char *name;
    const char *make;          // "im:" convert arguments on "rose:" ({} the output), or "pil:" an expression of `base`
    int bit_depth, colour_type, interlace;  // the IHDR the maker must have written
    int depth, bits_pixel;     // what the record must say
    int tolerance;             // 16-bit channels: ImageMagick rounds, the reader cuts
};

const Case kCases[] = {
    {"gray1", "pil:base.convert('1')", 1, 0, 0, 1, 1, 0},
    {"gray2", "im:-colorspace gray -depth 2 -define png:bit-depth=2 PNG:{}", 2, 0, 0, 8, 8, 0},
    {"gray4", "im:-colorspace gray -depth 4 PNG:{}", 4, 0, 0, 4, 4, 0},
    {"gray8", "pil:base.convert('L')", 8, 0, 0, 8, 8, 0},
    {"gray16", "im:-colorspace gray -depth 16 PNG:{}", 16, 0, 0, 8, 8, 1},
    {"pal1", "pil:base.convert('P', palette=Image.ADAPTIVE, colors=2)", 1, 3, 0, 1, 1, 0},
    {"pal2", "pil:base.convert('P', palette=Image.ADAPTIVE, colors=4)", 2, 3, 0, 8, 8, 0},
    {"pal4", "pil:base.convert('P', palette=Image.ADAPTIVE, colors=16)", 4, 3, 0, 4, 4, 0},
    {"pal8", "pil:base.convert('P', palette=Image.ADAPTIVE, colors=200)", 8, 3, 0, 8, 8, 0},
    {"rgb8", "im:-define png:color-type=2 -depth 8 PNG:{}", 8, 2, 0, 24, 24, 0},
    {"rgb16", "im:-depth 16 PNG48:{}", 16, 2, 0, 24, 24, 1},
    {"rgba8", "pil:base.convert('RGBA')", 8, 6, 0, 24, 32, 0},
    {"rgba16", "im:-alpha set -depth 16 PNG64:{}", 16, 6, 0, 24, 32, 1},
    {"graya8", "pil:base.convert('LA')", 8, 4, 0, 24, 32, 0},
    {"adam7_rgb", "im:-interlace PNG -define png:color-type=2 -depth 8 PNG:{}", 8, 2, 1, 24, 24, 0},
    {"adam7_gray4", "im:-interlace PNG -colorspace gray -depth 4 PNG:{}", 4, 0, 1, 4, 4, 0},
    {"adam7_pal8", "im:-interlace PNG -colors 50 PNG8:{}", 8, 3, 1, 8, 8, 0},
};

class PngKinds : public testing::TestWithParam<Case> {};

TEST_P(PngKinds, ReadsWhatOtherEncodersWrite)
{
    const Case &c = GetParam();
    const std::string make = c.make;
    const bool pil = make.rfind("pil:", 0) == 0;
    NEED_TOOL("convert");
    NEED_PIL();
    testutil::ScratchDir dir;
    std::string path = dir.file(std::string(c.name) + ".png");
    if (pil) {
        std::string out = codec::pil_script(
            "import sys, random\nfrom PIL import Image\nrandom.seed(1)\nbase = Image.new('RGB', (70, 46))\n"
            "base.putdata([(random.randrange(256), random.randrange(256), random.randrange(256)) for _ in range(70 * 46)])\n"
            "im = " + make.substr(4) + "\nim.save(sys.argv[1], bits={2: 1, 4: 2, 16: 4}.get(len(im.getcolors(256) or []) if im.mode == 'P' else 0, 8))\n",
            path);
        ASSERT_EQ(out, "");
    } else {
        std::string cmd = "convert rose: " + make.substr(3);
        cmd.replace(cmd.find("{}"), 2, testutil::quote(path));
        ASSERT_EQ(testutil::shell(cmd).status, 0) << cmd;
    }
    std::string file = testutil::read_file(path);
    ASSERT_GT(file.size(), 29u);
    ASSERT_EQ(std::vector<int>({(uint8_t)file[24], (uint8_t)file[25], (uint8_t)file[28]}),
              (std::vector<int>{c.bit_depth, c.colour_type, c.interlace}));

    codec::Rec q, rec;
    ASSERT_EQ(IMG_read(path.c_str(), q.get(), 1), 1);
    EXPECT_EQ(q->nx, 70);
    EXPECT_EQ(q->data, nullptr);
    ASSERT_EQ(IMG_read(path.c_str(), rec.get(), 0), 1);
    EXPECT_EQ(rec->depth, c.depth);
    EXPECT_EQ(rec->bits_pixel, c.bits_pixel);
    EXPECT_EQ(std::string(rec->info), "PNG");
    std::string ours = codec::record_rgb(rec.get()), im = codec::im_rgb(path);
    EXPECT_LE(codec::max_channel_diff(ours, im), c.tolerance) << ours.size() << " vs " << im.size();
}

INSTANTIATE_TEST_SUITE_P(All, PngKinds, testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

// PIL's palette PNG with a transparent entry: the entry becomes the
// record's transparent colour.
TEST(PngRead, TransparentPaletteEntry)
{
    NEED_PIL();
    testutil::ScratchDir dir;
    std::string path = dir.file("t.png");
    std::string out = codec::pil_script(
        "import sys\nfrom PIL import Image\nim=Image.new('P',(5,3),1)\n"
        "im.putpalette([0,0,0, 10,20,30, 200,100,50]+[0]*759)\nim.putpixel((0,0),2)\n"
        "im.save(sys.argv[1], transparency=2)\n",
        path);
    ASSERT_EQ(out, "");
    codec::Rec rec;
    ASSERT_EQ(PNG_read(path.c_str(), rec.get(), 0), 1);
    EXPECT_EQ(rec->transparent, 2);
    EXPECT_EQ(rec->data[0], 2);
    EXPECT_EQ(rec->data[1], 1);
}

// The writer's text chunks, read back by PIL.
TEST(PngWrite, TextChunks)
{
    NEED_PIL();
    testutil::ScratchDir dir;
    codec::Rec rec;
    codec::fill(rec.get(), 3, 2, 8, 8, 1, {1, 2, 3, 4, 5, 6});
    std::string path = dir.file("t.png");
    ASSERT_EQ(PNG_write(path.c_str(), rec.get()), 1);
    std::string out = codec::pil_script(
        "import sys\nfrom PIL import Image\nim=Image.open(sys.argv[1])\n"
        "print(im.mode, len(im.getpalette()) // 3, sorted(im.text))\nprint(im.text['Software'])\n"
        "print(im.text['Creation Time'][-4:])\n",
        path);
    EXPECT_EQ(out, "P 256 ['Creation Time', 'Software', 'Title']\nZYR - Tarnwell Renderer v5.0\n GMT\n");
}

// Broken files: a chunk CRC that does not match, a header promising more
// rows than the file can hold, a file that is no PNG: all give 0.  (Cut and
// damaged files: the seed replay.)
TEST(PngRead, BrokenInput)
{
    testutil::ScratchDir dir;
    codec::Rec src;
    codec::patterned(src.get(), 64, 40, 13, 40);
    std::string path = dir.file("s.png");
    ASSERT_EQ(PNG_write(path.c_str(), src.get()), 1);
    const std::string good = testutil::read_file(path);
    auto read_bytes = [&](const std::string &bytes) {
        FILE *f = fmemopen((void *)bytes.data(), bytes.size(), "rb");
        codec::Rec r;
        int rc = PNG_read_stream(f, r.get(), 0, "mem");
        fclose(f);
        return rc;
    };
    std::string crc = good;
    crc[29] ^= 1;  // last byte of the IHDR CRC
    EXPECT_EQ(read_bytes(crc), 0);
    // IHDR claiming 60000 x 60000 (with a correct CRC): refused before any
    // row buffer is allocated.
    std::string big = good;
    const unsigned char dims[8] = {0, 0, 0xEA, 0x60, 0, 0, 0xEA, 0x60};
    memcpy(&big[16], dims, 8);
    uLong c = crc32(0, (const Bytef *)&big[12], 17);
    for (int i = 0; i < 4; i++) big[29 + i] = (char)(c >> (24 - 8 * i));
    EXPECT_EQ(read_bytes(big), 0);
    EXPECT_EQ(read_bytes("GIF89a not a png"), 0);
    codec::Rec r;
    EXPECT_EQ(PNG_read(dir.file("missing.png").c_str(), r.get(), 0), 0);
}

}  // namespace
