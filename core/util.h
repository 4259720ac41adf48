// Process and text utilities shared by every part of the program: the
// version text, detaching the process, the requested end of the program,
// terminal prompts that also take "set" commands, a sleep with an
// elapsed-time clock, a small table of child processes, and the text
// helpers used by the configuration and file layers.  Text helpers work in place on NUL-terminated text unless a
// function says otherwise.
#pragma once

#include <cstdio>
#include <sys/types.h>

// ---- process ----
const char *ZYR_version();
// Detaches the program: 1 in the child; -1 in the parent, with an end of
// the program (status 0) requested; 0 when it cannot detach.
int ZYR_back_proc();

// ---- ending the program ----
// Library functions never end the process.  Where the program is to end (an
// "exit" answer or the end of input at a prompt, the parent side of a
// detach, a queue that stops answering, a failure with a status of its own)
// the function records the status here and returns failure; every caller on
// the way up returns at once while an end is requested, and the program
// (driver/) ends the process with the status when the call is back with it.
// Safe in a signal handler.
void ZYR_request_exit(int status); // the first request stands
bool ZYR_exit_requested();
int ZYR_exit_status();             // the status requested; 0 when none
void ZYR_clear_exit();             // forgets a request (tests)

// Prompts ask again until they have an answer.  An "exit" line or the end
// of input requests the end of the program (status 0): the text prompts
// then return null, the number prompts 0.

char *ZYR_prompts(const char *prompt, char *out, int n);
float ZYR_promptf(const char *prompt);
int ZYR_promptd(const char *prompt);
char *ZYR_promptl(const char *prompt, char *out);
// 1 for a "set" line; -1 for an "exit" line, which requests the end of the
// program (status 0); else 0.
int ZYR_set_command(const char *line);

int ZYR_sleep(float seconds);
void ZYR_init_time();
float ZYR_elapse_time();
int ZYR_get_pid();
long ZYR_get_virt_mem();

// Child processes.  Mode bit 2 (value 2): run in the background and record
// the child in the table; mode bit 1 (value 1): change to dir first.
int ZYR_run(const char *dir, char *const argv[], char *const env[], int mode);
int ZYR_run_func(int (*f)(void *), void *arg, int mode);
int ZYR_add_proc(pid_t pid, const char *name);
int ZYR_proc(int i);                 // process id of entry i, -1 when free
pid_t ZYR_proc_id(const char *name); // process id recorded under a name, -1 when none
const char *ZYR_proc_name(int i);
int ZYR_set_proc(int i, pid_t pid, const char *name);
int ZYR_clr_proc(pid_t pid);
int ZYR_chk_proc();                  // clears dead entries; returns the number alive
int ZYR_numproc();
void ZYR_set_infile(const char *name);
void ZYR_set_outfile(const char *name);
// Program start: the elapsed-time clock not started, the child table empty
// (the children themselves are left alone), no redirection files, no end
// of the program requested.
void ZYR_reset();

// ---- text ----
int stricmp(const char *a, const char *b);
int strnicmp(const char *a, const char *b, int n);
char *strntcpy(char *dst, const char *src, int n);   // copies at most n-1 chars, always terminates
char *strmcat(char *dst, const char *src, int size); // appends within a buffer of size bytes
const char *strlstr(const char *s, const char *find);
int searchstr(const char *const *list, int n, const char *s);
char *fill_string(char *s, char from, char to);
char *strip_string(char *s, char c);
char *wsstrip_string(char *s);
char *wstrim_string(char *s);
char *trim_string(char *s);
char *trim_cr_string(char *s);
char *strip_spaces(char *s);
char *strip_escape(char *s);
char *shift_string(char *s, int n);
char *up_string(char *s);
char *low_string(char *s);
int string_is_float(const char *s);
int string_is_alpha(const char *s);
int string_is_num(const char *s);
int string_is_num_len(const char *s, int n);
int string_is_blank(const char *s);
char *create_string(const char *s);
char *create_strcat(const char *a, const char *b, const char *c);
char *clean_line(char *s);
// set_num writes at most ZYR_NUM_SIZE bytes (terminator included).
constexpr int ZYR_NUM_SIZE = 48;
char *set_num(char *out, const char *format, float value);
int fgetline(FILE *stream, char *s);
int fskipline(FILE *stream);
int fgetstring(FILE *stream, char *s, int n);
int fgetnline(FILE *stream, char *s, int n);
int fget_rawstring(FILE *stream, char *s, int n);

// ---- paths ----
// The folder of the program's bundled data (name conventions, colour
// table, enhancements, regions, fonts, maps): share/zyrsat beside an
// installed program (<bin>/../share/zyrsat, or <libexec>/zyrsat/../../share/
// zyrsat for its helpers), else the build's data folder,
// else the configured install prefix's share/zyrsat.  Found once; never null.
const char *FILE_data_dir();

// Appends "/" to the text when it does not already end with one.  The
// buffer must have room for one more character.
char *FILE_add_path_delim(char *text);
