// Fuzzes the colour table reader and the enhancement with its items.  The
// input is two parts separated by a NUL byte: a colour table file and an
// enhancement file, both read from memory; then the enhancement file's
// text also serves as a comma list of "color_fill" items.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "gks/clr.h"
#include "satproc/enh.h"

namespace {

FILE *open_mem(std::string &text) { return fmemopen(text.data(), text.size(), "r"); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::scratch();
    fuzz::reset();
    MESS_set(0, 0);
    std::string in(reinterpret_cast<const char *>(data), size);
    size_t nul = in.find('\0');
    std::string table = in.substr(0, nul), enh = nul == std::string::npos ? std::string() : in.substr(nul + 1);

    CLR_clear_table();
    if (!table.empty()) {
        FILE *fp = open_mem(table);
        int fill = 0;
        CLR_read_stream(fp, 0, &fill);
        std::fclose(fp);
    }
    // Every line of the table text as a colour word too.
    size_t start = 0;
    while (start < table.size()) {
        size_t end = table.find('\n', start);
        if (end == std::string::npos) end = table.size();
        std::string word = table.substr(start, end - start);
        int i = CLR_get_ind(word.c_str());
        float r, g, b;
        CLR_get_rgb(i, &r, &g, &b);
        (void)CLR_get_name(i);
        start = end + 1;
    }

    SAT_set_dither(0);
    SAT_set_imager_source(enh.size() % 3 == 0 ? 51 : enh.size() % 3 == 1 ? 55 : 59);
    if (!enh.empty()) {
        FILE *fp = open_mem(enh);
        SAT_color_setup_stream(fp);
        std::fclose(fp);
    }
    std::string items = enh;
    for (char &c : items)
        if (c == '\0') c = ',';
    RES_put("color_fill", items.c_str());
    SAT_color_setup();
    uint8_t img[7 * 5];
    for (int k = 0; k < 35; ++k) img[k] = (uint8_t)(k * 37);
    SAT_color_pixels(img, 7, 5, 7);
    return 0;
}
