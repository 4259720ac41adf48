// Dates: second counts, day numbers, month names, time zones, labels.
// Expected values come from `date -u -d '<date>' +%s` (or +%j, +%a) as
// stated per table, and from the C library's gmtime over 1901 to 2099.
#include "files/date.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <regex>
#include <string>

#include "../test_support.h"

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
// Day 60 is 29 Feb in a leap year, else 1 Mar (`date -u -d 'YYYY-01-01 +59
// days'`; 1900 is a century, no leap year); a month past 12 is December.
TEST(Date, SecondsAndDayNumbers)
{
    struct Case { DATE date; int64_t seconds; const char *normalised; } cases[] = {
        {make(1972, 3, 1, 0, 0, 0), 68256000, "1972-3-1 0:0:0"},
        {make(1972, 2, 29, 23, 59, 59), 68255999, "1972-2-29 23:59:59"},
        {make(4, 7, 9, 14, 25, 0), 1089383100, "2004-7-9 14:25:0"}, {make(99, 1, 1, 0, 0, 0), 915148800, "1999-1-1 0:0:0"},
        {make(-5, 1, 1, 0, 0, 0), 315532800, "1980-1-1 0:0:0"}, {make(2004, 13, 32, 24, 60, M), 1072915200, "2004-1-1 0:0:0"},
    };
    for (Case &c : cases) {
        EXPECT_EQ(DATE_num_sec(&c.date), c.seconds) << c.normalised;
        EXPECT_EQ(fields(c.date), c.normalised);
    }
    EXPECT_EQ(DATE_num_sec_tm(nullptr), M);
    struct Day { int year, julian, mmdd; } days[] = {
        {2004, 60, 229}, {2003, 60, 301}, {1900, 60, 301}, {2000, 366, 1231}, {2003, 0, 101}, {2003, 367, 1233}};
    for (const Day &c : days) {
        int m, d;
        DATE_julian_monday(c.year, c.julian, &m, &d);
        EXPECT_EQ(m * 100 + d, c.mmdd) << c.year << " " << c.julian;
    }
    int j, y, m, d;
    DATE_monday_julian(2004, 14, 1, &j);
    EXPECT_EQ(j, 336);  // `date -u -d 2004-12-01 +%j`
    for (auto [year, leap] : {std::pair{2100, 0}, {2400, 1}, {1900, 0}, {2000, 1}, {2004, 1}, {2003, 0}})
        EXPECT_EQ(DATE_is_leap(year) != 0, leap != 0) << year;
    EXPECT_EQ(DATE_date_days(0, 3, 1), 11018);  // widened; 2000-03-01 is 951868800 s = 11017 days on
    for (auto [seconds, hms] : {std::pair{3 * 3600 + 4 * 60 + 5, 30405}, {86400 + 59, 59}, {-1, 235959}}) {
        int h, mi, sec;
        DATE_time_date(seconds, &h, &mi, &sec);
        EXPECT_EQ(h * 10000 + mi * 100 + sec, hms) << seconds;
    }
    // 1901 to 2099 by a day and an hour and a bit (23 days of 24 and every
    // time of day) against gmtime: the record, the count
    // back, the day numbers (1970-01-01 is day 1) and the day of the year.
    for (int64_t s = -2177452800LL; s < 4102444800LL; s += 86400LL + 3607) {
        DATE dt;
        ASSERT_EQ(DATE_get_gmdate(&s, &dt), 0);
        time_t t = (time_t)s;
        struct tm tm;
        gmtime_r(&t, &tm);
        const DATE sys = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_yday + 1, tm.tm_wday, tm.tm_hour, tm.tm_min, tm.tm_sec};
        ASSERT_EQ(std::memcmp(&dt, &sys, sizeof dt), 0) << s;
        ASSERT_EQ(DATE_num_sec(&dt), s);
        ASSERT_EQ(DATE_num_sec_tm(&tm), s);
        const int n = (int)((s - tm.tm_hour * 3600 - tm.tm_min * 60 - tm.tm_sec) / 86400) + 1;
        ASSERT_EQ(DATE_date_days(sys.year, sys.month, sys.day), n) << s;
        DATE_days_date(n, &y, &m, &d);
        ASSERT_EQ(fields(make(y, m, d)), fields(make(sys.year, sys.month, sys.day)));
        DATE_monday_julian(sys.year, sys.month, sys.day, &j);
        DATE_julian_monday(sys.year, sys.julian, &m, &d);
        ASSERT_EQ(j * 10000 + m * 100 + d, sys.julian * 10000 + sys.month * 100 + sys.day) << s;
        DATE shown = make(sys.year, sys.month, sys.day, sys.hour, sys.minute), back;
        char out[DATE_TEXT_SIZE];  // labels of the 24-hour clock read back from 1950 to 2049
        if (sys.year < 1950 || sys.year > 2049) continue;
        ASSERT_EQ(DATE_decode_label(DATE_make_label(&shown, out), &back), 0) << out;
        ASSERT_EQ(fields(back), fields(shown)) << out;
    }
    DATE now;
    int64_t before = time(nullptr);
    ASSERT_EQ(DATE_get_gmdate(nullptr, &now), 0);
    EXPECT_GE(DATE_num_sec(&now), before);
    EXPECT_LE(DATE_num_sec(&now), before + 2);
}

// Month names: later letters must match the first's case.  Zones, each on
// top of the one before: "-" shows the 12-hour clock with UTC in brackets;
// one that does not parse changes nothing; one without sign keeps the
// clock mode (14:25Z is 8:25 at -6 h, 19:55 at +5.5 h).
TEST(Date, MonthNamesAndZones)
{
    EXPECT_EQ(std::string(DATE_month(1)) + DATE_month_lower(12) + DATE_month_long(9), "JANdecSeptember");
    EXPECT_EQ(std::string(DATE_month(0)) + DATE_month_lower(13) + DATE_month_long(M), "");
    struct Case { const char *text; int month; } cases[] = {{"JAN", 1}, {"dec", 12}, {"Feb", 2}, {"SEP", 9}, {"oct", 10},
        {"Jan", 0}, {"jUL", 0}, {"J", 0}, {"", 0}, {"XYZ", 0}, {nullptr, 0}};
    for (const Case &c : cases) EXPECT_EQ(DATE_decode_month(c.text), c.month) << (c.text ? c.text : "null");
    EXPECT_STREQ(DATE_get_tz_str(), "Z");
    struct Zone { const char *text, *want; } zones[] = {{"-CST:-6", "0| CST|-21600|8:25 AM CST [1425Z]  9 JUL 04"},
        {"+EST", "-1| CST|-21600|8:25 AM CST [1425Z]  9 JUL 04"}, {"IST:5.5", "0| IST|19800|7:55 PM IST [1425Z]  9 JUL 04"}};
    const DATE d = make(2004, 7, 9, 14, 25);
    char out[DATE_TEXT_SIZE];
    for (const Zone &c : zones) {
        const int result = DATE_set_TZ(c.text);
        EXPECT_EQ(std::to_string(result) + "|" + DATE_get_tz_str() + "|" + std::to_string(DATE_get_tz_off()) + "|" +
                      DATE_make_label(&d, out), c.want);
    }
    DATE_reset_TZ();
    EXPECT_EQ(std::to_string(DATE_get_tz_off()) + DATE_get_tz_str(), "0Z");
}

// Labels in a zone ("" none): 24-hour clock, or 12-hour with UTC in
// brackets ("-") or without ("+").  By hand: 03:05Z at -6 h is 21:05 the
// day before; 03:00Z on 1 Mar 2004 is 9 PM on 29 Feb (a leap year).  Valid
// time = base + forecast hours (800 + n: n days; 1000 + n: n hours);
// weekdays from `date -u -d ... +%a` (9 Jul 2004 a Friday, 1 Jan 2005 a
// Saturday).  Then labels and sequences read back.
TEST(Date, LabelsAndSequences)
{
    const DATE d = make(2004, 7, 9, 14, 25);
    struct Case { const char *tz; DATE date; int fhour; const char *label; } cases[] = {
        {"", d, P, "1425Z  9 JUL 04"}, {"", make(2004, 7, 9, 14), P, "14Z  9 JUL 04"}, {"", make(2004, 7, 9), P, " 9 JUL 04"},
        {"", make(2004, 7, M), P, "JUL 04"}, {"", make(1999, M, M), P, "99"}, {"", make(-1, M, M), P, "80"},
        {"", make(2010, 13, 32, 24, 5), P, "0005Z  1 JAN 10"}, {"CST:-6", make(2004, 7, 9, 3, 5), P, "2105 CST  8 JUL 04"},
        {"CST:-6", make(2004, 7, 9), P, " 9 JUL 04"},  // no time of day, no shift
        {"-CST:-6", d, P, "8:25 AM CST [1425Z]  9 JUL 04"}, {"-CST:-6", make(2004, 7, 9, 14), P, "8 AM CST [14Z]  9 JUL 04"},
        {"-CST:-6", make(2004, 3, 1, 3, 0), P, "9:00 PM CST [0300Z] 29 FEB 04"},
        {"-CST:-6", make(2004, 7, 9, 18, 7), P, "12:07 PM CST [1807Z]  9 JUL 04"},
        {"-CST:-6", make(2004, 7, 9, 6), P, "12 AM CST [06Z]  9 JUL 04"}, {"+UTC:0", make(2004, 7, 9, 13, 1), P, "1:01 PM UTC  9 JUL 04"},
        {"+UTC:0", make(2004, 7, 9, 0), P, "12 AM UTC  9 JUL 04"}, {"+UTC:0", make(2004, 7, 9, 12), P, "12 PM UTC  9 JUL 04"},
        {"", d, 0, "14Z FRI  9 JUL 04"}, {"", d, 12, "2Z SAT 10 JUL 04"}, {"", d, 1012, "2Z SAT 10 JUL 04"},
        {"", d, 800, "14Z FRI  9 JUL 04"}, {"", d, M, "14Z FRI  9 JUL 04"}, {"", make(2004, 12, 31), 24, "SAT  1 JAN 05"},
        {"-CST:-6", d, 6, "2 PM CST [20Z] FRI  9 JUL 04"}, {"-CST:-6", d, -12, "8 PM CST [02Z] THU  8 JUL 04"}};
    char out[DATE_TEXT_SIZE];
    for (const Case &c : cases) {
        DATE_reset_TZ();
        if (*c.tz) DATE_set_TZ(c.tz);
        const char *got = c.fhour == P ? DATE_make_label(&c.date, out) : DATE_make_label_valid_time(c.fhour, &c.date, out);
        EXPECT_STREQ(got, c.label) << c.tz << " " << c.fhour;
    }
    struct Decode { const char *text; int result; const char *fields; } decodes[] = {
        {"1425Z  9 JUL 04", 0, "2004-7-9 14:25:-9999"}, {"14Z  9 JUL 04", 0, "2004-7-9 14:-9999:-9999"},
        {"GOES-8 IR  14Z  9 JUL 04", 0, "2004-7-9 14:-9999:-9999"}, {"IR 14:25:30Z 31 DEC 99", 0, "1999-12-31 14:25:30"},
        {" 925Z  9 JUL 04", 0, "2004-7-9 9:25:-9999"}, {"04 07 09 14", 0, "2004-7-9 14:-9999:-9999"},
        {"no date here", -1, "-9999-0--9999 -9999:-9999:-9999"}};
    DATE back;
    for (const Decode &c : decodes) {
        EXPECT_EQ(DATE_decode_label(c.text, &back), c.result) << c.text;
        EXPECT_EQ(fields(back), c.fields) << c.text;
    }
    struct Seq { DATE date; const char *seq; } seqs[] = {{make(2004, 7, 9, 14, 5), "200407091405"},
        {make(M, 7, 9, M, M), "198007090000"}, {make(4, 7, 9, 1, 2), "000407090102"}};  // not widened
    for (const Seq &c : seqs) EXPECT_STREQ(DATE_make_seq(&c.date, out), c.seq);
    EXPECT_EQ(DATE_decode_seq("200407091405", &back), 0);
    EXPECT_EQ(fields(back), "2004-7-9 14:5:-9999");
    EXPECT_EQ(DATE_decode_seq("20040709", &back), 0);
    EXPECT_EQ(back.hour, M);
    EXPECT_EQ(DATE_decode_seq("2004", &back), -1);
    // Forecast hours: with days, whole and half days from 12 h up; 800 + n
    // is n days, 900 + n is n months.
    struct Hours { int hours, days; const char *label; } hours[] = {{84, 1, "3.5 day"}, {6, 1, "6 hour"}, {12, 1, "0.5 day"},
        {60, 1, "2.5 day"}, {48, 1, "2 day"}, {72, 1, "3 day"}, {66, 1, "66 hour"}, {48, 0, "48 hour"}, {803, 0, "3 day"},
        {902, 1, "2 month"}, {0, 1, ""}, {M, 0, ""}};
    for (const Hours &c : hours) EXPECT_STREQ(DATE_fhour_label(out, c.hours, c.days), c.label) << c.hours;
    EXPECT_TRUE(std::regex_match(DATE_get_current_str(out), std::regex(R"(\d\d [A-Z]{3} \d\d  \d\d:\d\d:\d\dZ)"))) << out;
    EXPECT_TRUE(std::regex_match(DATE_get_simple_current_str(out), std::regex(R"(\d\d-\d\d:\d\dZ)"))) << out;
    back = make(2004, 7, 9, 14, 5, 0);
    EXPECT_EQ(testutil::stdout_of([&] { DATE_print(0xF000, &back); }), "2004/7/9 14:05:00\n");
}
