// Image files on the workstation: load, overlay, read, query and save, and
// the window dumps of the GIF, PNG and XWD writers.
//
// Reading goes through the image layer's IMG_read (a hook the image layer
// fills at start-up), which sets the record's depth to the
// window's before the reader runs.  Without a workstation that depth is 0,
// so an XWD file (whose depth must not exceed the window's) is refused by
// gread_image_file with "Incorrect depth", while GIF, PNG and ZYRIMG files
// read as usual; gload_image_file and goverlay_image_file then have nothing
// to draw into and return 0 without reading.
#include "gks/imgfile.h"

#include "core/flags.h"
#include "core/hooks.h"
#include "gks/gks.h"
#include "gks/gks_int.h"

namespace {

int g_save_type = GSAVE_PNG;

// Reads an image file and hands it to `put` (load or overlay): 1 when the
// file was read and put, else 0.
template <typename Put>
int put_image_file(const char *name, Put put)
{
    if (!gchk_graphics()) return 0;
    IMG img;
    IMG_init(&img);
    if (!gread_image_file(name, &img)) return 0;
    int rc = put(&img);
    IMG_free(&img);
    return rc >= 0 ? 1 : 0;
}

// The window picture written by one of the writers; the image's buffers are
// freed whatever the outcome.
int dump_window(const char *name, int type)
{
    IMG img;
    IMG_init(&img);
    if (!gget_image(&img)) {
        IMG_free(&img);
        return 0;
    }
    int rc = gwrite_image_file(name, &img, type);
    IMG_free(&img);
    return rc;
}

}  // namespace

int gwrite_image_file(const char *name, IMG *img, int type)
{
    if (type < GSAVE_GIF || type > GSAVE_ZYR) {
        MESS_print(MESS_ERROR, "gwrite_image_file: unknown save type %d\n", type);
        return 0;
    }
    // The writers themselves belong to the image layer.
    return HOOK_table().write_image_file ? HOOK_table().write_image_file(name, img, type) : 0;
}

int gload_image_file(const char *name, int x, int y)
{
    return put_image_file(name, [&](IMG *img) { return gload_image(img, x, y); });
}

int goverlay_image_file(const char *name, const char *colour, int x, int y)
{
    return put_image_file(name, [&](IMG *img) { return goverlay_image(img, colour, x, y); });
}

int gread_image_file(const char *name, IMG *img)
{
    return HOOK_table().read_image_file ? HOOK_table().read_image_file(name, img, 0) : 0;
}

int gquery_image_file(const char *name, IMG *img)
{
    return HOOK_table().read_image_file ? HOOK_table().read_image_file(name, img, 1) : 0;
}

int gsave_image_file(const char *name) { return dump_window(name, g_save_type); }

int gset_save_image_type(int t)
{
    if (t < GSAVE_GIF || t > GSAVE_ZYR) return -1;
    g_save_type = t;
    return 0;
}

int gget_save_image_type() { return g_save_type; }

int GIF_dump(const char *name) { return dump_window(name, GSAVE_GIF); }

int PNG_dump(const char *name) { return dump_window(name, GSAVE_PNG); }

int XWD_dump(const char *name) { return dump_window(name, GSAVE_XWD); }

void gks::imgfile_reset() { g_save_type = GSAVE_PNG; }
