// The plain records every layer shares, copied by value between modules:
// the date, the domain, the image, drawing attributes and colour table
// entries, with the functions that give each its empty state.  The
// operations on them live with the layer that owns them (dates in files/,
// domains in map/, images in image/, attributes and colours in gks/).
#pragma once

#include <cstdint>

// ---- date ----
// Eight signed 32-bit fields, copied by value.  -9999 marks a missing field.
struct DATE {
    int32_t year;
    int32_t month;
    int32_t day;
    int32_t julian;   // day of the year, 1..366
    int32_t weekday;  // 0 = Sunday
    int32_t hour;
    int32_t minute;
    int32_t second;
};
static_assert(sizeof(DATE) == 32);

// Every field missing.
void DATE_init(DATE *date);

// ---- domain ----
// Missing value of every domain field.
constexpr int DOM_MISSING = -9999;

// Projection codes.
enum {
    DOM_PSTEREO = 1,
    DOM_LATLON = 2,
    DOM_MERC = 3,
    DOM_LAMB = 4,
    DOM_ORTHO = 5,
    DOM_GNOM = 6,
    DOM_MOLL = 7,
    DOM_LAMBAZ = 8,
    DOM_SAT = 9,
    DOM_XY = 20,
    DOM_XZ = 21,
    DOM_XLOGP = 22,
    DOM_POLAR = 23,
    DOM_CAT = 24,
    DOM_XP = 25,
    DOM_SKEWT = 40,
    DOM_STUVE = 41,
    DOM_EMA = 42,
    DOM_TEPH = 43,
    DOM_RTEPH = 44,
    DOM_ZOOM = 50,
    DOM_SIZE = 51,
    DOM_PIXEL = 99,
};

// The domain record: plain data, copied by value.  Every field is -9999
// when unset, except `ellipsoid` (0).
struct DOM {
    int32_t proj;     // projection code
    float plat;       // projection latitude (-9999: use clat)
    float plon;       // projection longitude / central meridian (-9999: use clon)
    float parm[5];    // projection parameters (true latitudes, satellite radius, ...)
    float clat;       // centre latitude
    float clon;       // centre longitude
    float dx;         // grid spacing in x, projection units (100 km or degrees)
    float dy;         // grid spacing in y
    int32_t nx;       // grid points in x
    int32_t ny;       // grid points in y
    int32_t ellipsoid; // 1: the satellite projection treats the earth as an ellipsoid
};

int DOM_init(DOM *dom);

// ---- image ----
// Input types that produce an image (the same codes as the input-type flag).
constexpr int IMG_SRC_ZYR = 50;
constexpr int IMG_SRC_AREA = 51;
constexpr int IMG_SRC_AWIP = 53;
// Input type only: AWIPS products, zlib-compressed; their images carry
// IMG_SRC_AWIP.
constexpr int IMG_SRC_AWIPZ = 54;
constexpr int IMG_SRC_UNISYS = 55;
constexpr int IMG_SRC_TIFF = 59;
constexpr int IMG_SRC_LRIT = 60;
// GOES-R fixed-grid netCDF (ABI and GLM products).
constexpr int IMG_SRC_ABI = 61;

// Plain record, fields in file order of the program's data model.  The
// pixels are rows from the top; `data` and `cmap` are owned by the record.
struct IMG {
    int32_t source;        // input type that produced the image, 0 when unset
    int32_t type;
    int32_t version;
    char date_label[52];   // at most 51 characters
    DATE date;
    char info[76];         // at most 75 characters
    int32_t nx;
    int32_t ny;
    int32_t depth;         // bits of value per pixel (8 for satellite data)
    float res_x, res_y;    // sensor resolution, element and line direction
    float off_x, off_y;    // full-frame position of the first element and line
    int32_t bits_pixel;    // storage bits per pixel: 8, 16, 24, 32; 0 plain bytes
    int32_t bytes_line;
    int32_t byte_order;    // 1 most significant byte first, 0 least first
    int32_t indexed;       // 1 values index the colour table, 0 true colour
    int32_t ncolors;
    uint32_t red_mask, green_mask, blue_mask;
    float *cmap;           // ncolors (r, g, b) triples in 0..1, or null
    int32_t transparent;   // index of the transparent colour, -1 none
    DOM domain;            // proj -9999 when the image has no map domain
    unsigned char *data;   // bytes_line * ny bytes, or null
    // What the 8-bit counts stand for, set by readers of calibrated data so
    // that the program can colour the picture and label its bar in physical
    // units (the reader does not build labels).  Not kept in ZYRIMG files.
    int32_t value_kind;    // IMG_VALUE_NONE, _TEMPERATURE, _REFLECTANCE or _LINEAR
    float value_offset;    // _REFLECTANCE and _LINEAR: value = value_offset +
    float value_scale;     //   value_scale * count, for counts 1..255
    char value_units[24];  // units of the values ("K", "mm h-1", "1"), or ""
    char value_name[32];   // variable, band or product name ("Rad C13", "RRQPE"), or ""
    char platform[16];     // platform that took the image ("G16"), or ""
};

// The count every reader gives a pixel without a value (fill, out of the
// valid range, beyond the image): off-image pixels of a remapped picture and
// lines missing from a file read 0 as well.  Readers that set a value kind
// keep it for missing pixels alone.
constexpr int IMG_COUNT_MISSING = 0;

// Kinds of value the counts stand for.
enum {
    IMG_VALUE_NONE = 0,         // plain counts
    IMG_VALUE_TEMPERATURE = 1,  // brightness temperature on the program's
                                // infrared count<->temperature scale, the one
                                // of the AREA source (SAT_ir_ind, SAT_ind_ir);
                                // the program reads the image through it
    IMG_VALUE_REFLECTANCE = 2,  // reflectance factor, linear as for _LINEAR
    IMG_VALUE_LINEAR = 3,       // any quantity, linear in the count
};

int IMG_init(IMG *image);
int IMG_free(IMG *image);
// Copies every field and gives the destination its own pixel buffer.  The
// colour table pointer is shared, not duplicated: free it through one record.
int IMG_copy(IMG *dest, const IMG *src);

// ---- drawing attributes ----
// Every field is -9999 when not set, meaning "keep the current value".
constexpr int ATTRIB_UNSET = -9999;

struct ATTRIB {
    int32_t color;    // colour index (colour table), -1 background, 500..508 special
    float width;      // line width
    float size;       // character height or marker size factor
    float expansion;  // character expansion
    int32_t style;    // line type or marker type
    int32_t fill;     // fill pattern: 0 solid, 1..19 patterns
    int32_t font;     // font index
};

int ATTRIB_init(ATTRIB *rec);

// ---- colour table entries ----
constexpr int CLR_MAX_COLORS = 256;
constexpr int CLR_NAME_SIZE = 20;  // 19 characters and the terminator

// Device-independent codes that CLR_get_ind returns for the "p..." words;
// the graphics kernel turns them into black, white or grey at three widths.
enum {
    CLR_PBLK = 500, CLR_PBBLK, CLR_PTBLK, CLR_PWHT, CLR_PBWHT, CLR_PTWHT,
    CLR_PGRY, CLR_PBGRY, CLR_PTGRY,
};

struct CLR_ENTRY {
    char name[CLR_NAME_SIZE];
    float red, green, blue;
};
