// Oracles shared by the AWIPS, TIFF and LRIT reader tests: the python3
// reference decoder next to this file, PROJ's cs2cs, and where a
// latitude/longitude falls in an image through its own domain.
#pragma once

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/img.h"
#include "image/reader_table.h"
#include "map/map.h"
#include "../test_support.h"

namespace rdrtest {

inline std::string data_dir(const std::string &sub) { return testutil::shared(sub) + "/"; }

// A test name from a file name: every character but letters and digits as "_".
inline std::string case_name(std::string n)
{
    for (char &ch : n)
        if (!isalnum((unsigned char)ch)) ch = '_';
    return n;
}

// Pixels of a real file as the python3 reference decodes them.
inline std::string reference_pixels(const std::string &kind, const std::string &path)
{
    testutil::ScratchDir dir;
    const std::string out = dir.file("ref.raw"), script = std::string(ZYR_SOURCE_DIR) + "/tests/image/ref_readers.py";
    if (testutil::run({testutil::python(), script, kind, path, out}).status != 0) return {};
    return testutil::read_file(out);
}

// Fractional column and row of (lat, lon) in the image's domain; false when
// the point cannot be projected.  The current map domain is left changed.
inline bool pixel_of(const DOM &dom, double lat, double lon, double &col, double &row)
{
    MAP_domain(&dom);
    float x, y, i, j;
    if (!MAP_tran(&x, &y, (float)lat, (float)lon)) return false;
    MAP_grid_untran(&i, &j, x, y);
    col = i;
    row = j;
    return true;
}

// Runs cs2cs on one "a b" pair and returns its two outputs.
inline bool cs2cs(const std::string &from, const std::string &to, double a, double b, double &oa,
                  double &ob)
{
    char in[100];
    snprintf(in, sizeof in, "%.10f %.10f\n", a, b);
    std::string out = testutil::run({"sh", "-c", "cs2cs -f %.10f " + from + " +to " + to}, "/", "", in).out;
    return sscanf(out.c_str(), "%lf %lf", &oa, &ob) == 2;
}

// An image record freed at the end of the scope, whatever way the test leaves.
struct OwnedImg : IMG {
    OwnedImg() { IMG_init(this); data = nullptr; cmap = nullptr; }
    ~OwnedImg() { IMG_free(this); }
    OwnedImg(const OwnedImg &) = delete;
    OwnedImg &operator=(const OwnedImg &) = delete;
};

inline std::string image_bytes(const IMG &img)
{
    return img.data ? std::string(reinterpret_cast<const char *>(img.data),
                                  (size_t)img.nx * img.ny)
                    : std::string();
}

// Reads bytes as a file of the input code, through its row of the reader
// table as the program reads a file: 0 read, -1 refused (the answers of the
// file readers).
inline int read_as(int code, const unsigned char *bytes, size_t size, IMG *img,
                   const char *name = "built")
{
    IMG_READ_OUT out{img, nullptr};
    return IMG_reader_read_memory(IMG_reader_by_code(code), bytes, size, name, nullptr, &out) ==
                   IMG_READ_OK
               ? 0
               : -1;
}

// The file's bytes, for truncation tests.
inline std::vector<unsigned char> file_bytes(const std::string &path)
{
    std::string s = testutil::read_file(path);
    return std::vector<unsigned char>(s.begin(), s.end());
}

}  // namespace rdrtest
