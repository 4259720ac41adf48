// A stand-in for the loop-window process, for tests of the queue client and
// the resource exchange:
//   loopwin_stub KEY [-log FILE] [-mode MODE] [-time S] [-delay S] [NAME=VALUE ...]
// It makes the queue, hands out channels and answers queries from its table
// (a line per NAME given).  MODE: answer; silent; mute (channels only); down
// (queries get -3); refuse (connections get 1).  Ends after -time seconds,
// on "quit", a signal or the queue's removal.  -delay: wait before each
// answer; -log: each message received and a NUL.
#include <sys/ipc.h>
#include <sys/msg.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>
#include "core/mq.h"

namespace {

volatile sig_atomic_t stop_requested = 0;
volatile int queue_id = -1;

void on_signal(int)
{
    stop_requested = 1;
    if (queue_id >= 0) msgctl(queue_id, IPC_RMID, nullptr);  // wakes the blocked receive
}

void reply(long type, int code, const std::string &text)
{
    MQ_MSG msg{};
    msg.type = type;
    msg.text[0] = static_cast<char>('0' + code);
    snprintf(msg.text + 1, MQ_TEXT_SIZE - 1, "%s", text.c_str());
    msgsnd(queue_id, &msg, MQ_TEXT_SIZE, IPC_NOWAIT);  // a client that stopped reading must not hold us
}

int usage()
{
    fprintf(stderr, "usage: loopwin_stub KEY [-log FILE] [-mode MODE] [-time S] [-delay S] [NAME=VALUE ...]\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv)
{
    char *end = nullptr;
    const key_t key = argc < 2 ? IPC_PRIVATE : (key_t)strtol(argv[1], &end, 0);
    if (key == IPC_PRIVATE || *end != '\0') return usage();
    std::string mode = "answer";
    int max_time = 60;
    double delay = 0;
    FILE *log = nullptr;
    std::map<std::string, std::vector<std::string>> values;
    for (int i = 2; i < argc; ++i) {
        const char *arg = argv[i], *eq = strchr(arg, '=');
        bool more = i + 1 < argc;
        if (!strcmp(arg, "-log") && more) log = fopen(argv[++i], "w");
        else if (!strcmp(arg, "-time") && more) max_time = atoi(argv[++i]);
        else if (!strcmp(arg, "-delay") && more) delay = atof(argv[++i]);
        else if (!strcmp(arg, "-mode") && more) mode = argv[++i];
        else if (eq && eq != arg && arg[0] != '-') values[std::string(arg, eq)].emplace_back(eq + 1);
        else return usage();
    }
    if (std::string(" answer silent mute down refuse ").find(" " + mode + " ") == std::string::npos) return usage();
    if (max_time < 1 || max_time > 600) max_time = 60;
    struct sigaction sa{};
    sa.sa_handler = on_signal;
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGALRM}) sigaction(sig, &sa, nullptr);
    msgctl(msgget(key, 0), IPC_RMID, nullptr);
    const int q = msgget(key, IPC_CREAT | IPC_EXCL | 0600);
    if (q < 0) return perror("loopwin_stub: msgget"), 1;
    queue_id = q;
    alarm(static_cast<unsigned>(max_time));
    int next_channel = 3;
    bool quit = false;
    for (long count = 0; !stop_requested && !quit && count < 100000; ++count) {
        MQ_MSG msg{};
        if (msgrcv(q, &msg, MQ_TEXT_SIZE, MQ_TYPE_CLIENT, MSG_NOERROR) < 0) {
            if (errno == EINTR) continue;
            break;  // queue removed or unusable
        }
        msg.text[MQ_TEXT_SIZE - 1] = '\0';
        if (log) fwrite(msg.text, 1, strlen(msg.text) + 1, log), fflush(log);
        if (mode == "silent") continue;
        if (msg.text[0] == '/') {  // connection request: refused, or the next channel
            const bool refuse = mode == "refuse";
            reply(MQ_TYPE_CONNECT, refuse ? 1 : 2, refuse ? "" : std::to_string(next_channel));
            if (!refuse) next_channel = next_channel >= 21 ? 3 : next_channel + 1;
            continue;
        }
        const long channel = msg.text[0] - '0';
        if (mode == "mute" || channel < 1) continue;
        const std::string body = msg.text + 1;
        if (body.rfind("query res ", 0) == 0) {
            usleep(static_cast<useconds_t>(delay * 1e6));
            if (mode == "down") {
                reply(channel, -3, "");
                continue;
            }
            for (const auto &line : values[body.substr(10)]) reply(channel, 0, line);
        } else if (body.rfind("set res ", 0) == 0) {
            const size_t space = body.find(' ', 8);
            values[body.substr(8, space - 8)] = {space == std::string::npos ? "" : body.substr(space + 1)};
        } else if (body == "quit") {
            quit = true;
        }
        reply(channel, 1, "");
    }
    // Gives a client up to two seconds to read the last reply before the
    // queue goes away.
    for (int i = 0; quit && i < 200; ++i) {
        msqid_ds ds{};
        if (msgctl(queue_id, IPC_STAT, &ds) < 0 || ds.msg_qnum == 0) break;
        usleep(10000);
    }
    alarm(0);
    queue_id = -1;
    msgctl(q, IPC_RMID, nullptr);
    if (log) fclose(log);
    return 0;
}
