// The kernel's drawing state as one copy, for layers drawn once and put onto
// many pictures: a layer may stand in for drawing calls only while every
// setting those calls start from is the same.
#include <cstring>
#include <string>

#include "gks/gks_int.h"

using namespace gks;

int gdraw_state(std::string *out) {
    if (!out) return -1;
    const State &s = S();
    out->clear();
    prim_attrs(*out);
    text_attrs(*out);
    auto add = [out](const void *p, size_t n) { out->append((const char *)p, n); };
    add(&s.cur_trans, sizeof s.cur_trans);
    add(s.wn, sizeof s.wn);
    add(s.vp, sizeof s.vp);
    add(&s.wkwn, sizeof s.wkwn);
    add(&s.wkvp, sizeof s.wkvp);
    add(&s.plt, sizeof s.plt);
    add(&s.clip_rect, sizeof s.clip_rect);
    add(&s.win_width, sizeof s.win_width);
    add(&s.win_height, sizeof s.win_height);
    add(&s.win_type, sizeof s.win_type);
    add(&s.zoom, sizeof s.zoom);
    for (const ColorSlot &c : s.colr) {
        add(&c.r, sizeof c.r);
        add(&c.g, sizeof c.g);
        add(&c.b, sizeof c.b);
        add(&c.pixel, sizeof c.pixel);
    }
    add(&s.bg, sizeof s.bg);
    return 0;
}

int gdraw_state_restore(const std::string &in) {
    std::string now;
    gdraw_state(&now);
    if (now.size() != in.size()) return -1;
    size_t at = prim_attrs_set(in.data());
    at += text_attrs_set(in.data() + at);
    int trans = 0;
    std::memcpy(&trans, in.data() + at, sizeof trans);
    gsel_norm_tran(trans);
    return 0;
}

// A layer stands in for drawing calls the display list would miss: only
// while nothing is recorded (the frames of a loop).
int glayer_begin() {
    const State &s = S();
    if (dlist_recording()) return 0;
    if (s.mem) return mem_layer_begin() ? 1 : 0;
    return s.dpy && gtype_is_WIN_PIX() && x11_layer_begin() ? 1 : 0;
}

int glayer_end() {
    if (S().mem) return mem_layer_end();
    return S().dpy ? x11_layer_end() : 0;
}

int glayer_put(int id) {
    if (S().mem) return mem_layer_put(id) ? 1 : 0;
    return S().dpy && x11_layer_put(id) ? 1 : 0;
}

int glayer_free(int id) {
    if (S().mem) mem_layer_free(id);
    else if (S().dpy) x11_layer_free(id);
    return 0;
}
