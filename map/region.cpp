// Named regions: the built-in table, the region file and its menu, the
// interactive region choice, the resource-driven region look-ups and the
// station look-up behind "id:" domains.
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"
#include "files/file.h"
#include "map/dom.h"
#include "map/dom_internal.h"

namespace {

struct Builtin {
    const char *name;
    const char *label;
    float clat, clon, d;
};

constexpr Builtin builtins[] = {
    {"us", "Contiguous US", 39, -97, 2.3f},   {"ne", "New England", 42, -76, 0.9f},
    {"at", "Atlantic", 37, -82, 0.9f},        {"se", "Southeastern", 31, -88, 1.1f},
    {"mw", "Midwestern", 43, -93, 1.1f},      {"sp", "Southern Plains", 32.5f, -100, 1.2f},
    {"nw", "Northwestern", 44, -112, 1.0f},   {"sw", "Southwestern", 37, -112, 1.0f},
    {"var", "Variable", DOM_MISSING, DOM_MISSING, 1.2f},
};

// Region file lines are read up to this many characters; the rest of a
// longer line is skipped.
constexpr size_t REG_LINE = 500;

// Menu keys are kept up to 15 characters rather than 5, so that a region
// file's longer abbreviations still decode when chosen from the menu;
// labels are cut to 20 characters.
constexpr int MENU_SIZE = 23;
constexpr int MENU_LOAD_MAX = 19;
// Entry 0's label is longer than the 20 characters a region file's label
// keeps, so the field has room for it.
constexpr size_t LABEL_MAX = 20;
struct MenuEntry {
    char label[24];
    char key[16];
    int num;
    int shown;
};

MenuEntry menu[MENU_SIZE];
int num_regs = 0;
bool menu_ready = false;   // built-in entries placed
bool menu_loaded = false;  // a region file has been loaded
bool prompt_on = true;

void copy_text(char *dst, size_t size, const char *src)
{
    if (size == 0) return;
    const char *s = src ? src : "";
    const size_t n = std::min(std::strlen(s), size - 1);
    std::memcpy(dst, s, n);
    dst[n] = '\0';
}

void init_menu()
{
    if (menu_ready) return;
    menu_ready = true;
    std::memset(menu, 0, sizeof menu);
    copy_text(menu[0].label, sizeof menu[0].label, "Return to previous menu");
    copy_text(menu[0].key, sizeof menu[0].key, "back");
    menu[0].shown = 1;
    int i = 1;
    for (const Builtin &b : builtins) {
        copy_text(menu[i].label, sizeof menu[i].label, b.label);
        copy_text(menu[i].key, sizeof menu[i].key, b.name);
        menu[i].num = i;
        menu[i].shown = 1;
        ++i;
    }
    num_regs = i;
}

// Reads one line of at most REG_LINE characters; the remainder of a longer
// line is read over.  False at end of file.
bool read_line(FILE *fp, std::string *line)
{
    line->clear();
    int c;
    bool any = false;
    while ((c = std::fgetc(fp)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (line->size() < REG_LINE) line->push_back((char)c);
    }
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return any;
}

}  // namespace

// Only regular files are read: a name like /dev/zero would never end a line.
FILE *DOM_open_regular(const std::string &path, const char *mode)
{
    FILE *fp = std::fopen(path.c_str(), mode);
    struct stat st;
    if (fp && (::fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode))) {
        std::fclose(fp);
        fp = nullptr;
    }
    return fp;
}

namespace {

FILE *open_regular(const std::string &path) { return DOM_open_regular(path, "r"); }

FILE *open_region_file(const char *file)
{
    std::string path = DOM_find_file(file);
    FILE *fp = open_regular(path);
    if (!fp) MESS_print(0x80000000, "Unable to open region file: %s\n", path.c_str());
    return fp;
}

bool exists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string DOM_find_file(const char *name)
{
    if (!name) return {};
    char joined[FILE_NAME_SIZE], path[FILE_NAME_SIZE];
    FILE_add_path(RES_get("file_path"), name, joined);
    FILE_expand(joined, path);
    if (FILE_fullpath(name) || exists(path)) return path;
    // Not under file_path: the program's bundled data folder.
    std::string bundled = std::string(FILE_data_dir()) + "/" + name;
    return exists(bundled) ? bundled : path;
}

void DOM_set_file_key(const char *text) { FILE_set_key('r', text); }

bool DOM_builtin_region(const char *name, DOM *dom)
{
    for (const Builtin &b : builtins) {
        if (stricmp(name, b.name) != 0) continue;
        DOM_init(dom);
        dom->proj = DOM_PSTEREO;
        dom->nx = 25;
        dom->ny = 17;
        dom->dx = dom->dy = b.d;
        if (b.clat == DOM_MISSING) {
            dom->clat = ZYR_promptf("Enter the central latitude: ");
            if (!ZYR_exit_requested()) dom->clon = ZYR_promptf("Enter the central longitude: ");
        } else {
            dom->clat = b.clat;
            dom->clon = b.clon;
        }
        dom->plon = dom->clon;
        return true;
    }
    return false;
}

bool DOM_search_region(const char *file, const char *name, std::string *out)
{
    FILE *fp = open_region_file(file);
    if (!fp) return false;
    std::string line;
    bool found = false;
    char abbr[REG_LINE + 1], dom[REG_LINE + 1];
    while (read_line(fp, &line)) {
        if (line[0] == '#') continue;
        int n = std::sscanf(line.c_str(), "%500s %*s %*d %500s", abbr, dom);
        if (n < 1) break;  // a blank line ends the file
        const char *domain = n == 1 ? abbr : dom;
        if (!name || stricmp(abbr, name) == 0) {
            *out = domain;
            found = true;
            break;
        }
    }
    std::fclose(fp);
    return found;
}

int DOM_search_file(const char *file, const char *name, char *out, int out_size)
{
    std::string s;
    if (!DOM_search_region(file ? file : "zyr.reg", name, &s)) return 0;
    if (out && out_size > 0) copy_text(out, (size_t)out_size, s.c_str());
    return 1;
}

int DOM_read_menu(const char *file)
{
    init_menu();
    FILE *fp = open_region_file(file ? file : "zyr.reg");
    if (!fp) return 0;
    if (!menu_loaded) {
        for (int i = 1; i <= MENU_LOAD_MAX; ++i) menu[i] = MenuEntry{};
        menu_loaded = true;
    }
    std::string line;
    int i = 1;
    char key[REG_LINE + 1], label[REG_LINE + 1];
    while (i <= MENU_LOAD_MAX && read_line(fp, &line)) {
        if (line[0] == '#') continue;
        int shown = 0;
        if (std::sscanf(line.c_str(), "%500s %500s %d", key, label, &shown) != 3 || shown == 0) continue;
        MenuEntry &e = menu[i];
        copy_text(e.key, sizeof e.key, key);
        copy_text(e.label, LABEL_MAX + 1, label);
        for (char &c : e.label)
            if (c == '_') c = ' ';
        e.num = i;
        e.shown = shown;
        ++i;
    }
    std::fclose(fp);
    num_regs = i;
    menu[i].label[0] = '\0';
    menu[i].key[0] = '\0';
    return num_regs;
}

int DOM_print_file(const char *file)
{
    FILE *fp = open_region_file(file ? file : "zyr.reg");
    if (!fp) return 0;
    MESS_print(MESS_PRINT, " Abbr    Description\n");
    std::string line;
    char abbr[REG_LINE + 1], label[REG_LINE + 1];
    while (read_line(fp, &line)) {
        if (line[0] == '#') continue;
        if (std::sscanf(line.c_str(), "%500s %500s", abbr, label) == 2)
            MESS_print(MESS_PRINT, "%-8s %-50s\n", abbr, label);
    }
    std::fclose(fp);
    return 1;
}

const char *DOM_get_region_name(int i)
{
    init_menu();
    if (i < 0 || i >= MENU_SIZE) return nullptr;
    return menu[i].label;
}

const char *DOM_get_region_key(int i)
{
    init_menu();
    if (i < 0 || i >= num_regs) return nullptr;
    return menu[i].key;
}

int DOM_set_prompt_region(int on) { return prompt_on = on != 0; }

int DOM_get_region(DOM *dom, int mode)
{
    const char *v = RES_get("region");
    if (mode == 1 || mode == 3 || mode == 4) {
        const char *pd = RES_get("plot_domain");
        if (pd) v = pd;
        if (!v) {
            if (mode != 4) return 0;
            if (!menu_loaded) DOM_read_menu("zyr.reg");
            return DOM_decode(menu[1].key, dom);
        }
    }
    if (!v) return 0;
    return DOM_decode(v, dom);
}

int DOM_get_grid_domain(DOM *dom)
{
    for (const char *name : {"grid_domain", "region", "plot_domain"}) {
        const char *v = RES_get(name);
        if (v) return DOM_decode(v, dom);
    }
    return 0;
}

namespace {

// The suite's menu service as a plain numbered terminal menu: lists the
// shown entries, reads an answer and turns it into a key.  A number picks
// that entry; entry 0 or "back" leaves (0); "q", "quit" or "exit" quits
// (-1), as does the end of input; any other answer is taken as typed (a key
// or a domain string).
int menu_choose(const char *title, const char *prompt, std::string *answer)
{
    MESS_print(MESS_PRINT, "%s", title);
    for (int i = 0; i < MENU_SIZE && (i == 0 || menu[i].label[0]); ++i)
        MESS_print(MESS_PRINT, "  %2d  %-20s  %s\n", i, menu[i].label, menu[i].key);
    char line[80];
    if (!ZYR_prompts(prompt, line, 80)) return -1;
    std::string a = line;
    if (a == "q" || a == "quit" || a == "exit") return -1;
    if (stricmp(a.c_str(), "back") == 0) return 0;
    if (!a.empty() && std::all_of(a.begin(), a.end(), [](char c) { return std::isdigit((unsigned char)c); })) {
        int n = std::atoi(a.c_str());
        if (n == 0) return 0;
        if (n < num_regs && menu[n].label[0]) a = menu[n].key;
    }
    *answer = a;
    return 1;
}

// A set domain that does not decode ends the program with status 43.
int decode_or_end(const char *text, DOM *dom, uint32_t mask)
{
    int r = DOM_decode(text, dom);
    if (r == -1 && !ZYR_exit_requested()) {
        MESS_print(mask, "Invalid domain\n");
        ZYR_request_exit(43);
    }
    return r;
}

}  // namespace

int DOM_prompt_region(DOM *dom, int mode)
{
    if (!prompt_on) return 0;
    if (mode == 1) {
        const char *v = RES_get("plot_domain");
        if (!v) v = RES_get("region");
        if (v) {
            int r = decode_or_end(v, dom, MESS_ERROR);
            prompt_on = false;
            return r;
        }
    }
    init_menu();
    if (!menu_loaded) DOM_read_menu("zyr.reg");
    if (FLAG_batch()) return decode_or_end(menu[1].key, dom, MESS_ERROR);

    for (int tries = 0; tries < 5; ++tries) {
        std::string answer;
        int m = menu_choose("\n        Region Menu\n", "Enter the region: ", &answer);
        if (m == -1) {
            ZYR_request_exit(0);
            return -1;
        }
        if (m == 0) return 0;
        if (stricmp(answer.c_str(), "list") == 0) {
            DOM_print_file("zyr.reg");
            continue;
        }
        int r = DOM_decode(answer.c_str(), dom);
        if (ZYR_exit_requested()) return -1;
        if (r == -1) {
            MESS_print(MESS_WARN, "Invalid domain\n");
            continue;
        }
        return r;
    }
    return -1;
}

int CTY_get_loc(const char *file, const char *station, float *lat, float *lon)
{
    if (!station) return 0;
    const char *name = RES_get("city_file");
    if (name && stricmp(name, "none") == 0) return 0;
    if (!name) name = (file && *file) ? file : "sao.cty";
    std::string path = DOM_find_file(name);
    FILE *fp = open_regular(path);
    if (!fp) {
        MESS_print(MESS_WARN, "CTY_open_file: Database file not found: %s\n", path.c_str());
        return 0;
    }
    MESS_print(MESS_MESS, "Searching the city database file for: %s ...\n", station);
    std::string line;
    int found = 0;
    while (read_line(fp, &line)) {
        char cname[21], c1[3], c2[3], id[10], prio[32];
        float la = 0, lo = 0, elev = 0;
        int wmo = -1, extra = 0;
        int n = std::sscanf(line.c_str(), "%20s %2s %2s %9s %31s %f %f %f %d %d", cname, c1, c2, id, prio, &la, &lo,
                            &elev, &wmo, &extra);
        if (n < 7) continue;
        bool match = stricmp(id, station) == 0 || stricmp(cname, station) == 0;
        if (!match && n >= 9 && wmo >= 0) {
            char w[16];
            std::snprintf(w, sizeof w, "%05d", wmo);
            match = std::strcmp(w, station) == 0;
        }
        if (match) {
            *lat = la;
            *lon = lo;
            found = 1;
            break;
        }
    }
    std::fclose(fp);
    return found;
}

void DOM_reset_region_menu()
{
    for (MenuEntry &m : menu) m = MenuEntry{};
    num_regs = 0;
    menu_ready = false;
    menu_loaded = false;
    prompt_on = true;
}
