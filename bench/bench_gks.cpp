// Graphics kernel speed on the window's picture (needs $DISPLAY): long
// polylines, stroke text, markers, their replay from the display list, an
// HD image converted to a 24-bit TrueColor picture, and showing a frame.
#include <benchmark/benchmark.h>

#include <X11/Xlib.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "gks/gks.h"
#include "gks/gks_int.h"
#include "image/img.h"

namespace {

bool open_once(int w, int h) {
    static int ok = -1;
    static int ow = 0, oh = 0;
    if (ok == 1 && ow == w && oh == h) return true;
    if (ok == 1) gclose_ws(1);
    const char *d = getenv("DISPLAY");
    if (!d) return false;
    if (ok == -1) gopen_gks(nullptr, 0);
    gset_xsize(w, h);
    ok = gopen_ws(1, d, GWS_WIN) == 0 ? 1 : 0;
    ow = w;
    oh = h;
    const float c[3][3] = {{0, 0, 0}, {1, 1, 1}, {1, 0, 0}};
    for (int i = 0; i < 3; i++) gset_colr_rep(1, i, c[i]);
    return ok == 1;
}

std::vector<float> wave(int n) {
    std::vector<float> p(2 * (size_t)n);
    for (int i = 0; i < n; i++) {
        p[2 * i] = (float)i / n;
        p[2 * i + 1] = 0.5f + 0.4f * std::sin(i * 0.01f);
    }
    return p;
}

void draw_lines(const std::vector<float> &p) { gpolyline((int)p.size() / 2, p.data()); }

void draw_text() {
    gset_char_ht(0.02f);
    for (int row = 0; row < 40; row++) {
        float pos[2] = {0.01f, 0.98f - row * 0.024f};
        // 250 characters a row, 40 rows: 10,000 characters.
        static const char line[] =
            "The quick brown fox jumps over the lazy dog 0123456789 The quick brown fox jumps over the lazy dog "
            "0123456789 The quick brown fox jumps over the lazy dog 0123456789 The quick brown fox jumps over the "
            "lazy dog 0123456789 The quick brown fox jump";
        gtext(pos, line);
    }
}

void draw_markers(const std::vector<float> &p) { gpolymarker((int)p.size() / 2, p.data()); }

enum What { LINES, TEXT, MARKERS };

void run(benchmark::State &state, What what, bool replay) {
    if (!open_once(640, 512)) {
        state.SkipWithError("no X display");
        return;
    }
    std::vector<float> pts = wave(100000);
    gset_marker_type(3);
    gset_marker_size(0.5f);
    gset_line_colr_ind(2);
    auto draw = [&] {
        switch (what) {
        case LINES: draw_lines(pts); break;
        case TEXT: draw_text(); break;
        case MARKERS: draw_markers(pts); break;
        }
    };
    if (replay) {
        gclear_ws(1, 1);
        gset_redraw(1);
        draw();
    }
    for (auto _ : state) {
        if (replay)
            gobj_redraw_plot();
        else
            draw();
        XSync(gget_display(), False);
    }
    gclear_ws(1, 1);
    state.SetItemsProcessed(state.iterations() * (what == TEXT ? 10000 : 100000));
}

void BM_Polyline100k(benchmark::State &s) { run(s, LINES, false); }
void BM_Text10k(benchmark::State &s) { run(s, TEXT, false); }
void BM_Markers100k(benchmark::State &s) { run(s, MARKERS, false); }
void BM_ReplayPolyline100k(benchmark::State &s) { run(s, LINES, true); }
void BM_ReplayText10k(benchmark::State &s) { run(s, TEXT, true); }
void BM_ReplayMarkers100k(benchmark::State &s) { run(s, MARKERS, true); }
BENCHMARK(BM_Polyline100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Text10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Markers100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplayPolyline100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplayText10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReplayMarkers100k)->Unit(benchmark::kMillisecond);

// 1920 x 1080 8-bit image with a 256-colour table onto a 24-bit window:
// conversion and transfer, reported as pixels per second.
void BM_LoadImageHD(benchmark::State &state) {
    if (!open_once(1920, 1080) || gget_win_depth() != 24) {
        state.SkipWithError("needs a 24-bit X display of at least 1920 x 1080");
        return;
    }
    IMG img;
    IMG_init(&img);
    img.nx = 1920;
    img.ny = 1080;
    img.depth = 8;
    img.bits_pixel = 8;
    img.bytes_line = 1920;
    img.indexed = 1;
    img.ncolors = 256;
    img.cmap = (float *)malloc(sizeof(float) * 768);
    for (int k = 0; k < 256; k++) img.cmap[3 * k] = img.cmap[3 * k + 1] = img.cmap[3 * k + 2] = k / 255.0f;
    img.data = (unsigned char *)malloc(1920 * 1080);
    for (int i = 0; i < 1920 * 1080; i++) img.data[i] = (unsigned char)(i * 7);
    gsel_norm_tran(0);
    float page[4] = {0, 1, 0, 1};
    float xvp, yvp;
    ginq_maxview(1, &xvp, &yvp);
    float full[4] = {0, xvp, 0, yvp};
    gset_ws_win(1, full);
    gset_vp(0, full);
    for (auto _ : state) {
        gload_image(&img, 0, 0);
        XSync(gget_display(), False);
    }
    (void)page;
    state.SetItemsProcessed(state.iterations() * 1920 * 1080);
    IMG_free(&img);
}
BENCHMARK(BM_LoadImageHD)->Unit(benchmark::kMillisecond);

// Showing a frame: one server-side copy plus the copy to the window.
void BM_ShowFrame(benchmark::State &state) {
    if (!open_once(640, 512)) {
        state.SkipWithError("no X display");
        return;
    }
    ginit_loop();
    for (int k = 0; k < 2; k++) gcreate_frame(-1);
    int f = 0;
    for (auto _ : state) {
        gdisplay_frame(f);
        f ^= 1;
    }
    XSync(gget_display(), False);
    gdelete_all_frames();
}
BENCHMARK(BM_ShowFrame)->Unit(benchmark::kMicrosecond);

}  // namespace
