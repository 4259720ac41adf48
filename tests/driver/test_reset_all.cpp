// SAT_reset_all (called before every test) puts a setting changed in each
// layer back to its program-start value and fills the hook table again.
#include <gtest/gtest.h>
#include "core/flags.h"
#include "core/hooks.h"
#include "core/res.h"
#include "core/util.h"
#include "driver/sat.h"
#include "files/date.h"
#include "files/file.h"
#include "gks/clr.h"
#include "gks/gks.h"
#include "map/map.h"
#include "plot/plt.h"
#include "satproc/enh.h"

TEST(ResetAll, EveryLayerReadsAsAtProgramStart)
{
    DOM start_domain;
    MAP_get_domain(&start_domain);

    FLAG_set(FLAG_DEVICE, 4);
    FLAG_setplot(PLOT_MAP, 0);
    MESS_set_str("none");
    RES_put("file_path", "/nowhere");
    ZYR_add_proc(1, "init");
    ASSERT_EQ(DATE_set_TZ("-EST:-5"), 0);
    FILE_set_name_conv("x%Y.gif");
    CLR_add("red", 1, 0, 0);
    ASSERT_EQ(gopen_ws(1, "mem", GWS_WIN), 0);
    DOM dom = start_domain;
    dom.proj = 1, dom.plat = 60, dom.clat = 45, dom.clon = -100, dom.dx = dom.dy = 50, dom.nx = dom.ny = 11;
    MAP_domain(&dom);
    SAT_set_dither(4);
    PLT_label_up_left("label");
    HOOK_table().decode_domain = nullptr;
    SAT_reset_all();
    EXPECT_EQ(FLAG_get(FLAG_DEVICE), 0);
    EXPECT_EQ(FLAG_getplot(PLOT_MAP), 1u);
    EXPECT_EQ(MESS_get(), MESS_DEFAULT_LEVEL);
    EXPECT_EQ(RES_get("file_path"), nullptr);
    EXPECT_STREQ(DATE_get_tz_str(), "Z");
    EXPECT_EQ(DATE_get_tz_off(), 0);
    EXPECT_EQ(CLR_get_num(), 0);
    EXPECT_EQ(gchk_graphics(), 0);
    EXPECT_EQ(ZYR_numproc(), 0);
    EXPECT_STREQ(FILE_get_name_conv(), "");
    DOM now;
    MAP_get_domain(&now);
    EXPECT_EQ(DOM_comp(&now, &start_domain), 1);
    EXPECT_EQ(SAT_get_enhancement().dither, 0);
    EXPECT_STREQ(PLT_get_label(PLT_UL, 0), "");
    EXPECT_NE(HOOK_table().decode_domain, nullptr);
}
