// The screen print (Alt+m) of a frame loop held by a plot session, before
// and after the session replots it (the path a zoom or resize takes), and
// the "noredraw" word that keeps the display list off.
#include <array>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "../test_support.h"
#include "map/dom.h"
#include "plot/plt.h"
#include "plot_test_util.h"

namespace {

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

int replot(DOM *)
{
    PLT_reset(1.5f);
    loop_of_two();
    return 0;
}

using PlotPrint = plottest::XPlotTest;

} // namespace

TEST_F(PlotPrint, TheLoopPrintsTheSameBeforeAndAfterAReplot)
{
    testutil::ScratchDir dir;
    setenv("METAOUT", dir.file("screen.meta").c_str(), 1);
    ASSERT_EQ(PLT_open(1.5f), 0);
    loop_of_two();
    std::string err1, err2;
    const std::string first = gkstest::print_meta(dir.file("screen.meta"), &err1);
    EXPECT_EQ(gget_num_images(), 2);
    PLT_set_zoom_func(replot);
    testing::internal::CaptureStdout();
    ASSERT_EQ(PLT_plot_zoom("r-Alt", 0, 0), 1);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(gkstest::print_meta(dir.file("screen.meta"), &err2), first);
    EXPECT_EQ(err1.find("No redraw data"), std::string::npos) << err1;
    EXPECT_EQ(err2.find("No redraw data"), std::string::npos) << err2;
    EXPECT_NE(first.find("CLR "), std::string::npos) << first;
    EXPECT_EQ(gget_num_images(), 2);
    EXPECT_EQ(gget_cur_frame(), 1);
}

TEST_F(PlotPrint, NoredrawWordKeepsRecordingOff)
{
    testutil::ScratchDir dir;
    setenv("METAOUT", dir.file("screen.meta").c_str(), 1);
    RES_put("plot_param", "noredraw");
    ASSERT_EQ(PLT_open(1.5f), 0);
    gpolyline(2, std::array<float, 4>{0.1f, 0.9f, 0.2f, 0.5f}.data());
    std::string err;
    gkstest::print_meta(dir.file("screen.meta"), &err);
    EXPECT_NE(err.find("No redraw data"), std::string::npos) << err;
}
