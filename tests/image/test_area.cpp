// The AREA reader: real files, both byte orders, the element sizes and the
// bit shift, the sync-framed stream, and damaged input.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "../test_support.h"
#include "area_build.h"
#include "core/flags.h"
#include "core/res.h"
#include "driver/sat_read.h"
#include "image/readers.h"

using namespace areatest;

namespace {

const std::string kAreaDir = std::string(ZYR_SHARED_DATA) + "/area/";
const std::string kGvar = kAreaDir + "cmx3g8_wv_1998.260_0745_mcidas.ara";
const std::string kPs = kAreaDir + "derived/pngarea_plain.area";

Bytes load(const std::string &path)
{
    std::string s = testutil::read_file(path);
    return Bytes(s.begin(), s.end());
}

#define NEED_FILE(path) \
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no sample " << path

// Plain host-order file around a block of pixel bytes.
Bytes plain_file(Dir d, const Bytes &pixels, bool big, const char *nav_type = "RECT")
{
    Bytes b = d.bytes(big);
    Bytes n = nav(nav_type, {}, big);
    b.insert(b.end(), n.begin(), n.end());
    b.resize((size_t)d.w[33], 0);
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

TEST(AreaReal, GvarFileIsBigEndianTwoByteWithShift)
{
    NEED_FILE(kGvar);
    Bytes raw = load(kGvar);
    Read r(raw);
    ASSERT_NE(r.ret, -1);
    const int32_t *w = r.area.dir;
    // Directory values as listed for this file (0-based word numbers).
    EXPECT_EQ(w[3], 98260);
    EXPECT_EQ(w[4], 74500);
    EXPECT_EQ(w[5], 3797);
    EXPECT_EQ(w[6], 10881);
    EXPECT_EQ(w[8], 400);
    EXPECT_EQ(w[9], 1800);
    EXPECT_EQ(w[10], 2);
    EXPECT_EQ(w[11], 8);
    EXPECT_EQ(w[12], 4);
    EXPECT_EQ(w[33], 2816);
    EXPECT_STREQ(r.area.nav_type, "GVAR");
    ASSERT_NE(r.area.gvar, nullptr);
    EXPECT_EQ(std::memcmp(r.area.gvar, "GVAR", 4), 0);
    // Nav word 1 holds the text "E001" and is swapped like any number.
    EXPECT_EQ(r.area.gvar[1], 'E' << 24 | '0' << 16 | '0' << 8 | '1');
    EXPECT_EQ(r.area.goes, nullptr);

    // Without a shift the top byte of counts x 32 stays in 6..46.
    int lo = 255, hi = 0;
    for (int i = 0; i < 400 * 1800; i++) lo = std::min<int>(lo, r.area.data[i]), hi = std::max<int>(hi, r.area.data[i]);
    EXPECT_EQ(lo, 1632 / 256);
    EXPECT_EQ(hi, 12000 / 256);

    // The samples are 10-bit counts times 32; shift 1 keeps the upper 8 bits
    // of each count.
    SAT_set_bit_shift(1);
    Read s(raw);
    SAT_set_bit_shift(0);
    ASSERT_NE(s.ret, -1);
    int bad = 0;
    for (int i = 0; i < 400 * 1800; i++) {
        int v = raw[2816 + 2 * i] << 8 | raw[2816 + 2 * i + 1];
        ASSERT_EQ(v % 32, 0);
        bad += s.area.data[i] != (v / 32) >> 2;
    }
    EXPECT_EQ(bad, 0);
}

TEST(AreaReal, PolarStereographicFileIsLittleEndian)
{
    NEED_FILE(kPs);
    Bytes raw = load(kPs);
    Read r(raw);
    ASSERT_NE(r.ret, -1);
    const int32_t *w = r.area.dir;
    EXPECT_EQ(w[3], 100137);
    EXPECT_EQ(w[4], 85900);
    EXPECT_EQ(w[6], -159);
    EXPECT_EQ(w[8], 350);
    EXPECT_EQ(w[9], 640);
    EXPECT_EQ(w[33], 768);
    EXPECT_STREQ(r.area.nav_type, "PS");
    ASSERT_NE(r.area.ps, nullptr);
    const int32_t expect[] = {-1530, 830, 600000, 2381, 1050000, 6378388, 8199};
    for (int i = 0; i < 7; i++) EXPECT_EQ(r.area.ps[i + 1], expect[i]) << "nav word " << i + 1;
    EXPECT_EQ(std::memcmp(w + AREA_W_MEMO, "MDR", 3), 0);
    EXPECT_EQ(std::memcmp(r.area.data, raw.data() + 768, 640 * 350), 0);
}

// The same file as written on a machine of the other byte order: every
// word but the memo and the navigation type reversed.
TEST(AreaReal, OppositeByteOrderTwinReadsTheSame)
{
    NEED_FILE(kPs);
    Bytes raw = load(kPs);
    Bytes twin = raw;
    auto rev = [&](size_t at) { std::reverse(twin.begin() + (long)at, twin.begin() + (long)at + 4); };
    for (int i = 0; i < 64; i++)
        if (i < 24 || i > 31) rev(4 * (size_t)i);
    for (int i = 1; i < 128; i++) rev(256 + 4 * (size_t)i);
    Read a(raw), b(twin);
    ASSERT_NE(a.ret, -1);
    ASSERT_NE(b.ret, -1);
    EXPECT_EQ(std::memcmp(a.area.dir, b.area.dir, 256), 0);
    EXPECT_EQ(std::memcmp(a.area.ps, b.area.ps, 512), 0);
    EXPECT_EQ(std::memcmp(a.area.data, b.area.data, 640 * 350), 0);
}

TEST(AreaReal, ReadFileFillsImageAndPrints)
{
    NEED_FILE(kPs);
    IMG img;
    FLAG_set(FLAG_INPUT, IMG_SRC_AREA);
    testing::internal::CaptureStdout();
    int ret = SAT_read_file(kPs.c_str(), &img);
    std::string out = testing::internal::GetCapturedStdout();
    ASSERT_EQ(ret, 1);
    EXPECT_EQ(img.source, 51);
    EXPECT_EQ(img.nx, 640);
    EXPECT_EQ(img.ny, 350);
    EXPECT_EQ(img.bytes_line, 640);
    EXPECT_EQ(img.depth, 8);
    EXPECT_FLOAT_EQ(img.res_x, 4);
    EXPECT_FLOAT_EQ(img.res_y, 5);
    EXPECT_FLOAT_EQ(img.off_x, -159);
    EXPECT_FLOAT_EQ(img.off_y, 6);
    // Year 100 means 2000; day 137 of a leap year is 16 May.
    EXPECT_EQ(img.date.year, 2000);
    EXPECT_EQ(img.date.month, 5);
    EXPECT_EQ(img.date.day, 16);
    EXPECT_EQ(img.date.hour, 8);
    EXPECT_EQ(img.date.minute, 59);
    EXPECT_EQ(std::string(img.info).substr(0, 3), "MDR");
    EXPECT_NE(out.find("Size: 640x350\n"), std::string::npos);
    EXPECT_NE(out.find("Comments: MDR"), std::string::npos);
    IMG_free(&img);
}

TEST(AreaReal, OutputResourceAnswersInsteadOfPlotting)
{
    NEED_FILE(kPs);
    FLAG_set(FLAG_INPUT, IMG_SRC_AREA);
    struct Case {
        const char *output;
        const char *expect;
    } cases[] = {
        {"file", "zyr_200005160859.img\n"},
        {"seq", nullptr},
        {"date", nullptr},
    };
    RES_put("out_file", "@zyr_%Y%m%d%h%n.img");
    for (const auto &c : cases) {
        RES_put("output", c.output);
        IMG img;
        testing::internal::CaptureStdout();
        EXPECT_EQ(SAT_read_file(kPs.c_str(), &img), 0) << c.output;
        std::string out = testing::internal::GetCapturedStdout();
        if (c.expect) {
            EXPECT_EQ(out, c.expect);
        }
        // One line only: nothing of the usual report.
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << c.output << ": " << out;
        EXPECT_EQ(out.find("Size:"), std::string::npos);
        if (!std::strcmp(c.output, "date")) {
            EXPECT_EQ(out, std::string(img.date_label) + "\n");
        }
        IMG_free(&img);
    }
}

TEST(AreaPlain, InvalidSizesAreRefused)
{
    struct Case {
        int nx, ny;
    } cases[] = {{10, 0}, {0, 10}, {100001, 5}, {5, 100001}, {-3, 4}, {100000, 100000}};
    for (const auto &c : cases) {
        Dir d(c.nx, c.ny);
        testing::internal::CaptureStderr();
        Read r(plain_file(d, Bytes(64, 1), false));
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(r.ret, -1) << c.nx << "x" << c.ny;
        EXPECT_NE(err.find("SAT_read_AREA: Invalid image parameters\n"), std::string::npos) << err;
    }
}

TEST(AreaPlain, ElementSizesPrefixesAndShift)
{
    // Two lines of three 10-bit values, stored as 2 bytes high first, each
    // line after a 5-byte prefix.
    const int v[6] = {1023, 512, 3, 0, 700, 256};
    Bytes px;
    for (int y = 0; y < 2; y++) {
        px.insert(px.end(), 5, 0xAB);
        for (int x = 0; x < 3; x++) px.push_back((unsigned char)(v[3 * y + x] >> 8)), px.push_back((unsigned char)v[3 * y + x]);
    }
    Dir d(3, 2);
    d.w[10] = 2;
    d.w[14] = 5;
    for (bool big : {false, true}) {
        SAT_set_bit_shift(6);
        Read r(plain_file(d, px, big));
        SAT_set_bit_shift(0);
        ASSERT_NE(r.ret, -1);
        for (int i = 0; i < 6; i++) EXPECT_EQ(r.area.data[i], v[i] >> 2) << i;  // upper 8 of 10 bits
    }
    // 1 byte with a prefix takes the shift; without a prefix it does not.
    Dir one(4, 1);
    one.w[14] = 2;
    SAT_set_bit_shift(2);
    Read a(plain_file(one, {9, 9, 0x41, 0x42, 0x43, 0xFF}, false));
    one.w[14] = 0;
    Read b(plain_file(one, {0x41, 0x42, 0x43, 0xFF}, false));
    SAT_set_bit_shift(0);
    EXPECT_EQ(a.row(0), (Bytes{0x04, 0x08, 0x0C, 0xFC}));
    EXPECT_EQ(b.row(0), (Bytes{0x41, 0x42, 0x43, 0xFF}));
}

TEST(AreaPlain, NavigationBlocksGoToTheirSlots)
{
    struct Case {
        const char *type;
        int32_t *AREA_REC::*slot;
        const char *stored;
    } cases[] = {
        {"GOES", &AREA_REC::goes, "GOES"}, {"PS  ", &AREA_REC::ps, "PS"},
        {"MSAT", &AREA_REC::ps, "MSAT"},   {"TANC", &AREA_REC::tanc, "TANC"},
        {"MOLL", &AREA_REC::proj, "MOLL"}, {"RECT", &AREA_REC::proj, "RECT"},
        {"MERC", &AREA_REC::proj, "MERC"}, {"LAMB", &AREA_REC::proj, "LAMB"},
        {"XXXX", nullptr, ""},
    };
    for (const auto &c : cases) {
        Dir d(2, 2);
        Bytes b = d.bytes(true);
        Bytes n = nav(c.type, {7, -8}, true);
        b.insert(b.end(), n.begin(), n.end());
        b.insert(b.end(), {1, 2, 3, 4});
        Read r(b);
        ASSERT_NE(r.ret, -1) << c.type;
        EXPECT_STREQ(r.area.nav_type, c.stored);
        if (c.slot) {
            ASSERT_NE(r.area.*c.slot, nullptr) << c.type;
            EXPECT_EQ((r.area.*c.slot)[1], 7);
            EXPECT_EQ((r.area.*c.slot)[2], -8);
        }
        EXPECT_EQ(r.row(1), (Bytes{3, 4}));
    }
}

TEST(AreaFramed, NibbleCodesDecode)
{
    struct Case {
        std::vector<int> nibs;
        Bytes expect;
        int code;
    } cases[] = {
        {{0, 6, 4, 12, 13}, {100, 101, 101}, 0},
        // every step code in turn from a literal 50
        {{0, 3, 2, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, {50, 44, 50, 45, 50, 46, 50, 47, 50, 48, 50, 49, 50}, 0},
        {{0, 0, 5, 14, 15, 11}, {5, 5, 5, 5, 5, 5, 4}, 0},
        {{0, 0, 2, 1}, {2, 252}, 0},          // wraps below zero
        {{0, 0x3, 0x2, 12}, {200, 204}, 6},   // line code 6 multiplies by 4
    };
    for (const auto &c : cases) {
        int nx = (int)c.expect.size();
        Bytes b = framed_head(Dir(nx, 2));
        framed_line(b, 1, c.nibs, c.code);
        Read r(b);
        ASSERT_NE(r.ret, -1);
        EXPECT_EQ(r.row(0), c.expect);
    }
}

TEST(AreaFramed, LineNumbersJumpsAndOutliers)
{
    // Lines 1, 2, 3, then 200 (taken as 3 again), then 6: lines 4 and 5
    // come out as zero rows.  The last line (number ny) is never decoded.
    Dir d(2, 8);
    d.w[14] = 3;
    Bytes b = framed_head(d);
    auto lit = [](int v) { return std::vector<int>{0, v >> 4, v & 15, 13}; };
    framed_line(b, 1, lit(11), 0, 3);
    framed_line(b, 2, lit(22), 0, 3);
    framed_line(b, 3, lit(33), 0, 3);
    framed_line(b, 200, lit(44), 0, 3);
    framed_line(b, 6, lit(66), 0, 3);
    framed_line(b, 7, lit(77), 0, 3);
    framed_line(b, 8, lit(88), 0, 3);
    Read r(b);
    ASSERT_NE(r.ret, -1);
    const int expect[8] = {11, 22, 33, 44, 0, 0, 66, 77};
    for (int y = 0; y < 8; y++) EXPECT_EQ(r.row(y), (Bytes{(unsigned char)expect[y], (unsigned char)expect[y]})) << "row " << y;
}

TEST(AreaFramed, ShiftAndNonZeroFirstByteAfterSync)
{
    Bytes b = framed_head(Dir(2, 3));
    // A sync followed by a non-zero byte is a false start: the next sync
    // carries the line.
    put_sync(b);
    b.push_back(0x55);
    framed_line(b, 1, {0, 1, 1, 12});
    framed_line(b, 2, {0, 1, 1, 12});
    framed_line(b, 3, {});  // the last line ends the stream undecoded
    SAT_set_bit_shift(3);
    Read r(b);
    SAT_set_bit_shift(0);
    ASSERT_NE(r.ret, -1);
    EXPECT_EQ(r.row(0), (Bytes{0x88, 0x90}));
}

TEST(AreaFramed, WriterToolRoundTrip)
{
    if (std::system("python3 -c 1 >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
    testutil::ScratchDir dir;
    const std::string tool = std::string(ZYR_SOURCE_DIR) + "/tools/make_area.py";
    struct Case {
        const char *opts;
        int nx, ny;
    } cases[] = {
        {"--framed --pattern random", 300, 7},
        {"--framed --pattern smooth --prefix 12", 257, 9},
        {"--order little --bytes 1 --pattern random --prefix 4", 33, 5},
        {"--order big --pattern gradient --nav GVAR:1,2,3", 40, 6},
    };
    for (const auto &c : cases) {
        std::string area = dir.file("t.area"), vals = dir.file("t.raw");
        std::string cmd = "python3 " + tool + " " + area + " --nx " + std::to_string(c.nx) + " --ny " +
                          std::to_string(c.ny) + " " + c.opts + " --values-out " + vals;
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
        Read r(load(area));
        ASSERT_NE(r.ret, -1) << c.opts;
        Bytes expect = load(vals);
        ASSERT_EQ(expect.size(), (size_t)(c.nx * c.ny));
        // Framed streams leave the last line (number ny) undecoded.
        size_t n = std::strstr(c.opts, "--framed") ? (size_t)(c.nx * (c.ny - 1)) : expect.size();
        EXPECT_EQ(std::memcmp(r.area.data, expect.data(), n), 0) << c.opts;
    }
}

TEST(AreaDamaged, TruncatedAndCorruptInputNeverCrashes)
{
    Dir d(20, 10);
    Bytes pixels(200);
    for (size_t i = 0; i < pixels.size(); i++) pixels[i] = (unsigned char)i;
    Bytes plain = plain_file(d, pixels, false, "GVAR");
    Bytes framed = framed_head(Dir(20, 10));
    for (uint32_t y = 1; y <= 10; y++) framed_line(framed, y, {0, 1, 2, 14, 15, 8, 8, 0, 9, 9});
    testing::internal::CaptureStderr();
    for (const Bytes *full : {&plain, &framed}) {
        for (size_t len = 0; len < full->size(); len += 7) {
            Bytes part(full->begin(), full->begin() + (long)len);
            Read r(part);
            (void)r.ret;  // any result; the sanitizers watch the reads
        }
    }
    // Data offset past the end, a negative offset, a prefix far longer than
    // the line (no data left for the lines), and an element size the reader
    // does not know: all refused.
    struct Case {
        int word;
        int32_t value;
        bool ok;
    } cases[] = {{33, 1 << 30, false}, {33, -5000, false}, {14, 1 << 30, false}, {14, -1, false}, {10, 3, false}};
    for (const auto &c : cases) {
        Dir e(20, 10);
        e.w[c.word] = c.value;
        Bytes b = plain_file(Dir(20, 10), pixels, true);
        Bytes dirb = e.bytes(true);
        std::copy(dirb.begin(), dirb.end(), b.begin());
        Read s(b);
        EXPECT_EQ(s.ret != -1, c.ok) << "word " << c.word << " = " << c.value;
    }
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(SAT_read_AREA(nullptr, nullptr), -1);
}

TEST(AreaSwap, SwitchFollowsTheHostOrder)
{
    const int32_t one = 1;
    const bool little = *reinterpret_cast<const unsigned char *>(&one) == 1;
    struct Case {
        int kind;
        bool swaps;
    } cases[] = {{-1, false}, {0, true}, {1, little}, {2, !little}};
    for (const auto &c : cases) {
        swap_setup(c.kind);
        uint32_t v = 0x01020304;
        uint16_t s = 0x0102;
        double d = 1.0, dswapped;
        unsigned char *db = reinterpret_cast<unsigned char *>(&d);
        std::reverse_copy(db, db + 8, reinterpret_cast<unsigned char *>(&dswapped));
        int r = swap_long(&v);
        swap_short(&s);
        swap_double(&d);
        EXPECT_EQ(r, c.swaps ? 0 : -1);
        EXPECT_EQ(v, c.swaps ? 0x04030201u : 0x01020304u) << c.kind;
        EXPECT_EQ(s, c.swaps ? 0x0201 : 0x0102);
        EXPECT_EQ(d, c.swaps ? dswapped : 1.0);
    }
    swap_setup(-1);
}

}  // namespace
