// Building 10,000 file names from a template and reading each back against
// the template (date fields, a path field and a key); GOES-R names found by
// date in a day's folder.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

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

// GOES-R names by date in a folder of a day's full-disk L2 products (30
// products every 10 minutes, 4320 empty files): the latest rain rate from
// 15:25 (the 15:20 file, found at the first step) and a product the
// folder lacks (the search's 500 steps back, each matching the folder's names).
class GoesFolder : public benchmark::Fixture {
public:
    void SetUp(const benchmark::State &) override
    {
        char templ[] = "/tmp/zyrbenchXXXXXX";
        dir = mkdtemp(templ) ? templ : "/tmp";
        static const char *const products[] = {
            "ACHAF", "ACMF", "ACTPF", "ADPF", "AODF", "CMIPF-M6C01", "CMIPF-M6C02", "CMIPF-M6C07", "CMIPF-M6C08",
            "CMIPF-M6C13", "CODF", "CPSF", "CTPF", "DMWF-M6C14", "DSIF", "FDCF", "LSTF", "LVMPF", "LVTPF", "RRQPEF",
            "SSTF", "TPWF", "MCMIPF", "DMWF-M6C07", "DSRF", "BRFF", "LSAF", "RSRF", "CMIPF-M6C03", "CMIPF-M6C14"};
        char name[256];
        for (int h = 0; h < 24; h++)
            for (int m = 0; m < 60; m += 10)
                for (const char *p : products) {
                    std::snprintf(name, sizeof name, "%s/OR_ABI-L2-%s-M6_G16_s2023076%02d%02d209_e2023076%02d%02d517_c2023076%02d%02d040.nc",
                                  dir.c_str(), p, h, m, h, m + 9, h, m + 9);
                    if (FILE *f = std::fopen(name, "w")) std::fclose(f);
                }
        RES_put("sat_path", dir.c_str());
        FILE_set_min_size(-1);
        setenv("zyrcurtime", "202303171525", 1);
    }
    void TearDown(const benchmark::State &) override
    {
        std::filesystem::remove_all(dir);
        unsetenv("zyrcurtime");
    }
    std::string dir;
};

BENCHMARK_DEFINE_F(GoesFolder, LatestFound)(benchmark::State &state)
{
    FILE_set_name("abi_l2_RRQPEF");
    char name[FILE_NAME_SIZE];
    for (auto _ : state) benchmark::DoNotOptimize(FILE_set_current("la", name));
}
BENCHMARK_REGISTER_F(GoesFolder, LatestFound)->Unit(benchmark::kMicrosecond);

BENCHMARK_DEFINE_F(GoesFolder, LatestOfAMissingProduct)(benchmark::State &state)
{
    FILE_set_name("abi_l2_RRQPEC");
    char name[FILE_NAME_SIZE];
    for (auto _ : state) benchmark::DoNotOptimize(FILE_set_current("la", name));
}
BENCHMARK_REGISTER_F(GoesFolder, LatestOfAMissingProduct)->Unit(benchmark::kMillisecond);

}  // namespace
