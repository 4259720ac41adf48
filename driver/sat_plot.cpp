// The satellite display driver: the output image file choice, the walk over
// the input files, the per-frame processing chain and the new-file poll.
//
// Choices made here where the behaviour is open:
// - A late offset (template time step) below 1 second leaves the newest file
//   time unrounded instead of dividing by zero.
// - An "out_file" entry "none" is not special: it selects the convention
//   "none", whose empty template makes the output name fall back to the
//   input file's name, and the overwrite question then keeps the input file.
// - Several files on a device file (PostScript, HPGL, metafile) make no
//   animation frames, which need a display: each file after the first
//   starts a new page (a new CGM picture), so every file gets a page of its
//   own.  A file that holds one page (encapsulated PostScript, a plot
//   appended to an existing file) has the files drawn in turn on it.  Loops
//   meant as pictures go to a window or to image dumps.
// - Plotters and metafiles show no image: their frames take the remapped
//   domain without remapping or colouring pixels (the remap would run at
//   the plotter's resolution for nothing), unless "out_file" writes the
//   remapped image.  Lines, labels, map and colour bar are drawn the same.
// - A file named literally (no name convention applies) has no date in the
//   file layer; the image's own date then names the output image file and
//   sets the frame time, so that "out_file" templates get a real date.
// - "out_file" entries beginning with "gif" or "png" ask for picture dumps,
//   which the plot session handles: they never name a native image file.
// - GeoTIFF requests write the values as the remap (or zoom) left them,
//   beside the native image file, and the picture once it is coloured.
#include "driver/sat.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"
#include "driver/sat_read.h"
#include "files/date.h"
#include "files/file.h"
#include "gks/attrib.h"
#include "gks/gks.h"
#include "image/img.h"
#include "image/reader_table.h"
#include "map/dom.h"
#include "map/map.h"
#include "plot/plt.h"
#include "plot/plt_anim.h"
#include "plot/plt_geotiff.h"
#include "satproc/enh.h"
#include "satproc/fit.h"
#include "satproc/remap.h"
#include "satproc/sat_param.h"

namespace {

constexpr int MISSING = -9999;

struct Driver {
    DOM tmp_domain{};
    DOM plot_domain{};
    char filename[FILE_NAME_SIZE] = "";
    int64_t fsecs = 0;
    IMG image{};
    DATE base_date{};
    DATE file_date{};
    bool params_read = false;
};
Driver drv;

// Case-insensitive "text begins with prefix".
bool starts_with(const char *text, const char *prefix)
{
    return strnicmp(text, prefix, std::strlen(prefix)) == 0;
}

// Rounds a file time down to a multiple of the template's time step.
int64_t round_to_late_off(int64_t secs)
{
    int off = FILE_get_late_off();
    if (off < 1) return secs;
    return secs / off * off;
}

// A file date the file layer could not give is taken from the image read.
void date_from_image()
{
    if (drv.file_date.year < 0 && drv.image.date.year > 0) drv.file_date = drv.image.date;
}

// Window workstations hold frames; device files do not.
bool frames_possible()
{
    int type = PLT_get_work_type();
    return type == 1 || type == 6;
}

// Draws the image just read as frame (or page) i of the walk.
void draw_image(int i, bool use_frames, bool pages)
{
    date_from_image();
    drv.fsecs = round_to_late_off(DATE_num_sec(&drv.file_date));
    if (use_frames) {
        gcreate_frame(i);
        gselect_frame(i);
    } else if (i > 0 && pages) {
        gnew_page(0);
    }
    SAT_plot_frame();
    // A dump shows the frame itself: showing it here too would copy the
    // whole picture twice a frame.
    if (use_frames && !PLT_dump_shows(i)) gdisplay_frame(i);
    PLT_dump(i);
}

// The walk of a reader that reads segment sets: every file of the walk
// first, then one frame per image, the segments of one image read together.
// Several images make frames (or pages) as several files do; one set is one
// image.  When segments were gathered, a file that cannot be read (in a set
// or alone) ends the program with status 10 after the other images are
// drawn; otherwise failed files are passed over as in any walk.  The number
// of frames drawn.
int plot_sets(bool &use_frames)
{
    std::vector<std::string> names;
    std::vector<DATE> dates;
    char name[FILE_NAME_SIZE] = "";
    int got;
    while ((got = FILE_get_next(name)) == 1) {
        names.emplace_back(name);
        dates.emplace_back();
        FILE_get_date(&dates.back());
    }
    const std::vector<std::vector<std::string>> sets = SAT_gather_sets(names);
    const bool several = sets.size() > 1 || sets.size() == names.size();
    use_frames = use_frames && several;
    bool gathered = false, failed = false;
    for (const std::vector<std::string> &set : sets) gathered = gathered || set.size() > 1;
    int i = 0;
    for (const std::vector<std::string> &set : sets) {
        SAT_exit_if_requested();
        std::snprintf(drv.filename, sizeof drv.filename, "%s", set[0].c_str());
        drv.file_date = dates[(size_t)(std::find(names.begin(), names.end(), set[0]) - names.begin())];
        std::vector<const char *> files;
        for (const std::string &f : set) files.push_back(f.c_str());
        if (SAT_read_files(files.data(), (int)files.size(), &drv.image, &drv.tmp_domain)) {
            draw_image(i, use_frames, several);
            i++;
        } else {
            failed = true;
        }
    }
    if (failed && (gathered || !several)) {
        PLT_exit(10);
        SAT_exit_if_requested();
    }
    // A listed "exit" ends the program after the images before it.
    if (got < 0) SAT_exit_if_requested();
    return i;
}

} // namespace

int SAT_out_file()
{
    int count = 0;
    char **entries = nullptr;
    if (RES_getvals("out_file", &count, &entries) < 0 || count <= 0 || !entries) {
        if (entries) free_parsed_array(count, entries);
        return 0;
    }
    int result = 0;
    for (int i = 0; i < count; i++) {
        const char *e = entries[i];
        size_t n = std::strlen(e);
        if (starts_with(e, "gif") || starts_with(e, "png")) continue;
        if (starts_with(e, "imgz")) {
            FILE_set_name(n > 4 ? e + 5 : "sat_img");
            result = 2;
        } else if (starts_with(e, "img")) {
            FILE_set_name(n > 3 ? e + 4 : "sat_img");
            result = 1;
        } else {
            FILE_set_name(e);
            result = 1;
        }
    }
    free_parsed_array(count, entries);
    return result;
}

int SAT_set_date(const DATE *date)
{
    if (date) drv.base_date = *date;
    else FILE_get_date(&drv.base_date);
    return 0;
}

int SAT_plot_frame()
{
    IMG *image = &drv.image;
    DOM *dom = &drv.tmp_domain;

    // Date codes of the labels show this frame's time: the image's own
    // date, or the one from the file name when the image carries none.
    PLT_label_date(image->date.year > 0 ? &image->date : &drv.file_date);

    // A plotter or metafile cannot show the image: its plot needs only the
    // domain the remap would give, unless the remapped image is written out
    // or zoomed (the zoom's domain comes from its pixels).
    FILE_save_name_conv();
    const bool pixels =
        gtype_shows_images() || SAT_out_file() != 0 || SAT_get_zoom() != 1.0f || PLT_get_geotiff() != 0;
    FILE_restore_name_conv();

    SAT_color_setup();
    if (dom->proj >= 1 && dom->proj <= 9) {
        SAT_domain_image(dom);
        if (pixels) SAT_remap_image(image, dom);
        else SAT_remap_domain(image, dom);
    }
    if (dom->proj == 50) SAT_zoom_image(image, dom->clat, dom->clon, dom->dx);
    float zoom = SAT_get_zoom();
    if (zoom != 1.0f) SAT_zoom_image(image, MISSING, MISSING, zoom);

    FILE_save_name_conv();
    int out = SAT_out_file();
    if (out != 0) {
        FILE_set_date(&drv.file_date, drv.filename);
        int ok = FILE_overwrite(drv.filename, 1);
        SAT_exit_if_requested();
        if (ok == 0 || ok == 1) {
            MESS_print(MESS_PRINT, "Writing image file: %s\n", drv.filename);
            IMG_write(drv.filename, image, out == 2);
        }
    }
    FILE_restore_name_conv();
    PLT_geotiff_write(image, PLT_GEOTIFF_VALUES);

    SAT_image_setup(image, &drv.plot_domain);
    if (pixels) SAT_color_image(image);
    PLT_geotiff_write(image, PLT_GEOTIFF_PICTURE);
    MAP_draw(1);
    if (pixels && FLAG_getplot(PLOT_DATA)) {
        gsel_norm_tran(2);
        if (SAT_get_over()) goverlay_image(image, "black", 0, 0);
        else gload_image(image, 0, 0);
    }
    int bar = SAT_get_bar();
    if (bar != 0) SAT_color_bar(bar - 1);
    IMG_free(image);
    MAP_setup(&drv.plot_domain);
    PLT_map_draw(6);
    PLT_labels();
    return 0;
}

int SAT_callback(int event, const char *key, float x, float y)
{
    (void)event;
    PLT_print_values(key, x, y);
    PLT_plot_zoom(key, x, y);
    PLT_plot_resize(key);
    return 0;
}

int SAT_plot_nextfile(DOM *domain)
{
    (void)domain;
    char name[FILE_NAME_SIZE] = "";
    int64_t secs = FILE_set_current(nullptr, name);
    if (secs == drv.fsecs) return 0;
    std::snprintf(drv.filename, sizeof drv.filename, "%s", name);
    if (!SAT_read_file(drv.filename, &drv.image, &drv.tmp_domain)) return 0;
    FILE_get_date(&drv.base_date);
    drv.file_date = drv.base_date;
    date_from_image();
    drv.fsecs = secs;

    int n = gget_num_images();
    if (n < 1) {
        gclear_frame(-3);
        SAT_plot_frame();
        return 0;
    }
    for (int j = 0; j <= n - 2; j++) gcopy_frame(j, j + 1);
    gcreate_frame(n - 1);
    gselect_frame(n - 1);
    SAT_plot_frame();
    gdisplay_frame(n - 1);
    return 0;
}

int SAT_plot(DOM *domain)
{
    if (domain) drv.tmp_domain = *domain;
    bool opened_here = false;

    if (gchk_graphics()) {
        // A zoom or resize: the session is open, replot every file for the
        // new domain into it.
        float aspect = drv.tmp_domain.proj == MISSING ? 1.5f : DOM_aspect(&drv.tmp_domain);
        PLT_reset(aspect);
    } else {
        if (!drv.params_read) {
            SAT_plot_param();
            drv.params_read = true;
        }
        float aspect = (drv.tmp_domain.proj == MISSING && drv.tmp_domain.nx == MISSING)
                           ? 1.5f
                           : DOM_aspect(&drv.tmp_domain);
        PLT_open(aspect);
        SAT_exit_if_requested();
        PLT_set_callback(SAT_callback);
        PLT_set_zoom_func(SAT_plot);
        PLT_set_resize_func(SAT_plot);
        if (SAT_get_refresh()) PLT_set_refresh_func(60.0f, SAT_plot_nextfile);
        opened_here = true;
    }

    FILE_first(&drv.base_date);
    int i = 0;
    bool use_frames = FILE_get_num_file() != 0 && frames_possible();
    const IMG_READER *reader = IMG_reader_current();
    if (reader && reader->set_key && FILE_get_num_file() != 0) {
        i = plot_sets(use_frames);
    } else {
        while (FILE_get_next(drv.filename)) {
            SAT_exit_if_requested();
            FILE_get_date(&drv.file_date);
            if (SAT_read_file(drv.filename, &drv.image, &drv.tmp_domain)) {
                draw_image(i, use_frames, FILE_get_num_file() != 0);
                i++;
            } else if (FILE_get_num_file() == 0) {
                PLT_exit(10);
                SAT_exit_if_requested();
            }
        }
    }
    PLT_dump_wait();
    if (use_frames) gset_looping(1);
    PLT_anim_dump(i);
    if (opened_here) {
        PLT_close();
        SAT_exit_if_requested();
    }
    return 0;
}

int SAT_main()
{
    SAT_in_file();
    DOM domain;
    DOM_init(&domain);
    RES_getval("region", &domain, RES_T_REGION);
    SAT_exit_if_requested();
    RES_getval("plot_domain", &domain, RES_T_DOMAIN);
    SAT_exit_if_requested();
    VAR_set_type(0, 11);
    MESS_print_prog("SATELLITE IMAGE DISPLAY");

    // Nothing to plot when the input type names no reader.
    if (!IMG_reader_current()) return 0;

    char name[FILE_NAME_SIZE] = "";
    FILE_get_file("Enter the satellite filename: ", name);
    SAT_exit_if_requested();
    DATE date{};
    FILE_get_date(&date);
    SAT_set_date(&date);
    SAT_plot(&domain);
    return 0;
}

void SAT_reset_driver()
{
    IMG_free(&drv.image);
    drv = Driver{};
}
