// Stroke font files and font list files: the first byte chooses which the
// rest is; then text is measured and drawn through a device that discards
// everything, so the glyph walk runs over whatever the reader accepted.
#include <cstdio>
#include <string>

#include "fuzz_common.h"
#include "gks/gks_int.h"

namespace {

class NullDevice : public GDevice {
public:
    int type() const override { return GWS_META; }
    void size(int *w, int *h) const override { *w = 640, *h = 512; }
    void stroke(int, int n, const GPoint *p) override {
        for (int i = 0; i < n; i++) sink += p[i].x;
    }
    void fill(int, const GPoint *) override {}
    float sink = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::scratch();
    if (size < 1) return 0;
    static NullDevice dev;
    gks::State &s = gks::S();
    s.dev = &dev;
    s.ws_open = true;
    s.win_type = GWS_META;
    const bool list = data[0] & 1, fi = data[0] & 2;
    const char *name = list ? (fi ? "list.txt" : "zyr.fnl") : "font.fnt";
    FILE *f = fopen(name, "wb");
    if (!f) return 0;
    fwrite(data + 1, 1, size - 1, f);
    fclose(f);
    if (list) {
        // Both list forms: a "fi:" file and the default list found in the
        // current folder; the entries name font files that may not exist.
        gset_font_list(fi ? "fi:list.txt" : "");
        gsetup_fonts();
        int fp[2] = {gget_font_index("b"), 2};
        gset_fontprec(fp);
        remove(name);
    } else if (read_font(name) == 0) {
        static const char *texts[] = {"Hello, World", "\x01\x7f\x80\xff", "  A  "};
        for (const char *t : texts) {
            gtext_width(t);
            float pos[2] = {0.5f, 0.5f};
            gtext(pos, t);
        }
    }
    return 0;
}
