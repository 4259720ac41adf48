// Plot parameters and input keywords.  Every keyword takes its argument from
// a fixed character position (keyword, one separator, value); an entry too
// short to reach that position reads nothing, so the value becomes 0 as for
// any unreadable number.
#include "satproc/sat_param.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"
#include "files/file.h"
#include "gks/attrib.h"
#include "image/area.h"
#include "image/reader_table.h"
#include "satproc/enh.h"

namespace {

struct Settings {
    int tran_sat = 1, pix_off = 0, remap_inc = 20, pix_ave = 1;
    float min_lon = -9999, max_lon = -9999, zoom = 1.0f;
    int cutbase = 0, numcut = 0, cutoff[5] = {0, 0, 0, 0, 0};
    int fill = 0, over = 0, bar = 0, refresh = 0;
};
Settings set;

// The text from character `pos` (1-based) of the entry, or "" when the entry
// is shorter.
const char *arg_at(const char *entry, size_t pos)
{
    size_t n = std::strlen(entry);
    return n >= pos ? entry + pos - 1 : "";
}

int int_at(const char *e, size_t pos) { return (int)std::strtol(arg_at(e, pos), nullptr, 10); }
float float_at(const char *e, size_t pos) { return std::strtof(arg_at(e, pos), nullptr); }

void read_cutoff(const char *text)
{
    int v[4] = {0, 0, 0, 0};
    int n = std::sscanf(text, "%d:%d:%d:%d", &v[0], &v[1], &v[2], &v[3]);
    // Nothing read leaves the bands as they were: there is no element -1.
    if (n < 1) return;
    set.cutbase = v[0];
    for (int i = 1; i < n; ++i) set.cutoff[i] = v[i];
    set.numcut = n - 1;
    set.cutoff[0] = 0;
    set.cutoff[n] = 256;
}

void plot_entry(const char *e)
{
    if (!strnicmp(e, "remap", 5)) set.remap_inc = std::strlen(e) > 5 ? int_at(e, 7) : 20;
    else if (!strnicmp(e, "tran_sat", 8)) set.tran_sat = 1;
    else if (!strnicmp(e, "tran_zyr", 8)) set.tran_sat = 0;
    else if (!strnicmp(e, "no_pixave", 8)) set.pix_ave = 0;
    else if (!strnicmp(e, "zoom", 4)) set.zoom = float_at(e, 6);
    else if (!strnicmp(e, "fill", 4)) {
        // The pattern stipples the image when it is coloured: its clear
        // bits turn pixels black.
        set.fill = ATTR_parse_fill_pat(arg_at(e, 6));
        SAT_set_fill(set.fill, nullptr);
    }
    else if (!strnicmp(e, "over", 4)) set.over = 1;
    else if (!strnicmp(e, "bar", 3)) set.bar = 1;
    else if (!strnicmp(e, "irb", 3)) set.bar = 2;
    else if (!strnicmp(e, "pixoff", 6)) set.pix_off = int_at(e, 8);
    else if (!strnicmp(e, "minlon", 6)) set.min_lon = float_at(e, 8);
    else if (!strnicmp(e, "maxlon", 6)) set.max_lon = float_at(e, 8);
    else if (!strnicmp(e, "shift", 5)) SAT_set_bit_shift(int_at(e, 7));
    else if (!stricmp(e, "refresh")) set.refresh = 1;
    else if (!strnicmp(e, "cutoff", 6)) read_cutoff(arg_at(e, 8));
}

// Splits a resource at commas and hands each entry to f.
template <class F>
void each_entry(const char *name, F f)
{
    const char *text = RES_get(name);
    if (!text || !*text) return;
    int n = 0;
    char **parts = nullptr;
    parse_string(text, ',', &n, &parts);
    for (int i = 0; i < n; ++i)
        if (parts[i]) f(parts[i]);
    free_parsed_array(n, parts);
}

}  // namespace

int SAT_plot_param()
{
    each_entry("plot_param", plot_entry);
    return 0;
}

int SAT_in_file()
{
    FILE_set_name("sat_vis");
    FLAG_set(FLAG_INPUT, IMG_SRC_AREA);
    // An "input" entry names a format by its keyword, which may carry a
    // name convention too; other entries are ignored.
    each_entry("input", [](const char *e) {
        const IMG_READER *r = IMG_reader_by_keyword(e);
        if (!r) return;
        FLAG_set(FLAG_INPUT, r->code);
        if (r->name_conv) FILE_set_name(r->name_conv);
    });
    // An "in_file" entry names the name convention, optionally behind a
    // format prefix and one separator character.
    each_entry("in_file", [](const char *e) {
        static const struct { const char *key; const char *conv; } whole[] = {
            {"vis", "sat_vis"}, {"ir", "sat_ir"}, {"wv", "sat_wv"}, {"img", "sat_img"},
        };
        const IMG_READER *r = IMG_reader_by_in_file(e);
        if (r && r->in_file_whole) {
            FLAG_set(FLAG_INPUT, r->code);
            return;
        }
        for (auto &w : whole)
            if (!stricmp(e, w.key)) {
                FILE_set_name(w.conv);
                return;
            }
        if (r) {
            FLAG_set(FLAG_INPUT, r->code);
            if (const char *conv = IMG_reader_in_file_conv(r, e)) FILE_set_name(conv);
            return;
        }
        FILE_set_name(e);
    });
    return 0;
}

void SAT_param_reset()
{
    set = Settings{};
    SAT_set_fill(0, nullptr);
}

int SAT_get_tran_sat() { return set.tran_sat; }
void SAT_set_tran_sat(int on) { set.tran_sat = on; }
int SAT_get_pix_off() { return set.pix_off; }
int SAT_get_remap_inc() { return set.remap_inc; }
void SAT_set_remap_inc(int v) { set.remap_inc = v; }
int SAT_get_pix_ave() { return set.pix_ave; }
void SAT_set_pix_ave(int v) { set.pix_ave = v; }
float SAT_get_min_lon() { return set.min_lon; }
float SAT_get_max_lon() { return set.max_lon; }
float SAT_get_zoom() { return set.zoom; }
int SAT_get_cut(int *cutbase, int cutoff[5])
{
    if (cutbase) *cutbase = set.cutbase;
    if (cutoff) std::memcpy(cutoff, set.cutoff, sizeof set.cutoff);
    return set.numcut;
}
int SAT_get_over() { return set.over; }
int SAT_get_bar() { return set.bar; }
int SAT_get_refresh() { return set.refresh; }
