// Helpers for the graphics kernel tests: a private X server, the window on it, pixels read back.
#pragma once

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>

#include "../test_support.h"
#include "gks/gks.h"
#include "gks/gks_int.h"
#include "image/img.h"

namespace gkstest {

// An Xvfb of its own, stopped with the object; display numbers from 300 up are tried until one
// answers (low ones may be held by other servers); -displayfd tells when the server is ready.
struct XServer {
    pid_t pid_ = -1;
    std::string name_;
    explicit XServer(int depth, const char *size = "1280x1024") {
        for (int tries = 0; tries < 6 && name_.empty(); tries++) {
            start(300 + (int)((getpid() * 7 + tries * 131) % 600), std::string(size) + "x" + std::to_string(depth));
            Display *d = name_.empty() ? nullptr : XOpenDisplay(name_.c_str());
            if (d) XCloseDisplay(d);
            else stop(), name_.clear();
        }
    }
    ~XServer() { stop(); }
    bool ok() const { return !name_.empty(); }
    const std::string &name() const { return name_; }
    // The pipe stays open until the number's newline has come, or that write kills the server.
    void start(int num, const std::string &screen) {
        int fds[2];
        if (pipe(fds) != 0) return;
        if ((pid_ = fork()) == 0) {
            int devnull = open("/dev/null", O_WRONLY);
            close(fds[0]), dup2(devnull, 1), dup2(devnull, 2);
            execlp("Xvfb", "Xvfb", std::string(":").append(std::to_string(num)).c_str(), "-displayfd",
                   std::to_string(fds[1]).c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-noreset", (char *)nullptr);
            _exit(127);
        }
        close(fds[1]);
        std::string got;
        for (char c; read(fds[0], &c, 1) == 1 && c != '\n';) got += c;
        close(fds[0]);
        if (!got.empty()) name_ = std::string(":").append(std::to_string(atoi(got.c_str())));
    }
    void stop() { if (pid_ > 0) kill(pid_, SIGTERM), waitpid(pid_, nullptr, 0), pid_ = -1; }
};

// The window's picture (the pixmap primitives draw in) as rows of pixel values, or one pixel.
struct Picture {
    int w = 0, h = 0;
    std::vector<unsigned long> px;
    unsigned long at(int x, int y) const { return px[(size_t)y * w + x]; }
    bool operator==(const Picture &) const = default;
};
inline Picture grab(int x0 = 0, int y0 = 0, int w = 0, int h = 0) {
    Picture p{w, h, {}};
    if (!w) gget_win_size(&p.w, &p.h);
    XImage *im = XGetImage(gget_display(), gget_base_window(), x0, y0, p.w, p.h, AllPlanes, ZPixmap);
    for (int i = 0; i < p.w * p.h; i++) p.px.push_back(XGetPixel(im, i % p.w, i / p.w));
    XDestroyImage(im);
    return p;
}
inline unsigned long picture_pixel(int x, int y) { return grab(x, y, 1, 1).px[0]; }

// The picture as gget_image reads it back, as 0xRRGGBB.
inline std::vector<uint32_t> read_back() {
    IMG img;
    std::vector<uint32_t> px;  // 32-bit pixels only
    IMG_init(&img);
    for (int i = 0, ok = gget_image(&img) && img.bits_pixel == 32; ok && i < img.nx * img.ny; i++) {
        const unsigned char *p = img.data + (size_t)(i / img.nx) * img.bytes_line + 4 * (size_t)(i % img.nx);
        px.push_back(img.byte_order ? (uint32_t)p[1] << 16 | p[2] << 8 | p[3] : (uint32_t)p[2] << 16 | p[1] << 8 | p[0]);
    }
    IMG_free(&img);
    return px;
}

// Bounding box of the pixels equal to value (x1, y1, x2, y2), count in n.
struct Box { int x1 = 1 << 30, y1 = 1 << 30, x2 = -1, y2 = -1; long n = 0; };
inline Box box_of(const Picture &p, unsigned long value) {
    Box b;
    for (int i = 0, x = 0, y = 0; i < p.w * p.h; i++, x = i % p.w, y = i / p.w)
        if (p.px[i] == value) b.n++, b.x1 = std::min(b.x1, x), b.y1 = std::min(b.y1, y), b.x2 = std::max(b.x2, x), b.y2 = std::max(b.y2, y);
    return b;
}

// Alt+m's metafile (METAOUT, path here) without its date line; the print's messages to err.
inline std::string print_meta(const std::string &path, std::string *err) {
    *err = testutil::stderr_of(gobj_print_meta);
    std::istringstream in(testutil::read_file(path));
    std::string out;
    for (std::string line; std::getline(in, line);)
        if (line.rfind("#CreationDate", 0) != 0) out += line + "\n";
    return out;
}

// Opens the kernel (errors to errfile) and a 640 x 512 window on display.
inline bool open_window(const std::string &display, const std::string &errfile, int w = 640, int h = 512) {
    if (gopen_gks(errfile.c_str(), 0) != 0) return false;
    return gset_xsize(w, h), gset_geometry(""), gopen_ws(1, display.c_str(), GWS_WIN) == 0;
}

// Colour 1 white, 2 red, 3 green, 4 blue: the drawing colours of the tests.
inline void basic_colours() {
    const float c[5][3] = {{0, 0, 0}, {1, 1, 1}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int i = 0; i < 5; i++) gset_colr_rep(1, i, c[i]);
}

// Transform n as the unit square over the fitted square.
inline void world_unit(int n) { float u[4] = {0, 1, 0, 1}; gset_win(n, u), gset_vp(n, u), gsel_norm_tran(n); }

// The kernel's messages so far in file (closing it flushes them), reopened.
inline std::string messages(const std::string &file) {
    std::string m = (gclose_gks(), testutil::read_file(file));
    return gopen_gks(nullptr, 0), m;
}

// A window on $DISPLAY with the basic colours for each test; setup() runs after it opens.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char *d = getenv("DISPLAY");
        if (!d) GTEST_SKIP() << "needs an X display";
        ASSERT_TRUE(open_window(d, err_));
        basic_colours();  // loop settings live for the process: back to the defaults
        testutil::stdout_of([] { gset_looping(0), ginc_loop_delay(0.5f - gget_loop_delay()); });
        gset_loop_direct(1), setup();
    }
    virtual void setup() {}
    void TearDown() override { gclose_ws(1), gclose_gks(); }
    testutil::ScratchDir scratch_;
    std::string err_;  // the kernel's message file ("" for stderr), set before SetUp
};

}  // namespace gkstest
