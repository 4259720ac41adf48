// The fixed catalogue of resources, keyed by resource id, and the help text
// built from it.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"

namespace {

enum HelpKind {
    HELP_PLAIN,   // one line; further lines of the text are indented under it
    HELP_DOMAIN,  // syntax alone, then the text and the domain block
    HELP_REGION,  // as HELP_DOMAIN, followed by the region list
};

struct Entry {
    int id;
    const char *name;
    const char *abbrev;  // null for positional resources
    int position;
    const char *env;
    int type;
    const char *syntax;
    const char *help;
    HelpKind kind;
};

// clang-format off
const Entry catalogue[] = {
    {RES_HELP, "help", "h", 0, "zyrhelp", RES_T_HELP, "-h", "Print this help", HELP_PLAIN},
    {RES_BATCH, "batch", "ba", 0, "zyrbatch", RES_T_BATCH, "-ba", "Run program in batch mode", HELP_PLAIN},
    {RES_MESSAGE, "message", "me", 0, "zyrmess", RES_T_MESSAGE, "-me level",
     "Message level to be displayed:\nnone,print,error,warn,mess,out1,*out2,out3,out4,debug", HELP_PLAIN},
    {RES_FILE_PATH, "file_path", "fp", 0, "zyrfile", RES_T_PATH, "-fp path", "File path", HELP_PLAIN},
    {RES_DATA_PATH, "data_path", "dp", 0, "zyrdata", RES_T_PATH, "-dp path", "Raw data path", HELP_PLAIN},
    {RES_CON_PATH, "con_path", "cp", 0, "zyrcon", RES_T_PATH, "-cp path", "Converted data path", HELP_PLAIN},
    {RES_GRID_PATH, "grid_path", "gp", 0, "zyrgrid", RES_T_PATH, "-gp path", "Gridded data path", HELP_PLAIN},
    {RES_RAW_PATH, "raw_path", "rp", 0, "zyrraw", RES_T_PATH, "-rp path", "Raw files path", HELP_PLAIN},
    {RES_IMAGE_PATH, "image_path", "ip", 0, "zyrimage", RES_T_TEXT, "-ip path", "Image file path", HELP_PLAIN},
    {RES_WATCH_PATH, "watch_path", "wp", 0, "zyrwatch", RES_T_PATH, "-wp path", "Watch file data path", HELP_PLAIN},
    {RES_TEXT_PATH, "text_path", "tp", 0, "zyrtext", RES_T_PATH, "-tp path", "Text file path", HELP_PLAIN},
    {RES_MODEL_PATH, "model_path", "mp", 0, "zyrmpath", RES_T_PATH, "-mp path", "Model file path", HELP_PLAIN},
    {RES_SAT_PATH, "sat_path", "sp", 0, "zyrsat", RES_T_PATH, "-sp path", "Satellite file path", HELP_PLAIN},
    {RES_CITY_FILE, "city_file", "cf", 0, "zyrcity", RES_T_TEXT, "-cf file", "City database file name", HELP_PLAIN},
    {RES_MAP_FILE, "map_file", "mf", 0, "zyrmap", RES_T_TEXT, "-mf file[,file]", "Map database files", HELP_PLAIN},
    {RES_INPUT, "input", "inp", 0, "zyrin", RES_T_TEXT, "-in type", "Type of input", HELP_PLAIN},
    {RES_OUTPUT, "output", "ou", 0, "zyrout", RES_T_TEXT, "-ou type", "Type of output", HELP_PLAIN},
    {RES_NAME_CONV, "name_conv", "nc", 0, "zyrnameconv", RES_T_NAME_CONV, "-nc type", "Naming convention file name", HELP_PLAIN},
    {RES_IN_FILE, "in_file", "if", 0, "zyrinfile", RES_T_TEXT, "-if type", "Input data file type", HELP_PLAIN},
    {RES_OUT_FILE, "out_file", "of", 0, "zyroutfile", RES_T_TEXT, "-of type", "Output file type", HELP_PLAIN},
    {RES_FILE_PARAM, "file_param", "pf", 0, "zyrfileparam", RES_T_FILE_PARAM, "-pf param", "File parameters: use,calc,over,app", HELP_PLAIN},
    {RES_CURRENT, "current", "cu", 0, "zyrcurrent", RES_T_CURRENT, "-cu [hour]", "Use current data file", HELP_PLAIN},
    {RES_HOUR, "hour", "ho", 0, "zyrhour", RES_T_HOUR, "-ho hour", "Actual hour of the file", HELP_PLAIN},
    {RES_NUM_HOUR, "num_hour", "nh", 0, "zyrnumhour", RES_T_TEXT, "-nh hour[,step]", "Number of hours to view", HELP_PLAIN},
    {RES_PLOT_DOMAIN, "plot_domain", "pd", 0, "zyrdomain", RES_T_DOMAIN,
     "-pd region or [proj],clat,clon[,nx,ny][,dx,dy]", "Output plot domain", HELP_DOMAIN},
    {RES_GRID_DOMAIN, "grid_domain", "gd", 0, "zyrgrddomain", RES_T_DOMAIN,
     "-gd region or [proj],clat,clon[,nx,ny][,dx,dy]", "Grid domain", HELP_DOMAIN},
    {RES_REGION, "region", "re", 0, "zyrregion", RES_T_REGION,
     "-re region or [proj],clat,clon[,nx,ny][,dx,dy]", "Region to be used for plotting and gridding", HELP_REGION},
    {RES_STAT_PRIOR, "stat_prior", "pr", 0, "zyrprior", RES_T_INT, "-pr prior", "Priority of stations used in the plot", HELP_PLAIN},
    {RES_PLOT_TYPE, "plot_type", "pl", 0, "zyrplot", RES_T_PLOT_TYPE, "-pl type", "Plot type: cf,lcf,ln,dln,ndln,value,none", HELP_PLAIN},
    {RES_PLOT_SCALE, "plot_scale", "sc", 0, "zyrscale", RES_T_FLOAT, "-sc scale", "Text and wind vector scale factor", HELP_PLAIN},
    {RES_PLOT_FORMAT, "plot_format", "fm", 0, "zyrformat", RES_T_TEXT, "-fm format", "Numeric format", HELP_PLAIN},
    {RES_PLOT_PARAM, "plot_param", "pp", 0, "zyrpltparam", RES_T_TEXT, "-pp param", "Plot parameters", HELP_PLAIN},
    {RES_DRAW, "draw", "dr", 0, "zyrdraw", RES_T_DRAW, "-dr param[,...]", "Draw components: text,data,sum,map,none", HELP_PLAIN},
    {RES_LABEL, "label", "la", 0, "zyrlabel", RES_T_TEXT, "-la label", "Plot labels", HELP_PLAIN},
    {RES_CON_INTERVAL, "con_interval", "in", 0, "zyrconint", RES_T_FLOAT, "-in intrvl", "Contour interval", HELP_PLAIN},
    {RES_CON_BASE, "con_base", "cb", 0, "zyrconbase", RES_T_FLOAT, "-cb base", "Color fill contour/vector base value", HELP_PLAIN},
    {RES_FONT_LIST, "font_list", "fl", 0, "zyrfontlist", RES_T_TEXT, "-fl list", "List of fonts to use", HELP_PLAIN},
    {RES_COLOR_TABLE, "color_table", "ct", 0, "zyrclrtbl", RES_T_TEXT, "-ct file", "Color table file name", HELP_PLAIN},
    {RES_COLOR_TEXT, "color_text", "cot", 0, "zyrclrtext", RES_T_TEXT, "-cot clr", "Text color", HELP_PLAIN},
    {RES_COLOR_DATA, "color_data", "cod", 0, "zyrclrdata", RES_T_TEXT, "-cod clr", "Data plotting color", HELP_PLAIN},
    {RES_COLOR_MAP, "color_map", "com", 0, "zyrclrmap", RES_T_TEXT, "-com clr", "line map color", HELP_PLAIN},
    {RES_COLOR_GRID, "color_grid", "cogr", 0, "zyrclrgrid", RES_T_TEXT, "-cogr clr", "grid color", HELP_PLAIN},
    {RES_COLOR_LINE, "color_line", "coln", 0, "zyrclrln", RES_T_TEXT, "-coln clr", "Lat-lon line color", HELP_PLAIN},
    {RES_COLOR_FILL, "color_fill", "cof", 0, "zyrclrfill", RES_T_TEXT, "-cof clr[,...]", "Fill contour colors", HELP_PLAIN},
    {RES_DEVICE, "device", "de", 0, "zyrdevice", RES_T_DEVICE, "-de dev[,name]", "Output device: d,p,q,w,m", HELP_PLAIN},
    {RES_TITLE, "title", "ti", 0, "zyrtitle", RES_T_TEXT, "-ti title", "Window title", HELP_PLAIN},
    {RES_ICON, "icon", "ic", 0, "zyricon", RES_T_BOOL, "-ic", "Open window iconified", HELP_PLAIN},
    {RES_BACKGROUND, "background", "bg", 0, "zyrback", RES_T_TEXT, "-bg clr", "Background color", HELP_PLAIN},
    {RES_GEOMETRY, "geometry", "ge", 0, "zyrgeometry", RES_T_TEXT, "-ge wxh+x+y", "Window geometry", HELP_PLAIN},
    {RES_FILENAME, "filename", nullptr, 10, "zyrfilename", RES_T_LIST, "file [file...]", "Input file names", HELP_PLAIN},

    // Resources of the other programs of the suite.
    {RES_BULL_FILE, "bull_file", "bf", 0, "zyrbull", RES_T_TEXT, "-bf file", "Bulletin file name", HELP_PLAIN},
    {RES_COLOR_CLABEL, "color_clabel", "cocl", 0, "zyrclrclabel", RES_T_TEXT, "-cocl clr", "Contour label color", HELP_PLAIN},
    {RES_COLOR_CLOUD, "color_cloud", "cocd", 0, "zyrclrcloud", RES_T_TEXT, "-cocd clr", "Cloud color", HELP_PLAIN},
    {RES_COLOR_CMAP, "color_cmap", "cocm", 0, "zyrclrcmap", RES_T_TEXT, "-cocm clr", "County map color", HELP_PLAIN},
    {RES_COLOR_CONT, "color_cont", "coc", 0, "zyrclrcont", RES_T_TEXT, "-coc clr[,...]", "Contour colors", HELP_PLAIN},
    {RES_COLOR_FRONT, "color_front", "cofr", 0, "zyrclrfront", RES_T_TEXT, "-cofr clr", "Front color", HELP_PLAIN},
    {RES_COLOR_HODO, "color_hodo", "coh", 0, "zyrclrhodo", RES_T_TEXT, "-coh clr", "Hodograph color", HELP_PLAIN},
    {RES_COLOR_HODTXT, "color_hodtxt", "coht", 0, "zyrclrhodtxt", RES_T_TEXT, "-coht clr", "Hodograph text color", HELP_PLAIN},
    {RES_COLOR_LABEL, "color_label", "cola", 0, "zyrclrlabel", RES_T_TEXT, "-cola clr", "Label color", HELP_PLAIN},
    {RES_COLOR_POP, "color_pop", "cop", 0, "zyrclrpop", RES_T_TEXT, "-cop clr", "Popup color", HELP_PLAIN},
    {RES_COLOR_SOUND, "color_sound", "cos", 0, "zyrclrsound", RES_T_TEXT, "-cos clr[,...]", "Sounding colors", HELP_PLAIN},
    {RES_COLOR_THERM, "color_therm", "coth", 0, "zyrclrtherm", RES_T_TEXT, "-coth clr", "Thermodynamic diagram color", HELP_PLAIN},
    {RES_COLOR_THRMTXT, "color_thrmtxt", "cott", 0, "zyrclrthrmtxt", RES_T_TEXT, "-cott clr", "Thermodynamic text color", HELP_PLAIN},
    {RES_COLOR_WIND, "color_wind", "cow", 0, "zyrclrwind", RES_T_TEXT, "-cow clr", "Wind color", HELP_PLAIN},
    {RES_COLOR_WX, "color_wx", "cowx", 0, "zyrclrwx", RES_T_TEXT, "-cowx clr", "Weather symbol color", HELP_PLAIN},
    {RES_COLOR_WATCH, "color_watch", "cowa", 0, "zyrclrwatch", RES_T_TEXT, "-cowa clr[,...]", "Watch box colors", HELP_PLAIN},
    {RES_COMMAND, "command", "cm", 0, "zyrcommand", RES_T_TEXT, "-cm command", "Command to run", HELP_PLAIN},
    {RES_COMMAND_LIST, "command", nullptr, 10, "zyrcommand", RES_T_LIST, "command [args...]", "Command to run", HELP_PLAIN},
    {RES_DECODE_HOUR, "decode_hour", "dh", 0, "zyrdecodehour", RES_T_TEXT, "-dh hours", "Hours to decode", HELP_PLAIN},
    {RES_FILENAME1, "filename", nullptr, 1, "zyrfilename", RES_T_COPY, "file", "Input file name", HELP_PLAIN},
    {RES_FORECAST, "forecast", "fc", 0, "zyrforecast", RES_T_TEXT, "-fc hour", "Forecast hour", HELP_PLAIN},
    {RES_GRID_NUM, "grid_num", "gn", 0, "zyrgridnum", RES_T_INT, "-gn num", "Grid number", HELP_PLAIN},
    {RES_GRID_TYPE, "grid_type", "gt", 0, "zyrgridtype", RES_T_TEXT, "-gt type", "Grid type", HELP_PLAIN},
    {RES_IDENTIFIER, "identifier", "id", 0, "zyrident", RES_T_TEXT, "-id ident", "Station identifier", HELP_PLAIN},
    {RES_INGESTOR, "ingestor", "ig", 0, "zyringest", RES_T_INGESTOR, "-ig name", "Data ingestor", HELP_PLAIN},
    {RES_LEVEL, "level", "le", 0, "zyrlevel", RES_T_TEXT, "-le level", "Level", HELP_PLAIN},
    {RES_LOG_FILE, "log_file", "lf", 0, "zyrlog", RES_T_TEXT, "-lf file", "Log file name", HELP_PLAIN},
    {RES_MODEL, "model", "mo", 0, "zyrmodel", RES_T_TEXT, "-mo model", "Model name", HELP_PLAIN},
    {RES_OBJECT_PARAM, "object_param", "op", 0, "zyrobjparam", RES_T_TEXT, "-op param", "Object parameters", HELP_PLAIN},
    {RES_PARAMETER, "parameter", "pa", 0, "zyrparam", RES_T_TEXT, "-pa param", "Parameter", HELP_PLAIN},
    {RES_PRODUCT, "product", "pro", 0, "zyrproduct", RES_T_TEXT, "-pro product", "Product", HELP_PLAIN},
    {RES_STATE, "state", "st", 0, "zyrstate", RES_T_TEXT, "-st state", "State", HELP_PLAIN},
    {RES_TABLE, "table", "tb", 0, "zyrtable", RES_T_TEXT, "-tb file", "Table file name", HELP_PLAIN},
    {RES_TIME, "time", "tm", 0, "zyrtime", RES_T_TEXT, "-tm time", "Time", HELP_PLAIN},
    {RES_VALUE, "value", nullptr, 10, "zyrvalue", RES_T_LIST, "value [value...]", "Values", HELP_PLAIN},
    {RES_VARIABLE, "variable", "va", 0, "zyrvariable", RES_T_TEXT, "-va var", "Variable to read from a netCDF input file", HELP_PLAIN},
    {RES_WINDOW_NUM, "window_num", "wn", 0, "zyrwindow_num", RES_T_INT, "-wn num", "Window number", HELP_PLAIN},
    {RES_INPUT_IN, "input", "in", 0, "zyrin", RES_T_TEXT, "-in type", "Type of input", HELP_PLAIN},
};
// clang-format on

const Entry *find(int id)
{
    for (const Entry &e : catalogue)
        if (e.id == id) return &e;
    return nullptr;
}

constexpr const char *INDENT_TEXT = "             ";        // 13 blanks: under the help text
constexpr const char *INDENT_BLOCK = "               ";      // 15 blanks
constexpr const char *INDENT_EXAMPLE = "                  ";  // 18 blanks

void print_domain_block()
{
    MESS_print(MESS_PRINT, "%sregion=predefined region:\n", INDENT_BLOCK);
    MESS_print(MESS_PRINT, "%sus,ne,at,se,mw,sp,nw,sw,etc\n", INDENT_EXAMPLE);
    MESS_print(MESS_PRINT, "%sproj=projection, clat=central latitude, clon=central longitude,\n", INDENT_BLOCK);
    MESS_print(MESS_PRINT, "%snx,ny=number of gridpoints and dx,dy=grid spacing\n", INDENT_BLOCK);
}

} // namespace

int RES_enter(RES_DESC *desc, int id)
{
    if (!desc) return -1;
    const Entry *e = find(id);
    if (!e) {
        std::printf("%d\n", id);
        *desc = RES_DESC{"", "", nullptr, 0, RES_T_TEXT, nullptr, nullptr};
        return -1;
    }
    *desc = RES_DESC{e->name, e->env, e->abbrev, e->position, e->type, nullptr, nullptr};
    return 0;
}

int RES_fill_obj(RES_DESC *desc, const char *name, const char *env, const char *abbrev, int position,
                 int type, void *dest, int *count)
{
    if (!desc) return -1;
    *desc = RES_DESC{name, env, abbrev, position, type, dest, count};
    return 0;
}

int RES_help_item(int id)
{
    const Entry *e = find(id);
    if (!e) return -1;
    if (e->kind != HELP_PLAIN) {
        MESS_print(MESS_PRINT, " %-10s\n", e->syntax);
        MESS_print(MESS_PRINT, "%s%s\n", INDENT_TEXT, e->help);
        print_domain_block();
        if (e->kind == HELP_REGION) MESS_print(MESS_PRINT, "%sus,ne,at,se,mw,sp,nw,sw,var\n", INDENT_EXAMPLE);
        return 0;
    }
    // The first line of the text stands beside the syntax, any further lines
    // under it.
    std::string text = e->help;
    size_t nl = text.find('\n');
    MESS_print(MESS_PRINT, " %-10s  %s\n", e->syntax, text.substr(0, nl).c_str());
    while (nl != std::string::npos) {
        size_t next = text.find('\n', nl + 1);
        MESS_print(MESS_PRINT, "%s%s\n", INDENT_TEXT, text.substr(nl + 1, next - nl - 1).c_str());
        nl = next;
    }
    return 0;
}

int RES_help_print(const char *progname, const int *keyed_ids, const int *positional_ids)
{
    const char *prog = progname ? progname : "";
    MESS_print(MESS_PRINT, "%s syntax (version:%s)\n", prog, ZYR_version());
    MESS_print(MESS_PRINT, "   %s [options...]\n", prog);
    MESS_print(MESS_PRINT, "Keyed options...\n");
    MESS_print(MESS_PRINT, " %-10s  Resource/defaults file name\n", "-df file");
    MESS_print(MESS_PRINT, " %-10s  Program name\n", "-na name");
    for (const int *id = keyed_ids; id && *id; ++id) RES_help_item(*id);
    MESS_print(MESS_PRINT, "Positional options...\n");
    for (const int *id = positional_ids; id && *id; ++id) RES_help_item(*id);
    return 0;
}
