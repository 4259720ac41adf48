// The reader table: every row recognises a minimal file of its own format
// and no other row does; every row reads its file from memory and from a
// stream alike and refuses junk with the one result convention; a file that
// cannot be opened gets the row's own messages.

#include "image/reader_table.h"
#include "build.h"

namespace {

using namespace build;

struct Sample {
    int code;
    Bytes bytes;
    int nx, ny;
};

std::vector<Sample> samples()
{
    testutil::ScratchDir dir;
    IMG img = zyr_image(4, 3);
    IMG_write(dir.file("t.zyr").c_str(), &img, 0);
    IMG_free(&img);
    Bytes area = cat({build::Dir(4, 3).bytes(false), build::nav("RECT", {}, false), ramp(12)});
    const Bytes heading = bytes("TIGE03 KNES 120600\r\r\n");
    // Pixels that do not compress, so the compressed product still holds a
    // product definition block's worth of bytes.
    Bytes noise(32 * 24);
    uint32_t x = 2463534242u;
    for (auto &v : noise) x ^= x << 13, x ^= x >> 17, x ^= x << 5, v = (unsigned char)x;
    return {
        {IMG_SRC_ZYR, bytes(testutil::read_file(dir.file("t.zyr"))), 4, 3},
        {IMG_SRC_AREA, area, 4, 3},
        {IMG_SRC_AWIP, cat({heading, make_pdb(7, 4, 3), ramp(12)}), 4, 3},
        {IMG_SRC_AWIPZ, cat({heading, deflated(cat({heading, make_pdb(7, 32, 24)})), deflated(noise)}), 32, 24},
        {IMG_SRC_UNISYS, unisys(8, 6, "x8 y6 end "), 8, 6},
        {IMG_SRC_TIFF, Tiff().grey(4, 3, ramp(12)), 4, 3},
        {IMG_SRC_LRIT, lrit_file(4, 3), 4, 3},
    };
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

IMG_SOURCE memory(const Bytes &b)
{
    IMG_SOURCE s;
    s.name = "built";
    s.bytes = b.data();
    s.size = b.size();
    return s;
}

TEST(ReaderTable, EveryRowRecognisesAndReadsItsOwnFormat)
{
    int n = 0;
    const IMG_READER *rows = IMG_reader_rows(&n);
    ASSERT_EQ(n, 7);
    for (const Sample &s : samples()) {
        SCOPED_TRACE(s.code);
        ASSERT_FALSE(s.bytes.empty());
        for (int i = 0; i < n; i++)
            EXPECT_EQ(rows[i].identify(s.bytes.data(), s.bytes.size()), rows[i].code == s.code) << "row " << rows[i].code;
        const IMG_READER *row = IMG_reader_by_code(s.code);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(IMG_reader_identify(s.bytes.data(), s.bytes.size()), row);
        EXPECT_EQ(IMG_reader_by_keyword(row->keyword), row);
        IMG a, b;
        const std::string from_memory = read_row(row, memory(s.bytes), &a);
        ASSERT_FALSE(from_memory.empty());
        EXPECT_EQ(a.nx * 1000 + a.ny, s.nx * 1000 + s.ny);
        EXPECT_EQ(a.source, row->source);
        FILE *in = fmemopen(const_cast<unsigned char *>(s.bytes.data()), s.bytes.size(), "rb");
        IMG_SOURCE stream;
        stream.name = "built";
        stream.stream = in;
        EXPECT_EQ(read_row(row, stream, &b), from_memory);
        std::fclose(in);
        IMG_free(&a);
        IMG_free(&b);
    }
}

TEST(ReaderTable, EveryRowRefusesJunkAndAMissingFileWithItsOwnMessages)
{
    const Bytes junk(600, 'q');
    struct { int code; const char *messages; } cases[] = {
        {IMG_SRC_ZYR, "Unable to open: /nonexistent/x\n"},
        {IMG_SRC_AREA, "SAT_read_file: Unable to open file:/nonexistent/x\n"},
        {IMG_SRC_AWIP, "SAT_read_AWIP: Unable to open file:/nonexistent/x\n"},
        {IMG_SRC_AWIPZ, "SAT_read_AWIP: Unable to open file:/nonexistent/x\n"},
        {IMG_SRC_UNISYS, "SAT_read_Unisys: Unable to open file:/nonexistent/x\n"},
        {IMG_SRC_TIFF, "SAT_read_TIFF: Unable to open file:/nonexistent/x\n"},
        {IMG_SRC_LRIT, "Unable to open LRIT file: /nonexistent/x\nSAT_read_LRIT: Unable to open file:/nonexistent/x\n"},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.code);
        IMG img;
        IMG_init(&img);
        testing::internal::CaptureStderr();
        EXPECT_EQ(read_row(IMG_reader_by_code(c.code), memory(junk), &img), "");
        testing::internal::GetCapturedStderr();
        IMG_free(&img);
        IMG_READ_OUT out{&img, nullptr};
        testing::internal::CaptureStderr();
        EXPECT_EQ(IMG_reader_read_file(IMG_reader_by_code(c.code), "/nonexistent/x", nullptr, &out), IMG_READ_FAILED);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.messages);
    }
}

}  // namespace
