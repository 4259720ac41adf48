// Metafile driver, both flavours: the text records' layout, and binary CGM
// checked by a decoder written here from the ISO 8632-3 encoding (header
// word, long form, partition bit, padding) that shares nothing with the
// writer.
#include <cstdint>
#include <string>
#include <vector>

#include "drv_util.h"
#include "gks/drivers/meta.h"

using testutil::read_file;
using testutil::ScratchDir;

namespace {

using drvtest::decode;
using drvtest::Element;

struct Drawing {
    std::vector<std::vector<int>> polylines; // VDC x, y pairs
    std::vector<std::vector<int>> clips;
};

// Checks the element order of a one-picture metafile and collects its
// polylines and clip rectangles.
Drawing check_structure(const std::vector<Element> &els) {
    Drawing d;
    EXPECT_GE(els.size(), 9u);
    if (els.size() < 9) return d;
    auto is = [](const Element &e, int c, int i) { return e.cls == c && e.id == i; };
    EXPECT_TRUE(is(els[0], 0, 1)) << "BEGIN METAFILE first";
    EXPECT_TRUE(is(els[els.size() - 1], 0, 2)) << "END METAFILE last";
    EXPECT_TRUE(is(els[els.size() - 2], 0, 5)) << "END PICTURE before it";
    bool body = false;
    for (size_t k = 1; k + 2 < els.size(); ++k) {
        const Element &e = els[k];
        if (!body) {
            EXPECT_TRUE(e.cls == 1 || e.cls == 2 || is(e, 0, 3) || is(e, 0, 4)) << e.cls << "," << e.id;
            body = is(e, 0, 4);
            continue;
        }
        // Picture body: control (3), graphical primitives (4), attributes (5) only.
        EXPECT_TRUE(e.cls >= 3 && e.cls <= 5) << "element " << e.cls << "," << e.id << " in the body";
        if (is(e, 4, 1)) {
            EXPECT_EQ(e.params.size() % 4, 0u);
            std::vector<int> pts;
            for (size_t w = 0; w < e.params.size() / 2; ++w) pts.push_back(e.word(w));
            d.polylines.push_back(pts);
        } else if (is(e, 3, 5)) {
            EXPECT_EQ(e.params.size(), 8u);
            d.clips.push_back({e.word(0), e.word(1), e.word(2), e.word(3)});
        }
    }
    EXPECT_TRUE(body) << "BEGIN PICTURE BODY present";
    return d;
}

// The elements of a CGM file drawn by draw, decoded without a structural fault.
std::vector<Element> write_cgm(const ScratchDir &dir, void (*draw)(), const std::string &name = "a.cgm") {
    std::string path = dir.file(name), err;
    EXPECT_EQ(gmeta_open_ws(path.c_str(), "cgm", nullptr, nullptr), 0);
    draw();
    EXPECT_EQ(gmeta_close_file(), 0);
    auto els = decode(read_file(path), &err);
    EXPECT_EQ(err, "");
    return els;
}

// Elements as "class,id" with ": " and their parameter bytes when params.
std::vector<std::string> listed(const std::vector<Element> &els, bool (*keep)(const Element &), bool params) {
    std::vector<std::string> out;
    for (const Element &e : els) {
        if (!keep(e)) continue;
        out.push_back(std::to_string(e.cls) + "," + std::to_string(e.id) + (params ? ":" : ""));
        if (params)
            for (uint8_t b : e.params) out.back().append(" ").append(std::to_string(b));
    }
    return out;
}

} // namespace

// The start sequence, END PICTURE and END METAFILE, byte for byte.
TEST(CgmDriver, StartSequenceBytes) {
    ScratchDir dir;
    write_cgm(dir, [] {});
    const uint8_t want[50] = {0x00, 0x20, 0x10, 0x22, 0x00, 0x01, 0x10, 0x4B, 0x0A, 'Z',  'Y',  'R',  'C',
                              'G',  'M',  '-',  '1',  '.',  '0',  0x00, 0x11, 0x66, 0x00, 0x01, 0xFF, 0xFF,
                              0x00, 0x01, 0x11, 0x21, 0xFF, 0x00, 0x20, 0xC8, 0x00, 0x00, 0x00, 0x00, 0x27,
                              0x10, 0x1F, 0x40, 0x00, 0x60, 0x00, 0x80, 0x00, 0xA0, 0x00, 0x40};
    EXPECT_EQ(read_file(dir.file("a.cgm")), std::string((const char *)want, 50));
}

// Driver units to VDC: times 10, rounded, clamped to 16 bits.
TEST(CgmDriver, PolylinesAndClipsDecodeToTheDrawing) {
    ScratchDir dir;
    Drawing d = check_structure(write_cgm(dir, [] {
        gcgm_clip(10, 20, 990.5f, 780);
        std::vector<float> a = {0, 0, 1000, 800, 500.04f, 250.06f}, far = {-100000, 100000, 3276.7f, -3276.8f}, one = {5, 5};
        gcgm_polyline(3, a.data()), gcgm_polyline(2, far.data()), gcgm_polyline(1, one.data()); // one point: nothing
    }));
    EXPECT_EQ(d.clips, (std::vector<std::vector<int>>{{100, 200, 9905, 7800}}));
    EXPECT_EQ(d.polylines, (std::vector<std::vector<int>>{{0, 0, 10000, 8000, 5000, 2501}, {-32768, 32767, 32767, -32768}}));
}

// 20,000 points: 8191 + 8191 + 3620, each part starting at the last point of the one before.
TEST(CgmDriver, LongPolylinesSplitAtSharedPoints) {
    ScratchDir dir;
    Drawing d = check_structure(write_cgm(dir, [] {
        std::vector<float> pts;
        for (int k = 0; k < 20000; ++k) pts.push_back((float)(k % 1000)), pts.push_back((float)(k / 1000));
        gcgm_polyline(20000, pts.data());
    }));
    ASSERT_EQ(d.polylines.size(), 3u);
    EXPECT_EQ(std::vector<size_t>({d.polylines[0].size(), d.polylines[1].size(), d.polylines[2].size()}),
              std::vector<size_t>({2 * 8191, 2 * 8191, 2 * 3620}));
    std::vector<int> joined = d.polylines[0], want;
    for (size_t i = 1; i < 3; ++i) {
        const auto &p = d.polylines[i];
        ASSERT_EQ(std::vector<int>(p.begin(), p.begin() + 2), std::vector<int>(joined.end() - 2, joined.end()));
        joined.insert(joined.end(), p.begin() + 2, p.end());
    }
    for (int k = 0; k < 20000; ++k) want.push_back(10 * (k % 1000)), want.push_back(10 * (k / 1000));
    EXPECT_TRUE(joined == want);
}

// COLOUR TABLE, LINE COLOUR twice (device-independent white draws with
// colour 1), LINE WIDTH 1.0 and 4.5 (fixed point 16.16), LINE TYPE dotted
// (type 5 is dotted too), FILL COLOUR, INTERIOR STYLE solid once, two POLYGONs.
TEST(CgmDriver, AttributesAreStandardElementsWrittenOnChange) {
    ScratchDir dir;
    auto els = write_cgm(dir, [] {
        gcgm_set_color_rep(7, 1.0f, 0.5f, 0.0f);
        gcgm_set_color(7), gcgm_set_color(7), gcgm_set_color(505);
        gcgm_set_width(1), gcgm_set_width(1), gcgm_set_width(4.5f), gcgm_set_type(3), gcgm_set_type(5);
        std::vector<float> tri = {0, 0, 10, 0, 5, 5};
        gcgm_set_fill_color(2), gcgm_polygon(3, tri.data()), gcgm_polygon(3, tri.data());
    });
    check_structure(els);
    EXPECT_EQ(listed(els, [](const Element &e) { return e.cls >= 3; }, true),
              (std::vector<std::string>{"5,34: 7 255 128 0", "5,4: 7", "5,4: 1", "5,3: 0 1 0 0", "5,3: 0 4 128 0",
                                        "5,2: 0 3", "5,23: 2", "5,22: 0 1", "4,7: 0 0 0 0 0 100 0 0 0 50 0 50",
                                        "4,7: 0 0 0 0 0 100 0 0 0 50 0 50"}));
}

// A new page ends the picture and begins another, which gets the colour
// table again (each picture starts from the default one); the text flavour
// marks the page.  A plot appended to another file keeps its picture.
TEST(CgmDriver, NewPageBeginsAnotherPicture) {
    ScratchDir dir;
    auto els = write_cgm(dir, [] {
        gcgm_set_color_rep(7, 1, 0, 0);
        EXPECT_EQ(gmeta_new_page(), 0);
    }, "p.cgm");
    EXPECT_EQ(listed(els, [](const Element &e) { return e.cls == 0 || (e.cls == 5 && e.id == 34); }, false),
              (std::vector<std::string>{"0,1", "0,3", "0,4", "5,34", "0,5", "0,3", "0,4", "5,34", "0,5", "0,2"}));
    std::string path = dir.file("p.cgm"), before = read_file(path);
    ASSERT_EQ(gmeta_open_ws(("+" + path).c_str(), "cgm", nullptr, nullptr), 0);
    EXPECT_EQ(gmeta_new_page(), -1);
    gmeta_close_file();
    EXPECT_EQ(read_file(path), before);
    ASSERT_EQ(gmeta_open_ws(dir.file("t.meta").c_str(), "zyr", nullptr, nullptr), 0);
    ASSERT_EQ(gmeta_new_page(), 0);
    gmeta_close_file(), gmeta_set_type(0);
    EXPECT_NE(read_file(dir.file("t.meta")).find("\nPAGE 2\n"), std::string::npos);
}

// Text point records: four points to a line; binary elements never enter a text metafile.
TEST(MetaDriver, TextPointRecordsBreakEveryFourthPoint) {
    ScratchDir dir;
    unsetenv("zyrmeta_out");
    ASSERT_EQ(gmeta_open_ws(dir.file("t.meta").c_str(), "zyr", nullptr, nullptr), 0);
    std::vector<float> pts;
    for (int k = 1; k <= 9; ++k) pts.push_back((float)k), pts.push_back(k * 0.5f);
    gmeta_points("PL", 9, pts.data()), gmeta_points("PM", 4, pts.data()), gcgm_polyline(9, pts.data());
    gmeta_close_file();
    EXPECT_EQ(drvtest::blank_lines(read_file(dir.file("t.meta")), "#CreationDate:"),
              "ZYRMETA\n#Title: ZYR Graphics Display: V11_Ozero\n#Creator: ZYR Metafile Processor-1.0\n#CreationDate:\n"
              "PL 9 1.000000,0.500000 2.000000,1.000000 3.000000,1.500000 4.000000,2.000000 \n"
              "   5.000000,2.500000 6.000000,3.000000 7.000000,3.500000 8.000000,4.000000 \n   9.000000,4.500000 \n"
              "PM 4 1.000000,0.500000 2.000000,1.000000 3.000000,1.500000 4.000000,2.000000 \n   \n");
}

// The output named by the environment; the flavour word and, without one,
// the flavour as it was (the screen print uses the current one); text
// records never enter a CGM file; placement in a 1000 x 800 page.
TEST(MetaDriver, FlavourFileNamesAndFailure) {
    ScratchDir dir;
    setenv("zyrmeta_out", dir.file("env.meta").c_str(), 1);
    ASSERT_EQ(gmeta_open_ws("", "zyr", nullptr, nullptr), 0);
    EXPECT_EQ(gmeta_get_type(), 0);
    EXPECT_GT(gmeta_printf("ME hello\n"), 0);
    gmeta_close_file(), unsetenv("zyrmeta_out");
    EXPECT_NE(read_file(dir.file("env.meta")).find("ME hello\n"), std::string::npos);
    GDRV_PAGE page{};
    ASSERT_EQ(gmeta_open_ws(dir.file("b.cgm").c_str(), "CGM", "P2x2+1+1", &page), 0);
    EXPECT_EQ(gmeta_get_type(), 1);
    EXPECT_EQ(gmeta_printf("ME hello\n"), 0);
    gmeta_close_file();
    drvtest::expect_page(page, {500, 400, 500, 0});
    ASSERT_EQ(gmeta_open_ws(dir.file("c.cgm").c_str(), "", "5x4+1+2", &page), 0);
    EXPECT_EQ(gmeta_get_type(), 1);
    gmeta_close_file(), gmeta_set_type(0);
    drvtest::expect_page(page, {500, 400, 100, 200});
    EXPECT_EQ(gmeta_open_ws(dir.file("no/x.meta").c_str(), "", nullptr, nullptr), -1);
    EXPECT_EQ(gmeta_close_file(), -1);
}
