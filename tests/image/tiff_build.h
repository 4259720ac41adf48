// A little TIFF writer for the TIFF reader tests: one directory, entries
// given as (tag, type, values), in either byte order; SHORT, LONG, ASCII and
// DOUBLE entries, out-of-line values after the directory, pixels last.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace tiffbuild {

struct Builder {
    bool big = false;
    std::vector<unsigned char> out{};
    struct E { unsigned tag, type; std::vector<uint32_t> v; std::vector<unsigned char> raw; };
    std::vector<E> entries{};

    void put(uint64_t v, int n)
    {
        for (int i = 0; i < n; i++) out.push_back((unsigned char)(v >> (8 * (big ? n - 1 - i : i))));
    }
    void tag(unsigned t, unsigned type, std::vector<uint32_t> v) { entries.push_back({t, type, std::move(v), {}}); }
    void ascii(unsigned t, const std::string &s)
    {
        entries.push_back({t, 2, {}, std::vector<unsigned char>(s.begin(), s.end())});
        entries.back().raw.push_back(0);
    }
    void doubles(unsigned t, const std::vector<double> &v)
    {
        E e{t, 12, {}, {}};
        for (double d : v) {
            uint64_t bits;
            std::memcpy(&bits, &d, 8);
            for (int i = 0; i < 8; i++)
                e.raw.push_back((unsigned char)(bits >> (8 * (big ? 7 - i : i))));
        }
        entries.push_back(std::move(e));
    }
    // Entry index of a tag (to patch a value once sizes are known).
    E &entry(unsigned t)
    {
        for (auto &e : entries)
            if (e.tag == t) return e;
        return entries.front();
    }
    std::vector<unsigned char> build(const std::vector<unsigned char> &pixels)
    {
        out.assign(2, big ? 'M' : 'I');  // byte order mark "MM" or "II"
        put(42, 2);
        put(8, 4);
        size_t n = entries.size();
        size_t extra = 8 + 2 + 12 * n + 4;  // where out-of-line values go
        std::vector<unsigned char> tail;
        put(n, 2);
        for (auto &e : entries) {
            int size = e.type == 3 ? 2 : e.type == 4 ? 4 : 1;
            size_t count = e.type == 2 ? e.raw.size() : e.type == 12 ? e.raw.size() / 8 : e.v.size();
            put(e.tag, 2);
            put(e.type, 2);
            put(count, 4);
            std::vector<unsigned char> vals;
            if (e.type == 2 || e.type == 12) vals = e.raw;
            else for (uint32_t v : e.v) for (int i = 0; i < size; i++)
                vals.push_back((unsigned char)(v >> (8 * (big ? size - 1 - i : i))));
            if (vals.size() <= 4) {
                vals.resize(4, 0);
                out.insert(out.end(), vals.begin(), vals.end());
            } else {
                while ((extra + tail.size()) % 2) tail.push_back(0);  // word boundary
                put(extra + tail.size(), 4);
                tail.insert(tail.end(), vals.begin(), vals.end());
            }
        }
        put(0, 4);
        out.insert(out.end(), tail.begin(), tail.end());
        out.insert(out.end(), pixels.begin(), pixels.end());
        return out;
    }
    // A whole 8-bit grey file: the size tags, one strip of `pixels` and
    // the entries added before (kept in tag order by the caller).
    std::vector<unsigned char> grey(int w, int h, const std::vector<unsigned char> &pixels)
    {
        std::vector<E> extra = std::move(entries);
        entries.clear();
        tag(256, 3, {(uint32_t)w});
        tag(257, 3, {(uint32_t)h});
        tag(258, 3, {8});
        tag(262, 3, {1});
        tag(273, 4, {0});
        tag(278, 3, {(uint32_t)h});
        tag(279, 4, {(uint32_t)pixels.size()});
        entries.insert(entries.end(), extra.begin(), extra.end());
        std::vector<unsigned char> file = build({});
        entry(273).v = {(uint32_t)file.size()};
        return build(pixels);
    }
};

}  // namespace tiffbuild
