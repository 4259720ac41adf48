// The GeoTIFF writer.  The GeoTIFF tags are plain TIFF tags for libtiff,
// registered on the open file (TIFFMergeFieldInfo), so no GeoTIFF library
// is needed for the handful of keys written:
// - the datum is user-defined: the earth the domain's transforms use (a
//   sphere of 6371.22 km for every projection a GeoTIFF can state), given
//   by its semi-axes, Greenwich and degrees;
// - projected systems are user-defined too, by the coordinate transformation
//   code and its parameters (map/std_proj.h), in metres;
// - the raster is PixelIsArea: the tie point is the outer corner of pixel
//   (0, 0), half a pixel beyond grid point (0, 0), so pixel centres sit on
//   the grid points;
// - the values file states its no-data count in GDAL's tag (42113), and the
//   field's name and, for linear values, offset, scale and units in GDAL's
//   metadata tag (42112), which GDAL and QGIS read.
#include "image/geotiff.h"

#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/flags.h"
#include "image/img.h"
#include "image/tiff_lazy.h"
#include "map/map.h"
#include "map/std_proj.h"

namespace {

constexpr uint32_t ERR = MESS_WARN;

// GeoTIFF tags, and GDAL's no-data tag.
enum : ttag_t {
    TAG_PIXEL_SCALE = 33550,
    TAG_TIEPOINT = 33922,
    TAG_GEO_KEYS = 34735,
    TAG_GEO_DOUBLES = 34736,
    TAG_GEO_ASCII = 34737,
    TAG_GDAL_METADATA = 42112,
    TAG_GDAL_NODATA = 42113,
};

const TIFFFieldInfo kGeoFields[] = {
    {TAG_PIXEL_SCALE, -1, -1, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, const_cast<char *>("ModelPixelScale")},
    {TAG_TIEPOINT, -1, -1, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, const_cast<char *>("ModelTiepoint")},
    {TAG_GEO_KEYS, -1, -1, TIFF_SHORT, FIELD_CUSTOM, 1, 1, const_cast<char *>("GeoKeyDirectory")},
    {TAG_GEO_DOUBLES, -1, -1, TIFF_DOUBLE, FIELD_CUSTOM, 1, 1, const_cast<char *>("GeoDoubleParams")},
    {TAG_GEO_ASCII, -1, -1, TIFF_ASCII, FIELD_CUSTOM, 1, 0, const_cast<char *>("GeoAsciiParams")},
    {TAG_GDAL_METADATA, -1, -1, TIFF_ASCII, FIELD_CUSTOM, 1, 0, const_cast<char *>("GDALMetadata")},
    {TAG_GDAL_NODATA, -1, -1, TIFF_ASCII, FIELD_CUSTOM, 1, 0, const_cast<char *>("GDALNoDataValue")},
};

// GeoKey numbers and codes of the GeoTIFF 1.1 standard.
enum : uint16_t {
    GT_MODEL_TYPE = 1024, GT_RASTER_TYPE = 1025, GT_CITATION = 1026,
    GEOG_TYPE = 2048, GEOG_CITATION = 2049, GEOG_DATUM = 2050, GEOG_PRIME_MERIDIAN = 2051,
    GEOG_ANGULAR_UNITS = 2054, GEOG_ELLIPSOID = 2056, GEOG_SEMI_MAJOR = 2057, GEOG_SEMI_MINOR = 2058,
    PROJECTED_CS_TYPE = 3072, PCS_CITATION = 3073, PROJECTION = 3074, PROJ_COORD_TRANS = 3075,
    PROJ_LINEAR_UNITS = 3076, PROJ_STD_PARALLEL1 = 3078, PROJ_STD_PARALLEL2 = 3079,
    PROJ_NAT_ORIGIN_LONG = 3080, PROJ_NAT_ORIGIN_LAT = 3081, PROJ_FALSE_EASTING = 3082,
    PROJ_FALSE_NORTHING = 3083, PROJ_FALSE_ORIGIN_LONG = 3084, PROJ_FALSE_ORIGIN_LAT = 3085,
    PROJ_FALSE_ORIGIN_EASTING = 3086, PROJ_FALSE_ORIGIN_NORTHING = 3087, PROJ_CENTER_LONG = 3088,
    PROJ_CENTER_LAT = 3089, PROJ_SCALE_AT_NAT_ORIGIN = 3092, PROJ_STRAIGHT_VERT_POLE_LONG = 3095,

    MODEL_PROJECTED = 1, MODEL_GEOGRAPHIC = 2, RASTER_PIXEL_IS_AREA = 1, USER_DEFINED = 32767,
    PM_GREENWICH = 8901, ANGULAR_DEGREE = 9102, LINEAR_METRE = 9001,
    CT_MERCATOR = 7, CT_LAMBERT_CONF_CONIC_2SP = 8, CT_LAMBERT_AZIM_EQUAL_AREA = 10,
    CT_POLAR_STEREOGRAPHIC = 15, CT_ORTHOGRAPHIC = 21,
};

// The GeoKey directory with its double and ASCII parameters.
class GeoKeys {
public:
    void put(uint16_t key, uint16_t value) { keys_[key] = {0, 1, value}; }
    void put_double(uint16_t key, double value)
    {
        keys_[key] = {TAG_GEO_DOUBLES, 1, (uint16_t)doubles_.size()};
        doubles_.push_back(value);
    }
    // ASCII values end with "|", which the count includes.
    void put_text(uint16_t key, const std::string &text)
    {
        keys_[key] = {TAG_GEO_ASCII, (uint16_t)(text.size() + 1), (uint16_t)ascii_.size()};
        ascii_ += text + "|";
    }
    // Version 1, revision 1.1, then the keys in increasing order.
    std::vector<uint16_t> directory() const
    {
        std::vector<uint16_t> d{1, 1, 1, (uint16_t)keys_.size()};
        for (const auto &[k, e] : keys_) d.insert(d.end(), {k, e.loc, e.count, e.value});
        return d;
    }
    const std::vector<double> &doubles() const { return doubles_; }
    const std::string &ascii() const { return ascii_; }

private:
    struct Entry {
        uint16_t loc, count, value;
    };
    std::map<uint16_t, Entry> keys_;
    std::vector<double> doubles_;
    std::string ascii_;
};

// Each projected method: its name, transformation code, and parameter keys
// with the value each takes (false eastings and northings are 0).
enum Param { NONE, LON0, LAT0, LAT1, LAT2, K0, ZERO };
struct KeyParam {
    uint16_t key;
    Param p;
};
struct Method {
    int method;
    const char *name;
    uint16_t ct;
    KeyParam keys[6];
};
const Method kMethods[] = {
    {MAP_STD_MERC, "Mercator", CT_MERCATOR,
     {{PROJ_NAT_ORIGIN_LONG, LON0}, {PROJ_NAT_ORIGIN_LAT, ZERO}, {PROJ_SCALE_AT_NAT_ORIGIN, K0},
      {PROJ_FALSE_EASTING, ZERO}, {PROJ_FALSE_NORTHING, ZERO}}},
    {MAP_STD_PSTEREO, "polar stereographic", CT_POLAR_STEREOGRAPHIC,
     {{PROJ_STRAIGHT_VERT_POLE_LONG, LON0}, {PROJ_NAT_ORIGIN_LAT, LAT0}, {PROJ_SCALE_AT_NAT_ORIGIN, K0},
      {PROJ_FALSE_EASTING, ZERO}, {PROJ_FALSE_NORTHING, ZERO}}},
    {MAP_STD_LCC, "Lambert conformal conic", CT_LAMBERT_CONF_CONIC_2SP,
     {{PROJ_STD_PARALLEL1, LAT1}, {PROJ_STD_PARALLEL2, LAT2}, {PROJ_FALSE_ORIGIN_LONG, LON0},
      {PROJ_FALSE_ORIGIN_LAT, LAT0}, {PROJ_FALSE_ORIGIN_EASTING, ZERO}, {PROJ_FALSE_ORIGIN_NORTHING, ZERO}}},
    {MAP_STD_LAEA, "Lambert azimuthal equal-area", CT_LAMBERT_AZIM_EQUAL_AREA,
     {{PROJ_CENTER_LONG, LON0}, {PROJ_CENTER_LAT, LAT0}, {PROJ_FALSE_EASTING, ZERO}, {PROJ_FALSE_NORTHING, ZERO}}},
    {MAP_STD_ORTHO, "orthographic", CT_ORTHOGRAPHIC,
     {{PROJ_CENTER_LONG, LON0}, {PROJ_CENTER_LAT, LAT0}, {PROJ_FALSE_EASTING, ZERO}, {PROJ_FALSE_NORTHING, ZERO}}},
};

double param_value(const MAP_STD_PROJ &p, Param k)
{
    switch (k) {
    case LON0: return p.lon0;
    case LAT0: return p.lat0;
    case LAT1: return p.lat1;
    case LAT2: return p.lat2;
    case K0: return p.k0;
    default: return 0;
    }
}

// The keys of a domain stated as p.
GeoKeys make_keys(const MAP_STD_PROJ &p)
{
    const Method *m = nullptr;
    for (const Method &k : kMethods)
        if (k.method == p.method) m = &k;
    const std::string name = m ? m->name : "latitude/longitude";
    GeoKeys g;
    char earth[96];
    std::snprintf(earth, sizeof earth, "%s of %.0f m", p.semi_major == p.semi_minor ? "Sphere" : "Ellipsoid",
                  p.semi_major);
    g.put(GT_MODEL_TYPE, m ? MODEL_PROJECTED : MODEL_GEOGRAPHIC);
    g.put(GT_RASTER_TYPE, RASTER_PIXEL_IS_AREA);
    g.put_text(GT_CITATION, "zyrsat " + name);
    g.put(GEOG_TYPE, USER_DEFINED);
    g.put_text(GEOG_CITATION, earth);
    g.put(GEOG_DATUM, USER_DEFINED);
    g.put(GEOG_PRIME_MERIDIAN, PM_GREENWICH);
    g.put(GEOG_ANGULAR_UNITS, ANGULAR_DEGREE);
    g.put(GEOG_ELLIPSOID, USER_DEFINED);
    g.put_double(GEOG_SEMI_MAJOR, p.semi_major);
    g.put_double(GEOG_SEMI_MINOR, p.semi_minor);
    if (!m) return g;
    g.put(PROJECTED_CS_TYPE, USER_DEFINED);
    g.put_text(PCS_CITATION, "zyrsat " + name + " on the " + earth);
    g.put(PROJECTION, USER_DEFINED);
    g.put(PROJ_LINEAR_UNITS, LINEAR_METRE);
    g.put(PROJ_COORD_TRANS, m->ct);
    for (const KeyParam &k : m->keys)
        if (k.p != NONE) g.put_double(k.key, param_value(p, k.p));
    return g;
}

// Text for an XML element.
std::string xml_text(const char *s)
{
    std::string out;
    for (; *s; s++) {
        switch (*s) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += (unsigned char)*s < 32 ? ' ' : *s;
        }
    }
    return out;
}

// GDAL's band metadata for the values file: the field's name, and for
// counts linear in a quantity the offset, scale and units that give it
// (GDAL and QGIS then show the quantity).  Temperatures follow the
// program's non-linear infrared scale and get the name alone.  "" when
// there is nothing to say.
std::string band_metadata(const IMG *im)
{
    std::string items;
    auto item = [&](const char *name, const char *role, const std::string &v) {
        items += std::string("<Item name=\"") + name + "\" sample=\"0\" role=\"" + role + "\">" + v + "</Item>";
    };
    std::string field(im->value_name, strnlen(im->value_name, sizeof im->value_name));
    if (!field.empty()) item("DESCRIPTION", "description", xml_text(field.c_str()));
    const bool linear = im->value_kind == IMG_VALUE_LINEAR || im->value_kind == IMG_VALUE_REFLECTANCE;
    if (linear && std::isfinite(im->value_offset) && std::isfinite(im->value_scale) && im->value_scale != 0) {
        char num[32];
        std::snprintf(num, sizeof num, "%.9g", im->value_offset);
        item("OFFSET", "offset", num);
        std::snprintf(num, sizeof num, "%.9g", im->value_scale);
        item("SCALE", "scale", num);
        std::string units(im->value_units, strnlen(im->value_units, sizeof im->value_units));
        if (!units.empty()) item("UNITTYPE", "unittype", xml_text(units.c_str()));
    }
    return items.empty() ? "" : "<GDALMetadata>" + items + "</GDALMetadata>";
}

// What libtiff reports during one write: the first error.
int on_error(TIFF *, void *user, const char *module, const char *fmt, va_list ap)
{
    auto *first = static_cast<std::string *>(user);
    char text[300];
    vsnprintf(text, sizeof text, fmt, ap);
    if (first->empty()) *first = module && *module ? std::string(module) + ": " + text : std::string(text);
    return 1;
}

int on_warning(TIFF *, void *, const char *, const char *, va_list) { return 1; }

struct Writer {
    TIFFOpenOptions *opts = TIFFOpenOptionsAlloc();
    TIFF *tif = nullptr;
    std::string error;
    ~Writer()
    {
        if (tif) TIFFClose(tif);
        TIFFOpenOptionsFree(opts);
    }
};

// The colour map as TIFF wants it: 256 entries of 16-bit red, green, blue;
// entries past the table's end are black.
std::vector<uint16_t> colour_map(const IMG *im)
{
    std::vector<uint16_t> m(3 * 256, 0);
    int n = std::min(im->ncolors, 256);
    for (int i = 0; i < n; i++)
        for (int c = 0; c < 3; c++) {
            float v = im->cmap[3 * i + c];
            m[c * 256 + i] = (uint16_t)std::lround(std::clamp(std::isfinite(v) ? v : 0.0f, 0.0f, 1.0f) * 65535);
        }
    return m;
}

bool write_file(const char *path, const IMG *im, int kind, const GeoKeys &keys, const double tie[6],
                const double scale[3], std::string *error, bool *created)
{
    if (const char *why = tiff_library_problem()) return *error = why, false;
    Writer w;
    TIFFOpenOptionsSetErrorHandlerExtR(w.opts, on_error, &w.error);
    TIFFOpenOptionsSetWarningHandlerExtR(w.opts, on_warning, nullptr);
    w.tif = TIFFOpenExt(path, "w", w.opts);
    if (!w.tif) return *error = w.error.empty() ? "cannot be created" : w.error, false;
    *created = true;
    TIFF *t = w.tif;
    TIFFMergeFieldInfo(t, kGeoFields, sizeof kGeoFields / sizeof kGeoFields[0]);
    const bool palette = kind == GEOTIFF_PALETTE && im->indexed && im->cmap && im->ncolors > 0;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, (uint32_t)im->nx);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, (uint32_t)im->ny);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, palette ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_MINISBLACK);
    if (TIFFIsCODECConfigured(COMPRESSION_ADOBE_DEFLATE)) {
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
        TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_NONE);
    }
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    TIFFSetField(t, TIFFTAG_SOFTWARE, "zyrsat");
    std::vector<uint16_t> cmap;
    if (palette) {
        cmap = colour_map(im);
        TIFFSetField(t, TIFFTAG_COLORMAP, cmap.data(), cmap.data() + 256, cmap.data() + 512);
    }
    const std::vector<uint16_t> dir = keys.directory();
    TIFFSetField(t, TAG_PIXEL_SCALE, 3, scale);
    TIFFSetField(t, TAG_TIEPOINT, 6, tie);
    TIFFSetField(t, TAG_GEO_KEYS, (int)dir.size(), dir.data());
    if (!keys.doubles().empty()) TIFFSetField(t, TAG_GEO_DOUBLES, (int)keys.doubles().size(), keys.doubles().data());
    if (!keys.ascii().empty()) TIFFSetField(t, TAG_GEO_ASCII, keys.ascii().c_str());
    if (kind == GEOTIFF_VALUES) {
        TIFFSetField(t, TAG_GDAL_NODATA, "0");
        const std::string meta = band_metadata(im);
        if (!meta.empty()) TIFFSetField(t, TAG_GDAL_METADATA, meta.c_str());
    }
    std::vector<unsigned char> row((size_t)im->nx);
    for (int j = 0; j < im->ny; j++) {
        // libtiff may change the buffer it is given (predictors): a copy.
        std::copy_n(im->data + (size_t)j * im->bytes_line, im->nx, row.begin());
        if (TIFFWriteScanline(t, row.data(), (uint32_t)j, 0) < 0)
            return *error = w.error.empty() ? "a row cannot be written" : w.error, false;
    }
    if (!TIFFWriteDirectory(t)) return *error = w.error.empty() ? "the directory cannot be written" : w.error, false;
    TIFF *done = w.tif;
    w.tif = nullptr;
    TIFFClose(done);
    if (!w.error.empty()) return *error = w.error, false;
    return true;
}

}  // namespace

int GEOTIFF_write(const char *path, const IMG *im, int kind)
{
    const char *name = path ? path : "";
    if (!path || !*path || !im) {
        MESS_print(ERR, "GEOTIFF_write: No file name or picture: %s\n", name);
        return 0;
    }
    const DOM &d = im->domain;
    MAP_STD_PROJ def{};
    const char *why = "";
    if (MAP_std_proj(&d, &def, &why) != 0) {
        MESS_print(ERR, "GEOTIFF_write: GeoTIFF cannot state the plot domain (%s), no file written: %s\n", why,
                   name);
        return -2;
    }
    const bool eight = im->depth == 8 && (im->bits_pixel == 0 || im->bits_pixel == 8);
    if (!im->data || im->nx < 1 || im->ny < 1 || im->bytes_line < im->nx || !eight) {
        MESS_print(ERR, "GEOTIFF_write: No 8-bit picture to write: %s\n", name);
        return 0;
    }
    // Pixel centres sit on the grid points, so the grid must be the picture's.
    if (d.nx != im->nx || d.ny != im->ny || !(d.dx > 0) || !(d.dy > 0) || !std::isfinite(d.dx) ||
        !std::isfinite(d.dy)) {
        MESS_print(ERR, "GEOTIFF_write: The domain's grid (%d x %d) is not the picture's (%d x %d): %s\n", d.nx,
                   d.ny, im->nx, im->ny, name);
        return 0;
    }
    float x0 = 0, y0 = 0;
    MapProj(d).grid_tran(&x0, &y0, 0, 0);
    const double scale[3] = {def.unit * d.dx, def.unit * d.dy, 0};
    const double tie[6] = {0, 0, 0, def.x0 + def.unit * ((double)x0 - 0.5 * d.dx), def.unit * ((double)y0 + 0.5 * d.dy), 0};
    std::string error;
    bool created = false;
    if (!write_file(path, im, kind, make_keys(def), tie, scale, &error, &created)) {
        if (created) unlink(path);  // no partial file left behind
        MESS_print(ERR, "GEOTIFF_write: Unable to write GeoTIFF file (%s): %s\n", error.c_str(), name);
        return 0;
    }
    return 1;
}
