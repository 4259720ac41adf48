// The current and latest file, obtaining the input file name, and the walk
// through files by time.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"
#include "files/file.h"
#include "files/file_state.h"

using file_detail::MISSING;
using file_detail::State;

namespace {

State &S() { return file_detail::state(); }

constexpr int DEFAULT_TRIES = 500;
// Most steps a "latest file" search takes back (or forward): beyond this a
// count from a name is no search anyone meant, and each step asks the disc.
constexpr long MAX_TRIES = 10000;
constexpr int ANSWER_SIZE = 80;  // 79 characters and the terminator
constexpr int MAX_PROMPT_FAILURES = 4;

// The reference time: "zyrcurtime" (YYYYMMDDHHNN, optional "#") or now.
int64_t reference_time()
{
    const char *env = std::getenv("zyrcurtime");
    if (env && *env) {
        DATE d;
        DATE_init(&d);
        d.day = 1;
        d.month = 1;
        d.hour = d.minute = d.second = 0;
        file_detail::read_digit_date(env, &d);
        if (d.year != MISSING) return file_detail::seconds_of(d);
    }
    return DATE_get_time(nullptr);
}

// Moves the reference back to the latest past time carrying the override's
// month, day, hour and minute.  An override with a year ("#YYYYMMDDHHNN")
// names its time outright: its fields replace the reference's and nothing
// moves back.
int64_t apply_override(int64_t ref)
{
    const DATE &set = S().set;
    DATE d = file_detail::date_of(ref);
    if (set.year != MISSING && set.year > 0) {
        d.year = set.year;
        if (set.month >= 1 && set.month <= 12) d.month = set.month;
        if (set.day >= 1 && set.day <= 31) d.day = set.day;
        if (set.hour >= 0 && set.hour < 24) d.hour = set.hour;
        if (set.minute >= 0 && set.minute < 60) d.minute = set.minute;
        return file_detail::seconds_of(d);
    }
    if (set.minute != MISSING && set.minute >= 0 && set.minute < 60) {
        if (set.minute > d.minute) d = file_detail::date_of(file_detail::seconds_of(d) - 3600);
        d.minute = set.minute;
    }
    if (set.hour != MISSING && set.hour >= 0 && set.hour < 24) {
        if (set.hour > d.hour) d = file_detail::date_of(file_detail::seconds_of(d) - 86400);
        d.hour = set.hour;
    }
    if (set.day != MISSING && set.day >= 1 && set.day <= 31) {
        if (set.day > d.day) {
            if (--d.month < 1) d.month = 12, d.year--;
        }
        d.day = set.day;
    }
    if (set.month != MISSING && set.month >= 1 && set.month <= 12) {
        if (set.month > d.month) d.year--;
        d.month = set.month;
    }
    return file_detail::seconds_of(d);
}

// A signed offset of days, hours and minutes; returns the characters used.
int read_offset(const char *p, int64_t *seconds, bool *plus)
{
    const char *start = p;
    *plus = false;
    bool sign = false;
    if (*p == '+' || *p == '-') {
        *plus = *p == '+';
        sign = true;
        p++;
    }
    int d = 0, h = 0, m = 0, n1 = 0, n2 = 0, n3 = 0;
    int64_t off = 0;
    if (std::isdigit((unsigned char)*p) || *p == ':') {
        const char *dd = std::strchr(p, 'd');
        bool days = dd && dd == p + std::strspn(p, "0123456789");
        if (days) {
            int got = std::sscanf(p, "%dd%n%d%n:%d%n", &d, &n1, &h, &n2, &m, &n3);
            off = (int64_t)d * 86400 + (got >= 2 ? h : 0) * 3600 + (got >= 3 ? m : 0) * 60;
            p += n3 ? n3 : n2 ? n2 : n1;
        } else if (*p == ':') {
            if (std::sscanf(p, ":%d%n", &m, &n1) >= 1) p += n1, off = m * 60;
        } else {
            int got = std::sscanf(p, "%d%n:%d%n", &h, &n1, &m, &n2);
            off = (int64_t)h * 3600 + (got >= 2 ? m * 60 : 0);
            p += n2 ? n2 : n1;
        }
    } else if (!sign) {
        return 0;
    }
    *seconds = *plus ? off : -off;
    return (int)(p - start);
}

bool file_present(const char *name)
{
    int64_t size = FILE_size(name);
    int min = FILE_get_min_size();
    return size >= 0 && size > min - (min > 0 ? 0 : 1);
}

bool file_exists(const char *name) { return FILE_exist(name) != 0; }

// A missing input file ends the program with status 10.
int not_found_end(const char *name)
{
    MESS_print(MESS_WARN, "File not found: %s\n", name);
    ZYR_request_exit(10);
    return -1;
}

// Reads a time span "H:M", ":M" or "-H:M" in seconds.
int read_span(const char *text)
{
    int h = 0, m = 0;
    if (text[0] == ':' || (text[0] == '-' && text[1] == ':'))
        std::sscanf(std::strchr(text, ':'), ":%d", &m);
    else
        std::sscanf(text, "%d:%d", &h, &m);
    int secs = std::abs(h) * 3600 + std::abs(m) * 60;
    return (text[0] == '-' || m < 0) ? -secs : secs;
}

}  // namespace

int64_t FILE_set_current(const char *spec, char *name_out)
{
    State &s = S();
    if (!spec || !*spec) spec = "la";
    int64_t ref = reference_time();
    const char *p = spec;
    if (*p == '#') {
        DATE d;
        DATE_init(&d);
        d.month = d.day = 1;
        d.hour = d.minute = d.second = 0;
        p += file_detail::read_digit_date(p, &d);
        if (d.year != MISSING) ref = file_detail::seconds_of(d);
    }
    ref = apply_override(ref);
    int64_t off = 0;
    bool plus = false;
    p += read_offset(p, &off, &plus);
    ref += off;
    char name[FILE_NAME_SIZE] = "";
    if (std::tolower((unsigned char)*p) == 'l') {
        while (std::isalpha((unsigned char)*p)) p++;
        int tries = DEFAULT_TRIES;
        if (*p == '#') {
            tries = (int)std::clamp(std::strtol(p + 1, nullptr, 10), 0L, MAX_TRIES);
            p++;
            while (std::isdigit((unsigned char)*p)) p++;
        }
        int64_t t = ref;
        DATE d = file_detail::date_of(t);
        FILE_set_date(&d, name);
        int64_t step = FILE_get_offset();
        for (int i = 0; i < tries; i++) {
            d = file_detail::date_of(t);
            FILE_set_date(&d, name);
            if (file_present(name)) {
                ref = t;
                break;
            }
            t += plus ? step : -step;
        }
        int64_t more = 0;
        bool more_plus;
        if (read_offset(p, &more, &more_plus)) ref += more;
    }
    DATE d = file_detail::date_of(ref);
    FILE_set_date(&d, name);
    s.filename_type = 0;
    if (name_out) std::strcpy(name_out, name);
    int64_t step = s.late_off;
    return step >= 1 ? ref / step * step : ref;
}

namespace {

bool resolve_answer(const char *answer, char *name_out)
{
    if (answer[0] == '#' || !strnicmp(answer, "la", 2)) {
        FILE_set_current(answer, name_out);
        MESS_print(MESS_MESS, "Current filename: %s\n", name_out);
    } else if (!strnicmp(answer, "cu", 2)) {
        FILE_set_current(answer + 2, name_out);
        MESS_print(MESS_MESS, "Current filename: %s\n", name_out);
    } else {
        FILE_set_file(answer, name_out);
    }
    return file_exists(name_out);
}

void list_and_blank()
{
    MESS_print(MESS_PRINT, "List of available files:\n");
    FILE_list_file();
    MESS_print(MESS_PRINT, "\n");
}

// The end of the program is requested (ZYR_request_exit) and -1 returned
// for "list" as the file name (status 0), an "exit" answer or the end of
// input (0), and a file that is not found when no more answers are asked
// for (10).
int get_file(const char *prompt, char *name_out, int max_tries)
{
    int n = 0;
    char **vals = nullptr;
    RES_getvals("filename", &n, &vals);
    if (n > 0) {
        std::string first = vals[0];
        free_parsed_array(n, vals);
        if (!stricmp(first.c_str(), "list")) {
            FILE_list_file();
            ZYR_request_exit(0);
            return -1;
        }
        if (FILE_set_file(first.c_str(), name_out) < 0) return -1;
        return file_exists(name_out) ? 1 : 0;
    }
    if (const char *cur = RES_get("current")) {
        FILE_set_current(cur, name_out);
        if (!file_exists(name_out)) return not_found_end(name_out);
        MESS_print(MESS_MESS, "Current filename: %s\n", name_out);
        return 1;
    }
    if (FLAG_batch()) {
        FILE_set_current("la", name_out);
        if (!file_exists(name_out)) return not_found_end(name_out);
        MESS_print(MESS_MESS, "Current filename: %s\n", name_out);
        return 1;
    }
    list_and_blank();
    for (int failures = 0;;) {
        char answer[ANSWER_SIZE] = "";
        if (!ZYR_prompts(prompt ? prompt : "File name: ", answer, ANSWER_SIZE)) return -1;
        if (!std::strcmp(answer, "exit")) {
            ZYR_request_exit(0);
            return -1;
        }
        if (!std::strcmp(answer, "list")) {
            list_and_blank();
            continue;
        }
        if (resolve_answer(answer, name_out)) return 1;
        if (++failures >= max_tries) return not_found_end(name_out);
        MESS_print(MESS_WARN, "File not found: %s\n", name_out);
    }
}

}  // namespace

int FILE_get_file(const char *prompt, char *name_out)
{
    return get_file(prompt, name_out, MAX_PROMPT_FAILURES);
}

int FILE_get_file_only(const char *prompt, char *name_out)
{
    return get_file(prompt, name_out, 1);
}

// ---- the walk ----

int FILE_set_def_hours(int hours) { return S().def_hours = hours * 3600; }

int FILE_first(const DATE *start)
{
    State &s = S();
    s.files.clear();
    int n = 0;
    char **vals = nullptr;
    RES_getvals("filename", &n, &vals);
    for (int i = 0; i < n; i++) s.files.emplace_back(vals[i]);
    free_parsed_array(n, vals);
    if (!s.files.empty() && (!strnicmp(s.files[0].c_str(), "la", 2) ||
                             !strnicmp(s.files[0].c_str(), "cu", 2)))
        s.files.clear();
    s.file_ind = 0;
    s.once_done = false;
    if (start) s.first_date = *start;
    else s.first_date = s.file_date;

    const char *span = RES_get("num_hour");
    s.num_hour = (span && *span) ? read_span(span) : s.def_hours;
    s.skip = s.late_off;
    if (span) {
        if (const char *comma = std::strchr(span, ',')) {
            int h = 0, m = 0;
            std::sscanf(comma, ",%d:%d", &h, &m);
            s.skip = h * 3600 + m * 60;
        }
    }
    s.offset = FILE_get_offset();
    if (s.skip / s.offset >= 1) s.offset *= s.skip / s.offset;
    s.secs = s.nsecs = s.num_hour < 0 ? (s.num_hour - s.offset + 1) / s.offset * s.offset : 0;
    return 0;
}

int FILE_get_next(char *name_out)
{
    State &s = S();
    const int nfiles = (int)s.files.size();
    if (nfiles > 1 || (nfiles == 1 && s.num_hour == 0)) {
        if (s.file_ind >= nfiles) return 0;
        // A list entry "exit" ends the program (-1).
        return FILE_set_file(s.files[(size_t)s.file_ind++].c_str(), name_out) < 0 ? -1 : 1;
    }
    if ((s.num_hour >= 0 && s.nsecs > s.num_hour) || (s.num_hour < 0 && s.nsecs > 0)) return 0;
    if (s.num_hour == 0) {
        if (s.once_done) return 0;
        s.once_done = true;
        if (name_out) std::strcpy(name_out, s.filename);
        return 1;
    }
    MESS_print(0x80000000, " in: ");
    DATE_print(0x80000000, &s.first_date);
    FILE_set_date_off(&s.first_date, s.nsecs, name_out);
    MESS_print(0x80000000, "out: ");
    DATE_print(0x80000000, &s.file_date);
    MESS_print(0x40000000, "NEXT: %d %d %d %d %d %s\n", s.num_hour, s.nsecs, s.offset, s.skip,
               s.file_ind, name_out ? name_out : "");
    s.secs = s.nsecs;
    s.nsecs += s.offset;
    return 1;
}

int FILE_get_num_file()
{
    const State &s = S();
    const int nfiles = (int)s.files.size();
    if (nfiles > 1) return nfiles - 1;
    const int off = s.offset > 0 ? s.offset : FILE_get_offset();
    return std::abs(s.num_hour) / off;
}

int FILE_next_file(char *name_out)
{
    State &s = S();
    s.secs += s.offset;
    return FILE_set_date_off(&s.first_date, s.secs, name_out);
}

int FILE_prev_file(char *name_out)
{
    State &s = S();
    s.secs -= s.offset;
    return FILE_set_date_off(&s.first_date, s.secs, name_out);
}

int FILE_set_date_off(const DATE *date, int seconds, char *name_out)
{
    const DATE base = date ? *date : S().file_date;
    DATE d = file_detail::date_of(file_detail::seconds_of(base) + seconds);
    FILE_set_date(&d, name_out);
    const int step = S().late_off;
    return step < 1 ? seconds / 100000 : seconds / step;
}
