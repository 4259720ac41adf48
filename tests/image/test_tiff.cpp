// TIFF and GeoTIFF against GDAL: every projection the reader places (pixel centres from gdaltransform),
// every compression and layout gdal_translate offers; built files for byte orders and bad directories.
#include <sstream>

#include "image/readers.h"
#include "codec_oracle.h"
#include "build.h"

namespace {

#define NEED_GDAL() \
    NEED_TOOL("gdal_translate"); \
    NEED_TOOL("gdaltransform")

// Pixels of a file's first band as GDAL writes them to a binary PGM.
std::string gdal_pixels(const std::string &path, size_t want)
{
    testutil::ScratchDir dir;
    testutil::run({"gdal_translate", "-q", "-of", "PNM", "-b", "1", path, dir.file("x.pgm")});
    std::string pgm = testutil::read_file(dir.file("x.pgm"));
    return pgm.size() < want ? "" : pgm.substr(pgm.size() - want);
}

// GeoKeys (SHORT values but for the DOUBLE ones 2057..2061 and 3078..3095);
// the model position of raster (0, 0) and the pixel size; matrix:
// georeferenced by ModelTransformation, not tiepoint and scale; the file's
// geographic system, for gdaltransform -t_srs; the domain projection expected.
using Keys = std::vector<std::pair<unsigned, double>>;
struct GeoCase { const char *name; Keys keys; double x0, y0, step; bool matrix; const char *geog; int proj; };

// Keys: 1024 model type, 1025 raster type, 2048 geographic system, 3072
// projected system, 3075 projection (7 Mercator, 8/9 Lambert 2SP/1SP, 15
// polar stereographic), 3076 linear unit; doubles: 3078/3079 standard
// parallels, 3080/3084 natural/false origin longitude, 3081/3085 latitudes,
// 3082/3083 false easting/northing, 3086/3087 false origin ones, 3092 scale,
// 3095 straight vertical pole.
const char *const kWgsGeog = "+proj=longlat +datum=WGS84";
Keys projected(unsigned ct, Keys more, unsigned gcs = 4326, unsigned unit = 9001)
{
    more.insert(more.end(), {{1024, 1}, {1025, 1}, {2048, gcs}, {3072, 32767}, {3075, ct}, {3076, unit}});
    return more;
}

const GeoCase kGeo[] = {
    {"Mercator, standard parallel only", projected(7, {{3078, 20}, {3080, -80}}), -1e6, 3e6, 25000, false, kWgsGeog, 3},
    {"Mercator, natural origin latitude", projected(7, {{3080, -80}, {3081, 20}}), -1e6, 3e6, 25000, false, kWgsGeog, 3},
    // GDAL writes the natural origin latitude 0 beside the standard parallel.
    {"Mercator, both latitudes", projected(7, {{3078, 20}, {3080, -80}, {3081, 0}}), -1e6, 3e6, 25000, false, kWgsGeog, 3},
    {"Mercator, scale factor", projected(7, {{3080, -80}, {3092, 0.9}}), -1e6, 3e6, 25000, false, kWgsGeog, 3},
    {"Mercator, feet, false origin, NAD27, south", projected(7, {{3078, -30}, {3080, 100}, {3082, 1000}, {3083, 2000}}, 4267, 9002),
     2e6, -8e6, 60000, false, "+proj=longlat +datum=NAD27", 3},
    {"Mercator, transformation matrix", projected(7, {{3078, 45}, {3080, 170}}), 500000, 6e6, 20000, true, kWgsGeog, 3},
    {"Mercator, code 3857 only", {{1024, 1}, {1025, 1}, {3072, 3857}}, -1e6, 3e6, 25000, false, "+proj=longlat +R=6378137", 3},
    {"Lambert, two parallels, NAD83", projected(8, {{3078, 33}, {3079, 45}, {3084, -96}, {3085, 23}, {3086, 1e5}, {3087, 2e5}}, 4269),
     -1e6, 1.5e6, 25000, false, "+proj=longlat +datum=NAD83", 4},
    {"Lambert, one parallel, scale", projected(9, {{3080, -95}, {3081, 25}, {3092, 0.999}}), -1e6, 1.5e6, 25000, false, kWgsGeog, 4},
    {"Lambert, southern", projected(8, {{3078, -20}, {3079, -40}, {3084, 130}, {3085, -30}}), -1e6, 0, 25000, false, kWgsGeog, 4},
    {"polar stereographic, true at 70", projected(15, {{3081, 70}, {3092, 1}, {3095, -45}}), -1e6, 0, 25000, false, kWgsGeog, 1},
    {"polar stereographic, south", projected(15, {{3081, -71}, {3092, 1}, {3095, 10}}), -1e6, 1e6, 25000, false, kWgsGeog, 1},
    {"polar stereographic, pole, scale 0.994", projected(15, {{3081, 90}, {3082, 2e6}, {3083, 2e6}, {3092, 0.994}, {3095, 0}}),
     1e6, 3e6, 25000, false, kWgsGeog, 1},
    {"polar stereographic, code 3413 only", {{1024, 1}, {1025, 1}, {3072, 3413}}, -1e6, 0, 25000, false, kWgsGeog, 1},
    {"geographic", {{1024, 2}, {1025, 1}, {2048, 4326}}, -100, 50, 0.25, false, kWgsGeog, 2},
    {"geographic, pixel is point", {{1024, 2}, {1025, 2}, {2048, 4326}}, -100, 50, 0.25, false, kWgsGeog, 2},
};

// A 40 x 30 GeoTIFF with the case's keys (in key order) and georeference.
build::Bytes geotiff(GeoCase c)
{
    build::Tiff b;
    std::vector<uint32_t> dir = {1, 1, 0, (uint32_t)c.keys.size()};
    std::vector<double> params;
    std::sort(c.keys.begin(), c.keys.end());
    for (auto [key, v] : c.keys) {
        const bool dbl = (key >= 2057 && key <= 2061) || (key >= 3078 && key <= 3095);
        dir.insert(dir.end(), {key, dbl ? 34736u : 0u, 1, dbl ? (uint32_t)params.size() : (uint32_t)v});
        if (dbl) params.push_back(v);
    }
    if (c.matrix) b.doubles(34264, {c.step, 0, 0, c.x0, 0, -c.step, 0, c.y0, 0, 0, 0, 0, 0, 0, 0, 1});
    if (!c.matrix) b.doubles(33550, {c.step, c.step, 0}), b.doubles(33922, {0, 0, 0, c.x0, c.y0, 0});
    b.tag(34735, 3, dir);
    if (!params.empty()) b.doubles(34736, params);
    build::Bytes pix(40 * 30);
    for (size_t i = 0; i < pix.size(); i++) pix[i] = (unsigned char)(i * 13);
    return b.grey(40, 30, pix);
}

class TiffGdalGeo : public testing::TestWithParam<GeoCase> {};

TEST_P(TiffGdalGeo, FirstAndLastPixelCentresMatchGdaltransform)
{
    const GeoCase &c = GetParam();
    NEED_GDAL();
    const int w = 40, h = 30;
    build::Bytes file = geotiff(c);
    testutil::ScratchDir dir;
    // Where GDAL puts the upper-left and lower-right pixel centres: lon lat z for each.
    const std::string cmd = "gdaltransform -t_srs " + testutil::quote(c.geog) + " " + dir.write("geo.tif", std::string(file.begin(), file.end()));
    std::istringstream in(testutil::run({"sh", "-c", cmd + " 2>/dev/null"}, "/", "", "0.5 0.5\n39.5 29.5\n").out);
    std::vector<double> ll;
    for (double v; in >> v;) ll.push_back(v);
    ASSERT_EQ(ll.size(), 6u);
    codec::Rec img;
    ASSERT_EQ(codec::read_as(IMG_SRC_TIFF, file.data(), file.size(), &img, "geo.tif"), 0);
    ASSERT_EQ(img.domain.proj, c.proj);
    for (int k = 0; k < 2; k++) {
        double col, row;
        ASSERT_TRUE(codec::pixel_of(img.domain, ll[3 * k + 1], ll[3 * k], col, row));
        EXPECT_NEAR(col, k * (w - 1.0), 0.1) << ll[3 * k + 1] << " " << ll[3 * k];
        EXPECT_NEAR(row, k * (h - 1.0), 0.1) << ll[3 * k + 1] << " " << ll[3 * k];
    }
}

INSTANTIATE_TEST_SUITE_P(Tiff, TiffGdalGeo, testing::ValuesIn(kGeo), [](const auto &i) { return codec::case_name(i.param.name); });

// A 301 x 203 picture with smooth stretches and texture (odd sizes so strips
// and tiles end part way).
constexpr int kW = 301, kH = 203;
std::string picture()
{
    std::string px((size_t)kW * kH, '\0');
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++) px[(size_t)y * kW + x] = (char)((x * 3 + y * 2 + (x * y % 7) * 5 + (x / 40) * 17) & 255);
    return px;
}

// gdal_translate of the picture with these options; "" on failure.
std::string gdal_tiff(const testutil::ScratchDir &dir, const std::string &opts)
{
    std::string pgm = dir.write("orig.pgm", "P5\n" + std::to_string(kW) + " " + std::to_string(kH) + "\n255\n" + picture());
    if (testutil::shell("gdal_translate -q -of GTiff " + opts + " '" + pgm + "' '" + dir.file("x.tif") + "'").status != 0) return {};
    return testutil::read_file(dir.file("x.tif"));
}

// Every compression and layout decodes to the original picture (JPEG to
// GDAL's own decoding; 16-bit samples scaled by 257 to their high byte).
TEST(TiffGdalCodec, PixelsEqualTheOriginalOrGdalsDecoding)
{
    NEED_GDAL();
    testutil::ScratchDir dir;
    const std::string wide = "-ot UInt16 -scale 0 255 0 65535 ";
    struct { const char *name; std::string opts; bool jpeg; } cases[] = {
        {"none", "", false}, {"LZW", "-co COMPRESS=LZW", false},
        {"LZW, horizontal predictor", "-co COMPRESS=LZW -co PREDICTOR=2", false},
        {"Deflate", "-co COMPRESS=DEFLATE", false}, {"PackBits", "-co COMPRESS=PACKBITS", false},
        {"LZW in 64 x 48 tiles", "-co TILED=YES -co BLOCKXSIZE=64 -co BLOCKYSIZE=48 -co COMPRESS=LZW", false},
        {"Deflate, big-endian", "-co ENDIANNESS=BIG -co COMPRESS=DEFLATE", false},
        {"three samples per pixel", "-b 1 -b 1 -b 1 -co INTERLEAVE=PIXEL -co COMPRESS=DEFLATE", false},
        {"three planes", "-b 1 -b 1 -b 1 -co INTERLEAVE=BAND -co COMPRESS=LZW", false},
        {"16-bit", wide, false}, {"16-bit LZW", wide + "-co COMPRESS=LZW", false},
        {"16-bit big-endian Deflate", wide + "-co ENDIANNESS=BIG -co COMPRESS=DEFLATE", false},
        {"16-bit tiles, predictor", wide + "-co TILED=YES -co BLOCKXSIZE=32 -co BLOCKYSIZE=32 -co COMPRESS=DEFLATE -co PREDICTOR=2", false},
        {"grey JPEG strips", "-co COMPRESS=JPEG", true},
        {"YCbCr JPEG tiles", "-b 1 -b 1 -b 1 -co COMPRESS=JPEG -co PHOTOMETRIC=YCBCR -co TILED=YES", true},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::string file = gdal_tiff(dir, c.opts);
        ASSERT_FALSE(file.empty());
        codec::Rec img;
        ASSERT_EQ(codec::read_as(IMG_SRC_TIFF, (const unsigned char *)file.data(), file.size(), &img, c.name), 0);
        EXPECT_TRUE(codec::image_bytes(img) == (c.jpeg ? gdal_pixels(dir.file("x.tif"), (size_t)kW * kH) : picture()));
    }
}

using build::Tiff;

// Both byte orders, sizes as SHORT or LONG, Make and Model, the date.
TEST(TiffBuilt, BothByteOrdersShortOrLongSizesMakeAndDate)
{
    const build::Bytes pix = build::ramp(6 * 4);
    for (bool big : {false, true})
        for (unsigned type : {3u, 4u}) {
            SCOPED_TRACE(testing::Message() << "big " << big << " type " << type);
            Tiff b;
            b.big = big;
            b.tag(256, type, {6}), b.tag(257, type, {4}), b.tag(258, 3, {8}), b.ascii(271, "Maker"), b.ascii(272, "Model 7");
            b.tag(273, 4, {0}), b.ascii(306, "2004:10:13 18:52:07");
            b.entries[5].v = {(uint32_t)b.build({}).size()};  // the pixels go at the end
            auto file = b.build(pix);
            codec::Rec img;
            ASSERT_EQ(codec::read_as(IMG_SRC_TIFF, file.data(), file.size(), &img), 0);
            EXPECT_EQ(std::vector<int>({img.nx, img.ny, img.date.year, img.date.second, img.domain.proj}),
                      (std::vector<int>{6, 4, 2004, 7, -9999}));
            EXPECT_STREQ(img.info, "Maker Model 7");
            EXPECT_TRUE(std::equal(pix.begin(), pix.end(), img.data));
        }
}

// A strip past the end of the file and a tile far larger than the image are
// refused, not allocated; an unknown compression is refused naming its code;
// a GeoKey count past its tag only loses the keys.
TEST(TiffBad, RefusedOrSurvivedDirectories)
{
    Tiff cut, huge, keys, odd;
    cut.tag(256, 3, {4}), cut.tag(257, 3, {4}), cut.tag(258, 3, {8}), cut.tag(273, 4, {0xFFFFFF}), cut.tag(279, 4, {0xFFFFFFF});
    huge.tag(256, 3, {4}), huge.tag(257, 3, {4}), huge.tag(258, 3, {8}), huge.tag(322, 3, {65520}), huge.tag(323, 3, {65520});
    huge.tag(324, 4, {8}), huge.tag(325, 4, {16});
    keys.tag(34735, 3, {1, 1, 0, 500, 1024, 0, 1, 2});
    odd.tag(259, 3, {50999});
    struct { const char *name; build::Bytes file; int result; const char *err = ""; } cases[] = {
        {"not a TIFF", {'G', 'I', 'F', '8', '9', 'a'}, -1},
        {"directory past the end", {'I', 'I', 42, 0, 0xFF, 0xFF, 0, 0}, -1},
        {"65535 entries, none there", {'I', 'I', 42, 0, 8, 0, 0, 0, 0xFF, 0xFF}, -1},
        {"strip past the end", cut.build({}), -1}, {"huge tile", huge.build({}), -1},
        {"unknown compression", odd.grey(4, 4, build::Bytes(16, 7)), -1, "odd.tif: compression 50999"},
        {"geographic key but no tiepoint", keys.grey(4, 4, build::Bytes(16, 7)), 0},
    };
    for (auto &c : cases) {
        codec::Rec img;
        std::string err = testutil::stderr_of([&] {
            EXPECT_EQ(codec::read_as(IMG_SRC_TIFF, c.file.data(), c.file.size(), &img, "odd.tif"), c.result) << c.name;
        });
        EXPECT_EQ(img.domain.proj, -9999) << c.name;
        EXPECT_NE(err.find(c.err), std::string::npos) << c.name << ": " << err;
    }
    IMG img;
    EXPECT_EQ(SAT_read_TIFF("/nonexistent/x.tif", &img), -1);
}

}  // namespace
