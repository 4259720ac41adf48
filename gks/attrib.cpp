// Attribute strings.
#include "gks/attrib.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"
#include "gks/clr.h"
#include "gks/gks.h"

namespace {

// A number at the start of text; false when there is none or it is not
// finite (an absurd or missing number leaves the field as it was).
bool read_float(const char *text, float *out)
{
    char *end = nullptr;
    double v = std::strtod(text, &end);
    if (end == text || !std::isfinite(v) || std::fabs(v) > 1e6) return false;
    *out = (float)v;
    return true;
}

bool read_int(const char *text, int *out)
{
    float v;
    if (!read_float(text, &v)) return false;
    *out = (int)v;
    return true;
}

int decimal(const char *text)
{
    long v = std::strtol(text, nullptr, 10);
    if (v > 1000000) v = 1000000;
    if (v < -1000000) v = -1000000;
    return (int)v;
}

int parse_style(const char *v)
{
    static const char *const names[] = {"sol", "dsh", "lsdsh", "llsdsh", "dot"};
    for (int i = 0; i < 5; ++i)
        if (stricmp(v, names[i]) == 0) return i + 1;
    return decimal(v);
}

int parse_font(const char *v)
{
    if (std::isdigit((unsigned char)v[0])) return decimal(v);
    return gget_font_index(v);
}

// One-letter items, tested after the "xx=" items.
bool one_letter(const char *item, ATTRIB *rec)
{
    char c = (char)std::tolower((unsigned char)item[0]);
    const char *v = item + 1;
    switch (c) {
    case 'e': return read_float(v, &rec->expansion);
    case 'h': return read_float(v, &rec->size);
    case 'w': return read_float(v, &rec->width);
    case 's': return read_int(v, &rec->style);
    case 't': return *v && (rec->font = parse_font(v), true);
    case 'f':
        if (std::strcmp(v, "M") == 0) {
            rec->fill = ATTRIB_UNSET;
            return true;
        }
        return *v && (rec->fill = ATTR_parse_fill_pat(v), true);
    default: return false;
    }
}

bool prefixed(const char *item, const char *key) { return strnicmp(item, key, 3) == 0; }

void parse_item(const char *item, ATTRIB *rec)
{
    const char *v = item + 3;
    if (prefixed(item, "co=")) rec->color = CLR_get_ind(v);
    else if (prefixed(item, "wi=")) read_float(v, &rec->width);
    else if (prefixed(item, "st=")) rec->style = parse_style(v);
    else if (prefixed(item, "fo=")) rec->font = parse_font(v);
    else if (prefixed(item, "fi=") || prefixed(item, "fp=")) rec->fill = ATTR_parse_fill_pat(v);
    else if (prefixed(item, "sc=") || prefixed(item, "hi=")) read_float(v, &rec->size);
    else if (prefixed(item, "te=")) read_float(v, &rec->expansion);
    else one_letter(item, rec);
}

} // namespace

int ATTRIB_parse(const char *text, ATTRIB *rec)
{
    if (!text || !rec) return -1;
    std::vector<std::string> items;
    std::string cur;
    for (const char *p = text;; ++p) {
        if (*p == ':' || *p == '\0') {
            items.push_back(cur);
            cur.clear();
            if (!*p) break;
        } else {
            cur += *p;
        }
    }
    for (size_t k = 0; k < items.size(); ++k) {
        const char *item = items[k].c_str();
        if (!*item) continue;
        if (k == 0 && !std::strchr(item, '=')) {
            // The first item is a colour, unless it is no colour name and
            // reads as a one-letter option ("w2:s3").
            int c = CLR_get_ind(item);
            ATTRIB probe = *rec;
            if (c == -1 && stricmp(item, "none") && stricmp(item, "off") && stricmp(item, "back") &&
                one_letter(item, &probe)) {
                *rec = probe;
            } else {
                rec->color = c;
            }
            continue;
        }
        parse_item(item, rec);
    }
    return 0;
}

int ATTRIB_get(const char *name, const char *def, ATTRIB *rec)
{
    if (!rec) return 0;
    if (def) ATTRIB_parse(def, rec);
    const char *v = name ? RES_get(name) : nullptr;
    if (!v || !*v) return 0;
    ATTRIB_parse(v, rec);
    return 1;
}

int ATTRIB_update(ATTRIB *dst, const ATTRIB *src)
{
    if (!dst || !src) return -1;
    if (src->color != ATTRIB_UNSET) dst->color = src->color;
    if (src->width != (float)ATTRIB_UNSET) dst->width = src->width;
    if (src->size != (float)ATTRIB_UNSET) dst->size = src->size;
    if (src->expansion != (float)ATTRIB_UNSET) dst->expansion = src->expansion;
    if (src->style != ATTRIB_UNSET) dst->style = src->style;
    if (src->fill != ATTRIB_UNSET) dst->fill = src->fill;
    if (src->font != ATTRIB_UNSET) dst->font = src->font;
    return 0;
}

int ATTRIB_print(const ATTRIB *rec)
{
    if (!rec) return -1;
    MESS_print(MESS_OUT1, "Color: %d\n", rec->color);
    MESS_print(MESS_OUT1, "Style: %d\n", rec->style);
    MESS_print(MESS_OUT1, "Height: %5.2f\n", rec->size);
    MESS_print(MESS_OUT1, "Width: %5.2f\n", rec->width);
    MESS_print(MESS_OUT1, "Expansion: %5.2f\n", rec->expansion);
    MESS_print(MESS_OUT1, "Fill: %d\n", rec->fill);
    MESS_print(MESS_OUT1, "Font: %d\n", rec->font);
    return 0;
}

int ATTR_parse_fill_pat(const char *text)
{
    if (!text) return 0;
    // Pattern 6 is written as two backslashes, like "//" for 7; a single
    // backslash is accepted too, since shells and defaults files often
    // swallow one of the pair.
    static const struct { const char *a, *b; int n; } names[] = {
        {"sol", nullptr, 0}, {"st", nullptr, 1}, {"ost", nullptr, 2}, {"rst", nullptr, 3},
        {"lst", nullptr, 4}, {"vln", "||", 5}, {"dlr", "\\\\", 6}, {"drl", "//", 7},
        {"hln", "--", 8},    {"hat", "XX", 9},  {"clr", "0%", 10},
    };
    for (const auto &n : names)
        if (stricmp(text, n.a) == 0 || (n.b && stricmp(text, n.b) == 0)) return n.n;
    if (std::strcmp(text, "\\") == 0) return 6;
    if (text[0] >= '1' && text[0] <= '9' && text[1] == '%' && text[2] == '\0') return 10 + (text[0] - '0');
    return decimal(text);
}

int ATTR_parse_marker(const char *text)
{
    if (!text) return 0;
    static const struct { const char *name; int n; } names[] = {
        {"pnt", 1}, {".", 1}, {"plus", 2}, {"+", 2}, {"star", 3}, {"*", 3},
        {"crcl", 4}, {"circle", 4}, {"o", 4}, {"x", 5}, {"sqr", 6}, {"square", 6}, {"#", 6},
        {"tri", 7}, {"^", 7}, {"itri", 9}, {"v", 9}, {"dot", 8},
    };
    for (const auto &n : names)
        if (strnicmp(text, n.name, (int)std::strlen(n.name)) == 0) return n.n;
    return decimal(text);
}
