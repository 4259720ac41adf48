#include "gks/drivers/meta.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/util.h"
#include "gks/gks.h"

namespace {

struct MetaState {
    GDRV_FILE out;
    int type = 0; // 0 text, 1 binary CGM
    std::string title = "V11_Ozero";
    // CGM attributes last written; -9999 = none yet.
    int line_colour = -9999, fill_colour = -9999, line_type = -9999;
    float line_width = -9999;
    int interior = -9999;
    int pages = 1;          // pictures (CGM) or pages (text) begun
    // The colour table as set, which each new CGM picture gets again (a
    // picture starts from the default table).
    bool rep_set[256] = {};
    float rep[256][3] = {};
};

MetaState mf;

bool cgm_open() { return mf.out.fp && mf.type == 1; }

// Output buffer for CGM elements: one fwrite per element (or per 64 KiB of
// polyline) keeps the binary path fast.
struct Buf {
    unsigned char data[1 << 16];
    size_t n = 0;
    void flush()
    {
        if (n && mf.out.fp) std::fwrite(data, 1, n, mf.out.fp);
        n = 0;
    }
    void word(unsigned w)
    {
        if (n + 2 > sizeof data) flush();
        data[n++] = (unsigned char)(w >> 8);
        data[n++] = (unsigned char)w;
    }
    void byte(unsigned b)
    {
        if (n + 1 > sizeof data) flush();
        data[n++] = (unsigned char)b;
    }
};

Buf cgm;

// Driver units to a 16-bit VDC coordinate: the VDC extent is ten times the
// 1000 x 800 driver area, so the picture fills the extent; values clamp to
// the 16-bit integer range instead of wrapping.
// Rounds half away from zero; NaN becomes 0.
inline int16_t vdc(float v)
{
    float s = v * 10.0f;
    if (!(s == s)) return 0;
    if (s >= 32767.0f) return 32767;
    if (s <= -32768.0f) return -32768;
    return (int16_t)(int)(s + (s >= 0 ? 0.5f : -0.5f));
}

void cgm_header(int cls, int id, int length, bool long_form = false)
{
    if (long_form || length >= 31) {
        cgm.word((unsigned)(cls << 12 | id << 5 | 31));
        cgm.word((unsigned)length);
    } else {
        cgm.word((unsigned)(cls << 12 | id << 5 | length));
    }
}

// A colour index parameter: one byte (8-bit index precision) and the pad byte.
void cgm_index_element(int cls, int id, int ci)
{
    cgm_header(cls, id, 1);
    cgm.byte((unsigned)ci);
    cgm.byte(0);
    cgm.flush();
}

// Colour indexes of the file: the table's 0..255; the device-independent
// 500..508 draw with colour 1, as on the window.
int cgm_ci(int i)
{
    if (i >= 500 && i <= 508) return 1;
    if (i < 0) return 0;
    return i > 255 ? 255 : i;
}

void cgm_points(int n, const float *xy)
{
    constexpr int BLOCK = 4096; // points converted per buffer check
    for (int start = 0; start < n; start += BLOCK) {
        int m = std::min(BLOCK, n - start);
        if (cgm.n + 4 * (size_t)m > sizeof cgm.data) cgm.flush();
        unsigned char *p = cgm.data + cgm.n;
        const float *q = xy + 2 * start;
        for (int k = 0; k < 2 * m; ++k) {
            uint16_t w = (uint16_t)vdc(q[k]);
            p[2 * k] = (unsigned char)(w >> 8);
            p[2 * k + 1] = (unsigned char)w;
        }
        cgm.n += 4 * (size_t)m;
    }
}

// The point list of one element, always in long form; elements longer than
// one long-form length (32767 bytes, 8191 points) are split by the caller.
void cgm_point_element(int cls, int id, int n, const float *xy)
{
    cgm_header(cls, id, 4 * n, true);
    cgm_points(n, xy);
    cgm.flush();
}

constexpr int CGM_MAX_POINTS = 8191;

void text_header()
{
    std::fputs("ZYRMETA\n", mf.out.fp);
    std::fprintf(mf.out.fp, "#Title: ZYR Graphics Display: %s\n", mf.title.c_str());
    std::fputs("#Creator: ZYR Metafile Processor-1.0\n", mf.out.fp);
    std::fprintf(mf.out.fp, "#CreationDate: %s", gdrv_ctime());
}

void cgm_start()
{
    static const char desc[] = "ZYRCGM-1.0";
    gcgm_control(0, 1, 0, 0);          // BEGIN METAFILE
    gcgm_control(1, 1, 2, 1);          // METAFILE VERSION 1
    gcgm_control(1, 2, 11, 0);         // METAFILE DESCRIPTION
    cgm.byte(10);
    for (const char *c = desc; *c; ++c) cgm.byte((unsigned char)*c);
    cgm.byte(0);
    gcgm_control(1, 11, 6, 1);         // METAFILE ELEMENT LIST: 1 entry,
    cgm.word(0xFFFF);                  // the drawing set (-1, 1)
    cgm.word(1);
    gcgm_control(1, 9, 1, 0xFF00);     // MAXIMUM COLOUR INDEX 255 and a pad byte
    gcgm_control(2, 6, 8, 0);          // VDC EXTENT (0, 0) to (10000, 8000)
    cgm.word(0), cgm.word(0), cgm.word(10000), cgm.word(8000);
    gcgm_control(0, 3, 0, 0);          // BEGIN PICTURE
    gcgm_control(0, 4, 0, 0);          // BEGIN PICTURE BODY
    cgm.flush();
    gcgm_reset_attrs();
}

} // namespace


FILE *gmeta_open_file(const char *name)
{
    if (mf.out.fp) gdrv_close(mf.out);
    if (!gdrv_open(mf.out, name, "Creating metafile: %s\n")) return nullptr;
    return mf.out.fp;
}

int gmeta_init_file()
{
    if (!mf.out.fp) return -1;
    mf.pages = 1;
    std::fill(std::begin(mf.rep_set), std::end(mf.rep_set), false);
    if (mf.out.append) return 0;
    if (mf.type == 1)
        cgm_start();
    else
        text_header();
    return 0;
}

int gmeta_new_page()
{
    // An appended plot continues the picture of another file.
    if (!mf.out.fp || mf.out.append) return -1;
    mf.pages++;
    if (mf.type != 1) {
        gmeta_printf("PAGE %d\n", mf.pages);
        return 0;
    }
    gcgm_control(0, 5, 0, 0); // END PICTURE
    gcgm_control(0, 3, 0, 0); // BEGIN PICTURE
    gcgm_control(0, 4, 0, 0); // BEGIN PICTURE BODY
    cgm.flush();
    gcgm_reset_attrs();
    for (int i = 0; i < 256; ++i)
        if (mf.rep_set[i]) gcgm_set_color_rep(i, mf.rep[i][0], mf.rep[i][1], mf.rep[i][2]);
    return 0;
}

int gmeta_close_file()
{
    if (!mf.out.fp) return -1;
    if (mf.type == 1 && !mf.out.append) {
        // END PICTURE, then END METAFILE, which ISO 8632 requires to close
        // the file (readers reject a metafile without it).
        gcgm_control(0, 5, 0, 0);
        gcgm_control(0, 2, 0, 0);
        cgm.flush();
    }
    cgm.n = 0;
    bool ok = gdrv_close(mf.out);
    MESS_print(MESS_OUT1, "Created metafile\n");
    return ok ? 0 : -1;
}

void gmeta_set_type(int t) { mf.type = t == 1 ? 1 : 0; }
int gmeta_get_type() { return mf.type; }
void gmeta_set_title(const char *title) { mf.title = title ? title : ""; }

int gmeta_open_ws(const char *file, const char *options, const char *geom, GDRV_PAGE *page)
{
    // The flavour changes only when an option names one: the screen print
    // opens with no options and keeps the current flavour.
    gdrv_each_word(options, [](const char *w, void *) {
        if (stricmp(w, "cgm") == 0) mf.type = 1;
        if (stricmp(w, "zyr") == 0) mf.type = 0;
    }, nullptr);
    const char *name = file;
    if (!name || !*name) name = std::getenv("zyrmeta_out");
    if (!name || !*name) name = "zyr.meta";
    if (!gmeta_open_file(name)) {
        // With a workstation already open this is the screen print, which
        // reports the failure under its own name.
        if (!gchk_graphics()) gerr_printf("gopen_ws", "unable to open metafile\n");
        return -1;
    }
    GDRV_PAGE p{1000, 800, 0, 0};
    gdrv_geometry(geom, GDRV_GEOM_RULE{100.0f, 0.0f, false}, &p);
    if (page) *page = p;
    gmeta_init_file();
    return 0;
}

int gmeta_printf(const char *fmt, ...)
{
    if (!mf.out.fp || mf.type != 0) return 0;
    va_list ap;
    va_start(ap, fmt);
    int n = std::vfprintf(mf.out.fp, fmt, ap);
    va_end(ap);
    return n;
}

void gmeta_points(const char *kw, int n, const float *xy)
{
    if (!mf.out.fp || mf.type != 0) return;
    char buf[8192];
    int len = std::snprintf(buf, 64, "%.9s %d ", kw, n);
    char *p = buf + len;
    for (int k = 0; k < n; ++k) {
        p += gdrv_fmt(p, xy[2 * k], 6);
        *p++ = ',';
        p += gdrv_fmt(p, xy[2 * k + 1], 6);
        *p++ = ' ';
        if ((k + 1) % 4 == 0) *p++ = '\n', *p++ = ' ', *p++ = ' ', *p++ = ' ';
        if (p - buf > (long)sizeof buf - 160) {
            std::fwrite(buf, 1, (size_t)(p - buf), mf.out.fp);
            p = buf;
        }
    }
    *p++ = '\n';
    std::fwrite(buf, 1, (size_t)(p - buf), mf.out.fp);
}

void gcgm_control(int cls, int id, int length, int param)
{
    if (!cgm_open()) return;
    cgm.word((unsigned)(cls << 12 | id << 5 | (length & 31)));
    if (length == 31 || param >= 1) cgm.word((unsigned)param);
}

void gcgm_ps_point(float x, float y)
{
    if (!cgm_open()) return;
    cgm.word((uint16_t)vdc(x));
    cgm.word((uint16_t)vdc(y));
}

void gcgm_polyline(int n, const float *xy)
{
    if (!cgm_open() || n < 2) return;
    // Consecutive pieces share their joining point, so the line stays connected.
    for (int start = 0; start < n - 1; start += CGM_MAX_POINTS - 1) {
        int count = std::min(CGM_MAX_POINTS, n - start);
        cgm_point_element(4, 1, count, xy + 2 * start);
    }
}

void gcgm_polygon(int n, const float *xy)
{
    if (!cgm_open() || n < 3) return;
    if (mf.interior != 1) {
        cgm_header(5, 22, 2); // INTERIOR STYLE solid
        cgm.word(1);
        cgm.flush();
        mf.interior = 1;
    }
    // A polygon cannot be split without changing its shape; longer ones
    // keep their first 8191 vertices.
    cgm_point_element(4, 7, std::min(n, CGM_MAX_POINTS), xy);
}

void gcgm_clip(float x1, float y1, float x2, float y2)
{
    if (!cgm_open()) return;
    cgm_header(3, 5, 8);
    cgm.word((uint16_t)vdc(x1)), cgm.word((uint16_t)vdc(y1));
    cgm.word((uint16_t)vdc(x2)), cgm.word((uint16_t)vdc(y2));
    cgm.flush();
}

void gcgm_set_color(int i)
{
    if (!cgm_open() || cgm_ci(i) == mf.line_colour) return;
    mf.line_colour = cgm_ci(i);
    cgm_index_element(5, 4, mf.line_colour);
}

void gcgm_set_fill_color(int i)
{
    if (!cgm_open() || cgm_ci(i) == mf.fill_colour) return;
    mf.fill_colour = cgm_ci(i);
    cgm_index_element(5, 23, mf.fill_colour);
}

void gcgm_set_width(float w)
{
    if (!cgm_open() || w == mf.line_width || !(w == w)) return;
    mf.line_width = w;
    // Scaled width: a 32-bit fixed-point real (16-bit whole part, 16-bit fraction).
    double v = std::clamp((double)w, 0.0, 32767.0);
    uint32_t whole = (uint32_t)v, frac = (uint32_t)((v - whole) * 65536.0);
    cgm_header(5, 3, 4);
    cgm.word(whole), cgm.word(frac);
    cgm.flush();
}

void gcgm_set_type(int t)
{
    // The kernel's dash tables as CGM's standard types: 2 dashed, 3 dotted,
    // 4 dash-dot; the short 2-on 2-off dashes (5) look dotted.
    static const int cgm_types[] = {1, 2, 3, 4, 3};
    if (!cgm_open() || t < 1 || t > 5) return;
    int ct = cgm_types[t - 1];
    if (ct == mf.line_type) return;
    mf.line_type = ct;
    cgm_header(5, 2, 2);
    cgm.word((unsigned)ct);
    cgm.flush();
}

void gcgm_set_color_rep(int i, float r, float g, float b)
{
    if (!cgm_open() || i < 0 || i > 255) return;
    mf.rep_set[i] = true;
    mf.rep[i][0] = r, mf.rep[i][1] = g, mf.rep[i][2] = b;
    auto c8 = [](float v) { return (unsigned)std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f); };
    cgm_header(5, 34, 4); // COLOUR TABLE: start index and one RGB triple
    cgm.byte((unsigned)i), cgm.byte(c8(r)), cgm.byte(c8(g)), cgm.byte(c8(b));
    cgm.flush();
}

void gcgm_reset_attrs()
{
    mf.line_colour = mf.fill_colour = mf.line_type = mf.interior = -9999;
    mf.line_width = -9999;
}

void gmeta_reset()
{
    if (mf.out.fp) gdrv_close(mf.out);
    mf = MetaState{};
    cgm.n = 0;
}
