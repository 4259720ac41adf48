// LRIT/HRIT files: real files against the python3 reference and PROJ's
// geostationary projection; built files for the header chain, plain and JPEG
// data, and bad input.
#include <numeric>
#include <tuple>

#include "image/lrit_jpeg.h"
#include "image/readers.h"
#include "codec_oracle.h"
#include "build.h"

namespace {

using build::Bytes;
using build::Lrit;

// result 0 read, -1 refused; the sub-satellite longitude; the disc line the
// segment starts at (1 for EUMETSAT); the navigation record's factors.
struct LritCase {
    const char *file;
    int result, nx, ny, date[6];
    double plon;
    int first_line, cfac, lfac, coff, loff;
};

const LritCase kLrit[] = {
    {"IMG_ENH_01_IR1_20120101_000920_01.lrit", 0, 1547, 309, {2011, 12, 31, 23, 45, 20}, 128.2, 1, 8170135, -8170135, 773, 1010},
    {"IMG_ENH_01_IR1_20120101_000920_02.lrit", 0, 1547, 309, {2011, 12, 31, 23, 45, 20}, 128.2, 310, 8170135, -8170135, 773, 1010},
    {"IMG_ENH_01_IR1_20120101_000920_03.lrit", 0, 1547, 308, {2011, 12, 31, 23, 45, 20}, 128.2, 619, 8170135, -8170135, 773, 1010},
    {"IMG_ENH_01_IR1_20120101_000920_04.lrit", 0, 1547, 308, {2011, 12, 31, 23, 45, 20}, 128.2, 927, 8170135, -8170135, 773, 1010},
    {"IMG_ENH_01_VIS_20120101_000920_01.lrit", 0, 1547, 309, {2011, 12, 31, 23, 45, 20}, 128.2, 1, 8170135, -8170135, 773, 1010},
    {"IMG_ENH_01_WV_20120101_000920_01.lrit", 0, 1547, 309, {2011, 12, 31, 23, 45, 20}, 128.2, 1, 8170135, -8170135, 773, 1010},
    {"IMG_FD_01_IR1_20120101_024020_01.hrit", 0, 2750, 275, {2012, 1, 1, 2, 15, 20}, 128.2, 1, 10212669, -10212669, 1374, 1374},
    {"IMG_DK01B05_202009201110_010.hrit", 0, 2750, 275, {2020, 9, 20, 11, 21, 10}, 140.7, 2476, 10233137, 10233137, 1375, 1375},
    {"L-000-MSG2__-GOES11______-10_7_135W-000003___-201002010600-__", 0, 2816, 464, {2010, 2, 1, 6, 47, 17}, -135, 1, 10216334, 10216334, 1408, 480},
    {"H-000-MSG3__-MSG3________-WV_073___-000008___-201311271015-C_", -1, 0, 0, {}, 0, 0, 0, 0, 0, 0},
    {"ADD_GOCI_02_20120101_014520_00.lrit", -1, 0, 0, {}, 0, 0, 0, 0, 0, 0},
};

std::string path_of(const LritCase &c) { return testutil::shared("lrit/" + std::string(c.file)); }

// Where PROJ's geostationary view (sweep y, the program's ellipsoid and
// orbit radius) puts (lat, lon) in the segment, through the CGMS relation
// with north-up, east-right pictures: column c = COFF + x 2^-16 |CFAC|,
// line l = LOFF - y 2^-16 |LFAC|, both from 1, lines from the segment's first.
bool cgms_pixel(const LritCase &c, double lat, double lon, double &col, double &row)
{
    const double a = 6378140.0, b = 6356752.0, h = 42161000.0 - a;
    char geos[300], ll[200];
    snprintf(geos, sizeof geos, "+proj=geos +sweep=y +h=%.1f +a=%.1f +b=%.1f +lon_0=%.4f", h, a, b, c.plon);
    snprintf(ll, sizeof ll, "+proj=longlat +a=%.1f +b=%.1f", a, b);
    double x, y;
    if (!codec::cs2cs(ll, geos, lon, lat, x, y)) return false;
    col = c.coff + x / h * 180 / M_PI * std::fabs((double)c.cfac) / 65536 - 1;
    row = c.loff - y / h * 180 / M_PI * std::fabs((double)c.lfac) / 65536 - c.first_line;
    return true;
}

class LritReal : public testing::TestWithParam<LritCase> {};

TEST_P(LritReal, RecordsPixelsAndGeolocation)
{
    const LritCase &c = GetParam();
    NEED_SHARED("lrit/" + std::string(c.file));
    NEED_PIL();
    NEED_TOOL("cs2cs");
    codec::Rec img;
    ASSERT_EQ(SAT_read_LRIT(path_of(c).c_str(), &img), c.result);
    EXPECT_EQ(img.data != nullptr, c.result == 0);
    if (c.result != 0) return;
    EXPECT_EQ(img.source, 60);
    EXPECT_EQ(img.nx * 10000 + img.ny, c.nx * 10000 + c.ny);
    const DATE &d = img.date;
    EXPECT_EQ(std::vector<int>({d.year, d.month, d.day, d.hour, d.minute, d.second}), std::vector<int>(c.date, c.date + 6));
    // The annotation is the file's own name in all of them.
    EXPECT_EQ(std::string(c.file).rfind(img.info, 0), 0u) << img.info;
    EXPECT_TRUE(codec::reference_pixels("lrit", path_of(c)) == codec::image_bytes(img)) << "pixels differ from the reference";
    ASSERT_EQ(img.domain.proj, 9);
    EXPECT_NEAR(img.domain.plon, c.plon, 1e-4);
    // The tie point (sub-satellite point at COFF, LOFF) and points across
    // the disc up to about 60 degrees from it.
    const double pts[][2] = {{0, 0}, {30, 0}, {-30, 0}, {0, 40}, {0, -40}, {45, 25}, {-40, -35}, {50, -20}, {20, 55}};
    for (auto &p : pts) {
        double lat = p[0], lon = std::remainder(c.plon + p[1], 360.0), ecol, erow, col, row;
        ASSERT_TRUE(cgms_pixel(c, lat, lon, ecol, erow));
        ASSERT_TRUE(codec::pixel_of(img.domain, lat, lon, col, row)) << lat << " " << lon;
        EXPECT_NEAR(col, ecol, 0.1) << lat << " " << lon;
        EXPECT_NEAR(row, erow, 0.1) << lat << " " << lon;
    }
}

INSTANTIATE_TEST_SUITE_P(Lrit, LritReal, testing::ValuesIn(kLrit), [](const auto &i) { return codec::case_name(i.param.file); });

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
