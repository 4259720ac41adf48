// make_lrit OUT [options]: writes LRIT/HRIT files for tests, benchmarks and
// fuzz seeds.  No real JPEG-compressed image segment is at hand, so this
// writer is what the reader's JPEG path is checked against.
//
//   --size COLSxLINES        image structure (default 64x48)
//   --bits N                 bits per pixel of plain data: 8, 10 or 16 (default 8)
//   --jpeg 8|12              JPEG data at that precision instead of plain data
//   --lossless               lossless JPEG (12-bit only: libjpeg-turbo here has none)
//   --quality Q              lossy JPEG quality (default 90)
//   --nav NAME,CFAC,LFAC,COFF,LOFF   navigation record, e.g. "GEOS(128.2),8170135,-8170135,773,1010"
//   --seg7 SEG,NSEG,FIRSTLINE        7-byte segment record (KMA, JMA)
//   --seg13 SAT,CHAN,SEG,START,END,REPR  13-byte segment record (EUMETSAT)
//   --time DAYS,MS           time stamp: days since 1958-01-01, milliseconds of the day
//   --annotation TEXT
//   --record TYPE,HEXBYTES   any other record
//   --from FILE              pixel values from a plain 8- or 16-bit LRIT file (its data
//                            field, values as stored), else a built-in ramp
// Values are taken modulo the precision's range.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/lrit_jpeg.h"

namespace {

struct Out {
    std::vector<unsigned char> b;
    void u8(unsigned v) { b.push_back((unsigned char)v); }
    void u16(unsigned v) { u8(v >> 8); u8(v & 255); }
    void u32(uint32_t v) { u16(v >> 16); u16(v & 0xFFFF); }
    void record(int type, const std::vector<unsigned char> &body)
    {
        u8(type);
        u16((unsigned)body.size() + 3);
        b.insert(b.end(), body.begin(), body.end());
    }
};

std::vector<long> numbers(const char *text)
{
    std::vector<long> v;
    for (const char *p = text; *p;) {
        char *end;
        v.push_back(std::strtol(p, &end, 0));
        p = *end == ',' ? end + 1 : end + std::strlen(end);
    }
    return v;
}

void be(std::vector<unsigned char> &v, long x, int n)
{
    for (int i = n - 1; i >= 0; i--) v.push_back((unsigned char)(x >> (8 * i)));
}

// Values of a plain 8- or 16-bit LRIT file's data field.
std::vector<uint16_t> values_from(const char *path)
{
    std::vector<uint16_t> v;
    FILE *f = std::fopen(path, "rb");
    if (!f) return v;
    std::vector<unsigned char> b;
    unsigned char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) b.insert(b.end(), buf, buf + n);
    std::fclose(f);
    size_t pos = 0, total = 0;
    int bits = 8;
    while (pos + 3 <= b.size()) {
        unsigned len = b[pos + 1] << 8 | b[pos + 2];
        if (len < 3) break;
        if (b[pos] == 0 && pos + 8 <= b.size()) total = (size_t)b[pos + 4] << 24 | b[pos + 5] << 16 | b[pos + 6] << 8 | b[pos + 7];
        if (b[pos] == 1 && pos + 4 <= b.size()) bits = b[pos + 3];
        pos += len;
        if (total && pos >= total) break;
    }
    for (size_t i = total; i + (bits == 16) < b.size(); i += bits == 16 ? 2 : 1)
        v.push_back(bits == 16 ? (uint16_t)(b[i] << 8 | b[i + 1]) : b[i]);
    return v;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_lrit OUT [options] (see the source's head)\n");
        return 2;
    }
    int cols = 64, lines = 48, bits = 8, jpeg = 0, quality = 90;
    bool lossless = false;
    std::vector<std::pair<int, std::vector<unsigned char>>> records;
    const char *from = nullptr;
    for (int i = 2; i < argc; i++) {
        std::string a = argv[i];
        const char *v = i + 1 < argc ? argv[i + 1] : "";
        if (a == "--lossless") { lossless = true; continue; }
        i++;
        if (a == "--size") std::sscanf(v, "%dx%d", &cols, &lines);
        else if (a == "--bits") bits = std::atoi(v);
        else if (a == "--jpeg") jpeg = std::atoi(v);
        else if (a == "--quality") quality = std::atoi(v);
        else if (a == "--from") from = v;
        else if (a == "--annotation") records.push_back({4, std::vector<unsigned char>(v, v + std::strlen(v))});
        else if (a == "--nav") {
            std::string s = v;
            size_t comma = s.find("),");
            std::vector<unsigned char> body(32, ' ');
            std::string name = s.substr(0, comma == std::string::npos ? s.size() : comma + 1);
            std::memcpy(body.data(), name.data(), std::min<size_t>(name.size(), 32));
            auto n = numbers(comma == std::string::npos ? "" : s.c_str() + comma + 2);
            n.resize(4, 0);
            for (long x : n) be(body, x, 4);
            records.push_back({2, body});
        } else if (a == "--seg7" || a == "--seg13") {
            auto n = numbers(v);
            std::vector<unsigned char> body;
            if (a == "--seg7") {
                n.resize(3, 0);
                be(body, n[0], 1); be(body, n[1], 1); be(body, n[2], 2);
            } else {
                n.resize(6, 0);
                be(body, n[0], 2); be(body, n[1], 1); be(body, n[2], 2);
                be(body, n[3], 2); be(body, n[4], 2); be(body, n[5], 1);
            }
            records.push_back({128, body});
        } else if (a == "--time") {
            auto n = numbers(v);
            n.resize(2, 0);
            std::vector<unsigned char> body{0x40};
            be(body, n[0], 2);
            be(body, n[1], 4);
            records.push_back({5, body});
        } else if (a == "--record") {
            auto n = numbers(v);
            const char *hex = std::strchr(v, ',');
            std::vector<unsigned char> body;
            for (const char *p = hex ? hex + 1 : ""; p[0] && p[1]; p += 2) {
                char byte[3] = {p[0], p[1], 0};
                body.push_back((unsigned char)std::strtol(byte, nullptr, 16));
            }
            records.push_back({(int)(n.empty() ? 3 : n[0]), body});
        } else {
            std::fprintf(stderr, "make_lrit: unknown option %s\n", a.c_str());
            return 2;
        }
    }

    size_t count = (size_t)cols * lines;
    std::vector<uint16_t> values = from ? values_from(from) : std::vector<uint16_t>();
    values.resize(count, 0);
    if (!from)
        for (size_t i = 0; i < count; i++) values[i] = (uint16_t)((i % cols) * 13 + (i / cols) * 7);

    std::vector<unsigned char> data;
    if (jpeg) {
        int r = jpeg == 12 ? lrit_jpeg_encode12(values.data(), cols, lines, quality, lossless, data)
                           : lrit_jpeg_encode8(values.data(), cols, lines, quality, lossless, data);
        if (r != 0) {
            std::fprintf(stderr, "make_lrit: JPEG %d-bit%s encoding not available\n", jpeg,
                         lossless ? " lossless" : "");
            return 1;
        }
    } else {
        uint64_t acc = 0;
        int have = 0;
        for (uint16_t x : values) {
            acc = acc << bits | (x & ((1u << bits) - 1));
            have += bits;
            while (have >= 8) {
                have -= 8;
                data.push_back((unsigned char)(acc >> have));
            }
        }
        if (have) data.push_back((unsigned char)(acc << (8 - have)));
    }

    Out o;
    o.record(0, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});  // primary, total set below
    std::vector<unsigned char> st{(unsigned char)(jpeg ? jpeg : bits)};
    be(st, cols, 2);
    be(st, lines, 2);
    st.push_back(jpeg ? 2 : 0);
    o.record(1, st);
    for (auto &r : records) o.record(r.first, r.second);
    uint32_t total = (uint32_t)o.b.size();
    o.b[4] = (unsigned char)(total >> 24);
    o.b[5] = (unsigned char)(total >> 16);
    o.b[6] = (unsigned char)(total >> 8);
    o.b[7] = (unsigned char)total;
    o.b.insert(o.b.end(), data.begin(), data.end());
    FILE *f = std::fopen(argv[1], "wb");
    if (!f || std::fwrite(o.b.data(), 1, o.b.size(), f) != o.b.size()) {
        std::fprintf(stderr, "make_lrit: cannot write %s\n", argv[1]);
        return 1;
    }
    std::fclose(f);
    return 0;
}
