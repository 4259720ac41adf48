// GeoTIFF files of a picture on its map domain: the 8-bit picture (colour
// indices with the colour table, or the counts), georeferenced with GeoKeys
// for the domain's projection and a tie point and pixel scale that put
// pixel centre (i, j) on grid point (i, j) of the domain.
#pragma once

struct IMG;

enum { GEOTIFF_PALETTE = 0, GEOTIFF_VALUES = 1 };

// Writes image (8-bit, nx x ny on its domain of nx x ny grid points) to
// path.  GEOTIFF_PALETTE: the pixels as indices of the record's colour
// table (grey levels when it has none); GEOTIFF_VALUES: the pixels as grey
// counts with 0, the count of missing pixels, as the no-data value, the
// field's name as the band's description and, for counts linear in a
// quantity (IMG_VALUE_LINEAR, _REFLECTANCE), the offset, scale and units
// that give it, as GDAL's band metadata.
// 1 written; 0 not written (message naming the file); -2 the domain's
// projection has no GeoTIFF form (message, no file).
int GEOTIFF_write(const char *path, const IMG *image, int kind);
