// The resource exchange with a loop-window process, reached through a "#key"
// entry of the defaults search list, against the stand-in loop window.

#include "../support/loopwin.h"
#include "core/mq.h"
#include "core/res.h"
#include "core/util.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

using loopwin::Stub;

const int KEYED[] = {RES_MESSAGE, RES_PLOT_DOMAIN, RES_DEVICE, RES_TITLE, 0};
const int POSITIONAL[] = {RES_FILENAME, 0};

class ResLoop : public testing::Test {
protected:
    void SetUp() override {
        for (const char *var : {"zyrdefault", "zyrdevice", "zyrtitle", "zyrdomain", "zyrmess",
                                "zyrfilename", "zyrzyrsat.title", "zyrzyrsat.device"})
            unsetenv(var);
        cfg = testing::TempDir() + "resloop_" + std::to_string(stub.key()) + ".cfg";
    }
    void TearDown() override {
        stub.stop();
        unlink(cfg.c_str());
        MQ_set_timeout(MQ_DEFAULT_TIMEOUT);
        ZYR_clear_exit();
    }

    int init(std::vector<std::string> args) {
        args.insert(args.begin(), "/usr/local/bin/zyrsat");
        argv_store = args;
        argv.clear();
        for (auto &a : argv_store) argv.push_back(a.data());
        argv.push_back(nullptr);
        return RES_init(static_cast<int>(argv_store.size()), argv.data(), KEYED, POSITIONAL);
    }

    void write_cfg(const std::string &text) { std::ofstream(cfg) << text; }

    std::string entry() const { return std::string("#").append(std::to_string(stub.key())); }

    // What the client sent after connecting, without the channel character.
    std::vector<std::string> sent() const {
        std::vector<std::string> out;
        for (const auto &text : stub.received())
            if (!text.empty() && text[0] != '/') out.push_back(text.substr(1));
        return out;
    }

    static std::string value(const char *name) {
        const char *v = RES_get(name);
        return v ? v : "<absent>";
    }

    Stub stub{loopwin::unique_key()};
    std::string cfg;
    std::vector<std::string> argv_store;
    std::vector<char *> argv;
};

bool contains(const std::vector<std::string> &list, const std::string &item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

TEST_F(ResLoop, ValuesOfTheLoopWindowAreTakenAndTheCommandLineStillWins) {
    ASSERT_TRUE(stub.start({"device=ps", "title=Loop title", "plot_domain=ne"}));
    EXPECT_EQ(init({"-df", entry(), "-pd", "us", "north.img"}), 1);

    EXPECT_EQ(value("device"), "ps");
    EXPECT_EQ(value("title"), "Loop title");
    EXPECT_EQ(value("plot_domain"), "us");
    EXPECT_EQ(value("filename"), "north.img");
    EXPECT_EQ(value("message"), "<absent>");

    ASSERT_TRUE(stub.wait_exit()) << "the loop window was not told to quit";
    auto got = stub.received();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0], std::string("/").append(std::to_string(getuid())));
    const std::vector<std::string> expected = {
        "query res message", "query res plot_domain", "query res device", "query res title",
        "query res filename", "set res plot_domain us", "quit"};
    EXPECT_EQ(sent(), expected);
}

TEST_F(ResLoop, LocalValuesTheLoopWindowLacksAreHandedToIt) {
    ASSERT_TRUE(stub.start({"title=Loop title"}));
    write_cfg("zyrsat.device ps\nzyrsat.title \"Local title\"\n");
    init({"-df=" + cfg + ":" + entry(), "-ti"});

    // The loop window comes after the file in the search list: it wins
    // where it has a value and is told the values it lacks.
    EXPECT_EQ(value("device"), "ps");
    EXPECT_EQ(value("title"), "");  // the bare option on the command line
    ASSERT_TRUE(stub.wait_exit());
    auto got = sent();
    EXPECT_TRUE(contains(got, "set res device ps"));
    EXPECT_FALSE(contains(got, "set res title Local title"));
    // The command line's option, absent value and all, goes to the loop window.
    EXPECT_TRUE(contains(got, "set res title "));
    EXPECT_EQ(got.back(), "quit");
}

TEST_F(ResLoop, LaterSearchEntriesAndTheEnvironmentOverrideTheLoopWindow) {
    ASSERT_TRUE(stub.start({"title=Loop title", "device=ps", "plot_domain=ne"}));
    write_cfg("zyrsat.title \"Local title\"\n");
    // The search list from the environment this time.
    setenv("zyrdefault", (entry() + ":" + cfg).c_str(), 1);
    setenv("zyrdevice", "hp", 1);
    init({"south.img"});

    EXPECT_EQ(value("title"), "Local title");
    EXPECT_EQ(value("device"), "hp");
    EXPECT_EQ(value("plot_domain"), "ne");
    ASSERT_TRUE(stub.wait_exit());
    auto got = sent();
    EXPECT_EQ(std::count_if(got.begin(), got.end(),
                            [](const std::string &s) { return s.rfind("set res", 0) == 0; }),
              0);
    EXPECT_EQ(got.back(), "quit");
}

TEST_F(ResLoop, MissingOrRefusingLoopWindowIsReportedAndSkipped) {
    const int missing = loopwin::unique_key(1);
    loopwin::remove_queue(missing);
    ASSERT_TRUE(stub.start({"-mode", "refuse"}));
    write_cfg("zyrsat.title \"Local title\"\n");

    testing::internal::CaptureStderr();
    EXPECT_EQ(init({"-df", std::string("#").append(std::to_string(missing)).append(":").append(entry()).append(":").append(cfg), "-de", "ps"}), 1);
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_NE(err.find("ZYRloop window: " + std::to_string(missing) +
                       " not running or no message queue exists\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("ZYRloop window: " + std::to_string(stub.key()) + " unable to connect\n"),
              std::string::npos)
        << err;
    EXPECT_EQ(value("title"), "Local title");
    EXPECT_EQ(value("device"), "ps");
    EXPECT_FALSE(loopwin::queue_exists(missing));
    // Nothing but the connection request went to the refusing peer.
    EXPECT_TRUE(sent().empty());
}

TEST_F(ResLoop, LoopNotRunningIsReported) {
    ASSERT_TRUE(stub.start({"-mode", "down", "device=ps"}));
    testing::internal::CaptureStderr();
    EXPECT_EQ(init({"-df", entry(), "-ti", "Mine"}), 1);
    std::string err = testing::internal::GetCapturedStderr();

    EXPECT_NE(err.find("ZYRloop not running!\n"), std::string::npos) << err;
    EXPECT_EQ(value("device"), "<absent>");
    EXPECT_EQ(value("title"), "Mine");
}

// The set-up stops at the time-out: nothing after it is read or said.
TEST_F(ResLoop, SilentLoopWindowRequestsTheEndWithStatus7) {
    ASSERT_TRUE(stub.start({"-mode", "mute"}));
    write_cfg("zyrsat.title \"Later\"\n");
    MQ_set_timeout(1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(init({"-df", entry() + ":" + cfg}), -1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Queue not responding!!\n");
    EXPECT_EQ(ZYR_exit_status(), 7);
    EXPECT_EQ(value("title"), "<absent>");
}

}  // namespace
