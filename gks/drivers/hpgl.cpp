#include "gks/drivers/hpgl.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/flags.h"
#include "core/util.h"
#include "gks/drivers/ps.h"
#include "gks/gks.h"

namespace {

struct HpState {
    GDRV_FILE out;
    int pcl = 1;
    int rotate = 0;
    float base_width = 1.0f;
    // Default page 10.5 x 8 inches: a 10 x 7.5 inch drawable area, which
    // fits the hard-clip limits of letter and A4 plotters.
    float lng = 10.5f, shrt = 8.0f;
    int color = 0, rev = 0;
    float print_bold = 1.0f;
    int print_solid = 0;
    // Last settings written (suppress repeats); -1/-9999 = unknown.
    int shade = 0;      // 0 none, 1 white, 2 30% gray
    float fill = -1;    // fill level, -2 solid ("FT1")
    float width = -1;
    int type = 1;
};

HpState hp;

constexpr char ESC = '\x1B';

void put(const char *s)
{
    if (hp.out.fp) std::fputs(s, hp.out.fp);
}

// Appends "<cmd>x,y;" to a buffer (x, y as "%.0f").
char *point_cmd(char *p, const char *cmd, float x, float y)
{
    *p++ = cmd[0], *p++ = cmd[1];
    p += gdrv_fmt(p, x, 0);
    *p++ = ',';
    p += gdrv_fmt(p, y, 0);
    *p++ = ';';
    return p;
}

// The rotation the plotter ends in: "RO" is absolute, so the last one written wins.
int final_rotation()
{
    if (hp.rotate) return hp.rotate;
    return hp.pcl == 2 ? 90 : 0;
}

} // namespace


FILE *ghpgl_open_file(const char *name)
{
    if (hp.out.fp) gdrv_close(hp.out);
    if (!gdrv_open(hp.out, name, "Creating: %s\n")) return nullptr;
    if (std::getenv("PSCOLOR")) hp.color = 1;
    return hp.out.fp;
}

int ghpgl_init()
{
    hp.pcl = 1;
    hp.shade = 0;
    hp.fill = -1;
    hp.width = -1;
    hp.type = 1;
    return 0;
}

namespace {

// The start of a page: the PCL prefix, initialisation, rotation, base width,
// no shading and solid lines; the settings memory follows the plotter's.
void page_start()
{
    if (hp.pcl) ghpgl_printf("%cE%c%%1B%c&l1O\n", ESC, ESC, ESC);
    put("IN;SP1;PA;\n");
    if (hp.pcl == 2) put("RO90;\n");
    if (hp.rotate == 90) put("RO90;\n");
    if (hp.rotate == 180) put("RO180;\n");
    if (hp.rotate == 270) put("RO270;\n");
    ghpgl_printf("PW%.1f;SV;LT;\n", hp.base_width);
    hp.width = hp.base_width;
    hp.shade = 0;
    hp.type = 1;
    hp.fill = -1;
}

// The end of a page: the pen put away, the page advanced, and in PCL modes
// back to PCL with a reset (which ejects the sheet).
void page_end()
{
    put("SP;PG;\n");
    if (hp.pcl) ghpgl_printf("%c%%0A%cE", ESC, ESC);
}

} // namespace

int ghpgl_init_file()
{
    if (!hp.out.fp) return -1;
    if (!hp.out.append) page_start();
    return 0;
}

int ghpgl_new_page()
{
    // An appended plot continues another file's page.
    if (!hp.out.fp || hp.out.append) return -1;
    page_end();
    page_start();
    return 0;
}

int ghpgl_close_file()
{
    if (!hp.out.fp) return -1;
    if (!hp.out.append) page_end();
    bool ok = gdrv_close(hp.out);
    MESS_print(MESS_OUT1, "Created HPGL file\n");
    return ok ? 0 : -1;
}

bool ghpgl_option(const char *w)
{
    float lng = hp.lng, shrt = hp.shrt; // a malformed "sz" keeps the page
    if (stricmp(w, "pcl") == 0)
        hp.pcl = 1;
    else if (stricmp(w, "nopcl") == 0)
        hp.pcl = 0;
    else if (stricmp(w, "lj") == 0)
        hp.pcl = 2;
    else if (stricmp(w, "port") == 0)
        hp.rotate = 90;
    else if (stricmp(w, "land") == 0)
        hp.rotate = 0;
    else if (strnicmp(w, "lwidth", 6) == 0) {
        float b = std::strlen(w) > 7 ? (float)std::atof(w + 7) : 0;
        if (b > 0 && b < 1000) hp.base_width = b;
    } else if (strnicmp(w, "rot", 3) == 0) {
        // Only the four right angles are plotter rotations; others are ignored.
        int d = std::strlen(w) > 4 ? std::atoi(w + 4) : -1;
        if (d == 0 || d == 90 || d == 180 || d == 270) hp.rotate = d;
    } else if (gdrv_paper(w, &lng, &shrt))
        ghpgl_set_size(lng, shrt);
    else
        return false;
    return true;
}

int ghpgl_open_ws(const char *file, const char *options, const char *geom, GDRV_PAGE *page)
{
    const char *name = file;
    if (!name || !*name) name = std::getenv("zyrhp_out");
    if (!name || !*name) name = "zyr.hpgl";
    // Each workstation starts from the default device options.
    hp.rotate = 0;
    hp.base_width = 1.0f;
    hp.lng = 10.5f, hp.shrt = 8.0f;
    hp.color = 0;
    if (!ghpgl_open_file(name)) {
        // With a workstation already open this is the screen print, which
        // reports the failure under its own name.
        if (!gchk_graphics()) gerr_printf("gopen_ws", "unable to open HPGL file\n");
        return -1;
    }
    ghpgl_init();
    gdrv_each_word(std::getenv("zyrhp_param"), [](const char *w, void *) { ghpgl_option(w); }, nullptr);
    gdrv_each_word(options, [](const char *w, void *) { ghpgl_option(w); }, nullptr);
    GDRV_PAGE p{};
    ghpgl_page_area(&p.width, &p.height);
    p.xoff = p.yoff = 10;
    if (!geom || !*geom) geom = std::getenv("zyrhp_geometry");
    gdrv_geometry(geom, GDRV_GEOM_RULE{10.15f, 10.0f, true}, &p);
    if (page) *page = p;
    ghpgl_init_file();
    return 0;
}

void ghpgl_set_pcl(int mode) { hp.pcl = mode < 0 ? 0 : (mode > 2 ? 2 : mode); }
void ghpgl_set_rotate(int deg)
{
    if (deg == 0 || deg == 90 || deg == 180 || deg == 270) hp.rotate = deg;
}
void ghpgl_set_scale(float) {}
void ghpgl_set_color_rep(int, float, float, float) {}
void ghpgl_set_base_width(float w)
{
    if (w > 0) hp.base_width = w;
}
void ghpgl_set_size(float lng, float shrt) { hp.lng = lng, hp.shrt = shrt; }
void ghpgl_set_colorPS(int flag) { hp.color = flag != 0; }
int ghpgl_get_colorPS() { return hp.color; }
void ghpgl_set_reverse(int flag) { hp.rev = flag != 0; }
void ghpgl_set_print_bold(float factor) { hp.print_bold = factor < 1 ? 1 : factor; }
void ghpgl_set_print_solid(int flag) { hp.print_solid = flag; }

// A plotter turned by 90 or 270 degrees has its x axis along the paper's
// short side, so the drawable area swaps its axes there: the picture keeps
// its shape relative to the paper and stays on the page.
void ghpgl_page_area(float *width, float *height)
{
    float w = (hp.lng - 0.5f) * 1015, h = (hp.shrt - 0.5f) * 1015;
    int r = final_rotation();
    if (r == 90 || r == 270) std::swap(w, h);
    *width = w, *height = h;
}

void ghpgl_set_color(int i)
{
    int level = 0;
    if (i >= 503 && i <= 505) level = 1;
    if (i >= 506 && i <= 508) level = 2;
    if (level == hp.shade) return;
    static const char *const cmds[] = {"SV;\n", "SV1,0;\n", "SV1,30;\n"};
    put(cmds[level]);
    hp.shade = level;
}

void ghpgl_set_fill_color(int i)
{
    float level;
    if (hp.print_solid)
        level = -2;
    else if (i == -1)
        level = 0;
    else
        level = 100 - 100 * gps_get_gray(i);
    if (level == hp.fill) return;
    hp.fill = level;
    if (level == -2)
        put("FT1;\n");
    else if (i == -1)
        put("FT10,0;\n");
    else
        ghpgl_printf("FT10,%.0f;\n", level);
}

void ghpgl_set_width(int colour, float w)
{
    float eff;
    if (colour == 501 || colour == 504 || colour == 507)
        eff = 2 * hp.base_width * w;
    else if (colour == 502 || colour == 505 || colour == 508)
        eff = 4 * hp.base_width * w;
    else
        eff = hp.print_bold * w * hp.base_width;
    if (eff == hp.width) return;
    hp.width = eff;
    ghpgl_printf("PW%.1f;\n", eff);
}

void ghpgl_set_type(int t)
{
    static const char *const cmds[] = {"LT;\n", "LT2,5,1;\n", "LT5,8,1;\n", "LT6,10,1;\n",
                                       "LT2,1,1;\n"};
    if (t < 1 || t > 5 || t == hp.type) return;
    put(cmds[t - 1]);
    hp.type = t;
}

int ghpgl_printf(const char *fmt, ...)
{
    if (!hp.out.fp) return 0;
    va_list ap;
    va_start(ap, fmt);
    int n = std::vfprintf(hp.out.fp, fmt, ap);
    va_end(ap);
    return n;
}

void ghpgl_move_abs(float x, float y)
{
    char buf[160];
    char *p = point_cmd(buf, "PU", x, y);
    *p = 0;
    put(buf);
}

void ghpgl_line_abs(float x, float y)
{
    char buf[160];
    char *p = point_cmd(buf, "PD", x, y);
    *p = 0;
    put(buf);
}

void ghpgl_polyline(int n, const float *xy)
{
    if (!hp.out.fp || n < 1) return;
    char buf[4096];
    char *p = buf;
    for (int k = 0; k < n; ++k) {
        p = point_cmd(p, k == 0 ? "PU" : "PD", xy[2 * k], xy[2 * k + 1]);
        if ((k + 1) % 10 == 0 || k == n - 1) *p++ = '\n';
        if (p - buf > (long)sizeof buf - 160) {
            std::fwrite(buf, 1, (size_t)(p - buf), hp.out.fp);
            p = buf;
        }
    }
    std::fwrite(buf, 1, (size_t)(p - buf), hp.out.fp);
}

void ghpgl_polygon(int n, const float *xy)
{
    if (!hp.out.fp || n < 1) return;
    ghpgl_move_abs(xy[0], xy[1]);
    put("PM0;");
    for (int k = 1; k < n; ++k) ghpgl_line_abs(xy[2 * k], xy[2 * k + 1]);
    put("PM1;PM2;FP;\n");
}

void ghpgl_clip(float x1, float y1, float x2, float y2)
{
    ghpgl_printf("IW %.0f,%.0f,%.0f,%.0f;\n", x1 - 0.1f, y1 - 0.1f, x2 + 0.1f, y2 + 0.1f);
}

void ghpgl_reset()
{
    if (hp.out.fp) gdrv_close(hp.out);
    hp = HpState{};
}
