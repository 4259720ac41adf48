// The reader table: each row recognises only its own format, reads from memory and stream alike, refuses
// junk with its own messages; the real GINI, LRIT and TIFF samples read as independent decoders and PROJ say.

#include <filesystem>

#include "image/gif.h"
#include "image/reader_table.h"
#include "build.h"
#include "codec_oracle.h"

namespace {

using namespace build;

struct Sample { int code; Bytes bytes; int nx, ny; };

Bytes file_bytes(const char *path)
{
    const std::string s = testutil::read_file(path);
    return Bytes(s.begin(), s.end());
}

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
        {IMG_SRC_UNISYS, unisys(8, 6, "x8 y6 end "), 8, 6}, {IMG_SRC_TIFF, Tiff().grey(4, 3, ramp(12)), 4, 3},
        {IMG_SRC_LRIT, lrit.out, 4, 3},
        {IMG_SRC_ABI, file_bytes(ZYR_SOURCE_DIR "/fuzz/seeds/fuzz_abi/cmi_classic.nc"), 16, 12},
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
    ASSERT_EQ(n, 8);
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
        {IMG_SRC_ABI, "SAT_read_ABI: Unable to open file:/nonexistent/x\n"},
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

// A real file read through its row: size, date (year to minute), info
// (nullptr: the file's name or its start), domain projection, an FNV-1a 64
// digest of the 8-bit pixels as an independent decoder gives them (GINI and
// LRIT: a python3 decoder written from the format documents, zlib and PIL;
// 16-bit LRIT keeps bits 2..9, least significant byte first in KMA's IMG_FD
// files; TIFF: gdal_translate's first band, the high byte of 16-bit samples),
// and two points (latitude, longitude, column, row from 0) to 0.1 pixel.
// GINI: the PDB's first point at the lower-left pixel, the upper-right one
// (the PDB's last point for Mercator, else cs2cs +R=6371200 of the first
// moved by the grid's extent).  LRIT: 45N 25E and 40S 35W of the sub-satellite
// point through cs2cs +proj=geos +sweep=y +h=35782860 +a=6378140 +b=6356752
// and column = COFF + x 2^-16 |CFAC| (lines likewise, from the segment's
// first).  TIFF: the corner pixel centres gdaltransform (and cs2cs) give.
// size: as published (see SOURCES.md), checked for GINI; result -1: refused.
struct Real {
    const char *file;
    int code, result, nx = 0, ny = 0, date[5] = {};
    const char *info = nullptr;
    int proj = 0;
    uint64_t digest = 0;
    double pts[2][4] = {};
    long size = 0;
};

constexpr int G = IMG_SRC_AWIPZ, L = IMG_SRC_LRIT, T = IMG_SRC_TIFF, NONE = -9999;
#define NO_DATE {NONE, NONE, NONE, NONE, NONE}
const Real kReal[] = {
    {"gini/AK-NATIONAL_8km_IR_20050912_2345.gini", G, 0, 1012, 874, {2005, 9, 12, 23, 45}, "GOES 10 Infrared 11um", 1, 0xa869bf5bf251e7ea,
     {{19.132, 174.1623, 0, 873}, {57.716208, -53.78162, 1011, 0}}, 363393},
    {"gini/EAST-CONUS_4km_12.0_20050912_0600.gini", G, 0, 1280, 1280, {2005, 9, 12, 6, 0}, "GOES 10 Infrared 12um", 4, 0xee1802736b653e4b,
     {{16.3691, -113.1333, 0, 1279}, {57.270614, -49.456858, 1279, 0}}, 604698},
    {"gini/HI-NATIONAL_10km_SOUND-6.51_20050918_1824.gini", G, 0, 1472, 1073, {2005, 9, 18, 18, 24}, "GOES 10 Sounder 6.51um", 3,
     0xcba322a55a7658ab, {{-25.0004, 109.9999, 0, 1072}, {60.6914, -109.1284, 1471, 0}}, 71841},
    {"gini/HI-REGIONAL_4km_IR_20050919_1315.gini", G, 0, 560, 520, {2005, 9, 19, 13, 15}, "GOES 10 Infrared 11um", 3, 0xb5bdd7ca3c978e1d,
     {{9.343, -167.315, 0, 519}, {28.0922, -145.878, 559, 0}}, 117301},
    {"gini/PR-REGIONAL_4km_12.0_20050922_0600.gini", G, 0, 480, 480, {2005, 9, 22, 6, 0}, "GOES 10 Infrared 12um", 3, 0xbde450458e2fb3e6,
     {{9, -77, 0, 479}, {26.4222, -58.6254, 479, 0}}, 113150},
    {"gini/SUPER-NATIONAL_1km_PW_20050923_1400.gini", G, 0, 1536, 1008, {2005, 9, 23, 14, 0}, "GOES NC Sounder precipitable water", 1,
     0x739ae544a14c48f8, {{7.8381, -141.0274, 0, 1007}, {35.572078, -18.562348, 1535, 0}}, 232066},
    {"gini/WEST-CONUS_4km_3.9_20050912_2130.gini", G, 0, 1100, 1280, {2005, 9, 12, 21, 30}, "GOES 10 Infrared 3.9um", 4, 0xce572b6bbb559b6e,
     {{12.19, -133.4588, 0, 1279}, {61.229357, -91.505648, 1099, 0}}, 867904},
    {"gini/zlibgini", G, 0, 1100, 1280, {2003, 6, 29, 13, 30}, "GOES 10 Infrared 11um", 4, 0xdf53ce7ff8b70994,
     {{12.19, -133.4588, 0, 1279}, {61.229357, -91.505648, 1099, 0}}, 672006},
    {"gini/pnggini", G, 0, 1024, 512, {2002, 4, 3, 23, 30}, "GOES NH Visible", 1, 0x04bb1980d0d1d4eb,
     {{-21.2451, -150, 0, 511}, {-1.77999, -15.112114, 1023, 0}}, 250187},
    {"gini/n0r_20041013_1852-compress", G, 0, 4736, 3000, {2004, 10, 13, 18, 52}, "Gempak Base reflectivity (Dbz)", 4, 0xf14b4a04a9459079,
     {{23, -120, 0, 2999}, {47.265237, -63.567686, 4735, 0}}, 1485581},
    {"gini/ntp_20041206_2154", G, 0, 1184, 750, {2004, 12, 6, 21, 54}, "Gempak 31", 4, 0x0eb238f4ffb07514,
     {{23, -120, 0, 749}, {47.263678, -63.566598, 1183, 0}}, 40240},
    {"lrit/IMG_ENH_01_IR1_20120101_000920_01.lrit", L, 0, 1547, 309, {2011, 12, 31, 23, 45}, nullptr, 9, 0x726a6069188154f7,
     {{45, 153.2, 1129.947, 171.902}, {-40, 93.2, 247.553, 1767.541}}},
    {"lrit/IMG_ENH_01_IR1_20120101_000920_04.lrit", L, 0, 1547, 308, {2011, 12, 31, 23, 45}, nullptr, 9, 0xbc89054779bc6819,
     {{45, 153.2, 1129.947, -754.098}, {-40, 93.2, 247.553, 841.541}}},
    {"lrit/IMG_FD_01_IR1_20120101_024020_01.hrit", L, 0, 2750, 275, {2012, 1, 1, 2, 15}, nullptr, 9, 0x14f50e06fe0b6c2f,
     {{45, 153.2, 1820.434, 326.627}, {-40, 93.2, 717.442, 2321.176}}},
    {"lrit/IMG_DK01B05_202009201110_010.hrit", L, 0, 2750, 275, {2020, 9, 20, 11, 21}, nullptr, 9, 0x7b2ddd0fa789db95,
     {{45, 165.7, 1822.331, -2149.47}, {-40, 105.7, 717.128, -150.924}}},
    {"lrit/L-000-MSG2__-GOES11______-10_7_135W-000003___-201002010600-__", L, 0, 2816, 464, {2010, 2, 1, 6, 47}, nullptr, 9,
     0x2860b9638c0a21be, {{45, -110, 1854.594, -567.749}, {-40, -170, 751.206, 1427.516}}},
    {"lrit/H-000-MSG3__-MSG3________-WV_073___-000008___-201311271015-C_", L, -1},
    {"lrit/ADD_GOCI_02_20120101_014520_00.lrit", L, -1},
    // GDAL ignores the scale beside the standard parallel.
    {"tiff/gdal_weird_mercator_2sp.tif", T, 0, 20, 20, NO_DATE, "", 3, 0x8d2fe3e533be1aa5,
     {{48.397988, -123.539019, 0, 0}, {48.357539, -123.478302, 19, 19}}},
    {"tiff/intergraph_geog.tif", T, 0, 200, 200, NO_DATE, "", 2, 0x587eb7d714547175, {{2.923417, -2.235521, 0, 0}, {2.829402, -2.141506, 199, 199}}},
    // GDAL refuses its latitude of origin; its keys say: central meridian
    // -90, scale 0.8299163, false origin (0.001, 0.002), Clarke 1866.
    {"tiff/intergraph_merc.tif", T, 0, 200, 200, NO_DATE, "", 3, 0x587eb7d714547175, {{7.533157, -69.74701, 0, 0}, {7.200364, -69.41368, 199, 199}}},
    {"tiff/pillow_8bit.s.tif", T, 0, 128, 128, NO_DATE, "", NONE, 0x195520430fd352d3},
    {"tiff/zi_imaging_image0.tif", T, 0, 380, 765, NO_DATE, "", NONE, 0xf65ce57fdb75c485},  // rotated transformation
    // Float32 (refused), transverse Mercator and geostationary (no domain),
    // JPEG in YCbCr (the red band kept), planes, 16-bit LZW tiles.
    {"tiff/20160101000000_AHI_ANU_LSTv1.4.1_AusSubset.tif", T, -1},
    {"tiff/erdas_spnad83.tif", T, 0, 571, 658, NO_DATE, "", NONE, 0x8d86b7da034176de},
    {"tiff/gdal_w_jpeg.tiff", T, 0, 512, 256, NO_DATE, "", 2, 0xa2c3208907af573c, {{89.648438, -179.648438, 0, 0}, {-89.648438, 179.648438, 511, 255}}},
    {"tiff/pci_eg_lcc-27.tif", T, 0, 515, 515, NO_DATE, "", 4, 0xb7084cb0cc755899, {{33.903363, -117.640846, 0, 0}, {33.62531, -117.307948, 514, 514}}},
    {"tiff/rasterio_goes.tif", T, 0, 542, 542, NO_DATE, "", NONE, 0xdd0eb1242e2af6a3},
    {"tiff/rasterio_rgb_deflate.tif", T, 0, 791, 718, NO_DATE, "", NONE, 0x928a48caf45c82a7},
    {"tiff/riotiler_blue.tif", T, 0, 255, 259, NO_DATE, "", NONE, 0x05da788d4892834d},
};

class RealSamples : public testing::TestWithParam<Real> {};

TEST_P(RealSamples, SizeDatePixelsAndNavigation)
{
    const Real &c = GetParam();
    NEED_SHARED(c.file);
    const std::string path = testutil::shared(c.file);
    std::error_code ec;  // a sample that is not the published file cannot be judged by this table
    if (c.size && (long)std::filesystem::file_size(path, ec) != c.size) GTEST_SKIP() << "sample altered (not the published size): " << path;
    codec::Rec img;
    ASSERT_EQ(IMG_reader_read_named(c.code, path.c_str(), &img), c.result);
    EXPECT_EQ(img.data != nullptr, c.result == 0);
    if (c.result) return;
    const DATE &d = img.date;
    EXPECT_EQ(std::vector<int>({img.nx, img.ny, img.bytes_line, d.year, d.month, d.day, d.hour, d.minute, img.domain.proj}),
              (std::vector<int>{c.nx, c.ny, c.nx, c.date[0], c.date[1], c.date[2], c.date[3], c.date[4], c.proj}));
    EXPECT_TRUE(c.info ? std::string(img.info) == c.info : *img.info && std::string(c.file).find(img.info) == 5) << img.info;
    uint64_t digest = 0xcbf29ce484222325;
    for (unsigned char v : codec::image_bytes(img)) digest = (digest ^ v) * 0x100000001b3;
    EXPECT_EQ(digest, c.digest) << "pixels differ from the independent decoder's";
    for (int k = 0; k < 2 && c.proj != NONE; k++) {
        const double *p = c.pts[k];
        double col, row;
        ASSERT_TRUE(codec::pixel_of(img.domain, p[0], p[1], col, row)) << p[0] << " " << p[1];
        EXPECT_NEAR(col, p[2], 0.1) << p[0] << " " << p[1];
        EXPECT_NEAR(row, p[3], 0.1) << p[0] << " " << p[1];
    }
}

INSTANTIATE_TEST_SUITE_P(Readers, RealSamples, testing::ValuesIn(kReal), [](const auto &i) { return codec::case_name(i.param.file); });

// Files that end early: every reader refuses a file whose data stop before
// the image is full, with a message naming the file.  Each form is cut at
// ten lengths from an eleventh to ten elevenths of the file (past every
// trailer: a product whose end marker is cut still reads), TIFF files also
// one byte short.  The forms are real samples and fuzz seeds; that no cut
// file crashes a reader is the seed replay's check (tests/fuzz).

struct Form {
    const char *label;
    int code;          // the reader table's row; -1 for the GIF reader
    const char *file;  // "seed:" a fuzz seed, else a shared sample
    size_t skip;       // bytes in front of the file (a fuzz target's form byte)
};

const Form kForms[] = {
    {"GiniZlib", IMG_SRC_AWIPZ, "gini/EAST-CONUS_4km_12.0_20050912_0600.gini", 0},
    {"GiniZlibChain", IMG_SRC_AWIPZ, "gini/zlibgini", 0}, {"GiniPng", IMG_SRC_AWIPZ, "gini/pnggini", 0},
    {"GiniPlain", IMG_SRC_AWIPZ, "seed:fuzz_awip/plain_lambert", 1},
    {"AreaPlain", IMG_SRC_AREA, "area/cmx3g8_wv_1998.260_0745_mcidas.ara", 0},
    {"AreaPlainLittleEndian", IMG_SRC_AREA, "area/derived/pngarea_plain.area", 0},
    {"AreaPlainLittleEndian2Byte", IMG_SRC_AREA, "seed:fuzz_area/plain_little_2byte", 1},
    {"AreaFramed", IMG_SRC_AREA, "seed:fuzz_area/framed", 1},
    {"Lrit8", IMG_SRC_LRIT, "lrit/IMG_ENH_01_IR1_20120101_000920_01.lrit", 0},
    {"Hrit16", IMG_SRC_LRIT, "lrit/IMG_DK01B05_202009201110_010.hrit", 0},
    {"Lrit10", IMG_SRC_LRIT, "hrit/L-000-MSG2__-GOES11______-10_7_135W-000004___-201002010600-__", 0},
    {"Lrit16Built", IMG_SRC_LRIT, "seed:fuzz_lrit/plain16_msb_first", 1},
    {"LritJpeg8", IMG_SRC_LRIT, "seed:fuzz_lrit/jpeg8", 1},
    {"LritJpeg12", IMG_SRC_LRIT, "seed:fuzz_lrit/jpeg12", 1},
    {"Unisys", IMG_SRC_UNISYS, "seed:fuzz_unisys/plain64x48", 0},
    {"Zyrimg", IMG_SRC_ZYR, "seed:fuzz_zyrimg/from_png", 0},
    {"ZyrimgZ", IMG_SRC_ZYR, "seed:fuzz_zyrimg/z", 0}, {"Gif", -1, "seed:fuzz_gif/inter.gif", 0},
    {"TiffDeflate", IMG_SRC_TIFF, "seed:fuzz_tiff/deflate_merc.tif", 0},
    {"TiffLzw", IMG_SRC_TIFF, "seed:fuzz_tiff/lzw_geog.tif", 0},
    {"TiffLzw16Tiles", IMG_SRC_TIFF, "seed:fuzz_tiff/lzw16_tiled.tif", 0},
    {"TiffPackBitsBigEndian", IMG_SRC_TIFF, "seed:fuzz_tiff/packbits_lcc_big.tif", 0},
    {"TiffJpeg", IMG_SRC_TIFF, "seed:fuzz_tiff/jpeg_polar.tif", 0},
    {"TiffJpegYCbCrTiles", IMG_SRC_TIFF, "seed:fuzz_tiff/jpeg_ycbcr_tiled.tif", 0},
};

void PrintTo(const Form &f, std::ostream *os) { *os << f.label; }

// Reads the first n bytes as the form's reader does; true on success.
bool read(const Form &f, const unsigned char *b, size_t n, const char *name)
{
    codec::Rec img;
    if (f.code < 0) return GIF_read_mem(b, n, &img, 0, name) == 1;
    return codec::read_as(f.code, b, n, &img, name) == 0;
}

class Truncated : public testing::TestWithParam<Form> {};

TEST_P(Truncated, EveryCutIsRefusedNamingTheFile)
{
    const Form &f = GetParam();
    const std::string file = f.file;
    std::string path = std::string(ZYR_SOURCE_DIR) + "/fuzz/seeds/" + file.substr(5);
    if (file.rfind("seed:", 0) != 0) {
        NEED_SHARED(file);
        path = testutil::shared(file);
    }
    const std::string all = testutil::read_file(path);
    ASSERT_GT(all.size(), f.skip) << path;
    const auto *b = reinterpret_cast<const unsigned char *>(all.data()) + f.skip;
    const size_t size = all.size() - f.skip;
    const std::string name = std::string("cut-") + f.label + ".dat";
    ASSERT_TRUE(read(f, b, size, name.c_str())) << "the whole file must read";
    for (int k = 1; k <= (f.code == IMG_SRC_TIFF ? 11 : 10); k++) {
        size_t n = k == 11 ? size - 1 : size * k / 11;
        bool ok = true;
        const std::string err = testutil::stderr_of([&] { ok = read(f, b, n, name.c_str()); });
        EXPECT_FALSE(ok) << "cut at " << n << " of " << size;
        EXPECT_NE(err.find(name), std::string::npos) << "cut at " << n << ": " << err;
    }
}

INSTANTIATE_TEST_SUITE_P(Readers, Truncated, testing::ValuesIn(kForms),
                         [](const testing::TestParamInfo<Form> &i) { return std::string(i.param.label); });

}  // namespace
