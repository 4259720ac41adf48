// Name conventions: the convention file, template expansion with a date,
// reading a typed name back against the template, the time override and the
// module's accessors.
#include "files/file.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/flags.h"
#include "core/hooks.h"
#include "core/res.h"
#include "core/util.h"
#include "files/file_state.h"

using file_detail::MISSING;
using file_detail::State;

namespace file_detail {

State &state()
{
    static State s;
    return s;
}

int64_t seconds_of(DATE date)
{
    date.julian = date.weekday = MISSING;
    return DATE_num_sec(&date);
}

DATE date_of(int64_t seconds)
{
    DATE d;
    DATE_get_gmdate(&seconds, &d);
    return d;
}

}  // namespace file_detail

namespace {

State &S() { return file_detail::state(); }

// Convention lines are "name template header-template min-size".
constexpr int LINE_SIZE = 161;

const char *path_resource(char letter)
{
    switch (letter) {
    case 'C': return "con_path";
    case 'D': return "data_path";
    case 'F': return "file_path";
    case 'G': return "grid_path";
    case 'I': return "image_path";
    case 'M': return "model_path";
    case 'R': return "raw_path";
    case 'S': return "sat_path";
    case 'T': return "text_path";
    case 'W': return "watch_path";
    default: return nullptr;
    }
}

std::string path_value(char letter)
{
    const char *v = RES_get(path_resource(letter));
    return (v && *v) ? v : ".";
}

bool is_sep(char c) { return c == '/' || c == ':'; }

// The leading part of a full-path name up to its k-th separator from the
// end, so that names built after it stay in its directory.  Empty when the
// name has fewer separators.
std::string leading_path(const char *name, int k)
{
    if (k < 1) return "";
    int seen = 0;
    for (int i = (int)std::strlen(name) - 1; i >= 0; i--)
        if (is_sep(name[i]) && ++seen == k) return std::string(name, (size_t)i);
    return "";
}

int count_seps(const char *templ)
{
    int k = 0;
    for (const char *p = templ; *p; p++) k += is_sep(*p);
    return k;
}

void append_num(std::string &o, int value, int width)
{
    char buf[16];
    if (value == MISSING) value = 0;
    std::snprintf(buf, sizeof buf, "%0*d", width, value);
    o += buf;
}

// The step the template takes (smallest time field wins).
void take_step(int seconds)
{
    int &lo = S().late_off;
    if (seconds > 0 && (lo == MISSING || seconds < lo)) lo = seconds;
}

int round_down(int value, int n) { return (value == MISSING || n < 1) ? value : value / n * n; }

// An hour or minute override -(100k + N) selects the N-cycle shifted by k.
bool cycle_of(int override_value, int *n, int *k)
{
    if (override_value == MISSING || override_value >= 0) return false;
    int v = -override_value;
    *k = v / 100;
    *n = v % 100;
    return *n >= 1;
}

// An hour or minute field: rounded to its width N, or to the cycle of a
// negative override; the template's step follows (unit: seconds per value).
void time_field(int &value, int override_value, int n, int unit)
{
    int cyc, k;
    if (cycle_of(override_value, &cyc, &k)) {
        if (value != MISSING) value = value / cyc * cyc + k;
        take_step(cyc * unit);
    } else {
        if (n > 0) value = round_down(value, n);
        take_step((n > 0 ? n : 1) * unit);
    }
}

// Reads the width or step N and the letter of a field after its "%";
// returns the position after the letter, or null at the end of the text.
const char *read_field(const char *t, int *n, bool *has_n, char *letter)
{
    *n = 0;
    *has_n = false;
    while (std::isdigit((unsigned char)*t)) {
        *n = std::min(*n * 10 + (*t++ - '0'), 1000);
        *has_n = true;
    }
    *letter = *t;
    return *t ? t + 1 : nullptr;
}

void copy_out(char *out, const std::string &text)
{
    strntcpy(out, text.c_str(), FILE_NAME_SIZE);
}

// Reads exactly n digits; false when they are not there.
bool read_digits(const char *&p, int n, int *value)
{
    int v = 0;
    for (int i = 0; i < n; i++) {
        if (!std::isdigit((unsigned char)p[i])) return false;
        v = v * 10 + (p[i] - '0');
    }
    p += n;
    *value = v;
    return true;
}

// Reads a typed name back against the template, field by field, building
// the full name at the same time.  Fields that cannot be read stay missing
// and the rest of the name is copied as it stands.
void parse_name(const char *templ, const char *name, std::string &out, DATE *d)
{
    const char *t = templ, *p = name;
    const bool full = FILE_fullpath(name);
    bool stop = false;
    while (*t && !stop) {
        char c = *t;
        if (c != '%') {
            if (c == '{' || c == '}') {
                t++;
                continue;
            }
            if (c == '*') {  // the rest of the name
                out += p;
                p += std::strlen(p);
                t++;
                continue;
            }
            char want = (c == ' ') ? '_' : c;
            if (*p != want) break;
            out += *p++;
            t++;
            continue;
        }
        int n;
        bool has_n;
        char f;
        if (!(t = read_field(t + 1, &n, &has_n, &f))) break;
        int v;
        switch (f) {
        case '%':
            if (*p != '%') stop = true;
            else out += *p++;
            break;
        case 'C': case 'D': case 'F': case 'G': case 'I':
        case 'M': case 'R': case 'S': case 'T': case 'W':
            if (!full) {
                // A bare name gets the resource's directory and the
                // template's separator after it.
                out += path_value(f);
                if (is_sep(*t)) out += *t++;
            } else {
                std::string lead = leading_path(p, count_seps(t));
                out += lead;
                p += lead.size();
            }
            break;
        case '{': {
            const char *end = std::strchr(t, '}');
            t = end ? end + 1 : t + std::strlen(t);
            break;
        }
        case 'Y':
            if (read_digits(p, 4, &v)) { d->year = v; append_num(out, v, 4); }
            else stop = true;
            break;
        case 'y':
            if (read_digits(p, 2, &v)) { d->year = v > 49 ? 1900 + v : 2000 + v; append_num(out, v, 2); }
            else stop = true;
            break;
        case 'm': case 'd': case 'h': case 'n':
            if (!read_digits(p, 2, &v)) { stop = true; break; }
            append_num(out, v, 2);
            (f == 'm' ? d->month : f == 'd' ? d->day : f == 'h' ? d->hour : d->minute) = v;
            break;
        case 'j':
            if (!read_digits(p, 3, &v)) { stop = true; break; }
            append_num(out, v, 3);
            d->julian = v;
            if (d->year != MISSING) DATE_julian_monday(d->year, v, &d->month, &d->day);
            break;
        case 'b': {
            // The three letters, when the name has them.
            char mon[4] = {0};
            const size_t got = strnlen(p, 3);
            std::memcpy(mon, p, got);
            int m = got == 3 ? DATE_decode_month(mon) : 0;
            if (m < 1) { stop = true; break; }
            d->month = m;
            out.append(p, 3);
            p += 3;
            break;
        }
        default: {
            // Key and extension fields copy the name's characters: N of
            // them when given, else up to the template's next literal.
            size_t len = std::strlen(p);
            if (has_n) {
                len = std::min(len, (size_t)n);
            } else if (*t && *t != '%') {
                const char *hit = std::strchr(p, *t == ' ' ? '_' : *t);
                if (hit) len = (size_t)(hit - p);
            }
            out.append(p, len);
            p += len;
            break;
        }
        }
    }
    out += p;  // whatever was not matched stays as typed
}

// A template with wildcards reads a typed name's date from its file part
// (after the last "/"), wildcards and all; a name that does not match keeps
// what the field-by-field reading gave.
void read_wild_date(const std::string &full, DATE *d)
{
    State &s = S();
    const DATE keep_date = s.file_date;
    const int keep_step = s.late_off;
    DATE none;
    DATE_init(&none);
    char dummy[FILE_NAME_SIZE];
    file_detail::Built built;
    file_detail::expand(s.conv, &none, dummy, &built);
    s.file_date = keep_date;
    s.late_off = keep_step;
    if (!built.wild) return;
    const size_t slash = full.rfind('/');
    DATE got;
    DATE_init(&got);
    if (!file_detail::match_pieces(built.pieces, full.c_str() + (slash == std::string::npos ? 0 : slash + 1), &got))
        return;
    if (got.julian != MISSING && got.month == MISSING && got.year != MISSING)
        DATE_julian_monday(got.year, got.julian, &got.month, &got.day);
    *d = got;
}

void set_literal(const char *name, char *out)
{
    strntcpy(S().filename, name, FILE_NAME_SIZE);
    S().filename_type = 1;
    DATE_init(&S().file_date);  // a literal name carries no date
    if (out) strntcpy(out, name, FILE_NAME_SIZE);
}

// The convention file: the "name_conv" resource, in "file_path" unless it
// is a full path.  Without "file_path" the bundled data folder is used: the
// build tree's data/ and, when installed, share/zyrsat beside the program.
std::string conv_file_name()
{
    const char *conv = RES_get("name_conv");
    std::string name = (conv && *conv) ? conv : "name_conv";
    if (FILE_fullpath(name.c_str())) return name;
    const char *dir = RES_get("file_path");
    if (dir && *dir) return std::string(dir) + "/" + name;
    return std::string(FILE_data_dir()) + "/" + name;
}

}  // namespace

namespace file_detail {

void expand(const char *templ, const DATE *date, char *out, Built *built)
{
    State &s = S();
    DATE d = date ? *date : s.file_date;
    if (d.julian == MISSING && d.year != MISSING && d.month != MISSING && d.day != MISSING)
        DATE_monday_julian(d.year, d.month, d.day, &d.julian);
    s.late_off = MISSING;
    std::string lead;
    const bool extract = s.filename_type == 1 && FILE_fullpath(s.filename);
    if (extract) {
        lead = leading_path(s.filename, count_seps(templ));
        MESS_print(0x40000000, "Extracted path: %s\n", lead.c_str());
    }
    std::string o;
    // The pieces of the last path component follow the text as it grows:
    // every "/" starts them afresh.
    std::vector<Piece> pieces;
    auto emit = [&](const std::string &text) {
        o += text;
        for (char c : text) {
            if (c == '/') {
                pieces.clear();
            } else if (c == '*' || c == '?') {
                pieces.push_back(Piece{c == '*' ? Piece::ANY : Piece::ONE, ""});
            } else {
                if (pieces.empty() || pieces.back().kind != Piece::TEXT) pieces.push_back(Piece{Piece::TEXT, ""});
                pieces.back().text += c;
            }
        }
    };
    auto emit_num = [&](char letter, int value, int width, int step) {
        std::string digits;
        append_num(digits, value, width);
        o += digits;
        pieces.push_back(Piece{Piece::FIELD, "", letter, value, step});
    };
    for (const char *t = templ; *t;) {
        char c = *t++;
        if (c != '%') {
            if (c == '{' || c == '}') continue;
            emit(std::string(1, (c == ' ') ? '_' : c));
            continue;
        }
        int n;
        bool has_n;
        char f;
        if (!(t = read_field(t, &n, &has_n, &f))) break;
        const int step = has_n && n > 0 ? n : 1;
        const int nstep = has_n && n > 0 ? n : 0;  // a name's rounding when it is matched
        switch (f) {
        case '%': emit("%"); break;
        case 'C': case 'D': case 'F': case 'G': case 'I':
        case 'M': case 'R': case 'S': case 'T': case 'W':
            emit((extract && !lead.empty()) ? lead : path_value(f));
            break;
        case '{': {
            const char *end = std::strchr(t, '}');
            std::string rname(t, end ? (size_t)(end - t) : std::strlen(t));
            if (const char *v = RES_get(rname.c_str())) emit(v);
            t = end ? end + 1 : t + std::strlen(t);
            break;
        }
        case 'Y':
            if (has_n) d.year = round_down(d.year, n);
            emit_num('Y', d.year, 4, nstep);
            break;
        case 'y':
            if (has_n) d.year = round_down(d.year, n);
            emit_num('y', d.year == MISSING ? MISSING : d.year % 100, 2, nstep);
            break;
        case 'm':
            if (has_n) d.month = round_down(d.month, n);
            emit_num('m', d.month, 2, nstep);
            break;
        case 'b':
            if (d.month != MISSING) o += DATE_month_lower(d.month);
            pieces.push_back(Piece{Piece::FIELD, "", 'b', d.month, 0});
            break;
        case 'd':
            if (s.set.day != MISSING && s.set.day < 0) {
                d.day = round_down(d.day, -s.set.day);
                take_step(-s.set.day * 86400);
                emit_num('d', d.day, 2, -s.set.day);
            } else {
                if (has_n) d.day = round_down(d.day, n);
                take_step(step * 86400);
                emit_num('d', d.day, 2, nstep);
            }
            break;
        case 'j':
            if (has_n) d.julian = round_down(d.julian, n);
            take_step(step * 86400);
            emit_num('j', d.julian, 3, nstep);
            break;
        case 'h':
        case 'n': {
            int &v = f == 'h' ? d.hour : d.minute;
            const int over = f == 'h' ? s.set.hour : s.set.minute;
            int cyc, k;
            // A cycle of an override names one value a slot; a step names
            // any value of its slot.
            const bool cycle = cycle_of(over, &cyc, &k);
            time_field(v, over, has_n ? n : 0, f == 'h' ? 3600 : 60);
            emit_num(f, v, 2, cycle ? 0 : nstep);
            break;
        }
        case 'e': emit(s.ext); break;
        default: {
            const char *key = s.keys[(unsigned char)f];
            if (!*key) emit("0");
            else emit(std::string(key, has_n ? std::min(std::strlen(key), (size_t)n) : std::strlen(key)));
            break;
        }
        }
    }
    s.file_date = d;
    copy_out(out, o);
    if (built) {
        const size_t slash = o.rfind('/');
        built->dir = slash == std::string::npos ? "" : o.substr(0, slash + 1);
        built->wild = std::any_of(pieces.begin(), pieces.end(),
                                  [](const Piece &p) { return p.kind == Piece::ANY || p.kind == Piece::ONE; });
        built->pieces = std::move(pieces);
    }
}

int read_digit_date(const char *text, DATE *d)
{
    const char *p = text;
    if (*p == '#') p++;
    int v;
    if (read_digits(p, 4, &v)) d->year = v; else return (int)(p - text);
    if (read_digits(p, 2, &v)) d->month = v; else return (int)(p - text);
    if (read_digits(p, 2, &v)) d->day = v; else return (int)(p - text);
    if (read_digits(p, 2, &v)) d->hour = v; else return (int)(p - text);
    if (read_digits(p, 2, &v)) d->minute = v;
    return (int)(p - text);
}

void decode_time(const char *text, DATE *set)
{
    DATE_init(set);
    if (!text) return;
    const size_t len = std::strlen(text);
    const bool colon = std::strchr(text, ':') != nullptr;
    int a, b, c;
    if (text[0] == '#') {
        read_digit_date(text, set);
    } else if (len == 6 && !colon) {
        if (std::sscanf(text, "%2d%2d%2d", &a, &b, &c) == 3) {
            set->month = a;
            set->day = b;
            set->hour = c;
        }
    } else if (len == 4 && std::isdigit((unsigned char)text[0]) && !colon) {
        if (std::sscanf(text, "%2d%2d", &a, &b) == 2) set->day = a, set->hour = b;
    } else if (len == 3 && std::isdigit((unsigned char)text[0]) && !colon) {
        if (std::sscanf(text, "%1d%2d", &a, &b) == 2) set->day = a, set->hour = b;
    } else if (std::strchr(text, 'd')) {
        int n = std::sscanf(text, "%dd%d:%d", &a, &b, &c);
        if (n >= 1) set->day = a;
        if (n >= 2) set->hour = b;
        if (n >= 3) set->minute = c;
    } else if (text[0] == ':') {
        if (std::sscanf(text, ":%d", &a) == 1) set->minute = a;
    } else if (text[0] == '-' && text[1] == ':') {
        if (std::sscanf(text + 2, "%d", &a) == 1) set->minute = -a;
    } else {
        int n = std::sscanf(text, "%d:%d", &a, &b);
        if (n >= 1) set->hour = a;
        if (n >= 2) set->minute = b;
        if (text[0] == '-' && n >= 1 && a == 0) {
            set->hour = MISSING;
            if (n >= 2) set->minute = -std::abs(b);
        }
    }
}

}  // namespace file_detail

int FILE_set_name(const char *name)
{
    State &s = S();
    s.ext[0] = '\0';
    if (!name || !stricmp(name, "none")) {
        s.conv[0] = s.hconv[0] = '\0';
        return 0;
    }
    if (name[0] == '@') {
        strntcpy(s.conv, name + 1, FILE_NAME_SIZE);
        s.hconv[0] = '\0';
        char dummy[FILE_NAME_SIZE];
        file_detail::expand(s.conv, nullptr, dummy);
        return 1;
    }
    // Key settings after colons: "name:c=text:d=text".
    char want[FILE_NAME_SIZE];
    strntcpy(want, name, FILE_NAME_SIZE);
    if (char *colon = std::strchr(want, ':')) {
        *colon = '\0';
        for (char *k = colon + 1; k && *k;) {
            char *next = std::strchr(k, ':');
            if (next) *next++ = '\0';
            char key, text[FILE_NAME_SIZE];
            if (std::sscanf(k, "%c=%159[^:]", &key, text) == 2) {
                FILE_set_key(key, text);
                MESS_print(0x80000000, "KEY: %c = %s\n", key, text);
            }
            k = next;
        }
    }
    int result = 0;
    std::string file = conv_file_name();
    MESS_print(0x10000000, "Opening name convention file: %s\n", file.c_str());
    FILE *in = FILE_open(file.c_str(), "r");
    if (!in || in == stdin) {
        MESS_print(MESS_WARN, "FILE_set_name: No file name convention file: %s\n", file.c_str());
        strntcpy(s.conv, want, FILE_NAME_SIZE);
        s.hconv[0] = '\0';
    } else {
        char line[LINE_SIZE], cname[LINE_SIZE], templ[LINE_SIZE], htempl[LINE_SIZE];
        char pname[LINE_SIZE] = "", ptempl[LINE_SIZE] = "", phtempl[LINE_SIZE] = "";
        int size, psize = 0;
        bool exact = false;
        while (fgetnline(in, line, LINE_SIZE - 1) >= 0 && !exact) {
            if (line[0] == '#') continue;
            size = 0;
            if (std::sscanf(line, "%160s %160s %160s %d", cname, templ, htempl, &size) < 2) continue;
            if (std::sscanf(line, "%*s %*s %160s", htempl) != 1) std::strcpy(htempl, "-");
            if (!stricmp(cname, want)) {
                exact = true;
                std::strcpy(pname, cname);
                std::strcpy(ptempl, templ);
                std::strcpy(phtempl, htempl);
                psize = size;
            } else if (!*pname && !strnicmp(cname, want, (int)std::strlen(cname))) {
                std::strcpy(pname, cname);
                std::strcpy(ptempl, templ);
                std::strcpy(phtempl, htempl);
                psize = size;
            }
        }
        std::fclose(in);
        if (*pname) {
            strntcpy(s.conv, ptempl, FILE_NAME_SIZE);
            strntcpy(s.hconv, std::strcmp(phtempl, "-") ? phtempl : "", FILE_NAME_SIZE);
            s.min_size = psize;
            result = 1;
            if (exact) {
                MESS_print(0x10000000, "File name match for: %s\n", want);
            } else {
                const char *us = std::strrchr(want, '_');
                strntcpy(s.ext, us ? us + 1 : "", sizeof s.ext);
                MESS_print(0x10000000, "File name partial match for: %s-%s ext: %s\n", pname, want,
                           s.ext);
            }
        } else {
            MESS_print(0x10000000, "No file name conversion for: %s\n", want);
            strntcpy(s.conv, want, FILE_NAME_SIZE);
            s.hconv[0] = '\0';
        }
    }
    // The step of the new template, known before any name is built.
    char dummy[FILE_NAME_SIZE];
    DATE none;
    DATE_init(&none);
    DATE keep = s.file_date;
    file_detail::expand(s.conv, &none, dummy);
    s.file_date = keep;
    return result;
}

int FILE_set_date(const DATE *date, char *name_out)
{
    State &s = S();
    char name[FILE_NAME_SIZE];
    const char *templ = s.header ? s.hconv : s.conv;
    if (!*templ || (date && date->year == MISSING && s.filename_type == 1 && *s.filename)) {
        strntcpy(name, *s.filename ? s.filename : "filename", FILE_NAME_SIZE);
    } else {
        const DATE requested = date ? *date : s.file_date;
        file_detail::Built built;
        file_detail::expand(templ, date, name, &built);
        // Wildcards in the file part: the folder's file that matches.
        if (built.wild)
            strntcpy(name, file_detail::resolve_wild(built, requested, s.file_date, name).c_str(),
                     FILE_NAME_SIZE);
        strntcpy(s.filename, name, FILE_NAME_SIZE);
    }
    if (name_out) std::strcpy(name_out, name);
    return FILE_is_std(templ) && *templ ? 1 : 0;
}

int FILE_hdr_set_date(const DATE *date, char *name_out)
{
    State &s = S();
    if (!*s.hconv) {
        if (name_out) name_out[0] = '\0';
        return 0;
    }
    char keep[FILE_NAME_SIZE];
    std::strcpy(keep, s.filename);
    s.header = true;
    FILE_set_date(date, name_out);
    s.header = false;
    std::strcpy(s.filename, keep);
    return name_out && *name_out ? 1 : 0;
}

int FILE_set_file(const char *spec, char *name_out)
{
    State &s = S();
    if (!spec) spec = "";
    if (!std::strcmp(spec, "exit")) {
        ZYR_request_exit(0);
        return -1;
    }
    char name[FILE_NAME_SIZE];
    strntcpy(name, spec, FILE_NAME_SIZE);
    // "name#YYYYMMDDHH": the digits set the time override.
    if (char *hash = std::strchr(name + 1, '#');
        hash && name[0] && std::isdigit((unsigned char)hash[1])) {
        FILE_set_time(hash);
        *hash = '\0';
    }
    if (name[0] == '@') {
        set_literal(name + 1, name_out);
        return 1;
    }
    if (FILE_is_std(name) || (*s.conv && FILE_is_std(s.conv))) {
        set_literal("-", name_out);
        return 1;
    }
    if (!*s.conv) {
        set_literal(name, name_out);
        return 1;
    }
    if (name[0] == '#' || !strnicmp(name, "la", 2) || !strnicmp(name, "cu", 2)) {
        const char *rest = !strnicmp(name, "cu", 2) ? name + 2 : name;
        char built[FILE_NAME_SIZE];
        FILE_set_current(rest, built);
        MESS_print(MESS_MESS, "Current filename: %s\n", built);
        if (name_out) std::strcpy(name_out, built);
        return 1;
    }
    if (!stricmp(name, "none") || (FILE_fullpath(name) && FILE_fullpath(s.conv))) {
        set_literal(name, name_out);
        return 1;
    }
    DATE d;
    DATE_init(&d);
    std::string full;
    parse_name(s.conv, name, full, &d);
    read_wild_date(full, &d);
    s.file_date = d;
    strntcpy(s.filename, full.c_str(), FILE_NAME_SIZE);
    // A full path keeps its directory for the names built after it.
    s.filename_type = FILE_fullpath(name) ? 1 : 0;
    if (name_out) strntcpy(name_out, full.c_str(), FILE_NAME_SIZE);
    return 1;
}

int FILE_get_date(DATE *date)
{
    if (date) *date = S().file_date;
    return 0;
}

// ---- time override ----

int FILE_set_time(const char *text)
{
    file_detail::decode_time(text, &S().set);
    return 0;
}

int FILE_get_time(DATE *date)
{
    if (date) *date = S().set;
    return 0;
}

int FILE_reset_time()
{
    DATE_init(&S().set);
    return 0;
}

// ---- accessors ----

int FILE_get_offset() { return S().late_off < 1 ? 100000 : S().late_off; }
int FILE_set_late_off(int seconds) { return S().late_off = seconds; }
int FILE_get_late_off() { return S().late_off; }
int FILE_set_min_size(int bytes) { return S().rmin_size = bytes; }
int FILE_get_min_size() { return S().rmin_size ? S().rmin_size : S().min_size; }

int FILE_set_key(int c, const char *text)
{
    char *key = S().keys[(unsigned char)c];
    strntcpy(key, text ? text : "", sizeof S().keys[0]);
    fill_string(key, ' ', '_');
    return 0;
}

const char *FILE_get_key(int c) { return S().keys[(unsigned char)c]; }

int FILE_set_filename(const char *name)
{
    strntcpy(S().filename, name ? name : "", FILE_NAME_SIZE);
    S().filename_type = 1;
    return 0;
}

const char *FILE_get_filename() { return S().filename; }

int FILE_set_name_conv(const char *templ)
{
    strntcpy(S().conv, templ ? templ : "", FILE_NAME_SIZE);
    return 0;
}

const char *FILE_get_name_conv() { return S().conv; }

int FILE_set_ext_info(const char *text)
{
    strntcpy(S().ext_info, text ? text : "", sizeof S().ext_info);
    return 0;
}

const char *FILE_get_ext_info() { return S().ext_info; }

namespace {
struct Saved {
    int late_off = 3600;
    char conv[FILE_NAME_SIZE] = "", hconv[FILE_NAME_SIZE] = "", filename[FILE_NAME_SIZE] = "";
    int filename_type = 0;
} saved;
}  // namespace

int FILE_save_name_conv()
{
    State &s = S();
    saved.late_off = s.late_off;
    std::strcpy(saved.conv, s.conv);
    std::strcpy(saved.hconv, s.hconv);
    std::strcpy(saved.filename, s.filename);
    saved.filename_type = s.filename_type;
    return 0;
}

int FILE_restore_name_conv()
{
    State &s = S();
    s.late_off = saved.late_off;
    std::strcpy(s.conv, saved.conv);
    std::strcpy(s.hconv, saved.hconv);
    std::strcpy(s.filename, saved.filename);
    s.filename_type = saved.filename_type;
    return 0;
}

// ---- listing ----

int FILE_list_file()
{
    const State &s = S();
    std::string cmd = "ls -x ";
    for (const char *t = s.conv; *t;) {
        char c = *t++;
        if (c != '%') {
            if (c != '{' && c != '}') cmd += (c == ' ') ? '_' : c;
            continue;
        }
        int n;
        bool has_n;
        char f;
        if (!(t = read_field(t, &n, &has_n, &f))) break;
        if (path_resource(f)) {
            cmd += path_value(f);
            continue;
        }
        switch (f) {
        case '%': cmd += '%'; break;
        case 'Y': cmd += "?[0-9]??"; break;
        case 'b': cmd += "?[a-z]?"; break;
        case 'd': case 'h': case 'm': case 'n': case 'y': cmd += "[0-9]?"; break;
        case 'j': cmd += "?[0-9]?"; break;
        case 'e': cmd += *s.ext ? s.ext : "*"; break;
        case '{': {
            const char *end = std::strchr(t, '}');
            std::string rname(t, end ? (size_t)(end - t) : std::strlen(t));
            if (const char *v = RES_get(rname.c_str())) cmd += v;
            t = end ? end + 1 : t + std::strlen(t);
            break;
        }
        default: {
            const char *key = s.keys[(unsigned char)f];
            if (*key) cmd += key;
            else if (has_n) cmd.append((size_t)n, '?');
            else cmd += '*';
            break;
        }
        }
    }
    MESS_print(MESS_DEBUG, "SEARCH: %s\n", cmd.c_str());
    std::fflush(stdout);
    return std::system(cmd.c_str());
}

void FILE_register_hooks()
{
    HOOK_table().set_file_time = FILE_set_time;
    HOOK_table().set_time_zone = DATE_set_TZ;
    HOOK_table().current_time_text = DATE_get_current_str;
}

void FILE_reset()
{
    S() = State{};
    saved = Saved{};
}
