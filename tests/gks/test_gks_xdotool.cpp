// Real X input: the evhold helper holds a window on a private X server and
// is driven with xdotool (XTEST keys and pointer) and with synthetic events
// from a client of our own; its log of callbacks is checked.
#include "../test_helpers.h"
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

// The helper process: started in dir, its stdout read line by line by a
// thread of its own (it may write more than a pipe holds), stderr kept in a file.
class Helper {
public:
    Helper(const std::string &dir, const std::vector<std::string> &options) : errfile_(dir + "/stderr.txt") {
        int fds[2];
        if (pipe(fds) != 0) return;
        std::vector<std::string> args = {ZYR_BINARY_DIR "/tests/evhold"};
        args.insert(args.end(), options.begin(), options.end());
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
    Helper &start(const std::vector<std::string> &options = {}) {
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

}  // namespace
