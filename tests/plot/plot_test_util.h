// A test fixture with a private X server for plot-session tests: the window
// device on that server, the bundled data on the file path and every plot
// element switched on.
#pragma once
#include <memory>
#include "../gks/gks_test_util.h"
#include "core/flags.h"
#include "core/res.h"
#include "plot/plt.h"

namespace plottest {

class XPlotTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server_ = std::make_unique<gkstest::XServer>(24);
        if (!server_->ok()) GTEST_SKIP() << "needs Xvfb";
        setenv("DISPLAY", server_->name().c_str(), 1);
        RES_clear();
        RES_put("file_path", ZYR_DATA_DIR);
        FLAG_set(FLAG_DEVICE, GWS_WIN);
        for (int e = 0; e < PLOT_NUM_ELEMENTS; ++e) FLAG_setplot(e, 1);
    }
    void TearDown() override
    {
        if (gchk_graphics()) GPH_end(1);
        server_.reset();
    }
    std::unique_ptr<gkstest::XServer> server_;
};

} // namespace plottest
