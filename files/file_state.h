// State shared by the .cpp files of the file-name module (not for other
// modules): the active convention, the time override and the walk.
#pragma once

#include <string>
#include <vector>

#include "files/file.h"

namespace file_detail {

constexpr int MISSING = -9999;

struct State {
    char conv[FILE_NAME_SIZE] = "";
    char hconv[FILE_NAME_SIZE] = "";
    int min_size = 0;
    int rmin_size = 0;
    char ext[20] = "";
    char ext_info[40] = "";
    char keys[256][30] = {};
    char filename[FILE_NAME_SIZE] = "";
    int filename_type = 0;
    int late_off = 3600;
    DATE set{MISSING, MISSING, MISSING, MISSING, MISSING, MISSING, MISSING, MISSING};
    DATE file_date{MISSING, MISSING, MISSING, MISSING, MISSING, MISSING, MISSING, MISSING};
    DATE first_date{MISSING, MISSING, MISSING, MISSING, MISSING, MISSING, MISSING, MISSING};
    std::vector<std::string> files;
    int file_ind = 0;
    int num_hour = 0;
    int skip = 0;
    int offset = 0;
    int secs = 0;
    int nsecs = 0;
    int def_hours = 0;
    bool header = false;
    bool once_done = false;   // a walk of span 0 gave its one name
};

State &state();

// Expands a template with a date into out (FILE_NAME_SIZE bytes); updates
// the file date and the step as it goes.
void expand(const char *templ, const DATE *date, char *out);
// Decodes an "hour" text into a date record of override fields.
void decode_time(const char *text, DATE *set);
// Reads "#YYYYMMDDHHNN" style digits into date; returns characters used.
int read_digit_date(const char *text, DATE *date);
// Seconds <-> dates through the date module.
int64_t seconds_of(DATE date);
DATE date_of(int64_t seconds);

}  // namespace file_detail
