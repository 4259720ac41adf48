// Colour table: reading colour table files and looking colours up by name.
#include "gks/clr.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/res.h"
#include "core/util.h"
#include "files/file.h"
#include "gks/gks.h"

namespace {

CLR_ENTRY colors[CLR_MAX_COLORS];
int num_colors = 0;
int num_fill = 0;

// Longest colour table line kept; the rest of a longer line is skipped so
// that it cannot come back as a line of its own.
constexpr int LINE_SIZE = 100;

float clamp01(float v)
{
    if (!(v >= 0.0f)) return 0.0f;  // NaN too
    return v > 1.0f ? 1.0f : v;
}

void set_entry(int i, const char *name, float r, float g, float b)
{
    CLR_ENTRY &e = colors[i];
    std::snprintf(e.name, sizeof e.name, "%s", name);
    e.red = clamp01(r);
    e.green = clamp01(g);
    e.blue = clamp01(b);
}

// Reads one line of at most LINE_SIZE characters into buf; false at the end.
bool read_line(FILE *fp, char *buf)
{
    if (!std::fgets(buf, LINE_SIZE + 2, fp)) return false;
    size_t n = std::strlen(buf);
    if (n > 0 && buf[n - 1] == '\n') {
        buf[n - 1] = '\0';
    } else if (n > LINE_SIZE) {
        buf[LINE_SIZE] = '\0';
        int c;
        while ((c = std::fgetc(fp)) != EOF && c != '\n') {}
    }
    return true;
}

// Strips carriage returns and surrounding blanks in place.
char *trim(char *s)
{
    char *w = s;
    for (char *r = s; *r; ++r)
        if (*r != '\r') *w++ = *r;
    *w = '\0';
    while (*s && std::isspace((unsigned char)*s)) ++s;
    size_t n = std::strlen(s);
    while (n > 0 && std::isspace((unsigned char)s[n - 1])) s[--n] = '\0';
    return s;
}

bool all_digits(const char *s, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (!std::isdigit((unsigned char)s[i])) return false;
    return true;
}

bool all_hex(const char *s, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (!std::isxdigit((unsigned char)s[i])) return false;
    return true;
}

} // namespace

FILE *CLR_open_data_file(const char *name)
{
    if (!name || !*name) return nullptr;
    // Full paths, "./" names and "~" homes go to the file layer as given.
    if (FILE_fullpath(name)) return FILE_open(name, "r");
    std::vector<std::string> dirs;
    if (const char *fp = RES_get("file_path"); fp && *fp) dirs.emplace_back(fp);
    dirs.emplace_back(".");
    dirs.emplace_back(FILE_data_dir());
    dirs.emplace_back(std::string(FILE_data_dir()) + "/enhance");
    for (const auto &d : dirs) {
        std::string path = d;
        if (path.back() != '/') path += '/';
        path += name;
        if (FILE *f = std::fopen(path.c_str(), "r")) return f;
    }
    return nullptr;
}

int CLR_read_stream(FILE *fp, int first, int *fill_count)
{
    char buf[LINE_SIZE + 2];
    int index = first;
    int next_count = first;
    if (fill_count) *fill_count = -1;
    while (read_line(fp, buf)) {
        char *line = trim(buf);
        if (*line == '\0' || *line == '#') continue;
        if (stricmp(line, "END") == 0) {
            if (fill_count && *fill_count < 0) *fill_count = index - first;
            continue;
        }
        char name[CLR_NAME_SIZE] = "";
        float r = 0, g = 0, b = 0;
        unsigned hr = 0, hg = 0, hb = 0;
        int lead = 0;
        bool ok = false;
        if (std::sscanf(line, "%d %19s %f %f %f", &lead, name, &r, &g, &b) == 5) {
            index = lead;
            ok = true;
        } else if (std::sscanf(line, "%d %19s #%2X%2X%2X", &lead, name, &hr, &hg, &hb) == 5) {
            index = lead;
            r = hr / 255.0f, g = hg / 255.0f, b = hb / 255.0f;
            ok = true;
        } else if (std::sscanf(line, "%19s %f %f %f", name, &r, &g, &b) == 4) {
            ok = true;
        } else if (std::sscanf(line, "%19s #%2X%2X%2X", name, &hr, &hg, &hb) == 4) {
            r = hr / 255.0f, g = hg / 255.0f, b = hb / 255.0f;
            ok = true;
        }
        if (!ok) continue;  // not a colour line: nothing written, index unchanged
        if (index >= 0 && index < CLR_MAX_COLORS) {
            set_entry(index, name, r, g, b);
            next_count = std::max(next_count, index + 1);
            num_colors = std::max(num_colors, next_count);
        }
        // Keep counting past the table without overflowing the integer.
        if (index < CLR_MAX_COLORS * 2) ++index;
    }
    return next_count;
}

int CLR_read_table(const char *files)
{
    bool from_resource = false;
    std::string list;
    if (files && *files) {
        list = files;
    } else if (const char *ct = RES_get("color_table"); ct && *ct) {
        list = ct;
        from_resource = true;
    } else {
        list = "zyr.clr";
    }
    for (int i = 16; i < CLR_MAX_COLORS; ++i) colors[i].name[0] = '\0';

    int count = 0;
    char **names = nullptr;
    parse_string(list.c_str(), ',', &count, &names);
    int start = 0;
    bool first_file = true;
    for (int k = 0; k < count; ++k) {
        FILE *fp = CLR_open_data_file(names[k]);
        if (!fp) continue;
        if (first_file) num_colors = 0;  // the new table replaces the old
        int fill = -1;
        int next = CLR_read_stream(fp, start, &fill);
        std::fclose(fp);
        if (first_file && from_resource) {
            // Without an "END" line the fill count is the highest index of
            // the file (one less than its colour count), as the table format
            // has always read.
            num_fill = fill >= 0 ? fill : std::max(0, next - 1);
        }
        first_file = false;
        start = std::max(start, next);
    }
    free_parsed_array(count, names);
    return 0;
}

int CLR_add(const char *name, float r, float g, float b)
{
    if (num_colors >= CLR_MAX_COLORS) return -1;
    int i = num_colors++;
    set_entry(i, name ? name : "", r, g, b);
    // A colour typed while the workstation is open must reach it now.
    if (gchk_graphics()) GPH_set_color(i, colors[i].red, colors[i].green, colors[i].blue);
    return i;
}

int CLR_get_ind(const char *text)
{
    if (!text || !*text) return -1;
    if (stricmp(text, "end") == 0) return -2;
    if (stricmp(text, "none") == 0 || stricmp(text, "off") == 0 || stricmp(text, "back") == 0)
        return -1;
    static const char *const special[] = {"pblk", "pbblk", "ptblk", "pwht", "pbwht",
                                          "ptwht", "pgry", "pbgry", "ptgry"};
    for (int k = 0; k < 9; ++k)
        if (stricmp(text, special[k]) == 0) return CLR_PBLK + k;
    for (int i = 0; i < num_colors; ++i)
        if (colors[i].name[0] && stricmp(text, colors[i].name) == 0) return i;
    size_t n = std::strlen(text);
    if (text[0] == '#') {
        if (n == 7 && all_hex(text + 1, 6)) {
            auto part = [&](int k) { return (float)std::strtol(std::string(text + 1 + 2 * k, 2).c_str(), nullptr, 16); };
            return CLR_add(text, part(0) / 255.0f, part(1) / 255.0f, part(2) / 255.0f);
        }
        if (n == 10 && all_digits(text + 1, 9)) {
            int r = 0, g = 0, b = 0;
            std::sscanf(text + 1, "%3d%3d%3d", &r, &g, &b);
            return CLR_add(text, r / 255.0f, g / 255.0f, b / 255.0f);
        }
        return -1;
    }
    if (std::isdigit((unsigned char)text[0])) {
        // Saturate rather than overflow on absurdly long numbers.
        long v = std::strtol(text, nullptr, 10);
        return (int)std::min<long>(v, 1000000);
    }
    return -1;
}

namespace {
int clamp_index(int i)
{
    if (i < 0) return 0;
    if (i >= num_colors) return num_colors - 1;
    return i;
}
} // namespace

int CLR_get_rgb(int i, float *r, float *g, float *b)
{
    float cr = 0, cg = 0, cb = 0;
    if (num_colors > 0) {
        const CLR_ENTRY &e = colors[clamp_index(i)];
        cr = e.red, cg = e.green, cb = e.blue;
    }
    if (r) *r = cr;
    if (g) *g = cg;
    if (b) *b = cb;
    return 0;
}

const char *CLR_get_name(int i)
{
    if (num_colors <= 0) return "";
    return colors[clamp_index(i)].name;
}

int CLR_get_num() { return num_colors; }
int CLR_get_num_fill() { return num_fill; }
void CLR_clear_table()
{
    num_colors = 0;
    num_fill = 0;
}
