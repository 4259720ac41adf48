// The world layer's attribute setters: an attribute record (any field
// -9999 = keep) applied to the line, fill, marker or text state.
#include "gks/attrib.h"
#include "gks/gks.h"

namespace {
bool set(int v) { return v != ATTRIB_UNSET; }
bool setf(float v) { return v != (float)ATTRIB_UNSET; }
}  // namespace

int GPH_line_attr(const ATTRIB *rec) {
    if (!rec) {
        gset_linetype(1);
        gset_linewidth(0);
        return 0;
    }
    if (rec->color >= 0) gset_line_colr_ind(rec->color);
    if (set(rec->style)) gset_linetype(rec->style);
    if (setf(rec->width)) gset_linewidth(rec->width);
    return 0;
}

int GPH_fill_attr(const ATTRIB *rec) {
    if (!rec) {
        gset_fill_int_style(1);
        return 0;
    }
    if (rec->color >= 0) gset_fill_colr_ind(rec->color);
    if (rec->fill == 0) {
        gset_fill_int_style(1);
    } else if (set(rec->fill)) {
        gset_fill_int_style(2);
        gset_fill_style_ind(rec->fill);
    }
    return 0;
}

int GPH_mark_attr(const ATTRIB *rec, float size) {
    if (!rec) {
        if (size > 0) gset_marker_size(size);
        return 0;
    }
    if (rec->color >= 0) gset_marker_colr_ind(rec->color);
    if (set(rec->style)) gset_marker_type(rec->style);
    if (setf(rec->size))
        gset_marker_size(rec->size * size);
    else if (size > 0)
        gset_marker_size(size);
    if (setf(rec->width)) gset_marker_width(rec->width);
    return 0;
}

int GPH_text_attr(const ATTRIB *rec, float height) {
    if (!rec) {
        gset_text_width(0);
        gset_expan(1);
        return -1;
    }
    if (rec->color >= 0) gset_text_colr_ind(rec->color);
    if (setf(rec->size))
        gset_char_ht(rec->size * height);
    else if (height > 0)
        gset_char_ht(height);
    if (setf(rec->width)) gset_text_width(rec->width);
    if (setf(rec->expansion)) gset_expan(rec->expansion);
    if (set(rec->font)) {
        int fp[2] = {rec->font, 2};
        gset_fontprec(fp);
    }
    gset_char_space(0.25f);
    return 0;
}
