// Seed replay: every fuzz target's entry (renamed <target>_entry) runs over
// its seeds and real samples, whole, cut and with bytes flipped, checked by
// its own traps (and the sanitizers), one child process a corpus.
#include <sys/mman.h>
#include <cstdint>
#include <cstring>
#include <memory>
#include "tests/test_support.h"

#define X(name) extern "C" int name##_entry(const uint8_t *data, size_t size);
#include "fuzz_targets.inc"
#undef X

namespace {

namespace fs = std::filesystem;
using Entry = int (*)(const uint8_t *, size_t);
struct Target { const char *name; Entry entry; };
const Target kTargets[] = {
#define X(name) {#name, name##_entry},
#include "fuzz_targets.inc"
#undef X
};

// One corpus: a target's seeds, or a folder of real samples.  The targets
// whose first byte picks a form get a 0 in front of a sample: "as it stands".
struct Corpus {
    Target target;
    std::string shared;  // folder below the shared data; "" for the seeds
    bool mode_byte = false;
};
void PrintTo(const Corpus &c, std::ostream *os) { *os << c.target.name << " " << c.shared; }

std::vector<std::string> files_below(const fs::path &dir)
{
    std::vector<std::string> out;
    if (fs::is_directory(dir))
        for (const auto &e : fs::recursive_directory_iterator(dir))
            if (e.is_regular_file() && e.path().extension() != ".md") out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
}

// Calls the entry on a buffer of exactly the bytes' size (as libFuzzer, so a
// read one past the end is caught), noting the input in `now` for the parent.
void call(Entry entry, const std::string &bytes, char *now, const std::string &what)
{
    std::snprintf(now, 1024, "%s", what.c_str());
    std::unique_ptr<uint8_t[]> buf(new uint8_t[bytes.size()]);
    std::memcpy(buf.get(), bytes.data(), bytes.size());
    entry(buf.get(), bytes.size());
}

// The input whole, cut at a grid of `cuts` lengths, and `changes` copies with
// one byte changed (half of them in the first 256 bytes, the headers).
void feed(Entry entry, const std::string &b, char *now, const std::string &name, size_t cuts, int changes)
{
    call(entry, b, now, name);
    const size_t step = std::max<size_t>(1, b.size() / cuts);
    for (size_t n = 0; n < b.size(); n += step) call(entry, b.substr(0, n), now, name + " cut at " + std::to_string(n));
    uint32_t r = 2463534242u;
    for (int k = 0; k < changes && !b.empty(); k++) {
        r ^= r << 13, r ^= r >> 17, r ^= r << 5;
        const size_t at = (r >> 8) % (k % 2 ? std::min<size_t>(b.size(), 256) : b.size());
        std::string d = b;
        d[at] = (char)(d[at] ^ (1 + r % 255));
        call(entry, d, now, name + " byte " + std::to_string(at) + " changed");
    }
}

// Runs the inputs in a child process with its messages in `log`; "" when
// it ran them all to the end, else what went wrong and on which input.
std::string replay(const Corpus &c, const std::vector<std::string> &files, const std::string &log)
{
    char *now = (char *)mmap(nullptr, 1024, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (now == MAP_FAILED) return "no shared memory";
    now[0] = 0;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (!std::freopen(log.c_str(), "w", stderr) || !std::freopen("/dev/null", "w", stdout)) _exit(3);
        // The seeds are small: cut finer and changed more than the samples.
        const bool seeds = c.shared.empty();
        for (const std::string &f : files)
            feed(c.target.entry, (c.mode_byte ? std::string(1, '\0') : "") + testutil::read_file(f), now,
                 fs::path(f).filename().string(), seeds ? 64 : 24, seeds ? 16 : 8);
        std::strcpy(now, "\1");
        std::exit(0);  // as a fuzzer ends: coverage counts and the leak check run
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::string what = now[0] == 1 ? "" : now;
    munmap(now, 1024);
    if (what.empty() && WIFEXITED(status) && WEXITSTATUS(status) == 0) return "";
    return (WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                : "exit status " + std::to_string(WEXITSTATUS(status))) +
           (what.empty() ? " after the last input" : " on " + what);
}

class SeedReplay : public testing::TestWithParam<Corpus> {};

TEST_P(SeedReplay, EveryInputCutAndChangedRunsClean)
{
    const Corpus &c = GetParam();
    std::vector<std::string> files;
    if (c.shared.empty()) {
        // fuzz/seeds/<target>, with or without "fuzz_"
        const fs::path root = fs::path(ZYR_SOURCE_DIR) / "fuzz" / "seeds";
        files = files_below(root / c.target.name);
        for (const std::string &f : files_below(root / (c.target.name + 5))) files.push_back(f);
        ASSERT_FALSE(files.empty()) << c.target.name << " has no seeds in fuzz/seeds";
    } else {
        NEED_SHARED(c.shared);
        files = files_below(testutil::shared(c.shared));
    }
    testutil::ScratchDir dir;
    const std::string failed = replay(c, files, dir.file("log")), log = testutil::read_file(dir.file("log"));
    EXPECT_EQ(failed, "") << log.substr(log.size() > 6000 ? log.size() - 6000 : 0);
}

std::vector<Corpus> corpora()
{
    std::vector<Corpus> out;
    for (const Target &t : kTargets) out.push_back({t, ""});
    // Real samples of the forms a target reads.
    const char *shared[][2] = {{"fuzz_area", "area"}, {"fuzz_awip", "gini"}, {"fuzz_lrit", "lrit"},
                               {"fuzz_lrit", "hrit"}, {"fuzz_tiff", "tiff"}};
    for (const auto &s : shared)
        for (const Target &t : kTargets)
            if (!std::strcmp(t.name, s[0])) out.push_back({t, s[1], std::strcmp(s[1], "tiff") != 0});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Fuzz, SeedReplay, testing::ValuesIn(corpora()), [](const auto &i) {
    return std::string(i.param.target.name) + (i.param.shared.empty() ? "_seeds" : "_shared_" + i.param.shared);
});

}  // namespace
