// Holds a window with a few numbered frames so that tests and benchmarks can
// drive it with real X events. Every callback is written to stdout as
// "kind name x y" (flushed at once); with -t each line starts with the
// seconds since start, and with -titles every window title change (a new
// frame shown) is logged as "title <text>" from a second connection.
//
//   evhold [-frames n] [-loop] [-delay s] [-title text] [-refresh s] [-t] [-titles]
//
// On start it prints "window <id>" once the window is mapped, and "end" when
// the hold returns; the exit status is then 0.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "gks/gks.h"
#include "gks/gks_int.h"

namespace {

bool stamps = false;
const auto t0 = std::chrono::steady_clock::now();

void stamp() {
    if (stamps)
        printf("%.4f ", std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
}

int on_event(int kind, const char *name, float x, float y) {
    stamp();
    printf("%d %s %.2f %.2f\n", kind, name, x, y);
    fflush(stdout);
    return 0;
}

int on_refresh() {
    stamp();
    printf("refresh\n");
    fflush(stdout);
    return 0;
}

// Watches the window's name on a connection of its own and logs each change.
std::atomic<bool> watching{true};
void watch_titles(std::string display, Window win) {
    Display *d = XOpenDisplay(display.c_str());
    if (!d) return;
    XSelectInput(d, win, PropertyChangeMask);
    XFlush(d);
    while (watching) {
        while (XPending(d)) {
            XEvent ev;
            XNextEvent(d, &ev);
            if (ev.type != PropertyNotify || ev.xproperty.atom != XA_WM_NAME) continue;
            char *name = nullptr;
            if (XFetchName(d, win, &name) && name) {
                stamp();
                printf("title %s\n", name);
                fflush(stdout);
                XFree(name);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    XCloseDisplay(d);
}

}  // namespace

int main(int argc, char **argv) {
    int nframes = 3;
    bool loop = false, titles = false;
    float delay = -1, refresh = 0;
    const char *title = "evhold";
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        bool more = i + 1 < argc;
        if (a == "-frames" && more) nframes = atoi(argv[++i]);
        else if (a == "-loop") loop = true;
        else if (a == "-delay" && more) delay = (float)atof(argv[++i]);
        else if (a == "-title" && more) title = argv[++i];
        else if (a == "-refresh" && more) refresh = (float)atof(argv[++i]);
        else if (a == "-t") stamps = true;
        else if (a == "-titles") titles = true;
        else {
            fprintf(stderr, "evhold: unknown option %s\n", argv[i]);
            return 2;
        }
    }
    const char *display = getenv("DISPLAY");
    if (!display || gopen_gks("", 0) != 0) return 3;
    gset_xsize(640, 512);
    gset_geometry("");
    if (gopen_ws(1, display, GWS_WIN) != 0) return 3;

    // World coordinates 0..100 on both axes of transform 0.
    float w[4] = {0, 100, 0, 100};
    gset_win(0, w);
    gsel_norm_tran(0);

    // Frame k has its own colour (k + 1) in its top-left corner.
    const float colours[5][3] = {{0, 0, 0}, {1, 1, 1}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int i = 0; i < 5; i++) gset_colr_rep(1, i, colours[i]);
    gset_win_title(title);
    for (int k = 0; k < nframes; k++) {
        if (gcreate_frame(-1) != k) return 3;
        gselect_frame(k);
        XSetForeground(gget_display(), gget_root_gc(), gget_color_ind(1 + k % 4));
        XFillRectangle(gget_display(), gget_draw_window(), gget_root_gc(), 0, 0, 64, 64);
    }
    gselect_frame(-3);
    if (nframes > 0) gdisplay_frame(0);
    if (delay >= 0) ginc_loop_delay(delay - gget_loop_delay());
    if (loop) gset_looping(1);

    gset_mouse_callback(on_event);
    if (refresh > 0) gset_refresh_callback(refresh, on_refresh);

    // Wait for the map so that the caller can focus the window at once.
    XSync(gget_display(), False);
    for (int i = 0; i < 500; i++) {
        XWindowAttributes at;
        if (XGetWindowAttributes(gget_display(), gget_root_window(), &at) && at.map_state == IsViewable) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::thread watcher;
    if (titles) watcher = std::thread(watch_titles, std::string(display), gget_root_window());
    stamp();
    printf("window %lu\n", (unsigned long)gget_root_window());
    fflush(stdout);

    ghold(0);

    stamp();
    printf("end\n");
    fflush(stdout);
    watching = false;
    if (watcher.joinable()) watcher.join();
    gclose_ws(1);
    gclose_gks();
    return 0;
}
