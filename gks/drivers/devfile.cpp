#include "gks/drivers/devfile.h"

#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "core/flags.h"
#include "core/util.h"

bool gdrv_open(GDRV_FILE &f, const char *name, const char *create_msg)
{
    f = GDRV_FILE{};
    if (!name || !*name) return false;
    if (name[0] == '|') {
        if (!name[1]) return false;
        MESS_print(MESS_OUT1, "Spooling to: %s\n", name + 1);
        std::fflush(nullptr); // the child must not inherit unwritten buffers
        f.fp = popen(name + 1, "w");
        f.pipe = f.fp != nullptr;
        if (f.pipe) f.old_sigpipe = std::signal(SIGPIPE, SIG_IGN);
        return f.fp != nullptr;
    }
    if (name[0] == '+') {
        if (!name[1]) return false;
        MESS_print(MESS_OUT1, "Appending to: %s\n", name + 1);
        struct stat st;
        f.append = stat(name + 1, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
        f.fp = std::fopen(name + 1, "a");
        if (!f.fp) f.append = false;
        return f.fp != nullptr;
    }
    MESS_print(MESS_OUT1, create_msg, name);
    f.fp = std::fopen(name, "w");
    return f.fp != nullptr;
}

bool gdrv_close(GDRV_FILE &f)
{
    if (!f.fp) return true;
    bool ok = std::fflush(f.fp) == 0 && !std::ferror(f.fp);
    if (f.pipe) {
        ok = pclose(f.fp) == 0 && ok;
        std::signal(SIGPIPE, f.old_sigpipe == SIG_ERR || !f.old_sigpipe ? SIG_DFL : f.old_sigpipe);
    } else
        ok = std::fclose(f.fp) == 0 && ok;
    f = GDRV_FILE{};
    return ok;
}

namespace {

struct Paper {
    const char *name;
    float lng, shrt;
};

// Long x short side in inches.
constexpr Paper papers[] = {
    {"letter", 11, 8.5f},    {"legal", 14, 8.5f},      {"11x17", 17, 11},
    {"a4", 11.69f, 8.26f},   {"a3", 16.54f, 11.69f},   {"a2", 23.39f, 16.54f},
    {"a1", 33.11f, 23.39f},  {"b4", 14.33f, 10.12f},   {"b3", 20.27f, 14.33f},
    {"b2", 28.66f, 20.27f},  {"b1", 40.55f, 28.66f},   {"ansid", 34, 22},
};

} // namespace

bool gdrv_paper(const char *word, float *lng, float *shrt)
{
    for (const Paper &p : papers)
        if (stricmp(word, p.name) == 0) {
            *lng = p.lng, *shrt = p.shrt;
            return true;
        }
    if (strnicmp(word, "sz", 2) == 0 && std::strlen(word) > 3) {
        float l, s;
        // Sizes must be positive and finite: a zero or negative page would
        // give an empty or inverted drawable area.
        if (std::sscanf(word + 3, "%fx%f", &l, &s) == 2 && l > 0.5f && s > 0.5f && l < 1e4f &&
            s < 1e4f) {
            *lng = l, *shrt = s;
        }
        return true; // a malformed size is still the "sz" word: ignored, not an error
    }
    return false;
}

bool gdrv_geometry(const char *text, const GDRV_GEOM_RULE &rule, GDRV_PAGE *page)
{
    if (!text || !*text) return false;
    if (text[0] == 'P' || text[0] == 'p') {
        float cols, rows, col, row;
        if (std::sscanf(text + 1, "%fx%f+%f+%f", &cols, &rows, &col, &row) != 4) return false;
        if (!(cols == cols) || !(rows == rows) || !(col == col) || !(row == row)) return false;
        cols = std::clamp(cols, 1.0f, 8.0f);
        rows = std::clamp(rows, 1.0f, 8.0f);
        float w = page->width / cols, h = page->height / rows;
        page->xoff += col * w;
        page->yoff += (rows - 1 - row) * h;
        page->width = w, page->height = h;
        return true;
    }
    int w, h, x, y, n;
    const char *four = rule.plus_offsets ? "%dx%d+%d+%d" : "%dx%d%d%d";
    const char *two = rule.plus_offsets ? "+%d+%d" : "%d%d";
    n = std::sscanf(text, four, &w, &h, &x, &y);
    if (n == 4 || n == 2) {
        if (w <= 0 || h <= 0) return false;
        page->width = w * rule.unit, page->height = h * rule.unit;
        if (n == 4) page->xoff = x * rule.unit + rule.off_base, page->yoff = y * rule.unit + rule.off_base;
        return true;
    }
    if (std::sscanf(text, two, &x, &y) == 2) {
        page->xoff = x * rule.unit + rule.off_base, page->yoff = y * rule.unit + rule.off_base;
        return true;
    }
    return false;
}

void gdrv_each_word(const char *list, void (*fn)(const char *word, void *ctx), void *ctx)
{
    if (!list) return;
    std::string s(list);
    size_t pos = 0;
    while (pos <= s.size()) {
        size_t end = s.find(',', pos);
        if (end == std::string::npos) end = s.size();
        std::string w = s.substr(pos, end - pos);
        size_t a = w.find_first_not_of(" \t"), b = w.find_last_not_of(" \t\r\n");
        if (a != std::string::npos) fn(w.substr(a, b - a + 1).c_str(), ctx);
        pos = end + 1;
    }
}

const char *gdrv_ctime()
{
    std::time_t now = std::time(nullptr);
    const char *s = std::ctime(&now);
    return s ? s : "\n";
}

int gdrv_fmt(char *out, float x, int decimals)
{
    static const double pow10[] = {1, 10, 100, 1e3, 1e4, 1e5, 1e6};
    if (decimals < 0) decimals = 0;
    if (decimals > 6) decimals = 6;
    double v = (double)x * pow10[decimals];
    if (!(std::fabs(v) < 9.0e15)) { // NaN, infinities and huge values
        char fmt[8] = {'%', '.', (char)('0' + decimals), 'f', 0};
        int n = std::snprintf(out, 64, fmt, (double)x);
        return n < 0 ? 0 : (n > 63 ? 63 : n);
    }
    double r = std::nearbyint(v); // the default rounding mode: ties to even
    char *p = out;
    if (std::signbit(x)) *p++ = '-';
    uint64_t u = (uint64_t)std::fabs(r);
    char digits[24];
    int nd = 0;
    do {
        digits[nd++] = (char)('0' + u % 10);
        u /= 10;
    } while (u);
    while (nd <= decimals) digits[nd++] = '0'; // at least one digit before the point
    for (int k = nd - 1; k >= decimals; --k) *p++ = digits[k];
    if (decimals) {
        *p++ = '.';
        for (int k = decimals - 1; k >= 0; --k) *p++ = digits[k];
    }
    return (int)(p - out);
}
