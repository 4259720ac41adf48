// The table of input readers: one row per input format, saying what the
// format is called (its input-type code, its "input" keyword, its "in_file"
// prefix), how to recognise its bytes, how its file is opened and how it is
// read into an image record.  The program asks the table; no reader knows
// about another, and no reader sets labels or plot state: the program does,
// with the image record the reader returns.
//
// Adding a format is one reader file (its identify and read functions) and
// one row in reader_table.cpp.
#pragma once

#include <cstddef>
#include <cstdio>
#include <vector>

#include "image/area.h"
#include "image/img.h"

// The bytes a reader takes: one interface for a file and for memory.  A
// source is either a memory span (`bytes`, `size`) or, when `bytes` is null,
// a stream read from where it stands (its start, for a file just opened).  Readers that parse a span load a stream
// whole; readers that parse a stream wrap a span with fmemopen.  So a fuzz
// target or a test feeds memory through the very code that reads files.
struct IMG_SOURCE {
    const char *name = "";                 // the file's name, for messages only
    const unsigned char *bytes = nullptr;  // the whole file in memory, or null
    size_t size = 0;
    FILE *stream = nullptr;                // used when `bytes` is null
};

// A rectangle of image lines and elements (counted from 0 at the top left)
// that the program asks a reader to decode once the header is known and the
// domain is fitted.  Room for readers of large images; today's readers
// decode the whole image and ignore it.  A null window means the whole image.
struct IMG_WINDOW {
    int first_line = 0;
    int lines = 0;      // 0: to the last line
    int first_elem = 0;
    int elems = 0;      // 0: to the last element
};

// What a read fills: the image record always; the AREA navigation record for
// formats that carry one (the caller keeps it alive while the navigation
// points into it; may be null, then the reader uses one of its own for the
// read and frees it).
struct IMG_READ_OUT {
    IMG *image = nullptr;
    AREA_REC *area = nullptr;
};

// The one result convention of every row's read: 1 read, 0 refused or failed
// (after the reader printed why).
constexpr int IMG_READ_OK = 1;
constexpr int IMG_READ_FAILED = 0;

// When the program announces the file it reads: not at all, "Reading image
// file" before reading, or "Processing image file" after reading.
enum IMG_ANNOUNCE { IMG_ANNOUNCE_NONE, IMG_ANNOUNCE_BEFORE, IMG_ANNOUNCE_AFTER };

// How the program locates an image of the format after reading it:
// IMG_NAV_AREA through the AREA navigation record (the reader's directory
// printed, the navigation set up and the domain fitted from it);
// IMG_NAV_NONE from the domain the reader filled in (satellite navigation
// switched off); IMG_NAV_SAT_VIEW as NONE, but a satellite-view domain is
// located through the satellite navigation again.
enum IMG_NAV { IMG_NAV_NONE, IMG_NAV_AREA, IMG_NAV_SAT_VIEW };

// How a file of the format is opened for reading.
struct IMG_OPEN_RULE {
    bool file_layer;     // true: through the file layer (the name expanded, "-"
                         // standard input, "|command" a pipe); false: the
                         // plain path
    bool whole;          // true: loaded whole into memory; false: read as a stream
    const char *fail[2]; // messages (level 192, "%s" the name) printed in
                         // turn when it cannot be opened; unused ones null
};

struct IMG_READER {
    int code;                 // input-type code (the input-type flag's value)
    const char *keyword;      // entry of resource "input" choosing it (whole, any case)
    const char *in_file;      // entry of resource "in_file" choosing it, or null
    bool in_file_whole;       // the entry must be `in_file` itself; otherwise it is
                              // a prefix followed by one separator and the name
                              // convention
    const char *name_conv;    // name convention the "input" keyword sets, or null
    const char *who;          // the reader's name in its messages
    int source;               // the image record's source after a read
    IMG_ANNOUNCE announce;
    bool rebuild_label;       // the date label is rebuilt from the date record
    IMG_NAV nav;
    IMG_OPEN_RULE open;
    // true when the bytes look like a file of this format (a whole file or
    // at least its first kilobytes).
    bool (*identify)(const unsigned char *bytes, size_t size);
    // Reads one file into out->image; IMG_READ_OK or IMG_READ_FAILED.
    int (*read)(const IMG_SOURCE *source, const IMG_WINDOW *window, IMG_READ_OUT *out);
    // Room for formats whose image comes in several files (segments of one
    // image): reads `n` sources together into one image.  Null: one file is
    // one image.
    int (*read_set)(const IMG_SOURCE *sources, int n, const IMG_WINDOW *window,
                    IMG_READ_OUT *out) = nullptr;
    // Room for readers that decode only a window: fills the image record
    // without pixels so the program can fit the domain and pass the window
    // to `read`.  Null: `read` does it all.
    int (*read_header)(const IMG_SOURCE *source, IMG_READ_OUT *out) = nullptr;
    // Room for formats that carry physical values (radiances, temperatures,
    // product fields) behind the 8-bit counts: the value at pixel (col, row)
    // of the full image (counted from 0 at the top left, whatever window a
    // read decoded) of the `n` sources read together, at full precision,
    // and its units into `units` (at most units_size bytes, "" when the file
    // states none).  1 a value, 0 the pixel has none (fill, out of the valid
    // range), -1 failed (after a message naming the file: pixel outside the
    // image, file unreadable).  Null: the format keeps no values.
    int (*value)(const IMG_SOURCE *sources, int n, int col, int row, double *value, char *units,
                 size_t units_size) = nullptr;
    // For formats with read_set: what a file is to a set, from its headers
    // alone.  IMG_SET_ALONE an image of its own; IMG_SET_PART a part of the
    // image named by `key` (files with equal keys are read together);
    // IMG_SET_AUX a file that belongs with every image whose key begins with
    // its `key` (a prologue or epilogue).  Null: every file is alone.
    int (*set_key)(const IMG_SOURCE *source, char *key, size_t key_size) = nullptr;
};

// What a file is to a set (the set_key hook).
enum { IMG_SET_ALONE = 0, IMG_SET_PART = 1, IMG_SET_AUX = 2 };

// The row of an input-type code, keyword or "in_file" entry; null when none.
// An "in_file" entry matches the longest prefix ("awipz..." before "awip...").
const IMG_READER *IMG_reader_by_code(int code);
const IMG_READER *IMG_reader_by_keyword(const char *keyword);
const IMG_READER *IMG_reader_by_in_file(const char *entry);
// The row of the input-type flag; null when the flag names no reader.
const IMG_READER *IMG_reader_current();
// The first row whose identify() recognises the bytes; null when none.
const IMG_READER *IMG_reader_identify(const unsigned char *bytes, size_t size);
// All rows, in input-code order; *count gets their number.
const IMG_READER *IMG_reader_rows(int *count);
// The name convention an "in_file" entry of the row carries after its prefix
// and one separator; null when it carries none.  An entry that begins with
// the row's own convention (followed by nothing or "_") is a convention
// itself and comes back whole.
const char *IMG_reader_in_file_conv(const IMG_READER *reader, const char *entry);

// A file opened by the row's rule, holding what it needs until destroyed.
class IMG_FILE_SOURCE {
public:
    IMG_FILE_SOURCE() = default;
    ~IMG_FILE_SOURCE();
    IMG_FILE_SOURCE(const IMG_FILE_SOURCE &) = delete;
    IMG_FILE_SOURCE &operator=(const IMG_FILE_SOURCE &) = delete;

    // Opens `name` by the reader's rule; false (after its messages) when it
    // cannot be opened or loaded.
    bool open(const IMG_READER *reader, const char *name);
    const IMG_SOURCE *source() const { return &source_; }

private:
    IMG_SOURCE source_{};
    std::vector<unsigned char> bytes_;
    bool close_ = false;
};

// The row's value hook on files opened by the row's rule: as `value`, and
// -1 (after a message) when a file cannot be opened or the row has no hook.
int IMG_reader_value_files(const IMG_READER *reader, const char *const *names, int n, int col,
                           int row, double *value, char *units, size_t units_size);

// The row's set_key hook on a file opened by the row's rule: IMG_SET_ALONE
// when the row has none or the file cannot be opened or read.
int IMG_reader_set_key_file(const IMG_READER *reader, const char *name, char *key, size_t key_size);
// Opens the `n` files by the row's rule and reads them together (read_set;
// one file without it: read); IMG_READ_OK or IMG_READ_FAILED.
int IMG_reader_read_files(const IMG_READER *reader, const char *const *names, int n,
                          const IMG_WINDOW *window, IMG_READ_OUT *out);

// Reads bytes held in memory as a file of the row's format, named `name` in
// messages; IMG_READ_OK or IMG_READ_FAILED.
int IMG_reader_read_memory(const IMG_READER *reader, const unsigned char *bytes, size_t size,
                           const char *name, const IMG_WINDOW *window, IMG_READ_OUT *out);
// Opens `name` by the row's rule and reads it; IMG_READ_OK or IMG_READ_FAILED.
int IMG_reader_read_file(const IMG_READER *reader, const char *name, const IMG_WINDOW *window,
                         IMG_READ_OUT *out);
// A reader's own file entry point (SAT_read_TIFF and the like): the record
// started afresh with the row's code as its source, then the whole file read
// by the row of that code; 0, or -1 on failure.
int IMG_reader_read_named(int code, const char *name, IMG *image);

// The window of an image whose grid is `image_dom` that a plot on the fitted
// domain `target` shows, with a margin of a few pixels: false when the
// whole image is wanted (nearly all of it shown, no earth projection, or
// the target shows none of it).
bool IMG_window_for_domain(const DOM *image_dom, const DOM *target, IMG_WINDOW *window);
// Opens `name` by the row's rule and reads it; a row that can read its
// header alone decodes only the window a plot on the fitted domain `target`
// shows (null: the whole image).  IMG_READ_OK or IMG_READ_FAILED.
int IMG_reader_read_file_for(const IMG_READER *reader, const char *name, const DOM *target,
                             IMG_READ_OUT *out);
