// The GIF reader and the LZW decoder: files other programs write, the
// table-full rule, and broken input.
#include <gtest/gtest.h>

#include <random>

#include "../test_support.h"
#include "codec_oracle.h"
#include "image/gif.h"

namespace {

// Reads a GIF through the dispatch, as the program does.
bool read_gif(const std::string &path, codec::Rec &rec, int query = 0)
{
    return IMG_read(path.c_str(), rec.get(), query) != 0;
}

// Files from ImageMagick and PIL: our reading of the first image must show
// the colours ImageMagick shows for it.
TEST(GifRead, FilesOtherEncodersWrite)
{
    if (!codec::have_convert()) GTEST_SKIP() << "ImageMagick convert not installed";
    testutil::ScratchDir dir;
    struct Case { const char *name; std::string cmd; };
    const std::string src = "rose: -colors 64";
    std::vector<Case> cases = {
        {"plain.gif", "convert " + src + " {}"},
        {"inter.gif", "convert " + src + " -interlace GIF {}"},
        {"trans.gif", "convert " + src + " -fuzz 20% -transparent red {}"},
        {"comment.gif", "convert " + src + " -comment 'a comment block' {}"},
        {"loop.gif", "convert rose: rose: -flip -loop 0 -delay 20 -colors 32 {}"},
        {"gray2.gif", "convert rose: -colorspace gray -colors 2 {}"},
        {"big.gif", "convert -size 300x200 plasma:fractal -colors 256 {}"},
    };
    // giflib's encoder (through its tools), plain and interlaced, and gifsicle's.
    const std::string plain = "'" + dir.file("plain.gif") + "'", inter = "'" + dir.file("inter.gif") + "'";
    if (codec::have("gifbuild")) {
        cases.push_back({"giflib.gif", "gifbuild -d " + plain + " | gifbuild > {}"});
        cases.push_back({"giflib_inter.gif", "gifbuild -d " + inter + " | gifbuild > {}"});
    }
    if (codec::have("gifsicle")) cases.push_back({"gifsicle.gif", "gifsicle -O3 --colors 8 " + plain + " -o {}"});
    if (codec::have_pil())
        cases.push_back({"pil.gif", codec::python() +
                                        " -c \"import sys; from PIL import Image; "
                                        "Image.new('RGB',(61,17),(9,200,30)).quantize(4).save(sys.argv[1])\" {}"});
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.file(c.name);
        std::string cmd = c.cmd;
        cmd.replace(cmd.find("{}"), 2, "'" + path + "'");
        ASSERT_EQ(system(cmd.c_str()), 0) << cmd;
        codec::Rec rec;
        ASSERT_TRUE(read_gif(path, rec));
        EXPECT_EQ(std::string(rec->info), "GIF");
        EXPECT_EQ(codec::first_diff(codec::record_rgb(rec.get()), codec::im_rgb(path)), -1);
        if (std::string(c.name) == "trans.gif") {
            EXPECT_GE(rec->transparent, 0);
        }
    }
}

// A file whose only table is local (moved there from a converted file), and
// one with no table at all (gray ramp).
TEST(GifRead, LocalTableAndNoTable)
{
    if (!codec::have_convert()) GTEST_SKIP() << "ImageMagick convert not installed";
    testutil::ScratchDir dir;
    std::string path = dir.file("g.gif");
    ASSERT_EQ(system(("convert rose: -colors 16 +repage '" + path + "'").c_str()), 0);
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
    void put(int code, int width)
    {
        acc |= (uint64_t)code << n;
        n += width;
        while (n >= 8) {
            bytes.push_back((uint8_t)acc);
            acc >>= 8;
            n -= 8;
        }
    }
    void flush()
    {
        if (n > 0) bytes.push_back((uint8_t)acc);
        n = 0;
        acc = 0;
    }
};

// Root codes after a clear, each adding one table entry, until the table
// holds 4096 entries; then `tail` decides what follows.
std::vector<uint8_t> fill_table_stream(bool clear_after, int *pixels)
{
    CodePacker p;
    int width = 9, avail = 258;
    p.put(256, width);
    p.put(1, width);  // first code: no entry
    *pixels = 1;
    while (avail < 4096) {
        p.put(2, width);
        (*pixels)++;
        avail++;
        if (avail == (1 << width) && width < 12) width++;
    }
    if (clear_after) {
        p.put(256, 12);
        p.put(7, 9);
        p.put(7, 9);
        *pixels += 2;
        p.put(257, 9);
    } else {
        p.put(3, 12);  // would need entry 4096
        p.put(257, 12);
    }
    p.flush();
    return p.bytes;
}

TEST(GifLzw, FullTableNeedsAClearCode)
{
    int pixels = 0;
    std::vector<uint8_t> ok = fill_table_stream(true, &pixels);
    std::vector<uint8_t> out(pixels + 10, 0xEE);
    ASSERT_EQ(GIF_lzw_decode(ok.data(), ok.size(), 8, out.data(), out.size()), pixels);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[pixels - 3], 2);
    EXPECT_EQ(out[pixels - 1], 7);

    std::vector<uint8_t> bad = fill_table_stream(false, &pixels);
    EXPECT_EQ(GIF_lzw_decode(bad.data(), bad.size(), 8, out.data(), out.size()), -1);
}

TEST(GifLzw, CodesPastTheTableAndShortData)
{
    std::vector<uint8_t> out(64);
    CodePacker p;
    p.put(4, 3);   // clear (code size 2)
    p.put(1, 3);
    p.put(7, 3);   // next free is 6: 7 is past the table
    p.flush();
    EXPECT_EQ(GIF_lzw_decode(p.bytes.data(), p.bytes.size(), 2, out.data(), out.size()), -1);

    CodePacker q;  // the "not yet in the table" case: code 6 right after 1
    q.put(4, 3);
    q.put(1, 3);
    q.put(6, 3);   // = 1, 1
    q.flush();     // then the data simply ends (the last byte's spare bits read as code 0)
    EXPECT_GE(GIF_lzw_decode(q.bytes.data(), q.bytes.size(), 2, out.data(), out.size()), 3);
    EXPECT_EQ(out[0] + out[1] + out[2], 3);
}

// Round trips through our coder for sizes that exercise clears, widths and
// interlacing; the decoder is also compared with ImageMagick above.
TEST(GifLzw, RoundTrip)
{
    std::mt19937 rng(3);
    for (int code_size : {2, 4, 8})
        for (bool inter : {false, true})
            for (int kind = 0; kind < 3; kind++) {
                const int w = 257, h = 131;
                std::vector<uint8_t> idx((size_t)w * h);
                for (size_t i = 0; i < idx.size(); i++) {
                    unsigned r = rng();
                    idx[i] = (uint8_t)((kind == 0 ? r : kind == 1 ? i / 97 : (i % 5 ? 0 : r)) & ((1u << code_size) - 1));
                }
                std::vector<uint8_t> enc;
                GIF_lzw_encode(idx.data(), w, h, code_size, inter, &enc);
                std::vector<uint8_t> joined;
                size_t pos = 1;
                while (enc[pos]) {
                    joined.insert(joined.end(), enc.begin() + pos + 1, enc.begin() + pos + 1 + enc[pos]);
                    pos += enc[pos] + 1;
                }
                std::vector<uint8_t> dec(idx.size());
                ASSERT_EQ(GIF_lzw_decode(joined.data(), joined.size(), code_size, dec.data(), dec.size()),
                          (long)dec.size());
                for (int n = 0; n < h; n++) {
                    int row = inter ? GIF_interlace_row(n, h) : n;
                    ASSERT_EQ(0, memcmp(&dec[(size_t)n * w], &idx[(size_t)row * w], w)) << code_size << " " << n;
                }
            }
}

// Broken files: every truncation and random damage of a real file, a
// screen no file can back, a sub-block claiming bytes past the end.  None
// may crash or hang; the ones that cannot be read give 0.
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
    for (size_t n = 0; n < good.size(); n++) {
        codec::Rec r;
        GIF_read_mem((const unsigned char *)good.data(), n, r.get(), 0, "cut");
    }
    std::mt19937 rng(11);
    for (int k = 0; k < 2000; k++) {
        std::string bad = good;
        for (int j = 0; j < 3; j++) bad[13 + rng() % (bad.size() - 13)] = (char)rng();
        codec::Rec r;
        GIF_read_mem((const unsigned char *)bad.data(), bad.size(), r.get(), 0, "damaged");
    }
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
