// Dates: second counts, day numbers, month names, time zones, labels.
// Expected counts and days come from `date -u -d '<date>' +%s` (or +%j,
// +%a) as stated per table; round trips and the C library's gmtime cover
// the spans between.
#include "files/date.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <ctime>
#include <regex>
#include <string>

namespace {

constexpr int M = -9999;
constexpr int P = INT32_MIN;  // a plain label, no forecast hour
DATE make(int y, int mo, int d, int h = M, int mi = M, int s = M) { return DATE{y, mo, d, M, M, h, mi, s}; }

std::string fields(const DATE &d)
{
    char out[80];
    snprintf(out, sizeof out, "%d-%d-%d %d:%d:%d", d.year, d.month, d.day, d.hour, d.minute, d.second);
    return out;
}

}  // namespace

// `date -u -d '<date>' +%s`; two-digit years are widened in place (below 0:
// 1980); out-of-range or missing fields fall back to their first value.
TEST(Date, NumSec)
{
    struct Case { DATE date; int64_t seconds; const char *normalised; } cases[] = {
        {make(1972, 3, 1, 0, 0, 0), 68256000, "1972-3-1 0:0:0"},
        {make(1972, 2, 29, 23, 59, 59), 68255999, "1972-2-29 23:59:59"},
        {make(4, 7, 9, 14, 25, 0), 1089383100, "2004-7-9 14:25:0"},
        {make(99, 1, 1, 0, 0, 0), 915148800, "1999-1-1 0:0:0"},
        {make(-5, 1, 1, 0, 0, 0), 315532800, "1980-1-1 0:0:0"},
        {make(2004, 13, 32, 24, 60, M), 1072915200, "2004-1-1 0:0:0"},
    };
    for (Case &c : cases) {
        EXPECT_EQ(DATE_num_sec(&c.date), c.seconds) << c.normalised;
        EXPECT_EQ(fields(c.date), c.normalised);
    }
    EXPECT_EQ(DATE_num_sec_tm(nullptr), M);
    // 1901 to 2099 against gmtime, stepping by an odd amount to hit every
    // time of day; the count of now is now.
    for (int64_t s = -2177452800LL; s < 4102444800LL; s += 86400LL * 13 + 3607) {
        DATE d;
        ASSERT_EQ(DATE_get_gmdate(&s, &d), 0);
        time_t t = (time_t)s;
        struct tm tm;
        gmtime_r(&t, &tm);
        DATE sys = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_yday + 1,
                    tm.tm_wday, tm.tm_hour, tm.tm_min, tm.tm_sec};
        ASSERT_EQ(std::memcmp(&d, &sys, sizeof d), 0) << s;
        ASSERT_EQ(DATE_num_sec(&d), s);
        ASSERT_EQ(DATE_num_sec_tm(&tm), s);
    }
    DATE now;
    int64_t before = time(nullptr);
    ASSERT_EQ(DATE_get_gmdate(nullptr, &now), 0);
    EXPECT_GE(DATE_num_sec(&now), before);
    EXPECT_LE(DATE_num_sec(&now), before + 2);
}

// Day 60 is 29 Feb in a leap year, else 1 Mar (`date -u -d 'YYYY-01-01 +59
// days'`; 1900 is a century, no leap year); 1 Dec 2004 is day 336; day 1
// is 1970-01-01 and 2000-03-01 is 951868800 s = 11017 days later.
TEST(Date, DayNumbers)
{
    struct Case { int year, julian, mmdd; } cases[] = {
        {2004, 60, 229}, {2003, 60, 301}, {1900, 60, 301}, {2000, 366, 1231}, {2003, 0, 101}, {2003, 367, 1233}};
    for (const Case &c : cases) {
        int m, d;
        DATE_julian_monday(c.year, c.julian, &m, &d);
        EXPECT_EQ(m * 100 + d, c.mmdd) << c.year << " " << c.julian;
    }
    for (int year : {1900, 2000, 2003, 2004})
        for (int day = 1, m, d, j, len = DATE_is_leap(year) ? 366 : 365; day <= len; ++day) {
            DATE_julian_monday(year, day, &m, &d);
            DATE_monday_julian(year, m, d, &j);
            ASSERT_EQ(j, day) << year;
        }
    int j, y, m, d;
    DATE_monday_julian(2004, 14, 1, &j);  // the month clamped to December
    EXPECT_EQ(j, 336);
    for (auto [year, leap] : {std::pair{2100, 0}, {2400, 1}, {1900, 0}, {2000, 1}, {2004, 1}, {2003, 0}})
        EXPECT_EQ(DATE_is_leap(year) != 0, leap != 0) << year;
    EXPECT_EQ(DATE_date_days(1970, 1, 1), 1);
    EXPECT_EQ(DATE_date_days(2000, 3, 1), 11018);
    EXPECT_EQ(DATE_date_days(0, 3, 1), 11018);  // widened like the seconds count
    DATE_days_date(11018, &y, &m, &d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20000301);
    for (int n = DATE_date_days(1901, 1, 1), last = DATE_date_days(2099, 12, 31); n <= last; ++n) {
        DATE_days_date(n, &y, &m, &d);
        ASSERT_EQ(DATE_date_days(y, m, d), n);
    }
    for (auto [seconds, hms] : {std::pair{3 * 3600 + 4 * 60 + 5, 30405}, {86400 + 59, 59}, {-1, 235959}}) {
        int h, mi, sec;
        DATE_time_date(seconds, &h, &mi, &sec);
        EXPECT_EQ(h * 10000 + mi * 100 + sec, hms) << seconds;
    }
}

// Later letters of a month name must match the first's case.
TEST(Date, MonthNames)
{
    EXPECT_EQ(std::string(DATE_month(1)) + DATE_month_lower(12) + DATE_month_long(9), "JANdecSeptember");
    EXPECT_EQ(std::string(DATE_month(0)) + DATE_month_lower(13) + DATE_month_long(M), "");
    struct Case { const char *text; int month; } cases[] = {
        {"JAN", 1}, {"dec", 12}, {"Feb", 2}, {"SEP", 9}, {"oct", 10}, {"Jan", 0},
        {"jUL", 0}, {"J", 0},    {"", 0},    {"XYZ", 0}, {nullptr, 0}};
    for (const Case &c : cases) EXPECT_EQ(DATE_decode_month(c.text), c.month) << (c.text ? c.text : "null");
}

// A zone with "-" shows the 12-hour clock with UTC in brackets; one that
// does not parse changes nothing; one without sign keeps the clock mode.
TEST(Date, TimeZoneSetting)
{
    EXPECT_STREQ(DATE_get_tz_str(), "Z");
    struct Case { const char *text; int result; const char *name; int offset; } cases[] = {
        {"-CST:-6", 0, " CST", -6 * 3600}, {"+EST", -1, " CST", -6 * 3600}, {"IST:5.5", 0, " IST", 19800}};
    for (const Case &c : cases) {
        EXPECT_EQ(DATE_set_TZ(c.text), c.result) << c.text;
        EXPECT_STREQ(DATE_get_tz_str(), c.name) << c.text;
        EXPECT_EQ(DATE_get_tz_off(), c.offset) << c.text;
        char out[DATE_TEXT_SIZE];
        DATE d = make(2004, 7, 9, 14, 25);
        EXPECT_NE(std::string(DATE_make_label(&d, out)).find("[1425Z]"), std::string::npos) << out;
    }
    DATE_reset_TZ();
    EXPECT_EQ(DATE_get_tz_off(), 0);
    EXPECT_STREQ(DATE_get_tz_str(), "Z");
}

// Labels in a zone ("" none): 24-hour clock, or 12-hour with UTC in
// brackets ("-") or without ("+").  By hand: 03:05Z at -6 h is 21:05 the
// day before; 03:00Z on 1 Mar 2004 is 9 PM on 29 Feb (a leap year).  Valid
// time = base + forecast hours (800 + n: n days; 1000 + n: n hours);
// weekdays from `date -u -d ... +%a` (9 Jul 2004 a Friday, 1 Jan 2005 a
// Saturday).
TEST(Date, Labels)
{
    const DATE d = make(2004, 7, 9, 14, 25);
    struct Case { const char *tz; DATE date; int fhour; const char *label; } cases[] = {
        {"", d, P, "1425Z  9 JUL 04"}, {"", make(2004, 7, 9, 14), P, "14Z  9 JUL 04"},
        {"", make(2004, 7, 9), P, " 9 JUL 04"}, {"", make(2004, 7, M), P, "JUL 04"}, {"", make(1999, M, M), P, "99"},
        {"", make(-1, M, M), P, "80"}, {"", make(2010, 13, 32, 24, 5), P, "0005Z  1 JAN 10"},
        {"CST:-6", make(2004, 7, 9, 3, 5), P, "2105 CST  8 JUL 04"},
        {"CST:-6", make(2004, 7, 9), P, " 9 JUL 04"},  // no time of day, no shift
        {"-CST:-6", d, P, "8:25 AM CST [1425Z]  9 JUL 04"}, {"-CST:-6", make(2004, 7, 9, 14), P, "8 AM CST [14Z]  9 JUL 04"},
        {"-CST:-6", make(2004, 3, 1, 3, 0), P, "9:00 PM CST [0300Z] 29 FEB 04"},
        {"-CST:-6", make(2004, 7, 9, 18, 7), P, "12:07 PM CST [1807Z]  9 JUL 04"},
        {"-CST:-6", make(2004, 7, 9, 6), P, "12 AM CST [06Z]  9 JUL 04"},
        {"+UTC:0", make(2004, 7, 9, 13, 1), P, "1:01 PM UTC  9 JUL 04"},
        {"+UTC:0", make(2004, 7, 9, 0), P, "12 AM UTC  9 JUL 04"}, {"+UTC:0", make(2004, 7, 9, 12), P, "12 PM UTC  9 JUL 04"},
        // Valid times.
        {"", d, 0, "14Z FRI  9 JUL 04"}, {"", d, 12, "2Z SAT 10 JUL 04"}, {"", d, 1012, "2Z SAT 10 JUL 04"},
        {"", d, 800, "14Z FRI  9 JUL 04"}, {"", d, M, "14Z FRI  9 JUL 04"},
        {"", make(2004, 12, 31), 24, "SAT  1 JAN 05"}, {"-CST:-6", d, 6, "2 PM CST [20Z] FRI  9 JUL 04"},
        {"-CST:-6", d, -12, "8 PM CST [02Z] THU  8 JUL 04"},
    };
    for (const Case &c : cases) {
        DATE_reset_TZ();
        if (*c.tz) DATE_set_TZ(c.tz);
        char out[DATE_TEXT_SIZE];
        const char *got = c.fhour == P ? DATE_make_label(&c.date, out) : DATE_make_label_valid_time(c.fhour, &c.date, out);
        EXPECT_STREQ(got, c.label) << c.tz << " " << c.fhour;
    }
}

TEST(Date, DecodeLabelsAndSequences)
{
    struct Case { const char *text; int result; const char *fields; } cases[] = {
        {"1425Z  9 JUL 04", 0, "2004-7-9 14:25:-9999"}, {"14Z  9 JUL 04", 0, "2004-7-9 14:-9999:-9999"},
        {"GOES-8 IR  14Z  9 JUL 04", 0, "2004-7-9 14:-9999:-9999"}, {"IR 14:25:30Z 31 DEC 99", 0, "1999-12-31 14:25:30"},
        {" 925Z  9 JUL 04", 0, "2004-7-9 9:25:-9999"}, {"04 07 09 14", 0, "2004-7-9 14:-9999:-9999"},
        {"no date here", -1, "-9999-0--9999 -9999:-9999:-9999"},
    };
    for (const Case &c : cases) {
        DATE d;
        EXPECT_EQ(DATE_decode_label(c.text, &d), c.result) << c.text;
        EXPECT_EQ(fields(d), c.fields) << c.text;
    }
    // Every label of the 24-hour clock reads back, 1950 to 2050.
    for (int64_t s = -631152000LL; s < 2524608000LL; s += 86400LL * 29 + 3660) {
        DATE d, back;
        char out[DATE_TEXT_SIZE];
        DATE_get_gmdate(&s, &d);
        DATE shown = make(d.year, d.month, d.day, d.hour, d.minute);
        ASSERT_EQ(DATE_decode_label(DATE_make_label(&shown, out), &back), 0) << out;
        ASSERT_EQ(fields(back), fields(shown)) << out;
    }
    char out[DATE_TEXT_SIZE];
    struct Seq { DATE date; const char *seq; } seqs[] = {
        {make(2004, 7, 9, 14, 5), "200407091405"}, {make(M, 7, 9, M, M), "198007090000"},
        {make(4, 7, 9, 1, 2), "000407090102"}};  // not widened
    for (const Seq &c : seqs) EXPECT_STREQ(DATE_make_seq(&c.date, out), c.seq);
    DATE back;
    ASSERT_EQ(DATE_decode_seq("200407091405", &back), 0);
    EXPECT_EQ(fields(back), "2004-7-9 14:5:-9999");
    ASSERT_EQ(DATE_decode_seq("20040709", &back), 0);
    EXPECT_EQ(back.hour, M);
    EXPECT_EQ(DATE_decode_seq("2004", &back), -1);
}

// Forecast hours: with days, whole and half days from 12 h up; 800 + n is
// n days, 900 + n is n months.
TEST(Date, ForecastHourAndCurrentTexts)
{
    struct Case { int hours, days; const char *label; } cases[] = {
        {84, 1, "3.5 day"}, {6, 1, "6 hour"}, {12, 1, "0.5 day"}, {60, 1, "2.5 day"}, {48, 1, "2 day"}, {72, 1, "3 day"},
        {66, 1, "66 hour"}, {48, 0, "48 hour"}, {803, 0, "3 day"}, {902, 1, "2 month"}, {0, 1, ""}, {M, 0, ""}};
    char out[DATE_TEXT_SIZE];
    for (const Case &c : cases) EXPECT_STREQ(DATE_fhour_label(out, c.hours, c.days), c.label) << c.hours;
    EXPECT_TRUE(std::regex_match(DATE_get_current_str(out), std::regex(R"(\d\d [A-Z]{3} \d\d  \d\d:\d\d:\d\dZ)"))) << out;
    EXPECT_TRUE(std::regex_match(DATE_get_simple_current_str(out), std::regex(R"(\d\d-\d\d:\d\dZ)"))) << out;
    testing::internal::CaptureStdout();
    DATE d = make(2004, 7, 9, 14, 5, 0);
    DATE_print(0xF000, &d);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "2004/7/9 14:05:00\n");
}
