// zyrproc: the image processing of one frame without graphics.  Takes the
// display program's own resources ("input", "in_file", "region",
// "plot_domain", "grid_domain", "plot_param", "geometry", "message",
// "out_file" and the file name), reads the file with the program's readers,
// remaps it onto the requested domain or zooms it, builds the plot domain,
// prints the domains and writes the processed image: as PGM when "out_file"
// ends in ".pgm", as a coloured PPM when it ends in ".ppm", else as a ZYRIMG
// file.
//
//   zyrproc -inp area -pd ll,25,-80,31,21,1,1 -pp no_pixave -of out.pgm FILE
//   zyrproc -inp awip -ct zyr.clr -cof ir_clouds -of out.ppm FILE
//
// Colouring runs as in the display program, after the remapping: the colour
// table of "color_table" (default "zyr.clr") and the enhancement of
// "color_fill" (without one: the fill colours of a table named by
// "color_table", else the grey ramp of the table's first 16 entries).  It
// runs for a PPM output, and for a ZYRIMG output when "color_fill" is given
// (the file then holds the colour indices and the table); a PGM output is
// always the uncoloured pixel values.  The PPM colours are the window's
// colours, each component rounded as (int)(c * 255 + 0.5).
//
// Checks of a reader's geolocation, on the image as read (before any
// remapping), taken out of the arguments before the resources see them:
//   --pixel COL,ROW   prints the latitude and longitude of that pixel centre
//   --latlon LAT,LON  prints the fractional column and row of that point
//   --value COL,ROW   prints the physical value the file holds at that pixel
//                     of the full image (counted from 0 at the top left) at
//                     full precision and its units, or "missing"; formats
//                     that keep no values say so (status 10)
//   --pgm FILE        writes the unremapped pixels as PGM
// For a format whose images come in segments, several files must be the
// segments of one image (with its prologue and epilogue): they are read as
// the one image for all of these; files that make more than one image are
// refused (status 10).  Other formats take the first file.
// With a plot domain, readers that decode windows (GOES-R netCDF) read only
// the rows and columns the domain shows: the image as read, and so
// --pixel, --latlon and --pgm, is that window.
//
// Exit status 0, 10 when the file cannot be read, 2 when the output cannot
// be written.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/res.h"
#include "driver/sat.h"
#include "driver/sat_read.h"
#include "gks/clr.h"
#include "image/img.h"
#include "image/reader_table.h"
#include "image/readers.h"
#include "map/dom.h"
#include "map/map.h"
#include "satproc/enh.h"
#include "satproc/fit.h"
#include "satproc/remap.h"
#include "satproc/sat_param.h"

namespace {

bool write_pgm(const char *name, const IMG &img)
{
    FILE *f = std::fopen(name, "wb");
    if (!f) return false;
    std::fprintf(f, "P5\n%d %d\n255\n", img.nx, img.ny);
    bool ok = true;
    for (int j = 0; j < img.ny && ok; ++j)
        ok = std::fwrite(img.data + (size_t)j * img.bytes_line, 1, (size_t)img.nx, f) == (size_t)img.nx;
    return std::fclose(f) == 0 && ok;
}

// Writes the coloured image: each pixel indexes the image's colour table
// (an index past its end takes the last entry, as the colour table does).
bool write_ppm(const char *name, const IMG &img)
{
    if (!img.cmap || img.ncolors <= 0) return false;
    FILE *f = std::fopen(name, "wb");
    if (!f) return false;
    std::fprintf(f, "P6\n%d %d\n255\n", img.nx, img.ny);
    std::vector<unsigned char> row((size_t)img.nx * 3);
    bool ok = true;
    for (int j = 0; j < img.ny && ok; ++j) {
        const unsigned char *p = img.data + (size_t)j * img.bytes_line;
        for (int i = 0; i < img.nx; ++i) {
            const float *c = img.cmap + 3 * std::min<int>(p[i], img.ncolors - 1);
            for (int k = 0; k < 3; ++k) row[3 * (size_t)i + k] = (unsigned char)(std::clamp(c[k], 0.0f, 1.0f) * 255 + 0.5f);
        }
        ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
    }
    return std::fclose(f) == 0 && ok;
}

bool ends_with(const std::string &s, const char *tail)
{
    size_t n = std::strlen(tail);
    return s.size() > n && s.compare(s.size() - n, n, tail) == 0;
}

// The image's own domain made current; false when it has none.
bool image_domain(const IMG &img)
{
    if (img.domain.proj == DOM_MISSING) {
        MESS_print(MESS_ERROR, "zyrproc: the image has no map domain\n");
        return false;
    }
    MAP_domain(&img.domain);
    return true;
}

// --value: the reader's value at a pixel of the full image; false when the
// pixel is given badly, the format keeps no values or the read failed.
bool print_value(const char *spec, const std::vector<const char *> &names)
{
    int col, row;
    char tail;
    if (std::sscanf(spec, "%d,%d%c", &col, &row, &tail) != 2) {
        MESS_print(MESS_ERROR, "zyrproc: --value wants COL,ROW (whole pixels), not \"%s\"\n", spec);
        return false;
    }
    double v = 0;
    char units[64] = "";
    const int got = IMG_reader_value_files(IMG_reader_current(), names.data(), (int)names.size(), col, row, &v, units, sizeof units);
    if (got < 0) return false;
    if (got == 0) MESS_print(MESS_PRINT, "missing\n");
    else if (*units) MESS_print(MESS_PRINT, "%.9g %s\n", v, units);
    else MESS_print(MESS_PRINT, "%.9g\n", v);
    return true;
}

void decode(const char *resource, DOM *dom)
{
    const char *text = RES_get(resource);
    if (text && *text) DOM_decode(text, dom);
}

}  // namespace

int main(int argc, char **argv)
{
    const char *pixel = nullptr, *latlon = nullptr, *pgm_raw = nullptr, *value = nullptr;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const char **slot = !std::strcmp(argv[i], "--pixel")    ? &pixel
                            : !std::strcmp(argv[i], "--latlon") ? &latlon
                            : !std::strcmp(argv[i], "--pgm")    ? &pgm_raw
                            : !std::strcmp(argv[i], "--value")  ? &value
                                                                : nullptr;
        if (slot && i + 1 < argc) *slot = argv[++i];
        else argv[kept++] = argv[i];
    }
    argc = kept;
    argv[argc] = nullptr;
    RES_init(argc, argv, SAT_keyed_resources(), SAT_positional_resources());
    SAT_exit_if_requested();
    if (FLAG_help()) {
        char *prog = RES_get_progname(nullptr);
        MESS_print(MESS_PRINT, "%s: processes one satellite image as the display program does\n", prog);
        RES_help_print(prog, SAT_keyed_resources(), SAT_positional_resources());
        return 0;
    }
    SAT_in_file();
    SAT_plot_param();
    DOM dom;
    DOM_init(&dom);
    decode("region", &dom);
    decode("plot_domain", &dom);
    SAT_exit_if_requested();

    // Several files may be the segments of one image: they are read as one.
    std::vector<std::string> given;
    {
        int n = 0;
        char **vals = nullptr;
        RES_getvals("filename", &n, &vals);
        for (int i = 0; i < n; ++i)
            if (vals[i] && *vals[i]) given.emplace_back(vals[i]);
        if (vals) free_parsed_array(n, vals);
    }
    if (given.empty()) {
        MESS_print(MESS_ERROR, "zyrproc: No input file\n");
        return 10;
    }
    const std::vector<std::vector<std::string>> sets = SAT_gather_sets(given);
    // Readers without sets take the first file, as ever.
    const IMG_READER *reader = IMG_reader_current();
    if (sets.size() > 1 && reader && reader->set_key) {
        MESS_print(MESS_ERROR, "zyrproc: the files make %d images, not one: %s is not part of the image of %s\n",
                   (int)sets.size(), sets[1][0].c_str(), sets[0][0].c_str());
        return 10;
    }
    std::vector<const char *> names;
    for (const std::string &f : sets[0]) names.push_back(f.c_str());
    const char *name = names[0];
    IMG img;
    IMG_init(&img);
    const int read = SAT_read_files(names.data(), (int)names.size(), &img, &dom);
    SAT_exit_if_requested();
    if (read != 1 || !img.data) return 10;
    if (pgm_raw && !write_pgm(pgm_raw, img)) {
        MESS_print(MESS_ERROR, "zyrproc: Unable to write %s\n", pgm_raw);
        return 2;
    }
    float a, b, x, y, c, d;
    if (pixel && sscanf(pixel, "%f,%f", &a, &b) == 2 && image_domain(img)) {
        MAP_grid_tran(&x, &y, a, b);
        if (MAP_untran(&c, &d, x, y)) MESS_print(MESS_PRINT, "%.6f %.6f\n", c, d);
        else MESS_print(MESS_PRINT, "off the earth\n");
    }
    if (latlon && sscanf(latlon, "%f,%f", &a, &b) == 2 && image_domain(img)) {
        if (MAP_tran(&x, &y, a, b) && MAP_grid_untran(&c, &d, x, y) == 0) MESS_print(MESS_PRINT, "%.4f %.4f\n", c, d);
        else MESS_print(MESS_PRINT, "not drawable\n");
    }

    if (value && !print_value(value, names)) {
        IMG_free(&img);
        return 10;
    }

    if (dom.proj >= 1 && dom.proj <= 9) {
        SAT_domain_image(&dom);
        SAT_remap_image(&img, &dom);
    }
    if (dom.proj == DOM_ZOOM) SAT_zoom_image(&img, dom.clat, dom.clon, dom.dx);
    if (SAT_get_zoom() != 1.0f) SAT_zoom_image(&img, -9999, -9999, SAT_get_zoom());
    DOM plot;
    SAT_image_setup(&img, &plot);

    MESS_print(MESS_PRINT, "Image domain: ");
    DOM_print(MESS_PRINT, &img.domain);
    MESS_print(MESS_PRINT, "Plot domain: ");
    DOM_print(MESS_PRINT, &plot);

    int status = 0;
    const char *out = RES_get("out_file");
    if (out && *out) {
        std::string o = out;
        bool pgm = ends_with(o, ".pgm"), ppm = ends_with(o, ".ppm");
        const char *fill = RES_get("color_fill");
        if (ppm || (!pgm && fill && *fill)) {
            CLR_read_table(nullptr);
            SAT_set_device_class(0);
            SAT_color_setup();
            SAT_color_image(&img);
            if (!img.cmap) MESS_print(MESS_ERROR, "zyrproc: No colour table to colour %s with\n", name);
        }
        bool ok = pgm ? write_pgm(out, img) : ppm ? write_ppm(out, img) : IMG_write(out, &img, 0) == 1;
        if (!ok) {
            MESS_print(MESS_ERROR, "zyrproc: Unable to write %s\n", out);
            status = 2;
        }
    }
    IMG_free(&img);
    return status;
}
