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
// Lines of missing segments keep the count IMG_COUNT_MISSING.  Segments
// whose COFF differs (the HRV's windows) are shifted by the difference, as
// far as their headers state it.  Two files claiming the same lines, files
// of different images and files that are neither segment, prologue nor
// epilogue are refused with a message naming the file.
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

struct Layout {
    int cols = 0, lines = 0;
    bool turned = false;   // the picture is turned by 180 degrees on reading
    int anchor = -1;       // source whose headers name and date the image
    int32_t loff = 0, coff = 0;  // of the image, its first line being line 1
    int pro = -1, epi = -1;      // sources of the prologue and epilogue
    std::vector<Part> parts;
};

const char *name_of(const IMG_SOURCE *sources, int i) { return sources[i].name; }

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
    lay->cols = ha.cols;
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
    if ((uint64_t)planned * (uint64_t)ha.cols > MAX_PIXELS) {
        MESS_print(ERR, "SAT_read_LRIT: %s: image of %dx%lld pixels too large\n", name_of(sources, a), ha.cols,
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
    SourceStream in(&pro);
    FILE *f = in.get();
    const int64_t start = hs[(size_t)lay.pro].total;
    const bool got = f && fseek(f, (long)start, SEEK_SET) == 0 && fread(data.data(), 1, want, f) == want;
    if (!got || !msg_calibration(data.data(), want, ha.sat, ha.chan, calib)) {
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
    const int first_row = lay.turned ? lay.lines - p.first - p.lines : p.first;
    const int shift = lay.turned ? -p.shift : p.shift;
    const int from = std::max(0, -shift), to = std::min(lay.cols, lay.cols - shift);
    for (int r = 0; r < p.lines && from < to; ++r) {
        unsigned char *dst = image->data + (size_t)(first_row + r) * lay.cols;
        const unsigned char *src = seg.data + (size_t)r * seg.bytes_line;
        std::memcpy(dst + from + shift, src + from, (size_t)(to - from));
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
    lay->cols = h.cols;
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
    const int c = frame_col - (part ? part->shift : 0);
    if (!part || c < 0 || c >= lay.cols) return 0;  // a missing segment
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
