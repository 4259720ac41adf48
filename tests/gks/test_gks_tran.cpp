// Transforms, the workstation fit, converters, clipping and the page layout,
// checked against hand-worked values.
#include <cmath>

#include "../test_support.h"
#include "gks_test_util.h"

namespace {

void fresh(int w, int h) {
    gset_win_size(w, h);
    ginit_tran(0);
}

TEST(GksTran, UnitSquareFitsTheShorterSideWithYTurnedOver) {
    fresh(640, 512);
    // wkvp 0..639 x 0..511: the square is 511 x 511 pixels.
    EXPECT_FLOAT_EQ(xW_p(0.5f), 255.5f);
    EXPECT_FLOAT_EQ(yW_p(0.5f), 255.5f);
    EXPECT_FLOAT_EQ(xW_p(1.0f), 511.0f);
    EXPECT_FLOAT_EQ(yW_p(0.0f), 511.0f);
    EXPECT_FLOAT_EQ(yW_p(1.0f), 0.0f);
    // Driver units keep y upwards.
    EXPECT_FLOAT_EQ(yW_ps(1.0f), 511.0f);
    GXRect r;
    gget_xviewport(&r);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.y, 0);
    EXPECT_EQ(r.width, 512);
    EXPECT_EQ(r.height, 512);
}

TEST(GksTran, WideWindowPageCoversTheDevice) {
    fresh(801, 401);
    float xvp, yvp;
    ginq_maxview(1, &xvp, &yvp);
    EXPECT_FLOAT_EQ(xvp, 1.0f);
    EXPECT_FLOAT_EQ(yvp, 0.5f);
    float page[4] = {0, xvp, 0, yvp};
    gset_ws_win(1, page);
    gset_win(1, page);
    gset_vp(1, page);
    gsel_norm_tran(1);
    EXPECT_FLOAT_EQ(xW_p(0), 0);
    EXPECT_FLOAT_EQ(xW_p(1), 800);
    EXPECT_FLOAT_EQ(yW_p(0), 400);
    EXPECT_FLOAT_EQ(yW_p(0.5f), 0);
    // Tall window: the other way round.
    fresh(301, 601);
    ginq_maxview(1, &xvp, &yvp);
    EXPECT_FLOAT_EQ(yvp, 1.0f);
    EXPECT_FLOAT_EQ(xvp, 0.5f);
}

TEST(GksTran, ViewportOfSelectedTransformMovesTheClipOthersDoNot) {
    fresh(640, 512);
    float half[4] = {0.25f, 0.75f, 0.25f, 0.75f};
    gsel_norm_tran(1);
    GXRect before, after;
    gget_xviewport(&before);
    gset_vp(2, half);
    gget_xviewport(&after);
    EXPECT_EQ(after.width, before.width);
    gset_vp(1, half);
    gget_xviewport(&after);
    // x from round(127.75) = 128 to 383.25: width round(383.25 - 128 + 1) = 256.
    EXPECT_EQ(after.x, 128);
    EXPECT_EQ(after.width, 256);
    EXPECT_EQ(after.y, 128);
    EXPECT_EQ(after.height, 256);
}

TEST(GksTran, SelectingOutsideTheTableFailsWithTheKernelMessage) {
    testutil::ScratchDir dir;
    std::string err = dir.file("gks.err");
    ASSERT_EQ(gopen_gks(err.c_str(), 0), 0);
    fresh(640, 512);
    EXPECT_EQ(gsel_norm_tran(6), -1);
    EXPECT_EQ(gsel_norm_tran(-1), -1);
    EXPECT_EQ(gsel_norm_tran(5), 0);
    int e = 0, n = -1;
    ginq_cur_norm_tran_num(&e, &n);
    EXPECT_EQ(n, 5);
    float out[8];
    EXPECT_EQ(ginq_norm_tran(6, &e, out), -1);
    EXPECT_EQ(e, -1);
    gclose_gks();
    EXPECT_EQ(gkstest::slurp(err), "gsel_norm_tran: invalid transformation number: 6\n"
                                   "gsel_norm_tran: invalid transformation number: -1\n");
}

TEST(GksTran, FarPointsClampInsteadOfWrapping) {
    fresh(640, 512);
    float w[4] = {0, 10, 0, 10};
    gset_win(0, w);
    EXPECT_FLOAT_EQ(xW_p(1e9f), 30000);
    EXPECT_FLOAT_EQ(xW_p(-1e9f), -30000);
    EXPECT_FLOAT_EQ(yW_p(-1e9f), 30000);
    EXPECT_FLOAT_EQ(xW_ps(1e12f), 100000);
    EXPECT_FLOAT_EQ(yW_ps(-1e12f), -100000);
}

TEST(GksTran, PixelToWorldInvertsWorldToPixel) {
    fresh(640, 512);
    float w[4] = {-180, 180, -90, 90}, v[4] = {0.1f, 0.9f, 0.2f, 0.6f};
    gset_win(2, w);
    gset_vp(2, v);
    gsel_norm_tran(2);
    const float pts[][2] = {{0, 0}, {-180, -90}, {179.5f, 89.5f}, {12.25f, -33.5f}};
    for (auto &p : pts) {
        EXPECT_NEAR(xp_W(xW_p(p[0])), p[0], 1e-3f);
        EXPECT_NEAR(yp_W(yW_p(p[1])), p[1], 1e-3f);
    }
    // World of transform 2 to transform 0 (unit): through NDC.
    EXPECT_NEAR(xW_trans(2, 0, 0), 0.5f, 1e-6f);
    EXPECT_NEAR(yW_trans(2, 0, 90), 0.6f, 1e-6f);
    EXPECT_NEAR(xW_trans(0, 2, 0.1f), -180, 1e-3f);
}

TEST(GksTran, BoundingBoxTestCountsTouchingAsOverlap) {
    fresh(640, 512);
    struct Case {
        std::vector<float> pts;
        int in;
    } cases[] = {
        {{0.2f, 0.2f, 0.3f, 0.3f}, 1},
        {{1.0f, 0.5f, 2.0f, 0.5f}, 1},      // touches the right edge
        {{1.01f, 0.5f, 2.0f, 0.6f}, 0},
        {{-1, -1, 2, 2}, 1},                // spans the window
        {{-1, 2, -0.5f, 3}, 0},
    };
    for (auto &c : cases) EXPECT_EQ(gpts_in_win((int)c.pts.size() / 2, c.pts.data()), c.in);
}

TEST(GksTran, AspectFitCentresOrPushesToTheHighEdge) {
    float in[4] = {0, 2, 0, 1}, out[4];
    float sq[2] = {1, 1};
    int centre[2] = {2, 2}, high[2] = {3, 3};
    gset_aspect(in, out, centre, sq);
    EXPECT_FLOAT_EQ(out[0], 0.5f);
    EXPECT_FLOAT_EQ(out[1], 1.5f);
    EXPECT_FLOAT_EQ(out[2], 0);
    EXPECT_FLOAT_EQ(out[3], 1);
    gset_aspect(in, out, high, sq);
    EXPECT_FLOAT_EQ(out[0], 1);
    EXPECT_FLOAT_EQ(out[1], 2);
}

}  // namespace
