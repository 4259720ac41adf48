// The latitude/longitude grid with its edge labels, and the data-coordinate
// grid of the diagram systems.
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "core/flags.h"
#include "gks/gks.h"
#include "map/map.h"
#include "map/overlay_internal.h"

namespace {

// More grid lines than this in one direction means a spacing too fine to
// be meant (and a loop that would not end in reasonable time).
constexpr double MAX_LINES = 3600;

bool usable(float s) { return std::isfinite(s) && s > 0 && s != -9999.0f; }

// What is left of the current drawing's grid budget; < 0 outside a drawing.
double budget_left = -1;

// The pieces and label places a grid would try, counted from above: the
// parallels' 144 pieces, the meridians' pieces of a degrees, the extra
// labels' runs (at most 900/e places from where they start).
double grid_cost(float a, float b, int e)
{
    const double parallels = 180.0 / a + 1, meridians = 360.0 / b + 1;
    double cost = parallels * 144 + meridians * parallels;
    if (e > 0) cost += (parallels + meridians) * (900.0 / e + 3);
    return cost;
}

float period_of(int proj)
{
    switch (proj) {
    case DOM_LATLON: return 360.0f;
    case DOM_MERC: return 400.31555892808814f;
    case DOM_LAMB: return 1000.0f;
    default: return 0.0f;
    }
}

void segment(float x1, float y1, float x2, float y2)
{
    const float p[4] = {x1, y1, x2, y2};
    MAP_emit_line(2, p);
}

// A two-point piece of a grid line, drawn twice when it jumps across the
// map's cut on the projections that have one.
void piece(int proj, float x1, float y1, float x2, float y2)
{
    float P = period_of(proj);
    float dx = x2 - x1;
    if (P > 0 && dx < -50) {
        segment(x1, y1, x2 + P, y2);
        segment(x1 - P, y1, x2, y2);
    } else if (P > 0 && dx > 50) {
        segment(x1 + P, y1, x2, y2);
        segment(x1, y1, x2 - P, y2);
    } else {
        segment(x1, y1, x2, y2);
    }
}

void lat_label(float lat, char *buf, size_t n)
{
    if (lat == 0) std::snprintf(buf, n, "EQ");
    else if (lat > 0) std::snprintf(buf, n, "%1.0fN", lat);
    else std::snprintf(buf, n, "%1.0fS", -lat);
}

void lon_label(float lon, char *buf, size_t n)
{
    if (lon == 0) std::snprintf(buf, n, "PM");
    else if (std::fabs(lon) == 180) std::snprintf(buf, n, "DL");
    else if (lon > 0) std::snprintf(buf, n, "%1.0fE", lon);
    else std::snprintf(buf, n, "%1.0fW", -lon);
}

void label_at(float lat, float lon, const char *text, float xmin, float xmax, float ymin, float ymax)
{
    float x, y;
    if (MAP_tran(&x, &y, lat, lon) && x > xmin && x < xmax && y > ymin && y < ymax) MAP_emit_text(x, y, text);
}

// A point of a grid line placed on the map; a piece's end is the next
// piece's start, placed once.
struct Placed {
    float lat = 0, lon = 0, x = 0, y = 0;
    bool ok = false, known = false;
    bool at(float la, float lo, float *px, float *py)
    {
        if (!known || la != lat || lo != lon) {
            lat = la, lon = lo, known = true;
            ok = MAP_tran(&x, &y, la, lo) != 0;
        }
        *px = x, *py = y;
        return ok;
    }
};

void parallel(int proj, float lat, const float *L, float off)
{
    bool labelled = false;
    Placed start, end;
    for (int k = 0; k < 144; ++k) {
        float lon1 = -180.0f + 2.5f * (float)k, lon2 = lon1 + 2.5f;
        float x1, y1, x2, y2;
        std::swap(start, end);
        if (!start.at(lat, lon1, &x1, &y1) || !end.at(lat, lon2, &x2, &y2)) continue;
        piece(proj, x1, y1, x2, y2);
        // Label where the parallel crosses the left edge.
        if (!labelled && std::fabs(x2 - x1) < 50 && (x1 - L[0]) * (x2 - L[0]) <= 0 && x1 != x2) {
            float y = y1 + (y2 - y1) * (L[0] - x1) / (x2 - x1);
            if (y > L[2] && y < L[3]) {
                char buf[16];
                lat_label(lat, buf, sizeof buf);
                GPH_text_align(1, 3);
                MAP_emit_text(L[0] + off, y, buf);
                labelled = true;
            }
        }
    }
}

void meridian(int proj, float lon, float a, const float *L, float off)
{
    float lo = -90, hi = 90;
    if (proj == DOM_PSTEREO || proj == DOM_LAMB || proj == DOM_SAT) {
        float k = std::trunc(89.0f / a);
        lo = -k * a;
        hi = k * a;
    }
    bool labelled = false;
    Placed start, end;
    for (float lat = lo; lat < hi - 1e-4f; lat += a) {
        float lat2 = std::fmin(lat + a, hi);
        float x1, y1, x2, y2;
        std::swap(start, end);
        if (!start.at(lat, lon, &x1, &y1) || !end.at(lat2, lon, &x2, &y2)) continue;
        piece(proj, x1, y1, x2, y2);
        if (!labelled && (y1 - L[2]) * (y2 - L[2]) <= 0 && y1 != y2) {
            float x = x1 + (x2 - x1) * (L[2] - y1) / (y2 - y1);
            if (x > L[0] && x < L[1]) {
                char buf[16];
                lon_label(lon, buf, sizeof buf);
                GPH_text_align(2, 5);
                MAP_emit_text(x, L[2] + off, buf);
                labelled = true;
            }
        }
    }
}

// The values start + k*step (k = 0, 1, ...) that lie below `end`, handed to
// `put`.  A start far below the map (it comes from the grid spacing, which
// may be huge) is first moved up by whole steps to within two turns of the
// globe below `end` (a label further down would only wrap round the globe
// once more), and the count is capped: a step lost in the rounding of a huge
// start would otherwise never reach the end.
template <class Put>
void label_run(double start, double step, double end, bool inclusive, Put put)
{
    const double floor_at = end - 720.0 - step;
    if (start < floor_at) start += std::ceil((floor_at - start) / step) * step;
    const int max_count = (int)(1080.0 / step) + 2;
    for (int k = 0; k <= max_count; ++k) {
        double v = start + step * k;
        if (inclusive ? v > end : v >= end) break;
        put(v);
    }
}

// Labels along the grid lines every `extra` degrees.
void extra_labels(float a, float b, int e, const float *L)
{
    char buf[16];
    GPH_text_align(2, 3);
    double start_lon = std::trunc(((-179 / e) * e - e / 2) / (double)b) * b - b / 2.0;
    double start_lat = std::trunc(((-89 / e) * e - e / 2) / (double)a) * a - a / 2.0;
    for (float lat = 0; lat < 90; lat += a)
        label_run(start_lon, e, 180, true, [&](double lon) {
            lat_label(lat, buf, sizeof buf);
            label_at(lat, (float)lon, buf, L[0], L[1], L[2], L[3]);
            if (lat > 0) {
                lat_label(-lat, buf, sizeof buf);
                label_at(-lat, (float)lon, buf, L[0], L[1], L[2], L[3]);
            }
        });
    for (float lon = -180; lon <= 180; lon += b)
        label_run(start_lat, e, 90, false, [&](double lat) {
            lon_label(lon, buf, sizeof buf);
            label_at((float)lat, lon, buf, L[0], L[1], L[2], L[3]);
        });
}

// Diagram systems: lines in data coordinates across the domain box.
void diagram_grid(float a, float b)
{
    const DOM *d = MAP_get_domain(nullptr);
    float x0 = d->clat, x1 = d->clat + d->dx, y0 = d->clon, y1 = d->clon + d->dy;
    auto lines = [](float from, float to, float step, auto draw) {
        float s = std::fabs(step);
        if (!(s > 0) || std::fabs(to - from) / s > MAX_LINES) return;
        float lo = std::fmin(from, to), hi = std::fmax(from, to);
        float v0 = step < 0 ? std::ceil(lo / s) * s : lo;
        // Counted, not stepped: far from zero a small step is lost in the
        // rounding of v and a stepped loop would not end.
        for (int k = 0; k <= (int)MAX_LINES; ++k) {
            float v = v0 + s * (float)k;
            if (!(v <= hi)) break;
            draw(v);
        }
    };
    lines(x0, x1, a, [&](float v) {
        float p[4];
        MAP_tran(&p[0], &p[1], v, y0);
        MAP_tran(&p[2], &p[3], v, y1);
        MAP_emit_line(2, p);
    });
    lines(y0, y1, b, [&](float v) {
        float p[4];
        MAP_tran(&p[0], &p[1], x0, v);
        MAP_tran(&p[2], &p[3], x1, v);
        MAP_emit_line(2, p);
    });
}

}  // namespace

void MAP_grid_budget(double pieces) { budget_left = pieces; }

int MAP_lines(float a, float b)
{
    if (a == -9999.0f || b == -9999.0f) return -1;
    const int proj = MAP_get_proj();
    bool earth = proj >= 1 && proj <= 9;
    if (!earth) {
        if (!std::isfinite(a) || !std::isfinite(b) || a == 0 || b == 0) return -1;
        diagram_grid(a, b);
        greset_line();
        greset_text();
        return 0;
    }
    // A spacing of 0, negative or not a number would never end the loops.
    if (!usable(a) || !usable(b) || 90.0 / a > MAX_LINES || 180.0 / b > MAX_LINES) return -1;
    // Extra labels every |extra| degrees; the most negative int has no
    // absolute value (it would stay negative) and gives none.
    const int extra = MAP_get_extra();
    const int e = extra != INT_MIN ? std::abs(extra) : 0;
    // A grid is drawn whole, the meridians in pieces of a degrees, so a fine
    // spacing costs (360/b)(180/a) pieces, most of them off the map: grids
    // beyond the budget (a single one finer than about an eighth of a degree
    // both ways, or many in one list) are refused rather than left to run
    // for minutes.
    const double cost = grid_cost(a, b, e);
    const double left = budget_left >= 0 ? budget_left : MAP_GRID_BUDGET;
    if (cost > left) {
        MESS_print(MESS_WARN, "MAP_lines: Grid of %g by %g degrees is more than is left to draw\n", a, b);
        return -1;
    }
    if (budget_left >= 0) budget_left -= cost;
    MAP_status("Map-lalo: %.1f,%.1f", a, b);
    float L[4];
    MAP_get_limits(L);
    float off = 0.01f * (L[1] - L[0]);
    for (float lat = 0; lat < 90; lat += a) parallel(proj, lat, L, off);
    for (float lat = -a; lat > -90; lat -= a) parallel(proj, lat, L, off);
    for (float lon = 0; lon <= 180; lon += b) meridian(proj, lon, a, L, off);
    for (float lon = -b; lon > -180; lon -= b) meridian(proj, lon, a, L, off);
    if (e != 0) extra_labels(a, b, e, L);
    greset_line();
    greset_text();
    return 0;
}
