// Fuzzes the command-line decoding: the input is split at NUL bytes into an
// argument vector and run through the program's start-up, conversions
// included.  Arguments that could reach outside the scratch folder (paths,
// home folders, loop-window queues) are left out.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::scratch();
    fuzz::reset();
    std::vector<std::string> args{"zyrsat"};
    std::string cur;
    for (size_t i = 0; i <= size && args.size() < 64; ++i) {
        if (i == size || data[i] == 0) {
            if (cur.find_first_of("/~#") == std::string::npos) args.push_back(cur);
            cur.clear();
        } else {
            cur.push_back((char)data[i]);
        }
    }
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    RES_init((int)args.size(), argv.data(), SAT_keyed_resources(), SAT_positional_resources());

    int n = 0;
    char **values = nullptr;
    RES_getvals("filename", &n, &values);
    free_parsed_array(n, values);
    const char *dev = nullptr;
    RES_getval("device", &dev, RES_T_DEVICE);
    int i = 0;
    RES_getval("stat_prior", &i, RES_T_INT);
    return 0;
}
