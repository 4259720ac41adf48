// Metafile driver: binary CGM read back by the decoder in drv_util.h (which
// shares nothing with the writer) and the text records' layout.
#include "drv_util.h"
#include "gks/drivers/meta.h"

using drvtest::Element;
using testutil::read_file;
using testutil::ScratchDir;

namespace {

// The elements of a CGM file drawn by draw, decoded without a structural fault.
std::vector<Element> write_cgm(const ScratchDir &dir, void (*draw)(), const std::string &name = "a.cgm") {
    std::string path = dir.file(name), err;
    EXPECT_EQ(gmeta_open_ws(path.c_str(), "cgm", nullptr, nullptr), 0);
    draw();
    EXPECT_EQ(gmeta_close_file(), 0);
    auto els = drvtest::decode(read_file(path), &err);
    EXPECT_EQ(err, "");
    return els;
}

// The elements keep chooses as "class,id", with ": " and their parameter bytes when params.
std::vector<std::string> listed(const std::vector<Element> &els, bool (*keep)(const Element &), bool params = true) {
    std::vector<std::string> out;
    for (const Element &e : els) {
        if (!keep(e)) continue;
        out.push_back(std::to_string(e.cls) + "," + std::to_string(e.id) + (params ? ":" : ""));
        for (size_t k = 0; params && k < e.params.size(); ++k) out.back().append(" ").append(std::to_string(e.params[k]));
    }
    return out;
}

// The 16-bit words of every element cls, id.
std::vector<std::vector<int>> words(const std::vector<Element> &els, int cls, int id) {
    std::vector<std::vector<int>> out;
    for (const Element &e : els)
        if (e.cls == cls && e.id == id) {
            out.emplace_back();
            for (size_t w = 0; w < e.params.size() / 2; ++w) out.back().push_back(e.word(w));
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

// Driver units to VDC: times 10, rounded, clamped to 16 bits; one point
// draws nothing.  20,000 points are split 8191 + 8191 + 3620, each part
// starting at the last point of the one before.
TEST(CgmDriver, PolylinesAndClipsDecodeToTheDrawing) {
    ScratchDir dir;
    auto els = write_cgm(dir, [] {
        gcgm_clip(10, 20, 990.5f, 780);
        std::vector<float> a = {0, 0, 1000, 800, 500.04f, 250.06f}, far = {-100000, 100000, 3276.7f, -3276.8f}, one = {5, 5};
        gcgm_polyline(3, a.data()), gcgm_polyline(2, far.data()), gcgm_polyline(1, one.data());
    });
    EXPECT_EQ(words(els, 3, 5), (std::vector<std::vector<int>>{{100, 200, 9905, 7800}}));
    EXPECT_EQ(words(els, 4, 1), (std::vector<std::vector<int>>{{0, 0, 10000, 8000, 5000, 2501}, {-32768, 32767, 32767, -32768}}));
    auto lines = words(write_cgm(dir, [] {
        std::vector<float> pts;
        for (int k = 0; k < 20000; ++k) pts.push_back((float)(k % 1000)), pts.push_back((float)(k / 1000));
        gcgm_polyline(20000, pts.data());
    }), 4, 1);
    std::vector<int> want;
    for (int k = 0; k < 20000; ++k) want.push_back(10 * (k % 1000)), want.push_back(10 * (k / 1000));
    auto part = [&](int from, int n) { return std::vector<int>(want.begin() + 2 * from, want.begin() + 2 * (from + n)); };
    EXPECT_TRUE(lines == (std::vector<std::vector<int>>{part(0, 8191), part(8190, 8191), part(16380, 3620)})) << lines.size();
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
    EXPECT_EQ(listed(els, [](const Element &e) { return e.cls >= 3; }),
              (std::vector<std::string>{"5,34: 7 255 128 0", "5,4: 7", "5,4: 1", "5,3: 0 1 0 0", "5,3: 0 4 128 0",
                                        "5,2: 0 3", "5,23: 2", "5,22: 0 1", "4,7: 0 0 0 0 0 100 0 0 0 50 0 50",
                                        "4,7: 0 0 0 0 0 100 0 0 0 50 0 50"}));
}

// A new page ends the picture and begins another, which gets the colour
// table again (each picture starts from the default one); the text flavour
// marks the page.  A plot appended to another file keeps its picture.
TEST(CgmDriver, NewPageBeginsAnotherPicture) {
    ScratchDir dir;
    auto els = write_cgm(dir, [] { gcgm_set_color_rep(7, 1, 0, 0); EXPECT_EQ(gmeta_new_page(), 0); }, "p.cgm");
    EXPECT_EQ(listed(els, [](const Element &e) { return e.cls == 0 || (e.cls == 5 && e.id == 34); }, false),
              (std::vector<std::string>{"0,1", "0,3", "0,4", "5,34", "0,5", "0,3", "0,4", "5,34", "0,5", "0,2"}));
    std::string path = dir.file("p.cgm"), before = read_file(path);
    ASSERT_EQ(gmeta_open_ws(("+" + path).c_str(), "cgm", nullptr, nullptr), 0);
    EXPECT_EQ(gmeta_new_page(), -1);
    gmeta_close_file();
    EXPECT_EQ(read_file(path), before);
    ASSERT_EQ(gmeta_open_ws(dir.file("t.meta").c_str(), "zyr", nullptr, nullptr), 0);
    ASSERT_EQ(gmeta_new_page(), 0);
    gmeta_close_file();
    EXPECT_NE(read_file(dir.file("t.meta")).find("\nPAGE 2\n"), std::string::npos);
}

// Text point records: four points to a line; binary elements never enter a
// text metafile, nor text records a CGM file.  The flavour word and, without
// one, the flavour as it was; placement in a 1000 x 800 page.
TEST(MetaDriver, TextRecordsFlavoursAndPlacement) {
    ScratchDir dir;
    ASSERT_EQ(gmeta_open_ws(dir.file("t.meta").c_str(), "zyr", nullptr, nullptr), 0);
    EXPECT_EQ(gmeta_get_type(), 0);
    std::vector<float> pts;
    for (int k = 1; k <= 9; ++k) pts.push_back((float)k), pts.push_back(k * 0.5f);
    gmeta_points("PL", 9, pts.data()), gmeta_points("PM", 4, pts.data()), gcgm_polyline(9, pts.data());
    EXPECT_GT(gmeta_printf("ME hello\n"), 0);
    gmeta_close_file();
    EXPECT_EQ(drvtest::blank_lines(read_file(dir.file("t.meta")), "#CreationDate:"),
              "ZYRMETA\n#Title: ZYR Graphics Display: V11_Ozero\n#Creator: ZYR Metafile Processor-1.0\n#CreationDate:\n"
              "PL 9 1.000000,0.500000 2.000000,1.000000 3.000000,1.500000 4.000000,2.000000 \n"
              "   5.000000,2.500000 6.000000,3.000000 7.000000,3.500000 8.000000,4.000000 \n   9.000000,4.500000 \n"
              "PM 4 1.000000,0.500000 2.000000,1.000000 3.000000,1.500000 4.000000,2.000000 \n   \nME hello\n");
    GDRV_PAGE page{};
    ASSERT_EQ(gmeta_open_ws(dir.file("b.cgm").c_str(), "CGM", "P2x2+1+1", &page), 0);
    EXPECT_EQ(gmeta_get_type() * 1000 + gmeta_printf("ME hello\n"), 1000);
    gmeta_close_file();
    EXPECT_EQ(drvtest::page_text(page), "500x400+500+0");
    ASSERT_EQ(gmeta_open_ws(dir.file("c.cgm").c_str(), "", "5x4+1+2", &page), 0);
    EXPECT_EQ(gmeta_get_type(), 1);
    gmeta_close_file();
    EXPECT_EQ(drvtest::page_text(page), "500x400+100+200");
    EXPECT_EQ(gmeta_close_file(), -1); // without a file
}
