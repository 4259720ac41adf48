// What the tests share: processes with a time limit, outside tools, scratch
// folders, shared samples, standard input, and PPM/PNG pictures compared.
#pragma once
#include <fcntl.h>
#include <png.h>
#include <stdio_ext.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>
#include <gtest/gtest.h>

namespace testutil {

inline const std::string kZyrsat = ZYR_BINARY_DIR "/zyrsat";

// The text quoted for /bin/sh.
inline std::string quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Result {
    int status = -1;  // exit status; -1 when the process died on a signal or timed out
    std::string out;  // standard output and error together
};

// Runs a shell command line in dir, with standard input from in_file
// (/dev/null when empty) and at most `seconds` seconds before it is killed.
inline Result shell(const std::string &cmd, const std::string &dir = "/", int seconds = 120,
                    const std::string &in_file = "")
{
    std::string line = "cd " + quote(dir) + " && timeout -k 5 " + std::to_string(seconds) +
                       " sh -c " + quote(cmd) + " <" + quote(in_file.empty() ? "/dev/null" : in_file) +
                       " 2>&1";
    Result r;
    FILE *p = popen(line.c_str(), "r");
    if (!p) return r;
    char buf[65536];
    for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) && WEXITSTATUS(st) != 124 && WEXITSTATUS(st) != 137 ? WEXITSTATUS(st) : -1;
    return r;
}

// Runs a program with its arguments (each quoted), env in front ("VAR=x" or
// "-u VAR"), standard input from the given text.
inline Result run(const std::vector<std::string> &args, const std::string &dir = "/",
                  const std::string &env = "", const std::string &input = "", int seconds = 120)
{
    std::string cmd = "env " + env;
    for (const auto &a : args) cmd.append(" ").append(quote(a));
    char name[] = "/tmp/zyrinXXXXXX";
    const int fd = input.empty() ? -1 : mkstemp(name);
    if (fd >= 0) (void)!write(fd, input.data(), input.size()), close(fd);
    Result r = shell(cmd, dir, seconds, fd >= 0 ? name : "");
    if (fd >= 0) unlink(name);
    return r;
}

// The built zyrsat, run in dir.
inline Result zyrsat(const std::vector<std::string> &args, const std::string &dir,
                     const std::string &env = "", const std::string &input = "")
{
    std::vector<std::string> all{kZyrsat};
    all.insert(all.end(), args.begin(), args.end());
    return run(all, dir, env, input);
}

// Whether an outside tool is on the PATH (answers are remembered).
inline bool have(const std::string &tool)
{
    static std::map<std::string, bool> known;
    if (!known.count(tool)) known[tool] = std::system(("command -v " + quote(tool) + " >/dev/null 2>&1").c_str()) == 0;
    return known[tool];
}

// A python3 that carries PIL (Debian's; one earlier on the PATH may not), or "".
inline const std::string &python()
{
    static const std::string py = [] {
        for (const char *c : {"/usr/bin/python3", "python3"})
            if (std::system((std::string(c) + " -c 'import PIL' >/dev/null 2>&1").c_str()) == 0)
                return std::string(c);
        return std::string();
    }();
    return py;
}

// Skips the test, visibly, when a tool is missing.
#define NEED_TOOL(tool) \
    if (!testutil::have(tool)) GTEST_SKIP() << "needs " << (tool)
#define NEED_PIL() \
    if (testutil::python().empty()) GTEST_SKIP() << "needs python3 with PIL"

// cs2cs from one system to another over pairs of numbers; NaN pairs where PROJ refuses.
inline std::vector<std::pair<double, double>> cs2cs(const std::string &from, const std::string &to,
                                                    const std::vector<std::pair<double, double>> &pts)
{
    std::ostringstream in;
    in.precision(15);
    for (auto [a, b] : pts) in << a << ' ' << b << '\n';
    auto r = run({"sh", "-c", "cs2cs -f %.10f " + from + " +to " + to}, "/", "", in.str());
    std::vector<std::pair<double, double>> out;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        double a = NAN, b = NAN;
        if (std::sscanf(line.c_str(), "%lf %lf", &a, &b) != 2) a = b = NAN;
        out.emplace_back(a, b);
    }
    return out;
}

// A fresh folder below the test temp dir, removed at the end of the test.
class ScratchDir {
public:
    ScratchDir() : path_(testing::TempDir() + "zyrXXXXXX") { (void)!mkdtemp(path_.data()); }
    ~ScratchDir() { std::error_code ec; std::filesystem::remove_all(path_, ec); }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }
    std::string write(const std::string &name, const std::string &text) const
    {
        return std::ofstream(file(name), std::ios::binary) << text, file(name);
    }

private:
    std::string path_;
};

inline std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A real sample below the shared data folder (next to the project, never
// copied into it).
inline std::string shared(const std::string &rel) { return std::string(ZYR_SHARED_DATA) + "/" + rel; }

// Skips the test, visibly, when a shared sample is missing.
#define NEED_SHARED(rel) \
    if (!std::filesystem::exists(testutil::shared(rel))) GTEST_SKIP() << "needs shared sample " << (rel)

// An argument vector that stays valid for the life of the object.
class Args {
public:
    Args(std::initializer_list<std::string> args) : Args(std::vector<std::string>(args)) {}
    explicit Args(std::vector<std::string> args) : store_(std::move(args))
    {
        for (auto &s : store_) ptrs_.push_back(s.data());
        ptrs_.push_back(nullptr);
    }
    int argc() const { return (int)ptrs_.size() - 1; }
    char **argv() { return ptrs_.data(); }

private:
    std::vector<std::string> store_;
    std::vector<char *> ptrs_;
};

// Replaces standard input with the given text for the rest of the test.
inline void feed_stdin(const std::string &text)
{
    char name[] = "/tmp/zyrstdinXXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, text.data(), text.size()), (ssize_t)text.size());
    lseek(fd, 0, SEEK_SET);
    dup2(fd, 0);
    close(fd);
    unlink(name);
    __fpurge(stdin);  // drops what stdio holds from an earlier feed
    clearerr(stdin);
}

// What f writes to standard error (or output) while it runs.
template <class F> std::string stderr_of(F f)
{
    return testing::internal::CaptureStderr(), f(), testing::internal::GetCapturedStderr();
}
template <class F> std::string stdout_of(F f)
{
    return testing::internal::CaptureStdout(), f(), testing::internal::GetCapturedStdout();
}

// Skips the test, visibly, without python3 that has PIL and numpy.
#define NEED_NUMPY()                                                                              \
    NEED_PIL();                                                                                   \
    if (testutil::shell(testutil::python() + " -c 'import numpy'").status != 0) GTEST_SKIP() << "needs numpy"

// An RGB picture, rows top first, 3 bytes a pixel.
struct Raster {
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    bool empty() const { return w <= 0 || h <= 0; }
    unsigned rgb(int x, int y) const
    {
        const unsigned char *p = &px[((size_t)y * w + x) * 3];
        return p[0] << 16 | p[1] << 8 | p[2];
    }
    bool dark(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < w && y < h && (rgb(x, y) >> 16) + (rgb(x, y) >> 8 & 255) + (rgb(x, y) & 255) < 300;
    }
};

// A binary PPM (ghostscript's ppmraw, or any picture after `convert x ppm:y`).
inline bool read_ppm(const std::string &path, Raster *r)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxv = 0;
    auto field = [&in](auto &v) {
        while (in >> std::ws && in.peek() == '#') in.ignore(1 << 20, '\n');
        in >> v;
    };
    field(magic), field(r->w), field(r->h), field(maxv);
    in.get();
    const bool ok = magic == "P6" && r->w > 0 && r->h > 0 && r->w <= 20000 && r->h <= 20000 && maxv == 255;
    r->px.assign(ok ? (size_t)r->w * r->h * 3 : 0, 0);
    if (!ok || !in.read((char *)r->px.data(), (std::streamsize)r->px.size())) *r = Raster{};
    return !r->empty();
}

inline bool write_ppm(const std::string &path, const Raster &r)
{
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << r.w << " " << r.h << "\n255\n";
    out.write((const char *)r.px.data(), (std::streamsize)r.px.size());
    return (bool)out;
}

// A PNG through libpng itself (not the program's own reader), as RGB.
inline bool read_png(const std::string &path, Raster *r)
{
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    *r = Raster{};
    if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
    img.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> px(PNG_IMAGE_SIZE(img));
    if (!png_image_finish_read(&img, nullptr, px.data(), 0, nullptr)) return png_image_free(&img), false;
    r->w = (int)img.width, r->h = (int)img.height, r->px = std::move(px);
    return true;
}

// Pixels of two pictures that differ by more than `tolerance` in some
// channel (every pixel when the sizes differ).  With a diff path, a picture
// of the differences (red where they differ, the first picture dimmed
// elsewhere) is written there when there are any, for looking at failures.
inline long differing_pixels(const Raster &a, const Raster &b, int tolerance = 0,
                             const std::string &diff_path = "")
{
    if (a.w != b.w || a.h != b.h) return (long)std::max(a.w * a.h, b.w * b.h);
    long n = 0;
    Raster diff = a;
    for (size_t i = 0; i + 2 < a.px.size(); i += 3) {
        bool off = false;
        for (int c = 0; c < 3; c++) off |= std::abs(a.px[i + c] - b.px[i + c]) > tolerance;
        n += off;
        for (int c = 0; c < 3; c++) diff.px[i + c] = off ? (c == 0 ? 255 : 0) : a.px[i + c] / 4;
    }
    if (n && !diff_path.empty()) write_ppm(diff_path, diff);
    return n;
}

} // namespace testutil
