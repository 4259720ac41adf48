// Wide lines of the in-memory picture: each segment is a polygon around
// its path, filled by the pixel-centre rule, with caps at the ends of the
// path and joins between segments.
//
// The corners are real numbers, computed in double precision the way a
// 24-bit X server (Xvfb) computes them: half the width l, the length
// L = hypot(dx, dy), the offset of a side r = l / L times the direction,
// and the sides' constant k = l * L.  A pixel's side of a line is decided
// in whole numbers against ceil(k), so only where the true corner falls
// exactly on a pixel centre do the rounding details matter; there the
// server's order of operations is kept (found by comparing every direction
// and width against it).
#include "gks/raster.h"
#include "gks/raster_int.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "core/workers.h"

using namespace rast;

namespace {

// How far beyond its points a wide line's polygons, caps and joins may
// reach: a miter tip stands out about 5.2 widths (joins sharper than 11
// degrees are bevelled), and a little more.
int line_reach(int width) { return 6 * width + 2; }

// One end of a drawn segment: the end point, the direction into the
// segment, and the offset from the end point to one corner (the other is
// its negation).
struct Face {
    int x = 0, y = 0;
    int dx = 0, dy = 0;
    double ox = 0, oy = 0;
    double k = 0;  // l * L, the sides' distance times the length
};

struct Wide {
    int lw;
    int rlo, rhi;  // rows worth computing
    Spans *out;
    // Set when each piece is painted as soon as it is made (in order, so a
    // later piece covers an earlier one) rather than all united at the end.
    std::function<void(Spans &)> painted;
    // Pieces painted as they come (idempotent functions, or paths of two
    // points without round caps), else united.
    bool direct = false;

    void done()
    {
        if (painted) painted(*out);
    }
    void rect(int x, int y, int w, int h)
    {
        if (w <= 0) return;
        for (int r = std::max(y, rlo); r < std::min(y + h, rhi); r++) out->push_back({r, x, x + w});
        done();
    }
    void poly(const Corner *v, const Side *e, int n)
    {
        fill_convex(v, e, n, *out, rlo, rhi);
        done();
    }

    // The polygon of segment (x1, y1)-(x2, y2), the start end projected
    // half the width when projl, the end when projr; faces of both ends.
    void segment(int x1, int y1, int x2, int y2, bool projl, bool projr, Face &f1, Face &f2);
    void join(const Face &a, const Face &b, int style);
    // A projecting cap on a face: the square half a width beyond its end.
    void project(const Face &f);
    // A round cap or join at a whole point: the disc of the line's width,
    // or only its part beyond the given faces (those not null).
    void disc(int cx, int cy, const Face *fa = nullptr, const Face *fb = nullptr)
    {
        real_disc(cx, cy, fa, fb);
    }
    // The same about a real centre (round ends of dashes); the faces give
    // only directions there, their lines run through the centre.
    void real_disc(double cx, double cy, const Face *fa, const Face *fb);
    bool clip_round = false;  // dashes' own round ends cut at their faces
    // The on (and, for double dashes, off) pieces of a dashed segment,
    // continuing the pattern at (idx, off); faces of both ends.
    void dash_segment(int x1, int y1, int x2, int y2, bool projl, bool projr, int style, int cap,
                      const std::vector<int> &len, int &idx, int &off, Spans *fg, Spans *bg, Face &f1, Face &f2);
};

void Wide::segment(int x1, int y1, int x2, int y2, bool projl, bool projr, Face &f1, Face &f2)
{
    const double l = lw / 2.0;
    const int odx = x2 - x1, ody = y2 - y1;
    f1 = {x1, y1, odx, ody, 0, 0, 0};
    f2 = {x2, y2, -odx, -ody, 0, 0, 0};
    // Drawn from top to bottom (left to right when level).
    if (y2 < y1 || (y2 == y1 && x2 < x1)) {
        std::swap(x1, x2);
        std::swap(y1, y2);
        std::swap(projl, projr);
    }
    const int dx = x2 - x1, dy = y2 - y1;
    if (dy == 0 || dx == 0) {
        // Level and upright segments are rectangles of whole pixels.
        const int h1 = lw >> 1, h2 = (lw + 1) >> 1;
        if (dy == 0) {
            f1.oy = odx > 0 ? -l : l;
            f1.k = l * std::abs(odx);
            const int x = x1 - (projl ? h1 : 0);
            rect(x, y1 - h1, x2 - x + (projr ? h2 : 0), lw);
        } else {
            f1.ox = ody > 0 ? l : -l;
            f1.k = l * std::abs(ody);
            const int y = y1 - (projl ? h1 : 0);
            rect(x1 - h1, y, lw, y2 - y + (projr ? h2 : 0));
        }
        f2.ox = -f1.ox;
        f2.oy = -f1.oy;
        f2.k = f1.k;
        return;
    }
    const double L = std::hypot((double)dx, (double)dy), r = l / L;
    const double xa = r * dy, ya = -r * dx;  // corner offset on the upper side
    const double k = l * L;
    f1.ox = odx == dx ? xa : -xa;
    f1.oy = odx == dx ? ya : -ya;
    f2.ox = -f1.ox;
    f2.oy = -f1.oy;
    f1.k = f2.k = k;
    const double px = -ya, py = xa;  // half a width along the segment
    const double sl = projl ? 1 : 0, sr = projr ? 1 : 0;
    Corner v[4] = {{x1, y1, xa - sl * px, ya - sl * py},
                   {x2, y2, xa + sr * px, ya + sr * py},
                   {x2, y2, -xa + sr * px, -ya + sr * py},
                   {x1, y1, -xa - sl * px, -ya - sl * py}};
    if (!projl) v[0].x = xa, v[0].y = ya, v[3].x = -xa, v[3].y = -ya;
    if (!projr) v[1].x = xa, v[1].y = ya, v[2].x = -xa, v[2].y = -ya;
    // A projected end's line through its upper corner.
    const Corner &up1 = dx > 0 ? v[0] : v[3], &up2 = dx > 0 ? v[1] : v[2];
    const double k1 = projl ? up1.x * dx + up1.y * dy : 0.0, k2 = projr ? up2.x * dx + up2.y * dy : 0.0;
    Side e[4] = {{x1, y1, dx, dy, k}, {x2, y2, -dy, dx, k2}, {x1, y1, dx, dy, -k}, {x1, y1, -dy, dx, k1}};
    poly(v, e, 4);
}

// The join where the segment of face a ends and that of face b starts:
// the notch between their outer corners filled (bevel), or the outer sides
// extended to meet (miter, bevel instead below 11 degrees).
void Wide::join(const Face &a, const Face &b, int style)
{
    const int64_t cross = (int64_t)a.dx * b.dy - (int64_t)a.dy * b.dx;
    if (cross == 0) return;  // straight on or back: no notch
    // Outer corners: on each segment the side away from the other one.
    const double sa = cross > 0 ? 1 : -1, sb = -sa;
    const double ax = sa * a.ox, ay = sa * a.oy, bx = sb * b.ox, by = sb * b.oy;
    const int cx = a.x, cy = a.y;
    Corner v[4] = {{cx, cy, ax, ay}, {cx, cy, 0, 0}, {cx, cy, bx, by}, {cx, cy, 0, 0}};
    Side e[4] = {{cx, cy, a.dy, -a.dx, 0}, {cx, cy, b.dy, -b.dx, 0}, {}, {}};
    // Width 1 painted directly: the X server mostly bevels instead (found
    // by comparison; the cases it still mitres are not known).
    if (style == 0 && !(lw == 1 && direct)) {
        // Miter point: on both outer sides (each side's k as its segment's,
        // so the join meets the segment without a seam).
        const double ka = ax * a.dy - ay * a.dx < 0 ? -a.k : a.k, kb = bx * b.dy - by * b.dx < 0 ? -b.k : b.k;
        const double my = (a.dy * (bx * b.dy - by * b.dx) - b.dy * (ax * a.dy - ay * a.dx)) / (double)cross;
        const double mx = a.dy != 0 ? ax + (my - ay) * a.dx / a.dy : bx + (my - by) * b.dx / b.dy;
        // Beyond the limit when 1 / sin(angle / 2) exceeds 1 / sin(5.5 deg).
        static const double lim = 1.0 / (std::sin(5.5 * M_PI / 180) * std::sin(5.5 * M_PI / 180));
        if ((mx * mx + my * my) * 4 <= lim * lw * lw) {
            v[3] = {cx, cy, mx, my};
            e[2] = {cx, cy, b.dx, b.dy, kb};
            e[3] = {cx, cy, a.dx, a.dy, ka};
            poly(v, e, 4);
            return;
        }
    }
    // The bevel's direction is kept in whole numbers scaled to 65536 on
    // the longer axis (truncated), its line through the corners' midpoint.
    const double ddx = bx - ax, ddy = by - ay;
    const double scale = std::max(std::fabs(ddx), std::fabs(ddy));
    const int sdx = (int)((ddx * 65536) / scale), sdy = (int)((ddy * 65536) / scale);
    e[2] = {cx, cy, sdx, sdy, ((ax + bx) * sdy - (ay + by) * sdx) / 2.0};
    poly(v, e, 3);
}

void Wide::real_disc(double cx, double cy, const Face *fa, const Face *fb)
{
    // Pixel (x, y) is in when (x - cx)^2 + (y - cy)^2 < l^2; on the circle,
    // when left of the centre, or straight above it.  Beyond a face means
    // on the side away from its segment; a pixel on the face's line is
    // beyond when that side is to its right (below, for a level line), as
    // for a polygon's edge.
    auto beyond = [](const Face *f, double dx, double dy) {
        if (!f) return true;
        const double d = dx * f->dx + dy * f->dy;
        return d < 0 || (d == 0 && (f->dx < 0 || (f->dx == 0 && f->dy < 0)));
    };
    const double l2 = lw * (double)lw / 4;
    const int y0 = (int)std::floor(cy - lw / 2.0) - 1, y1 = (int)std::ceil(cy + lw / 2.0) + 1;
    const int x0 = (int)std::floor(cx - lw / 2.0) - 1, xe = (int)std::ceil(cx + lw / 2.0) + 1;
    for (int y = std::max(y0, rlo); y <= y1 && y < rhi; y++) {
        const double dy = y - cy;
        int a = 1, b = 0;
        for (int x = x0; x <= xe; x++) {
            const double dx = x - cx, q = dx * dx + dy * dy;
            if ((q < l2 || (q == l2 && (dx < 0 || (dx == 0 && dy < 0)))) && beyond(fa, dx, dy) && beyond(fb, dx, dy)) {
                if (a > b) a = x;
                b = x;
            } else if (a <= b) {
                out->push_back({y, a, b + 1});
                a = 1, b = 0;
            }
        }
        if (a <= b) out->push_back({y, a, b + 1});
    }
    done();
}

void Wide::project(const Face &f)
{
    // On level and upright faces the X server's cap is a rectangle of
    // whole pixels, placed as found by comparison: left of a level face's
    // point whichever way its segment runs, and along an upright segment
    // for the segment's length (upwards) or from half a width above it.
    const int h1 = lw >> 1;
    if (f.dy == 0) {
        rect(f.x - h1, f.y - h1, h1 + 1, lw);
        return;
    }
    if (f.dx == 0) {
        if (f.dy > 0) rect(f.x - h1, f.y - h1, lw, f.dy + h1);
        else rect(f.x - h1, f.y, lw, -f.dy + h1);
        return;
    }
    const double L = std::hypot((double)f.dx, (double)f.dy), r = (lw / 2.0) / L;
    const double px = -r * f.dx, py = -r * f.dy;  // outwards, half a width
    Corner v[4] = {{f.x, f.y, f.ox, f.oy}, {f.x, f.y, f.ox + px, f.oy + py}, {f.x, f.y, -f.ox + px, -f.oy + py},
                   {f.x, f.y, -f.ox, -f.oy}};
    Side e[4] = {{f.x, f.y, f.dx, f.dy, f.ox * f.dy - f.oy * f.dx},
                 {f.x, f.y, -f.dy, f.dx, v[1].x * f.dx + v[1].y * f.dy},
                 {f.x, f.y, f.dx, f.dy, -f.ox * f.dy + f.oy * f.dx},
                 {f.x, f.y, -f.dy, f.dx, 0.0}};
    poly(v, e, 4);
}

void Wide::dash_segment(int x1, int y1, int x2, int y2, bool projl, bool projr, int style, int cap,
                        const std::vector<int> &len, int &idx, int &off, Spans *fg, Spans *bg, Face &f1, Face &f2)
{
    const int dx = x2 - x1, dy = y2 - y1, nd = (int)len.size();
    const double l = lw / 2.0;
    double L, rdx, rdy;
    if (dx == 0) {
        L = std::abs(dy), rdx = 0, rdy = dy < 0 ? -l : l;
    } else if (dy == 0) {
        L = std::abs(dx), rdx = dx < 0 ? -l : l, rdy = 0;
    } else {
        L = std::hypot((double)dx, (double)dy);
        const double r = l / L;
        rdx = r * dx, rdy = r * dy;
    }
    const double k = l * L;
    f1 = {x1, y1, dx, dy, rdy, -rdx, k};
    f2 = {x2, y2, -dx, -dy, -rdy, rdx, k};
    const bool onoff = style == 1, projdash = onoff && cap == 3;
    // Corners of the current piece around the path from (x1, y1): top and
    // right on one side, bottom and left on the other; the dash ends are
    // the right and left sides, moved along the path as the pattern goes.
    Corner top{x1, y1, rdy, -rdx}, right = top, bot{x1, y1, -rdy, rdx}, left = bot;
    Side stop{x1, y1, dx, dy, k}, sright{x1, y1, -dy, dx, 0}, sbot{x1, y1, -dx, -dy, k}, sleft{x1, y1, dy, -dx, 0};
    auto across = [&](const Corner &c) { return c.x * dx + c.y * dy; };  // k of a dash end through c
    if (projl) {
        top.x -= rdx, top.y -= rdy;
        left.x -= rdx, left.y -= rdy;
        sleft.k = rdx * dx + rdy * dy;
    }
    auto fill = [&](Spans *to) {
        Spans *keep = out;
        out = to;
        Corner v[4] = {top, right, bot, left};
        Side e[4] = {stop, sright, sbot, sleft};
        poly(v, e, 4);
        out = keep;
    };
    // Round ends of on-off dashes: discs about the pattern's points on
    // the path, cut at the dash's end when clip_round.
    const bool rounddash = onoff && cap == 2;
    const Face into{0, 0, dx, dy, 0, 0, 0}, back{0, 0, -dx, -dy, 0, 0, 0};
    double lcx = x1, lcy = y1, rcx = x1, rcy = y1;
    auto round_end = [&](double cx, double cy, const Face *f) {
        Spans *keep = out;
        out = fg;
        real_disc(cx, cy, clip_round ? f : nullptr, nullptr);
        out = keep;
    };
    int remain = len[idx] - off;
    double lremain = L;
    bool first = true;
    while (lremain > remain) {
        const double ddx = (remain * dx) / L, ddy = (remain * dy) / L;
        rcx = lcx + ddx, rcy = lcy + ddy;
        right.x += ddx, right.y += ddy;
        bot.x += ddx, bot.y += ddy;
        sright.k = across(right);
        if (!onoff || !(idx & 1)) {
            const Corner sr = right, sb = bot;
            const double sk = sright.k;
            if (projdash) {
                // Each on dash of an on-off line gets its own caps.
                if (!first) {
                    top.x -= rdx, top.y -= rdy;
                    left.x -= rdx, left.y -= rdy;
                    sleft.k = -across(left);
                }
                right.x += rdx, right.y += rdy;
                bot.x += rdx, bot.y += rdy;
                sright.k = across(right);
            }
            fill((idx & 1) ? bg : fg);
            right = sr, bot = sb, sright.k = sk;
            if (rounddash) {
                if (!first) round_end(lcx, lcy, &into);
                round_end(rcx, rcy, &back);
            }
        }
        lcx = rcx, lcy = rcy;
        lremain -= remain;
        idx = (idx + 1) % nd;
        remain = len[idx];
        top = right, left = bot;
        sleft.k = -sright.k;
        first = false;
    }
    if (!onoff || !(idx & 1)) {
        // The last piece, its corners now from (x2, y2).
        for (Corner *c : {&top, &left}) c->bx = x2, c->by = y2, c->x -= dx, c->y -= dy;
        right = {x2, y2, rdy, -rdx};
        bot = {x2, y2, -rdy, rdx};
        stop.bx = sright.bx = sbot.bx = sleft.bx = x2;
        stop.by = sright.by = sbot.by = sleft.by = y2;
        sright.k = 0;
        if (projr) {
            right.x += rdx, right.y += rdy;
            bot.x += rdx, bot.y += rdy;
            sright.k = across(right);
        }
        if (!first && projdash) {
            top.x -= rdx, top.y -= rdy;
            left.x -= rdx, left.y -= rdy;
            sleft.k = -across(left);
        } else {
            sleft.k += (double)dx * dx + (double)dy * dy;
        }
        fill((idx & 1) ? bg : fg);
        if (!first && rounddash) round_end(rcx, rcy, &into);
    }
    // What is left of the dash carries on whole (the fraction is dropped).
    remain = (int)((double)remain - lremain);
    if (remain == 0) {
        idx = (idx + 1) % nd;
        remain = len[idx];
    }
    off = len[idx] - remain;
}

}  // namespace

void GRaster::wide_dashes(const GRasterGC &gc, const int *xy, int n, const std::vector<int> &len, int idx, int off,
                          const Clip &c)
{
    Spans fg, bg;
    Wide wd{gc.line_width, c.y1, c.y2, &fg, {}};
    const int cap = gc.cap_style, join = gc.join_style, style = gc.line_style;
    const bool dbl = style == 2;
    const bool closed = n > 2 && xy[0] == xy[2 * n - 2] && xy[1] == xy[2 * n - 1];
    // The X server unites the pieces only for functions that are not
    // idempotent on paths of three points or more (or with round caps).
    wd.direct = gc.function != 6 || (n < 3 && cap != 2);
    wd.clip_round = (cap == 2 && join != 1) || (join == 1 && cap == 1);
    // Double dashes united: where both colours fall, the later piece's.
    std::vector<std::pair<Span, bool>> order;  // piece, background
    if (wd.direct)
        wd.painted = [&](Spans &s) {
            paint(gc, s, &s == &bg ? gc.bg : gc.fg, c);
            s.clear();
        };
    else if (dbl)
        wd.painted = [&](Spans &s) {
            for (const Span &p : s) order.push_back({p, &s == &bg});
            s.clear();
        };
    bool projl = cap == 3 && !closed, first = true, first_on = false, prev_on = false, end_on = false;
    Face f1, f2, prev, firstf;
    for (int i = 0; i + 1 < n; i++) {
        const int x1 = xy[2 * i], y1 = xy[2 * i + 1], x2 = xy[2 * i + 2], y2 = xy[2 * i + 3];
        if (x1 == x2 && y1 == y2) continue;
        const bool projr = cap == 3 && i == n - 2 && (!closed || !first_on);
        const int start_idx = idx;
        wd.dash_segment(x1, y1, x2, y2, projl, projr, style, cap, len, idx, off, &fg, &bg, f1, f2);
        const bool start_on = !(start_idx & 1);
        end_on = ((idx & 1) != 0) ^ (off != 0);
        if (dbl || start_on) {
            wd.out = start_on ? &fg : &bg;
            if (first || (!dbl && !prev_on)) {
                if (first && closed) {
                    firstf = f1;
                    first_on = start_on;
                } else if (cap == 2) {
                    wd.disc(x1, y1, wd.clip_round ? &f1 : nullptr);
                }
            } else if (join == 1) {
                wd.disc(x1, y1, wd.clip_round ? &prev : nullptr, wd.clip_round ? &f1 : nullptr);
            } else {
                wd.join(prev, f1, join);
            }
        }
        prev = f2;
        prev_on = end_on;
        first = projl = false;
    }
    if (!first) {
        if (dbl || end_on) {
            wd.out = end_on ? &fg : &bg;
            if (closed && (dbl || first_on)) {
                if (join == 1) wd.disc(prev.x, prev.y, wd.clip_round ? &prev : nullptr, wd.clip_round ? &firstf : nullptr);
                else wd.join(prev, firstf, join);
            } else if (cap == 2) {
                wd.disc(prev.x, prev.y, wd.clip_round ? &prev : nullptr);
            }
        } else if (closed && first_on && cap == 3) {
            wd.out = &fg;
            wd.project(firstf);
        } else if (closed && first_on && cap == 2) {
            wd.out = &fg;
            wd.disc(firstf.x, firstf.y, wd.clip_round ? &firstf : nullptr);
        }
    } else if ((cap == 3 || cap == 2) && (dbl || !(idx & 1))) {
        const int h = gc.line_width >> 1;
        wd.out = (idx & 1) ? &bg : &fg;
        if (cap == 3) wd.rect(xy[0] - h, xy[1] - h, gc.line_width, gc.line_width);
        else wd.disc(xy[0], xy[1]);
    }
    if (!order.empty()) {
        int x1 = 1 << 30, x2 = -(1 << 30), y1 = 1 << 30, y2 = -(1 << 30);
        for (auto &[p, in_bg] : order) {
            x1 = std::min(x1, std::max(p.x1, c.x1)), x2 = std::max(x2, std::min(p.x2, c.x2));
            y1 = std::min(y1, p.y), y2 = std::max(y2, p.y + 1);
        }
        if (x2 > x1 && y2 > y1) {
            const int bw = x2 - x1;
            std::vector<uint8_t> owner((size_t)bw * (y2 - y1), 0);  // 1 fg, 2 bg
            for (auto &[p, c] : order)
                for (int x = std::max(p.x1, x1); x < std::min(p.x2, x2); x++)
                    owner[(size_t)(p.y - y1) * bw + (x - x1)] = c ? 2 : 1;
            for (int y = y1; y < y2; y++)
                for (int x = x1; x < x2; x++) {
                    const uint8_t o = owner[(size_t)(y - y1) * bw + (x - x1)];
                    if (o) (o == 2 ? bg : fg).push_back({y, x, x + 1});
                }
        }
    }
    paint(gc, bg, gc.bg, c);
    paint(gc, fg, gc.fg, c);
}

void GRaster::wide_lines(const GRasterGC &gc, const int *xy, int n, const Clip &c)
{
    if (gc.line_style != 0) {
        Dash d(gc);
        if (!d.len.empty()) {
            wide_dashes(gc, xy, n, d.len, d.idx, d.len[d.idx] - d.left, c);
            return;
        }
    }
    Spans sp;
    Wide wd{gc.line_width, c.y1, c.y2, &sp, {}};
    wd.direct = gc.function != 6 || (n < 3 && gc.cap_style != 2);
    const int cap = gc.cap_style, join = gc.join_style;
    // A path ending where it starts is joined there and has no caps.
    const bool closed = n > 2 && xy[0] == xy[2 * n - 2] && xy[1] == xy[2 * n - 1];
    // Round caps and joins are whole discs (overlapping the segments),
    // except on lines wider than 2 where only one of them is round, or the
    // join is round and the caps butt: there only the part beyond the
    // segments' ends is drawn.
    const bool clip_round = gc.line_width > 2 && ((cap == 2 && join != 1) || (join == 1 && cap == 1));
    const bool clip_caps = clip_round, clip_joins = clip_round;
    bool projl = cap == 3 && !closed, first = true;
    Face f1, f2, prev, firstf;
    // A segment whose rows, widened by line_reach, miss the rows drawn on
    // is passed over with the joins and caps at its ends: they lie as far
    // off.  A picture drawn in bands of rows skips most of a long path so.
    const int reach = line_reach(gc.line_width);
    auto near = [&](int ya, int yb) { return std::min(ya, yb) - reach < c.y2 && std::max(ya, yb) + reach >= c.y1; };
    bool prev_in = false, first_in = false;
    for (int i = 0; i + 1 < n; i++) {
        const int x1 = xy[2 * i], y1 = xy[2 * i + 1], x2 = xy[2 * i + 2], y2 = xy[2 * i + 3];
        if (x1 == x2 && y1 == y2) continue;  // a point on the way adds nothing
        const bool projr = cap == 3 && !closed && i == n - 2;
        const bool in = near(y1, y2);
        if (in) wd.segment(x1, y1, x2, y2, projl, projr, f1, f2);
        if (first) {
            firstf = f1;
            first_in = in;
            if (in && cap == 2 && !closed) wd.disc(x1, y1, clip_caps ? &f1 : nullptr);
        } else if (!in || !prev_in) {
        } else if (join == 1) {
            wd.disc(x1, y1, clip_joins ? &prev : nullptr, clip_joins ? &f1 : nullptr);
        } else {
            wd.join(prev, f1, join);
        }
        prev = f2;
        prev_in = in;
        first = projl = false;
    }
    if (first && cap == 3) {
        // Every point the same: a projecting cap makes a square, a round
        // one a disc.
        const int h = gc.line_width >> 1;
        wd.rect(xy[0] - h, xy[1] - h, gc.line_width, gc.line_width);
    } else if (first && cap == 2) {
        wd.disc(xy[0], xy[1]);
    } else if (!first && closed) {
        if (!prev_in || !first_in) {
        } else if (join == 1) {
            wd.disc(xy[0], xy[1], clip_joins ? &prev : nullptr, clip_joins ? &firstf : nullptr);
        } else {
            wd.join(prev, firstf, join);
        }
    } else if (!first && cap == 2 && prev_in) {
        wd.disc(prev.x, prev.y, clip_caps ? &prev : nullptr);
    }
    paint(gc, sp, gc.fg, c);
}

// ---- wide lines kept and drawn in bands ----

bool GRaster::keep(const GRasterGC &gc, const int *xy, int n)
{
    // Only what a band can draw alone: the copy function, one colour (no
    // stipple), and a path (a lone point is drawn at once).
    if (gc.function != 3 || gc.fill_style != 0 || n < 2) return false;
    const Clip c = gc.clip ? clip_rect(gc.clip_x, gc.clip_y, gc.clip_w, gc.clip_h) : Clip{0, 0, w_, h_};
    // Rows the line may reach: its points' rows widened by line_reach.
    int top = xy[1], bottom = xy[1];
    for (int i = 1; i < n; i++) top = std::min(top, xy[2 * i + 1]), bottom = std::max(bottom, xy[2 * i + 1]);
    const int reach = line_reach(gc.line_width);
    top = std::max(c.y1, top - reach);
    bottom = std::min(c.y2, bottom + reach + 1);
    if (c.x1 >= c.x2 || top >= bottom) return true;  // nothing to draw
    if (kept_gc_.empty() || !(kept_gc_.back() == gc)) kept_gc_.push_back(gc);
    kept_.push_back({kept_gc_.size() - 1, kept_xy_.size(), n, c, top, bottom});
    kept_xy_.insert(kept_xy_.end(), xy, xy + 2 * (size_t)n);
    return true;
}

void GRaster::flush() const
{
    if (!kept_.empty()) const_cast<GRaster *>(this)->draw_kept();
}

void GRaster::draw_kept()
{
    // Rows still to be cleared get their colour first: the bands then
    // touch nothing the others read or write.
    settle_all();
    int top = h_, bottom = 0;
    size_t work = 0;
    for (const Kept &k : kept_) {
        top = std::min(top, k.top), bottom = std::max(bottom, k.bottom);
        work += (size_t)k.n * (size_t)(kept_gc_[k.gc].line_width + 1) * 8;
    }
    auto band = [&](int y0, int y1) {
        for (const Kept &k : kept_) {
            if (k.bottom <= y0 || k.top >= y1) continue;
            const Clip c{k.clip.x1, std::max(k.clip.y1, y0), k.clip.x2, std::min(k.clip.y2, y1)};
            wide_lines(kept_gc_[k.gc], kept_xy_.data() + k.at, k.n, c);
        }
    };
    // One band a thread: a band works out the corners of every segment
    // that comes near it, so more bands than threads would repeat that work.
    if (top < bottom) WORK_rows(bottom - top, WORK_thread_count(work), [&](int a, int z) { band(top + a, top + z); });
    kept_.clear();
    kept_gc_.clear();
    kept_xy_.clear();
}
