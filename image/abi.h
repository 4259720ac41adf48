// GOES-R fixed-grid netCDF files (ABI L1b radiances, L2 cloud and moisture
// imagery and products, GLM gridded fields): the reader table's row
// functions, and what the last read decoded.
#pragma once

#include <cstddef>

#include "image/reader_table.h"

namespace rdr {

// A netCDF-4 (HDF5) or classic netCDF signature; a classic file must also
// name the fixed grid's projection variable in the header bytes given.
bool abi_identify(const unsigned char *bytes, size_t size);
// The chosen variable (resource "variable", else Rad, else CMI, else the
// first fixed-grid field that is not a quality flag) as 8-bit counts: the
// window's rows and columns only, the domain placed on their scan angles.
int abi_read(const IMG_SOURCE *source, const IMG_WINDOW *window, IMG_READ_OUT *out);
// The same record for the whole variable, without pixels.
int abi_read_header(const IMG_SOURCE *source, IMG_READ_OUT *out);
// The chosen variable's unpacked value at (col, row) of the full grid.
int abi_value(const IMG_SOURCE *sources, int n, int col, int row, double *value, char *units,
              size_t units_size);

}  // namespace rdr

// The rows and columns the last read decoded, and the variable's full size
// (all 0 before any read).
struct ABI_DECODED {
    int first_row, rows, first_col, cols;
    int full_rows, full_cols;
};
ABI_DECODED ABI_last_decoded();
