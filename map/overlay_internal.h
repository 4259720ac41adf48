// Pieces shared by the map overlay's files (overlay.cpp, mapdb.cpp,
// grid.cpp); not part of the module's interface.
#pragma once

#include "map/dom.h"

// Draws one finished line of plot coordinates (x, y pairs) through the
// line sink or the kernel, filled when the fill state is set.
void MAP_emit_line(int n, const float *pts);
int MAP_get_fill();
// A rectangle holding every point MAP_tran gives the n latitude/longitude
// pairs, or false (see MapProj::bound).
bool MAP_bound(int n, const float *latlon, float out4[4]);
// MAP_map for a map item drawn in solid lines of the given width on the
// window: pieces of lines that lie well outside the window are drawn as
// one straight line between their ends instead of point by point (the
// window shows the same pixels; the points in between are not projected).
int MAP_map_solid(FILE *stream, float width);
bool MAP_has_line_sink();
// Text at a plot position through the kernel (the grid labels).
void MAP_emit_text(float x, float y, const char *text);
int MAP_get_extra();
// The grid pieces (and extra label places) one drawing's grids may take
// together: MAP_draw sets it before its items and clears it (< 0) after;
// without it each grid is held to the limit alone.
constexpr double MAP_GRID_BUDGET = 4e6;
void MAP_grid_budget(double pieces);
// The fixed default map list for a domain and map height (height < 0: the
// domain's own (ny-1)*dy).
const char *MAP_default_list(const DOM *d, float height);
// Program start of the overlay settings, its sinks and the grid budget.
void MAP_reset_overlay();

// A status line on the plot's workstation ("Map: ...", "Map-lalo: ..."),
// through the plot layer's message hook.
void MAP_status(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
