// Reference and stopwatch of bench/bench_events.sh (events by XSendEvent):
//   serve: a window renaming itself on every key; prints "window <id>"
//   keys <wid> <n>: n Alt+] each timed from the send to the next name change
//     (a shown frame's number); prints "median_ms m p90_ms p max_ms x"
//   drag <wid> <n>: Alt+button 1, n motions, Alt+] timed from the last
//     motion to the name change; prints "after_last_motion_ms t"
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

int serve(Display *d) {
    Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 200, 200, 0, 0, 0);
    XSelectInput(d, w, KeyPressMask);
    XStoreName(d, w, "ref");
    XMapWindow(d, w);
    XSync(d, False);
    printf("window %lu\n", (unsigned long)w);
    fflush(stdout);
    for (unsigned long n = 0;;) {
        XEvent ev;
        XNextEvent(d, &ev);
        if (ev.type != KeyPress) continue;
        XStoreName(d, w, ("ref " + std::to_string(n++)).c_str());
        XFlush(d);
    }
}

void send(Display *d, Window w, int type, unsigned state, unsigned detail, int x, int y) {
    XEvent ev{};
    ev.xany.type = type, ev.xany.display = d, ev.xany.window = w;
    ev.xkey.root = DefaultRootWindow(d), ev.xkey.same_screen = True;
    ev.xkey.state = state, ev.xkey.x = x, ev.xkey.y = y;
    if (type == KeyPress || type == KeyRelease) ev.xkey.keycode = detail;
    if (type == ButtonPress || type == ButtonRelease) ev.xbutton.button = detail;
    XSendEvent(d, w, False, 0, &ev);
    if (type != MotionNotify) XFlush(d);
}

// Milliseconds from t0 until the window's name changes.
double ms_to_name(Display *d, Window w, Clock::time_point t0) {
    for (XEvent ev;;) {
        XWindowEvent(d, w, PropertyChangeMask, &ev);
        if (ev.xproperty.atom == XA_WM_NAME)
            return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    }
}

}  // namespace

int main(int argc, char **argv) {
    Display *d = XOpenDisplay(nullptr);
    if (!d || argc < 2) return fprintf(stderr, "usage: xkeyref serve | keys <window> <n> | drag <window> <n>\n"), 2;
    std::string mode = argv[1];
    if (mode == "serve") return serve(d);
    if (argc < 4 || (mode != "keys" && mode != "drag")) return 2;
    Window w = strtoul(argv[2], nullptr, 0);
    int n = atoi(argv[3]);
    XSelectInput(d, w, PropertyChangeMask);
    unsigned key = XKeysymToKeycode(d, XK_bracketright);
    if (mode == "keys") {
        std::vector<double> t;
        for (int i = 0; i < n; i++) {
            auto t0 = Clock::now();
            send(d, w, KeyPress, Mod1Mask, key, 10, 10);
            t.push_back(ms_to_name(d, w, t0));
            send(d, w, KeyRelease, Mod1Mask, key, 10, 10);
            XSync(d, False);
        }
        std::sort(t.begin(), t.end());
        printf("median_ms %.3f p90_ms %.3f max_ms %.3f\n", t[t.size() / 2], t[t.size() * 9 / 10], t.back());
    } else {
        send(d, w, ButtonPress, Mod1Mask, 1, 100, 100);
        for (int i = 0; i < n; i++)
            send(d, w, MotionNotify, Mod1Mask | Button1Mask, 0, 100 + (i * 37) % 400, 100 + (i * 53) % 300);
        XFlush(d);
        auto last = Clock::now();
        send(d, w, KeyPress, Mod1Mask | Button1Mask, key, 10, 10);
        printf("after_last_motion_ms %.3f\n", ms_to_name(d, w, last));
        send(d, w, ButtonRelease, Mod1Mask | Button1Mask, 1, 300, 300);
        XSync(d, False);
    }
    XCloseDisplay(d);
    return 0;
}
