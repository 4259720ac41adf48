// The AREA reader: a real file, a table of built variants, the writer tool's files, the byte-order switch.

#include <bit>

#include "area_blocks.h"
#include "build.h"
#include "core/flags.h"
#include "core/res.h"
#include "driver/sat_read.h"
#include "image/readers.h"

using namespace build;

namespace {

const std::string kPs = testutil::PS_AREA;

TEST(AreaReal, ReadFileFillsImagePrintsAndAnswersOutput)
{
    NEED_SHARED(kPs);
    const std::string path = testutil::shared(kPs);
    FLAG_set(FLAG_INPUT, IMG_SRC_AREA);
    IMG img;
    int read = 0;
    std::string out = testutil::stdout_of([&] { read = SAT_read_file(path.c_str(), &img); });
    ASSERT_EQ(read, 1);
    EXPECT_EQ(img.source, 51);
    EXPECT_EQ(std::vector<int>({img.nx, img.ny, img.bytes_line, img.depth}), (std::vector<int>{640, 350, 640, 8}));
    EXPECT_EQ(std::vector<float>({img.res_x, img.res_y, img.off_x, img.off_y}), (std::vector<float>{4, 5, -159, 6}));
    // Year 100 means 2000; day 137 of a leap year is 16 May.
    const DATE &t = img.date;
    EXPECT_EQ(std::vector<int>({t.year, t.month, t.day, t.hour, t.minute}), (std::vector<int>{2000, 5, 16, 8, 59}));
    EXPECT_EQ(std::string(img.info).substr(0, 3), "MDR");
    EXPECT_TRUE(out.find("Size: 640x350\n") != out.npos && out.find("Comments: MDR") != out.npos) << out;
    const std::string label = img.date_label;
    IMG_free(&img);
    // output=file/seq/date: one line answering, nothing of the usual report.
    RES_put("out_file", "@zyr_%Y%m%d%h%n.img");
    for (const char *output : {"file", "seq", "date"}) {
        RES_put("output", output);
        out = testutil::stdout_of([&] { EXPECT_EQ(SAT_read_file(path.c_str(), &img), 0) << output; });
        const std::string want = *output == 'f' ? "zyr_200005160859.img\n" : *output == 'd' ? label + "\n" : out;
        EXPECT_EQ(out, want);
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << output << ": " << out;
        IMG_free(&img);
    }
}

Bytes plain(Dir d, const Bytes &pixels, bool big = false, const char *nav_type = "RECT")
{
    Bytes b = cat({d.bytes(big), nav(nav_type, {7, -8}, big)});
    b.resize((size_t)d.w[33], 0);
    return cat({b, pixels});
}

Bytes framed(Dir d, std::vector<std::vector<int>> lines, int code = 0)
{
    Bytes b = framed_head(d);
    for (size_t i = 0; i < lines.size(); i++) framed_line(b, (uint32_t)(1 + i), lines[i], code);
    return b;
}

// pixels: the whole image, empty when refused with a message holding err;
// the stored navigation type and the slot holding nav words 1 and 2 (7, -8).
struct Variant {
    const char *name;
    Bytes file;
    int shift;
    Bytes pixels;
    const char *err = "", *nav = "RECT";
    int32_t *AREA_REC::*slot = nullptr;
};

std::vector<Variant> variants()
{
    // Two lines of three 10-bit values as 2 bytes high first after a 5-byte
    // prefix; shift 6 keeps their upper 8 bits.
    const int v[6] = {1023, 512, 3, 0, 700, 256};
    Bytes two;
    for (int i = 0; i < 6; i++) {
        if (i % 3 == 0) two.insert(two.end(), 5, 0xAB);
        two.insert(two.end(), {(unsigned char)(v[i] >> 8), (unsigned char)v[i]});
    }
    const Bytes upper8 = {255, 128, 0, 0, 175, 64};
    auto lit = [](int v) { return std::vector<int>{0, v >> 4, v & 15, 13}; };
    Bytes jumps = framed_head(Dir(2, 8, {{14, 3}}));
    const int numbers[] = {1, 2, 3, 200, 6, 7, 8}, values[] = {11, 22, 33, 44, 66, 77, 88};
    for (int i = 0; i < 7; i++) framed_line(jumps, (uint32_t)numbers[i], lit(values[i]), 0, 3);
    Bytes false_start = cat({framed_head(Dir(2, 3)), kSync, {0x55}});  // a sync then a non-zero byte: not a line
    framed_line(false_start, 1, {0, 1, 1, 12});
    framed_line(false_start, 2, {0, 1, 1, 12});
    framed_line(false_start, 3, {});
    std::vector<Variant> c = {
        {"2-byte, prefix, little-endian", plain(Dir(3, 2, {{10, 2}, {14, 5}}), two), 6, upper8},
        {"2-byte, prefix, big-endian", plain(Dir(3, 2, {{10, 2}, {14, 5}}), two, true), 6, upper8},
        {"1-byte with a prefix takes the shift", plain(Dir(4, 1, {{14, 2}}), {9, 9, 0x41, 0x42, 0x43, 0xFF}), 2,
         {0x04, 0x08, 0x0C, 0xFC}},
        {"1-byte without a prefix does not", plain(Dir(4, 1), {0x41, 0x42, 0x43, 0xFF}), 2, {0x41, 0x42, 0x43, 0xFF}},
        // Framed streams: the last line (number ny) ends the stream undecoded.
        {"framed literal, run, step", framed(Dir(3, 2), {{0, 6, 4, 12, 13}}), 0, {100, 101, 101, 0, 0, 0}},
        {"framed, every step code from 50",
         framed(Dir(13, 2), {{0, 3, 2, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}}), 0,
         {50, 44, 50, 45, 50, 46, 50, 47, 50, 48, 50, 49, 50, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"framed runs", framed(Dir(7, 2), {{0, 0, 5, 14, 15, 11}}), 0, {5, 5, 5, 5, 5, 5, 4, 0, 0, 0, 0, 0, 0, 0}},
        {"framed step wraps below zero", framed(Dir(2, 2), {{0, 0, 2, 1}}), 0, {2, 252, 0, 0}},
        {"framed line code 6 multiplies by 4", framed(Dir(2, 2), {{0, 3, 2, 12}}, 6), 0, {200, 204, 0, 0}},
        // Lines 1, 2, 3, then 200 (taken as 3 again), then 6: 4 and 5 stay zero.
        {"framed line numbers jump", jumps, 0, {11, 11, 22, 22, 33, 33, 44, 44, 0, 0, 0, 0, 66, 66, 77, 77}},
        {"framed false start, shift 3", false_start, 3, {0x88, 0x90, 0x88, 0x90, 0, 0}},
    };
    // Navigation slots: the block's words 1 and 2 (7, -8) are kept where the type says.
    const std::tuple<const char *, const char *, int32_t *AREA_REC::*> slots[] = {{"GOES", "GOES", &AREA_REC::goes},
        {"PS  ", "PS", &AREA_REC::ps}, {"MSAT", "MSAT", &AREA_REC::ps}, {"TANC", "TANC", &AREA_REC::tanc},
        {"MOLL", "MOLL", &AREA_REC::proj}, {"MERC", "MERC", &AREA_REC::proj}, {"LAMB", "LAMB", &AREA_REC::proj}, {"XXXX", "", nullptr}};
    for (auto [type, stored, slot] : slots) c.push_back({type, plain(Dir(2, 2), {1, 2, 3, 4}, true, type), 0, {1, 2, 3, 4}, "", stored, slot});
    // Refused: sizes, a data offset past the end or negative, a prefix longer
    // than the file, an element size the reader does not know.
    struct { int word; int32_t value; const char *err; } refused[] = {
        {9, 0, "Invalid image parameters"},      {8, 0, "Invalid image parameters"},
        {9, 100001, "Invalid image parameters"}, {8, 100001, "Invalid image parameters"},
        {9, -3, "Invalid image parameters"},     {0, 0, "Invalid image parameters"},  // 100000 x 100000
        {33, 1 << 30, ""}, {33, -5000, ""}, {14, 1 << 30, ""}, {14, -1, ""}, {10, 3, ""}};
    for (auto &r : refused) {
        Bytes b = plain(Dir(20, 10), Bytes(200, 1), true);
        Bytes head = (r.word ? Dir(20, 10, {{r.word, r.value}}) : Dir(100000, 100000)).bytes(true);
        std::copy(head.begin(), head.end(), b.begin());
        c.push_back({"refused header", b, 0, {}, r.err});
    }
    return c;
}

TEST(AreaVariants, ReadOrRefused)
{
    for (const Variant &c : variants()) {
        SCOPED_TRACE(c.name);
        SAT_set_bit_shift(c.shift);
        testing::internal::CaptureStderr();
        Read r(c.file);
        std::string err = testing::internal::GetCapturedStderr();
        SAT_set_bit_shift(0);
        if (c.pixels.empty()) {
            EXPECT_EQ(r.ret, -1);
            EXPECT_NE(err.find(c.err), std::string::npos) << err;
            continue;
        }
        ASSERT_NE(r.ret, -1) << err;
        ASSERT_EQ((size_t)r.nx() * r.area.dir[AREA_W_NLINES], c.pixels.size());
        EXPECT_EQ(Bytes(r.area.data, r.area.data + c.pixels.size()), c.pixels);
        EXPECT_STREQ(r.area.nav_type, c.nav);
        if (c.slot) {
            ASSERT_NE(r.area.*c.slot, nullptr);
            EXPECT_EQ(std::pair((r.area.*c.slot)[1], (r.area.*c.slot)[2]), std::pair(7, -8));
        }
    }
}

// The project's AREA writer (shares no code with the reader) against the
// reader, for both framed and plain forms.
TEST(AreaVariants, WriterToolFiles)
{
    NEED_TOOL("python3");
    testutil::ScratchDir dir;
    const std::string tool = std::string(ZYR_SOURCE_DIR) + "/tools/make_area.py";
    struct { const char *opts; int nx, ny; } cases[] = {
        {"--framed --pattern random", 300, 7}, {"--framed --pattern smooth --prefix 12", 257, 9},
        {"--order little --bytes 1 --pattern random --prefix 4", 33, 5},
        {"--order big --pattern gradient --nav GVAR:1,2,3", 40, 6},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.opts);
        std::string area = dir.file("t.area"), vals = dir.file("t.raw");
        testutil::Result made = testutil::shell("python3 " + tool + " " + area + " --nx " + std::to_string(c.nx) +
                                                " --ny " + std::to_string(c.ny) + " " + c.opts + " --values-out " + vals);
        ASSERT_EQ(made.status, 0) << made.out;
        Read r(load(area));
        ASSERT_NE(r.ret, -1);
        Bytes expect = load(vals);
        ASSERT_EQ(expect.size(), (size_t)(c.nx * c.ny));
        size_t n = std::strstr(c.opts, "--framed") ? (size_t)(c.nx * (c.ny - 1)) : expect.size();
        EXPECT_EQ(std::memcmp(r.area.data, expect.data(), n), 0);
    }
}

TEST(AreaDamaged, NoStreamIsRefused) { EXPECT_EQ(SAT_read_AREA(nullptr, nullptr), -1); }

// Kinds: -1 never swap, 0 always, 1 on a little-endian host, 2 on a big-endian one.
TEST(AreaSwap, SwitchFollowsTheHostOrder)
{
    const bool little = std::endian::native == std::endian::little;
    for (auto [kind, swaps] : {std::pair{-1, false}, {0, true}, {1, little}, {2, !little}}) {
        swap_setup(kind);
        uint32_t v = 0x01020304;
        uint16_t s = 0x0102;
        uint64_t d = 0x0102030405060708;
        EXPECT_EQ(swap_long(&v), swaps ? 0 : -1);
        swap_short(&s), swap_double(&d);
        EXPECT_EQ(std::tuple(v, s, d), swaps ? std::tuple(0x04030201u, (uint16_t)0x0201, 0x0807060504030201ull)
                                             : std::tuple(0x01020304u, (uint16_t)0x0102, 0x0102030405060708ull)) << kind;
    }
    swap_setup(-1);
}

}  // namespace
