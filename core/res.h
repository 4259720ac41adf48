// The resource system: every setting of the program is a named text value.
// Values come from defaults files, the loop-window process, the environment
// and the command line (in rising priority), are kept in one list of
// name/value pairs and are converted to the type a reader asks for.
#pragma once

#include <cstdio>

// Conversion types.
enum {
    RES_T_BOOL = 1,
    RES_T_INT = 2,        // decimal, or hexadecimal after "0x"
    RES_T_SHORT = 3,
    RES_T_UINT = 4,
    RES_T_FLOAT = 5,
    RES_T_TEXT = 6,       // destination gets a pointer to the stored value
    RES_T_COPY = 7,       // copied into the caller's buffer
    RES_T_PATH = 8,
    RES_T_MESSAGE = 9,
    RES_T_DRAW = 10,
    RES_T_CURRENT = 11,
    RES_T_HOUR = 12,
    RES_T_REGION = 13,
    RES_T_NAME_CONV = 14,
    RES_T_INGESTOR = 15,
    RES_T_FILE_PARAM = 16,
    RES_T_DEVICE = 17,
    RES_T_PLOT_TYPE = 18,
    RES_T_INT_ANY = 19,
    RES_T_DOMAIN = 20,
    RES_T_LIST = 21,
    RES_T_BATCH = 22,
    RES_T_HELP = 23,
};

// Size of the buffer a RES_T_COPY destination must provide; longer values
// are cut to fit.
constexpr int RES_COPY_SIZE = 160;
// Longest option key taken from the command line.
constexpr int RES_KEY_SIZE = 49;
// Longest defaults-file line.
constexpr int DEF_LINE_SIZE = 249;

// Resource ids of the fixed catalogue.  Lists of ids passed to RES_init end
// with 0.
enum RES_ID {
    RES_END = 0,
    // declared by this program, in its order
    RES_HELP = 1, RES_BATCH, RES_MESSAGE, RES_FILE_PATH, RES_DATA_PATH, RES_CON_PATH,
    RES_GRID_PATH, RES_RAW_PATH, RES_IMAGE_PATH, RES_WATCH_PATH, RES_TEXT_PATH,
    RES_MODEL_PATH, RES_SAT_PATH, RES_CITY_FILE, RES_MAP_FILE, RES_INPUT, RES_OUTPUT,
    RES_NAME_CONV, RES_IN_FILE, RES_OUT_FILE, RES_FILE_PARAM, RES_CURRENT, RES_HOUR,
    RES_NUM_HOUR, RES_PLOT_DOMAIN, RES_GRID_DOMAIN, RES_REGION, RES_STAT_PRIOR,
    RES_PLOT_TYPE, RES_PLOT_SCALE, RES_PLOT_FORMAT, RES_PLOT_PARAM, RES_DRAW, RES_LABEL,
    RES_CON_INTERVAL, RES_CON_BASE, RES_FONT_LIST, RES_COLOR_TABLE, RES_COLOR_TEXT,
    RES_COLOR_DATA, RES_COLOR_MAP, RES_COLOR_GRID, RES_COLOR_LINE, RES_COLOR_FILL,
    RES_DEVICE, RES_TITLE, RES_ICON, RES_BACKGROUND, RES_GEOMETRY,
    RES_FILENAME,           // positional: every remaining argument, newline-joined
    // kept for the other programs of the suite
    RES_BULL_FILE = 100, RES_COLOR_CLABEL, RES_COLOR_CLOUD, RES_COLOR_CMAP, RES_COLOR_CONT,
    RES_COLOR_FRONT, RES_COLOR_HODO, RES_COLOR_HODTXT, RES_COLOR_LABEL, RES_COLOR_POP,
    RES_COLOR_SOUND, RES_COLOR_THERM, RES_COLOR_THRMTXT, RES_COLOR_WIND, RES_COLOR_WX,
    RES_COLOR_WATCH, RES_COMMAND, RES_COMMAND_LIST, RES_DECODE_HOUR, RES_FILENAME1,
    RES_FORECAST, RES_GRID_NUM, RES_GRID_TYPE, RES_IDENTIFIER, RES_INGESTOR, RES_LEVEL,
    RES_LOG_FILE, RES_MODEL, RES_OBJECT_PARAM, RES_PARAMETER, RES_PRODUCT, RES_STATE,
    RES_TABLE, RES_TIME, RES_VALUE, RES_VARIABLE, RES_WINDOW_NUM, RES_INPUT_IN,
};

// One row of the catalogue as a program declares it.
struct RES_DESC {
    const char *name;      // null ends a descriptor list
    const char *env;       // the resource's own environment variable
    const char *abbrev;    // command-line key; null for positional resources
    int position;          // positional: 1..9, or 10 for every remaining argument; 0 when keyed
    int type;              // conversion type
    void *dest;            // converted into at the end of decoding; null in this program
    int *count;            // RES_T_LIST: where the number of values goes
};

// ---- set-up ----
// RES_init returns 1, RES_decode 0; both -1 when the program is to end (a
// loop window stopped answering, a prompt was answered with "exit"; see
// ZYR_request_exit).
int RES_init(int argc, char **argv, const int *keyed_ids, const int *positional_ids);
int RES_decode(const char *prog, const char *cls, int argc, char **argv, RES_DESC *desc);
int RES_fill_obj(RES_DESC *desc, const char *name, const char *env, const char *abbrev,
                 int position, int type, void *dest, int *count);

// ---- the value list ----
int RES_new(int index, const char *name, const char *value, int type);
int RES_append(int index, const char *name, const char *value, int type);
const char *RES_get(const char *name);
int RES_getval(const char *name, void *dest, int type);
int RES_getvals(const char *name, int *count, char ***array);
int RES_put(const char *name, const char *value);
int RES_conv_data(const char *value, void *dest, int type);
int RES_set_device(const char *text);
int RES_set_draw(const char *value);
int RES_list();
// Empties the value list and forgets the descriptors, the argument vector
// and the program title; the state RES_init starts from.
void RES_clear();

// ---- program and argument vector ----
void RES_setCL(int argc, char **argv);
const char *RES_get_prog();
char *RES_get_progname(char *buffer);

// ---- help ----
int RES_help_print(const char *progname, const int *keyed_ids, const int *positional_ids);
int RES_help_item(int id);

// ---- comma lists ----
int parse_string(const char *text, char separator, int *count, char ***array);
void free_parsed_array(int count, char **array);

// ---- defaults files ----
void DEF_prog(const char *prog);
void DEF_name(const char *title);
FILE *DEF_open(const char *entry);
// Reads the next name/value pair that applies; 1 with a pair, 0 at the end.
// key gets at most DEF_LINE_SIZE characters and value likewise; both buffers
// must hold DEF_LINE_SIZE + 1 bytes.
int DEF_get(FILE *fp, char *key, char *value);
void DEF_close(FILE *fp);
int DEF_cmp(const char *resource, const char *key);
int DEF_valid(const char *key);
// The last component of a key: the text after its last "*" or ".".
const char *DEF_last_part(const char *key);
int DEF_add_tag(const char *tag);
int DEF_remove_tag(const char *tag);
int DEF_has_tag(const char *tag);
void DEF_clear_tags();
