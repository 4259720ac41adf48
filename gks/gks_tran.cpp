// Normalisation transforms, the workstation window/viewport fit, the
// coordinate converters and the clip rectangle.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/flags.h"
#include "gks/gks_int.h"

namespace gks {

State &S() {
    static State state;
    return state;
}

namespace {

constexpr float PIX_LIMIT = 30000.0f;
constexpr float UNIT_LIMIT = 100000.0f;

float clampf(float v, float lim) { return v > lim ? lim : (v < -lim ? -lim : v); }

void recompute_wn_vp() {
    State &s = S();
    s.wn_vp[0] = s.cur_wn.dx != 0 ? s.cur_vp.dx / s.cur_wn.dx : 1.0f;
    s.wn_vp[1] = s.cur_wn.dy != 0 ? s.cur_vp.dy / s.cur_wn.dy : 1.0f;
}

// The workstation window fitted into the workstation viewport with equal
// scale on both axes, at the viewport's lower corner plus the window offset.
void refit_plt() {
    State &s = S();
    float vdx = s.wkvp.dx, vdy = s.wkvp.dy, wdx = s.wkwn.dx, wdy = s.wkwn.dy;
    if (wdx == 0) wdx = 1;
    if (wdy == 0) wdy = 1;
    float w, h;
    if (vdx / wdx > vdy / wdy) {
        h = vdy;
        w = wdx * vdy / wdy;
    } else {
        w = vdx;
        h = vdx * wdy / wdx;
    }
    s.plt.x1 = s.wkvp.x1 + s.win_x;
    s.plt.y1 = s.wkvp.y1 + s.win_y;
    s.plt.x2 = s.plt.x1 + w;
    s.plt.y2 = s.plt.y1 + h;
    s.plt.dx = w;
    s.plt.dy = h;
    s.wkwn_plt[0] = w / wdx;
    s.wkwn_plt[1] = h / wdy;
}

float ndc_x(float x) { return (x - S().cur_wn.x1) * S().wn_vp[0] + S().cur_vp.x1; }
float ndc_y(float y) { return (y - S().cur_wn.y1) * S().wn_vp[1] + S().cur_vp.y1; }
float ndcp_x(float n) { return clampf((n - S().wkwn.x1) * S().wkwn_plt[0] + S().plt.x1, PIX_LIMIT); }
float ndcp_y(float n) { return clampf((S().wkwn.y2 - n) * S().wkwn_plt[1] + S().plt.y1, PIX_LIMIT); }
float ndcu_x(float n) { return clampf((n - S().wkwn.x1) * S().wkwn_plt[0] + S().plt.x1, UNIT_LIMIT); }
float ndcu_y(float n) { return clampf((n - S().wkwn.y1) * S().wkwn_plt[1] + S().plt.y1, UNIT_LIMIT); }

int round_half(float v) { return (int)(v + 0.5f); }

}  // namespace

GPoint to_dev(float x, float y) {
    State &s = S();
    if (s.dev && !s.dev->y_down()) return {ndcu_x(ndc_x(x)), ndcu_y(ndc_y(y))};
    return {ndcp_x(ndc_x(x)), ndcp_y(ndc_y(y))};
}

void update_clip() {
    State &s = S();
    GClip c{};
    float px1 = ndcp_x(s.cur_vp.x1), px2 = ndcp_x(s.cur_vp.x2);
    float py_top = ndcp_y(s.cur_vp.y2), py_bot = ndcp_y(s.cur_vp.y1);
    int x = round_half(px1), y = round_half(py_top);
    int w = round_half(px2 - x + 1), h = round_half(py_bot - y + 1);
    s.clip_rect.x = (int16_t)x;
    s.clip_rect.y = (int16_t)y;
    s.clip_rect.width = (uint16_t)(w < 0 ? 0 : w);
    s.clip_rect.height = (uint16_t)(h < 0 ? 0 : h);
    c.xr = s.clip_rect;
    if (s.dev && !s.dev->y_down()) {
        c.x1 = ndcu_x(s.cur_vp.x1);
        c.x2 = ndcu_x(s.cur_vp.x2);
        c.y1 = ndcu_y(s.cur_vp.y1);
        c.y2 = ndcu_y(s.cur_vp.y2);
    } else {
        c.x1 = px1;
        c.x2 = px2;
        c.y1 = py_top;
        c.y2 = py_bot;
    }
    if (s.dev) s.dev->set_clip(c);
}

}  // namespace gks

using namespace gks;

int gerr_printf(const char *name, const char *fmt, ...) {
    State &s = S();
    if (!s.gks_open) return 0;
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (s.errfp) {
        fprintf(s.errfp, "%s: %s", name, buf);
        fflush(s.errfp);
    } else {
        MESS_print(MESS_ERROR | MESS_WARN, "%s: %s", name, buf);
    }
    return 0;
}

// Workstation-opening failures are reported whether or not the kernel's
// error stream is open.
int gks::ws_error(const char *name, const char *msg) {
    if (S().gks_open) return gerr_printf(name, "%s", msg);
    MESS_print(MESS_ERROR, "%s: %s", name, msg);
    return 0;
}

int gset_win(int n, const float *r) {
    if (n < 0 || n >= GNUM_TRANS || !r) return -1;
    State &s = S();
    s.wn[n].set4(r);
    emit(17, n, r, 4, nullptr);
    if (n == s.cur_trans) {
        s.cur_wn = s.wn[n];
        recompute_wn_vp();
    }
    return 0;
}

int gset_vp(int n, const float *r) {
    if (n < 0 || n >= GNUM_TRANS || !r) return -1;
    State &s = S();
    s.vp[n].set4(r);
    emit(16, n, r, 4, nullptr);
    if (n == s.cur_trans) {
        s.cur_vp = s.vp[n];
        recompute_wn_vp();
        update_clip();
    }
    return 0;
}

int gsel_norm_tran(int n) {
    State &s = S();
    if (n < 0 || n >= GNUM_TRANS) {
        gerr_printf("gsel_norm_tran", "invalid transformation number: %d\n", n);
        return -1;
    }
    if (n == s.cur_trans) return 0;
    emit(15, n, nullptr, 0, nullptr);
    s.cur_trans = n;
    s.cur_wn = s.wn[n];
    s.cur_vp = s.vp[n];
    recompute_wn_vp();
    update_clip();
    return 0;
}

int ginq_norm_tran(int n, int *err, float *out) {
    if (n < 0 || n >= GNUM_TRANS) {
        if (err) *err = -1;
        return -1;
    }
    if (err) *err = 0;
    if (out) {
        S().wn[n].get4(out);
        S().vp[n].get4(out + 4);
    }
    return 0;
}

int ginq_cur_norm_tran_num(int *err, int *n) {
    if (err) *err = 0;
    if (n) *n = S().cur_trans;
    return 0;
}

int gset_ws_win(int ws, const float *r) {
    if (!r) return -1;
    State &s = S();
    s.wkwn.set4(r);
    emit(11, ws, r, 4, nullptr);
    refit_plt();
    update_clip();
    return 0;
}

int gset_ws_vp(int ws, const float *r) {
    if (!r) return -1;
    State &s = S();
    s.wkvp.set4(r);
    emit(10, ws, r, 4, nullptr);
    refit_plt();
    update_clip();
    return 0;
}

int ginq_disp_space_size(int ws, int *err, int *units, float *size2, int *raster2) {
    State &s = S();
    if (err) *err = 0;
    if (units) *units = 1;
    if (size2) {
        size2[0] = (float)(s.win_width - 1);
        size2[1] = (float)(s.win_height - 1);
    }
    if (raster2) {
        raster2[0] = s.win_width;
        raster2[1] = s.win_height;
    }
    return 0;
}

int ginit_tran(int mode) {
    State &s = S();
    if (mode != GMODE_RESIZE) {
        s.wkwn = Rect6{};
        for (int i = 0; i < GNUM_TRANS; i++) {
            s.wn[i] = Rect6{};
            s.vp[i] = Rect6{};
        }
        s.cur_trans = 0;
        s.cur_wn = s.wn[0];
        s.cur_vp = s.vp[0];
    }
    float r[4] = {0, (float)(s.win_width - 1), 0, (float)(s.win_height - 1)};
    s.wkvp.set4(r);
    refit_plt();
    recompute_wn_vp();
    update_clip();
    return 0;
}

float xW_NDC(float x) { return ndc_x(x); }
float yW_NDC(float y) { return ndc_y(y); }
float xW_p(float x) { return ndcp_x(ndc_x(x)); }
float yW_p(float y) { return ndcp_y(ndc_y(y)); }
float xNDC_p(float x) { return ndcp_x(x); }
float yNDC_p(float y) { return ndcp_y(y); }
float xW_ps(float x) { return ndcu_x(ndc_x(x)); }
float yW_ps(float y) { return ndcu_y(ndc_y(y)); }
float xNDC_ps(float x) { return ndcu_x(x); }
float yNDC_ps(float y) { return ndcu_y(y); }

float xp_W(float px) {
    State &s = S();
    float n = (px - s.plt.x1) / s.wkwn_plt[0] + s.wkwn.x1;
    return (n - s.cur_vp.x1) / s.wn_vp[0] + s.cur_wn.x1;
}

float yp_W(float py) {
    State &s = S();
    float n = s.wkwn.y2 - (py - s.plt.y1) / s.wkwn_plt[1];
    return (n - s.cur_vp.y1) / s.wn_vp[1] + s.cur_wn.y1;
}

float xW_trans(int a, int b, float x) {
    if (a < 0 || a >= GNUM_TRANS || b < 0 || b >= GNUM_TRANS) return x;
    const Rect6 &wa = S().wn[a], &va = S().vp[a], &wb = S().wn[b], &vb = S().vp[b];
    float n = (x - wa.x1) * va.dx / wa.dx + va.x1;
    return (n - vb.x1) * wb.dx / vb.dx + wb.x1;
}

float yW_trans(int a, int b, float y) {
    if (a < 0 || a >= GNUM_TRANS || b < 0 || b >= GNUM_TRANS) return y;
    const Rect6 &wa = S().wn[a], &va = S().vp[a], &wb = S().wn[b], &vb = S().vp[b];
    float n = (y - wa.y1) * va.dy / wa.dy + va.y1;
    return (n - vb.y1) * wb.dy / vb.dy + wb.y1;
}

int gpts_in_win(int n, const float *pts) {
    if (n < 1 || !pts) return 0;
    float xmin = pts[0], xmax = pts[0], ymin = pts[1], ymax = pts[1];
    for (int i = 1; i < n; i++) {
        xmin = std::fmin(xmin, pts[2 * i]);
        xmax = std::fmax(xmax, pts[2 * i]);
        ymin = std::fmin(ymin, pts[2 * i + 1]);
        ymax = std::fmax(ymax, pts[2 * i + 1]);
    }
    const Rect6 &w = S().cur_wn;
    float wx1 = std::fmin(w.x1, w.x2), wx2 = std::fmax(w.x1, w.x2);
    float wy1 = std::fmin(w.y1, w.y2), wy2 = std::fmax(w.y1, w.y2);
    return (xmax >= wx1 && xmin <= wx2 && ymax >= wy1 && ymin <= wy2) ? 1 : 0;
}

int gget_xviewport(GXRect *r) {
    if (r) *r = S().clip_rect;
    return 0;
}

int gget_gviewport(int *r) {
    State &s = S();
    if (!r) return -1;
    int t = s.win_type;
    if (t == GWS_WIN || t == GWS_PIX || t == GWS_RASTER) {
        r[0] = s.clip_rect.x;
        r[1] = s.clip_rect.y;
        r[2] = s.clip_rect.width;
        r[3] = s.clip_rect.height;
    } else if (t == GWS_PS || t == GWS_HPGL) {
        float x1 = ndcu_x(s.cur_vp.x1), y1 = ndcu_y(s.cur_vp.y1);
        float x2 = ndcu_x(s.cur_vp.x2), y2 = ndcu_y(s.cur_vp.y2);
        r[0] = (int)x1;
        r[1] = (int)y1;
        r[2] = (int)(x2 - x1 + 1);
        r[3] = (int)(y2 - y1 + 1);
    }
    return 0;
}

int gset_win_size(int w, int h) {
    State &s = S();
    s.win_width = w;
    s.win_height = h;
    return ginit_tran(GMODE_RESIZE);
}

int gset_tran_mult() { return 0; }
int greset_clip() { return 0; }

int gprint_win() {
    State &s = S();
    MESS_print(MESS_PRINT, "C-%d: %7.3f %7.3f %7.3f %7.3f\n", s.cur_trans, s.cur_wn.x1, s.cur_wn.x2,
               s.cur_wn.y1, s.cur_wn.y2);
    for (int i = 0; i < 4; i++)
        MESS_print(MESS_PRINT, "W-%d: %7.3f %7.3f %7.3f %7.3f\n", i, s.wn[i].x1, s.wn[i].x2, s.wn[i].y1,
                   s.wn[i].y2);
    return 0;
}

int ginq_maxview(int ws, float *xvp, float *yvp) {
    State &s = S();
    float w = (float)(s.win_width - 1), h = (float)(s.win_height - 1);
    if (w <= 0 || h <= 0) w = h = 1;
    if (w >= h) {
        *xvp = 1.0f;
        *yvp = h / w;
    } else {
        *yvp = 1.0f;
        *xvp = w / h;
    }
    return 0;
}

// Largest rectangle of aspect ax : ay inside in.  Alignment 2 centres,
// 3 puts it against the high edge; any other value (never used by the
// callers) keeps it at the low edge.
int gset_aspect(const float *in, float *out, const int *align, const float *aspect) {
    float w = in[1] - in[0], h = in[3] - in[2];
    float ax = aspect[0], ay = aspect[1];
    float nw = w, nh = h;
    if (ax > 0 && ay > 0 && w > 0 && h > 0) {
        if (w / h > ax / ay)
            nw = h * ax / ay;
        else
            nh = w * ay / ax;
    }
    auto place = [](float lo, float full, float part, int a) {
        if (a == 2) return lo + (full - part) / 2;
        if (a == 3) return lo + full - part;
        return lo;
    };
    float x1 = place(in[0], w, nw, align[0]), y1 = place(in[2], h, nh, align[1]);
    out[0] = x1;
    out[1] = x1 + nw;
    out[2] = y1;
    out[3] = y1 + nh;
    return 0;
}
