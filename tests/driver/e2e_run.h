// Running the built zyrsat (and other commands) as a process for the
// end-to-end tests: quoting, a shell run in a folder with standard input
// from /dev/null, and tool look-ups.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

namespace e2e {

inline const std::string kZyrsat = ZYR_BINARY_DIR "/zyrsat";

inline std::string quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Result {
    int status = -1;  // exit status, or -1 when the program died on a signal
    std::string out;  // standard output and error together
};

// Runs a shell command line in dir with standard input from /dev/null.
inline Result shell(const std::string &cmd, const std::string &dir)
{
    std::string line = "cd " + quote(dir) + " && " + cmd + " </dev/null 2>&1";
    Result r;
    FILE *p = popen(line.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

// Runs zyrsat with the arguments; env is put in front ("VAR=x" or "-u VAR").
inline Result zyrsat(const std::vector<std::string> &args, const std::string &dir,
                     const std::string &env = "")
{
    std::string cmd = "env " + env + " " + quote(kZyrsat);
    for (const auto &a : args) cmd += " " + quote(a);
    return shell(cmd, dir);
}

inline bool have(const std::string &tool)
{
    return shell("command -v " + tool + " >/dev/null", "/").status == 0;
}

}  // namespace e2e
