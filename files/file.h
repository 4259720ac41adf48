// File names: name conventions (templates expanded with a date), reading a
// date back out of a typed name, the current and latest file, the walk
// through files by time, and the small file utilities used everywhere
// (open with "~" and pipes, existence and type tests, overwrite questions).
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>

#include "files/date.h"

// File-name buffers throughout the program hold this many bytes.
constexpr int FILE_NAME_SIZE = 160;

// ---- conventions and templates ----
// 1 when a convention (or "@" template) was found, 0 otherwise.
int FILE_set_name(const char *name);
// Name for a date (null: the current file date) from the active template.
// Returns 1 when the template names a standard stream.
int FILE_set_date(const DATE *date, char *name_out);
int FILE_hdr_set_date(const DATE *date, char *name_out);
// 1; -1 for the name "exit", which requests the program's end (status 0).
int FILE_set_file(const char *spec, char *name_out);
// Time (seconds since 1970) of the current or latest file, rounded down to
// the template's step.
int64_t FILE_set_current(const char *spec, char *name_out);
// 1 when the file exists, else 0; -1 when the program is to end (an "exit"
// answer or the end of input: status 0; the file list asked for: 0; a file
// still missing after the last try: 10; see ZYR_request_exit).  The _only
// form gives one try.
int FILE_get_file(const char *prompt, char *name_out);
int FILE_get_file_only(const char *prompt, char *name_out);
int FILE_get_date(DATE *date);
int FILE_list_file();

// ---- the walk ----
int FILE_first(const DATE *start);
// 1 with the next name, 0 at the end of the walk, -1 when a listed name
// asked for the program's end.
int FILE_get_next(char *name_out);
int FILE_get_num_file();
int FILE_next_file(char *name_out);
int FILE_prev_file(char *name_out);
int FILE_set_date_off(const DATE *date, int seconds, char *name_out);
int FILE_set_def_hours(int hours);

// ---- the time override (the "hour" resource) ----
int FILE_set_time(const char *text);   // decodes the text into the override
int FILE_get_time(DATE *date);
int FILE_reset_time();

// ---- accessors ----
int FILE_get_offset();                 // the step, or 100000 when below 1
int FILE_set_late_off(int seconds);
int FILE_get_late_off();
int FILE_set_min_size(int bytes);
int FILE_get_min_size();
int FILE_set_key(int c, const char *text);
const char *FILE_get_key(int c);
int FILE_set_filename(const char *name);
const char *FILE_get_filename();
int FILE_set_name_conv(const char *templ);
const char *FILE_get_name_conv();
int FILE_set_ext_info(const char *text);
const char *FILE_get_ext_info();
int FILE_save_name_conv();
int FILE_restore_name_conv();

// ---- files ----
// "", "-", "std", "stdn" (any case) name the standard streams.
int FILE_is_std(const char *name);
int FILE_fullpath(const char *name);   // starts with ".", "/" or "~"
FILE *FILE_open(const char *name, const char *mode);
// Expands "~" and "~user"; out holds FILE_NAME_SIZE bytes.
char *FILE_expand(const char *name, char *out);
int FILE_exist(const char *name);
int FILE_is_dir(const char *name);
int FILE_is_file(const char *name);
int FILE_is_fifo(const char *name);
int FILE_is_device(const char *name);
int64_t FILE_size(const char *name);
time_t FILE_modtime(const char *name);
int FILE_delete(const char *name);
int FILE_make_dir(const char *name);   // every missing directory of a file's path
// -1 when the question was answered with "exit" or input ended.
int FILE_overwrite(const char *name, int mode);
char *FILE_add_path(const char *dir, const char *name, char *out);
// File-type magics: 11 surface, 12 upper air, 5 raw, 6 grid, 8 metafile,
// 9 image; -1 for anything else.
int FILE_type(const char *name);

// Fills the file layer's hook slots: the "hour" time override, the display
// time zone and the time stamp of message files.
void FILE_register_hooks();
// Program start: no name convention, time override, file list or walk, and
// nothing saved by FILE_save_name_conv.
void FILE_reset();
