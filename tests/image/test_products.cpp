// Built products for forms without a sample: AWIPS/GINI headings, PDB fields, zlib chain; Unisys headers,
// frame words, grid domain; LRIT/HRIT header chains, plain and JPEG data, turned pictures; bad input.
#include <numeric>
#include <tuple>

#include "core/flags.h"
#include "core/res.h"
#include "image/lrit_jpeg.h"
#include "image/nav.h"
#include "image/readers.h"
#include "codec_oracle.h"
#include "build.h"

namespace {

using namespace build;

// Every heading form finds the PDB; bad sizes, a short PDB and a corrupt PNG
// are refused.
TEST(GiniBuilt, HeadingFormsAndRefusedInput)
{
    const Bytes pdb = make_pdb(5, 4, 3), heading = bytes("TIGE03 KNES 120600\r\r\n");
    const std::tuple<const char *, Bytes, int> cases[] = {
        {"T line", cat({heading, pdb, ramp(12)}), 0},
        {"** TI line", cat({bytes("** TIGE03 KNES\r\n"), pdb, ramp(12)}), 0},
        {"broadcast start", cat({bytes("\x01\r\r\n123 \r\r\nTIGE03 KNES 120600\r\r\n"), pdb, ramp(12)}), 0},
        {"newlines", cat({bytes("\n\n\n"), pdb, ramp(12)}), 0}, {"none", cat({pdb, ramp(12)}), 0},
        {"zero width", cat({heading, make_pdb(5, 0, 10), ramp(100)}), -1},
        {"absurd height", cat({heading, make_pdb(5, 10, 60000), ramp(100)}), -1},
        {"short PDB", cat({heading, ramp(300)}), -1},
        {"corrupt PNG", cat({heading, make_pdb(5, 8, 8), bytes("\x89PNG\r\n\x1a\n garbage garbage")}), -1},
    };
    for (auto &[name, file, result] : cases) {
        SCOPED_TRACE(name);
        codec::Rec img;
        ASSERT_EQ(codec::read_as(IMG_SRC_AWIP, file.data(), file.size(), &img), result);
        if (result) {
            EXPECT_EQ(img.data, nullptr);
            continue;
        }
        EXPECT_EQ(img.nx * 1000 + img.ny * 10 + img.date.second, 4045);
        EXPECT_EQ(codec::image_bytes(img), std::string(file.end() - 12, file.end()));
    }
    IMG img;
    FLAG_set(FLAG_INPUT, IMG_SRC_AWIPZ);  // the compressed variant's row
    EXPECT_EQ(SAT_read_AWIP("/nonexistent/file.gini", &img), -1);
}

TEST(GiniBuilt, SignedLatitudeAndDatelineMercator)
{
    // 0x80 0x00 0x64: latitude -0.01; a Mercator grid from 170 E to 170 W
    // is centred on the dateline.
    Bytes pdb = make_pdb(1, 21, 11);
    pdb[20] = 0x80, pdb[21] = 0x00, pdb[22] = 0x64;
    put_s24(pdb, 24, 170), put_s24(pdb, 28, 10), put_s24(pdb, 31, -170);
    Bytes file = cat({bytes("TIGH02 KNES 191315\r\r\n"), pdb, ramp(21 * 11)});
    codec::Rec img;
    ASSERT_EQ(codec::read_as(IMG_SRC_AWIP, file.data(), file.size(), &img), 0);
    ASSERT_EQ(img.domain.proj, 3);
    EXPECT_NEAR(std::fabs(img.domain.plon), 180, 1e-4);
    double col, row;
    for (auto [lat, lon, c, r] : {std::array<double, 4>{-0.01, 170, 0, 10}, {10, -170, 20, 0}}) {
        ASSERT_TRUE(codec::pixel_of(img.domain, lat, lon, col, row));
        EXPECT_NEAR(col, c, 1e-3);
        EXPECT_NEAR(row, r, 1e-3);
    }
}

// A chain of zlib streams, a few lines each as real products have, and a
// last stream of end-marker pixels that is dropped.
TEST(GiniBuilt, ZlibChainDropsTheMarkerLineAndReadsAsEitherType)
{
    const int nx = 50, ny = 40;
    const Bytes heading = bytes("TIGE03 KNES 120600\r\r\n"), pixels = ramp(nx * ny), first = deflated(cat({heading, make_pdb(7, nx, ny)}));
    Bytes file = cat({heading, first}), marker(nx);
    for (int r = 0; r < ny; r += 9) file = cat({file, deflated(Bytes(pixels.begin() + r * nx, pixels.begin() + std::min(r + 9, ny) * nx))});
    for (int i = 0; i < nx; i++) marker[i] = i % 2 ? 0 : 0xFF;
    file = cat({file, deflated(marker)});
    for (int type : {IMG_SRC_AWIPZ, IMG_SRC_AWIP}) {
        codec::Rec img;
        ASSERT_EQ(codec::read_as(type, file.data(), file.size(), &img), 0);
        EXPECT_EQ(img.domain.proj, -9999) << "unknown projection code 7 gives no domain";
        EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), img.data)) << type;
    }
    // Corrupt data after the PDB stream: refused.
    for (size_t i = heading.size() + first.size() + 4; i < file.size(); i += 3) file[i] ^= 0x5A;
    codec::Rec img;
    EXPECT_EQ(codec::read_as(IMG_SRC_AWIPZ, file.data(), file.size(), &img), -1);
    EXPECT_EQ(img.data, nullptr);
}

TEST(Unisys, SizesKeywordsAndTheZeroedHeader)
{
    auto file = unisys(640, 480, "x640 y480 end ");
    codec::Rec img;
    ASSERT_EQ(codec::read_as(IMG_SRC_UNISYS, file.data(), file.size(), &img), 0);
    EXPECT_EQ(std::vector<int>({img.source, img.nx, img.ny, img.bytes_line, img.domain.proj, img.domain.nx}),
              (std::vector<int>{55, 640, 480, 640, 99, 640}));
    EXPECT_EQ(codec::image_bytes(img), std::string(14, '\0') + std::string(file.begin() + 14, file.end()));

    file = unisys(100, 80, "idGOES-8_IR x100 y80 ftm886000000 pl lat40.5 lon-100.25 ref160 ref2-95 ref325 ref435 end\n");
    codec::Rec k;
    ASSERT_EQ(codec::read_as(IMG_SRC_UNISYS, file.data(), file.size(), &k), 0);
    EXPECT_STREQ(k.info, "GOES-8_IR");
    // 886000000 s after 1970: 1998-01-28 15:06:40 UTC (python3 datetime).
    EXPECT_EQ(std::vector<int>({k.date.year, k.date.month, k.date.day, k.date.hour, k.domain.proj}), (std::vector<int>{1998, 1, 28, 15, 4}));
    const DOM &d = k.domain;
    EXPECT_EQ(std::vector<float>({d.dx, d.clat, d.clon, d.plat, d.plon, d.parm[0], d.parm[1]}),
              (std::vector<float>{0.08f, 40.5f, -100.25f, 60, -95, 25, 35}));
}

TEST(Unisys, FrameWordsAndGridDomain)
{
    // Start scan 100, start line 50, end scan 740, end line 530, element
    // and line resolution 1 on a 640 x 480 image: line correction
    // 49*2 = 98, element correction 120, line resolution (2*529-98)/480 = 2,
    // element resolution (760-120)/640 = 1.
    auto file = unisys(640, 480, "x640 y480 ssn100 sln50 esn740 eln530 sr1 lr1 end ");
    codec::Rec img, grid;
    ASSERT_EQ(codec::read_as(IMG_SRC_UNISYS, file.data(), file.size(), &img), 0);
    float lc, ec, lr, er;
    AREA_get_res(&lc, &ec, &lr, &er);
    EXPECT_EQ(std::vector<float>({lc, ec, lr, er}), (std::vector<float>{98, 120, 2, 1}));
    RES_put("grid_domain", "sat:0:-75,30,-80,200,100,0.2,0.2");
    file = unisys(64, 32, "x64 y32 end ");
    ASSERT_EQ(codec::read_as(IMG_SRC_UNISYS, file.data(), file.size(), &grid), 0);
    EXPECT_EQ(std::vector<int>({grid.domain.proj, grid.domain.nx, grid.domain.ny}), (std::vector<int>{9, 64, 32}));
}

TEST(Unisys, BadHeaders)
{
    std::string thirty;
    for (int i = 0; i < 30; i++) thirty += "qq ";
    struct { const char *name; std::string text; size_t size; int result; } cases[] = {
        {"no end, two words", "x10 y10", 100, -1}, {"no size", "idabc lat4 lon5 end ", 100, -1},
        {"absurd size", "x99999999 y99999999 end ", 100, -1}, {"negative size", "x-5 y10 end ", 100, -1},
        {"header longer than the image", "x2 y2 end ", 12, 0},
        {"thirty words, end after them", thirty + "x4 y4 end ", 200, -1},
    };
    for (auto &c : cases) {
        std::vector<unsigned char> b(c.text.begin(), c.text.end());
        b.resize(std::max(b.size(), c.size), 1);
        codec::Rec img;
        EXPECT_EQ(codec::read_as(IMG_SRC_UNISYS, b.data(), b.size(), &img), c.result) << c.name;
        EXPECT_EQ(codec::image_bytes(img), c.result ? "" : std::string(4, '\0')) << c.name;
    }
    IMG img;
    EXPECT_EQ(SAT_read_Unisys("/nonexistent/u.img", &img), -1);
}

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
    EXPECT_TRUE(b.domain.dx > 0 && b.domain.dy > 0);
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
    EXPECT_LT(std::max(std::fabs(c - 6), std::fabs(r - 4)), 0.01) << c << " " << r;
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
