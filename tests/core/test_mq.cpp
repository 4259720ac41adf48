// The loop-window queue client against the stand-in loop-window process
// (tests/support/loopwin_stub).

#include "../support/loopwin.h"
#include "core/flags.h"
#include "core/mq.h"
#include "core/util.h"

#include <sys/ipc.h>
#include <sys/msg.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

class MqClient : public testing::Test {
protected:
    // Starts the stub and connects to it; the queue id goes to queue.
    int connect(const std::vector<std::string> &options = {}) {
        if (!stub.start(options)) {
            ADD_FAILURE() << "the loop-window stand-in did not start";
            return -1;
        }
        queue = MQ_open(stub.key());
        EXPECT_GE(queue, 0);
        return MQ_connect(queue);
    }
    std::string handler() const {
        struct sigaction sa{};
        sigaction(SIGALRM, nullptr, &sa);
        return sa.sa_handler == &MQ_intrp ? "MQ_intrp" : "other";
    }

    loopwin::Stub stub{loopwin::unique_key()};
    int queue = -1;
    char out[MQ_TEXT_SIZE + 8];
};

void send_raw(int queue, long type, const char *text) {
    MQ_MSG msg{};
    msg.type = type;
    snprintf(msg.text, sizeof msg.text, "%s", text);
    ASSERT_EQ(msgsnd(queue, &msg, MQ_TEXT_SIZE, IPC_NOWAIT), 0);
}

bool has_message(int queue, long type) {
    MQ_MSG msg{};
    if (msgrcv(queue, &msg, MQ_TEXT_SIZE, type, IPC_NOWAIT) < 0) return false;
    msgsnd(queue, &msg, MQ_TEXT_SIZE, IPC_NOWAIT);  // put it back
    return true;
}

int calls_to_handler = 0;
void counting_handler(int) { ++calls_to_handler; }

TEST_F(MqClient, OpenFindsOnlyAnExistingQueueAndAddsTheKeyOffset) {
    loopwin::remove_queue(stub.key());
    EXPECT_EQ(MQ_open(stub.key()), -1);
    EXPECT_FALSE(loopwin::queue_exists(stub.key())) << "MQ_open must not create the queue";
    EXPECT_EQ(MQ_open(0), -1) << "key 0 would make a private queue";
    ASSERT_TRUE(stub.start());
    int q = MQ_open(stub.key());
    EXPECT_EQ(q, msgget(stub.key(), 0));
    EXPECT_EQ(handler(), "MQ_intrp");
    MQ_set_key_offset(100);
    EXPECT_EQ(MQ_open(stub.key() - 100), q);
    EXPECT_EQ(MQ_open(stub.key()), -1);
}

// The stub hands out channels 3, 4, ...; stale replies on the new channel
// are dropped, those of other channels left alone.
TEST_F(MqClient, ConnectSendsTheUserIdAndIgnoresStaleReplies) {
    ASSERT_TRUE(stub.start());
    queue = MQ_open(stub.key());
    send_raw(queue, MQ_TYPE_CONNECT, "299");  // a connection reply nobody read
    for (long type = 3; type <= 5; ++type) send_raw(queue, type, "0stale");
    EXPECT_EQ(MQ_connect(queue), 3);
    EXPECT_EQ(MQ_connect(queue), 4);
    EXPECT_FALSE(has_message(queue, MQ_TYPE_CONNECT));
    EXPECT_FALSE(has_message(queue, 3));
    EXPECT_TRUE(has_message(queue, 5));
    const std::string uid = std::string("/").append(std::to_string(getuid()));
    EXPECT_EQ(stub.received(), (std::vector<std::string>{uid, uid}));
}

// Exchanges on one connection: what is put, and the replies (code, text)
// read for it.  The stub logs each text as it arrived: the channel as a
// character ('0' + channel), the text cut to 118 characters.
TEST_F(MqClient, Exchanges) {
    const std::string v118(118, 'v'), w200(200, 'w');
    using Replies = std::vector<std::pair<int, std::string>>;
    struct Exchange {
        std::string put;
        Replies replies;
    };
    struct Case {
        const char *name;
        std::vector<std::string> options;
        std::vector<Exchange> exchanges;
    } cases[] = {
        {"answered line by line, then ended", {"device=x", "filename=a.img", "filename=b.img"},
         {{"query res filename", {{0, "a.img"}, {0, "b.img"}, {1, ""}}},
          {"query res title", {{1, ""}}},  // a name the peer lacks: only the end
          {"set res title Sat loop", {{1, ""}}},
          {"query res title", {{0, "Sat loop"}, {1, ""}}}}},
        {"118 characters travel whole, longer are cut", {"long=" + v118},
         {{"query res long", {{0, v118}, {1, ""}}}, {"set res big " + w200, {{1, ""}}}}},
        {"polled for until it arrives", {"-delay", "0.6", "device=ps"},
         {{"query res device", {{0, "ps"}, {1, ""}}}}},
        {"loop down: code -3", {"-mode", "down"}, {{"query res device", {{-3, ""}}}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const int channel = connect(c.options);
        ASSERT_EQ(channel, 3);
        std::vector<std::string> logged{std::string("/").append(std::to_string(getuid()))};
        for (const Exchange &e : c.exchanges) {
            EXPECT_EQ(MQ_put(queue, channel, "%s", e.put.c_str()), 0);
            logged.push_back(("3" + e.put).substr(0, 119));
            for (const auto &[code, text] : e.replies) {
                EXPECT_EQ(MQ_get(queue, channel, out), code) << e.put;
                EXPECT_EQ(std::string(out), text) << e.put;
            }
        }
        EXPECT_EQ(stub.received(), logged);
        EXPECT_EQ(alarm(0), 0u) << "no alarm may stay armed after an exchange";
        stub.stop();
    }
}

TEST_F(MqClient, ChannelCharacters) {
    ASSERT_TRUE(stub.start({"-mode", "down"}));
    queue = MQ_open(stub.key());
    EXPECT_EQ(MQ_put(queue, -1, "%d", 7), 0);
    EXPECT_EQ(MQ_put(queue, 10, "y"), 0);
    EXPECT_EQ(MQ_get(queue, 10, out), 1);
    EXPECT_EQ(stub.received(), (std::vector<std::string>{"/7", ":y"}));
}

TEST_F(MqClient, RefusedInvalidOrRemovedQueueFailsWithoutWaiting) {
    EXPECT_EQ(connect({"-mode", "refuse"}), -1);
    EXPECT_EQ(alarm(0), 0u) << "the alarm must be cancelled";
    stub.stop();
    strcpy(out, "junk");
    EXPECT_EQ(MQ_connect(-1), -1);
    EXPECT_EQ(MQ_put(-1, 3, "quit"), -1);
    EXPECT_EQ(MQ_get(-1, 3, out), -1);
    EXPECT_STREQ(out, "");

    int channel = connect();
    ASSERT_GT(channel, 0);
    stub.stop();
    strcpy(out, "junk");
    EXPECT_EQ(MQ_get(queue, channel, out), -1);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(MQ_put(queue, channel, "quit"), -1);
    EXPECT_EQ(alarm(0), 0u);
}

TEST_F(MqClient, AlarmRunsForTheTimeOut) {
    MQ_enable_alarm();
    EXPECT_EQ(alarm(0), 20u);
    MQ_set_timeout(3);
    MQ_enable_alarm();
    EXPECT_EQ(handler(), "MQ_intrp");
    MQ_disable_alarm();
    EXPECT_EQ(alarm(0), 0u);
    MQ_set_timeout(0);  // never "no alarm"
    MQ_enable_alarm();
    EXPECT_GE(alarm(0), 1u);
}

// The time-out prints its message once and requests the program's end with
// status 7; the call fails, and so does every later one without sending.
TEST_F(MqClient, SilentPeerRequestsTheEndWithStatus7) {
    ASSERT_TRUE(stub.start({"-mode", "silent"}));
    MQ_set_timeout(1);
    testing::internal::CaptureStderr();
    const int q = MQ_open(stub.key());
    EXPECT_EQ(MQ_connect(q), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Queue not responding!!\n");
    EXPECT_EQ(ZYR_exit_status(), 7);
    EXPECT_EQ(MQ_open(stub.key()), -1);
    EXPECT_EQ(MQ_put(q, 1, "query res device"), -1);
    EXPECT_EQ(MQ_connect(q), -1);
    EXPECT_EQ(MQ_clear(q, 1), -1);
    EXPECT_FALSE(has_message(q, MQ_TYPE_CLIENT));
}

TEST_F(MqClient, PeerThatStopsAnsweringRequestsTheEndWithStatus7) {
    int channel = connect({"-mode", "mute"});
    ASSERT_GT(channel, 0);
    MQ_set_timeout(1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(MQ_put(queue, channel, "query res device"), 0);
    strcpy(out, "stale");
    EXPECT_EQ(MQ_get(queue, channel, out), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Queue not responding!!\n");
    EXPECT_STREQ(out, "");
    EXPECT_EQ(ZYR_exit_status(), 7);
    EXPECT_EQ(alarm(0), 0u) << "the alarm is off once the call has returned";
}

TEST_F(MqClient, ReplacementAlarmHandlerIsCalledInstead) {
    ASSERT_TRUE(stub.start({"-mode", "mute"}));
    queue = MQ_open(stub.key());
    MQ_set_timeout(1);
    MQ_set_alarm_handler(counting_handler);
    int channel = MQ_connect(queue);  // the mute peer still hands out channels
    ASSERT_GT(channel, 0);
    MQ_put(queue, channel, "query res device");
    strcpy(out, "junk");
    calls_to_handler = 0;
    EXPECT_EQ(MQ_get(queue, channel, out), -1);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(calls_to_handler, 1);
    EXPECT_FALSE(ZYR_exit_requested());
    MQ_set_alarm_handler(nullptr);
    MQ_enable_alarm();
    EXPECT_EQ(handler(), "MQ_intrp");
    MQ_disable_alarm();
}

TEST_F(MqClient, ExchangeIsTracedAtDebugLevel) {
    int channel = connect({"device=ps"});
    ASSERT_GT(channel, 0);
    MESS_set(1, 0x80000000u);
    testing::internal::CaptureStdout();
    MQ_put(queue, channel, "query res device");
    MQ_get(queue, channel, out);
    std::string trace = testing::internal::GetCapturedStdout();
    EXPECT_NE(trace.find("PUT:3:3query res device\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("GET-MSG:3 "), std::string::npos) << trace;
    EXPECT_NE(trace.find("GET:0ps\n"), std::string::npos) << trace;
}

}  // namespace
