// GOES-R fixed-grid netCDF: the file opened from memory, the variable
// chosen and unpacked as the netCDF conventions say (scale_factor,
// add_offset, _FillValue, _Unsigned, valid_range), placed on the fixed grid
// from goes_imager_projection and the x/y scan angles, and brought to the
// 8-bit counts the program displays: radiances calibrated to brightness
// temperature or reflectance, products linear over their valid range.
#include "image/abi.h"

#include <netcdf.h>
#include <netcdf_mem.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"
#include "core/workers.h"
#include "files/date.h"
#include "image/hdf5_probe.h"
#include "image/rdr_util.h"
#include "image/reader_formats.h"
#include "map/dom.h"

namespace {

constexpr uint32_t ERR = MESS_WARN;
constexpr const char *WHO = "SAT_read_ABI";
constexpr const char *PROJ_VAR = "goes_imager_projection";
// Largest grid side accepted (the 0.5 km full disk is 21696 pixels).
constexpr size_t MAX_SIDE = 50000;

ABI_DECODED last_decoded{};

// A classic netCDF header's lists are allocated from their declared
// lengths before they are read, so a forged length (billions of
// dimensions) would have the library allocate gigabytes.  The header is
// walked first: every list, name and attribute value must fit in the
// bytes there are.  true for other formats.
bool classic_header_fits(const unsigned char *b, size_t n)
{
    if (n < 4 || std::memcmp(b, "CDF", 3) || (b[3] != 1 && b[3] != 2 && b[3] != 5)) return true;
    const size_t w = b[3] == 5 ? 8 : 4;  // counts: 8 bytes in the 64-bit data form
    size_t at = 4;
    auto get = [&](size_t width, uint64_t *v) {
        if (width > n - at) return false;
        uint64_t x = 0;
        for (size_t i = 0; i < width; ++i) x = x << 8 | b[at + i];
        at += width;
        *v = x;
        return true;
    };
    auto skip = [&](uint64_t len) {
        if (len > n - at) return false;
        at += (size_t)((len + 3) & ~(uint64_t)3);
        return at <= n;
    };
    auto name = [&] {
        uint64_t len;
        return get(w, &len) && skip(len);
    };
    // A list: its tag and count (both 0: absent), each item at least four bytes.
    auto list = [&](uint64_t tag, auto item) {
        uint64_t t, count;
        if (!get(4, &t) || !get(w, &count)) return false;
        if (t == 0 && count == 0) return true;
        if (t != tag || count > (n - at) / 4) return false;
        for (uint64_t i = 0; i < count; ++i)
            if (!item()) return false;
        return true;
    };
    auto attribute = [&] {
        static const int size[] = {0, 1, 1, 2, 4, 4, 8, 1, 2, 4, 8, 8};
        uint64_t type, count;
        return name() && get(4, &type) && type >= 1 && type <= 11 && get(w, &count) &&
               count <= (n - at) / (uint64_t)size[type] && skip(count * (uint64_t)size[type]);
    };
    auto dimension = [&] {
        uint64_t len;
        return name() && get(w, &len);
    };
    auto variable = [&] {
        uint64_t dims, id, type, vsize, begin;
        if (!name() || !get(w, &dims) || dims > (n - at) / w) return false;
        for (uint64_t i = 0; i < dims; ++i)
            if (!get(w, &id)) return false;
        return list(0x0C, attribute) && get(4, &type) && get(w, &vsize) && get(b[3] == 1 ? 4 : 8, &begin);
    };
    uint64_t records;
    return get(w, &records) && list(0x0A, dimension) && list(0x0C, attribute) && list(0x0B, variable);
}

// An open netCDF dataset over a source's bytes, closed when this goes.
class NcMem {
public:
    ~NcMem()
    {
        if (id_ >= 0) nc_close(id_);
    }
    // false after a message naming the file when it cannot be opened.
    bool open(const IMG_SOURCE *source)
    {
        name_ = source->name;
        const unsigned char *bytes;
        size_t size;
        if (!rdr::source_span(source, WHO, hold_, &bytes, &size)) return false;
        // The library keeps the pointer for the life of the dataset; it
        // only reads through it (NC_NOWRITE).  A netCDF-4 file is opened
        // by a throw-away process first; a classic header is walked instead.
        if (!rdr::hdf5_open_survives(name_, bytes, size)) {
            MESS_print(ERR, "%s: %s: damaged netCDF-4 file: the HDF5 library fails on its header\n", WHO, name_);
            return false;
        }
        const int st = size < 8 || !classic_header_fits(bytes, size)
                           ? NC_ENOTNC
                           : nc_open_mem(name_, NC_NOWRITE, size, const_cast<unsigned char *>(bytes), &id_);
        if (st != NC_NOERR) {
            id_ = -1;
            MESS_print(ERR, "%s: %s: not a readable netCDF file: %s\n", WHO, name_, nc_strerror(st));
            return false;
        }
        return true;
    }
    int id() const { return id_; }
    const char *name() const { return name_; }

private:
    int id_ = -1;
    const char *name_ = "";
    std::vector<unsigned char> hold_;
};

// A text attribute ("" when absent or not text).
std::string text_att(int nc, int var, const char *att)
{
    nc_type t;
    size_t len;
    if (nc_inq_att(nc, var, att, &t, &len) != NC_NOERR || t != NC_CHAR || len > 4096) return "";
    std::string s(len, '\0');
    if (nc_get_att_text(nc, var, att, s.data()) != NC_NOERR) return "";
    s.resize(std::strlen(s.c_str()));
    return s;
}

// Up to n numbers of a numeric attribute; how many were read (0 when absent).
int num_att(int nc, int var, const char *att, double *v, int n)
{
    nc_type t;
    size_t len;
    if (nc_inq_att(nc, var, att, &t, &len) != NC_NOERR || t == NC_CHAR || t == NC_STRING || len < 1 ||
        len > (size_t)n)
        return 0;
    return nc_get_att_double(nc, var, att, v) == NC_NOERR ? (int)len : 0;
}

// Bits of an integer type, 0 for the floating types.
int int_bits(nc_type t)
{
    switch (t) {
    case NC_BYTE: case NC_UBYTE: return 8;
    case NC_SHORT: case NC_USHORT: return 16;
    case NC_INT: case NC_UINT: return 32;
    case NC_INT64: case NC_UINT64: return 64;
    default: return 0;
    }
}

bool is_signed_int(nc_type t) { return t == NC_BYTE || t == NC_SHORT || t == NC_INT || t == NC_INT64; }

// The netCDF library's own fill value of a type (what an unwritten value
// reads as when the variable names none).
double default_fill(nc_type t)
{
    switch (t) {
    case NC_BYTE: return NC_FILL_BYTE;
    case NC_UBYTE: return NC_FILL_UBYTE;
    case NC_SHORT: return NC_FILL_SHORT;
    case NC_USHORT: return NC_FILL_USHORT;
    case NC_INT: return NC_FILL_INT;
    case NC_UINT: return NC_FILL_UINT;
    case NC_FLOAT: return NC_FILL_FLOAT;
    case NC_DOUBLE: return NC_FILL_DOUBLE;
    default: return NAN;
    }
}

// How a variable's stored numbers become values: the packed number (read
// as unsigned when _Unsigned says so) is missing when it is the fill or
// missing value, outside the valid range or not a number; otherwise the
// value is number * scale + offset.
struct Packing {
    nc_type type = NC_NAT;
    bool is_unsigned = false;
    double scale = 1.0, offset = 0.0;
    std::vector<double> missing;  // fill and missing values, as packed numbers
    double lo = -INFINITY, hi = INFINITY;  // valid packed range
    bool has_range = false;

    // A signed integer's number read as the unsigned one of the same bits.
    double as_stored(double v) const
    {
        const int bits = int_bits(type);
        if (is_unsigned && is_signed_int(type) && v < 0 && bits < 64) v += std::ldexp(1.0, bits);
        return v;
    }
    bool valid(double raw) const
    {
        if (std::isnan(raw) || raw < lo || raw > hi) return false;
        for (double m : missing)
            if (raw == m) return false;
        return true;
    }
    double unpack(double raw) const { return raw * scale + offset; }
};

Packing packing_of(int nc, int var)
{
    Packing p;
    int nd;
    nc_inq_var(nc, var, nullptr, &p.type, &nd, nullptr, nullptr);
    p.is_unsigned = !strnicmp(text_att(nc, var, "_Unsigned").c_str(), "true", 5) ||
                    p.type == NC_UBYTE || p.type == NC_USHORT || p.type == NC_UINT || p.type == NC_UINT64;
    double v[2];
    if (num_att(nc, var, "scale_factor", v, 1) == 1 && std::isfinite(v[0])) p.scale = v[0];
    if (num_att(nc, var, "add_offset", v, 1) == 1 && std::isfinite(v[0])) p.offset = v[0];
    if (num_att(nc, var, "_FillValue", v, 1) == 1) p.missing.push_back(p.as_stored(v[0]));
    else if (int_bits(p.type) != 8 && !std::isnan(default_fill(p.type)))
        p.missing.push_back(p.as_stored(default_fill(p.type)));
    if (num_att(nc, var, "missing_value", v, 1) == 1) p.missing.push_back(p.as_stored(v[0]));
    if (num_att(nc, var, "valid_range", v, 2) == 2) {
        p.lo = p.as_stored(v[0]);
        p.hi = p.as_stored(v[1]);
        p.has_range = true;
    } else {
        if (num_att(nc, var, "valid_min", v, 1) == 1) p.lo = p.as_stored(v[0]), p.has_range = true;
        if (num_att(nc, var, "valid_max", v, 1) == 1) p.hi = p.as_stored(v[0]), p.has_range = true;
    }
    return p;
}

// A scalar variable's value (or the one value of a variable of one
// element, as band_id(band)); false when absent, not a number or fill.
bool scalar(int nc, const char *name, double *out)
{
    int var, nd, dim;
    size_t len = 1;
    if (nc_inq_varid(nc, name, &var) != NC_NOERR || nc_inq_varndims(nc, var, &nd) != NC_NOERR || nd > 1)
        return false;
    if (nd == 1 && (nc_inq_vardimid(nc, var, &dim) != NC_NOERR || nc_inq_dimlen(nc, dim, &len) != NC_NOERR))
        return false;
    if (len != 1) return false;
    double raw;
    if (nc_get_var_double(nc, var, &raw) != NC_NOERR) return false;
    const Packing p = packing_of(nc, var);
    if (!p.valid(p.as_stored(raw))) return false;
    *out = p.unpack(p.as_stored(raw));
    return std::isfinite(*out);
}

std::string var_name(int nc, int var)
{
    char name[NC_MAX_NAME + 1] = "";
    nc_inq_varname(nc, var, name);
    return name;
}

// The grid's dimensions: those named y and x.
struct Grid {
    int ydim = -1, xdim = -1;
    size_t ny = 0, nx = 0;
};

bool is_grid_var(int nc, int var, const Grid &g)
{
    int nd, dims[NC_MAX_VAR_DIMS];
    nc_type t;
    if (nc_inq_var(nc, var, nullptr, &t, &nd, nullptr, nullptr) != NC_NOERR || nd != 2) return false;
    nc_inq_vardimid(nc, var, dims);
    return dims[0] == g.ydim && dims[1] == g.xdim && int_bits(t) + (t == NC_FLOAT || t == NC_DOUBLE) > 0;
}

bool is_quality_flag(int nc, int var)
{
    const std::string name = var_name(nc, var);
    return !name.compare(0, 3, "DQF") || text_att(nc, var, "standard_name") == "status_flag";
}

// The fixed-grid (y, x) variables of the file, in file order.
std::vector<int> grid_vars(int nc, const Grid &g)
{
    int n = 0;
    std::vector<int> out;
    if (nc_inq_nvars(nc, &n) != NC_NOERR) return out;
    for (int v = 0; v < n; ++v)
        if (is_grid_var(nc, v, g)) out.push_back(v);
    return out;
}

// The variable to read: the resource "variable", else Rad, else CMI, else
// the first variable on the projection grid that is not a quality flag;
// -1 after a message naming the file.
int choose_var(int nc, const char *file, const Grid &g)
{
    const std::vector<int> vars = grid_vars(nc, g);
    const char *want = RES_get("variable");
    if (want && *want) {
        for (int v : vars)
            if (var_name(nc, v) == want) return v;
        std::string list;
        for (int v : vars) list += (list.empty() ? "" : ", ") + var_name(nc, v);
        MESS_print(ERR, "%s: %s: no fixed-grid variable \"%s\"; the file has: %s\n", WHO, file, want,
                   list.empty() ? "none" : list.c_str());
        return -1;
    }
    for (const char *name : {"Rad", "CMI"})
        for (int v : vars)
            if (var_name(nc, v) == name) return v;
    for (int v : vars)
        if (text_att(nc, v, "grid_mapping") == PROJ_VAR && !is_quality_flag(nc, v)) return v;
    MESS_print(ERR, "%s: %s: no two-dimensional (y, x) field on the fixed grid\n", WHO, file);
    return -1;
}

// A scan-angle coordinate's first value and step, from its own packing
// applied to the stored numbers (a sector may keep the full disk's offset
// and start its numbers anywhere).
bool axis(int nc, const char *name, size_t n, double *first, double *step)
{
    int var, nd;
    if (n < 2 || nc_inq_varid(nc, name, &var) != NC_NOERR || nc_inq_varndims(nc, var, &nd) != NC_NOERR ||
        nd != 1)
        return false;
    const Packing p = packing_of(nc, var);
    double raw[3];
    const size_t at[3] = {0, n / 2, n - 1};
    for (int k = 0; k < 3; ++k)
        if (nc_get_var1_double(nc, var, &at[k], &raw[k]) != NC_NOERR) return false;
    const double a = p.unpack(p.as_stored(raw[0])), b = p.unpack(p.as_stored(raw[2]));
    *first = a;
    *step = (b - a) / (double)(n - 1);
    // An evenly spaced axis: the middle value where the first and the step
    // put it, within a hundredth of a pixel.
    const double mid = p.unpack(p.as_stored(raw[1]));
    return std::isfinite(*step) && std::fabs(mid - (a + *step * (double)(n / 2))) <= 0.01 * std::fabs(*step);
}

// What the counts stand for and how a value becomes one.
struct Scale {
    int kind = IMG_VALUE_LINEAR;
    bool planck = false;  // radiance to brightness temperature
    double fk1 = 0, fk2 = 0, bc1 = 0, bc2 = 1;
    double gain = 1.0;    // radiance to reflectance (kappa0), or 1
    double lo = 0, hi = 1;  // linear range of the values

    // Count 1..255 for a valid value.
    int count(double v) const
    {
        if (kind == IMG_VALUE_TEMPERATURE) {
            double k = v;
            if (planck) k = v > 0 ? (fk2 / std::log(fk1 / v + 1.0) - bc1) / bc2 : 0.0;
            return rdr::ir_count(k);
        }
        const double r = kind == IMG_VALUE_REFLECTANCE ? v * gain : v;
        const double n = 1 + std::round((r - lo) / (hi - lo) * 254.0);
        return std::isnan(n) ? 1 : (int)std::clamp(n, 1.0, 255.0);
    }
};

// Everything a read needs from the header.
struct Header {
    Grid g;
    int var = -1;
    std::string name, units;
    Packing pack;
    Scale scale;
    DOM_FIXED_GRID fg{};
};

// The unpacked valid range of a variable with one; false without.
bool value_range(const Packing &p, double *lo, double *hi)
{
    if (!p.has_range || !std::isfinite(p.lo) || !std::isfinite(p.hi)) return false;
    const double a = p.unpack(p.lo), b = p.unpack(p.hi);
    *lo = std::min(a, b);
    *hi = std::max(a, b);
    return *hi > *lo;
}

void set_scale(int nc, Header *h, IMG *image)
{
    Scale &s = h->scale;
    int band = 0;
    double b;
    if (scalar(nc, "band_id", &b) && b >= 1 && b <= 99) band = (int)b;
    const bool rad = h->name == "Rad", cmi = !h->name.compare(0, 3, "CMI");
    if (rad && scalar(nc, "planck_fk1", &s.fk1) && scalar(nc, "planck_fk2", &s.fk2) &&
        scalar(nc, "planck_bc1", &s.bc1) && scalar(nc, "planck_bc2", &s.bc2) && s.fk1 > 0 && s.fk2 > 0 &&
        s.bc2 != 0) {
        s.kind = IMG_VALUE_TEMPERATURE;
        s.planck = true;
    } else if (rad && scalar(nc, "kappa0", &s.gain) && s.gain > 0) {
        s.kind = IMG_VALUE_REFLECTANCE;
    } else if (cmi && h->units == "K") {
        s.kind = IMG_VALUE_TEMPERATURE;
    } else if (cmi && h->units == "1") {
        s.kind = IMG_VALUE_REFLECTANCE;
    }
    image->value_kind = s.kind;
    if (s.kind == IMG_VALUE_REFLECTANCE) {
        // Reflectance factor 0..1 over counts 1..255.
        s.lo = 0.0;
        s.hi = 1.0;
    }
    if (band && (rad || cmi)) std::snprintf(image->value_name, sizeof image->value_name, "%s C%02d", h->name.c_str(), band);
    else std::snprintf(image->value_name, sizeof image->value_name, "%s", h->name.c_str());
    const char *units = s.kind == IMG_VALUE_TEMPERATURE ? "K" : s.kind == IMG_VALUE_REFLECTANCE ? "1" : h->units.c_str();
    std::snprintf(image->value_units, sizeof image->value_units, "%s", units);
}

// The date of the first scan ("2023-03-17T14:40:20.9Z").
void set_date(int nc, IMG *image)
{
    DATE &d = image->date;
    DATE_init(&d);
    const std::string when = text_att(nc, NC_GLOBAL, "time_coverage_start");
    int y, mo, da, h, mi, s;
    if (std::sscanf(when.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d", &y, &mo, &da, &h, &mi, &s) != 6 || mo < 1 ||
        mo > 12 || da < 1 || da > 31 || h > 23 || mi > 59 || s > 60 || y < 1900 || h < 0 || mi < 0 || s < 0)
        return;
    int julian;
    if (DATE_monday_julian(y, mo, da, &julian) != 0) return;
    d.year = y, d.month = mo, d.day = da, d.julian = julian, d.hour = h, d.minute = mi, d.second = s;
    DATE_make_label(&d, image->date_label);
}

// The header of a dataset: grid, variable, packing, scale, navigation and
// labels into `image` (without pixels); false after a message.
bool read_head(int nc, const char *file, Header *h, IMG *image)
{
    int proj;
    if (nc_inq_varid(nc, PROJ_VAR, &proj) != NC_NOERR) {
        MESS_print(ERR, "%s: %s: not a GOES-R fixed-grid file (no %s variable)\n", WHO, file, PROJ_VAR);
        return false;
    }
    Grid &g = h->g;
    if (nc_inq_dimid(nc, "y", &g.ydim) != NC_NOERR || nc_inq_dimid(nc, "x", &g.xdim) != NC_NOERR ||
        nc_inq_dimlen(nc, g.ydim, &g.ny) != NC_NOERR || nc_inq_dimlen(nc, g.xdim, &g.nx) != NC_NOERR ||
        g.nx < 2 || g.ny < 2 || g.nx > MAX_SIDE || g.ny > MAX_SIDE) {
        MESS_print(ERR, "%s: %s: no usable y and x dimensions of the fixed grid\n", WHO, file);
        return false;
    }
    if ((h->var = choose_var(nc, file, g)) < 0) return false;
    h->name = var_name(nc, h->var);
    h->units = text_att(nc, h->var, "units");
    h->pack = packing_of(nc, h->var);

    DOM_FIXED_GRID &f = h->fg;
    double v[1];
    const bool have = num_att(nc, proj, "perspective_point_height", &f.height, 1) == 1 &&
                      num_att(nc, proj, "semi_major_axis", &f.semi_major, 1) == 1 &&
                      num_att(nc, proj, "longitude_of_projection_origin", &f.sub_lon, 1) == 1;
    if (num_att(nc, proj, "semi_minor_axis", &f.semi_minor, 1) != 1) {
        // An ellipsoid given by its flattening instead.
        f.semi_minor = num_att(nc, proj, "inverse_flattening", v, 1) == 1 && v[0] > 1
                           ? f.semi_major * (1.0 - 1.0 / v[0])
                           : f.semi_major;
    }
    const std::string sweep = text_att(nc, proj, "sweep_angle_axis");
    f.sweep_x = sweep != "y";
    f.nx = (int)g.nx;
    f.ny = (int)g.ny;
    if (!have || (sweep != "x" && sweep != "y")) {
        MESS_print(ERR, "%s: %s: %s lacks the height, axes, longitude or sweep axis of the fixed grid\n", WHO,
                   file, PROJ_VAR);
        return false;
    }
    if (!axis(nc, "x", g.nx, &f.x0, &f.dx) || !axis(nc, "y", g.ny, &f.y0, &f.dy)) {
        MESS_print(ERR, "%s: %s: the x and y scan angles are missing or not evenly spaced\n", WHO, file);
        return false;
    }
    if (DOM_set_fixed_grid(&image->domain, &f) != 0) {
        MESS_print(ERR, "%s: %s: the fixed grid of %s is not usable\n", WHO, file, PROJ_VAR);
        return false;
    }
    image->nx = f.nx;
    image->ny = f.ny;
    image->depth = 8;
    image->bits_pixel = 8;
    image->bytes_line = f.nx;
    image->res_x = image->res_y = 1.0f;
    image->off_x = image->off_y = 0.0f;
    const std::string platform = text_att(nc, NC_GLOBAL, "platform_ID");
    std::snprintf(image->platform, sizeof image->platform, "%s", platform.c_str());
    set_scale(nc, h, image);
    std::string title = text_att(nc, NC_GLOBAL, "title");
    std::snprintf(image->info, sizeof image->info, "%s %s%s%s", image->platform, image->value_name,
                  title.empty() ? "" : " - ", title.c_str());
    set_date(nc, image);
    return true;
}

// The window clamped to the grid (null: all of it).
ABI_DECODED clamp_window(const IMG_WINDOW *w, const Grid &g)
{
    ABI_DECODED d{0, (int)g.ny, 0, (int)g.nx, (int)g.ny, (int)g.nx};
    if (!w) return d;
    d.first_row = std::clamp(w->first_line, 0, d.full_rows - 1);
    d.first_col = std::clamp(w->first_elem, 0, d.full_cols - 1);
    d.rows = w->lines > 0 ? std::min(w->lines, d.full_rows - d.first_row) : d.full_rows - d.first_row;
    d.cols = w->elems > 0 ? std::min(w->elems, d.full_cols - d.first_col) : d.full_cols - d.first_col;
    return d;
}

// The stored numbers of a type, in strips of rows, handed to `use` as
// doubles or, for 8- and 16-bit integers, as their bit patterns.
template <class T> struct NcGet;
template <> struct NcGet<signed char> { static int get(int nc, int v, const size_t *s, const size_t *c, signed char *p) { return nc_get_vara_schar(nc, v, s, c, p); } };
template <> struct NcGet<unsigned char> { static int get(int nc, int v, const size_t *s, const size_t *c, unsigned char *p) { return nc_get_vara_uchar(nc, v, s, c, p); } };
template <> struct NcGet<short> { static int get(int nc, int v, const size_t *s, const size_t *c, short *p) { return nc_get_vara_short(nc, v, s, c, p); } };
template <> struct NcGet<unsigned short> { static int get(int nc, int v, const size_t *s, const size_t *c, unsigned short *p) { return nc_get_vara_ushort(nc, v, s, c, p); } };
template <> struct NcGet<double> { static int get(int nc, int v, const size_t *s, const size_t *c, double *p) { return nc_get_vara_double(nc, v, s, c, p); } };

// Rows per strip: the chunk height (so each chunk is inflated once), or 256.
size_t strip_rows(int nc, int var)
{
    int storage;
    size_t chunks[NC_MAX_VAR_DIMS] = {0};
    if (nc_inq_var_chunking(nc, var, &storage, chunks) == NC_NOERR && storage == NC_CHUNKED && chunks[0] >= 1 &&
        chunks[0] <= 4096)
        return chunks[0];
    return 256;
}

// Reads the window strip by strip (strips aligned to the chunk rows) and
// hands each strip's numbers to use(row offset in window, numbers, count).
// The library decompresses the next strip in the calling thread while a
// worker hands the last one to `use`, so the conversion costs no time of
// its own; the library is only ever called from the calling thread, and
// `use` sees the strips one at a time, in order.
template <class T, class Use>
bool for_strips(int nc, const char *file, const Header &h, const ABI_DECODED &d, Use use)
{
    const size_t step = strip_rows(nc, h.var);
    const size_t first = (size_t)d.first_row, last = (size_t)(d.first_row + d.rows);
    std::vector<T> buf[2];
    size_t at[2] = {0, 0};  // each buffer's first row
    auto end_of = [&](size_t r) { return std::min((r / step + 1) * step, last); };
    auto read = [&](size_t r, std::vector<T> &b) {
        const size_t start[2] = {r, (size_t)d.first_col}, count[2] = {end_of(r) - r, (size_t)d.cols};
        b.resize(count[0] * count[1]);
        return NcGet<T>::get(nc, h.var, start, count, b.data());
    };
    auto fail = [&](size_t r, int st) {
        MESS_print(ERR, "%s: %s: damaged or truncated: cannot read %s rows %zu-%zu: %s\n", WHO, file, h.name.c_str(), r,
                   end_of(r) - 1, nc_strerror(st));
        return false;
    };
    if (first >= last) return true;
    int st = read(first, buf[0]);
    if (st != NC_NOERR) return fail(first, st);
    at[0] = first;
    const int parts = WORK_thread_count((size_t)step * (size_t)d.cols) > 1 ? 2 : 1;
    for (int cur = 0;; cur ^= 1) {
        const size_t next = end_of(at[cur]);
        // Share 0, in this thread: the next strip; share 1: the last one used.
        int next_st = NC_NOERR;
        WORK_rows(2, parts, [&](int a, int z) {
            for (int k = a; k < z; ++k) {
                if (k == 0 && next < last) next_st = read(next, buf[cur ^ 1]);
                if (k == 1) use(at[cur] - first, buf[cur].data(), buf[cur].size());
            }
        });
        if (next >= last) return true;
        if (next_st != NC_NOERR) return fail(next, next_st);
        at[cur ^ 1] = next;
    }
}

// Counts of the window into image->data.
bool decode(int nc, const char *file, Header &h, const ABI_DECODED &d, IMG *image)
{
    const Packing &p = h.pack;
    Scale &s = h.scale;
    const size_t cols = (size_t)d.cols;
    unsigned char *out = image->data;
    const int bits = int_bits(p.type);
    bool ok;
    if (bits == 8 || bits == 16) {
        // One count per stored bit pattern.
        const size_t n = (size_t)1 << bits;
        auto number = [&](size_t bitsv) {
            const double u = (double)bitsv;
            const bool neg = is_signed_int(p.type) && !p.is_unsigned && bitsv >= n / 2;
            return neg ? u - (double)n : u;
        };
        if (s.kind == IMG_VALUE_LINEAR && !value_range(p, &s.lo, &s.hi)) {
            // No valid range: the range of the values the table can give is
            // found from the window's values below.
            s.lo = INFINITY, s.hi = -INFINITY;
        }
        std::vector<unsigned char> lut(n, IMG_COUNT_MISSING);
        std::vector<char> seen;
        const bool find_range = s.lo > s.hi;
        if (find_range) seen.assign(n, 0);
        auto fill_lut = [&] {
            if (find_range) {
                for (size_t b = 0; b < n; ++b)
                    if (seen[b] && p.valid(number(b))) {
                        const double v = p.unpack(number(b));
                        s.lo = std::min(s.lo, v), s.hi = std::max(s.hi, v);
                    }
                if (!(s.hi > s.lo)) s.hi = s.lo + 1;  // one value (or none)
                if (!std::isfinite(s.lo)) s.lo = 0, s.hi = 1;
            }
            for (size_t b = 0; b < n; ++b)
                if (p.valid(number(b))) lut[b] = (unsigned char)s.count(p.unpack(number(b)));
        };
        auto run = [&](auto tag) {
            using T = decltype(tag);
            using U = std::make_unsigned_t<T>;
            if (find_range) {
                if (!for_strips<T>(nc, file, h, d, [&](size_t, const T *v, size_t k) {
                        for (size_t i = 0; i < k; ++i) seen[(U)v[i]] = 1;
                    }))
                    return false;
            }
            fill_lut();
            return for_strips<T>(nc, file, h, d, [&](size_t row, const T *v, size_t k) {
                unsigned char *o = out + row * cols;
                for (size_t i = 0; i < k; ++i) o[i] = lut[(U)v[i]];
            });
        };
        if (bits == 8) ok = is_signed_int(p.type) ? run((signed char)0) : run((unsigned char)0);
        else ok = is_signed_int(p.type) ? run((short)0) : run((unsigned short)0);
    } else {
        // Wider integers and floating values, one by one.
        if (s.kind == IMG_VALUE_LINEAR && !value_range(p, &s.lo, &s.hi)) {
            s.lo = INFINITY, s.hi = -INFINITY;
            if (!for_strips<double>(nc, file, h, d, [&](size_t, const double *v, size_t k) {
                    for (size_t i = 0; i < k; ++i) {
                        const double raw = p.as_stored(v[i]);
                        if (!p.valid(raw)) continue;
                        const double u = p.unpack(raw);
                        s.lo = std::min(s.lo, u), s.hi = std::max(s.hi, u);
                    }
                }))
                return false;
            if (!std::isfinite(s.lo) || !std::isfinite(s.hi)) s.lo = 0, s.hi = 1;
            if (!(s.hi > s.lo)) s.hi = s.lo + 1;
        }
        ok = for_strips<double>(nc, file, h, d, [&](size_t row, const double *v, size_t k) {
            unsigned char *o = out + row * cols;
            for (size_t i = 0; i < k; ++i) {
                const double raw = p.as_stored(v[i]);
                o[i] = p.valid(raw) ? (unsigned char)s.count(p.unpack(raw)) : IMG_COUNT_MISSING;
            }
        });
    }
    return ok;
}

// The record's value scale: value = offset + scale * count for counts 1..255.
void set_value_scale(const Scale &s, IMG *image)
{
    if (s.kind == IMG_VALUE_TEMPERATURE) return;
    image->value_scale = (float)((s.hi - s.lo) / 254.0);
    image->value_offset = (float)(s.lo - (s.hi - s.lo) / 254.0);
}

int read_file(const IMG_SOURCE *source, const IMG_WINDOW *window, IMG_READ_OUT *out, bool pixels)
{
    IMG *image = out->image;
    IMG_init(image);
    image->source = IMG_SRC_ABI;
    NcMem nc;
    if (!nc.open(source)) return IMG_READ_FAILED;
    Header h;
    if (!read_head(nc.id(), nc.name(), &h, image)) return IMG_READ_FAILED;
    if (!pixels) {
        // The range of a field without one is known only from its values.
        if (h.scale.kind != IMG_VALUE_LINEAR || value_range(h.pack, &h.scale.lo, &h.scale.hi))
            set_value_scale(h.scale, image);
        return IMG_READ_OK;
    }
    const ABI_DECODED d = clamp_window(window, h.g);
    if ((uint64_t)d.rows * (uint64_t)d.cols > rdr::MAX_PIXELS) {
        MESS_print(ERR, "%s: %s: %dx%d pixels are more than one read takes; choose a smaller domain\n", WHO,
                   nc.name(), d.cols, d.rows);
        return IMG_READ_FAILED;
    }
    if (window) {
        // The record is the window: its grid starts at the window's corner.
        DOM_FIXED_GRID f = h.fg;
        f.x0 += d.first_col * f.dx;
        f.y0 += d.first_row * f.dy;
        f.nx = d.cols;
        f.ny = d.rows;
        if (DOM_set_fixed_grid(&image->domain, &f) != 0) {
            // A window whose centre is off the earth: the whole grid instead.
            return read_file(source, nullptr, out, true);
        }
        image->nx = image->bytes_line = d.cols;
        image->ny = d.rows;
        image->off_x = (float)d.first_col;
        image->off_y = (float)d.first_row;
    }
    image->data = static_cast<unsigned char *>(calloc((size_t)d.rows * (size_t)d.cols, 1));
    if (!image->data) {
        MESS_print(ERR, "%s: %s: no memory for the pixels\n", WHO, nc.name());
        return IMG_READ_FAILED;
    }
    if (!decode(nc.id(), nc.name(), h, d, image)) {
        IMG_free(image);
        return IMG_READ_FAILED;
    }
    set_value_scale(h.scale, image);
    last_decoded = d;
    MESS_print(MESS_OUT2, "%s: %s: %s rows %d-%d, columns %d-%d of %dx%d decoded\n", WHO, nc.name(),
               h.name.c_str(), d.first_row, d.first_row + d.rows - 1, d.first_col, d.first_col + d.cols - 1,
               d.full_cols, d.full_rows);
    return IMG_READ_OK;
}

}  // namespace

ABI_DECODED ABI_last_decoded() { return last_decoded; }

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ABI_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(ABI_SANITIZED)
// netCDF 4.9 and HDF5 keep some of what they allocated while opening a
// damaged file they then refuse (the dataset is closed, the library's own
// lists are not freed).  Sanitized builds run damaged files on purpose
// (fuzzing, the refusal tests), so the leak checker leaves the two
// libraries' allocations alone; the dataset itself is always closed here.
extern "C" const char *__lsan_default_suppressions() { return "leak:libnetcdf.so\nleak:libhdf5_serial.so\n"; }
#endif

namespace rdr {

bool abi_identify(const unsigned char *b, size_t n)
{
    static const unsigned char hdf5[8] = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};
    if (n >= 8 && !std::memcmp(b, hdf5, 8)) return true;
    // Classic and 64-bit netCDF: the header with the variable names leads.
    if (n >= 4 && !std::memcmp(b, "CDF", 3) && (b[3] == 1 || b[3] == 2 || b[3] == 5)) {
        const size_t k = std::strlen(PROJ_VAR);
        return std::search(b, b + n, PROJ_VAR, PROJ_VAR + k) != b + n;
    }
    return false;
}

int abi_read(const IMG_SOURCE *source, const IMG_WINDOW *window, IMG_READ_OUT *out)
{
    return read_file(source, window, out, true);
}

int abi_read_header(const IMG_SOURCE *source, IMG_READ_OUT *out) { return read_file(source, nullptr, out, false); }

int abi_value(const IMG_SOURCE *sources, int n, int col, int row, double *value, char *units,
              size_t units_size)
{
    if (!sources || n < 1 || !value) return -1;
    NcMem nc;
    if (!nc.open(&sources[0])) return -1;
    IMG scratch;
    IMG_init(&scratch);
    Header h;
    if (!read_head(nc.id(), nc.name(), &h, &scratch)) return -1;
    if (col < 0 || row < 0 || (size_t)col >= h.g.nx || (size_t)row >= h.g.ny) {
        MESS_print(ERR, "%s: %s: pixel %d,%d is outside the %zux%zu grid\n", WHO, nc.name(), col, row, h.g.nx,
                   h.g.ny);
        return -1;
    }
    const size_t at[2] = {(size_t)row, (size_t)col};
    double raw;
    const int st = nc_get_var1_double(nc.id(), h.var, at, &raw);
    if (st != NC_NOERR) {
        MESS_print(ERR, "%s: %s: cannot read %s: %s\n", WHO, nc.name(), h.name.c_str(), nc_strerror(st));
        return -1;
    }
    if (units && units_size) std::snprintf(units, units_size, "%s", h.units.c_str());
    raw = h.pack.as_stored(raw);
    if (!h.pack.valid(raw)) return 0;
    *value = h.pack.unpack(raw);
    return 1;
}

}  // namespace rdr
