// TIFF reader against GDAL on files made for the purpose: GeoTIFFs of every
// projection the reader places (pixel centres from gdaltransform), one
// picture written with every compression and layout gdal_translate offers
// (pixels against the uncompressed original), and cut or unknown files
// (refused, zyrsat status 10).
#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "../test_support.h"
#include "rdr_oracle.h"
#include "tiff_build.h"

namespace {

bool have_gdal() { return codec::have("gdal_translate") && codec::have("gdaltransform"); }

std::string as_string(const std::vector<unsigned char> &b) { return std::string(b.begin(), b.end()); }

// ---- placement: pixel centres against gdaltransform ----

struct GeoCase {
    const char *name;
    std::vector<std::pair<unsigned, unsigned>> shorts;  // GeoKeys with a SHORT value
    std::vector<std::pair<unsigned, double>> doubles;   // GeoKeys with a DOUBLE value
    double x0, y0, step;  // model position of raster (0, 0) and the pixel size
    bool matrix;          // georeferenced by ModelTransformation, not tiepoint and scale
    const char *geog;     // the file's geographic system, for gdaltransform -t_srs
    int proj;             // domain projection expected
};

const std::vector<std::pair<unsigned, unsigned>> kWgs = {{2048, 4326}, {3072, 32767}, {3076, 9001}};
const char *const kWgsGeog = "+proj=longlat +datum=WGS84";

std::vector<std::pair<unsigned, unsigned>> projected(unsigned ct,
                                                     std::vector<std::pair<unsigned, unsigned>> base = kWgs)
{
    base.insert(base.begin(), {{1024, 1}, {1025, 1}});
    base.push_back({3075, ct});
    return base;
}

const GeoCase kGeo[] = {
    {"Mercator, standard parallel only", projected(7), {{3078, 20}, {3080, -80}}, -1e6, 3e6, 25000,
     false, kWgsGeog, 3},
    {"Mercator, natural origin latitude only", projected(7), {{3080, -80}, {3081, 20}}, -1e6, 3e6,
     25000, false, kWgsGeog, 3},
    // GDAL writes the natural origin latitude 0 beside the standard parallel.
    {"Mercator, both latitudes", projected(7), {{3078, 20}, {3080, -80}, {3081, 0}}, -1e6, 3e6,
     25000, false, kWgsGeog, 3},
    {"Mercator, scale factor", projected(7), {{3080, -80}, {3092, 0.9}}, -1e6, 3e6, 25000, false,
     kWgsGeog, 3},
    {"Mercator, feet, false origin, NAD27, south",
     projected(7, {{2048, 4267}, {3072, 32767}, {3076, 9002}}),
     {{3078, -30}, {3080, 100}, {3082, 1000}, {3083, 2000}}, 2e6, -8e6, 60000, false,
     "+proj=longlat +datum=NAD27", 3},
    {"Mercator, transformation matrix", projected(7), {{3078, 45}, {3080, 170}}, 500000, 6e6, 20000,
     true, kWgsGeog, 3},
    {"Mercator, code 3857 only", {{1024, 1}, {1025, 1}, {3072, 3857}}, {}, -1e6, 3e6, 25000, false,
     "+proj=longlat +R=6378137", 3},
    {"Lambert, two parallels, NAD83", projected(8, {{2048, 4269}, {3072, 32767}, {3076, 9001}}),
     {{3078, 33}, {3079, 45}, {3084, -96}, {3085, 23}, {3086, 100000}, {3087, 200000}}, -1e6, 1.5e6,
     25000, false, "+proj=longlat +datum=NAD83", 4},
    {"Lambert, one parallel, scale factor", projected(9), {{3080, -95}, {3081, 25}, {3092, 0.999}},
     -1e6, 1.5e6, 25000, false, kWgsGeog, 4},
    {"Lambert, southern parallels", projected(8), {{3078, -20}, {3079, -40}, {3084, 130}, {3085, -30}},
     -1e6, 0, 25000, false, kWgsGeog, 4},
    {"polar stereographic, north, true at 70", projected(15), {{3081, 70}, {3092, 1}, {3095, -45}},
     -1e6, 0, 25000, false, kWgsGeog, 1},
    {"polar stereographic, south, true at -71", projected(15), {{3081, -71}, {3092, 1}, {3095, 10}},
     -1e6, 1e6, 25000, false, kWgsGeog, 1},
    {"polar stereographic, pole, scale 0.994", projected(15),
     {{3081, 90}, {3082, 2e6}, {3083, 2e6}, {3092, 0.994}, {3095, 0}}, 1e6, 3e6, 25000, false,
     kWgsGeog, 1},
    {"polar stereographic, code 3413 only", {{1024, 1}, {1025, 1}, {3072, 3413}}, {}, -1e6, 0, 25000,
     false, kWgsGeog, 1},
    {"geographic", {{1024, 2}, {1025, 1}, {2048, 4326}}, {}, -100, 50, 0.25, false, kWgsGeog, 2},
    {"geographic, pixel is point", {{1024, 2}, {1025, 2}, {2048, 4326}}, {}, -100, 50, 0.25, false,
     kWgsGeog, 2},
};

void PrintTo(const GeoCase &c, std::ostream *os) { *os << c.name; }

// A 40 x 30 GeoTIFF with the case's keys and georeference.
std::vector<unsigned char> geotiff(const GeoCase &c, int w, int h)
{
    tiffbuild::Builder b;
    std::vector<uint32_t> dir = {1, 1, 0, 0};
    std::vector<double> params;
    std::vector<std::pair<unsigned, int>> keys;  // key, short value or -1 - double index
    for (auto &s : c.shorts) keys.push_back({s.first, (int)s.second});
    for (auto &d : c.doubles) {
        keys.push_back({d.first, -1 - (int)params.size()});
        params.push_back(d.second);
    }
    std::sort(keys.begin(), keys.end());
    for (auto &k : keys) {
        bool dbl = k.second < 0;
        dir.insert(dir.end(), {k.first, dbl ? 34736u : 0u, 1, dbl ? (uint32_t)(-1 - k.second) : (uint32_t)k.second});
    }
    dir[3] = (uint32_t)keys.size();
    if (c.matrix) {
        b.doubles(34264, {c.step, 0, 0, c.x0, 0, -c.step, 0, c.y0, 0, 0, 0, 0, 0, 0, 0, 1});
    } else {
        b.doubles(33550, {c.step, c.step, 0});
        b.doubles(33922, {0, 0, 0, c.x0, c.y0, 0});
    }
    b.tag(34735, 3, dir);
    if (!params.empty()) b.doubles(34736, params);
    std::vector<unsigned char> pix((size_t)w * h);
    for (size_t i = 0; i < pix.size(); i++) pix[i] = (unsigned char)(i * 13);
    return b.grey(w, h, pix);
}

class TiffGdalGeo : public testing::TestWithParam<GeoCase> {};

TEST_P(TiffGdalGeo, FirstAndLastPixelCentresMatchGdaltransform)
{
    const GeoCase &c = GetParam();
    if (!have_gdal()) GTEST_SKIP() << "needs gdal-bin";
    const int w = 40, h = 30;
    std::vector<unsigned char> file = geotiff(c, w, h);
    testutil::ScratchDir dir;
    std::string path = dir.write("geo.tif", as_string(file));
    std::string out = codec::run("printf '0.5 0.5\\n" + std::to_string(w - 0.5) + " " +
                                 std::to_string(h - 0.5) + "\\n' | gdaltransform -t_srs '" +
                                 c.geog + "' '" + path + "' 2>&1");
    double lon[2], lat[2];
    ASSERT_EQ(sscanf(out.c_str(), "%lf %lf %*f %lf %lf", &lon[0], &lat[0], &lon[1], &lat[1]), 4) << out;

    rdrtest::OwnedImg img;
    ASSERT_EQ(rdrtest::read_as(IMG_SRC_TIFF, file.data(), file.size(), &img, "geo.tif"), 0);
    ASSERT_EQ(img.domain.proj, c.proj);
    const double want[2][2] = {{0, 0}, {w - 1.0, h - 1.0}};
    for (int k = 0; k < 2; k++) {
        double col, row;
        ASSERT_TRUE(rdrtest::pixel_of(img.domain, lat[k], lon[k], col, row));
        EXPECT_NEAR(col, want[k][0], 0.1) << lat[k] << " " << lon[k];
        EXPECT_NEAR(row, want[k][1], 0.1) << lat[k] << " " << lon[k];
    }
}

INSTANTIATE_TEST_SUITE_P(Tiff, TiffGdalGeo, testing::ValuesIn(kGeo),
                         [](const testing::TestParamInfo<GeoCase> &i) {
                             std::string n;
                             for (const char *p = i.param.name; *p; p++)
                                 if (isalnum((unsigned char)*p)) n += *p;
                                 else if (!n.empty() && n.back() != '_') n += '_';
                             return n;
                         });

// ---- compression and layout: pixels against the uncompressed original ----

// A 301 x 203 picture with smooth stretches and texture, as a binary PGM
// (odd sizes so strips and tiles end part way).
constexpr int kW = 301, kH = 203;

std::string picture()
{
    std::string px((size_t)kW * kH, '\0');
    for (int y = 0; y < kH; y++)
        for (int x = 0; x < kW; x++)
            px[(size_t)y * kW + x] = (char)((x * 3 + y * 2 + (x * y % 7) * 5 + (x / 40) * 17) & 255);
    return px;
}

struct Made {
    testutil::ScratchDir dir;
    std::string pgm;
    Made()
    {
        pgm = dir.write("orig.pgm", "P5\n" + std::to_string(kW) + " " + std::to_string(kH) +
                                        "\n255\n" + picture());
    }
    // gdal_translate of the original with these options; "" on failure.
    std::string tiff(const std::string &name, const std::string &opts) const
    {
        std::string out = dir.file(name);
        int st = 0;
        codec::run("gdal_translate -q -of GTiff " + opts + " '" + pgm + "' '" + out + "' 2>&1", &st);
        return st == 0 ? testutil::read_file(out) : std::string();
    }
};

// The value of a SHORT entry of the first directory set in place.
bool patch_short(std::string &file, unsigned tag, unsigned value)
{
    bool big = file.compare(0, 2, "MM") == 0;
    auto get = [&](size_t at, int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; i++)
            v |= (uint32_t)(unsigned char)file[at + i] << (8 * (big ? n - 1 - i : i));
        return v;
    };
    size_t ifd = get(4, 4), n = get(ifd, 2);
    for (size_t k = 0; k < n; k++) {
        size_t at = ifd + 2 + 12 * k;
        if (get(at, 2) != tag || get(at + 2, 2) != 3) continue;
        file[at + (big ? 8 : 9)] = (char)(value >> 8);
        file[at + (big ? 9 : 8)] = (char)(value & 255);
        return true;
    }
    return false;
}

// Decoded pixels, or "" when the reader refused the file.
std::string read_pixels(const std::string &file, const char *name)
{
    rdrtest::OwnedImg img;
    const auto *bytes = (const unsigned char *)file.data();
    if (rdrtest::read_as(IMG_SRC_TIFF, bytes, file.size(), &img, name) != 0) return {};
    return rdrtest::image_bytes(img);
}

TEST(TiffGdalCodec, PixelsEqualTheUncompressedOriginal)
{
    if (!have_gdal()) GTEST_SKIP() << "needs gdal-bin";
    Made m;
    struct { const char *name, *opts; unsigned compression; } cases[] = {
        {"none", "", 0},
        {"LZW", "-co COMPRESS=LZW", 0},
        {"LZW, horizontal predictor", "-co COMPRESS=LZW -co PREDICTOR=2", 0},
        {"Deflate (8)", "-co COMPRESS=DEFLATE", 0},
        {"Deflate (32946)", "-co COMPRESS=DEFLATE", 32946},
        {"PackBits", "-co COMPRESS=PACKBITS", 0},
        {"LZW in 64 x 48 tiles", "-co TILED=YES -co BLOCKXSIZE=64 -co BLOCKYSIZE=48 -co COMPRESS=LZW", 0},
        {"Deflate, big-endian", "-co ENDIANNESS=BIG -co COMPRESS=DEFLATE", 0},
        {"three samples per pixel", "-b 1 -b 1 -b 1 -co INTERLEAVE=PIXEL -co COMPRESS=DEFLATE", 0},
        {"three planes", "-b 1 -b 1 -b 1 -co INTERLEAVE=BAND -co COMPRESS=LZW", 0},
    };
    const std::string want = picture();
    for (auto &c : cases) {
        std::string file = m.tiff("x.tif", c.opts);
        ASSERT_FALSE(file.empty()) << c.name;
        if (c.compression) { ASSERT_TRUE(patch_short(file, 259, c.compression)) << c.name; }
        EXPECT_TRUE(read_pixels(file, c.name) == want) << c.name;
    }
}

TEST(TiffGdalCodec, JpegPixelsEqualGdalsDecoding)
{
    if (!have_gdal()) GTEST_SKIP() << "needs gdal-bin";
    Made m;
    struct { const char *name, *opts; } cases[] = {
        {"grey JPEG strips", "-co COMPRESS=JPEG"},
        {"YCbCr JPEG tiles", "-b 1 -b 1 -b 1 -co COMPRESS=JPEG -co PHOTOMETRIC=YCBCR -co TILED=YES"},
    };
    for (auto &c : cases) {
        std::string file = m.tiff("j.tif", c.opts);
        ASSERT_FALSE(file.empty()) << c.name;
        // GDAL's decoding of the first band, as a PGM.
        std::string pgm = m.dir.file("j.pgm");
        codec::run("gdal_translate -q -of PNM -b 1 '" + m.dir.file("j.tif") + "' '" + pgm + "'");
        std::string gdal = testutil::read_file(pgm);
        ASSERT_GE(gdal.size(), (size_t)kW * kH) << c.name;
        EXPECT_TRUE(read_pixels(file, c.name) == gdal.substr(gdal.size() - (size_t)kW * kH)) << c.name;
    }
}

TEST(TiffGdal16, HighBytesEqualTheEightBitOriginal)
{
    if (!have_gdal()) GTEST_SKIP() << "needs gdal-bin";
    Made m;
    // v -> 257 v: the high byte of every 16-bit sample is the 8-bit value.
    const std::string wide = "-ot UInt16 -scale 0 255 0 65535 ";
    const char *cases[] = {"", "-co COMPRESS=LZW", "-co ENDIANNESS=BIG -co COMPRESS=DEFLATE",
                           "-co TILED=YES -co BLOCKXSIZE=32 -co BLOCKYSIZE=32 -co COMPRESS=DEFLATE "
                           "-co PREDICTOR=2"};
    const std::string want = picture();
    for (const char *opts : cases) {
        std::string file = m.tiff("w.tif", wide + opts);
        ASSERT_FALSE(file.empty()) << opts;
        EXPECT_TRUE(read_pixels(file, opts) == want) << "16-bit " << opts;
    }
}

// ---- bad files ----

TEST(TiffGdalCut, CutFilesAreRefusedNamingTheFile)
{
    if (!have_gdal()) GTEST_SKIP() << "needs gdal-bin";
    Made m;
    const char *cases[] = {"", "-co COMPRESS=LZW", "-co COMPRESS=DEFLATE", "-co COMPRESS=PACKBITS",
                           "-co COMPRESS=JPEG", "-co TILED=YES -co BLOCKXSIZE=64 -co BLOCKYSIZE=64"};
    for (const char *opts : cases) {
        std::string file = m.tiff("c.tif", opts);
        ASSERT_FALSE(file.empty()) << opts;
        for (int k = 1; k <= 10; k++) {
            size_t len = file.size() * k / 11 + (k == 10 ? file.size() / 11 - 1 : 0);  // up to 1 byte short
            testing::internal::CaptureStderr();
            rdrtest::OwnedImg img;
            int r = rdrtest::read_as(IMG_SRC_TIFF, (const unsigned char *)file.data(), len, &img,
                                     "cut_file.tif");
            std::string err = testing::internal::GetCapturedStderr();
            EXPECT_EQ(r, -1) << opts << " cut to " << len << " of " << file.size();
            EXPECT_NE(err.find("cut_file.tif"), std::string::npos) << opts << " " << len << ": " << err;
        }
    }
}

TEST(TiffGdalCut, UnknownCompressionIsRefusedNamingIt)
{
    if (!have_gdal()) GTEST_SKIP() << "needs gdal-bin";
    Made m;
    std::string file = m.tiff("u.tif", "");
    ASSERT_TRUE(patch_short(file, 259, 50999));
    testing::internal::CaptureStderr();
    EXPECT_EQ(read_pixels(file, "odd.tif"), "");
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("odd.tif"), std::string::npos) << err;
    EXPECT_NE(err.find("compression 50999"), std::string::npos) << err;
}

TEST(TiffGdalCut, ZyrsatExitsTenOnACutFile)
{
    if (!have_gdal()) GTEST_SKIP() << "needs gdal-bin";
    Made m;
    std::string file = m.tiff("whole.tif", "-co COMPRESS=LZW");
    ASSERT_FALSE(file.empty());
    std::string cut = m.dir.write("cut.tif", file.substr(0, file.size() * 2 / 3));
    testutil::Result r = testutil::zyrsat({"-b", "-inp", "tiff", "-de", "p," + m.dir.file("x.ps"), cut},
                                m.dir.path());
    EXPECT_EQ(r.status, 10) << r.out;
    EXPECT_NE(r.out.find("cut.tif"), std::string::npos) << r.out;
}

}  // namespace
