// Calls from a lower layer into a higher one.  The foundation and the lower
// layers know only these slots; the layer that owns the work fills its slots
// at start-up (FILE_register_hooks, MAP_register_hooks, IMG_register_hooks,
// PLT_register_hooks, and the program's SAT_register_hooks, which calls them
// all and adds the resource catalogue).  An empty slot does nothing and
// reports failure, so a lower layer used on its own still runs.
#pragma once

#include "core/records.h"

struct RES_DESC;

struct HOOKS {
    // Resources of type "domain" and "region": the map layer's DOM_decode.
    int (*decode_domain)(const char *text, DOM *dom);
    // The "hour" resource: the file layer's time override (FILE_set_time).
    int (*set_file_time)(const char *text);
    // The display time zone ("zyrtz"): DATE_set_TZ.
    int (*set_time_zone)(const char *text);
    // Time stamp written before each line of a message file: DATE_get_current_str.
    char *(*current_time_text)(char *out);
    // Fills a resource description by its catalogue id: the program's RES_enter.
    int (*catalogue_entry)(RES_DESC *desc, int id);
    // Any image file into a record, query 1 for its properties only: IMG_read.
    int (*read_image_file)(const char *name, IMG *image, int query);
    // An image record written in one of the kernel's save types (GSAVE_*):
    // 1 success, 0 failure.
    int (*write_image_file)(const char *name, IMG *image, int type);
    // A status line on the plot's workstation: PLT_mess.
    int (*plot_message)(const char *text);
    // Events of the plot window (size change, zoom, value query): the plot
    // session's PLT_plot_resize, PLT_plot_zoom and PLT_print_values.
    int (*plot_resize)(const char *name);
    int (*plot_zoom)(const char *name, float x, float y);
    int (*plot_values)(const char *name, float x, float y);
};

// The one table of the process.
HOOKS &HOOK_table();
// Empties every slot (tests that check a layer on its own).
void HOOK_reset();
