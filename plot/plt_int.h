// State shared by the files of the plot session (not for other modules).
#pragma once

#include "files/file.h"
#include "map/dom.h"

namespace plt {

struct State {
    int work_id = 1;
    int wk_type = 0;
    float view_off[4] = {0, 0, 0.04f, 0.04f};
    float view_offset = 0.04f;
    float dis_view[4] = {0, 1, 0, 1};
    int full_lab = 0;
    int border = 1;
    int bar = 0;        // colour bar wanted
    int bar_count = 0;  // times PLT_bar handed it out
    int num_over = 0;
    int overlay = 0;
    int over_base = 0;
    int dump = 0;
    char dump_file[160] = "";
    int zoom = 0;
    bool zoom_active = false;
    float zoom_x = 0, zoom_y = 0;
    bool have_saved = false;
    DOM saved_domain{};
    bool opened = false;
};

State &state();
// Labels: remember every position's first-line length at an overlay change.
void mark_overlay_change();
// Resets labels of the store and the overlay count.
void reset_labels();
bool plotting_off();
// Program start of the label store, the kept plot options and the
// animation requests (PLT_reset_state calls them).
void reset_label_state();
void reset_param_state();
void reset_anim_state();
void reset_geotiff_state();
// Files requested by plot parameter words ("anim", "geotiff", ...): the
// keyword, the default name and what messages call the file; a request
// holds the name convention.
struct FileKind {
    const char *word;
    const char *def;
    const char *what;
};
struct FileRequest {
    bool on = false;
    char conv[FILE_NAME_SIZE] = "";
};
// Requests kind (convention name, null or "" for the kind's default).
void file_request(FileRequest &r, const FileKind &kind, const char *name);
// The first of the n kinds whose keyword begins word (any case; the
// convention follows one separator character): its index, with its request
// in requests[] set, or -1.
int file_word(const char *word, const FileKind *kinds, FileRequest *requests, int n);
// The path of an output file named like a dump: the convention with the
// date of the current file (zero fields for a file without a date), key i
// = key_i, key p = the window title, along the "image_path" resource.
// Sets the file layer's convention: callers save and restore it.
void output_name(const char *conv, const char *key_i, char *path);
// The window's picture as a PNG file (plt_dump.cpp), compressed and written
// on the worker thread unless ZYR_THREADS=1 (dump_png_threaded): 0 (after
// a message) when the picture or the file cannot be had, else 1, with the
// outcome printed when PLT_dump_wait or the next dump joins the worker.
bool dump_png_threaded();
int dump_png(const char *path);

} // namespace plt
