// Fuzzes the name-convention file and reading typed names back against a
// template.  The input is split at the first two NUL bytes: the convention
// file's text, the requested convention name, and the typed file name.
#include <cstdint>
#include <cstdio>
#include <string>

#include "files/file.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *dir = fuzz::scratch();
    fuzz::reset();
    std::string parts[3];
    int k = 0;
    for (size_t i = 0; i < size; i++) {
        if (data[i] == 0 && k < 2) {
            k++;
            continue;
        }
        parts[k] += (char)data[i];
    }
    if (FILE *fp = std::fopen("name_conv", "wb")) {
        std::fwrite(parts[0].data(), 1, parts[0].size(), fp);
        std::fclose(fp);
    }
    RES_put("file_path", dir);
    // A fixed reference time, so "la" and "cu" requests search the same
    // (empty) folder every run.
    setenv("zyrcurtime", "200407091425", 1);
    FILE_reset_time();
    FILE_set_name(parts[1].c_str());
    DATE d{2004, 7, 9, 191, 5, 14, 25, 0};
    char out[FILE_NAME_SIZE];
    FILE_set_date(&d, out);
    FILE_hdr_set_date(&d, out);
    // "exit" only requests the program's end; typed names never run commands.
    FILE_set_file(parts[2].c_str(), out);
    FILE_set_date(nullptr, out);
    return 0;
}
