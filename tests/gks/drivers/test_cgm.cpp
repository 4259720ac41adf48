// Metafile driver, both flavours: the text records' layout, and binary CGM
// checked by a decoder written here from the ISO 8632-3 encoding (header
// word, long form, partition bit, padding) that shares nothing with the
// writer.
#include <cstdint>
#include <cstdlib>
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
Drawing check_structure(const std::vector<Element> &els)
{
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

std::string write_cgm(const ScratchDir &dir, void (*draw)())
{
    std::string path = dir.file("a.cgm");
    EXPECT_EQ(gmeta_open_ws(path.c_str(), "cgm", nullptr, nullptr), 0);
    draw();
    EXPECT_EQ(gmeta_close_file(), 0);
    return read_file(path);
}

} // namespace

TEST(CgmDriver, StartSequenceBytes)
{
    ScratchDir dir;
    std::string bytes = write_cgm(dir, [] {});
    const uint8_t start[46] = {0x00, 0x20, 0x10, 0x22, 0x00, 0x01, 0x10, 0x4B, 0x0A, 'Z', 'Y', 'R',
                               'C', 'G', 'M', '-', '1', '.', '0', 0x00, 0x11, 0x66, 0x00, 0x01,
                               0xFF, 0xFF, 0x00, 0x01, 0x11, 0x21, 0xFF, 0x00, 0x20, 0xC8, 0x00, 0x00,
                               0x00, 0x00, 0x27, 0x10, 0x1F, 0x40, 0x00, 0x60, 0x00, 0x80};
    ASSERT_EQ(bytes.size(), 50u); // start, END PICTURE, END METAFILE
    EXPECT_EQ(bytes.substr(0, 46), std::string((const char *)start, 46));
    EXPECT_EQ(bytes.substr(46), std::string("\x00\xA0\x00\x40", 4));
}

TEST(CgmDriver, PolylinesAndClipsDecodeToTheDrawing)
{
    ScratchDir dir;
    std::string bytes = write_cgm(dir, [] {
        gcgm_clip(10, 20, 990.5f, 780);
        std::vector<float> a = {0, 0, 1000, 800, 500.04f, 250.06f};
        gcgm_polyline(3, a.data());
        std::vector<float> far = {-100000, 100000, 3276.7f, -3276.8f};
        gcgm_polyline(2, far.data()); // beyond 16 bits: clamped, not wrapped
        std::vector<float> one = {5, 5};
        gcgm_polyline(1, one.data()); // not a line: nothing
    });
    std::string err;
    Drawing d = check_structure(decode(bytes, &err));
    EXPECT_EQ(err, "");
    ASSERT_EQ(d.clips.size(), 1u);
    EXPECT_EQ(d.clips[0], (std::vector<int>{100, 200, 9905, 7800}));
    ASSERT_EQ(d.polylines.size(), 2u);
    EXPECT_EQ(d.polylines[0], (std::vector<int>{0, 0, 10000, 8000, 5000, 2501}));
    EXPECT_EQ(d.polylines[1], (std::vector<int>{-32768, 32767, 32767, -32768}));
}

TEST(CgmDriver, LongPolylinesSplitAtSharedPoints)
{
    ScratchDir dir;
    static std::vector<float> pts;
    pts.clear();
    for (int k = 0; k < 20000; ++k) pts.push_back((float)(k % 1000)), pts.push_back((float)(k / 1000));
    std::string bytes = write_cgm(dir, [] { gcgm_polyline(20000, pts.data()); });
    std::string err;
    Drawing d = check_structure(decode(bytes, &err));
    EXPECT_EQ(err, "");
    ASSERT_EQ(d.polylines.size(), 3u); // 8191 + 8191 + 3620 with two shared points
    std::vector<int> joined;
    for (size_t i = 0; i < d.polylines.size(); ++i) {
        const auto &p = d.polylines[i];
        EXPECT_LE(p.size() / 2, 8191u);
        size_t from = 0;
        if (i > 0) {
            ASSERT_EQ(p[0], joined[joined.size() - 2]);
            ASSERT_EQ(p[1], joined.back());
            from = 2;
        }
        joined.insert(joined.end(), p.begin() + (long)from, p.end());
    }
    ASSERT_EQ(joined.size(), 40000u);
    for (int k = 0; k < 20000; ++k) {
        ASSERT_EQ(joined[2 * k], 10 * (k % 1000)) << k;
        ASSERT_EQ(joined[2 * k + 1], 10 * (k / 1000)) << k;
    }
}

TEST(CgmDriver, AttributesAreStandardElementsWrittenOnChange)
{
    ScratchDir dir;
    std::string bytes = write_cgm(dir, [] {
        gcgm_set_color_rep(7, 1.0f, 0.5f, 0.0f);
        gcgm_set_color(7);
        gcgm_set_color(7);
        gcgm_set_color(505); // device-independent white draws with colour 1
        gcgm_set_width(1);
        gcgm_set_width(1);
        gcgm_set_width(4.5f);
        gcgm_set_type(3);
        gcgm_set_type(5); // the same CGM type (dotted): nothing
        gcgm_set_fill_color(2);
        std::vector<float> tri = {0, 0, 10, 0, 5, 5};
        gcgm_polygon(3, tri.data());
        gcgm_polygon(3, tri.data());
    });
    std::string err;
    auto els = decode(bytes, &err);
    EXPECT_EQ(err, "");
    check_structure(els);
    std::vector<std::string> seen;
    for (const Element &e : els) {
        if (e.cls < 3) continue;
        std::string s = std::to_string(e.cls) + "," + std::to_string(e.id) + ":";
        for (uint8_t b : e.params) s.append(" ").append(std::to_string(b));
        seen.push_back(s);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "5,34: 7 255 128 0",    // COLOUR TABLE
                        "5,4: 7",               // LINE COLOUR
                        "5,4: 1",
                        "5,3: 0 1 0 0",         // LINE WIDTH 1.0 (fixed point 16.16)
                        "5,3: 0 4 128 0",       // 4.5
                        "5,2: 0 3",             // LINE TYPE dotted
                        "5,23: 2",              // FILL COLOUR
                        "5,22: 0 1",            // INTERIOR STYLE solid, once
                        "4,7: 0 0 0 0 0 100 0 0 0 50 0 50",
                        "4,7: 0 0 0 0 0 100 0 0 0 50 0 50",
                    }));
}

// A new page ends the picture and begins another, which gets the colour
// table again (each picture starts from the default one); the text flavour
// marks the page.  A plot appended to another file keeps its picture.
TEST(CgmDriver, NewPageBeginsAnotherPicture)
{
    ScratchDir dir;
    std::string path = dir.file("p.cgm");
    ASSERT_EQ(gmeta_open_ws(path.c_str(), "cgm", nullptr, nullptr), 0);
    gcgm_set_color_rep(7, 1, 0, 0);
    ASSERT_EQ(gmeta_new_page(), 0);
    ASSERT_EQ(gmeta_close_file(), 0);
    std::string err;
    std::vector<std::string> seen;
    for (const Element &e : decode(read_file(path), &err)) {
        std::string s = std::to_string(e.cls) + "," + std::to_string(e.id);
        if (e.cls == 0 || (e.cls == 5 && e.id == 34)) seen.push_back(s);
    }
    EXPECT_EQ(err, "");
    EXPECT_EQ(seen, (std::vector<std::string>{"0,1", "0,3", "0,4", "5,34", "0,5", "0,3", "0,4", "5,34", "0,5",
                                              "0,2"}));

    std::string before = read_file(path);
    ASSERT_EQ(gmeta_open_ws(("+" + path).c_str(), "cgm", nullptr, nullptr), 0);
    EXPECT_EQ(gmeta_new_page(), -1);
    gmeta_close_file();
    EXPECT_EQ(read_file(path), before);

    ASSERT_EQ(gmeta_open_ws(dir.file("t.meta").c_str(), "zyr", nullptr, nullptr), 0);
    ASSERT_EQ(gmeta_new_page(), 0);
    gmeta_close_file();
    EXPECT_NE(read_file(dir.file("t.meta")).find("\nPAGE 2\n"), std::string::npos);
    gmeta_set_type(0);
}

TEST(MetaDriver, TextPointRecordsBreakEveryFourthPoint)
{
    ScratchDir dir;
    std::string path = dir.file("t.meta");
    unsetenv("zyrmeta_out");
    ASSERT_EQ(gmeta_open_ws(path.c_str(), "zyr", nullptr, nullptr), 0);
    std::vector<float> pts;
    for (int k = 1; k <= 9; ++k) pts.push_back((float)k), pts.push_back(k * 0.5f);
    gmeta_points("PL", 9, pts.data());
    gmeta_points("PM", 4, pts.data());
    gcgm_polyline(9, pts.data()); // binary elements never enter a text metafile
    gmeta_close_file();
    std::string text = drvtest::blank_lines(read_file(path), "#CreationDate:");
    EXPECT_EQ(text, "ZYRMETA\n#Title: ZYR Graphics Display: V11_Ozero\n#Creator: ZYR Metafile Processor-1.0\n"
                    "#CreationDate:\n"
                    "PL 9 1.000000,0.500000 2.000000,1.000000 3.000000,1.500000 4.000000,2.000000 \n"
                    "   5.000000,2.500000 6.000000,3.000000 7.000000,3.500000 8.000000,4.000000 \n"
                    "   9.000000,4.500000 \n"
                    "PM 4 1.000000,0.500000 2.000000,1.000000 3.000000,1.500000 4.000000,2.000000 \n   \n");
}

TEST(MetaDriver, FlavourFileNamesAndFailure)
{
    ScratchDir dir;
    setenv("zyrmeta_out", dir.file("env.meta").c_str(), 1);
    ASSERT_EQ(gmeta_open_ws("", "zyr", nullptr, nullptr), 0);
    EXPECT_EQ(gmeta_get_type(), 0);
    EXPECT_GT(gmeta_printf("ME hello\n"), 0);
    gmeta_close_file();
    EXPECT_NE(read_file(dir.file("env.meta")).find("ME hello\n"), std::string::npos);
    unsetenv("zyrmeta_out");

    GDRV_PAGE page{};
    ASSERT_EQ(gmeta_open_ws(dir.file("b.cgm").c_str(), "CGM", "P2x2+1+1", &page), 0);
    EXPECT_EQ(gmeta_get_type(), 1);
    EXPECT_EQ(gmeta_printf("ME hello\n"), 0); // text records never enter a CGM file
    gmeta_close_file();
    EXPECT_FLOAT_EQ(page.width, 500);
    EXPECT_FLOAT_EQ(page.height, 400);
    EXPECT_FLOAT_EQ(page.xoff, 500);
    EXPECT_FLOAT_EQ(page.yoff, 0);
    // Without a flavour word the flavour stays as it was (the screen print
    // uses the current one).
    ASSERT_EQ(gmeta_open_ws(dir.file("c.cgm").c_str(), "", "5x4+1+2", &page), 0);
    EXPECT_EQ(gmeta_get_type(), 1);
    gmeta_close_file();
    EXPECT_FLOAT_EQ(page.width, 500);
    EXPECT_FLOAT_EQ(page.xoff, 100);
    EXPECT_FLOAT_EQ(page.yoff, 200);
    gmeta_set_type(0);

    EXPECT_EQ(gmeta_open_ws(dir.file("no/x.meta").c_str(), "", nullptr, nullptr), -1);
    EXPECT_EQ(gmeta_close_file(), -1);
}
