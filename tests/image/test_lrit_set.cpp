// LRIT/HRIT segment sets read as one image: each segment's rows are the
// rows it gives read alone, at the lines its headers place it (no gap, no
// overlap), missing segments are missing rows, prologue and epilogue are not
// segments, the order of the files does not matter, and the navigation of
// the whole image puts a place where the segment alone puts it.  MSG
// brightness temperatures against an independent python3 computation from
// the files (tests/tools/msg_bt.py); sets that cannot be one image refused.
// MSG HRV sets, built here, on the 11136-column grid by their windows.
#include <algorithm>
#include <climits>
#include <sstream>

#include "satproc/enh.h"
#include "tests/image/build.h"
#include "tests/image/codec_oracle.h"

namespace {

using testutil::shared;

const std::string kMsg = "hrit/H-000-MSG2__-MSG2________-";
const std::string kSeg4 = kMsg + "IR_108___-000004___-201010111400-__", kSeg5 = kMsg + "IR_108___-000005___-201010111400-__",
                  kPro = kMsg + "_________-PRO______-201010111400-__", kEpi = kMsg + "_________-EPI______-201010111400-__";
const std::string kGoes = "-000-MSG2__-GOES11______-10_7_135W-", kComs = "lrit/IMG_ENH_01_IR1_20120101_000920_0";

int read_files(const std::vector<std::string> &paths, IMG *img, std::string *err = nullptr)
{
    std::vector<const char *> names;
    for (const std::string &p : paths) names.push_back(p.c_str());
    IMG_READ_OUT out{img, nullptr};
    int r = IMG_READ_FAILED;
    const std::string e = testutil::stderr_of([&] {
        r = IMG_reader_read_files(IMG_reader_by_code(IMG_SRC_LRIT), names.data(), (int)names.size(), nullptr, &out);
    });
    if (err) *err = e;
    return r;
}

std::vector<std::string> in_shared(const std::vector<std::string> &rels)
{
    std::vector<std::string> out;
    for (const std::string &r : rels) out.push_back(shared(r));
    return out;
}

// A set (its files in the order given), the size of its image and where
// each image segment's rows begin; `segments` index into `files`.
struct SetCase {
    const char *label;
    std::vector<std::string> files;
    int nx, ny;
    std::vector<std::pair<int, int>> segments;  // file index, first row
};

// MSG: 8 planned segments of 464 lines, turned (segment 5 above 4); the
// epilogue is not a segment.  GOES-11 via EUMETCast: 7 planned, north-up,
// from two folders, with its prologue.  COMS: the 7-byte records' first
// lines 1, 310, 619, 927; without segment 3 its lines stay missing.
const SetCase kSets[] = {
    {"Msg2Ir108", {kSeg5, kEpi, kSeg4}, 3712, 3712, {{0, 1392}, {2, 1856}}},
    {"Goes11", {"hrit/L" + kGoes + "000004___-201002010600-__", "hrit/L" + kGoes + "PRO______-201002010600-__",
                "lrit/L" + kGoes + "000003___-201002010600-__"},
     2816, 3248, {{0, 1392}, {2, 928}}},
    {"ComsFour", {kComs + "4.lrit", kComs + "2.lrit", kComs + "1.lrit", kComs + "3.lrit"}, 1547, 1234,
     {{0, 926}, {1, 309}, {2, 0}, {3, 618}}},
    {"ComsWithoutThird", {kComs + "1.lrit", kComs + "4.lrit", kComs + "2.lrit"}, 1547, 1234, {{0, 0}, {1, 926}, {2, 309}}},
};

class LritSet : public testing::TestWithParam<SetCase> {};

TEST_P(LritSet, SegmentsMeetWhereTheirHeadersPlaceThem)
{
    const SetCase &c = GetParam();
    for (const std::string &f : c.files) NEED_SHARED(f);
    codec::Rec set;
    ASSERT_EQ(read_files(in_shared(c.files), &set), IMG_READ_OK);
    ASSERT_EQ(std::vector<int>({set.nx, set.ny, set.domain.proj}), std::vector<int>({c.nx, c.ny, DOM_SAT}));
    std::vector<bool> covered((size_t)c.ny, false);
    for (auto [file, first] : c.segments) {
        SCOPED_TRACE(c.files[(size_t)file]);
        codec::Rec alone;
        ASSERT_EQ(IMG_reader_read_named(IMG_SRC_LRIT, shared(c.files[(size_t)file]).c_str(), &alone), 0);
        ASSERT_EQ(alone.nx, c.nx);
        EXPECT_EQ(codec::image_bytes(alone), std::string((const char *)set.data + (size_t)first * c.nx, (size_t)alone.ny * c.nx));
        for (int r = first; r < first + alone.ny; ++r) covered[(size_t)r] = true;
        // The segment's middle pixel is where the whole image puts its place.
        MAP_domain(&alone.domain);
        float x, y, lat, lon;
        MAP_grid_tran(&x, &y, c.nx / 2.0f, alone.ny / 2.0f);
        ASSERT_TRUE(MAP_untran(&lat, &lon, x, y));
        double col, row;
        ASSERT_TRUE(codec::pixel_of(set.domain, lat, lon, col, row));
        EXPECT_NEAR(col, c.nx / 2.0, 0.02);
        EXPECT_NEAR(row, first + alone.ny / 2.0, 0.02);
    }
    for (int r = 0; r < c.ny; ++r)
        if (!covered[(size_t)r]) {
            ASSERT_EQ(std::count(set.data + (size_t)r * c.nx, set.data + (size_t)(r + 1) * c.nx, 0), c.nx) << "row " << r;
        }
}

INSTANTIATE_TEST_SUITE_P(Readers, LritSet, testing::ValuesIn(kSets), [](const auto &i) { return std::string(i.param.label); });

// Any order of the files makes the same image and domain.
TEST(LritSetOrder, AnyOrderSameImage)
{
    for (const std::string &f : {kSeg4, kSeg5, kPro, kEpi}) NEED_SHARED(f);
    std::string first;
    DOM dom{};
    for (const std::vector<std::string> &order : std::vector<std::vector<std::string>>{
             {kSeg4, kSeg5, kPro, kEpi}, {kEpi, kSeg5, kPro, kSeg4}, {kPro, kSeg4, kEpi, kSeg5}}) {
        codec::Rec set;
        ASSERT_EQ(read_files(in_shared(order), &set), IMG_READ_OK);
        if (first.empty()) first = codec::image_bytes(set), dom = set.domain;
        EXPECT_EQ(codec::image_bytes(set), first) << order[0];
        EXPECT_EQ(std::memcmp(&set.domain, &dom, sizeof dom), 0) << order[0];
    }
}

// IR_108 brightness temperatures at 20 pixels (one in a missing segment)
// equal those python3 computes from the prologue's calibration and the
// segments' 10-bit counts (tests/tools/msg_bt.py: radiance = offset +
// slope * count, T = (C2 vc / ln(1 + C1 vc^3 / R) - B) / A with EUMETSAT's
// published vc, A, B), and the image's counts read back through the
// program's infrared scale give the same temperature to its step (0.5 K
// above -30 C, 1 K below).
TEST(LritSetCalibration, Msg2Ir108TemperaturesAsPython)
{
    NEED_TOOL("python3");
    for (const std::string &f : {kSeg4, kSeg5, kPro, kEpi}) NEED_SHARED(f);
    const std::vector<std::string> files = in_shared({kSeg4, kPro, kSeg5, kEpi});
    std::vector<std::pair<int, int>> pixels{{1856, 100}};  // segment 8: missing
    for (int k = 0; k < 19; ++k) pixels.push_back({400 + (k * 733) % 2900, 1392 + (k * 389) % 928});
    std::string cmd = "python3 " + testutil::quote(ZYR_SOURCE_DIR "/tests/tools/msg_bt.py");
    for (const std::string &f : {files[1], files[0], files[2]}) cmd.append(" ").append(testutil::quote(f));
    cmd += " --pixels";
    for (auto [c, r] : pixels) cmd.append(" ").append(std::to_string(c)).append(",").append(std::to_string(r));
    const testutil::Result py = testutil::shell(cmd);
    ASSERT_EQ(py.status, 0) << py.out;
    std::istringstream lines(py.out);

    codec::Rec set;
    ASSERT_EQ(read_files(files, &set), IMG_READ_OK);
    EXPECT_EQ(set.value_kind, IMG_VALUE_TEMPERATURE);
    EXPECT_EQ(std::string(set.value_units) + " " + set.value_name + " " + set.platform, "K IR_108 MSG2");
    SAT_set_imager_source(IMG_SRC_AREA);
    std::vector<const char *> names;
    for (const std::string &f : files) names.push_back(f.c_str());
    for (auto [c, r] : pixels) {
        SCOPED_TRACE(std::to_string(c) + "," + std::to_string(r));
        std::string want;
        ASSERT_TRUE(std::getline(lines, want));
        double v = 0;
        char units[64];
        const int got = IMG_reader_value_files(IMG_reader_by_code(IMG_SRC_LRIT), names.data(), 4, c, r, &v, units, sizeof units);
        const int count = set.data[(size_t)r * set.nx + c];
        if (want == "missing") {
            EXPECT_EQ(got, 0);
            EXPECT_EQ(count, IMG_COUNT_MISSING);
            continue;
        }
        ASSERT_EQ(got, 1);
        EXPECT_STREQ(units, "K");
        EXPECT_NEAR(v, std::stod(want), 5e-6);
        EXPECT_NEAR(SAT_ind_ir(count) + 273.15, v, v > 243.15 ? 0.5 : 1.0);
    }
}

// Files that cannot make one image: refused, the message naming the file.
TEST(LritSetRefused, MessageNamesTheFile)
{
    for (const std::string &f : {kSeg4, kSeg5, kPro, kEpi}) NEED_SHARED(f);
    testutil::ScratchDir dir;
    const std::string seg4 = testutil::read_file(shared(kSeg4));
    const std::string cut_data = dir.write("cut_data", seg4.substr(0, seg4.size() / 2));
    const std::string cut_head = dir.write("cut_head", seg4.substr(0, 3000));
    const std::string goes = shared("hrit/L" + kGoes + "000004___-201002010600-__");
    const std::string goci = shared("lrit/ADD_GOCI_02_20120101_014520_00.lrit");
    struct Case {
        std::vector<std::string> files;
        std::string message;
    };
    const Case cases[] = {
        {{shared(kSeg5), cut_data, shared(kPro)}, cut_data + ": data field of "},
        {{cut_head, shared(kSeg5)}, cut_head + ": header records cut short"},
        {{shared(kSeg4), shared(kSeg5), shared(kSeg4)}, shared(kSeg4) + ": segment 4 overlaps the lines of " + shared(kSeg4)},
        {{shared(kSeg4), goes}, goes + ": not a segment of the same image as " + shared(kSeg4)},
        {{shared(kSeg4), goci}, goci + ": not an image segment, prologue or epilogue (file type 132)"},
        {{shared(kPro), shared(kEpi)}, shared(kPro) + ": no image segment among the 2 files"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.message);
        codec::Rec img;
        std::string err;
        EXPECT_EQ(read_files(c.files, &img, &err), IMG_READ_FAILED);
        EXPECT_NE(err.find(c.message), std::string::npos) << err;
        EXPECT_EQ(img.data, nullptr);
    }
}

// ---- MSG HRV ----
// Where the HRV coverage lies, from EUMETSAT's "MSG Level 1.5 Image Data
// Format Description": the planned one at byte 55 of the prologue's image
// description record, which begins at byte 60134 + 700 + 326058 of its data
// field; the actual one at byte 309 of the epilogue's data field.  Eight
// int32: lower window south and north line, east and west column, then the
// upper window's, on the 11136 x 11136 grid (lines from the south, columns
// from the east).  Column k of a window's line is grid column east + k.
constexpr size_t kPlanned = 386892 + 55, kActual = 309;
constexpr int kGrid = 11136, kRows = 464, kCols = 5568;
const std::vector<int32_t> kCoverage = {1, 8000, 1401, 6968, 8001, 11136, 1901, 7468};
const std::vector<int32_t> kZero(8, 0);

// Segments 18 (grid lines 7889..8352: the lower window up to 8000, then the
// upper one) and 20 of an HRV image; 19 and the others missing.
struct HrvFiles {
    testutil::ScratchDir dir;
    std::string write(const std::string &name, const build::Bytes &b) const { return dir.write(name, std::string(b.begin(), b.end())); }
    std::string seg18 = write("seg18", build::hrv_segment(18)), seg20 = write("seg20", build::hrv_segment(20));
    std::string pro(const std::vector<int32_t> &cov, const std::string &name = "pro") const
    {
        return write(name, build::msg_aux(128, kPlanned, cov, build::msg2_name("", "PRO"), 12, 0.0279, -1.4229));
    }
    std::string epi(const std::vector<int32_t> &cov) const { return write("epi", build::msg_aux(129, kActual, cov, build::msg2_name("", "EPI"))); }
};

// Image column and row (north-up, turned from the files' order) of column k
// of line r of segment seg placed at grid column east + k.
std::pair<int, int> hrv_pixel(int seg, int r, int k, int east)
{
    const int line = (seg - 1) * kRows + r;  // from 0 at the south
    return {kGrid - east - k, kGrid - 1 - line};
}

// Every row of the image: segments 18 and 20 at their window's columns,
// missing (0) everywhere else, segment 19 included.
TEST(LritHrv, WindowsPlaceEachLineOnTheGrid)
{
    HrvFiles f;
    codec::Rec set;
    ASSERT_EQ(read_files({f.seg20, f.pro(kCoverage), f.seg18}, &set), IMG_READ_OK);
    ASSERT_EQ(std::vector<int>({set.nx, set.ny, set.domain.proj}), std::vector<int>({kGrid, kGrid, DOM_SAT}));
    std::string want((size_t)kGrid, '\0');
    for (int row = 0; row < kGrid; ++row) {
        const int line = kGrid - 1 - row, seg = line / kRows + 1, r = line % kRows;
        std::fill(want.begin(), want.end(), '\0');
        if (seg == 18 || seg == 20) {
            const int east = line + 1 <= 8000 ? 1401 : 1901;
            for (int k = 0; k < kCols; ++k) want[(size_t)hrv_pixel(seg, r, k, east).first] = (char)(build::hrv_sample(seg, r, k) >> 2);
        }
        ASSERT_EQ(std::string((const char *)set.data + (size_t)row * kGrid, (size_t)kGrid), want) << "row " << row << ", segment " << seg;
    }
}

// A reduced scan planned from segment 17: the image begins at grid line
// 7425, and its lines take their window by their grid line as before.
TEST(LritHrv, ReducedScanLinesKeepTheirGridLines)
{
    HrvFiles f;
    const std::string seg18 = f.write("rss18", build::hrv_segment(18, 17)), seg20 = f.write("rss20", build::hrv_segment(20, 17));
    codec::Rec set;
    ASSERT_EQ(read_files({seg18, seg20, f.pro(kCoverage)}, &set), IMG_READ_OK);
    ASSERT_EQ(std::vector<int>({set.nx, set.ny}), std::vector<int>({kGrid, 8 * kRows}));
    for (auto [r, east] : {std::pair{0, 1401}, {111, 1401}, {112, 1901}, {463, 1901}}) {
        const int col = hrv_pixel(18, r, 0, east).first, row = 8 * kRows - 1 - (kRows + r);
        EXPECT_EQ(set.data[(size_t)row * kGrid + col], build::hrv_sample(18, r, 0) >> 2) << r;
    }
}

// Values: radiance from the prologue's HRV slope and offset, never a
// temperature; columns outside the windows and the missing segment have none.
TEST(LritHrv, ValuesAreRadiancesAtThePlacedPixels)
{
    HrvFiles f;
    const std::vector<std::string> files = {f.seg18, f.seg20, f.pro(kCoverage)};
    codec::Rec set;
    ASSERT_EQ(read_files(files, &set), IMG_READ_OK);
    EXPECT_NE(set.value_kind, IMG_VALUE_TEMPERATURE);
    EXPECT_EQ(std::string(set.value_name) + " " + set.platform, "HRV MSG2");
    std::vector<const char *> names;
    for (const std::string &n : files) names.push_back(n.c_str());
    struct Probe {
        int seg, r, k, east;
        bool has;
    };
    const Probe probes[] = {
        {18, 0, 0, 1401, true}, {18, 111, 5567, 1401, true}, {18, 112, 0, 1901, true}, {20, 463, 5567, 1901, true},
        {18, 0, -1, 1401, false}, {18, 0, 5568, 1401, false}, {19, 200, 100, 1901, false},
    };
    for (const Probe &p : probes) {
        const auto [col, row] = hrv_pixel(p.seg, p.r, p.k, p.east);
        SCOPED_TRACE(std::to_string(col) + "," + std::to_string(row));
        double v = 0;
        char units[64] = "";
        const int got = IMG_reader_value_files(IMG_reader_by_code(IMG_SRC_LRIT), names.data(), 3, col, row, &v, units, sizeof units);
        ASSERT_EQ(got, p.has ? 1 : 0);
        if (!p.has) continue;
        EXPECT_NEAR(v, -1.4229 + 0.0279 * build::hrv_sample(p.seg, p.r, p.k), 1e-9);
        EXPECT_STREQ(units, "mW m-2 sr-1 (cm-1)-1");
    }
}

// The HRV image navigates as the VIS/IR grid at a third of its step: the
// centre of IR grid column c, line l (COFF = LOFF = 1856, CFAC 13642337) is
// HRV grid column 3c - 2, line 3l - 2 (COFF = LOFF = 5566), as the two
// channels' header offsets say.
TEST(LritHrv, HrvPixelsLieOverTheirInfraredPixels)
{
    HrvFiles f;
    codec::Rec hrv, ir;
    ASSERT_EQ(read_files({f.seg18, f.seg20, f.pro(kCoverage)}, &hrv), IMG_READ_OK);
    const std::string ir6 = f.write("ir6", build::msg_segment(322, 9, 6, 1, 8, 3712, 464, 13642337, 1856, 1856, build::msg2_name("IR_108", "000006"),
                                                             [](int r, int k) { return (unsigned)(r + k) % 1024; }));
    ASSERT_EQ(read_files({ir6}, &ir), IMG_READ_OK);
    for (auto [i, j] : std::vector<std::pair<int, int>>{{600, 10}, {1856, 200}, {3100, 450}, {2400, 0}}) {
        float x, y, lat, lon;
        MAP_domain(&ir.domain);
        MAP_grid_tran(&x, &y, (float)i, (float)j);
        ASSERT_TRUE(MAP_untran(&lat, &lon, x, y)) << i << "," << j;
        const int c = 3712 - i, l = 5 * 464 + (463 - j) + 1;  // the segment alone is turned too
        double col, row;
        ASSERT_TRUE(codec::pixel_of(hrv.domain, lat, lon, col, row));
        EXPECT_NEAR(col, kGrid - (3 * c - 2), 0.02) << i << "," << j;
        EXPECT_NEAR(row, kGrid - (3 * l - 2), 0.02) << i << "," << j;
    }
}

// Where the coverage comes from: the prologue's planned one, the
// epilogue's actual one when that is zero; without either the segments
// are placed as any set, 5568 columns wide.  The place of column 0 of line
// 0 of segment 18 tells which.
TEST(LritHrv, CoverageFromPrologueElseEpilogueElseNone)
{
    HrvFiles f;
    const std::vector<int32_t> actual = {1, 8000, 1001, 6568, 8001, 11136, 2001, 7568};
    struct Case {
        const char *label;
        std::vector<std::string> aux;
        int nx, col;
        std::string message;
    };
    const Case cases[] = {
        {"planned", {f.pro(kCoverage), f.epi(actual)}, kGrid, kGrid - 1401, ""},
        {"actual", {f.pro(kZero, "pro0"), f.epi(actual)}, kGrid, kGrid - 1001, ""},
        {"zero", {f.pro(kZero, "pro0")}, kCols, kCols - 1, f.dir.file("pro0") + ": no HRV coverage: segments placed without their windows"},
        {"no prologue", {}, kCols, kCols - 1, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<std::string> files = c.aux;
        files.push_back(f.seg18), files.push_back(f.seg20);
        codec::Rec set;
        std::string err;
        ASSERT_EQ(read_files(files, &set, &err), IMG_READ_OK) << err;
        EXPECT_EQ(set.nx, c.nx);
        EXPECT_EQ(set.ny, kGrid);
        EXPECT_EQ(set.data[(size_t)(kGrid - 1 - 17 * kRows) * set.nx + c.col], build::hrv_sample(18, 0, 0) >> 2);
        if (c.message.empty()) {
            EXPECT_EQ(err.find("HRV"), std::string::npos) << err;
        } else {
            EXPECT_NE(err.find(c.message), std::string::npos) << err;
        }
    }
}

// A damaged coverage (columns off the grid, windows wider or narrower than
// a line, lines beyond the grid, extreme values) is clipped to the grid and
// the line with a message naming the prologue; nothing is written or read
// outside a buffer (the sanitiser build checks that).
TEST(LritHrv, DamagedCoverageClippedWithAMessage)
{
    struct Pixel {
        int seg, r, k, east;  // column k of line r of segment seg at grid column east + k (hrv_pixel)
    };
    struct Case {
        const char *label;
        std::vector<int32_t> coverage;
        std::vector<const char *> windows;
        std::vector<Pixel> kept, missing;
    };
    const Case cases[] = {
        // Lower window from column -100: its column 101 lands on the grid's first column, nothing west
        // of its column 5567; the upper window runs 3431 columns past the grid's last: its column 2136
        // lands there, nothing east of its column 0.
        {"off the grid", {1, 8000, -100, 5467, 8001, 11136, 9000, 14567}, {"lower", "upper"},
         {{18, 0, 101, -100}, {18, 0, 5567, -100}, {18, 112, 0, 9000}, {18, 112, 2136, 9000}},
         {{18, 0, 5568, -100}, {20, 0, -1, 9000}}},
        // A lower window of 100 columns keeps columns 0..99 of its lines; lines past the grid are dropped.
        {"narrow, lines past the grid", {-5, 8000, 1401, 1500, 8001, 99999, 1901, 7468}, {"lower", "upper"},
         {{18, 0, 99, 1401}, {20, 463, 5567, 1901}}, {{18, 0, 100, 1401}}},
        // Extreme values: the lower window spans every line and keeps no column.
        {"extremes", {INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MIN, INT32_MAX}, {"lower", "upper"},
         {}, {{18, 0, 0, 1401}, {18, 112, 0, 1901}, {20, 0, 0, 1901}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.label);
        HrvFiles f;
        const std::string pro = f.pro(c.coverage);
        codec::Rec set;
        std::string err;
        ASSERT_EQ(read_files({f.seg18, f.seg20, pro}, &set, &err), IMG_READ_OK) << err;
        ASSERT_EQ(set.nx, kGrid);
        for (const char *w : c.windows)
            EXPECT_NE(err.find(pro + ": HRV " + w + " window"), std::string::npos) << err;
        EXPECT_NE(err.find("clipped"), std::string::npos) << err;
        for (const Pixel &p : c.kept) {
            const auto [col, row] = hrv_pixel(p.seg, p.r, p.k, p.east);
            ASSERT_TRUE(col >= 0 && col < kGrid) << col;
            EXPECT_EQ(set.data[(size_t)row * kGrid + col], build::hrv_sample(p.seg, p.r, p.k) >> 2) << p.seg << " " << p.r << " " << p.k;
        }
        for (const Pixel &p : c.missing) {
            const auto [col, row] = hrv_pixel(p.seg, p.r, p.k, p.east);
            ASSERT_TRUE(col >= 0 && col < kGrid) << col;
            EXPECT_EQ(set.data[(size_t)row * kGrid + col], 0) << p.seg << " " << p.r << " " << p.k;
        }
    }
}

}  // namespace
