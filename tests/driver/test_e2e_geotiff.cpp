// GeoTIFF files from a whole run: the frame's values file holds the pixels the native image file of the same
// frame holds, the picture file the colours the window shows, their corners lie half a window pixel beyond the requested domain's edges (the domain as fitted
// to the window, worked out by hand), and a satellite-view plot gets the message and no file.
#include <regex>
#include <sstream>

#include "../test_support.h"
#include "image/img.h"

namespace {

const std::string kGini = "gini/EAST-CONUS_8km_13.3_20050912_2240.gini";

class E2eGeoTiff : public testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(testutil::kZyrsat)) GTEST_SKIP() << "no zyrsat built";
        NEED_SHARED(kGini);
        NEED_TOOL("gdalinfo");
        NEED_TOOL("gdallocationinfo");
        gini = dir.write("in.gini", testutil::read_file(testutil::shared(kGini)));
    }
    testutil::Result plot(const std::string &domain)
    {
        return testutil::zyrsat({"-b", "-de", "d,mem", "-ge", "300x200", "-inp", "awip", "-pd", domain, "-of",
                                 "img=out.zyr", "-pp", "geotiff=p_%i.tif,geoval=v.tif", gini},
                                dir.path());
    }
    testutil::ScratchDir dir;
    std::string gini;
};

// -pd ll,35,-90,101,61,0.5,0.5: grid points from 115 W to 65 W and 20 N to 50 N, spread over the window's
// w x h pixels, so a pixel is 50/(w-1) by 30/(h-1) degrees and the corners lie half of that beyond.
TEST_F(E2eGeoTiff, ValuesAreTheFramesPixelsOnTheWindowSizedDomain)
{
    const auto r = plot("ll,35,-90,101,61,0.5,0.5");
    ASSERT_EQ(r.status, 0) << r.out;
    IMG zyr;
    IMG_init(&zyr);
    ASSERT_NE(IMG_read(dir.file("out.zyr").c_str(), &zyr, 0), 0) << r.out;
    const int w = zyr.nx, h = zyr.ny;
    ASSERT_GT(w, 100);
    const std::string values = dir.file("v.tif");
    for (const std::string &f : {values, dir.file("p_win.tif")}) {
        const std::string info = testutil::run({"gdalinfo", f}).out;
        ASSERT_NE(info.find("Size is " + std::to_string(w) + ", " + std::to_string(h)), std::string::npos) << info;
        const double px = 50.0 / (w - 1), py = 30.0 / (h - 1);
        const struct { const char *what; double lon, lat; } corner[] = {
            {"Upper Left", -115 - px / 2, 50 + py / 2}, {"Lower Right", -65 + px / 2, 20 - py / 2}};
        for (const auto &c : corner) {
            std::smatch m;
            ASSERT_TRUE(std::regex_search(info, m, std::regex(std::string(c.what) + R"(\s*\(\s*([-0-9.]+),\s*([-0-9.]+)\))")))
                << info;
            EXPECT_NEAR(std::stod(m[1]), c.lon, 0.05 * px) << c.what;
            EXPECT_NEAR(std::stod(m[2]), c.lat, 0.05 * py) << c.what;
        }
    }
    std::ostringstream in;
    std::vector<int> want;
    for (int k = 0; k < 20; k++) {
        const int x = (k * 37 + 5) % w, y = (k * 23 + 3) % h;
        in << x + 0.5 << ' ' << y + 0.5 << '\n';
        want.push_back(zyr.data[(size_t)y * zyr.bytes_line + x]);
    }
    std::istringstream got(testutil::run({"gdallocationinfo", "-valonly", values}, "/", "", in.str()).out);
    int nonzero = 0;
    for (int k = 0; k < 20; k++) {
        int v = -1;
        got >> v;
        EXPECT_EQ(v, want[k]) << "pixel " << k;
        nonzero += want[k] != 0;
    }
    EXPECT_GT(nonzero, 10);  // the pixels sampled lie on the image
    IMG_free(&zyr);
}

// With only the data drawn on a full-window panel, the picture file's colours (GDAL expands its colour table)
// are the window's pixels where the panel lies, every one of them.
TEST_F(E2eGeoTiff, PictureIsTheFramesPanel)
{
    NEED_NUMPY();
    NEED_TOOL("gdal_translate");
    const auto r = testutil::zyrsat({"-b", "-de", "d,mem", "-ge", "300x200", "-inp", "awip", "-pd",
                                     "ll,35,-90,101,61,0.5,0.5", "-dr", "data", "-pp", "full,png=w.png,geotiff=p.tif",
                                     gini},
                                    dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    ASSERT_EQ(testutil::run({"gdal_translate", "-q", "-of", "PNM", "-expand", "rgb", dir.file("p.tif"),
                             dir.file("p.ppm")}).status, 0);
    // The smallest count of differing pixels over every placement of the picture in the window.
    const std::string py = R"PY(
import sys, numpy as np
from PIL import Image
w = np.array(Image.open(sys.argv[1]).convert('RGB')).astype(int)
p = np.array(Image.open(sys.argv[2]).convert('RGB')).astype(int)
h, v = p.shape[0], p.shape[1]
best = min(((w[y:y + h, x:x + v] != p).any(axis=2).sum(), x, y)
           for y in range(w.shape[0] - h + 1) for x in range(w.shape[1] - v + 1))
print(best[0], p.size // 3)
)PY";
    const auto out = testutil::run({testutil::python(), "-c", py, dir.file("w.png"), dir.file("p.ppm")}).out;
    int differ = -1, pixels = 0;
    ASSERT_EQ(std::sscanf(out.c_str(), "%d %d", &differ, &pixels), 2) << out;
    EXPECT_EQ(differ, 0) << out;
    EXPECT_GT(pixels, 250 * 150);
}

TEST_F(E2eGeoTiff, SatelliteViewGetsAMessageAndNoFile)
{
    const auto r = plot("sat:0:-75,30,-90,101,61,0.1,0.1");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("GeoTIFF cannot state the plot domain (the satellite view has no GeoTIFF projection), no "
                         "file written: v.tif"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("no file written: p_win.tif"), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("v.tif")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("p_win.tif")));
}

// With the TIFF library unloadable (a file by its soname first on the loader's path that is no library), a TIFF
// input and each GeoTIFF output get a message naming the file and the library, and the rest of the run goes on:
// the GINI's frame is drawn and its PNG written.
TEST_F(E2eGeoTiff, WithoutTheTiffLibraryOnlyTiffFilesAreRefused)
{
    const char *tiff = "tiff/intergraph_geog.tif";
    NEED_SHARED(tiff);
    dir.write("tif.tif", testutil::read_file(testutil::shared(tiff)));
    std::filesystem::create_directory(dir.file("lib"));
    dir.write(std::string("lib/") + ZYR_TIFF_SONAME, "not a library\n");
    const std::string env = "LD_LIBRARY_PATH=" + dir.file("lib");
    const std::string unloadable = "the TIFF library " ZYR_TIFF_SONAME " cannot be loaded";

    auto r = testutil::zyrsat({"-b", "-de", "d,mem", "-ge", "300x200", "-inp", "awip", "-pd", "us", "-pp",
                               "png=w.png,geotiff=p.tif,geoval=v.tif", gini},
                              dir.path(), env);
    EXPECT_EQ(r.status, 0) << r.out;
    for (const char *out : {"p.tif", "v.tif"}) {
        EXPECT_NE(r.out.find("Unable to write GeoTIFF file (" + unloadable), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(std::string("): ") + out), std::string::npos) << out << "\n" << r.out;
        EXPECT_FALSE(std::filesystem::exists(dir.file(out))) << out;
    }
    EXPECT_GT(std::filesystem::file_size(dir.file("w.png")), 1000u);

    r = testutil::zyrsat({"-b", "-de", "d,mem", "-ge", "300x200", "-inp", "tiff", "-pp", "png=t.png", "tif.tif"},
                         dir.path(), env);
    EXPECT_EQ(r.status, 10) << r.out;  // the one file cannot be read
    EXPECT_NE(r.out.find("tif.tif: the pixels cannot be decoded: " + unloadable), std::string::npos) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("t.png")));
}

}  // namespace
