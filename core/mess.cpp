// The levelled message output.  A message goes out when its class mask
// meets the configured level: to a log copy, to a message file, and (unless
// the output mode is "file only") to the terminal, errors and warnings to
// standard error.
#include "core/flags.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/hooks.h"
#include "core/res.h"
#include "core/util.h"

namespace {

uint32_t mess_level = MESS_DEFAULT_LEVEL;
int mess_set = 0;     // how often the level was set explicitly
int mess_out = 1;     // 0 file only, 1 terminal (+file), -1 terminal + time-stamped file, 2 terminal + named file per message
int page = 1;         // 0 never pause, 1 only on MESS_hold, 2 also after max_lines
int max_lines = 22;
int lines = 0;
FILE *pfile = nullptr; // message file ("fi" items)
FILE *ofile = nullptr; // log copy (MESS_file)
std::string dfile;     // file opened for every message in mode 2

constexpr uint32_t ERROR_WARN_BITS = 0xF0;

// The level that a mask names on its own: its highest bit and every bit
// below it.
uint32_t fill_down(uint32_t bits)
{
    if (bits == 0) return 0;
    int top = 31;
    while (!(bits & (1u << top))) --top;
    return top == 31 ? 0xFFFFFFFFu : ((1u << (top + 1)) - 1);
}

void close_pfile()
{
    if (pfile) std::fclose(pfile);
    pfile = nullptr;
}

void open_pfile(const char *name, const char *mode, int out_mode)
{
    close_pfile();
    pfile = std::fopen(name, mode);
    mess_out = out_mode;
}

// Text of an item from a fixed character position on ("" when shorter).
const char *from(const char *item, size_t pos) { return std::strlen(item) >= pos ? item + pos : ""; }

bool begins(const char *s, const char *prefix) { return strnicmp(s, prefix, (int)std::strlen(prefix)) == 0; }

uint32_t class_mask(const char *item)
{
    struct Class { const char *name; int len; uint32_t mask; };
    static const Class classes[] = {
        {"print", 5, MESS_PRINT}, {"error", 5, MESS_ERROR}, {"debug", 5, MESS_DEBUG},
        {"warn", 4, MESS_WARN},   {"mess", 4, MESS_MESS},   {"out1", 4, MESS_OUT1},
        {"out2", 4, MESS_OUT2},   {"out3", 4, MESS_OUT3},   {"out4", 4, MESS_OUT4},
    };
    for (const Class &c : classes)
        if ((int)std::strlen(item) >= c.len && strnicmp(item, c.name, c.len) == 0) return c.mask;
    return 0;
}

void level_item(const char *item)
{
    char sign = 0;
    if (*item == '+' || *item == '-') sign = *item++;
    uint32_t mask = class_mask(item);
    size_t n = std::strlen(item);
    if (n > 0) {
        static const uint32_t sub[] = {0x11111111u, 0x22222222u, 0x44444444u, 0x88888888u};
        char last = item[n - 1];
        if (last >= 'a' && last <= 'd') mask &= sub[last - 'a'];
        else if (last >= 'A' && last <= 'D') mask &= sub[last - 'A'];
    }
    if (sign == '+') mess_level |= mask;
    else if (sign == '-') mess_level &= ~mask;
    else mess_level = fill_down(mask);
}

void write_file_copy(FILE *fp, const char *text)
{
    std::fputs(text, fp);
    std::fflush(fp);
}

} // namespace

int MESS_print(uint32_t mask, const char *format, ...)
{
    if (!(mask & mess_level) || !format) return 0;

    char small[1024];
    std::string big;
    const char *text = small;
    va_list ap;
    va_start(ap, format);
    va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(small, sizeof small, format, ap);
    va_end(ap);
    if (n < 0) {
        va_end(ap2);
        return 0;
    }
    if ((size_t)n >= sizeof small) {
        big.resize((size_t)n + 1);
        std::vsnprintf(big.data(), big.size(), format, ap2);
        text = big.c_str();
    }
    va_end(ap2);

    if (ofile) write_file_copy(ofile, text);

    if (mess_out == 2) {
        if (FILE *fp = dfile.empty() ? nullptr : std::fopen(dfile.c_str(), "a")) {
            std::fputs(text, fp);
            std::fclose(fp);
        }
    } else if (pfile) {
        if (mess_out == -1) {
            char stamp[64] = "";
            if (HOOK_table().current_time_text) HOOK_table().current_time_text(stamp);
            std::fputs(stamp, pfile);
            std::fputs(" -- ", pfile);
        }
        write_file_copy(pfile, text);
    }

    if (mess_out == 0) return 1;

    if (mask & ERROR_WARN_BITS) {
        std::fflush(stdout);
        std::fputs(text, stderr);
    } else {
        std::fputs(text, stdout);
    }

    if (page == 2) {
        for (const char *p = format; *p; ++p)
            if (*p == '\n') ++lines;
        if (lines > max_lines) MESS_hold(mask, "Press return to continue\n");
    }
    return 1;
}

int MESS_check(uint32_t mask) { return (mask & mess_level) != 0; }
uint32_t MESS_get() { return mess_level; }
int MESS_check_set() { return mess_set; }

int MESS_set(int code, uint32_t bits)
{
    if (code < -1 || code > 21) return 0;
    if (code >= 16 && mess_set > 0) return 0; // a program default never overrides the user
    if (code < 5) ++mess_set;
    switch (code) {
    case 0: case 10: case 20: mess_level = fill_down(bits); break;
    case 1: case 11: case 21: mess_level |= bits; break;
    case -1: case 9: case 19: mess_level &= ~bits; break;
    default: break;
    }
    return 0;
}

int MESS_set_str(const char *text)
{
    ++mess_set;
    if (!text) return 0;
    int count = 0;
    char **items = nullptr;
    if (parse_string(text, ',', &count, &items) != 0) return 0;
    for (int i = 0; i < count; ++i) {
        const char *item = items[i];
        if (begins(item, "@fi")) open_pfile(from(item, 4), "a", -1);
        else if (begins(item, "+fi")) open_pfile(from(item, 4), "a", 1);
        else if (begins(item, "-fi")) open_pfile(from(item, 4), "w", 1);
        else if (begins(item, "dfi")) {
            close_pfile();
            dfile = from(item, 4);
            mess_out = 2;
        } else if (begins(item, "fi")) open_pfile(from(item, 3), "a", 0);
        else if (stricmp(item, "nopage") == 0) page = 0;
        else if (stricmp(item, "page") == 0) page = 2;
        else if (begins(item, "line")) {
            max_lines = std::atoi(from(item, 5));
            if (max_lines < 1) max_lines = 22;
        } else level_item(item);
    }
    free_parsed_array(count, items);
    return 0;
}

int MESS_file(const char *name, const char *mode)
{
    MESS_file_close();
    if (!name) return -1;
    ofile = std::fopen(name, mode && *mode ? mode : "a");
    return ofile ? 0 : -1;
}

void MESS_file_close()
{
    if (ofile) std::fclose(ofile);
    ofile = nullptr;
}

void MESS_set_out(int mode) { mess_out = mode; }
void MESS_set_page(int mode) { page = mode; }
int MESS_get_max_lines() { return max_lines; }

int MESS_hold(uint32_t mask, const char *text)
{
    if (!(mask & mess_level) || mess_out == 0 || FLAG_batch() || page == 0) return 0;
    FILE *to = ((mask & MESS_ERROR) && (mask & MESS_WARN)) ? stderr : stdout;
    if (text) std::fputs(text, to);
    std::fflush(to);
    // The paging pause waits for a key on the terminal: the one read of
    // standard input this layer does, as the pause is that interaction.
    std::getchar();
    lines = 0;
    return 1;
}

int MESS_print_prog(const char *title)
{
    return MESS_print(MESS_MESS, "      %s (Ver %s)\n\n", title ? title : "", ZYR_version());
}

void MESS_reset()
{
    mess_level = MESS_DEFAULT_LEVEL;
    mess_set = 0;
    mess_out = 1;
    page = 1;
    max_lines = 22;
    lines = 0;
    close_pfile();
    MESS_file_close();
    dfile.clear();
}
