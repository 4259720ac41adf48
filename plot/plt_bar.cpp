// The colour bar under the plot panel: the enhancement's colours, with
// temperature ticks and numbers for infrared images.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
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

struct Mark {
    float x;
    int value;
};

// The numbers of one step: temperatures in whole degrees C on the
// temperature bar (the range of its ticks), pixel values on the plain bar.
std::vector<Mark> marks_at(int ir, int step, float x0, float cw)
{
    std::vector<Mark> out;
    if (ir == 1) {
        // Temperatures the scale holds at its ends (the same value as a
        // warmer one, or 0) have no place of their own and go unnumbered.
        int last = 0;
        for (int t = 50; t >= -110; --t) {
            if (t % step != 0) continue;
            int v = SAT_ir_ind((float)t);
            if (v > 0 && v != last) out.push_back({x0 + v * cw, t});
            last = v;
        }
    } else {
        for (int v = 0; v < 256; v += step) out.push_back({x0 + v * cw, v});
    }
    return out;
}

std::string mark_text(const std::vector<Mark> &m, size_t k, int ir)
{
    std::string s = std::to_string(m[k].value);
    if (ir == 1 && k + 1 == m.size()) s += "C";
    return s;
}

// True when the numbers, centred on their places in the current text
// height, keep half a height apart from each other.
bool fits(const std::vector<Mark> &m, int ir, float height)
{
    for (size_t k = 0; k + 1 < m.size(); ++k) {
        float right = m[k].x + gtext_width(mark_text(m, k, ir).c_str()) / 2;
        float left = m[k + 1].x - gtext_width(mark_text(m, k + 1, ir).c_str()) / 2;
        if (left - right < 0.5f * height) return false;
    }
    return true;
}

// The numbers under the bar, cap line at y: the finest round step whose
// numbers do not crowd each other (10, 20 or 50 C; 16, 32, 64 or 128
// counts); when no step fits, the text shrinks (down to MIN_NUMBER of its
// height) until one does, and without one no numbers are drawn.
void numbers(int ir, const ATTRIB &rec, float height, float x0, float cw, float y)
{
    static const int ir_steps[] = {10, 20, 50};
    static const int plain_steps[] = {16, 32, 64, 128};
    const int *steps = ir == 1 ? ir_steps : plain_steps;
    const int count = ir == 1 ? 3 : 4;
    std::vector<Mark> m;
    for (float h = height; h >= MIN_NUMBER * height && m.empty(); h *= 0.85f) {
        GPH_text_attr(&rec, h);
        for (int k = 0; k < count && m.empty(); ++k) {
            std::vector<Mark> c = marks_at(ir, steps[k], x0, cw);
            if (fits(c, ir, h)) m = std::move(c);
        }
    }
    GPH_text_align(2, 2);
    for (size_t k = 0; k < m.size(); ++k) {
        float pos[2] = {m[k].x, y};
        GPH_pprint(pos, mark_text(m, k, ir).c_str());
    }
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
    if (ir == 1) {
        for (int t = 50; t >= -110; t -= 10) {
            float x = x0 + SAT_ir_ind((float)t) * cw;
            float len = std::min(t % 50 == 0 ? 0.015f : 0.01f, bar_h);
            GPH_line(x, yt, x, yt - len);
        }
    }
    const float up = std::min(0.01f, bar_h);
    for (int v = 0; v < 256; v += 16) GPH_line(x0 + v * cw, yb, x0 + v * cw, yb + up);
    GPH_rect(x0, yb, xm, yt);
    if (num_h > 0) numbers(ir, rec, num_h, x0, cw, yb - 0.25f * num_h);
    GPH_trans(2);
    // The lower left and centre labels make way for the bar.
    PLT_set_bar(1);
    return 0;
}
