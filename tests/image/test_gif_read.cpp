// The GIF reader and the LZW decoder: files other programs write, the
// table-full rule, and broken input.

#include "codec_oracle.h"
#include "image/gif.h"

namespace {

// Reads a GIF through the dispatch, as the program does.
bool read_gif(const std::string &path, codec::Rec &rec, int query = 0)
{
    return IMG_read(path.c_str(), rec.get(), query) != 0;
}

// Files from ImageMagick, giflib's tools, gifsicle and PIL: our reading of
// the first image must show the colours ImageMagick shows for it.
TEST(GifRead, FilesOtherEncodersWrite)
{
    NEED_TOOL("convert");
    NEED_TOOL("gifbuild");
    NEED_TOOL("gifsicle");
    NEED_PIL();
    testutil::ScratchDir dir;
    const std::string src = "rose: -colors 64", plain = "'" + dir.file("plain.gif") + "'";
    const std::pair<const char *, std::string> cases[] = {
        {"plain.gif", "convert " + src + " {}"},
        {"inter.gif", "convert " + src + " -interlace GIF {}"},
        {"trans.gif", "convert " + src + " -fuzz 20% -transparent red {}"},
        {"comment.gif", "convert " + src + " -comment 'a comment block' {}"},
        {"loop.gif", "convert rose: rose: -flip -loop 0 -delay 20 -colors 32 {}"},
        {"gray2.gif", "convert rose: -colorspace gray -colors 2 {}"},
        {"big.gif", "convert -size 300x200 plasma:fractal -colors 256 {}"},
        {"giflib.gif", "gifbuild -d " + plain + " | gifbuild > {}"},
        {"giflib_inter.gif", "gifbuild -d '" + dir.file("inter.gif") + "' | gifbuild > {}"},
        {"gifsicle.gif", "gifsicle -O3 --colors 8 " + plain + " -o {}"},
        {"pil.gif", testutil::python() + " -c \"import sys; from PIL import Image; "
                                         "Image.new('RGB',(61,17),(9,200,30)).quantize(4).save(sys.argv[1])\" {}"},
    };
    for (const auto &[name, make] : cases) {
        SCOPED_TRACE(name);
        std::string path = dir.file(name), cmd = make;
        cmd.replace(cmd.find("{}"), 2, "'" + path + "'");
        testutil::Result r = testutil::shell(cmd);
        ASSERT_EQ(r.status, 0) << cmd << "\n" << r.out;
        codec::Rec rec;
        ASSERT_TRUE(read_gif(path, rec));
        EXPECT_EQ(std::string(rec->info), "GIF");
        EXPECT_EQ(codec::first_diff(codec::record_rgb(rec.get()), codec::im_rgb(path)), -1);
        EXPECT_EQ(rec->transparent >= 0, std::string(name) == "trans.gif");
    }
}

// A file whose only table is local (moved there from a converted file), and
// one with no table at all (gray ramp).
TEST(GifRead, LocalTableAndNoTable)
{
    NEED_TOOL("convert");
    testutil::ScratchDir dir;
    std::string path = dir.file("g.gif");
    ASSERT_EQ(testutil::run({"convert", "rose:", "-colors", "16", "+repage", path}).status, 0);
    std::string g = testutil::read_file(path);
    int packed = (unsigned char)g[10];
    ASSERT_TRUE(packed & 0x80);
    size_t table = 3u << ((packed & 7) + 1);
    std::string tab = g.substr(13, table);
    size_t desc = g.find('\x2C', 13 + table);  // image descriptor (no extension holds 0x2C first here)
    ASSERT_NE(desc, std::string::npos);
    std::string moved = g.substr(0, 10) + char(packed & 0x7F) + g.substr(11, 2) +
                        g.substr(13 + table, desc + 9 - (13 + table)) + char(0x80 | (packed & 7)) + tab +
                        g.substr(desc + 10);
    std::string local = dir.write("local.gif", moved);
    codec::Rec rec;
    ASSERT_TRUE(read_gif(local, rec));
    EXPECT_EQ(codec::first_diff(codec::record_rgb(rec.get()), codec::im_rgb(path)), -1);

    std::string bare = g.substr(0, 10) + char(packed & 0x7F) + g.substr(11, 2) + g.substr(13 + table);
    codec::Rec rec2;
    ASSERT_TRUE(read_gif(dir.write("bare.gif", bare), rec2));
    EXPECT_EQ(rec2->ncolors, 256);
    EXPECT_FLOAT_EQ(rec2->cmap[3 * 255], 1.0f);
}

// Query stops after the screen descriptor; a note line "** ..." before the
// signature is skipped.
TEST(GifRead, QueryAndNoteLine)
{
    testutil::ScratchDir dir;
    codec::Rec src;
    codec::fill(src.get(), 300, 2, 8, 8, 1, std::vector<uint32_t>(600, 5));
    std::string path = dir.file("q.gif");
    ASSERT_EQ(GIF_write(path.c_str(), src.get()), 1);
    codec::Rec q;
    ASSERT_TRUE(read_gif(path, q, 1));
    EXPECT_EQ(q->nx, 300);
    EXPECT_EQ(q->ny, 2);
    EXPECT_EQ(q->data, nullptr);
    std::string noted = dir.write("n.gif", "** made by a test\n" + testutil::read_file(path));
    codec::Rec r;
    ASSERT_EQ(GIF_read(noted.c_str(), r.get(), 0), 1);
    EXPECT_EQ(r->data[599], 0);  // the one value is palette entry 0
}

// Packs codes the way a GIF encoder does, with the width rule of the format.
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
// would need entry 4096 (refused).
TEST(GifLzw, FullTableNeedsAClearCode)
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
        if (!clear_after) {
            EXPECT_EQ(GIF_lzw_decode(in.data(), in.size(), 8, out.data(), out.size()), -1);
            continue;
        }
        ASSERT_EQ(GIF_lzw_decode(in.data(), in.size(), 8, out.data(), out.size()), pixels);
        EXPECT_EQ(std::vector<int>({out[0], out[pixels - 3], out[pixels - 1]}), (std::vector<int>{1, 2, 7}));
    }
}

TEST(GifLzw, CodesPastTheTableAndShortData)
{
    std::vector<uint8_t> out(64);
    // Code size 2: clear is 4; after 1 the next free entry is 6, so 7 is past the table.
    std::vector<uint8_t> past = CodePacker().put(4, 3).put(1, 3).put(7, 3).done();
    EXPECT_EQ(GIF_lzw_decode(past.data(), past.size(), 2, out.data(), out.size()), -1);
    // The "not yet in the table" case: 6 right after 1 is 1, 1; then the data
    // simply end (the last byte's spare bits read as code 0).
    std::vector<uint8_t> kwk = CodePacker().put(4, 3).put(1, 3).put(6, 3).done();
    EXPECT_GE(GIF_lzw_decode(kwk.data(), kwk.size(), 2, out.data(), out.size()), 3);
    EXPECT_EQ(out[0] + out[1] + out[2], 3);
}

// Broken files: a screen no file can back, a sub-block claiming bytes past
// the end, files that are no GIF.  (Cut and damaged files: the seed replay.)
TEST(GifRead, BrokenInput)
{
    testutil::ScratchDir dir;
    codec::Rec src;
    codec::patterned(src.get(), 40, 30, 7, 23);
    GIF_interlace(1);
    std::string path = dir.file("s.gif");
    ASSERT_EQ(GIF_write(path.c_str(), src.get()), 1);
    GIF_interlace(0);
    const std::string good = testutil::read_file(path);
    std::string huge = good;
    huge[6] = huge[7] = huge[8] = huge[9] = (char)0xFF;  // 65535 x 65535 screen
    codec::Rec r1;
    EXPECT_EQ(GIF_read_mem((const unsigned char *)huge.data(), huge.size(), r1.get(), 0, "huge"), 0);
    codec::Rec r2;  // the header alone still answers a query
    EXPECT_EQ(GIF_read_mem((const unsigned char *)huge.data(), huge.size(), r2.get(), 1, "huge"), 1);
    EXPECT_EQ(r2->nx, 65535);

    // The last data sub-block claims more bytes than remain: the rows that
    // came are kept and the read succeeds.
    std::string cut = good.substr(0, good.size() - 3);
    codec::Rec r3;
    EXPECT_EQ(GIF_read_mem((const unsigned char *)cut.data(), cut.size(), r3.get(), 0, "short"), 1);
    EXPECT_EQ(r3->nx, 40);

    codec::Rec r4;
    EXPECT_EQ(GIF_read(dir.write("no.gif", "GIF").c_str(), r4.get(), 0), 0);
    EXPECT_EQ(GIF_read(dir.write("png.gif", "\x89PNG\r\n").c_str(), r4.get(), 0), 0);
    EXPECT_EQ(GIF_read(dir.file("missing.gif").c_str(), r4.get(), 0), 0);
}

}  // namespace
