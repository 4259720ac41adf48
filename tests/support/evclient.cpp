// Draws into a window another process holds:  evclient <window parameters>
// Opens in pixel mode 2 (a new frame of the owner), prints "opened <title>
// <w>x<h> pix=<p> winpix=<wp>", fills (350, 350) to (400, 400) red, prints
// "objects <n>", closes in mode 9 (ending the hold), prints "closed".
// Status 3 when the workstation cannot be opened.
#include <cstdio>
#include <cstdlib>
#include <string>
#include "gks/gks.h"

int main(int argc, char **argv) {
    const char *display = getenv("DISPLAY");
    if (argc != 2 || !display) return fprintf(stderr, "usage: evclient <window parameters>\n"), 2;
    std::string conn = std::string(display) + "," + argv[1];
    if (gopen_gks("", 0) != 0) return 3;
    gset_pix_mode(2);
    if (gopen_ws(1, conn.c_str(), GWS_PIX) != 0) return 3;
    int w = 0, h = 0;
    gget_win_size(&w, &h);
    printf("opened %s %dx%d pix=%d winpix=%d\n", gget_win_title(), w, h, gtype_is_PIX(), gtype_is_WIN_PIX());
    fflush(stdout);
    // World = pixel, y up, over the square of the window's height.
    float win[4] = {0, (float)(h - 1), 0, (float)(h - 1)};
    gset_win(0, win);
    gsel_norm_tran(0);
    const float red[3] = {1, 0, 0}, y1 = (float)(h - 1 - 400), y2 = (float)(h - 1 - 350);
    gset_colr_rep(1, 2, red);
    gset_fill_colr_ind(2);
    gset_fill_int_style(1);
    const float square[8] = {350, y1, 400, y1, 400, y2, 350, y2};
    gfill_area(4, square);
    gsync();
    printf("objects %d\n", gnum_objs());
    gset_pix_mode(9);
    gclose_ws(1);
    gclose_gks();
    printf("closed\n");
    return 0;
}
