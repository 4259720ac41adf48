// GeoTIFF requests: the "geotiff" and "geoval" plot parameter words and
// the file of each frame.
//
// Choices:
// - The words follow "anim": the convention comes after one separator
//   ("geotiff=name", from the ninth character; "geoval=name" from the
//   eighth); nothing after the separator takes the default name.
// - The picture file holds what the frame shows of the image, the colour
//   indices after the enhancement with the colour table; the values file
//   holds the counts the remap gave, before the enhancement and the pixel
//   offset, the same pixels an "out_file" image file keeps.
// - Like a picture dump, a GeoTIFF request leaves no window to hold at the
//   end of the plot.
#include "plot/plt_geotiff.h"

#include <cstdio>
#include <cstring>

#include "core/flags.h"
#include "core/util.h"
#include "files/file.h"
#include "gks/gks.h"
#include "image/geotiff.h"
#include "plot/plt_int.h"

namespace {

using plt::FileRequest;

// [0] picture, [1] values.
FileRequest requests[2];

const plt::FileKind kinds[2] = {{"geotiff", "zyr.tif", "GeoTIFF"}, {"geoval", "zyr_val.tif", "GeoTIFF values"}};

} // namespace

int PLT_geotiff_word(const char *word) { return plt::file_word(word, kinds, requests, 2) >= 0; }

int PLT_set_geotiff(int kind, const char *name)
{
    if (kind == 0) {
        requests[0] = requests[1] = FileRequest{};
        return 0;
    }
    if (kind != PLT_GEOTIFF_PICTURE && kind != PLT_GEOTIFF_VALUES) return -1;
    plt::file_request(requests[kind - 1], kinds[kind - 1], name);
    return 0;
}

int PLT_get_geotiff()
{
    return (requests[0].on ? PLT_GEOTIFF_PICTURE : 0) | (requests[1].on ? PLT_GEOTIFF_VALUES : 0);
}

int PLT_geotiff_write(const IMG *image, int kind)
{
    if ((kind != PLT_GEOTIFF_PICTURE && kind != PLT_GEOTIFF_VALUES) || !requests[kind - 1].on) return -1;
    const plt::FileKind &k = kinds[kind - 1];
    const int frames = gget_num_images();
    char key[16] = "win";
    if (frames > 0) std::snprintf(key, sizeof key, "%2.2d", frames - 1);
    char path[FILE_NAME_SIZE];
    FILE_save_name_conv();
    plt::output_name(requests[kind - 1].conv, key, path);
    FILE_restore_name_conv();
    const int r = GEOTIFF_write(path, image, kind == PLT_GEOTIFF_VALUES ? GEOTIFF_VALUES : GEOTIFF_PALETTE);
    if (r == 1) MESS_print(MESS_OUT1, "Wrote %s file: %s\n", k.what, path);
    return r == 1 ? 1 : 0;
}

void plt::reset_geotiff_state() { requests[0] = requests[1] = FileRequest{}; }
