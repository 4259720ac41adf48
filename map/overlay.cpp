// The map overlay: the map list and its selection rules (phases, regional
// gates, size conditions), the kinds of items it draws, the grid settings,
// point thinning and the plot callback.
#include <cctype>
#include <cstdarg>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/hooks.h"
#include "core/res.h"
#include "core/util.h"
#include "files/file.h"
#include "gks/attrib.h"
#include "gks/drivers/meta.h"
#include "gks/gks.h"
#include "map/dom_internal.h"
#include "map/map.h"
#include "map/overlay_internal.h"

namespace {

constexpr size_t NAME_MAX_LEN = 249;
constexpr size_t FORMAT_MAX_LEN = 39;
// "fi:" lists may name further lists; deeper than this is a loop.
constexpr int MAX_LIST_DEPTH = 4;
// Longest item taken from a list: longer ones are no file name or gate.
constexpr size_t ITEM_MAX_LEN = 249;
// Items one drawing takes, "fi:" expansions included: lists naming lists
// could otherwise multiply into more items than any map needs.
constexpr int MAX_ITEMS = 256;

std::string map_name;
std::string format;
float latln = 0, lonln = 0;
int dot = 0, extra = 0;
int over = 0;
int reg_found = 1;
int fill = 0;
int fill_cont = 0;
int grid_limit = 0;
std::vector<unsigned char> grid;
int plot_grid_len = 0;
int list_depth = 0;
int items_taken = 0;
MAP_TEXT_SINK text_sink = nullptr;

bool is_earth(int proj) { return proj >= 1 && proj <= 9; }

// Parses attribute text; "none" as the colour means "do not draw".
bool apply_line_attr(const std::string &text, ATTRIB *rec)
{
    ATTRIB_init(rec);
    ATTRIB_parse(text.c_str(), rec);
    std::string first = text.substr(0, text.find(':'));
    return stricmp(first.c_str(), "none") != 0;
}

// The grid's attributes: resource color_line, else the projection's default.
bool grid_attributes()
{
    const bool earth = is_earth(MAP_get_proj());
    const char *res = RES_get("color_line");
    std::string text = res ? res : (earth ? "magenta:s4" : "red");
    ATTRIB rec;
    if (!apply_line_attr(text, &rec)) return false;
    gset_linetype(4);  // the style preset; the attributes may change it
    GPH_line_attr(&rec);
    GPH_text_attr(&rec, (earth ? 0.018f : 0.015f) * MAP_get_vert());
    return true;
}

// Size conditions "s+N:", ">N<M:", "s-N:", "<N>M:" in the fixed order of
// tests.  Returns false when the item is not to be drawn; strips what it
// tested.  A prefix without its ":" is malformed: the item is skipped
// with a message, since its file name cannot be told from its value.
bool size_conditions(std::string *item)
{
    static const char *const order[] = {"s+", ">", "s-", "<", "s+", ">"};
    const float h = MAP_get_vert();
    for (int k = 0; k < 6; ++k) {
        const char *pre = order[k];
        size_t n = std::strlen(pre);
        if (item->compare(0, n, pre) != 0) continue;
        size_t colon = item->find(':');
        if (colon == std::string::npos) {
            MESS_print(MESS_WARN, "MAP_process: Malformed size condition: %s\n", item->c_str());
            return false;
        }
        std::string val = item->substr(n, colon - n);
        float a = NAN, b = NAN;
        bool ok = true;
        if (k == 0 || k == 4) ok = h >= std::strtof(val.c_str(), nullptr);
        else if (k == 2) ok = h <= std::strtof(val.c_str(), nullptr);
        else if (k == 1) {
            int got = std::sscanf(val.c_str(), "%f<%f", &a, &b);
            ok = got >= 1 && h >= a && (got < 2 || h <= b);
        } else if (k == 5) {
            ok = std::sscanf(val.c_str(), "%f", &a) == 1 && h >= a;
        } else {  // "<N>M": between M and N
            int got = std::sscanf(val.c_str(), "%f>%f", &a, &b);
            ok = got >= 1 && h <= a && (got < 2 || h >= b);
        }
        if (!ok) return false;
        item->erase(0, colon + 1);
    }
    return true;
}

void gate(const std::string &item)
{
    if (reg_found == 2) {
        reg_found = -1;
        return;
    }
    float v[5] = {0, 0, 0, 0, 1000};
    int got = std::sscanf(item.c_str() + 1, "%f,%f,%f,%f,%f", &v[0], &v[1], &v[2], &v[3], &v[4]);
    bool match = true;
    if (got >= 4) {
        if (v[0] > v[1]) std::swap(v[0], v[1]);
        if (v[2] > v[3]) std::swap(v[2], v[3]);
        const DOM *d = MAP_get_domain(nullptr);
        match = d->clat >= v[0] && d->clat <= v[1] && d->clon >= v[2] && d->clon <= v[3] && MAP_get_vert() <= v[4];
    }
    if (match) reg_found = 2;
    else if (reg_found == 1) reg_found = 0;
}

// "im:"/"if:" FILE [":" COLOUR ":" X ":" Y].  "if:" positions are given in
// thousandths of the normalised device unit and turned into window pixels.
int image_item(const std::string &item, bool ndc)
{
    std::string rest = item.substr(3);
    size_t colon = rest.find(':');
    std::string file = rest.substr(0, colon);
    char colour[64] = "";
    int x = 0, y = 0;
    if (colon != std::string::npos) {
        const char *opt = rest.c_str() + colon;
        if (std::sscanf(opt, ":%63[^:]:%d:%d", colour, &x, &y) < 1) std::sscanf(opt, "::%d:%d", &x, &y);
    }
    MAP_status("Map-image: %s", file.c_str());
    char path[FILE_NAME_SIZE];
    FILE_add_path(RES_get("image_path"), file.c_str(), path);
    if (ndc) {
        x = (int)xNDC_p((float)x / 1000.0f);
        y = (int)yNDC_p((float)y / 1000.0f);
    }
    return goverlay_image_file(path, colour[0] ? colour : nullptr, x, y) == 0 ? 0 : -1;
}

// "rf:" FILE: a station file of "lat lon [label]" lines drawn as markers in
// the colour of resource color_data (default "green"), thinned by the
// point-thinning grid.  This is the program's own simple station plot.
int station_item(const std::string &file)
{
    MAP_status("Map-rawfile: %s", file.c_str());
    std::string path = DOM_find_file(file.c_str());
    FILE *fp = DOM_open_regular(path, "r");
    if (!fp) {
        MESS_print(MESS_WARN, "MAP_process: Station file not found: %s\n", path.c_str());
        return -1;
    }
    ATTRIB rec;
    ATTRIB_get("color_data", "green", &rec);
    GPH_mark_attr(&rec, 1.0f);
    MAP_plot_grid_init();
    char line[256];
    int n = 0;
    while (std::fgets(line, sizeof line, fp)) {
        float lat, lon, x, y;
        if (std::sscanf(line, "%f %f", &lat, &lon) != 2 || !MAP_tran(&x, &y, lat, lon)) continue;
        if (!MAP_in_domain(x, y) || !MAP_plot_grid(x, y)) continue;
        const float p[2] = {x, y};
        gpolymarker(1, p);
        ++n;
    }
    std::fclose(fp);
    return n > 0 ? 0 : -1;
}

int lalo_item(const std::string &item)
{
    // "lalo" and one separator character, then LAT[:LON][:ATTRIBUTES].
    std::string rest = item.size() > 5 ? item.substr(5) : "";
    float a = 5, b = NAN;
    std::string attrs;
    size_t c1 = rest.find(':');
    std::string first = rest.substr(0, c1);
    if (!first.empty()) a = std::strtof(first.c_str(), nullptr);
    if (c1 != std::string::npos) {
        std::string tail = rest.substr(c1 + 1);
        size_t c2 = tail.find(':');
        char *end = nullptr;
        std::string second = tail.substr(0, c2);
        float v = std::strtof(second.c_str(), &end);
        if (!second.empty() && end && *end == '\0') {
            b = v;
            if (c2 != std::string::npos) attrs = tail.substr(c2 + 1);
        } else {
            attrs = tail;
        }
    }
    if (std::isnan(b)) b = a;
    MAP_status("Map-lalo: %.1f,%.1f", a, b);
    if (!grid_attributes()) return -1;
    if (!attrs.empty()) {
        ATTRIB rec;
        if (!apply_line_attr(attrs, &rec)) return -1;
        GPH_line_attr(&rec);
    }
    return MAP_lines(a, b) == 0 ? 0 : -1;
}

int map_file_item(const std::string &item)
{
    size_t colon = item.find(':');
    std::string file = item.substr(0, colon);
    MAP_status("Map: %s", file.c_str());
    greset_line();
    greset_fill();
    std::string attrs;
    if (colon != std::string::npos) attrs = item.substr(colon + 1);
    else if (!format.empty()) attrs = format;
    else {
        const char *r = RES_get(fill_cont ? "color_cmap" : "color_map");
        attrs = r ? r : (fill_cont ? "black" : "red");
    }
    ATTRIB rec;
    bool draw = apply_line_attr(attrs, &rec);
    GPH_line_attr(&rec);
    // Filling, once a map item asks for it, stays on for the later map
    // files of the process: a list that fills land ("cont.map:fi=0") is
    // meant to fill every outline file after it the same way.
    if (rec.fill != ATTRIB_UNSET) {
        GPH_fill_attr(&rec);
        fill = 1;
    }
    std::string path = DOM_find_file(file.c_str());
    FILE *fp = DOM_open_regular(path, "rb");
    if (!fp) {
        MESS_print(MESS_WARN, "MAP_process: Map file not found: %s\n", path.c_str());
        return -1;
    }
    int r = -1;
    // The line type after greset_line is solid unless the attributes set one.
    const bool solid = rec.style == ATTRIB_UNSET || rec.style == 1;
    const float width = rec.width != (float)ATTRIB_UNSET ? rec.width : 1.0f;
    if (draw && is_earth(MAP_get_proj())) r = (solid ? MAP_map_solid(fp, width) : MAP_map(fp)) == 0 ? 0 : -1;
    std::fclose(fp);
    return r;
}

void process_list_file(const std::string &name);

// An item as it comes from the list: "fi:" lists are expanded here.
void process_word(const std::string &word)
{
    if (++items_taken > MAX_ITEMS) {
        if (items_taken == MAX_ITEMS + 1)
            MESS_print(MESS_WARN, "MAP_draw: More than %d map list items; the rest are skipped\n", MAX_ITEMS);
        return;
    }
    if (word.size() > ITEM_MAX_LEN) {
        MESS_print(MESS_WARN, "MAP_draw: Map list item too long: %.40s...\n", word.c_str());
        return;
    }
    if (word.compare(0, 3, "fi:") == 0) process_list_file(word.substr(3));
    else MAP_process(word.c_str());
}

void process_list_file(const std::string &name)
{
    if (list_depth >= MAX_LIST_DEPTH) {
        MESS_print(MESS_WARN, "MAP_draw: Map list files nested too deeply: %s\n", name.c_str());
        return;
    }
    std::string path = DOM_find_file(name.c_str());
    FILE *fp = DOM_open_regular(path, "r");
    if (!fp) {
        MESS_print(MESS_WARN, "MAP_draw: Unable to open map list file: %s\n", path.c_str());
        return;
    }
    ++list_depth;
    std::string word;
    int c;
    auto flush = [&] {
        if (!word.empty()) process_word(word);
        word.clear();
    };
    while ((c = std::fgetc(fp)) != EOF) {
        // "#" at the start of a word comments out the rest of its line.
        if (c == '#' && word.empty()) {
            while ((c = std::fgetc(fp)) != EOF && c != '\n') {
            }
            continue;
        }
        if (std::isspace(c)) flush();
        else if (word.size() <= ITEM_MAX_LEN) word.push_back((char)c);
    }
    flush();
    --list_depth;
    std::fclose(fp);
}

bool setup_done = false;

// Without a list from the program or the map_file resource, the fixed rule
// of MAP_default_list.  (The bundled map ladder reaches a new user through
// the map_file line of the bundled defaults file.)
void choose_default_list()
{
    const DOM *d = MAP_get_domain(nullptr);
    map_name = MAP_default_list(d, setup_done ? MAP_get_vert() : -1.0f);
}

}  // namespace

// North American domains get "zyr.map", others the world files.  Before
// MAP_setup has put the picture's window in place (the driver's first
// phase-1 call; height < 0), the map height is taken from the current
// domain's own size, (ny-1)*dy, rather than from a window that does not
// belong to it yet.
const char *MAP_default_list(const DOM *d, float height)
{
    float h = height >= 0 ? height : ((float)d->ny - 1.0f) * d->dy;
    bool na = d->clat > 25 && d->clat < 80 && d->clon > -160 && d->clon < -65 && h < 75;
    return na ? "zyr.map" : "cont.map,country.map";
}

int MAP_get_fill() { return fill; }
int MAP_get_extra() { return extra; }

void MAP_set_text_sink(MAP_TEXT_SINK sink) { text_sink = sink; }

void MAP_emit_text(float x, float y, const char *text)
{
    if (text_sink) {
        text_sink(x, y, text);
        return;
    }
    const float p[2] = {x, y};
    gtext(p, text);
}

int MAP_setup(const DOM *dom)
{
    MAP_domain(dom);
    float L[4];
    MAP_get_limits(L);
    gset_win(2, L);
    gsel_norm_tran(2);
    setup_done = true;
    return 0;
}

int MAP_draw(int phase)
{
    if (!FLAG_getplot(PLOT_MAP)) return 0;
    if (const char *r = RES_get("map_file")) map_name.assign(r, 0, NAME_MAX_LEN);
    if (map_name.empty()) choose_default_list();
    over = phase;
    gsel_norm_tran(2);
    greset_line();
    // Map labels use the first font of the list; the kernel numbers fonts
    // from 1, so "font 0" means that first one.
    const int font[2] = {1, 0};
    gset_fontprec(font);
    reg_found = 1;
    items_taken = 0;
    MAP_grid_budget(MAP_GRID_BUDGET);
    int count = 0;
    char **items = nullptr;
    parse_string(map_name.c_str(), ',', &count, &items);
    for (int i = 0; i < count; ++i) process_word(items[i]);
    free_parsed_array(count, items);
    if (latln > 0 && grid_attributes()) MAP_lines(latln, lonln);
    MAP_grid_budget(-1);
    return 0;
}

std::string MAP_draw_key(int phase)
{
    if (text_sink || MAP_has_line_sink()) return "";
    std::string k;
    auto add = [&k](const void *p, size_t n) { k.append((const char *)p, n); };
    const int plot = FLAG_getplot(PLOT_MAP);
    add(&phase, sizeof phase);
    add(&plot, sizeof plot);
    add(MAP_get_domain(nullptr), sizeof(DOM));
    for (float v : {latln, lonln}) add(&v, sizeof v);
    for (int v : {dot, extra, fill, fill_cont, grid_limit, (int)setup_done}) add(&v, sizeof v);
    // Strings end with a byte no text holds, so that no two lists run together.
    auto text = [&k](const std::string &t) { k.append(t).push_back('\xff'); };
    text(map_name);
    text(format);
    for (const char *r : {"map_file", "color_map", "color_cmap", "color_line", "color_data", "image_path",
                          "file_path", "data_path"}) {
        const char *v = RES_get(r);
        text(v ? v : "\xfe");
    }
    return k;
}

int MAP_process(const char *text)
{
    if (!text) return -1;
    std::string item = text;
    int need = 4;
    if (!item.empty() && (item[0] == '-' || item[0] == '+')) {
        need = item[0] == '-' ? 1 : 2;
        item.erase(0, 1);
    }
    if (!(over & need)) return -1;
    if (!item.empty() && item[0] == '[') {
        gate(item);
        return -1;
    }
    if (reg_found < 1) return -1;
    if (!size_conditions(&item) || item.empty()) return -1;
    if (item.compare(0, 3, "im:") == 0) return image_item(item, false);
    if (item.compare(0, 3, "if:") == 0) return image_item(item, true);
    if (item.compare(0, 3, "mf:") == 0) {
        MAP_status("Map-metafile: %s", item.c_str() + 3);
        return gread_metafile(DOM_find_file(item.c_str() + 3).c_str()) == 0 ? 0 : -1;
    }
    if (item.compare(0, 3, "rf:") == 0) return station_item(item.substr(3));
    if (item.compare(0, 4, "lalo") == 0) return lalo_item(item);
    return map_file_item(item);
}

int MAP_file(const char *name)
{
    map_name.assign(name ? name : "", 0, NAME_MAX_LEN);
    return 0;
}

const char *MAP_get_file() { return map_name.c_str(); }

int MAP_set_format(const char *text)
{
    format.assign(text ? text : "", 0, FORMAT_MAX_LEN);
    return 0;
}

int MAP_fill_cont(int flag)
{
    fill_cont = flag;
    return 0;
}

int MAP_latlon(int d, int e, float latsp, float lonsp)
{
    dot = d;
    extra = e;
    latln = latsp;
    lonln = lonsp;
    return 0;
}

int MAP_get_latlon(float *latsp, float *lonsp)
{
    if (latsp) *latsp = latln;
    if (lonsp) *lonsp = lonln;
    return 0;
}

int MAP_get_window(float out4[4]) { return GPH_get_win(2, out4); }

float MAP_get_vert()
{
    float w[4] = {0, 0, 0, 0};
    if (GPH_get_win(2, w) != 0) return 0;
    return std::fabs(w[3] - w[2]);
}

float MAP_get_hor()
{
    float w[4] = {0, 0, 0, 0};
    if (GPH_get_win(2, w) != 0) return 0;
    return std::fabs(w[1] - w[0]);
}

int MAP_draw_circle(float x, float y, float radius)
{
    float pts[2 * 49];
    int n = 0;
    for (int i = 0; i < 49; ++i) {
        float px, py;
        MAP_offset(&px, &py, x, y, 7.5f * (float)i, radius);
        if (px == -9999.0f) continue;
        pts[2 * n] = px;
        pts[2 * n + 1] = py;
        ++n;
    }
    if (n >= 2) MAP_emit_line(n, pts);
    return 0;
}

int MAP_set_plot_limit(int n)
{
    grid_limit = n;
    return 0;
}

int MAP_plot_grid_init()
{
    grid.clear();
    plot_grid_len = 0;
    const DOM *d = MAP_get_domain(nullptr);
    if (grid_limit == 0 || d->nx <= 0 || d->ny <= 0) return 0;
    int64_t n = (int64_t)d->nx * d->ny;
    if (grid_limit > 1) n *= (int64_t)grid_limit * grid_limit;
    // A cell table beyond this would be no thinning anyone meant.
    if (n > (int64_t)1 << 26) return -1;
    grid.assign((size_t)n, 0);
    plot_grid_len = (int)n;
    return 0;
}

int MAP_plot_grid(float x, float y)
{
    if (grid_limit == 0 || grid.empty() || grid_limit == -1) return 1;
    float i, j;
    if (MAP_grid_untran(&i, &j, x, y) != 0) return 0;
    const DOM *d = MAP_get_domain(nullptr);
    if (!(i >= 0 && j >= 0 && i <= (float)(d->nx - 1) && j <= (float)(d->ny - 1))) return 0;
    int64_t cell;
    const int n = grid_limit;
    if (n > 1) cell = (int64_t)std::trunc(std::trunc(j * n) * d->nx * n + i * n);
    else cell = (int64_t)std::trunc(std::trunc(j / std::abs(n)) * d->nx + i / std::abs(n));
    if (cell < 0 || cell >= plot_grid_len) return 0;
    if (grid[(size_t)cell]) return 0;
    grid[(size_t)cell] = 1;
    return 1;
}

void MAP_status(const char *fmt, ...)
{
    char buf[257];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (HOOK_table().plot_message) HOOK_table().plot_message(buf);
}

// The plot session answers the window's events; the map layer only sorts
// them (through the plot layer's hooks).
int MAP_callback(int kind, const char *name, float x, float y)
{
    const HOOKS &h = HOOK_table();
    if (name && std::strcmp(name, "size") == 0) return h.plot_resize ? h.plot_resize(name) : 0;
    if (kind == 3 && name && strnicmp(name, "zoom", 4) == 0) return h.plot_zoom ? h.plot_zoom(name, x, y) : 0;
    return h.plot_values ? h.plot_values(name, x, y) : 0;
}

void MAP_reset_overlay()
{
    map_name.clear();
    format.clear();
    latln = lonln = 0;
    dot = extra = 0;
    over = 0;
    reg_found = 1;
    fill = 0;
    fill_cont = 0;
    grid_limit = 0;
    grid.clear();
    plot_grid_len = 0;
    list_depth = 0;
    items_taken = 0;
    text_sink = nullptr;
    setup_done = false;
    MAP_set_line_sink(nullptr);
    MAP_grid_budget(-1);
}
