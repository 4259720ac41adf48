// The reader table: every row recognises a minimal file of its own format
// (made by the test builders) and no other row does; every row reads its
// file from memory and from a stream alike; every row answers the one result
// convention; a file that cannot be opened gets the row's own messages.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../test_support.h"
#include "area_build.h"
#include "gini_build.h"
#include "image/img.h"
#include "image/reader_table.h"
#include "lrit_build.h"
#include "tiff_build.h"
#include "unisys_build.h"

namespace {

using Bytes = std::vector<unsigned char>;

struct Sample {
    int code;
    Bytes bytes;
    int nx, ny;
};

Bytes zyr_file(int nx, int ny)
{
    testutil::ScratchDir dir;
    IMG img;
    IMG_init(&img);
    img.nx = nx;
    img.ny = ny;
    img.depth = 8;
    img.bytes_line = nx;
    Bytes pixels = ginibuild::ramp(nx * ny);
    img.data = pixels.data();
    std::strcpy(img.date_label, "14:25Z 9 JUL 04");
    const std::string name = dir.file("t.zyr");
    const bool written = IMG_write(name.c_str(), &img, 0) == 1;
    std::string text = testutil::read_file(name);
    return written ? Bytes(text.begin(), text.end()) : Bytes{};
}

Bytes area_file(int nx, int ny)
{
    areatest::Dir d(nx, ny);
    Bytes b = d.bytes(false);
    Bytes nav = areatest::nav("RECT", {}, false);
    b.insert(b.end(), nav.begin(), nav.end());
    Bytes pixels = ginibuild::ramp(nx * ny);
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

// Pixels that do not compress, so a compressed product still holds a
// product definition block's worth of bytes.
Bytes noise(int n)
{
    Bytes b(n);
    uint32_t x = 2463534242u;
    for (auto &v : b) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        v = (unsigned char)x;
    }
    return b;
}

Bytes awip_file(int nx, int ny, bool zlib)
{
    using namespace ginibuild;
    const std::string heading = "TIGE03 KNES 120600\r\r\n";
    if (!zlib) return cat({bytes(heading), make_pdb(7, nx, ny), ramp(nx * ny)});
    return cat({bytes(heading), deflated(cat({bytes(heading), make_pdb(7, nx, ny)})),
                deflated(noise(nx * ny))});
}

Bytes lrit_file(int nx, int ny)
{
    lritbuild::Lrit f;
    f.primary(0);
    f.structure(8, nx, ny, 0);
    f.seal();
    f.data(ginibuild::ramp(nx * ny));
    return f.out;
}

std::vector<Sample> samples()
{
    tiffbuild::Builder tiff;
    return {
        {IMG_SRC_ZYR, zyr_file(4, 3), 4, 3},
        {IMG_SRC_AREA, area_file(4, 3), 4, 3},
        {IMG_SRC_AWIP, awip_file(4, 3, false), 4, 3},
        {IMG_SRC_AWIPZ, awip_file(32, 24, true), 32, 24},
        {IMG_SRC_UNISYS, unisysbuild::unisys(8, 6, "x8 y6 end "), 8, 6},
        {IMG_SRC_TIFF, tiff.grey(4, 3, ginibuild::ramp(12)), 4, 3},
        {IMG_SRC_LRIT, lrit_file(4, 3), 4, 3},
    };
}

IMG_SOURCE memory(const Bytes &b)
{
    IMG_SOURCE s;
    s.name = "built";
    s.bytes = b.data();
    s.size = b.size();
    return s;
}

// Reads through a row; the image's pixels as a string ("" on failure).
std::string read_row(const IMG_READER *row, const IMG_SOURCE &source, IMG *img)
{
    AREA_REC area;
    AREA_rec_init(&area);
    IMG_READ_OUT out{img, &area};
    const int r = row->read(&source, nullptr, &out);
    AREA_free(&area);
    if (r != IMG_READ_OK || !img->data) return "";
    return std::string((const char *)img->data, (size_t)img->nx * img->ny);
}

TEST(ReaderTable, EveryRowRecognisesItsOwnFormatOnly)
{
    int n = 0;
    const IMG_READER *rows = IMG_reader_rows(&n);
    ASSERT_EQ(n, 7);
    for (const Sample &s : samples()) {
        ASSERT_FALSE(s.bytes.empty()) << s.code;
        for (int i = 0; i < n; i++)
            EXPECT_EQ(rows[i].identify(s.bytes.data(), s.bytes.size()), rows[i].code == s.code)
                << "row " << rows[i].code << " on a file of " << s.code;
        EXPECT_EQ(IMG_reader_identify(s.bytes.data(), s.bytes.size()), IMG_reader_by_code(s.code));
    }
}

TEST(ReaderTable, EveryRowReadsFromMemoryAndFromAStreamAlike)
{
    for (const Sample &s : samples()) {
        const IMG_READER *row = IMG_reader_by_code(s.code);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(IMG_reader_by_keyword(row->keyword), row);
        IMG a, b;
        const std::string from_memory = read_row(row, memory(s.bytes), &a);
        ASSERT_FALSE(from_memory.empty()) << s.code;
        EXPECT_EQ(a.nx, s.nx) << s.code;
        EXPECT_EQ(a.ny, s.ny) << s.code;
        EXPECT_EQ(a.source, row->source) << s.code;

        FILE *in = fmemopen(const_cast<unsigned char *>(s.bytes.data()), s.bytes.size(), "rb");
        ASSERT_NE(in, nullptr);
        IMG_SOURCE stream;
        stream.name = "built";
        stream.stream = in;
        EXPECT_EQ(read_row(row, stream, &b), from_memory) << s.code;
        std::fclose(in);
        IMG_free(&a);
        IMG_free(&b);
    }
}

TEST(ReaderTable, EveryRowRefusesJunkWithTheSameResult)
{
    const Bytes junk(600, 'q');
    int n = 0;
    const IMG_READER *rows = IMG_reader_rows(&n);
    testing::internal::CaptureStderr();
    for (int i = 0; i < n; i++) {
        IMG img;
        IMG_init(&img);
        EXPECT_EQ(read_row(&rows[i], memory(junk), &img), "") << rows[i].code;
        IMG_free(&img);
    }
    testing::internal::GetCapturedStderr();
}

TEST(ReaderTable, AFileThatCannotBeOpenedGetsTheRowsOwnMessages)
{
    const char *path = "/nonexistent/x";
    struct { int code; const char *messages; } cases[] = {
        {IMG_SRC_ZYR, "Unable to open: /nonexistent/x\n"},
        {IMG_SRC_AREA, "SAT_read_file: Unable to open file:/nonexistent/x\n"},
        {IMG_SRC_AWIP, "SAT_read_AWIP: Unable to open file:/nonexistent/x\n"},
        {IMG_SRC_AWIPZ, "SAT_read_AWIP: Unable to open file:/nonexistent/x\n"},
        {IMG_SRC_UNISYS, "SAT_read_Unisys: Unable to open file:/nonexistent/x\n"},
        {IMG_SRC_TIFF, "SAT_read_TIFF: Unable to open file:/nonexistent/x\n"},
        {IMG_SRC_LRIT, "Unable to open LRIT file: /nonexistent/x\n"
                       "SAT_read_LRIT: Unable to open file:/nonexistent/x\n"},
    };
    for (auto &c : cases) {
        IMG img;
        IMG_init(&img);
        IMG_READ_OUT out{&img, nullptr};
        testing::internal::CaptureStderr();
        const int r = IMG_reader_read_file(IMG_reader_by_code(c.code), path, nullptr, &out);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.messages) << c.code;
        EXPECT_EQ(r, IMG_READ_FAILED) << c.code;
    }
}

}  // namespace
