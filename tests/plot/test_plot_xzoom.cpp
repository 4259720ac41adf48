// Interactive zoom with real pointer and key events (xdotool) on a window
// held by the plot session: Shift-drag zooms, a zero-width drag does not,
// Alt+u restores the first domain, Alt+v prints the position line.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "../gks/drivers/drv_util.h"
#include "../test_support.h"
#include "map/dom.h"
#include "map/map.h"
#include "plot_test_util.h"

namespace {

class PlotXZoom : public plottest::XPlotTest {};

const char *const DOMAIN_TEXT = "ll,40,-100,161,101,0.25,0.25";

// World window of the map panel: the domain's plot limits.
void map_window()
{
    MAP_set_limits();
    float lim[4];
    MAP_get_limits(lim);
    GPH_win(2, lim);
}

int zoomed(DOM *d)
{
    MAP_domain(d);
    map_window();
    std::printf("ZOOM %f %f %f\n", d->clat, d->clon, d->dx);
    return 0;
}

int events(int, const char *name, float x, float y)
{
    PLT_print_values(name, x, y);
    PLT_plot_zoom(name, x, y);
    PLT_plot_resize(name);
    return 0;
}

std::string run(const std::string &cmd)
{
    std::string out;
    if (FILE *p = popen(cmd.c_str(), "r")) {
        char buf[256];
        while (fgets(buf, sizeof buf, p)) out += buf;
        pclose(p);
    }
    return out;
}

// Waits until the file holds a line starting with the prefix; returns it.
std::string wait_line(const std::string &file, const std::string &prefix, int skip = 0)
{
    for (int k = 0; k < 100; ++k) {
        std::istringstream in(testutil::read_file(file));
        std::string line;
        int seen = 0;
        while (std::getline(in, line))
            if (line.rfind(prefix, 0) == 0 && seen++ == skip) return line;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return "";
}

} // namespace

TEST_F(PlotXZoom, ShiftDragsAltUAndAltV)
{
    if (!drvtest::have_tool("xdotool")) GTEST_SKIP() << "xdotool not installed";
    testutil::ScratchDir dir;
    const std::string log = dir.file("out.txt");
    gset_xsize(800, 600);
    RES_put("title", "zyrzoomtest");
    pid_t pid = fork();
    if (pid == 0) {
        if (!std::freopen(log.c_str(), "w", stdout)) _exit(6);
        std::setvbuf(stdout, nullptr, _IONBF, 0);
        gset_win_title("zyrzoomtest");
        DOM d;
        DOM_init(&d);
        DOM_decode(DOMAIN_TEXT, &d);
        if (PLT_open(DOM_aspect(&d)) != 0) _exit(5);
        MAP_domain(&d);
        map_window();
        PLT_set_callback(events);
        PLT_set_zoom_func(zoomed);
        float v[4], w[4];
        PLT_get_view(v);
        GPH_get_win(2, w);
        std::printf("PANEL %f %f %f %f WIN %f %f %f %f\n", xNDC_p(v[0]), xNDC_p(v[1]), yNDC_p(v[3]), yNDC_p(v[2]),
                    w[0], w[1], w[2], w[3]);
        PLT_close();
        _exit(0);
    }
    ASSERT_GT(pid, 0);
    std::string panel = wait_line(log, "PANEL");
    ASSERT_FALSE(panel.empty());
    float pl, pr, pt, pb, wl, wr, wb, wt;
    ASSERT_EQ(std::sscanf(panel.c_str(), "PANEL %f %f %f %f WIN %f %f %f %f", &pl, &pr, &pt, &pb, &wl, &wr, &wb, &wt), 8);
    std::string id;
    for (int k = 0; k < 50 && id.empty(); ++k) {
        id = run("DISPLAY=" + server_->name() + " xdotool search --name zyrzoomtest 2>/dev/null");
        if (id.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_FALSE(id.empty());
    id = id.substr(0, id.find('\n'));
    const std::string xdo = "DISPLAY=" + server_->name() + " xdotool ";
    auto px = [&](float f) { return (int)std::lround(pl + f * (pr - pl)); };
    auto py = [&](float f) { return (int)std::lround(pt + f * (pb - pt)); };
    auto drag = [&](int x1, int y1, int x2, int y2) {
        std::string c = xdo + "mousemove --window " + id + " " + std::to_string(x1) + " " + std::to_string(y1) +
                        " keydown shift mousedown 1 mousemove --window " + id + " " + std::to_string(x2) + " " +
                        std::to_string(y2) + " mouseup 1 keyup shift";
        ASSERT_EQ(std::system(c.c_str()), 0);
    };
    // World position of a window pixel, as the kernel computes it.
    auto wx = [&](int x) { return wl + (x - pl) / (pr - pl) * (wr - wl); };
    auto wy = [&](int y) { return wt - (y - pt) / (pb - pt) * (wt - wb); };

    DOM first;
    DOM_init(&first);
    DOM_decode(DOMAIN_TEXT, &first);
    MAP_domain(&first);

    int x1 = px(0.2f), y1 = py(0.3f), x2 = px(0.5f), y2 = py(0.7f);
    drag(x1, y1, x2, y2);
    std::string z1 = wait_line(log, "ZOOM");
    ASSERT_FALSE(z1.empty()) << testutil::read_file(log);
    float clat, clon, dx;
    ASSERT_EQ(std::sscanf(z1.c_str(), "ZOOM %f %f %f", &clat, &clon, &dx), 3);
    float lat, lon;
    MAP_untran(&lat, &lon, (wx(x1) + wx(x2)) / 2, (wy(y1) + wy(y2)) / 2);
    float pixel = std::fabs((wr - wl) / (pr - pl));  // world units of one pixel
    EXPECT_NEAR(clat, lat, 2 * pixel);
    EXPECT_NEAR(clon, lon, 2 * pixel);
    EXPECT_NE(testutil::read_file(log).find("New domain: "), std::string::npos);

    drag(px(0.4f), py(0.4f), px(0.4f), py(0.6f));  // zero width: ignored
    drag(px(0.3f), py(0.3f), px(0.6f), py(0.6f));  // second zoom
    std::string z2 = wait_line(log, "ZOOM", 1);
    ASSERT_FALSE(z2.empty());

    ASSERT_EQ(std::system((xdo + "mousemove --window " + id + " " + std::to_string(px(0.5f)) + " " +
                           std::to_string(py(0.5f)) + " key --clearmodifiers alt+u").c_str()),
              0);
    std::string z3 = wait_line(log, "ZOOM", 2);
    ASSERT_FALSE(z3.empty()) << testutil::read_file(log);
    ASSERT_EQ(std::sscanf(z3.c_str(), "ZOOM %f %f %f", &clat, &clon, &dx), 3);
    EXPECT_NEAR(clat, 40, 1e-3);
    EXPECT_NEAR(clon, -100, 1e-3);
    EXPECT_NE(testutil::read_file(log).find("Original domain: "), std::string::npos);

    ASSERT_EQ(std::system((xdo + "key --clearmodifiers alt+v").c_str()), 0);
    EXPECT_FALSE(wait_line(log, "Lat: ").empty());

    ASSERT_EQ(std::system((xdo + "key --clearmodifiers alt+q").c_str()), 0);
    int status = -1;
    for (int k = 0; k < 100 && waitpid(pid, &status, WNOHANG) == 0; ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << "the window did not end on Alt+q";
    }
    // Exactly three redraws: two zooms and the restore.
    std::string all = testutil::read_file(log);
    size_t count = 0;
    for (size_t p = all.find("ZOOM"); p != std::string::npos; p = all.find("ZOOM", p + 1)) ++count;
    EXPECT_EQ(count, 3u) << all;
}
