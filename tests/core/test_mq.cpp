// The loop-window client against the stand-in loop-window process
// (tests/support/loopwin_stub): the queue calls, and the resource exchange
// reached through a "#key" entry of the defaults search list.
#include "../support/loopwin.h"
#include "../test_support.h"
#include "core/mq.h"
#include "core/res.h"
#include "core/util.h"
#include "driver/sat.h"

#include <cstring>

namespace {

using Log = std::vector<std::string>;
const std::string uid = std::string("/").append(std::to_string(getuid()));
int calls_to_handler = 0;

bool our_handler()
{
    struct sigaction sa{};
    sigaction(SIGALRM, nullptr, &sa);
    return sa.sa_handler == &MQ_intrp;
}

bool has_message(int queue, long type)
{
    MQ_MSG msg{};
    if (msgrcv(queue, &msg, MQ_TEXT_SIZE, type, IPC_NOWAIT) < 0) return false;
    msgsnd(queue, &msg, MQ_TEXT_SIZE, IPC_NOWAIT);  // put it back
    return true;
}

class MqClient : public testing::Test {
protected:
    // (Re)starts the stub and opens its queue; connects when asked.
    int start(const std::vector<std::string> &options = {}, bool connect = true)
    {
        stub.stop();
        if (!stub.start(options)) ADD_FAILURE() << "the loop-window stand-in did not start";
        queue = MQ_open(stub.key());
        return connect ? MQ_connect(queue) : queue;
    }
    loopwin::Stub stub{loopwin::unique_key()};
    int queue = -1;
    char out[MQ_TEXT_SIZE + 8];
};

// Only an existing queue opens (key 0 would make a private one), at the key
// plus the offset.  The stub hands out channels 3, 4, ...; a stale
// connection reply and stale replies on the new channel are dropped, other
// channels' kept.  A refused, invalid or removed queue fails at once.
TEST_F(MqClient, OpenConnectAndFailures)
{
    loopwin::remove_queue(stub.key());
    EXPECT_EQ(MQ_open(stub.key()) + MQ_open(0), -2);
    EXPECT_FALSE(loopwin::queue_exists(stub.key())) << "MQ_open must not create the queue";
    int q = start({}, false);
    EXPECT_EQ(q, msgget(stub.key(), 0));
    EXPECT_TRUE(our_handler());
    for (long type : {(long)MQ_TYPE_CONNECT, 3L, 4L, 5L}) {
        MQ_MSG msg{type, "0stale"};
        ASSERT_EQ(msgsnd(queue, &msg, MQ_TEXT_SIZE, IPC_NOWAIT), 0);
    }
    EXPECT_EQ(MQ_connect(queue), 3);
    EXPECT_EQ(MQ_connect(queue), 4);
    EXPECT_FALSE(has_message(queue, MQ_TYPE_CONNECT) || has_message(queue, 3));
    EXPECT_TRUE(has_message(queue, 5));
    EXPECT_EQ(stub.received(), (Log{uid, uid}));
    MQ_set_key_offset(100);
    EXPECT_EQ(MQ_open(stub.key() - 100), q);
    EXPECT_EQ(MQ_open(stub.key()), -1);
    MQ_set_key_offset(0);
    EXPECT_EQ(start({"-mode", "refuse"}), -1);
    EXPECT_EQ(alarm(0), 0u) << "the alarm must be cancelled";
    strcpy(out, "junk");
    EXPECT_EQ(MQ_connect(-1) + MQ_put(-1, 3, "quit") + MQ_get(-1, 3, out), -3);
    EXPECT_STREQ(out, "");
    ASSERT_EQ(start(), 3);
    stub.stop();
    strcpy(out, "junk");
    EXPECT_EQ(MQ_get(queue, 3, out) + MQ_put(queue, 3, "quit"), -2);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(alarm(0), 0u);
    // The alarm runs for the time-out, never less than a second.
    EXPECT_EQ((MQ_enable_alarm(), alarm(0)), 20u);
    MQ_set_timeout(0);
    MQ_enable_alarm();
    EXPECT_TRUE(our_handler());
    MQ_disable_alarm();
    EXPECT_EQ(alarm(0), 0u);
    EXPECT_EQ((MQ_enable_alarm(), alarm(0)), 1u);
}

// Exchanges on one connection: what is put and the replies (code, text)
// read for it.  The stub logs each text as it came: the channel as a
// character ('0' + channel), the text cut to 118 characters.
TEST_F(MqClient, Exchanges)
{
    const std::string v118(118, 'v'), w200(200, 'w');
    struct Exchange { std::string put; std::vector<std::pair<int, std::string>> replies; };
    struct Case { std::vector<std::string> options; std::vector<Exchange> exchanges; } cases[] = {
        {{"device=x", "filename=a.img", "filename=b.img"},
         {{"query res filename", {{0, "a.img"}, {0, "b.img"}, {1, ""}}},
          {"query res title", {{1, ""}}},  // a name the peer lacks: only the end
          {"set res title Sat loop", {{1, ""}}}, {"query res title", {{0, "Sat loop"}, {1, ""}}}}},
        {{"long=" + v118}, {{"query res long", {{0, v118}, {1, ""}}}, {"set res big " + w200, {{1, ""}}}}},
        {{"-delay", "0.6", "device=ps"}, {{"query res device", {{0, "ps"}, {1, ""}}}}},  // polled for
        {{"-mode", "down"}, {{"query res device", {{-3, ""}}}}},                         // the loop is down
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.options[0]);
        ASSERT_EQ(start(c.options), 3);
        Log logged{uid};
        for (const Exchange &e : c.exchanges) {
            EXPECT_EQ(MQ_put(queue, 3, "%s", e.put.c_str()), 0);
            logged.push_back(("3" + e.put).substr(0, 119));
            for (const auto &[code, text] : e.replies) {
                EXPECT_EQ(MQ_get(queue, 3, out), code) << e.put;
                EXPECT_EQ(out, text) << e.put;
            }
        }
        EXPECT_EQ(stub.received(), logged);
        EXPECT_EQ(alarm(0), 0u) << "no alarm may stay armed after an exchange";
    }
    start({"-mode", "down"}, false);  // other channel characters
    EXPECT_EQ(MQ_put(queue, -1, "%d", 7) + MQ_put(queue, 10, "y"), 0);
    EXPECT_EQ(MQ_get(queue, 10, out), 1);
    EXPECT_EQ(stub.received(), (Log{"/7", ":y"}));
}

// A time-out prints its message once and requests the program's end with
// status 7; the call fails, and so does every later one without sending.
// A replacement handler is called instead and ends nothing.
TEST_F(MqClient, TimeOuts)
{
    MQ_set_timeout(1);
    EXPECT_EQ(testutil::stderr_of([&] { EXPECT_EQ(start({"-mode", "silent"}), -1); }), "Queue not responding!!\n");
    EXPECT_EQ(ZYR_exit_status(), 7);
    EXPECT_EQ(MQ_open(stub.key()) + MQ_put(queue, 1, "query res device") + MQ_connect(queue) + MQ_clear(queue, 1), -4);
    EXPECT_FALSE(has_message(queue, MQ_TYPE_CLIENT));
    ZYR_clear_exit();
    for (bool replaced : {false, true}) {
        SCOPED_TRACE(replaced);
        calls_to_handler = 0;
        MQ_set_alarm_handler(replaced ? +[](int) { ++calls_to_handler; } : nullptr);
        ASSERT_EQ(start({"-mode", "mute"}), 3);  // a mute peer still hands out channels
        std::string err = testutil::stderr_of([&] {
            EXPECT_EQ(MQ_put(queue, 3, "query res device"), 0);
            strcpy(out, "stale");
            EXPECT_EQ(MQ_get(queue, 3, out), -1);
        });
        EXPECT_STREQ(out, "");
        EXPECT_EQ(err, replaced ? "" : "Queue not responding!!\n");
        EXPECT_EQ(ZYR_exit_requested() ? ZYR_exit_status() : -1, replaced ? -1 : 7);
        EXPECT_EQ(calls_to_handler, replaced ? 1 : 0);
        EXPECT_EQ(alarm(0), 0u) << "the alarm is off once the call has returned";
        ZYR_clear_exit();
    }
    MQ_set_alarm_handler(nullptr);
    MQ_enable_alarm();
    EXPECT_TRUE(our_handler());
}


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
        EXPECT_EQ(testutil::stderr_of([&] { EXPECT_EQ(RES_init(argv.argc(), argv.argv(), KEYED, POSITIONAL), c.result); }),
                  subst(c.err));
        EXPECT_EQ(ZYR_exit_status(), c.result < 0 ? 7 : 0);
        for (const auto &[name, value] : c.want) {
            const char *v = RES_get(name);
            EXPECT_EQ(v ? v : "<absent>", value) << name;
        }
        EXPECT_TRUE(c.sent.empty() || stub.wait_exit()) << "not told to quit";
        std::vector<std::string> sent = {uid};
        for (const char *q : {"message", "plot_domain", "device", "title", "filename"})
            if (c.asked) sent.push_back(std::string("3query res ") + q);
        for (const auto &s : c.sent) sent.push_back("3" + s);
        EXPECT_EQ(stub.received(), sent);
        EXPECT_FALSE(loopwin::queue_exists(missing));
    }
}

}  // namespace
