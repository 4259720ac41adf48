// AWIPS/GINI products: the sixteen real files against the python3 reference
// decoder and their own corner points, then built files for the heading
// forms, the PDB fields and bad input.
#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "image/readers.h"
#include "gini_build.h"
#include "rdr_oracle.h"

namespace {

using namespace ginibuild;

struct GiniCase {
    const char *file;
    long size;  // as published (see SOURCES.md)
    int nx, ny;
    int year, month, day, hour, minute;
    const char *info;
    int proj;  // domain projection code
};

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

// The PDB of a real file, found as the reader's oracle finds it.
std::vector<unsigned char> pdb_of(const std::string &path)
{
    std::vector<unsigned char> b = rdrtest::file_bytes(path);
    size_t h = std::find(b.begin(), b.end(), '\n') - b.begin() + 1;
    std::vector<unsigned char> block(b.begin() + h, b.end());
    if (block[0] == 0x78) {
        std::vector<unsigned char> out(2000);
        uLongf n = out.size();
        z_stream z{};
        inflateInit(&z);
        z.next_in = block.data();
        z.avail_in = (uInt)block.size();
        z.next_out = out.data();
        z.avail_out = (uInt)n;
        inflate(&z, Z_FINISH);
        out.resize(z.total_out);
        inflateEnd(&z);
        block.assign(out.begin() + (std::find(out.begin(), out.end(), '\n') - out.begin() + 1), out.end());
    }
    block.resize(512);
    return block;
}

void PrintTo(const GiniCase &c, std::ostream *os) { *os << c.file; }

// A sample that is not the published file cannot be judged by this table.
bool published(const std::string &path, long size)
{
    std::error_code ec;
    return (long)std::filesystem::file_size(path, ec) == size;
}

class GiniReal : public testing::TestWithParam<GiniCase> {};

TEST_P(GiniReal, HeaderPixelsAndCorners)
{
    const GiniCase &c = GetParam();
    std::string path = rdrtest::data_dir("gini") + c.file;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no sample " << path;
    if (!published(path, c.size)) GTEST_SKIP() << "sample altered (not the published size): " << path;
    FLAG_set(FLAG_INPUT, IMG_SRC_AWIPZ);
    rdrtest::OwnedImg img;
    ASSERT_EQ(SAT_read_AWIP(path.c_str(), &img), 0);
    EXPECT_EQ(img.source, 53);
    EXPECT_EQ(img.nx, c.nx);
    EXPECT_EQ(img.ny, c.ny);
    EXPECT_EQ(img.bytes_line, c.nx);
    EXPECT_EQ(img.date.year, c.year);
    EXPECT_EQ(img.date.month, c.month);
    EXPECT_EQ(img.date.day, c.day);
    EXPECT_EQ(img.date.hour, c.hour);
    EXPECT_EQ(img.date.minute, c.minute);
    EXPECT_STREQ(img.info, c.info);
    ASSERT_EQ(img.domain.proj, c.proj);
    EXPECT_EQ(img.domain.nx, c.nx);
    EXPECT_EQ(img.domain.ny, c.ny);

    if (codec::have_pil()) {
        std::string ref = rdrtest::reference_pixels("gini", path);
        ASSERT_EQ(ref.size(), (size_t)c.nx * c.ny);
        EXPECT_TRUE(ref == rdrtest::image_bytes(img)) << "pixels differ from the reference";
    }

    // The first point is the centre of the lower-left pixel.
    std::vector<unsigned char> pdb = pdb_of(path);
    double la1 = pdb_s24(pdb.data(), 21), lo1 = pdb_s24(pdb.data(), 24);
    double col, row;
    ASSERT_TRUE(rdrtest::pixel_of(img.domain, la1, lo1, col, row));
    EXPECT_NEAR(col, 0, 0.1);
    EXPECT_NEAR(row, c.ny - 1, 0.1);

    // The opposite corner: the last point for Mercator; for the other grids
    // PROJ's position of the first point moved by the grid's extent.
    double la2, lo2;
    if (c.proj == 3) {
        la2 = pdb_s24(pdb.data(), 28);
        lo2 = pdb_s24(pdb.data(), 31);
    } else {
        if (!codec::have("cs2cs")) GTEST_SKIP() << "no cs2cs";
        double lov = pdb_s24(pdb.data(), 28);
        double dx = (pdb[30] << 16 | pdb[31] << 8 | pdb[32]) / 10.0;  // metres
        double dy = (pdb[33] << 16 | pdb[34] << 8 | pdb[35]) / 10.0;
        char proj[200];
        if (c.proj == 4)
            snprintf(proj, sizeof proj, "+proj=lcc +lat_1=%g +lat_2=%g +lon_0=%g +R=6371200",
                     pdb_s24(pdb.data(), 39), pdb_s24(pdb.data(), 39), lov);
        else
            snprintf(proj, sizeof proj, "+proj=stere +lat_0=90 +lat_ts=60 +lon_0=%g +R=6371200", lov);
        const std::string ll = "+proj=latlong +R=6371200";
        double x, y;
        ASSERT_TRUE(rdrtest::cs2cs(ll, proj, lo1, la1, x, y));
        ASSERT_TRUE(rdrtest::cs2cs(proj, ll, x + (c.nx - 1) * dx, y + (c.ny - 1) * dy, lo2, la2));
    }
    ASSERT_TRUE(rdrtest::pixel_of(img.domain, la2, lo2, col, row));
    EXPECT_NEAR(col, c.nx - 1, 0.1);
    EXPECT_NEAR(row, 0, 0.1);
}

INSTANTIATE_TEST_SUITE_P(Gini, GiniReal, testing::ValuesIn(kGini),
                         [](const testing::TestParamInfo<GiniCase> &i) {
                             std::string n = i.param.file;
                             for (char &ch : n)
                                 if (!isalnum((unsigned char)ch)) ch = '_';
                             return n;
                         });

// Every real file cut short at random lengths reads without a crash and
// either fails or gives an image of the PDB's size.
TEST(GiniBad, TruncatedRealFilesNeverCrash)
{
    std::string dir = rdrtest::data_dir("gini");
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no samples";
    unsigned seed = 12345;
    for (const GiniCase &c : kGini) {
        if (!published(dir + c.file, c.size)) continue;
        std::vector<unsigned char> b = rdrtest::file_bytes(dir + c.file);
        for (int k = 0; k < 6; k++) {
            seed = seed * 1103515245 + 12345;
            size_t len = (seed >> 8) % b.size();
            IMG img;
            int r = rdrtest::read_as(IMG_SRC_AWIPZ, b.data(), len, &img, c.file);
            if (r == 0) {
                EXPECT_EQ(img.nx, c.nx);
                EXPECT_NE(img.data, nullptr);
            }
            IMG_free(&img);
        }
    }
}

// ---- built products ----

TEST(GiniBuilt, HeadingFormsAllFindThePdb)
{
    struct { const char *name; std::string heading; } cases[] = {
        {"T line", "TIGE03 KNES 120600\r\r\n"},
        {"** TI line", "** TIGE03 KNES\r\n"},
        {"broadcast start", "\x01\r\r\n123 \r\r\nTIGE03 KNES 120600\r\r\n"},
        {"newlines", "\n\n\n"},
        {"none", ""},
    };
    for (auto &c : cases) {
        auto file = cat({bytes(c.heading), make_pdb(5, 4, 3), ramp(12)});
        IMG img;
        ASSERT_EQ(rdrtest::read_as(IMG_SRC_AWIP, file.data(), file.size(), &img), 0) << c.name;
        EXPECT_EQ(img.nx, 4) << c.name;
        EXPECT_EQ(img.ny, 3) << c.name;
        EXPECT_EQ(img.date.second, 15) << c.name;
        EXPECT_EQ(std::string((char *)img.data, 12), std::string((char *)ramp(12).data(), 12)) << c.name;
        IMG_free(&img);
    }
}

TEST(GiniBuilt, SignedLatitudeAndDatelineMercator)
{
    // 0x80 0x00 0x64: latitude -0.01; a Mercator grid from 170 E to 170 W
    // is centred on the dateline.
    auto pdb = make_pdb(1, 21, 11);
    pdb[20] = 0x80; pdb[21] = 0x00; pdb[22] = 0x64;
    put_s24(pdb, 24, 170);
    put_s24(pdb, 28, 10);
    put_s24(pdb, 31, -170);
    auto file = cat({bytes("TIGH02 KNES 191315\r\r\n"), pdb, ramp(21 * 11)});
    IMG img;
    ASSERT_EQ(rdrtest::read_as(IMG_SRC_AWIP, file.data(), file.size(), &img), 0);
    ASSERT_EQ(img.domain.proj, 3);
    EXPECT_NEAR(std::fabs(img.domain.plon), 180, 1e-4);
    double col, row;
    ASSERT_TRUE(rdrtest::pixel_of(img.domain, -0.01, 170, col, row));
    EXPECT_NEAR(col, 0, 1e-3);
    EXPECT_NEAR(row, 10, 1e-3);
    ASSERT_TRUE(rdrtest::pixel_of(img.domain, 10, -170, col, row));
    EXPECT_NEAR(col, 20, 1e-3);
    EXPECT_NEAR(row, 0, 1e-3);
    IMG_free(&img);
}

TEST(GiniBuilt, ZlibChainDropsTheMarkerLineAndReadsAsEitherType)
{
    const int nx = 50, ny = 40;
    std::string heading = "TIGE03 KNES 120600\r\r\n";
    auto pixels = ramp(nx * ny);
    auto first = deflated(cat({bytes(heading), make_pdb(7, nx, ny)}));
    std::vector<unsigned char> file = cat({bytes(heading), first});
    for (int r = 0; r < ny; r += 9) {  // a few lines a stream, as real products do
        int rows = std::min(9, ny - r);
        std::vector<unsigned char> part(pixels.begin() + r * nx, pixels.begin() + (r + rows) * nx);
        file = cat({file, deflated(part)});
    }
    std::vector<unsigned char> marker(nx);
    for (int i = 0; i < nx; i++) marker[i] = i % 2 ? 0 : 0xFF;
    file = cat({file, deflated(marker)});
    for (int type : {IMG_SRC_AWIPZ, IMG_SRC_AWIP}) {
        IMG img;
        ASSERT_EQ(rdrtest::read_as(type, file.data(), file.size(), &img), 0);
        EXPECT_EQ(img.domain.proj, -9999) << "unknown projection code 7 gives no domain";
        EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), img.data)) << type;
        IMG_free(&img);
    }
    // Corrupt data after the PDB stream: refused, nothing crashes.
    std::vector<unsigned char> bad = file;
    for (size_t i = heading.size() + first.size() + 4; i < bad.size(); i += 3) bad[i] ^= 0x5A;
    IMG img;
    EXPECT_EQ(rdrtest::read_as(IMG_SRC_AWIPZ, bad.data(), bad.size(), &img), -1);
    EXPECT_EQ(img.data, nullptr);
    IMG_free(&img);
}

TEST(GiniBad, RefusedInput)
{
    auto heading = bytes("TIGE03 KNES 120600\r\r\n");
    struct { const char *name; std::vector<unsigned char> file; } cases[] = {
        {"zero width", cat({heading, make_pdb(5, 0, 10), ramp(100)})},
        {"absurd height", cat({heading, make_pdb(5, 10, 60000), ramp(100)})},
        {"short PDB", cat({heading, ramp(300)})},
        {"corrupt PNG", cat({heading, make_pdb(5, 8, 8), bytes("\x89PNG\r\n\x1a\n garbage garbage")})},
    };
    for (auto &c : cases) {
        IMG img;
        EXPECT_EQ(rdrtest::read_as(IMG_SRC_AWIP, c.file.data(), c.file.size(), &img), -1) << c.name;
        EXPECT_EQ(img.data, nullptr) << c.name;
    }
    IMG img;
    EXPECT_EQ(SAT_read_AWIP("/nonexistent/file.gini", &img), -1);
}

}  // namespace
