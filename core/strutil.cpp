// Text utilities used by the configuration and file layers.  Everything
// works in place on NUL-terminated text; a null text is accepted everywhere
// and left alone (the tests answer 0 for it, except string_is_blank).

#include "core/util.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

inline int lower(char c)
{
    return tolower(static_cast<unsigned char>(c));
}

inline bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

inline bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// Reads one line of stream into s, keeping at most n characters and
// dropping the rest of a longer line; the line feed is consumed and not
// stored.  Returns the number of characters kept, or EOF when the stream was
// already at its end.
int read_line(FILE *stream, char *s, int n)
{
    if (n < 0)
        n = 0;
    int c = getc(stream);
    if (c == EOF) {
        if (s)
            s[0] = '\0';
        return EOF;
    }
    int len = 0;
    while (c != EOF && c != '\n') {
        if (s && len < n)
            s[len++] = static_cast<char>(c);
        c = getc(stream);
    }
    if (s)
        s[len] = '\0';
    return len;
}

// Copies text into out (ZYR_NUM_SIZE bytes) right-aligned in a field of
// width characters.
char *pad_left(char *out, const char *text, int width)
{
    int len = static_cast<int>(strnlen(text, ZYR_NUM_SIZE - 1));
    int pad = width > len ? width - len : 0;
    if (pad + len > ZYR_NUM_SIZE - 1)
        pad = ZYR_NUM_SIZE - 1 - len;
    memset(out, ' ', static_cast<size_t>(pad));
    memcpy(out + pad, text, static_cast<size_t>(len));
    out[pad + len] = '\0';
    return out;
}

} // namespace

int stricmp(const char *a, const char *b)
{
    if (!a || !b)
        return 1;
    for (;; a++, b++) {
        int ca = lower(*a);
        int cb = lower(*b);
        if (ca != cb)
            return ca - cb;
        if (ca == 0)
            return 0;
    }
}

int strnicmp(const char *a, const char *b, int n)
{
    if (!a || !b)
        return 1;
    if (n < 1)
        n = 1;
    for (int i = 0; i < n; i++) {
        int ca = lower(a[i]);
        int cb = lower(b[i]);
        if (ca != cb)
            return ca - cb;
        if (ca == 0)
            return 0;
    }
    return 0;
}

char *strntcpy(char *dst, const char *src, int n)
{
    if (!dst || n < 1)
        return dst;
    int i = 0;
    if (src) {
        for (; i < n - 1 && src[i]; i++)
            dst[i] = src[i];
    }
    dst[i] = '\0';
    return dst;
}

char *strmcat(char *dst, const char *src, int size)
{
    if (!dst || !src || size < 1)
        return dst;
    int len = 0;
    while (len < size && dst[len])
        len++;
    if (len >= size) // not terminated within the buffer: leave it alone
        return dst;
    for (int i = 0; src[i] && len < size - 1; i++)
        dst[len++] = src[i];
    dst[len] = '\0';
    return dst;
}

// The empty text is found at the very end.
const char *strlstr(const char *s, const char *find)
{
    if (!s || !find)
        return nullptr;
    size_t flen = strlen(find);
    size_t slen = strlen(s);
    if (flen > slen)
        return nullptr;
    for (size_t i = slen - flen + 1; i-- > 0;) {
        if (strncmp(s + i, find, flen) == 0)
            return s + i;
    }
    return nullptr;
}

int searchstr(const char *const *list, int n, const char *s)
{
    if (!list || !s)
        return 0;
    for (int i = 0; i < n; i++) {
        if (list[i] && stricmp(list[i], s) == 0)
            return 1;
    }
    return 0;
}

char *fill_string(char *s, char from, char to)
{
    if (!s)
        return s;
    for (char *p = s; *p; p++) {
        if (*p == from)
            *p = to;
    }
    return s;
}

char *strip_string(char *s, char c)
{
    if (!s)
        return s;
    char *w = s;
    for (const char *r = s; *r; r++) {
        if (*r != c)
            *w++ = *r;
    }
    *w = '\0';
    return s;
}

char *wsstrip_string(char *s)
{
    strip_string(s, '\n');
    return strip_string(s, '\r');
}

char *wstrim_string(char *s)
{
    return trim_string(wsstrip_string(s));
}

// Blanks are spaces and tabs.
char *trim_string(char *s)
{
    if (!s)
        return s;
    size_t len = strlen(s);
    while (len > 0 && is_blank(s[len - 1]))
        len--;
    s[len] = '\0';
    return s;
}

char *trim_cr_string(char *s)
{
    if (!s)
        return s;
    size_t len = strlen(s);
    while (len > 0 && s[len - 1] == '\r')
        len--;
    s[len] = '\0';
    return s;
}

// A run of blanks (leading ones included) becomes one space.
char *strip_spaces(char *s)
{
    if (!trim_string(s))
        return s;
    char *w = s;
    bool in_run = false;
    for (const char *r = s; *r; r++) {
        if (is_blank(*r)) {
            if (!in_run)
                *w++ = ' ';
            in_run = true;
        } else {
            *w++ = *r;
            in_run = false;
        }
    }
    *w = '\0';
    return s;
}

char *strip_escape(char *s)
{
    return strip_string(s, '\\');
}

char *shift_string(char *s, int n)
{
    if (!s || n == 0)
        return s;
    size_t len = strlen(s);
    size_t cut = n > 0 ? static_cast<size_t>(n) : static_cast<size_t>(-static_cast<long>(n));
    if (cut >= len) {
        s[0] = '\0';
    } else if (n > 0) {
        s[len - cut] = '\0';
    } else {
        memmove(s, s + cut, len - cut + 1);
    }
    return s;
}

char *up_string(char *s)
{
    if (!s)
        return s;
    for (char *p = s; *p; p++) {
        if (*p >= 'a' && *p <= 'z')
            *p = static_cast<char>(*p - 'a' + 'A');
    }
    return s;
}

char *low_string(char *s)
{
    if (!s)
        return s;
    for (char *p = s; *p; p++) {
        if (*p >= 'A' && *p <= 'Z')
            *p = static_cast<char>(*p - 'A' + 'a');
    }
    return s;
}

// Only "." or an upper-case "E" mark a float, as the callers' keyword
// tables expect.
int string_is_float(const char *s)
{
    if (!s)
        return 0;
    return strchr(s, '.') != nullptr || strchr(s, 'E') != nullptr;
}

// The empty text holds no letters and is not alphabetic.
int string_is_alpha(const char *s)
{
    if (!s || !*s)
        return 0;
    for (; *s; s++) {
        if (!isalpha(static_cast<unsigned char>(*s)))
            return 0;
    }
    return 1;
}

int string_is_num(const char *s)
{
    if (!s)
        return 0;
    if (*s == '-')
        s++;
    if (!*s)
        return 0;
    for (; *s; s++) {
        if (!is_digit(*s))
            return 0;
    }
    return 1;
}

// A text shorter than n fails; n below 1 asks for nothing and fails too.
int string_is_num_len(const char *s, int n)
{
    if (!s || n < 1)
        return 0;
    for (int i = 0; i < n; i++) {
        if (!is_digit(s[i]))
            return 0;
    }
    return 1;
}

int string_is_blank(const char *s)
{
    if (!s)
        return 1;
    for (; *s; s++) {
        if (static_cast<unsigned char>(*s) > ' ')
            return 0;
    }
    return 1;
}

char *create_string(const char *s)
{
    if (!s)
        return nullptr;
    size_t len = strlen(s);
    char *copy = static_cast<char *>(malloc(len + 1));
    if (copy)
        memcpy(copy, s, len + 1);
    return copy;
}

// Null parts count as empty.
char *create_strcat(const char *a, const char *b, const char *c)
{
    const char *parts[3] = {a ? a : "", b ? b : "", c ? c : ""};
    size_t lens[3];
    size_t total = 0;
    for (int i = 0; i < 3; i++) {
        lens[i] = strlen(parts[i]);
        total += lens[i];
    }
    char *out = static_cast<char *>(malloc(total + 1));
    if (!out)
        return nullptr;
    char *w = out;
    for (int i = 0; i < 3; i++) {
        memcpy(w, parts[i], lens[i]);
        w += lens[i];
    }
    *w = '\0';
    return out;
}

// Trailing characters that are not printable ASCII (controls, DEL and bytes
// above 127) are cut; in what is left, bytes outside 32..127 become blanks.
char *clean_line(char *s)
{
    if (!s)
        return s;
    size_t len = strlen(s);
    while (len > 0) {
        unsigned char c = static_cast<unsigned char>(s[len - 1]);
        if (c >= 32 && c < 127)
            break;
        len--;
    }
    s[len] = '\0';
    for (size_t i = 0; i < len; i++) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 32 || c > 127)
            s[i] = ' ';
    }
    return s;
}

// The format "W.D.X" gives the field width W (0: no padding), the minimum
// number of decimals D and the maximum number of decimals X (6 when not
// given).  The precision is what shows three significant digits of the
// value, kept between D and X; zeros beyond the D decimals are dropped, so
// 2.5 prints as "2.5" and 123.4 as "123".  Values below 1e-5 in size print as
// 0 with D decimals.  The result, padded to W on the left, fits
// ZYR_NUM_SIZE bytes (W is capped to fit); with a null out a buffer of that
// size is allocated.
char *set_num(char *out, const char *format, float value)
{
    int width = 0, min_dec = 0, max_dec = 6;
    if (format) {
        int w = 0, d = 0, x = 0;
        int got = sscanf(format, "%d.%d.%d", &w, &d, &x);
        if (got >= 1)
            width = w;
        if (got >= 2)
            min_dec = d;
        if (got >= 3)
            max_dec = x;
    }
    if (width < 0)
        width = 0;
    if (width > ZYR_NUM_SIZE - 1)
        width = ZYR_NUM_SIZE - 1;
    if (min_dec < 0)
        min_dec = 0;
    if (min_dec > 9)
        min_dec = 9;
    if (max_dec > 9)
        max_dec = 9;
    if (max_dec < min_dec)
        max_dec = min_dec;

    if (!out) {
        out = static_cast<char *>(malloc(ZYR_NUM_SIZE));
        if (!out)
            return nullptr;
    }

    double v = value;
    int dec = min_dec;
    char text[ZYR_NUM_SIZE];
    if (std::isfinite(v) && std::fabs(v) < 1.0e-5) {
        v = 0.0;
    } else if (std::isfinite(v) && std::fabs(v) >= 1.0e15) {
        // Too long for fixed notation within the buffer.
        snprintf(text, sizeof text, "%.3g", v);
        return pad_left(out, text, width);
    } else if (std::isfinite(v)) {
        int mag = static_cast<int>(std::floor(std::log10(std::fabs(v))));
        dec = 2 - mag;
        if (dec < min_dec)
            dec = min_dec;
        if (dec > max_dec)
            dec = max_dec;
    }
    snprintf(text, sizeof text, "%.*f", dec, v);
    // Drop zeros past the minimum decimals, and the point when none remain.
    char *point = strchr(text, '.');
    if (point && dec > min_dec) {
        char *end = text + strlen(text);
        char *keep = point + min_dec; // last character that must stay
        while (end - 1 > keep && end[-1] == '0')
            *--end = '\0';
        if (end - 1 == point)
            *point = '\0';
    }
    return pad_left(out, text, width);
}

// s must hold 161 bytes.
int fgetline(FILE *stream, char *s)
{
    if (!stream)
        return EOF;
    return read_line(stream, s, 160);
}

// 0 after a line feed, EOF when the stream ended first.
int fskipline(FILE *stream)
{
    if (!stream)
        return EOF;
    int c;
    while ((c = getc(stream)) != EOF) {
        if (c == '\n')
            return 0;
    }
    return EOF;
}

// The line reader family takes a buffer of n + 1 bytes and drops the part of
// a longer line beyond n characters.  fgetstring answers 1 for a line (an
// empty one included) and EOF at the end of the stream.
int fgetstring(FILE *stream, char *s, int n)
{
    if (!stream)
        return EOF;
    int len = read_line(stream, s, n);
    return len == EOF ? EOF : 1;
}

int fgetnline(FILE *stream, char *s, int n)
{
    if (!stream)
        return EOF;
    return read_line(stream, s, n);
}

// Returns the length of the cleaned text, or EOF.
int fget_rawstring(FILE *stream, char *s, int n)
{
    if (!stream)
        return EOF;
    if (read_line(stream, s, n) == EOF)
        return EOF;
    if (!s)
        return 0;
    strip_string(s, '\r');
    for (char *p = s; *p; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 32 || c == 127)
            *p = ' ';
    }
    return static_cast<int>(strlen(s));
}
