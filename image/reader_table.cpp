// The reader table: one row per input format, the look-ups the program makes
// in it, and the one way a file becomes a reader's source.
#include "image/reader_table.h"

#include <cstring>

#include "core/flags.h"
#include "core/util.h"
#include "files/file.h"
#include "image/abi.h"
#include "image/rdr_util.h"
#include "image/reader_formats.h"

namespace {

// One row per format, in input-code order.  The open rules keep each
// reader's own way of reaching its file and its own messages when it cannot.
constexpr IMG_OPEN_RULE BY_FILE_LAYER = {true, false, {nullptr, nullptr}};
constexpr IMG_OPEN_RULE WHOLE_PATH = {false, true, {nullptr, nullptr}};

constexpr IMG_OPEN_RULE rule(IMG_OPEN_RULE r, const char *fail, const char *then = nullptr)
{
    r.fail[0] = fail;
    r.fail[1] = then;
    return r;
}

const IMG_READER rows[] = {
    // code, "input" keyword, "in_file" entry and whether whole, name convention
    // of the keyword, the reader's name, the image source, announcement, date
    // label rebuilt, navigation, open rule, identify, read.
    {IMG_SRC_ZYR, "img", nullptr, false, "sat_img", "IMG_read_zyr", IMG_SRC_ZYR,
     IMG_ANNOUNCE_BEFORE, true, IMG_NAV_NONE, rule(BY_FILE_LAYER, "Unable to open: %s\n"),
     rdr::zyr_identify, rdr::zyr_read},
    {IMG_SRC_AREA, "area", "area", true, nullptr, "SAT_read_AREA", IMG_SRC_AREA,
     IMG_ANNOUNCE_NONE, false, IMG_NAV_AREA,
     rule(BY_FILE_LAYER, "SAT_read_file: Unable to open file:%s\n"), rdr::area_identify,
     rdr::area_read},
    {IMG_SRC_AWIP, "awip", "awip", false, nullptr, "SAT_read_AWIP", IMG_SRC_AWIP,
     IMG_ANNOUNCE_BEFORE, false, IMG_NAV_NONE,
     rule(WHOLE_PATH, "SAT_read_AWIP: Unable to open file:%s\n"), rdr::awip_identify,
     rdr::awip_read},
    {IMG_SRC_AWIPZ, "awipz", "awipz", false, nullptr, "SAT_read_AWIP", IMG_SRC_AWIP,
     IMG_ANNOUNCE_BEFORE, false, IMG_NAV_NONE,
     rule(WHOLE_PATH, "SAT_read_AWIP: Unable to open file:%s\n"), rdr::awipz_identify,
     rdr::awipz_read},
    {IMG_SRC_UNISYS, "unisat", "unis", false, nullptr, "SAT_read_Unisys", IMG_SRC_UNISYS,
     IMG_ANNOUNCE_BEFORE, false, IMG_NAV_SAT_VIEW,
     rule(WHOLE_PATH, "SAT_read_Unisys: Unable to open file:%s\n"), rdr::unisys_identify,
     rdr::unisys_read},
    {IMG_SRC_TIFF, "tiff", "tiff", false, nullptr, "SAT_read_TIFF", IMG_SRC_TIFF,
     IMG_ANNOUNCE_AFTER, true, IMG_NAV_NONE,
     rule(WHOLE_PATH, "SAT_read_TIFF: Unable to open file:%s\n"), rdr::tiff_identify,
     rdr::tiff_read},
    // LRIT files are opened as plain paths and read as a stream.
    {IMG_SRC_LRIT, "lrit", "lrit", false, nullptr, "SAT_read_LRIT", IMG_SRC_LRIT,
     IMG_ANNOUNCE_AFTER, true, IMG_NAV_NONE,
     rule({false, false, {nullptr, nullptr}}, "Unable to open LRIT file: %s\n",
          "SAT_read_LRIT: Unable to open file:%s\n"),
     rdr::lrit_identify, rdr::lrit_read, rdr::lrit_read_set, nullptr, rdr::lrit_value,
     rdr::lrit_set_key},
    // GOES-R fixed-grid netCDF, opened from memory; only the rows and
    // columns of a window are decoded.
    {IMG_SRC_ABI, "abi", "abi", false, "abi", "SAT_read_ABI", IMG_SRC_ABI, IMG_ANNOUNCE_BEFORE, true,
     IMG_NAV_NONE, rule(WHOLE_PATH, "SAT_read_ABI: Unable to open file:%s\n"), rdr::abi_identify,
     rdr::abi_read, nullptr, rdr::abi_read_header, rdr::abi_value},
};

}  // namespace

const IMG_READER *IMG_reader_rows(int *count)
{
    if (count) *count = (int)(sizeof rows / sizeof rows[0]);
    return rows;
}

const IMG_READER *IMG_reader_by_code(int code)
{
    for (const IMG_READER &r : rows)
        if (r.code == code) return &r;
    return nullptr;
}

const IMG_READER *IMG_reader_by_keyword(const char *keyword)
{
    if (!keyword) return nullptr;
    for (const IMG_READER &r : rows)
        if (!stricmp(keyword, r.keyword)) return &r;
    return nullptr;
}

const IMG_READER *IMG_reader_by_in_file(const char *entry)
{
    if (!entry) return nullptr;
    const IMG_READER *best = nullptr;
    size_t best_len = 0;
    for (const IMG_READER &r : rows) {
        if (!r.in_file) continue;
        const size_t k = std::strlen(r.in_file);
        if (r.in_file_whole) {
            if (!stricmp(entry, r.in_file)) return &r;
        } else if (!strnicmp(entry, r.in_file, (int)k) && k > best_len) {
            best = &r;
            best_len = k;
        }
    }
    return best;
}

const char *IMG_reader_in_file_conv(const IMG_READER *reader, const char *entry)
{
    if (!reader || !entry || !reader->in_file || reader->in_file_whole) return nullptr;
    // An entry that begins with the row's own convention, alone or before
    // "_", names a convention of that family itself ("abi_l2_RRQPEF").
    if (const char *own = reader->name_conv) {
        const size_t k = std::strlen(own);
        if (!strnicmp(entry, own, (int)k) && (entry[k] == '\0' || entry[k] == '_')) return entry;
    }
    // The prefix, one separator character, then the convention.
    const size_t skip = std::strlen(reader->in_file) + 1;
    return std::strlen(entry) > skip ? entry + skip : nullptr;
}

const IMG_READER *IMG_reader_current() { return IMG_reader_by_code(FLAG_get(FLAG_INPUT)); }

const IMG_READER *IMG_reader_identify(const unsigned char *bytes, size_t size)
{
    if (!bytes) return nullptr;
    for (const IMG_READER &r : rows)
        if (r.identify(bytes, size)) return &r;
    return nullptr;
}

IMG_FILE_SOURCE::~IMG_FILE_SOURCE()
{
    if (source_.stream && close_) std::fclose(source_.stream);
}

bool IMG_FILE_SOURCE::open(const IMG_READER *reader, const char *name)
{
    source_ = IMG_SOURCE{};
    source_.name = name ? name : "";
    const IMG_OPEN_RULE &rule = reader->open;
    FILE *in = nullptr;
    if (name) in = rule.file_layer ? FILE_open(name, "r") : std::fopen(name, "rb");
    if (!in) {
        for (const char *fail : rule.fail)
            if (fail) MESS_print(MESS_WARN, fail, source_.name);
        return false;
    }
    // Standard input is the process's, never closed here.
    close_ = in != stdin;
    source_.stream = in;
    if (!rule.whole) return true;

    const unsigned char *bytes = nullptr;
    size_t size = 0;
    const bool ok = rdr::source_span(&source_, reader->who, bytes_, &bytes, &size);
    if (close_) std::fclose(in);
    source_.stream = nullptr;
    close_ = false;
    // An empty file is still a memory source: a span with no bytes.
    static const unsigned char none = 0;
    source_.bytes = bytes_.empty() ? &none : bytes_.data();
    source_.size = bytes_.size();
    return ok;
}

int IMG_reader_read_memory(const IMG_READER *reader, const unsigned char *bytes, size_t size,
                           const char *name, const IMG_WINDOW *window, IMG_READ_OUT *out)
{
    if (!reader || !out || !out->image) return IMG_READ_FAILED;
    static const unsigned char none = 0;
    IMG_SOURCE source;
    source.name = name ? name : "";
    source.bytes = bytes ? bytes : &none;
    source.size = bytes ? size : 0;
    return reader->read(&source, window, out);
}

int IMG_reader_read_file(const IMG_READER *reader, const char *name, const IMG_WINDOW *window,
                         IMG_READ_OUT *out)
{
    if (!reader || !out || !out->image) return IMG_READ_FAILED;
    IMG_FILE_SOURCE file;
    if (!file.open(reader, name)) return IMG_READ_FAILED;
    return reader->read(file.source(), window, out);
}

namespace {

// The files opened by the row's rule and held open together.
bool open_all(const IMG_READER *reader, const char *const *names, int n,
              std::vector<IMG_FILE_SOURCE> &files, std::vector<IMG_SOURCE> &sources)
{
    files = std::vector<IMG_FILE_SOURCE>((size_t)n);
    sources.assign((size_t)n, IMG_SOURCE{});
    for (int i = 0; i < n; ++i) {
        if (!files[(size_t)i].open(reader, names[i])) return false;
        sources[(size_t)i] = *files[(size_t)i].source();
    }
    return true;
}

}  // namespace

int IMG_reader_set_key_file(const IMG_READER *reader, const char *name, char *key, size_t key_size)
{
    if (key && key_size) key[0] = '\0';
    if (!reader || !reader->set_key || !key || !key_size) return IMG_SET_ALONE;
    IMG_FILE_SOURCE file;
    if (!file.open(reader, name)) return IMG_SET_ALONE;
    return reader->set_key(file.source(), key, key_size);
}

int IMG_reader_read_files(const IMG_READER *reader, const char *const *names, int n,
                          const IMG_WINDOW *window, IMG_READ_OUT *out)
{
    if (!reader || !names || n < 1 || !out || !out->image) return IMG_READ_FAILED;
    if (n == 1 || !reader->read_set) return IMG_reader_read_file(reader, names[0], window, out);
    std::vector<IMG_FILE_SOURCE> files;
    std::vector<IMG_SOURCE> sources;
    if (!open_all(reader, names, n, files, sources)) return IMG_READ_FAILED;
    return reader->read_set(sources.data(), n, window, out);
}

int IMG_reader_value_files(const IMG_READER *reader, const char *const *names, int n, int col,
                           int row, double *value, char *units, size_t units_size)
{
    if (!reader || !names || n < 1 || !value) return -1;
    if (!reader->value) {
        MESS_print(MESS_ERROR, "%s: %s: this input type keeps no physical values\n", reader->who,
                   names[0]);
        return -1;
    }
    // Each file opened by the row's rule and held open for the one call.
    std::vector<IMG_FILE_SOURCE> files;
    std::vector<IMG_SOURCE> sources;
    if (!open_all(reader, names, n, files, sources)) return -1;
    if (units && units_size) units[0] = '\0';
    return reader->value(sources.data(), n, col, row, value, units, units_size);
}

int IMG_reader_read_named(int code, const char *name, IMG *image)
{
    IMG_init(image);
    image->source = code;
    IMG_READ_OUT out{image, nullptr};
    return IMG_reader_read_file(IMG_reader_by_code(code), name, nullptr, &out) == IMG_READ_OK ? 0 : -1;
}

namespace rdr {

SourceStream::SourceStream(const IMG_SOURCE *source)
{
    if (!source) return;
    if (source->bytes) {
        in_ = fmemopen(const_cast<unsigned char *>(source->bytes), source->size, "rb");
        own_ = in_ != nullptr;
    } else {
        in_ = source->stream;
    }
}

SourceStream::~SourceStream()
{
    if (own_) std::fclose(in_);
}

bool source_span(const IMG_SOURCE *source, const char *who, std::vector<unsigned char> &hold,
                 const unsigned char **bytes, size_t *size)
{
    if (source->bytes) {
        *bytes = source->bytes;
        *size = source->size;
        return true;
    }
    static const unsigned char none = 0;
    const bool ok = read_all(source->stream, hold);
    *bytes = hold.empty() ? &none : hold.data();
    *size = hold.size();
    if (!ok)
        MESS_print(MESS_WARN, "%s: %s: file cannot be read or is larger than %llu bytes\n", who,
                   source->name, (unsigned long long)MAX_FILE);
    return ok;
}

}  // namespace rdr
