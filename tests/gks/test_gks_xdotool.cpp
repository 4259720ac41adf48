// Real X input: the evhold helper holds a window on a private X server and
// is driven with xdotool (XTEST keys and pointer) and with synthetic events
// from a client of our own; its log of callbacks is checked.
#include "../test_support.h"
#include "gks_test_util.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <random>
#include <thread>

namespace {

using namespace std::chrono_literals;

bool have_xdotool() { return system("command -v xdotool >/dev/null 2>&1") == 0; }

// Runs a program to its end; returns its exit status (-1 when it failed).
int run(const std::vector<std::string> &args) {
    std::vector<char *> argv;
    for (auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A helper program (args[0] under tests/ of the build): started in dir, its
// stdout read line by line by a thread of its own (it may write more than a
// pipe holds), stderr kept in a file.
class Helper {
public:
    Helper(const std::string &dir, std::vector<std::string> args) : errfile_(dir + "/" + args[0] + ".err") {
        int fds[2];
        if (pipe(fds) != 0) return;
        args[0] = ZYR_BINARY_DIR "/tests/" + args[0];
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            dup2(fds[1], 1);
            int err = open(errfile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(err, 2);
            if (chdir(dir.c_str()) != 0) _exit(126);
            std::vector<char *> argv;
            for (auto &a : args) argv.push_back(const_cast<char *>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        fd_ = fds[0];
        reader_ = std::thread([this] { read_lines(); });
    }
    ~Helper() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (reader_.joinable()) reader_.join();
        if (fd_ >= 0) close(fd_);
    }

    // Waits for a line starting with prefix; returns it ("" on timeout).
    std::string wait_line(const std::string &prefix, std::chrono::milliseconds limit = 15s) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            {
                std::lock_guard<std::mutex> g(m_);
                for (auto &l : lines_)
                    if (l.rfind(prefix, 0) == 0) return l;
            }
            if (eof_) break;
            std::this_thread::sleep_for(10ms);
        }
        std::lock_guard<std::mutex> g(m_);
        for (auto &l : lines_)
            if (l.rfind(prefix, 0) == 0) return l;
        return "";
    }
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> g(m_);
        return lines_;
    }
    std::string log() {
        std::string s;
        for (auto &l : lines()) s += l + "\n";
        return s;
    }
    // Window id from the helper's "window <id>" line (0 when it never came).
    unsigned long window() {
        std::string l = wait_line("window ", 30s);
        return l.empty() ? 0 : strtoul(l.c_str() + 7, nullptr, 10);
    }
    // Exit status once the helper has ended (-1 when it has not in time).
    int wait_exit(std::chrono::milliseconds limit = 15s) {
        auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }
    std::string errors() const { return gkstest::slurp(errfile_); }

private:
    void read_lines() {
        std::string part;
        char buf[4096];
        ssize_t n;
        while ((n = read(fd_, buf, sizeof buf)) > 0) {
            for (ssize_t i = 0; i < n; i++) {
                if (buf[i] != '\n') {
                    part += buf[i];
                    continue;
                }
                std::lock_guard<std::mutex> g(m_);
                lines_.push_back(part);
                part.clear();
            }
        }
        eof_ = true;
    }
    std::string errfile_;
    pid_t pid_ = -1;
    int fd_ = -1;
    bool exited_ = false;
    std::thread reader_;
    std::mutex m_;
    std::vector<std::string> lines_;
    std::atomic<bool> eof_{false};
};

class GksXdotool : public ::testing::Test {
protected:
    void SetUp() override {
        if (!have_xdotool()) GTEST_SKIP() << "xdotool missing";
        server_ = std::make_unique<gkstest::XServer>(24);
        if (!server_->ok()) GTEST_SKIP() << "no Xvfb";
        setenv("DISPLAY", server_->name().c_str(), 1);
    }
    // Starts the helper and focuses its window.
    Helper &start(std::vector<std::string> options = {}) {
        options.insert(options.begin(), "evhold");
        helper_ = std::make_unique<Helper>(dir_.path(), options);
        wid_ = std::to_string(helper_->window());
        EXPECT_NE(wid_, "0") << helper_->errors();
        return *helper_;
    }
    // xdotool with the window focused first (XTEST keys go to the focus).
    int xdo(const std::vector<std::string> &args) {
        std::vector<std::string> all = {"xdotool", "windowfocus", "--sync", wid_};
        all.insert(all.end(), args.begin(), args.end());
        return run(all);
    }
    testutil::ScratchDir dir_;
    std::unique_ptr<gkstest::XServer> server_;
    std::unique_ptr<Helper> helper_;
    std::string wid_;
};

// The window's pixels as seen by another client (the test itself).
std::vector<unsigned long> window_pixels(Display *d, Window w, int width, int height) {
    std::vector<unsigned long> px;
    XImage *im = XGetImage(d, w, 0, 0, width, height, AllPlanes, ZPixmap);
    if (!im) return px;
    px.resize((size_t)width * height);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) px[(size_t)y * width + x] = XGetPixel(im, x, y);
    XDestroyImage(im);
    return px;
}

// "kind name x y" as logged; x and y parsed.
struct Logged {
    std::string name;
    float x = -1, y = -1;
};
Logged parse(const std::string &line) {
    Logged l;
    char name[64] = "";
    if (sscanf(line.c_str(), "%*d %63s %f %f", name, &l.x, &l.y) == 3) l.name = name;
    return l;
}

TEST_F(GksXdotool, ReturnAndAltQEndTheHold) {
    for (const char *ending : {"Return", "alt+q"}) {
        SCOPED_TRACE(ending);
        Helper &h = start({"-titles"});
        ASSERT_EQ(xdo({"key", "a"}), 0);
        EXPECT_NE(h.wait_line("2 a "), "") << h.log();
        // Alt+] steps to the next frame without a callback: the title shows [1].
        ASSERT_EQ(xdo({"key", "alt+bracketright"}), 0);
        EXPECT_NE(h.wait_line("title evhold [1]"), "") << h.log();
        ASSERT_EQ(xdo({"key", ending}), 0);
        EXPECT_NE(h.wait_line("end"), "") << h.log();
        EXPECT_EQ(h.wait_exit(), 0) << h.errors();
        std::string log = h.log();
        EXPECT_EQ(log.find("bracketright"), std::string::npos);
        EXPECT_EQ(log.find(" ]"), std::string::npos) << log;
        EXPECT_EQ(log.find("2 Ret ") != std::string::npos, std::string(ending) == "Return") << log;
        EXPECT_EQ(log.find(" q"), std::string::npos) << log;
    }
}

TEST_F(GksXdotool, ShiftDragGivesWorldPointsAlsoWhenZoomed) {
    Helper &h = start();
    // World 0..100 spans the 512-pixel square from the bottom-left corner.
    ASSERT_EQ(xdo({"mousemove", "--window", wid_, "0", "511", "keydown", "shift", "mousedown", "1", "mousemove",
                   "--window", wid_, "511", "0", "mouseup", "1", "keyup", "shift"}),
              0);
    Logged p = parse(h.wait_line("3 B1-P-Shft")), r = parse(h.wait_line("3 B1-R-Shft"));
    ASSERT_EQ(p.name, "B1-P-Shft") << h.log();
    ASSERT_EQ(r.name, "B1-R-Shft") << h.log();
    EXPECT_NEAR(p.x, 0, 0.01);
    EXPECT_NEAR(p.y, 0, 0.01);
    EXPECT_NEAR(r.x, 100, 0.01);
    EXPECT_NEAR(r.y, 100, 0.01);
    // Alt+z with the pointer at the centre zooms x2 about it: window pixel
    // (0, 0) then shows picture pixel (160, 128).
    ASSERT_EQ(xdo({"mousemove", "--window", wid_, "320", "256", "key", "alt+z", "mousemove", "--window", wid_, "0",
                   "0", "keydown", "shift", "click", "3", "keyup", "shift", "key", "b"}),
              0);
    ASSERT_NE(h.wait_line("2 b "), "") << h.log();
    Logged z = parse(h.wait_line("3 B3-P-Shft"));
    ASSERT_EQ(z.name, "B3-P-Shft") << h.log();
    EXPECT_NEAR(z.x, 160 * 100.0f / 511, 0.05);
    EXPECT_NEAR(z.y, (511 - 128) * 100.0f / 511, 0.05);
    EXPECT_EQ(h.log().find("z-Alt"), std::string::npos);
    ASSERT_EQ(xdo({"key", "Return"}), 0);
    EXPECT_EQ(h.wait_exit(), 0);
}

TEST_F(GksXdotool, SizeOnlyAfterARealSizeChange) {
    Helper &h = start();
    ASSERT_EQ(run({"xdotool", "windowsize", "--sync", wid_, "640", "512"}), 0);
    ASSERT_EQ(xdo({"key", "a"}), 0);
    ASSERT_NE(h.wait_line("2 a "), "") << h.log();
    EXPECT_EQ(h.wait_line("2 size", 0ms), "") << h.log();
    ASSERT_EQ(run({"xdotool", "windowsize", wid_, "500", "400"}), 0);
    EXPECT_EQ(h.wait_line("2 size"), "2 size 500.00 400.00") << h.log();
    ASSERT_EQ(xdo({"key", "Return"}), 0);
    EXPECT_EQ(h.wait_exit(), 0);
}

TEST_F(GksXdotool, AltGSavesEveryLoopingFrameUnderTheTitlesBase) {
    Helper &h = start({"-title", "GOES east", "-loop", "-delay", "0.05"});
    ASSERT_EQ(xdo({"key", "alt+g"}), 0);
    ASSERT_EQ(xdo({"key", "alt+q"}), 0);
    EXPECT_EQ(h.wait_exit(30s), 0) << h.errors();
    for (const char *f : {"GOES_-00.gif", "GOES_-01.gif", "GOES_-02.gif"})
        EXPECT_TRUE(std::filesystem::exists(dir_.file(f))) << f << "\n" << h.log();
    EXPECT_FALSE(std::filesystem::exists(dir_.file("GOES_-03.gif")));
}

// 10,000 synthetic events of every kind but the ending ones: the helper
// survives, reports no size change, and Alt+q still ends it.
TEST_F(GksXdotool, EventStormIsSurvived) {
    Helper &h = start();
    Display *d = XOpenDisplay(server_->name().c_str());
    ASSERT_NE(d, nullptr);
    Window w = strtoul(wid_.c_str(), nullptr, 10);
    int minkc, maxkc;
    XDisplayKeycodes(d, &minkc, &maxkc);
    std::vector<int> keycodes;
    for (int kc = minkc; kc <= maxkc; kc++) {
        bool ending = false;
        for (int i = 0; i < 4; i++) {
            KeySym ks = XkbKeycodeToKeysym(d, (KeyCode)kc, 0, i);
            ending = ending || ks == XK_Return || ks == XK_KP_Enter || ks == XK_q || ks == XK_Q;
        }
        if (!ending) keycodes.push_back(kc);
    }
    std::mt19937 rng(1234);
    auto any = [&](unsigned n) { return (unsigned)(rng() % n); };
    for (int i = 0; i < 10000; i++) {
        XEvent ev{};
        ev.xany.window = w;
        switch (any(6)) {
        case 0:
            ev.xkey.type = KeyPress;
            ev.xkey.keycode = keycodes[any((unsigned)keycodes.size())];
            ev.xkey.state = any(1u << 16);
            ev.xkey.x = (int)any(700);
            ev.xkey.y = (int)any(600);
            break;
        case 1:
        case 2:
            ev.xbutton.type = any(2) ? ButtonPress : ButtonRelease;
            ev.xbutton.button = 1 + any(9);
            ev.xbutton.state = any(1u << 16);
            ev.xbutton.x = (int)any(2000) - 500;
            ev.xbutton.y = (int)any(2000) - 500;
            break;
        case 3: {
            ev.xclient.type = ClientMessage;
            const int formats[3] = {8, 16, 32};
            ev.xclient.format = formats[any(3)];
            ev.xclient.message_type = any(200);
            for (auto &b : ev.xclient.data.b) b = (char)any(256);
            if (ev.xclient.format == 8 && ev.xclient.data.b[0] == 9) ev.xclient.data.b[0] = 8;
            break;
        }
        case 4:
            ev.xconfigure.type = ConfigureNotify;
            ev.xconfigure.event = ev.xconfigure.window = w;
            ev.xconfigure.width = ev.xconfigure.height = any(2) ? 0 : 65535;
            break;
        default:
            ev.xmotion.type = MotionNotify;
            ev.xmotion.x = (int)any(700);
            ev.xmotion.y = (int)any(600);
            break;
        }
        ev.xany.window = w;
        XSendEvent(d, w, False, 0, &ev);
        if (i % 500 == 0) XSync(d, False);
    }
    XSync(d, False);
    XCloseDisplay(d);
    ASSERT_EQ(xdo({"key", "alt+q"}), 0);
    EXPECT_NE(h.wait_line("end", 120s), "") << h.errors();
    EXPECT_EQ(h.wait_exit(30s), 0) << h.errors();
    EXPECT_EQ(h.wait_line("2 size", 0ms), "");
}

TEST_F(GksXdotool, KilledWindowIsAFatalError) {
    Helper &h = start();
    ASSERT_EQ(run({"xdotool", "windowkill", wid_}), 0);
    EXPECT_EQ(h.wait_exit(), 4);
    EXPECT_NE(h.errors().find("Fatal X11 Error\n"), std::string::npos) << h.errors();
    EXPECT_EQ(h.wait_line("end", 0ms), "");
}

// Each row: an input, then the callback and state lines it adds to the log
// ("kind name" without the position; state lines by prefix, since the
// current frame moves while looping). "s" is the helper's state probe.
TEST_F(GksXdotool, EveryBindingWithRealEvents) {
    unsetenv("METAOUT");
    Helper &h = start({"-frames", "3"});
    struct Row {
        std::vector<std::string> input;
        std::vector<std::string> log;
    };
    const std::string s3 = "state frames=3 ", s2 = "state frames=2 ";
    const std::vector<Row> rows = {
        {{"mousemove", "--window", wid_, "320", "256"}, {}},
        {{"key", "alt+bracketright", "s"}, {"2 s", s3 + "loop=0 delay=0.50 zoom=1 cur=1"}},
        {{"key", "alt+bracketleft", "s"}, {"2 s", s3 + "loop=0 delay=0.50 zoom=1 cur=0"}},
        {{"click", "3", "key", "s"}, {"3 B3-P", "3 B3-R", "2 s", s3 + "loop=0 delay=0.50 zoom=1 cur=1"}},
        {{"click", "1", "key", "s"}, {"3 B1-P", "3 B1-R", "2 s", s3 + "loop=0 delay=0.50 zoom=1 cur=0"}},
        {{"click", "2", "key", "s"}, {"3 B2-P", "3 B2-R", "2 s", s3 + "loop=1 delay=0.50"}},
        // Faster by 0.1 s, by 0.05 s at or below 0.11 s; slower by 0.05 s below 0.09 s.
        {{"key", "alt+bracketright", "s"}, {"2 s", s3 + "loop=1 delay=0.40"}},
        {{"key", "alt+bracketright", "s"}, {"2 s", s3 + "loop=1 delay=0.30"}},
        {{"key", "alt+bracketright", "s"}, {"2 s", s3 + "loop=1 delay=0.20"}},
        {{"key", "alt+bracketright", "alt+bracketright", "s"}, {"2 s", s3 + "loop=1 delay=0.05"}},
        {{"key", "alt+bracketleft", "s"}, {"2 s", s3 + "loop=1 delay=0.10"}},
        {{"click", "1", "key", "s"}, {"3 B1-P", "3 B1-R", "2 s", s3 + "loop=1 delay=0.20"}},
        {{"click", "3", "key", "s"}, {"3 B3-P", "3 B3-R", "2 s", s3 + "loop=1 delay=0.10"}},
        {{"key", "alt+l", "s"}, {"2 s", s3 + "loop=0 delay=0.10"}},
        {{"key", "alt+d", "s"}, {"2 s", s2 + "loop=0 delay=0.10 zoom=1"}},
        // Alt+u reaches the callback only when the picture was not zoomed.
        {{"key", "alt+u", "alt+z", "s"}, {"2 u-Alt", "2 s", s2 + "loop=0 delay=0.10 zoom=2"}},
        {{"key", "alt+u", "s"}, {"2 s", s2 + "loop=0 delay=0.10 zoom=1"}},
        // Modifiers pressed alone send nothing; a key without text (Left)
        // sends the empty name.
        {{"key", "alt+x", "alt+b", "ctrl+alt+bracketright", "Left", "alt+m"}, {"2 b-Alt", "2 ]-Alt-Cntrl", "2 "}},
    };
    std::vector<std::string> want;
    for (auto &r : rows) {
        ASSERT_EQ(xdo(r.input), 0);
        want.insert(want.end(), r.log.begin(), r.log.end());
    }
    ASSERT_EQ(xdo({"key", "Return"}), 0);
    ASSERT_EQ(h.wait_exit(30s), 0) << h.errors() << h.log();
    std::vector<std::string> got;
    for (auto &l : h.lines()) {
        if (l.rfind("state ", 0) == 0) got.push_back(l);
        Logged c = parse(l);
        if (l.size() > 2 && (l[0] == '2' || l[0] == '3') && l[1] == ' ')
            got.push_back(l.substr(0, 2) + (sscanf(l.c_str(), "%*d %f %f", &c.x, &c.y) == 2 ? "" : c.name));
    }
    ASSERT_EQ(got.size(), want.size() + 1) << h.log();  // + "2 Ret"
    for (size_t i = 0; i < want.size(); i++) EXPECT_EQ(got[i].rfind(want[i], 0), 0u) << i << ": " << got[i];
    EXPECT_EQ(got.back(), "2 Ret");
    // Alt+m wrote the display list as a metafile, Alt+x the current frame.
    EXPECT_GT(std::filesystem::file_size(dir_.file("zyr.meta")), 0u) << h.errors();
    int xwd = 0;
    for (auto &e : std::filesystem::directory_iterator(dir_.path()))
        if (e.path().extension() == ".xwd") {
            xwd++;
            EXPECT_EQ(e.path().filename().string().rfind("evhol-0", 0), 0u) << e.path();
            FILE *id = popen(("identify -format %wx%h " + e.path().string() + " 2>&1").c_str(), "r");
            char buf[64] = "";
            EXPECT_NE(fgets(buf, sizeof buf, id), nullptr);
            pclose(id);
            EXPECT_STREQ(buf, "640x512");
        }
    EXPECT_EQ(xwd, 1);
}

TEST_F(GksXdotool, KeysAreIgnoredWithoutAHold) {
    Helper &h = start({"-idle", "-titles"});
    ASSERT_EQ(xdo({"key", "a", "alt+bracketright", "alt+l", "Return", "alt+q"}), 0);
    // Buttons still act: button 3 shows the next frame, its release ends the helper.
    ASSERT_EQ(xdo({"mousemove", "--window", wid_, "10", "10", "click", "3"}), 0);
    ASSERT_EQ(h.wait_exit(), 0) << h.errors();
    // Titles come from a watcher thread, out of order with the callbacks.
    std::vector<std::string> calls, titles;
    for (auto &l : h.lines()) {
        if (l[0] == '2' || l[0] == '3') calls.push_back(parse(l).name);
        if (l.rfind("title ", 0) == 0) titles.push_back(l);
    }
    EXPECT_EQ(calls, (std::vector<std::string>{"B3-P", "B3-R"})) << h.log();
    EXPECT_EQ(titles, (std::vector<std::string>{"title evhold [1]"})) << h.log();
}

// The band drawn in XOR is seen by another client while the button is held,
// and the window is exactly as before once it is released.
TEST_F(GksXdotool, RubberBandShownWhileDraggingAndThePictureRestored) {
    Helper &h = start({"-frames", "0", "-band", "2"});
    Display *d = XOpenDisplay(server_->name().c_str());
    ASSERT_NE(d, nullptr);
    Window w = strtoul(wid_.c_str(), nullptr, 10);
    auto before = window_pixels(d, w, 640, 512);
    ASSERT_EQ(before.size(), 640u * 512u);
    ASSERT_EQ(xdo({"mousemove", "--window", wid_, "150", "150", "mousedown", "1", "mousemove", "--window", wid_, "400",
                   "350"}),
              0);
    // The picture's diagonal line crosses the top and bottom edges.
    auto on_edge = [](int x, int y) {
        return ((x == 150 || x == 400) && y >= 150 && y <= 350) || ((y == 150 || y == 350) && x >= 150 && x <= 400);
    };
    std::vector<unsigned long> mid;
    long changed = 0, stray = 0;
    for (int tries = 0; tries < 200; tries++) {
        mid = window_pixels(d, w, 640, 512);
        changed = stray = 0;
        for (int y = 0; y < 512; y++)
            for (int x = 0; x < 640; x++)
                if (mid[(size_t)y * 640 + x] != before[(size_t)y * 640 + x]) (on_edge(x, y) ? changed : stray)++;
        if (changed >= 2 * (251 + 201) - 4) break;
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(changed, 2 * (251 + 201) - 4);
    EXPECT_EQ(stray, 0);
    ASSERT_EQ(xdo({"mouseup", "1"}), 0);
    ASSERT_NE(h.wait_line("3 B1-R"), "") << h.log();
    bool restored = false;
    for (int tries = 0; tries < 100 && !restored; tries++) {
        restored = window_pixels(d, w, 640, 512) == before;
        if (!restored) std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(restored);
    XCloseDisplay(d);
    ASSERT_EQ(xdo({"key", "Return"}), 0);
    EXPECT_EQ(h.wait_exit(), 0);
}

// Dragged over a running loop, the band is drawn again after every frame
// shown (which paints the window over), and none is left after the release.
TEST_F(GksXdotool, RubberBandStaysOverARunningLoop) {
    Helper &h = start({"-frames", "3", "-loop", "-delay", "0.2", "-band", "2"});
    Display *d = XOpenDisplay(server_->name().c_str());
    ASSERT_NE(d, nullptr);
    Window w = strtoul(wid_.c_str(), nullptr, 10);
    // Lit pixels of the region around the band (the frames are black there):
    // on the band's edges and elsewhere.
    auto lit = [&](long &edge, long &other) {
        auto px = window_pixels(d, w, 640, 512);
        edge = other = 0;
        for (int y = 100; y <= 400; y++)
            for (int x = 100; x <= 450; x++) {
                bool on = ((x == 150 || x == 400) && y >= 150 && y <= 350) ||
                          ((y == 150 || y == 350) && x >= 150 && x <= 400);
                if (px[(size_t)y * 640 + x]) (on ? edge : other)++;
            }
    };
    ASSERT_EQ(xdo({"mousemove", "--window", wid_, "150", "150", "keydown", "alt", "mousedown", "1", "mousemove",
                   "--window", wid_, "400", "350"}),
              0);
    std::this_thread::sleep_for(1500ms);  // a whole loop: every frame shown once
    int whole = 0;
    for (int i = 0; i < 5; i++) {
        long edge, other;
        lit(edge, other);
        EXPECT_EQ(other, 0);
        whole += edge == 2 * (251 + 201) - 4;
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_GE(whole, 3);  // a look may fall between a frame and its band
    ASSERT_EQ(xdo({"mouseup", "1", "keyup", "alt"}), 0);
    ASSERT_NE(h.wait_line("3 B1-R"), "") << h.log();
    std::this_thread::sleep_for(1500ms);
    long edge, other;
    lit(edge, other);
    EXPECT_EQ(edge + other, 0);
    XCloseDisplay(d);
    ASSERT_EQ(xdo({"key", "Return"}), 0);
    EXPECT_EQ(h.wait_exit(), 0);
}

// A second process draws into the owner's last frame as an embedded
// workstation: opening in pixel mode 2 appends a frame ("+" after the title
// meanwhile), closing in pixel mode 9 ends the owner's hold. The old last
// frame keeps its picture; the client's drawing is in the new one.
TEST_F(GksXdotool, EmbeddedClientAppendsAFrameAndEndsTheHold) {
    Helper &owner = start({"-names"});
    std::string pix = owner.wait_line("pixmap ").substr(7);
    Helper client(dir_.path(), {"evclient", wid_, pix, "640x512"});
    EXPECT_EQ(client.wait_exit(30s), 0) << client.errors();
    EXPECT_NE(client.wait_line("closed"), "");
    ASSERT_EQ(owner.wait_exit(), 0) << owner.errors();
    std::vector<std::string> names;
    for (auto &l : owner.lines())
        if (l.rfind("name ", 0) == 0) names.push_back(l.substr(5));
    EXPECT_EQ(names, (std::vector<std::string>{"evhold [0]", "evhold +", "evhold"})) << owner.log();
    EXPECT_NE(owner.wait_line("frames 4"), "") << owner.log();
    // frame k, pixel at (10, 10) (the frame's own square), pixel at (375, 375) (the client's).
    unsigned long sq = 0, cl = 0;
    ASSERT_EQ(sscanf(owner.wait_line("frame 2 ").c_str(), "frame 2 %lx %lx", &sq, &cl), 2);
    EXPECT_NE(sq, 0u);
    EXPECT_EQ(cl, 0u);
    ASSERT_EQ(sscanf(owner.wait_line("frame 3 ").c_str(), "frame 3 %lx %lx", &sq, &cl), 2);
    EXPECT_EQ(sq, 0u);
    EXPECT_EQ(cl, 0xff0000u);
}

// The refresh callback keeps coming while the hold waits, and keys are still
// answered between its calls.
TEST_F(GksXdotool, RefreshRunsWhileTheHoldWaits) {
    Helper &h = start({"-refresh", "0.2"});
    auto refreshes = [&h] {
        auto l = h.lines();
        return std::count(l.begin(), l.end(), std::string("refresh"));
    };
    for (int tries = 0; tries < 1500 && refreshes() < 3; tries++) std::this_thread::sleep_for(10ms);
    EXPECT_GE(refreshes(), 3) << h.log();
    ASSERT_EQ(xdo({"key", "a"}), 0);
    EXPECT_NE(h.wait_line("2 a "), "") << h.log();
    ASSERT_EQ(xdo({"key", "alt+q"}), 0);
    EXPECT_EQ(h.wait_exit(), 0);
}

}  // namespace
