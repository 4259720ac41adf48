// The test program's main.  Every test starts from the state of a program
// start, so the whole suite can run in one process in any order: before each
// test the system's modules go back to their start state (SAT_reset_all) and
// the process surroundings a test may change (environment, working folder,
// standard input, the signal dispositions the system sets) are put back as
// they were when the program started.
#include <fcntl.h>
#include <fnmatch.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/sat.h"

extern char **environ;

namespace {

// Signals the system or its tests catch or ignore.
constexpr int SIGNALS[] = {SIGALRM, SIGCHLD, SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2};

class ProgramStart : public testing::EmptyTestEventListener {
public:
    ProgramStart()
    {
        for (char **e = environ; *e; ++e) env_.emplace_back(*e);
        char dir[4096];
        if (getcwd(dir, sizeof dir)) cwd_ = dir;
        stdin_fd_ = fcntl(0, F_DUPFD_CLOEXEC, 10);
        for (size_t i = 0; i < std::size(SIGNALS); ++i) sigaction(SIGNALS[i], nullptr, &actions_[i]);
    }

    void OnTestStart(const testing::TestInfo &) override
    {
        restore_process();
        SAT_reset_all();
    }

private:
    void restore_process()
    {
        clearenv();
        for (const std::string &e : env_) putenv(const_cast<char *>(e.c_str()));
        if (!cwd_.empty() && chdir(cwd_.c_str()) != 0) std::perror(cwd_.c_str());
        if (stdin_fd_ >= 0) dup2(stdin_fd_, 0);
        __fpurge(stdin);
        clearerr(stdin);
        for (size_t i = 0; i < std::size(SIGNALS); ++i) sigaction(SIGNALS[i], &actions_[i], nullptr);
        alarm(0);
    }

    std::vector<std::string> env_; // putenv keeps pointers into these
    std::string cwd_;
    int stdin_fd_ = -1;
    struct sigaction actions_[std::size(SIGNALS)] = {};
};

// "Suite.Name" of a test, as filters match it.
std::string full_name(const testing::TestInfo &t) { return std::string(t.test_suite_name()) + "." + t.name(); }

// True when the test is defined in a file below tests/<folder>/.
bool in_folder(const testing::TestInfo &t, const std::string &folder)
{
    return std::string(t.file()).find("/tests/" + folder + "/") != std::string::npos;
}

// True when a gtest filter of positive patterns ("A.*:*/B.*") names the test.
bool matches(const std::string &filter, const std::string &name)
{
    size_t start = 0;
    while (start <= filter.size()) {
        size_t end = filter.find(':', start);
        if (end == std::string::npos) end = filter.size();
        if (fnmatch(filter.substr(start, end - start).c_str(), name.c_str(), 0) == 0) return true;
        start = end + 1;
    }
    return false;
}

// Every test of the program, disabled ones included.
template <typename F> void each_test(F f)
{
    testing::UnitTest &u = *testing::UnitTest::GetInstance();
    for (int i = 0; i < u.total_test_suite_count(); ++i) {
        const testing::TestSuite &suite = *u.GetTestSuite(i);
        for (int j = 0; j < suite.total_test_count(); ++j) f(*suite.GetTestInfo(j));
    }
}

// The filter naming exactly the tests defined below tests/<folder>/.
std::string folder_filter(const std::string &folder)
{
    std::string filter = "-*";  // no test, when the folder has none
    each_test([&](const testing::TestInfo &t) {
        if (!in_folder(t, folder)) return;
        filter = filter == "-*" ? full_name(t) : filter + ":" + full_name(t);
    });
    return filter;
}

// Checks that a filter names exactly the tests of a folder (the end-to-end
// tests, which CTest runs one per process by a name filter): 0 when so, else
// 1 after listing the tests on the wrong side.
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
        if (arg.rfind("--folder=", 0) == 0) {
            // A death test's child is started with the same arguments and a
            // filter naming its one test, which stays.
            if (GTEST_FLAG_GET(internal_run_death_test).empty())
                GTEST_FLAG_SET(filter, folder_filter(arg.substr(9)));
        } else if (arg.rfind("--check-filter=", 0) == 0) {
            size_t colon = arg.find(':');
            if (colon == std::string::npos) return 2;
            return check_filter(arg.substr(15, colon - 15), arg.substr(colon + 1));
        } else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    testing::UnitTest::GetInstance()->listeners().Append(new ProgramStart);
    return RUN_ALL_TESTS();
}
