// Fuzzes the plot layer's text inputs: attribute strings, plot words,
// panel geometry, label formats and "label" entries.  The first byte picks
// the input, the rest is the text.
#include <cstdint>
#include <string>

#include "fuzz_common.h"
#include "gks/attrib.h"
#include "gks/clr.h"
#include "plot/plt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::scratch();
    fuzz::reset();
    MESS_set(0, 0);
    if (size < 1) return 0;
    std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
    text = text.c_str();  // up to the first NUL
    static const bool table = [] {
        CLR_add("black", 0, 0, 0);
        CLR_add("white", 1, 1, 1);
        CLR_add("red", 1, 0, 0);
        return true;
    }();
    (void)table;
    char out[PLT_LABEL_SIZE];
    switch (data[0] % 5) {
    case 0: {
        ATTRIB a;
        ATTRIB_init(&a);
        ATTRIB_parse(text.c_str(), &a);
        ATTR_parse_marker(text.c_str());
        ATTR_parse_fill_pat(text.c_str());
        break;
    }
    case 1:
        RES_put("plot_param", text.c_str());
        RES_put("out_file", text.c_str());
        PLT_param_decode();
        break;
    case 2:
        PLT_panel_decode(text.c_str());
        break;
    case 3: {
        DATE d = {2024, 3, 5, -9999, -9999, (int)(size % 30) - 3, 9, 0};
        PLT_label_date(&d);
        PLT_label_for_time((int)size * 7 - 50);
        PLT_label_format(text.c_str(), out);
        PLT_set_label_type((int)(size % 3) - 1);
        PLT_label_up_left(text.c_str());
        PLT_next_overlay();
        PLT_label_low_right(text.c_str());
        PLT_label_strcat(PLT_LR, text.c_str());
        break;
    }
    default:
        RES_put("label", text.c_str());
        PLT_labels();
        break;
    }
    return 0;
}
