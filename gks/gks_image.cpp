// Image transfer between image records and the workstation.
#include "gks/gks_int.h"

int gload_image(IMG *, int, int) { return 0; }
int goverlay_image(IMG *, const char *, int, int) { return 0; }
int gget_image(IMG *) { return 0; }
int gsetup_image_colors(IMG *, long) { return 0; }
