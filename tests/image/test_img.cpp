// The image record and the ZYRIMG file: header forms, options, the
// compressed stream chain, the converted pixel forms and damaged files.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../test_support.h"
#include "core/flags.h"
#include "core/util.h"
#include "files/date.h"
#include "image/img.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Header lines, then the pixel bytes as they follow.
std::string header_after(const std::string &file, int lines = 4)
{
    size_t at = 0;
    for (int i = 0; i < lines; i++) at = file.find('\n', at) + 1;
    return file.substr(at);
}

std::string line_of(const std::string &file, int n)
{
    size_t at = 0;
    for (int i = 0; i < n; i++) at = file.find('\n', at) + 1;
    return file.substr(at, file.find('\n', at) - at);
}

IMG blank(int nx, int ny)
{
    IMG img;
    IMG_init(&img);
    img.nx = nx;
    img.ny = ny;
    img.depth = 8;
    img.bytes_line = nx;
    img.data = (unsigned char *)std::malloc((size_t)nx * ny);
    for (int i = 0; i < nx * ny; i++) img.data[i] = (unsigned char)(i * 7 + i / 13);
    std::strcpy(img.date_label, "14:25Z 9 JUL 04");
    std::strcpy(img.info, "GOES-8 IR");
    return img;
}

int read_mem(const std::string &bytes, IMG *img)
{
    FILE *f = fmemopen(const_cast<char *>(bytes.data()), bytes.size(), "rb");
    int r = IMG_read_zyr_stream(f, "mem", img);
    std::fclose(f);
    return r;
}

TEST(ZyrImg, TwoIntegerSizeLineHasNoDomain)
{
    std::string pixels(5000, 'x');
    IMG img;
    DATE d{2004, 7, 9, -9999, -9999, 14, 25, 0};
    char label[DATE_TEXT_SIZE];
    DATE_make_label(&d, label);
    ASSERT_EQ(read_mem("ZYRIMG\n" + std::string(label) + "\nsome info\n100 50\n" + pixels, &img), 1);
    EXPECT_EQ(img.nx, 100);
    EXPECT_EQ(img.ny, 50);
    EXPECT_EQ(img.bytes_line, 100);
    EXPECT_EQ(img.depth, 8);
    EXPECT_EQ(img.source, 50);
    EXPECT_EQ(img.domain.proj, -9999);
    EXPECT_EQ(img.domain.nx, 100);
    EXPECT_STREQ(img.info, "some info");
    EXPECT_EQ(img.date.hour, 14);
    EXPECT_EQ(img.data[4999], 'x');
    IMG_free(&img);
}

TEST(ZyrImg, CompressedFileIsAChainOfBlockStreams)
{
    testutil::ScratchDir dir;
    IMG img = blank(1000, 25);
    std::string name = dir.file("c.zyr");
    ASSERT_EQ(IMG_write(name.c_str(), &img, 1), 1);
    std::string file = testutil::read_file(name);
    EXPECT_EQ(line_of(file, 0), "ZYRIMGZ");
    // Inflate stream by stream with zlib directly: three streams of 10000,
    // 10000 and 5000 bytes.
    std::string z = header_after(file);
    std::vector<size_t> sizes;
    size_t pos = 0;
    while (pos < z.size()) {
        z_stream zs{};
        ASSERT_EQ(inflateInit(&zs), Z_OK);
        std::vector<unsigned char> out(20000);
        zs.next_in = (Bytef *)z.data() + pos;
        zs.avail_in = (uInt)(z.size() - pos);
        zs.next_out = out.data();
        zs.avail_out = (uInt)out.size();
        ASSERT_EQ(inflate(&zs, Z_FINISH), Z_STREAM_END);
        sizes.push_back(zs.total_out);
        pos += zs.total_in;
        inflateEnd(&zs);
    }
    EXPECT_EQ(sizes, (std::vector<size_t>{10000, 10000, 5000}));

    IMG back;
    ASSERT_EQ(IMG_read_zyr(name.c_str(), &back, 0), 1);
    ASSERT_EQ(back.nx * back.ny, 25000);
    EXPECT_EQ(std::memcmp(back.data, img.data, 25000), 0);
    IMG_free(&back);
    // The plain form holds the bytes as they are.
    ASSERT_EQ(IMG_write(name.c_str(), &img, 0), 1);
    file = testutil::read_file(name);
    EXPECT_EQ(line_of(file, 0), "ZYRIMG");
    EXPECT_EQ(line_of(file, 3), "1000 25");
    EXPECT_EQ(header_after(file), std::string((char *)img.data, 25000));
    IMG_free(&img);
}

TEST(ZyrImg, ProjectionTokensRoundTrip)
{
    const float M = -9999;
    struct Case {
        int proj;
        float plat, plon, p0, p1, p2;
        const char *token;
    } cases[] = {
        {2, M, M, M, M, M, "LL "},
        {3, M, M, M, M, M, "ME "},
        {1, 60, -100, M, M, M, "PS "},  // plon equals clon
        {1, 60, -105, M, M, M, "PS:-105.000000 "},
        {4, 25, -95, 25, 35, 1, "LC:25.000000:-95.000000:25.000000:35.000000:1.000000 "},
        {4, M, -95, M, M, M, "LC:-95.000000 "},
        {4, M, M, M, M, M, "LC "},
        {9, 0, -75, 6.6f, M, M, "SAT:0.000000:-75.000000:6.600000 "},
        {9, 0, -135, M, M, M, "SAT:0.000000:-135.000000 "},
    };
    testutil::ScratchDir dir;
    for (const auto &c : cases) {
        IMG img = blank(4, 3);
        img.domain.proj = c.proj;
        img.domain.plat = c.plat;
        img.domain.plon = c.plon;
        img.domain.parm[0] = c.p0;
        img.domain.parm[1] = c.p1;
        img.domain.parm[2] = c.p2;
        img.domain.clat = 45;
        img.domain.clon = -100;
        img.domain.dx = 0.5f;
        img.domain.dy = 0.25f;
        img.domain.nx = 4;
        img.domain.ny = 3;
        std::string name = dir.file("p.zyr");
        ASSERT_EQ(IMG_write(name.c_str(), &img, 0), 1);
        std::string size_line = line_of(testutil::read_file(name), 3);
        EXPECT_EQ(size_line, std::string(c.token) + "45.000000 -100.000000 0.500000 0.250000 4 3");
        IMG back;
        ASSERT_EQ(IMG_read_zyr(name.c_str(), &back, 0), 1) << c.token;
        EXPECT_EQ(back.domain.proj, c.proj) << c.token;
        EXPECT_FLOAT_EQ(back.domain.dy, 0.25f);
        EXPECT_EQ(back.nx, 4);
        EXPECT_EQ(back.ny, 3);
        if (c.proj == 4 && c.p0 != M) {
            EXPECT_FLOAT_EQ(back.domain.parm[1], 35);
        }
        if (c.proj == 9) {
            EXPECT_FLOAT_EQ(back.domain.plon, c.plon);
        }
        EXPECT_EQ(std::memcmp(back.data, img.data, 12), 0);
        IMG_free(&back);
        IMG_free(&img);
    }
}

TEST(ZyrImg, SeparatePixelFileAndDomainLine)
{
    testutil::ScratchDir dir;
    std::string pix = dir.write("pixels.bin", std::string(6, '\x07'));
    std::string name = dir.write("h.zyr", "ZYRIMG4*\n\ninfo\nll,40,-100,3,2,1,1\n" + pix + "\n");
    IMG img;
    ASSERT_EQ(IMG_read_zyr(name.c_str(), &img, 0), 1);
    EXPECT_EQ(img.domain.proj, 2);
    EXPECT_EQ(img.nx, 3);
    EXPECT_EQ(img.ny, 2);
    EXPECT_EQ(std::string((char *)img.data, 6), std::string(6, '\x07'));
    IMG_free(&img);
}

TEST(ZyrImg, SkipOptionsVAndC)
{
    // "C": skip 2, read 2, then skip twice the second of them (3 -> 6 bytes).
    std::string c = "ZYRIMGC\n\n\n2 2\n" + std::string("ab") + "x\x03" + "123456" + "WXYZ";
    std::string v = "ZYRIMGV\n\n\n2 2\n" + std::string(1024, '?') + "WXYZ";
    for (const auto &file : {c, v}) {
        IMG img;
        ASSERT_EQ(read_mem(file, &img), 1);
        EXPECT_EQ(std::string((char *)img.data, 4), "WXYZ");
        IMG_free(&img);
    }
}

TEST(ZyrImg, ConvertedFormsForWindowDepths)
{
    struct Case {
        int depth, bits_pixel, order, nx, bytes_line;
        Bytes in;
        Bytes out;
    } cases[] = {
        {24, 32, 1, 2, 8, {0, 30, 60, 90, 9, 3, 6, 9}, {60, 6}},       // mean of bytes 1..3
        {24, 32, 0, 2, 8, {30, 60, 90, 0, 3, 6, 9, 9}, {60, 6}},       // mean of bytes 0..2
        {24, 24, 1, 2, 7, {1, 2, 3, 4, 5, 6, 99}, {3, 6}},             // byte 2; row padding skipped
        {24, 24, 0, 2, 7, {1, 2, 3, 4, 5, 6, 99}, {1, 4}},
        {16, 16, 1, 2, 4, {1, 2, 3, 4}, {2, 4}},
        {16, 16, 0, 2, 4, {1, 2, 3, 4}, {1, 3}},
        {4, 4, 1, 4, 2, {0x12, 0x34}, {1, 2, 3, 4}},
        {1, 1, 1, 8, 1, {0x05}, {1, 0, 1, 0, 0, 0, 0, 0}},              // least significant bit first
    };
    testutil::ScratchDir dir;
    for (const auto &c : cases) {
        IMG img;
        IMG_init(&img);
        img.depth = c.depth;
        img.bits_pixel = c.bits_pixel;
        img.byte_order = c.order;
        img.nx = c.nx;
        img.ny = 1;
        img.bytes_line = c.bytes_line;
        img.data = (unsigned char *)std::malloc(c.in.size());
        std::memcpy(img.data, c.in.data(), c.in.size());
        std::string name = dir.file("w.zyr");
        ASSERT_EQ(IMG_write(name.c_str(), &img, 1), 1);
        std::string file = testutil::read_file(name);
        EXPECT_EQ(line_of(file, 0), "ZYRIMG");  // never compressed
        std::string px = header_after(file);
        EXPECT_EQ(Bytes(px.begin(), px.end()), c.out) << "depth " << c.depth << " bpp " << c.bits_pixel;
        IMG_free(&img);
    }
}

TEST(ZyrImg, DamagedFilesAreRefused)
{
    struct Case {
        std::string bytes;
        int ret;
    } cases[] = {
        {"GIF89a", -1},
        {"", -1},
        {"ZYRIMG\n\n\n100000 100000\n", -1},
        {"ZYRIMG\n\n\n-5 10\n", -1},
        {"ZYRIMG\n\n\n2147483647 2\n", -1},
        {"ZYRIMG\n\n\nPS 1 2 3\n", -1},
        {"ZYRIMG4\n\n\nnot a domain at all\n", -1},
        {"ZYRIMG\n", -1},
        {"ZYRIMG\n" + std::string(500, 'd') + "\n" + std::string(500, 'i') + "\n3 3\nabcdefghi", 1},
        // Pixels that end early, plain or compressed, or cannot be found.
        {"ZYRIMG\n\n\n3 3\nab", -1},
        {"ZYRIMGZ\n\n\n50 50\nthis is no zlib stream", -1},
        {"ZYRIMGZ\n\n\n50 50\nx\x9c", -1},
        {std::string("ZYRIMGZ\n\n\n9 9\nx?*`\x10\0`TR\xa8\xa7", 25), -1},  // asks for a dictionary
        {"ZYRIMG*\n\n\n5 5\n/nonexistent/pixels", -1},
    };
    testing::internal::CaptureStderr();
    for (const auto &c : cases) {
        IMG img;
        IMG_init(&img);
        EXPECT_EQ(read_mem(c.bytes, &img), c.ret) << c.bytes.substr(0, 40);
        EXPECT_LE(std::strlen(img.date_label), 51u);
        EXPECT_LE(std::strlen(img.info), 75u);
        IMG_free(&img);
    }
    testing::internal::GetCapturedStderr();
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
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_mem("ZYRIMG4\n\n\nvar\n" + std::string(25 * 17, 'p'), &img), -1);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_NE(out.find("Enter the central latitude: "), std::string::npos) << out;
    EXPECT_EQ(out.find("Enter the central longitude: "), std::string::npos) << out;
    EXPECT_TRUE(ZYR_exit_requested());
    EXPECT_EQ(ZYR_exit_status(), 0);
    ZYR_clear_exit();
    IMG_free(&img);
}

TEST(ImgRecord, InitFreeCopyAndPrint)
{
    IMG img;
    img.res_x = 3;
    IMG_init(&img);
    EXPECT_EQ(img.byte_order, 1);
    EXPECT_EQ(img.transparent, -1);
    EXPECT_EQ(img.date.year, -9999);
    EXPECT_EQ(img.domain.proj, -9999);
    EXPECT_FLOAT_EQ(img.res_x, 3);  // left as it was
    img.ncolors = 4;
    IMG_free(&img);
    IMG_free(&img);
    EXPECT_EQ(img.ncolors, 0);

    IMG a = blank(5, 4), b;
    IMG_copy(&b, &a);
    ASSERT_NE(b.data, a.data);
    EXPECT_EQ(std::memcmp(a.data, b.data, 20), 0);
    a.data[0] ^= 0xFF;
    EXPECT_NE(a.data[0], b.data[0]);
    testing::internal::CaptureStdout();
    IMG_print(0xF, &b);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Size: 5x4\nResolution:"), std::string::npos) << out;
    EXPECT_NE(out.find("Tranparent colors: -1\n"), std::string::npos);
    IMG_free(&a);
    IMG_free(&b);
}

TEST(ImgRecord, ReadDispatchTakesZyrFiles)
{
    testutil::ScratchDir dir;
    std::string name = dir.write("a.zyr", "** comment line\nZYRIMG\n\n\n2 1\nAB");
    std::string plain = dir.write("b.zyr", "ZYRIMG\n\n\n2 1\nAB");
    IMG img;
    ASSERT_EQ(IMG_read(plain.c_str(), &img, 0), 1);
    EXPECT_EQ(std::string((char *)img.data, 2), "AB");
    IMG_free(&img);
    testing::internal::CaptureStderr();
    EXPECT_EQ(IMG_read(dir.file("missing").c_str(), &img, 0), 0);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("IMG_read: Unable to open image file:"), std::string::npos);
}

}  // namespace
