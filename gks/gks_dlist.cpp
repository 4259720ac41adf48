// The display list: every setting and primitive drawn on the window is
// recorded with its kind so that the picture can be replayed (redrawn on the
// window, or printed to PostScript or a metafile).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/util.h"
#include "gks/gks_int.h"

// The file drivers' factories; weak so that the kernel links before they exist.
GDevice *gps_open_device(const char *file, const char *options) __attribute__((weak));
GDevice *gmeta_open_device(const char *file, const char *options) __attribute__((weak));

using namespace gks;

namespace {

struct Obj {
    int kind;
    int arg;
    std::vector<float> f;
    std::string text;
    GRedrawFunc fn = nullptr;
    std::vector<unsigned char> data;
};

std::vector<Obj> objs;      // in drawing order
long calls = 0;             // gnew_obj calls since the list was emptied
bool redraw_on = true;      // recording
bool replaying = false;
bool action = true;         // event processing (gset_cache)
bool redraw_done = false;
// Recording switched off by a frame selection (frames are redrawn from their
// pixmaps), and the state it had before; emptying the list for a new picture
// (a replot after a zoom or resize) brings that state back, so the new
// picture's settings are recorded as the first picture's were.
bool in_frames = false;
bool before_frames = true;

bool recording() { return redraw_on && !replaying && S().win_type == GWS_WIN && S().ws_open; }

void replay_one(const Obj &o) {
    const float *f = o.f.empty() ? nullptr : o.f.data();
    switch (o.kind) {
    case 5: gmessage(1, o.text.c_str()); break;
    case 10: gset_ws_vp(o.arg, f); break;
    case 11: gset_ws_win(o.arg, f); break;
    case 15: gsel_norm_tran(o.arg); break;
    case 16: gset_vp(o.arg, f); break;
    case 17: gset_win(o.arg, f); break;
    case 20: gset_colr_rep(1, o.arg, f); break;
    case 25: gclear_region(f); break;
    case 30: gpolyline(o.arg, f); break;
    case 33: gset_linetype(o.arg); break;
    case 34: gset_linewidth(f[0]); break;
    case 35: gset_line_colr_ind(o.arg); break;
    case 36: gset_line_print_bold(o.arg); break;
    case 40: gpolymarker(o.arg, f); break;
    case 43: gset_marker_type(o.arg); break;
    case 44: gset_marker_size(f[0]); break;
    case 45: gset_marker_colr_ind(o.arg); break;
    case 46: gset_marker_width(f[0]); break;
    case 50: gtext(f, o.text.c_str()); break;
    case 53: gset_char_space(f[0]); break;
    case 54: gset_space(f[0]); break;
    case 55: gset_expan(f[0]); break;
    case 56: gset_text_colr_ind(o.arg); break;
    case 57: gset_char_ht(f[0]); break;
    case 58: gset_char_up_vec(f); break;
    case 59: {
        int fp[2] = {o.arg, (int)f[0]};
        gset_fontprec(fp);
        break;
    }
    case 60: {
        int a[2] = {(int)f[0], (int)f[1]};
        gset_text_align(a);
        break;
    }
    case 61: gset_text_width(f[0]); break;
    case 70: gfill_area(o.arg, f); break;
    case 73: gset_fill_int_style(o.arg); break;
    case 74: gset_fill_style_ind(o.arg); break;
    case 75: gset_fill_colr_ind(o.arg); break;
    case 76: gset_fill_print_solid(o.arg); break;
    case 81: gcreate_seg(o.arg); break;
    case 82: gclose_seg(o.arg); break;
    case 999:
        if (o.fn) o.fn(o.data.empty() ? nullptr : (void *)o.data.data());
        break;
    default: break;
    }
}

// Replays the whole list; every 200 objects pending events are processed
// and a redraw finished meanwhile stops this one.
void replay_all(bool check_events) {
    replaying = true;
    redraw_done = false;
    std::vector<Obj> copy = objs;  // callbacks run during event checks may change the list
    for (size_t i = 0; i < copy.size(); i++) {
        replay_one(copy[i]);
        if (check_events && (i + 1) % 200 == 0) {
            process_pending();
            if (redraw_done) break;
        }
    }
    replaying = false;
}

// Prints the list on a file device made by factory; the window's state is
// put back afterwards.
int print_with(GDevice *(*factory)(const char *, const char *), int type, int mode, const char *file,
               const char *errname, const char *emptymsg) {
    State &s = S();
    if (!factory) {
        gerr_printf(errname, type == GWS_PS ? "unable to open postscript file\n" : "unable to open metafile\n");
        return -1;
    }
    GDevice *saved = s.dev;
    int saved_type = s.win_type, w = s.win_width, h = s.win_height;
    bool saved_rec = redraw_on;
    // The print starts every transform afresh; the window's own come back
    // afterwards, or pointer positions would be reported in the wrong one.
    const Rect6 saved_wkwn = s.wkwn;
    Rect6 saved_wn[GNUM_TRANS], saved_vp[GNUM_TRANS];
    std::copy(s.wn, s.wn + GNUM_TRANS, saved_wn);
    std::copy(s.vp, s.vp + GNUM_TRANS, saved_vp);
    const int saved_tran = s.cur_trans;
    int cursor = gset_cursor(GCUR_WATCH);
    GDevice *dev = factory(file, "");
    if (!dev) {
        gerr_printf(errname, type == GWS_PS ? "unable to open postscript file\n" : "unable to open metafile\n");
        gset_cursor(cursor);
        return -1;
    }
    s.dev = dev;
    s.win_type = type;
    if (type == GWS_PS) dev->size(&s.win_width, &s.win_height);
    frames_aside();  // the file device's reset must not drop the loop
    ginit_plot(mode);
    if (objs.empty())
        MESS_print(MESS_ERROR, "%s", emptymsg);
    else
        replay_all(false);
    dev->close();
    delete dev;
    s.dev = saved;
    s.win_type = saved_type;
    s.win_width = w;
    s.win_height = h;
    redraw_on = saved_rec;
    ginit_plot(GMODE_REDRAW);
    frames_back();
    redraw_on = false;  // the restoring calls are not part of the picture
    float r[4];
    saved_wkwn.get4(r);
    gset_ws_win(0, r);
    for (int i = 0; i < GNUM_TRANS; i++) {
        saved_wn[i].get4(r);
        gset_win(i, r);
        saved_vp[i].get4(r);
        gset_vp(i, r);
    }
    gsel_norm_tran(saved_tran);
    redraw_on = saved_rec;
    gset_cursor(cursor);
    gbell(50);
    return 0;
}

}  // namespace

namespace gks {

bool emit(int kind, int arg, const float *f, int nf, const char *text, bool record) {
    if (record) {
        // Long drawings stay responsive: every 500th object checks events.
        if (++calls % 500 == 0 && action) process_pending();
        if (recording()) {
            Obj o;
            o.kind = kind;
            o.arg = arg;
            if (f && nf > 0) o.f.assign(f, f + nf);
            if (text) o.text = text;
            objs.push_back(std::move(o));
        }
    }
    GDevice *d = S().dev;
    if (!d) return false;
    GRecord r{kind, arg, f, nf, text};
    return d->record(r);
}

bool dlist_recording() { return recording(); }

void frame_recording_off() {
    if (!in_frames) before_frames = redraw_on;
    in_frames = true;
    redraw_on = false;
}

void gnew_obj(int kind, int arg, int size, const void *data) {
    if (!recording()) return;
    Obj o;
    o.kind = kind;
    o.arg = arg;
    if (data && size > 0) {
        const float *f = static_cast<const float *>(data);
        o.f.assign(f, f + size / (int)sizeof(float));
    }
    objs.push_back(std::move(o));
}

}  // namespace gks

int gset_redraw(int flag) {
    int old = redraw_on ? 1 : 0;
    redraw_on = flag != 0;
    return old;
}
int gget_redraw() { return redraw_on ? 1 : 0; }
int gset_cache(int flag) {
    action = flag != 0;
    return 0;
}
int gget_cache() { return action ? 1 : 0; }
int gnum_objs() { return (int)objs.size(); }

int gset_redraw_func(GRedrawFunc fn, const void *data, int size) {
    if (!fn) return -1;
    if (recording()) {
        Obj o;
        o.kind = 999;
        o.arg = size;
        o.fn = fn;
        if (data && size > 0) o.data.assign((const unsigned char *)data, (const unsigned char *)data + size);
        objs.push_back(std::move(o));
    }
    return 0;
}

int gclear_objs() {
    objs.clear();
    calls = 0;
    if (in_frames) redraw_on = before_frames;
    in_frames = false;
    return 0;
}

int ginit_objs() {
    gclear_objs();
    redraw_on = true;
    const char *v = getenv("zyrredraw");
    if (!v && S().dpy) v = XGetDefault(S().dpy, gget_prog_name(), "redraw");
    if (v && stricmp(v, "no") == 0) redraw_on = false;
    return 0;
}

int gdel_seg_objs(int n) {
    size_t a = objs.size();
    for (size_t i = 0; i < objs.size(); i++)
        if (objs[i].kind == 81 && objs[i].arg == n) {
            a = i;
            break;
        }
    if (a == objs.size()) return 0;
    size_t b = objs.size() - 1;
    for (size_t i = a + 1; i < objs.size(); i++)
        if (objs[i].kind == 82) {
            b = i;
            break;
        }
    objs.erase(objs.begin() + (long)a, objs.begin() + (long)b + 1);
    return 0;
}

int gobj_redraw_plot() {
    State &s = S();
    if (!s.ws_open || s.win_type != GWS_WIN) return 0;
    gresize_window(0, 0);
    int cursor = gset_cursor(GCUR_WATCH);
    ginit_plot(GMODE_REDRAW);
    replay_all(true);
    redraw_done = true;
    gset_cursor(cursor);
    return 0;
}

int gobj_print_plot() {
    const char *f = getenv("zyrps_print");
    if (!f) f = getenv("PSPRINT");
    if (!f) f = "zyr.ps";
    return print_with(gps_open_device, GWS_PS, GMODE_PS, f, "gprint_plot",
                      "gobj_print_plot: No redraw data to make Postscript file from\n");
}

int gobj_print_meta() {
    const char *f = getenv("METAOUT");
    if (!f) f = "zyr.meta";
    return print_with(gmeta_open_device, GWS_META, GMODE_META, f, "gprint_meta",
                      "gobj_print_meta: No redraw data to make metafile from\n");
}

int gclear_region(const float *r) {
    State &s = S();
    if (!s.ws_open) {
        gerr_printf("gclear_region", "GKS not opened\n");
        return -1;
    }
    if (!r) return -1;
    if (emit(25, 0, r, 4, nullptr)) return 0;
    if (!s.dev) return 0;
    GPoint p[5] = {to_dev(r[0], r[2]), to_dev(r[1], r[2]), to_dev(r[1], r[3]), to_dev(r[0], r[3]),
                   to_dev(r[0], r[2])};
    if (s.mem) {
        int xy[10];
        for (int i = 0; i < 5; i++) {
            xy[2 * i] = (short)(p[i].x + 0.5f);
            xy[2 * i + 1] = (short)(p[i].y + 0.5f);
        }
        mem_clear_region(s.clip_rect, xy, 5);
        return 0;
    }
    if (gtype_is_WIN_PIX()) {
        // Filled with the background through the root context, clipped to the viewport.
        GXRect c = s.clip_rect;
        XRectangle xr{c.x, c.y, c.width, c.height};
        XSetClipRectangles(s.dpy, s.root_gc, 0, 0, &xr, 1, Unsorted);
        XSetForeground(s.dpy, s.root_gc, (unsigned long)gget_back_color());
        XPoint xp[5];
        for (int i = 0; i < 5; i++) xp[i] = {(short)(p[i].x + 0.5f), (short)(p[i].y + 0.5f)};
        for (Drawable d : {s.draw_window, x11_layer_twin()})
            if (d) XFillPolygon(s.dpy, d, s.root_gc, xp, 5, Complex, CoordModeOrigin);
        XSetClipMask(s.dpy, s.root_gc, None);
        return 0;
    }
    s.dev->fill(5, p);
    return 0;
}

void gks::dlist_reset()
{
    objs.clear();
    calls = 0;
    redraw_on = true;
    replaying = false;
    action = true;
    redraw_done = false;
    in_frames = false;
    before_frames = true;
}
