// Holds a window of numbered frames for tests and benchmarks driven by real X
// events:  evhold [-frames n] [-loop] [-delay s] [-title t] [-refresh s] [-t]
// [-band k] [-idle] [-names].  Logs each callback as "kind name x y" (after
// the seconds since start with -t), and for the key "s" "state frames=n
// loop=l delay=d zoom=z cur=c".  -band: rubber band kind k from each button
// press to its release, inside pixels (0, 0) to (350, 300); -idle: input
// mode 0, no hold, until a button release; -names: logs "name <text>" for
// each new window name, read back after every request of this connection.
// Prints "pixmap <id>" (the last frame's) and "window <id>" once mapped, and
// after the hold "end cur=<frame> zoom=<z>", "frames <n>" and per frame
// "frame <k> <pixel 10,10> <pixel 375,375>".
#include <X11/Xlib.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include "gks/gks.h"
#include "gks/gks_int.h"

namespace {

bool stamps = false, released = false;
int band = 0;
const auto t0 = std::chrono::steady_clock::now();

// printf and flush, after the time stamp with -t.
template <class... A> void log(const char *fmt, A... a) {
    if (stamps) printf("%.4f ", std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    printf(fmt, a...);
    fflush(stdout);
}

int on_event(int kind, const char *name, float x, float y) {
    log("%d %s %.2f %.2f\n", kind, name, x, y);
    if (strcmp(name, "s") == 0)
        printf("state frames=%d loop=%d delay=%.2f zoom=%d cur=%d\n", gget_num_images(), gget_looping(),
               gget_loop_delay(), gget_zoom(), gget_cur_frame());
    if (kind == 3 && strchr(name, 'R')) released = true;
    if (kind == 3 && band > 0) gset_rubber_band(strchr(name, 'R') ? 0 : band);
    fflush(stdout);
    return 0;
}

std::string last_name;
bool in_after = false;
int after_request(Display *d) {
    char *name = nullptr;
    if (in_after || !gget_root_window()) return 0;
    in_after = true;
    if (XFetchName(d, gget_root_window(), &name) && name) {
        if (last_name != name) log("name %s\n", (last_name = name).c_str());
        XFree(name);
    }
    in_after = false;
    return 0;
}

unsigned long frame_pixel(int k, int x, int y) {
    XImage *im = XGetImage(gget_display(), gget_frame_id(k), x, y, 1, 1, AllPlanes, ZPixmap);
    unsigned long p = im ? XGetPixel(im, 0, 0) : 0;
    if (im) XDestroyImage(im);
    return p;
}

int on_refresh() { return log("refresh\n"), 0; }

}  // namespace

int main(int argc, char **argv) {
    int nframes = 3;
    bool loop = false, idle = false, names = false;
    float delay = -1, refresh = 0;
    const char *title = "evhold";
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        const char *v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "-loop") loop = true;
        else if (a == "-t") stamps = true;
        else if (a == "-idle") idle = true;
        else if (a == "-names") names = true;
        else if (!v) return fprintf(stderr, "evhold: unknown option %s\n", argv[i]), 2;
        else if (a == "-frames") nframes = atoi(v), i++;
        else if (a == "-delay") delay = (float)atof(v), i++;
        else if (a == "-title") title = v, i++;
        else if (a == "-refresh") refresh = (float)atof(v), i++;
        else if (a == "-band") band = atoi(v), i++;
        else return fprintf(stderr, "evhold: unknown option %s\n", argv[i]), 2;
    }
    const char *display = getenv("DISPLAY");
    if (!display || gopen_gks("", 0) != 0) return 3;
    gset_xsize(640, 512), gset_geometry("");
    if (gopen_ws(1, display, GWS_WIN) != 0) return 3;
    float w[4] = {0, 100, 0, 100};  // world 0..100 on both axes
    gset_win(0, w);
    gsel_norm_tran(0);
    // Frame k has colour k + 1 in its top-left corner; a line through the
    // kernel gives the metafile key something to write.
    const float colours[5][3] = {{0, 0, 0}, {1, 1, 1}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, diag[4] = {10, 10, 90, 90};
    for (int i = 0; i < 5; i++) gset_colr_rep(1, i, colours[i]);
    gset_win_title(title);
    gset_line_colr_ind(1);
    gpolyline(2, diag);
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
    const int limits[4] = {0, 0, 350, 300};
    if (band > 0) gset_rubber_band_limits(limits);
    // Mapped before "window" is printed, so the caller can focus it at once.
    XSync(gget_display(), False);
    XWindowAttributes at;
    for (int i = 0; i < 500; i++) {
        if (XGetWindowAttributes(gget_display(), gget_root_window(), &at) && at.map_state == IsViewable) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (nframes > 0) printf("pixmap %lu\n", (unsigned long)gget_frame_id(nframes - 1));
    log("window %lu\n", (unsigned long)gget_root_window());
    if (names) XSetAfterFunction(gget_display(), after_request);
    if (idle) {
        gset_input_mode(0);
        while (!released) gwait_event();
    } else {
        ghold(0);
    }
    XSetAfterFunction(gget_display(), nullptr);
    log("end cur=%d zoom=%d\nframes %d\n", gget_cur_frame(), gget_zoom(), gget_num_images());
    for (int k = 0; k < gget_num_images(); k++)
        printf("frame %d %lx %lx\n", k, frame_pixel(k, 10, 10), frame_pixel(k, 375, 375));
    gclose_ws(1), gclose_gks();
    return 0;
}
