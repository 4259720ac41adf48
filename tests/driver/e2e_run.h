// Running the built zyrsat (and other commands) as a process for the
// end-to-end tests: quoting, a shell run in a folder with standard input
// from /dev/null, and tool look-ups.
#pragma once

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace e2e {

inline const std::string kZyrsat = ZYR_BINARY_DIR "/zyrsat";

inline std::string quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Result {
    int status = -1;  // exit status, or -1 when the program died on a signal
    std::string out;  // standard output and error together
};

// Runs a shell command line in dir with standard input from /dev/null.
inline Result shell(const std::string &cmd, const std::string &dir)
{
    std::string line = "cd " + quote(dir) + " && " + cmd + " </dev/null 2>&1";
    Result r;
    FILE *p = popen(line.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// Runs zyrsat with the arguments; env is put in front ("VAR=x" or "-u VAR").
inline Result zyrsat(const std::vector<std::string> &args, const std::string &dir,
                     const std::string &env = "")
{
    std::string cmd = "env ";
    cmd += env;
    cmd += " ";
    cmd += quote(kZyrsat);
    for (const auto &a : args) {
        cmd += " ";
        cmd += quote(a);
    }
    return shell(cmd, dir);
}

inline bool have(const std::string &tool)
{
    return shell("command -v " + tool + " >/dev/null", "/").status == 0;
}

// An RGB picture read from a binary PPM (ghostscript's ppmraw, or any
// picture after `convert x ppm:y`).
struct Raster {
    int w = 0, h = 0;
    std::vector<unsigned char> px;  // rows top first, 3 bytes a pixel
    unsigned rgb(int x, int y) const
    {
        const unsigned char *p = &px[((size_t)y * w + x) * 3];
        return p[0] << 16 | p[1] << 8 | p[2];
    }
};

inline bool read_ppm(const std::string &path, Raster *r)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxv = 0;
    // Header fields, with comment lines between them.
    auto field = [&in](auto &v) {
        while (in >> std::ws && in.peek() == '#') in.ignore(1 << 20, '\n');
        in >> v;
    };
    field(magic), field(r->w), field(r->h), field(maxv);
    in.get();
    if (magic != "P6" || r->w <= 0 || r->h <= 0 || r->w > 20000 || r->h > 20000 || maxv != 255) return false;
    r->px.resize((size_t)r->w * r->h * 3);
    return (bool)in.read((char *)r->px.data(), (std::streamsize)r->px.size());
}

// Bounding box (inclusive) of the pixels for which keep(rgb) holds; x1 < 0
// when there are none.
struct Box {
    int x0 = 0, y0 = 0, x1 = -1, y1 = -1;
    int w() const { return x1 - x0 + 1; }
    int h() const { return y1 - y0 + 1; }
};

template <class Keep>
Box bbox(const Raster &r, Keep keep)
{
    Box b{r.w, r.h, -1, -1};
    for (int y = 0; y < r.h; y++)
        for (int x = 0; x < r.w; x++)
            if (keep(r.rgb(x, y))) {
                b.x0 = std::min(b.x0, x), b.x1 = std::max(b.x1, x);
                b.y0 = std::min(b.y0, y), b.y1 = std::max(b.y1, y);
            }
    return b;
}

}  // namespace e2e
