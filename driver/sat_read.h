// Reader dispatch: the reader table's row for the input-type flag fills the
// one image record; the program prints what it found and sets the plot
// labels and the satellite navigation state.
#pragma once

#include <string>
#include <vector>

#include "image/img.h"

// 1 when an image was read, 0 otherwise (also 0 after an "output" request).
// A read that asks for the end of the program (a region prompt answered
// with "exit") ends it here, before any further message.  With a plot
// domain (an earth projection), readers that decode windows read only the
// rows and columns a plot on it shows; the image record is then that window.
int SAT_read_file(const char *name, IMG *image, const DOM *plot_domain = nullptr);
// The `n` files of one image read together (segments of an image with its
// prologue and epilogue); one file as SAT_read_file.
int SAT_read_files(const char *const *names, int n, IMG *image, const DOM *plot_domain = nullptr);

// The files in sets of one image each, in the order of their first file:
// the segments of one image (and its prologue and epilogue) together when
// the input type's reader reads sets, every other file alone.
std::vector<std::vector<std::string>> SAT_gather_sets(const std::vector<std::string> &names);
