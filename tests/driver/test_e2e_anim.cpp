// Animated loop files written by zyrsat after its walk ("anim" and "apng"
// plot parameter words), checked by independent readers: PIL for frame
// count, delays, loop and every frame's pixels against that frame's PNG
// dump from the same run; gifsicle for frames and delays; apngdis for the
// frames and delays of the APNG; ImageMagick for its default image;
// pngcheck for chunk CRCs.  The words themselves are checked against every
// keyword of both "plot_param" decoders.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../gks/gks_test_util.h"
#include "core/res.h"
#include "core/util.h"
#include "plot/plt.h"
#include "plot/plt_anim.h"
#include "plot/plt_int.h"
#include "satproc/sat_param.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;
using testutil::have;
using testutil::quote;
using testutil::Result;
using testutil::shell;

const std::string kGen = ZYR_BINARY_DIR "/make_demo_loop";
const std::string kData = ZYR_SHARED_DATA;
const std::string kPython = "/usr/bin/python3";

// ---- the words against both keyword tables ----

// Every keyword of the satellite driver's and the plot session's
// "plot_param" decoders with the number of characters compared (0: the
// whole word).
struct Keyword {
    const char *word;
    int prefix;
};
const Keyword kKeywords[] = {
    // satellite driver
    {"remap", 5}, {"tran_sat", 8}, {"tran_zyr", 8}, {"no_pixave", 8}, {"zoom", 4}, {"fill", 4},
    {"over", 4}, {"bar", 3}, {"irbar", 3}, {"pixoff", 6}, {"minlon", 6}, {"maxlon", 6}, {"shift", 5},
    {"refresh", 0}, {"cutoff", 6},
    // plot session
    {"full", 0}, {"fullab", 0}, {"nopage", 0}, {"page", 0}, {"noredraw", 0}, {"id", 0}, {"wmo", 0},
    {"cod_wmo", 0}, {"tz", 2}, {"over", 4}, {"lalo", 4}, {"gridx", 5}, {"plt_skip", 8}, {"plt_off", 7},
    {"plt_grid", 8}, {"loc_pr", 6}, {"vp_size", 7}, {"font", 4}, {"gif_inter", 0}, {"gif_norm", 0},
    {"gif_trans", 0}, {"inv", 0}, {"lcmap", 0}, {"nolcmap", 0}, {"rwclr", 0}, {"norwclr", 0},
    {"nolooptitle", 0}, {"pscolor", 0}, {"psrev", 0}, {"clear", 0}, {"new", 0}, {"kill", 0},
    {"bar", 3}, {"nobar", 0}, {"nohdr", 0}, {"shadow", 6}, {"max_bad", 7}, {"min_size", 8},
    {"grdfmt", 6}, {"gif", 3}, {"png", 3}, {"img", 3}, {"xwd", 3},
};

bool matches(const std::string &entry, const Keyword &k)
{
    return k.prefix ? strnicmp(entry.c_str(), k.word, k.prefix) == 0 : stricmp(entry.c_str(), k.word) == 0;
}

// Both directions of the prefix rule: no keyword takes an animation word
// (bare, with a name, in capitals), and the animation words take no
// keyword (bare or with an argument).  Then the decoders themselves: the
// words change nothing else, and no keyword sets an animation.
TEST(AnimWords, CollideWithNoKeyword)
{
    const std::vector<std::string> ours = {"anim", "apng", "anim=x.gif", "APNG:y.png", "Anim"};
    for (const auto &k : kKeywords) {
        for (const auto &w : ours) EXPECT_FALSE(matches(w, k)) << k.word << " takes " << w;
        for (const std::string &e : {std::string(k.word), std::string(k.word) + "=1"}) {
            EXPECT_EQ(PLT_anim_word(e.c_str()), 0) << e;
            RES_put("plot_param", e.c_str());
            PLT_param_decode();
            EXPECT_EQ(PLT_get_anim(), 0) << e;
        }
    }
    PLT_set_anim(0, nullptr);
    SAT_param_reset();
    auto &st = plt::state();
    float views[4];
    PLT_get_view_offsets(views);
    const int dump = st.dump, over = PLT_get_overlay_base(), bar = st.bar;
    RES_put("plot_param", "anim=x.gif,APNG:y.png");
    PLT_param_decode();
    SAT_plot_param();
    EXPECT_EQ(PLT_get_anim(), PLT_ANIM_GIF | PLT_ANIM_APNG);
    float after[4];
    PLT_get_view_offsets(after);
    EXPECT_TRUE(std::equal(views, views + 4, after));
    EXPECT_EQ(st.dump, dump);
    EXPECT_EQ(st.bar, bar);
    EXPECT_EQ(PLT_get_overlay_base(), over);
    EXPECT_EQ(SAT_get_bar(), 0);
    EXPECT_EQ(SAT_get_over(), 0);
    EXPECT_EQ(SAT_get_refresh(), 0);
    EXPECT_FLOAT_EQ(SAT_get_zoom(), 1.0f);
}

// ---- zyrsat runs ----

// Per frame of an animation: "duration same|DIFF" against the dumps given;
// first line "frames loop".  With "dis": the same for apngdis's frames in
// dis/ with its delay text.
const char *kOracle = R"PY(
import sys
from PIL import Image
def same(a, b):
    return a.size == b.size and a.convert('RGB').tobytes() == b.convert('RGB').tobytes()
if sys.argv[1] == 'dis':
    import glob
    frames = sorted(glob.glob('dis/f*.png'))
    print(len(frames))
    for f, d in zip(frames, sys.argv[2:]):
        delay = open(f[:-4] + '.txt').read().strip()
        print(delay, 'same' if same(Image.open(f), Image.open(d)) else 'DIFF')
    sys.exit(0)
im = Image.open(sys.argv[1])
dumps = sys.argv[2:]
print(im.n_frames, im.info.get('loop'))
for k in range(im.n_frames):
    im.seek(k)
    ok = k < len(dumps) and same(im, Image.open(dumps[k]))
    print(round(im.info.get('duration', -1)), 'same' if ok else 'DIFF')
)PY";

// Where the pictures are drawn: a private 24-bit Xvfb, or the headless
// in-memory window.
enum class Ws { X, Mem };

class E2eAnim : public testing::TestWithParam<Ws> {
public:
    void SetUp() override
    {
        if (!fs::exists(testutil::kZyrsat) || !fs::exists(kGen)) GTEST_SKIP() << "programs not built";
        if (shell(kPython + " -c 'import PIL'", "/").status != 0) GTEST_SKIP() << "no python3 PIL";
        if (GetParam() == Ws::X) {
            server_ = std::make_unique<gkstest::XServer>(24);
            if (!server_->ok()) GTEST_SKIP() << "no Xvfb";
        }
        dir.write("oracle.py", kOracle);
    }

    Result zyrsat(std::vector<std::string> args)
    {
        args.insert(args.begin(), "-b");
        if (GetParam() == Ws::Mem) {
            args.insert(args.begin() + 1, {"-de", "d,mem"});
            return testutil::zyrsat(args, dir.path(), "-u DISPLAY");
        }
        return testutil::zyrsat(args, dir.path(), "DISPLAY=" + server_->name());
    }

    // The generator's loop of n frames, one file name per element.
    std::vector<std::string> generate(int n, const std::string &extra = "")
    {
        Result g = shell(quote(kGen) + " sat --frames " + std::to_string(n) + " " + extra, dir.path());
        EXPECT_EQ(g.status, 0) << g.out;
        std::vector<std::string> files;
        std::istringstream in(g.out);
        for (std::string line; std::getline(in, line);)
            if (!line.empty()) files.push_back(line);
        return files;
    }

    std::string oracle(const std::string &args) { return shell(kPython + " oracle.py " + args, dir.path()).out; }

    std::unique_ptr<gkstest::XServer> server_;
    testutil::ScratchDir dir;
};

// The expected oracle output for n frames, all matching their dumps.
std::string all_same(int n)
{
    std::string s = std::to_string(n) + " 0\n";
    for (int k = 0; k < n; k++) s += k + 1 < n ? "500 same\n" : "1000 same\n";
    return s;
}

std::string dump_names(int n)
{
    std::string s;
    char name[32];
    for (int k = 0; k < n; k++) {
        std::snprintf(name, sizeof name, " f_%02d.png", k);
        s += name;
    }
    return s;
}

// One run writes both files and a PNG dump of every frame; each reader
// must see exactly those frames and delays.
void check_loop(E2eAnim &t, const std::vector<std::string> &args, int n)
{
    Result r = t.zyrsat(args);
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string dumps = dump_names(n);
    EXPECT_EQ(t.oracle("loop.gif" + dumps), all_same(n)) << r.out;
    EXPECT_EQ(t.oracle("loop.png" + dumps), all_same(n)) << r.out;

    if (have("gifsicle")) {
        Result info = shell("gifsicle --info loop.gif", t.dir.path());
        EXPECT_NE(info.out.find(std::to_string(n) + (n == 1 ? " image\n" : " images\n")), std::string::npos)
            << info.out;
        EXPECT_NE(info.out.find("loop forever"), std::string::npos) << info.out;
        std::string delays, want;
        std::regex re("delay ([0-9.]+)s");
        for (std::sregex_iterator it(info.out.begin(), info.out.end(), re), end; it != end; ++it)
            delays += (*it)[1].str() + " ";
        for (int k = 0; k < n; k++) want += k + 1 < n ? "0.50 " : "1.00 ";
        EXPECT_EQ(delays, want) << info.out;
    }
    if (have("apngdis")) {
        Result d = shell("mkdir dis && cp loop.png dis && cd dis && apngdis loop.png f", t.dir.path());
        ASSERT_EQ(d.status, 0) << d.out;
        std::string want = std::to_string(n) + "\n";
        for (int k = 0; k < n; k++) want += k + 1 < n ? "delay=50/100 same\n" : "delay=100/100 same\n";
        EXPECT_EQ(t.oracle("dis" + dumps), want) << d.out;
    }
    if (have("identify") && have("convert")) {
        // A viewer without APNG support shows frame 0.
        Result id = shell("identify -format '%w %h\\n' loop.png", t.dir.path());
        EXPECT_EQ(id.out, "640 512\n") << id.out;
        Result a = shell("convert loop.png rgb:- | md5sum", t.dir.path());
        Result b = shell("convert f_00.png rgb:- | md5sum", t.dir.path());
        EXPECT_EQ(a.out, b.out);
    }
    if (have("pngcheck")) {
        // pngcheck may not know the animation chunks; it must find no bad CRC.
        Result c = shell("pngcheck loop.png", t.dir.path());
        EXPECT_EQ(c.out.find("CRC error"), std::string::npos) << c.out;
        if (c.status != 0) {
            EXPECT_TRUE(std::regex_search(c.out, std::regex("acTL|fcTL|fdAT"))) << c.out;
        }
    }
}

const std::vector<std::string> kWords = {"-pp", "irbar,anim=loop.gif,apng=loop.png,png=f_%i.png"};

TEST_P(E2eAnim, GeneratedLoopAndOneFrame)
{
    std::vector<std::string> files = generate(3);
    ASSERT_EQ(files.size(), 3u);
    std::vector<std::string> args = {"-pd", "us"};
    args.insert(args.end(), kWords.begin(), kWords.end());
    args.insert(args.end(), files.begin(), files.end());
    check_loop(*this, args, 3);
    if (HasFailure()) return;
    // A single file makes no frames: the window's picture is a loop of one,
    // shown for the last frame's time.
    for (const char *f : {"loop.gif", "loop.png", "f_00.png"}) fs::remove(dir.file(f));
    Result r = zyrsat({"-pd", "us", "-pp", "anim=loop.gif,apng=loop.png,png=f_00.png", files[1]});
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(oracle("loop.gif f_00.png"), "1 0\n1000 same\n");
    EXPECT_EQ(oracle("loop.png f_00.png"), "1 0\n1000 same\n");
}

TEST_P(E2eAnim, RealGiniLoop)
{
    if (!fs::is_directory(kData)) GTEST_SKIP() << "no sample data at " << kData;
    // Copies: nothing is ever written next to a shared sample.
    std::vector<std::string> args = {"-inp", "awip", "-pd", "us"};
    args.insert(args.end(), kWords.begin(), kWords.end());
    for (const char *f : {"EAST-CONUS_8km_13.3_20050912_2240.gini", "WEST-CONUS_4km_3.9_20050912_2130.gini",
                          "SUPER-NATIONAL_8km_IR_20050911_2345.gini"})
        args.push_back(dir.write(f, testutil::read_file(kData + "/gini/" + f)));
    check_loop(*this, args, 3);
}

// The frame table's whole length (128 small frames), a walk that reads no
// file, and names that cannot be written.
TEST_P(E2eAnim, LongLoopNoFramesAndUnwritable)
{
    std::vector<std::string> files = generate(128, "--res 64");
    ASSERT_EQ(files.size(), 128u);
    std::vector<std::string> args = {"-ge", "160x128", "-pp", "anim=loop.gif,apng=loop.png,png=f_%i.png"};
    args.insert(args.end(), files.begin(), files.end());
    Result r = zyrsat(args);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(oracle("loop.gif" + dump_names(128)), all_same(128));
    EXPECT_EQ(oracle("loop.png" + dump_names(128)), all_same(128));

    dir.write("bad1.area", std::string(4000, '\0'));
    dir.write("bad2.area", std::string(4000, '\0'));
    r = zyrsat({"-me", "out1", "-pp", "anim=none.gif,apng=none.png", "bad1.area", "bad2.area"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("No frames to write to animated GIF file: none.gif"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("No frames to write to APNG file: none.png"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Wrote"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(dir.file("none.gif")) || fs::exists(dir.file("none.png")));

    // A folder that is a plain file: no permission trick a root run ignores.
    dir.write("plain", "");
    r = zyrsat({"-me", "out1", "-pp", "anim=plain/x.gif,apng=plain/x.png", files[0], files[1]});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Unable to write animated GIF file: plain/x.gif"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Unable to write APNG file: plain/x.png"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Wrote"), std::string::npos) << r.out;
}

INSTANTIATE_TEST_SUITE_P(Ws, E2eAnim, testing::Values(Ws::X, Ws::Mem),
                         [](const auto &info) { return std::string(info.param == Ws::X ? "x" : "mem"); });

}  // namespace
