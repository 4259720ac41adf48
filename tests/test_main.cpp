// The test program's main: before each test every module goes back to its
// start state (SAT_reset_all), and the environment, working folder,
// standard input and signal dispositions to those at the program's start.
#include <fcntl.h>
#include <fnmatch.h>
#include <stdio_ext.h>
#include <unistd.h>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>
#include <gtest/gtest.h>
#include "driver/sat.h"

extern char **environ;

namespace {

constexpr int SIGNALS[] = {SIGALRM, SIGCHLD, SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2};

class ProgramStart : public testing::EmptyTestEventListener {
    std::vector<std::string> env_;  // putenv keeps pointers into these
    std::string cwd_ = std::filesystem::current_path();
    int stdin_fd_ = fcntl(0, F_DUPFD_CLOEXEC, 10);
    struct sigaction actions_[std::size(SIGNALS)] = {};

public:
    ProgramStart()
    {
        for (char **e = environ; *e; ++e) env_.emplace_back(*e);
        for (size_t i = 0; i < std::size(SIGNALS); ++i) sigaction(SIGNALS[i], nullptr, &actions_[i]);
    }
    void OnTestStart(const testing::TestInfo &) override
    {
        clearenv();
        for (const std::string &e : env_) putenv(const_cast<char *>(e.c_str()));
        if (chdir(cwd_.c_str()) != 0) std::perror(cwd_.c_str());
        if (stdin_fd_ >= 0) dup2(stdin_fd_, 0);
        __fpurge(stdin);
        clearerr(stdin);
        for (size_t i = 0; i < std::size(SIGNALS); ++i) sigaction(SIGNALS[i], &actions_[i], nullptr);
        alarm(0);
        SAT_reset_all();
    }
};

std::string full_name(const testing::TestInfo &t) { return std::string(t.test_suite_name()) + "." + t.name(); }

bool in_folder(const testing::TestInfo &t, const std::string &folder)
{
    return std::string(t.file()).find("/tests/" + folder + "/") != std::string::npos;
}

// True when a gtest filter of positive patterns ("A.*:*/B.*") names the test.
bool matches(const std::string &filter, const std::string &name)
{
    for (size_t start = 0, end; start <= filter.size(); start = end + 1) {
        end = std::min(filter.find(':', start), filter.size());
        if (fnmatch(filter.substr(start, end - start).c_str(), name.c_str(), 0) == 0) return true;
    }
    return false;
}

// Every test of the program, disabled ones included.
template <typename F> void each_test(F f)
{
    testing::UnitTest &u = *testing::UnitTest::GetInstance();
    for (int i = 0; i < u.total_test_suite_count(); ++i)
        for (int j = 0; j < u.GetTestSuite(i)->total_test_count(); ++j) f(*u.GetTestSuite(i)->GetTestInfo(j));
}

// The filter naming exactly the tests defined below tests/<folder>/ ("-*",
// no test, when there are none).
std::string folder_filter(const std::string &folder)
{
    std::string filter;
    each_test([&](const testing::TestInfo &t) {
        if (in_folder(t, folder)) filter.append(filter.empty() ? "" : ":").append(full_name(t));
    });
    return filter.empty() ? "-*" : filter;
}

// 0 when a filter names exactly the tests of a folder (the end-to-end tests,
// which CTest runs one per process by a name filter), else 1 after listing
// the tests on the wrong side.
int check_filter(const std::string &folder, const std::string &filter)
{
    int wrong = 0;
    each_test([&](const testing::TestInfo &t) {
        if (in_folder(t, folder) == matches(filter, full_name(t))) return;
        std::fprintf(stderr, "%s (%s) is %s the filter \"%s\"\n", full_name(t).c_str(), t.file(),
                     in_folder(t, folder) ? "outside" : "inside", filter.c_str());
        ++wrong;
    });
    return wrong ? 1 : 0;
}

} // namespace

// Besides gtest's options:
//   --folder=NAME               runs only the tests defined below tests/NAME/
//   --check-filter=NAME:FILTER  checks that FILTER names exactly those tests
int main(int argc, char **argv)
{
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const size_t colon = arg.find(':');
        // A death test's child is started with the same arguments and a
        // filter naming its one test, which stays.
        if (arg.rfind("--folder=", 0) == 0 && GTEST_FLAG_GET(internal_run_death_test).empty())
            GTEST_FLAG_SET(filter, folder_filter(arg.substr(9)));
        else if (arg.rfind("--check-filter=", 0) == 0 && colon != std::string::npos)
            return check_filter(arg.substr(15, colon - 15), arg.substr(colon + 1));
        else if (arg.rfind("--folder=", 0) != 0)
            return std::fprintf(stderr, "unknown option %s\n", argv[i]), 2;
    }
    testing::UnitTest::GetInstance()->listeners().Append(new ProgramStart);
    return RUN_ALL_TESTS();
}
