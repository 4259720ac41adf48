// State shared by the files of the plot session (not for other modules).
#pragma once

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

} // namespace plt
