// AWIPS/GINI products: real files against the python3 reference decoder and
// PROJ; built files for heading forms, PDB fields, the zlib chain, bad input.
#include "core/flags.h"
#include "image/readers.h"
#include "codec_oracle.h"
#include "build.h"

namespace {

using namespace build;

// The size as published (see SOURCES.md); the domain projection code.
struct GiniCase { const char *file; long size; int nx, ny, year, month, day, hour, minute; const char *info; int proj; };

const GiniCase kGini[] = {
    {"AK-NATIONAL_8km_IR_20050912_2345.gini", 363393, 1012, 874, 2005, 9, 12, 23, 45, "GOES 10 Infrared 11um", 1},
    {"EAST-CONUS_4km_12.0_20050912_0600.gini", 604698, 1280, 1280, 2005, 9, 12, 6, 0, "GOES 10 Infrared 12um", 4},
    {"EAST-CONUS_8km_13.3_20050912_2240.gini", 224484, 640, 640, 2005, 9, 12, 22, 40, "GOES 12 Infrared 13um", 4},
    {"HI-NATIONAL_10km_SOUND-6.51_20050918_1824.gini", 71841, 1472, 1073, 2005, 9, 18, 18, 24, "GOES 10 Sounder 6.51um", 3},
    {"HI-NATIONAL_14km_IR_20050918_2000.gini", 273277, 1012, 737, 2005, 9, 18, 20, 0, "GOES 10 Infrared 11um", 3},
    {"HI-REGIONAL_4km_IR_20050919_1315.gini", 117301, 560, 520, 2005, 9, 19, 13, 15, "GOES 10 Infrared 11um", 3},
    {"PR-REGIONAL_4km_12.0_20050922_0600.gini", 113150, 480, 480, 2005, 9, 22, 6, 0, "GOES 10 Infrared 12um", 3},
    {"SUPER-NATIONAL_1km_PW_20050923_1400.gini", 232066, 1536, 1008, 2005, 9, 23, 14, 0, "GOES NC Sounder precipitable water", 1},
    {"SUPER-NATIONAL_1km_SFC-T_20050912_1900.gini", 340368, 1536, 1008, 2005, 9, 12, 19, 0, "GOES NC Sounder surface skin temperature", 1},
    {"SUPER-NATIONAL_8km_IR_20050911_2345.gini", 1107692, 1536, 1008, 2005, 9, 11, 23, 45, "GOES NC Infrared 11um", 1},
    {"WEST-CONUS_4km_3.9_20050912_2130.gini", 867904, 1100, 1280, 2005, 9, 12, 21, 30, "GOES 10 Infrared 3.9um", 4},
    {"zlibgini", 672006, 1100, 1280, 2003, 6, 29, 13, 30, "GOES 10 Infrared 11um", 4},
    {"pnggini", 250187, 1024, 512, 2002, 4, 3, 23, 30, "GOES NH Visible", 1},
    {"n0r_20041013_1852-compress", 1485581, 4736, 3000, 2004, 10, 13, 18, 52, "Gempak Base reflectivity (Dbz)", 4},
    {"n1p_20041206_2140", 52721, 2368, 1500, 2004, 12, 6, 21, 40, "Gempak 30", 4},
    {"ntp_20041206_2154", 40240, 1184, 750, 2004, 12, 6, 21, 54, "Gempak 31", 4},
};

// Signed 24-bit PDB value (sign and magnitude) at octet k counted from 1.
double pdb_s24(const unsigned char *pdb, int k)
{
    const unsigned char *p = pdb + k - 1;
    int v = (p[0] & 0x7F) << 16 | p[1] << 8 | p[2];
    return ((p[0] & 0x80) ? -v : v) / 10000.0;
}

// The PDB of a real file, after the heading line (and inside the first zlib
// stream for compressed products).
Bytes pdb_of(const std::string &path)
{
    Bytes b = build::load(path);
    Bytes block(std::find(b.begin(), b.end(), '\n') + 1, b.end()), out(2000);
    if (block[0] == 0x78) {
        uLongf n = out.size();
        uncompress(out.data(), &n, block.data(), block.size());  // stops at the first stream's end
        block.assign(std::find(out.begin(), out.end(), '\n') + 1, out.end());
    }
    block.resize(512);
    return block;
}

class GiniReal : public testing::TestWithParam<GiniCase> {};

// Header fields, pixels against the python3 reference decoder, and the
// corner points: the PDB's first point is the centre of the lower-left
// pixel; the opposite corner is the PDB's last point for Mercator and, for
// the other grids, PROJ's position of the first point moved by the grid's extent.
TEST_P(GiniReal, HeaderPixelsAndCorners)
{
    const GiniCase &c = GetParam();
    NEED_SHARED("gini/" + std::string(c.file));
    NEED_PIL();
    NEED_TOOL("cs2cs");
    std::string path = testutil::shared("gini/" + std::string(c.file));
    std::error_code ec;  // a sample that is not the published file cannot be judged by this table
    if ((long)std::filesystem::file_size(path, ec) != c.size) GTEST_SKIP() << "sample altered (not the published size): " << path;
    FLAG_set(FLAG_INPUT, IMG_SRC_AWIPZ);
    codec::Rec img;
    ASSERT_EQ(SAT_read_AWIP(path.c_str(), &img), 0);
    EXPECT_EQ(img.source, 53);
    const DATE &d = img.date;
    EXPECT_EQ(std::vector<int>({img.nx, img.ny, img.bytes_line, img.domain.nx, img.domain.ny, d.year, d.month, d.day, d.hour, d.minute}),
              (std::vector<int>{c.nx, c.ny, c.nx, c.nx, c.ny, c.year, c.month, c.day, c.hour, c.minute}));
    EXPECT_STREQ(img.info, c.info);
    ASSERT_EQ(img.domain.proj, c.proj);
    EXPECT_TRUE(codec::reference_pixels("gini", path) == codec::image_bytes(img)) << "pixels differ from the reference";

    Bytes pdb = pdb_of(path);
    double la1 = pdb_s24(pdb.data(), 21), lo1 = pdb_s24(pdb.data(), 24), la2 = pdb_s24(pdb.data(), 28), lo2 = pdb_s24(pdb.data(), 31);
    double col, row;
    ASSERT_TRUE(codec::pixel_of(img.domain, la1, lo1, col, row));
    EXPECT_NEAR(col, 0, 0.1);
    EXPECT_NEAR(row, c.ny - 1, 0.1);
    if (c.proj != 3) {
        double lov = pdb_s24(pdb.data(), 28), x, y;
        double dx = (pdb[30] << 16 | pdb[31] << 8 | pdb[32]) / 10.0, dy = (pdb[33] << 16 | pdb[34] << 8 | pdb[35]) / 10.0;
        char proj[200];
        if (c.proj == 4)
            snprintf(proj, sizeof proj, "+proj=lcc +lat_1=%g +lat_2=%g +lon_0=%g +R=6371200", pdb_s24(pdb.data(), 39),
                     pdb_s24(pdb.data(), 39), lov);
        else
            snprintf(proj, sizeof proj, "+proj=stere +lat_0=90 +lat_ts=60 +lon_0=%g +R=6371200", lov);
        const std::string ll = "+proj=latlong +R=6371200";
        ASSERT_TRUE(codec::cs2cs(ll, proj, lo1, la1, x, y));
        ASSERT_TRUE(codec::cs2cs(proj, ll, x + (c.nx - 1) * dx, y + (c.ny - 1) * dy, lo2, la2));
    }
    ASSERT_TRUE(codec::pixel_of(img.domain, la2, lo2, col, row));
    EXPECT_NEAR(col, c.nx - 1, 0.1);
    EXPECT_NEAR(row, 0, 0.1);
}

INSTANTIATE_TEST_SUITE_P(Gini, GiniReal, testing::ValuesIn(kGini),
                         [](const auto &i) { return codec::case_name(i.param.file); });

// ---- built products ----

// Every heading form finds the PDB; bad sizes, a short PDB and a corrupt PNG
// are refused.
TEST(GiniBuilt, HeadingFormsAndRefusedInput)
{
    const Bytes pdb = make_pdb(5, 4, 3), heading = bytes("TIGE03 KNES 120600\r\r\n");
    const std::tuple<const char *, Bytes, int> cases[] = {
        {"T line", cat({heading, pdb, ramp(12)}), 0},
        {"** TI line", cat({bytes("** TIGE03 KNES\r\n"), pdb, ramp(12)}), 0},
        {"broadcast start", cat({bytes("\x01\r\r\n123 \r\r\nTIGE03 KNES 120600\r\r\n"), pdb, ramp(12)}), 0},
        {"newlines", cat({bytes("\n\n\n"), pdb, ramp(12)}), 0},
        {"none", cat({pdb, ramp(12)}), 0},
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

}  // namespace
