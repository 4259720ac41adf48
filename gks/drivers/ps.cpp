#include "gks/drivers/ps.h"

#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/records.h"
#include "core/util.h"
#include "gks/clr.h"
#include "gks/gks.h"

namespace {

constexpr int NSLOTS = 257; // colour indexes 0..255 and the background (-1) in slot 256

struct PsState {
    GDRV_FILE out;
    int port = 0;       // 1 unrotated, 0 rotated landscape
    int eps = 0;
    int color = 0;      // 1 colour output, 0 gray
    int want_color = 0; // colour asked for by the program: each open starts from it
    int rev = 0;        // reversed grays
    float scale = 1.0f;
    float base_width = 1.0f;
    float lng = 11.0f, sy = 8.5f; // paper: long and short side in inches
    std::string title = "V11_Ozero";
    float print_bold = 1.0f;
    int print_solid = 0;
    // What the file has been told last, to suppress repeated commands.
    float gray = 0.0f;  // -1 after an RGB colour
    int colour = -9999; // last colour index set (line or fill)
    float width = 1.0f; // effective width in dots
    int type = 1;
    int pages = 0;      // pages begun in a new, not encapsulated file
    float grays[NSLOTS];
    float rgb[NSLOTS][3];
    PsState()
    {
        for (int i = 0; i < NSLOTS; ++i) grays[i] = 0, rgb[i][0] = rgb[i][1] = rgb[i][2] = 0;
        // The page is white: the background prints as white.
        grays[NSLOTS - 1] = 1;
        rgb[NSLOTS - 1][0] = rgb[NSLOTS - 1][1] = rgb[NSLOTS - 1][2] = 1;
    }
};

PsState ps;

int slot(int i) { return i < 0 ? NSLOTS - 1 : (i > 255 ? 255 : i); }

void put(const char *s)
{
    if (ps.out.fp) std::fputs(s, ps.out.fp);
}

// Indexes 500..508: black, white or 0.7 gray; -1 for any other index.
float special_gray(int i)
{
    if (i < 500 || i > 508) return -1;
    if (i <= 502) return 0;
    if (i <= 505) return 1;
    return 0.7f;
}

void set_gray(float level, const char *cmd)
{
    if (ps.gray == level) return;
    put(cmd);
    ps.gray = level;
}

void special_color(int i)
{
    float g = special_gray(i);
    set_gray(g, g == 0 ? "0 setgray\n" : (g == 1 ? "1 setgray\n" : ".7 setgray\n"));
    ps.colour = i;
}

void rgb_color(int i)
{
    if (ps.colour == i && ps.gray < 0) return;
    const float *c = ps.rgb[slot(i)];
    gps_printf("%4.2f %4.2f %4.2f setrgbcolor\n", c[0], c[1], c[2]);
    ps.gray = -1;
    ps.colour = i;
}

void color_reset()
{
    put(ps.color ? "0 0 0 setrgbcolor\n" : "0 setgray\n");
    ps.gray = ps.color ? -1.0f : 0.0f;
    ps.colour = -9999;
}

// Builds the hex samples of one output row into buf: pad white samples,
// then the image's own samples, then white up to the row width, with a
// newline after every 80 samples and at the end of the row (one newline
// when both fall together).
size_t hex_row(char *buf, const char (*lut)[6], int bytes, const unsigned char *row, int nx, int x0,
               int width)
{
    static const char white[6] = {'F', 'F', 'F', 'F', 'F', 'F'};
    char *p = buf;
    int pad = x0 < 0 ? -x0 : 0, col = x0 > 0 ? x0 : 0;
    for (int k = 0; k < width; ++k) {
        const char *s = white;
        if (row && k >= pad && col < nx) s = lut[row[col++]];
        std::memcpy(p, s, bytes);
        p += bytes;
        if ((k + 1) % 80 == 0) *p++ = '\n';
    }
    if (width % 80 != 0) *p++ = '\n';
    return (size_t)(p - buf);
}

} // namespace


FILE *gps_open_file(const char *name)
{
    if (ps.out.fp) gdrv_close(ps.out);
    if (!gdrv_open(ps.out, name, "Creating: %s\n")) return nullptr;
    if (std::getenv("PSCOLOR")) ps.color = 1;
    return ps.out.fp;
}

int gps_init()
{
    ps.gray = 0;
    ps.colour = -9999;
    ps.width = 1;
    ps.type = 1;
    return 0;
}

namespace {

// The start of a page: its save level (not encapsulated), the operators,
// the placement on the paper, the initial colour, line and dash, the scale.
void page_start()
{
    if (!ps.eps) put("/saveobj save def\n");
    put("/inch {72 mul} def\n/dot {.33 mul} def\n/mv {moveto} def\n/ln {lineto} def\n"
        "/lw {setlinewidth} def\n/np {newpath} def\n/cp {closepath} def\n");
    if (!ps.port) {
        put("90 rotate\n");
        if (ps.eps)
            gps_printf("0. inch -%.2f inch translate\n", ps.sy);
        else
            gps_printf(".25 inch -%.2f inch translate\n", ps.sy - 0.25f);
    } else if (!ps.eps) {
        put(".25 inch .25 inch translate\n");
    }
    color_reset();
    put("2 setlinejoin\n1 dot lw\n[] 0 setdash\n");
    if (ps.scale != 1.0f) gps_printf("%.2f %.2f scale\n", ps.scale, ps.scale);
    put("%%Begin plot\n");
}

// The end of a page: its save level restored (which also ends the page's
// operators and placement), then the page is printed.
void page_end()
{
    put("%%End of plot\n");
    if (!ps.eps) put("saveobj restore\n");
    put("showpage\n");
}

} // namespace

int gps_init_file()
{
    if (!ps.out.fp) return -1;
    ps.pages = 0;
    if (!ps.out.append) {
        if (ps.eps) {
            put("%!PS-Adobe-3.0 EPSF-3.0\n");
            put(ps.port ? "%%BoundingBox: 0 0 756 576\n" : "%%BoundingBox: 0 0 576 756\n");
        } else {
            put("%!PS-Adobe-1.0\n");
        }
        gps_printf("%%%%Title: ZYR Graphics Display: %s\n", ps.title.c_str());
        put("%%Creator: ZYR Postscript Processor-2.0\n");
        gps_printf("%%%%CreationDate: %s", gdrv_ctime());
        // A file of pages counts them at its end; an encapsulated picture
        // is one page by definition.
        if (!ps.eps) put("%%Pages: (atend)\n");
        put("%%EndComments\n");
        put("%%Postscript initialization\n");
        if (!ps.eps) {
            put("30 dict begin\n");
            ps.pages = 1;
            put("%%Page: 1 1\n");
        }
        page_start();
    } else {
        color_reset();
        put("1 dot lw\n[] 0 setdash\n");
    }
    ps.width = 1;
    ps.type = 1;
    gps_printf("%%%%ZYR Plot: %s\n", ps.title.c_str());
    return 0;
}

int gps_new_page()
{
    // An appended plot continues a page of another file and an encapsulated
    // picture has one page: both keep drawing on it.
    if (!ps.out.fp || ps.pages < 1) return -1;
    page_end();
    ps.pages++;
    gps_printf("%%%%Page: %d %d\n", ps.pages, ps.pages);
    page_start();
    ps.width = 1;
    ps.type = 1;
    gps_printf("%%%%ZYR Plot: %s\n", ps.title.c_str());
    return 0;
}

int gps_close_file()
{
    if (!ps.out.fp) return -1;
    if (!ps.out.append) {
        page_end();
        if (!ps.eps) {
            put("%%Trailer\nend\n");
            gps_printf("%%%%Pages: %d\n", ps.pages);
        }
        put("%%EOF\n");
    } else {
        put("%%End of plot\n");
    }
    ps.pages = 0;
    bool ok = gdrv_close(ps.out);
    MESS_print(MESS_OUT1, "Created Postscript file\n");
    return ok ? 0 : -1;
}

bool gps_option(const char *w, int *inverse)
{
    float lng = ps.lng, shrt = ps.sy; // a malformed "sz" keeps the page
    if (stricmp(w, "port") == 0)
        ps.port = 1;
    else if (stricmp(w, "land") == 0)
        ps.port = 0;
    else if (stricmp(w, "eps") == 0)
        ps.eps = 1;
    else if (stricmp(w, "noeps") == 0)
        ps.eps = 0;
    else if (stricmp(w, "color") == 0) {
        ps.color = 1;
        if (inverse) *inverse = 1;
    } else if (stricmp(w, "gray") == 0)
        ps.color = 0;
    else if (strnicmp(w, "scale", 5) == 0) {
        // The number starts after "scale=" (6 characters); a missing or
        // unusable number leaves the scale alone.
        float s = std::strlen(w) > 6 ? (float)std::atof(w + 6) : 0;
        if (s > 0 && s < 1000) ps.scale = s;
    } else if (strnicmp(w, "lwidth", 6) == 0) {
        float b = std::strlen(w) > 7 ? (float)(int)std::atof(w + 7) : 0;
        if (b > 0 && b < 1000) ps.base_width = b;
    } else if (gdrv_paper(w, &lng, &shrt))
        gps_set_size(lng, shrt);
    else
        return false;
    return true;
}

int gps_open_ws(const char *file, const char *opts, const char *geom, const char *title,
                GDRV_PAGE *page, int *inverse)
{
    const char *name = file;
    if (!name || !*name) name = std::getenv("zyrps_print");
    if (!name || !*name) name = std::getenv("PSPRINT");
    if (!name || !*name) name = "zyr.ps";
    if (title) gps_set_title(title);
    // Each workstation starts from the default device options; the colour
    // the program asked for (a plot word decoded before the open) stays.
    ps.port = ps.eps = 0;
    ps.color = ps.want_color;
    ps.scale = ps.base_width = 1.0f;
    ps.lng = 11.0f, ps.sy = 8.5f;
    ps.print_bold = 1.0f, ps.print_solid = 0;
    if (!gps_open_file(name)) {
        // With a workstation already open this is the screen print, which
        // reports the failure under its own name.
        if (!gchk_graphics()) gerr_printf("gopen_ws", "unable to open postscript file\n");
        return -1;
    }
    gps_init();
    struct Ctx { int *inverse; } ctx{inverse};
    auto apply = [](const char *w, void *c) { gps_option(w, static_cast<Ctx *>(c)->inverse); };
    gdrv_each_word(std::getenv("zyrps_param"), apply, &ctx);
    gdrv_each_word(opts, apply, &ctx);

    GDRV_PAGE p{};
    gps_page_area(&p.width, &p.height);
    if (!geom || !*geom) geom = std::getenv("zyrps_geometry");
    if (!geom || !*geom) geom = std::getenv("PSGEOMETRY");
    gdrv_geometry(geom, GDRV_GEOM_RULE{0.72f, 0.0f, false}, &p);
    if (page) *page = p;
    gps_init_file();
    return 0;
}

void gps_set_size(float lng, float shrt) { ps.lng = lng, ps.sy = shrt; }
void gps_page_area(float *width, float *height)
{
    *width = (ps.lng - 0.5f) * 72;
    *height = (ps.sy - 0.5f) * 72;
}
void gps_set_EPS(int flag) { ps.eps = flag != 0; }
void gps_set_orient(int flag) { ps.port = flag != 0; }
void gps_set_scale(float s)
{
    if (s > 0) ps.scale = s;
}
void gps_set_colorPS(int flag) { ps.color = ps.want_color = flag != 0; }
int gps_get_colorPS() { return ps.color; }
void gps_set_reverse(int flag) { ps.rev = flag != 0; }
void gps_set_base_width(float w)
{
    if (w > 0) ps.base_width = w;
}
void gps_set_title(const char *title) { ps.title = title ? title : ""; }
void gps_set_print_bold(float factor) { ps.print_bold = factor < 1 ? 1 : factor; }
void gps_set_print_solid(int flag) { ps.print_solid = flag; }

void gps_set_color_rep(int i, float r, float g, float b)
{
    if (i < -1 || i > 255) return;
    int s = slot(i);
    ps.rgb[s][0] = r, ps.rgb[s][1] = g, ps.rgb[s][2] = b;
    float gray = (0.9f * r + g + 0.8f * b) / 2.7f;
    ps.grays[s] = ps.rev ? 1 - gray : gray;
}

float gps_get_gray(int i)
{
    float g = special_gray(i);
    if (g >= 0) return g;
    return ps.grays[slot(i)];
}

void gps_set_color(int i)
{
    if (special_gray(i) >= 0)
        special_color(i);
    else if (ps.color)
        rgb_color(i);
    else
        set_gray(0, "0 setgray\n"); // lines and text print black on a gray page
}

void gps_set_fill_color(int i)
{
    if (special_gray(i) >= 0) {
        special_color(i);
    } else if (ps.color) {
        rgb_color(i);
    } else if (ps.print_solid) {
        set_gray(0, "0 setgray\n");
    } else if (i == -1) {
        set_gray(1, "1 setgray\n");
    } else {
        float g = ps.grays[slot(i)];
        if (ps.gray != g) gps_printf("%3.3f setgray\n", g);
        ps.gray = g;
    }
}

void gps_set_width(int colour, float w)
{
    float eff;
    bool whole = true;
    if (colour == 501 || colour == 504 || colour == 507)
        eff = (float)(int)(2 * ps.base_width * w);
    else if (colour == 502 || colour == 505 || colour == 508)
        eff = (float)(int)(4 * ps.base_width * w);
    else
        eff = ps.print_bold * ps.base_width * w, whole = false;
    if (eff == ps.width) return;
    ps.width = eff;
    if (whole)
        gps_printf("%d dot lw\n", (int)eff);
    else
        gps_printf("%2.1f dot lw\n", eff);
}

void gps_set_type(int t)
{
    static const char *const dashes[] = {"[] 0 setdash\n", "[6] 0 setdash\n", "[3 6] 0 setdash\n",
                                         "[6 6 3 6] 0 setdash\n", "[2] 0 setdash\n"};
    if (t < 1 || t > 5 || t == ps.type) return;
    put(dashes[t - 1]);
    ps.type = t;
}

int gps_printf(const char *fmt, ...)
{
    if (!ps.out.fp) return 0;
    va_list ap;
    va_start(ap, fmt);
    int n = std::vfprintf(ps.out.fp, fmt, ap);
    va_end(ap);
    return n;
}

namespace {

// "%3.2f %3.2f <op>\n" through the fast formatter (paths are most of a plot).
void point_op(float x, float y, const char *op)
{
    if (!ps.out.fp) return;
    char buf[160];
    char *p = buf;
    p += gdrv_fmt(p, x, 2);
    *p++ = ' ';
    p += gdrv_fmt(p, y, 2);
    *p++ = ' ', *p++ = op[0], *p++ = op[1], *p++ = '\n';
    std::fwrite(buf, 1, (size_t)(p - buf), ps.out.fp);
}

} // namespace

void gps_move_abs(float x, float y) { point_op(x, y, "mv"); }
void gps_line_abs(float x, float y) { point_op(x, y, "ln"); }

void gps_clip(float x1, float y1, float x2, float y2)
{
    if (!ps.out.fp) return;
    put("initclip\nnp\n");
    gps_move_abs(x1 - 0.1f, y1 - 0.1f);
    gps_line_abs(x1 - 0.1f, y2 + 0.1f);
    gps_line_abs(x2 + 0.1f, y2 + 0.1f);
    gps_line_abs(x2 + 0.1f, y1 - 0.1f);
    put("cp\nclip\n");
}

int gps_image_rect(const IMG *img, int x0, int y0, int vx, int vy, int vw, int vh)
{
    if (!ps.out.fp || !img || !img->data || img->nx <= 0 || img->ny <= 0) return -1;
    // Only one-byte colour indexes print: window grabs of deeper pixels have
    // no colour table entries to look up.
    if (img->bits_pixel != 0 && img->bits_pixel != 8) return -1;
    if (vw <= 0 || vh <= 0 || vw > 100000 || vh > 100000) return -1;
    const int bytes = ps.color ? 6 : 2;
    char lut[256][6];
    static const char hex[] = "0123456789ABCDEF";
    for (int v = 0; v < 256; ++v) {
        if (ps.color) {
            float c[3];
            CLR_get_rgb(v, &c[0], &c[1], &c[2]);
            for (int k = 0; k < 3; ++k) {
                int b = (int)(c[k] * 255);
                b = b < 0 ? 0 : (b > 255 ? 255 : b);
                lut[v][2 * k] = hex[b >> 4], lut[v][2 * k + 1] = hex[b & 15];
            }
        } else {
            lut[v][0] = hex[v >> 4], lut[v][1] = hex[v & 15];
        }
    }
    gps_printf("gsave\n%d %d translate\n%d %d scale\n/picstr %d string def\n"
               "%d %d 8 [ %d 0 0 %d 0 %d ]\n{ currentfile picstr readhexstring pop }\n%s",
               vx, vy, vw, vh, vw, vw, vh, vw, -vh, vh, ps.color ? "false 3 colorimage\n" : "image\n");
    const int64_t stride = img->bytes_line >= img->nx ? img->bytes_line : img->nx;
    std::vector<char> buf((size_t)vw * bytes + (size_t)vw / 80 + 2);
    const int pad_top = y0 < 0 ? -y0 : 0, first = y0 > 0 ? y0 : 0;
    for (int r = 0; r < vh; ++r) {
        const unsigned char *row = nullptr;
        int64_t ir = (int64_t)first + (r - pad_top);
        if (r >= pad_top && ir < img->ny) row = img->data + ir * stride;
        size_t n = hex_row(buf.data(), lut, bytes, row, img->nx, x0, vw);
        std::fwrite(buf.data(), 1, n, ps.out.fp);
    }
    put("grestore\n");
    return 0;
}

void gps_reset()
{
    if (ps.out.fp) gdrv_close(ps.out);
    ps = PsState{};
}
