// File utilities: opening with "~" and pipes, tests, overwrite questions,
// path joining and the file-type magics.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/flags.h"
#include "core/util.h"
#include "files/file.h"

namespace {

bool stat_name(const char *name, struct stat *st)
{
    char path[FILE_NAME_SIZE];
    return name && ::stat(FILE_expand(name, path), st) == 0;
}

bool is_write_mode(const char *mode) { return mode && (mode[0] == 'w' || mode[0] == 'a'); }

}  // namespace

int FILE_is_std(const char *name)
{
    return !name || !*name || !std::strcmp(name, "-") || !stricmp(name, "std") ||
           !stricmp(name, "stdn");
}

int FILE_fullpath(const char *name)
{
    return name && (name[0] == '.' || name[0] == '/' || name[0] == '~');
}

char *FILE_expand(const char *name, char *out)
{
    out[0] = '\0';
    if (!name) return out;
    if (name[0] != '~') {
        strntcpy(out, name, FILE_NAME_SIZE);
        return out;
    }
    const char *rest = std::strchr(name, '/');
    if (!rest) rest = name + std::strlen(name);
    const char *home = nullptr;
    if (rest == name + 1) {
        home = std::getenv("HOME");
        if (!home)
            if (struct passwd *pw = getpwuid(getuid())) home = pw->pw_dir;
    } else {
        char user[FILE_NAME_SIZE];
        size_t n = std::min<size_t>((size_t)(rest - name - 1), sizeof user - 1);
        std::memcpy(user, name + 1, n);
        user[n] = '\0';
        if (struct passwd *pw = getpwnam(user)) home = pw->pw_dir;
    }
    if (!home) {
        // An unknown user keeps the name as typed.
        strntcpy(out, name, FILE_NAME_SIZE);
        return out;
    }
    strntcpy(out, home, FILE_NAME_SIZE);
    strmcat(out, rest, FILE_NAME_SIZE);
    return out;
}

FILE *FILE_open(const char *name, const char *mode)
{
    if (FILE_is_std(name)) return (mode && mode[0] == 'r') ? stdin : stdout;
    if (name[0] == '|') return popen(name + 1, (mode && mode[0] == 'r') ? "r" : "w");
    char path[FILE_NAME_SIZE];
    FILE_expand(name, path);
    if (is_write_mode(mode)) FILE_make_dir(path);
    return std::fopen(path, mode);
}

int FILE_exist(const char *name)
{
    if (FILE_is_std(name)) return 1;
    struct stat st;
    return stat_name(name, &st) ? 1 : 0;
}

int FILE_is_dir(const char *name)
{
    struct stat st;
    return stat_name(name, &st) && S_ISDIR(st.st_mode);
}

int FILE_is_file(const char *name)
{
    struct stat st;
    return stat_name(name, &st) && S_ISREG(st.st_mode);
}

int FILE_is_fifo(const char *name)
{
    struct stat st;
    return stat_name(name, &st) && S_ISFIFO(st.st_mode);
}

int FILE_is_device(const char *name)
{
    struct stat st;
    return stat_name(name, &st) && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode));
}

int64_t FILE_size(const char *name)
{
    struct stat st;
    return stat_name(name, &st) ? (int64_t)st.st_size : -1;
}

time_t FILE_modtime(const char *name)
{
    struct stat st;
    return stat_name(name, &st) ? st.st_mtime : (time_t)-1;
}

int FILE_delete(const char *name)
{
    char path[FILE_NAME_SIZE];
    return name ? ::unlink(FILE_expand(name, path)) : -1;
}

int FILE_make_dir(const char *name)
{
    char path[FILE_NAME_SIZE];
    FILE_expand(name, path);
    // Creates each directory of the path in turn; the last component is the
    // file itself and is left alone.
    for (char *p = path + 1; *p; p++) {
        if (*p != '/') continue;
        *p = '\0';
        if (::mkdir(path, 0777) != 0 && errno != EEXIST) {
            *p = '/';
            return -1;
        }
        *p = '/';
    }
    return 0;
}

int FILE_overwrite(const char *name, int mode)
{
    if (FILE_is_std(name) || !FILE_exist(name)) return 1;
    if (int param = FLAG_get(FLAG_FILE_PARAM); param > 0) return param;
    if (FLAG_batch()) return 3;
    char prompt[FILE_NAME_SIZE + 48], answer[80];
    if (mode == 1) {
        std::snprintf(prompt, sizeof prompt, "%s: exists overwrite (Y,N,Use,Over): ", name);
        if (!ZYR_prompts(prompt, answer, 80)) return -1;
        char c = answer[0];
        return (c == 'Y' || c == 'y' || c == 'O' || c == 'o') ? mode : 3;
    }
    if (mode == 2) {
        std::snprintf(prompt, sizeof prompt, "%s: exists overwrite (Y,N,Use,Over,App): ", name);
        if (!ZYR_prompts(prompt, answer, 80)) return -1;
        char c = answer[0];
        if (c == 'Y' || c == 'y' || c == 'O' || c == 'o') return 1;
        if (c == 'A' || c == 'a') return mode;
        return 3;
    }
    return 0;
}

char *FILE_add_path(const char *dir, const char *name, char *out)
{
    char tmp[FILE_NAME_SIZE];
    if (FILE_is_std(name) || FILE_fullpath(name) || !dir || !*dir) {
        strntcpy(tmp, name ? name : "", FILE_NAME_SIZE);
    } else {
        strntcpy(tmp, dir, FILE_NAME_SIZE - 1);
        if (tmp[std::strlen(tmp) - 1] != '/') strmcat(tmp, "/", FILE_NAME_SIZE);
        strmcat(tmp, name, FILE_NAME_SIZE);
    }
    std::strcpy(out, tmp);
    return out;
}

int FILE_type(const char *name)
{
    if (!name) return -1;
    FILE *in = FILE_open(name, "r");
    if (!in || in == stdin) {
        // "name-extra" stands for the file "name".
        const char *dash = std::strchr(name, '-');
        if (!dash || dash == name) return -1;
        char first[FILE_NAME_SIZE];
        size_t n = std::min<size_t>((size_t)(dash - name), sizeof first - 1);
        std::memcpy(first, name, n);
        first[n] = '\0';
        in = FILE_open(first, "r");
        if (!in || in == stdin) return -1;
    }
    char head[11] = {0};
    size_t n = std::fread(head, 1, 10, in);
    std::fclose(in);
    (void)n;
    static const struct { const char *magic; int type; } magics[] = {
        {"ZYRSFC", 11}, {"ZYRUPA", 12}, {"ZYRRAW", 5}, {"ZYRGRID", 6}, {"ZYRMETA", 8}, {"ZYRIMG", 9},
    };
    for (const auto &m : magics)
        if (!std::strncmp(head, m.magic, std::strlen(m.magic))) return m.type;
    return -1;
}
