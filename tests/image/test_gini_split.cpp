// The GINI zlib chain read with a second thread inflating from the middle
// gives the result, pixels and messages of the one-thread read: the real
// samples, and built chains that are whole, hold a false start in the middle,
// are damaged after the middle, turn to garbage halfway or are cut short.
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "core/flags.h"
#include "image/readers.h"
#include "build.h"
#include "codec_oracle.h"

namespace {

using namespace build;

struct Read {
    int result;
    std::string pixels, messages;
};

// Reads the bytes as a compressed GINI with ZYR_THREADS set to `threads`.
Read read_with(const char *threads, const Bytes &file)
{
    const char *was = std::getenv("ZYR_THREADS");
    const std::string saved = was ? was : "";
    setenv("ZYR_THREADS", threads, 1);
    Read r{};
    codec::Rec img;
    std::string err;
    const std::string out = testutil::stdout_of([&] {
        err = testutil::stderr_of([&] { r.result = codec::read_as(IMG_SRC_AWIPZ, file.data(), file.size(), &img); });
    });
    if (was) setenv("ZYR_THREADS", saved.c_str(), 1);
    else unsetenv("ZYR_THREADS");
    r.pixels = codec::image_bytes(img);
    r.messages = out + err;
    return r;
}

// The one-thread read, after checking that two threads give the same.
Read same_both_ways(const Bytes &file)
{
    Read one = read_with("1", file), two = read_with("2", file);
    EXPECT_EQ(one.result, two.result);
    EXPECT_TRUE(one.pixels == two.pixels) << "pixels differ";
    EXPECT_EQ(one.messages, two.messages);
    return one;
}

TEST(GiniSplit, RealSamplesReadAlikeOnOneAndTwoThreads)
{
    NEED_SHARED("gini");
    int files = 0;
    for (auto &entry : std::filesystem::directory_iterator(testutil::shared("gini"))) {
        SCOPED_TRACE(entry.path().filename().string());
        const Bytes file = load(entry.path().string());
        EXPECT_EQ(same_both_ways(file).result, 0);
        ++files;
    }
    EXPECT_GT(files, 0);
}

constexpr int NX = 400, NY = 400;

// Pixels that deflate to about 6 bits each, so that the chain is well over
// the size that is split.
Bytes noise(size_t n, uint32_t seed)
{
    Bytes b(n);
    for (auto &v : b) v = (seed = seed * 1664525u + 1013904223u) >> 26;
    return b;
}

// A chain of two-row streams and an end-marker stream.  With a false start,
// rows 150-249 are copies of a small whole zlib stream, stored (level 0) so
// that the copies stand in the file as they are, across its middle: from
// there a helper inflates valid streams that are not where the chain's
// streams start.
Bytes chain(const Bytes &pixels, bool false_start)
{
    const Bytes heading = bytes("TIGE03 KNES 120600\r\r\n");
    Bytes file = cat({heading, deflated(cat({heading, make_pdb(5, NX, NY)}))});
    for (int r = 0; r < NY;) {
        const int rows = false_start && r == 150 ? 100 : 2;
        const Bytes part(pixels.begin() + r * NX, pixels.begin() + (r + rows) * NX);
        file = cat({file, deflated(part, rows == 100 ? 0 : Z_DEFAULT_COMPRESSION)});
        r += rows;
    }
    return cat({file, deflated(Bytes(NX, 0xFF))});
}

TEST(GiniSplit, BuiltChainsReadAlikeOnOneAndTwoThreads)
{
    Bytes pixels = noise(NX * NY, 7);
    Bytes with_copies = pixels;
    const Bytes copy = deflated(bytes("a whole zlib stream inside the picture"));
    for (size_t i = 150 * NX; i < 250 * NX; ++i) with_copies[i] = copy[(i - 150 * NX) % copy.size()];

    const Bytes whole = chain(pixels, false), copies = chain(with_copies, true);
    ASSERT_GT(whole.size(), 100000u);
    const size_t n = whole.size();
    Bytes damaged = whole, garbage = whole, cut(whole.begin(), whole.begin() + n * 3 / 4);
    for (size_t i = n * 6 / 10; i < n * 6 / 10 + 500; ++i) damaged[i] ^= 0x5A;
    Bytes tail(n - n / 2);
    for (uint32_t s = 99; auto &v : tail) v = (s = s * 1664525u + 1013904223u) >> 24;
    std::copy(tail.begin(), tail.end(), garbage.begin() + n / 2);

    const struct {
        const char *name;
        const Bytes &file, &pixels;
        int result;
    } cases[] = {
        {"whole", whole, pixels, 0},
        {"false start in the middle", copies, with_copies, 0},
        {"damaged after the middle", damaged, pixels, -1},
        {"garbage from the middle", garbage, pixels, -1},
        {"cut at three quarters", cut, pixels, -1},
    };
    for (auto &c : cases) {
        SCOPED_TRACE(c.name);
        const Read one = same_both_ways(c.file);
        EXPECT_EQ(one.result, c.result);
        if (c.result == 0) EXPECT_TRUE(one.pixels == std::string(c.pixels.begin(), c.pixels.end()));
        else EXPECT_NE(one.messages.find("SAT_read_AWIP: built: compressed data"), std::string::npos) << one.messages;
    }
}

}  // namespace
