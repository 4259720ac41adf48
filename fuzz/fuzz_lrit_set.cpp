// Fuzzes the LRIT reader's segment sets from memory: the input is split at
// each "\nLRITSET\n" into at most six files, read together through the
// reader table's row (read_set), asked for the value at three pixels, and
// each file asked what it is to a set.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::scratch();
    static const char mark[] = "\nLRITSET\n";
    const size_t mark_len = sizeof mark - 1;
    std::vector<std::vector<unsigned char>> parts(1);
    for (size_t i = 0; i < size; ++i) {
        if (parts.size() < 6 && i + mark_len <= size && !std::memcmp(data + i, mark, mark_len)) {
            parts.emplace_back();
            i += mark_len - 1;
            continue;
        }
        parts.back().push_back(data[i]);
    }
    static const unsigned char none = 0;
    std::vector<IMG_SOURCE> sources(parts.size());
    std::vector<std::string> names(parts.size());
    for (size_t k = 0; k < parts.size(); ++k) {
        names[k] = "fuzz" + std::to_string(k);
        sources[k].name = names[k].c_str();
        sources[k].bytes = parts[k].empty() ? &none : parts[k].data();
        sources[k].size = parts[k].size();
    }
    const IMG_READER *row = IMG_reader_by_code(IMG_SRC_LRIT);
    IMG img;
    IMG_init(&img);
    IMG_READ_OUT out{&img, nullptr};
    const int n = (int)sources.size();
    row->read_set(sources.data(), n, nullptr, &out);
    const int nx = img.nx, ny = img.ny;
    IMG_free(&img);
    double v;
    char units[32];
    const int pixels[3][2] = {{0, 0}, {nx / 2, ny / 2}, {nx - 1, ny - 1}};
    for (const auto &p : pixels) row->value(sources.data(), n, p[0], p[1], &v, units, sizeof units);
    char key[128];
    for (const IMG_SOURCE &s : sources) row->set_key(&s, key, sizeof key);
    return 0;
}
