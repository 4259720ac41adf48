// Small helpers shared by the tests: argument vectors, scratch folders and
// standard-input feeding.
#pragma once

#include <fcntl.h>
#include <stdio_ext.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace testutil {

// An argument vector that stays valid for the life of the object.
class Args {
public:
    Args(std::initializer_list<std::string> args) : store_(args) { build(); }
    explicit Args(std::vector<std::string> args) : store_(std::move(args)) { build(); }
    int argc() const { return (int)ptrs_.size() - 1; }
    char **argv() { return ptrs_.data(); }

private:
    void build()
    {
        for (auto &s : store_) ptrs_.push_back(s.data());
        ptrs_.push_back(nullptr);
    }
    std::vector<std::string> store_;
    std::vector<char *> ptrs_;
};

// A fresh folder below the test temp dir, removed at the end of the test.
class ScratchDir {
public:
    ScratchDir()
    {
        std::string tmpl = testing::TempDir() + "zyrXXXXXX";
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        path_ = mkdtemp(buf.data());
    }
    ~ScratchDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }
    std::string write(const std::string &name, const std::string &text) const
    {
        std::ofstream(file(name), std::ios::binary) << text;
        return file(name);
    }

private:
    std::string path_;
};

inline std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces standard input with the given text for the rest of the test.
inline void feed_stdin(const std::string &text)
{
    char name[] = "/tmp/zyrstdinXXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, text.data(), text.size()), (ssize_t)text.size());
    lseek(fd, 0, SEEK_SET);
    dup2(fd, 0);
    close(fd);
    unlink(name);
    // Drops what stdio still holds from an earlier feed, so that reading
    // starts with the new text.
    __fpurge(stdin);
    clearerr(stdin);
}

} // namespace testutil
