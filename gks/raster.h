// An in-memory 24-bit picture drawn by the X11 protocol's rules, the
// drawing surface of a window workstation without an X server.
//
// Pixels are 0xRRGGBB, rows from the top.  What is drawn matches a 24-bit
// X server (Xvfb) pixel for pixel, checked by drawing the same requests on
// one and comparing every pixel:
// - thin (width 0) lines: the protocol leaves them to the server; this is
//   the Bresenham variant Xvfb uses: the major axis steps each pixel, the
//   minor one when the error term e = 2 * minor - major (then + 2 * minor
//   or + 2 * (minor - major)) is at least 0.  Each segment leaves its last
//   pixel to the next; dashes count pixels and run on across segments;
// - wide lines (width 1 and up): each segment the polygon around its path
//   (corners in double precision), a pixel drawn when its centre is inside
//   or on a left or upper edge; butt, projecting and round caps; bevel,
//   miter (bevel below 11 degrees) and round joins; dashes measured along
//   the path, each on dash capped; the pieces of one request united, so an
//   exclusive-or changes each pixel once (as the server does for them);
// - polygons, with the even-odd rule: pixel (x, y) is inside when the
//   point (x, y) itself is, a point on a left or upper edge counting;
// - stipples anchored at (ts_x, ts_y), only set bits drawn (points are
//   drawn plain, as the server draws them);
// - a clip rectangle cuts what is drawn without changing which pixels the
//   unclipped primitive would set.
// Known differences (none used by the window's contexts): miter joins of
// width 1 now and then differ in a pixel next to the tip; round ends of
// dashes and double dashes under an exclusive-or or with round joins
// differ at the rim; a closed on-off dashed path with projecting caps that
// ends in a gap gets its start cap only roughly.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace rast {
struct Span;
struct Dash;
}

// Drawing state of one call, as an X graphics context holds it.  Values are
// the Xlib constants' numbers so the window code can pass its GC values on.
struct GRasterGC {
    uint32_t fg = 0;            // 0xRRGGBB
    uint32_t bg = 0xFFFFFF;     // second colour of double dashes
    int function = 3;           // 3 GXcopy, 6 GXxor (dst ^= fg)
    int line_width = 0;         // 0 thin line
    int line_style = 0;         // 0 LineSolid, 1 LineOnOffDash, 2 LineDoubleDash
    int cap_style = 1;          // 0 CapNotLast, 1 CapButt, 2 CapRound, 3 CapProjecting
    int join_style = 0;         // 0 JoinMiter, 1 JoinRound, 2 JoinBevel
    std::vector<unsigned char> dashes{4, 4};
    int dash_offset = 0;
    int fill_style = 0;         // 0 FillSolid, 2 FillStippled
    int stipple_w = 0, stipple_h = 0;
    std::vector<uint8_t> stipple;   // stipple_w * stipple_h, 1 = draw
    int ts_x = 0, ts_y = 0;     // stipple origin
    bool clip = false;          // one clip rectangle when set
    int clip_x = 0, clip_y = 0, clip_w = 0, clip_h = 0;

    bool operator==(const GRasterGC &) const = default;
};

// A picture's pixels.  New pixels are left uninitialised: a picture is
// cleared (a row at a time, as it is drawn on or read) or drawn over before
// anything reads it, so zeroing megabytes first would be a wasted pass.
template <class T> struct UninitAlloc : std::allocator<T> {
    template <class U> struct rebind {
        using other = UninitAlloc<U>;
    };
    UninitAlloc() = default;
    template <class U> UninitAlloc(const UninitAlloc<U> &) noexcept {}
    template <class U, class... A> void construct(U *p, A &&...a)
    {
        if constexpr (sizeof...(A) == 0) ::new ((void *)p) U;
        else ::new ((void *)p) U(std::forward<A>(a)...);
    }
};
using GPixels = std::vector<uint32_t, UninitAlloc<uint32_t>>;

class GRaster {
public:
    GRaster(int w, int h, uint32_t background = 0);

    int width() const { return w_; }
    int height() const { return h_; }
    uint32_t at(int x, int y) const { return flush(), settle_all(), px_[(size_t)y * w_ + x]; }
    const GPixels &pixels() const { return flush(), settle_all(), px_; }
    // The pixels to write in place (whole-picture copies: no clip, no
    // function).
    uint32_t *pixel_data() { return flush(), settle_all(), px_.data(); }
    // The pixels for a caller that writes every pixel of the rectangle
    // (x, y, w, h) inside the picture and nothing else: the rectangle's
    // rows still to be cleared are cleared beside it only, and the other
    // rows are left to be cleared when they are drawn on or read.
    uint32_t *pixel_data_to_cover(int x, int y, int w, int h);

    // Clip rectangle (x, y, width, height); no_clip() draws everywhere.
    void set_clip(int x, int y, int w, int h);
    void no_clip();

    // The whole picture in one colour.  Rows take it when something is
    // drawn on them or the pixels are read, and an image put over part of a
    // row fills only the rest of it: what a frame covers is not cleared
    // first.
    void clear(uint32_t colour);
    void point(int x, int y, uint32_t colour);
    // Even-odd fill of a polygon of n integer vertices (x, y pairs).
    void fill_polygon(const int *xy, int n, uint32_t colour);

    // The Xlib calls of a window, with a graphics context's state: each
    // sets exactly the pixels the X server sets for the same call.
    void draw_lines(const GRasterGC &gc, const int *xy, int n);       // XDrawLines, CoordModeOrigin
    void draw_point(const GRasterGC &gc, int x, int y);
    void fill_polygon(const GRasterGC &gc, const int *xy, int n);     // Complex, EvenOddRule
    void fill_rectangle(const GRasterGC &gc, int x, int y, int w, int h);
    // XPutImage of the w x h part at (sx, sy) of a 0xRRGGBB picture of
    // width src_w, to (dx, dy); a mask (src_w per row, 1 = draw, aligned
    // with src) overlays like a clip mask at (dx - sx, dy - sy).
    void put_image(const GRasterGC &gc, const uint32_t *src, int src_w, int src_h, int sx, int sy, int dx, int dy,
                   int w, int h, const uint8_t *mask = nullptr);

    // Wide lines drawn with the copy function in one colour are kept and
    // drawn together, in horizontal bands on the worker threads, when
    // anything else is drawn or the pixels are read (a map is thousands of
    // them).  Every band draws all of them in order, each cut to the band's
    // rows, so each pixel ends as drawing them one by one leaves it.
    // flush() draws the kept lines now.
    void flush() const;

private:
    friend struct rast::Dash;
    // Rows y1 <= y < y2 and columns x1 <= x < x2 a request may draw on.
    struct Clip {
        int x1, y1, x2, y2;
    };
    Clip clip() const { return {cx1_, cy1_, cx2_, cy2_}; }
    // The rectangle (x, y, w, h) cut to the picture.
    Clip clip_rect(int x, int y, int w, int h) const
    {
        return {std::max(0, x), std::max(0, y), std::min(w_, x + std::max(0, w)), std::min(h_, y + std::max(0, h))};
    }
    // A kept wide line: its context (an index into kept_gc_), its points
    // (from kept_xy_[at], n pairs), its clip and the rows it may reach.
    struct Kept {
        size_t gc, at;
        int n;
        Clip clip;
        int top, bottom;
    };
    bool keep(const GRasterGC &gc, const int *xy, int n);
    void draw_kept();
    bool inside(int x, int y) const { return x >= cx1_ && x < cx2_ && y >= cy1_ && y < cy2_; }
    static bool stipple_ok(const GRasterGC &gc, int x, int y);
    // One pixel through the context: clip, stipple, function.
    void plot(const GRasterGC &gc, int x, int y, uint32_t colour);
    // Spans of one request, united, through the context.
    // Rows and columns outside `c` are left alone (the stippled path plots
    // through the picture's own clip, which is then `c`).
    void paint(const GRasterGC &gc, std::vector<rast::Span> &sp, uint32_t colour, const Clip &c);
    void thin_segment(const GRasterGC &gc, int x1, int y1, int x2, int y2, rast::Dash &dash);
    void wide_lines(const GRasterGC &gc, const int *xy, int n, const Clip &c);
    void wide_dashes(const GRasterGC &gc, const int *xy, int n, const std::vector<int> &len, int idx, int off,
                     const Clip &c);
    // A row cleared but not yet filled gets its colour now.
    void settle_row(int y) const
    {
        if (!pending_.empty() && pending_[(size_t)y]) fill_row(y);
    }
    void fill_row(int y) const;
    // A row cleared but not yet filled, about to be written from column x0
    // to x1 (not included): the clear colour goes beside that run only.
    void settle_beside(int y, int x0, int x1);
    void settle_all() const;
    int w_, h_;
    int cx1_, cy1_, cx2_, cy2_;
    mutable GPixels px_;
    mutable std::vector<uint8_t> pending_;  // rows still to take pending_colour_ (empty: none)
    mutable size_t pending_rows_ = 0;
    uint32_t pending_colour_ = 0;
    mutable std::vector<Kept> kept_;
    mutable std::vector<GRasterGC> kept_gc_;
    mutable std::vector<int> kept_xy_;
};
