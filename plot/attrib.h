// Drawing attributes: the attribute record and its colon-separated text
// syntax ("red:wi=2:st=dsh", "w2:s3", "blue:fi=//").  Every field is -9999
// when not set, meaning "keep the current value".
#pragma once

#include <cstdint>

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
int ATTRIB_parse(const char *text, ATTRIB *rec);
// Applies the default string, then the resource when it is set; 1 when the
// resource was found.
int ATTRIB_get(const char *name, const char *def, ATTRIB *rec);
int ATTRIB_update(ATTRIB *dst, const ATTRIB *src);
int ATTRIB_print(const ATTRIB *rec);
int ATTR_parse_fill_pat(const char *text);
int ATTR_parse_marker(const char *text);
