// Fuzzes the defaults-file reader through the whole decoding of the search
// list: tags, directives, star keys and storing.  Every resource is declared
// as plain text here, so values are stored but never acted on (a fuzzed
// "message" value could otherwise name any file on the machine).
#include <cstdint>
#include <cstdio>
#include <vector>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::scratch();
    fuzz::reset();
    if (FILE *fp = std::fopen("zyr.cfg", "wb")) {
        std::fwrite(data, 1, size, fp);
        std::fclose(fp);
    }
    std::vector<RES_DESC> desc;
    for (const int *id = SAT_keyed_resources(); *id; ++id) {
        desc.emplace_back();
        RES_enter(&desc.back(), *id);
        desc.back().type = RES_T_TEXT;
    }
    desc.push_back(RES_DESC{nullptr, nullptr, nullptr, 0, 0, nullptr, nullptr});
    char arg0[] = "zyrsat", arg1[] = "-df", arg2[] = "+day:+night:.:zyr.cfg";
    char *argv[] = {arg0, arg1, arg2, nullptr};
    RES_decode(arg0, "Zyr", 3, argv, desc.data());
    RES_get("label");
    int n = 0;
    char **values = nullptr;
    RES_getvals("plot_param", &n, &values);
    free_parsed_array(n, values);
    return 0;
}
