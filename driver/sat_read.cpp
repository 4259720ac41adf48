// Reader dispatch: the reader table's row for the input-type flag reads the
// file into the image record; the program prints what was read, sets the
// plot labels and the satellite navigation state.
#include "driver/sat_read.h"
#include "driver/sat.h"

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"
#include "files/file.h"
#include "image/nav.h"
#include "image/reader_table.h"
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
    char title[PLT_LABEL_SIZE];
    PLT_label_up_left(PLT_image_title(image, title));
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

// The AREA path: the reader fills the image and the AREA record; the
// labels are set, an "output" request answered, the directory printed and
// the navigation and domain set up from the record.
int read_area_path(const IMG_READER *reader, const char *name, IMG *image)
{
    IMG_READ_OUT out{image, &last_area};
    const int ret = IMG_reader_read_file(reader, name, nullptr, &out);
    SAT_exit_if_requested();
    if (ret != IMG_READ_OK) return 0;
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
    // The fit may name a region whose prompt was answered with "exit".
    SAT_exit_if_requested();
    return 1;
}

}  // namespace

int SAT_read_file(const char *name, IMG *image, const DOM *plot_domain)
{
    return SAT_read_files(&name, 1, image, plot_domain);
}

int SAT_read_files(const char *const *names, int n, IMG *image, const DOM *plot_domain)
{
    const IMG_READER *reader = IMG_reader_current();
    if (!reader || n < 1) return 0;
    if (reader->nav == IMG_NAV_AREA) {
        int ok = read_area_path(reader, names[0], image);
        // The infrared temperature scales follow the source of the last image.
        if (ok > 0) SAT_set_image_values(image);
        return ok;
    }

    if (reader->announce == IMG_ANNOUNCE_BEFORE)
        for (int i = 0; i < n; ++i) MESS_print(MESS_MESS, "Reading image file: %s\n", names[i]);
    IMG_READ_OUT out{image, nullptr};
    // A reader that decodes windows reads only what the plot domain, fitted
    // to the view, shows.
    DOM fitted;
    const bool fit = n == 1 && reader->read_header && plot_domain && plot_domain->proj >= 1 &&
                     plot_domain->proj <= 9;
    if (fit) {
        fitted = *plot_domain;
        SAT_domain_image(&fitted);
    }
    const int ret = fit ? IMG_reader_read_file_for(reader, names[0], &fitted, &out)
                        : IMG_reader_read_files(reader, names, n, nullptr, &out);
    // A domain in the file or the grid_domain resource may name a region
    // whose prompt was answered with "exit".
    SAT_exit_if_requested();
    if (reader->announce == IMG_ANNOUNCE_AFTER)
        for (int i = 0; i < n; ++i) MESS_print(MESS_MESS, "Processing image file: %s\n", names[i]);
    clear_tran_sat();
    if (ret != IMG_READ_OK) return 0;
    image->source = reader->source;
    // A satellite-view image is located through the satellite navigation
    // again.
    if (reader->nav == IMG_NAV_SAT_VIEW && image->domain.proj == DOM_SAT) {
        SAT_set_tran_sat(1);
        GVAR_calc_domain(image);
        SAT_exit_if_requested();
    }
    if (reader->rebuild_label && image->date.year != DOM_MISSING)
        DATE_make_label(&image->date, image->date_label);
    image->byte_order = 1;
    print_common(image);
    // The colours and the bar follow what the counts stand for: brightness
    // temperatures a reader put on the program's infrared scale read through
    // that scale, whatever their format; other values through their own.
    SAT_set_image_values(image);
    return 1;
}

std::vector<std::vector<std::string>> SAT_gather_sets(const std::vector<std::string> &names)
{
    std::vector<std::vector<std::string>> sets;
    const IMG_READER *reader = IMG_reader_current();
    if (!reader || !reader->set_key || names.size() < 2) {
        for (const std::string &name : names) sets.push_back({name});
        return sets;
    }
    // Parts join the set of their key, placed where its first part came;
    // prologues and epilogues join every set their key begins, and stand
    // alone when they join none.
    std::vector<std::string> keys;
    std::vector<std::pair<std::string, std::string>> aux;  // key, name
    for (const std::string &name : names) {
        char key[256];
        const int kind = IMG_reader_set_key_file(reader, name.c_str(), key, sizeof key);
        if (kind == IMG_SET_AUX) {
            aux.emplace_back(key, name);
            continue;
        }
        size_t k = sets.size();
        if (kind == IMG_SET_PART)
            for (size_t j = 0; j < keys.size(); ++j)
                if (keys[j] == key) k = j;
        if (k == sets.size()) {
            sets.emplace_back();
            keys.push_back(kind == IMG_SET_PART ? key : "");
        }
        sets[k].push_back(name);
    }
    for (const auto &[key, name] : aux) {
        bool joined = false;
        for (size_t j = 0; j < sets.size(); ++j)
            if (!keys[j].empty() && keys[j].compare(0, key.size(), key) == 0) {
                sets[j].push_back(name);
                joined = true;
            }
        if (!joined) sets.push_back({name});
    }
    return sets;
}
