// The date record, seconds since 1970, day-of-year conversions, month
// names, the display time zone and the text labels in which dates appear.
// All data times are UTC; the display zone only shifts what labels show.
#pragma once

#include <cstdint>
#include <ctime>

#include "core/records.h"


// Output texts: every function below that writes into a caller's buffer
// writes at most DATE_TEXT_SIZE bytes, terminator included.
constexpr int DATE_TEXT_SIZE = 40;

// Results are 0 for success and -1 for failure unless said otherwise.
// Range fixes (applied to a copy, or in place where said): a negative year
// becomes 1980, a month outside 1..12 becomes 1, a day outside 1..31
// becomes 1, an hour, minute or second outside its range (missing included)
// becomes 0.  Years are widened: below 50 +2000, then below 200 +1900.

// Seconds since 1970-01-01 00:00 UTC; every fourth year counts as a leap
// year, which is right from 1901 to 2099.  Julian and weekday are ignored.
int64_t DATE_num_sec(DATE *date);   // normalises the record in place
// Seconds null: now.  All eight fields are filled.
int DATE_get_gmdate(const int64_t *seconds, DATE *date);
int DATE_get_localdate(const int64_t *seconds, DATE *date);
int64_t DATE_get_time(int64_t *out);  // now, also stored in *out when given
int DATE_get_current_gmdate(DATE *date);
int64_t DATE_num_sec_tm(const struct tm *tm);  // tm read as UTC; -9999 for null

int DATE_is_leap(int year);
int DATE_julian_monday(int year, int julian, int *month, int *day);
int DATE_monday_julian(int year, int month, int day, int *julian);
int DATE_date_days(int year, int month, int day);  // 1970-01-01 is day 1
int DATE_days_date(int n, int *year, int *month, int *day);
int DATE_time_date(int seconds, int *hour, int *minute, int *second);  // seconds modulo one day

const char *DATE_month(int m);
const char *DATE_month_lower(int m);
const char *DATE_month_long(int m);
int DATE_decode_month(const char *text);  // 1..12, 0 when not a month name

// "[-+]NAME:HOURS": "-" 12-hour labels with the UTC time in brackets, "+"
// 12-hour labels.  A text that does not parse leaves the zone unchanged.
int DATE_set_TZ(const char *text);
int DATE_get_tz_off();
const char *DATE_get_tz_str();
// Program start: the zone "Z", no offset, 24-hour labels.
void DATE_reset();
void DATE_reset_TZ();                // back to "Z", offset 0, 24-hour labels

// Labels with a time of day show it in the display zone; labels of a day,
// month or year are not shifted.
char *DATE_make_label(const DATE *date, char *out);
int DATE_decode_label(const char *text, DATE *date);  // -1 (month 0) when no form fits
char *DATE_make_seq(const DATE *date, char *out);
int DATE_decode_seq(const char *text, DATE *date);  // 0 when year, month and day were read
int DATE_print(uint32_t mask, const DATE *date);
char *DATE_get_current_str(char *out);
int DATE_print_current(uint32_t mask);  // no line end: a time stamp before a message
char *DATE_get_simple_current_str(char *out);
char *DATE_make_label_valid_time(int fhour, const DATE *date, char *out);
char *DATE_fhour_label(char *out, int fhour, int days);
