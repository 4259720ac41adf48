// The plot session: open, reset, panel and close around the graphics
// kernel, view margins, overlays, the colour bar switch and the
// interactive callbacks.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/flags.h"
#include "core/hooks.h"
#include "core/util.h"
#include "gks/gks.h"
#include "map/dom.h"
#include "map/map.h"
#include "plot/plt.h"
#include "plot/plt_anim.h"
#include "plot/plt_geotiff.h"
#include "plot/plt_int.h"

namespace plt {

State &state()
{
    static State s;
    return s;
}

bool plotting_off() { return FLAG_getplot(PLOT_ANY) == 0 || FLAG_get(FLAG_PLOT_TYPE) == 99; }

} // namespace plt

namespace {

using plt::state;

PLT_DOM_FUNC zoom_func = nullptr;
PLT_DOM_FUNC resize_func = nullptr;
PLT_DOM_FUNC refresh_func = nullptr;

void copy_view_off()
{
    std::memcpy(state().dis_view, state().view_off, sizeof state().view_off);
}

bool earth_proj(int proj) { return proj >= 1 && proj <= 9; }

// Calls a redraw function for a domain the way every callback does: world
// transform 0 during the drawing, the map panel afterwards, the window shown
// and the cursor put back.
void redraw_with(PLT_DOM_FUNC fn, DOM *dom)
{
    int cursor = gget_cursor_type();
    gset_cursor(GCUR_WATCH);
    GPH_trans(0);
    if (fn) fn(dom);
    GPH_trans(2);
    gupdate_window();
    gset_cursor(cursor);
}

} // namespace

int PLT_open(float aspect)
{
    auto &st = state();
    // "noredraw" among the plot words switches recording off; opening the
    // workstation starts a new display list with recording on, so the
    // word's choice is put back once the workstation is open, with the
    // list emptied as if recording had been off from the start.
    gset_redraw(1);
    PLT_param_decode();
    const int recording = gget_redraw();
    copy_view_off();
    if (plt::plotting_off()) return -1;
    if (GPH_setup(st.work_id, &st.wk_type, st.dis_view, aspect) != 0) return -1;
    if (!recording) {
        gset_redraw(0);
        gclear_objs();
    }
    st.opened = true;
    return 0;
}

int PLT_reset(float aspect)
{
    auto &st = state();
    copy_view_off();
    // Any appending type becomes -1 and any per-overlay type 1; 0 (one
    // line) stays.
    PLT_set_label_type(std::clamp(PLT_get_label_type(), -1, 1));
    if (plt::plotting_off()) return -1;
    GPH_reset(st.work_id, &st.wk_type, st.dis_view, aspect);
    return 0;
}

int PLT_panel(float aspect)
{
    auto &st = state();
    if (aspect == 0) {
        float w = st.dis_view[1] - st.dis_view[0], h = st.dis_view[3] - st.dis_view[2];
        aspect = h > 0 ? w / h : 0;
    }
    copy_view_off();
    return GPH_panel(st.work_id, &st.wk_type, st.dis_view, aspect);
}

int PLT_close()
{
    auto &st = state();
    PLT_dump_wait();
    if (plt::plotting_off()) return -1;
    // In batch mode a window is held by a detached child so that the
    // command returns at once; file devices and dumps leave nothing to
    // hold, and their output is complete when the program ends.
    bool window = st.wk_type == GWS_WIN;
    bool dumping = st.dump != 0 || PLT_get_anim() != 0 || PLT_get_geotiff() != 0;
    if (FLAG_batch() && window && !dumping) {
        int detached = ZYR_back_proc();
        if (detached == 0) ZYR_request_exit(1);
        if (detached != 1) return -1;
    }
    GPH_trans(2);
    if (!dumping) GPH_hold(1);
    gclear_ws(st.work_id, 1);
    GPH_end(st.work_id);
    st.opened = false;
    PLT_init_labels();
    return 0;
}

int PLT_exit(int code)
{
    GPH_end(state().work_id);
    ZYR_request_exit(code);
    return -1;
}

int PLT_mess(const char *fmt, ...)
{
    char buf[257] = "";
    if (fmt) {
        va_list ap;
        va_start(ap, fmt);
        std::vsnprintf(buf, sizeof buf, fmt, ap);
        va_end(ap);
    }
    return gmessage(state().work_id, buf);
}

int PLT_set_view_offset(float f)
{
    state().view_offset = f;
    return PLT_set_view_offsets(0, 0, f, f);
}

int PLT_set_view_offsets(float l, float r, float b, float t)
{
    float *v = state().view_off;
    v[0] = l, v[1] = r, v[2] = b, v[3] = t;
    return 0;
}

float PLT_get_view_offset() { return state().view_offset; }

int PLT_get_view_offsets(float *out4)
{
    if (out4) std::memcpy(out4, state().view_off, 4 * sizeof(float));
    return 0;
}

int PLT_get_view(float *out4)
{
    if (out4) std::memcpy(out4, state().dis_view, 4 * sizeof(float));
    return 0;
}

int PLT_border(int flag)
{
    state().border = flag;
    return 0;
}

int PLT_set_bar(int flag)
{
    state().bar = flag;
    return 0;
}

int PLT_bar()
{
    auto &st = state();
    if (!st.bar || st.bar_count > 0) return 0;
    ++st.bar_count;
    return 1;
}

int PLT_get_full_lab() { return state().full_lab; }

int PLT_set_num_overlay(int n)
{
    auto &st = state();
    if (n < 0) st.num_over = std::min(-n, PLT_NUM_LINES);
    else st.num_over = std::max(st.num_over, std::min(n, PLT_NUM_LINES));
    return st.num_over;
}

int PLT_set_overlay(int n)
{
    auto &st = state();
    st.overlay = std::clamp(n, 0, 5);
    st.num_over = std::max(st.num_over, st.overlay + 1);
    return st.overlay;
}

int PLT_set_overlay_base(int n)
{
    auto &st = state();
    st.over_base = std::clamp(n, 0, 5);
    st.num_over = std::max(st.num_over, st.over_base + 1);
    return st.over_base;
}

int PLT_get_overlay_base() { return state().over_base; }
int PLT_get_num_over() { return state().num_over; }

// The overlay counter starts at 0 (the first picture's labels); each call
// moves to the next line of labels, remembering how long every first line
// was for the appending label type.  Past overlay 5 there is no next.
int PLT_next_overlay()
{
    auto &st = state();
    if (st.overlay >= 5) return -1;
    plt::mark_overlay_change();
    ++st.overlay;
    st.num_over = std::max(st.num_over, st.overlay + 1);
    return st.overlay;
}

int PLT_get_work_type() { return state().wk_type; }

int PLT_set_zoom(int n)
{
    state().zoom = n;
    return 0;
}

int PLT_get_zoom() { return state().zoom; }

// ---- callbacks ----

int PLT_set_callback(PLT_EVENT_FUNC fn)
{
    if (fn) gset_mouse_callback(fn);
    return 0;
}

int PLT_set_zoom_func(PLT_DOM_FUNC fn)
{
    zoom_func = fn;
    return 0;
}

int PLT_set_resize_func(PLT_DOM_FUNC fn)
{
    resize_func = fn;
    return 0;
}

int PLT_set_refresh_func(float seconds, PLT_DOM_FUNC fn)
{
    refresh_func = fn;
    return gset_refresh_callback(seconds, PLT_plot_refresh);
}

int PLT_plot_refresh()
{
    DOM dom;
    MAP_get_domain(&dom);
    redraw_with(refresh_func, &dom);
    return 0;
}

int PLT_plot_resize(const char *name)
{
    if (!name || std::strcmp(name, "size") != 0) return 0;
    DOM dom;
    MAP_get_domain(&dom);
    redraw_with(resize_func, &dom);
    return 1;
}

int PLT_print_location(const char *name, float x, float y)
{
    if (!name || std::strcmp(name, "v-Alt") != 0) return 0;
    float lat = -9999, lon = -9999;
    MAP_untran(&lat, &lon, x, y);
    MESS_print(MESS_PRINT, "Lat: %6.2f Lon: %7.2f XY: %6.2f %6.2f Pixel: %6.2f %6.2f\n", lat, lon, x, y,
               xW_p(x), yW_p(y));
    return 1;
}

// A satellite picture has no stations or grids: only the position line.
int PLT_print_values(const char *name, float x, float y) { return PLT_print_location(name, x, y); }

int PLT_plot_zoom(const char *name, float x, float y)
{
    auto &st = state();
    if (!name) return -1;
    if (std::strcmp(name, "B1-P-Shft") == 0) {
        st.zoom_x = x, st.zoom_y = y;
        st.zoom_active = true;
        gset_rubber_band(2);
        return 0;
    }
    if (std::strncmp(name, "B1-R", 4) == 0 && st.zoom_active) {
        if (x == st.zoom_x || y == st.zoom_y) return -1;  // zero width or height
        st.zoom_active = false;
        gset_rubber_band(0);
        DOM dom;
        MAP_get_domain(&dom);
        if (!st.have_saved) {
            st.saved_domain = dom;
            st.have_saved = true;
        }
        float dx = std::fabs(x - st.zoom_x), dy = std::fabs(y - st.zoom_y);
        float llx = std::min(x, st.zoom_x), lly = std::min(y, st.zoom_y);
        if (earth_proj(dom.proj)) {
            float lat, lon;
            MAP_untran(&lat, &lon, (x + st.zoom_x) / 2, (y + st.zoom_y) / 2);
            dom.clat = lat, dom.clon = lon;
            float sx = dom.nx > 1 ? dx / (dom.nx - 1) : dx;
            float sy = dom.ny > 1 ? dy / (dom.ny - 1) : dy;
            dom.dx = dom.dy = std::max(sx, sy);
            DOM_set_base_prior(dy);
        } else {
            float lat0 = lly, lon0 = llx, lat1 = lly + dy, lon1 = llx + dx;
            if (dom.proj != DOM_POLAR) {
                MAP_untran(&lat0, &lon0, llx, lly);
                MAP_untran(&lat1, &lon1, llx + dx, lly + dy);
            }
            dom.clat = lat0, dom.clon = lon0;
            if (dom.proj == DOM_POLAR || dom.proj == DOM_SKEWT) dom.dx = dx, dom.dy = dy;
            else dom.dx = lon1 - lon0, dom.dy = lat1 - lat0;
        }
        ++st.zoom;
        MESS_print(MESS_OUT1, "New domain: ");
        DOM_print(MESS_OUT1, &dom);
        redraw_with(zoom_func, &dom);
        return 1;
    }
    if (std::strcmp(name, "u-Alt") == 0 && st.zoom > 0 && st.have_saved && gget_zoom() == 1) {
        DOM dom = st.saved_domain;
        MESS_print(MESS_OUT1, "Original domain: ");
        DOM_print(MESS_OUT1, &dom);
        if (earth_proj(dom.proj)) DOM_set_base_prior((dom.ny - 1) * dom.dy);
        st.zoom = 0;
        st.have_saved = false;
        redraw_with(zoom_func, &dom);
        return 1;
    }
    if (std::strcmp(name, "r-Alt") == 0) {
        DOM dom;
        MAP_get_domain(&dom);
        redraw_with(zoom_func, &dom);
        return 1;
    }
    if (st.zoom_active) {
        st.zoom_active = false;
        gset_rubber_band(0);
    }
    return 0;
}

void PLT_register_hooks()
{
    HOOK_table().plot_message = [](const char *text) { return PLT_mess("%s", text); };
    HOOK_table().plot_resize = PLT_plot_resize;
    HOOK_table().plot_zoom = PLT_plot_zoom;
    HOOK_table().plot_values = PLT_print_values;
}

void PLT_reset_state()
{
    PLT_dump_wait();
    state() = plt::State{};
    zoom_func = resize_func = refresh_func = nullptr;
    plt::reset_label_state();
    plt::reset_param_state();
    plt::reset_anim_state();
    plt::reset_geotiff_state();
    PLT_reset_map_layer();
}
