// Exact nearest-neighbour remapping against gdalwarp: a noise image in the satellite view (scan angles, ellipsoid)
// written as a +proj=geos GeoTIFF and warped with -r near -et 0 onto the same lat/lon grid.
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/res.h"
#include "satproc/remap.h"
#include "satproc/sat_param.h"
#include "tests/test_support.h"

namespace {

TEST(RemapGdal, ExactNearestMatchesGdalwarp)
{
    NEED_TOOL("gdalwarp");
    NEED_TOOL("gdal_translate");
    testutil::ScratchDir dir;
    const int n = 600;
    const double angle = 0.32 / n, h = 35785831.0;  // radians per pixel, satellite height in m
    IMG img;
    IMG_init(&img);
    img.nx = img.ny = img.bytes_line = n;
    img.depth = 8;
    img.source = 50;
    img.data = (unsigned char *)std::malloc((size_t)n * n);
    std::mt19937 rng(3);
    for (int i = 0; i < n * n; ++i) img.data[i] = (unsigned char)(1 + rng() % 255);
    DOM &s = img.domain;
    DOM_init(&s);
    s.proj = DOM_SAT, s.plat = s.plon = s.clat = s.clon = 0, s.parm[0] = 421.64f, s.parm[1] = 1, s.ellipsoid = 1;
    s.nx = s.ny = n, s.dx = s.dy = (float)(angle * 421.64);

    std::string pgm = dir.write("src.pgm", "P5\n600 600\n255\n" + std::string((const char *)img.data, (size_t)n * n)),
                tif = dir.file("src.tif"), out = dir.file("out.tif");
    // Grid points are pixel centres: the edges lie half a spacing outside.
    const double e = n / 2.0 * angle * h;
    char cmd[2048];
    std::snprintf(cmd, sizeof cmd,
                  "gdal_translate -q -a_srs '+proj=geos +h=35785831 +a=6378137 +b=6356752.31414 +lon_0=0 +sweep=y' "
                  "-a_ullr %.4f %.4f %.4f %.4f %s %s",
                  -e, e, e, -e, pgm.c_str(), tif.c_str());
    ASSERT_EQ(testutil::shell(cmd).status, 0);
    const int W = 240, H = 200;
    const double d = 0.25, clat = 15, clon = -20;
    std::snprintf(cmd, sizeof cmd,
                  "gdalwarp -q -r near -et 0 -t_srs EPSG:4326 -te %.4f %.4f %.4f %.4f -ts %d %d %s %s && "
                  "gdal_translate -q -of PNM %s %s",
                  clon - W / 2.0 * d, clat - H / 2.0 * d, clon + W / 2.0 * d, clat + H / 2.0 * d, W, H, tif.c_str(),
                  out.c_str(), out.c_str(), dir.file("out.pgm").c_str());
    ASSERT_EQ(testutil::shell(cmd).status, 0);
    std::string ref = testutil::read_file(dir.file("out.pgm"));  // binary PGM, as gdal_translate -of PNM writes it
    ASSERT_EQ(ref.substr(0, 15), "P5\n240 200\n255\n");
    ASSERT_EQ(ref.erase(0, 15).size(), (size_t)W * H);

    SAT_param_reset();
    SAT_set_tran_sat(0);
    SAT_set_remap_inc(0);
    SAT_set_pix_ave(0);
    DOM o;
    DOM_init(&o);
    o.proj = DOM_LATLON, o.clat = (float)clat, o.clon = (float)clon, o.nx = W, o.ny = H, o.dx = o.dy = (float)d;
    ASSERT_EQ(SAT_remap_image(&img, &o), 1);
    // The known differences: three output pixels (column, row) where the two programs pick different nearest
    // neighbours, listed so that a new difference fails and a vanished one is noticed.
    const std::vector<std::pair<int, int>> known = {{72, 84}, {81, 155}, {81, 164}};
    std::vector<std::pair<int, int>> differ;
    int total = 0;
    for (int j = 2; j < H - 2; ++j)
        for (int i = 2; i < W - 2; ++i) {
            double lat = (clat + (H - 1) / 2.0 * d - j * d) * M_PI / 180;
            double lon = (clon - (W - 1) / 2.0 * d + i * d) * M_PI / 180;
            if (std::acos(std::cos(lat) * std::cos(lon)) > 70 * M_PI / 180) continue;  // near the limb
            ++total;
            if (img.data[j * W + i] != (unsigned char)ref[(size_t)j * W + i]) differ.emplace_back(i, j);
        }
    EXPECT_EQ(total, 46256);
    EXPECT_EQ(differ, known);
    IMG_free(&img);
}

}  // namespace
