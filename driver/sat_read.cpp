// Reader dispatch: the input-type flag picks the reader, the image record is
// filled, what was read is printed and the plot labels are set.
#include "driver/sat_read.h"

#include <cstring>

#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"
#include "files/file.h"
#include "image/nav.h"
#include "image/readers.h"
#include "plot/plt.h"
#include "satproc/enh.h"
#include "satproc/fit.h"
#include "satproc/sat_param.h"

namespace {

// The AREA record of the last file read.  Navigation keeps pointers into
// its blocks, so it lives until the next AREA file replaces it.
AREA_REC last_area{};


// The plot labels: the upper-left shows the info text, the upper-right the
// date label.
void set_labels(const IMG *image)
{
    PLT_label_up_left(image->info);
    PLT_label_up_right(image->date_label);
}

// Remapping of satellite images through the satellite navigation is switched
// off for every reader but AREA.
void clear_tran_sat() { SAT_set_tran_sat(0); }

void print_common(const IMG *image)
{
    MESS_print(MESS_OUT2, "Date: %s\n", image->date_label);
    MESS_print(MESS_OUT2, "Info: %s\n", image->info);
    set_labels(image);
    MESS_print(MESS_OUT2, "Image domain: ");
    DOM_print(MESS_OUT2, &image->domain);
}

int year_of(int yyddd)
{
    int y = yyddd / 1000;
    if (y < 50) y += 2000;
    else if (y < 200) y += 1900;
    return y;
}

// The "output" resource: print the date, its sequence text or the output
// file name instead of plotting.  true when it answered.
bool answer_output(const IMG *image)
{
    const char *what = RES_get("output");
    if (!what || !*what) return false;
    char text[DATE_TEXT_SIZE];
    if (!strnicmp(what, "date", 4)) {
        MESS_print(MESS_PRINT, "%s\n", image->date_label);
    } else if (!strnicmp(what, "seq", 3)) {
        MESS_print(MESS_PRINT, "%s\n", DATE_make_seq(&image->date, text));
    } else if (!strnicmp(what, "file", 4)) {
        char name[FILE_NAME_SIZE] = "";
        const char *conv = RES_get("out_file");
        DATE date = image->date;
        FILE_save_name_conv();
        FILE_set_name(conv ? conv : "");
        FILE_set_date(&date, name);
        FILE_restore_name_conv();
        MESS_print(MESS_PRINT, "%s\n", name);
    } else {
        return false;
    }
    return true;
}

void fill_from_area(IMG *image, AREA_REC *area)
{
    const int32_t *dir = area->dir;
    IMG_init(image);
    image->source = IMG_SRC_AREA;
    image->nx = dir[AREA_W_NELEMS];
    image->ny = dir[AREA_W_NLINES];
    image->res_x = (float)dir[AREA_W_ERES];
    image->res_y = (float)dir[AREA_W_LRES];
    image->off_x = (float)dir[AREA_W_ELEM];
    image->off_y = (float)dir[AREA_W_LINE];
    if (!std::strcmp(area->nav_type, "GOES"))
        image->off_y = (float)((int64_t)dir[AREA_W_LINE] - dir[AREA_W_START_SCAN]);
    image->bytes_line = dir[AREA_W_NELEMS];
    image->depth = 8;
    image->byte_order = 1;
    image->data = area->data;
    area->data = nullptr;

    DATE *d = &image->date;
    d->year = year_of(dir[AREA_W_DATE]);
    d->julian = dir[AREA_W_DATE] % 1000;
    DATE_julian_monday(d->year, d->julian, &d->month, &d->day);
    d->hour = dir[AREA_W_TIME] / 10000;
    d->minute = (dir[AREA_W_TIME] / 100) % 100;
    d->second = 0;
    std::memcpy(image->info, dir + AREA_W_MEMO, 32);
    image->info[32] = '\0';
    DATE_make_label(d, image->date_label);
}

int read_area_path(const char *name, IMG *image)
{
    FILE *in = FILE_open(name, "r");
    if (!in) {
        MESS_print(MESS_WARN, "SAT_read_file: Unable to open file:%s\n", name);
        return 0;
    }
    int ret = SAT_read_AREA(in, &last_area, name);
    if (in != stdin) std::fclose(in);
    if (ret == -1) {
        MESS_print(MESS_WARN, "SAT_read_file: Unable to read image file\n");
        return 0;
    }
    fill_from_area(image, &last_area);
    set_labels(image);
    if (answer_output(image)) return 0;

    const int32_t *dir = last_area.dir;
    MESS_print(MESS_OUT2, "Date: %s\n", image->date_label);
    MESS_print(MESS_OUT2, "Size: %dx%d\n", dir[AREA_W_NELEMS], dir[AREA_W_NLINES]);
    MESS_print(MESS_OUT3, "Resolution: %dx%d\n", dir[AREA_W_ERES], dir[AREA_W_LRES]);
    MESS_print(MESS_OUT3, "Correction: %dx%d\n", dir[AREA_W_ELEM], dir[AREA_W_LINE]);
    MESS_print(MESS_OUT3, "Bands: %x\n", (unsigned)dir[AREA_W_BANDS]);
    MESS_print(MESS_OUT3, "Source type: %4.4s\n", (const char *)(dir + AREA_W_SOURCE));
    MESS_print(MESS_OUT3, "Calibration type: %4.4s\n", (const char *)(dir + AREA_W_CALIB));
    MESS_print(MESS_OUT3, "Navigation type: %4.4s\n", last_area.nav_type);
    MESS_print(MESS_OUT2, "Comments: %32.32s\n", (const char *)(dir + AREA_W_MEMO));

    AREA_init(&last_area);
    AREA_calc_domain(image, &last_area);
    return 1;
}

}  // namespace

const AREA_REC *SAT_get_area() { return &last_area; }

int SAT_read_file(const char *name, IMG *image)
{
    const int type = FLAG_get(FLAG_INPUT);
    if (type == IMG_SRC_AREA) {
        int ok = read_area_path(name, image);
        // The infrared temperature scales follow the source of the last image.
        if (ok > 0) SAT_set_imager_source(image->source);
        return ok;
    }

    int ret;
    int source = type;
    bool rebuild_label = false;
    switch (type) {
    case 53:
    case 54:
        MESS_print(MESS_MESS, "Reading image file: %s\n", name);
        ret = SAT_read_AWIP(name, image);
        source = IMG_SRC_AWIP;
        break;
    case 55:
        MESS_print(MESS_MESS, "Reading image file: %s\n", name);
        ret = SAT_read_Unisys(name, image);
        break;
    case 50:
        MESS_print(MESS_MESS, "Reading image file: %s\n", name);
        ret = IMG_read_zyr(name, image, 0);
        rebuild_label = true;
        break;
    case 59:
        ret = SAT_read_TIFF(name, image);
        MESS_print(MESS_MESS, "Processing image file: %s\n", name);
        rebuild_label = true;
        break;
    case 60:
        ret = SAT_read_LRIT(name, image);
        MESS_print(MESS_MESS, "Processing image file: %s\n", name);
        rebuild_label = true;
        break;
    default:
        return 0;
    }
    clear_tran_sat();
    if (ret == -1) return 0;
    // The ZYRIMG reader also answers 0 when the pixels found no memory.
    if (type == 50 && ret == 0) return 0;
    image->source = source;
    // A satellite-view Unisys image is located through the satellite
    // navigation again.
    if (type == 55 && image->domain.proj == DOM_SAT) {
        SAT_set_tran_sat(1);
        GVAR_calc_domain(image);
    }
    if (rebuild_label && image->date.year != DOM_MISSING)
        DATE_make_label(&image->date, image->date_label);
    image->byte_order = 1;
    print_common(image);
    SAT_set_imager_source(image->source);
    return 1;
}
