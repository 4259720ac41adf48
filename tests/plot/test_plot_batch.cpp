// Closing a window plot in batch mode: the command returns at once with
// status 0 while a detached process holds the window until Alt+q.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "../gks/drivers/drv_util.h"
#include "core/util.h"
#include "plot_test_util.h"

namespace {

class PlotBatch : public plottest::XPlotTest {};

// Window ids on the test's display, one per line ("" when none).
std::string windows(const std::string &display, const char *name)
{
    std::string cmd = "DISPLAY=" + display + " xdotool search --name '" + name + "' 2>/dev/null";
    std::string out;
    if (FILE *p = popen(cmd.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

} // namespace

TEST_F(PlotBatch, ParentEndsAtOnceHolderEndsWithAltQ)
{
    if (!drvtest::have_tool("xdotool")) GTEST_SKIP() << "xdotool not installed";
    RES_put("title", "zyrbatchtest");
    pid_t pid = fork();
    if (pid == 0) {
        FLAG_set_batch(1);
        gset_win_title("zyrbatchtest");
        if (PLT_open(1.5f) != 0) _exit(5);
        PLT_label_up_left("HOLD");
        PLT_labels();
        // The parent side of the detach gets -1 and the program's end
        // (status 0) requested, and ends as the program would.
        if (PLT_close() == -1 && ZYR_exit_requested()) _exit(ZYR_exit_status());
        _exit(3);  // the holder, after Alt+q
    }
    ASSERT_GT(pid, 0);
    int status = -1;
    auto start = std::chrono::steady_clock::now();
    while (waitpid(pid, &status, WNOHANG) == 0) {
        ASSERT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20)) << "parent did not end";
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // The detached holder keeps its window until Alt+q reaches it.
    const std::string display = server_->name();
    std::string ids;
    for (int k = 0; k < 100 && ids.empty(); ++k) {
        ids = windows(display, "zyrbatchtest");
        if (ids.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_FALSE(ids.empty()) << "no window held";
    std::string id = ids.substr(0, ids.find('\n'));
    std::string key = "DISPLAY=" + display + " xdotool windowfocus --sync " + id + " key --clearmodifiers alt+q";
    ASSERT_EQ(std::system(key.c_str()), 0);
    bool gone = false;
    for (int k = 0; k < 100 && !gone; ++k) {
        gone = windows(display, "zyrbatchtest").empty();
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(gone) << "the holder did not end on Alt+q";
}
