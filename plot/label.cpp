// Corner labels: the store, label formats and drawing around the panel.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/flags.h"
#include "core/records.h"
#include "core/res.h"
#include "core/util.h"
#include "files/date.h"
#include "gks/attrib.h"
#include "gks/gks.h"
#include "plot/plt.h"
#include "plot/plt_int.h"

namespace {

char labels[PLT_NUM_LABELS][PLT_NUM_LINES][PLT_LABEL_SIZE];
int first_len[PLT_NUM_LABELS];  // first line's length at the last overlay change
int lab_type = 0;
DATE lab_date = {-9999, -9999, -9999, -9999, -9999, -9999, -9999, -9999};
int for_hour = 0;
int var_type0 = 0;

// Longest text stored as a line; longer ones are refused whole.
constexpr size_t MAX_TEXT = 68;
// Appending stops where the first line would pass this many characters.
constexpr size_t APPEND_LIMIT = 59;

bool valid_pos(int pos) { return pos >= 0 && pos < PLT_NUM_LABELS; }

int store(int pos, const char *s)
{
    if (!valid_pos(pos) || !s) return -1;
    const auto &st = plt::state();
    size_t len = std::strlen(s);
    if (lab_type < 0 && st.overlay >= 1 && first_len[pos] + len <= APPEND_LIMIT) {
        char *line = labels[pos][0];
        std::snprintf(line + first_len[pos], PLT_LABEL_SIZE - first_len[pos], " %s", s);
        return 0;
    }
    if (st.overlay < 0 || st.overlay >= PLT_NUM_LINES || len > MAX_TEXT) return -1;
    std::snprintf(labels[pos][st.overlay], PLT_LABEL_SIZE, "%s", s);
    return 0;
}

void append(std::string &out, const char *s) { out += s; }

} // namespace

namespace plt {

void mark_overlay_change()
{
    for (int p = 0; p < PLT_NUM_LABELS; ++p) first_len[p] = (int)std::strlen(labels[p][0]);
}

void reset_labels()
{
    std::memset(labels, 0, sizeof labels);
    std::memset(first_len, 0, sizeof first_len);
    state().num_over = 0;
    state().overlay = 0;
}

} // namespace plt

int PLT_label_up_left(const char *s) { return store(PLT_UL, s); }
int PLT_label_up_center(const char *s) { return store(PLT_UC, s); }
int PLT_label_up_right(const char *s) { return store(PLT_UR, s); }
int PLT_label_low_left(const char *s) { return store(PLT_LL, s); }
int PLT_label_low_center(const char *s) { return store(PLT_LC, s); }
int PLT_label_low_right(const char *s) { return store(PLT_LR, s); }
int PLT_label_strcpy(int pos, const char *s) { return store(pos, s); }

int PLT_label_strcat(int pos, const char *s)
{
    const int ov = plt::state().overlay;
    if (!valid_pos(pos) || !s || ov < 0 || ov >= PLT_NUM_LINES) return -1;
    char *line = labels[pos][ov];
    size_t n = std::strlen(line);
    std::snprintf(line + n, PLT_LABEL_SIZE - n, "%s", s);
    return 0;
}

const char *PLT_get_label(int pos, int line)
{
    if (!valid_pos(pos) || line < 0 || line >= PLT_NUM_LINES) return "";
    return labels[pos][line];
}

int PLT_get_label_type() { return lab_type; }
int PLT_set_label_type(int t)
{
    lab_type = t;
    return 0;
}

int PLT_init_labels()
{
    plt::reset_labels();
    return 0;
}

int PLT_label_date(const DATE *date)
{
    if (date) lab_date = *date;
    return 0;
}

int PLT_label_for_time(int hours)
{
    for_hour = hours;
    return 0;
}

char *PLT_image_title(const IMG *image, char *out)
{
    if (!out) return out;
    out[0] = '\0';
    if (!image) return out;
    // The record's texts are read within their fields, terminated or not.
    auto field = [](const char *f, size_t size) { return std::string(f, strnlen(f, size)); };
    std::string platform = field(image->platform, sizeof image->platform);
    std::string name = field(image->value_name, sizeof image->value_name);
    std::string title = platform + (platform.empty() || name.empty() ? "" : " ") + name;
    if (image->value_kind == IMG_VALUE_NONE || title.empty()) title = field(image->info, sizeof image->info);
    std::snprintf(out, PLT_LABEL_SIZE, "%s", title.c_str());
    return out;
}

int VAR_set_type(int n, int type)
{
    if (n != 0) return -1;
    var_type0 = type;
    return 0;
}


char *PLT_label_format(const char *fmt, char *out)
{
    if (!out) return out;
    std::string res;
    char buf[DATE_TEXT_SIZE + 8];
    auto two = [&](int v) {
        std::snprintf(buf, sizeof buf, "%2.2d", v);
        res += buf;
    };
    for (const char *p = fmt ? fmt : ""; *p && res.size() < PLT_LABEL_SIZE; ++p) {
        if (*p == '_') {
            res += ' ';
            continue;
        }
        if (*p != '%') {
            res += *p;
            continue;
        }
        char code = *++p;
        if (!code) break;  // a trailing "%" gives nothing
        switch (code) {
        case 'D': append(res, DATE_make_label(&lab_date, buf)); break;
        // The long forecast form speaks in days where the hours allow it.
        case 'F': append(res, DATE_fhour_label(buf, for_hour, 1)); break;
        case 'f': append(res, DATE_fhour_label(buf, for_hour, 0)); break;
        case 'V': append(res, DATE_make_label_valid_time(for_hour, &lab_date, buf)); break;
        case 'W': {
            // The valid day alone: the valid time, then its label without
            // the hour.
            DATE d = lab_date;
            if (d.hour == -9999) d.hour = 0;
            if (d.minute == -9999) d.minute = 0;
            int64_t secs = DATE_num_sec(&d) + (int64_t)(for_hour % 1000 >= 800 ? 0 : for_hour % 1000) * 3600;
            DATE v;
            DATE_get_gmdate(&secs, &v);
            v.hour = v.minute = v.second = -9999;
            append(res, DATE_make_label_valid_time(0, &v, buf));
            break;
        }
        case 'b': {
            const char *m = DATE_month_long(lab_date.month);
            res.append(m, std::min<size_t>(3, std::strlen(m)));
            break;
        }
        case 'd': two(lab_date.day); break;
        case 'm': two(lab_date.month); break;
        case 'h': two(lab_date.hour); break;
        case 'n': two(lab_date.minute); break;
        case 'y': two(((lab_date.year % 100) + 100) % 100); break;
        case '%': res += '%'; break;
        default: break;
        }
    }
    std::snprintf(out, PLT_LABEL_SIZE, "%s", res.c_str());
    return out;
}

namespace {

// Entries of the "label" resource: "ul:" etc. and an optional overlay
// digit, then the format.  Returns the positions the user set.
unsigned apply_label_resource()
{
    static const char *const codes[] = {"ul", "uc", "ur", "ll", "lc", "lr"};
    unsigned user = 0;
    int count = 0;
    char **items = nullptr;
    if (!RES_get("label") || RES_getvals("label", &count, &items) < 0) return 0;
    for (int k = 0; k < count; ++k) {
        const char *e = items[k];
        if (std::strlen(e) < 3) continue;
        int pos = -1;
        for (int p = 0; p < PLT_NUM_LABELS; ++p)
            if (strnicmp(e, codes[p], 2) == 0) pos = p;
        if (pos < 0) continue;
        int line = 0;
        const char *fmt = nullptr;
        if (e[2] == ':') {
            fmt = e + 3;
        } else if (e[2] >= '0' && e[2] <= '9' && e[3] == ':') {
            line = e[2] - '0';
            fmt = e + 4;
        }
        if (!fmt || line >= PLT_NUM_LINES) continue;
        char text[PLT_LABEL_SIZE];
        PLT_label_format(fmt, text);
        std::snprintf(labels[pos][line], PLT_LABEL_SIZE, "%s", text);
        if (line == 0) user |= 1u << pos;
    }
    free_parsed_array(count, items);
    return user;
}

} // namespace

int PLT_label_attrib(ATTRIB *rec)
{
    if (!rec) return -1;
    ATTRIB_init(rec);
    // Whatever made the background light (a page, an inverse or light
    // window), the default text colour is the one that shows on it.
    return ATTRIB_get("color_text", gis_back_light() ? "black" : "white", rec);
}

int PLT_labels()
{
    auto &st = plt::state();
    unsigned user = apply_label_resource();

    ATTRIB rec;
    PLT_label_attrib(&rec);
    gmessage(st.work_id, "Labels");
    GPH_trans(1);
    GPH_line_attr(&rec);

    const float *v = st.dis_view;
    float share[4] = {0, 1, 0, 1};
    GPH_get_view_size(share);
    float h = st.full_lab ? 0.06f : v[2] - share[2];
    if (st.border && FLAG_getplot(PLOT_BORDER)) GPH_border(v);
    if (h < 0.005f) return -1;
    if (!FLAG_getplot(PLOT_TEXT)) return 0;

    int lines = (lab_type >= 0 && st.num_over > 0) ? st.num_over : 1;
    h /= lines;
    h = std::min(h, 0.03f * (v[3] - v[2]));
    GPH_text_attr(&rec, 0.75f * h);
    float g = st.full_lab ? -0.2f * h - lines * h : 0.2f * h;
    const float width = v[1] - v[0];
    const float xs[3] = {v[0] + 0.01f * width, (v[0] + v[1]) / 2, v[1] - 0.01f * width};

    for (int p = 0; p < PLT_NUM_LABELS; ++p) {
        bool upper = p < 3;
        if (!FLAG_getplot(PLOT_TEXT_UL + p)) continue;
        if ((p == PLT_LL || p == PLT_LC) && st.bar) continue;
        int col = p % 3;
        // Horizontal 1 left, 2 centre, 3 right; vertical 4 base, 2 cap.
        GPH_text_align(col + 1, upper ? 4 : 2);
        float y = upper ? v[3] + g + st.over_base * h : v[2] - g - (lines - 1) * h + st.over_base * h;
        int n = (user >> p & 1u) ? 1 : lines;
        for (int l = 0; l < n; ++l, y += h) {
            if (!labels[p][l][0]) continue;
            float pos[2] = {xs[col], y};
            GPH_pprint(pos, labels[p][l]);
        }
    }
    return 0;
}

void plt::reset_label_state()
{
    reset_labels();
    lab_type = 0;
    lab_date = DATE{-9999, -9999, -9999, -9999, -9999, -9999, -9999, -9999};
    for_hour = 0;
    var_type0 = 0;
}
