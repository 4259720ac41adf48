// The plot session's per-frame work on a window: PLT_reset and six labels
// drawn, on a private Xvfb (skipped when none can be started).
#include <benchmark/benchmark.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <X11/Xlib.h>

#include <cstdlib>
#include <string>

#include "core/flags.h"
#include "core/res.h"
#include "gks/gks.h"
#include "plot/plt.h"

namespace {

// An Xvfb for the run, stopped at exit; "" when none started.
std::string server()
{
    static pid_t pid = -1;
    static std::string name = [] {
        int fds[2];
        if (pipe(fds) != 0) return std::string();
        pid = fork();
        if (pid == 0) {
            close(fds[0]);
            std::string fd = std::to_string(fds[1]);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1000x800x24", "-nolisten", "tcp",
                   "-noreset", (char *)nullptr);
            _exit(127);
        }
        close(fds[1]);
        char buf[32] = {0};
        ssize_t n = read(fds[0], buf, sizeof buf - 1);
        close(fds[0]);
        std::atexit([] {
            if (pid > 0) kill(pid, SIGTERM), waitpid(pid, nullptr, 0);
        });
        return n > 0 ? std::string(":").append(std::to_string(std::atoi(buf))) : std::string();
    }();
    return name;
}

void BM_reset_and_labels(benchmark::State &state)
{
    std::string display = server();
    if (display.empty()) {
        state.SkipWithError("no Xvfb");
        return;
    }
    setenv("DISPLAY", display.c_str(), 1);
    RES_clear();
    RES_put("file_path", ZYR_DATA_DIR);
    FLAG_set(FLAG_DEVICE, GWS_WIN);
    for (int e = 0; e < PLOT_NUM_ELEMENTS; ++e) FLAG_setplot(e, 1);
    gset_xsize(1000, 800);
    if (PLT_open(1.5f) != 0) {
        state.SkipWithError("no window");
        return;
    }
    for (auto _ : state) {
        PLT_reset(1.5f);
        PLT_init_labels();
        PLT_label_up_left("GOES-16 IR");
        PLT_label_up_center("CONUS");
        PLT_label_up_right("1425Z  9 JUL 04");
        PLT_label_low_left("zyrsat");
        PLT_label_low_center("10.3 um");
        PLT_label_low_right("frame 1");
        PLT_labels();
        gupdate_window();
        gsync();
    }
    state.SetItemsProcessed(state.iterations());
    GPH_end(1);
}

} // namespace

BENCHMARK(BM_reset_and_labels)->Unit(benchmark::kMillisecond)->UseRealTime();
