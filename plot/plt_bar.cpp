// The colour bar under the plot panel: the enhancement's colours, with
// temperature ticks and numbers for infrared images, and numbers in the
// image's own values (with its field name and units) for images whose
// counts are linear in a quantity.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/records.h"
#include "gks/attrib.h"
#include "gks/clr.h"
#include "gks/gks.h"
#include "plot/plt.h"
#include "satproc/enh.h"

namespace {

constexpr float GAP_CAP = 0.035f;
constexpr float GAP_MIN = 0.01f;
// The bar keeps at least this share of its height when it makes room for
// its numbers below it.
constexpr float KEEP_BAR = 0.5f;
// Numbers smaller than this share of the label height are not drawn.
constexpr float MIN_NUMBER = 0.4f;

void cell(float x1, float y1, float x2, float y2, int colour)
{
    gset_fill_colr_ind(colour);
    GPH_frect(x1, y1, x2, y2);
}

// What the numbers under the bar count: pixel values (the plain bar),
// temperatures (the temperature bar) or the values of an image whose counts
// are linear in a quantity, whichever bar was asked for.
enum Scale { COUNTS, TEMPERATURES, VALUES };

struct Mark {
    float x;
    std::string text;
};

// Steps between numbers, finest first: 16, 32, 64 or 128 counts; 10, 20 or
// 50 C; for values the round steps (1, 2 or 5 times a power of ten) from
// about a thirtieth of the value range up to the whole range.
std::vector<double> steps_of(Scale scale, const SAT_VALUE_SCALE &v)
{
    if (scale == COUNTS) return {16, 32, 64, 128};
    if (scale == TEMPERATURES) return {10, 20, 50};
    const double span = std::fabs(254.0 * v.scale);
    std::vector<double> out;
    if (!(span > 0) || !std::isfinite(span)) return out;
    for (double decade = std::pow(10.0, std::floor(std::log10(span / 30))); decade <= span; decade *= 10)
        for (double m : {1.0, 2.0, 5.0})
            if (m * decade <= span) out.push_back(m * decade);
    return out;
}

// A value as a number with the decimals its step needs ("0.25", "1.5",
// "40"), never "-0".
std::string value_text(double value, double step)
{
    int decimals = step >= 1 ? 0 : std::min(6, (int)std::ceil(-std::log10(step) - 1e-9));
    // Step 0.25 needs two decimals: the digits the step itself shows decide.
    char s[48];
    for (; decimals < 6; ++decimals) {
        std::snprintf(s, sizeof s, "%.*f", decimals, step);
        if (std::fabs(std::strtod(s, nullptr) - step) <= 1e-9 * step) break;
    }
    if (std::fabs(value) < step / 2) value = 0;
    std::snprintf(s, sizeof s, "%.*f", decimals, value);
    return s;
}

// The numbers of one step.  Temperatures in whole degrees C sit at the
// left edge of their value's cell, as the ticks do; pixel values at the
// left edge of their cell; values at the middle of the cell of the count
// nearest them (a count stands for the values within half a step of its
// own), between counts 1 and 255.
std::vector<Mark> marks_at(Scale scale, double step, float x0, float cw, const SAT_VALUE_SCALE &v)
{
    std::vector<Mark> out;
    if (scale == TEMPERATURES) {
        // Temperatures the scale holds at its ends (the same value as a
        // warmer one, or 0) have no place of their own and go unnumbered.
        int last = 0, istep = (int)step;
        for (int t = 50; t >= -110; --t) {
            if (t % istep != 0) continue;
            int p = SAT_ir_ind((float)t);
            if (p > 0 && p != last) out.push_back({x0 + p * cw, std::to_string(t)});
            last = p;
        }
        if (!out.empty()) out.back().text += "C";
    } else if (scale == COUNTS) {
        for (int p = 0; p < 256; p += (int)step) out.push_back({x0 + p * cw, std::to_string(p)});
    } else {
        const double a = v.offset + v.scale, b = v.offset + 255.0 * v.scale;
        const double lo = std::min(a, b), hi = std::max(a, b);
        const double first = std::ceil(lo / step - 1e-6), last = std::floor(hi / step + 1e-6);
        if (last - first > 255) return out;
        for (double k = first; k <= last; ++k) {
            double count = (k * step - v.offset) / v.scale;
            out.push_back({x0 + (float)(count + 0.5) * cw, value_text(k * step, step)});
        }
        // Values falling with the count read from right to left.
        if (v.scale < 0) std::reverse(out.begin(), out.end());
    }
    return out;
}

// True when the numbers, centred on their places in the current text
// height, keep half a height apart from each other.
bool fits(const std::vector<Mark> &m, float height)
{
    for (size_t k = 0; k + 1 < m.size(); ++k) {
        float right = m[k].x + gtext_width(m[k].text.c_str()) / 2;
        float left = m[k + 1].x - gtext_width(m[k + 1].text.c_str()) / 2;
        if (left - right < 0.5f * height) return false;
    }
    return true;
}

// The numbers under the bar, cap line at y: the finest step whose numbers
// do not crowd each other; when no step fits, the text shrinks (down to
// MIN_NUMBER of its height) until one does, and without one no numbers are
// drawn.  Values need two numbers at least to show their scale.  Returns
// the numbers drawn, the text height left set.
std::vector<Mark> numbers(Scale scale, const SAT_VALUE_SCALE &v, const ATTRIB &rec, float height, float x0,
                          float cw, float y)
{
    const std::vector<double> steps = steps_of(scale, v);
    const size_t least = scale == VALUES ? 2 : 1;
    std::vector<Mark> m;
    for (float h = height; h >= MIN_NUMBER * height && m.empty(); h *= 0.85f) {
        GPH_text_attr(&rec, h);
        for (size_t k = 0; k < steps.size() && m.empty(); ++k) {
            std::vector<Mark> c = marks_at(scale, steps[k], x0, cw, v);
            if (c.size() >= least && fits(c, h)) m = std::move(c);
        }
    }
    GPH_text_align(2, 2);
    for (const Mark &mark : m) {
        float pos[2] = {mark.x, y};
        GPH_pprint(pos, mark.text.c_str());
    }
    return m;
}

// What the bar shows, for the caption right of it: the field's name, and
// for values their units ("RRQPE (mm h-1)"); units "1" (a ratio) are left
// out.  Empty for plain counts.
// Runs of blanks in the units become one; units that fill their field were
// cut by the reader, so their last, partial word gives way to "...".
std::string caption(Scale scale, const SAT_VALUE_SCALE &v)
{
    if (v.kind == IMG_VALUE_NONE) return "";
    std::string text = v.name, units;
    for (const char *c = v.units; *c; ++c)
        if (*c != ' ' || (!units.empty() && units.back() != ' ')) units += *c;
    if (std::strlen(v.units) + 1 >= sizeof v.units) {
        const size_t blank = units.find_last_of(' ');
        units = (blank == std::string::npos ? units : units.substr(0, blank + 1)) + "...";
    }
    while (!units.empty() && units.back() == ' ') units.pop_back();
    if (scale == VALUES && !units.empty() && units != "1") text += (text.empty() ? "(" : " (") + units + ")";
    return text;
}

} // namespace

int SAT_color_bar(int ir)
{
    float view[4], area[4];
    PLT_get_view(view);
    GPH_get_view_size(area);
    float gap = std::min(view[2] - area[2], GAP_CAP);
    if (!(gap >= GAP_MIN)) return -1;

    ATTRIB rec;
    PLT_label_attrib(&rec);
    GPH_trans(1);
    GPH_line_attr(&rec);
    ATTRIB solid;
    ATTRIB_init(&solid);
    solid.fill = 0;
    GPH_fill_attr(&solid);

    const float x0 = view[0] + 0.03f * (view[1] - view[0]);
    const float xm = (view[0] + view[1]) / 2;
    const float yt = view[2] - 0.15f * gap;
    float yb = view[2] - gap;
    // Numbers in the labels' text height go under the bar, a quarter of
    // that height below it; where the space below is short the bar gives up
    // the lower part of its height (its top stays), down to half of it.
    float num_h = 0;
    if (FLAG_getplot(PLOT_TEXT)) {
        const float label = 0.75f * std::min(view[2] - area[2], 0.03f * (view[3] - view[2]));
        const float room = yb - area[2], lift = std::min(1.25f * label - room, KEEP_BAR * (yt - yb));
        if (lift > 0) yb += lift;
        num_h = std::min(label, (yb - area[2]) / 1.25f);
        if (num_h < MIN_NUMBER * label) num_h = 0;
    }
    const float cw = (xm - x0) / 256;
    const float bar_h = yt - yb;
    SAT_ENHANCEMENT e = SAT_get_enhancement();
    for (int p = 0; p < 256; ++p) {
        int entry = std::clamp(e.sat_color_ind[p], 0, 255);
        cell(x0 + p * cw, yb, x0 + (p + 1) * cw, yt, e.color_fill_ind[entry] % 1000);
    }
    // An image whose counts are linear in a value is numbered in that value
    // on either bar: its counts mean nothing to the reader and the
    // temperature scale does not apply to it.
    const SAT_VALUE_SCALE values = SAT_get_image_values();
    const Scale scale = SAT_values_linear() ? VALUES : ir == 1 ? TEMPERATURES : COUNTS;
    if (scale == TEMPERATURES) {
        for (int t = 50; t >= -110; t -= 10) {
            float x = x0 + SAT_ir_ind((float)t) * cw;
            float len = std::min(t % 50 == 0 ? 0.015f : 0.01f, bar_h);
            GPH_line(x, yt, x, yt - len);
        }
    }
    const float up = std::min(0.01f, bar_h);
    for (int v = 0; v < 256; v += 16) GPH_line(x0 + v * cw, yb, x0 + v * cw, yb + up);
    GPH_rect(x0, yb, xm, yt);
    if (num_h > 0) {
        const float y = yb - 0.25f * num_h;
        std::vector<Mark> m = numbers(scale, values, rec, num_h, x0, cw, y);
        // Values get ticks down from the top at their numbers, as
        // temperatures have at theirs; the caption follows the bar and its
        // last number on the numbers' line, in their height.
        // A window's server font may set the numbers wider than the stroke
        // font's measure: the caption keeps a quarter of the last number's
        // width more away from it.
        const float len = std::min(0.01f, bar_h);
        float right = xm;
        for (const Mark &mark : m) {
            if (scale == VALUES) GPH_line(mark.x, yt, mark.x, yt - len);
            right = std::max(right, mark.x + 0.75f * gtext_width(mark.text.c_str()));
        }
        const std::string text = caption(scale, values);
        if (!text.empty()) {
            if (m.empty()) GPH_text_attr(&rec, num_h);
            GPH_text_align(1, 2);
            float pos[2] = {right + gtext_width("0"), y};
            GPH_pprint(pos, text.c_str());
        }
    }
    GPH_trans(2);
    // The lower left and centre labels make way for the bar.
    PLT_set_bar(1);
    return 0;
}
