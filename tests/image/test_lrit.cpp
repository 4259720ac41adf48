// Built LRIT/HRIT files: the header chain, plain and JPEG data, turned
// pictures and bad input (the real files are in the reader table's samples).
#include <numeric>
#include <tuple>

#include "image/lrit_jpeg.h"
#include "image/readers.h"
#include "codec_oracle.h"
#include "build.h"

namespace {

using build::Bytes;
using build::Lrit;

// ---- built files ----

int read_mem(const Bytes &bytes, IMG *img) { return codec::read_as(IMG_SRC_LRIT, bytes.data(), bytes.size(), img); }

TEST(LritBuilt, HeaderChainWidthsAndDate)
{
    // A 16-byte primary record with total 25 and a 9-byte structure record:
    // the data start at byte 25; a byte beyond the image is ignored.
    Lrit f;
    f.primary(25), f.structure(8, 3, 2, 0), f.data({1, 2, 3, 4, 5, 6}), f.u8(99);
    codec::Rec img, img2;
    ASSERT_EQ(read_mem(f.out, &img), 0);
    EXPECT_EQ(img.nx * 10 + img.ny, 32);
    EXPECT_EQ(codec::image_bytes(img), std::string("\1\2\3\4\5\6", 6));
    EXPECT_EQ(img.domain.proj, -9999);
    // A second file without a structure record does not inherit the first's.
    Lrit g;
    g.primary(0), g.annotation("second"), g.seal(), g.data(Bytes(64, 7));
    EXPECT_EQ(read_mem(g.out, &img2), -1);
    // 10 bits 1111111111 0000000001 0000000000 keep bits 2..9.
    struct { int bits; Bytes data; std::string want; } cases[] = {
        {10, {0xFF, 0xC0, 0x10, 0x00}, std::string("\xFF\x00\x00", 3)}, {8, {9, 8, 7}, "\x09\x08\x07"}};
    for (auto &c : cases) {
        Lrit h;
        h.primary(0), h.structure(c.bits, 3, 1, 0), h.time(19722, 85520999), h.annotation("  built\tfile  ");
        h.seal(), h.data(c.data);
        codec::Rec r;
        ASSERT_EQ(read_mem(h.out, &r), 0) << c.bits;
        EXPECT_EQ(codec::image_bytes(r), c.want) << c.bits;
        // Day 19722 after 1958-01-01 is 2011-12-31; 85520999 ms is 23:45:20.999 (seconds kept whole).
        EXPECT_EQ(std::vector<int>({r.date.year, r.date.hour, r.date.second}), (std::vector<int>{2011, 23, 20}));
    }
}

// A COMS-like segment (8 x 6 pixels) with the given factors and data.
Bytes segment_file(int bits, int comp, int32_t cfac, int32_t lfac, const Bytes &data)
{
    Lrit f;
    f.primary(0), f.structure(bits, 8, 6, comp), f.nav("GEOS(128.2)", cfac, lfac, 4, 3), f.segment7(1, 1, 1);
    f.seal(), f.data(data);
    return f.out;
}

TEST(LritBuilt, NegativeFactorsTurnThePicture)
{
    Bytes pix(48);
    std::iota(pix.begin(), pix.end(), 0);
    codec::Rec a, b;
    ASSERT_EQ(read_mem(segment_file(8, 0, 13642337, 13642337, pix), &a), 0);
    ASSERT_EQ(read_mem(segment_file(8, 0, -13642337, -13642337, pix), &b), 0);
    EXPECT_GT(b.domain.dx, 0);
    EXPECT_GT(b.domain.dy, 0);
    for (int i = 0; i < 48; i++) EXPECT_EQ(b.data[i], 47 - i);  // rows and columns reversed
    // Stored pixel (0, 0) of the turned file is CGMS column 1, line 1: three
    // columns east and two lines south of (COFF, LOFF) = (4, 3).  It is shown
    // at (7, 5), and the north-up file puts that position at (6, 4).
    MAP_domain(&b.domain);
    float x, y, lat, lon;
    MAP_grid_tran(&x, &y, 7, 5);
    ASSERT_TRUE(MAP_untran(&lat, &lon, x, y));
    double c, r;
    ASSERT_TRUE(codec::pixel_of(a.domain, lat, lon, c, r));
    EXPECT_NEAR(c, 6, 0.01);
    EXPECT_NEAR(r, 4, 0.01);
}

TEST(LritBuilt, JpegTwelveBitLosslessKeepsLowBitsEightBitLossyStaysClose)
{
    const int w = 8, h = 6;
    std::vector<uint16_t> s(w * h), smooth(w * h);
    for (int i = 0; i < w * h; i++) s[i] = (uint16_t)(i * 85 % 4096), smooth[i] = (uint16_t)(40 + (i % w) * 10 + (i / w) * 5);
    s[0] = 4095, s[1] = 256;
    Bytes jpeg;
    ASSERT_EQ(lrit_jpeg_encode12(s.data(), w, h, 100, true, jpeg), 0);
    EXPECT_EQ(lrit_jpeg_precision(jpeg.data(), jpeg.size()), 12);
    codec::Rec img, img8;
    ASSERT_EQ(read_mem(segment_file(16, 2, 8170135, -8170135, jpeg), &img), 0);
    for (int i = 0; i < w * h; i++) EXPECT_EQ(img.data[i], s[i] & 0xFF) << i;
    ASSERT_EQ(lrit_jpeg_encode8(smooth.data(), w, h, 90, false, jpeg), 0);
    EXPECT_EQ(lrit_jpeg_precision(jpeg.data(), jpeg.size()), 8);
    ASSERT_EQ(read_mem(segment_file(8, 2, 8170135, -8170135, jpeg), &img8), 0);
    for (int i = 0; i < w * h; i++) EXPECT_NEAR(img8.data[i], smooth[i], 6) << i;
}

// 16-bit plain data: 10-bit values stored least significant byte first are
// recognised by their values and swapped; other data are read as stored.
// Either way the pixels are bits 2..9 of the values.
TEST(LritBuilt, SixteenBitByteOrderFromTheValues)
{
    const int n = 240;
    std::vector<unsigned> ramp(n), fill(n), wide(n);
    for (int i = 0; i < n; i++) {
        ramp[i] = (unsigned)(i * 37 % 1024);
        fill[i] = i % 3 == 0 ? 0xFFFF : ramp[i];  // a third are fill values
        wide[i] = (unsigned)(i * 4099 % 65536);   // full 16-bit range
    }
    const std::tuple<const char *, const std::vector<unsigned> &, bool> cases[] = {{"10-bit, big-endian", ramp, false},
        {"10-bit, little-endian", ramp, true}, {"10-bit with fill, big-endian", fill, false},
        {"10-bit with fill, little-endian", fill, true}, {"16-bit range, big-endian", wide, false}};
    for (const auto &[name, values, little] : cases) {
        Bytes data;
        for (unsigned v : values) data.insert(data.end(), {(unsigned char)(little ? v : v >> 8), (unsigned char)(little ? v >> 8 : v)});
        Lrit f;
        f.primary(0), f.structure(16, n / 4, 4, 0), f.seal(), f.data(data);
        codec::Rec img;
        ASSERT_EQ(read_mem(f.out, &img), 0) << name;
        for (int i = 0; i < n; i++) ASSERT_EQ(img.data[i], (values[i] >> 2) & 0xFF) << name << ", value " << i;
    }
}

TEST(LritBad, RecordLengthsTotalsAndSizes)
{
    struct { const char *name; Bytes file; } cases[] = {
        {"record length 0", {0, 0, 0, 0, 0, 0, 0, 40}},
        {"record length 2", {0, 0, 16, 0, 0, 0, 0, 30, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2}},
        {"record length 65535", {0, 0, 16, 0, 0, 0, 0, 30, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0xFF, 0xFF, 8}},
        {"total past the file", {0, 0, 16, 0, 0x7F, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 9, 8, 0, 4, 0, 4, 0}},
        {"absurd size", {0, 0, 16, 0, 0, 0, 0, 25, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 9, 16, 0xFF, 0xFF, 0xFF, 0xFF, 0, 1, 2}},
        {"short structure record", {0, 0, 16, 0, 0, 0, 0, 20, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 4, 8}},
        {"wavelet", {0, 0, 16, 0, 0, 0, 0, 25, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 9, 10, 0, 4, 0, 4, 1, 1, 2, 3}},
    };
    for (auto &c : cases) {
        IMG img;
        EXPECT_EQ(read_mem(c.file, &img), -1) << c.name;
        EXPECT_EQ(img.data, nullptr) << c.name;
    }
    IMG img;
    EXPECT_EQ(SAT_read_LRIT("/nonexistent/x.lrit", &img), -1);
}

}  // namespace
