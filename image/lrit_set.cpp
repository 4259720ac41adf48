// LRIT/HRIT segment sets: the segments of one image (in any order, with or
// without their prologue and epilogue) read into one image, the values at
// its pixels, and the key that tells which files belong together.
//
// Rows are placed by the segments' own headers, in the scan order of the
// files (the picture is turned afterwards when CFAC says so, as for one
// segment):
// - the 13-byte segment record (EUMETSAT: MSG, first-generation Meteosat,
//   GOES and others relayed by EUMETCast) gives LOFF per segment, so a
//   segment's first line is the image's LOFF minus its own; the image's LOFF
//   comes from the lowest segment present, whose first line is its segment
//   number past the planned first segment times the segment height (the
//   tallest segment present).  The image spans the planned segments;
// - the 7-byte record (KMA, JMA) gives the segment's first line; the image
//   ends with the last segment's last line, or, when the last segment is
//   missing, the segment height per missing segment past the last present.
// Lines of missing segments keep the count IMG_COUNT_MISSING.  Two files
// claiming the same lines, files of different images and files that are
// neither segment, prologue nor epilogue are refused with a message naming
// the file.
//
// MSG's high-resolution visible channel (HRV) is 24 segments of 464 lines of
// 5568 columns on a reference grid of 11136 x 11136 at a third of the VIS/IR
// step, whose lines run from the south and columns from the east like the
// files' scan order.  Each line's 5568 columns are one of two windows (the
// lower and the upper one, at different columns) and the prologue's planned
// HRV coverage, or the epilogue's actual one when the planned one is all
// zero, says which lines each window spans and at which column it starts:
// column k of a line of the lower window is grid column LowerEast + k, and
// likewise for the upper one.  So an HRV set is 11136 columns wide, its lines
// are shifted by their window, columns outside the windows and lines outside
// both are missing.  The segments' COFF (5566) is the reference grid's, so
// the whole image navigates as the grid does, at a third of the VIS/IR step:
// an HRV pixel lies over the place of the IR pixel it belongs to.  Without a
// coverage (no prologue, no epilogue, or zero in both) the segments are
// placed as any other set: 5568 columns wide, moved by the difference of
// their COFF, as far as their headers state it.  A coverage that puts
// columns outside the grid or a window wider or narrower than a line is
// clipped to the grid and to the line, with a message.
//
// MSG sets with their prologue are calibrated (image/msg_calib.h): the
// infrared channels' counts go on the program's infrared temperature scale
// and their values are brightness temperatures in K; the solar channels
// keep their counts and their values are radiances.  Other sets keep their
// counts, and their values are the files' counts (units "count").
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/util.h"
#include "files/date.h"
#include "image/lrit_internal.h"
#include "image/msg_calib.h"
#include "image/rdr_util.h"
#include "image/reader_formats.h"

namespace rdr {

namespace {

constexpr uint32_t ERR = MESS_WARN;

// Where each segment goes in the image, in scan lines counted from 0.
struct Part {
    int src;    // index of its source
    int first;  // its first line in the image, in the files' scan order
    int lines;
    int shift;  // columns the segment is moved by (COFF of the image minus its own)
};

// The columns [from, to) of a segment line that land in the image, at
// column c + shift of the image for the segment's column c (both in the
// files' scan order); from == to when none does.
struct Columns {
    int from = 0, to = 0, shift = 0;
};

// An HRV window as placed: lines [south, north] of the grid, and the columns
// of a segment line it keeps.
struct HrvWindow {
    int64_t south = 1, north = 0;
    Columns cols;
};

struct Layout {
    int cols = 0, lines = 0;
    int seg_cols = 0;      // columns of a segment
    bool hrv = false;      // an MSG HRV set placed by its coverage
    int64_t grid_line = 1; // HRV: grid line of the image's first line
    HrvWindow windows[2];  // HRV: lower, upper
    bool turned = false;   // the picture is turned by 180 degrees on reading
    int anchor = -1;       // source whose headers name and date the image
    int32_t loff = 0, coff = 0;  // of the image, its first line being line 1
    int pro = -1, epi = -1;      // sources of the prologue and epilogue
    std::vector<Part> parts;
};

const char *name_of(const IMG_SOURCE *sources, int i) { return sources[i].name; }

// n bytes at `at` of the data field of a source whose headers are `h`.
bool read_field(const IMG_SOURCE &src, const LritHeader &h, size_t at, unsigned char *buf, size_t n)
{
    SourceStream in(&src);
    FILE *f = in.get();
    return f && fseek(f, (long)(h.total + (int64_t)at), SEEK_SET) == 0 && fread(buf, 1, n, f) == n;
}

// A window of the coverage placed for segment lines of `seg_cols` columns on
// the grid, clipped to it; false when it had to be clipped.  A window of
// zeros is not used and keeps no line.
bool place_window(const MsgHrvWindow &w, int seg_cols, HrvWindow *out)
{
    if (!w.south && !w.north && !w.east && !w.west) {
        *out = HrvWindow{};
        return true;
    }
    const int64_t g = MSG_HRV_GRID;
    out->south = std::max<int64_t>(w.south, 1);
    out->north = std::min<int64_t>(w.north, g);
    // Segment column c is grid column east + c, image column east - 1 + c;
    // kept while within the window, the line and the grid.
    const int64_t shift = (int64_t)w.east - 1;
    const int64_t from = std::max<int64_t>(0, -shift);
    const int64_t to = std::min({(int64_t)seg_cols, (int64_t)w.west - shift, g - shift});
    out->cols = to > from ? Columns{(int)from, (int)to, (int)shift} : Columns{};
    const bool inside = w.east >= 1 && w.west <= g && w.south >= 1 && w.north <= g;
    return inside && (w.north < w.south || (int64_t)w.west - w.east + 1 == seg_cols);
}

// The HRV coverage of a set: the prologue's planned one, or the epilogue's
// actual one when that is zero; false (the set placed without it) when
// neither is there.
bool hrv_coverage(const IMG_SOURCE *sources, const std::vector<LritHeader> &hs, Layout *lay)
{
    const LritHeader &ha = hs[(size_t)lay->anchor];
    if (!ha.seg13 || ha.chan != MSG_CHANNEL_HRV || !msg_platform_name(ha.sat)) return false;
    unsigned char buf[MSG_HRV_COVERAGE_SIZE];
    MsgHrvCoverage cov;
    int from = -1;
    if (lay->pro >= 0 && read_field(sources[lay->pro], hs[(size_t)lay->pro], MSG_PRO_HRV_PLANNED_OFFSET, buf, sizeof buf) &&
        msg_hrv_coverage(buf, sizeof buf, &cov))
        from = lay->pro;
    else if (lay->epi >= 0 && read_field(sources[lay->epi], hs[(size_t)lay->epi], MSG_EPI_HRV_ACTUAL_OFFSET, buf, sizeof buf) &&
             msg_hrv_coverage(buf, sizeof buf, &cov))
        from = lay->epi;
    if (from < 0) {
        if (lay->pro >= 0 || lay->epi >= 0)
            MESS_print(ERR, "SAT_read_LRIT: %s: no HRV coverage: segments placed without their windows\n",
                       sources[lay->pro >= 0 ? lay->pro : lay->epi].name);
        return false;
    }
    const MsgHrvWindow *w[2] = {&cov.lower, &cov.upper};
    for (int i = 0; i < 2; ++i)
        if (!place_window(*w[i], ha.cols, &lay->windows[i]))
            MESS_print(ERR, "SAT_read_LRIT: %s: HRV %s window (lines %d..%d, columns %d..%d) does not fit the "
                            "%d-column grid and %d-column lines: clipped\n",
                       sources[from].name, i ? "upper" : "lower", w[i]->south, w[i]->north, w[i]->east, w[i]->west,
                       MSG_HRV_GRID, ha.cols);
    lay->hrv = true;
    return true;
}

// The columns of the segment of part p that land on image line `line` (in
// the files' scan order).
Columns columns_of(const Layout &lay, const Part &p, int line)
{
    if (lay.hrv) {
        const int64_t g = lay.grid_line + line;
        for (const HrvWindow &w : lay.windows)
            if (g >= w.south && g <= w.north) return w.cols;
        return Columns{};
    }
    return Columns{std::max(0, -p.shift), std::min(lay.seg_cols, lay.cols - p.shift), p.shift};
}

// The headers of every source sorted into segments, prologue and epilogue,
// and the segments placed.  false after a message naming the file.
bool make_layout(const IMG_SOURCE *sources, int n, std::vector<LritHeader> &hs, Layout *lay)
{
    hs.assign((size_t)n, LritHeader{});
    std::vector<int> segs;
    for (int i = 0; i < n; ++i) {
        LritHeader &h = hs[(size_t)i];
        if (!lrit_headers(&sources[i], &h)) return false;
        if (h.file_type == 128 && lay->pro < 0) lay->pro = i;
        else if (h.file_type == 129 && lay->epi < 0) lay->epi = i;
        else if (h.file_type == 0 && h.have_struct && h.cols > 0 && h.lines > 0) segs.push_back(i);
        else {
            MESS_print(ERR, "SAT_read_LRIT: %s: not an image segment, prologue or epilogue (file type %d)\n",
                       name_of(sources, i), h.file_type);
            return false;
        }
    }
    if (segs.empty()) {
        MESS_print(ERR, "SAT_read_LRIT: %s: no image segment among the %d files\n", name_of(sources, 0), n);
        return false;
    }
    // The lowest segment anchors the image.
    int a = segs[0];
    for (int i : segs)
        if (hs[(size_t)i].seg < hs[(size_t)a].seg) a = i;
    const LritHeader &ha = hs[(size_t)a];
    int height = 0;
    for (int i : segs) {
        const LritHeader &h = hs[(size_t)i];
        if (h.cols != ha.cols || h.seg13 != ha.seg13 || h.have_seg != ha.have_seg || h.sat != ha.sat ||
            h.chan != ha.chan || h.cfac != ha.cfac || h.lfac != ha.lfac || std::strcmp(h.proj, ha.proj)) {
            MESS_print(ERR, "SAT_read_LRIT: %s: not a segment of the same image as %s\n", name_of(sources, i),
                       name_of(sources, a));
            return false;
        }
        height = std::max(height, h.lines);
    }
    lay->anchor = a;
    lay->cols = lay->seg_cols = ha.cols;
    lay->turned = ha.cfac < 0;
    lay->coff = ha.coff;
    lay->loff = ha.loff;
    int64_t end = 0;
    for (int i : segs) {
        const LritHeader &h = hs[(size_t)i];
        int64_t first = 0;
        if (!ha.have_seg) {
            first = 0;
        } else if (ha.seg13) {
            const int64_t first_a = (int64_t)(ha.seg - ha.first_seg) * height;
            first = ha.have_nav ? first_a + ((int64_t)ha.loff - h.loff) : (int64_t)(h.seg - ha.first_seg) * height;
            lay->loff = (int32_t)(ha.loff + first_a);
        } else {
            first = (int64_t)h.first_line - 1;
        }
        if (first < 0 || first > 1000000) {
            MESS_print(ERR, "SAT_read_LRIT: %s: segment %d placed at line %lld: headers out of order\n",
                       name_of(sources, i), h.seg, (long long)first + 1);
            return false;
        }
        lay->parts.push_back({i, (int)first, h.lines, (int)std::clamp<int64_t>((int64_t)ha.coff - h.coff, -ha.cols, ha.cols)});
        end = std::max(end, first + h.lines);
    }
    // The planned extent of the image.
    int64_t planned = end;
    if (ha.have_seg && ha.seg13 && ha.last_seg >= ha.first_seg)
        planned = (int64_t)(ha.last_seg - ha.first_seg + 1) * height;
    else if (ha.have_seg && !ha.seg13) {
        const Part *last = &lay->parts[0];
        for (const Part &p : lay->parts)
            if (hs[(size_t)p.src].seg > hs[(size_t)last->src].seg) last = &p;
        planned = last->first + last->lines + (int64_t)std::max(0, ha.nseg - hs[(size_t)last->src].seg) * height;
    }
    planned = std::max(planned, end);
    // An HRV image may fill its grid (124 MB of 8-bit pixels), above the
    // bound of other images.
    uint64_t most = MAX_PIXELS;
    if (hrv_coverage(sources, hs, lay)) {
        lay->cols = MSG_HRV_GRID;
        lay->grid_line = (int64_t)(ha.first_seg - 1) * height + 1;
        most = std::max<uint64_t>(most, (uint64_t)MSG_HRV_GRID * MSG_HRV_GRID);
    }
    if ((uint64_t)planned * (uint64_t)lay->cols > most) {
        MESS_print(ERR, "SAT_read_LRIT: %s: image of %dx%lld pixels too large\n", name_of(sources, a), lay->cols,
                   (long long)planned);
        return false;
    }
    lay->lines = (int)planned;
    // No two segments on the same lines.
    std::vector<Part> sorted = lay->parts;
    std::sort(sorted.begin(), sorted.end(), [](const Part &x, const Part &y) { return x.first < y.first; });
    for (size_t k = 1; k < sorted.size(); ++k)
        if (sorted[k].first < sorted[k - 1].first + sorted[k - 1].lines) {
            MESS_print(ERR, "SAT_read_LRIT: %s: segment %d overlaps the lines of %s\n", name_of(sources, sorted[k].src),
                       hs[(size_t)sorted[k].src].seg, name_of(sources, sorted[k - 1].src));
            return false;
        }
    return true;
}

// The MSG calibration of the set's channel from its prologue; false when the
// set has none (no prologue, not MSG, an unusable prologue).
bool set_calibration(const IMG_SOURCE *sources, const std::vector<LritHeader> &hs, const Layout &lay,
                     MsgCalib *calib)
{
    if (lay.pro < 0) return false;
    const LritHeader &ha = hs[(size_t)lay.anchor];
    if (!ha.seg13 || !msg_platform_name(ha.sat) || !msg_channel_name(ha.chan)) return false;
    const IMG_SOURCE &pro = sources[lay.pro];
    const size_t want = MSG_PRO_CALIB_OFFSET + MSG_PRO_CALIB_SIZE;
    std::vector<unsigned char> data(want);
    if (!read_field(pro, hs[(size_t)lay.pro], 0, data.data(), want) ||
        !msg_calibration(data.data(), want, ha.sat, ha.chan, calib)) {
        MESS_print(ERR, "SAT_read_LRIT: %s: prologue without a usable calibration: counts kept\n", pro.name);
        return false;
    }
    return true;
}

// Count to 8-bit value of a calibrated infrared channel.
void temperature_lut(const MsgCalib &c, unsigned char *lut)
{
    lut[0] = IMG_COUNT_MISSING;
    for (int v = 1; v < 1024; ++v) {
        double k;
        lut[v] = msg_temperature(c, c.offset + c.slope * v, &k) ? (unsigned char)rdr::ir_count(k) : 255;
    }
}

// Copies a segment's rows (as read: turned when the image is) to the image.
void place(const Layout &lay, const Part &p, const IMG &seg, IMG *image)
{
    if (seg.nx != lay.seg_cols || seg.ny != p.lines || !seg.data) return;
    for (int r = 0; r < p.lines; ++r) {
        const int line = p.first + r;  // in the files' scan order
        const Columns c = columns_of(lay, p, line);
        if (c.from >= c.to) continue;
        // Turned, the segment's row, its columns and the image's run backwards.
        const int seg_row = lay.turned ? p.lines - 1 - r : r;
        const int row = lay.turned ? lay.lines - 1 - line : line;
        const int src = lay.turned ? lay.seg_cols - c.to : c.from;
        const int dst = lay.turned ? lay.cols - c.to - c.shift : c.from + c.shift;
        std::memcpy(image->data + (size_t)row * lay.cols + dst, seg.data + (size_t)seg_row * seg.bytes_line + src,
                    (size_t)(c.to - c.from));
    }
}

// The annotation, date and date label of the image: the anchor segment's.
void set_labels(const LritHeader &h, IMG *image)
{
    snprintf(image->info, sizeof image->info, "%s", h.annotation.c_str());
    clean_line(image->info);
    image->date = h.date;
    if (h.date.year != DOM_MISSING) DATE_make_label(&image->date, image->date_label);
}

// One segment read alone: its own layout (the value hook of a single file).
bool single_layout(const IMG_SOURCE *sources, std::vector<LritHeader> &hs, Layout *lay)
{
    hs.assign(1, LritHeader{});
    if (!lrit_headers(&sources[0], &hs[0])) return false;
    const LritHeader &h = hs[0];
    if (h.file_type != 0 || !h.have_struct || h.cols < 1 || h.lines < 1) {
        MESS_print(ERR, "SAT_read_LRIT: %s: no image structure or a zero image size\n", sources[0].name);
        return false;
    }
    lay->anchor = 0;
    lay->cols = lay->seg_cols = h.cols;
    lay->lines = h.lines;
    lay->turned = h.cfac < 0;
    lay->parts.push_back({0, 0, h.lines, 0});
    return true;
}

// The EUMETSAT file name fields (H-000-MSG2__-MSG2________-IR_108___-000004___-201010111400-__):
// eight fields between dashes; false when the annotation is not one.
bool eumetsat_fields(const std::string &a, std::vector<std::string> &f)
{
    f.clear();
    size_t start = 0;
    for (;;) {
        const size_t dash = a.find('-', start);
        f.push_back(a.substr(start, dash == std::string::npos ? std::string::npos : dash - start));
        if (dash == std::string::npos) break;
        start = dash + 1;
    }
    return f.size() == 8;
}

std::string trimmed(std::string s)
{
    while (!s.empty() && s.back() == '_') s.pop_back();
    return s;
}

}  // namespace

int lrit_read_set(const IMG_SOURCE *sources, int n, const IMG_WINDOW *window, IMG_READ_OUT *out)
{
    if (n == 1) return lrit_read(sources, window, out);
    IMG *image = out->image;
    IMG_init(image);
    image->source = IMG_SRC_LRIT;
    std::vector<LritHeader> hs;
    Layout lay;
    if (n < 1 || !make_layout(sources, n, hs, &lay)) return IMG_READ_FAILED;
    MsgCalib cal;
    const bool calibrated = set_calibration(sources, hs, lay, &cal);
    unsigned char lut[1024];
    if (calibrated && cal.ir) temperature_lut(cal, lut);
    const LritHeader &ha = hs[(size_t)lay.anchor];
    image->data = static_cast<unsigned char *>(calloc((size_t)lay.cols * lay.lines, 1));
    if (!image->data) {
        MESS_print(ERR, "SAT_read_LRIT: %s: no memory for the pixels\n", sources[lay.anchor].name);
        return IMG_READ_FAILED;
    }
    for (const Part &p : lay.parts) {
        IMG seg;
        if (lrit_read_lut(&sources[p.src], calibrated && cal.ir ? lut : nullptr, &seg) != 0) {
            IMG_free(image);
            return IMG_READ_FAILED;
        }
        place(lay, p, seg, image);
        IMG_free(&seg);
    }
    image->nx = lay.cols;
    image->ny = lay.lines;
    image->bytes_line = lay.cols;
    image->depth = 8;
    image->bits_pixel = 8;
    set_labels(ha, image);
    // The domain of the whole image: its first line is line 1.
    LritHeader whole = ha;
    whole.cols = lay.cols;
    whole.lines = lay.lines;
    whole.first_line = 1;
    whole.loff = lay.loff;
    whole.coff = lay.coff;
    lrit_domain(whole, sources[lay.anchor].name, image);
    if (calibrated) {
        snprintf(image->value_name, sizeof image->value_name, "%s", cal.channel);
        snprintf(image->platform, sizeof image->platform, "%s", cal.platform);
        if (cal.ir) {
            image->value_kind = IMG_VALUE_TEMPERATURE;
            snprintf(image->value_units, sizeof image->value_units, "K");
        }
    }
    return IMG_READ_OK;
}

int lrit_value(const IMG_SOURCE *sources, int n, int col, int row, double *value, char *units,
               size_t units_size)
{
    if (n < 1) return -1;
    std::vector<LritHeader> hs;
    Layout lay;
    if (!(n == 1 ? single_layout(sources, hs, &lay) : make_layout(sources, n, hs, &lay))) return -1;
    const char *name = sources[lay.anchor].name;
    if (col < 0 || row < 0 || col >= lay.cols || row >= lay.lines) {
        MESS_print(ERR, "SAT_read_LRIT: %s: pixel %d,%d outside the %dx%d image\n", name, col, row, lay.cols,
                   lay.lines);
        return -1;
    }
    // The pixel in the files' scan order.
    const int line = lay.turned ? lay.lines - 1 - row : row;
    const int frame_col = lay.turned ? lay.cols - 1 - col : col;
    const Part *part = nullptr;
    for (const Part &p : lay.parts)
        if (line >= p.first && line < p.first + p.lines) part = &p;
    if (!part) return 0;  // a missing segment
    const Columns cols = columns_of(lay, *part, line);
    const int c = frame_col - cols.shift;
    if (c < cols.from || c >= cols.to) return 0;  // outside the segment or its window
    const LritHeader &h = hs[(size_t)part->src];
    const IMG_SOURCE &src = sources[part->src];
    if (h.compress != 0 || h.bits < 1 || h.bits > 16) {
        MESS_print(ERR, "SAT_read_LRIT: %s: values of compressed or %d-bit data are not read\n", src.name, h.bits);
        return -1;
    }
    // The sample's bits, most significant first, from the data field.
    const uint64_t bit = ((uint64_t)(line - part->first) * h.cols + (uint64_t)c) * h.bits;
    unsigned char b[3] = {0, 0, 0};
    SourceStream in(&src);
    FILE *f = in.get();
    const size_t need = (size_t)((bit % 8 + h.bits + 7) / 8);
    if (!f || fseek(f, (long)(h.total + (int64_t)(bit / 8)), SEEK_SET) != 0 || fread(b, 1, need, f) != need) {
        MESS_print(ERR, "SAT_read_LRIT: %s: data field cut short\n", src.name);
        return -1;
    }
    const uint32_t word = (uint32_t)b[0] << 16 | (uint32_t)b[1] << 8 | b[2];
    const unsigned count = (word >> (24 - bit % 8 - h.bits)) & ((1u << h.bits) - 1);
    MsgCalib cal;
    if (n > 1 && set_calibration(sources, hs, lay, &cal)) {
        if (count == 0) return 0;
        const double radiance = cal.offset + cal.slope * count;
        if (!cal.ir) {
            *value = radiance;
            if (units && units_size) snprintf(units, units_size, "%s", MSG_RADIANCE_UNITS);
            return 1;
        }
        if (!msg_temperature(cal, radiance, value)) return 0;
        if (units && units_size) snprintf(units, units_size, "K");
        return 1;
    }
    *value = count;
    if (units && units_size) snprintf(units, units_size, "count");
    return 1;
}

int lrit_set_key(const IMG_SOURCE *source, char *key, size_t key_size)
{
    LritHeader h;
    if (!lrit_headers(source, &h)) return IMG_SET_ALONE;
    std::vector<std::string> f;
    const bool eumetsat = eumetsat_fields(h.annotation, f);
    std::string k;
    int kind = IMG_SET_ALONE;
    if (h.file_type == 128 || h.file_type == 129) {
        // Time, spacecraft, then the channel when the prologue names one.
        if (!eumetsat) return IMG_SET_ALONE;
        k = f[6] + "|" + trimmed(f[3]) + "|";
        if (!trimmed(f[4]).empty()) k += trimmed(f[4]) + "|";
        kind = IMG_SET_AUX;
    } else if (h.file_type == 0 && h.have_struct && h.have_seg) {
        if (eumetsat) {
            k = f[6] + "|" + trimmed(f[3]) + "|" + trimmed(f[4]) + "|";
        } else {
            if (h.nseg < 2) return IMG_SET_ALONE;
            // Other names end with the segment number: "..._01.lrit".
            std::string a = h.annotation.empty() ? std::string(source->name) : h.annotation;
            const size_t slash = a.rfind('/');
            if (slash != std::string::npos) a.erase(0, slash + 1);
            const size_t dot = a.find('.', a.rfind('_') == std::string::npos ? 0 : a.rfind('_'));
            const size_t us = a.rfind('_');
            if (us == std::string::npos) return IMG_SET_ALONE;
            const size_t stop = dot == std::string::npos ? a.size() : dot;
            if (stop == us + 1 || a.find_first_not_of("0123456789", us + 1) < stop) return IMG_SET_ALONE;
            k = a.substr(0, us) + a.substr(stop) + "|";
        }
        k += std::to_string(h.cols) + "|" + std::to_string(h.nseg) + "|" + std::to_string(h.sat) + "|" +
             std::to_string(h.chan);
        kind = IMG_SET_PART;
    } else {
        return IMG_SET_ALONE;
    }
    snprintf(key, key_size, "%s", k.c_str());
    return kind;
}

}  // namespace rdr
