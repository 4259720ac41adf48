// The animation words of "plot_param" against every keyword of its two
// decoders: keywords compare a prefix, so no word may take another.
#include <algorithm>
#include <sstream>
#include <string>
#include <tuple>
#include <gtest/gtest.h>
#include "core/res.h"
#include "plot/plt.h"
#include "plot/plt_anim.h"
#include "plot/plt_int.h"
#include "satproc/sat_param.h"

// No keyword (bare or with a value) sets an animation, and the animation
// words (in capitals too) set nothing but the animation.
TEST(PlotParam, AnimationWordsCollideWithNoKeyword)
{
    std::istringstream in( // every keyword of the two decoders, the driver's first
        "remap tran_sat tran_zyr no_pixave zoom fill over bar irbar pixoff minlon maxlon shift refresh "
        "cutoff full fullab nopage page noredraw id wmo cod_wmo tz lalo gridx plt_skip plt_off plt_grid "
        "loc_pr vp_size font gif_inter gif_norm gif_trans inv lcmap nolcmap rwclr norwclr nolooptitle "
        "pscolor psrev clear new kill nobar nohdr shadow max_bad min_size grdfmt gif png img xwd");
    for (std::string entry; in >> entry;) {
        for (const std::string &e : {entry, entry + "=1"}) {
            EXPECT_EQ(PLT_anim_word(e.c_str()), 0) << e;
            RES_put("plot_param", e.c_str());
            PLT_param_decode();
            EXPECT_EQ(PLT_get_anim(), 0) << e;
        }
    }
    PLT_set_anim(0, nullptr);
    SAT_param_reset();
    const plt::State before = plt::state();
    RES_put("plot_param", "anim=x.gif,APNG:y.png");
    PLT_param_decode();
    SAT_plot_param();
    EXPECT_EQ(PLT_get_anim(), PLT_ANIM_GIF | PLT_ANIM_APNG);
    const plt::State &now = plt::state();
    EXPECT_TRUE(std::equal(before.view_off, before.view_off + 4, now.view_off));
    EXPECT_EQ(std::tuple(now.dump, now.bar, now.over_base), std::tuple(before.dump, before.bar, before.over_base));
    EXPECT_EQ(SAT_get_bar() + SAT_get_over() + SAT_get_refresh(), 0);
    EXPECT_FLOAT_EQ(SAT_get_zoom(), 1.0f);
}
