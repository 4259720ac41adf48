// Built AWIPS/GINI products: heading forms, PDB fields, the zlib chain and bad
// input (the real files are in the reader table's samples).
#include "core/flags.h"
#include "image/readers.h"
#include "codec_oracle.h"
#include "build.h"

namespace {

using namespace build;

// ---- built products ----

// Every heading form finds the PDB; bad sizes, a short PDB and a corrupt PNG
// are refused.
TEST(GiniBuilt, HeadingFormsAndRefusedInput)
{
    const Bytes pdb = make_pdb(5, 4, 3), heading = bytes("TIGE03 KNES 120600\r\r\n");
    const std::tuple<const char *, Bytes, int> cases[] = {
        {"T line", cat({heading, pdb, ramp(12)}), 0},
        {"** TI line", cat({bytes("** TIGE03 KNES\r\n"), pdb, ramp(12)}), 0},
        {"broadcast start", cat({bytes("\x01\r\r\n123 \r\r\nTIGE03 KNES 120600\r\r\n"), pdb, ramp(12)}), 0},
        {"newlines", cat({bytes("\n\n\n"), pdb, ramp(12)}), 0},
        {"none", cat({pdb, ramp(12)}), 0},
        {"zero width", cat({heading, make_pdb(5, 0, 10), ramp(100)}), -1},
        {"absurd height", cat({heading, make_pdb(5, 10, 60000), ramp(100)}), -1},
        {"short PDB", cat({heading, ramp(300)}), -1},
        {"corrupt PNG", cat({heading, make_pdb(5, 8, 8), bytes("\x89PNG\r\n\x1a\n garbage garbage")}), -1},
    };
    for (auto &[name, file, result] : cases) {
        SCOPED_TRACE(name);
        codec::Rec img;
        ASSERT_EQ(codec::read_as(IMG_SRC_AWIP, file.data(), file.size(), &img), result);
        if (result) {
            EXPECT_EQ(img.data, nullptr);
            continue;
        }
        EXPECT_EQ(img.nx * 1000 + img.ny * 10 + img.date.second, 4045);
        EXPECT_EQ(codec::image_bytes(img), std::string(file.end() - 12, file.end()));
    }
    IMG img;
    EXPECT_EQ(SAT_read_AWIP("/nonexistent/file.gini", &img), -1);
}

TEST(GiniBuilt, SignedLatitudeAndDatelineMercator)
{
    // 0x80 0x00 0x64: latitude -0.01; a Mercator grid from 170 E to 170 W
    // is centred on the dateline.
    Bytes pdb = make_pdb(1, 21, 11);
    pdb[20] = 0x80, pdb[21] = 0x00, pdb[22] = 0x64;
    put_s24(pdb, 24, 170), put_s24(pdb, 28, 10), put_s24(pdb, 31, -170);
    Bytes file = cat({bytes("TIGH02 KNES 191315\r\r\n"), pdb, ramp(21 * 11)});
    codec::Rec img;
    ASSERT_EQ(codec::read_as(IMG_SRC_AWIP, file.data(), file.size(), &img), 0);
    ASSERT_EQ(img.domain.proj, 3);
    EXPECT_NEAR(std::fabs(img.domain.plon), 180, 1e-4);
    double col, row;
    for (auto [lat, lon, c, r] : {std::array<double, 4>{-0.01, 170, 0, 10}, {10, -170, 20, 0}}) {
        ASSERT_TRUE(codec::pixel_of(img.domain, lat, lon, col, row));
        EXPECT_NEAR(col, c, 1e-3);
        EXPECT_NEAR(row, r, 1e-3);
    }
}

// A chain of zlib streams, a few lines each as real products have, and a
// last stream of end-marker pixels that is dropped.
TEST(GiniBuilt, ZlibChainDropsTheMarkerLineAndReadsAsEitherType)
{
    const int nx = 50, ny = 40;
    const Bytes heading = bytes("TIGE03 KNES 120600\r\r\n"), pixels = ramp(nx * ny), first = deflated(cat({heading, make_pdb(7, nx, ny)}));
    Bytes file = cat({heading, first}), marker(nx);
    for (int r = 0; r < ny; r += 9) file = cat({file, deflated(Bytes(pixels.begin() + r * nx, pixels.begin() + std::min(r + 9, ny) * nx))});
    for (int i = 0; i < nx; i++) marker[i] = i % 2 ? 0 : 0xFF;
    file = cat({file, deflated(marker)});
    for (int type : {IMG_SRC_AWIPZ, IMG_SRC_AWIP}) {
        codec::Rec img;
        ASSERT_EQ(codec::read_as(type, file.data(), file.size(), &img), 0);
        EXPECT_EQ(img.domain.proj, -9999) << "unknown projection code 7 gives no domain";
        EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), img.data)) << type;
    }
    // Corrupt data after the PDB stream: refused.
    for (size_t i = heading.size() + first.size() + 4; i < file.size(); i += 3) file[i] ^= 0x5A;
    codec::Rec img;
    EXPECT_EQ(codec::read_as(IMG_SRC_AWIPZ, file.data(), file.size(), &img), -1);
    EXPECT_EQ(img.data, nullptr);
}

}  // namespace
