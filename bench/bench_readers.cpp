// Speed of the AWIPS, TIFF and LRIT readers against their yardsticks in the
// same run: bare zlib over the streams of a real zlib product (and the read
// kept to the calling thread against the one that inflates the chain's second
// half on another core), a bare libpng decode of a real PNG product, a
// PackBits TIFF read whole, a plain 16-bit LRIT file against reading the same
// file to nowhere, JPEG segments against a bare libjpeg-turbo scanline loop,
// and a whole MSG HRV set (24 segments of 10-bit samples and a prologue, onto
// the 11136 x 11136 grid) against reading its files to nowhere.  Real
// products come from the shared data folder (skipped when absent).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <jpeglib.h>
#include <png.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/flags.h"
#include "image/lrit_jpeg.h"
#include "image/reader_table.h"
#include "image/readers.h"

namespace {

// Reads bytes through the reader table's row of an input code, as the
// program reads a file.
int read_as(int code, const unsigned char *bytes, size_t size, IMG *img)
{
    IMG_READ_OUT out{img, nullptr};
    return IMG_reader_read_memory(IMG_reader_by_code(code), bytes, size, "bench", nullptr, &out);
}

const std::string kData = "/work/shared/data/";

std::vector<unsigned char> load(const std::string &path)
{
    std::vector<unsigned char> b;
    if (FILE *f = fopen(path.c_str(), "rb")) {
        unsigned char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
        fclose(f);
    }
    return b;
}

void quiet() { MESS_set(0, 0); }

// ---- AWIPS zlib chain ----

const std::vector<unsigned char> &east_conus()
{
    static auto b = load(kData + "gini/EAST-CONUS_4km_12.0_20050912_0600.gini");
    return b;
}

void BM_AwipsZlibRead(benchmark::State &st)
{
    quiet();
    auto &b = east_conus();
    if (b.empty()) { st.SkipWithError("no sample"); return; }
    for (auto _ : st) {
        IMG img;
        read_as(IMG_SRC_AWIPZ, b.data(), b.size(), &img);
        benchmark::DoNotOptimize(img.data);
        IMG_free(&img);
    }
    st.SetBytesProcessed(st.iterations() * 1280 * 1280);
}
BENCHMARK(BM_AwipsZlibRead)->Unit(benchmark::kMillisecond);

// The same read on the calling thread alone (ZYR_THREADS=1): the reference
// for the read that inflates the second half of the chain on another core.
void BM_AwipsZlibReadOneThread(benchmark::State &st)
{
    const char *was = std::getenv("ZYR_THREADS");
    const std::string saved = was ? was : "";
    setenv("ZYR_THREADS", "1", 1);
    BM_AwipsZlibRead(st);
    if (was) setenv("ZYR_THREADS", saved.c_str(), 1);
    else unsetenv("ZYR_THREADS");
}
BENCHMARK(BM_AwipsZlibReadOneThread)->Unit(benchmark::kMillisecond);

void BM_AwipsBareZlib(benchmark::State &st)
{
    auto &b = east_conus();
    if (b.empty()) { st.SkipWithError("no sample"); return; }
    std::vector<unsigned char> out(1280 * 1282 + 1000);
    for (auto _ : st) {
        size_t at = 21, made = 0;
        while (at < b.size()) {
            z_stream z{};
            inflateInit(&z);
            z.next_in = const_cast<unsigned char *>(b.data() + at);
            z.avail_in = (uInt)(b.size() - at);
            z.next_out = out.data() + made;
            z.avail_out = (uInt)(out.size() - made);
            int r = inflate(&z, Z_FINISH);
            at += z.total_in;
            made += z.total_out;
            inflateEnd(&z);
            if (r != Z_STREAM_END) break;
        }
        benchmark::DoNotOptimize(made);
    }
    st.SetBytesProcessed(st.iterations() * 1280 * 1280);
}
BENCHMARK(BM_AwipsBareZlib)->Unit(benchmark::kMillisecond);

// ---- AWIPS PNG ----

const std::vector<unsigned char> &n0r()
{
    static auto b = load(kData + "gini/n0r_20041013_1852-compress");
    return b;
}

void BM_AwipsPngRead(benchmark::State &st)
{
    quiet();
    auto &b = n0r();
    if (b.empty()) { st.SkipWithError("no sample"); return; }
    for (auto _ : st) {
        IMG img;
        read_as(IMG_SRC_AWIP, b.data(), b.size(), &img);
        benchmark::DoNotOptimize(img.data);
        IMG_free(&img);
    }
    st.SetBytesProcessed(st.iterations() * 4736 * 3000);
}
BENCHMARK(BM_AwipsPngRead)->Unit(benchmark::kMillisecond);

struct Mem { const unsigned char *p; size_t n, at; };

void BM_AwipsBarePng(benchmark::State &st)
{
    auto &b = n0r();
    if (b.empty()) { st.SkipWithError("no sample"); return; }
    size_t start = 0;
    while (start + 4 < b.size() && memcmp(b.data() + start + 1, "PNG", 3) != 0) start++;
    std::vector<unsigned char> out(4736 * 3001);
    for (auto _ : st) {
        Mem m{b.data() + start, b.size() - start, 0};
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_read_fn(png, &m, [](png_structp p, png_bytep d, size_t len) {
            auto *mm = static_cast<Mem *>(png_get_io_ptr(p));
            memcpy(d, mm->p + mm->at, len);
            mm->at += len;
        });
        png_read_info(png, info);
        png_uint_32 h = png_get_image_height(png, info);
        size_t rb = png_get_rowbytes(png, info);
        for (png_uint_32 r = 0; r < h; r++) png_read_row(png, out.data() + r * rb, nullptr);
        png_read_end(png, nullptr);
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(out.data());
    }
    st.SetBytesProcessed(st.iterations() * 4736 * 3000);
}
BENCHMARK(BM_AwipsBarePng)->Unit(benchmark::kMillisecond);

// ---- PackBits ----

void BM_TiffPackBits(benchmark::State &st)
{
    // A 4096 x 4096 picture in one PackBits strip of satellite-like rows:
    // runs of 3 to 40 equal bytes between literal stretches of 1 to 30 bytes.
    const uint32_t side = 4096;
    std::vector<unsigned char> in;
    unsigned seed = 1;
    for (uint32_t r = 0; r < side; r++) {
        uint32_t made = 0;  // PackBits runs stop at row ends
        while (made < side) {
            seed = seed * 1103515245 + 12345;
            uint32_t lit = std::min<uint32_t>(1 + (seed >> 16) % 30, side - made);
            in.push_back((unsigned char)(lit - 1));
            for (uint32_t i = 0; i < lit; i++) in.push_back((unsigned char)(seed >> (i % 24)));
            made += lit;
            uint32_t run = std::min<uint32_t>(3 + (seed >> 8) % 38, side - made);
            if (run >= 2) {
                in.push_back((unsigned char)(257 - run));
                in.push_back((unsigned char)seed);
                made += run;
            }
        }
    }
    // Little-endian header and one directory of SHORT/LONG entries.
    std::vector<unsigned char> file = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put = [&](uint32_t v, int n) {
        for (int i = 0; i < n; i++) file.push_back((unsigned char)(v >> (8 * i)));
    };
    const uint32_t entries[][3] = {{256, 4, side}, {257, 4, side}, {258, 3, 8}, {259, 3, 32773},
                                   {262, 3, 1},    {273, 4, 0},    {278, 4, side},
                                   {279, 4, (uint32_t)in.size()}};
    const uint32_t n = sizeof entries / sizeof entries[0], data = 8 + 2 + 12 * n + 4;
    put(n, 2);
    for (auto &e : entries) {
        put(e[0], 2);
        put(e[1], 2);
        put(1, 4);
        put(e[0] == 273 ? data : e[2], 4);
    }
    put(0, 4);
    file.insert(file.end(), in.begin(), in.end());
    for (auto _ : st) {
        IMG img;
        int r = read_as(IMG_SRC_TIFF, file.data(), file.size(), &img);
        benchmark::DoNotOptimize(r);
        IMG_free(&img);
    }
    st.SetBytesProcessed(st.iterations() * side * side);
}
BENCHMARK(BM_TiffPackBits)->Unit(benchmark::kMillisecond);

// ---- LRIT plain 16-bit ----

const std::string &lrit16()
{
    static std::string path = [] {
        std::string p = "/tmp/zyr_bench_lrit16.hrit";
        FILE *f = fopen(p.c_str(), "wb");
        const unsigned char head[25] = {0, 0, 16, 0, 0, 0, 0, 25, 0, 0, 0, 0, 0, 0, 0, 0,
                                        1, 0, 9, 16, 2750 >> 8, 2750 & 255, 2750 >> 8, 2750 & 255, 0};
        fwrite(head, 1, 25, f);
        std::vector<unsigned char> row(2750 * 2);
        for (int r = 0; r < 2750; r++) {
            for (int c = 0; c < 2750; c++) {
                unsigned v = (r * 3 + c) % 1024;
                row[2 * c] = (unsigned char)(v >> 8);
                row[2 * c + 1] = (unsigned char)v;
            }
            fwrite(row.data(), 1, row.size(), f);
        }
        fclose(f);
        return p;
    }();
    return path;
}

void BM_Lrit16Read(benchmark::State &st)
{
    quiet();
    const std::string &p = lrit16();
    for (auto _ : st) {
        IMG img;
        SAT_read_LRIT(p.c_str(), &img);
        benchmark::DoNotOptimize(img.data);
        IMG_free(&img);
    }
    st.SetBytesProcessed(st.iterations() * (2750ll * 2750 * 2 + 25));
}
BENCHMARK(BM_Lrit16Read)->Unit(benchmark::kMillisecond);

void BM_Lrit16Cat(benchmark::State &st)
{
    const std::string &p = lrit16();
    std::vector<char> buf(128 * 1024);
    for (auto _ : st) {
        int fd = open(p.c_str(), O_RDONLY);
        ssize_t n;
        while ((n = read(fd, buf.data(), buf.size())) > 0) benchmark::DoNotOptimize(n);
        close(fd);
    }
    st.SetBytesProcessed(st.iterations() * (2750ll * 2750 * 2 + 25));
}
BENCHMARK(BM_Lrit16Cat)->Unit(benchmark::kMillisecond);

// ---- JPEG segments ----

struct JpegSeg { std::vector<unsigned char> jpeg, file; };

// A 2750 x 275 segment of a smooth disc-like field, 8- or 12-bit.
const JpegSeg &segment(int bits)
{
    static JpegSeg seg[2];
    JpegSeg &s = seg[bits == 12];
    if (s.file.empty()) {
        const int w = 2750, h = 275;
        std::vector<uint16_t> v(w * h);
        for (int r = 0; r < h; r++)
            for (int c = 0; c < w; c++) v[r * w + c] = (uint16_t)((c * 7 + r * 3 + (c * r) % 17) % (bits == 12 ? 4096 : 256));
        if (bits == 12) lrit_jpeg_encode12(v.data(), w, h, 90, true, s.jpeg);
        else lrit_jpeg_encode8(v.data(), w, h, 90, false, s.jpeg);
        const unsigned char head[25] = {0, 0, 16, 0, 0, 0, 0, 25, 0, 0, 0, 0, 0, 0, 0, 0,
                                        1, 0, 9, (unsigned char)bits, w >> 8, w & 255, h >> 8, h & 255, 2};
        s.file.assign(head, head + 25);
        s.file.insert(s.file.end(), s.jpeg.begin(), s.jpeg.end());
    }
    return s;
}

void lrit_jpeg_read(benchmark::State &st, int bits)
{
    quiet();
    JpegSeg s = segment(bits);
    for (auto _ : st) {
        IMG img;
        read_as(IMG_SRC_LRIT, s.file.data(), s.file.size(), &img);
        benchmark::DoNotOptimize(img.data);
        IMG_free(&img);
    }
}

void BM_LritJpeg8Read(benchmark::State &st) { lrit_jpeg_read(st, 8); }
BENCHMARK(BM_LritJpeg8Read)->Unit(benchmark::kMillisecond);
void BM_LritJpeg12Read(benchmark::State &st) { lrit_jpeg_read(st, 12); }
BENCHMARK(BM_LritJpeg12Read)->Unit(benchmark::kMillisecond);

// The decode alone through the reader's 12-bit entry (no file handling):
// the yardstick for the 12-bit read, as no bench may include the 12-bit
// library's renamed header next to libjpeg-turbo's.
void BM_Jpeg12DecodeOnly(benchmark::State &st)
{
    quiet();
    const JpegSeg &s = segment(12);
    std::vector<unsigned char> out(2750 * 275);
    for (auto _ : st) {
        lrit_jpeg_decode12(s.jpeg.data(), s.jpeg.size(), 2750, 275, out.data(), "bench");
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_Jpeg12DecodeOnly)->Unit(benchmark::kMillisecond);

void BM_BareLibjpegTurbo(benchmark::State &st)
{
    const JpegSeg &s = segment(8);
    std::vector<unsigned char> row(2750);
    for (auto _ : st) {
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, s.jpeg.data(), s.jpeg.size());
        jpeg_read_header(&cinfo, TRUE);
        jpeg_start_decompress(&cinfo);
        JSAMPROW rows[1] = {row.data()};
        while (cinfo.output_scanline < cinfo.output_height) jpeg_read_scanlines(&cinfo, rows, 1);
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(row.data());
    }
}
BENCHMARK(BM_BareLibjpegTurbo)->Unit(benchmark::kMillisecond);

// ---- MSG HRV set ----

void put_be(std::vector<unsigned char> &b, uint64_t v, int n)
{
    for (int i = n - 1; i >= 0; --i) b.push_back((unsigned char)(v >> (8 * i)));
}

bool write_file(const std::string &path, const std::vector<unsigned char> &b)
{
    FILE *f = fopen(path.c_str(), "wb");
    const bool ok = f && fwrite(b.data(), 1, b.size(), f) == b.size();
    return f && fclose(f) == 0 && ok;
}

// 24 HRV segments (464 x 5568 10-bit samples, planned 1..24, turned
// navigation) and a prologue whose planned HRV coverage puts the lower
// window at grid columns 1413..6980 up to line 8128 and the upper one at
// 1855..7422 (as on 2010-10-11), written once below /tmp; empty when they
// cannot be written.
const std::vector<std::string> &hrv_set()
{
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        std::vector<unsigned char> b;
        for (int seg = 1; seg <= 24; ++seg) {
            b.clear();
            put_be(b, 0, 1), put_be(b, 16, 2), put_be(b, 0, 1), put_be(b, 16 + 9 + 51 + 13, 4), put_be(b, 0, 8);
            put_be(b, 1, 1), put_be(b, 9, 2), put_be(b, 10, 1), put_be(b, 5568, 2), put_be(b, 464, 2), put_be(b, 0, 1);
            put_be(b, 2, 1), put_be(b, 51, 2);
            const char proj[32] = "GEOS(+000.0)";
            b.insert(b.end(), proj, proj + 32);
            put_be(b, (uint32_t)-40927014, 4), put_be(b, (uint32_t)-40927014, 4), put_be(b, 5566, 4);
            put_be(b, (uint32_t)(5566 - (seg - 1) * 464), 4);
            put_be(b, 128, 1), put_be(b, 13, 2), put_be(b, 322, 2), put_be(b, 12, 1), put_be(b, (uint64_t)seg, 2);
            put_be(b, 1, 2), put_be(b, 24, 2), put_be(b, 0, 1);
            for (int i = 0; i < 464 * 5568; i += 4) {  // four 10-bit samples in five bytes
                uint64_t w = 0;
                for (int k = 0; k < 4; ++k) w = w << 10 | (uint64_t)((i + k + seg) % 1023 + 1);
                put_be(b, w, 5);
            }
            out.push_back("/tmp/zyr_bench_hrv_" + std::to_string(seg));
            if (!write_file(out.back(), b)) return std::vector<std::string>{};
        }
        b.clear();
        put_be(b, 0, 1), put_be(b, 16, 2), put_be(b, 128, 1), put_be(b, 16, 4), put_be(b, 0, 8);
        b.resize(16 + 386892 + 55, 0);  // the planned HRV coverage in the image description
        for (int32_t v : {1, 8128, 1413, 6980, 8129, 11136, 1855, 7422}) put_be(b, (uint32_t)v, 4);
        b.resize(16 + 425461, 0);
        out.push_back("/tmp/zyr_bench_hrv_pro");
        if (!write_file(out.back(), b)) return std::vector<std::string>{};
        return out;
    }();
    return names;
}

constexpr long long kHrvBytes = 24ll * (89 + 464 * 5568 * 10 / 8) + 16 + 425461;

void BM_HrvSetRead(benchmark::State &st)
{
    quiet();
    const std::vector<std::string> &set = hrv_set();
    if (set.empty()) { st.SkipWithError("cannot write /tmp"); return; }
    std::vector<const char *> names;
    for (const std::string &n : set) names.push_back(n.c_str());
    for (auto _ : st) {
        IMG img;
        IMG_READ_OUT out{&img, nullptr};
        IMG_reader_read_files(IMG_reader_by_code(IMG_SRC_LRIT), names.data(), (int)names.size(), nullptr, &out);
        benchmark::DoNotOptimize(img.data);
        IMG_free(&img);
    }
    st.SetBytesProcessed(st.iterations() * kHrvBytes);
}
BENCHMARK(BM_HrvSetRead)->Unit(benchmark::kMillisecond);

void BM_HrvSetCat(benchmark::State &st)
{
    const std::vector<std::string> &set = hrv_set();
    if (set.empty()) { st.SkipWithError("cannot write /tmp"); return; }
    std::vector<char> buf(128 * 1024);
    for (auto _ : st) {
        for (const std::string &p : set) {
            int fd = open(p.c_str(), O_RDONLY);
            ssize_t n;
            while ((n = read(fd, buf.data(), buf.size())) > 0) benchmark::DoNotOptimize(n);
            close(fd);
        }
    }
    st.SetBytesProcessed(st.iterations() * kHrvBytes);
}
BENCHMARK(BM_HrvSetCat)->Unit(benchmark::kMillisecond);

}  // namespace
