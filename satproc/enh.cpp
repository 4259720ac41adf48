// Colour enhancement: temperature scales, enhancement items and files, the
// per-value tables and the dither patterns.
#include "satproc/enh.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/records.h"
#include "core/res.h"
#include "core/util.h"
#include "core/workers.h"
#include "gks/clr.h"
#include "gks/drivers/ps.h"
#include "gks/gks.h"

namespace {

constexpr int MISSING = -9999;
constexpr int RAMP = 1000;    // flag added to the colour of a ramp entry
constexpr int NUM_ENTRIES = 256;
constexpr int MAX_WORDS = 256;

int color_max = 15;
int color_fill_ind[NUM_ENTRIES];
int color_dith_ind[NUM_ENTRIES];
int dither_ind[NUM_ENTRIES];
int sat_cut[NUM_ENTRIES + 1];
int color_ind[NUM_ENTRIES];
int dither = 0;
uint8_t sat_ind[NUM_ENTRIES];
uint8_t sat_dith_ind[NUM_ENTRIES];
uint8_t sat_dither[NUM_ENTRIES];
int sat_color_ind[NUM_ENTRIES];
char enhance[10] = "";
int imager_source = SAT_SRC_AREA;
int device_class = -1;  // -1: from the device flag
SAT_VALUE_SCALE values{};  // the last image's counts: plain until a reader says more

// Cells of the nested dither patterns, in the order densities switch them
// on, as (x mod k, y mod k).
constexpr int order3[9][2] = {{1, 1}, {2, 2}, {0, 0}, {2, 0}, {0, 2}, {2, 1}, {0, 1}, {1, 0}, {1, 2}};
constexpr int order5[25][2] = {{2, 2}, {0, 0}, {4, 2}, {1, 3}, {3, 1}, {2, 4}, {0, 2}, {4, 4}, {3, 3},
                               {1, 1}, {2, 0}, {0, 4}, {4, 0}, {1, 2}, {3, 0}, {2, 3}, {0, 1}, {4, 1},
                               {3, 4}, {1, 0}, {0, 3}, {3, 2}, {4, 3}, {1, 4}, {2, 1}};

// rank[y][x]: the density from which the cell carries the second colour.
struct Ranks {
    int r3[3][3];
    int r5[5][5];
    Ranks()
    {
        for (int i = 0; i < 9; ++i) r3[order3[i][1]][order3[i][0]] = i + 1;
        for (int i = 0; i < 25; ++i) r5[order5[i][1]][order5[i][0]] = i + 1;
    }
};
const Ranks ranks;

int clampi(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Pixel values out of a formula: NaN gives 0 and everything else is held to
// 0..255, so that no temperature, however absurd, yields a value that could
// index a table out of range.
int to_pixel(double v)
{
    if (std::isnan(v)) return 0;
    if (v < 0) return 0;
    if (v > 255) return 255;
    return (int)v;
}

void reset_entries()
{
    color_max = 15;
    enhance[0] = '\0';
    for (int i = 0; i < NUM_ENTRIES; ++i) {
        color_fill_ind[i] = i + RAMP;
        dither_ind[i] = 0;
        sat_cut[i] = MISSING;
    }
    sat_cut[NUM_ENTRIES] = MISSING;
}

void set_name(const char *name) { std::snprintf(enhance, sizeof enhance, "%s", name); }

// Reads an enhancement file: its name word, "@label" and the items.
void read_enhancement(FILE *fp, std::vector<std::string> &items, std::string &name)
{
    std::vector<std::string> words;
    std::string word;
    int c;
    while ((int)words.size() < MAX_WORDS) {
        c = std::fgetc(fp);
        if (c == EOF || std::isspace(c)) {
            if (!word.empty()) words.push_back(std::move(word)), word.clear();
            if (c == EOF) break;
        } else if (word.size() < 4096) {
            word += (char)c;  // longer words are cut: no colour word comes near
        }
    }
    for (size_t k = 0; k < words.size(); ++k) {
        const std::string &w = words[k];
        if (k == 0) {
            name = w[0] == '@' ? w.substr(1) : w;
        } else if (w.compare(0, 6, "@label") == 0) {
            name = w.size() > 7 ? w.substr(7) : std::string();
        } else if (w[0] == '#' || w[0] == '@') {
            continue;
        } else {
            items.push_back(w);
        }
    }
}

int current_device_class()
{
    if (device_class >= 0) return device_class;
    if (FLAG_get(FLAG_DEVICE) != GWS_PS) return 0;
    return gps_get_colorPS() ? 2 : 1;
}

int grey_of(int colour)
{
    float r, g, b;
    CLR_get_rgb(colour, &r, &g, &b);
    return (int)((0.9f * r + g + 0.8f * b) / 2.7f * 255.0f);
}

void fill_breaks()
{
    if (sat_cut[0] == MISSING) sat_cut[0] = 0;
    int last = color_max + 1;
    sat_cut[last] = 256;
    int prev = 0;
    for (int j = 1; j <= last; ++j) {
        if (sat_cut[j] == MISSING) continue;
        int i = prev + 1;  // run i .. j-1 is missing
        for (int k = i; k < j; ++k)
            sat_cut[k] = sat_cut[prev] + (sat_cut[j] - sat_cut[prev]) * (k - i + 1) / (j - i + 1);
        prev = j;
    }
    MESS_print(MESS_DEBUG, "Table of color breakoff values\n");
    for (int i = 0; i <= color_max; ++i)
        MESS_print(MESS_DEBUG, "BREAK: %d COLOR: %d\n", sat_cut[i], color_ind[i]);
}

void fill_value_tables(int cls)
{
    int b = 0;
    for (int p = 0; p < NUM_ENTRIES; ++p) {
        if (b + 1 <= NUM_ENTRIES && sat_cut[b + 1] == p) ++b;
        b = std::min(b, NUM_ENTRIES - 1);
        if (p < sat_cut[0]) {
            sat_ind[p] = (uint8_t)(color_ind[0] % RAMP);
            sat_color_ind[p] = 0;
            continue;
        }
        int dev = color_ind[b] % RAMP;
        if (cls == 0) {
            sat_ind[p] = (uint8_t)dev;
            sat_dither[p] = (uint8_t)clampi(dither_ind[b], 0, 25);
            sat_dith_ind[p] = (uint8_t)color_dith_ind[b];
        } else if (cls == 1 && b + 1 < NUM_ENTRIES && color_ind[b] >= RAMP && color_ind[b + 1] >= RAMP &&
                   sat_cut[b + 1] != sat_cut[b]) {
            // Monochrome PostScript: ramp entries blend their greys across
            // the bin; 64-bit so that far-off breaks cannot overflow.
            int64_t g0 = color_ind[b] % RAMP, g1 = color_ind[b + 1] % RAMP;
            int64_t lo = sat_cut[b], hi = sat_cut[b + 1];
            sat_ind[p] = (uint8_t)((g0 * (hi - p) + g1 * (p - lo)) / (hi - lo));
        } else {
            sat_ind[p] = (uint8_t)dev;
        }
        sat_color_ind[p] = b;
    }
    if (MESS_check(MESS_DEBUG)) {
        MESS_print(MESS_DEBUG, "Table of color bin indicies for each sat pix value\n");
        MESS_print(MESS_DEBUG, "%3d: ", 0);
        for (int p = 0; p < NUM_ENTRIES; ++p) {
            MESS_print(MESS_DEBUG, "%3d:%3d ", sat_color_ind[p], sat_ind[p]);
            if (p % 10 == 9) MESS_print(MESS_DEBUG, "\n%3d: ", p + 1);
        }
        MESS_print(MESS_DEBUG, "\n");
    }
}

// Colour part of an item: a colour word, or COLOR1 "%" density COLOR2.
void decode_colour_part(const char *part, int n)
{
    const char *pct = std::strchr(part, '%');
    if (!pct) {
        color_fill_ind[n] = CLR_get_ind(part);
        dither_ind[n] = 0;
        return;
    }
    color_fill_ind[n] = CLR_get_ind(std::string(part, pct - part).c_str());
    char d = pct[1];
    if (d == '\0') {
        // "red%": no density, so nothing to dither with.
        dither_ind[n] = 0;
        color_dith_ind[n] = color_fill_ind[n];
        return;
    }
    bool digit = std::isdigit((unsigned char)d);
    if (dither == 0) {
        if (digit) dither = 3;
        else if (std::islower((unsigned char)d)) dither = 5;
    }
    if (dither == 5) dither_ind[n] = clampi(d - 'a', 0, 25);
    else if (dither == 3) dither_ind[n] = clampi(d - '0', 0, 9);
    else dither_ind[n] = digit ? d - '0' : clampi(d - 'a', 0, 25);
    color_dith_ind[n] = CLR_get_ind(pct + 2);
}

// Break value of an item's leading pixel value, held to 0..256.
int parse_break(const char *text)
{
    long v = std::strtol(text, nullptr, 10);
    return (int)std::clamp<long>(v, 0, 256);
}

void setup_finish()
{
    int cls = current_device_class();
    for (int i = 0; i < NUM_ENTRIES; ++i) {
        int f = color_fill_ind[i];
        bool ramp = f >= RAMP;
        int base = ramp ? f - RAMP : f;
        if (cls == 2) color_ind[i] = f;
        else if (cls == 1) color_ind[i] = grey_of(base) + (ramp ? RAMP : 0);
        else color_ind[i] = base + (ramp ? RAMP : 0);
    }
    fill_breaks();
    fill_value_tables(cls);
}

} // namespace

int SAT_ir_ind(float t)
{
    switch (imager_source) {
    case SAT_SRC_AREA:
    case SAT_SRC_AWIPS:
    case SAT_SRC_AWIPS2: {
        double T = t;
        if (std::isnan(T)) return 0;
        if (T >= -30) return to_pixel(std::trunc(-2 * T) + 114);
        return to_pixel(std::trunc(145 - T));
    }
    case SAT_SRC_UNISYS: {
        double tk = t == MISSING ? (double)t : t + 273.15;
        // Tk of 0 gives exp(inf) and the value 252; colder, negative Tk
        // gives a value far above 255 and is held at 255.
        double rad = 50789.3 / (std::exp(1344.3 / tk) - 1);
        return to_pixel(255 - std::trunc((rad + 15.68) * 0.25));
    }
    default:
        return 0;
    }
}

float SAT_ind_ir(int v)
{
    switch (imager_source) {
    case SAT_SRC_AREA:
    case SAT_SRC_AWIPS:
    case SAT_SRC_AWIPS2:
        return v > 175 ? 145.0f - v : (114 - v) * 0.5f;
    case SAT_SRC_UNISYS: {
        double den = 4.0 * (255 - v) - 15.68;
        // Values 252..255 lie past the cold end of the scale (the
        // logarithm's argument turns negative): they read as absolute
        // zero, whose value is 252 again.
        if (den <= 0) return -273.15f;
        return (float)(1344.3 / std::log(50789.3 / den + 1) - 273.15);
    }
    default:
        return 0.0f;
    }
}

int DITHER_val(int size, int density, int x, int y)
{
    x = std::abs(x), y = std::abs(y);
    if (size == 3) return ranks.r3[y % 3][x % 3] <= clampi(density, 0, 9) ? 1 : 0;
    if (size == 5) return ranks.r5[y % 5][x % 5] <= clampi(density, 0, 25) ? 1 : 0;
    return 0;
}

int SAT_decode_colors(const char *item, int *n)
{
    if (!item || !n) return -1;
    if (*n < 0) *n = 0;
    const char *colon = std::strchr(item, ':');
    if (item[0] == 'c' && colon) {
        int i = (*n)++;
        if (i >= NUM_ENTRIES) return 0;
        // A temperature, or for counts linear in a value that value in the
        // image's own units (a rain rate, a reflectance).
        sat_cut[i] = SAT_values_linear() ? SAT_value_ind(std::strtod(item + 1, nullptr))
                                         : SAT_ir_ind(std::strtof(item + 1, nullptr));
        decode_colour_part(colon + 1, i);
        return 0;
    }
    const char *dash = std::strchr(item, '-');
    if (item[0] != 'c' && dash) {
        int a = CLR_get_ind(std::string(item, dash - item).c_str());
        int b = CLR_get_ind(dash + 1);
        // A range with an end that is no colour makes no entries: its
        // length would be meaningless.
        if (a < 0 || b < 0) return 0;
        int step = a <= b ? 1 : -1;
        for (int c = a;; c += step) {
            if (*n >= NUM_ENTRIES) break;
            int i = (*n)++;
            color_fill_ind[i] = c + RAMP;
            dither_ind[i] = 0;
            if (c == b) break;
        }
        return 0;
    }
    int i = (*n)++;
    if (i >= NUM_ENTRIES) return 0;
    if (colon) {
        sat_cut[i] = parse_break(item);
        decode_colour_part(colon + 1, i);
    } else {
        decode_colour_part(item, i);
    }
    return 0;
}

namespace {

// The default enhancement of a linear quantity (rain rate, fire power,
// optical depth...): the missing count 0 black, so that space and fill stand
// apart from the lowest value, then counts 1..255 in eleven equal bins of
// ColorBrewer Spectral from its blue end (low values) to its red end (high),
// which reads as "more" from left to right and has no grey that could pass
// for cloud.  false (nothing made) when the colour table lacks those colours.
bool value_ramp()
{
    if (CLR_get_ind("black") < 0 || CLR_get_ind("spectral11") < 0 || CLR_get_ind("spectral01") < 0) return false;
    int n = 0;
    for (const char *item : {"0:black", "1:spectral11", "spectral10-spectral01"}) SAT_decode_colors(item, &n);
    color_max = n - 1;
    return true;
}

// Steps 1 to 5 of the set-up for the items (or, with none given, the fill
// colours of the table or the default ramp).
void build(const std::vector<std::string> &items, bool given, const std::string *name)
{
    reset_entries();
    if (name) {
        set_name(name->c_str());
        MESS_print(MESS_OUT1, "Enhancement: %s\n", enhance);
    }
    if (!given) {
        int nf = std::min(CLR_get_num_fill(), NUM_ENTRIES - 1);
        // A quantity's own ramp comes before the table's fill colours, which
        // are meant for counts.
        const bool ramp = values.kind == IMG_VALUE_LINEAR && SAT_values_linear() && value_ramp();
        if (!ramp && nf > 0) {
            color_max = nf;
            for (int i = 0; i < nf; ++i) color_fill_ind[i] = i;
        }
    } else {
        int n = 0;
        for (const auto &it : items) SAT_decode_colors(it.c_str(), &n);
        // An enhancement that made no entries falls back to the default
        // grey ramp rather than leaving the per-value tables undefined.
        if (n > 0) color_max = std::min(n, NUM_ENTRIES) - 1;
    }
    setup_finish();
}

} // namespace

int SAT_color_setup()
{
    int count = 0;
    char **values = nullptr;
    const char *cf = RES_get("color_fill");
    if (cf && *cf) RES_getvals("color_fill", &count, &values);

    if (count == 1 && !std::strchr(values[0], '-')) {
        FILE *fp = CLR_open_data_file(values[0]);
        if (!fp) {
            MESS_print(MESS_WARN, "SAT_color_setup: Unable to read enhancement file: %s\n", values[0]);
        } else {
            SAT_color_setup_stream(fp);
            std::fclose(fp);
        }
        free_parsed_array(count, values);
        return 0;
    }
    std::vector<std::string> items;
    for (int k = 0; k < count && k < MAX_WORDS; ++k) items.emplace_back(values[k]);
    free_parsed_array(count, values);
    build(items, count > 0, nullptr);
    return 0;
}

int SAT_color_setup_stream(FILE *fp)
{
    if (!fp) return -1;
    std::vector<std::string> items;
    std::string name;
    read_enhancement(fp, items, name);
    build(items, true, &name);
    return 0;
}

void SAT_set_imager_source(int source) { imager_source = source; }

void SAT_set_image_values(const IMG *image)
{
    values = SAT_VALUE_SCALE{};
    imager_source = SAT_SRC_AREA;
    if (!image) return;
    values.kind = image->value_kind;
    values.offset = image->value_offset;
    values.scale = image->value_scale;
    // The record's texts are copied within their fields: a reader that
    // filled one to the last byte still gives a terminated copy.
    std::snprintf(values.units, sizeof values.units, "%.*s", (int)sizeof image->value_units, image->value_units);
    std::snprintf(values.name, sizeof values.name, "%.*s", (int)sizeof image->value_name, image->value_name);
    imager_source = values.kind == IMG_VALUE_TEMPERATURE ? SAT_SRC_AREA : image->source;
}

SAT_VALUE_SCALE SAT_get_image_values() { return values; }

bool SAT_values_linear()
{
    return (values.kind == IMG_VALUE_REFLECTANCE || values.kind == IMG_VALUE_LINEAR) &&
           std::isfinite(values.offset) && std::isfinite(values.scale) && values.scale != 0;
}

int SAT_value_ind(double v)
{
    if (!SAT_values_linear() || std::isnan(v)) return 1;
    // A thousandth of a count forgives the float scale's rounding, so the
    // value of count c itself starts at c.
    double c = std::ceil((v - values.offset) / values.scale - 1e-3);
    return (int)std::clamp(c, 1.0, 256.0);
}
void SAT_set_dither(int size) { dither = size; }
void SAT_set_device_class(int cls) { device_class = cls; }

SAT_ENHANCEMENT SAT_get_enhancement()
{
    return {color_max, dither,  color_fill_ind, color_dith_ind, dither_ind,   sat_cut,
            color_ind, sat_ind, sat_dith_ind,   sat_dither,     sat_color_ind, enhance};
}

namespace {
int fill_pattern = 0;
int (*fill_bit)(int, int, int) = nullptr;

// The kernel's 8 x 8 stipple of the pattern, most significant bit leftmost.
int kernel_fill_bit(int pattern, int x, int y)
{
    const unsigned char *rows = gget_fill_pattern(pattern);
    return rows[y & 7] & (0x80 >> (x & 7)) ? 1 : 0;
}
} // namespace

void SAT_set_fill(int pattern, int (*bit_set)(int, int, int))
{
    fill_pattern = pattern;
    fill_bit = bit_set ? bit_set : kernel_fill_bit;
}

int SAT_color_pixels(uint8_t *data, int nx, int ny, int bpl)
{
    if (!data || nx <= 0 || ny <= 0 || bpl < nx) return -1;
    const bool fill = fill_pattern > 0 && fill_bit;
    const int black = fill ? std::max(0, CLR_get_ind("black")) : 0;
    const int k = dither == 3 || dither == 5 ? dither : 0;
    // Pairs of pixels through one table: half the lookups of the plain path.
    static uint16_t pair_lut[65536];
    if (k == 0 && !fill) {
        for (int a = 0; a < 256; ++a)
            for (int b = 0; b < 256; ++b) {
                uint8_t in[2] = {(uint8_t)a, (uint8_t)b}, out[2] = {sat_ind[a], sat_ind[b]};
                uint16_t i;
                std::memcpy(&i, in, 2);
                std::memcpy(&pair_lut[i], out, 2);
            }
    }
    // Rows are coloured independently: in chunks on the worker threads.
    WORK_row_chunks(ny, WORK_thread_count((size_t)nx * ny), [&](int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            uint8_t *row = data + (size_t)y * bpl;
            if (k == 0 && !fill) {
                int x = 0;
                for (; x + 1 < nx; x += 2) {
                    uint16_t v;
                    std::memcpy(&v, row + x, 2);
                    v = pair_lut[v];
                    std::memcpy(row + x, &v, 2);
                }
                if (x < nx) row[x] = sat_ind[row[x]];
                continue;
            }
            // The pattern row of this y: the density from which each column
            // carries the second colour (past every density without dither).
            int rank[5] = {99, 99, 99, 99, 99};
            for (int c = 0; c < k; ++c) rank[c] = k == 3 ? ranks.r3[y % 3][c] : ranks.r5[y % 5][c];
            for (int x = 0, c = 0; x < nx; ++x) {
                uint8_t v = row[x];
                uint8_t out = rank[c] <= sat_dither[v] ? sat_dith_ind[v] : sat_ind[v];
                if (fill && !fill_bit(fill_pattern, x, y)) out = (uint8_t)black;
                row[x] = out;
                // Without dither (k 0) the column phase stays at 0.
                if (++c >= k) c = 0;
            }
        }
    });
    return 0;
}

void SAT_reset_enhancement()
{
    color_max = 15;
    std::fill(std::begin(color_fill_ind), std::end(color_fill_ind), 0);
    std::fill(std::begin(color_dith_ind), std::end(color_dith_ind), 0);
    std::fill(std::begin(dither_ind), std::end(dither_ind), 0);
    std::fill(std::begin(sat_cut), std::end(sat_cut), 0);
    std::fill(std::begin(color_ind), std::end(color_ind), 0);
    dither = 0;
    std::fill(std::begin(sat_ind), std::end(sat_ind), 0);
    std::fill(std::begin(sat_dith_ind), std::end(sat_dith_ind), 0);
    std::fill(std::begin(sat_dither), std::end(sat_dither), 0);
    std::fill(std::begin(sat_color_ind), std::end(sat_color_ind), 0);
    enhance[0] = '\0';
    imager_source = SAT_SRC_AREA;
    values = SAT_VALUE_SCALE{};
    device_class = -1;
    fill_pattern = 0;
    fill_bit = nullptr;
}
