// Drawing attributes: the attribute record and its colon-separated text
// syntax ("red:wi=2:st=dsh", "w2:s3", "blue:fi=//").  Every field is -9999
// when not set, meaning "keep the current value".
#pragma once

#include <cstdint>

#include "core/records.h"

int ATTRIB_parse(const char *text, ATTRIB *rec);
// Applies the default string, then the resource when it is set; 1 when the
// resource was found.
int ATTRIB_get(const char *name, const char *def, ATTRIB *rec);
int ATTRIB_update(ATTRIB *dst, const ATTRIB *src);
int ATTRIB_print(const ATTRIB *rec);
int ATTR_parse_fill_pat(const char *text);
int ATTR_parse_marker(const char *text);
