// State shared by the .cpp files of the file-name module (not for other
// modules): the active convention, the time override and the walk.
#pragma once

#include <string>
#include <vector>

#include "files/file.h"

namespace file_detail {

constexpr int MISSING = -9999;

// One part of the last path component of a name that expand() built:
// literal text, a wildcard ("*" any run, "?" one character) or a date field
// with the value the date gave it.
struct Piece {
    enum Kind { TEXT, ANY, ONE, FIELD } kind = TEXT;
    std::string text;      // TEXT
    char letter = 0;       // FIELD: Y y m b d j h n
    int value = MISSING;   // FIELD: the date's (rounded) value; MISSING takes any
    int step = 0;          // FIELD: a name's value is rounded down to this
                           // before it is compared (0: compared as it is)
};

// The name expand() built, cut into the folder (up to and with its last
// "/", empty when none) and the pieces of what follows it.
struct Built {
    std::string dir;
    std::vector<Piece> pieces;
    bool wild = false;     // a wildcard among the pieces
};

// A folder's sorted entries, kept while the folder is unchanged, so that a
// search stepping back through many times lists it once.
struct Listing {
    std::string dir;
    long long mtime_ns = -1;
    unsigned long long inode = 0;
    std::vector<std::string> names;
    // For the pieces last matched against it (their shape, values aside):
    // whether each name matches whatever the date, and the date fields'
    // values it then holds, in the pieces' order.
    std::string shape;
    std::vector<bool> fits;
    std::vector<std::vector<int>> values;
};

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
    Listing listing;
};

State &state();

// Expands a template with a date into out (FILE_NAME_SIZE bytes); updates
// the file date and the step as it goes.  With `built`, the name's folder
// and pieces are kept there too.
void expand(const char *templ, const DATE *date, char *out, Built *built = nullptr);
// Matches a file name (no folder) against the pieces; the date fields it
// holds go into *got (the others stay as they were).
bool match_pieces(const std::vector<Piece> &pieces, const char *name, DATE *got);
// A name with wildcards made real: the folder's file that the pieces match,
// whose date fields fall in the requested date's steps; of several, the
// newest that starts no later than `requested` (to the minute), else the
// earliest; of equal times the last in name order.  `rounded` is the date
// as the template rounded it.  The pattern itself when nothing matches.
std::string resolve_wild(const Built &built, const DATE &requested, const DATE &rounded,
                         const std::string &pattern);
// Decodes an "hour" text into a date record of override fields.
void decode_time(const char *text, DATE *set);
// Reads "#YYYYMMDDHHNN" style digits into date; returns characters used.
int read_digit_date(const char *text, DATE *date);
// Seconds <-> dates through the date module.
int64_t seconds_of(DATE date);
DATE date_of(int64_t seconds);

}  // namespace file_detail
