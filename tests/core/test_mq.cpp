// The loop-window queue client against the stand-in loop-window process
// (tests/support/loopwin_stub).
#include "../support/loopwin.h"
#include "core/mq.h"
#include "core/util.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "../test_support.h"

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

}  // namespace
