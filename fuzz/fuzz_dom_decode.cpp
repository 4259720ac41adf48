// Fuzzes domain strings together with the region file and the city
// database they may reach.  The input is three parts separated by NUL
// bytes: the domain string, the text of "zyr.reg" and the text of
// "sao.cty"; the files are written into the scratch folder, which is the
// file_path.  Standard input holds two numbers for the "var" region's
// prompts and is rewound before every decode.
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_common.h"
#include "map/dom.h"
#include "map/map.h"

namespace {

void write_file(const char *name, const std::string &text)
{
    if (FILE *fp = std::fopen(name, "wb")) {
        std::fwrite(text.data(), 1, text.size(), fp);
        std::fclose(fp);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = [] {
        fuzz::scratch();
        write_file("stdin.txt", "45\n-90\n");
        return std::freopen("stdin.txt", "r", stdin) != nullptr;
    }();
    if (!ready) return 0;
    fuzz::reset();
    MESS_set(0, 0);  // the decoder's messages are not what is tested
    RES_put("file_path", fuzz::scratch());
    std::string in(reinterpret_cast<const char *>(data), size);
    std::string parts[3];
    size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        size_t end = i < 2 ? in.find('\0', start) : std::string::npos;
        parts[i] = in.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    write_file("zyr.reg", parts[1]);
    write_file("sao.cty", parts[2]);
    std::fseek(stdin, 0, SEEK_SET);
    DOM d;
    int r = DOM_decode(parts[0].c_str(), &d);
    if (r >= 1) {
        // A decoded domain must install and transform without trapping.
        MAP_domain(&d);
        float x, y, lat, lon;
        MAP_tran_center(&x, &y);
        MAP_untran(&lat, &lon, x, y);
        DOM_print(0, &d);
    }
    return 0;
}
