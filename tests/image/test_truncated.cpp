// Files that end early: every reader refuses a file whose data stop before
// the image is full, with a message naming the file, instead of drawing a
// picture with a blank band.  Each input form is cut at ten lengths, from an
// eleventh of the file to ten elevenths (past every trailer: a product whose
// pixels are all there but whose end marker is cut still reads); the real
// samples are used where they exist, the other forms are built from a real
// image.
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "area_build.h"
#include "image/area.h"
#include "image/gif.h"
#include "image/lrit_jpeg.h"
#include "image/readers.h"
#include "rdr_oracle.h"

namespace {

using Bytes = std::vector<unsigned char>;

// Reads `n` bytes of a file as the reader of its form does; true on success.
using ReadFn = std::function<bool(const Bytes &b, size_t n, const char *name)>;

// A stream over the first n bytes, for the readers that take a FILE*.
template <typename F>
bool with_stream(const Bytes &b, size_t n, F read)
{
    FILE *in = fmemopen(const_cast<unsigned char *>(b.data()), n, "rb");
    if (!in) return false;
    bool ok = read(in);
    fclose(in);
    return ok;
}

bool read_awip(const Bytes &b, size_t n, const char *name)
{
    rdrtest::OwnedImg img;
    return rdrtest::read_as(IMG_SRC_AWIPZ, b.data(), n, &img, name) == 0;
}

bool read_area(const Bytes &b, size_t n, const char *name)
{
    return with_stream(b, n, [&](FILE *in) {
        AREA_REC rec;
        AREA_rec_init(&rec);
        bool ok = SAT_read_AREA(in, &rec, name) != -1;
        AREA_free(&rec);
        return ok;
    });
}

bool read_lrit(const Bytes &b, size_t n, const char *name)
{
    rdrtest::OwnedImg img;
    return rdrtest::read_as(IMG_SRC_LRIT, b.data(), n, &img, name) == 0;
}

bool read_unisys(const Bytes &b, size_t n, const char *name)
{
    rdrtest::OwnedImg img;
    return rdrtest::read_as(IMG_SRC_UNISYS, b.data(), n, &img, name) == 0;
}

bool read_zyr(const Bytes &b, size_t n, const char *name)
{
    return with_stream(b, n, [&](FILE *in) {
        rdrtest::OwnedImg img;
        return IMG_read_zyr_stream(in, name, &img) == 1;
    });
}

bool read_gif(const Bytes &b, size_t n, const char *name)
{
    rdrtest::OwnedImg img;
    return GIF_read_mem(b.data(), n, &img, 0, name) == 1;
}

Bytes sample(const std::string &sub, const std::string &file)
{
    std::string path = rdrtest::data_dir(sub) + file;
    return std::filesystem::exists(path) ? rdrtest::file_bytes(path) : Bytes{};
}

// The 8-bit pixels of the first COMS LRIT segment, the source of the built
// forms (empty without the samples).
bool coms_image(IMG *img)
{
    std::string path = rdrtest::data_dir("lrit") + "IMG_ENH_01_IR1_20120101_000920_01.lrit";
    IMG_init(img);
    return std::filesystem::exists(path) && SAT_read_LRIT(path.c_str(), img) == 0;
}

// A plain AWIPS product: the zlib sample's heading and PDB, then its pixels
// stored as they are.
Bytes plain_awip()
{
    Bytes z = sample("gini", "zlibgini");
    if (z.empty()) return {};
    rdrtest::OwnedImg img;
    if (rdrtest::read_as(IMG_SRC_AWIPZ, z.data(), z.size(), &img, "zlibgini") != 0) return {};
    std::string heading = "TIGW02 KNES 291330\r\r\n";
    Bytes out(heading.begin(), heading.end());
    // The first zlib stream holds the inner heading and the PDB.
    Bytes first(10000);
    z_stream zs{};
    inflateInit(&zs);
    size_t h = 0;
    while (h < z.size() && z[h] != 0x78) h++;
    zs.next_in = z.data() + h;
    zs.avail_in = (uInt)(z.size() - h);
    zs.next_out = first.data();
    zs.avail_out = (uInt)first.size();
    inflate(&zs, Z_SYNC_FLUSH);
    inflateEnd(&zs);
    size_t pdb = 0;
    while (pdb < 200 && first[pdb] != '\n') pdb++;
    out.insert(out.end(), first.begin() + pdb + 1, first.begin() + pdb + 1 + 512);
    out.insert(out.end(), img.data, img.data + (size_t)img.nx * img.ny);
    return out;
}

// One LRIT segment with the COMS pixels as 8-bit JPEG data.
Bytes jpeg_lrit()
{
    Bytes src = sample("lrit", "IMG_ENH_01_IR1_20120101_000920_01.lrit");
    rdrtest::OwnedImg img;
    if (src.empty() || !coms_image(&img)) return {};
    std::vector<uint16_t> v(img.data, img.data + (size_t)img.nx * img.ny);
    Bytes jpeg;
    if (lrit_jpeg_encode8(v.data(), img.nx, img.ny, 90, false, jpeg) != 0) return {};
    // The sample's header chain with compression flag 2 (JPEG) in the image
    // structure record (type 1, right after the 16-byte primary record).
    size_t total = (size_t)src[4] << 24 | src[5] << 16 | src[6] << 8 | src[7];
    Bytes out(src.begin(), src.begin() + (long)total);
    out[16 + 3 + 5] = 2;
    out.insert(out.end(), jpeg.begin(), jpeg.end());
    return out;
}

Bytes unisys_file()
{
    rdrtest::OwnedImg img;
    if (!coms_image(&img)) return {};
    char head[200];
    snprintf(head, sizeof head, "idCOMS x%d y%d lat0 lon128 end ", img.nx, img.ny);
    Bytes out(img.data, img.data + (size_t)img.nx * img.ny);
    std::copy(head, head + strlen(head), out.begin());
    return out;
}

Bytes written(const std::function<bool(IMG *, const std::string &)> &write)
{
    rdrtest::OwnedImg img;
    if (!coms_image(&img)) return {};
    testutil::ScratchDir dir;
    std::string path = dir.file("out");
    if (!write(&img, path)) return {};
    return rdrtest::file_bytes(path);
}

// A sync-framed AREA stream of 40 x 30 pixels, each line a literal, a run
// and steps; the 30th line ends it.
Bytes framed_area()
{
    Bytes b = areatest::framed_head(areatest::Dir(40, 30));
    for (uint32_t y = 1; y <= 30; y++) {
        std::vector<int> nibs = {0, (int)(y >> 4), (int)(y & 15)};
        for (int k = 0; k < 13; k++) nibs.insert(nibs.end(), {15, 12, 14});
        areatest::framed_line(b, y, nibs);
    }
    return b;
}

struct Form {
    const char *label;
    std::function<Bytes()> make;
    ReadFn read;
};

const Form kForms[] = {
    {"GiniZlib", [] { return sample("gini", "EAST-CONUS_4km_12.0_20050912_0600.gini"); }, read_awip},
    {"GiniZlibChain", [] { return sample("gini", "zlibgini"); }, read_awip},
    {"GiniPng", [] { return sample("gini", "pnggini"); }, read_awip},
    {"GiniPlain", plain_awip, read_awip},
    {"AreaPlain", [] { return sample("area", "cmx3g8_wv_1998.260_0745_mcidas.ara"); }, read_area},
    {"AreaPlainLittleEndian", [] { return sample("area/derived", "pngarea_plain.area"); }, read_area},
    {"AreaFramed", framed_area, read_area},
    {"Lrit8", [] { return sample("lrit", "IMG_ENH_01_IR1_20120101_000920_01.lrit"); }, read_lrit},
    {"Hrit16", [] { return sample("lrit", "IMG_DK01B05_202009201110_010.hrit"); }, read_lrit},
    {"Lrit10", [] { return sample("hrit", "L-000-MSG2__-GOES11______-10_7_135W-000004___-201002010600-__"); }, read_lrit},
    {"LritJpeg", jpeg_lrit, read_lrit},
    {"Unisys", unisys_file, read_unisys},
    {"Zyrimg", [] { return written([](IMG *i, const std::string &p) { return IMG_write(p.c_str(), i, 0) == 1; }); }, read_zyr},
    {"ZyrimgZ", [] { return written([](IMG *i, const std::string &p) { return IMG_write(p.c_str(), i, 1) == 1; }); }, read_zyr},
    {"Gif", [] { return written([](IMG *i, const std::string &p) { return GIF_write(p.c_str(), i) == 1; }); }, read_gif},
};

void PrintTo(const Form &f, std::ostream *os) { *os << f.label; }

class Truncated : public testing::TestWithParam<Form> {};

TEST_P(Truncated, EveryCutIsRefusedNamingTheFile)
{
    const Form &f = GetParam();
    Bytes b = f.make();
    if (b.empty()) GTEST_SKIP() << "no sample data";
    const std::string name = std::string("cut-") + f.label + ".dat";
    ASSERT_TRUE(f.read(b, b.size(), name.c_str())) << "the whole file must read";
    for (int k = 1; k <= 10; k++) {
        size_t n = b.size() * k / 11;
        testing::internal::CaptureStderr();
        bool ok = f.read(b, n, name.c_str());
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(ok) << "cut at " << n << " of " << b.size();
        EXPECT_NE(err.find(name), std::string::npos) << "cut at " << n << ": " << err;
    }
}

INSTANTIATE_TEST_SUITE_P(Readers, Truncated, testing::ValuesIn(kForms),
                         [](const testing::TestParamInfo<Form> &i) { return std::string(i.param.label); });

}  // namespace
