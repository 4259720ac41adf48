// Text: the text attribute state, stroke fonts (font files and the font
// list) and the stroke text algorithm; X server fonts as a second option.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"
#include "files/file.h"
#include "gks/gks_int.h"

using namespace gks;

namespace {

constexpr int TABLE_MAX = 15000;
constexpr int LIST_MAX = 40;
constexpr int FI_LIST_MAX = 10;
constexpr float UNITS_PER_CAP = 105.0f;
const int VOFFSET[6] = {-35, -160, -140, -85, -35, 0};

struct TextState {
    int colr = 1;
    float height = 0.01f;
    float expan = 1.0f;
    float spacing = 0.25f;   // between characters, fraction of 100 font units
    float fixed = 0.0f;      // fixed character space (0: proportional)
    float width = 1.0f;
    float up[2] = {0, 1};
    int align[2] = {0, 0};
    int font = 1;
    int drop = 0;
} text;

struct StrokeFont {
    std::vector<unsigned char> table;
    int index[256];
    int width[256];
    std::string file;
};
StrokeFont font;
bool font_loaded = false;
int font_type = 1;           // 1 stroke, 2 X server font
XFontStruct *xfont = nullptr;
int loaded_entry = -1;       // list entry whose file is loaded

struct ListEntry {
    std::string name, file;
};
std::vector<ListEntry> font_list;
std::string stored_list;

bool is_open(const char *name) {
    if (S().ws_open) return true;
    gerr_printf(name, "GKS not opened\n");
    return false;
}

// A data file: as given when it has a "/", else along "file_path", the
// current folder and the bundled data folder (fonts live in data/fonts).
FILE *open_data(const std::string &name) {
    if (name.find('/') != std::string::npos) return fopen(name.c_str(), "r");
    std::vector<std::string> dirs;
    const char *fp = RES_get("file_path");
    if (fp && *fp) {
        int n = 0;
        char **parts = nullptr;
        if (parse_string(fp, ',', &n, &parts) == 0 || n > 0) {
            for (int i = 0; i < n; i++) dirs.push_back(parts[i]);
            free_parsed_array(n, parts);
        }
    }
    dirs.push_back(".");
    dirs.push_back(std::string(FILE_data_dir()) + "/fonts");
    dirs.push_back(FILE_data_dir());
    for (auto &d : dirs) {
        std::string path = d.empty() ? name : d + (d.back() == '/' ? "" : "/") + name;
        FILE *f = fopen(path.c_str(), "r");
        if (f) return f;
    }
    return nullptr;
}

// Parses a font file's numbers into f.  Returns false when the file does not
// fit the table or is cut short; f is then unchanged.
bool parse_font(FILE *fp, StrokeFont &out) {
    std::vector<std::string> words;
    char w[64];
    while (fscanf(fp, "%63s", w) == 1) {
        words.emplace_back(w);
        if (words.size() > 200000) return false;  // far beyond any table
    }
    size_t k = 0;
    auto num = [&](long &v) {
        if (k >= words.size()) return false;
        char *end = nullptr;
        v = strtol(words[k].c_str(), &end, 10);
        if (!end || *end) return false;
        k++;
        return true;
    };
    bool named = !(words.size() > 0 && words[0] == "255");
    if (named) k = 2;  // header: a number and a word
    StrokeFont f;
    long v;
    bool ended = false;
    while (num(v)) {
        if (v == 254) {
            f.table.push_back(255);
            ended = true;
            break;
        }
        if (v < 0 || v > 255) return false;
        f.table.push_back((unsigned char)v);
        if ((int)f.table.size() > TABLE_MAX) return false;
        if (v == 255 && named) k++;  // the glyph name after each start marker
    }
    if (!ended) return false;
    for (int c = 0; c < 256; c++) {
        if (!num(v)) return false;
        f.index[c] = (v >= 0 && v < (long)f.table.size()) ? (int)v : -1;
    }
    f.table.push_back(255);  // guard: every glyph scan meets a 255
    f.table.push_back(255);
    for (int c = 0; c < 256; c++) {
        int wmax = 0;
        if (f.index[c] >= 0) {
            for (size_t p = (size_t)f.index[c]; p + 1 < f.table.size() && f.table[p] != 255; p += 2) {
                int x = f.table[p] >= 128 ? f.table[p] - 128 : f.table[p];
                if (x > wmax) wmax = x;
            }
        }
        f.width[c] = wmax;
    }
    f.width[(unsigned char)' '] = 40;
    out = std::move(f);
    return true;
}

void load_list_file(FILE *fp, bool fi_form) {
    char line[512];
    while (fgets(line, sizeof line, fp) && (int)font_list.size() < (fi_form ? FI_LIST_MAX : LIST_MAX)) {
        char name[64], file[400];
        int n = fi_form ? sscanf(line, "%63s %399s", name, file) : sscanf(line, "%63s %399[^\n]", name, file);
        if (n != 2) continue;
        std::string f = file;
        while (!f.empty() && isspace((unsigned char)f.back())) f.pop_back();
        std::string nm = name;
        if (nm.size() > 9) nm.resize(9);
        font_list.push_back({nm, f});
    }
}

float glyph_width(unsigned char c) {
    if (text.fixed > 0) return (100 + 100 * text.spacing) * text.fixed;
    if (font.index[c] < 0 && c != ' ') return 0;
    return (float)font.width[c];
}

// Width of s in font units, before expansion.
float units_width(const char *s) {
    size_t n = strlen(s);
    if (!font_loaded || n == 0) return 0;
    float w = 0;
    for (size_t i = 0; i < n; i++) {
        unsigned char c = (unsigned char)s[i];
        if (text.fixed > 0) {
            w += glyph_width(c);
            continue;
        }
        w += glyph_width(c);
        if (i + 1 < n) w += 100 * text.spacing;
    }
    return w;
}

void draw_strokes(const float *pos, const char *s) {
    State &st = S();
    GDevice *d = st.dev;
    if (!d || !font_loaded) return;
    const float scale = text.height / UNITS_PER_CAP;
    const float e = text.expan, upx = text.up[0], upy = text.up[1];
    float start = 0;
    float w = units_width(s);
    if (text.align[0] == 2) start = -w * e / 2;
    if (text.align[0] == 3) start = -w * e;
    int va = text.align[1] >= 0 && text.align[1] <= 5 ? text.align[1] : 0;
    const float off = (float)VOFFSET[va];
    std::vector<GPoint> run;
    auto flush = [&](float dx, float dy) {
        if (run.size() >= 2) {
            for (auto &p : run) p.x += dx, p.y += dy;
            d->stroke(50, (int)run.size(), run.data());
        }
        run.clear();
    };
    with_shadows([&](float dx, float dy) {
        float pen = start;
        for (const char *q = s; *q; q++) {
            unsigned char c = (unsigned char)*q;
            int at = font.index[c];
            if (at >= 0) {
                for (size_t p = (size_t)at; p + 1 < font.table.size() && font.table[p] != 255; p += 2) {
                    int gx = font.table[p], gy = font.table[p + 1];
                    if (gx >= 128) {
                        flush(dx, dy);
                        gx -= 128;
                    }
                    float xs = (gx * e + pen) * scale, ys = (gy + off) * scale;
                    run.push_back(to_dev(pos[0] + upy * xs + upx * ys, pos[1] - upx * xs + upy * ys));
                }
                flush(dx, dy);
            } else if (c != ' ') {
                continue;  // no glyph: skipped
            }
            if (text.fixed > 0)
                pen += (100 + 100 * text.spacing) * text.fixed * e;
            else
                pen += ((at >= 0 ? font.width[c] : 40) + 100 * text.spacing) * e;
        }
    });
}

void draw_xfont(const float *pos, const char *s) {
    State &st = S();
    if (!xfont || !st.draw_window) return;
    int len = (int)strlen(s);
    int w = XTextWidth(xfont, s, len);
    GPoint p = to_dev(pos[0], pos[1]);
    int x = (int)(p.x + 0.5f), y = (int)(p.y + 0.5f);
    if (text.align[0] == 2) x -= w / 2;
    if (text.align[0] == 3) x -= w;
    // Vertical placement: the point is the base line, except top (ascent
    // below it), cap and half (part of the ascent) and bottom (descent above).
    switch (text.align[1]) {
    case 1: y += xfont->ascent; break;
    case 2: y += xfont->ascent * 4 / 5; break;
    case 3: y += xfont->ascent / 2; break;
    case 5: y -= xfont->descent; break;
    default: break;
    }
    x11_layer_note(st.gc_text);
    with_shadows([&](float dx, float dy) {
        for (Drawable d : {st.draw_window, x11_layer_twin()})
            if (d) XDrawString(st.dpy, d, st.gc_text, x + (int)dx, y + (int)dy, s, len);
    });
}

void sync_text() {
    emit(56, text.colr, nullptr, 0, nullptr, false);
    emit(61, 0, &text.width, 1, nullptr, false);
}

}  // namespace

namespace gks {

void text_attrs(std::string &out) {
    out.append((const char *)&text, sizeof text);
    out.append((const char *)&font_type, sizeof font_type);
}

size_t text_attrs_set(const char *in) {
    TextState t;
    std::memcpy(&t, in, sizeof t);
    if (t.font != text.font) {
        const int fp[2] = {t.font, 0};
        gset_fontprec(fp);
    }
    text = t;
    std::memcpy(&font_type, in + sizeof t, sizeof font_type);
    sync_text();
    return sizeof t + sizeof font_type;
}

}  // namespace gks

namespace gks {
int text_colr() { return text.colr; }
}  // namespace gks

int read_font(const char *file) {
    State &s = S();
    if (!file || !*file) return -1;
    if (file[0] == '#') {
        // The headless window has no server fonts: the stroke font stays.
        if (s.mem) {
            gerr_printf("read_font", "unable to load font: %s\n", file + 1);
            MESS_print(MESS_ERROR, "read_font: unable to load font: %s\n", file + 1);
            return -1;
        }
        if (!s.dpy) return -1;
        XFontStruct *f = XLoadQueryFont(s.dpy, file + 1);
        if (!f) {
            gerr_printf("read_font", "unable to load font: %s\n", file + 1);
            MESS_print(MESS_ERROR, "read_font: unable to load font: %s\n", file + 1);
            return -1;
        }
        if (xfont) XFreeFont(s.dpy, xfont);
        xfont = f;
        if (s.gc_text) XSetFont(s.dpy, s.gc_text, f->fid);
        font_type = 2;
        return 0;
    }
    FILE *fp = open_data(file);
    if (!fp) {
        MESS_print(MESS_ERROR, "read_font: unable to load font file: %s\n", file);
        return -1;
    }
    StrokeFont f;
    bool ok = parse_font(fp, f);
    fclose(fp);
    if (!ok) {
        MESS_print(MESS_ERROR, "read_font: font file does not fit the font table: %s\n", file);
        return -1;
    }
    f.file = file;
    font = std::move(f);
    font_loaded = true;
    font_type = 1;
    return 0;
}

int gset_font_list(const char *list) {
    stored_list = list ? list : "";
    return 0;
}

int gsetup_fonts() {
    State &s = S();
    font_list.clear();
    loaded_entry = -1;
    std::string list = stored_list;
    if (list.empty()) {
        const char *r = RES_get("font_list");
        if (r && *r) list = r;
    }
    if (list.empty() && s.dpy) {
        const char *r = XGetDefault(s.dpy, gget_prog_name(), "font_list");
        if (r && *r) list = r;
    }
    if (!list.empty() && list.compare(0, 3, "fi:") == 0) {
        FILE *fp = open_data(list.substr(3));
        if (!fp) {
            MESS_print(MESS_ERROR, "gsetup_fonts: unable to load font list file: %s\n", list.c_str() + 3);
        } else {
            load_list_file(fp, true);
            fclose(fp);
        }
    } else if (!list.empty()) {
        int n = 0;
        char **parts = nullptr;
        parse_string(list.c_str(), ',', &n, &parts);
        for (int i = 0; i < n && i < LIST_MAX; i++) font_list.push_back({"", parts[i]});
        free_parsed_array(n, parts);
    } else {
        FILE *fp = open_data("zyr.fnl");
        if (fp) {
            load_list_file(fp, false);
            fclose(fp);
        }
    }
    if (font_list.empty()) return read_font("modern.fnt");
    loaded_entry = 0;
    return read_font(font_list[0].file.c_str());
}

int gget_font_index(const char *name) {
    if (!name || !*name) return 1;
    if (isdigit((unsigned char)name[0])) return atoi(name);
    for (size_t i = 0; i < font_list.size(); i++)
        if (stricmp(font_list[i].name.c_str(), name) == 0) return (int)i + 1;
    return 1;
}

int gset_fontprec(const int *fp) {
    if (!fp) return -1;
    int n = fp[0];
    int nf = (int)font_list.size();
    if (n < 1 || n > (nf > 0 ? nf : 1)) {
        gerr_printf("gset_fontprec", "invalid font id: %d\n", n);
        MESS_print(MESS_ERROR, "gset_fontprec: invalid font id: %d\n", n);
        return -1;
    }
    text.font = n;
    float prec = (float)fp[1];
    emit(59, n, &prec, 1, nullptr);
    if (nf > 0 && loaded_entry != n - 1) {
        if (read_font(font_list[n - 1].file.c_str()) < 0) return -1;
        loaded_entry = n - 1;
    }
    return 0;
}

int gtext(const float *pos, const char *s) {
    if (!is_open("gtext")) return -1;
    if (!pos || !s) return -1;
    if (emit(50, 0, pos, 2, s)) return 0;
    if (font_type == 2 && gtype_is_WIN_PIX())
        draw_xfont(pos, s);
    else
        draw_strokes(pos, s);
    return 0;
}

float gtext_width(const char *s) {
    if (!s) return 0;
    return units_width(s) * text.expan * text.height / UNITS_PER_CAP;
}

int gset_text_colr_ind(int i) {
    if (!is_open("gset_text_colr_ind")) return -1;
    if (!gis_valid_colr(i)) {
        gerr_printf("gset_text_colr_ind", "invalid color index: %d\n", i);
        return -1;
    }
    if (gtype_is_WIN_PIX() && !gis_color_alloc(i)) {
        gerr_printf("gset_text_colr_ind", "color index not initialized\n");
        return -1;
    }
    text.colr = i;
    emit(56, i, nullptr, 0, nullptr);
    return 0;
}

#define FLOAT_SETTER(fn, field, kind, msg)                 \
    int fn(float v) {                                      \
        if (!is_open(#fn)) return -1;                      \
        if (v < 0) {                                       \
            gerr_printf(#fn, msg, v);                      \
            return -1;                                     \
        }                                                  \
        text.field = v;                                    \
        emit(kind, 0, &v, 1, nullptr);                     \
        return 0;                                          \
    }

FLOAT_SETTER(gset_char_ht, height, 57, "invalid character height: %f\n")
FLOAT_SETTER(gset_expan, expan, 55, "invalid expansion factor: %f\n")
FLOAT_SETTER(gset_text_width, width, 61, "invalid text width: %f\n")

// gset_char_space: the spacing between characters as a fraction of the
// 100-unit character cell (kind 53); gset_space: the fixed character space,
// 0 for proportional text (kind 54).
int gset_char_space(float v) {
    text.spacing = v;
    emit(53, 0, &v, 1, nullptr);
    return 0;
}

int gset_space(float v) {
    text.fixed = v;
    emit(54, 0, &v, 1, nullptr);
    return 0;
}

int gset_char_up_vec(const float *v) {
    if (!v) return -1;
    float len = std::sqrt(v[0] * v[0] + v[1] * v[1]);
    if (len <= 0) return -1;
    text.up[0] = v[0] / len;
    text.up[1] = v[1] / len;
    emit(58, 0, text.up, 2, nullptr);
    return 0;
}

int gset_text_align(const int *a) {
    if (!a) return -1;
    text.align[0] = a[0];
    text.align[1] = a[1];
    float f[2] = {(float)a[0], (float)a[1]};
    emit(60, 0, f, 2, nullptr);
    return 0;
}

int ginq_text_align(int *a) {
    a[0] = text.align[0];
    a[1] = text.align[1];
    return 0;
}

int gset_text_path(int) { return 0; }
int gset_font_drop(int n) { return text.drop = n < 0 ? 0 : n, 0; }
int gget_font_drop() { return text.drop; }
int gset_font_drop_color(int) { return 0; }
int gget_text_colr() { return text.colr; }

int greset_text() {
    text.height = 0.01f;
    text.expan = 1.0f;
    text.spacing = 0.25f;
    return 0;
}

int ginit_text(int mode) {
    sync_text();
    return 0;
}

void gks::text_reset()
{
    text = TextState{};
    font = StrokeFont{};
    font_loaded = false;
    font_type = 1;
    // A server font outlives its connection on the client side: its
    // description is freed here, with the server's font when still connected.
    if (xfont && S().dpy) XFreeFont(S().dpy, xfont);
    else if (xfont) XFreeFontInfo(nullptr, xfont, 1);
    xfont = nullptr;
    loaded_entry = -1;
    font_list.clear();
    stored_list.clear();
}
