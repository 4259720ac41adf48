// Frame dumps into ZYRIMG files, and the screen print (Alt+m) of a loop
// before and after a replot, which "noredraw" keeps off.
#include "../test_support.h"
#include "core/res.h"
#include "gks/clr.h"
#include "image/img.h"
#include "map/dom.h"
#include "plot/plt.h"
#include "plot_test_util.h"

namespace {

class PlotDump : public plottest::XPlotTest {
protected:
    testutil::ScratchDir dir;
};

// Two frames drawn as the display driver draws a loop.
void loop_of_two()
{
    for (int i = 0; i < 2; ++i) {
        gcreate_frame(i);
        gselect_frame(i);
        float l[4] = {0.1f, 0.9f, 0.2f, 0.2f + 0.3f * (float)i};
        gpolyline(2, l);
        gdisplay_frame(i);
    }
}

} // namespace

// Three frames filled red, yellow and white (#FF0000, #FFFF00, #FFFFFF in
// the bundled colour table): frame -4 writes each to a file of its own,
// numbered by the frame, a byte a pixel, the integer mean of the three
// colour bytes: 85, 170 and 255.
TEST_F(PlotDump, EveryFrameToItsOwnFile)
{
    gset_xsize(320, 240);
    ASSERT_EQ(PLT_open(1.5f), 0);
    RES_put("image_path", dir.path().c_str());
    const char *names[3] = {"red", "yellow", "white"};
    for (int f = 0; f < 3; ++f) {
        gcreate_frame(f);
        gselect_frame(f);
        GPH_trans(1);
        gset_fill_colr_ind(CLR_get_ind(names[f]));
        GPH_frect(0, 0, 1, 1);
        gdisplay_frame(f);
    }
    // Drawing back on the window's picture: with a frame as the drawing
    // target every file holds that frame (a fault, reported).
    gselect_frame(-3);
    PLT_set_dump(PLT_DUMP_IMG, "frame_%i.img");
    const std::string out = testutil::stdout_of([] { EXPECT_EQ(PLT_dump(-4), 0); });
    for (int f = 0; f < 3; ++f) {
        SCOPED_TRACE(names[f]);
        const std::string file = dir.file("frame_0" + std::to_string(f) + ".img");
        EXPECT_NE(out.find("Wrote IMG file: " + file), std::string::npos) << out;
        IMG img;
        IMG_init(&img);
        ASSERT_EQ(IMG_read_zyr(file.c_str(), &img, 0), 1);
        ASSERT_EQ(img.nx, 320);
        EXPECT_EQ(img.data[(size_t)(img.ny / 2) * img.bytes_line + img.nx / 2], 85 * (f + 1));
        IMG_free(&img);
    }
}

TEST(PlotDumpFile, UnwritablePathReportsAndGoesOn)
{
    RES_put("image_path", "/proc/no/such/dir");
    PLT_set_dump(PLT_DUMP_IMG, nullptr);
    const std::string err = testutil::stderr_of([] { EXPECT_EQ(PLT_dump(-2), 0); });
    EXPECT_NE(err.find("PLT_dump: Unable to write IMG file: /proc/no/such/dir/zyr.xwd"), std::string::npos) << err;
    PLT_set_dump(PLT_DUMP_NONE, nullptr);
    EXPECT_EQ(PLT_dump(0), -1);
}

// The print after a replot (the zoom function draws the loop again) is the
// print before it: recorded frames, colours, and no "No redraw data";
// with "noredraw" there is nothing to print.
TEST_F(PlotDump, TheLoopPrintsTheSameBeforeAndAfterAReplot)
{
    const std::string meta = dir.file("screen.meta");
    setenv("METAOUT", meta.c_str(), 1);
    ASSERT_EQ(PLT_open(1.5f), 0);
    loop_of_two();
    std::string err1, err2;
    const std::string first = gkstest::print_meta(meta, &err1);
    EXPECT_EQ(gget_num_images(), 2);
    PLT_set_zoom_func([](DOM *) { return PLT_reset(1.5f), loop_of_two(), 0; });
    testutil::stdout_of([] { ASSERT_EQ(PLT_plot_zoom("r-Alt", 0, 0), 1); });
    EXPECT_EQ(gkstest::print_meta(meta, &err2), first);
    EXPECT_EQ(err1 + err2, "");
    EXPECT_NE(first.find("CLR "), std::string::npos) << first;
    EXPECT_EQ(gget_num_images(), 2);
    EXPECT_EQ(gget_cur_frame(), 1);
    GPH_end(1);
    RES_put("plot_param", "noredraw");
    ASSERT_EQ(PLT_open(1.5f), 0);
    gpolyline(2, std::vector<float>{0.1f, 0.9f, 0.2f, 0.5f}.data());
    gkstest::print_meta(meta, &err1);
    EXPECT_NE(err1.find("No redraw data"), std::string::npos) << err1;
}

// A loop's PNG dumps compressed on the worker thread (the default) are the
// dumps written in line (ZYR_THREADS=1): every frame's pixels, and the
// "Wrote" lines in frame order.  Neighbouring frames differ, so a picture
// taken late or handed to the wrong file would show.  A write that fails
// on the worker (a full device) is reported when it is joined, once a frame.
TEST(PlotDumpPng, ThreadedLoopDumpsAreTheDumpsWrittenInLine)
{
    testutil::ScratchDir dir;
    if (testutil::run({ZYR_BINARY_DIR "/make_demo_loop", dir.file("sat"), "--frames", "4"}).status != 0)
        GTEST_SKIP() << "make_demo_loop not built";
    const std::string demo = dir.file("sat/ir/20250612_18");
    const std::vector<std::string> files = {demo + "00.area", demo + "15.area", demo + "30.area", demo + "45.area"};
    auto loop = [&](const std::string &out, const std::string &env) {
        std::vector<std::string> args = {"-b", "-me", "out1", "-pd", "lamb,38,-95,480,270,0.14,0.14", "-ge", "480x270",
                                         "-de", "d,mem", "-pp", "irbar", "-of", "png=" + out};
        args.insert(args.end(), files.begin(), files.end());
        return testutil::zyrsat(args, dir.path(), "-u DISPLAY " + env);
    };
    std::vector<testutil::Raster> pictures[2];
    std::string wrote[2];
    for (int threads = 0; threads < 2; ++threads) {
        const std::string tag = threads ? "t" : "s";
        const testutil::Result r = loop(dir.file(tag + "_%i.png"), threads ? "" : "ZYR_THREADS=1");
        ASSERT_EQ(r.status, 0) << r.out;
        for (size_t at = r.out.find("Wrote PNG file: "); at != std::string::npos; at = r.out.find("Wrote PNG file: ", at + 1))
            wrote[threads] += r.out.substr(at + 16 + dir.path().size(), 9) + ";";
        for (int f = 0; f < 4; ++f) {
            testutil::Raster px;
            ASSERT_TRUE(testutil::read_png(dir.file(tag + "_0" + std::to_string(f) + ".png"), &px)) << tag << f;
            pictures[threads].push_back(px);
        }
    }
    EXPECT_EQ(wrote[0], "/s_00.png;/s_01.png;/s_02.png;/s_03.png;");
    EXPECT_EQ(wrote[1], "/t_00.png;/t_01.png;/t_02.png;/t_03.png;");
    for (int f = 0; f < 4; ++f) {
        EXPECT_TRUE(pictures[0][f].px == pictures[1][f].px) << "frame " << f;
        if (f) {
            EXPECT_FALSE(pictures[1][f].px == pictures[1][f - 1].px) << "frame " << f;
        }
    }
    const testutil::Result full = loop("/dev/full", "");
    EXPECT_EQ(full.status, 0);
    size_t reports = 0;
    for (size_t at = full.out.find("PLT_dump: Unable to write PNG file: /dev/full"); at != std::string::npos;
         at = full.out.find("PLT_dump: Unable to write PNG file", at + 1))
        ++reports;
    EXPECT_EQ(reports, 4u) << full.out;
}
