// Plot options ("plot_param", "out_file"), panel geometry and image dumps.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"
#include "files/date.h"
#include "files/file.h"
#include "gks/drivers/ps.h"
#include "gks/gks.h"
#include "gks/imgfile.h"
#include "image/gif.h"
#include "image/img.h"
#include "image/pngio.h"
#include "image/xwd.h"
#include "map/dom.h"
#include "map/map.h"
#include "plot/plt.h"
#include "plot/plt_anim.h"
#include "plot/plt_geotiff.h"
#include "plot/plt_int.h"

namespace {

using plt::state;

// Values of options that serve station, grid and contour plotting, which
// this program does not draw: accepted and kept.
struct Kept {
    int station_id_type = 0;
    float lalo[2] = {0, 0};
    int lalo_flags[2] = {0, 0};
    float grid_factor = 0;
    int plt_skip[2] = {0, 0};
    float plt_off[2] = {0, 0};
    float plot_limit = 0;
    float bar_range[2] = {0, 0};
    bool no_header = false;
    int max_bad = 5;
    std::string grid_format;
} kept;

// The argument of a prefix word: the text after a fixed number of
// characters (the keyword and one separator), or "" for a shorter word.
const char *arg_at(const char *w, size_t n) { return std::strlen(w) > n ? w + n : ""; }

// A number or the default: missing, unreadable and non-finite numbers give
// the default.
float num_or(const char *s, float def)
{
    char *end = nullptr;
    double v = std::strtod(s, &end);
    if (end == s || !std::isfinite(v)) return def;
    return (float)std::clamp(v, -1e9, 1e9);
}

// Two numbers separated by ":"; one value serves both.
void pair(const char *s, float out[2])
{
    float a = 0, b = 0;
    int n = std::sscanf(s, "%f:%f", &a, &b);
    if (n >= 1 && std::isfinite(a)) out[0] = out[1] = a;
    if (n == 2 && std::isfinite(b)) out[1] = b;
}

void set_dump_word(const char *w)
{
    int type = 0;
    if (strnicmp(w, "gif", 3) == 0) type = PLT_DUMP_GIF;
    else if (strnicmp(w, "png", 3) == 0) type = PLT_DUMP_PNG;
    else if (strnicmp(w, "img", 3) == 0) type = PLT_DUMP_IMG;
    else if (strnicmp(w, "xwd", 3) == 0) type = PLT_DUMP_XWD;
    if (type) PLT_set_dump(type, std::strlen(w) > 4 ? w + 4 : nullptr);
}

bool is(const char *w, const char *word) { return stricmp(w, word) == 0; }
bool starts(const char *w, const char *prefix) { return strnicmp(w, prefix, (int)std::strlen(prefix)) == 0; }

void decode_word(const char *w)
{
    auto &st = state();
    if (is(w, "full")) {
        PLT_set_view_offsets(0, 0, 0, 0);
    } else if (is(w, "fullab")) {
        PLT_set_view_offsets(0, 0, 0, 0);
        st.full_lab = 1;
    } else if (is(w, "nopage")) {
        MESS_set_page(0);
    } else if (is(w, "page")) {
        MESS_set_page(1);
    } else if (is(w, "noredraw")) {
        gset_redraw(0);
    } else if (is(w, "id")) {
        kept.station_id_type = 0;
    } else if (is(w, "wmo")) {
        kept.station_id_type = 1;
    } else if (is(w, "cod_wmo")) {
        kept.station_id_type = 2;
    } else if (starts(w, "tz")) {
        DATE_set_TZ(arg_at(w, 3));
    } else if (starts(w, "over")) {
        int base = 0, num = 0;
        int n = std::sscanf(arg_at(w, 5), "%d:%d", &base, &num);
        if (n >= 1) PLT_set_overlay_base(base);
        if (n == 2) PLT_set_num_overlay(num);
    } else if (starts(w, "lalo")) {
        float a = 0, b = 0;
        int i = 0, j = 0;
        int n = std::sscanf(arg_at(w, 5), "%f:%f:%d:%d", &a, &b, &i, &j);
        if (n >= 1 && std::isfinite(a)) kept.lalo[0] = kept.lalo[1] = a;
        if (n >= 2 && std::isfinite(b)) kept.lalo[1] = b;
        kept.lalo_flags[0] = n >= 3 ? i : 0;
        kept.lalo_flags[1] = n >= 4 ? j : 0;
        MAP_latlon(kept.lalo_flags[0], kept.lalo_flags[1], kept.lalo[0], kept.lalo[1]);
    } else if (starts(w, "gridx")) {
        kept.grid_factor = num_or(arg_at(w, 5), 0);
    } else if (starts(w, "plt_skip")) {
        float s[2] = {0, 0};
        pair(arg_at(w, 9), s);
        kept.plt_skip[0] = (int)s[0], kept.plt_skip[1] = (int)s[1];
    } else if (starts(w, "plt_off")) {
        pair(arg_at(w, 9), kept.plt_off);
    } else if (starts(w, "plt_grid")) {
        kept.plot_limit = std::strlen(w) <= 8 ? 1 : num_or(arg_at(w, 9), 1);
        MAP_set_plot_limit((int)kept.plot_limit);
    } else if (starts(w, "loc_pr")) {
        DOM_set_loc_prior((int)num_or(arg_at(w, 7), 0));
    } else if (starts(w, "vp_size")) {
        PLT_panel_decode(arg_at(w, 8));
    } else if (starts(w, "font")) {
        if (std::strlen(w) > 5) GPH_set_def_font(w + 5);
    } else if (is(w, "gif_inter")) {
        GIF_interlace(1);
    } else if (is(w, "gif_norm")) {
        GIF_interlace(0);
    } else if (is(w, "gif_trans")) {
        GIF_transparent(1);
    } else if (is(w, "inv")) {
        gset_inverse(1);
    } else if (is(w, "lcmap")) {
        gset_local_colormap(1);
    } else if (is(w, "nolcmap")) {
        gset_local_colormap(0);
    } else if (is(w, "rwclr")) {
        gset_rw_colors(1);
    } else if (is(w, "norwclr")) {
        gset_rw_colors(0);
    } else if (is(w, "nolooptitle")) {
        gset_loop_title(0);
    } else if (is(w, "pscolor")) {
        gps_set_colorPS(1);
        gset_inverse(1);
    } else if (is(w, "psrev")) {
        gps_set_reverse(1);
    } else if (is(w, "clear")) {
        gset_pix_mode(1);
    } else if (is(w, "new")) {
        gset_pix_mode(2);
    } else if (is(w, "kill")) {
        gset_pix_mode(9);
    } else if (starts(w, "bar")) {
        st.bar = 1;
        pair(arg_at(w, 4), kept.bar_range);
    } else if (is(w, "nobar")) {
        st.bar = 0;
    } else if (is(w, "nohdr")) {
        kept.no_header = true;
    } else if (starts(w, "shadow")) {
        int n = (int)num_or(arg_at(w, 7), 0);
        gset_font_drop(n < 1 ? 4 : n);
    } else if (starts(w, "max_bad")) {
        int n = (int)num_or(arg_at(w, 8), 0);
        kept.max_bad = n < 1 ? 5 : n;
    } else if (starts(w, "min_size")) {
        FILE_set_min_size(std::max(0, (int)num_or(arg_at(w, 9), 0)));
    } else if (starts(w, "grdfmt")) {
        kept.grid_format = arg_at(w, 7);
    } else if (starts(w, "gif") || starts(w, "png") || starts(w, "img") || starts(w, "xwd")) {
        set_dump_word(w);
    } else if (!PLT_anim_word(w)) {
        PLT_geotiff_word(w);
    }
}

void for_each_value(const char *resource, void (*fn)(const char *))
{
    const char *v = RES_get(resource);
    if (!v || !*v) return;
    int count = 0;
    char **words = nullptr;
    RES_getvals(resource, &count, &words);
    for (int k = 0; k < count; ++k) fn(words[k]);
    free_parsed_array(count, words);
}

} // namespace

int PLT_param_decode()
{
    for_each_value("plot_param", decode_word);
    for_each_value("out_file", [](const char *w) {
        if (starts(w, "gif") || starts(w, "png")) set_dump_word(w);
    });
    return 0;
}

int PLT_panel_decode(const char *text)
{
    float c = 1, r = 1, col = 0, row = 0;
    if (!text || std::sscanf(text, "%fx%f+%f+%f", &c, &r, &col, &row) != 4) return -1;
    for (float v : {c, r, col, row})
        if (!std::isfinite(v)) return -1;
    float sx, sy, ox, oy;
    if (c > 1) {
        int nc = std::clamp((int)c, 1, 8), nr = std::clamp((int)r, 1, 8);
        // A cell outside the grid is moved to its nearest edge.
        int ic = std::clamp((int)col, 0, nc - 1), ir = std::clamp((int)row, 0, nr - 1);
        sx = 1.0f / nc, sy = 1.0f / nr;
        ox = (float)ic / nc;
        oy = 1.0f - (1.0f + ir) / nr;
    } else {
        // Fractions of the page; a panel must have a size and lie on it.
        if (c <= 0 || r <= 0) return -1;
        sx = std::min(c, 1.0f), sy = std::min(r, 1.0f);
        ox = std::clamp(col, 0.0f, 1.0f), oy = std::clamp(row, 0.0f, 1.0f);
    }
    return GPH_set_view_size(sx, sy, ox, oy);
}

// ---- dumps ----

int PLT_set_dump(int type, const char *name)
{
    auto &st = state();
    st.dump = type;
    const char *def = type == PLT_DUMP_GIF ? "zyr.gif" : type == PLT_DUMP_PNG ? "zyr.png" : "zyr.xwd";
    std::snprintf(st.dump_file, sizeof st.dump_file, "%s", name && *name ? name : def);
    return 0;
}

namespace {

bool write_picture(int type, const char *name)
{
    switch (type) {
    case PLT_DUMP_GIF: return GIF_dump(name) == 1;
    case PLT_DUMP_PNG: return PNG_dump(name) == 1;
    case PLT_DUMP_XWD: return XWD_dump(name) == 1;
    // The native image file carries the plot's domain, date and labels.
    case PLT_DUMP_IMG: return IMG_dump(name) == 1;
    default: return false;
    }
}

void dump_one(int type, const DATE &date, const char *key_i)
{
    FILE_set_key('i', key_i);
    char name[FILE_NAME_SIZE], path[FILE_NAME_SIZE];
    DATE d = date;
    // A file given by its full name has no date; with a missing year the
    // file layer would hand back that input file's own name, and the dump
    // would overwrite the input. Zero date fields are used instead.
    if (d.year < 0) d = DATE{0, 0, 0, 0, 0, 0, 0, 0};
    FILE_set_date(&d, name);
    const char *dir = RES_get("image_path");
    FILE_add_path(dir, name, path);
    static const char *const what[] = {"", "xdump", "GIF", "IMG", "PNG"};
    // A PNG dump's outcome is printed when its worker is joined.
    if (type == PLT_DUMP_PNG) {
        if (!plt::dump_png(path))
            MESS_print(MESS_WARN, "PLT_dump: Unable to write %s file: %s\n", what[type], path);
        return;
    }
    if (write_picture(type, path)) MESS_print(MESS_OUT1, "Wrote %s file: %s\n", what[type], path);
    else MESS_print(MESS_WARN, "PLT_dump: Unable to write %s file: %s\n", what[type], path);
}

} // namespace

bool PLT_dump_shows(int frame)
{
    const auto &st = state();
    return st.dump > PLT_DUMP_NONE && st.dump <= PLT_DUMP_PNG && frame >= 0 && gget_num_images() > 0;
}

int PLT_dump(int frame)
{
    auto &st = state();
    if (st.dump <= PLT_DUMP_NONE || st.dump > PLT_DUMP_PNG) return -1;
    DATE date;
    FILE_get_date(&date);
    FILE_save_name_conv();
    FILE_set_name(st.dump_file);
    const char *title = gget_win_title();
    FILE_set_key('p', title ? title : "");
    int frames = gget_num_images();
    char key[16];
    if (frame == -4 && frames >= 2) {
        int keep = gget_cur_frame();
        for (int f = 0; f < frames; ++f) {
            gdisplay_frame(f);
            std::snprintf(key, sizeof key, "%2.2d", f);
            dump_one(st.dump, date, key);
        }
        gdisplay_frame(keep);
    } else if (frames > 0) {
        if (frame >= 0 || frame == -1) gdisplay_frame(frame);
        std::snprintf(key, sizeof key, "%2.2d", gget_cur_frame());
        dump_one(st.dump, date, key);
        // A run that dumps its frames holds no loop at its end (PLT_close
        // does not hold the window while dumping): unless an animation is
        // to be made of them, a frame dumped keeps no pixels, and a long
        // loop needs the memory of one frame.
        if (frame >= 0 && !PLT_get_anim()) gclear_frame(frame);
    } else {
        dump_one(st.dump, date, "win");
    }
    FILE_restore_name_conv();
    return 0;
}

void plt::reset_param_state() { kept = Kept{}; }
