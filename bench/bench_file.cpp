// Building 10,000 file names from a template and reading each back against
// the template (date fields, a path field and a key).
#include <benchmark/benchmark.h>

#include "core/res.h"
#include "files/file.h"

namespace {

void BM_NamesBuildAndReadBack(benchmark::State &state)
{
    RES_put("sat_path", "/data/sat");
    FILE_set_name("@%S/%q/%Y%m%d_%h%15n.area");
    FILE_set_key('q', "goes16");
    char name[FILE_NAME_SIZE], back[FILE_NAME_SIZE];
    for (auto _ : state) {
        for (int i = 0; i < 10000; i++) {
            DATE d{2004, 1 + i % 12, 1 + i % 28, -9999, -9999, i % 24, (i * 7) % 60, 0};
            FILE_set_date(&d, name);
            FILE_set_file(name, back);
            benchmark::DoNotOptimize(back);
        }
    }
    state.SetItemsProcessed((int64_t)state.iterations() * 10000);
}
BENCHMARK(BM_NamesBuildAndReadBack)->Unit(benchmark::kMillisecond);

}  // namespace
