// The reader table: every row recognises a minimal file of its own format
// and no other row does; every row reads its file from memory and from a
// stream alike and refuses junk; a file that cannot be opened gets the row's
// own messages.

#include "image/reader_table.h"
#include "build.h"

namespace {

using namespace build;

struct Sample { int code; Bytes bytes; int nx, ny; };

std::vector<Sample> samples()
{
    const Bytes heading = bytes("TIGE03 KNES 120600\r\r\n");
    // Pixels that do not compress, so the compressed product still holds a
    // product definition block's worth of bytes.
    Bytes noise(32 * 24);
    uint32_t x = 2463534242u;
    for (auto &v : noise) x ^= x << 13, x ^= x >> 17, x ^= x << 5, v = (unsigned char)x;
    Lrit lrit;
    lrit.primary(0), lrit.structure(8, 4, 3, 0), lrit.seal(), lrit.data(ramp(12));
    return {
        {IMG_SRC_ZYR, cat({bytes("ZYRIMG\n\n\n4 3\n"), ramp(12)}), 4, 3},
        {IMG_SRC_AREA, cat({Dir(4, 3).bytes(false), nav("RECT", {}, false), ramp(12)}), 4, 3},
        {IMG_SRC_AWIP, cat({heading, make_pdb(7, 4, 3), ramp(12)}), 4, 3},
        {IMG_SRC_AWIPZ, cat({heading, deflated(cat({heading, make_pdb(7, 32, 24)})), deflated(noise)}), 32, 24},
        {IMG_SRC_UNISYS, unisys(8, 6, "x8 y6 end "), 8, 6},
        {IMG_SRC_TIFF, Tiff().grey(4, 3, ramp(12)), 4, 3},
        {IMG_SRC_LRIT, lrit.out, 4, 3},
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
    return r != IMG_READ_OK || !img->data ? "" : std::string((const char *)img->data, (size_t)img->nx * img->ny);
}

IMG_SOURCE source(const Bytes &b, FILE *stream = nullptr)
{
    IMG_SOURCE s;
    s.name = "built";
    if (stream) s.stream = stream;
    else s.bytes = b.data(), s.size = b.size();
    return s;
}

TEST(ReaderTable, EveryRowRecognisesAndReadsItsOwnFormat)
{
    int n = 0;
    const IMG_READER *rows = IMG_reader_rows(&n);
    ASSERT_EQ(n, 7);
    for (const Sample &s : samples()) {
        SCOPED_TRACE(s.code);
        for (int i = 0; i < n; i++)
            EXPECT_EQ(rows[i].identify(s.bytes.data(), s.bytes.size()), rows[i].code == s.code) << "row " << rows[i].code;
        const IMG_READER *row = IMG_reader_by_code(s.code);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(IMG_reader_identify(s.bytes.data(), s.bytes.size()), row);
        EXPECT_EQ(IMG_reader_by_keyword(row->keyword), row);
        IMG a, b;
        const std::string from_memory = read_row(row, source(s.bytes), &a);
        ASSERT_FALSE(from_memory.empty());
        EXPECT_EQ(a.nx * 1000 + a.ny, s.nx * 1000 + s.ny);
        EXPECT_EQ(a.source, row->source);
        FILE *in = fmemopen(const_cast<unsigned char *>(s.bytes.data()), s.bytes.size(), "rb");
        EXPECT_EQ(read_row(row, source(s.bytes, in), &b), from_memory);
        std::fclose(in);
        IMG_free(&a), IMG_free(&b);
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
        testutil::stderr_of([&] { EXPECT_EQ(read_row(IMG_reader_by_code(c.code), source(junk), &img), ""); });
        IMG_free(&img);
        IMG_READ_OUT out{&img, nullptr};
        std::string err = testutil::stderr_of([&] {
            EXPECT_EQ(IMG_reader_read_file(IMG_reader_by_code(c.code), "/nonexistent/x", nullptr, &out), IMG_READ_FAILED);
        });
        EXPECT_EQ(err, c.messages);
    }
}

}  // namespace
