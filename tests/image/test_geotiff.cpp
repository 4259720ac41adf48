// The GeoTIFF writer against GDAL and PROJ: for every projection it states, the corners gdalinfo gives, taken
// into a PROJ system written here from the domain's parameters, lie half a pixel beyond the outer grid points
// around the domain's centre as cs2cs projects it; gdallocationinfo reads the picture's indices, colours and
// values back; a projection GeoTIFF cannot state, or a grid that is not the picture's, leaves no file.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <sstream>

#include "../test_support.h"
#include "image/geotiff.h"
#include "image/img.h"

namespace {

#define NEED_GDAL()               \
    NEED_TOOL("gdalinfo");        \
    NEED_TOOL("gdallocationinfo"); \
    NEED_TOOL("gdalsrsinfo");     \
    NEED_TOOL("cs2cs")

constexpr int W = 64, H = 48;
constexpr float M = DOM_MISSING;

// A domain fitted to a W x H picture (dx, dy in 100 km, or degrees for latitude/longitude) and the same
// projection written for PROJ by hand, lon/lat order, on the 6371.22 km sphere.
struct Case {
    const char *name;
    int proj;
    float plat, plon, t1, t2, clat, clon, dx, dy;
    const char *proj4;
};
const Case kCases[] = {
    {"lat/lon", DOM_LATLON, M, 0, M, M, 40, -100, 0.5f, 0.4f, "+proj=longlat +R=6371220"},
    {"lat/lon across 180", DOM_LATLON, M, 180, M, M, -10, 180, 0.75f, 0.5f, "+proj=longlat +R=6371220"},
    {"Mercator", DOM_MERC, M, -90, M, M, 20, -80, 0.3f, 0.25f, "+proj=merc +lon_0=-90 +R=6371220"},
    {"polar stereographic north", DOM_PSTEREO, 60, -105, M, M, 50, -100, 0.5f, 0.4f,
     "+proj=stere +lat_0=90 +lat_ts=60 +lon_0=-105 +R=6371220"},
    {"polar stereographic south, true at -71", DOM_PSTEREO, -70, 0, -71, M, -70, 30, 0.6f, 0.5f,
     "+proj=stere +lat_0=-90 +lat_ts=-71 +lon_0=0 +R=6371220"},
    {"Lambert conformal tangent", DOM_LAMB, 25, -95, 25, 25, 38, -95, 0.4f, 0.4f,
     "+proj=lcc +lat_1=25 +lat_0=25 +lon_0=-95 +R=6371220"},
    {"Lambert conformal 30/60", DOM_LAMB, 40, 10, M, M, 50, 15, 0.3f, 0.35f,
     "+proj=lcc +lat_1=30 +lat_2=60 +lat_0=45 +lon_0=10 +R=6371220"},
    {"Lambert conformal south", DOM_LAMB, -30, 135, 30, 60, -35, 140, 0.5f, 0.5f,
     "+proj=lcc +lat_1=-30 +lat_2=-60 +lat_0=-40 +lon_0=135 +R=6371220"},
    {"Lambert azimuthal", DOM_LAMBAZ, 45, -100, M, M, 40, -90, 0.5f, 0.45f,
     "+proj=laea +lat_0=45 +lon_0=-100 +R=6371220"},
    {"orthographic", DOM_ORTHO, 30, -60, M, M, 35, -50, 0.2f, 0.25f, "+proj=ortho +lat_0=30 +lon_0=-60 +R=6371220"},
};

DOM domain_of(const Case &c)
{
    DOM d;
    DOM_init(&d);
    d.proj = c.proj, d.plat = c.plat, d.plon = c.plon, d.parm[0] = c.t1, d.parm[1] = c.t2;
    d.clat = c.clat, d.clon = c.clon, d.dx = c.dx, d.dy = c.dy, d.nx = W, d.ny = H;
    return d;
}

// A W x H picture of scattered indices on dom, with a colour table of whole 8-bit steps (so GDAL's 8-bit view
// of the 16-bit TIFF map is exact).
struct Picture {
    IMG im{};
    explicit Picture(const DOM &dom, int w = W, int h = H)
    {
        IMG_init(&im);
        im.nx = w, im.ny = h, im.depth = 8, im.bits_pixel = 8, im.bytes_line = w + 3;
        im.data = (unsigned char *)std::calloc((size_t)im.bytes_line * h, 1);
        for (int i = 0; i < im.bytes_line * h; i++) im.data[i] = (unsigned char)(i * 7919 % 253);
        im.indexed = 1, im.ncolors = 256;
        im.cmap = (float *)std::malloc(sizeof(float) * 3 * 256);
        for (int i = 0; i < 3 * 256; i++) im.cmap[i] = (float)(i * 37 % 256) / 255.0f;
        im.domain = dom;
    }
    ~Picture() { IMG_free(&im); }
    int at(int x, int y) const { return im.data[(size_t)y * im.bytes_line + x]; }
};

// gdalinfo's corners and centre, in the file's own system: upper left, upper right, lower left, lower right,
// centre.
std::vector<std::pair<double, double>> corners(const std::string &info)
{
    std::vector<std::pair<double, double>> out;
    for (const char *what : {"Upper Left", "Upper Right", "Lower Left", "Lower Right", "Center"}) {
        std::smatch m;
        const std::regex re(std::string(what) + R"(\s*\(\s*([-0-9.e+]+),\s*([-0-9.e+]+)\))");
        if (std::regex_search(info, m, re)) out.emplace_back(std::stod(m[1]), std::stod(m[2]));
    }
    return out;
}

std::string trim(std::string s)
{
    s.erase(0, s.find_first_not_of(" \t\n'"));
    s.erase(s.find_last_not_of(" \t\n'") + 1);
    return s;
}

// gdallocationinfo's answers at pixel centres, one line each.
std::vector<std::string> locations(const std::string &path, const std::vector<std::pair<int, int>> &px)
{
    std::ostringstream in;
    for (auto [x, y] : px) in << x + 0.5 << ' ' << y + 0.5 << '\n';
    const auto r = testutil::run({"gdallocationinfo", "-valonly", path}, "/", "", in.str());
    std::vector<std::string> out;
    std::istringstream lines(r.out);
    for (std::string l; std::getline(lines, l);) out.push_back(trim(l));
    return out;
}

std::vector<std::pair<int, int>> twenty_pixels()
{
    std::vector<std::pair<int, int>> px{{0, 0}, {W - 1, 0}, {0, H - 1}, {W - 1, H - 1}};
    for (int k = 0; px.size() < 20; k++) px.emplace_back(k * 13 % W, k * 29 % H);
    return px;
}

class GeoTiff : public testing::TestWithParam<Case> {};

TEST_P(GeoTiff, CornersHalfAPixelBeyondTheGridAndPixelsReadBack)
{
    NEED_GDAL();
    const Case &c = GetParam();
    testutil::ScratchDir dir;
    const std::string path = dir.file("p.tif");
    Picture pic(domain_of(c));
    ASSERT_EQ(GEOTIFF_write(path.c_str(), &pic.im, GEOTIFF_PALETTE), 1);

    const std::string info = testutil::run({"gdalinfo", path}).out;
    const std::string file_crs = trim(testutil::run({"gdalsrsinfo", "-o", "proj4", path}).out);
    ASSERT_NE(file_crs.find("+R=6371220"), std::string::npos) << file_crs;
    const auto got = corners(info);
    ASSERT_EQ(got.size(), 5u) << info;
    const auto in_test = testutil::cs2cs(file_crs, c.proj4, got);
    const auto centre = testutil::cs2cs("+proj=longlat +R=6371220", c.proj4, {{c.clon, c.clat}});
    ASSERT_EQ(in_test.size(), 5u);
    ASSERT_EQ(centre.size(), 1u);
    // Outer pixel edges: W/2 and H/2 spacings from the centre (the outer centres lie (W-1)/2 away).
    const bool geog = c.proj == DOM_LATLON;
    const double unit = geog ? 1 : 1e5, hx = W / 2.0 * c.dx * unit, hy = H / 2.0 * c.dy * unit;
    const double sx[] = {-1, 1, -1, 1, 0}, sy[] = {1, 1, -1, -1, 0};
    for (int k = 0; k < 5; k++) {
        double ex = centre[0].first + sx[k] * hx, ey = centre[0].second + sy[k] * hy;
        double gx = in_test[k].first;
        if (geog) gx += 360 * std::round((ex - gx) / 360);  // longitudes compare round the globe
        // A twentieth of a pixel: a half-pixel slip shows.
        EXPECT_NEAR(gx, ex, 0.05 * c.dx * unit) << c.name << " corner " << k << "\n" << info;
        EXPECT_NEAR(in_test[k].second, ey, 0.05 * c.dy * unit) << c.name << " corner " << k;
    }
    EXPECT_NE(info.find("Size is 64, 48"), std::string::npos);

    // The indices and their colours.
    const auto px = twenty_pixels();
    const auto vals = locations(path, px);
    ASSERT_EQ(vals.size(), px.size());
    for (size_t k = 0; k < px.size(); k++) {
        const int v = pic.at(px[k].first, px[k].second);
        EXPECT_EQ(vals[k], std::to_string(v)) << px[k].first << "," << px[k].second;
        char entry[64];
        std::snprintf(entry, sizeof entry, "\n  %3d: %d,%d,%d,255", v, (int)std::lround(pic.im.cmap[3 * v] * 255),
                      (int)std::lround(pic.im.cmap[3 * v + 1] * 255), (int)std::lround(pic.im.cmap[3 * v + 2] * 255));
        EXPECT_NE(info.find(entry), std::string::npos) << entry;
    }
}

INSTANTIATE_TEST_SUITE_P(Projections, GeoTiff, testing::ValuesIn(kCases), [](const auto &info) {
    std::string n = info.param.name;
    for (char &ch : n) ch = std::isalnum((unsigned char)ch) ? ch : '_';
    return n;
});

// The values file: grey counts with 0 as no-data, the field's name, and the offset, scale and units of counts
// linear in a quantity (not of temperatures on the infrared scale).
TEST(GeoTiffValues, CountsWithNoDataAndTheirQuantity)
{
    NEED_GDAL();
    testutil::ScratchDir dir;
    Picture pic(domain_of(kCases[2]));
    const std::string v = dir.file("v.tif");
    pic.im.value_kind = IMG_VALUE_LINEAR, pic.im.value_offset = -2.5f, pic.im.value_scale = 0.25f;
    std::snprintf(pic.im.value_units, sizeof pic.im.value_units, "mm h-1");
    std::snprintf(pic.im.value_name, sizeof pic.im.value_name, "RRQPE");
    ASSERT_EQ(GEOTIFF_write(v.c_str(), &pic.im, GEOTIFF_VALUES), 1);
    std::string info = testutil::run({"gdalinfo", v}).out;
    for (const char *line : {"NoData Value=0", "ColorInterp=Gray", "Description = RRQPE", "Offset: -2.5,   Scale:0.25",
                             "Unit Type: mm h-1\n"})
        EXPECT_NE(info.find(line), std::string::npos) << line << "\n" << info;
    EXPECT_EQ(info.find("Color Table"), std::string::npos);
    pic.im.value_kind = IMG_VALUE_TEMPERATURE;
    ASSERT_EQ(GEOTIFF_write(v.c_str(), &pic.im, GEOTIFF_VALUES), 1);
    info = testutil::run({"gdalinfo", v}).out;
    EXPECT_EQ(info.find("Scale:"), std::string::npos) << info;
    EXPECT_EQ(info.find("Unit Type"), std::string::npos) << info;
    const auto px = twenty_pixels();
    const auto vals = locations(v, px);
    ASSERT_EQ(vals.size(), px.size());
    for (size_t k = 0; k < px.size(); k++) EXPECT_EQ(vals[k], std::to_string(pic.at(px[k].first, px[k].second)));
}

// Domains a GeoTIFF cannot state give the message and no file; so do a grid that is not the picture's, a
// picture without pixels and a folder that does not exist (these with their own messages).
TEST(GeoTiffRefused, MessageAndNoFile)
{
    testutil::ScratchDir dir;
    const std::string path = dir.file("x.tif");
    const struct {
        const char *name;
        int proj, ellipsoid, result;
        const char *message;
    } rows[] = {
        {"satellite view", DOM_SAT, 0, -2, "GeoTIFF cannot state the plot domain (the satellite view"},
        {"satellite view on the ellipsoid", DOM_SAT, 1, -2, "GeoTIFF cannot state the plot domain (the satellite view"},
        {"Mollweide", DOM_MOLL, 0, -2, "GeoTIFF cannot state the plot domain (Mollweide"},
        {"gnomonic", DOM_GNOM, 0, -2, "GeoTIFF cannot state the plot domain (the gnomonic"},
        {"pixel space", DOM_PIXEL, 0, -2, "GeoTIFF cannot state the plot domain (not an earth projection"},
        {"no domain", DOM_MISSING, 0, -2, "GeoTIFF cannot state the plot domain (no map projection"},
    };
    for (const auto &r : rows) {
        DOM d = domain_of(kCases[0]);
        d.proj = r.proj, d.ellipsoid = r.ellipsoid, d.plat = 0, d.plon = -75, d.clat = 0, d.clon = -75;
        Picture pic(d);
        int got = 0;
        const std::string err = testutil::stderr_of([&] { got = GEOTIFF_write(path.c_str(), &pic.im, GEOTIFF_PALETTE); });
        EXPECT_EQ(got, r.result) << r.name;
        EXPECT_NE(err.find(r.message), std::string::npos) << r.name << ": " << err;
        EXPECT_NE(err.find(path), std::string::npos) << r.name;
        EXPECT_FALSE(std::filesystem::exists(path)) << r.name;
    }
    DOM wide = domain_of(kCases[0]);
    wide.nx = W + 1;
    Picture mismatch(wide), empty(domain_of(kCases[0])), fine(domain_of(kCases[0]));
    std::free(empty.im.data);
    empty.im.data = nullptr;
    const std::string nowhere = dir.file("no/such/x.tif");
    const struct {
        const char *name;
        const IMG *im;
        const std::string &path;
        const char *message;
    } bad[] = {
        {"grid", &mismatch.im, path, "The domain's grid (65 x 48) is not the picture's (64 x 48)"},
        {"no pixels", &empty.im, path, "No 8-bit picture to write"},
        {"folder", &fine.im, nowhere, "Unable to write GeoTIFF file"},
    };
    for (const auto &b : bad) {
        int got = -1;
        const std::string err = testutil::stderr_of([&] { got = GEOTIFF_write(b.path.c_str(), b.im, GEOTIFF_VALUES); });
        EXPECT_EQ(got, 0) << b.name;
        EXPECT_NE(err.find(b.message), std::string::npos) << b.name << ": " << err;
        EXPECT_NE(err.find(b.path), std::string::npos) << b.name;
        EXPECT_FALSE(std::filesystem::exists(b.path)) << b.name;
    }
}

}  // namespace
