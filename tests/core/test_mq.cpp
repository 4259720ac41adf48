// The loop-window queue client against the stand-in loop-window process.

#include "../support/loopwin.h"
#include "core/flags.h"
#include "core/mq.h"
#include "core/util.h"

#include <sys/ipc.h>
#include <sys/msg.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

using loopwin::Stub;

class MqClient : public testing::Test {
protected:
    void TearDown() override {
        stub.stop();
        // Back to the start state, for runs of several tests in one process.
        alarm(0);
        MQ_set_timeout(MQ_DEFAULT_TIMEOUT);
        MQ_set_alarm_handler(nullptr);
        MQ_set_key_offset(0);
        ZYR_clear_exit();
    }

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

    Stub stub{loopwin::unique_key()};
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
    struct sigaction sa{};
    sigaction(SIGALRM, nullptr, &sa);
    EXPECT_EQ(sa.sa_handler, &MQ_intrp);

    MQ_set_key_offset(100);
    EXPECT_EQ(MQ_open(stub.key() - 100), q);
    EXPECT_EQ(MQ_open(stub.key()), -1);
}

TEST_F(MqClient, ConnectSendsTheUserIdAndGetsAChannel) {
    int channel = connect();
    EXPECT_GE(channel, 3);
    EXPECT_LE(channel, 21);
    ASSERT_EQ(stub.received().size(), 1u);
    EXPECT_EQ(stub.received()[0], std::string("/").append(std::to_string(getuid())));

    int second = MQ_connect(queue);
    EXPECT_GE(second, 3);
    EXPECT_LE(second, 21);
    EXPECT_NE(second, channel);
}

TEST_F(MqClient, ConnectIgnoresRepliesLeftInTheQueue) {
    ASSERT_TRUE(stub.start());
    queue = MQ_open(stub.key());
    // A connection reply nobody read, and replies on every channel.
    send_raw(queue, MQ_TYPE_CONNECT, "299");
    for (long type = 3; type <= 21; ++type) send_raw(queue, type, "0stale");

    int channel = MQ_connect(queue);
    ASSERT_GE(channel, 3);
    ASSERT_LE(channel, 21);
    EXPECT_FALSE(has_message(queue, MQ_TYPE_CONNECT));
    EXPECT_FALSE(has_message(queue, channel)) << "stale replies on the new channel are dropped";
    EXPECT_TRUE(has_message(queue, channel == 3 ? 4 : 3)) << "other channels are left alone";

    MQ_put(queue, channel, "query res nothing");
    EXPECT_EQ(MQ_get(queue, channel, out), 1);
}

TEST_F(MqClient, ConnectRefusedByThePeerGivesMinusOne) {
    EXPECT_EQ(connect({"-mode", "refuse"}), -1);
    EXPECT_EQ(alarm(0), 0u) << "the alarm must be cancelled";
}

TEST_F(MqClient, QueryIsAnsweredLineByLineThenEnded) {
    int channel = connect({"device=x", "filename=a.img", "filename=b.img"});
    ASSERT_GT(channel, 0);

    EXPECT_EQ(MQ_put(queue, channel, "query res %s", "filename"), 0);
    EXPECT_EQ(MQ_get(queue, channel, out), 0);
    EXPECT_STREQ(out, "a.img");
    EXPECT_EQ(MQ_get(queue, channel, out), 0);
    EXPECT_STREQ(out, "b.img");
    EXPECT_EQ(MQ_get(queue, channel, out), 1);

    // A name the peer does not hold gets only the end of the answer.
    MQ_put(queue, channel, "query res %s", "title");
    EXPECT_EQ(MQ_get(queue, channel, out), 1);

    MQ_put(queue, channel, "set res %s %s", "title", "Sat loop");
    EXPECT_EQ(MQ_get(queue, channel, out), 1);
    MQ_put(queue, channel, "query res title");
    EXPECT_EQ(MQ_get(queue, channel, out), 0);
    EXPECT_STREQ(out, "Sat loop");
    EXPECT_EQ(MQ_get(queue, channel, out), 1);

    auto got = stub.received();
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[1], std::string(1, char('0' + channel)) + "query res filename");
    EXPECT_EQ(got[3], std::string(1, char('0' + channel)) + "set res title Sat loop");
    EXPECT_EQ(alarm(0), 0u) << "no alarm may stay armed after an exchange";
}

TEST_F(MqClient, TextsUpTo118CharactersTravelWhole) {
    const std::string full(118, 'v');
    int channel = connect({"long=" + full});
    ASSERT_GT(channel, 0);

    MQ_put(queue, channel, "query res long");
    EXPECT_EQ(MQ_get(queue, channel, out), 0);
    EXPECT_EQ(std::string(out), full);
    EXPECT_EQ(MQ_get(queue, channel, out), 1);

    // Sent text is cut to what the text area holds.
    const std::string head = "set res big ";
    const std::string value(200, 'w');
    EXPECT_EQ(MQ_put(queue, channel, "%s%s", head.c_str(), value.c_str()), 0);
    EXPECT_EQ(MQ_get(queue, channel, out), 1);
    auto got = stub.received();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[2].size(), 119u);
    EXPECT_EQ(got[2].substr(1), head + value.substr(0, 118 - head.size()));
}

TEST_F(MqClient, ChannelAndReplyCodesTravelAsCharacters) {
    ASSERT_TRUE(stub.start({"-mode", "down"}));
    queue = MQ_open(stub.key());
    EXPECT_EQ(MQ_put(queue, -1, "%d", 7), 0);
    EXPECT_EQ(MQ_put(queue, 3, "x"), 0);
    EXPECT_EQ(MQ_put(queue, 10, "y"), 0);
    EXPECT_EQ(MQ_get(queue, 10, out), 1);
    // The peer answers a query from channel 10 with "-": code -3.
    MQ_put(queue, 10, "query res device");
    EXPECT_EQ(MQ_get(queue, 10, out), -3);
    EXPECT_STREQ(out, "");

    auto got = stub.received();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], "/7");
    EXPECT_EQ(got[1], "3x");
    EXPECT_EQ(got[2], ":y");
}

TEST_F(MqClient, ReplyIsPolledForUntilItArrives) {
    int channel = connect({"-delay", "0.6", "device=ps"});
    ASSERT_GT(channel, 0);
    MQ_put(queue, channel, "query res device");
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(MQ_get(queue, channel, out), 0);
    double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_STREQ(out, "ps");
    EXPECT_GE(waited, 0.5);
    EXPECT_LT(waited, 1.5) << "early tries poll every 0.1 s";
}

TEST_F(MqClient, InvalidOrRemovedQueueFailsWithoutWaiting) {
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
    struct sigaction sa{};
    sigaction(SIGALRM, nullptr, &sa);
    EXPECT_EQ(sa.sa_handler, &MQ_intrp);
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
    EXPECT_TRUE(ZYR_exit_requested());
    EXPECT_EQ(ZYR_exit_status(), 7);
    EXPECT_EQ(MQ_open(stub.key()), -1);
    EXPECT_EQ(MQ_put(q, 1, "query res device"), -1);
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
    calls_to_handler = 0;
    MQ_set_alarm_handler(counting_handler);
    int channel = MQ_connect(queue);  // the mute peer still hands out channels
    ASSERT_GT(channel, 0);

    MQ_put(queue, channel, "query res device");
    strcpy(out, "junk");
    EXPECT_EQ(MQ_get(queue, channel, out), -1);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(calls_to_handler, 1);

    MQ_set_alarm_handler(nullptr);
    MQ_enable_alarm();
    struct sigaction sa{};
    sigaction(SIGALRM, nullptr, &sa);
    EXPECT_EQ(sa.sa_handler, &MQ_intrp);
    MQ_disable_alarm();
}

TEST_F(MqClient, ExchangeIsTracedAtDebugLevel) {
    int channel = connect({"device=ps"});
    ASSERT_GT(channel, 0);
    MESS_set(1, 0x80000000u);
    testing::internal::CaptureStdout();
    MQ_put(queue, channel, "query res device");
    MQ_get(queue, channel, out);
    fflush(stdout);
    std::string trace = testing::internal::GetCapturedStdout();
    const std::string c = std::to_string(channel);
    EXPECT_NE(trace.find("PUT:" + c + ":" + c + "query res device\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("GET-MSG:" + c + " "), std::string::npos) << trace;
    EXPECT_NE(trace.find("GET:0ps\n"), std::string::npos) << trace;
}

}  // namespace
