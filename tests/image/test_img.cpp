// The image record and the ZYRIMG file: header forms, options, damaged files, the stream chain against
// zlib, projection tokens, converted pixel forms and the region prompt's "exit".

#include "core/util.h"
#include "files/date.h"
#include "map/dom.h"
#include "build.h"
#include "codec_oracle.h"

namespace {

using build::Bytes;

int read_mem(const std::string &bytes, IMG *img)
{
    FILE *f = fmemopen(const_cast<char *>(bytes.data()), bytes.size(), "rb");
    int r = IMG_read_zyr_stream(f, "mem", img);
    std::fclose(f);
    return r;
}

// Line n of a file (from 0); n = 4: everything from line 4 on, the pixels.
std::string line_of(const std::string &f, int n)
{
    size_t at = 0;
    for (int i = 0; i < n; i++) at = f.find('\n', at) + 1;
    return n == 4 ? f.substr(at) : f.substr(at, f.find('\n', at) - at);
}

TEST(ZyrImg, HeaderFormsOptionsAndDamagedFiles)
{
    testutil::ScratchDir dir;
    const std::string pix = dir.write("pixels.bin", std::string(6, '\x07'));
    DATE d{2004, 7, 9, -9999, -9999, 14, 25, 0};
    char label[DATE_TEXT_SIZE];
    DATE_make_label(&d, label);
    // ret 1: read, with the size, projection and first pixels given.
    struct { const char *name; std::string bytes; int ret, nx = 0, ny = 0, proj = 0; std::string first = ""; } cases[] = {
        {"two sizes: no domain", std::string("ZYRIMG\n") + label + "\nsome info\n100 50\n" + std::string(5000, 'x'), 1, 100, 50, -9999, "xx"},
        {"domain line, pixels in a file", "ZYRIMG4*\n\ninfo\nll,40,-100,3,2,1,1\n" + pix + "\n", 1, 3, 2, 2, std::string(6, 7)},
        // "C": skip 2, read 2, then skip twice the second of them (3 -> 6 bytes).
        {"option C", "ZYRIMGC\n\n\n2 2\nabx\x03" "123456WXYZ", 1, 2, 2, -9999, "WXYZ"},
        {"option V skips 1024 bytes", "ZYRIMGV\n\n\n2 2\n" + std::string(1024, '?') + "WXYZ", 1, 2, 2, -9999, "WXYZ"},
        {"long date and info lines", "ZYRIMG\n" + std::string(500, 'd') + "\n" + std::string(500, 'i') + "\n3 3\nabcdefghi", 1, 3, 3, -9999, "abc"},
        {"not ZYRIMG", "GIF89a", -1}, {"empty", "", -1}, {"header only", "ZYRIMG\n", -1},
        {"100000 x 100000", "ZYRIMG\n\n\n100000 100000\n", -1}, {"negative width", "ZYRIMG\n\n\n-5 10\n", -1},
        {"width past int", "ZYRIMG\n\n\n2147483647 2\n", -1},
        {"token without a domain", "ZYRIMG\n\n\nPS 1 2 3\n", -1},
        {"bad domain line", "ZYRIMG4\n\n\nnot a domain at all\n", -1},
        {"pixels end early", "ZYRIMG\n\n\n3 3\nab", -1},
        {"no zlib stream", "ZYRIMGZ\n\n\n50 50\nthis is no zlib stream", -1},
        {"zlib stream cut", "ZYRIMGZ\n\n\n50 50\nx\x9c", -1},
        {"zlib asks for a dictionary", std::string("ZYRIMGZ\n\n\n9 9\nx?*`\x10\0`TR\xa8\xa7", 25), -1},
        {"pixel file missing", "ZYRIMG*\n\n\n5 5\n/nonexistent/pixels", -1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        IMG img;
        IMG_init(&img);
        testutil::stderr_of([&] { EXPECT_EQ(read_mem(c.bytes, &img), c.ret); });
        EXPECT_LE(std::strlen(img.date_label), 51u);
        EXPECT_LE(std::strlen(img.info), 75u);
        if (c.ret == 1 && img.data) {
            EXPECT_EQ(std::vector<int>({img.nx, img.ny, img.bytes_line, img.domain.proj}), (std::vector<int>{c.nx, c.ny, c.nx, c.proj}));
            EXPECT_EQ(std::string((char *)img.data, c.first.size()), c.first);
        }
        if (&c == cases) {
            EXPECT_EQ(std::vector<int>({img.depth, img.source, img.domain.nx, img.date.hour}), (std::vector<int>{8, 50, 100, 14}));
            EXPECT_STREQ(img.info, "some info");
        }
        IMG_free(&img);
    }
}

TEST(ZyrImg, CompressedFileIsAChainOfBlockStreams)
{
    testutil::ScratchDir dir;
    IMG img = build::zyr_image(1000, 25);
    std::string name = dir.file("c.zyr");
    ASSERT_EQ(IMG_write(name.c_str(), &img, 1), 1);
    std::string file = testutil::read_file(name);
    EXPECT_EQ(line_of(file, 0), "ZYRIMGZ");
    // Inflated stream by stream with zlib itself: 10000, 10000 and 5000 bytes.
    std::string z = line_of(file, 4);
    std::vector<size_t> sizes;
    for (size_t pos = 0; pos < z.size();) {
        z_stream zs{};
        Bytes out(20000);
        ASSERT_EQ(inflateInit(&zs), Z_OK);
        zs.next_in = (Bytef *)z.data() + pos, zs.avail_in = (uInt)(z.size() - pos), zs.next_out = out.data(), zs.avail_out = 20000;
        ASSERT_EQ(inflate(&zs, Z_FINISH), Z_STREAM_END);
        sizes.push_back(zs.total_out);
        pos += zs.total_in;
        inflateEnd(&zs);
    }
    EXPECT_EQ(sizes, (std::vector<size_t>{10000, 10000, 5000}));
    codec::Rec back;
    ASSERT_EQ(IMG_read_zyr(name.c_str(), &back, 0), 1);
    EXPECT_TRUE(codec::image_bytes(back) == std::string((char *)img.data, 25000));
    // The plain form: the header lines, then the bytes as they are.
    ASSERT_EQ(IMG_write(name.c_str(), &img, 0), 1);
    EXPECT_TRUE(testutil::read_file(name) == "ZYRIMG\n14:25Z 9 JUL 04\nGOES-8 IR\n1000 25\n" + std::string((char *)img.data, 25000));
    IMG_free(&img);
}

TEST(ZyrImg, ProjectionTokensRoundTrip)
{
    const float M = -9999;
    struct { int proj; float plat, plon, p0, p1, p2; const char *token; } cases[] = {
        {2, M, M, M, M, M, "LL "}, {3, M, M, M, M, M, "ME "},
        {1, 60, -100, M, M, M, "PS "},  // plon equals clon
        {1, 60, -105, M, M, M, "PS:-105.000000 "},
        {4, 25, -95, 25, 35, 1, "LC:25.000000:-95.000000:25.000000:35.000000:1.000000 "},
        {4, M, -95, M, M, M, "LC:-95.000000 "}, {4, M, M, M, M, M, "LC "},
        {9, 0, -75, 6.6f, M, M, "SAT:0.000000:-75.000000:6.600000 "},
        {9, 0, -135, M, M, M, "SAT:0.000000:-135.000000 "},
    };
    testutil::ScratchDir dir;
    const std::string name = dir.file("p.zyr");
    for (const auto &c : cases) {
        SCOPED_TRACE(c.token);
        IMG img = build::zyr_image(4, 3);
        DOM &d = img.domain;
        d.proj = c.proj, d.plat = c.plat, d.plon = c.plon, d.parm[0] = c.p0, d.parm[1] = c.p1, d.parm[2] = c.p2;
        d.clat = 45, d.clon = -100, d.dx = 0.5f, d.dy = 0.25f, d.nx = 4, d.ny = 3;
        ASSERT_EQ(IMG_write(name.c_str(), &img, 0), 1);
        EXPECT_EQ(line_of(testutil::read_file(name), 3), std::string(c.token) + "45.000000 -100.000000 0.500000 0.250000 4 3");
        codec::Rec back;
        ASSERT_EQ(IMG_read_zyr(name.c_str(), &back, 0), 1);
        EXPECT_EQ(back.domain.proj, c.proj);
        EXPECT_FLOAT_EQ(back.domain.dy, 0.25f);
        EXPECT_FLOAT_EQ(back.domain.parm[1], c.p0 == M ? back.domain.parm[1] : c.p1);
        EXPECT_FLOAT_EQ(back.domain.plon, c.proj == 9 ? c.plon : back.domain.plon);
        EXPECT_EQ(std::memcmp(back.data, img.data, 12), 0);
        IMG_free(&img);
    }
}

// A fixed-grid domain survives a ZYRIMG file whole (DOM_comp), its spacing to the float's last digit.
TEST(ZyrImg, FixedGridDomainRoundTrips)
{
    const DOM_FIXED_GRID g{-75.2, 35786023, 6378137, 6356752.31414, 1, -0.05, 0.09, 5.6e-5, -5.6e-5, 4, 3};
    IMG img = build::zyr_image(4, 3);
    ASSERT_EQ(DOM_set_fixed_grid(&img.domain, &g), 0);
    testutil::ScratchDir dir;
    const std::string name = dir.file("g.zyr");
    ASSERT_EQ(IMG_write(name.c_str(), &img, 0), 1);
    EXPECT_EQ(line_of(testutil::read_file(name), 3).rfind("GEOS:X:-75.1999969:35786023.", 0), 0u);
    codec::Rec back;
    ASSERT_EQ(IMG_read_zyr(name.c_str(), &back, 0), 1);
    EXPECT_EQ(DOM_comp(&back.domain, &img.domain), 1) << DOM_string(&back.domain);
    IMG_free(&img);
}

TEST(ZyrImg, ConvertedFormsForWindowDepths)
{
    struct { int depth, bits_pixel, order, nx, bytes_line; Bytes in, out; } cases[] = {
        {24, 32, 1, 2, 8, {0, 30, 60, 90, 9, 3, 6, 9}, {60, 6}},  // mean of bytes 1..3
        {24, 32, 0, 2, 8, {30, 60, 90, 0, 3, 6, 9, 9}, {60, 6}},  // mean of bytes 0..2
        {24, 24, 1, 2, 7, {1, 2, 3, 4, 5, 6, 99}, {3, 6}},        // byte 2; row padding skipped
        {24, 24, 0, 2, 7, {1, 2, 3, 4, 5, 6, 99}, {1, 4}}, {16, 16, 1, 2, 4, {1, 2, 3, 4}, {2, 4}},
        {16, 16, 0, 2, 4, {1, 2, 3, 4}, {1, 3}}, {4, 4, 1, 4, 2, {0x12, 0x34}, {1, 2, 3, 4}},
        {1, 1, 1, 8, 1, {0x05}, {1, 0, 1, 0, 0, 0, 0, 0}},  // least significant bit first
    };
    testutil::ScratchDir dir;
    const std::string name = dir.file("w.zyr");
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "depth " << c.depth << " bpp " << c.bits_pixel << " order " << c.order);
        IMG img;
        IMG_init(&img);
        img.depth = c.depth, img.bits_pixel = c.bits_pixel, img.byte_order = c.order, img.nx = c.nx, img.ny = 1, img.bytes_line = c.bytes_line;
        img.data = (unsigned char *)std::malloc(c.in.size());
        std::memcpy(img.data, c.in.data(), c.in.size());
        ASSERT_EQ(IMG_write(name.c_str(), &img, 1), 1);
        std::string file = testutil::read_file(name);
        EXPECT_EQ(line_of(file, 0), "ZYRIMG");  // never compressed
        EXPECT_EQ(build::bytes(line_of(file, 4)), c.out);
        IMG_free(&img);
    }
}

// A domain line naming the region whose centre is asked for, answered with
// "exit": the read stops without its size complaint and the program's end
// (status 0) is requested.
TEST(ZyrImg, RegionPromptAnsweredWithExitStopsTheRead)
{
    testutil::feed_stdin("exit\n");
    ZYR_clear_exit();
    IMG img;
    IMG_init(&img);
    std::string err, out = testutil::stdout_of([&] {
        err = testutil::stderr_of([&] { EXPECT_EQ(read_mem("ZYRIMG4\n\n\nvar\n" + std::string(25 * 17, 'p'), &img), -1); });
    });
    EXPECT_EQ(err, "");
    EXPECT_NE(out.find("Enter the central latitude: "), std::string::npos) << out;
    EXPECT_EQ(out.find("Enter the central longitude: "), std::string::npos) << out;
    EXPECT_TRUE(ZYR_exit_requested() && ZYR_exit_status() == 0);
    ZYR_clear_exit();
    IMG_free(&img);
}

// The defaults, a deep copy and its report; reading through the dispatch,
// and its message for a missing file.
TEST(ImgRecord, InitCopyPrintAndReadDispatch)
{
    IMG a = build::zyr_image(5, 4), b, img;
    EXPECT_EQ(std::vector<int>({a.byte_order, a.transparent, a.date.year, a.domain.proj}), (std::vector<int>{1, -1, -9999, -9999}));
    IMG_copy(&b, &a);
    ASSERT_NE(b.data, a.data);
    EXPECT_EQ(std::memcmp(a.data, b.data, 20), 0);
    std::string out = testutil::stdout_of([&] { IMG_print(0xF, &b); });
    EXPECT_NE(out.find("Size: 5x4\nResolution:"), std::string::npos) << out;
    EXPECT_NE(out.find("Tranparent colors: -1\n"), std::string::npos);
    IMG_free(&a), IMG_free(&b);
    testutil::ScratchDir dir;
    ASSERT_EQ(IMG_read(dir.write("a.zyr", "ZYRIMG\n\n\n2 1\nAB").c_str(), &img, 0), 1);
    EXPECT_EQ(std::string((char *)img.data, 2), "AB");
    IMG_free(&img);
    std::string err = testutil::stderr_of([&] { EXPECT_EQ(IMG_read(dir.file("missing").c_str(), &img, 0), 0); });
    EXPECT_NE(err.find("IMG_read: Unable to open image file:"), std::string::npos);
}

}  // namespace
