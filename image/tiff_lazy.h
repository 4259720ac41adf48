// The TIFF library is loaded on the first TIFF call (image/tiff_lazy.cpp).
#pragma once

// Null when the TIFF library is loaded (loading it on the first call), else
// why it cannot be ("the TIFF library libtiff.so.6 cannot be loaded: ..."),
// for the message of a TIFF file that is not read or written.
const char *tiff_library_problem();
