// Settings of the image processing that the plot parameters control, the
// decoding of "plot_param", and the input-type choice from "input" and
// "in_file".  The values live here; remapping, zooming and the domain fitting
// read them through the getters.
#pragma once

// Decodes resource "plot_param".  Returns 0.
int SAT_plot_param();
// Input type (flag slot 14) and file-name convention from "input" and "in_file".
int SAT_in_file();
// Puts every setting back to its start value.
void SAT_param_reset();

int SAT_get_tran_sat();
void SAT_set_tran_sat(int on);
int SAT_get_pix_off();
int SAT_get_remap_inc();
void SAT_set_remap_inc(int v);
int SAT_get_pix_ave();
void SAT_set_pix_ave(int v);
float SAT_get_min_lon();
float SAT_get_max_lon();
float SAT_get_zoom();
// Banded sampling: base value, number of given limits, and the five limits.
int SAT_get_cut(int *cutbase, int cutoff[5]);

// Values the drawing steps use; only stored here.
int SAT_get_over();
int SAT_get_bar();
int SAT_get_refresh();
