// Polyline output speed of the HPGL, text metafile and CGM drivers (one
// million points each) and the speed of reading a text metafile back.  The HPGL and text metafile figures are set against
// a plain snprintf loop formatting the same numbers the same way, run here
// too, so their ratio can be read off one report.
#include <benchmark/benchmark.h>


#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/res.h"
#include "gks/drivers/hpgl.h"
#include "gks/drivers/meta.h"
#include "gks/gks.h"

namespace {

constexpr int NPTS = 1000000;

const std::vector<float> &points()
{
    static std::vector<float> pts;
    if (pts.empty()) {
        pts.resize(2 * NPTS);
        for (int k = 0; k < NPTS; ++k)
            pts[2 * k] = 500 + 480 * std::sin(k * 0.0007f), pts[2 * k + 1] = 400 + 380 * std::cos(k * 0.0011f);
    }
    return pts;
}

// Every output goes to /dev/null and the rates are per CPU second: the
// figures are the drivers', not the disk's or a busy machine's.
std::string scratch(const char *) { return "/dev/null"; }

// The same numbers through snprintf into a buffer written with fwrite.
void snprintf_loop(benchmark::State &state, const char *first, const char *rest, float scale)
{
    const auto &pts = points();
    std::string path = scratch(".txt");
    for (auto _ : state) {
        FILE *fp = std::fopen(path.c_str(), "w");
        char buf[8192];
        size_t n = 0;
        for (int k = 0; k < NPTS; ++k) {
            n += std::snprintf(buf + n, 64, k ? rest : first, pts[2 * k] * scale, pts[2 * k + 1] * scale);
            if (n > sizeof buf - 64) std::fwrite(buf, 1, n, fp), n = 0;
        }
        std::fwrite(buf, 1, n, fp);
        std::fclose(fp);
    }
    state.SetItemsProcessed(state.iterations() * NPTS);
}

void BM_SnprintfHpglBaseline(benchmark::State &state) { snprintf_loop(state, "PU%.0f,%.0f;", "PD%.0f,%.0f;", 10); }
BENCHMARK(BM_SnprintfHpglBaseline)->Unit(benchmark::kMillisecond);

void BM_HpglPolyline(benchmark::State &state)
{
    MESS_set(0, MESS_ERROR);
    std::vector<float> pts = points();
    for (float &v : pts) v *= 10; // plotter units
    std::string path = scratch(".hpgl");
    for (auto _ : state) {
        ghpgl_open_ws(path.c_str(), "nopcl", nullptr, nullptr);
        ghpgl_polyline(NPTS, pts.data());
        ghpgl_close_file();
    }
    state.SetItemsProcessed(state.iterations() * NPTS);
}
BENCHMARK(BM_HpglPolyline)->Unit(benchmark::kMillisecond);

void BM_SnprintfMetaBaseline(benchmark::State &state) { snprintf_loop(state, "%f,%f ", "%f,%f ", 1); }
BENCHMARK(BM_SnprintfMetaBaseline)->Unit(benchmark::kMillisecond);

void BM_TextMetaPolyline(benchmark::State &state)
{
    MESS_set(0, MESS_ERROR);
    const auto &pts = points();
    std::string path = scratch(".meta");
    for (auto _ : state) {
        gmeta_open_ws(path.c_str(), "zyr", nullptr, nullptr);
        gmeta_points("PL", NPTS, pts.data());
        gmeta_close_file();
    }
    state.SetItemsProcessed(state.iterations() * NPTS);
}
BENCHMARK(BM_TextMetaPolyline)->Unit(benchmark::kMillisecond);

void BM_CgmPolyline(benchmark::State &state)
{
    MESS_set(0, MESS_ERROR);
    const auto &pts = points();
    std::string path = scratch(".cgm");
    for (auto _ : state) {
        gmeta_open_ws(path.c_str(), "cgm", nullptr, nullptr);
        gcgm_polyline(NPTS, pts.data());
        gmeta_close_file();
    }
    state.SetItemsProcessed(state.iterations() * NPTS);
}
BENCHMARK(BM_CgmPolyline)->Unit(benchmark::kMillisecond);

// Reading a text metafile back, replayed into a metafile workstation on
// /dev/null: bytes of metafile read per second.
void BM_ReadTextMetafile(benchmark::State &state)
{
    MESS_set(0, MESS_ERROR);
    RES_put("file_path", ZYR_DATA_DIR);
    gopen_gks(nullptr, 0);
    gopen_ws(1, ",/dev/null,zyr", GWS_META);
    // A metafile of polylines with attribute changes between them, as a
    // map overlay stores it.
    std::string text = "ZYRMETA\n#Title: bench\n";
    const auto &pts = points();
    char buf[64];
    for (int line = 0; line < 20000; ++line) {
        text += "PL_CLR " + std::to_string(line % 7) + "\nPL 25 ";
        for (int k = 0; k < 25; ++k) {
            float x = pts[2 * (line * 25 + k)] / 1000, y = pts[2 * (line * 25 + k) + 1] / 800;
            std::snprintf(buf, sizeof buf, "%f,%f ", x, y);
            text += buf;
            if (k % 4 == 3) text += "\n   ";
        }
        text += "\n";
    }
    for (auto _ : state) {
        FILE *fp = fmemopen(text.data(), text.size(), "r");
        gread_metafile_stream(fp, "bench");
        std::fclose(fp);
    }
    state.SetBytesProcessed(state.iterations() * (int64_t)text.size());
    gclose_ws(1);
    gclose_gks();
}
BENCHMARK(BM_ReadTextMetafile)->Unit(benchmark::kMillisecond);

} // namespace
