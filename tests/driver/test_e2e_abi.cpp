// GOES-R fixed-grid netCDF files through the built zyrsat: each sample onto a
// lat/lon and a Lambert domain, the labels and bar a product gets, the
// coastlines on the rain-rate picture where cs2cs puts them, a loop of the
// two rain-rate files (named, and found by date in a satellite folder), a
// chosen variable, and a CONUS plot that decodes only
// a fraction of the full disk's rows.
#include <array>
#include <cmath>
#include <cstring>
#include <regex>
#include <set>
#include <sstream>
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using testutil::Raster;
using testutil::Result;

const std::string kRain1 = "abi/CG_ABI-L2-RRQPEF-M6_G16_s20230761440209_e20230761449517_c20230761450032.nc";
const std::string kRain2 = "abi/OR_ABI-L2-RRQPEF-M6_G16_s20230761510209_e20230761519517_c20230761520040.nc";
const std::string kFire = "abi/CG_ABI-L2-FDCF-M6_G16_s20230761440209_e20230761449517_c20230761450058.nc";
const std::string kAod = "abi/OR_ABI-L2-AODF-M3_G16_s20190811000369_e20190811011136_c20190811012168.nc";
const std::string kGlm = "abi/OR_GLM-L2-GLMC-M3_G16_s20181830433000_e20181830434000_c20191931535490.nc";

// Domains: the Americas in lat/lon, CONUS in Lambert conformal (true latitudes 30 and 60, 5 km), and for the
// aerosol file, taken at 10 UTC, the sunlit east Atlantic and west Africa.
const std::string kLatLon = "ll,15,-85,321,241,0.25,0.25";
const std::string kLambert = "lamb,38,-95,241,161,0.2,0.2";
const std::string kLatLonEast = "ll,15,-15,321,241,0.25,0.25";
const std::string kLambertEast = "lamb,25,-20,241,161,0.2,0.2";
constexpr double kLambertCentreLat = 38, kLambertCentreLon = -95, kLambertStepKm = 20;
constexpr int kLambertNx = 241, kLambertNy = 161;

// The colours of the default value ramp (ColorBrewer Spectral in the bundled colour table), and which of them a
// picture's pixel shows (-1 none); a channel may be one off, as the window's colour cells round.
class Ramp {
public:
    Ramp()
    {
        std::istringstream table(testutil::read_file(ZYR_DATA_DIR "/zyr.clr"));
        for (std::string line; std::getline(table, line);) {
            char name[32];
            float c[3];
            if (std::sscanf(line.c_str(), "%31s %f %f %f", name, &c[0], &c[1], &c[2]) == 4 &&
                !std::strncmp(name, "spectral", 8))
                colours_.push_back({(int)std::lround(c[0] * 255), (int)std::lround(c[1] * 255),
                                    (int)std::lround(c[2] * 255)});
        }
    }
    size_t size() const { return colours_.size(); }
    int index(unsigned rgb) const
    {
        for (size_t k = 0; k < colours_.size(); ++k)
            if (std::abs(colours_[k][0] - (int)(rgb >> 16)) <= 1 && std::abs(colours_[k][1] - (int)(rgb >> 8 & 255)) <= 1 &&
                std::abs(colours_[k][2] - (int)(rgb & 255)) <= 1)
                return (int)k;
        return -1;
    }

private:
    std::vector<std::array<int, 3>> colours_;
};

class E2eAbi : public testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(testutil::kZyrsat)) GTEST_SKIP() << "no zyrsat built";
        NEED_SHARED("abi");
    }
    // zyrsat in batch, printing what it read (the rows decoded too), in the scratch folder.
    Result run(std::vector<std::string> args)
    {
        args.insert(args.begin(), {"-b", "-me", "out2", "-inp", "abi"});
        return testutil::zyrsat(args, dir.path(), "-u DISPLAY");
    }
    testutil::ScratchDir dir;
};

// Each sample onto both domains: the picture has the frame's size and shows the field through the default ramp, at
// least as many pixels of it and as many of its colours as the row says: the whole panel for the rain rate (zero rain
// is coloured too) and the fire file's category mask, the retrieved daylight aerosol, the sparse lightning.  The
// fire file's default variable is its first field, the fire area, which is missing but at fires.
TEST_F(E2eAbi, EachFileOntoLatLonAndLambert)
{
    const struct Case {
        std::string file, variable, domain;
        long least_pixels;
        size_t least_colours;
    } cases[] = {
        {kRain1, "", kLatLon, 100000, 2},     {kRain1, "", kLambert, 100000, 2},
        {kRain2, "", kLatLon, 100000, 2},     {kRain2, "", kLambert, 100000, 2},
        {kFire, "Mask", kLatLon, 100000, 5},  {kFire, "Mask", kLambert, 100000, 5},
        {kAod, "", kLatLonEast, 5000, 1},     {kAod, "", kLambertEast, 5000, 1},
        {kGlm, "", kLatLon, 50, 2},           {kGlm, "", kLambert, 50, 2},
    };
    const Ramp ramp;
    ASSERT_EQ(ramp.size(), 11u);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file + " " + c.variable + " on " + c.domain);
        NEED_SHARED(c.file);
        const Result r = run({"-va", c.variable, "-de", "d,mem", "-ge", "640x480", "-pd", c.domain, "-of", "png=p.png",
                              testutil::shared(c.file)});
        ASSERT_EQ(r.status, 0) << r.out;
        Raster pic;
        ASSERT_TRUE(testutil::read_png(dir.file("p.png"), &pic));
        EXPECT_EQ(std::pair(pic.w, pic.h), std::pair(640, 480));
        long on_ramp = 0;
        std::set<int> seen;
        for (int y = 0; y < pic.h; ++y)
            for (int x = 0; x < pic.w; ++x)
                if (int k = ramp.index(pic.rgb(x, y)); k >= 0) ++on_ramp, seen.insert(k);
        EXPECT_GE(on_ramp, c.least_pixels);
        EXPECT_GE(seen.size(), c.least_colours);
    }
}

// The rain-rate picture on the Lambert domain with only the image and the 50m land outlines, in magenta: every
// outline vertex that cs2cs projects well inside the panel (Lambert conformal, true latitudes 30 and 60, on the
// program's sphere of 6371.22 km) has magenta within 2 pixels.  The panel is the picture's non-black box: the disk
// covers the domain and zero rain is coloured.
TEST_F(E2eAbi, CoastlinesWhereCs2csPutsThem)
{
    NEED_TOOL("cs2cs");
    NEED_SHARED(kRain2);
    const Result r = run({"-de", "d,mem", "-ge", "800x600", "-pd", kLambert, "-dr", "data,map", "-mf",
                          "maps/land-50m.map", "-com", "magenta", "-of", "png=coast.png", testutil::shared(kRain2)});
    ASSERT_EQ(r.status, 0) << r.out;
    Raster pic;
    ASSERT_TRUE(testutil::read_png(dir.file("coast.png"), &pic));
    int left = pic.w, right = -1, top = pic.h, bottom = -1;
    for (int y = 0; y < pic.h; ++y)
        for (int x = 0; x < pic.w; ++x)
            if (pic.rgb(x, y) != 0) left = std::min(left, x), right = std::max(right, x), top = std::min(top, y),
                                    bottom = std::max(bottom, y);
    ASSERT_GT(right - left, 400);
    ASSERT_GT(bottom - top, 250);

    // The outline vertices over the domain, from the map file itself (big-endian: per segment an int16 count, four
    // float32 bounds, an int32 id, then latitude/longitude float32 pairs).
    const std::string map = testutil::read_file(ZYR_DATA_DIR "/maps/land-50m.map");
    auto be32 = [&](size_t p) {
        uint32_t v = 0;
        for (int k = 0; k < 4; ++k) v = v << 8 | (unsigned char)map[p + k];
        return v;
    };
    std::string lonlat;
    int taken = 0;
    for (size_t p = 0; p + 22 <= map.size();) {
        const int count = (int16_t)((unsigned char)map[p] << 8 | (unsigned char)map[p + 1]);
        if (count <= 0 || p + 22 + 8 * (size_t)count > map.size()) break;
        for (int k = 0; k < count; ++k) {
            float lat, lon;
            uint32_t a = be32(p + 22 + 8 * k), b = be32(p + 26 + 8 * k);
            std::memcpy(&lat, &a, 4), std::memcpy(&lon, &b, 4);
            if (lat > 22 && lat < 52 && lon > -128 && lon < -62 && taken++ % 7 == 0)
                lonlat += std::to_string(lon) + " " + std::to_string(lat) + "\n";
        }
        p += 22 + 8 * (size_t)count;
    }
    const std::string in = dir.write("lonlat.txt", lonlat);
    const Result xy = testutil::shell("cs2cs -f %.3f +proj=longlat +R=6371220 +to +proj=lcc +lat_1=30 +lat_2=60 "
                                      "+lat_0=" + std::to_string(kLambertCentreLat) + " +lon_0=" +
                                      std::to_string(kLambertCentreLon) + " +R=6371220 " + testutil::quote(in));
    ASSERT_EQ(xy.status, 0) << xy.out;
    // The panel's pixel centres span the domain's (nx - 1) and (ny - 1) steps around its centre.
    const double half_w = (kLambertNx - 1) * kLambertStepKm * 500, half_h = (kLambertNy - 1) * kLambertStepKm * 500;
    std::istringstream lines(xy.out);
    int checked = 0;
    std::vector<std::string> misses;
    for (double x, y, z; lines >> x >> y >> z;) {
        const double col = left + (x + half_w) / (2 * half_w) * (right - left);
        const double row = top + (half_h - y) / (2 * half_h) * (bottom - top);
        if (col < left + 4 || col > right - 4 || row < top + 4 || row > bottom - 4) continue;
        ++checked;
        bool near = false;
        for (int dy = -2; dy <= 2 && !near; ++dy)
            for (int dx = -2; dx <= 2 && !near; ++dx)
                near = pic.rgb((int)std::lround(col) + dx, (int)std::lround(row) + dy) == 0xFF00FFu;
        if (!near) misses.push_back(std::to_string(col) + "," + std::to_string(row));
    }
    EXPECT_GT(checked, 200);
    EXPECT_TRUE(misses.empty()) << misses.size() << " of " << checked << ", first at " << misses.front();
}

// The text a metafile page draws: its "TE" records in order.
std::vector<std::string> texts(const std::string &meta)
{
    std::vector<std::string> out;
    std::istringstream in(meta);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("TE ", 0) == 0 && line.find(' ', 3) != std::string::npos)
            out.push_back(line.substr(line.find(' ', 3) + 1));
    return out;
}

// The two rain-rate files make a 2-frame loop: the GIF's two frames are the two frame dumps (PIL), which differ (the
// rain moved in 30 minutes).  On a metafile each file's page carries its platform and field, its own scan time and
// the bar numbered in mm/h with the field's name and units.
TEST_F(E2eAbi, LoopOfTheTwoRainRates)
{
    NEED_PIL();
    NEED_SHARED(kRain1);
    NEED_SHARED(kRain2);
    Result r = run({"-de", "d,mem", "-ge", "480x360", "-pd", kLambert, "-dr", "data", "-pp",
                    "anim=loop.gif,png=f_%i.png", testutil::shared(kRain1), testutil::shared(kRain2)});
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string oracle = dir.write("frames.py", "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
                                                      "print(im.n_frames)\nfor k in range(im.n_frames):\n"
                                                      "    im.seek(k)\n"
                                                      "    d = Image.open(sys.argv[2 + k]).convert('RGB').tobytes()\n"
                                                      "    print(im.convert('RGB').tobytes() == d)\n");
    const Result frames = testutil::run({testutil::python(), oracle, "loop.gif", "f_00.png", "f_01.png"}, dir.path());
    EXPECT_EQ(frames.out, "2\nTrue\nTrue\n");
    Raster a, b;
    ASSERT_TRUE(testutil::read_png(dir.file("f_00.png"), &a) && testutil::read_png(dir.file("f_01.png"), &b));
    EXPECT_GT(testutil::differing_pixels(a, b), 100);

    r = run({"-de", "m,loop.meta,zyr", "-pd", kLambert, "-pp", "bar", testutil::shared(kRain1),
             testutil::shared(kRain2)});
    ASSERT_EQ(r.status, 0) << r.out;
    const std::vector<std::string> t = texts(testutil::read_file(dir.file("loop.meta")));
    const std::string all = testing::PrintToString(t);
    EXPECT_EQ(std::count(t.begin(), t.end(), "G16 RRQPE"), 2) << all;
    EXPECT_EQ(std::count(t.begin(), t.end(), "RRQPE (mm h-1)"), 2) << all;
    EXPECT_EQ(std::count_if(t.begin(), t.end(), [](const std::string &s) { return s.find("1440Z") != s.npos; }), 1) << all;
    EXPECT_EQ(std::count_if(t.begin(), t.end(), [](const std::string &s) { return s.find("1510Z") != s.npos; }), 1) << all;
    EXPECT_NE(std::find(t.begin(), t.end(), "50"), t.end()) << all;
}

// A loop by date from a satellite folder of the samples (links): the rain-rate convention and 15:10 on 17 March 2023
// find the 15:10 file, and 30 minutes back in the convention's 10-minute steps the walk finds the 14:40 one; the
// slots between hold no rain rate and make no frame, so the loop has two frames, one from each file.
TEST_F(E2eAbi, LoopByDateFromASatelliteFolder)
{
    NEED_SHARED(kRain1);
    NEED_SHARED(kRain2);
    fs::create_directory(dir.file("sat"));
    for (const auto &e : fs::directory_iterator(testutil::shared("abi")))
        fs::create_symlink(e.path(), dir.file("sat/" + e.path().filename().string()));
    const Result r = run({"-if", "abi_l2_RRQPEF", "-sp", "sat", "-ho", "#202303171510", "-nh", "-0:30", "-de", "d,mem",
                          "-ge", "320x240", "-pd", kLambert, "-pp", "png=f_%i.png"});
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string found = "Current filename: sat/" + fs::path(kRain2).filename().string() + "\n";
    EXPECT_NE(r.out.find(found), std::string::npos) << r.out;
    for (const std::string &f : {kRain1, kRain2})
        EXPECT_NE(r.out.find("SAT_read_ABI: sat/" + fs::path(f).filename().string() + ": RRQPE rows"), std::string::npos)
            << r.out;
    EXPECT_NE(r.out.find("Date: 1440Z 17 MAR 23\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Date: 1510Z 17 MAR 23\n"), std::string::npos) << r.out;
    EXPECT_TRUE(fs::exists(dir.file("f_00.png")) && fs::exists(dir.file("f_01.png")));
    EXPECT_FALSE(fs::exists(dir.file("f_02.png")));
}

// "-va Power" shows the fire file's radiative power: its name and units label the picture and its bar, the reader
// decodes that variable, and fires appear in the ramp's colours where the file has them: python3-netCDF4 finds
// fire pixels at scan angles that cs2cs (+proj=geos +sweep=x, the file's GRS80 and h) places in the llanos of
// Venezuela, 7.5 to 9.7 N, 66.7 to 69.8 W; everywhere else the field is missing (black).
TEST_F(E2eAbi, ChosenVariableOfTheFireFile)
{
    NEED_SHARED(kFire);
    Result r = run({"-va", "Power", "-de", "m,fire.meta,zyr", "-pd", kLatLon, "-pp", "bar", testutil::shared(kFire)});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find(": Power rows "), std::string::npos) << r.out;
    const std::vector<std::string> t = texts(testutil::read_file(dir.file("fire.meta")));
    EXPECT_NE(std::find(t.begin(), t.end(), "G16 Power"), t.end()) << testing::PrintToString(t);
    EXPECT_NE(std::find(t.begin(), t.end(), "Power (MW)"), t.end()) << testing::PrintToString(t);
    r = run({"-va", "Power", "-de", "d,mem", "-ge", "400x400", "-pd", "ll,8.5,-68.5,201,201,0.02,0.02", "-dr", "data",
             "-of", "png=fire.png", testutil::shared(kFire)});
    ASSERT_EQ(r.status, 0) << r.out;
    Raster pic;
    ASSERT_TRUE(testutil::read_png(dir.file("fire.png"), &pic));
    const Ramp ramp;
    long fires = 0;
    for (int y = 0; y < pic.h; ++y)
        for (int x = 0; x < pic.w; ++x) fires += ramp.index(pic.rgb(x, y)) >= 0;
    EXPECT_GE(fires, 10);
}

// The reader decodes only what the plot shows: a CONUS-sized Lambert domain from the 5424 x 5424 full disk reads
// under a third of its rows and under half of its columns; a domain over the whole disk reads every row.
TEST_F(E2eAbi, ConusFromTheFullDiskReadsAFractionOfTheRows)
{
    NEED_SHARED(kRain2);
    const std::regex decoded("RRQPE rows (\\d+)-(\\d+), columns (\\d+)-(\\d+) of (\\d+)x(\\d+) decoded");
    const struct Case { std::string domain; double most_rows, most_cols; } cases[] = {
        {kLambert, 1.0 / 3, 0.5},
        {"ll,0,-75,361,361,0.5,0.5", 1.0, 1.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.domain);
        const Result r = run({"-de", "p,x.ps", "-pd", c.domain, testutil::shared(kRain2)});
        ASSERT_EQ(r.status, 0) << r.out;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(r.out, m, decoded)) << r.out;
        const int rows = std::stoi(m[2]) - std::stoi(m[1]) + 1, cols = std::stoi(m[4]) - std::stoi(m[3]) + 1;
        EXPECT_EQ(std::pair(std::stoi(m[5]), std::stoi(m[6])), std::pair(5424, 5424));
        EXPECT_LE(rows, c.most_rows * 5424) << m[0];
        EXPECT_LE(cols, c.most_cols * 5424) << m[0];
        if (c.most_rows == 1.0) EXPECT_EQ(rows, 5424) << m[0];
        else EXPECT_GT(rows, 100) << m[0];
    }
}

} // namespace
