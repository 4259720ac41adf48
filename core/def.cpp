// Defaults files: "name value" lines addressed to programs and resources by
// star keys, with DEF/UNDEF/IF/ELIF/ELSE/END directives driven by tags.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/flags.h"
#include "core/res.h"

namespace {

constexpr size_t MAX_TAGS = 10;

std::string prog;   // program name the keys are matched against
std::string title;  // program title from the "name" option; "+t" means prog.t
std::vector<std::string> tags;

// One IF block of the file being read.
struct Block {
    bool outer;  // the enclosing text applies
    bool taken;  // a branch of this block has applied already
    bool active; // the current branch applies
};
std::vector<Block> blocks;

bool applies() { return blocks.empty() || blocks.back().active; }

// The name a resource has in defaults files: program (or title) and
// resource name joined by a dot.
std::string full_name(const char *resource)
{
    if (title.empty()) return prog + "." + resource;
    if (title[0] == '+') return prog + "." + title.substr(1) + "." + resource;
    return title + "." + resource;
}

// Matches a key against a full name.  A '*' stands for any run of
// characters up to the first place where the next literal part of the key
// occurs; the search only goes forward and never backtracks, so a key ending
// in a literal part must find that part at the very end the first time.
bool star_match(const std::string &name, const char *key)
{
    size_t pos = 0;
    const char *k = key;
    bool star = false;
    while (*k) {
        if (*k == '*') {
            star = true;
            ++k;
            continue;
        }
        const char *end = std::strchr(k, '*');
        size_t len = end ? (size_t)(end - k) : std::strlen(k);
        std::string_view part(k, len);
        if (star) {
            size_t at = name.find(part, pos);
            if (at == std::string::npos) return false;
            pos = at + len;
        } else {
            if (name.compare(pos, len, part) != 0) return false;
            pos += len;
        }
        star = false;
        k += len;
    }
    return star || pos == name.size();
}

std::string expand_home(const char *entry)
{
    if (entry[0] != '~') return entry;
    const char *slash = std::strchr(entry, '/');
    std::string user = slash ? std::string(entry + 1, slash) : std::string(entry + 1);
    const char *home = nullptr;
    if (user.empty()) {
        home = std::getenv("HOME");
        if (!home)
            if (const passwd *pw = getpwuid(getuid())) home = pw->pw_dir;
    } else if (const passwd *pw = getpwnam(user.c_str())) {
        home = pw->pw_dir;
    }
    if (!home) return entry;
    return std::string(home) + (slash ? slash : "");
}

// Reads one line of at most DEF_LINE_SIZE characters; the rest of a longer
// line is dropped.  False at the end of the file.
bool read_line(FILE *fp, char *line)
{
    int c;
    size_t n = 0;
    bool any = false;
    while ((c = std::getc(fp)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (n < (size_t)DEF_LINE_SIZE) line[n++] = (char)c;
    }
    line[n] = '\0';
    if (n > 0 && line[n - 1] == '\r') line[n - 1] = '\0';
    return any;
}

// Splits a line into its first word and a value: the second word, or the
// text between double quotes when the value starts with one.  Returns the
// number of words found (0, 1 or 2).
int split_line(const char *line, char *key, char *value)
{
    auto blank = [](char c) { return std::isspace((unsigned char)c) != 0; };
    const char *p = line;
    while (*p && blank(*p)) ++p;
    size_t n = 0;
    while (*p && !blank(*p)) key[n++] = *p++;
    key[n] = '\0';
    if (n == 0) return 0;
    while (*p && blank(*p)) ++p;
    if (!*p) return 1;
    n = 0;
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') value[n++] = *p++;
    } else {
        while (*p && !blank(*p)) value[n++] = *p++;
    }
    value[n] = '\0';
    return 2;
}

} // namespace

void DEF_prog(const char *name) { prog = name ? name : ""; }
void DEF_name(const char *name) { title = name ? name : ""; }

int DEF_add_tag(const char *tag)
{
    if (!tag || !*tag || DEF_has_tag(tag)) return 0;
    if (tags.size() >= MAX_TAGS) return -1;
    tags.emplace_back(tag);
    return 0;
}

int DEF_remove_tag(const char *tag)
{
    if (!tag) return 0;
    auto it = std::find(tags.begin(), tags.end(), tag);
    if (it == tags.end()) return 0;
    tags.erase(it);
    return 1;
}

int DEF_has_tag(const char *tag) { return tag && std::find(tags.begin(), tags.end(), tag) != tags.end(); }
void DEF_clear_tags() { tags.clear(); }

FILE *DEF_open(const char *entry)
{
    blocks.clear();
    if (!entry || !*entry) return std::fopen(".zyrdef", "r");
    std::string path = expand_home(entry);
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return nullptr;
    if (S_ISDIR(st.st_mode)) {
        for (const char *name : {"zyr.cfg", ".zyrdef", "Zyr.res"}) {
            std::string file = path + "/" + name;
            if (stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                if (FILE *fp = std::fopen(file.c_str(), "r")) return fp;
        }
        return nullptr;
    }
    return std::fopen(path.c_str(), "r");
}

void DEF_close(FILE *fp)
{
    if (fp) std::fclose(fp);
    blocks.clear();
}

int DEF_get(FILE *fp, char *key, char *value)
{
    if (!fp) return 0;
    char line[DEF_LINE_SIZE + 1];
    while (read_line(fp, line)) {
        if (line[0] == '#') continue;
        int words = split_line(line, key, value);
        if (words == 0) continue;
        const char *tag = words == 2 ? value : nullptr;

        if (std::strcmp(key, "DEF") == 0) {
            if (tag) DEF_add_tag(tag);
            continue;
        }
        if (std::strcmp(key, "UNDEF") == 0) {
            if (tag) DEF_remove_tag(tag);
            continue;
        }
        if (std::strcmp(key, "IF") == 0) {
            // An IF without a tag opens a block that does not apply, so that
            // its END still closes it.
            bool cond = DEF_has_tag(tag);
            bool outer = applies();
            blocks.push_back({outer, cond, outer && cond});
            continue;
        }
        if (std::strcmp(key, "ELIF") == 0) {
            if (blocks.empty()) {
                MESS_print(MESS_WARN, "DEF_get: elif without an if\n");
                continue;
            }
            Block &b = blocks.back();
            bool cond = !b.taken && DEF_has_tag(tag);
            b.active = b.outer && cond;
            b.taken = b.taken || cond;
            continue;
        }
        if (std::strcmp(key, "ELSE") == 0) {
            if (blocks.empty()) {
                MESS_print(MESS_WARN, "DEF_get: else without an if\n");
                continue;
            }
            Block &b = blocks.back();
            b.active = b.outer && !b.taken;
            b.taken = true;
            continue;
        }
        if (std::strcmp(key, "END") == 0) {
            if (blocks.empty()) MESS_print(MESS_WARN, "DEF_get: end without an if\n");
            else blocks.pop_back();
            continue;
        }

        if (words < 2 || !applies()) continue;
        for (char *p = key; *p; ++p) *p = (char)std::tolower((unsigned char)*p);
        size_t n = std::strlen(key);
        if (n > 0 && key[n - 1] == ':') key[n - 1] = '\0';
        return 1;
    }
    return 0;
}

int DEF_cmp(const char *resource, const char *key)
{
    if (!resource || !key) return 0;
    return star_match(full_name(resource), key);
}

// A key that names no declared resource still applies to this program when
// it would address a resource of its own last component, i.e. everything
// before that component matches this program's name.
int DEF_valid(const char *key)
{
    if (!key) return 0;
    const char *last = DEF_last_part(key);
    if (last == key || !*last) return 0;
    return DEF_cmp(last, key);
}

const char *DEF_last_part(const char *key)
{
    const char *last = key;
    for (const char *p = key; p && *p; ++p)
        if (*p == '*' || *p == '.') last = p + 1;
    return last;
}
