// GeoTIFF files of every frame's picture, requested by plot parameter
// words: "geotiff" writes the picture as drawn (colour indices with the
// colour table), "geoval" the values behind it (the remapped counts, 0
// missing), each georeferenced for the picture's domain.
//
// The words: "geotiff" and "geoval", each optionally followed by one
// separator character and a file-name convention or template
// ("geotiff=goes_%y%m%d%H%M.tif"); the defaults are "zyr.tif" and
// "zyr_val.tif".  No other plot parameter word begins with either, and
// neither begins any other word, so the words of both decoders of
// "plot_param" pass them by.
#pragma once

struct IMG;

// The two kinds of file, as bits of PLT_get_geotiff.
enum { PLT_GEOTIFF_PICTURE = 1, PLT_GEOTIFF_VALUES = 2 };

// Decodes one plot parameter word: 1 when it was "geotiff..." or
// "geoval..." (the request is then set), 0 for any other word.
int PLT_geotiff_word(const char *word);

// Requests kind (name: the convention, null or "" for the default) or,
// with kind 0, cancels both requests.  0, or -1 for an unknown kind.
int PLT_set_geotiff(int kind, const char *name);

// Bit mask of the requested kinds; 0 for none.
int PLT_get_geotiff();

// Writes the frame's file of one kind when it is requested: the picture
// with its domain (image->domain, the window-sized domain after a remap).
// The name is built like a dump's: the convention with the date of the
// current file, key i = the frame number ("win" without frames), key p =
// the window title, along the "image_path" resource.  -1 when the kind is
// not requested, 1 written, 0 not written (reported; the run goes on).
int PLT_geotiff_write(const IMG *image, int kind);
