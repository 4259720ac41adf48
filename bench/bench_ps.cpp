// PostScript output speed: a 1920 x 1080 colour image (hexadecimal samples,
// which dominate the file) plus 100,000 line points, reported as bytes of
// PostScript written per second.
#include <benchmark/benchmark.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/flags.h"
#include "gks/clr.h"
#include "gks/drivers/ps.h"
#include "image/img.h"

namespace {

void BM_PsImageAndLines(benchmark::State &state)
{
    MESS_set(0, MESS_ERROR); // no "Creating:" line per round
    CLR_clear_table();
    for (int i = 0; i < 256; ++i) CLR_add(std::string("c").append(std::to_string(i)).c_str(), i / 255.0f, 1 - i / 255.0f, 0.5f);
    const int w = 1920, h = 1080;
    std::vector<unsigned char> pix((size_t)w * h);
    for (size_t k = 0; k < pix.size(); ++k) pix[k] = (unsigned char)(k * 7 + k / w);
    IMG img{};
    img.nx = w, img.ny = h, img.bytes_line = w, img.bits_pixel = 8, img.depth = 8;
    img.data = pix.data();
    std::vector<float> pts(200000);
    for (size_t k = 0; k < pts.size(); k += 2) pts[k] = 756 * std::sin(k * 0.001f), pts[k + 1] = 300 + 200 * std::cos(k * 0.0013f);
    auto plot = [&](const char *path) {
        gps_open_ws(path, "color", nullptr, "bench", nullptr, nullptr);
        gps_image_rect(&img, 0, 0, 0, 0, w, h);
        gps_printf("np\n");
        gps_move_abs(pts[0], pts[1]);
        for (size_t k = 2; k < pts.size(); k += 2) gps_line_abs(pts[k], pts[k + 1]);
        gps_printf("stroke\n");
        gps_close_file();
    };
    // The size of one plot, from a real file; the timed rounds write to
    // /dev/null and the rate is per CPU second, so that the figure is the
    // driver's, not the disk's or a busy machine's.
    std::string path = "/tmp/zyr_bench_ps_" + std::to_string(getpid()) + ".ps";
    plot(path.c_str());
    struct stat st;
    int64_t size = stat(path.c_str(), &st) == 0 ? st.st_size : 0;
    std::remove(path.c_str());
    for (auto _ : state) plot("/dev/null");
    state.SetBytesProcessed(state.iterations() * size);
    CLR_clear_table();
}
BENCHMARK(BM_PsImageAndLines)->Unit(benchmark::kMillisecond);

} // namespace
