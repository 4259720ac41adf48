// Names with wildcards: a template whose file part holds "*" or "?" (GOES-R
// names carry the scan start to a tenth of a second and end and creation
// times no template can know) names the file of its folder that matches,
// chosen by the date fields the name holds.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "files/file.h"
#include "files/file_state.h"

using file_detail::Built;
using file_detail::Listing;
using file_detail::MISSING;
using file_detail::Piece;

namespace {

// Digits (or the letters of a month name) of one date field.
int field_width(char letter) { return letter == 'Y' ? 4 : (letter == 'j' || letter == 'b') ? 3 : 2; }

// Whether a name's value is the date's, rounded to the field's step.
bool fits_value(const Piece &p, int v)
{
    return p.value == MISSING || (p.step > 0 ? v / p.step * p.step : v) == p.value;
}

void store(char letter, int v, DATE *got)
{
    switch (letter) {
    case 'Y': got->year = v; break;
    case 'y': got->year = v > 49 ? 1900 + v : 2000 + v; break;
    case 'm': case 'b': got->month = v; break;
    case 'd': got->day = v; break;
    case 'j': got->julian = v; break;
    case 'h': got->hour = v; break;
    case 'n': got->minute = v; break;
    default: break;
    }
}

// Reads one date field at the front of the name; false when it is not there
// or its value is not the date's.
bool read_field(const Piece &p, const char *name, DATE *got)
{
    const int w = field_width(p.letter);
    if ((int)strnlen(name, (size_t)w) < w) return false;
    int v = 0;
    if (p.letter == 'b') {
        char mon[4] = {name[0], name[1], name[2], 0};
        v = DATE_decode_month(mon);
        if (v < 1) return false;
    } else {
        for (int i = 0; i < w; i++) {
            if (!std::isdigit((unsigned char)name[i])) return false;
            v = v * 10 + (name[i] - '0');
        }
    }
    if (!fits_value(p, v)) return false;
    store(p.letter, v, got);
    return true;
}

// The value of a field that read_field() accepted at the front of the name.
int field_value(const Piece &p, const char *name)
{
    if (p.letter == 'b') {
        const char mon[4] = {name[0], name[1], name[2], 0};
        return DATE_decode_month(mon);
    }
    int v = 0;
    for (int i = 0; i < field_width(p.letter); i++) v = v * 10 + (name[i] - '0');
    return v;
}

// Backtracking match: "*" takes the shortest run that lets the rest match.
// The pieces are few and a file name short, so the search stays small.
bool match_from(const Piece *p, const Piece *end, const char *name, DATE *got, std::vector<int> *values)
{
    for (; p != end; ++p) {
        switch (p->kind) {
        case Piece::TEXT:
            if (std::strncmp(name, p->text.c_str(), p->text.size())) return false;
            name += p->text.size();
            break;
        case Piece::ONE:
            if (!*name++) return false;
            break;
        case Piece::FIELD:
            if (!read_field(*p, name, got)) return false;
            if (values) values->push_back(field_value(*p, name));
            name += field_width(p->letter);
            break;
        case Piece::ANY:
            for (const char *at = name;; ++at) {
                DATE trial = *got;
                const size_t kept = values ? values->size() : 0;
                if (match_from(p + 1, end, at, &trial, values)) {
                    *got = trial;
                    return true;
                }
                if (values) values->resize(kept);
                if (!*at) return false;
            }
        }
    }
    return *name == '\0';
}

// The folder's entries, sorted; listed again only when the folder changed.
const std::vector<std::string> &list_folder(const std::string &dir)
{
    Listing &l = file_detail::state().listing;
    char path[FILE_NAME_SIZE];
    FILE_expand(dir.empty() ? "." : dir.c_str(), path);
    struct stat st{};
    if (stat(path, &st) != 0 || !S_ISDIR(st.st_mode)) {
        l = Listing{};
        return l.names;
    }
    const long long mtime = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    if (l.dir == path && l.mtime_ns == mtime && l.inode == (unsigned long long)st.st_ino) return l.names;
    l = Listing{};
    l.dir = path;
    l.mtime_ns = mtime;
    l.inode = (unsigned long long)st.st_ino;
    if (DIR *d = opendir(path)) {
        while (const dirent *e = readdir(d))
            if (e->d_name[0] != '.' || (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")))
                l.names.emplace_back(e->d_name);
        closedir(d);
    }
    std::sort(l.names.begin(), l.names.end());
    return l.names;
}

bool is_file(const std::string &dir, const std::string &name)
{
    char path[FILE_NAME_SIZE];
    FILE_expand((dir.empty() ? name : dir + name).c_str(), path);
    struct stat st{};
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

// Seconds of a minute: the date with the fields a name gave.
int64_t minute_of(DATE d, const DATE &got)
{
    if (got.year != MISSING) d.year = got.year;
    if (got.month != MISSING) d.month = got.month;
    if (got.day != MISSING) d.day = got.day;
    if (got.julian != MISSING && got.month == MISSING && d.year != MISSING)
        DATE_julian_monday(d.year, got.julian, &d.month, &d.day);
    if (got.hour != MISSING) d.hour = got.hour;
    if (got.minute != MISSING) d.minute = got.minute;
    d.second = 0;
    return file_detail::seconds_of(d);
}

// The pieces' shape: what decides whether a name matches at all, the
// date's values aside.
std::string shape_of(const std::vector<Piece> &pieces)
{
    std::string key;
    for (const Piece &p : pieces) {
        key += (char)('0' + p.kind);
        key += p.kind == Piece::FIELD ? std::string(1, p.letter) : p.text;
        key += '\0';
    }
    return key;
}

// Matches every name of the listing once against the pieces with no date,
// so that each later search only compares the values.  A name that
// matches with no date is the only kind that can match with one, and when
// the values read at its first match fit the date, the search with the
// date stops at that same match.
void match_listing(Listing &l, const std::vector<Piece> &pieces)
{
    const std::string key = shape_of(pieces);
    if (l.shape == key && l.fits.size() == l.names.size()) return;
    std::vector<Piece> free = pieces;
    for (Piece &p : free) p.value = MISSING;
    l.shape = key;
    l.fits.assign(l.names.size(), false);
    l.values.assign(l.names.size(), {});
    for (size_t i = 0; i < l.names.size(); i++) {
        DATE got;
        DATE_init(&got);
        l.fits[i] = match_from(free.data(), free.data() + free.size(), l.names[i].c_str(), &got, &l.values[i]);
    }
}

}  // namespace

namespace file_detail {

bool match_pieces(const std::vector<Piece> &pieces, const char *name, DATE *got)
{
    DATE trial = *got;
    if (!match_from(pieces.data(), pieces.data() + pieces.size(), name, &trial, nullptr)) return false;
    *got = trial;
    return true;
}

std::string resolve_wild(const Built &built, const DATE &requested, const DATE &rounded,
                         const std::string &pattern)
{
    DATE want = requested;
    want.second = 0;
    const int64_t limit = seconds_of(want);
    list_folder(built.dir);
    Listing &l = state().listing;
    match_listing(l, built.pieces);
    std::vector<const Piece *> fields;
    for (const Piece &p : built.pieces)
        if (p.kind == Piece::FIELD) fields.push_back(&p);
    const std::string *best = nullptr;
    int64_t best_time = 0;
    bool best_before = false;  // the best starts no later than asked
    for (size_t i = 0; i < l.names.size(); i++) {
        if (!l.fits[i]) continue;
        const std::string &name = l.names[i];
        DATE got;
        DATE_init(&got);
        bool quick = l.values[i].size() == fields.size();
        for (size_t k = 0; quick && k < fields.size(); k++) {
            quick = fits_value(*fields[k], l.values[i][k]);
            store(fields[k]->letter, l.values[i][k], &got);
        }
        if (!quick) {
            DATE_init(&got);
            if (!match_pieces(built.pieces, name.c_str(), &got)) continue;
        }
        if (!is_file(built.dir, name)) continue;
        const int64_t t = minute_of(rounded, got);
        const bool before = t <= limit;
        // Names come sorted, so ">=" and "<=" keep the last of equal times.
        const bool better = !best || (before && (!best_before || t >= best_time)) ||
                            (!before && !best_before && t <= best_time);
        if (better) best = &name, best_time = t, best_before = before;
    }
    return best ? built.dir + *best : pattern;
}

}  // namespace file_detail
