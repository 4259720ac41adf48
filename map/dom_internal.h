// Pieces shared by the domain files (dom.cpp, region.cpp) and the map
// overlay; not part of the module's interface.
#pragma once

#include <cstdio>
#include <string>

#include "map/dom.h"

// Looks a region up in a region file: the first region line when name is
// null, else the line whose abbreviation matches.  The domain string goes to
// out.  True when found.
bool DOM_search_region(const char *file, const char *name, std::string *out);
// Program start of the domain decoding (region depth, priorities) and of the
// region menu.
void DOM_reset();
void DOM_reset_region_menu();
// The nine regions built into the program ("var" prompts for its centre).
bool DOM_builtin_region(const char *name, DOM *dom);
// Records the domain string as the file-name key "r".
void DOM_set_file_key(const char *text);
// Where a data file named by the user is found: a full path as given, else
// under the resource file_path, else in the program's bundled data folder.
std::string DOM_find_file(const char *name);
// Opens a file only when it is a regular file (not a device or a fifo,
// which could feed a reader forever); nullptr otherwise.
FILE *DOM_open_regular(const std::string &path, const char *mode);
