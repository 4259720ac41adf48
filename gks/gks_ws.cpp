// The workstation: opening and closing the kernel and the one workstation,
// the device types, (re)initialisation, segments and messages, and the
// colour table of 257 slots shared by every device.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/flags.h"
#include "core/util.h"
#include "gks/clr.h"
#include "gks/drivers/hpgl.h"
#include "gks/drivers/meta.h"
#include "gks/drivers/ps.h"
#include "gks/gks_int.h"

using namespace gks;

namespace {

bool open_check(const char *name) {
    if (!S().ws_open) {
        gerr_printf(name, "GKS not opened\n");
        return false;
    }
    return true;
}

// conn = display[,second[,options...]]
void split_conn(const char *conn, std::string &display, std::string &second, std::string &rest) {
    std::string c = conn ? conn : "";
    size_t a = c.find(',');
    display = c.substr(0, a);
    if (a == std::string::npos) return;
    size_t b = c.find(',', a + 1);
    second = c.substr(a + 1, b == std::string::npos ? std::string::npos : b - a - 1);
    if (b != std::string::npos) rest = c.substr(b + 1);
}

}  // namespace

int gtype_is_WIN() { return S().win_type == GWS_WIN; }
int gtype_is_META() { return S().win_type == GWS_META; }
int gtype_is_PS() { return S().win_type == GWS_PS; }
int gtype_is_HPGL() { return S().win_type == GWS_HPGL; }
int gtype_is_PIX() { return S().win_type == GWS_PIX; }
int gtype_is_WIN_PIX() { return S().win_type == GWS_WIN || S().win_type == GWS_PIX; }
int gtype_shows_images() {
    int t = S().win_type;
    return t == GWS_WIN || t == GWS_PIX || t == GWS_PS || t == GWS_RASTER;
}

int gdevice_letter(int c) {
    switch (c) {
    case 'M': case 'm': return GWS_META;
    case 'P': case 'p': return GWS_PS;
    case 'H': case 'h': case 'Q': case 'q': return GWS_HPGL;
    case 'W': case 'w': return GWS_PIX;
    default: return GWS_WIN;
    }
}


int gopen_gks(const char *errfile, int size) {
    State &s = S();
    if (errfile && *errfile) {
        s.errfp = fopen(errfile, "w");
        if (!s.errfp) return 1;
        s.errfp_owned = true;
    } else {
        s.errfp = nullptr;
        s.errfp_owned = false;
    }
    s.gks_open = true;
    return 0;
}

int gclose_gks() {
    State &s = S();
    if (s.errfp_owned && s.errfp) fclose(s.errfp);
    s.errfp = nullptr;
    s.errfp_owned = false;
    s.gks_open = false;
    return 0;
}

int gemergency_close_gks() { return 0; }

int greset_kernel() {
    gclose_ws(1);
    gclose_gks();
    dlist_reset();
    event_reset();
    frame_reset();
    prim_reset();
    text_reset();
    zoom_reset();
    mem_reset();
    x11_reset();
    gph_reset();
    imgfile_reset();
    gps_reset();
    ghpgl_reset();
    gmeta_reset();
    CLR_clear_table();
    S() = State{};
    return 0;
}
int gget_ws_id() { return 1; }

int gopen_ws(int ws, const char *conn, int type) {
    State &s = S();
    if (s.ws_open) gclose_ws(ws);
    if (type == GWS_PS) {
        const char *p = getenv("zyrprint");
        if (p && stricmp(p, "hpgl") == 0) type = GWS_HPGL;
    }
    std::string display, second, rest;
    split_conn(conn, display, second, rest);
    GDevice *dev = nullptr;
    int mode = GMODE_WINDOW;
    switch (type) {
    case GWS_WIN:
    case GWS_PIX:
        dev = x11_open(display.c_str(), second.c_str(), type);
        break;
    case GWS_PS:
        dev = gps_open_device(second.c_str(), rest.c_str());
        break;
    case GWS_HPGL:
        dev = ghpgl_open_device(second.c_str(), rest.c_str());
        break;
    case GWS_META:
        dev = gmeta_open_device(second.c_str(), rest.c_str());
        break;
    default:
        break;
    }
    if (!dev) {
        // The window and file drivers print their own open failures.
        if (type != GWS_WIN && type != GWS_PIX && type != GWS_PS && type != GWS_HPGL && type != GWS_META)
            MESS_print(MESS_ERROR, "gopen_ws: workstation type %d not available\n", type);
        return -1;
    }
    if (type == GWS_PS) mode = GMODE_PS;
    if (type == GWS_HPGL) mode = GMODE_HPGL;
    if (type == GWS_META) mode = GMODE_META;
    s.dev = dev;
    s.win_type = type;
    if (type != GWS_WIN && type != GWS_PIX) dev->size(&s.win_width, &s.win_height);
    s.ws_open = true;
    ginit_objs();
    if (type != GWS_WIN) gset_redraw(0);
    gsetup_fonts();
    ginit_plot(mode);
    if (type == GWS_WIN || type == GWS_PIX) {
        ginit_background();
        if (type == GWS_PIX && gget_pix_mode() == 1) dev->clear();
        gsync();
        gcheck_event();
    }
    return 0;
}

int gclose_ws(int ws) {
    State &s = S();
    if (!s.ws_open) return 0;
    int t = s.win_type;
    if (t == GWS_WIN || t == GWS_PIX) close_x11();
    // The embedded workstation's frames went with its connection: forget
    // their ids, or the next reset would free them on another connection.
    if (t == GWS_PIX)
        for (int n = 0; n < GMAX_FRAMES; n++) gset_frame_id(n, 0);
    if (s.dev) {
        s.dev->close();
        delete s.dev;
        s.dev = nullptr;
    }
    for (auto &c : s.colr) c = ColorSlot{};
    s.max_color_ind = -1;
    s.win_width = 640;
    s.win_height = 512;
    gclear_objs();
    s.ws_open = false;
    return 0;
}

int gactivate_ws(int) { return 0; }
int gdeactivate_ws(int) { return 0; }
int gchk_graphics() { return S().ws_open ? 1 : 0; }

int gclear_ws(int ws, int flag) {
    State &s = S();
    if (!s.ws_open) return 0;
    if (s.dev) s.dev->clear();
    if (s.win_type == GWS_WIN) gclear_objs();
    return 0;
}

int gnew_page(int ws) {
    State &s = S();
    if (!s.ws_open) return 0;
    if (!s.dev || !s.dev->new_page()) return gclear_ws(ws, 1);
    // The page starts with the device's defaults: clipping is set again.
    update_clip();
    return 0;
}

int gmessage(int ws, const char *text) {
    if (!open_check("gmessage")) return -1;
    emit(5, 0, nullptr, 0, text ? text : "");
    return 0;
}

int gcreate_seg(int n) {
    if (!open_check("gcreate_seg")) return -1;
    emit(81, n, nullptr, 0, nullptr);
    return 0;
}

int gclose_seg(int n) {
    if (!open_check("gclose_seg")) return -1;
    emit(82, n, nullptr, 0, nullptr);
    return 0;
}

int gdel_seg(int n) {
    if (!open_check("gdel_seg")) return -1;
    if (!emit(83, n, nullptr, 0, nullptr, false)) gdel_seg_objs(n);
    return 0;
}

int ginit_plot(int mode) {
    State &s = S();
    if (mode < 0) return 0;
    greset_text();
    greset_line();
    greset_marker();
    greset_fill();
    ginit_loop();
    ginit_tran(mode);
    if (mode == GMODE_WINDOW) {
        x11_clear_errors();
        if (s.win_type == GWS_PIX) s.rw_colors = false;
    }
    if (mode == GMODE_WINDOW || mode == GMODE_REDRAW) {
        x11_init_gcs(mode);
        ginit_event(mode);
    }
    ginit_line(mode);
    ginit_fill(mode);
    ginit_marker(mode);
    ginit_text(mode);
    update_clip();
    return 0;
}

// ---- colours ----
// galloc_colr takes slot numbers: any negative index asks for a free or
// near index, 256 is the background.  gset_colr_rep and the setters take
// colour indexes, where -1 is the background.

int gis_valid_colr(int i) {
    return (i >= -1 && i <= 256) || (i >= GCOLR_BLACK && i <= GCOLR_SPECIAL_MAX) ? 1 : 0;
}

static int slot_of(int i) { return i < 0 ? BACK_SLOT : i; }

int gis_color_alloc(int i) {
    State &s = S();
    if (i >= GCOLR_BLACK && i <= GCOLR_SPECIAL_MAX) return 1;
    if (i < -1 || i > 256) return 0;
    if (!gtype_is_WIN_PIX()) return 1;
    return s.colr[slot_of(i)].pixel >= 0 ? 1 : 0;
}

long galloc_colr(int i, float r, float g, float b) {
    State &s = S();
    if (i < 0) {
        // any index: reuse a near colour, else take the next one
        int found = -1;
        for (int k = 0; k < s.max_color_ind; k++) {
            if (s.colr[k].pixel != -1 && std::fabs(s.colr[k].r - r) + std::fabs(s.colr[k].g - g) +
                                                std::fabs(s.colr[k].b - b) < 0.01f) {
                found = k;
                break;
            }
        }
        if (found >= 0) {
            MESS_print(MESS_DEBUG, "Used existing ind: %d (%.2f %.2f %.2f)\n", found, r, g, b);
            return gtype_is_WIN_PIX() ? s.colr[found].pixel : 1;
        }
        i = s.max_color_ind + 1;
        if (i > 255) i = 255;
        MESS_print(MESS_DEBUG, "Allocated new ind: %d (%.2f %.2f %.2f)\n", i, r, g, b);
    }
    if (i > BACK_SLOT) return -1;
    ColorSlot &c = s.colr[i];
    c.r = r;
    c.g = g;
    c.b = b;
    if (i < BACK_SLOT && i > s.max_color_ind) s.max_color_ind = i;
    long px = 1;
    if (s.dev) px = s.dev->set_color(i, r, g, b);
    if (gtype_is_WIN_PIX()) return c.pixel;
    if (c.pixel < 0) c.pixel = -2;
    return px;
}

int gset_colr_rep(int ws, int i, const float *rgb) {
    State &s = S();
    if (!s.ws_open) {
        gerr_printf("gset_colr_rep", "GKS not opened\n");
        return -1;
    }
    if (i >= GCOLR_BLACK && i <= GCOLR_SPECIAL_MAX) return 0;
    if (!gis_valid_colr(i) || !rgb) {
        gerr_printf("gset_colr_rep", "invalid color index: %d\n", i);
        return -1;
    }
    if (emit(20, i, rgb, 3, nullptr)) return 0;
    galloc_colr(i < 0 ? BACK_SLOT : i, rgb[0], rgb[1], rgb[2]);
    if (i < 0) s.bg = (unsigned long)s.colr[BACK_SLOT].pixel;
    if (s.mem) {
        mem_colour_changed(i);
    } else if (gtype_is_WIN_PIX()) {
        if (line_colr() == i) x11_set_gc_color(s.gc_line, i);
        if (fill_colr() == i) x11_set_gc_color(s.gc_fill, i);
        if (marker_colr() == i) x11_set_gc_color(s.gc_marker, i);
        if (text_colr() == i) x11_set_gc_color(s.gc_text, i);
    }
    return 0;
}

int GPH_set_color(int i, float r, float g, float b) {
    float rgb[3] = {r, g, b};
    return gset_colr_rep(1, i, rgb);
}

long gget_color_ind(int i) {
    State &s = S();
    if (i >= GCOLR_BLACK && i <= GCOLR_SPECIAL_MAX) i = 1;
    if (i < -1 || i > 256) return 0;
    long p = s.colr[slot_of(i)].pixel;
    if (i == -1 && p < 0) return (long)s.bg;
    return p < 0 ? 0 : p;
}

int gget_color_rgb(int i, float *r, float *g, float *b) {
    if (i < -1 || i > 256) return -1;
    const ColorSlot &c = S().colr[slot_of(i)];
    *r = c.r;
    *g = c.g;
    *b = c.b;
    return 0;
}

int gget_color_rgb256(int i, int *r, int *g, int *b) {
    float fr, fg, fb;
    if (gget_color_rgb(i, &fr, &fg, &fb) < 0) return -1;
    *r = (int)(fr * 255);
    *g = (int)(fg * 255);
    *b = (int)(fb * 255);
    return 0;
}

int gis_color_near(int i, int by_pixel, float r, float g, float b) {
    if (i < -1 || i > 256) return 0;
    const ColorSlot &c = S().colr[slot_of(i)];
    if (by_pixel && c.pixel < 0) return 0;
    return std::fabs(c.r - r) + std::fabs(c.g - g) + std::fabs(c.b - b) < 0.01f ? 1 : 0;
}

int gget_max_colr() { return S().max_color_ind; }

int gis_back_light() {
    State &s = S();
    if (!s.ws_open) return gget_inverse();
    // Paper is white whatever the window colours are.
    if (s.win_type == GWS_PS || s.win_type == GWS_HPGL) return 1;
    // A window's background is what it was filled with: the screen's
    // black or white, or a named colour; judged by its luminance.
    const ColorSlot &b = s.colr[BACK_SLOT];
    if (gtype_is_WIN_PIX() && b.pixel >= 0) return 0.299f * b.r + 0.587f * b.g + 0.114f * b.b > 0.5f ? 1 : 0;
    // A metafile is replayed on a window later: its colours follow the
    // inverse setting.
    return gget_inverse();
}
