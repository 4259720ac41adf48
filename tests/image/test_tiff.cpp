// TIFF and GeoTIFF: the real files against gdal_translate (pixels) and
// gdaltransform with cs2cs (pixel centres), then built files for the byte
// orders, PackBits, tiles and bad directories.
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "driver/sat_read.h"
#include "image/readers.h"
#include "rdr_oracle.h"
#include "tiff_build.h"

namespace {

struct TiffCase {
    const char *file;
    int nx, ny;
    int proj;             // expected domain projection, -9999 none
    const char *inverse;  // PROJ string taking model coordinates to lon/lat ("" geographic)
    int sample_bytes = 1; // of the first band, as GDAL writes it to a PGM
    int result = 0;       // of the reader
};

const TiffCase kTiff[] = {
    {"gdal_byte.tif", 20, 20, -9999, nullptr},
    {"gdal_weird_mercator_2sp.tif", 20, 20, 3, "+proj=merc +lat_ts=47.667 +lon_0=0 +datum=NAD83"},
    {"intergraph_geog.tif", 200, 200, 2, ""},
    // GDAL refuses its latitude of origin; its keys say: central meridian
    // -90, scale 0.8299163, false origin (0.001, 0.002), Clarke 1866.
    {"intergraph_merc.tif", 200, 200, 3,
     "+proj=merc +lon_0=-90 +k_0=0.829916312080482 +x_0=0.001 +y_0=0.002 +ellps=clrk66"},
    {"pillow_8bit.s.tif", 128, 128, -9999, nullptr},
    {"video-001-gray.tiff", 150, 103, -9999, nullptr},
    {"zi_imaging_image0.tif", 380, 765, -9999, nullptr},  // rotated transformation
    // Compressed and tiled files: Float32 (refused), transverse Mercator and
    // geostationary (no domain), JPEG in YCbCr (the red band kept), planes,
    // 16-bit LZW tiles, and a Lambert conformal conic file.
    {"20160101000000_AHI_ANU_LSTv1.4.1_AusSubset.tif", 2100, 1750, -9999, nullptr, 4, -1},
    {"erdas_spnad83.tif", 571, 658, -9999, nullptr},
    {"gdal_w_jpeg.tiff", 512, 256, 2, ""},
    {"pci_eg_lcc-27.tif", 515, 515, 4,
     "+proj=lcc +lat_0=33.7644620277778 +lon_0=-117.474542888889 +lat_1=33.9036340277778 "
     "+lat_2=33.6252900277778 +ellps=clrk66"},
    {"rasterio_goes.tif", 542, 542, -9999, nullptr},
    {"rasterio_rgb_deflate.tif", 791, 718, -9999, nullptr},
    {"rasterio_rgb_lzw.tif", 791, 718, -9999, nullptr},
    {"riotiler_blue.tif", 255, 259, -9999, nullptr, 2},
};

void PrintTo(const TiffCase &c, std::ostream *os) { *os << c.file; }

// Pixels of a file's first band as GDAL writes them to a binary PGM (16-bit
// samples big-endian): the most significant byte of each.
std::string gdal_pixels(const std::string &path, int nx, int ny, int sample_bytes)
{
    testutil::ScratchDir dir;
    std::string out = dir.file("x.pgm");
    codec::run("gdal_translate -q -of PNM -b 1 '" + path + "' '" + out + "' 2>/dev/null");
    std::string pgm = testutil::read_file(out);
    size_t want = (size_t)nx * ny;
    if (pgm.size() < want * sample_bytes) return {};
    pgm = pgm.substr(pgm.size() - want * sample_bytes);
    std::string high(want, '\0');
    for (size_t i = 0; i < want; i++) high[i] = pgm[i * sample_bytes];
    return high;
}

// Model coordinates GDAL gives for a raster position.
bool gdal_model(const std::string &path, double col, double row, double &x, double &y)
{
    char cmd[1024];
    snprintf(cmd, sizeof cmd, "echo '%.3f %.3f' | gdaltransform '%s' 2>/dev/null", col, row, path.c_str());
    return sscanf(codec::run(cmd).c_str(), "%lf %lf", &x, &y) == 2;
}

class TiffReal : public testing::TestWithParam<TiffCase> {};

TEST_P(TiffReal, PixelsAndPixelCentres)
{
    const TiffCase &c = GetParam();
    std::string path = rdrtest::data_dir("tiff") + c.file;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no sample " << path;
    rdrtest::OwnedImg img;
    ASSERT_EQ(SAT_read_TIFF(path.c_str(), &img), c.result);
    if (c.result) return;
    EXPECT_EQ(img.source, 59);
    EXPECT_EQ(img.nx, c.nx);
    EXPECT_EQ(img.ny, c.ny);
    EXPECT_EQ(img.bytes_line, c.nx);
    EXPECT_EQ(img.domain.proj, c.proj);
    EXPECT_STREQ(img.info, "");  // none of them has Make or Model
    EXPECT_EQ(img.date.year, -9999);
    if (!codec::have("gdal_translate")) GTEST_SKIP() << "no gdal-bin";
    EXPECT_TRUE(gdal_pixels(path, c.nx, c.ny, c.sample_bytes) == rdrtest::image_bytes(img)) << "pixels differ from GDAL";

    if (c.proj == -9999) return;
    // Centres of the upper-left and lower-right pixels (the domain is fitted
    // through the other two corners for Mercator).
    struct { double col, row; } corners[] = {{0, 0}, {c.nx - 1.0, c.ny - 1.0}};
    for (auto &k : corners) {
        double x, y, lon, lat;
        ASSERT_TRUE(gdal_model(path, k.col + 0.5, k.row + 0.5, x, y));
        if (*c.inverse) {
            ASSERT_TRUE(rdrtest::cs2cs(c.inverse, "+proj=longlat +ellps=WGS84", x, y, lon, lat));
        } else {
            lon = x;
            lat = y;
        }
        double col, row;
        ASSERT_TRUE(rdrtest::pixel_of(img.domain, lat, lon, col, row));
        EXPECT_NEAR(col, k.col, 0.1) << lat << " " << lon;
        EXPECT_NEAR(row, k.row, 0.1) << lat << " " << lon;
    }
}

INSTANTIATE_TEST_SUITE_P(Tiff, TiffReal, testing::ValuesIn(kTiff),
                         [](const testing::TestParamInfo<TiffCase> &i) {
                             std::string n = i.param.file;
                             for (char &ch : n)
                                 if (!isalnum((unsigned char)ch)) ch = '_';
                             return n;
                         });

TEST(TiffReal2, PackBitsAndPlainIntergraphHoldOnePicture)
{
    std::string dir = rdrtest::data_dir("tiff");
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no samples";
    IMG a, b;
    ASSERT_EQ(SAT_read_TIFF((dir + "intergraph_geog.tif").c_str(), &a), 0);
    ASSERT_EQ(SAT_read_TIFF((dir + "intergraph_merc.tif").c_str(), &b), 0);
    EXPECT_TRUE(rdrtest::image_bytes(a) == rdrtest::image_bytes(b));
    IMG_free(&a);
    IMG_free(&b);
}

TEST(TiffBad, CutRealFilesAreRefusedNamingTheFile)
{
    std::string dir = rdrtest::data_dir("tiff");
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no samples";
    for (const TiffCase &c : kTiff) {
        if (c.result) continue;
        std::vector<unsigned char> b = rdrtest::file_bytes(dir + c.file);
        for (int k = 1; k <= 10; k++) {
            size_t len = b.size() * k / 11;
            testing::internal::CaptureStderr();
            rdrtest::OwnedImg img;
            int r = rdrtest::read_as(IMG_SRC_TIFF, b.data(), len, &img, c.file);
            std::string err = testing::internal::GetCapturedStderr();
            EXPECT_EQ(r, -1) << c.file << " cut to " << len;
            EXPECT_NE(err.find(c.file), std::string::npos) << c.file << " cut to " << len << ": " << err;
        }
    }
}

// ---- built files ----

using tiffbuild::Builder;

TEST(TiffBuilt, BothByteOrdersShortOrLongSizesMakeAndDate)
{
    std::vector<unsigned char> pix(6 * 4);
    for (size_t i = 0; i < pix.size(); i++) pix[i] = (unsigned char)(i * 9);
    for (bool big : {false, true})
        for (unsigned type : {3u, 4u}) {
            Builder b;
            b.big = big;
            b.tag(256, type, {6});
            b.tag(257, type, {4});
            b.tag(258, 3, {8});
            b.ascii(271, "Maker");
            b.ascii(272, "Model 7");
            b.tag(273, 4, {0});  // patched below
            b.ascii(306, "2004:10:13 18:52:07");
            auto file = b.build({});
            // The pixels go at the end: set the strip offset now the size is known.
            b.entries[5].v = {(uint32_t)file.size()};
            file = b.build(pix);
            IMG img;
            ASSERT_EQ(rdrtest::read_as(IMG_SRC_TIFF, file.data(), file.size(), &img), 0);
            EXPECT_EQ(img.nx, 6);
            EXPECT_EQ(img.ny, 4);
            EXPECT_STREQ(img.info, "Maker Model 7");
            EXPECT_EQ(img.date.year, 2004);
            EXPECT_EQ(img.date.second, 7);
            EXPECT_EQ(img.domain.proj, -9999);
            EXPECT_TRUE(std::equal(pix.begin(), pix.end(), img.data));
            IMG_free(&img);
        }
}

TEST(TiffBuilt, TilesAreCroppedAtTheEdges)
{
    // 5 x 3 image in 4 x 2 tiles: 2 x 2 tiles, the right and bottom cropped.
    Builder b;
    std::vector<unsigned char> tiles;
    for (int t = 0; t < 4; t++)
        for (int i = 0; i < 8; i++) tiles.push_back((unsigned char)(t * 16 + i));
    b.tag(256, 3, {5});
    b.tag(257, 3, {3});
    b.tag(258, 3, {8});
    b.tag(322, 3, {4});
    b.tag(323, 3, {2});
    b.tag(324, 4, {0, 0, 0, 0});
    b.tag(325, 4, {8, 8, 8, 8});
    auto file = b.build({});
    uint32_t base = (uint32_t)file.size();
    b.entries[5].v = {base, base + 8, base + 16, base + 24};
    file = b.build(tiles);
    IMG img;
    ASSERT_EQ(rdrtest::read_as(IMG_SRC_TIFF, file.data(), file.size(), &img), 0);
    const unsigned char want[15] = {0, 1, 2, 3, 16, 4, 5, 6, 7, 20, 32, 33, 34, 35, 48};
    EXPECT_EQ(0, memcmp(img.data, want, 15));
    IMG_free(&img);
}

TEST(TiffBad, RefusedOrSurvivedDirectories)
{
    struct { const char *name; std::vector<unsigned char> file; int result; } cases[] = {
        {"not a TIFF", {'G', 'I', 'F', '8', '9', 'a'}, -1},
        {"directory past the end", {'I', 'I', 42, 0, 0xFF, 0xFF, 0, 0}, -1},
        {"65535 entries, none there", {'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF}, -1},
    };
    for (auto &c : cases) {
        IMG img;
        EXPECT_EQ(rdrtest::read_as(IMG_SRC_TIFF, c.file.data(), c.file.size(), &img), c.result)
            << c.name;
        IMG_free(&img);
    }
    // A strip past the end of the file is refused; a GeoKey count past its
    // tag only loses the keys.
    Builder cut;
    cut.tag(256, 3, {4});
    cut.tag(257, 3, {4});
    cut.tag(258, 3, {8});
    cut.tag(273, 4, {0xFFFFFF});
    cut.tag(279, 4, {0xFFFFFFF});
    auto file = cut.build({});
    IMG img;
    EXPECT_EQ(rdrtest::read_as(IMG_SRC_TIFF, file.data(), file.size(), &img), -1)
        << "strip past the end";
    IMG_free(&img);
    // A tile far larger than the image is refused, not allocated.
    Builder huge;
    huge.tag(256, 3, {4});
    huge.tag(257, 3, {4});
    huge.tag(258, 3, {8});
    huge.tag(322, 3, {65520});
    huge.tag(323, 3, {65520});
    huge.tag(324, 4, {8});
    huge.tag(325, 4, {16});
    file = huge.build({});
    EXPECT_EQ(rdrtest::read_as(IMG_SRC_TIFF, file.data(), file.size(), &img), -1) << "huge tile";
    IMG_free(&img);
    Builder keys;
    keys.tag(34735, 3, {1, 1, 0, 500, 1024, 0, 1, 2});
    file = keys.grey(4, 4, std::vector<unsigned char>(16, 7));
    EXPECT_EQ(rdrtest::read_as(IMG_SRC_TIFF, file.data(), file.size(), &img), 0);
    EXPECT_EQ(img.domain.proj, -9999) << "geographic key but no tiepoint";
    IMG_free(&img);
}

}  // namespace

namespace {

// The dispatch by input type over one file of each of this group's readers.
TEST(ReaderDispatch, InputTypesReachTheirReaders)
{
    struct { int type; const char *file; int source; } cases[] = {
        {53, "gini/pnggini", 53},
        {54, "gini/zlibgini", 53},
        {59, "tiff/intergraph_geog.tif", 59},
        {60, "lrit/IMG_DK01B05_202009201110_010.hrit", 60},
    };
    for (auto &c : cases) {
        std::string path = std::string(ZYR_SHARED_DATA) + "/" + c.file;
        if (!std::filesystem::exists(path)) GTEST_SKIP() << "no sample " << path;
        FLAG_set(FLAG_INPUT, c.type);
        rdrtest::OwnedImg img;
        ASSERT_EQ(SAT_read_file(path.c_str(), &img), 1) << c.file;
        EXPECT_EQ(img.source, c.source) << c.file;
        EXPECT_EQ(img.byte_order, 1) << c.file;
        if (c.source != 59) { EXPECT_NE(img.date_label[0], 0) << c.file; }  // the TIFFs carry no date
    }
    FLAG_set(FLAG_INPUT, IMG_SRC_TIFF);
    rdrtest::OwnedImg img;
    EXPECT_EQ(SAT_read_file("/nonexistent/x.tif", &img), 0);
}

}  // namespace
