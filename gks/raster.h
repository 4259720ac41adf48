// An in-memory 24-bit picture drawn by the X11 protocol's rules, the
// drawing surface of a window workstation without an X server.
//
// Pixels are 0xRRGGBB, rows from the top.  What is drawn matches a 24-bit
// X server (Xvfb) pixel for pixel:
// - thin (width 0) lines: the protocol leaves them to the server; this is
//   the Bresenham variant Xvfb uses, found by comparing every direction:
//   the major axis steps each pixel, the minor one when the error term
//   e = 2 * minor - major (then + 2 * minor or + 2 * (minor - major)) is at
//   least 0, the first point drawn and, as with cap style butt, the last;
// - polygons, with the even-odd rule: as Xvfb fills them (its edge walk,
//   compared on random concave and self-crossing polygons), pixel (x, y)
//   is inside when the point (x, y) itself is, a point on a left or upper
//   edge counting and one on a right or lower edge not;
// - a clip rectangle cuts what is drawn without changing which pixels the
//   unclipped primitive would set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class GRaster {
public:
    GRaster(int w, int h, uint32_t background = 0);

    int width() const { return w_; }
    int height() const { return h_; }
    uint32_t at(int x, int y) const { return px_[(size_t)y * w_ + x]; }
    const std::vector<uint32_t> &pixels() const { return px_; }

    // Clip rectangle (x, y, width, height); no_clip() draws everywhere.
    void set_clip(int x, int y, int w, int h);
    void no_clip();

    void clear(uint32_t colour);
    void point(int x, int y, uint32_t colour);
    void thin_line(int x1, int y1, int x2, int y2, uint32_t colour);
    // Connected thin lines through n points; a joint pixel is drawn once.
    void thin_lines(const int *xy, int n, uint32_t colour);
    // Even-odd fill of a polygon of n integer vertices (x, y pairs).
    void fill_polygon(const int *xy, int n, uint32_t colour);
    void fill_rect(int x, int y, int w, int h, uint32_t colour);

private:
    bool inside(int x, int y) const { return x >= cx1_ && x < cx2_ && y >= cy1_ && y < cy2_; }
    int w_, h_;
    int cx1_, cy1_, cx2_, cy2_;
    std::vector<uint32_t> px_;
};
