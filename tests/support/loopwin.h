// Starts and stops the loop-window stand-in (loopwin_stub) for a test and
// reads back what it received.
#pragma once
#include <signal.h>
#include <sys/msg.h>
#include <chrono>
#include <thread>
#include "../test_support.h"

namespace loopwin {

// A queue key of this test process alone; salt (0..7) tells apart several
// queues of one test.
inline int unique_key(int salt = 0) { return 0x40000000 + ((static_cast<int>(getpid()) & 0x3FFFFF) << 3) + (salt & 7); }

inline bool queue_exists(int key) { return msgget(static_cast<key_t>(key), 0) >= 0; }
inline void remove_queue(int key) { msgctl(msgget(static_cast<key_t>(key), 0), IPC_RMID, nullptr); }

class Stub {
public:
    explicit Stub(int key) : key_(key), log_(testing::TempDir() + "loopwin_" + std::to_string(key) + ".log") {}
    ~Stub() { stop(), unlink(log_.c_str()); }
    Stub(const Stub &) = delete;
    Stub &operator=(const Stub &) = delete;

    // Starts the stub with the options of loopwin_stub.cpp; true once its
    // queue exists.
    bool start(const std::vector<std::string> &options = {})
    {
        remove_queue(key_);
        unlink(log_.c_str());
        std::vector<std::string> args = {ZYR_BINARY_DIR "/tests/loopwin_stub", std::to_string(key_), "-log", log_};
        args.insert(args.end(), options.begin(), options.end());
        testutil::Args argv(args);
        if ((pid_ = fork()) == 0) execv(argv.argv()[0], argv.argv()), _exit(127);
        for (int i = 0; pid_ > 0 && i < 500 && !queue_exists(key_); ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return pid_ > 0 && queue_exists(key_);
    }

    // Waits for the stub to end on its own (after "quit"); true when it did.
    bool wait_exit(double seconds = 5)
    {
        for (int i = 0; pid_ > 0 && i < seconds * 100; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) pid_ = -1;
            else std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return pid_ <= 0;
    }

    void stop()
    {
        if (pid_ > 0 && (kill(pid_, SIGTERM), !wait_exit(3))) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0), pid_ = -1;
        remove_queue(key_);
    }

    // Every message the stub received, channel character first.
    std::vector<std::string> received() const
    {
        std::vector<std::string> out;
        std::ifstream in(log_, std::ios::binary);
        for (std::string text; std::getline(in, text, '\0');) out.push_back(text);
        return out;
    }

    int key() const { return key_; }

private:
    int key_;
    std::string log_;
    pid_t pid_ = -1;
};

}  // namespace loopwin
