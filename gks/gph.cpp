// The world-coordinate layer through which the plot framework sets up the
// page and the panel, chooses attributes and draws simple shapes.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"
#include "gks/clr.h"
#include "gks/gks_int.h"

using namespace gks;

namespace {

float xvp = 1.0f, yvp = 1.0f;
float sizex = 1.0f, sizey = 1.0f, offx = 0.0f, offy = 0.0f;
char font_name[21] = "";
int wk_itype = 0;
bool ws_open = false;

void closed_shape(float x1, float y1, float x2, float y2, bool filled) {
    float p[10] = {x1, y1, x2, y1, x2, y2, x1, y2, x1, y1};
    if (filled)
        gfill_area(5, p);
    else
        gpolyline(5, p);
}

void circle(float x, float y, float r, bool filled) {
    float p[74];
    for (int i = 0; i <= 36; i++) {
        double a = i * 10.0 * M_PI / 180.0;
        p[2 * i] = x + r * (float)std::cos(a);
        p[2 * i + 1] = y + r * (float)std::sin(a);
    }
    if (filled)
        gfill_area(37, p);
    else
        gpolyline(37, p);
}

}  // namespace

int GPH_device_prompt(int *type) {
    if (!type || *type != 0) return 0;
    char answer[80] = "";
    if (!ZYR_prompts("Display (D) or Postscript (P): ", answer, sizeof answer)) return -1;
    *type = (answer[0] == 'P' || answer[0] == 'p') ? GWS_PS : GWS_WIN;
    return *type;
}

int gdevice_setup(const char *s, char *rest) {
    if (!s) return GWS_WIN;
    char dev[160] = "";
    if (rest) rest[0] = 0;
    if (sscanf(s, "%159[^,],%s", dev, rest ? rest : dev) < 1) return GWS_WIN;
    return gdevice_letter(dev[0]);
}

int GPH_begin(int ws, const char *conn, int *type) {
    unlink("zyrgks.err");
    int t = type ? *type : GWS_WIN;
    if (t == 0) {
        char answer[80] = "";
        if (!ZYR_prompts("Display (D) or Postscript (P): ", answer, sizeof answer)) return -1;
        t = gdevice_letter(answer[0]);
        if (type) *type = t;
        FLAG_set(FLAG_DEVICE, t);
    }
    wk_itype = t;
    if (ws_open && gchk_graphics()) return 0;
    if (gopen_gks(nullptr, 0) != 0) {
        MESS_print(MESS_ERROR, "GPH_begin: Error opening Kernel System\n");
        ZYR_request_exit(4);
        return -1;
    }
    if (gopen_ws(ws, conn, t) != 0) {
        MESS_print(MESS_ERROR, "GPH_begin: Error opening workstation\n");
        ZYR_request_exit(4);
        return -1;
    }
    ws_open = true;
    gactivate_ws(ws);
    return 0;
}

int GPH_end(int ws) {
    gdeactivate_ws(ws);
    gclose_ws(ws);
    gclose_gks();
    ws_open = false;
    FLAG_set(FLAG_DEVICE, wk_itype);
    return 0;
}

int GPH_setup(int ws, int *type, float *panel, float aspect) {
    // "device": its letter goes to flag 2, the text after the first comma is
    // the X display for the window device ("d,:1") and the output name or
    // embedded-window parameters (the connection's second field) otherwise.
    const char *dest = nullptr;
    RES_getval("device", &dest, RES_T_DEVICE);
    const char *lead = FLAG_get(FLAG_DEVICE) == GWS_WIN ? "" : ",";
    const std::string conn = dest && *dest ? std::string(lead).append(dest) : std::string();
    int dev = FLAG_get(FLAG_DEVICE);
    if (dev < 1) dev = FLAG_batch() ? GWS_WIN : 0;
    if (type) *type = dev;
    GPH_set_win_title();
    CLR_read_table(nullptr);
    const char *draw = RES_get("draw");
    if (draw && *draw) RES_set_draw(draw);
    if (GPH_begin(ws, conn.empty() ? nullptr : conn.c_str(), type ? type : &dev) != 0) return -1;
    return GPH_reset(ws, type, panel, aspect);
}

int GPH_reset(int ws, int *type, float *panel, float aspect) {
    gclear_ws(ws, 1);
    ginq_maxview(ws, &xvp, &yvp);
    float page[4] = {0, xvp, 0, yvp};
    gset_ws_win(ws, page);
    gset_win(1, page);
    gset_vp(1, page);
    GPH_panel(ws, type, panel, aspect);
    for (int i = 0; i < CLR_get_num() && i < 256; i++) {
        float r, g, b;
        CLR_get_rgb(i, &r, &g, &b);
        GPH_set_color(i, r, g, b);
    }
    GPH_text_font(nullptr);
    return 0;
}

int GPH_panel(int ws, int *type, float *panel, float aspect) {
    float m[4] = {0, 0, 0, 0};
    if (panel) memcpy(m, panel, sizeof m);
    float r[4] = {(sizex * m[0] + offx) * xvp, (offx + sizex - sizex * m[1]) * xvp,
                  (sizey * m[2] + offy) * yvp, (offy + sizey - sizey * m[3]) * yvp};
    float ratio[2] = {aspect != 0 ? aspect : sizex * xvp, aspect != 0 ? 1.0f : sizey * yvp};
    int align[2] = {2, 2};
    float out[4];
    gset_aspect(r, out, align, ratio);
    for (int n : {2, 3}) {
        gset_win(n, out);
        gset_vp(n, out);
    }
    gset_linetype(1);
    gset_linewidth(0);
    gset_fill_int_style(1);
    gset_marker_width(0);
    gset_text_width(0);
    gset_expan(1);
    if (panel) memcpy(panel, out, sizeof out);
    return 0;
}

int GPH_set_view_size(float sx, float sy, float ox, float oy) {
    sizex = sx;
    sizey = sy;
    offx = ox;
    offy = oy;
    return 0;
}

int GPH_get_view_size(float *r) {
    r[0] = offx * xvp;
    r[1] = (offx + sizex) * xvp;
    r[2] = offy * yvp;
    r[3] = (offy + sizey) * yvp;
    return 0;
}

float GPH_get_vert_win_size() { return yvp; }
int GPH_trans(int n) { return gsel_norm_tran(n); }
int GPH_view(int n, const float *r) { return gset_vp(n, r); }
int GPH_win(int n, const float *r) { return gset_win(n, r); }

int GPH_get_view(int n, float *r) {
    float out[8];
    int err;
    if (ginq_norm_tran(n, &err, out) < 0) return -1;
    memcpy(r, out + 4, 4 * sizeof(float));
    return 0;
}

int GPH_get_win(int n, float *r) {
    float out[8];
    int err;
    if (ginq_norm_tran(n, &err, out) < 0) return -1;
    memcpy(r, out, 4 * sizeof(float));
    return 0;
}

int GPH_print_view(const float *r) {
    MESS_print(MESS_PRINT, "%5.2f %5.2f %5.2f %5.2f\n", r[0], r[1], r[2], r[3]);
    return 0;
}

int GPH_set_win_title() {
    const char *name = RES_get("name");
    // The program's own name is what follows the last "/" of the command:
    // a path would make the title, the X class hints and every file named
    // after the title (picture saves, page titles) start with directories.
    const char *prog = RES_get_prog();
    if (prog && std::strrchr(prog, '/')) prog = std::strrchr(prog, '/') + 1;
    if (!prog || !*prog) prog = "zyrsat";
    gset_prog_name(name && *name ? name : prog);
    const char *title = RES_get("title");
    if (title && *title)
        gset_win_title(title);
    else if (name && *name)
        gset_win_title(name[0] == '+' ? name + 1 : name);
    else
        gset_win_title(prog);
    return 0;
}

int GPH_text_font(const char *name) {
    int fp[2] = {gget_font_index(name && *name ? name : font_name), 2};
    return gset_fontprec(fp);
}

int GPH_set_def_font(const char *name) {
    strntcpy(font_name, name ? name : "", sizeof font_name);
    return 0;
}

int GPH_text_align(int h, int v) {
    int a[2] = {h, v};
    return gset_text_align(a);
}

int GPH_get_text_align(int *h, int *v) {
    int a[2];
    ginq_text_align(a);
    *h = a[0];
    *v = a[1];
    return 0;
}

int GPH_text_rotate(float deg) {
    double a = deg * M_PI / 180.0;
    float up[2] = {(float)std::sin(a), (float)std::cos(a)};
    return gset_char_up_vec(up);
}

int GPH_line(float x1, float y1, float x2, float y2) {
    float p[4] = {x1, y1, x2, y2};
    return gpolyline(2, p);
}

int GPH_mark(float x, float y) {
    float p[2] = {x, y};
    return gpolymarker(1, p);
}

int GPH_border(const float *r) {
    closed_shape(r[0], r[2], r[1], r[3], false);
    return 0;
}

int GPH_rect(float x1, float y1, float x2, float y2) {
    closed_shape(x1, y1, x2, y2, false);
    return 0;
}

int GPH_frect(float x1, float y1, float x2, float y2) {
    closed_shape(x1, y1, x2, y2, true);
    return 0;
}

int GPH_circle(float x, float y, float r) {
    circle(x, y, r, false);
    return 0;
}

int GPH_fcircle(float x, float y, float r) {
    circle(x, y, r, true);
    return 0;
}

int GPH_pprint(const float *pos, const char *text) { return gtext(pos, text); }

int GPH_pprintf(const float *pos, const char *fmt, ...) {
    char buf[256];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return gtext(pos, buf);
}

int GPH_printf(const char *fmt, double x, double y, ...) {
    char buf[256];
    va_list ap;
    va_start(ap, y);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    float pos[2] = {(float)x, (float)y};
    return gtext(pos, buf);
}

int GPH_hold(int mode) {
    gupdate_window();
    if (wk_itype == GWS_WIN) ghold(mode);
    return 0;
}

void gks::gph_reset()
{
    xvp = yvp = 1.0f;
    sizex = sizey = 1.0f;
    offx = offy = 0.0f;
    font_name[0] = '\0';
    wk_itype = 0;
    ws_open = false;
}
