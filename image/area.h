// McIDAS AREA files: the reader's record, the byte-order switch and its
// swap routines, and the small buffered byte reader the reader runs on.
#pragma once

#include <cstdint>
#include <cstdio>

// Directory word numbers (counted from 0) that the program uses.
enum AREA_WORD {
    AREA_W_FORMAT = 1,     // 4 in the writer's byte order
    AREA_W_DATE = 3,       // year * 1000 + day of year
    AREA_W_TIME = 4,       // HHMMSS
    AREA_W_LINE = 5,       // upper-left image line
    AREA_W_ELEM = 6,       // upper-left image element
    AREA_W_NLINES = 8,
    AREA_W_NELEMS = 9,
    AREA_W_BYTES = 10,     // bytes per element
    AREA_W_LRES = 11,
    AREA_W_ERES = 12,
    AREA_W_PREFIX = 14,    // line prefix length in bytes
    AREA_W_BANDS = 18,
    AREA_W_MEMO = 24,      // 8 words of text, never swapped
    AREA_W_DATA = 33,      // byte offset of the data block
    AREA_W_START_SCAN = 47,
    AREA_W_SOURCE = 51,
    AREA_W_CALIB = 52,
};

constexpr int AREA_DIR_WORDS = 64;
constexpr int AREA_NAV_WORDS = 128;
constexpr int AREA_GVAR_WORDS = 640;

// Result of SAT_read_AREA.  Every pointer is owned by the record and
// released with AREA_free.  The navigation block sits in the slot of its type.
struct AREA_REC {
    int32_t *dir;          // 64 words, host order
    char nav_type[5];      // "GOES", "GVAR", "PS", "MOLL", "MSAT", ... or ""
    int32_t *goes;         // 128 words
    int32_t *gvar;         // 640 words
    int32_t *ps;           // PS or MSAT, 128 words
    int32_t *tanc;         // 128 words
    int32_t *proj;         // MOLL, RECT, MERC or LAMB, 128 words
    unsigned char *data;   // nx * ny bytes, first line first
};

void AREA_rec_init(AREA_REC *area);
void AREA_free(AREA_REC *area);   // frees every block; data included unless taken

// -1 failure, anything else success.  The stream is read from its start.
// An image whose data end before its last line is a failure; messages name
// the file as `name` when one is given.
int SAT_read_AREA(FILE *in, AREA_REC *area, const char *name = nullptr);
int SAT_set_bit_shift(int n);

// Byte order.  kind -1 host order (never swap), 0 opposite (always swap),
// 1 big-endian data, 2 little-endian data.  Every routine returns -1 and
// leaves the data alone while the switch is off.
int swap_setup(int kind);
int swap_long(void *p);
int swap_short(void *p);
int swap_double(void *p);
int swap_longs(void *p, int n);
int swap_shorts(void *p, int n);
int fread_long_swap(void *p, FILE *in);
int fread_short_swap(void *p, FILE *in);
int fread_double_swap(void *p, FILE *in);
int fwrite_long_swap(const void *p, FILE *out);
int fwrite_short_swap(const void *p, FILE *out);

// Buffered reader over the stream SAT_read_AREA is reading.
int32_t getword();
int getbyte();             // 0..255, -1 at end of file
int getnib();              // high nibble first, -1 at end of file
int getsync();             // 1 found, 0 not within 1024 bytes, -1 end of file
