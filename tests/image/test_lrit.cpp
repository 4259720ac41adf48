// LRIT/HRIT files: the eleven real files against the python3 reference and
// PROJ's geostationary projection, segment assembly, built files for the
// header chain, plain and JPEG data through both libraries, and bad input.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "image/lrit_jpeg.h"
#include "image/readers.h"
#include "lrit_build.h"
#include "rdr_oracle.h"

namespace {

struct LritCase {
    const char *file;
    int result;            // 0 read, -1 refused
    int nx, ny;
    int date[6];           // year month day hour minute second
    double plon;           // sub-satellite longitude, -9999 no domain
    int first_line;        // line of the disc the segment starts at (1 for EUMETSAT)
    int cfac, lfac, coff, loff;
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

void PrintTo(const LritCase &c, std::ostream *os) { *os << c.file; }

double norm_lon(double lon) { return lon > 180 ? lon - 360 : lon < -180 ? lon + 360 : lon; }

std::string path_of(const LritCase &c) { return rdrtest::data_dir("lrit") + c.file; }

// Where PROJ's geostationary view (sweep y, the program's ellipsoid and
// orbit radius) puts (lat, lon) in the segment, through the CGMS relation
// with north-up, east-right pictures: column c = COFF + x 2^-16 |CFAC|,
// line l = LOFF - y 2^-16 |LFAC|, both from 1, lines from the segment's first.
bool cgms_pixel(const LritCase &c, double lat, double lon, double &col, double &row)
{
    const double a = 6378140.0, b = 6356752.0, radius = 42161000.0, h = radius - a;
    char geos[300];
    snprintf(geos, sizeof geos, "+proj=geos +sweep=y +h=%.1f +a=%.1f +b=%.1f +lon_0=%.4f", h, a, b, c.plon);
    char ll[200];
    snprintf(ll, sizeof ll, "+proj=longlat +a=%.1f +b=%.1f", a, b);
    double x, y;
    if (!rdrtest::cs2cs(ll, geos, lon, lat, x, y)) return false;
    double xdeg = x / h * 180 / M_PI, ydeg = y / h * 180 / M_PI;
    double column = c.coff + xdeg * std::fabs((double)c.cfac) / 65536;
    double line = c.loff - ydeg * std::fabs((double)c.lfac) / 65536;
    col = column - 1;
    row = line - c.first_line;
    return true;
}

class LritReal : public testing::TestWithParam<LritCase> {};

TEST_P(LritReal, RecordsPixelsAndGeolocation)
{
    const LritCase &c = GetParam();
    std::string path = path_of(c);
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no sample " << path;
    rdrtest::OwnedImg img;
    ASSERT_EQ(SAT_read_LRIT(path.c_str(), &img), c.result);
    if (c.result != 0) {
        EXPECT_EQ(img.data, nullptr);
        return;
    }
    EXPECT_EQ(img.source, 60);
    EXPECT_EQ(img.nx, c.nx);
    EXPECT_EQ(img.ny, c.ny);
    const int got[6] = {img.date.year, img.date.month, img.date.day, img.date.hour, img.date.minute, img.date.second};
    for (int i = 0; i < 6; i++) EXPECT_EQ(got[i], c.date[i]) << "date field " << i;
    // The annotation is the file's own name in all of them.
    EXPECT_EQ(std::string(c.file).rfind(img.info, 0), 0u) << img.info;

    if (codec::have_pil()) {
        std::string ref = rdrtest::reference_pixels("lrit", path);
        EXPECT_TRUE(ref == rdrtest::image_bytes(img)) << "pixels differ from the reference";
    }

    ASSERT_EQ(img.domain.proj, 9);
    EXPECT_NEAR(img.domain.plon, c.plon, 1e-4);
    if (!codec::have("cs2cs")) GTEST_SKIP() << "no cs2cs";
    // The tie point (sub-satellite point at COFF, LOFF) and points across
    // the disc up to about 60 degrees from it.
    const double pts[][2] = {{0, 0}, {30, 0}, {-30, 0}, {0, 40}, {0, -40}, {45, 25}, {-40, -35}, {50, -20}, {20, 55}};
    for (auto &p : pts) {
        double lat = p[0], lon = norm_lon(c.plon + p[1]);
        double ecol, erow, col, row;
        ASSERT_TRUE(cgms_pixel(c, lat, lon, ecol, erow));
        ASSERT_TRUE(rdrtest::pixel_of(img.domain, lat, lon, col, row)) << lat << " " << lon;
        EXPECT_NEAR(col, ecol, 0.1) << lat << " " << lon;
        EXPECT_NEAR(row, erow, 0.1) << lat << " " << lon;
    }
}

INSTANTIATE_TEST_SUITE_P(Lrit, LritReal, testing::ValuesIn(kLrit),
                         [](const testing::TestParamInfo<LritCase> &i) {
                             std::string n = i.param.file;
                             for (char &ch : n)
                                 if (!isalnum((unsigned char)ch)) ch = '_';
                             return n;
                         });

// Where the centre of a pixel of one segment falls in another segment.
bool pixel_in(const IMG &from, double col, double row, const IMG &to, double &ocol, double &orow)
{
    MAP_domain(&from.domain);
    float x, y, lat, lon;
    MAP_grid_tran(&x, &y, (float)col, (float)row);
    if (!MAP_untran(&lat, &lon, x, y)) return false;
    return rdrtest::pixel_of(to.domain, lat, lon, ocol, orow);
}

TEST(LritSegments, ComsSegmentsMeetWithoutGapOrOverlapNorthUp)
{
    std::vector<IMG> segs(4);
    for (int k = 0; k < 4; k++) {
        std::string path = path_of(kLrit[k]);
        if (!std::filesystem::exists(path)) GTEST_SKIP() << "no sample " << path;
        ASSERT_EQ(SAT_read_LRIT(path.c_str(), &segs[k]), 0);
    }
    // The disc's north limb is in the first rows of segment 1: its top row
    // holds fewer earth pixels than its bottom row (north-up picture).
    auto earth = [](const IMG &img, int row) {
        return std::count_if(img.data + (size_t)row * img.nx, img.data + (size_t)(row + 1) * img.nx,
                             [](unsigned char v) { return v != 0; });
    };
    EXPECT_LT(earth(segs[0], 0), earth(segs[0], segs[0].ny - 1) / 2);
    EXPECT_GT(segs[0].domain.clat, 30);
    for (int k = 0; k + 1 < 4; k++) {
        // The last row of one segment lies one row above the next one's first.
        for (double col : {100.0, 773.0, 1400.0}) {
            double c, r;
            ASSERT_TRUE(pixel_in(segs[k], col, segs[k].ny - 1, segs[k + 1], c, r)) << k;
            EXPECT_NEAR(c, col, 0.1) << k;
            EXPECT_NEAR(r, -1, 0.1) << k;
        }
        EXPECT_GT(segs[k].domain.clat, segs[k + 1].domain.clat);
    }
    for (IMG &s : segs) IMG_free(&s);
}

// A record summary for comparing reads.
std::string summary(const IMG &img)
{
    char buf[400];
    snprintf(buf, sizeof buf, "%d %d %s %s %d %.5f %.5f %.6f %.6f|", img.nx, img.ny, img.info, img.date_label,
             img.domain.proj, img.domain.clat, img.domain.clon, img.domain.dx, img.domain.dy);
    return buf + rdrtest::image_bytes(img);
}

TEST(LritSegments, ElevenFilesInOneProcessInAnyOrder)
{
    std::vector<std::string> forward;
    for (const LritCase &c : kLrit) {
        if (!std::filesystem::exists(path_of(c))) GTEST_SKIP() << "no samples";
        IMG img;
        SAT_read_LRIT(path_of(c).c_str(), &img);
        forward.push_back(summary(img));
        IMG_free(&img);
    }
    for (int i = (int)std::size(kLrit) - 1; i >= 0; i--) {
        IMG img;
        SAT_read_LRIT(path_of(kLrit[i]).c_str(), &img);
        EXPECT_TRUE(summary(img) == forward[i]) << kLrit[i].file;
        IMG_free(&img);
    }
}

TEST(LritBad, TruncatedRealFilesNeverCrash)
{
    unsigned seed = 99;
    for (const LritCase &c : kLrit) {
        if (!std::filesystem::exists(path_of(c))) GTEST_SKIP() << "no samples";
        std::vector<unsigned char> b = rdrtest::file_bytes(path_of(c));
        for (int k = 0; k < 8; k++) {
            seed = seed * 1103515245 + 12345;
            size_t len = k == 0 ? 0 : (seed >> 8) % b.size();
            IMG img;
            if (rdrtest::read_as(IMG_SRC_LRIT, b.data(), len, &img, c.file) == 0) {
                EXPECT_NE(img.data, nullptr);
            }
            IMG_free(&img);
        }
    }
}

// ---- built files ----

using lritbuild::Lrit;

int read_mem(std::vector<unsigned char> &bytes, IMG *img)
{
    return rdrtest::read_as(IMG_SRC_LRIT, bytes.data(), bytes.size(), img);
}

TEST(LritBuilt, HeaderChainEndsAtTheTotalLength)
{
    // A 16-byte primary record with total 25 and a 9-byte structure record:
    // the data field starts at byte 25.
    Lrit f;
    f.primary(25);
    f.structure(8, 3, 2, 0);
    f.data({1, 2, 3, 4, 5, 6});
    f.u8(99);  // trailing byte beyond the image
    IMG img;
    ASSERT_EQ(read_mem(f.out, &img), 0);
    EXPECT_EQ(img.nx, 3);
    EXPECT_EQ(img.ny, 2);
    EXPECT_EQ(rdrtest::image_bytes(img), std::string("\1\2\3\4\5\6", 6));
    EXPECT_EQ(img.domain.proj, -9999);
    IMG_free(&img);

    // A second file without a structure record does not inherit the first's.
    Lrit g;
    g.primary(0);
    g.annotation("second");
    g.seal();
    g.data(std::vector<unsigned char>(64, 7));
    EXPECT_EQ(read_mem(g.out, &img), -1);
    IMG_free(&img);
}

TEST(LritBuilt, PlainWidthsAndDate)
{
    struct { int bits; std::vector<unsigned char> data; std::string want; } cases[] = {
        {16, {0x03, 0xFF, 0x01, 0x00, 0x00, 0x04}, std::string("\xFF\x40\x01", 3)},
        // 1111111111 0000000001 0000000000: bits 2..9 kept.
        {10, {0xFF, 0xC0, 0x10, 0x00}, std::string("\xFF\x00\x00", 3)},
        {8, {9, 8, 7}, "\x09\x08\x07"},
    };
    for (auto &c : cases) {
        Lrit f;
        f.primary(0);
        f.structure(c.bits, 3, 1, 0);
        f.time(19722, 85520999);
        f.annotation("  built\tfile  ");
        f.seal();
        f.data(c.data);
        IMG img;
        ASSERT_EQ(read_mem(f.out, &img), 0) << c.bits;
        EXPECT_EQ(rdrtest::image_bytes(img), c.want) << c.bits;
        EXPECT_EQ(img.date.year, 2011);
        EXPECT_EQ(img.date.hour, 23);
        EXPECT_EQ(img.date.second, 20);  // milliseconds dropped
        IMG_free(&img);
    }
}

// A COMS-like segment (8 x 6 pixels) with the given factors and data.
std::vector<unsigned char> segment_file(int bits, int comp, int32_t cfac, int32_t lfac,
                                        const std::vector<unsigned char> &data)
{
    Lrit f;
    f.primary(0);
    f.structure(bits, 8, 6, comp);
    f.nav("GEOS(128.2)", cfac, lfac, 4, 3);
    f.segment7(1, 1, 1);
    f.seal();
    f.data(data);
    return f.out;
}

TEST(LritBuilt, NegativeFactorsTurnThePicture)
{
    std::vector<unsigned char> pix(48);
    for (int i = 0; i < 48; i++) pix[i] = (unsigned char)i;
    auto up = segment_file(8, 0, 13642337, 13642337, pix);
    auto turned = segment_file(8, 0, -13642337, -13642337, pix);
    IMG a, b;
    ASSERT_EQ(read_mem(up, &a), 0);
    ASSERT_EQ(read_mem(turned, &b), 0);
    EXPECT_GT(b.domain.dx, 0);
    EXPECT_GT(b.domain.dy, 0);
    for (int i = 0; i < 48; i++) EXPECT_EQ(b.data[i], 47 - i);  // rows and columns reversed
    // Stored pixel (0, 0) of the turned file is CGMS column 1, line 1: three
    // columns east and two lines south of (COFF, LOFF) = (4, 3).  It is shown
    // at (7, 5), and the north-up file puts that position at (6, 4).
    double c, r;
    ASSERT_TRUE(pixel_in(b, 7, 5, a, c, r));
    EXPECT_NEAR(c, 6, 0.01);
    EXPECT_NEAR(r, 4, 0.01);
    IMG_free(&a);
    IMG_free(&b);
}

TEST(LritBuilt, JpegTwelveBitLosslessKeepsLowBitsEightBitLossyStaysClose)
{
    const int w = 8, h = 6;
    std::vector<uint16_t> s(w * h);
    for (int i = 0; i < w * h; i++) s[i] = (uint16_t)(i * 85 % 4096);
    s[0] = 4095;
    s[1] = 256;
    std::vector<unsigned char> jpeg;
    ASSERT_EQ(lrit_jpeg_encode12(s.data(), w, h, 100, true, jpeg), 0);
    EXPECT_EQ(lrit_jpeg_precision(jpeg.data(), jpeg.size()), 12);
    auto file = segment_file(16, 2, 8170135, -8170135, jpeg);
    IMG img;
    ASSERT_EQ(read_mem(file, &img), 0);
    EXPECT_EQ(img.data[0], 255);
    EXPECT_EQ(img.data[1], 0);
    for (int i = 0; i < w * h; i++) EXPECT_EQ(img.data[i], s[i] & 0xFF) << i;
    IMG_free(&img);

    std::vector<uint16_t> smooth(w * h);
    for (int i = 0; i < w * h; i++) smooth[i] = (uint16_t)(40 + (i % w) * 10 + (i / w) * 5);
    ASSERT_EQ(lrit_jpeg_encode8(smooth.data(), w, h, 90, false, jpeg), 0);
    EXPECT_EQ(lrit_jpeg_precision(jpeg.data(), jpeg.size()), 8);
    file = segment_file(8, 2, 8170135, -8170135, jpeg);
    ASSERT_EQ(read_mem(file, &img), 0);
    for (int i = 0; i < w * h; i++) EXPECT_NEAR(img.data[i], smooth[i], 6) << i;
    IMG_free(&img);

    // Truncated and corrupt JPEG data: a message, never an exit.
    for (size_t cut : {jpeg.size() / 2, (size_t)20, (size_t)3}) {
        std::vector<unsigned char> part(jpeg.begin(), jpeg.begin() + cut);
        file = segment_file(8, 2, 8170135, -8170135, part);
        read_mem(file, &img);
        IMG_free(&img);
    }
    std::vector<unsigned char> bad = jpeg;
    for (size_t i = 30; i < bad.size(); i += 5) bad[i] ^= 0xA5;
    file = segment_file(8, 2, 8170135, -8170135, bad);
    read_mem(file, &img);
    IMG_free(&img);
}

// Values of a real plain file's data field, as stored (8 or 16 bits).
std::vector<uint16_t> stored_values(const std::string &path, int bits, size_t count)
{
    std::vector<unsigned char> b = rdrtest::file_bytes(path);
    size_t total = (size_t)b[4] << 24 | b[5] << 16 | b[6] << 8 | b[7];
    std::vector<uint16_t> v(count);
    for (size_t i = 0; i < count; i++)
        v[i] = bits == 16 ? (uint16_t)(b[total + 2 * i] << 8 | b[total + 2 * i + 1]) : b[total + i];
    return v;
}

// 16-bit plain data in either byte order: 10-bit values stored least
// significant byte first are recognised by their values; data that keep
// the record layout's order, or that are not 10-bit data at all, are read as
// stored.  Expected bytes are bits 2..9 of the values, worked by hand.
TEST(LritBuilt, SixteenBitByteOrderFromTheValues)
{
    const int n = 240;
    std::vector<unsigned> ramp(n), fill(n), wide(n);
    for (int i = 0; i < n; i++) {
        ramp[i] = (unsigned)(i * 37 % 1024);
        fill[i] = i % 3 == 0 ? 0xFFFF : ramp[i];  // a third are fill values
        wide[i] = (unsigned)(i * 4099 % 65536);   // full 16-bit range
    }
    struct Case {
        const char *name;
        const std::vector<unsigned> &values;
        bool little;   // stored least significant byte first
        bool swapped;  // the reader is expected to swap
    } cases[] = {
        {"10-bit, big-endian", ramp, false, false},
        {"10-bit, little-endian", ramp, true, true},
        {"10-bit with fill values, big-endian", fill, false, false},
        {"10-bit with fill values, little-endian", fill, true, true},
        {"16-bit range, big-endian", wide, false, false},
    };
    for (const Case &c : cases) {
        std::vector<unsigned char> data;
        for (unsigned v : c.values) {
            unsigned char hi = (unsigned char)(v >> 8), lo = (unsigned char)v;
            data.push_back(c.little ? lo : hi);
            data.push_back(c.little ? hi : lo);
        }
        Lrit f;
        f.primary(0);
        f.structure(16, n / 4, 4, 0);
        f.seal();
        f.data(data);
        rdrtest::OwnedImg img;
        ASSERT_EQ(read_mem(f.out, &img), 0) << c.name;
        for (int i = 0; i < n; i++) {
            unsigned v = c.values[i];
            if (c.little != c.swapped) v = (v >> 8 | v << 8) & 0xFFFF;  // read the other way
            ASSERT_EQ(img.data[i], (v >> 2) & 0xFF) << c.name << ", value " << i;
        }
    }
}

// The COMS full-disk HRIT segment stores its 16-bit data least significant
// byte first: read so, its values are 10-bit (0..884) and the picture is the
// disc's clouds, smooth from pixel to pixel; read most significant first,
// a third of them exceed 1023 and neighbours jump by tens of grey levels.
TEST(LritReal, ComsHritSixteenBitValuesAreTenBit)
{
    const LritCase &hrit = kLrit[6];
    if (!std::filesystem::exists(path_of(hrit))) GTEST_SKIP() << "no sample " << hrit.file;
    const size_t count = (size_t)hrit.nx * hrit.ny;
    std::vector<uint16_t> stored = stored_values(path_of(hrit), 16, count);
    size_t over = 0;
    unsigned top = 0;
    for (uint16_t &v : stored) {
        over += v > 1023;
        v = (uint16_t)(v >> 8 | v << 8);
        top = std::max<unsigned>(top, v);
    }
    EXPECT_GT(over, count / 4);
    EXPECT_EQ(top, 884u);
    rdrtest::OwnedImg img;
    ASSERT_EQ(SAT_read_LRIT(path_of(hrit).c_str(), &img), 0);
    size_t wrong = 0;
    double step = 0;
    for (size_t i = 0; i < count; i++) {
        wrong += img.data[i] != (stored[i] >> 2);
        if (i % hrit.nx) step += std::abs(img.data[i] - img.data[i - 1]);
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_LT(step / count, 3.0);
}

TEST(LritBuilt, JpegOfRealComsPixels)
{
    const LritCase &hrit = kLrit[6], &lrit = kLrit[0];
    if (!std::filesystem::exists(path_of(hrit))) GTEST_SKIP() << "no samples";
    // 12-bit lossless over the HRIT file's 16-bit values (kept to 12 bits):
    // every pixel is the low 8 bits.
    const int w = hrit.nx, h = 64;
    std::vector<uint16_t> v = stored_values(path_of(hrit), 16, (size_t)w * h);
    for (auto &x : v) x &= 0xFFF;
    std::vector<unsigned char> jpeg;
    ASSERT_EQ(lrit_jpeg_encode12(v.data(), w, h, 100, true, jpeg), 0);
    Lrit f;
    f.primary(0);
    f.structure(16, w, h, 2);
    f.seal();
    f.data(jpeg);
    IMG img;
    ASSERT_EQ(read_mem(f.out, &img), 0);
    size_t wrong = 0;
    for (size_t i = 0; i < v.size(); i++) wrong += img.data[i] != (v[i] & 0xFF);
    EXPECT_EQ(wrong, 0u);
    IMG_free(&img);

    // 8-bit lossy over the LRIT file's pixels: normal JPEG error.
    std::vector<uint16_t> p = stored_values(path_of(lrit), 8, (size_t)lrit.nx * lrit.ny);
    ASSERT_EQ(lrit_jpeg_encode8(p.data(), lrit.nx, lrit.ny, 90, false, jpeg), 0);
    Lrit g;
    g.primary(0);
    g.structure(8, lrit.nx, lrit.ny, 2);
    g.seal();
    g.data(jpeg);
    ASSERT_EQ(read_mem(g.out, &img), 0);
    double sum = 0;
    int worst = 0;
    for (size_t i = 0; i < p.size(); i++) {
        int d = std::abs((int)img.data[i] - (int)p[i]);
        sum += d;
        worst = std::max(worst, d);
    }
    EXPECT_LT(sum / p.size(), 2.0);
    EXPECT_LT(worst, 48);
    IMG_free(&img);
}

TEST(LritBad, RecordLengthsTotalsAndSizes)
{
    struct { const char *name; std::vector<unsigned char> file; } cases[] = {
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
