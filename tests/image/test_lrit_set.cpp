// LRIT/HRIT segment sets read as one image: each segment's rows are the
// rows it gives read alone, at the lines its headers place it (no gap, no
// overlap), missing segments are missing rows, prologue and epilogue are not
// segments, the order of the files does not matter, and the navigation of
// the whole image puts a place where the segment alone puts it.  MSG
// brightness temperatures against an independent python3 computation from
// the files (tests/tools/msg_bt.py); sets that cannot be one image refused.
#include <algorithm>
#include <sstream>

#include "satproc/enh.h"
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
    for (const std::string &f : {files[1], files[0], files[2]}) cmd += " " + testutil::quote(f);
    cmd += " --pixels";
    for (auto [c, r] : pixels) cmd += " " + std::to_string(c) + "," + std::to_string(r);
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

}  // namespace
