// The animation words of "plot_param" against every keyword of the two
// decoders of that resource (the plot session's and the satellite
// driver's): keywords compare only a prefix, so a new word must neither
// be taken by a keyword nor take one.
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/res.h"
#include "core/util.h"
#include "plot/plt.h"
#include "plot/plt_anim.h"
#include "plot/plt_int.h"
#include "satproc/sat_param.h"

// Every keyword with the number of characters compared ("/0": the whole
// word), driver's first.
const char *kKeywords =
    "remap/5 tran_sat/8 tran_zyr/8 no_pixave/8 zoom/4 fill/4 over/4 bar/3 irbar/3 pixoff/6 minlon/6 maxlon/6 "
    "shift/5 refresh/0 cutoff/6 "
    "full/0 fullab/0 nopage/0 page/0 noredraw/0 id/0 wmo/0 cod_wmo/0 tz/2 lalo/4 gridx/5 plt_skip/8 plt_off/7 "
    "plt_grid/8 loc_pr/6 vp_size/7 font/4 gif_inter/0 gif_norm/0 gif_trans/0 inv/0 lcmap/0 nolcmap/0 rwclr/0 "
    "norwclr/0 nolooptitle/0 pscolor/0 psrev/0 clear/0 new/0 kill/0 nobar/0 nohdr/0 shadow/6 max_bad/7 "
    "min_size/8 grdfmt/6 gif/3 png/3 img/3 xwd/3";

// Both directions of the prefix rule, then the decoders themselves: no
// keyword (bare or with a value) sets an animation, and the animation
// words change nothing else.
TEST(PlotParam, AnimationWordsCollideWithNoKeyword)
{
    const std::vector<std::string> ours = {"anim", "apng", "anim=x.gif", "APNG:y.png", "Anim"};
    std::istringstream in(kKeywords);
    for (std::string entry; in >> entry;) {
        const std::string word = entry.substr(0, entry.find('/'));
        const int prefix = std::stoi(entry.substr(entry.find('/') + 1));
        for (const auto &w : ours)
            EXPECT_FALSE(prefix ? strnicmp(w.c_str(), word.c_str(), prefix) == 0 : stricmp(w.c_str(), word.c_str()) == 0)
                << word << " takes " << w;
        for (const std::string &e : {word, word + "=1"}) {
            EXPECT_EQ(PLT_anim_word(e.c_str()), 0) << e;
            RES_put("plot_param", e.c_str());
            PLT_param_decode();
            EXPECT_EQ(PLT_get_anim(), 0) << e;
        }
    }
    PLT_set_anim(0, nullptr);
    SAT_param_reset();
    auto &st = plt::state();
    float views[4], after[4];
    PLT_get_view_offsets(views);
    const int dump = st.dump, over = PLT_get_overlay_base(), bar = st.bar;
    RES_put("plot_param", "anim=x.gif,APNG:y.png");
    PLT_param_decode();
    SAT_plot_param();
    EXPECT_EQ(PLT_get_anim(), PLT_ANIM_GIF | PLT_ANIM_APNG);
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
