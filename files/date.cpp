#include "files/date.h"

#include "core/flags.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sys/time.h>

namespace {

constexpr int MISSING = -9999;

// Longest text any formatter here writes, terminator included.  Every
// label fits well inside it (the longest, a 12-hour label with a four-letter
// zone and the UTC bracket, is 31 characters).
constexpr size_t OUT_SIZE = DATE_TEXT_SIZE;

const char *const months[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
const char *const months_lc[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                   "jul", "aug", "sep", "oct", "nov", "dec"};
const char *const months_long[12] = {"January", "February", "March",     "April",
                                     "May",     "June",     "July",      "August",
                                     "September", "October", "November", "December"};
const char *const day_of_week[7] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};

// Days before each month (index 0..11) and the year's length (index 12),
// for a common and for a leap year.
const int cum_days[2][13] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335, 366},
};

// Display time zone.
char tz_str[7] = "Z";  // zone text appended to label times
int tz_off = 0;        // seconds added to UTC for display
int tz_pm = 0;         // 0: 24-hour, 1: 12-hour, -1: 12-hour plus UTC in brackets

// The range fixes every conversion applies before it uses a record.  A
// field below its range, the missing value included, is treated like one
// above it: records built from user input often lack the second (or the
// minute), and counting -9999 seconds would move the time by hours.  A
// negative year becomes 1980; the year is not widened here.
void fix_ranges(DATE *d)
{
    if (d->year < 0) d->year = 1980;
    if (d->month < 1 || d->month > 12) d->month = 1;
    if (d->day < 1 || d->day > 31) d->day = 1;
    if (d->hour < 0 || d->hour > 23) d->hour = 0;
    if (d->minute < 0 || d->minute > 59) d->minute = 0;
    if (d->second < 0 || d->second > 59) d->second = 0;
}

// Two-digit years: below 50 the 2000s, then below 200 the 1900s (so 99 is
// 1999 and 104 is 2004).
int widen_year(int year)
{
    if (year < 50) year += 2000;
    if (year < 200) year += 1900;
    return year;
}

int64_t floor_div(int64_t a, int64_t b)
{
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// Gregorian calendar date of a day count from 1970-01-01 (day 0).  Works
// for any count whose year fits in 64 bits.
void civil_from_days(int64_t z, int64_t *year, int *month, int *day)
{
    z += 719468;  // shift the epoch to 0000-03-01
    int64_t era = floor_div(z, 146097);
    int64_t doe = z - era * 146097;                                     // 0..146096
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;  // 0..399
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);               // 0..365, from March
    int64_t mp = (5 * doy + 2) / 153;                                    // 0..11, March first
    *day = (int)(doy - (153 * mp + 2) / 5 + 1);
    *month = (int)(mp < 10 ? mp + 3 : mp - 9);
    *year = yoe + era * 400 + (*month <= 2 ? 1 : 0);
}

// Fills the record from a count of seconds in UTC.  False when the year
// does not fit the record.
bool date_from_seconds(int64_t seconds, DATE *date)
{
    // The remainder taken first: days * 86400 would overflow near the
    // smallest count.
    int64_t rest = seconds % 86400;
    if (rest < 0) rest += 86400;
    const int64_t days = floor_div(seconds, 86400);
    int64_t year;
    int month, day;
    civil_from_days(days, &year, &month, &day);
    if (year < INT32_MIN || year > INT32_MAX) return false;
    date->year = (int32_t)year;
    date->month = month;
    date->day = day;
    date->julian = cum_days[DATE_is_leap((int)year)][month - 1] + day;
    date->weekday = (int)(((days + 4) % 7 + 7) % 7);  // 1970-01-01 was a Thursday
    date->hour = (int)(rest / 3600);
    date->minute = (int)(rest % 3600 / 60);
    date->second = (int)(rest % 60);
    return true;
}

DATE date_from_tm(const struct tm &tm)
{
    DATE d;
    d.year = tm.tm_year + 1900;
    d.month = tm.tm_mon + 1;
    d.day = tm.tm_mday;
    d.julian = tm.tm_yday + 1;
    d.weekday = tm.tm_wday;
    d.hour = tm.tm_hour;
    d.minute = tm.tm_min;
    d.second = tm.tm_sec;
    return d;
}

// The 12-hour clock texts: "8 AM", "12 PM"... with the zone text, and
// optionally the minute.
// Copies a composed text into a caller's buffer, cut to the output size.
void copy_out(char *out, const char *text)
{
    size_t n = std::strlen(text);
    if (n >= OUT_SIZE) n = OUT_SIZE - 1;
    std::memcpy(out, text, n);
    out[n] = '\0';
}

void format_12_hour(char *out, size_t size, int hour, int minute, bool with_minute)
{
    const char *half = hour >= 12 ? "PM" : "AM";
    int h12 = hour % 12 == 0 ? 12 : hour % 12;
    if (with_minute)
        std::snprintf(out, size, "%d:%2.2d %s%s", h12, minute, half, tz_str);
    else
        std::snprintf(out, size, "%d %s%s", h12, half, tz_str);
}

// A date label is shifted into the display zone only when it carries a time
// of day: a label of a day, a month or a year stands for the whole period,
// and shifting its midnight would show the wrong day.
DATE shift_to_zone(const DATE &fixed)
{
    if (tz_off == 0) return fixed;
    DATE copy = fixed;
    DATE shifted;
    if (!date_from_seconds(DATE_num_sec(&copy) + tz_off, &shifted)) return fixed;
    return shifted;
}

}  // namespace

int64_t DATE_num_sec(DATE *date)
{
    if (!date) return MISSING;
    fix_ranges(date);
    date->year = widen_year(date->year);
    int64_t year = date->year;
    // Every fourth year from 1972 is a leap year (right from 1901 to 2099).
    int64_t days = (year - 1970) * 365 + (year - 1900) / 4 - 17;
    if (year % 4 == 0 && date->month <= 2) --days;
    days += cum_days[0][date->month - 1] + date->day - 1;
    return days * 86400 + date->hour * 3600 + date->minute * 60 + date->second;
}

int DATE_get_gmdate(const int64_t *seconds, DATE *date)
{
    if (!date) return -1;
    int64_t sec = seconds ? *seconds : DATE_get_time(nullptr);
    if (!date_from_seconds(sec, date)) {
        DATE_init(date);
        return -1;
    }
    return 0;
}

int DATE_get_localdate(const int64_t *seconds, DATE *date)
{
    if (!date) return -1;
    time_t t = (time_t)(seconds ? *seconds : DATE_get_time(nullptr));
    struct tm tm;
    if (!localtime_r(&t, &tm)) {
        DATE_init(date);
        return -1;
    }
    *date = date_from_tm(tm);
    return 0;
}

int64_t DATE_get_time(int64_t *out)
{
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    int64_t now = tv.tv_sec;
    if (out) *out = now;
    return now;
}

int DATE_get_current_gmdate(DATE *date)
{
    return DATE_get_gmdate(nullptr, date);
}

// The broken-down time is taken as UTC and counted like a date record.
int64_t DATE_num_sec_tm(const struct tm *tm)
{
    if (!tm) return MISSING;
    DATE d = date_from_tm(*tm);
    return DATE_num_sec(&d);
}

int DATE_is_leap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DATE_julian_monday(int year, int julian, int *month, int *day)
{
    const int *cum = cum_days[DATE_is_leap(year)];
    if (julian < 1) julian = 1;
    int m = 1;
    while (m < 12 && julian > cum[m]) ++m;
    if (month) *month = m;
    if (day) *day = julian - cum[m - 1];
    return 0;
}

int DATE_monday_julian(int year, int month, int day, int *julian)
{
    if (month < 1) month = 1;
    if (month > 12) month = 12;
    int j = cum_days[DATE_is_leap(year)][month - 1] + day;
    if (julian) *julian = j;
    return 0;
}

// Counted exactly like DATE_num_sec, with the same range fixes and year
// widening, so that a day number and a seconds count always agree.
int DATE_date_days(int year, int month, int day)
{
    DATE d = {year, month, day, MISSING, MISSING, 0, 0, 0};
    return (int)(DATE_num_sec(&d) / 86400 + 1);
}

int DATE_days_date(int n, int *year, int *month, int *day)
{
    int64_t y;
    int m, d;
    civil_from_days((int64_t)n - 1, &y, &m, &d);
    if (year) *year = (int)y;
    if (month) *month = m;
    if (day) *day = d;
    return 0;
}

// Any seconds count is accepted and reduced to the time of its day, so a
// count since 1970 gives that moment's clock time.
int DATE_time_date(int seconds, int *hour, int *minute, int *second)
{
    int s = seconds % 86400;
    if (s < 0) s += 86400;
    if (hour) *hour = s / 3600;
    if (minute) *minute = s % 3600 / 60;
    if (second) *second = s % 60;
    return 0;
}

const char *DATE_month(int m)
{
    return m >= 1 && m <= 12 ? months[m - 1] : "";
}

const char *DATE_month_lower(int m)
{
    return m >= 1 && m <= 12 ? months_lc[m - 1] : "";
}

const char *DATE_month_long(int m)
{
    return m >= 1 && m <= 12 ? months_long[m - 1] : "";
}

// The first letter decides the case the second and third letters must be
// in, so "JAN" and "jan" are January but "Jan" is not.
int DATE_decode_month(const char *text)
{
    if (!text || !text[0]) return 0;
    bool lower = text[0] >= 'a' && text[0] <= 'z';
    auto is = [lower](char c, char upper) {
        return c == (lower ? (char)(upper - 'A' + 'a') : upper);
    };
    auto third = [&](char upper) { return text[1] != '\0' && is(text[2], upper); };
    char c = text[0];
    if (is(c, 'J')) {
        if (is(text[1], 'A')) return 1;
        if (third('N')) return 6;
        if (third('L')) return 7;
        return 0;
    }
    if (is(c, 'F')) return 2;
    if (is(c, 'M')) {
        if (third('R')) return 3;
        if (third('Y')) return 5;
        return 0;
    }
    if (is(c, 'A')) {
        if (third('R')) return 4;
        if (third('G')) return 8;
        return 0;
    }
    if (is(c, 'S')) return 9;
    if (is(c, 'O')) return 10;
    if (is(c, 'N')) return 11;
    if (is(c, 'D')) return 12;
    return 0;
}

// A text the zone pattern cannot read (no zone name or no offset) leaves
// the zone as it was, so a mistyped setting does not give labels a name
// without the matching offset.
int DATE_set_TZ(const char *text)
{
    if (!text) return -1;
    const char *rest = text;
    int pm = tz_pm;
    if (*rest == '-') {
        pm = -1;
        ++rest;
    } else if (*rest == '+') {
        pm = 1;
        ++rest;
    }
    char name[5] = "";
    float hours = 0;
    if (std::sscanf(rest, "%4[^:]:%f", name, &hours) != 2) {
        MESS_print(MESS_ERROR, "DATE_set_TZ: Bad time zone: %s\n", text);
        return -1;
    }
    tz_pm = pm;
    std::snprintf(tz_str, sizeof tz_str, " %s", name);
    tz_off = (int)std::lround(hours * 3600.0);
    return 0;
}

int DATE_get_tz_off()
{
    return tz_off;
}

const char *DATE_get_tz_str()
{
    return tz_str;
}

void DATE_reset_TZ()
{
    std::strcpy(tz_str, "Z");
    tz_off = 0;
    tz_pm = 0;
}

char *DATE_make_label(const DATE *date, char *out)
{
    if (!out) return out;
    if (!date) {
        out[0] = '\0';
        return out;
    }
    DATE fixed = *date;
    fix_ranges(&fixed);
    int yy = fixed.year % 100;

    if (date->month == MISSING) {
        std::snprintf(out, OUT_SIZE, "%2.2d", yy);
    } else if (date->day == MISSING) {
        std::snprintf(out, OUT_SIZE, "%3s %2.2d", months[fixed.month - 1], yy);
    } else if (date->hour == MISSING) {
        std::snprintf(out, OUT_SIZE, "%2d %3s %2.2d", fixed.day, months[fixed.month - 1], yy);
    } else {
        bool with_minute = date->minute != MISSING;
        DATE shown = shift_to_zone(fixed);
        char time_part[64];
        if (tz_pm == 0) {
            if (with_minute)
                std::snprintf(time_part, sizeof time_part, "%2.2d%2.2d%s", shown.hour,
                              shown.minute, tz_str);
            else
                std::snprintf(time_part, sizeof time_part, "%2.2d%s", shown.hour, tz_str);
        } else {
            format_12_hour(time_part, sizeof time_part, shown.hour, shown.minute, with_minute);
            if (tz_pm == -1) {
                size_t n = std::strlen(time_part);
                if (with_minute)
                    std::snprintf(time_part + n, sizeof time_part - n, " [%2.2d%2.2dZ]",
                                  fixed.hour, fixed.minute);
                else
                    std::snprintf(time_part + n, sizeof time_part - n, " [%2.2dZ]", fixed.hour);
            }
        }
        char text[128];
        std::snprintf(text, sizeof text, "%s %2d %3s %2.2d", time_part, shown.day,
                      months[shown.month - 1], shown.year % 100);
        copy_out(out, text);
    }
    return out;
}

// The last form, four two-digit numbers, is read as year, month, day and
// hour: a fourth number after a full date can only sensibly be the time of
// day, and reading it into the year again would lose the year just read.
// The month of that form is numeric and is kept as read.
int DATE_decode_label(const char *text, DATE *date)
{
    if (!date) return -1;
    DATE_init(date);
    if (!text) {
        date->month = 0;
        return -1;
    }
    size_t len = std::strlen(text);
    auto tail = [&](size_t n) { return len > n ? text + len - n : text; };

    int hour, minute, second, day, year, month = 0;
    char name[4] = "";
    bool by_name = true;
    bool found = true;
    if (std::sscanf(text, "%2dZ %2d %3s %2d", &hour, &day, name, &year) == 4) {
        date->hour = hour;
        date->day = day;
        date->year = year;
    } else if (std::sscanf(tail(15), "%2d%2dZ %2d %3s %2d", &hour, &minute, &day, name,
                           &year) == 5) {
        // "%2d%2d" misreads a three-digit time after a blank (" 925Z"), so
        // the hour and minute are read again one digit and two.
        if (tail(15)[0] == ' ') std::sscanf(tail(15), "%1d%2d", &hour, &minute);
        date->hour = hour;
        date->minute = minute;
        date->day = day;
        date->year = year;
    } else if (std::sscanf(tail(19), "%2d:%2d:%2dZ %2d %3s %2d", &hour, &minute, &second,
                           &day, name, &year) == 6) {
        date->hour = hour;
        date->minute = minute;
        date->second = second;
        date->day = day;
        date->year = year;
    } else if (std::sscanf(tail(13), "%2dZ %2d %3s %2d", &hour, &day, name, &year) == 4) {
        date->hour = hour;
        date->day = day;
        date->year = year;
    } else if (std::sscanf(text, "%2d %2d %2d %2d", &year, &month, &day, &hour) == 4) {
        date->year = year;
        date->day = day;
        date->hour = hour;
        by_name = false;
    } else {
        found = false;
    }

    if (date->year >= 0) date->year = widen_year(date->year);
    // The month comes from the name; a failed decoding leaves it 0.
    if (!found) date->month = 0;
    else date->month = by_name ? DATE_decode_month(name) : month;
    return found ? 0 : -1;
}

char *DATE_make_seq(const DATE *date, char *out)
{
    if (!out) return out;
    if (!date) {
        out[0] = '\0';
        return out;
    }
    DATE d = *date;
    fix_ranges(&d);
    std::snprintf(out, OUT_SIZE, "%4.4d%2.2d%2.2d%2.2d%2.2d", d.year, d.month, d.day, d.hour,
                  d.minute);
    return out;
}

// Whatever fields the text holds are stored; a sequence is usable (0) when
// it gave at least the year, month and day.
int DATE_decode_seq(const char *text, DATE *date)
{
    if (!date) return -1;
    DATE_init(date);
    if (!text) return -1;
    int v[5];
    int n = std::sscanf(text, "%4d%2d%2d%2d%2d", &v[0], &v[1], &v[2], &v[3], &v[4]);
    if (n >= 1) date->year = v[0];
    if (n >= 2) date->month = v[1];
    if (n >= 3) date->day = v[2];
    if (n >= 4) date->hour = v[3];
    if (n >= 5) date->minute = v[4];
    return n >= 3 ? 0 : -1;
}

int DATE_print(uint32_t mask, const DATE *date)
{
    if (!date) return -1;
    return MESS_print(mask, "%d/%d/%d %2.2d:%2.2d:%2.2d\n", date->year, date->month, date->day,
                      date->hour, date->minute, date->second);
}

char *DATE_get_current_str(char *out)
{
    if (!out) return out;
    DATE now;
    DATE_get_current_gmdate(&now);
    std::snprintf(out, OUT_SIZE, "%2.2d %s %2.2d  %2.2d:%2.2d:%2.2dZ", now.year % 100,
                  DATE_month(now.month), now.day, now.hour, now.minute, now.second);
    return out;
}

// No line end: the text serves as a time stamp in front of a message.
int DATE_print_current(uint32_t mask)
{
    char text[OUT_SIZE];
    return MESS_print(mask, "%s", DATE_get_current_str(text));
}

char *DATE_get_simple_current_str(char *out)
{
    if (!out) return out;
    DATE now;
    DATE_get_current_gmdate(&now);
    std::snprintf(out, OUT_SIZE, "%2.2d-%2.2d:%2.2dZ", now.day, now.hour, now.minute);
    return out;
}

// The forecast hour counts modulo 1000; the bare codes 800 and 900 (a
// period of zero days or months) and a missing forecast hour add nothing.
char *DATE_make_label_valid_time(int fhour, const DATE *date, char *out)
{
    if (!out) return out;
    if (!date) {
        out[0] = '\0';
        return out;
    }
    int hours = fhour == MISSING ? 0 : fhour % 1000;
    if (hours == 800 || hours == 900) hours = 0;

    DATE base = *date;  // missing hour and minute count as 0 (range fixes)
    int64_t valid = DATE_num_sec(&base) + (int64_t)hours * 3600;
    int64_t utc_valid = valid;
    bool with_hour = date->hour != MISSING;
    if (with_hour) valid += tz_off;  // the zone shift needs a time of day

    DATE v, utc;
    if (!date_from_seconds(valid, &v) || !date_from_seconds(utc_valid, &utc)) {
        out[0] = '\0';
        return out;
    }

    if (!with_hour) {
        std::snprintf(out, OUT_SIZE, "%3s %2d %3s %2.2d", day_of_week[v.weekday], v.day,
                      months[v.month - 1], v.year % 100);
        return out;
    }
    char hour_part[64];
    if (tz_pm == 0) {
        std::snprintf(hour_part, sizeof hour_part, "%d%s", v.hour, tz_str);
    } else {
        format_12_hour(hour_part, sizeof hour_part, v.hour, 0, false);
        if (tz_pm == -1) {
            size_t n = std::strlen(hour_part);
            std::snprintf(hour_part + n, sizeof hour_part - n, " [%2.2dZ]", utc.hour);
        }
    }
    char text[128];
    std::snprintf(text, sizeof text, "%s %3s %2d %3s %2.2d", hour_part, day_of_week[v.weekday],
                  v.day, months[v.month - 1], v.year % 100);
    copy_out(out, text);
    return out;
}

char *DATE_fhour_label(char *out, int fhour, int days)
{
    if (!out) return out;
    if (fhour > 900) {
        std::snprintf(out, OUT_SIZE, "%d month", fhour - 900);
    } else if (fhour > 800) {
        std::snprintf(out, OUT_SIZE, "%d day", fhour - 800);
    } else if (days && (fhour == 12 || fhour == 36 || fhour == 60)) {
        std::snprintf(out, OUT_SIZE, "%d.5 day", fhour / 24);
    } else if (days && (fhour == 24 || fhour == 48)) {
        std::snprintf(out, OUT_SIZE, "%d day", fhour / 24);
    } else if (days && fhour > 60 && fhour % 24 == 0) {
        std::snprintf(out, OUT_SIZE, "%d day", fhour / 24);
    } else if (days && fhour > 60 && fhour % 24 == 12) {
        std::snprintf(out, OUT_SIZE, "%d.5 day", fhour / 24);
    } else if (fhour == 0 || fhour == MISSING) {
        out[0] = '\0';
    } else {
        std::snprintf(out, OUT_SIZE, "%d hour", fhour);
    }
    return out;
}

void DATE_reset()
{
    std::snprintf(tz_str, sizeof tz_str, "Z");
    tz_off = 0;
    tz_pm = 0;
}
