// Holds a window with a few numbered frames so that tests and benchmarks can
// drive it with real X events. Every callback is written to stdout as
// "kind name x y" (flushed at once); with -t each line starts with the
// seconds since start.
//
//   evhold [-frames n] [-loop] [-delay s] [-title text] [-refresh s] [-t]
//
//   -band k    rubber band kind k (1 line, 2 rectangle) asked for by the
//              callback of each button press and dropped at the release,
//              as the plot session does for its zoom rectangle; the band
//              is kept inside pixels (0, 0) to (350, 300)
//   -idle      no hold: input mode stays 0 and events are processed until a
//              button is released (keys must then be ignored)
//   -names     the window name is read back after every request of the
//              helper's own connection and each new value logged as
//              "name <text>" (catches names shown only for an instant)
// The key "s" (a callback) logs "state frames=n loop=l delay=d zoom=z cur=c".
//
// On start it prints "pixmap <id>" (the last frame's pixmap, for an embedded
// client) and "window <id>" once the window is mapped; when the hold returns
// "end cur=<current frame> zoom=<z>", "frames <n>" and per frame "frame <k> <pixel at 10,10> <pixel at
// 375,375>"; the exit status is then 0.
#include <X11/Xatom.h>
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

bool stamps = false;
const auto t0 = std::chrono::steady_clock::now();

void stamp() {
    if (stamps)
        printf("%.4f ", std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
}

bool released = false;
int band = 0;

int on_event(int kind, const char *name, float x, float y) {
    stamp();
    printf("%d %s %.2f %.2f\n", kind, name, x, y);
    if (strcmp(name, "s") == 0)
        printf("state frames=%d loop=%d delay=%.2f zoom=%d cur=%d\n", gget_num_images(), gget_looping(),
               gget_loop_delay(), gget_zoom(), gget_cur_frame());
    if (kind == 3 && strchr(name, 'R')) released = true;
    if (kind == 3 && band > 0) gset_rubber_band(strchr(name, 'R') ? 0 : band);
    fflush(stdout);
    return 0;
}

// Xlib calls this after each request of the helper's connection; a name set
// and replaced within one event (the "+" of a client's frame append) is
// still seen here, where a watcher on another connection could miss it.
std::string last_name;
bool in_after = false;
int after_request(Display *d) {
    if (in_after) return 0;
    in_after = true;
    char *name = nullptr;
    if (gget_root_window() && XFetchName(d, gget_root_window(), &name) && name) {
        if (last_name != name) {
            last_name = name;
            stamp();
            printf("name %s\n", name);
            fflush(stdout);
        }
        XFree(name);
    }
    in_after = false;
    return 0;
}

unsigned long frame_pixel(int k, int x, int y) {
    XImage *im = XGetImage(gget_display(), gget_frame_id(k), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!im) return 0;
    unsigned long p = XGetPixel(im, 0, 0);
    XDestroyImage(im);
    return p;
}

int on_refresh() {
    stamp();
    printf("refresh\n");
    fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    int nframes = 3;
    bool loop = false, idle = false, names = false;
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
        else if (a == "-band" && more) band = atoi(argv[++i]);
        else if (a == "-idle") idle = true;
        else if (a == "-names") names = true;
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
    // One line through the kernel before the frames, so that the display
    // list has something for the metafile key to write.
    const float diag[4] = {10, 10, 90, 90};
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

    // Wait for the map so that the caller can focus the window at once.
    XSync(gget_display(), False);
    for (int i = 0; i < 500; i++) {
        XWindowAttributes at;
        if (XGetWindowAttributes(gget_display(), gget_root_window(), &at) && at.map_state == IsViewable) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (nframes > 0) printf("pixmap %lu\n", (unsigned long)gget_frame_id(nframes - 1));
    stamp();
    printf("window %lu\n", (unsigned long)gget_root_window());
    fflush(stdout);
    if (names) XSetAfterFunction(gget_display(), after_request);

    if (idle) {
        gset_input_mode(0);
        while (!released) gwait_event();
    } else {
        ghold(0);
    }
    XSetAfterFunction(gget_display(), nullptr);

    stamp();
    printf("end cur=%d zoom=%d\nframes %d\n", gget_cur_frame(), gget_zoom(), gget_num_images());
    for (int k = 0; k < gget_num_images(); k++)
        printf("frame %d %lx %lx\n", k, frame_pixel(k, 10, 10), frame_pixel(k, 375, 375));
    fflush(stdout);
    gclose_ws(1);
    gclose_gks();
    return 0;
}
