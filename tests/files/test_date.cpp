#include "files/date.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <regex>
#include <string>

namespace {

constexpr int M = -9999;

DATE make(int y, int mo, int d, int h = M, int mi = M, int s = M)
{
    return DATE{y, mo, d, M, M, h, mi, s};
}

// Year, month, day, hour and minute packed into one comparable number.
int64_t ymdhm(const DATE &d)
{
    return (((d.year * 100LL + d.month) * 100 + d.day) * 100 + d.hour) * 100 + d.minute;
}

std::string label(DATE d)
{
    char out[DATE_TEXT_SIZE];
    return DATE_make_label(&d, out);
}

std::string valid_label(int fhour, DATE d)
{
    char out[DATE_TEXT_SIZE];
    return DATE_make_label_valid_time(fhour, &d, out);
}

std::string fhour(int h, int days)
{
    char out[DATE_TEXT_SIZE];
    return DATE_fhour_label(out, h, days);
}

}  // namespace

TEST(Date, NumSecKnownValuesAndNormalisation)
{
    DATE d = make(1970, 1, 1, 0, 0, 0);
    EXPECT_EQ(DATE_num_sec(&d), 0);
    d = make(1972, 3, 1, 0, 0, 0);
    EXPECT_EQ(DATE_num_sec(&d), 68256000);
    d = make(1972, 2, 29, 23, 59, 59);
    EXPECT_EQ(DATE_num_sec(&d), 68256000 - 1);

    // Two-digit years are widened in place.
    d = make(4, 7, 9, 14, 25, 0);
    DATE full = make(2004, 7, 9, 14, 25, 0);
    EXPECT_EQ(DATE_num_sec(&d), DATE_num_sec(&full));
    EXPECT_EQ(d.year, 2004);
    d = make(99, 1, 1, 0, 0, 0);
    DATE_num_sec(&d);
    EXPECT_EQ(d.year, 1999);
    d = make(-5, 1, 1, 0, 0, 0);
    DATE_num_sec(&d);
    EXPECT_EQ(d.year, 1980);

    // Out-of-range and missing fields fall back to their first value, so a
    // record without seconds counts them as zero.
    d = make(2004, 13, 32, 24, 60, M);
    DATE start = make(2004, 1, 1, 0, 0, 0);
    EXPECT_EQ(DATE_num_sec(&d), DATE_num_sec(&start));
    EXPECT_EQ(d.month, 1);
    EXPECT_EQ(d.second, 0);
}

TEST(Date, GmdateAgreesWithSystemAndRoundTrips)
{
    // 1901 to 2099, stepping by an odd amount to hit every time of day.
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
    int64_t got = DATE_num_sec(&now);
    EXPECT_GE(got, before);
    EXPECT_LE(got, before + 2);
}

TEST(Date, JulianAndMonthDay)
{
    int m, d, j;
    DATE_julian_monday(2004, 60, &m, &d);
    EXPECT_EQ(m * 100 + d, 229);
    DATE_julian_monday(2003, 60, &m, &d);
    EXPECT_EQ(m * 100 + d, 301);
    DATE_julian_monday(1900, 60, &m, &d);  // a century, not a leap year
    EXPECT_EQ(m * 100 + d, 301);
    DATE_julian_monday(2000, 366, &m, &d);
    EXPECT_EQ(m * 100 + d, 1231);
    DATE_julian_monday(2003, 0, &m, &d);
    EXPECT_EQ(m * 100 + d, 101);
    DATE_julian_monday(2003, 367, &m, &d);  // past the end stays in December
    EXPECT_EQ(m * 100 + d, 1233);

    for (int year : {1900, 2000, 2003, 2004}) {
        int len = DATE_is_leap(year) ? 366 : 365;
        for (int day = 1; day <= len; ++day) {
            DATE_julian_monday(year, day, &m, &d);
            DATE_monday_julian(year, m, d, &j);
            ASSERT_EQ(j, day) << year;
        }
    }
    DATE_monday_julian(2004, 14, 1, &j);  // month clamped to December
    EXPECT_EQ(j, 336);
    EXPECT_FALSE(DATE_is_leap(2100));
    EXPECT_TRUE(DATE_is_leap(2400));
}

TEST(Date, DayNumbersRoundTrip)
{
    EXPECT_EQ(DATE_date_days(1970, 1, 1), 1);
    EXPECT_EQ(DATE_date_days(2000, 3, 1), 11018);
    EXPECT_EQ(DATE_date_days(0, 3, 1), 11018);  // widened like the seconds count
    int first = DATE_date_days(1901, 1, 1), last = DATE_date_days(2099, 12, 31);
    for (int n = first; n <= last; ++n) {
        int y, m, d;
        DATE_days_date(n, &y, &m, &d);
        ASSERT_EQ(DATE_date_days(y, m, d), n);
    }
    int y, m, d;
    DATE_days_date(11018, &y, &m, &d);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20000301);

    int h, mi, s;
    DATE_time_date(3 * 3600 + 4 * 60 + 5, &h, &mi, &s);
    EXPECT_EQ(h * 10000 + mi * 100 + s, 30405);
    DATE_time_date(86400 + 59, &h, &mi, &s);
    EXPECT_EQ(h * 10000 + mi * 100 + s, 59);
    DATE_time_date(-1, &h, &mi, &s);
    EXPECT_EQ(h * 10000 + mi * 100 + s, 235959);
}

TEST(Date, MonthNames)
{
    EXPECT_STREQ(DATE_month(1), "JAN");
    EXPECT_STREQ(DATE_month_lower(12), "dec");
    EXPECT_STREQ(DATE_month_long(9), "September");
    EXPECT_STREQ(DATE_month(0), "");
    EXPECT_STREQ(DATE_month_lower(13), "");
    EXPECT_STREQ(DATE_month_long(-9999), "");

    for (int m = 1; m <= 12; ++m) {
        EXPECT_EQ(DATE_decode_month(DATE_month(m)), m);
        EXPECT_EQ(DATE_decode_month(DATE_month_lower(m)), m);
    }
    EXPECT_EQ(DATE_decode_month("Jan"), 0);  // later letters must match the first's case
    EXPECT_EQ(DATE_decode_month("Feb"), 2);
    EXPECT_EQ(DATE_decode_month("jUL"), 0);
    EXPECT_EQ(DATE_decode_month("J"), 0);
    EXPECT_EQ(DATE_decode_month(""), 0);
    EXPECT_EQ(DATE_decode_month("XYZ"), 0);
    EXPECT_EQ(DATE_decode_month(nullptr), 0);
}

TEST(Date, TimeZoneSetting)
{
    // The clock mode shows in a label: a 12-hour clock with the UTC time in
    // brackets, or the 24-hour clock.
    auto utc_in_brackets = [] { return label(make(2004, 7, 9, 14, 25)).find("[1425Z]") != std::string::npos; };
    EXPECT_STREQ(DATE_get_tz_str(), "Z");
    EXPECT_EQ(DATE_set_TZ("-CST:-6"), 0);
    EXPECT_STREQ(DATE_get_tz_str(), " CST");
    EXPECT_EQ(DATE_get_tz_off(), -6 * 3600);
    EXPECT_TRUE(utc_in_brackets());

    // A text that does not parse changes nothing.
    EXPECT_EQ(DATE_set_TZ("+EST"), -1);
    EXPECT_STREQ(DATE_get_tz_str(), " CST");
    EXPECT_TRUE(utc_in_brackets());

    EXPECT_EQ(DATE_set_TZ("IST:5.5"), 0);
    EXPECT_EQ(DATE_get_tz_off(), 19800);
    EXPECT_TRUE(utc_in_brackets());  // no sign: the clock mode is kept
    DATE_reset_TZ();
    EXPECT_EQ(label(make(2004, 7, 9, 14, 25)), "1425Z  9 JUL 04");
    EXPECT_EQ(DATE_get_tz_off(), 0);
}

TEST(Date, Labels24Hour)
{
    EXPECT_EQ(label(make(2004, 7, 9, 14, 25)), "1425Z  9 JUL 04");
    EXPECT_EQ(label(make(2004, 7, 9, 14)), "14Z  9 JUL 04");
    EXPECT_EQ(label(make(2004, 7, 9)), " 9 JUL 04");
    EXPECT_EQ(label(make(2004, 7, M)), "JUL 04");
    EXPECT_EQ(label(make(1999, M, M)), "99");
    EXPECT_EQ(label(make(-1, M, M)), "80");
    EXPECT_EQ(label(make(2010, 13, 32, 24, 5)), "0005Z  1 JAN 10");

    // A zone without the 12-hour clock still shifts the time, across days.
    DATE_set_TZ("CST:-6");
    EXPECT_EQ(label(make(2004, 7, 9, 3, 5)), "2105 CST  8 JUL 04");
    EXPECT_EQ(label(make(2004, 7, 9)), " 9 JUL 04");  // no time of day, no shift
}

TEST(Date, Labels12Hour)
{
    DATE_set_TZ("-CST:-6");
    EXPECT_EQ(label(make(2004, 7, 9, 14, 25)), "8:25 AM CST [1425Z]  9 JUL 04");
    EXPECT_EQ(label(make(2004, 7, 9, 14)), "8 AM CST [14Z]  9 JUL 04");
    EXPECT_EQ(label(make(2004, 3, 1, 3, 0)), "9:00 PM CST [0300Z] 29 FEB 04");
    EXPECT_EQ(label(make(2004, 7, 9, 18, 7)), "12:07 PM CST [1807Z]  9 JUL 04");
    EXPECT_EQ(label(make(2004, 7, 9, 6)), "12 AM CST [06Z]  9 JUL 04");

    DATE_set_TZ("+UTC:0");
    EXPECT_EQ(label(make(2004, 7, 9, 13, 1)), "1:01 PM UTC  9 JUL 04");
    EXPECT_EQ(label(make(2004, 7, 9, 0)), "12 AM UTC  9 JUL 04");
    EXPECT_EQ(label(make(2004, 7, 9, 12)), "12 PM UTC  9 JUL 04");
}

TEST(Date, DecodeLabelForms)
{
    DATE d;
    ASSERT_EQ(DATE_decode_label("1425Z  9 JUL 04", &d), 0);
    EXPECT_EQ(ymdhm(d), 200407091425);
    EXPECT_EQ(d.second, M);
    ASSERT_EQ(DATE_decode_label("14Z  9 JUL 04", &d), 0);
    EXPECT_EQ(d.hour * 100 + d.day, 1409);
    EXPECT_EQ(d.minute, M);
    ASSERT_EQ(DATE_decode_label("GOES-8 IR  14Z  9 JUL 04", &d), 0);
    EXPECT_EQ(d.hour * 100 + d.day, 1409);
    ASSERT_EQ(DATE_decode_label("IR 14:25:30Z 31 DEC 99", &d), 0);
    EXPECT_EQ(ymdhm(d), 199912311425);
    EXPECT_EQ(d.second, 30);
    ASSERT_EQ(DATE_decode_label(" 925Z  9 JUL 04", &d), 0);  // three-digit time
    EXPECT_EQ(ymdhm(d), 200407090925);
    ASSERT_EQ(DATE_decode_label("04 07 09 14", &d), 0);
    EXPECT_EQ(d.year * 1000000LL + d.month * 10000 + d.day * 100 + d.hour, 2004070914);

    EXPECT_EQ(DATE_decode_label("no date here", &d), -1);
    EXPECT_EQ(d.month, 0);
    EXPECT_EQ(d.year, M);
}

TEST(Date, LabelRoundTrip)
{
    for (int64_t s = -631152000LL; s < 2524608000LL; s += 86400LL * 29 + 3660) {
        DATE d, back;
        DATE_get_gmdate(&s, &d);
        std::string text = label(make(d.year, d.month, d.day, d.hour, d.minute));
        ASSERT_EQ(DATE_decode_label(text.c_str(), &back), 0) << text;
        ASSERT_EQ(ymdhm(back), ymdhm(d)) << text;
    }
}

TEST(Date, SequenceText)
{
    char out[DATE_TEXT_SIZE];
    DATE d = make(2004, 7, 9, 14, 5);
    EXPECT_STREQ(DATE_make_seq(&d, out), "200407091405");
    d = make(-9999, 7, 9, M, M);
    EXPECT_STREQ(DATE_make_seq(&d, out), "198007090000");
    d = make(4, 7, 9, 1, 2);
    EXPECT_STREQ(DATE_make_seq(&d, out), "000407090102");  // not widened

    DATE back;
    ASSERT_EQ(DATE_decode_seq("200407091405", &back), 0);
    EXPECT_EQ(ymdhm(back), 200407091405);
    ASSERT_EQ(DATE_decode_seq("20040709", &back), 0);
    EXPECT_EQ(back.hour, M);
    EXPECT_EQ(DATE_decode_seq("2004", &back), -1);
}

TEST(Date, ForecastHourLabels)
{
    EXPECT_EQ(fhour(84, 1), "3.5 day");
    EXPECT_EQ(fhour(6, 1), "6 hour");
    EXPECT_EQ(fhour(12, 1), "0.5 day");
    EXPECT_EQ(fhour(60, 1), "2.5 day");
    EXPECT_EQ(fhour(48, 1), "2 day");
    EXPECT_EQ(fhour(72, 1), "3 day");
    EXPECT_EQ(fhour(66, 1), "66 hour");
    EXPECT_EQ(fhour(48, 0), "48 hour");
    EXPECT_EQ(fhour(803, 0), "3 day");
    EXPECT_EQ(fhour(902, 1), "2 month");
    EXPECT_EQ(fhour(0, 1), "");
    EXPECT_EQ(fhour(-9999, 0), "");
}

TEST(Date, ValidTimeLabels)
{
    DATE d = make(2004, 7, 9, 14, 25);
    EXPECT_EQ(valid_label(0, d), "14Z FRI  9 JUL 04");
    EXPECT_EQ(valid_label(12, d), "2Z SAT 10 JUL 04");
    EXPECT_EQ(valid_label(1012, d), "2Z SAT 10 JUL 04");
    EXPECT_EQ(valid_label(800, d), "14Z FRI  9 JUL 04");
    EXPECT_EQ(valid_label(-9999, d), "14Z FRI  9 JUL 04");
    EXPECT_EQ(valid_label(24, make(2004, 12, 31)), "SAT  1 JAN 05");

    DATE_set_TZ("-CST:-6");
    EXPECT_EQ(valid_label(6, d), "2 PM CST [20Z] FRI  9 JUL 04");
    EXPECT_EQ(valid_label(-12, d), "8 PM CST [02Z] THU  8 JUL 04");
}

TEST(Date, CurrentTimeTexts)
{
    char out[DATE_TEXT_SIZE];
    EXPECT_TRUE(std::regex_match(DATE_get_current_str(out),
                                 std::regex(R"(\d\d [A-Z]{3} \d\d  \d\d:\d\d:\d\dZ)")))
        << out;
    EXPECT_TRUE(std::regex_match(DATE_get_simple_current_str(out),
                                 std::regex(R"(\d\d-\d\d:\d\dZ)")))
        << out;

    testing::internal::CaptureStdout();
    DATE d = make(2004, 7, 9, 14, 5, 0);
    DATE_print(0xF000, &d);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "2004/7/9 14:05:00\n");
}
