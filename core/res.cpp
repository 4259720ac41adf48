// The resource store and the decoding of its four sources.
#include "core/res.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/flags.h"
#include "core/hooks.h"
#include "core/mq.h"
#include "core/util.h"

namespace {

constexpr int NOT_DECLARED = -9999;

struct Node {
    int index;
    std::string name;
    std::optional<std::string> value;
    int type;
};

// Resources in order of first insertion, and an index by name.
std::vector<std::unique_ptr<Node>> nodes;
std::unordered_map<std::string, Node *> by_name;

std::vector<RES_DESC> own_desc;      // the descriptor list RES_init built
RES_DESC *descs = nullptr;           // the list decoding works on
int ndesc = 0;                       // its length, without the end marker
int saved_argc = 0;
char **saved_argv = nullptr;

// The loop-window queue, while one is connected during decoding.
int lw_queue = -1;
int lw_channel = -1;

const char *DEFAULT_SEARCH = ".:/home/zyr/etc:/usr/local/zyr/etc";

Node *find(const char *name)
{
    if (!name) return nullptr;
    auto it = by_name.find(name);
    return it == by_name.end() ? nullptr : it->second;
}

void set_descs(RES_DESC *d)
{
    descs = d;
    ndesc = 0;
    while (d && d[ndesc].name) ++ndesc;
}

// "-" or "--" followed by a letter.
bool is_option(const char *a, bool allow_double)
{
    if (a[0] != '-') return false;
    if (std::isalpha((unsigned char)a[1])) return true;
    return allow_double && a[1] == '-' && std::isalpha((unsigned char)a[2]);
}

// The key of an option argument and, when the argument holds "=", its
// value.  Keys longer than RES_KEY_SIZE are cut.
struct Option {
    std::string key;
    const char *value = nullptr; // points into the argument vector
};

Option split_option(const char *arg)
{
    const char *body = arg + (arg[1] == '-' ? 2 : 1);
    Option o;
    if (const char *eq = std::strchr(body, '=')) {
        o.key.assign(body, eq);
        o.value = eq + 1;
    } else {
        o.key = body;
    }
    if (o.key.size() > (size_t)RES_KEY_SIZE) o.key.resize(RES_KEY_SIZE);
    return o;
}

// Whether the argument after an option is its value: anything but another
// option or the "--" separator, so negative numbers are values.
bool is_value(const char *next) { return !is_option(next, true) && std::strcmp(next, "--") != 0; }

bool is_name_key(const std::string &key) { return key.size() <= 4 && strnicmp("name", key.c_str(), (int)key.size()) == 0; }
bool is_default_key(const std::string &key)
{
    return strnicmp(key.c_str(), "default", 7) == 0 || strnicmp(key.c_str(), "df", 2) == 0;
}

// Command-line key to descriptor: abbreviation, then exact name, then the
// first name the key begins.  Positional descriptors never match.
int match_key(const std::string &key)
{
    const int n = ndesc;
    auto keyed = [](const RES_DESC &d) { return d.position == 0 && d.name && *d.name; };
    for (int i = 0; i < n; ++i)
        if (keyed(descs[i]) && descs[i].abbrev && stricmp(descs[i].abbrev, key.c_str()) == 0) return i;
    for (int i = 0; i < n; ++i)
        if (keyed(descs[i]) && stricmp(descs[i].name, key.c_str()) == 0) return i;
    for (int i = 0; i < n; ++i)
        if (keyed(descs[i]) && strnicmp(descs[i].name, key.c_str(), (int)key.size()) == 0 &&
            std::strlen(descs[i].name) >= key.size())
            return i;
    return -1;
}

bool is_switch(int type) { return type == RES_T_BOOL || type == RES_T_BATCH || type == RES_T_HELP; }

// ---- loop-window exchange ----

void loop_send_option(const char *name, const char *value)
{
    if (lw_queue < 0) return;
    char reply[MQ_TEXT_SIZE];
    MQ_put(lw_queue, lw_channel, "set res %s %s", name, value ? value : "");
    MQ_get(lw_queue, lw_channel, reply);
}

// Asks the loop-window process behind queue `entry` for every declared
// resource; its answers are stored, and values it lacks that this program
// has are handed to it.
void loop_window(const char *entry)
{
    int q = MQ_open(std::atoi(entry));
    if (q < 0) {
        MESS_print(MESS_WARN, "ZYRloop window: %s not running or no message queue exists\n", entry);
        return;
    }
    int ch = MQ_connect(q);
    if (ZYR_exit_requested()) return;
    if (ch < 0) {
        MESS_print(MESS_WARN, "ZYRloop window: %s unable to connect\n", entry);
        return;
    }
    const int n = ndesc;
    for (int i = 0; i < n; ++i)
        if (*descs[i].name) MQ_put(q, ch, "query res %s", descs[i].name);

    char reply[MQ_TEXT_SIZE];
    int sets = 0;
    for (int i = 0; i < n; ++i) {
        if (!*descs[i].name) continue;
        bool got = false;
        for (;;) {
            int code = MQ_get(q, ch, reply);
            if (ZYR_exit_requested()) return;
            if (code == '-' - '0') {
                // The loop the process serves has gone: nothing more will
                // come from it, so the exchange ends here.
                MESS_print(MESS_WARN, "ZYRloop not running!\n");
                return;
            }
            if (code != 0) break;
            if (reply[0] && reply[0] != '\n' && reply[0] != '!') {
                RES_new(i, descs[i].name, reply, descs[i].type);
                got = true;
            }
        }
        if (!got)
            if (Node *node = find(descs[i].name); node && node->value) {
                MQ_put(q, ch, "set res %s %s", descs[i].name, node->value->c_str());
                ++sets;
            }
    }
    for (int i = 0; i < sets; ++i) MQ_get(q, ch, reply);
    lw_queue = q;
    lw_channel = ch;
}

// ---- decoding steps ----

// Options that steer the rest: the program title and the defaults search
// list.  Only single-dash options are looked at here.
void first_pass(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (!is_option(argv[i], false)) continue;
        Option o = split_option(argv[i]);
        if (!o.value && i + 1 < argc && is_value(argv[i + 1])) o.value = argv[++i];
        const char *value = o.value;
        if (is_name_key(o.key)) {
            RES_new(NOT_DECLARED, "name", value, RES_T_TEXT);
            DEF_name(value);
        } else if (is_default_key(o.key)) {
            RES_new(NOT_DECLARED, "default", value, RES_T_TEXT);
        }
    }
}

void read_defaults_file(const char *entry)
{
    FILE *fp = DEF_open(entry);
    if (!fp) return;
    const int n = ndesc;
    char key[DEF_LINE_SIZE + 1], value[DEF_LINE_SIZE + 1];
    while (DEF_get(fp, key, value)) {
        bool matched = false;
        for (int i = 0; i < n; ++i) {
            if (!*descs[i].name || !DEF_cmp(descs[i].name, key)) continue;
            RES_new(i, descs[i].name, value, descs[i].type);
            MESS_print(0x80000000, "RESRC: %s=%s\n", descs[i].name, value);
            matched = true;
        }
        if (!matched && DEF_valid(key)) RES_new(NOT_DECLARED, DEF_last_part(key), value, RES_T_TEXT);
    }
    DEF_close(fp);
}

void defaults_files()
{
    const char *list = RES_get("default");
    std::string search = list ? list : DEFAULT_SEARCH;
    DEF_clear_tags();
    // The program's own defaults file (the bundled map ladder and the like)
    // comes first, so that every file of the search list overrides it.  A
    // search list given by "-df" or $zyrdefault replaces it as well.
    if (!list) read_defaults_file((std::string(FILE_data_dir()) + "/zyr.cfg").c_str());
    size_t start = 0;
    for (;;) {
        size_t colon = search.find(':', start);
        std::string entry = search.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (!entry.empty() && entry[0] == '+') DEF_add_tag(entry.c_str() + 1);
        else if (!entry.empty() && entry[0] == '#') loop_window(entry.c_str() + 1);
        else read_defaults_file(entry.c_str());
        if (colon == std::string::npos || ZYR_exit_requested()) break;
        start = colon + 1;
    }
}

void environment(const char *prog)
{
    const char *title = RES_get("name");
    const int n = ndesc;
    for (int i = 0; i < n; ++i) {
        const char *name = descs[i].name;
        if (!*name) continue;
        std::string own;
        if (!title || !*title) own = std::string("zyr") + prog + "." + name;
        else if (title[0] == '+') own = std::string("zyr") + prog + "." + (title + 1) + "." + name;
        else own = std::string("zyr") + title + "." + name;
        const char *value = std::getenv(own.c_str());
        if (!value && descs[i].env && *descs[i].env) value = std::getenv(descs[i].env);
        if (!value) value = std::getenv((std::string("zyr") + name).c_str());
        if (value) RES_new(i, name, value, descs[i].type);
    }
}

// Options override everything.
void second_pass(int argc, char **argv)
{
    const int n = ndesc;
    int position = 0;
    for (int i = 1; i < argc && !ZYR_exit_requested(); ++i) {
        const char *arg = argv[i];
        if (std::strcmp(arg, "--") == 0) continue;
        if (is_option(arg, true)) {
            Option o = split_option(arg);
            bool from_next = false;
            if (!o.value && i + 1 < argc && is_value(argv[i + 1])) {
                o.value = argv[i + 1];
                from_next = true;
            }
            if (is_name_key(o.key) || is_default_key(o.key)) {
                if (from_next) ++i;
                continue;
            }
            int idx = match_key(o.key);
            if (idx >= 0 && from_next && is_switch(descs[idx].type)) {
                o.value = nullptr;
                from_next = false;
            }
            if (from_next) ++i;
            const char *value = o.value;
            if (idx >= 0) {
                RES_new(idx, descs[idx].name, value, descs[idx].type);
                loop_send_option(descs[idx].name, value);
            } else {
                RES_new(NOT_DECLARED, o.key.c_str(), value, RES_T_TEXT);
                loop_send_option(o.key.c_str(), value);
            }
            continue;
        }
        ++position;
        int idx = -1;
        for (int k = 0; k < n && idx < 0; ++k)
            if (descs[k].position == position) idx = k;
        for (int k = 0; k < n && idx < 0; ++k)
            if (descs[k].position == 10) idx = k;
        if (idx < 0) continue;
        if (descs[idx].position == 10 && position > 1) RES_append(idx, descs[idx].name, arg, descs[idx].type);
        else RES_new(idx, descs[idx].name, arg, descs[idx].type);
    }
}

void convert_all()
{
    for (size_t k = 0; k < nodes.size() && !ZYR_exit_requested(); ++k) {
        Node *node = nodes[k].get();
        if (node->index == NOT_DECLARED || !descs || node->index >= ndesc) continue;
        const RES_DESC &d = descs[node->index];
        const char *value = node->value ? node->value->c_str() : nullptr;
        if (node->type == RES_T_LIST) {
            if (d.count && d.dest) {
                char **array = nullptr;
                RES_getvals(node->name.c_str(), d.count, &array);
                *static_cast<char ***>(d.dest) = array;
            }
            continue;
        }
        RES_conv_data(value, d.dest, node->type);
    }
}

void set_flag_from_table(const char *value, int slot, std::initializer_list<std::pair<const char *, int>> table)
{
    for (const auto &[word, code] : table)
        if (stricmp(value, word) == 0) {
            FLAG_set(slot, code);
            return;
        }
}

} // namespace

// ---- the value list ----

int RES_new(int index, const char *name, const char *value, int type)
{
    if (!name) return -1;
    try {
        if (Node *node = find(name)) {
            std::optional<std::string> v;
            if (value) v = std::string(value);
            node->value = std::move(v);
            node->index = index;
            node->type = type;
            return 0;
        }
        auto node = std::make_unique<Node>();
        node->index = index;
        node->name = name;
        if (value) node->value = std::string(value);
        node->type = type;
        // Reserve first so that, once the name is indexed, appending the
        // node cannot fail and the two containers stay in step.
        nodes.reserve(nodes.size() + 1);
        by_name.emplace(node->name, node.get());
        nodes.push_back(std::move(node));
        return 0;
    } catch (const std::bad_alloc &) {
        return -1;
    }
}

int RES_append(int index, const char *name, const char *value, int type)
{
    Node *node = find(name);
    if (!node) return RES_new(index, name, value, type);
    try {
        std::string joined = node->value ? *node->value + "\n" + (value ? value : "") : (value ? value : "");
        node->value = std::move(joined);
        return 0;
    } catch (const std::bad_alloc &) {
        return -1;
    }
}

const char *RES_get(const char *name)
{
    Node *node = find(name);
    if (!node) return nullptr;
    return node->value ? node->value->c_str() : "";
}

int RES_getval(const char *name, void *dest, int type)
{
    Node *node = find(name);
    if (!node || !dest) return 0;
    return RES_conv_data(node->value ? node->value->c_str() : nullptr, dest, type);
}

int RES_getvals(const char *name, int *count, char ***array)
{
    int n = 0;
    char **a = nullptr;
    if (Node *node = find(name); node && node->value)
        parse_string(node->value->c_str(), node->type == RES_T_LIST ? '\n' : ',', &n, &a);
    if (count) *count = n;
    if (array) *array = a;
    else free_parsed_array(n, a);
    return n;
}

int RES_put(const char *name, const char *value) { return RES_new(NOT_DECLARED, name, value, RES_T_TEXT); }

int RES_list()
{
    for (const auto &node : nodes) {
        if (node->value) MESS_print(8, "%s: %s\n", node->name.c_str(), node->value->c_str());
        else MESS_print(8, "%s:\n", node->name.c_str());
    }
    return 0;
}

void RES_clear()
{
    nodes.clear();
    by_name.clear();
    own_desc.clear();
    set_descs(nullptr);
    saved_argc = 0;
    saved_argv = nullptr;
    lw_queue = lw_channel = -1;
    DEF_prog(nullptr);
    DEF_name(nullptr);
    DEF_clear_tags();
}

int RES_set_device(const char *text)
{
    int code = 1;
    switch (text ? text[0] : '\0') {
    case 'P': case 'p': code = 4; break;
    case 'H': case 'h': case 'Q': case 'q': code = 5; break;
    case 'M': case 'm': code = 3; break;
    case 'W': case 'w': code = 6; break;
    default: break;
    }
    FLAG_set(FLAG_DEVICE, code);
    return code;
}

int RES_set_draw(const char *value)
{
    int count = 0;
    char **items = nullptr;
    if (parse_string(value, ',', &count, &items) != 0) return 0;
    static const std::pair<const char *, int> elements[] = {
        {"text_ul", PLOT_TEXT_UL}, {"text_uc", PLOT_TEXT_UC}, {"text_ur", PLOT_TEXT_UR},
        {"text_ll", PLOT_TEXT_LL}, {"text_lc", PLOT_TEXT_LC}, {"text_lr", PLOT_TEXT_LR},
        {"data", PLOT_DATA},       {"map", PLOT_MAP},         {"grid", PLOT_GRID},
        {"sum", PLOT_SUM},         {"bord", PLOT_BORDER},
    };
    for (int i = 0; i < count; ++i) {
        const char *item = items[i];
        uint32_t on = 1;
        if (*item == '+') ++item;
        else if (*item == '-') {
            on = 0;
            ++item;
        } else if (i == 0) {
            FLAG_resetplot(0);
        }
        if (stricmp(item, "none") == 0) FLAG_setplot(PLOT_ANY, 0);
        else if (stricmp(item, "all") == 0) FLAG_setplot(PLOT_ANY, on);
        else if (stricmp(item, "text") == 0) {
            FLAG_setplot(PLOT_TEXT, on);
            FLAG_setplot(PLOT_BORDER, on);
        } else {
            for (const auto &[word, element] : elements)
                if (stricmp(item, word) == 0) FLAG_setplot(element, on);
        }
    }
    free_parsed_array(count, items);
    return 0;
}

int RES_conv_data(const char *value, void *dest, int type)
{
    switch (type) {
    case RES_T_BATCH:
        FLAG_set(FLAG_BATCH, 1);
        if (!MESS_check_set()) MESS_set(0, 255);
        return 1;
    case RES_T_HELP:
        FLAG_set(FLAG_HELP, 1);
        return 1;
    case RES_T_BOOL:
        if (!dest) return 1;
        if (!value) *static_cast<int *>(dest) = 1;
        else if (!stricmp(value, "true") || !stricmp(value, "on") || !stricmp(value, "yes")) *static_cast<int *>(dest) = 1;
        else if (!stricmp(value, "false") || !stricmp(value, "off") || !stricmp(value, "no")) *static_cast<int *>(dest) = 0;
        return 1;
    default:
        break;
    }
    if (!value) return 1;

    // Conversions that act without a destination.
    switch (type) {
    case RES_T_MESSAGE:
        MESS_set_str(value);
        return 1;
    case RES_T_DRAW:
        RES_set_draw(value);
        return 1;
    case RES_T_FILE_PARAM:
        set_flag_from_table(value, FLAG_FILE_PARAM,
                            {{"use", 3}, {"over", 1}, {"calc", 1}, {"reuse", 3}, {"recalc", 1}, {"app", 2}});
        return 1;
    case RES_T_PLOT_TYPE:
        set_flag_from_table(value, FLAG_PLOT_TYPE,
                            {{"raw", 0},    {"none", 99},  {"value", 17}, {"gvalue", 17}, {"cf", 15},
                             {"lcf", 16},   {"ln", 12},    {"dln", 13},   {"ndln", 14},   {"vect", 21},
                             {"barb", 22},  {"strm", 23},  {"stream", 23}, {"an", 54},    {"number", 54},
                             {"pm", 55},    {"skewt", 62}, {"ema", 63},   {"teph", 64},   {"rteph", 65},
                             {"stuve", 61}, {"hodo", 69}});
        return 1;
    case RES_T_HOUR:
        // The hour text is the time override of the file layer.
        if (HOOK_table().set_file_time) HOOK_table().set_file_time(value);
        return 1;
    default:
        break;
    }
    if (!dest) return 1;

    switch (type) {
    case RES_T_INT:
        if (std::isdigit((unsigned char)value[0]) || value[0] == '+' || value[0] == '-') {
            int base = (value[1] == 'x' || value[1] == 'X') ? 16 : 10;
            *static_cast<int32_t *>(dest) = (int32_t)std::strtol(value, nullptr, base);
        }
        break;
    case RES_T_SHORT:
        if (std::isdigit((unsigned char)value[0])) *static_cast<int16_t *>(dest) = (int16_t)std::strtol(value, nullptr, 10);
        break;
    case RES_T_UINT:
        if (std::isdigit((unsigned char)value[0])) *static_cast<int32_t *>(dest) = (int32_t)std::strtol(value, nullptr, 10);
        break;
    case RES_T_FLOAT:
        *static_cast<float *>(dest) = std::strtof(value, nullptr);
        break;
    case RES_T_TEXT:
        *static_cast<const char **>(dest) = value;
        break;
    case RES_T_COPY:
        strntcpy(static_cast<char *>(dest), value, RES_COPY_SIZE);
        break;
    case RES_T_PATH: {
        size_t n = std::strlen(value);
        char *path = static_cast<char *>(std::malloc(n + 2));
        if (!path) break;
        if (stricmp(value, "none") == 0) path[0] = '\0';
        else {
            std::memcpy(path, value, n + 1);
            FILE_add_path_delim(path);
        }
        *static_cast<char **>(dest) = path;
        break;
    }
    case RES_T_DEVICE: {
        const char *comma = std::strchr(value, ',');
        std::string first = comma ? std::string(value, comma) : std::string(value);
        if (first.empty()) FLAG_set(FLAG_DEVICE, 1);
        else RES_set_device(first.c_str());
        if (comma) *static_cast<const char **>(dest) = comma + 1;
        break;
    }
    case RES_T_INT_ANY:
        *static_cast<int32_t *>(dest) = (int32_t)std::strtol(value, nullptr, 10);
        break;
    case RES_T_REGION:
    case RES_T_DOMAIN:
        if (HOOK_table().decode_domain) HOOK_table().decode_domain(value, static_cast<DOM *>(dest));
        break;
    default:
        // 11, 14, 15 and 21 are read as text by their users.
        break;
    }
    return 1;
}

// ---- program and argument vector ----

void RES_setCL(int argc, char **argv)
{
    saved_argc = argc;
    saved_argv = argv;
}

const char *RES_get_prog() { return (saved_argc > 0 && saved_argv) ? saved_argv[0] : nullptr; }

char *RES_get_progname(char *buffer)
{
    const char *prog = RES_get_prog();
    const char *name = "ZYR";
    if (prog) {
        const char *slash = std::strrchr(prog, '/');
        name = slash ? slash + 1 : prog;
    }
    if (!buffer) {
        buffer = static_cast<char *>(std::malloc(std::strlen(name) + 1));
        if (!buffer) return const_cast<char *>("ZYR");
        std::strcpy(buffer, name);
        return buffer;
    }
    strntcpy(buffer, name, RES_COPY_SIZE);
    return buffer;
}

// ---- set-up ----

int RES_decode(const char *prog, const char *cls, int argc, char **argv, RES_DESC *desc)
{
    // cls names the program's class for X resources, which are not
    // consulted here.
    (void)cls;
    set_descs(desc);
    RES_setCL(argc, argv);
    char progname[RES_COPY_SIZE];
    if (prog) {
        const char *slash = std::strrchr(prog, '/');
        strntcpy(progname, slash ? slash + 1 : prog, RES_COPY_SIZE);
    } else {
        RES_get_progname(progname);
    }
    DEF_prog(progname);

    if (const char *def = std::getenv("zyrdefault")) RES_new(NOT_DECLARED, "default", def, RES_T_TEXT);
    // A loop window that stops answering, or a domain prompt answered with
    // "exit", requests the program's end: the set-up stops there.
    first_pass(argc, argv);
    defaults_files();
    if (ZYR_exit_requested()) return -1;
    environment(progname);
    second_pass(argc, argv);
    if (lw_queue >= 0) {
        char reply[MQ_TEXT_SIZE];
        MQ_put(lw_queue, lw_channel, "quit");
        MQ_get(lw_queue, lw_channel, reply);
        lw_queue = lw_channel = -1;
    }
    if (ZYR_exit_requested()) return -1;
    convert_all();
    return ZYR_exit_requested() ? -1 : 0;
}

int RES_init(int argc, char **argv, const int *keyed_ids, const int *positional_ids)
{
    FLAG_reset(-9999);
    own_desc.clear();
    for (const int *id = keyed_ids; id && *id; ++id) {
        own_desc.emplace_back();
        if (HOOK_table().catalogue_entry) HOOK_table().catalogue_entry(&own_desc.back(), *id);
    }
    for (const int *id = positional_ids; id && *id; ++id) {
        own_desc.emplace_back();
        if (HOOK_table().catalogue_entry) HOOK_table().catalogue_entry(&own_desc.back(), *id);
    }
    own_desc.push_back(RES_DESC{nullptr, nullptr, nullptr, 0, 0, nullptr, nullptr});
    if (RES_decode(argc > 0 && argv ? argv[0] : nullptr, "Zyr", argc, argv, own_desc.data()) != 0) return -1;
    if (const char *tz = std::getenv("zyrtz"); tz && HOOK_table().set_time_zone)
        HOOK_table().set_time_zone(tz);
    return 1;
}

// ---- comma lists ----

// The array and the copy of the text live in one allocation: the pointers
// first, the text behind them, so one free releases both.
int parse_string(const char *text, char separator, int *count, char ***array)
{
    *count = 0;
    *array = nullptr;
    if (!text) return -1;
    size_t len = std::strlen(text);
    while (len > 0 && text[len - 1] == separator) --len;
    // A text made only of separators holds no field at all.
    if (len == 0) return -1;
    int n = 1;
    for (size_t i = 0; i < len; ++i)
        if (text[i] == separator) ++n;
    size_t head = sizeof(char *) * (size_t)n;
    char *block = static_cast<char *>(std::malloc(head + len + 1));
    if (!block) return -1;
    char **ptrs = reinterpret_cast<char **>(block);
    char *copy = block + head;
    std::memcpy(copy, text, len);
    copy[len] = '\0';
    int k = 0;
    ptrs[k++] = copy;
    for (size_t i = 0; i < len; ++i)
        if (copy[i] == separator) {
            copy[i] = '\0';
            ptrs[k++] = copy + i + 1;
        }
    *count = n;
    *array = ptrs;
    return 0;
}

void free_parsed_array(int count, char **array)
{
    (void)count;
    std::free(array);
}
