// Speed of the GOES-R fixed-grid netCDF reader against its yardstick in the
// same run: a full-disk field (5424 x 5424 rain rate) read through the
// reader table's row from memory to 8-bit counts, against netCDF's own
// in-memory open and nc_get_var of the variable alone; and a CONUS-sized
// window of the same disk.  The real product comes from the shared data
// folder (skipped when absent).
#include <benchmark/benchmark.h>
#include <netcdf.h>
#include <netcdf_mem.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/flags.h"
#include "core/res.h"
#include "image/reader_table.h"

namespace {

const std::string kFile =
    "/work/shared/data/abi/CG_ABI-L2-RRQPEF-M6_G16_s20230761440209_e20230761449517_c20230761450032.nc";

const std::vector<unsigned char> &disk()
{
    static const std::vector<unsigned char> b = [] {
        std::vector<unsigned char> v;
        if (FILE *f = std::fopen(kFile.c_str(), "rb")) {
            unsigned char buf[65536];
            for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) v.insert(v.end(), buf, buf + n);
            std::fclose(f);
        }
        MESS_set(0, 0);
        return v;
    }();
    return b;
}

void read_window(benchmark::State &st, const IMG_WINDOW *w)
{
    const auto &b = disk();
    if (b.empty()) return st.SkipWithError("shared sample missing");
    RES_put("variable", "RRQPE");
    for (auto _ : st) {
        IMG img;
        IMG_init(&img);
        IMG_READ_OUT out{&img, nullptr};
        if (IMG_reader_read_memory(IMG_reader_by_code(IMG_SRC_ABI), b.data(), b.size(), "bench", w, &out) !=
            IMG_READ_OK)
            return st.SkipWithError("read failed");
        benchmark::DoNotOptimize(img.data[(size_t)img.nx * img.ny / 2]);
        IMG_free(&img);
    }
}

void BM_AbiFullDiskRead(benchmark::State &st) { read_window(st, nullptr); }
BENCHMARK(BM_AbiFullDiskRead)->Unit(benchmark::kMillisecond)->UseRealTime();

// The yardstick: the library opens the same bytes and decodes the variable
// alone into its own 16-bit type.
void BM_NcGetVarAlone(benchmark::State &st)
{
    const auto &b = disk();
    if (b.empty()) return st.SkipWithError("shared sample missing");
    std::vector<unsigned short> v((size_t)5424 * 5424);
    for (auto _ : st) {
        int nc, var;
        if (nc_open_mem("bench", NC_NOWRITE, b.size(), const_cast<unsigned char *>(b.data()), &nc) != NC_NOERR)
            return st.SkipWithError("open failed");
        nc_inq_varid(nc, "RRQPE", &var);
        if (nc_get_var_ushort(nc, var, v.data()) != NC_NOERR) return st.SkipWithError("read failed");
        benchmark::DoNotOptimize(v[v.size() / 2]);
        nc_close(nc);
    }
}
BENCHMARK(BM_NcGetVarAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

// Rows 600-1499, columns 1700-3999: about what a plot of the United States
// needs of the full disk.
void BM_AbiConusWindow(benchmark::State &st)
{
    const IMG_WINDOW w{600, 900, 1700, 2300};
    read_window(st, &w);
}
BENCHMARK(BM_AbiConusWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
