// Real X input, the one place it is tested: the evhold helper holds a window
// on a private X server and is driven with xdotool (XTEST keys and pointer);
// its log of callbacks and state is checked line by line.  Covers the key
// names, the mouse buttons, the hold loop's bindings, the zoom by mouse, the
// rubber band, the embedded client and a storm of synthetic events.
#include "../test_support.h"
#include "gks_test_util.h"

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <random>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using testutil::read_file;

// A helper program of the build's tests/ folder started in dir, its output
// logged to files there (it flushes every line).
class Helper {
public:
    Helper(const std::string &dir, std::vector<std::string> args)
        : out_(dir + "/" + args[0] + ".out"), err_(dir + "/" + args[0] + ".err") {
        args[0] = ZYR_BINARY_DIR "/tests/" + args[0];
        pid_ = fork();
        if (pid_ == 0) {
            if (!freopen(out_.c_str(), "w", stdout) || !freopen(err_.c_str(), "w", stderr) || chdir(dir.c_str()))
                _exit(126);
            testutil::Args argv(args);
            execv(argv.argv()[0], argv.argv());
            _exit(127);
        }
    }
    ~Helper() {
        if (pid_ > 0 && status_ == -2) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
    }
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        std::istringstream in(read_file(out_));
        for (std::string l; std::getline(in, l);) out.push_back(l);
        return out;
    }
    std::string log() const { return read_file(out_); }
    std::string errors() const { return read_file(err_); }
    // The first line starting with prefix, waited for ("" when it never came).
    std::string wait_line(const std::string &prefix, std::chrono::milliseconds limit = 30s) {
        for (auto end = std::chrono::steady_clock::now() + limit;; std::this_thread::sleep_for(10ms)) {
            for (const std::string &l : lines())
                if (l.rfind(prefix, 0) == 0) return l;
            if (std::chrono::steady_clock::now() > end || exited()) return "";
        }
    }
    // Exit status once ended (a signal: 128 + its number), -1 when not in time.
    int wait_exit(std::chrono::milliseconds limit = 30s) {
        for (auto end = std::chrono::steady_clock::now() + limit; !exited(); std::this_thread::sleep_for(10ms))
            if (std::chrono::steady_clock::now() > end) return -1;
        return status_;
    }
    std::string window() { return wait_line("window ").erase(0, 7); }

private:
    bool exited() {
        int st = 0;
        if (status_ == -2 && waitpid(pid_, &st, WNOHANG) == pid_)
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return status_ != -2;
    }
    std::string out_, err_;
    pid_t pid_ = -1;
    int status_ = -2;
};

class GksXdotool : public ::testing::Test {
protected:
    void SetUp() override {
        NEED_TOOL("xdotool");
        NEED_TOOL("Xvfb");
        server_ = std::make_unique<gkstest::XServer>(24);
        ASSERT_TRUE(server_->ok());
        setenv("DISPLAY", server_->name().c_str(), 1);
        unsetenv("METAOUT");
    }
    // Starts evhold with the options in a fresh folder and waits for its window.
    Helper &start(std::vector<std::string> options) {
        dir_ = std::make_unique<testutil::ScratchDir>();
        options.insert(options.begin(), "evhold");
        helper_ = std::make_unique<Helper>(dir_->path(), options);
        wid_ = helper_->window();
        EXPECT_NE(wid_, "") << helper_->errors();
        return *helper_;
    }
    // xdotool with the window focused first (XTEST keys go to the focus);
    // "%w" stands for the window.
    int xdo(std::vector<std::string> args) {
        for (auto &a : args)
            if (a == "%w") a = wid_;
        args.insert(args.begin(), {"xdotool", "windowfocus", "--sync", wid_});
        return testutil::run(args).status;
    }
    Display *connect() { return XOpenDisplay(server_->name().c_str()); }
    std::unique_ptr<gkstest::XServer> server_;
    std::unique_ptr<testutil::ScratchDir> dir_;
    std::unique_ptr<Helper> helper_;
    std::string wid_;
};

// The window's pixels as another client (the test) sees them.
std::vector<unsigned long> window_pixels(Display *d, Window w) {
    std::vector<unsigned long> px;
    XImage *im = XGetImage(d, w, 0, 0, 640, 512, AllPlanes, ZPixmap);
    if (!im) return px;
    for (int y = 0; y < 512; y++)
        for (int x = 0; x < 640; x++) px.push_back(XGetPixel(im, x, y));
    XDestroyImage(im);
    return px;
}

size_t count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

// Width and height from an XWD file's header (big-endian words 4 and 5).
std::pair<int, int> xwd_size(const std::string &path) {
    std::string h = read_file(path) + std::string(24, '\0');
    auto word = [&h](size_t k) { return (uint8_t)h[4 * k] << 24 | (uint8_t)h[4 * k + 1] << 16 | (uint8_t)h[4 * k + 2] << 8 | (uint8_t)h[4 * k + 3]; };
    return {word(4), word(5)};
}

// One held window per session: its options, the xdotool inputs in turn
// with the log lines each adds (callbacks "kind name x y" and the state
// lines of the "s" probe, compared by prefix), how the helper ends, and
// what it leaves behind.  evhold's world is 0..100 over the 512-pixel
// square from the bottom left, so pixel (x, y) is (100 x / 511,
// 100 (511 - y) / 511).
struct Step {
    std::vector<std::string> input;
    std::vector<std::string> log;
};
struct Session {
    const char *name;
    std::vector<std::string> options;
    std::vector<Step> steps;
    int status = 0;
    std::function<void(const std::string &dir, const std::string &log, const std::string &err)> check;
};

TEST_F(GksXdotool, SessionsOfRealEvents) {
    const std::string s3 = "state frames=3 ", s2 = "state frames=2 ";
    const std::vector<Session> sessions = {
        {"every binding of the hold", {"-frames", "3"},
         {{{"mousemove", "--window", "%w", "320", "256", "key", "a", "shift+a", "ctrl+a", "ctrl+shift+bracketright"},
           {"2 a 62.62 49.90", "2 A-Shft", "2 a-Cntrl", "2 }-Shft-Cntrl"}},
          {{"key", "alt+bracketright", "s"}, {"2 s", s3 + "loop=0 delay=0.50 zoom=1 cur=1"}},
          {{"key", "alt+bracketleft", "s"}, {"2 s", s3 + "loop=0 delay=0.50 zoom=1 cur=0"}},
          {{"click", "3", "key", "s"}, {"3 B3-P", "3 B3-R", "2 s", s3 + "loop=0 delay=0.50 zoom=1 cur=1"}},
          {{"click", "1", "key", "s"}, {"3 B1-P", "3 B1-R", "2 s", s3 + "loop=0 delay=0.50 zoom=1 cur=0"}},
          {{"click", "2", "key", "s"}, {"3 B2-P", "3 B2-R", "2 s", s3 + "loop=1 delay=0.50"}},
          // Faster by 0.1 s, by 0.05 s at or below 0.11 s; slower by 0.05 s below 0.09 s.
          {{"key", "alt+bracketright", "s"}, {"2 s", s3 + "loop=1 delay=0.40"}},
          {{"key", "alt+bracketright", "alt+bracketright", "s"}, {"2 s", s3 + "loop=1 delay=0.20"}},
          {{"key", "alt+bracketright", "alt+bracketright", "s"}, {"2 s", s3 + "loop=1 delay=0.05"}},
          {{"key", "alt+bracketleft", "s"}, {"2 s", s3 + "loop=1 delay=0.10"}},
          // Buttons 1 and 3 slow down and speed up a running loop.
          {{"click", "1", "key", "s"}, {"3 B1-P", "3 B1-R", "2 s", s3 + "loop=1 delay=0.20"}},
          {{"click", "3", "key", "s"}, {"3 B3-P", "3 B3-R", "2 s", s3 + "loop=1 delay=0.10"}},
          {{"key", "alt+l", "s"}, {"2 s", s3 + "loop=0 delay=0.10"}},
          {{"key", "alt+d", "s"}, {"2 s", s2 + "loop=0 delay=0.10 zoom=1"}},
          // Alt+u reaches the callback only when the picture was not zoomed.
          {{"key", "alt+u", "alt+z", "s"}, {"2 u-Alt", "2 s", s2 + "loop=0 delay=0.10 zoom=2"}},
          {{"key", "alt+u", "s"}, {"2 s", s2 + "loop=0 delay=0.10 zoom=1"}},
          // Modifiers alone send nothing; Left has no text: the empty name;
          // Alt+x and Alt+m save files, Return ends with its callback.
          {{"key", "alt+x", "alt+b", "ctrl+alt+bracketright", "Left", "alt+m", "Return"},
           {"2 b-Alt", "2 ]-Alt-Cntrl", "2  ", "2 Ret", "end"}}}, 0,
         [](const std::string &dir, const std::string &, const std::string &err) {
             // Alt+m: the display list (evhold's one line) as a metafile.
             EXPECT_EQ(count(read_file(dir + "/zyr.meta"), "\nPL "), 1u) << err;
             int xwd = 0;
             for (auto &e : std::filesystem::directory_iterator(dir))
                 if (e.path().extension() == ".xwd") {
                     ++xwd;
                     EXPECT_EQ(e.path().filename().string().rfind("evhol-0", 0), 0u) << e.path();
                     EXPECT_EQ(xwd_size(e.path()), std::make_pair(640, 512));
                 }
             EXPECT_EQ(xwd, 1);
         }},
        {"shift drag gives world points, also zoomed; Alt+q ends silently", {},
         {{{"mousemove", "--window", "%w", "0", "511", "keydown", "shift", "mousedown", "1", "mousemove", "--window",
            "%w", "511", "0", "mouseup", "1", "keyup", "shift"},
           {"3 B1-P-Shft 0.00 0.00", "3 B1-R-Shft 100.00 100.00"}},
          // Alt+z at the centre zooms x2 about it: window pixel (0, 0) shows
          // picture pixel (160, 128), world (31.31, 74.95).
          {{"mousemove", "--window", "%w", "320", "256", "key", "alt+z", "mousemove", "--window", "%w", "0", "0",
            "keydown", "shift", "click", "3", "keyup", "shift", "key", "alt+q"},
           {"3 B3-P-Shft 31.31 74.95", "3 B3-R-Shft 31.31 74.95", "end cur=0 zoom=2"}}}, 0, {}},
        {"size reported only after a real change", {},
         {{{"windowsize", "--sync", "%w", "640", "512", "key", "a"}, {"2 a "}},
          {{"windowsize", "--sync", "%w", "500", "400", "key", "alt+q"}, {"2 size 500.00 400.00", "end"}}}, 0, {}},
        {"without a hold keys are ignored, buttons act", {"-idle"},
         {{{"key", "a", "alt+bracketright", "alt+l", "Return", "alt+q"}, {}},
          {{"mousemove", "--window", "%w", "10", "10", "click", "3"}, {"3 B3-P", "3 B3-R", "end cur=1"}}}, 0, {}},
        {"Alt+g saves every looping frame under the title's base", {"-title", "GOES east", "-loop", "-delay", "0.05"},
         {{{"key", "alt+g", "alt+q"}, {"end"}}}, 0,
         [](const std::string &dir, const std::string &log, const std::string &) {
             for (const char *f : {"GOES_-00.gif", "GOES_-01.gif", "GOES_-02.gif"})
                 EXPECT_TRUE(std::filesystem::exists(dir + "/" + f)) << f << "\n" << log;
             EXPECT_FALSE(std::filesystem::exists(dir + "/GOES_-03.gif"));
         }},
        {"the refresh callback runs while the hold waits", {"-refresh", "0.2"},
         {{{"sleep", "1", "key", "a", "alt+q"}, {"2 a ", "end"}}}, 0,
         [](const std::string &, const std::string &log, const std::string &) {
             EXPECT_GE(count(log, "refresh\n"), 3u) << log;
         }},
        {"a killed window is a fatal error", {},
         {{{"windowkill", "%w"}, {}}}, 4,
         [](const std::string &, const std::string &, const std::string &err) {
             EXPECT_NE(err.find("Fatal X11 Error\n"), std::string::npos) << err;
         }},
    };
    for (const Session &s : sessions) {
        SCOPED_TRACE(s.name);
        Helper &h = start(s.options);
        std::vector<std::string> want;
        for (const Step &st : s.steps) {
            ASSERT_EQ(xdo(st.input), 0);
            want.insert(want.end(), st.log.begin(), st.log.end());
        }
        ASSERT_EQ(h.wait_exit(), s.status) << h.errors() << h.log();
        std::vector<std::string> got;
        for (const std::string &l : h.lines())
            if (l.rfind("2 ", 0) == 0 || l.rfind("3 ", 0) == 0 || l.rfind("state ", 0) == 0 || l.rfind("end", 0) == 0)
                got.push_back(l);
        ASSERT_EQ(got.size(), want.size()) << h.log();
        for (size_t i = 0; i < want.size(); i++) EXPECT_EQ(got[i].rfind(want[i], 0), 0u) << i << ": " << got[i];
        if (s.check) s.check(dir_->path(), h.log(), h.errors());
    }
}

// The band, drawn in XOR and kept inside (0, 0) to (350, 300) by evhold's
// limits, is seen by another client while button 1 is held (with Alt: no
// frame action), also over a running loop that paints the window over after
// every frame; once released the window is as before (but for the frames'
// squares at the top left).
TEST_F(GksXdotool, RubberBandWhileDraggingAndNoneAfter) {
    const long band = 2 * (201 + 151) - 4; // edges x 150..350, y 150..300
    for (const std::vector<std::string> &options :
         {std::vector<std::string>{"-frames", "0", "-band", "2"}, {"-frames", "3", "-loop", "-delay", "0.2", "-band", "2"}}) {
        SCOPED_TRACE(options[1] + " frames");
        Helper &h = start(options);
        Display *d = connect();
        ASSERT_NE(d, nullptr);
        Window w = std::stoul(wid_);
        auto before = window_pixels(d, w);
        ASSERT_EQ(before.size(), 640u * 512u);
        // Pixels differing from before on the band's edges and elsewhere.
        auto look = [&](long &edge, long &other) {
            auto px = window_pixels(d, w);
            edge = other = 0;
            for (int y = 0; y < 512; y++)
                for (int x = 0; x < 640; x++) {
                    bool on = ((x == 150 || x == 350) && y >= 150 && y <= 300) || ((y == 150 || y == 300) && x >= 150 && x <= 350);
                    if ((x >= 64 || y >= 64) && px[(size_t)y * 640 + x] != before[(size_t)y * 640 + x]) (on ? edge : other)++;
                }
        };
        ASSERT_EQ(xdo({"mousemove", "--window", "%w", "150", "150", "keydown", "alt", "mousedown", "1", "mousemove",
                       "--window", "%w", "400", "350", "sleep", "1"}), 0);
        int whole = 0;
        long edge, other;
        for (int i = 0; i < 5; i++, std::this_thread::sleep_for(100ms)) {
            look(edge, other);
            EXPECT_EQ(other, 0);
            whole += edge == band; // over a loop a look may fall between a frame and its band
        }
        EXPECT_GE(whole, 3);
        ASSERT_EQ(xdo({"mouseup", "1", "keyup", "alt", "sleep", "1"}), 0);
        ASSERT_NE(h.wait_line("3 B1-R"), "") << h.log();
        look(edge, other);
        EXPECT_EQ(edge + other, 0);
        XCloseDisplay(d);
        ASSERT_EQ(xdo({"key", "Return"}), 0);
        EXPECT_EQ(h.wait_exit(), 0);
    }
}

// A second process draws into the owner's last frame as an embedded
// workstation, its parameters read from a window-id file ("W3" is
// zyrloop.3): opening in pixel mode 2 appends a frame ("+" after the title
// meanwhile), closing in pixel mode 9 ends the owner's hold.  The client
// reads the owner's title back (cut before " ["), records nothing, and its
// red square is in the new frame; the old last frame keeps its picture.
TEST_F(GksXdotool, EmbeddedClientAppendsAFrameAndEndsTheHold) {
    Helper &owner = start({"-names"});
    dir_->write("zyrloop.3", "+" + wid_ + ":" + owner.wait_line("pixmap ").substr(7) + ":640x512:0\n");
    Helper client(dir_->path(), {"evclient", "W3"});
    EXPECT_EQ(client.wait_exit(), 0) << client.errors();
    EXPECT_EQ(client.lines(), (std::vector<std::string>{"opened evhold 640x512 pix=1 winpix=1", "objects 0", "closed"}));
    ASSERT_EQ(owner.wait_exit(), 0) << owner.errors();
    std::vector<std::string> names;
    for (auto &l : owner.lines())
        if (l.rfind("name ", 0) == 0) names.push_back(l.substr(5));
    EXPECT_EQ(names, (std::vector<std::string>{"evhold [0]", "evhold +", "evhold"})) << owner.log();
    EXPECT_NE(owner.wait_line("frames 4"), "") << owner.log();
    // Frame k: pixel at (10, 10) (the frame's own square), at (375, 375) (the client's).
    EXPECT_EQ(owner.wait_line("frame 2 "), "frame 2 ff00 0"); // green
    EXPECT_EQ(owner.wait_line("frame 3 "), "frame 3 0 ff0000");
}

// 10,000 synthetic events of every kind but the ending ones (Return, Enter,
// q, the ending client message): the helper survives, reports no size
// change (the fake configures keep the real size), and Alt+q still ends it.
TEST_F(GksXdotool, EventStormIsSurvived) {
    Helper &h = start({});
    Display *d = connect();
    ASSERT_NE(d, nullptr);
    Window w = std::stoul(wid_);
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
    auto any = [&](unsigned n) { return (int)(rng() % n); };
    const int types[6] = {KeyPress, ButtonPress, ButtonRelease, ClientMessage, ConfigureNotify, MotionNotify};
    for (int i = 0; i < 10000; i++) {
        XEvent ev{};
        ev.type = types[any(6)];
        ev.xany.window = w;
        if (ev.type == KeyPress || ev.type == MotionNotify) ev.xkey.x = any(700), ev.xkey.y = any(600); // same place in both
        if (ev.type == KeyPress) ev.xkey.keycode = keycodes[any((unsigned)keycodes.size())], ev.xkey.state = any(1u << 16);
        if (ev.type == ButtonPress || ev.type == ButtonRelease)
            ev.xbutton.button = 1 + any(9), ev.xbutton.state = any(1u << 16), ev.xbutton.x = any(2000) - 500,
            ev.xbutton.y = any(2000) - 500;
        if (ev.type == ClientMessage) {
            ev.xclient.format = 8 << any(3);
            ev.xclient.message_type = any(200);
            for (auto &b : ev.xclient.data.b) b = (char)any(256);
            if (ev.xclient.format == 8 && ev.xclient.data.b[0] == 9) ev.xclient.data.b[0] = 8;
        }
        if (ev.type == ConfigureNotify)
            ev.xconfigure.event = ev.xconfigure.window = w, ev.xconfigure.width = ev.xconfigure.height = any(2) ? 0 : 65535;
        XSendEvent(d, w, False, 0, &ev);
        if (i % 500 == 0) XSync(d, False);
    }
    XSync(d, False);
    XCloseDisplay(d);
    ASSERT_EQ(xdo({"key", "alt+q"}), 0);
    EXPECT_EQ(h.wait_exit(120s), 0) << h.errors();
    EXPECT_NE(h.wait_line("end", 0ms), "");
    EXPECT_EQ(h.wait_line("2 size", 0ms), "");
}

}  // namespace
