// Fuzzes map lists: the bytes become a "fi:" list file (items, gates, size
// conditions, nested lists, "lalo" grids) drawn in every phase, and also a
// single item for MAP_process.  Two small map files sit beside it.  Items
// that hand files to other modules' readers ("im:", "if:", "mf:") are
// defused, since those readers have fuzz targets of their own.
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

void sink(int, const float *, int) {}
void tsink(float, float, const char *) {}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool ready = [] {
        fuzz::scratch();
        write_file("a.map", "3 0 0 0 0 1\n30 -100\n31 -99\n32 -98\n2 0 0 0 0 1\n10 179\n10 -179\n");
        write_file("b.map", "2 0 0 0 0 2\n40 -90\n41 -89\n");
        write_file("c.stn", "40 -100 KXXX\n41 -99\n");
        return true;
    }();
    (void)ready;
    fuzz::reset();
    MESS_set(0, 0);
    RES_put("file_path", fuzz::scratch());
    std::string text(reinterpret_cast<const char *>(data), size);
    for (const char *bad : {"im:", "if:", "mf:"})
        for (size_t p = text.find(bad); p != std::string::npos; p = text.find(bad, p + 1)) text[p] = 'x';
    write_file("list.txt", text);
    MAP_set_line_sink(sink);
    MAP_set_text_sink(tsink);
    DOM d;
    DOM_decode(size % 2 ? "ll,0,0,361,181,1,1" : "ps,40,-100,31,21,1,1", &d);
    MAP_setup(&d);
    MAP_file("fi:list.txt");
    MAP_latlon(0, (int)(size % 7), 0, 0);
    MAP_set_plot_limit((int)(size % 3));
    MAP_draw(7);
    std::string item = text.substr(0, text.find('\0'));
    MAP_process(item.c_str());
    return 0;
}
