// Files that end early: every reader refuses a file whose data stop before
// the image is full, with a message naming the file.  Each form is cut at
// ten lengths from an eleventh to ten elevenths of the file (past every
// trailer: a product whose end marker is cut still reads), TIFF files also
// one byte short.  The forms are real samples and fuzz seeds; that no cut
// file crashes a reader is the seed replay's check (tests/fuzz).

#include "image/gif.h"
#include "codec_oracle.h"

namespace {

struct Form {
    const char *label;
    int code;          // the reader table's row; -1 for the GIF reader
    const char *file;  // "seed:" a fuzz seed, else a shared sample
    size_t skip;       // bytes in front of the file (a fuzz target's form byte)
};

const Form kForms[] = {
    {"GiniZlib", IMG_SRC_AWIPZ, "gini/EAST-CONUS_4km_12.0_20050912_0600.gini", 0},
    {"GiniZlibChain", IMG_SRC_AWIPZ, "gini/zlibgini", 0},
    {"GiniPng", IMG_SRC_AWIPZ, "gini/pnggini", 0},
    {"GiniPlain", IMG_SRC_AWIPZ, "seed:fuzz_awip/plain_lambert", 1},
    {"AreaPlain", IMG_SRC_AREA, "area/cmx3g8_wv_1998.260_0745_mcidas.ara", 0},
    {"AreaPlainLittleEndian", IMG_SRC_AREA, "area/derived/pngarea_plain.area", 0},
    {"AreaPlainLittleEndian2Byte", IMG_SRC_AREA, "seed:fuzz_area/plain_little_2byte", 1},
    {"AreaFramed", IMG_SRC_AREA, "seed:fuzz_area/framed", 1},
    {"Lrit8", IMG_SRC_LRIT, "lrit/IMG_ENH_01_IR1_20120101_000920_01.lrit", 0},
    {"Hrit16", IMG_SRC_LRIT, "lrit/IMG_DK01B05_202009201110_010.hrit", 0},
    {"Lrit10", IMG_SRC_LRIT, "hrit/L-000-MSG2__-GOES11______-10_7_135W-000004___-201002010600-__", 0},
    {"Lrit16Built", IMG_SRC_LRIT, "seed:fuzz_lrit/plain16_msb_first", 1},
    {"LritJpeg8", IMG_SRC_LRIT, "seed:fuzz_lrit/jpeg8", 1},
    {"LritJpeg12", IMG_SRC_LRIT, "seed:fuzz_lrit/jpeg12", 1},
    {"Unisys", IMG_SRC_UNISYS, "seed:fuzz_unisys/plain64x48", 0},
    {"Zyrimg", IMG_SRC_ZYR, "seed:fuzz_zyrimg/from_png", 0},
    {"ZyrimgZ", IMG_SRC_ZYR, "seed:fuzz_zyrimg/z", 0},
    {"Gif", -1, "seed:fuzz_gif/inter.gif", 0},
    {"TiffDeflate", IMG_SRC_TIFF, "seed:fuzz_tiff/deflate_merc.tif", 0},
    {"TiffLzw", IMG_SRC_TIFF, "seed:fuzz_tiff/lzw_geog.tif", 0},
    {"TiffLzw16Tiles", IMG_SRC_TIFF, "seed:fuzz_tiff/lzw16_tiled.tif", 0},
    {"TiffPackBitsBigEndian", IMG_SRC_TIFF, "seed:fuzz_tiff/packbits_lcc_big.tif", 0},
    {"TiffJpeg", IMG_SRC_TIFF, "seed:fuzz_tiff/jpeg_polar.tif", 0},
    {"TiffJpegYCbCrTiles", IMG_SRC_TIFF, "seed:fuzz_tiff/jpeg_ycbcr_tiled.tif", 0},
};

void PrintTo(const Form &f, std::ostream *os) { *os << f.label; }

// Reads the first n bytes as the form's reader does; true on success.
bool read(const Form &f, const unsigned char *b, size_t n, const char *name)
{
    codec::Rec img;
    if (f.code < 0) return GIF_read_mem(b, n, &img, 0, name) == 1;
    return codec::read_as(f.code, b, n, &img, name) == 0;
}

class Truncated : public testing::TestWithParam<Form> {};

TEST_P(Truncated, EveryCutIsRefusedNamingTheFile)
{
    const Form &f = GetParam();
    const std::string file = f.file;
    std::string path = std::string(ZYR_SOURCE_DIR) + "/fuzz/seeds/" + file.substr(5);
    if (file.rfind("seed:", 0) != 0) {
        NEED_SHARED(file);
        path = testutil::shared(file);
    }
    const std::string all = testutil::read_file(path);
    ASSERT_GT(all.size(), f.skip) << path;
    const auto *b = reinterpret_cast<const unsigned char *>(all.data()) + f.skip;
    const size_t size = all.size() - f.skip;
    const std::string name = std::string("cut-") + f.label + ".dat";
    ASSERT_TRUE(read(f, b, size, name.c_str())) << "the whole file must read";
    for (int k = 1; k <= (f.code == IMG_SRC_TIFF ? 11 : 10); k++) {
        size_t n = k == 11 ? size - 1 : size * k / 11;
        testing::internal::CaptureStderr();
        bool ok = read(f, b, n, name.c_str());
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(ok) << "cut at " << n << " of " << size;
        EXPECT_NE(err.find(name), std::string::npos) << "cut at " << n << ": " << err;
    }
}

INSTANTIATE_TEST_SUITE_P(Readers, Truncated, testing::ValuesIn(kForms),
                         [](const testing::TestParamInfo<Form> &i) { return std::string(i.param.label); });

}  // namespace
