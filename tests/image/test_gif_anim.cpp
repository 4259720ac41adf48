// Animated loop files (GIF and APNG) read back by PIL frame by frame: the
// frame count, the loop, every delay and every frame's colours.

#include <filesystem>
#include <memory>
#include <random>

#include "codec_oracle.h"
#include "image/anim.h"

namespace {

struct Loop {
    std::vector<std::unique_ptr<codec::Rec>> recs;
    std::vector<ANIM_frame> frames;
    std::vector<std::string> expect;  // RGB bytes of each frame
};

// n frames of w x h, 24-bit true colour; `colours` distinct colours per
// frame, each frame a different set when `distinct` (more than 256 in all).
Loop make_loop(int n, int w, int h, int colours, bool distinct)
{
    Loop L;
    std::mt19937 rng(17);
    for (int k = 0; k < n; k++) {
        auto rec = std::make_unique<codec::Rec>();
        std::vector<uint32_t> pool;
        for (int c = 0; c < colours; c++) pool.push_back(distinct ? (uint32_t)(k * 4096 + c * 13) : (uint32_t)(c * 0x10307));
        std::vector<uint32_t> v((size_t)w * h);
        for (size_t i = 0; i < v.size(); i++) {
            // Mostly a fixed background with a moving block: later frames
            // change only part of the picture.
            int x = (int)(i % w), y = (int)(i / w);
            bool block = x >= 2 * k % w && x < 2 * k % w + 6 && y >= k % h && y < k % h + 5;
            v[i] = block || (i % 7 == 0) ? pool[rng() % pool.size()] : pool[0];
        }
        codec::fill(rec->get(), w, h, 24, 32, 0, v);
        (*rec)->red_mask = 0xFF0000, (*rec)->green_mask = 0xFF00, (*rec)->blue_mask = 0xFF;
        std::string e;
        for (uint32_t x : v) e += {(char)(x >> 16), (char)(x >> 8), (char)x};
        L.expect.push_back(e);
        L.frames.push_back({rec->get(), k + 1 == n ? 1.0f : 0.5f});
        L.recs.push_back(std::move(rec));
    }
    return L;
}

// Frame count, loop, durations (ms) and every frame's RGB bytes, by PIL.
std::string pil_frames(const std::string &path)
{
    return codec::pil_script(
        "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
        "print(im.n_frames, im.info.get('loop'))\n"
        "for k in range(im.n_frames):\n"
        "    im.seek(k)\n"
        "    print(round(im.info.get('duration')), im.convert('RGB').tobytes().hex())\n",
        path);
}

std::string expected(const Loop &L)
{
    std::string s = std::to_string(L.frames.size()) + " 0\n";
    for (size_t k = 0; k < L.frames.size(); k++) {
        s += k + 1 == L.frames.size() ? "1000 " : "500 ";
        for (unsigned char c : L.expect[k]) s += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
        s += "\n";
    }
    return s;
}

struct Case {
    const char *name;
    int frames, w, h, colours;
    bool distinct;
};

const Case kCases[] = {
    {"one_frame", 1, 30, 20, 40, false},
    {"global_palette", 5, 41, 23, 60, false},
    {"local_tables", 4, 33, 17, 200, true},  // 800 colours in all
    {"exactly_256", 3, 32, 32, 256, false},
    {"long_loop", 128, 8, 6, 5, false},
};

class AnimFiles : public testing::TestWithParam<Case> {};

TEST_P(AnimFiles, PilReadsEveryFrameAndDelay)
{
    NEED_PIL();
    const Case &c = GetParam();
    Loop L = make_loop(c.frames, c.w, c.h, c.colours, c.distinct);
    testutil::ScratchDir dir;
    std::string gif = dir.file("a.gif"), apng = dir.file("a.png");
    ASSERT_EQ(ANIM_write_gif(gif.c_str(), L.frames.data(), c.frames), 1);
    ASSERT_EQ(ANIM_write_apng(apng.c_str(), L.frames.data(), c.frames), 1);
    const std::string want = expected(L);
    EXPECT_EQ(pil_frames(gif), want) << "GIF";
    EXPECT_EQ(pil_frames(apng), want) << "APNG";
}

INSTANTIATE_TEST_SUITE_P(All, AnimFiles, testing::ValuesIn(kCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(AnimFiles, NoFramesAndUnwritable)
{
    testutil::ScratchDir dir;
    Loop L = make_loop(2, 8, 6, 5, false);
    std::string none = dir.file("none.gif"), bad = dir.write("plain", "") + "/x.gif";
    EXPECT_EQ(ANIM_write_gif(none.c_str(), L.frames.data(), 0), 0);
    EXPECT_EQ(ANIM_write_apng(none.c_str(), nullptr, 0), 0);
    EXPECT_FALSE(std::filesystem::exists(none));
    EXPECT_EQ(ANIM_write_gif(bad.c_str(), L.frames.data(), 2), 0);
    EXPECT_EQ(ANIM_write_apng(bad.c_str(), L.frames.data(), 2), 0);
}

}  // namespace
