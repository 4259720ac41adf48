// Frames and looping: a table of off-screen pixmaps of the window's size,
// shown one at a time as an animation.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <cstring>
#include <unistd.h>

#include "core/flags.h"
#include "core/util.h"
#include "gks/gks_int.h"

using namespace gks;

namespace {

struct Frame {
    unsigned char data[52];
    int len = 0;
    Pixmap pix = 0;
    float delay = 0.5f;
};

Frame frames[GMAX_FRAMES];
int num_images = 0;
int cur_image = -1;
int looping = 0;
float loop_delay = 0.5f;
int loop_direct = 1;
int loop_title = 1;

// The table while a print resets the workstation (see frames_aside).
struct Table {
    Frame frames[GMAX_FRAMES];
    int num = 0, cur = -1;
};
Table aside;
bool is_aside = false;

bool ready() { return (S().dpy || S().mem) && S().base_window; }

// Frame number of an address: n >= 0 itself, -1 last, -2 current; -3 (the
// window's picture) and anything unresolvable give -3 / -9999.
int resolve(int n) {
    if (n >= 0) return n;
    if (n == -1) return num_images > 0 ? num_images - 1 : -9999;
    if (n == -2) return cur_image >= 0 ? cur_image : -9999;
    if (n == -3) return -3;
    return -9999;
}

Pixmap pixmap_of(int r) {
    if (r == -3) return S().base_window;
    if (r >= 0 && r < GMAX_FRAMES) return frames[r].pix;
    return 0;
}

void fill_background(Pixmap p) {
    State &s = S();
    if (s.mem) return mem_fill(p, (uint32_t)gget_back_color());
    XSetForeground(s.dpy, s.root_gc, (unsigned long)gget_back_color());
    XFillRectangle(s.dpy, p, s.root_gc, 0, 0, (unsigned)s.win_width, (unsigned)s.win_height);
}

void free_pixmap(Pixmap p) {
    if (S().mem)
        mem_free_picture(p);
    else
        XFreePixmap(S().dpy, p);
}

void show_title(int n) {
    if (!loop_title || num_images < 1) return;
    char buf[16];
    snprintf(buf, sizeof buf, "[%d]", n);
    gset_win_title_extra(buf);
}

}  // namespace

// Pixmaps still held are freed first: every reset of the workstation comes
// here, and a table emptied over live pixmaps would leak them on the server.
int ginit_loop() {
    gdelete_all_frames();
    for (auto &f : frames) {
        f.len = 0;
        f.pix = 0;
        f.delay = 0.5f;
    }
    num_images = 0;
    cur_image = -1;
    return 0;
}

// The table holds 128 frames: a request for frame 128 or beyond is refused
// (-1 and a message) so nothing outside the table is touched.
int gcreate_frame(int n) {
    State &s = S();
    if (!ready()) return 0;
    if (n < 0) n = num_images;
    if (n >= GMAX_FRAMES) {
        MESS_print(MESS_ERROR, "gcreate_frame: no room for frame %d\n", n);
        return -1;
    }
    Frame &f = frames[n];
    if (!f.pix && s.mem)
        f.pix = mem_new_picture((uint32_t)gget_back_color());
    else if (!f.pix)
        f.pix = XCreatePixmap(s.dpy, s.root_window ? s.root_window : s.base_window, (unsigned)s.win_width,
                              (unsigned)s.win_height, (unsigned)s.depth);
    fill_background(f.pix);
    if (n >= 1) frames[n - 1].delay = loop_delay;
    if (num_images < GMAX_FRAMES) frames[num_images].delay = 1.0f;
    MESS_print(MESS_DEBUG, "Created frame: %d-%ld\n", n, (long)f.pix);
    if (n == num_images) num_images++;
    return n;
}

int gselect_frame(int n) {
    State &s = S();
    if (!ready()) return 0;
    int r = resolve(n);
    Pixmap p = pixmap_of(r);
    if (!p) return 0;
    if (r != -3) frame_recording_off();
    s.draw_window = p;
    MESS_print(MESS_DEBUG, "Selected frame: %d\n", n);
    return 1;
}

int gdisplay_frame(int n) {
    State &s = S();
    if (!ready()) return 0;
    int r = n < 0 ? cur_image : n;
    if (r < 0 || r >= GMAX_FRAMES || !frames[r].pix) return 0;
    if (gget_zoom() >= 2) {
        cur_image = r;
        gzoom(r, -1, -1, -1, 1);
    } else if (s.mem) {
        mem_copy(frames[r].pix, s.base_window, 0, 0, s.win_width, s.win_height, 0, 0);
    } else if (s.win_type == GWS_WIN && s.root_window) {
        // Straight onto the window and titled first: a key's answer is seen
        // one full-window copy sooner. The picture follows for redraws.
        XCopyArea(s.dpy, frames[r].pix, s.root_window, s.root_gc, 0, 0, (unsigned)s.win_width,
                  (unsigned)s.win_height, 0, 0);
        show_title(r);
        XCopyArea(s.dpy, frames[r].pix, s.base_window, s.root_gc, 0, 0, (unsigned)s.win_width,
                  (unsigned)s.win_height, 0, 0);
        gsync();
        MESS_print(MESS_DEBUG, "Display frame: %d\n", r);
        cur_image = r;
        return 1;
    } else {
        XCopyArea(s.dpy, frames[r].pix, s.base_window, s.root_gc, 0, 0, (unsigned)s.win_width,
                  (unsigned)s.win_height, 0, 0);
    }
    gupdate_window();
    show_title(r);
    MESS_print(MESS_DEBUG, "Display frame: %d\n", r);
    cur_image = r;
    return 1;
}

int gclear_frame(int n) {
    if (!ready()) return 0;
    Pixmap p = pixmap_of(resolve(n));
    if (!p) return 0;
    fill_background(p);
    return 1;
}

int gcopy_frame(int dst, int src) {
    State &s = S();
    if (!ready()) return 0;
    Pixmap d = pixmap_of(resolve(dst)), from = pixmap_of(resolve(src));
    if (!d || !from) return 0;
    if (s.mem)
        mem_copy(from, d, s.win_x, s.win_y, s.win_width, s.win_height, s.win_x, s.win_y);
    else
        XCopyArea(s.dpy, from, d, s.root_gc, s.win_x, s.win_y, (unsigned)s.win_width, (unsigned)s.win_height, s.win_x,
              s.win_y);
    MESS_print(MESS_DEBUG, "Copy frame: %d->%d\n", src, dst);
    return 1;
}

int gswitch_frame(int a, int b) {
    State &s = S();
    if (!ready()) return 0;
    int ra = resolve(a), rb = resolve(b);
    Pixmap pa = pixmap_of(ra), pb = pixmap_of(rb);
    if (!pa || !pb) return 0;
    auto put = [&](int r, Pixmap p) {
        if (r == -3)
            s.base_window = p;
        else
            frames[r].pix = p;
    };
    put(ra, pb);
    put(rb, pa);
    // The drawing target follows the pixmap it pointed to (it is unchanged).
    return 1;
}

int gdelete_frame(int n) {
    State &s = S();
    if (!ready()) return 0;
    int r = resolve(n);
    if (r < 0 || r >= GMAX_FRAMES) return 0;
    if (r >= num_images && r != 0) {
        if (frames[r].pix) free_pixmap(frames[r].pix);
        if (s.draw_window == frames[r].pix) s.draw_window = s.base_window;
        frames[r].pix = 0;
        return 1;
    }
    if (r >= num_images) return 0;  // frame 0 of an empty table
    if (frames[r].pix) {
        if (s.draw_window == frames[r].pix) s.draw_window = s.base_window;
        free_pixmap(frames[r].pix);
    }
    bool was_last = r == num_images - 1;
    for (int i = r; i < num_images - 1; i++) frames[i] = frames[i + 1];
    frames[num_images - 1] = Frame{};
    num_images--;
    if (was_last && num_images >= 1) frames[num_images - 1].delay = 1.0f;
    if (num_images == 0) {
        cur_image = -1;
        if (s.dpy) XClearWindow(s.dpy, s.root_window);
        return 1;
    }
    if (cur_image == r && was_last) {
        cur_image = r - 1;
    } else if (cur_image == r) {
        gdisplay_frame(r);
    } else if (cur_image > r) {
        cur_image--;
    }
    return 1;
}

int gdelete_all_frames() {
    State &s = S();
    for (auto &f : frames) {
        if (f.pix && (s.dpy || s.mem)) {
            if (s.draw_window == f.pix) s.draw_window = s.base_window;
            free_pixmap(f.pix);
        }
        f.pix = 0;
    }
    return 0;
}

namespace gks {

// Printing the display list resets the workstation for the file device,
// which empties the frame table; the loop on the window is set aside for
// that time and put back afterwards, pixmaps and all.
void frames_aside() {
    if (is_aside) return;
    std::copy(std::begin(frames), std::end(frames), aside.frames);
    aside.num = num_images;
    aside.cur = cur_image;
    for (auto &f : frames) f = Frame{};
    num_images = 0;
    cur_image = -1;
    is_aside = true;
}

void frames_back() {
    if (!is_aside) return;
    gdelete_all_frames();  // anything made meanwhile
    std::copy(std::begin(aside.frames), std::end(aside.frames), frames);
    num_images = aside.num;
    cur_image = aside.cur;
    is_aside = false;
}

}  // namespace gks

int gset_looping(int flag) {
    looping = flag ? 1 : 0;
    MESS_print(MESS_OUT1, looping ? "Looping initiated\n" : "Looping stopped\n");
    gset_cursor(looping ? GCUR_EXCHANGE : GCUR_DOT);
    return 0;
}

int gtoggle_loop(int flag) {
    gset_looping(flag == 1 ? 1 : flag == 0 ? 0 : !looping);
    gsync();
    return looping;
}

int gget_looping() { return looping; }
int gset_loop_direct(int d) { return loop_direct = d, 0; }
int gget_loop_direct() { return loop_direct; }

int gset_loop_delay(int n, float sec) {
    if (sec < 0) sec = 0;
    if (n == -4) {
        for (int i = 0; i < num_images - 1; i++) frames[i].delay = sec;
        return 0;
    }
    int r = resolve(n);
    if (r < 0 || r >= GMAX_FRAMES) return 0;
    frames[r].delay = sec;
    return 0;
}

int ginc_loop_delay(float step) {
    loop_delay += step;
    if (loop_delay < 0) loop_delay = 0;
    for (int i = 0; i < num_images - 1; i++) frames[i].delay = loop_delay;
    MESS_print(MESS_OUT1, step > 0 ? "Loop delay incremented to: %2.2f\n" : "Loop delay decremented to: %2.2f\n",
               loop_delay);
    return 0;
}

float gget_loop_delay() { return loop_delay; }

float gget_frame_delay(int n) {
    int r = resolve(n);
    return (r >= 0 && r < GMAX_FRAMES) ? frames[r].delay : loop_delay;
}

int ginc_frame(int step) {
    int n = num_images, c = cur_image;
    if (n < 1) return -1;
    if (c < 0) return 0;
    int cand = step != 0 ? c + step : ((loop_direct & 1) ? c + 1 : c - 1);
    MESS_print(MESS_DEBUG, "INC: %d-%d %d-%d\n", step, loop_direct, c, cand);
    if (cand >= 0 && cand < n) return cand;
    bool rocking = loop_direct >= 2;
    if (cand >= n) {
        if (!rocking) return 0;
        if (n == 1) {
            loop_direct = 3;
            return 1 < n ? 1 : 0;
        }
        loop_direct = 2;
        return n - 2;
    }
    if (!rocking) return n - 1;
    loop_direct = 3;
    return n > 1 ? 1 : 0;
}

int gloop_sleep() {
    // No event can come to the headless window: nothing to wait for.
    if (S().mem) return 0;
    float delay = gget_frame_delay(-2);
    // Input that ends meanwhile (Return in a hold) ends the wait too, or a
    // long frame delay would hold the program after the user has left.
    int waiting = gget_input_mode();
    while (true) {
        float left = delay - ZYR_elapse_time();
        if (left <= 0) break;
        float slice = left > 0.2f ? 0.2f : left;
        usleep((useconds_t)(slice * 1e6f));
        if (slice >= 0.2f) gcheck_event();
        if (waiting && !gget_input_mode()) break;
    }
    return 0;
}

int gget_num_images() { return num_images; }
int gget_cur_frame() { return cur_image; }

unsigned long gget_frame_id(int n) { return (unsigned long)pixmap_of(resolve(n)); }

int gset_frame_id(int n, unsigned long id) {
    int r = resolve(n);
    if (r < 0 || r >= GMAX_FRAMES) return 0;
    frames[r].pix = (Pixmap)id;
    return 1;
}

int gset_loop_title(int flag) { return loop_title = flag, 0; }

int gprint_frame_ids() {
    MESS_print(MESS_DEBUG, "ROOT: %d\n", (int)S().root_window);
    MESS_print(MESS_DEBUG, " WIN: %d\n", (int)S().base_window);
    for (int i = 0; i < num_images; i++) MESS_print(MESS_DEBUG, "%4d: %d\n", i, (int)frames[i].pix);
    return 0;
}

int gset_image_data(int n, const void *data, int len) {
    int r = resolve(n);
    if (r < 0 || r >= GMAX_FRAMES || len < 0 || len > 52 || (!data && len > 0)) return 0;
    if (len) memcpy(frames[r].data, data, (size_t)len);
    frames[r].len = len;
    return 1;
}

int gget_image_data(int n, void *data) {
    int r = resolve(n);
    if (r < 0 || r >= GMAX_FRAMES) return 0;
    if (data && frames[r].len) memcpy(data, frames[r].data, (size_t)frames[r].len);
    return frames[r].len;
}

// A client asks for a new last frame. It draws into a pixmap it knows by id,
// so that pixmap moves on to the new slot, cleared for the next picture,
// while a copy of the picture it held stays in the old slot.
int gappend_frame() {
    if (!ready()) return 0;
    if (num_images > 0) {
        int last = num_images - 1;
        int n = gcreate_frame(-1);
        if (n < 0) return 0;
        gcopy_frame(n, last);
        gswitch_frame(n, last);
        gclear_frame(n);
    } else {
        gcreate_frame(0);
        gset_looping(1);
    }
    return 1;
}

void gks::frame_reset()
{
    for (Frame &f : frames) f = Frame{};
    num_images = 0;
    cur_image = -1;
    looping = 0;
    loop_delay = 0.5f;
    loop_direct = 1;
    loop_title = 1;
    aside = Table{};
    is_aside = false;
}
