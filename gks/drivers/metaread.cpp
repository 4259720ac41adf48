// Reading a text metafile back: each record calls the kernel function that
// wrote it, on the open workstation.  The reader trusts nothing: counts are
// never used to allocate ahead (points are collected as they are read, so
// memory stays within what the file holds), numbers must be finite, a
// record that does not parse is dropped with the rest of its line.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "gks/drivers/meta.h"
#include "gks/gks.h"

namespace {

constexpr int KEY_MAX = 9;     // longest keyword
constexpr int TEXT_MAX = 100;  // longest text of a TE or ME record
constexpr int TOKEN_MAX = 63;  // longest number

class Reader {
public:
    explicit Reader(FILE *fp) : fp_(fp) {}

    int get() { return getc_unlocked(fp_); }
    void unget(int c)
    {
        if (c != EOF) ungetc(c, fp_);
    }

    void skip_line()
    {
        int c;
        while ((c = get()) != EOF && c != '\n') {}
    }

    // Skips blanks and line ends; false at the end of the file.
    bool skip_space()
    {
        int c;
        while ((c = get()) != EOF && std::isspace(c)) {}
        unget(c);
        return c != EOF;
    }

    // The next keyword; "" when it is longer than KEY_MAX characters (an
    // unknown record) or the file ended.
    std::string keyword()
    {
        std::string k;
        int c;
        while ((c = get()) != EOF && !std::isspace(c)) {
            if (k.size() <= KEY_MAX) k += (char)c;
        }
        unget(c);
        if (k.size() > KEY_MAX) k.clear();
        return k;
    }

    // A number ended by a blank, a line end or (when comma) a comma; blanks
    // before it (not line ends unless cross_lines) are skipped.
    bool number(double *v, bool comma = false, bool cross_lines = false)
    {
        int c;
        while ((c = get()) == ' ' || c == '\t' || c == '\r' || (cross_lines && c == '\n')) {}
        char tok[TOKEN_MAX + 1];
        int n = 0;
        while (c != EOF && !std::isspace(c) && !(comma && c == ',')) {
            if (n >= TOKEN_MAX) return false;
            tok[n++] = (char)c;
            c = get();
        }
        unget(c);
        if (n == 0) return false;
        tok[n] = 0;
        char *end;
        *v = std::strtod(tok, &end);
        return *end == 0 && std::isfinite(*v);
    }

    bool floats(float *out, int n)
    {
        double v;
        for (int k = 0; k < n; ++k) {
            if (!number(&v) || std::fabs(v) > 3.0e38) return false;
            out[k] = (float)v;
        }
        return true;
    }

    bool integer(int *out)
    {
        double v;
        if (!number(&v) || v != std::floor(v) || std::fabs(v) > 2147483647.0) return false;
        *out = (int)v;
        return true;
    }

    // "x,y" (points may continue on the next line).
    bool pair(float *xy, bool cross_lines)
    {
        double x, y;
        if (!number(&x, true, cross_lines) || get() != ',' || !number(&y, false, false)) return false;
        if (std::fabs(x) > 3.0e38 || std::fabs(y) > 3.0e38) return false;
        xy[0] = (float)x, xy[1] = (float)y;
        return true;
    }

    // The rest of the line after one blank, at most TEXT_MAX characters.
    std::string rest()
    {
        std::string s;
        int c = get();
        if (c != ' ') unget(c);
        while ((c = get()) != EOF && c != '\n') {
            if (s.size() < TEXT_MAX && c != '\r') s += (char)c;
        }
        unget(c);
        return s;
    }

private:
    FILE *fp_;
};

// A rectangle record is xmin, ymin, xmax, ymax; the kernel takes xmin,
// xmax, ymin, ymax.
void to_kernel_rect(const float *rec, float *r)
{
    r[0] = rec[0], r[1] = rec[2], r[2] = rec[1], r[3] = rec[3];
}

// PL, FA, PM: a count and that many points; the primitive is drawn only when
// every point was read.
bool points(Reader &in, std::vector<float> &pts)
{
    int n;
    if (!in.integer(&n) || n < 1) return false;
    pts.clear();
    for (int k = 0; k < n; ++k) {
        float xy[2];
        if (!in.pair(xy, true)) return false;
        pts.push_back(xy[0]);
        pts.push_back(xy[1]);
    }
    return true;
}

using IntSetter = int (*)(int);
using FloatSetter = int (*)(float);

struct IntRecord {
    const char *key;
    IntSetter fn;
};
struct FloatRecord {
    const char *key;
    FloatSetter fn;
};

int text_colr(int i) { return gset_text_colr_ind(i); }

const IntRecord int_records[] = {
    {"TR", gsel_norm_tran},         {"PL_CLR", gset_line_colr_ind}, {"PL_TYPE", gset_linetype},
    {"PM_CLR", gset_marker_colr_ind}, {"PM_TYPE", gset_marker_type}, {"FA_CLR", gset_fill_colr_ind},
    {"FA_INT", gset_fill_int_style}, {"FA_ST", gset_fill_style_ind}, {"TE_CLR", text_colr},
};
const FloatRecord float_records[] = {
    {"PL_LW", gset_linewidth},   {"PM_SIZE", gset_marker_size}, {"PM_WDTH", gset_marker_width},
    {"TE_HGHT", gset_char_ht},   {"TE_EXP", gset_expan},        {"TE_WDTH", gset_text_width},
    {"TE_SPC", gset_char_space}, {"TE_CSPC", gset_space},
};

// One record after its keyword; false when it did not parse.
bool record(Reader &in, const std::string &k, std::vector<float> &pts)
{
    for (const IntRecord &r : int_records)
        if (k == r.key) {
            int v;
            if (!in.integer(&v)) return false;
            r.fn(v);
            return true;
        }
    for (const FloatRecord &r : float_records)
        if (k == r.key) {
            float v;
            if (!in.floats(&v, 1)) return false;
            r.fn(v);
            return true;
        }
    if (k == "VP" || k == "WIN") {
        int n;
        float rec[4], r[4];
        if (!in.integer(&n) || !in.floats(rec, 4)) return false;
        to_kernel_rect(rec, r);
        (k == "VP" ? gset_vp : gset_win)(n, r);
    } else if (k == "PL" || k == "FA" || k == "PM") {
        if (!points(in, pts)) return false;
        int n = (int)(pts.size() / 2);
        if (k == "PL")
            gpolyline(n, pts.data());
        else if (k == "FA")
            gfill_area(n, pts.data());
        else
            gpolymarker(n, pts.data());
    } else if (k == "TE") {
        float xy[2];
        if (!in.pair(xy, false)) return false;
        std::string s = in.rest();
        gtext(xy, s.c_str());
    } else if (k == "CLR") {
        int ws, i;
        float rgb[3];
        if (!in.integer(&ws) || !in.integer(&i) || !in.floats(rgb, 3)) return false;
        gset_colr_rep(1, i, rgb);
    } else if (k == "TE_UP") {
        float v[2];
        if (!in.pair(v, false)) return false;
        gset_char_up_vec(v);
    } else if (k == "TE_ALGN" || k == "TE_FNT") {
        int v[2];
        if (!in.integer(&v[0]) || !in.integer(&v[1])) return false;
        if (k == "TE_ALGN")
            gset_text_align(v);
        else
            gset_fontprec(v);
    } else if (k == "ME") {
        std::string s = in.rest();
        gmessage(1, s.c_str());
    } else {
        return false; // "WS_WIN" (read and ignored) and every unknown keyword
    }
    return true;
}

} // namespace

int gread_metafile_stream(FILE *fp, const char *name)
{
    if (!fp) return -1;
    Reader in(fp);
    in.skip_line(); // the "ZYRMETA" line
    std::vector<float> pts;
    while (in.skip_space()) {
        std::string k = in.keyword();
        if (k.empty() || k[0] == '#') {
            in.skip_line();
            continue;
        }
        record(in, k, pts);
        in.skip_line();
    }
    return 0;
}

int gread_metafile(const char *path)
{
    FILE *fp = path ? std::fopen(path, "r") : nullptr;
    if (!fp) {
        gerr_printf("gread_metafile", "Unable to open image file: %s\n", path ? path : "");
        return -1;
    }
    int r = gread_metafile_stream(fp, path);
    std::fclose(fp);
    return r;
}
