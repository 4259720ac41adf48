// Map database files: reading the text and big-endian forms, projecting the
// segments into the current domain, breaking lines at unprojectable points
// and at the map's cut, and handing finished lines to the kernel.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "gks/gks.h"
#include "map/map.h"
#include "map/overlay_internal.h"

namespace {

MAP_LINE_SINK line_sink = nullptr;

// A map file's points per segment: the header's int16 count caps it.
constexpr long MAX_COUNT = 32767;
constexpr int FIXED_POINTS = 1000;

// Projects one segment and draws it in pieces.
class LineBuilder {
public:
    explicit LineBuilder(int proj) : proj_(proj) {}

    void add(float lat, float lon)
    {
        float x, y;
        if (!MAP_tran(&x, &y, lat, lon)) {
            flush();
            return;
        }
        if (!pts_.empty()) {
            float px = pts_[pts_.size() - 2];
            float dx = x - px;
            if (dx < -20.0f || dx > 20.0f) {
                float p = period(y);
                if (p > 0) {
                    // Draw up to the point shifted across the cut, then
                    // start again at its own position.
                    pts_.push_back(dx < 0 ? x + p : x - p);
                    pts_.push_back(y);
                    flush();
                }
            }
        }
        pts_.push_back(x);
        pts_.push_back(y);
    }

    void flush()
    {
        if (pts_.size() >= 4) MAP_emit_line((int)(pts_.size() / 2), pts_.data());
        pts_.clear();
    }

private:
    float period(float y) const
    {
        switch (proj_) {
        case DOM_LATLON: return 360.0f;
        case DOM_MERC: return 400.31555892808814f;
        case DOM_LAMB: return 1000.0f;
        case DOM_MOLL: {
            float t = 1.0f - (y / 63.713f) * (y / 63.713f);
            return t > 0 ? 254.852f * std::sqrt(t) : 0.0f;
        }
        default: return 0.0f;
        }
    }

    int proj_;
    std::vector<float> pts_;
};

uint32_t be32(const unsigned char *p)
{
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

float bef(const unsigned char *p)
{
    uint32_t u = be32(p);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

// One segment's points, latitude/longitude pairs: up to FIXED_POINTS in the
// fixed buffer, longer segments in a buffer of their own.
struct Points {
    float fixed[2 * FIXED_POINTS];
    std::vector<float> big;
    float *get(long n)
    {
        if (n <= FIXED_POINTS) return fixed;
        big.resize((size_t)n * 2);
        return big.data();
    }
};

// The window's plot rectangle widened by a margin of pixels: pieces of map
// lines beyond it set no pixel of the window however they run.  on is false
// where the pieces must be drawn as they are: devices that keep vectors
// (a file keeps what lies outside the page), a line sink, filled outlines.
struct Visible {
    bool on = false;
    float x0 = 0, x1 = 0, y0 = 0, y1 = 0;
};

Visible visible_area(float width)
{
    Visible v;
    const int w = gget_window_width(), h = gget_window_height();
    if (!gtype_is_WIN() || line_sink || MAP_get_fill() || w < 1 || h < 1) return v;
    const float m = 64.0f + 4.0f * std::max(width, 0.0f);
    const float xa = xp_W(-m), xb = xp_W((float)(w - 1) + m), ya = yp_W(-m), yb = yp_W((float)(h - 1) + m);
    v.x0 = std::min(xa, xb), v.x1 = std::max(xa, xb), v.y0 = std::min(ya, yb), v.y1 = std::max(ya, yb);
    v.on = std::isfinite(v.x0) && std::isfinite(v.x1) && std::isfinite(v.y0) && std::isfinite(v.y1);
    return v;
}

// Pieces of CHUNK points whose rectangle lies outside the visible area are
// replaced by the line between their ends: that line stays in the
// rectangle, so no pixel of the window changes, and a solid line has no
// dash pattern to shift.  Pieces narrower than the cut's jump test (20
// plot units) keep the jump test's answers.
constexpr long CHUNK = 32;

void add_points(LineBuilder &line, const float *p, long count, const Visible &v)
{
    for (long i = 0; i < count; i += CHUNK) {
        const long k = std::min(count, i + CHUNK);
        float b[4];
        if (v.on && k - i > 2 && MAP_bound((int)(k - i), p + 2 * i, b) && b[1] - b[0] < 19.0f &&
            (b[1] < v.x0 || b[0] > v.x1 || b[3] < v.y0 || b[2] > v.y1)) {
            line.add(p[2 * i], p[2 * i + 1]);
            line.add(p[2 * (k - 1)], p[2 * (k - 1) + 1]);
            continue;
        }
        for (long j = i; j < k; ++j) line.add(p[2 * j], p[2 * j + 1]);
    }
}

int read_map(FILE *fp, const Visible &v);

}  // namespace

int MAP_map(FILE *fp) { return read_map(fp, Visible{}); }

int MAP_map_solid(FILE *fp, float width) { return read_map(fp, visible_area(width)); }

void MAP_set_line_sink(MAP_LINE_SINK sink) { line_sink = sink; }

bool MAP_has_line_sink() { return line_sink != nullptr; }

void MAP_emit_line(int n, const float *pts)
{
    if (n < 2) return;
    int filled = MAP_get_fill();
    if (line_sink) {
        line_sink(n, pts, filled);
        return;
    }
    if (filled) gfill_area(n, pts);
    else gpolyline(n, pts);
}

namespace {

int read_map(FILE *fp, const Visible &v)
{
    if (!fp) return -1;
    const int proj = MAP_get_proj();
    static Points buf;  // one buffer for the process: the overlay is single-threaded
    int form = 0;       // 0 undecided, 1 text, 2 big-endian
    for (;;) {
        long count = 0;
        if (form != 2) {
            long start = std::ftell(fp);
            // The count is read wider than its int16 so that an oversized
            // one is refused rather than wrapped.
            long n;
            float h[4];
            long ident;
            int got = std::fscanf(fp, "%ld %f %f %f %f %ld", &n, &h[0], &h[1], &h[2], &h[3], &ident);
            if (got == EOF && form == 1) return 0;
            if (got < 6) {
                if (form == 1) return -1;
                // Not text: the same header again as binary.
                if (start < 0 || std::fseek(fp, start, SEEK_SET) != 0) return -1;
                form = 2;
            } else {
                form = 1;
                count = n;
            }
        }
        if (form == 2) {
            unsigned char h[22];
            size_t got = std::fread(h, 1, sizeof h, fp);
            if (got == 0) return 0;
            if (got < sizeof h) return -1;
            count = (int16_t)((h[0] << 8) | h[1]);
        }
        if (count == 0) return 0;
        if (count < 0 || count > MAX_COUNT) return -1;
        float *p = buf.get(count);
        if (form == 1) {
            for (long i = 0; i < count; ++i)
                if (std::fscanf(fp, "%f %f", &p[2 * i], &p[2 * i + 1]) != 2) return -1;
        } else {
            size_t bytes = (size_t)count * 8;
            unsigned char raw[8 * 256];
            for (size_t done = 0; done < bytes;) {
                size_t want = std::min(sizeof raw, bytes - done);
                if (std::fread(raw, 1, want, fp) != want) return -1;
                for (size_t k = 0; k < want; k += 4) p[(done + k) / 4] = bef(raw + k);
                done += want;
            }
        }
        LineBuilder line(proj);
        add_points(line, p, count, v);
        line.flush();
    }
}

}  // namespace
