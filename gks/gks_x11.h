// Shared by the two halves of the X11 workstation: gks_x11_open.cpp opens and
// closes the windows, gks_x11.cpp draws, keeps the settings and answers the
// queries.
#pragma once

#include <string>

#include "gks/gks.h"
#include "gks/device.h"

namespace gks {

// Settings made before opening, and the headless window's extra title text
// (the X window keeps its extra text in its name).
struct X11Settings {
    char geometry[41] = "";
    int pix_mode = 0;
    bool iconic = false;
    bool fixed_size = false;
    bool have_icon = false;
    unsigned char icon[288] = {};
    char prog_name[21] = "V11_Ozero";
    char win_title[61] = "V11_Ozero";
    bool inverse = false;
    bool local_cmap = false;
    char background[64] = "";
    int req_type = GWS_WIN;
    std::string mem_extra;
};
X11Settings &x11_settings();

// The drawing device of an X workstation just opened (type 1 or 6).
GDevice *x11_device(int type);

}  // namespace gks
