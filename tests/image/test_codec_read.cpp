// The GIF and PNG readers on files ImageMagick, giflib's tools, gifsicle and PIL write, each read as
// ImageMagick reads it; the LZW table rules; broken GIF, PNG and XWD input.

#include <zlib.h>

#include "codec_oracle.h"
#include "image/gif.h"
#include "image/pngio.h"
#include "image/xwd.h"

namespace {

// Runs a shell command with {} replaced by the quoted path; its status.
int make_file(std::string cmd, const std::string &path)
{
    cmd.replace(cmd.find("{}"), 2, testutil::quote(path));
    return testutil::shell(cmd).status;
}

// Our reading of the first image must show the colours ImageMagick shows.
TEST(GifRead, FilesOtherEncodersWrite)
{
    NEED_TOOL("convert");
    NEED_TOOL("gifbuild");
    NEED_TOOL("gifsicle");
    NEED_PIL();
    testutil::ScratchDir dir;
    const std::string src = "convert rose: -colors 64 ", plain = testutil::quote(dir.file("plain.gif"));
    const std::pair<const char *, std::string> cases[] = {
        {"plain.gif", src + "{}"}, {"inter.gif", src + "-interlace GIF {}"},
        {"trans.gif", src + "-fuzz 20% -transparent red {}"},
        {"loop.gif", "convert rose: rose: -flip -loop 0 -delay 20 -colors 32 -comment 'a comment' {}"},
        {"gray2.gif", "convert rose: -colorspace gray -colors 2 {}"},
        {"big.gif", "convert -size 300x200 plasma:fractal -colors 256 {}"},
        {"giflib.gif", "gifbuild -d " + plain + " | gifbuild > {}"},
        {"gifsicle.gif", "gifsicle -O3 --colors 8 " + plain + " -o {}"},
        {"pil.gif", testutil::python() + " -c \"import sys; from PIL import Image; "
                                         "Image.new('RGB',(61,17),(9,200,30)).quantize(4).save(sys.argv[1])\" {}"},
    };
    for (const auto &[name, make] : cases) {
        SCOPED_TRACE(name);
        const std::string path = dir.file(name);
        ASSERT_EQ(make_file(make, path), 0) << make;
        codec::Rec rec, query;  // a query stops after the screen descriptor
        ASSERT_EQ(IMG_read(path.c_str(), query.get(), 1), 1);
        EXPECT_EQ(query->data, nullptr);
        ASSERT_EQ(IMG_read(path.c_str(), rec.get(), 0), 1);
        EXPECT_EQ(std::vector<int>({rec->nx, rec->ny}), std::vector<int>({query->nx, query->ny}));
        EXPECT_STREQ(rec->info, "GIF");
        EXPECT_EQ(codec::max_channel_diff(codec::record_rgb(rec.get()), codec::im_rgb(path)), 0);
        EXPECT_EQ(rec->transparent >= 0, std::string(name) == "trans.gif");
    }
}

// A file whose only table is local (moved there from a converted file), and
// one with no table at all (a gray ramp); a note line "** ..." before the
// signature is skipped.
TEST(GifRead, LocalTableNoTableAndNote)
{
    NEED_TOOL("convert");
    testutil::ScratchDir dir;
    const std::string path = dir.file("g.gif");
    ASSERT_EQ(testutil::run({"convert", "rose:", "-colors", "16", "+repage", path}).status, 0);
    const std::string g = testutil::read_file(path), want = codec::im_rgb(path);
    const int packed = (uint8_t)g[10];
    ASSERT_TRUE(packed & 0x80);
    const size_t table = 3u << ((packed & 7) + 1);
    const size_t desc = g.find('\x2C', 13 + table);  // image descriptor (no extension holds 0x2C first here)
    ASSERT_NE(desc, std::string::npos);
    const std::string head = g.substr(0, 10) + char(packed & 0x7F) + g.substr(11, 2),
                      moved = head + g.substr(13 + table, desc + 9 - (13 + table)) + char(0x80 | (packed & 7)) +
                              g.substr(13, table) + g.substr(desc + 10);
    codec::Rec local, bare, noted;
    ASSERT_EQ(GIF_read(dir.write("local.gif", moved).c_str(), local.get(), 0), 1);
    EXPECT_EQ(codec::max_channel_diff(codec::record_rgb(local.get()), want), 0);
    ASSERT_EQ(GIF_read(dir.write("bare.gif", head + g.substr(13 + table)).c_str(), bare.get(), 0), 1);
    EXPECT_EQ(bare->ncolors, 256);
    EXPECT_FLOAT_EQ(bare->cmap[3 * 255], 1.0f);
    ASSERT_EQ(IMG_read(dir.write("n.gif", "** made by a test\n" + g).c_str(), noted.get(), 0), 1);
    EXPECT_EQ(codec::max_channel_diff(codec::record_rgb(noted.get()), want), 0);
}

// Packs codes the way a GIF encoder does, least significant bit first.
struct CodePacker {
    std::vector<uint8_t> bytes;
    uint64_t acc = 0;
    int n = 0;
    CodePacker &put(int code, int width)
    {
        for (acc |= (uint64_t)code << n, n += width; n >= 8; acc >>= 8, n -= 8) bytes.push_back((uint8_t)acc);
        return *this;
    }
    std::vector<uint8_t> done() { return n > 0 ? bytes.push_back((uint8_t)acc), bytes : bytes; }
};

// Root codes after a clear, each adding one table entry, until the table
// holds 4096 entries; then a clear and two pixels (fine), or a code that
// would need entry 4096 (refused).  At code size 2 (clear 4), after 1 the
// next free entry is 6, so 7 is past the table (refused).
TEST(GifLzw, TableRules)
{
    for (bool clear_after : {true, false}) {
        CodePacker p;
        int width = 9, pixels = 1;
        p.put(256, width).put(1, width);  // first code: no entry
        for (int avail = 258; avail < 4096; pixels++) {
            p.put(2, width);
            if (++avail == (1 << width) && width < 12) width++;
        }
        if (clear_after) p.put(256, 12).put(7, 9).put(7, 9).put(257, 9), pixels += 2;
        else p.put(3, 12).put(257, 12);
        std::vector<uint8_t> in = p.done(), out(pixels + 10, 0xEE);
        const long got = GIF_lzw_decode(in.data(), in.size(), 8, out.data(), out.size());
        EXPECT_EQ(got, clear_after ? pixels : -1);
        EXPECT_TRUE(!clear_after || std::vector<int>({out[0], out[pixels - 3], out[pixels - 1]}) == std::vector<int>({1, 2, 7}));
    }
    std::vector<uint8_t> out(64), past = CodePacker().put(4, 3).put(1, 3).put(7, 3).done();
    EXPECT_EQ(GIF_lzw_decode(past.data(), past.size(), 2, out.data(), out.size()), -1);
}

struct PngCase {
    const char *name;
    const char *make;  // "im:" convert arguments on "rose:" ({} the output), or "pil:" an expression of `base`
    int bit_depth, colour_type, interlace;  // the IHDR the maker must have written
    int depth, bits_pixel;                  // what the record must say
    int tolerance;                          // 16-bit channels: ImageMagick rounds, the reader cuts
} const kPngCases[] = {
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
    // PIL's palette file with entry 2 transparent: the record's transparent colour.
    {"pal_trns", "pil:base.convert('P', palette=Image.ADAPTIVE, colors=3)|transparency=2", 2, 3, 0, 8, 8, 0},
};

// Every colour type and bit depth, interlaced or not, as ImageMagick and PIL write them.
class PngKinds : public testing::TestWithParam<PngCase> {};
TEST_P(PngKinds, ReadsWhatOtherEncodersWrite)
{
    const PngCase &c = GetParam();
    const std::string make = c.make;
    NEED_TOOL("convert");
    NEED_PIL();
    testutil::ScratchDir dir;
    const std::string path = dir.file(std::string(c.name) + ".png");
    if (make.rfind("pil:", 0) == 0) {
        const size_t bar = make.find('|');
        const std::string extra = bar == std::string::npos ? "" : ", " + make.substr(bar + 1);
        ASSERT_EQ(codec::pil_script("import random\nrandom.seed(1)\nbase = Image.new('RGB', (70, 46))\n"
                                    "base.putdata([(random.randrange(256), random.randrange(256), random.randrange(256)) for _ in range(70 * 46)])\n"
                                    "im = " + make.substr(4, bar - 4) + "\nim.save(sys.argv[1], bits={2: 1, 3: 2, 4: 2, 16: 4}.get("
                                    "len(im.getcolors(256) or []) if im.mode == 'P' else 0, 8)" + extra + ")\n",
                                    path),
                  "");
    } else {
        ASSERT_EQ(make_file("convert rose: " + make.substr(3), path), 0) << make;
    }
    const std::string file = testutil::read_file(path);
    ASSERT_GT(file.size(), 29u);
    ASSERT_EQ(std::vector<int>({(uint8_t)file[24], (uint8_t)file[25], (uint8_t)file[28]}),
              std::vector<int>({c.bit_depth, c.colour_type, c.interlace}));
    codec::Rec q, rec;
    ASSERT_EQ(IMG_read(path.c_str(), q.get(), 1), 1);
    EXPECT_EQ(std::vector<int>({q->nx, q->data == nullptr}), std::vector<int>({70, 1}));
    ASSERT_EQ(IMG_read(path.c_str(), rec.get(), 0), 1);
    EXPECT_EQ(std::vector<int>({rec->depth, rec->bits_pixel}), std::vector<int>({c.depth, c.bits_pixel}));
    EXPECT_STREQ(rec->info, "PNG");
    EXPECT_EQ(rec->transparent, make.find("transparency=2") != std::string::npos ? 2 : -1);
    EXPECT_LE(codec::max_channel_diff(codec::record_rgb(rec.get()), codec::im_rgb(path)), c.tolerance);
}

INSTANTIATE_TEST_SUITE_P(All, PngKinds, testing::ValuesIn(kPngCases),
                         [](const auto &info) { return std::string(info.param.name); });

// Broken files, made from a good one of each format by writing a 32-bit
// big-endian value at a byte offset or cutting bytes off the end: the read
// answers `want`, never allocating what the file does not back.  (Cut and
// damaged files in general: the seed replay.)
TEST(ImageReaders, BrokenInput)
{
    struct Bad {
        const char *what;
        char fmt;  // 'g' GIF, 'p' PNG (IHDR CRC made right again for offsets below it), 'x' XWD
        int at;    // -1 none
        uint32_t value;
        size_t cut;
        int query, want;
    } const bad[] = {
        {"GIF 65535 x 65535 screen", 'g', 6, 0xFFFFFFFF, 0, 0, 0},
        {"GIF such a screen, query only", 'g', 6, 0xFFFFFFFF, 0, 1, 1},
        {"GIF last sub-block claims more than remains: rows kept", 'g', -1, 0, 3, 0, 1},
        {"PNG wrong IHDR CRC", 'p', 29, 0, 0, 0, 0},
        {"PNG 1e6 rows the file cannot hold", 'p', 20, 1000000, 0, 0, 0}, {"XWD version", 'x', 4, 6, 0, 0, 0},
        {"XWD header size small", 'x', 0, 99, 0, 0, 0}, {"XWD header past file", 'x', 0, 1u << 30, 0, 0, 0},
        {"XWD depth over window", 'x', 12, 25, 0, 0, 0}, {"XWD format XY", 'x', 8, 1, 0, 0, 0},
        {"XWD bits per pixel 7", 'x', 44, 7, 0, 0, 0}, {"XWD short rows", 'x', 48, 3, 0, 0, 0},
        {"XWD colours past file", 'x', 76, 1000000, 0, 0, 0},
        {"XWD height past file", 'x', 20, 1u << 20, 0, 0, 0}, {"XWD width past rows", 'x', 16, 5000, 0, 0, 0},
        {"XWD byte order 9", 'x', 28, 9, 0, 0, 0},
    };
    testutil::ScratchDir dir;
    codec::Rec src;
    codec::patterned(src.get(), 40, 30, 7, 23);
    ASSERT_EQ(XWD_write(dir.file("s.xwd").c_str(), src.get()), 1);
    ASSERT_EQ(PNG_write(dir.file("s.png").c_str(), src.get()), 1);
    GIF_interlace(1);
    ASSERT_EQ(GIF_write(dir.file("s.gif").c_str(), src.get()), 1);
    GIF_interlace(0);
    for (const Bad &b : bad) {
        SCOPED_TRACE(b.what);
        std::string f = testutil::read_file(dir.file(std::string("s.") + (b.fmt == 'g' ? "gif" : b.fmt == 'p' ? "png" : "xwd")));
        f.resize(f.size() - b.cut);
        for (int i = 0; i < 4 && b.at >= 0; i++) f[b.at + i] = (char)(b.value >> (24 - 8 * i));
        if (b.fmt == 'p' && b.at < 29) {
            uLong c = crc32(0, (const Bytef *)&f[12], 17);
            for (int i = 0; i < 4; i++) f[29 + i] = (char)(c >> (24 - 8 * i));
        }
        codec::Rec r;
        r->depth = 24;
        const auto *p = (const unsigned char *)f.data();
        FILE *mem = fmemopen(f.data(), f.size(), "rb");
        const int got = b.fmt == 'g' ? GIF_read_mem(p, f.size(), r.get(), b.query, "bad")
                        : b.fmt == 'x' ? XWD_read_mem(p, f.size(), r.get(), b.query)
                                       : PNG_read_stream(mem, r.get(), b.query, "bad");
        fclose(mem);
        EXPECT_EQ(got, b.want);
    }
    codec::Rec r;
    for (const char *junk : {"GIF", "\x89PNG\r\n", "GIF89a not a gif"})  // too short, not GIF, unknown block
        EXPECT_EQ(GIF_read(dir.write("junk", junk).c_str(), r.get(), 0), 0) << junk;
    EXPECT_EQ(PNG_read(dir.write("junk", "\x89PNG\r\n\x1a\x0b not a png").c_str(), r.get(), 0), 0);
    EXPECT_EQ(IMG_read(dir.file("missing").c_str(), r.get(), 0), 0);
    EXPECT_EQ(GIF_read(dir.file("missing").c_str(), r.get(), 0), 0);
    EXPECT_EQ(PNG_read(dir.file("missing").c_str(), r.get(), 0), 0);
    EXPECT_EQ(XWD_read(dir.file("missing").c_str(), r.get(), 0), 0);
}

}  // namespace
