// End-to-end checks of what zyrsat draws, against independent tools: the
// remapped pixels of a native image file against source pixels found with a
// python zlib decode and PROJ, a TIFF's footprint against gdalinfo, the same
// plot as HPGL (read by hp2xx) and CGM, the date order of a -nh walk, and a
// window dump read back and remapped onto another domain.
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/img.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

using testutil::kZyrsat;
const std::string kData = ZYR_SHARED_DATA;
const std::string kGini = kData + "/gini/EAST-CONUS_8km_13.3_20050912_2240.gini";
const std::string kTiff = kData + "/tiff/intergraph_geog.tif";
const std::string kPython = "/usr/bin/python3";

using testutil::have;
using testutil::quote;
using testutil::Result;
using testutil::shell;
using testutil::zyrsat;

// The file named by the "Writing image file" line, read back.
bool read_written_image(const Result &r, const std::string &dir, IMG *img)
{
    std::smatch m;
    if (!std::regex_search(r.out, m, std::regex("Writing image file: ([^\n]+)"))) return false;
    std::string name = m[1];
    if (name[0] != '/') name = dir + "/" + name;
    IMG_init(img);
    return IMG_read_zyr(name.c_str(), img, 0) == 1 && img->data && img->nx > 0 && img->ny > 0;
}

class E2ePixels : public testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::exists(kZyrsat)) GTEST_SKIP() << "no zyrsat built at " << kZyrsat;
        if (!fs::is_directory(kData)) GTEST_SKIP() << "no sample data at " << kData;
    }
    // Inputs are copied first: a run never writes next to a shared sample.
    std::string copy_in(const std::string &src, const std::string &name)
    {
        return dir.write(name, testutil::read_file(src));
    }
    testutil::ScratchDir dir;
};

// Finds the GINI file's own pixels at given points of a polar stereographic
// plot grid: zlib chain decoded here, positions through PROJ's cs2cs.
const char *kGiniOracle = R"PY(
# Source pixels of an AWIPS/GINI Lambert file at plot-grid points of a polar
# stereographic domain.  argv: gini file, points file, then the domain as
# "clat clon nx ny dx dy tlat plon" (dx, dy in 100 km).  Points file: "i j"
# per line.  Prints "i j line element value" and the 3 x 3 neighbourhood's
# values per point, -1 outside the image.
import subprocess, sys, zlib

def s24(b):
    v = (b[0] & 0x7F) << 16 | b[1] << 8 | b[2]
    return -v if b[0] & 0x80 else v

def cs2cs(src, dst, pts):
    text = "".join("%.6f %.6f\n" % p for p in pts)
    out = subprocess.run(["cs2cs", "-f", "%.6f"] + src.split() + ["+to"] + dst.split(),
                         input=text, capture_output=True, text=True, check=True).stdout
    return [tuple(float(v) for v in line.split()[:2]) for line in out.splitlines()]

raw = open(sys.argv[1], "rb").read()
d = zlib.decompressobj()
head = d.decompress(raw[21:])
rest = d.unused_data
pdb = head[21:21 + 512]
assert len(pdb) == 512
o = lambda n: pdb[n - 1]
nx = o(17) << 8 | o(18)
ny = o(19) << 8 | o(20)
assert o(16) == 3, "not Lambert"
la1, lo1, lov = s24(pdb[20:23]) / 1e4, s24(pdb[23:26]) / 1e4, s24(pdb[27:30]) / 1e4
dxs, dys = s24(pdb[30:33]) / 10.0, s24(pdb[33:36]) / 10.0
scan = o(38)
latin = s24(pdb[38:41]) / 1e4
img = bytearray()
while rest and len(img) < nx * ny:
    d = zlib.decompressobj()
    img += d.decompress(rest)
    rest = d.unused_data
img = img[:nx * ny]  # the extra last line ends the product
assert len(img) == nx * ny, (len(img), nx, ny)

clat, clon, dnx, dny, ddx, ddy, tlat, plon = (float(v) for v in sys.argv[3:11])
stere = "+proj=stere +lat_0=90 +lat_ts=%g +lon_0=%g +R=6371220" % (tlat, plon)
lcc = "+proj=lcc +lat_1=%g +lat_2=%g +lat_0=%g +lon_0=%g +R=6371200" % (latin, latin, latin, lov)
ll = "+proj=longlat +R=6371220"
(cx, cy), = cs2cs(ll, stere, [(clon, clat)])
pts = [tuple(int(v) for v in l.split()) for l in open(sys.argv[2])]
xy = [(cx + (i - (dnx - 1) / 2) * ddx * 1e5, cy + ((dny - 1) / 2 - j) * ddy * 1e5) for i, j in pts]
lonlat = cs2cs(stere, ll, xy)
ll2 = "+proj=longlat +R=6371200"
src = cs2cs(ll2, lcc, lonlat)
(x0, y0), = cs2cs(ll2, lcc, [(lo1, la1)])
for (i, j), (x, y) in zip(pts, src):
    e = round((x - x0) / dxs)
    r = round((y - y0) / dys)
    # Scan mode bit 0x40 clear: rows are stored from the north down.
    line = r if scan & 0x40 else ny - 1 - r
    at = lambda l, c: img[l * nx + c] if 0 <= c < nx and 0 <= l < ny else -1
    near = [at(line + dl, e + de) for dl in (-1, 0, 1) for de in (-1, 0, 1)]
    print(i, j, line, e, at(line, e), *near)
)PY";

// Remapped pixels of EAST-CONUS onto "us" equal the source pixels at the
// same place, one source pixel of slack.
TEST_F(E2ePixels, GiniRemappedOntoUsMatchesSource)
{
    if (!fs::exists(kPython) || !have("cs2cs")) GTEST_SKIP() << "no python3 or cs2cs";
    if (shell(kPython + " -c 'import zlib'", "/").status != 0) GTEST_SKIP() << "python3 unusable";
    std::string in = copy_in(kGini, "in.gini");
    // Nearest-neighbour sampling ("no_pixave"): the default blends the four
    // surrounding pixels.
    Result r = zyrsat({"-b", "-inp", "awip", "-pd", "us", "-pp", "no_pixave", "-de", "p," + dir.file("a.ps"),
                       "-out_file", "img=" + dir.file("remap.zyr"), in},
                      dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    IMG img;
    ASSERT_TRUE(read_written_image(r, dir.path(), &img)) << r.out;
    const DOM &d = img.domain;
    ASSERT_EQ(d.proj, DOM_PSTEREO);
    EXPECT_NEAR(d.clat, 39.0, 1e-3);
    EXPECT_NEAR(d.clon, -97.0, 1e-3);
    ASSERT_EQ(d.nx, img.nx);
    ASSERT_EQ(d.ny, img.ny);
    // "us" leaves the projection point and true latitude unset: the pole of
    // the centre's hemisphere, the centre's meridian, true at 60 degrees.
    const double plon = d.plon == DOM_MISSING ? d.clon : d.plon;
    const double tlat = d.parm[0] == DOM_MISSING ? 60.0 : d.parm[0];

    // 80 points spread over the picture by a fixed sequence; those the
    // source covers are compared.
    std::string pts;
    for (int k = 0; k < 80; k++) {
        int i = 3 + (int)((k * 0.6180339887 - std::floor(k * 0.6180339887)) * (img.nx - 6));
        int j = 3 + (k * (img.ny - 6)) / 80;
        pts += std::to_string(i) + " " + std::to_string(j) + "\n";
    }
    dir.write("points.txt", pts);
    dir.write("oracle.py", kGiniOracle);
    std::ostringstream domain;
    domain.precision(9);
    domain << d.clat << " " << d.clon << " " << d.nx << " " << d.ny << " " << d.dx << " " << d.dy
           << " " << tlat << " " << plon;
    Result o = shell(kPython + " oracle.py in.gini points.txt " + domain.str(), dir.path());
    ASSERT_EQ(o.status, 0) << o.out;

    // One source pixel of slack: the remapped value is the source pixel's or
    // one of its eight neighbours'.
    std::istringstream lines(o.out);
    std::string row;
    int compared = 0, exact = 0;
    while (std::getline(lines, row)) {
        std::istringstream f(row);
        int i, j, line, elem, value;
        std::vector<int> near(9);
        if (!(f >> i >> j >> line >> elem >> value)) continue;
        for (int &v : near) f >> v;
        if (value < 0 || compared >= 50 || i < 0 || i >= img.nx || j < 0 || j >= img.ny) continue;
        compared++;
        int got = img.data[(size_t)j * img.bytes_line + i];
        exact += got == value;
        EXPECT_NE(std::find(near.begin(), near.end(), got), near.end())
            << "pixel " << i << "," << j << " = " << got << "; source line " << line
            << " element " << elem << ": " << row;
    }
    EXPECT_EQ(compared, 50) << o.out;
    // Most points fall well inside a source pixel and match exactly.
    EXPECT_GE(exact, 45) << o.out;
    IMG_free(&img);
}

// The TIFF remapped onto a lat/lon domain larger than itself: the covered
// pixels span the corners gdalinfo gives, within two output pixels.
TEST_F(E2ePixels, TiffFootprintMatchesGdalinfo)
{
    if (!have("gdalinfo")) GTEST_SKIP() << "no gdalinfo";
    std::string in = copy_in(kTiff, "in.tif");
    Result info = shell("gdalinfo in.tif", dir.path());
    ASSERT_EQ(info.status, 0) << info.out;
    auto corner = [&](const char *name, double *lon, double *lat) {
        std::smatch m;
        std::regex re(std::string(name) + R"(\s*\(\s*([-0-9.]+),\s*([-0-9.]+)\))");
        if (!std::regex_search(info.out, m, re)) return false;
        *lon = std::stod(m[1]);
        *lat = std::stod(m[2]);
        return true;
    };
    double west, north, east, south;
    ASSERT_TRUE(corner("Upper Left", &west, &north)) << info.out;
    ASSERT_TRUE(corner("Lower Right", &east, &south)) << info.out;

    Result r = zyrsat({"-b", "-inp", "tiff", "-pd", "ll,2.88,-2.19,301,301,0.0005,0.0005", "-pp",
                       "no_pixave", "-de", "p," + dir.file("a.ps"), "-out_file",
                       "img=" + dir.file("tif.zyr"), in},
                      dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    IMG img;
    ASSERT_TRUE(read_written_image(r, dir.path(), &img)) << r.out;
    const DOM &d = img.domain;
    ASSERT_EQ(d.proj, DOM_LATLON);
    int i0 = img.nx, i1 = -1, j0 = img.ny, j1 = -1;
    for (int j = 0; j < img.ny; j++)
        for (int i = 0; i < img.nx; i++)
            if (img.data[(size_t)j * img.bytes_line + i] != 0) {
                i0 = std::min(i0, i), i1 = std::max(i1, i);
                j0 = std::min(j0, j), j1 = std::max(j1, j);
            }
    ASSERT_GE(i1, 0) << "nothing remapped";
    // The picture must be larger than the footprint, or the test proves nothing.
    EXPECT_GT(i0, 2);
    EXPECT_LT(i1, img.nx - 3);
    EXPECT_GT(j0, 2);
    EXPECT_LT(j1, img.ny - 3);
    auto lon = [&](double i) { return d.clon + (i - (d.nx - 1) / 2.0) * d.dx; };
    auto lat = [&](double j) { return d.clat + ((d.ny - 1) / 2.0 - j) * d.dy; };
    // Outermost covered pixel centres lie half a pixel inside the edges.
    const double tol_x = 2 * d.dx, tol_y = 2 * d.dy;
    EXPECT_NEAR(lon(i0 - 0.5), west, tol_x);
    EXPECT_NEAR(lon(i1 + 0.5), east, tol_x);
    EXPECT_NEAR(lat(j0 - 0.5), north, tol_y);
    EXPECT_NEAR(lat(j1 + 0.5), south, tol_y);
    IMG_free(&img);
}

// The GINI plot onto "us" as HPGL, which hp2xx reads and draws, and as a
// binary CGM, whose elements chain from BEGIN METAFILE to END METAFILE at
// the very end of the file.
TEST_F(E2ePixels, SamePlotAsHpglAndCgm)
{
    std::string in = copy_in(kGini, "in.gini");
    if (have("hp2xx")) {
        // A small page keeps the run short.
        Result r = zyrsat({"-b", "-inp", "awip", "-pd", "us", "-ge", "300x200", "-de",
                           "h," + dir.file("us.hpgl"), in},
                          dir.path());
        ASSERT_EQ(r.status, 0) << r.out;
        Result h = shell("hp2xx -m pbm -f us.pbm us.hpgl", dir.path());
        EXPECT_EQ(h.status, 0) << h.out;
        EXPECT_NE(h.out.find("Unexpected event(s):  0"), std::string::npos) << h.out;
        EXPECT_EQ(h.out.find("rror"), std::string::npos) << h.out;
        std::smatch m;
        ASSERT_TRUE(std::regex_search(h.out, m, std::regex(R"(HPGL commands read: (\d+))"))) << h.out;
        EXPECT_GT(std::stoi(m[1]), 1000) << "too little drawn";
        // The raster hp2xx made carries ink.
        std::string pbm = testutil::read_file(dir.file("us.pbm"));
        ASSERT_GT(pbm.size(), 1000u);
        size_t black = 0;
        for (size_t k = pbm.size() / 2; k < pbm.size(); k++) black += pbm[k] != 0;
        EXPECT_GT(black, 100u);
    }

    Result r = zyrsat({"-b", "-inp", "awip", "-pd", "us", "-de", "m," + dir.file("us.cgm") + ",cgm", in},
                      dir.path());
    ASSERT_EQ(r.status, 0) << r.out;
    std::string cgm = testutil::read_file(dir.file("us.cgm"));
    ASSERT_GE(cgm.size(), 4u);
    auto word = [&](size_t at) { return (unsigned)(unsigned char)cgm[at] << 8 | (unsigned char)cgm[at + 1]; };
    // Element headers: class (4 bits), id (7), length (5; 31 announces a
    // long form whose next word holds 15 bits of length and a continuation
    // bit).  Parameters are padded to an even count of bytes.
    size_t at = 0, elements = 0, pictures = 0;
    unsigned first = 0, last = 0;
    bool broken = false;
    while (at + 2 <= cgm.size()) {
        unsigned h = word(at), id = h >> 5 & 127, cls = h >> 12;
        at += 2;
        size_t len = h & 31;
        if (len == 31) {
            bool more = true;
            len = 0;
            while (more) {
                if (at + 2 > cgm.size()) break;
                unsigned l = word(at);
                at += 2;
                more = l & 0x8000;
                len = l & 0x7FFF;
                if (more) at += len + (len & 1);
            }
        }
        at += len + (len & 1);
        if (at > cgm.size()) {
            broken = true;
            break;
        }
        unsigned code = cls << 8 | id;
        if (elements++ == 0) first = code;
        last = code;
        pictures += code == 0x003;
    }
    EXPECT_FALSE(broken) << "an element runs past the end of the file";
    EXPECT_EQ(at, cgm.size());
    EXPECT_EQ(first, 0x001u) << "BEGIN METAFILE first";
    EXPECT_EQ(last, 0x002u) << "END METAFILE last";
    EXPECT_EQ(pictures, 1u);
    EXPECT_GT(elements, 100u);
}

// A -nh walk over copies named by the "sat_ir" convention visits them in
// the order of the dates in their names, whatever order they were made in
// and whatever their modification times.  The start is a full date with a
// past year ("-ho #YYYYMMDDHHNN"); the walk steps by the template's 15
// minutes, skipping the empty slots without an image file, or by the step
// after the comma of -nh.
TEST_F(E2ePixels, HoursWalkKeepsDateOrder)
{
    const std::string area = kData + "/area/cmx3g8_wv_1998.260_0745_mcidas.ara";
    fs::create_directory(dir.file("ir"));
    const std::string day = "20190917";
    // Made newest date first, and given modification times opposite to
    // their dates.
    const char *times[] = {"0800", "0600", "0700"};
    for (const char *t : times) {
        std::string name = dir.file("ir/" + day + "_" + t + ".area");
        copy_in(area, "ir/" + day + "_" + t + ".area");
        int h = std::stoi(std::string(t).substr(0, 2));
        fs::last_write_time(name, fs::file_time_type::clock::now() - std::chrono::hours(h));
    }
    const std::vector<std::string> want = {day + "_0600", day + "_0700", day + "_0800"};
    struct Case {
        const char *span;
        size_t empty_slots;  // "Unable to open" messages
    };
    for (const Case c : {Case{"2", 6}, Case{"2,1", 0}}) {
        const std::string out = dir.file(std::string("walk") + (c.empty_slots ? "q" : "h"));
        Result r = zyrsat({"-b", "-if", "ir", "-sp", dir.path(), "-ho", "#" + day + "0600", "-nh", c.span,
                           "-pd", "us", "-de", "p," + dir.file("walk.ps"), "-out_file",
                           "img=" + out + "_%Y%m%d_%h%15n.zyr"},
                          dir.path());
        ASSERT_EQ(r.status, 0) << r.out;
        std::vector<std::string> written;
        std::regex re("Writing image file: [^\n]*_(\\d{8}_\\d{4})\\.zyr");
        for (std::sregex_iterator it(r.out.begin(), r.out.end(), re), end; it != end; ++it)
            written.push_back((*it)[1]);
        EXPECT_EQ(written, want) << c.span << "\n" << r.out;
        size_t empty = 0;
        for (size_t at = 0; (at = r.out.find("Unable to open", at)) != std::string::npos; at++) empty++;
        EXPECT_EQ(empty, c.empty_slots) << c.span << "\n" << r.out;
    }
}

// A window dumped as a native image file ("-pp img") carries the plot's
// domain, widened to the whole window: read back with "-inp img" and
// remapped onto another domain, the coasts of the first run's picture land
// on the coasts the program draws on that domain itself, within 1 pixel.
TEST_F(E2ePixels, ImageDumpRemapsOntoAnotherDomain)
{
    if (!have("convert")) GTEST_SKIP() << "needs ImageMagick";
    std::string in = copy_in(kGini, "in.gini");
    // White map lines on black, no image: the dump is the coasts alone.
    const std::vector<std::string> lines = {"-dr", "map", "-com", "white", "-bg", "black"};
    const std::string other = "lamb,40,-90,640,427,0.06,0.06";
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"-b", "-de", "d,mem"});
        Result r = zyrsat(args, dir.path(), "-u DISPLAY");
        EXPECT_EQ(r.status, 0) << r.out;
    };
    std::vector<std::string> first = {"-inp", "awip", "-pd", "us", "-pp", "img=" + dir.file("dump.zyr"), in};
    first.insert(first.begin(), lines.begin(), lines.end());
    run(first);
    std::vector<std::string> drawn = {"-inp", "awip", "-pd", other, "-of", "png=" + dir.file("drawn_%i.png"), in};
    drawn.insert(drawn.begin(), lines.begin(), lines.end());
    run(drawn);
    run({"-inp", "img", "-pd", other, "-dr", "data", "-of", "png=" + dir.file("again_%i.png"), dir.file("dump.zyr")});

    IMG dump;
    IMG_init(&dump);
    ASSERT_EQ(IMG_read_zyr(dir.file("dump.zyr").c_str(), &dump, 0), 1);
    EXPECT_EQ(dump.domain.proj, DOM_PSTEREO);
    EXPECT_EQ(dump.domain.nx, dump.nx);
    EXPECT_EQ(dump.domain.ny, dump.ny);
    EXPECT_EQ(std::string(dump.date_label), "2240Z 12 SEP 05");
    IMG_free(&dump);

    testutil::Raster a, b;
    for (auto [png, r] : {std::pair{std::string("drawn_win.png"), &a}, std::pair{std::string("again_win.png"), &b}}) {
        Result c = shell("convert " + quote(png) + " ppm:" + quote(png + ".ppm"), dir.path());
        ASSERT_EQ(c.status, 0) << c.out;
        ASSERT_TRUE(testutil::read_ppm(dir.file(png + ".ppm"), r));
    }
    ASSERT_EQ(a.w, b.w);
    ASSERT_EQ(a.h, b.h);
    // Line pixels: a channel sum above 3 x level.
    auto bright = [](const testutil::Raster &r, int x, int y, int level) {
        if (x < 0 || y < 0 || x >= r.w || y >= r.h) return false;
        unsigned c = r.rgb(x, y);
        return (int)((c >> 16 & 255) + (c >> 8 & 255) + (c & 255)) > 3 * level;
    };
    // Share of p's line pixels (bright) with a line pixel of q within 1
    // pixel, q moved by shift pixels right and down.  The remap blends a
    // line with its dark neighbours, so q's pixels count from half as bright.
    auto near = [&](const testutil::Raster &p, const testutil::Raster &q, int shift) {
        size_t all = 0, hit = 0;
        for (int y = 0; y < p.h; y++)
            for (int x = 0; x < p.w; x++) {
                if (!bright(p, x, y, 160)) continue;
                all++;
                bool found = false;
                for (int dy = -1; dy <= 1 && !found; dy++)
                    for (int dx = -1; dx <= 1 && !found; dx++) found = bright(q, x + dx - shift, y + dy - shift, 80);
                hit += found;
            }
        EXPECT_GT(all, 2000u);
        return all ? (double)hit / all : 0.0;
    };
    double ab = near(a, b, 0), ba = near(b, a, 0), moved = near(a, b, 3);
    std::printf("coast pixels within 1 pixel: %.3f drawn, %.3f remapped; moved by 3: %.3f\n", ab, ba, moved);
    EXPECT_GT(ab, 0.93);
    EXPECT_GT(ba, 0.93);
    EXPECT_LT(moved, 0.5) << "the measure does not see a shift";
}

}  // namespace
