// Animated loop files: the "anim" and "apng" plot parameter words and the
// writing of the whole loop after the walk.
//
// Choices:
// - The words are four letters like the dump words, the convention follows
//   one separator ("anim=name", from the sixth character).  A word "anim" or
//   "apng" with nothing after the separator takes the default name,
//   "zyr_loop.gif" or "zyr_loop.png", kept apart from the single-picture
//   dump defaults so both kinds can be asked for in one run.
// - The name takes the date of the current file, which after the walk is
//   the newest picture's, and key i "loop" where a frame dump has its frame
//   number.
// - An animation file is a dump: like the picture dumps it leaves no window
//   to hold at the end of the plot (the plot session asks PLT_get_anim).
#include "plot/plt_anim.h"

#include <cstdio>
#include <cstring>

#include "core/flags.h"
#include "core/res.h"
#include "core/util.h"
#include "files/date.h"
#include "files/file.h"
#include "gks/gks.h"
#include "plot/plt_int.h"
#include "image/anim.h"

namespace {

using plt::FileRequest;

// [0] GIF, [1] APNG.
FileRequest requests[2];

const plt::FileKind kinds[2] = {{"anim", "zyr_loop.gif", "animated GIF"}, {"apng", "zyr_loop.png", "APNG"}};

} // namespace

void plt::output_name(const char *conv, const char *key_i, char *path)
{
    DATE date;
    FILE_get_date(&date);
    // A file named literally has no date; zero fields keep the file layer
    // from falling back to the input file's own name.
    if (date.year < 0) date = DATE{0, 0, 0, 0, 0, 0, 0, 0};
    FILE_set_name(conv);
    FILE_set_key('i', key_i);
    const char *title = gget_win_title();
    FILE_set_key('p', title ? title : "");
    char name[FILE_NAME_SIZE];
    FILE_set_date(&date, name);
    FILE_add_path(RES_get("image_path"), name, path);
}

void plt::file_request(FileRequest &r, const FileKind &kind, const char *name)
{
    r.on = true;
    std::snprintf(r.conv, sizeof r.conv, "%s", name && *name ? name : kind.def);
}

int plt::file_word(const char *word, const FileKind *kinds, FileRequest *requests, int n)
{
    if (!word) return -1;
    for (int k = 0; k < n; k++) {
        const size_t len = std::strlen(kinds[k].word);
        if (strnicmp(word, kinds[k].word, (int)len) == 0) {
            file_request(requests[k], kinds[k], std::strlen(word) > len + 1 ? word + len + 1 : nullptr);
            return k;
        }
    }
    return -1;
}

int PLT_anim_word(const char *word) { return plt::file_word(word, kinds, requests, 2) >= 0; }

int PLT_set_anim(int type, const char *name)
{
    if (type == 0) {
        requests[0] = requests[1] = FileRequest{};
        return 0;
    }
    if (type != PLT_ANIM_GIF && type != PLT_ANIM_APNG) return -1;
    plt::file_request(requests[type - 1], kinds[type - 1], name);
    return 0;
}

int PLT_get_anim() { return (requests[0].on ? PLT_ANIM_GIF : 0) | (requests[1].on ? PLT_ANIM_APNG : 0); }

int PLT_anim_dump(int pictures)
{
    if (!PLT_get_anim()) return -1;
    int result = 1;
    for (int k = 0; k < 2; k++) {
        if (!requests[k].on) continue;
        char path[FILE_NAME_SIZE];
        FILE_save_name_conv();
        plt::output_name(requests[k].conv, "loop", path);
        FILE_restore_name_conv();
        if (pictures < 1) {
            MESS_print(MESS_WARN, "PLT_anim_dump: No frames to write to %s file: %s\n", kinds[k].what, path);
            result = 0;
        } else if (ANIM_dump(path, k) == 1) {
            MESS_print(MESS_OUT1, "Wrote %s file: %s\n", kinds[k].what, path);
        } else {
            MESS_print(MESS_WARN, "PLT_anim_dump: Unable to write %s file: %s\n", kinds[k].what, path);
            result = 0;
        }
    }
    return result;
}

void plt::reset_anim_state() { requests[0] = requests[1] = FileRequest{}; }
