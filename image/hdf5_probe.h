// Whether the netCDF library gets through opening a netCDF-4 (HDF5) file
// held in memory without taking the process down with it.  libhdf5 (1.10 as
// Debian ships it) can free a wild pointer while it lists the groups of a
// damaged file, inside nc_open_mem, where no error code can stop it; such a
// file must be refused before the program opens it itself.
#pragma once

#include <cstddef>

namespace rdr {

// true when opening and closing the bytes through nc_open_mem (under the
// same name) ends normally, whatever status it returns, and for bytes that
// are not HDF5 at all; false when the open kills the process trying it or
// takes more than ten seconds.  The open is tried in another process.
bool hdf5_open_survives(const char *name, const unsigned char *bytes, size_t size);

}  // namespace rdr
