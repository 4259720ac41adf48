// Transforms, the workstation fit, converters, clipping and the page layout, against hand-worked values.
#include "gks_test_util.h"

namespace {

void fresh(int w, int h) { gset_win_size(w, h), ginit_tran(0); }

TEST(GksTran, PointsThroughTheFitOfTheWindow) {
    // The unit square fits the shorter side (640 x 512: pixels 0..511), y turned over; the page of
    // a wide window spans its device (801 x 401: 1 x 0.5 onto 0..800 x 0..400); far points clamp.
    struct Case { const char *name; int w, h; float win[4]; bool page; float in; float (*f)(float); float want; } cases[] = {
        {"x middle", 640, 512, {0, 1, 0, 1}, false, 0.5f, xW_p, 255.5f}, {"y middle", 640, 512, {0, 1, 0, 1}, false, 0.5f, yW_p, 255.5f},
        {"x right", 640, 512, {0, 1, 0, 1}, false, 1, xW_p, 511}, {"y bottom", 640, 512, {0, 1, 0, 1}, false, 0, yW_p, 511},
        {"y top", 640, 512, {0, 1, 0, 1}, false, 1, yW_p, 0}, {"driver y up", 640, 512, {0, 1, 0, 1}, false, 1, yW_ps, 511},
        {"page left", 801, 401, {0, 1, 0, 0.5f}, true, 0, xW_p, 0}, {"page right", 801, 401, {0, 1, 0, 0.5f}, true, 1, xW_p, 800},
        {"page bottom", 801, 401, {0, 1, 0, 0.5f}, true, 0, yW_p, 400}, {"page top", 801, 401, {0, 1, 0, 0.5f}, true, 0.5f, yW_p, 0},
        {"far right", 640, 512, {0, 10, 0, 10}, false, 1e9f, xW_p, 30000}, {"far left", 640, 512, {0, 10, 0, 10}, false, -1e9f, xW_p, -30000},
        {"far below", 640, 512, {0, 10, 0, 10}, false, -1e9f, yW_p, 30000},
        {"far right, driver", 640, 512, {0, 10, 0, 10}, false, 1e12f, xW_ps, 100000},
        {"far below, driver", 640, 512, {0, 10, 0, 10}, false, -1e12f, yW_ps, -100000},
    };
    for (const auto &c : cases) {
        fresh(c.w, c.h);
        if (c.page) gset_ws_win(1, c.win), gset_vp(1, c.win);
        gset_win(1, c.win), gsel_norm_tran(1);
        EXPECT_FLOAT_EQ(c.f(c.in), c.want) << c.name;
    }
    float w[2], t[2];
    fresh(801, 401), ginq_maxview(1, &w[0], &w[1]), fresh(301, 601), ginq_maxview(1, &t[0], &t[1]);  // wide, tall
    EXPECT_EQ(std::vector<float>({w[0], w[1], t[0], t[1]}), std::vector<float>({1, 0.5f, 0.5f, 1}));
}

TEST(GksTran, ViewportsClipSelectionConvertersAndAspectFit) {
    fresh(640, 512);
    float half[4] = {0.25f, 0.75f, 0.25f, 0.75f};
    GXRect r;
    gsel_norm_tran(1), gset_vp(2, half), gget_xviewport(&r);
    EXPECT_EQ(std::vector<int>({r.x, r.y, r.width, r.height}), std::vector<int>({0, 0, 512, 512}));
    gset_vp(1, half), gget_xviewport(&r);
    // x from round(127.75) = 128 to 383.25: width round(383.25 - 128 + 1) = 256.
    EXPECT_EQ(std::vector<int>({r.x, r.y, r.width, r.height}), std::vector<int>({128, 128, 256, 256}));
    testutil::ScratchDir dir;
    std::string err = dir.file("gks.err");
    ASSERT_EQ(gopen_gks(err.c_str(), 0), 0);
    fresh(640, 512);
    EXPECT_EQ(std::vector<int>({gsel_norm_tran(6), gsel_norm_tran(-1), gsel_norm_tran(5)}), std::vector<int>({-1, -1, 0}));
    int e = 0, n = -1;
    float q[8];
    ginq_cur_norm_tran_num(&e, &n);
    EXPECT_EQ(std::vector<int>({n, ginq_norm_tran(6, &e, q), e}), std::vector<int>({5, -1, -1}));
    EXPECT_EQ((gclose_gks(), testutil::read_file(err)), "gsel_norm_tran: invalid transformation number: 6\n"
                                                        "gsel_norm_tran: invalid transformation number: -1\n");
    fresh(640, 512);
    float w[4] = {-180, 180, -90, 90}, v[4] = {0.1f, 0.9f, 0.2f, 0.6f};
    gset_win(2, w), gset_vp(2, v), gsel_norm_tran(2);
    for (float p : {-180.0f, 0.0f, 12.25f, 179.5f}) EXPECT_NEAR(xp_W(xW_p(p)), p, 1e-3f) << p;
    for (float p : {-90.0f, -33.5f, 89.5f}) EXPECT_NEAR(yp_W(yW_p(p)), p, 1e-3f) << p;
    // Longitude 0 is the viewport's middle (0.5), latitude 90 its top (0.6), NDC 0.1 its left edge.
    EXPECT_NEAR(xW_trans(2, 0, 0), 0.5f, 1e-6f);
    EXPECT_NEAR(yW_trans(2, 0, 90), 0.6f, 1e-6f);
    EXPECT_NEAR(xW_trans(0, 2, 0.1f), -180, 1e-3f);
    fresh(640, 512);
    struct Case { std::vector<float> pts; int in; } cases[] = {
        {{0.2f, 0.2f, 0.3f, 0.3f}, 1}, {{1.0f, 0.5f, 2.0f, 0.5f}, 1} /* touches the right edge */,
        {{1.01f, 0.5f, 2.0f, 0.6f}, 0}, {{-1, -1, 2, 2}, 1} /* spans the window */, {{-1, 2, -0.5f, 3}, 0},
    };
    for (auto &c : cases) EXPECT_EQ(gpts_in_win((int)c.pts.size() / 2, c.pts.data()), c.in) << c.pts[0];
    // A 2 x 1 box in a square: centred (alignment 2) or pushed high (3).
    float in[4] = {0, 2, 0, 1}, out[4], sq[2] = {1, 1};
    int centre[2] = {2, 2}, high[2] = {3, 3};
    gset_aspect(in, out, centre, sq);
    std::vector<float> got(out, out + 4);
    gset_aspect(in, out, high, sq);
    got.insert(got.end(), out, out + 2);
    EXPECT_EQ(got, std::vector<float>({0.5f, 1.5f, 0, 1, 1, 2}));
}

}  // namespace
