// Real X input, the one place it is tested: the evhold helper holds a window on a private X
// server, driven with xdotool; its log of callbacks and state is checked line by line.
#include "gks_test_util.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

namespace {

using namespace std::chrono_literals;
using testutil::read_file;
using Clock = std::chrono::steady_clock;

// A helper program of the build's tests/ folder started in dir, its output logged to files there.
struct Helper {
    std::string out_, err_;
    pid_t pid_ = -1;
    int status_ = -2;
    Helper(const std::string &dir, std::vector<std::string> args)
        : out_(dir + "/" + args[0] + ".out"), err_(dir + "/" + args[0] + ".err") {
        args[0] = ZYR_BINARY_DIR "/tests/" + args[0];
        if ((pid_ = fork()) == 0) {
            testutil::Args argv(args);
            if (freopen(out_.c_str(), "w", stdout) && freopen(err_.c_str(), "w", stderr) && chdir(dir.c_str()) == 0)
                execv(argv.argv()[0], argv.argv());
            _exit(127);
        }
    }
    ~Helper() { if (pid_ > 0 && status_ == -2) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0); }
    // The log's lines that start with one of the prefixes (all without).
    std::vector<std::string> lines(const std::vector<std::string> &prefixes = {""}) const {
        std::vector<std::string> out;
        std::istringstream in(read_file(out_));
        for (std::string l; std::getline(in, l);)
            if (std::any_of(prefixes.begin(), prefixes.end(), [&](auto &p) { return l.rfind(p, 0) == 0; }))
                out.push_back(l);
        return out;
    }
    std::string log() const { return read_file(out_); }
    std::string errors() const { return read_file(err_); }
    // The first line starting with prefix, waited for ("" when it never came).
    std::string wait_line(const std::string &prefix, std::chrono::milliseconds limit = 30s) {
        for (auto end = Clock::now() + limit;; std::this_thread::sleep_for(10ms)) {
            auto l = lines({prefix});
            if (!l.empty()) return l[0];
            if (Clock::now() > end || exited()) return "";
        }
    }
    // Exit status once ended (a signal: 128 + its number), -1 when not in time.
    int wait_exit(std::chrono::milliseconds limit = 30s) {
        for (auto end = Clock::now() + limit; !exited() && Clock::now() < end;) std::this_thread::sleep_for(10ms);
        return exited() ? status_ : -1;
    }
    bool exited() {
        int st = 0;
        if (status_ == -2 && waitpid(pid_, &st, WNOHANG) == pid_)
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        return status_ != -2;
    }
};

// One held window per session: its options, the xdotool inputs in turn with the log lines each
// adds (callbacks "kind name x y", the "s" probe's state, the end; by prefix) and a check once
// they have come, the exit status, and what it leaves behind.  Pixel (x, y) is world
// (100 x / 511, 100 (511 - y) / 511).
struct Step { std::vector<std::string> input, log; std::function<void()> then = nullptr; };
struct Session {
    std::string name;
    std::vector<std::string> options;
    std::vector<Step> steps;
    int status = 0;
    std::function<void()> check = nullptr;
};
const std::vector<std::string> kLogged = {"2 ", "3 ", "state ", "end"};

class GksXdotool : public ::testing::Test {
protected:
    void SetUp() override {
        NEED_TOOL("xdotool");
        NEED_TOOL("Xvfb");
        ASSERT_TRUE((server_ = std::make_unique<gkstest::XServer>(24))->ok());
        setenv("DISPLAY", server_->name().c_str(), 1), unsetenv("METAOUT");
    }
    // Starts evhold with the options in a fresh folder and waits for its window.
    Helper &start(std::vector<std::string> options) {
        dir_ = std::make_unique<testutil::ScratchDir>(), options.insert(options.begin(), "evhold");
        wid_ = (helper_ = std::make_unique<Helper>(dir_->path(), options))->wait_line("window ").erase(0, 7);
        EXPECT_NE(wid_, "") << helper_->errors();
        return *helper_;
    }
    // xdotool with the window focused first (XTEST keys go to the focus); "%w" is the window.
    int xdo(std::vector<std::string> args) {
        std::replace(args.begin(), args.end(), std::string("%w"), wid_);
        args.insert(args.begin(), {"xdotool", "windowfocus", "--sync", wid_});
        return testutil::run(args).status;
    }
    void run(const Session &s) {
        SCOPED_TRACE(s.name);
        Helper &h = start(s.options);
        std::vector<std::string> want;
        for (const Step &st : s.steps) {
            ASSERT_EQ(xdo(st.input), 0);
            want.insert(want.end(), st.log.begin(), st.log.end());
            for (auto end = Clock::now() + 10s; h.lines(kLogged).size() < want.size() && Clock::now() < end;)
                if (h.exited()) break; else std::this_thread::sleep_for(10ms);
            if (st.then) st.then();
        }
        ASSERT_EQ(h.wait_exit(), s.status) << h.errors() << h.log();
        std::vector<std::string> got = h.lines(kLogged);
        ASSERT_EQ(got.size(), want.size()) << h.log();
        for (size_t i = 0; i < want.size(); i++) EXPECT_EQ(got[i].rfind(want[i], 0), 0u) << i << ": " << got[i];
        if (s.check) s.check();
    }
    std::unique_ptr<gkstest::XServer> server_;
    std::unique_ptr<testutil::ScratchDir> dir_;
    std::unique_ptr<Helper> helper_;
    std::string wid_;
};

TEST_F(GksXdotool, SessionsOfRealEvents) {
    const std::string s3 = "state frames=3 ", s2 = "state frames=2 ";
    auto dir = [this] { return dir_->path(); };
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
          // Modifiers alone send nothing; Left: the empty name; Alt+x, Alt+m save files, Return ends.
          {{"key", "alt+x", "alt+b", "ctrl+alt+bracketright", "Left", "alt+m", "Return"},
           {"2 b-Alt", "2 ]-Alt-Cntrl", "2  ", "2 Ret", "end"}}}, 0,
         [&] {
             // Alt+m: the display list (evhold's one line) as a metafile; Alt+x: a 640 x 512
             // XWD (width and height are its header's big-endian words 4 and 5).
             const std::string meta = read_file(dir() + "/zyr.meta");
             EXPECT_TRUE(meta.find("\nPL ") != std::string::npos && meta.find("\nPL ") == meta.rfind("\nPL ")) << meta;
             int xwd = 0;
             for (auto &e : std::filesystem::directory_iterator(dir())) {
                 if (e.path().extension() != ".xwd") continue;
                 xwd++;
                 EXPECT_EQ(e.path().filename().string().rfind("evhol-0", 0), 0u) << e.path();
                 EXPECT_EQ(read_file(e.path()).substr(16, 8), std::string("\0\0\2\x80\0\0\2\0", 8));
             }
             EXPECT_EQ(xwd, 1);
         }},
        {"shift drag gives world points, also zoomed; Alt+q ends silently", {},
         {{{"mousemove", "--window", "%w", "0", "511", "keydown", "shift", "mousedown", "1", "mousemove", "--window",
            "%w", "511", "0", "mouseup", "1", "keyup", "shift"},
           {"3 B1-P-Shft 0.00 0.00", "3 B1-R-Shft 100.00 100.00"}},
          // Alt+z at the centre zooms x2 about it: window (0, 0) shows (160, 128), world (31.31, 74.95).
          {{"mousemove", "--window", "%w", "320", "256", "key", "alt+z", "mousemove", "--window", "%w", "0", "0",
            "keydown", "shift", "click", "3", "keyup", "shift", "key", "alt+q"},
           {"3 B3-P-Shft 31.31 74.95", "3 B3-R-Shft 31.31 74.95", "end cur=0 zoom=2"}}}},
        {"size reported only after a real change", {},
         {{{"windowsize", "--sync", "%w", "640", "512", "key", "a"}, {"2 a "}},
          {{"windowsize", "--sync", "%w", "500", "400", "key", "alt+q"}, {"2 size 500.00 400.00", "end"}}}},
        {"without a hold keys are ignored, buttons act", {"-idle"},
         {{{"key", "a", "alt+bracketright", "alt+l", "Return", "alt+q"}, {}},
          {{"mousemove", "--window", "%w", "10", "10", "click", "3"}, {"3 B3-P", "3 B3-R", "end cur=1"}}}},
        {"Alt+g saves every looping frame under the title's base", {"-title", "GOES east", "-loop", "-delay", "0.05"},
         {{{"key", "alt+g", "alt+q"}, {"end"}}}, 0,
         [&] {
             for (const char *f : {"GOES_-00.gif", "GOES_-01.gif", "GOES_-02.gif"})
                 EXPECT_TRUE(std::filesystem::exists(dir() + "/" + f)) << f;
             EXPECT_FALSE(std::filesystem::exists(dir() + "/GOES_-03.gif"));
         }},
        {"the refresh callback runs while the hold waits", {"-refresh", "0.2"},
         {{{"sleep", "1", "key", "a", "alt+q"}, {"2 a ", "end"}}}, 0,
         [&] { EXPECT_GE(helper_->lines({"refresh"}).size(), 3u); }},
        {"a killed window is a fatal error", {}, {{{"windowkill", "%w"}, {}}}, 4,
         [&] { EXPECT_NE(helper_->errors().find("Fatal X11 Error\n"), std::string::npos); }},
    };
    for (const Session &s : sessions) run(s);
}

// The band, drawn in XOR and kept inside (0, 0) to (350, 300) by evhold's limits, is seen by
// another client while button 1 is held (with Alt: no frame action), also over a loop that
// repaints the window every frame; once released the window is as before (but the squares).
TEST_F(GksXdotool, RubberBandAndEmbeddedClient) {
    Display *d = XOpenDisplay(server_->name().c_str());
    ASSERT_NE(d, nullptr);
    std::vector<unsigned long> before;
    // Pixels differing from before on the band's edges (x 150..350, y 150..300) and elsewhere.
    auto look = [&](long &edge, long &other) {
        XImage *im = XGetImage(d, std::stoul(wid_), 0, 0, 640, 512, AllPlanes, ZPixmap);
        edge = other = 0;
        for (int y = 0; y < 512; y++)
            for (int x = 0; x < 640; x++) {
                unsigned long p = XGetPixel(im, x, y);
                bool on = ((x == 150 || x == 350) && y >= 150 && y <= 300) || ((y == 150 || y == 300) && x >= 150 && x <= 350);
                if (before.size() < 640 * 512) before.push_back(p);
                else if ((x >= 64 || y >= 64) && p != before[(size_t)y * 640 + x]) (on ? edge : other)++;
            }
        XDestroyImage(im);
    };
    long edge, other;
    Step snapshot{{"mousemove", "--window", "%w", "150", "150"}, {}, [&] { before.clear(), look(edge, other); }};
    // Over a loop a look may fall between a frame and its band.
    Step drag{{"keydown", "alt", "mousedown", "1", "mousemove", "--window", "%w", "400", "350", "sleep", "1"}, {"3 B1-P"}, [&] {
        long whole = 0, stray = 0;
        for (int i = 0; i < 5; i++, std::this_thread::sleep_for(100ms))
            look(edge, other), stray += other, whole += edge == 2 * (201 + 151) - 4;
        EXPECT_EQ(std::vector<bool>({stray == 0, whole >= 3}), std::vector<bool>({true, true})) << stray << " " << whole;
    }};
    Step release{{"mouseup", "1", "keyup", "alt", "sleep", "1"}, {"3 B1-R"},
                 [&] { look(edge, other); EXPECT_EQ(edge + other, 0); }};
    Step end{{"key", "Return"}, {"2 Ret", "end"}};
    run({"still", {"-frames", "0", "-band", "2"}, {snapshot, drag, release, end}});
    run({"looping", {"-frames", "3", "-loop", "-delay", "0.2", "-band", "2"}, {snapshot, drag, release, end}});
    XCloseDisplay(d);
    // A second process draws into the owner's last frame as an embedded workstation named by a
    // window-id file ("W3" is zyrloop.3): opening in pixel mode 2 appends a frame ("+" after the
    // title meanwhile), closing in mode 9 ends the owner's hold.  The client reads the title back
    // (cut before " ["), records nothing, and its red square is in the new frame.
    Helper &owner = start({"-names"});
    dir_->write("zyrloop.3", "+" + wid_ + ":" + owner.wait_line("pixmap ").substr(7) + ":640x512:0\n");
    Helper client(dir_->path(), {"evclient", "W3"});
    EXPECT_EQ(client.wait_exit(), 0) << client.errors();
    EXPECT_EQ(client.lines(), (std::vector<std::string>{"opened evhold 640x512 pix=1 winpix=1", "objects 0", "closed"}));
    ASSERT_EQ(owner.wait_exit(), 0) << owner.errors();
    EXPECT_EQ(owner.lines({"name "}), (std::vector<std::string>{"name evhold [0]", "name evhold +", "name evhold"})) << owner.log();
    EXPECT_NE(owner.wait_line("frames 4"), "") << owner.log();
    // Frame k: pixel at (10, 10) (the frame's own square), at (375, 375) (the client's).
    EXPECT_EQ(owner.wait_line("frame 2 "), "frame 2 ff00 0");  // green
    EXPECT_EQ(owner.wait_line("frame 3 "), "frame 3 0 ff0000");
}

}  // namespace
