// The colour table: the named colours of the whole program (256 slots, name
// of at most 19 characters, red, green and blue as fractions 0..1), read from
// colour table files ("zyr.clr" by default) and grown by CLR_add when a user
// types a colour as "#RRGGBB" or "#RRRGGGBBB".
#pragma once

#include <cstdio>

#include "core/records.h"


// Reads the comma-separated list of files (null or empty: the "color_table"
// resource, else "zyr.clr").  Returns 0.
int CLR_read_table(const char *files);
// Reads one colour table from an open stream (the reader proper; files and
// fuzzers both come through here).  first is the index of the stream's
// first colour line; fill_count (when not null) gets the number of colours
// before an "END" line, or -1 when the stream has none.  Returns one more
// than the highest index written, or first when nothing was written.
int CLR_read_stream(FILE *fp, int first, int *fill_count);
int CLR_get_ind(const char *text);
// Appends an entry (and defines it on an open workstation).  A full table
// gives -1 and nothing is added.
int CLR_add(const char *name, float r, float g, float b);
// Components and name of entry i.  An index at or past num_colors gives the
// last entry; a negative index (the -1 of an unknown colour word) gives
// entry 0.  With an empty table the components are 0 and the name "".
int CLR_get_rgb(int i, float *r, float *g, float *b);
const char *CLR_get_name(int i);
int CLR_get_num();
int CLR_get_num_fill();
void CLR_clear_table();
// Opens a data file by name: a full path ("/", "./" or "~") as given, else
// in the "file_path" directory, the current directory, the bundled data
// folder and its enhance/ folder, first found wins.  Used for colour tables
// and enhancement files.
FILE *CLR_open_data_file(const char *name);
