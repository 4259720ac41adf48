// What the file devices (PostScript, HPGL, metafile) share: opening the
// output by the "|" (pipe) and "+" (append) rules, the paper table, the
// placement string ("geometry" and the devices' own variables) and the
// comma-separated device options.
#pragma once

#include <cstdio>

// The output stream of a file device.
struct GDRV_FILE {
    FILE *fp = nullptr;
    bool pipe = false;    // opened with popen, closed with pclose
    bool append = false;  // continues an existing file: no new prologue or trailer
    void (*old_sigpipe)(int) = nullptr; // restored when a pipe closes
};

// Opens name: "|cmd" spools to a pipe ("Spooling to: %s\n"; while it is
// open a command that ends early makes writes fail instead of killing the
// program with SIGPIPE), "+file" appends
// ("Appending to: %s\n"), anything else is created (create_msg, a format
// with one %s).  Appending to a file that does not exist yet or is empty
// creates it and counts as a new file, since there is no prologue to
// continue.  Returns false (and leaves f closed) when the open fails.
bool gdrv_open(GDRV_FILE &f, const char *name, const char *create_msg);
// Flushes and closes; returns false when the stream reported a write error
// or the pipe's command failed.
bool gdrv_close(GDRV_FILE &f);

// A paper keyword of the table ("letter", "a4", ...) or the "sz" form
// ("sz=%fx%f": long x short after three characters), compared without case.
// Sets the long and short side in inches; false for any other word.
bool gdrv_paper(const char *word, float *lng, float *shrt);

// The drawable rectangle of a file device in its own units.
struct GDRV_PAGE {
    float width, height;
    float xoff, yoff;
};

// How a device reads its placement string.
struct GDRV_GEOM_RULE {
    float unit;        // device units per unit of the string
    float off_base;    // added to every offset (the device's margin)
    bool plus_offsets; // "%dx%d+%d+%d" and "+%d+%d" (HPGL) instead of "%dx%d%d%d" and "%d%d"
};

// Applies a placement string to page (which holds the default drawable area
// and offset).  Four values set size and offset, two the size, the offset
// form the offset alone; "P%fx%f+%f+%f" (columns, rows, column, row) takes
// one cell of the drawable area, columns and rows clamped to 1..8, row 0 at
// the top.  Anything else is ignored.  Returns true when the page changed.
bool gdrv_geometry(const char *text, const GDRV_GEOM_RULE &rule, GDRV_PAGE *page);

// Calls fn for each blank-trimmed, non-empty word of a comma-separated list
// (null or empty: nothing).
void gdrv_each_word(const char *list, void (*fn)(const char *word, void *ctx), void *ctx);

// The local time in the C library's ctime form (ends in a newline).
const char *gdrv_ctime();

// Formats a float exactly as printf's "%.<decimals>f" would (decimals 0 to
// 6), much faster: for a float, x * 10^decimals is exact in double, so
// rounding it to an integer (ties to even, as printf rounds the exact value)
// gives printf's digits.  Writes no terminator; returns the length (at most
// 64).  Values too large for the fast path go through snprintf.
int gdrv_fmt(char *out, float x, int decimals);
