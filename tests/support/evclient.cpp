// A second process drawing into a window held by another (the embedded
// workstation): it opens in pixel mode 2, which asks the owner for a new
// frame and waits until the owner has made it, fills a square (350, 350) to
// (400, 400) in red into the pixmap it was given, and closes in pixel mode 9,
// which ends the owner's hold.
//
//   evclient <window id> <pixmap id> <width>x<height>
//
// Prints "opened" and "closed"; exit status 0, or 3 when the workstation
// cannot be opened.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gks/gks.h"

int main(int argc, char **argv) {
    const char *display = getenv("DISPLAY");
    if (argc != 4 || !display) {
        fprintf(stderr, "usage: evclient <window id> <pixmap id> <width>x<height>\n");
        return 2;
    }
    std::string conn = std::string(display) + ",+" + argv[1] + ":" + argv[2] + ":" + argv[3];
    if (gopen_gks("", 0) != 0) return 3;
    gset_pix_mode(2);
    if (gopen_ws(1, conn.c_str(), GWS_PIX) != 0) return 3;
    printf("opened\n");
    fflush(stdout);

    int w = 0, h = 0;
    gget_win_size(&w, &h);
    // Transform 0 spans the square of the window's height: world = pixel,
    // y up.
    float win[4] = {0, (float)(h - 1), 0, (float)(h - 1)};
    gset_win(0, win);
    gsel_norm_tran(0);
    const float red[3] = {1, 0, 0};
    gset_colr_rep(1, 2, red);
    gset_fill_colr_ind(2);
    gset_fill_int_style(1);
    const float y1 = (float)(h - 1 - 400), y2 = (float)(h - 1 - 350);
    const float square[8] = {350, y1, 400, y1, 400, y2, 350, y2};
    gfill_area(4, square);
    gsync();

    gset_pix_mode(9);
    gclose_ws(1);
    gclose_gks();
    printf("closed\n");
    fflush(stdout);
    return 0;
}
