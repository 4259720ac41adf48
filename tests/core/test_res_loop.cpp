// The resource exchange with a loop-window process, reached through a "#key"
// entry of the defaults search list, against the stand-in loop window.

#include "../support/loopwin.h"
#include "../test_support.h"
#include "core/mq.h"
#include "core/res.h"
#include "core/util.h"
#include "driver/sat.h"

namespace {

const int KEYED[] = {RES_MESSAGE, RES_PLOT_DOMAIN, RES_DEVICE, RES_TITLE, 0};
const int POSITIONAL[] = {RES_FILENAME, 0};

// In every text "{K}" is the stand-in's key, "{M}" a key with no queue,
// "{C}" a defaults file holding the row's cfg text.  The stand-in receives
// the connection request, the five queries when asked, then `sent`.
struct Case {
    const char *name;
    std::vector<std::string> stub_options, args;
    const char *cfg;
    std::vector<std::pair<const char *, std::string>> env, want;  // want "<absent>" for none
    std::vector<std::string> sent;
    int result = 1;
    std::string err = "";
    bool asked = true;
};

const Case cases[] = {
    {"the loop window's values are taken, the command line still wins",
     {"device=ps", "title=Loop title", "plot_domain=ne"}, {"-df", "#{K}", "-pd", "us", "north.img"}, "", {},
     {{"device", "ps"}, {"title", "Loop title"}, {"plot_domain", "us"}, {"filename", "north.img"}, {"message", "<absent>"}},
     {"set res plot_domain us", "quit"}},
    // The loop window comes after the file: it wins where it has a value
    // and is told the values it lacks, and the command line's options (a
    // bare one too).
    {"local values the loop window lacks are handed to it", {"title=Loop title"}, {"-df={C}:#{K}", "-ti"},
     "zyrsat.device ps\nzyrsat.title \"Local title\"\n", {}, {{"device", "ps"}, {"title", ""}},
     {"set res device ps", "set res title ", "quit"}},
    {"later entries and the environment override the loop window",
     {"title=Loop title", "device=ps", "plot_domain=ne"}, {"south.img"}, "zyrsat.title \"Local title\"\n",
     {{"zyrdefault", "#{K}:{C}"}, {"zyrdevice", "hp"}},
     {{"title", "Local title"}, {"device", "hp"}, {"plot_domain", "ne"}}, {"quit"}},
    {"a missing or refusing loop window is reported and skipped", {"-mode", "refuse"},
     {"-df", "#{M}:#{K}:{C}", "-de", "ps"}, "zyrsat.title \"Local title\"\n", {},
     {{"title", "Local title"}, {"device", "ps"}}, {}, 1,
     "ZYRloop window: {M} not running or no message queue exists\nZYRloop window: {K} unable to connect\n", false},
    {"a loop that is not running", {"-mode", "down", "device=ps"}, {"-df", "#{K}", "-ti", "Mine"}, "", {},
     {{"device", "<absent>"}, {"title", "Mine"}}, {}, 1, "ZYRloop not running!\n"},
    // The set-up stops at the time-out: nothing after it is read or said.
    {"a silent loop window requests the end with status 7", {"-mode", "mute"}, {"-df", "#{K}:{C}"},
     "zyrsat.title \"Later\"\n", {}, {{"title", "<absent>"}}, {}, -1, "Queue not responding!!\n"},
};

} // namespace

TEST(ResLoop, Table)
{
    const int missing = loopwin::unique_key(1);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SAT_reset_all();
        testutil::ScratchDir dir;
        loopwin::Stub stub{loopwin::unique_key()};
        auto subst = [&](std::string s) {
            for (auto [from, to] : {std::pair<std::string, std::string>{"{K}", std::to_string(stub.key())},
                                    {"{M}", std::to_string(missing)}, {"{C}", dir.file("c.cfg")}})
                for (size_t at; (at = s.find(from)) != std::string::npos;) s.replace(at, from.size(), to);
            return s;
        };
        loopwin::remove_queue(missing);
        dir.write("c.cfg", c.cfg);
        for (const char *var : {"zyrdefault", "zyrdevice", "zyrtitle", "zyrzyrsat.title", "zyrzyrsat.device"})
            unsetenv(var);
        for (const auto &[var, value] : c.env) setenv(var, subst(value).c_str(), 1);
        ASSERT_TRUE(stub.start(c.stub_options));
        MQ_set_timeout(c.result < 0 ? 1 : MQ_DEFAULT_TIMEOUT);
        std::vector<std::string> args{"/usr/local/bin/zyrsat"};
        for (const auto &a : c.args) args.push_back(subst(a));
        testutil::Args argv(args);
        testing::internal::CaptureStderr();
        EXPECT_EQ(RES_init(argv.argc(), argv.argv(), KEYED, POSITIONAL), c.result);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), subst(c.err));
        EXPECT_EQ(ZYR_exit_status(), c.result < 0 ? 7 : 0);
        for (const auto &[name, value] : c.want) {
            const char *v = RES_get(name);
            EXPECT_EQ(v ? v : "<absent>", value) << name;
        }
        EXPECT_TRUE(c.sent.empty() || stub.wait_exit()) << "not told to quit";
        std::vector<std::string> sent = {std::string("/").append(std::to_string(getuid()))};
        for (const char *q : {"message", "plot_domain", "device", "title", "filename"})
            if (c.asked) sent.push_back(std::string("3query res ") + q);
        for (const auto &s : c.sent) sent.push_back("3" + s);
        EXPECT_EQ(stub.received(), sent);
        EXPECT_FALSE(loopwin::queue_exists(missing));
    }
}
