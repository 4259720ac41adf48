#include "files/file.h"

#include <cstring>

char *FILE_add_path_delim(char *text)
{
    if (!text) return text;
    size_t n = std::strlen(text);
    // An empty path means the working directory and stays empty, rather than
    // turning into the root directory.
    if (n > 0 && text[n - 1] != '/') {
        text[n] = '/';
        text[n + 1] = '\0';
    }
    return text;
}
