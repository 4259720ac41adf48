// Fuzzes the plot parameters and input keywords: the input is up to four
// NUL-separated texts for "plot_param", "input", "in_file" and a domain
// string, which is then sized to the window of "geometry" (the fifth part).
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "map/dom.h"
#include "satproc/fit.h"
#include "satproc/sat_param.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = [] {
        fuzz::scratch();
        return true;
    }();
    (void)ready;
    fuzz::reset();
    std::vector<std::string> parts(1);
    for (size_t i = 0; i < size && parts.size() <= 5; ++i) {
        if (data[i] == 0) parts.emplace_back();
        else parts.back() += (char)data[i];
    }
    parts.resize(5);
    SAT_param_reset();
    RES_put("plot_param", parts[0].c_str());
    RES_put("input", parts[1].c_str());
    RES_put("in_file", parts[2].c_str());
    RES_put("geometry", parts[4].c_str());
    SAT_plot_param();
    SAT_in_file();
    int cutbase, cutoff[5];
    int numcut = SAT_get_cut(&cutbase, cutoff);
    if (numcut < 0 || numcut > 3 || cutoff[0] != 0) __builtin_trap();
    DOM d;
    DOM_init(&d);
    DOM_decode(parts[3].c_str(), &d);
    SAT_domain_image(&d);
    return 0;
}
