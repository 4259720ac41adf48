// The seam between the graphics kernel and its output devices.
//
// The kernel's device-independent code decides all geometry: it converts
// world coordinates to device units (pixels with y down for the X devices,
// driver units with y up for the file drivers), clamps them, computes the
// clip rectangle, builds marker shapes and text strokes, and does the
// colour bookkeeping.  A device only emits what it is handed.
//
// The kernel talks to exactly one device at a time (the open workstation).
// For every setting and primitive it first calls `record` with the world-level
// values (the display-list kind code and its argument); a device that
// writes world records (the metafile) writes them there and returns true
// for primitives, and the kernel then skips the device geometry.  Devices
// that draw (X window, PostScript, HPGL, raster) keep the attribute values
// they need from those calls (or ask the kernel's g* inquiries) and return
// false, and the kernel follows with `stroke`, `fill` and `dot` calls in
// device units.
//
// Call order for one primitive, e.g. a polyline of 5 points:
//   record({30, 5, world points})          -> "%%PL:5" comment, width/colour/type
//   stroke(30, 5, device points)           -> one connected line
// A marker list of n points:  record({40, n, ...}) then one stroke (or dot
// for type 8) per marker with the marker attributes.  Text: record({50, 0,
// {x, y}, text}) then one stroke per pen-down run of the stroke font with the
// text attributes.  A fill area: record({70, n, ...}) then fill(n, ...).
// With drop shadows the kernel brackets the shadow copies with shadow(true)
// ... shadow(false): those strokes are drawn in the screen's black.
#pragma once

#include "gks/gks.h"

// A point in device units (float; the X devices round when they draw).
struct GPoint {
    float x, y;
};

// Clip rectangle of the selected viewport.  `x1..y2` are device-unit corners
// (x1 <= x2, y1 <= y2 as the device counts them); for the X devices
// `xr` holds the rounded pixel rectangle (top edge y, width, height).
struct GClip {
    float x1, y1, x2, y2;
    GXRect xr;
};

// A world-level setting or primitive.  `kind` is the display-list kind
// (5 message, 10 ws viewport, 11 ws window, 15 select transform,
// 16 viewport, 17 window, 20 colour rep, 25 clear region, 30 polyline,
// 33 line type, 34 line width, 35 line colour, 36 line bold flag,
// 40 polymarker, 43 marker type, 44 marker size, 45 marker colour,
// 46 marker width, 50 text, 53 character spacing, 54 character space,
// 55 expansion, 56 text colour, 57 character height, 58 up vector,
// 59 font and precision, 60 alignment, 61 text width, 70 fill area,
// 73 interior style, 74 style index, 75 fill colour, 76 solid-on-print,
// 81 segment open, 82 segment close, 83 segment delete).
//   arg:  the integer value (colour index, type, count, transform number);
//   f/nf: the float values (width, size, up vector (2), rectangles as
//         xmin, xmax, ymin, ymax, colour rep r, g, b, or n (x, y) world
//         points for primitives);
//   text: the string of kinds 5 and 50, else null.
struct GRecord {
    int kind;
    int arg;
    const float *f;
    int nf;
    const char *text;
};

class GDevice {
public:
    virtual ~GDevice() = default;

    // Workstation type code (GWS_WIN, GWS_PS, ...).
    virtual int type() const = 0;
    // The drawing surface in device units; becomes the kernel's window size.
    virtual void size(int *w, int *h) const = 0;
    // True for devices whose y grows downwards (X pixels, raster).
    virtual bool y_down() const { return false; }
    // Device units per marker-size unit (10 on X, 7.2 PostScript, 101.5 HPGL).
    virtual float marker_unit() const { return 10.0f; }

    // World-level notification; true = primitive fully handled (skip geometry).
    virtual bool record(const GRecord &r) { return false; }
    // Colour index i (0..255, or GCOLR_SLOTS-1 for the background) now has
    // this colour.  Returns the device's pixel value, or 1.
    virtual long set_color(int i, float r, float g, float b) { return 1; }
    virtual void set_clip(const GClip &c) {}

    // Geometry in device units.  prim is the primitive kind (30 line,
    // 40 marker, 50 text) whose attributes apply.
    virtual void stroke(int prim, int n, const GPoint *p) = 0;
    virtual void fill(int n, const GPoint *p) = 0;
    virtual void dot(int prim, GPoint p) {}
    virtual void shadow(bool on) {}

    // Whole-surface operations.
    virtual void clear() {}                 // fill with the background
    // Starts a new page on devices that have pages (file devices); false
    // when the device has none, or its file holds one page, and nothing
    // changed.  The kernel then sends the clip rectangle again.
    virtual bool new_page() { return false; }
    virtual void flush() {}                 // make output visible / write buffers
    virtual int close() { return 0; }       // finish the file; 0 or -1
};

// Factories of the file drivers (gks/drivers/).  Each opens its output
// (conn fields after the display name: file name, then options) and returns
// a new device, or null after printing its own message.
GDevice *gps_open_device(const char *file, const char *options);
GDevice *ghpgl_open_device(const char *file, const char *options);
GDevice *gmeta_open_device(const char *file, const char *options);
