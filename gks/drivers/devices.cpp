// The file drivers behind the kernel's device seam: PostScript, HPGL and
// the metafile (text or CGM).  The kernel hands each world-level setting to
// record() and the geometry, already in driver units and clipped, to
// stroke()/fill()/dot(); these classes keep the attributes they need and
// call the drivers' writers.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/res.h"
#include "gks/device.h"
#include "gks/drivers/hpgl.h"
#include "gks/drivers/meta.h"
#include "gks/drivers/ps.h"

namespace {

// The attribute state a file device needs at write time, kept from the
// kernel's setting records.
struct Attrs {
    int line_colr = 1, line_type = 1, line_bold = 1;
    float line_width = 1;
    int mark_colr = 1;
    float mark_width = 1;
    int text_colr = 1;
    float text_width = 1;
    int fill_colr = 1, fill_int = 1, fill_solid = 0;

    void update(const GRecord &r)
    {
        float f0 = r.nf > 0 && r.f ? r.f[0] : 0;
        switch (r.kind) {
        case 33: line_type = r.arg; break;
        case 34: line_width = f0; break;
        case 35: line_colr = r.arg; break;
        case 36: line_bold = r.arg < 1 ? 1 : r.arg; break;
        case 45: mark_colr = r.arg; break;
        case 46: mark_width = f0; break;
        case 56: text_colr = r.arg; break;
        case 61: text_width = f0; break;
        case 73: fill_int = r.arg; break;
        case 75: fill_colr = r.arg; break;
        case 76: fill_solid = r.arg; break;
        default: break;
        }
    }
    // Colour and width of the primitive kind (30 line, 40 marker, 50 text).
    int colour(int prim) const { return prim == 40 ? mark_colr : (prim == 50 ? text_colr : line_colr); }
    float width(int prim) const { return prim == 40 ? mark_width : (prim == 50 ? text_width : line_width); }
};

int slot_index(int i) { return i >= GCOLR_SLOTS - 1 ? -1 : i; }

// Points as the x, y float pairs the drivers take.
const float *flat(const GPoint *p) { return &p->x; }
static_assert(sizeof(GPoint) == 2 * sizeof(float), "GPoint must be two packed floats");

// What the three file devices share: the drawable area, which becomes the
// kernel's window size, its offset, which the kernel adds to every driver
// coordinate while the file is open (the previous offset comes back at the
// close), and the attribute state.
class FileDevice : public GDevice {
public:
    explicit FileDevice(const GDRV_PAGE &page) : page_(page)
    {
        gget_win_offset(&saved_x_, &saved_y_);
        gset_xoff((int)page.xoff, (int)page.yoff);
    }
    void size(int *w, int *h) const override { *w = (int)page_.width, *h = (int)page_.height; }
    int close() override
    {
        gset_xoff(saved_x_, saved_y_);
        return finish();
    }

protected:
    virtual int finish() = 0; // writes the end of the file and closes it
    GDRV_PAGE page_;
    Attrs a_;

private:
    int saved_x_ = 0, saved_y_ = 0;
};

// ---------------------------------------------------------------- PostScript

class PsDevice : public FileDevice {
public:
    using FileDevice::FileDevice;
    int type() const override { return GWS_PS; }
    float marker_unit() const override { return 7.2f; }

    bool record(const GRecord &r) override
    {
        a_.update(r);
        switch (r.kind) {
        case 5: gps_printf("%%%%Message: %s\n", r.text ? r.text : ""); break;
        case 25: clear_region(r); return true;
        case 30: begin(30, "%%%%PL:%d\n", r.arg, a_.line_type); break;
        case 36: gps_set_print_bold((float)a_.line_bold); break;
        case 40: begin(40, "%%%%PM:%d\n", r.arg, 1); break;
        case 50:
            if (r.nf >= 2) gps_printf("%%%%TE:%f %f %s\n", r.f[0], r.f[1], r.text ? r.text : "");
            attrs(50, 1);
            break;
        case 70:
            if (a_.fill_int == 1) gps_printf("%%%%FA:%d\n", r.arg);
            break;
        case 76: gps_set_print_solid(a_.fill_solid); break;
        default: break;
        }
        return false;
    }
    long set_color(int i, float r, float g, float b) override
    {
        gps_set_color_rep(slot_index(i), r, g, b);
        return 1;
    }
    void set_clip(const GClip &c) override { gps_clip(c.x1, c.y1, c.x2, c.y2); }
    void stroke(int prim, int n, const GPoint *p) override
    {
        if (n < 1) return;
        gps_printf("np\n");
        path(n, p);
        gps_printf("stroke\n");
    }
    void fill(int n, const GPoint *p) override
    {
        // Only solid interiors print: patterns have no PostScript form here.
        if (a_.fill_int != 1 || n < 1) return;
        gps_printf("np\n");
        path(n, p);
        gps_printf("cp\n");
        gps_set_fill_color(a_.fill_colr);
        gps_printf("fill\n");
    }
    // A single-point marker: a stroke one unit long, since a zero-length
    // path paints nothing with PostScript's butt caps.
    void dot(int prim, GPoint p) override
    {
        GPoint q[2] = {p, {p.x + 1, p.y}};
        stroke(prim, 2, q);
    }
    bool new_page() override { return gps_new_page() == 0; }
    int finish() override { return gps_close_file(); }

private:
    void attrs(int prim, int type)
    {
        float w = a_.width(prim);
        gps_set_width(a_.colour(prim), w == 0 ? 1 : w); // width 0 prints as 1
        gps_set_color(a_.colour(prim));
        gps_set_type(type);
    }
    void begin(int prim, const char *comment, int n, int type)
    {
        gps_printf(comment, n);
        attrs(prim, type);
    }
    static void path(int n, const GPoint *p)
    {
        gps_move_abs(p[0].x, p[0].y);
        for (int k = 1; k < n; ++k) gps_line_abs(p[k].x, p[k].y);
    }
    void clear_region(const GRecord &r)
    {
        if (r.nf < 4) return;
        float x1 = xW_ps(r.f[0]), x2 = xW_ps(r.f[1]), y1 = yW_ps(r.f[2]), y2 = yW_ps(r.f[3]);
        gps_printf("%%%%CLR\nnp\n");
        gps_move_abs(x1, y1);
        gps_line_abs(x1, y2);
        gps_line_abs(x2, y2);
        gps_line_abs(x2, y1);
        gps_printf("cp\n");
        gps_set_fill_color(-1);
        gps_printf("fill\n");
    }
};

// ---------------------------------------------------------------- HPGL

class HpglDevice : public FileDevice {
public:
    using FileDevice::FileDevice;
    int type() const override { return GWS_HPGL; }
    float marker_unit() const override { return 101.5f; }

    bool record(const GRecord &r) override
    {
        a_.update(r);
        switch (r.kind) {
        case 30: attrs(30, a_.line_type); break;
        case 36: ghpgl_set_print_bold((float)a_.line_bold); break;
        case 40: attrs(40, 1); break;
        case 50: attrs(50, 1); break;
        case 76: ghpgl_set_print_solid(a_.fill_solid); break;
        default: break;
        }
        return false;
    }
    long set_color(int i, float r, float g, float b) override
    {
        // Fill shading uses the grays the PostScript driver keeps.
        gps_set_color_rep(slot_index(i), r, g, b);
        return 1;
    }
    void set_clip(const GClip &c) override { ghpgl_clip(c.x1, c.y1, c.x2, c.y2); }
    void stroke(int prim, int n, const GPoint *p) override { ghpgl_polyline(n, flat(p)); }
    void fill(int n, const GPoint *p) override
    {
        ghpgl_set_fill_color(a_.fill_colr);
        ghpgl_polygon(n, flat(p));
    }
    void dot(int prim, GPoint p) override
    {
        GPoint q[2] = {p, p}; // pen down where it is: the plotter's dot
        ghpgl_polyline(2, flat(q));
    }
    bool new_page() override { return ghpgl_new_page() == 0; }
    int finish() override { return ghpgl_close_file(); }

private:
    void attrs(int prim, int type)
    {
        ghpgl_set_width(a_.colour(prim), a_.width(prim));
        ghpgl_set_color(a_.colour(prim));
        ghpgl_set_type(type);
    }
};

// ---------------------------------------------------------------- metafile

class MetaDevice : public FileDevice {
public:
    using FileDevice::FileDevice;
    int type() const override { return GWS_META; }

    bool record(const GRecord &r) override
    {
        a_.update(r);
        if (gmeta_get_type() == 1) return cgm_record(r);
        return text_record(r);
    }
    long set_color(int i, float r, float g, float b) override
    {
        gps_set_color_rep(slot_index(i), r, g, b);
        gcgm_set_color_rep(i, r, g, b);
        return 1;
    }
    void set_clip(const GClip &c) override { gcgm_clip(c.x1, c.y1, c.x2, c.y2); }
    void stroke(int prim, int n, const GPoint *p) override { gcgm_polyline(n, flat(p)); }
    void fill(int n, const GPoint *p) override
    {
        gcgm_set_fill_color(a_.fill_colr);
        gcgm_polygon(n, flat(p));
    }
    void dot(int prim, GPoint p) override
    {
        GPoint q[2] = {p, p};
        gcgm_polyline(2, flat(q));
    }
    bool new_page() override { return gmeta_new_page() == 0; }
    int finish() override { return gmeta_close_file(); }

private:
    bool cgm_record(const GRecord &r)
    {
        switch (r.kind) {
        case 25: return true; // clearing has no element in a one-picture file
        case 30:
        case 40:
        case 50: {
            int prim = r.kind;
            int c = a_.colour(prim);
            float w = a_.width(prim);
            // The doubling and quadrupling colour indexes widen the line as on paper.
            if (c == 501 || c == 504 || c == 507) w *= 2;
            if (c == 502 || c == 505 || c == 508) w *= 4;
            gcgm_set_color(c);
            gcgm_set_width(w == 0 ? 1 : w);
            gcgm_set_type(prim == 30 ? a_.line_type : 1);
            break;
        }
        default: break;
        }
        return false;
    }

    static void rect(const char *kw, int n, const float *f)
    {
        // Records hold xmin, ymin, xmax, ymax; the kernel's order is xmin, xmax, ymin, ymax.
        gmeta_printf("%s %d %f %f %f %f\n", kw, n, f[0], f[2], f[1], f[3]);
    }

    bool text_record(const GRecord &r)
    {
        const float *f = r.f;
        bool has1 = r.nf >= 1 && f, has4 = r.nf >= 4 && f;
        switch (r.kind) {
        case 5: gmeta_printf("ME %s\n", r.text ? r.text : ""); return true;
        case 10: if (has4) rect("WS_VP", r.arg, f); break;
        case 11: if (has4) rect("WS_WIN", r.arg, f); break;
        case 15: gmeta_printf("TR %d\n", r.arg); break;
        case 16: if (has4) rect("VP", r.arg, f); break;
        case 17: if (has4) rect("WIN", r.arg, f); break;
        case 20:
            if (r.nf >= 3 && f) gmeta_printf("CLR %d %d %f %f %f\n", 1, r.arg, f[0], f[1], f[2]);
            break;
        case 25:
            if (has4) gmeta_printf("CLR_REG %f %f %f %f\n", f[0], f[1], f[2], f[3]);
            return true;
        case 30: gmeta_points("PL", r.nf / 2, f); return true;
        case 40: gmeta_points("PM", r.nf / 2, f); return true;
        case 70: gmeta_points("FA", r.nf / 2, f); return true;
        case 50:
            if (r.nf >= 2 && f) gmeta_printf("TE %f,%f %s\n", f[0], f[1], r.text ? r.text : "");
            return true;
        case 33: gmeta_printf("PL_TYPE %d\n", r.arg); break;
        case 34: if (has1) gmeta_printf("PL_LW %f\n", f[0]); break;
        case 35: gmeta_printf("PL_CLR %d\n", r.arg); break;
        case 43: gmeta_printf("PM_TYPE %d\n", r.arg); break;
        case 44: if (has1) gmeta_printf("PM_SIZE %f\n", f[0]); break;
        case 45: gmeta_printf("PM_CLR %d\n", r.arg); break;
        case 46: if (has1) gmeta_printf("PM_WDTH %f\n", f[0]); break;
        case 53: if (has1) gmeta_printf("TE_SPC %f\n", f[0]); break;
        case 54: if (has1) gmeta_printf("TE_CSPC %f\n", f[0]); break;
        case 55: if (has1) gmeta_printf("TE_EXP %f\n", f[0]); break;
        case 56: gmeta_printf("TE_CLR %d\n", r.arg); break;
        case 57: if (has1) gmeta_printf("TE_HGHT %f\n", f[0]); break;
        case 58: if (r.nf >= 2 && f) gmeta_printf("TE_UP %f,%f\n", f[0], f[1]); break;
        case 59: if (has1) gmeta_printf("TE_FNT %d %d\n", r.arg, (int)f[0]); break;
        case 60: if (r.nf >= 2 && f) gmeta_printf("TE_ALGN %d %d\n", (int)f[0], (int)f[1]); break;
        case 61: if (has1) gmeta_printf("TE_WDTH %f\n", f[0]); break;
        case 73: gmeta_printf("FA_INT %d\n", r.arg); break;
        case 74: gmeta_printf("FA_ST %d\n", r.arg); break;
        case 75: gmeta_printf("FA_CLR %d\n", r.arg); break;
        case 81: gmeta_printf("SEG_CR %d\n", r.arg); break;
        case 82: gmeta_printf("SEG_CL %d\n", r.arg); break;
        case 83: gmeta_printf("SEG_DE %d\n", r.arg); break;
        default: break;
        }
        return false;
    }
};

const char *geometry_resource()
{
    const char *g = RES_get("geometry");
    return g && *g ? g : nullptr;
}

} // namespace

GDevice *gps_open_device(const char *file, const char *options)
{
    GDRV_PAGE page{};
    int inverse = 0;
    bool printing = gchk_graphics(); // the window's display list printed as PostScript
    if (gps_open_ws(file, options, geometry_resource(), gget_win_title(), &page, &inverse) != 0)
        return nullptr;
    // The screen print uses a 757 x 577 page: the workstation viewport runs
    // to width - 1, so the drawing spans the whole 756 x 576 point area.
    if (printing) page.width = 757, page.height = 577;
    if (inverse) gset_inverse(1);
    return new PsDevice(page);
}

GDevice *ghpgl_open_device(const char *file, const char *options)
{
    GDRV_PAGE page{};
    if (ghpgl_open_ws(file, options, geometry_resource(), &page) != 0) return nullptr;
    return new HpglDevice(page);
}

GDevice *gmeta_open_device(const char *file, const char *options)
{
    GDRV_PAGE page{};
    gmeta_set_title(gget_win_title());
    if (gmeta_open_ws(file, options, geometry_resource(), &page) != 0) return nullptr;
    return new MetaDevice(page);
}

// ---- world-coordinate forms of the drivers' writers ----

void gps_move(float x, float y) { gps_move_abs(xW_ps(x), yW_ps(y)); }
void gps_line(float x, float y) { gps_line_abs(xW_ps(x), yW_ps(y)); }
void ghpgl_move(float x, float y) { ghpgl_move_abs(xW_ps(x), yW_ps(y)); }
void ghpgl_line(float x, float y) { ghpgl_line_abs(xW_ps(x), yW_ps(y)); }
void gcgm_point(float x, float y) { gcgm_ps_point(xW_ps(x), yW_ps(y)); }

int gps_image(const IMG *img, int x0, int y0)
{
    int r[4];
    if (gget_gviewport(r) != 0) return -1;
    return gps_image_rect(img, x0, y0, r[0], r[1], r[2], r[3]);
}
