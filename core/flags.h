// Program flags, plot-element switches and the levelled message output.
//
// The flags are a fixed table of integer slots through which configuration
// decisions travel between modules (device, plot type, input type, batch,
// help).  The plot elements say which parts of a plot are drawn.  Every
// human-readable line of the program goes out through MESS_print, filtered
// by a 32-bit class mask: four bits per class (print, error+warn, mess,
// out1..out4, debug), the lowest bit of each group being sub-level "a".
#pragma once

#include <cstdint>
#include <cstdio>

// Slots of the flag table used by this program.
enum {
    FLAG_DEVICE = 2,      // output device code (1 window, 3 metafile, 4 PostScript, 5 HPGL, 6 embedded)
    FLAG_DOMAIN = 5,      // result of the last domain decoding
    FLAG_PLOT_TYPE = 11,  // plot type (99: no graphics)
    FLAG_INPUT = 14,      // input format code
    FLAG_FILE_PARAM = 15, // 1 overwrite, 2 append, 3 use existing
    FLAG_BATCH = 19,
    FLAG_HELP = 20,
    FLAG_NUM_SLOTS = 30,
};

// Plot elements.
enum {
    PLOT_TEXT = 0,  // sum of the six label positions
    PLOT_TEXT_UL = 1, PLOT_TEXT_UC = 2, PLOT_TEXT_UR = 3,
    PLOT_TEXT_LL = 4, PLOT_TEXT_LC = 5, PLOT_TEXT_LR = 6,
    PLOT_DATA = 7, PLOT_MAP = 8, PLOT_GRID = 9, PLOT_SUM = 10, PLOT_BORDER = 11,
    PLOT_ANY = 12,  // sum of elements 0 to 11
    PLOT_NUM_ELEMENTS = 13,
};

// Message class masks.
constexpr uint32_t MESS_NONE = 0;
constexpr uint32_t MESS_PRINT = 0xF;
constexpr uint32_t MESS_ERROR = 0x30;
constexpr uint32_t MESS_WARN = 0xC0;
constexpr uint32_t MESS_MESS = 0xF00;
constexpr uint32_t MESS_OUT1 = 0xF000;
constexpr uint32_t MESS_OUT2 = 0xF0000;
constexpr uint32_t MESS_OUT3 = 0xF00000;
constexpr uint32_t MESS_OUT4 = 0xF000000;
constexpr uint32_t MESS_DEBUG = 0xF0000000;
constexpr uint32_t MESS_DEFAULT_LEVEL = 0xFFFFF;

// ---- flags ----
int FLAG_get(int slot);                    // low 32 bits; 0 for a slot out of range
int64_t FLAG_getl(int slot);               // whole value; 0 for a slot out of range
int FLAG_set(int slot, int value);         // -1 for a slot out of range, else 0
int FLAG_setl(int slot, int64_t value);
void FLAG_reset(int value);                // every slot
void FLAG_resetl(int64_t value);
int FLAG_batch();                          // slot 19 > 0
int FLAG_set_batch(int value);
int FLAG_help();                           // slot 20 > 0

int FLAG_setplot(int element, uint32_t value);
uint32_t FLAG_getplot(int element);        // 0 for an element out of range
void FLAG_resetplot(uint32_t value);       // all 13, sums not recomputed
// Program start: every slot 0, every plot element on.
void FLAG_reset_all();

// ---- messages ----
int MESS_print(uint32_t mask, const char *format, ...) __attribute__((format(printf, 2, 3)));
int MESS_check(uint32_t mask);
uint32_t MESS_get();
int MESS_check_set();
int MESS_set(int code, uint32_t bits);
int MESS_set_str(const char *text);
int MESS_file(const char *name, const char *mode);
void MESS_file_close();
void MESS_set_out(int mode);
void MESS_set_page(int mode);
int MESS_get_max_lines();
int MESS_hold(uint32_t mask, const char *text);
int MESS_print_prog(const char *title);

// Puts the whole message state back to its start values (level 0xFFFFF, not
// set explicitly, terminal output, paging on explicit holds only) and closes
// any message or log file.  Used by tests and by programs that re-run their
// configuration.
void MESS_reset();
