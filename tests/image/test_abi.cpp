// The GOES-R fixed-grid netCDF reader on the real products of the shared data: pixel centres against PROJ's geos
// (cs2cs) both ways, the footprint against gdalinfo, unpacked values against python3-netCDF4, a window against the
// same rows of a whole read, the window a plot domain asks for, calibration of a radiance file python writes, and
// the files it must refuse, also one after another in one process.
#include <cmath>
#include <cstring>
#include <sstream>

#include "../test_support.h"
#include "core/res.h"
#include "image/abi.h"
#include "image/hdf5_probe.h"
#include "image/reader_table.h"
#include "map/dom.h"
#include "map/proj.h"
#include "satproc/enh.h"

namespace {

const char *const kPy = "/usr/bin/python3";  // Debian's, which has the netCDF4 binding
// cs2cs's complaints about points it cannot take go to stderr, which the support header's run keeps; its
// "* *" lines on stdout are enough.
const std::string kQuiet = " 2>/dev/null";

#define NEED_NETCDF4()                                                                                   \
    if (testutil::shell(std::string(kPy) + " -c 'import netCDF4'").status != 0)                           \
    GTEST_SKIP() << "needs python3-netcdf4"

// The five products and the variable each is read for.
const struct Sample { const char *file, *var; } kSamples[] = {
    {"abi/CG_ABI-L2-RRQPEF-M6_G16_s20230761440209_e20230761449517_c20230761450032.nc", "RRQPE"},
    {"abi/OR_ABI-L2-RRQPEF-M6_G16_s20230761510209_e20230761519517_c20230761520040.nc", "RRQPE"},
    {"abi/CG_ABI-L2-FDCF-M6_G16_s20230761440209_e20230761449517_c20230761450058.nc", "Power"},
    {"abi/OR_ABI-L2-AODF-M3_G16_s20190811000369_e20190811011136_c20190811012168.nc", "AOD"},
    {"abi/OR_GLM-L2-GLMC-M3_G16_s20181830433000_e20181830434000_c20191931535490.nc", "flash_extent_density"},
};

const IMG_READER *row() { return IMG_reader_by_code(IMG_SRC_ABI); }

// A python3-netCDF4 script's output lines, split into numbers.
std::vector<std::vector<double>> python_rows(const std::string &script, std::vector<std::string> args)
{
    args.insert(args.begin(), {kPy, "-c", script});
    const auto r = testutil::run(args);
    EXPECT_EQ(r.status, 0) << r.out;
    std::vector<std::vector<double>> out;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::vector<double> v;
        for (std::string w; words >> w;) v.push_back(w == "--" ? NAN : std::strtod(w.c_str(), nullptr));
        out.push_back(v);
    }
    return out;
}

// The header of a sample, read through the row (variable chosen by -va).
IMG header(const std::string &path, const char *var)
{
    RES_put("variable", var);
    IMG img;
    IMG_init(&img);
    IMG_FILE_SOURCE file;
    EXPECT_TRUE(file.open(row(), path.c_str()));
    IMG_READ_OUT out{&img, nullptr};
    EXPECT_EQ(row()->read_header(file.source(), &out), IMG_READ_OK) << path;
    return img;
}

IMG read(const std::string &path, const char *var, const IMG_WINDOW *w = nullptr)
{
    RES_put("variable", var);
    IMG img;
    IMG_init(&img);
    IMG_READ_OUT out{&img, nullptr};
    IMG_FILE_SOURCE file;
    EXPECT_TRUE(file.open(row(), path.c_str()));
    EXPECT_EQ(row()->read(file.source(), w, &out), IMG_READ_OK) << path;
    return img;
}

// 50 pixels spread over a grid, corners included.
std::vector<std::pair<int, int>> spread(int nx, int ny)
{
    std::vector<std::pair<int, int>> px;
    for (int k = 0; k < 50; ++k) px.emplace_back((nx - 1) * ((k * 37) % 50) / 49, (ny - 1) * ((k * 13) % 50) / 49);
    return px;
}

// The scan angles python3-netCDF4 unpacks for the 50 pixels, and the projection's parameters: lines "h a b lon0"
// then "x y" per pixel.
const char kAngles[] = R"(import sys, netCDF4
d = netCDF4.Dataset(sys.argv[1])
p = d['goes_imager_projection']
print(p.perspective_point_height, p.semi_major_axis, p.semi_minor_axis, p.longitude_of_projection_origin)
x, y = d['x'][:], d['y'][:]
nx, ny = len(x), len(y)
for k in range(50):
    c, r = (nx - 1) * ((k * 37) % 50) // 49, (ny - 1) * ((k * 13) % 50) // 49
    print(repr(float(x[c])), repr(float(y[r])))
)";

// Every sector lands where it is: each of the 50 pixel centres goes to PROJ's latitude/longitude of its scan
// angles, and PROJ's point comes back to the pixel, within 0.01 pixel both ways.
TEST(AbiReader, PixelCentresAgreeWithProjBothWays)
{
    NEED_TOOL("cs2cs");
    NEED_NETCDF4();
    for (const Sample &s : kSamples) {
        NEED_SHARED(s.file);
        SCOPED_TRACE(s.file);
        const std::string path = testutil::shared(s.file);
        IMG img = header(path, s.var);
        ASSERT_TRUE(DOM_is_geos(&img.domain));
        const auto rows = python_rows(kAngles, {path});
        ASSERT_EQ(rows.size(), 51u);
        const double h = rows[0][0], step = 5.6e-5 * h;  // metres per pixel
        std::ostringstream geos;
        geos.precision(12);
        geos << "+proj=geos +sweep=x +h=" << h << " +a=" << rows[0][1] << " +b=" << rows[0][2] << " +lon_0=" << rows[0][3];
        const std::string ll = "+proj=longlat +a=" + std::to_string(rows[0][1]) + " +b=" + std::to_string(rows[0][2]);
        std::vector<std::pair<double, double>> xy;
        for (size_t k = 1; k < rows.size(); ++k) xy.emplace_back(rows[k][0] * h, rows[k][1] * h);
        const auto lonlat = testutil::cs2cs(geos.str(), ll + kQuiet, xy);
        ASSERT_EQ(lonlat.size(), xy.size());

        // Ours: PROJ's point to a pixel, and the pixel centre to a point PROJ takes back to scan angles.
        const MapProj p(img.domain);
        const auto px = spread(img.nx, img.ny);
        std::vector<std::pair<double, double>> ours;
        int placed = 0;
        for (size_t k = 0; k < px.size(); ++k) {
            float x, y, lat = NAN, lon = NAN;
            p.grid_tran(&x, &y, (float)px[k].first, (float)px[k].second);
            const int on = p.untran(&lat, &lon, x, y);
            EXPECT_EQ(on, std::isnan(lonlat[k].first) ? 0 : 1) << px[k].first << "," << px[k].second;
            ours.emplace_back(lon, lat);
            if (std::isnan(lonlat[k].first)) continue;
            ++placed;
            float i, j;
            ASSERT_EQ(p.tran(&x, &y, (float)lonlat[k].second, (float)lonlat[k].first), 1);
            p.grid_untran(&i, &j, x, y);
            EXPECT_NEAR(i, px[k].first, 0.01) << "row " << px[k].second;
            EXPECT_NEAR(j, px[k].second, 0.01) << "col " << px[k].first;
        }
        // Points off the disc go to PROJ as the sub-satellite point, and are not compared.
        for (auto &o : ours)
            if (std::isnan(o.first)) o = {rows[0][3], 0.0};
        const auto back = testutil::cs2cs(ll, geos.str() + kQuiet, ours);
        ASSERT_EQ(back.size(), xy.size());
        for (size_t k = 0; k < xy.size(); ++k) {
            if (std::isnan(lonlat[k].first)) continue;
            EXPECT_NEAR(back[k].first, xy[k].first, 0.01 * step) << px[k].first << "," << px[k].second;
            EXPECT_NEAR(back[k].second, xy[k].second, 0.01 * step) << px[k].first << "," << px[k].second;
        }
        EXPECT_GT(placed, 20);
        IMG_free(&img);
    }
}

// The footprint: gdalinfo's geotransform (outer corner and pixel size, metres on the geos plane) and size.
TEST(AbiReader, FootprintMatchesGdalinfo)
{
    NEED_TOOL("gdalinfo");
    for (const Sample &s : kSamples) {
        NEED_SHARED(s.file);
        SCOPED_TRACE(s.file);
        const std::string path = testutil::shared(s.file);
        IMG img = header(path, s.var);
        const auto r = testutil::run({"gdalinfo", "NETCDF:\"" + path + "\":" + s.var});
        double ox, oy, sx, sy;
        int w, hgt;
        const size_t at = r.out.find("Origin = ("), size_at = r.out.find("Size is ");
        ASSERT_NE(at, std::string::npos) << r.out;
        ASSERT_EQ(std::sscanf(r.out.c_str() + at, "Origin = (%lf,%lf)\nPixel Size = (%lf,%lf)", &ox, &oy, &sx, &sy), 4);
        ASSERT_EQ(std::sscanf(r.out.c_str() + size_at, "Size is %d, %d", &w, &hgt), 2);
        EXPECT_EQ(img.nx, w);
        EXPECT_EQ(img.ny, hgt);
        const MapProj p(img.domain);
        float x0, y0, x1, y1;
        p.grid_tran(&x0, &y0, -0.5f, -0.5f);
        p.grid_tran(&x1, &y1, img.nx - 0.5f, img.ny - 0.5f);
        EXPECT_NEAR(x0 * 1e5, ox, 0.01 * sx);
        EXPECT_NEAR(y0 * 1e5, oy, 0.01 * sx);
        EXPECT_NEAR(x1 * 1e5, ox + w * sx, 0.01 * sx);
        EXPECT_NEAR(y1 * 1e5, oy + hgt * sy, 0.01 * sx);
        IMG_free(&img);
    }
}

// python3-netCDF4's unpacked values (masked: "--") at 50 pixels: 40 of the valid ones, evenly through them, and the
// spread of the grid (mostly missing off the disc); lines "col row value".
const char kValues[] = R"(import sys, netCDF4, numpy as np
d = netCDF4.Dataset(sys.argv[1])
a = d[sys.argv[2]][:]
ny, nx = a.shape
m = np.ma.getmaskarray(a)
ok = np.argwhere(~m & (a != 0))
pts = [(int(c), int(r)) for r, c in ok[np.linspace(0, len(ok) - 1, 40).astype(int)]] if len(ok) else []
pts += [((nx - 1) * ((k * 37) % 50) // 49, (ny - 1) * ((k * 13) % 50) // 49) for k in range(10)]
for c, r in pts:
    print(c, r, '--' if m[r, c] else repr(float(a[r, c])))
)";

// The value hook gives python's values (single-precision unpacking there: 1e-6 relative) and "missing" where python
// masks; the counts of a whole read are missing there too, and elsewhere stand for the value within half a step.
TEST(AbiReader, ValuesEqualPythonNetcdf4)
{
    NEED_NETCDF4();
    for (const Sample &s : kSamples) {
        NEED_SHARED(s.file);
        SCOPED_TRACE(s.file);
        const std::string path = testutil::shared(s.file);
        const auto rows = python_rows(kValues, {path, s.var});
        IMG img = read(path, s.var);
        ASSERT_NE(img.data, nullptr);
        EXPECT_EQ(img.value_kind, IMG_VALUE_LINEAR);
        EXPECT_STREQ(img.value_name, s.var);
        EXPECT_STREQ(img.platform, "G16");
        IMG_FILE_SOURCE file;
        ASSERT_TRUE(file.open(row(), path.c_str()));
        int valid = 0;
        for (const auto &v : rows) {
            ASSERT_EQ(v.size(), 3u);
            const int c = (int)v[0], r = (int)v[1];
            SCOPED_TRACE(testing::Message() << "col " << c << " row " << r);
            double got = NAN;
            char units[64];
            const int has = row()->value(file.source(), 1, c, r, &got, units, sizeof units);
            const int count = img.data[(size_t)r * img.bytes_line + c];
            if (std::isnan(v[2])) {
                EXPECT_EQ(has, 0);
                EXPECT_EQ(count, IMG_COUNT_MISSING);
                continue;
            }
            ++valid;
            ASSERT_EQ(has, 1);
            EXPECT_NEAR(got, v[2], 1e-6 * std::max(1.0, std::fabs(v[2])));
            // The record keeps the units as far as its field holds them.
            EXPECT_EQ(std::string(units).substr(0, sizeof img.value_units - 1), img.value_units);
            ASSERT_NE(count, IMG_COUNT_MISSING);
            const double shown = img.value_offset + img.value_scale * count;
            EXPECT_LE(std::fabs(shown - got), 0.5 * img.value_scale + 1e-6 * std::fabs(got)) << count;
        }
        EXPECT_GE(valid, 30);
        IMG_free(&img);
    }
}

// A window decodes the same counts as the same rows and columns of a whole read, sits on the same ground, and is
// what the reader says it decoded; a CONUS-sized plot of a full disk asks for a fraction of its rows.
TEST(AbiReader, WindowEqualsRowsOfWholeRead)
{
    const Sample &s = kSamples[0];
    NEED_SHARED(s.file);
    const std::string path = testutil::shared(s.file);
    IMG whole = read(path, s.var);
    const IMG_WINDOW w{1200, 300, 1500, 700};
    IMG part = read(path, s.var, &w);
    const ABI_DECODED d = ABI_last_decoded();
    EXPECT_EQ(std::vector<int>({d.first_row, d.rows, d.first_col, d.cols, d.full_rows, d.full_cols}),
              std::vector<int>({1200, 300, 1500, 700, 5424, 5424}));
    ASSERT_EQ(part.nx, 700);
    ASSERT_EQ(part.ny, 300);
    long differ = 0;
    for (int r = 0; r < part.ny; ++r)
        differ += std::memcmp(part.data + (size_t)r * part.bytes_line,
                              whole.data + (size_t)(r + w.first_line) * whole.bytes_line + w.first_elem, 700) != 0;
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(part.value_offset, whole.value_offset);
    EXPECT_EQ(part.value_scale, whole.value_scale);
    const MapProj pw(part.domain), pf(whole.domain);
    for (auto [c, r] : {std::pair{0, 0}, std::pair{699, 299}, std::pair{350, 150}}) {
        float x, y, la1, lo1, la2, lo2;
        pw.grid_tran(&x, &y, (float)c, (float)r);
        ASSERT_EQ(pw.untran(&la1, &lo1, x, y), 1);
        pf.grid_tran(&x, &y, (float)(c + w.first_elem), (float)(r + w.first_line));
        ASSERT_EQ(pf.untran(&la2, &lo2, x, y), 1);
        EXPECT_NEAR(la1, la2, 1e-4);
        EXPECT_NEAR(lo1, lo2, 1e-4);
    }

    // A latitude/longitude plot of the United States, 20-55 N and 65-125 W on a 1000 x 600 view.
    DOM us;
    ASSERT_EQ(DOM_decode("ll,37.5,-95,1000,600,0.06,0.06", &us), 1);
    IMG_WINDOW conus;
    ASSERT_TRUE(IMG_window_for_domain(&whole.domain, &us, &conus));
    EXPECT_LT(conus.lines, whole.ny * 0.3);
    EXPECT_LT(conus.elems, whole.nx * 0.55);
    // Every pixel of the plot's corners and edges lies inside the window.
    const MapProj pu(us), pi(whole.domain);
    for (int k = 0; k <= 40; ++k)
        for (auto [i, j] : {std::pair{k * 999 / 40.0f, 0.0f}, std::pair{k * 999 / 40.0f, 599.0f},
                            std::pair{0.0f, k * 599 / 40.0f}, std::pair{999.0f, k * 599 / 40.0f}}) {
            float x, y, la, lo, c, r;
            pu.grid_tran(&x, &y, i, j);
            ASSERT_EQ(pu.untran(&la, &lo, x, y), 1);
            ASSERT_EQ(pi.tran(&x, &y, la, lo), 1);
            pi.grid_untran(&c, &r, x, y);
            EXPECT_GE(c, conus.first_elem);
            EXPECT_LE(c, conus.first_elem + conus.elems - 1);
            EXPECT_GE(r, conus.first_line);
            EXPECT_LE(r, conus.first_line + conus.lines - 1);
        }
    IMG_free(&whole);
    IMG_free(&part);
}

// A small fixed-grid file python3-netCDF4 writes: `kind` "ir" (band 13 radiances with Planck coefficients), "vis"
// (band 2 radiances with kappa0), "plain" (a 2-D field without the fixed grid); prints the unpacked radiances of
// row 0 and, for "ir", python's brightness temperatures (published ABI L1b conversion:
// T = (fk2 / ln(fk1 / L + 1) - bc1) / bc2), for "vis" the reflectance factor kappa0 * L.
const char kWrite[] = R"(import sys, math, netCDF4, numpy as np
path, kind = sys.argv[1], sys.argv[2]
d = netCDF4.Dataset(path, 'w')
d.createDimension('y', 4); d.createDimension('x', 32)
d.platform_ID = 'G18'; d.time_coverage_start = '2024-01-02T03:04:05.6Z'
v = d.createVariable('Rad', 'i2', ('y', 'x'), fill_value=np.int16(4095))
v._Unsigned = 'true'; v.units = 'mW m-2 sr-1 (cm-1)-1'; v.set_auto_scale(False)
if kind != 'plain':
    v.grid_mapping = 'goes_imager_projection'
    p = d.createVariable('goes_imager_projection', 'i4')
    p.perspective_point_height = 35786023.0; p.semi_major_axis = 6378137.0; p.semi_minor_axis = 6356752.31414
    p.longitude_of_projection_origin = -137.0; p.sweep_angle_axis = 'x'
    for n, sc in (('x', 5.6e-5), ('y', -5.6e-5)):
        c = d.createVariable(n, 'i2', (n,)); c.scale_factor = np.float32(sc); c.add_offset = np.float32(-sc * 2712)
        c.set_auto_scale(False); c[:] = np.arange(2700, 2700 + len(d.dimensions[n]))
b = d.createVariable('band_id', 'i1'); b[...] = 13 if kind == 'ir' else 2
if kind == 'ir':
    v.scale_factor = np.float32(0.04572892); v.add_offset = np.float32(-1.6443)
    k = dict(planck_fk1=10803.3, planck_fk2=1392.74, planck_bc1=0.07550, planck_bc2=0.99975, kappa0=-999.0)
    raw = np.arange(32) * 80 + 400
else:
    v.scale_factor = np.float32(0.158592); v.add_offset = np.float32(-20.289)
    k = dict(kappa0=0.0019586, planck_fk1=-999.0)
    raw = np.arange(32) * 120 + 130
for n, val in k.items():
    s = d.createVariable(n, 'f4', fill_value=np.float32(-999.0)); s[...] = val
a = np.tile(raw, (4, 1)); a[1, 0] = 4095; v[:] = a
d.close()
d = netCDF4.Dataset(path)
L = d['Rad'][0, :]
for c in range(32):
    if kind == 'ir':
        t = (k['planck_fk2'] / math.log(k['planck_fk1'] / float(L[c]) + 1) - k['planck_bc1']) / k['planck_bc2']
    else:
        t = k['kappa0'] * float(L[c])
    print(c, repr(float(L[c])), repr(t))
)";

// Radiances calibrated as the file says: band 13 to brightness temperatures that the program's infrared scale reads
// back within its step (half a kelvin above -30 C, one below; the scale truncates), band 2 to reflectance factors the record's linear
// scale reads back within half a step; fill is missing; platform, band and date come from the file.
TEST(AbiReader, RadiancesBecomeTemperaturesOrReflectances)
{
    NEED_NETCDF4();
    testutil::ScratchDir dir;
    for (const char *kind : {"ir", "vis"}) {
        SCOPED_TRACE(kind);
        const std::string path = dir.file(std::string(kind) + ".nc");
        const auto rows = python_rows(kWrite, {path, kind});
        ASSERT_EQ(rows.size(), 32u);
        IMG img = read(path, "");
        ASSERT_NE(img.data, nullptr);
        EXPECT_STREQ(img.platform, "G18");
        EXPECT_STREQ(img.value_name, kind[0] == 'i' ? "Rad C13" : "Rad C02");
        EXPECT_EQ(std::vector<int>({img.date.year, img.date.month, img.date.day, img.date.hour, img.date.minute}),
                  std::vector<int>({2024, 1, 2, 3, 4}));
        EXPECT_EQ(img.data[img.bytes_line], IMG_COUNT_MISSING);
        SAT_set_imager_source(SAT_SRC_AREA);
        for (const auto &r : rows) {
            const int count = img.data[(int)r[0]];
            ASSERT_NE(count, IMG_COUNT_MISSING);
            if (kind[0] == 'i') {
                EXPECT_EQ(img.value_kind, IMG_VALUE_TEMPERATURE);
                const double c = r[2] - 273.15;
                EXPECT_NEAR(SAT_ind_ir(count), c, c >= -30 ? 0.5 : 1.0) << r[2];
            } else {
                EXPECT_EQ(img.value_kind, IMG_VALUE_REFLECTANCE);
                const double shown = img.value_offset + img.value_scale * count;
                EXPECT_LE(std::fabs(shown - std::min(r[2], 1.0)), 0.5 * img.value_scale + 1e-6) << r[2];
            }
        }
        IMG_free(&img);
    }
}

// Files the reader refuses, each with a message naming the file and status 10 from zyrsat: cut short, bytes
// overwritten in the compressed data, headers libhdf5 crashes or hangs on, no fixed grid, a variable the file lacks,
// not netCDF at all.
TEST(AbiReader, BadFilesAreRefusedWithStatusTen)
{
    NEED_NETCDF4();
    const Sample &s = kSamples[0];
    NEED_SHARED(s.file);
    testutil::ScratchDir dir;
    const std::string whole = testutil::read_file(testutil::shared(s.file));
    std::string damaged = whole;
    for (size_t i = whole.size() / 2; i < whole.size() / 2 + 65536; ++i) damaged[i] = (char)(i * 7919 % 251);
    const std::string plain = dir.file("plain.nc");
    ASSERT_EQ(python_rows(kWrite, {plain, "plain"}).size(), 32u);
    const struct Case { const char *name; std::string file; std::vector<std::string> extra; const char *message; } cases[] = {
        {"cut in half", dir.write("cut.nc", whole.substr(0, whole.size() / 2)), {}, ""},
        {"cut at 1 KiB", dir.write("head.nc", whole.substr(0, 1024)), {}, "not a readable netCDF file"},
        {"overwritten", dir.write("damaged.nc", damaged), {}, "damaged or truncated"},
        {"no fixed grid", plain, {}, "not a GOES-R fixed-grid file"},
        {"no such variable", testutil::shared(s.file), {"-va", "Rain"}, "no fixed-grid variable \"Rain\"; the file has: RRQPE, DQF"},
        {"text", dir.write("text.nc", "netcdf x {\n}\n"), {}, "not a readable netCDF file"},
        {"empty", dir.write("empty.nc", ""), {}, "not a readable netCDF file"},
        // A fuzzer's find: libhdf5 frees a wild pointer while listing its groups.
        {"HDF5 fails on it", ZYR_SOURCE_DIR "/fuzz/seeds/fuzz_abi/hdf5_wild_free.nc", {}, "damaged netCDF-4 file"},
        // Another: a variable's dimension scale on which libhdf5 loops without end (refused after the probe's
        // ten seconds).
        {"HDF5 loops on it", ZYR_SOURCE_DIR "/tests/image/abi_hdf5_scale_loop.nc", {}, "damaged netCDF-4 file"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"-b", "-de", "p," + dir.file("x.ps"), "-inp", "abi"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        args.push_back(c.file);
        const auto r = testutil::zyrsat(args, dir.path(), "-u DISPLAY");
        EXPECT_EQ(r.status, 10) << r.out;
        EXPECT_NE(r.out.find("SAT_read_ABI: " + c.file + ": " + c.message), std::string::npos) << r.out;
    }
}

// A netCDF-4 file is opened first by a throw-away process that a long-lived probe server forks.  Verdicts on the
// fuzzer's file, on which libhdf5 frees a pointer it never set, and on a good file, one after another: each answer
// belongs to its file.  A forked copy of this process inherits the server's descriptors; probing in both at once,
// each still gets its own answers.  The reader then refuses the fuzzer's file and reads the good one.
TEST(AbiReader, ProbeVerdictsBelongToTheirFiles)
{
    const Sample &s = kSamples[0];
    NEED_SHARED(s.file);
    const std::string good = testutil::read_file(testutil::shared(s.file));
    const std::string bad = testutil::read_file(ZYR_SOURCE_DIR "/fuzz/seeds/fuzz_abi/hdf5_wild_free.nc");
    ASSERT_FALSE(bad.empty());
    auto survives = [](const std::string &bytes) {
        return rdr::hdf5_open_survives("x.nc", reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size());
    };
    // The two processes take the files in opposite orders, so answers that went astray would be wrong ones.
    auto verdicts_right = [&](int times, bool bad_first) {
        bool right = true;
        for (int k = 0; k < times; ++k) {
            if (bad_first) right = !survives(bad) && right;
            right = survives(good) && right;
            if (!bad_first) right = !survives(bad) && right;
        }
        return right;
    };
    EXPECT_TRUE(verdicts_right(3, false));
    const pid_t pid = fork();
    if (pid == 0) _exit(verdicts_right(15, true) ? 0 : 1);
    EXPECT_TRUE(verdicts_right(15, false));
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    RES_put("variable", s.var);
    auto header_reads = [](const std::string &bytes) {
        IMG_SOURCE src;
        src.name = "x.nc";
        src.bytes = reinterpret_cast<const unsigned char *>(bytes.data());
        src.size = bytes.size();
        IMG img;
        IMG_init(&img);
        IMG_READ_OUT out{&img, nullptr};
        const bool ok = row()->read_header(&src, &out) == IMG_READ_OK && img.nx == 5424;
        IMG_free(&img);
        return ok;
    };
    testutil::stderr_of([&] {
        EXPECT_FALSE(header_reads(bad));
        EXPECT_TRUE(header_reads(good));
    });
}

}  // namespace
