// A stand-in for the loop-window process, for tests of the queue client and
// of the resource exchange.  It creates the queue, hands out channels and
// answers the resource messages from a small table of values.
//
//   loopwin_stub KEY [-log FILE] [-mode MODE] [-time SECONDS] [-delay SECONDS]
//                [NAME=VALUE ...]
//
// MODE: answer (default), silent (never answers anything), mute (hands out
// channels but answers nothing else), down (answers every query with code -3,
// as for a loop that is not running), refuse (answers connection requests
// with code 1).  -time bounds the run (default 60 s): the queue is removed
// and the stub exits then, on "quit", on SIGTERM/SIGINT/SIGHUP, or when the
// queue disappears.  -delay waits before answering each query.  A NAME given
// twice holds one value line per occurrence.  With -log every message
// received is written as one line: its text area with the channel character,
// newlines as "\n" and backslashes as "\\".

#include "core/mq.h"

#include <sys/ipc.h>
#include <sys/msg.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace {

volatile sig_atomic_t stop_requested = 0;
volatile int queue_id = -1;

void on_signal(int) {
    stop_requested = 1;
    // Removing the queue wakes the blocked receive with EIDRM.
    if (queue_id >= 0) msgctl(queue_id, IPC_RMID, nullptr);
}

enum class Mode { Answer, Silent, Mute, Down, Refuse };

struct Value {
    std::string name;
    std::vector<std::string> lines;
};

std::vector<Value> values;
FILE *log_file = nullptr;

Value *find(const std::string &name) {
    for (auto &v : values)
        if (v.name == name) return &v;
    return nullptr;
}

void log_text(const char *text) {
    if (!log_file) return;
    for (const char *p = text; *p; ++p) {
        if (*p == '\n')
            fputs("\\n", log_file);
        else if (*p == '\\')
            fputs("\\\\", log_file);
        else
            fputc(*p, log_file);
    }
    fputc('\n', log_file);
    fflush(log_file);
}

void reply(long type, int code, const std::string &text) {
    MQ_MSG msg{};
    msg.type = type;
    msg.text[0] = static_cast<char>('0' + code);
    snprintf(msg.text + 1, MQ_TEXT_SIZE - 1, "%s", text.c_str());
    // Never block: a client that stopped reading must not hold the stub.
    msgsnd(queue_id, &msg, MQ_TEXT_SIZE, IPC_NOWAIT);
}

void pause_for(double seconds) {
    if (seconds <= 0) return;
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(seconds);
    ts.tv_nsec = static_cast<long>((seconds - ts.tv_sec) * 1e9);
    nanosleep(&ts, nullptr);
}

// Gives a client up to two seconds to read the last reply before the queue
// goes away.
void drain() {
    for (int i = 0; i < 200; ++i) {
        msqid_ds ds{};
        if (msgctl(queue_id, IPC_STAT, &ds) < 0 || ds.msg_qnum == 0) return;
        pause_for(0.01);
    }
}

bool starts_with(const char *text, const char *prefix) {
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

int usage() {
    fprintf(stderr, "usage: loopwin_stub KEY [-log FILE] [-mode answer|silent|mute|down|refuse] "
                    "[-time SECONDS] [-delay SECONDS] [NAME=VALUE ...]\n");
    return 2;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) return usage();
    char *end = nullptr;
    long key = strtol(argv[1], &end, 0);
    if (*end != '\0' || key == IPC_PRIVATE) return usage();

    Mode mode = Mode::Answer;
    int max_time = 60;
    double delay = 0;
    for (int i = 2; i < argc; ++i) {
        const char *arg = argv[i];
        bool has_value = i + 1 < argc;
        if (!strcmp(arg, "-log") && has_value) {
            log_file = fopen(argv[++i], "w");
        } else if (!strcmp(arg, "-time") && has_value) {
            max_time = atoi(argv[++i]);
        } else if (!strcmp(arg, "-delay") && has_value) {
            delay = atof(argv[++i]);
        } else if (!strcmp(arg, "-mode") && has_value) {
            const char *m = argv[++i];
            if (!strcmp(m, "answer")) mode = Mode::Answer;
            else if (!strcmp(m, "silent")) mode = Mode::Silent;
            else if (!strcmp(m, "mute")) mode = Mode::Mute;
            else if (!strcmp(m, "down")) mode = Mode::Down;
            else if (!strcmp(m, "refuse")) mode = Mode::Refuse;
            else return usage();
        } else if (const char *eq = strchr(arg, '='); eq && eq != arg && arg[0] != '-') {
            std::string name(arg, eq);
            if (Value *v = find(name))
                v->lines.emplace_back(eq + 1);
            else
                values.push_back({name, {eq + 1}});
        } else {
            return usage();
        }
    }
    if (max_time < 1 || max_time > 600) max_time = 60;

    struct sigaction sa{};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGALRM}) sigaction(sig, &sa, nullptr);

    // A queue left over under this key is replaced by a fresh one.
    int q = msgget(static_cast<key_t>(key), IPC_CREAT | IPC_EXCL | 0600);
    if (q < 0 && errno == EEXIST) {
        int old = msgget(static_cast<key_t>(key), 0);
        if (old >= 0) msgctl(old, IPC_RMID, nullptr);
        q = msgget(static_cast<key_t>(key), IPC_CREAT | IPC_EXCL | 0600);
    }
    if (q < 0) {
        perror("loopwin_stub: msgget");
        return 1;
    }
    queue_id = q;
    alarm(static_cast<unsigned>(max_time));

    int next_channel = 3;
    bool quit = false;
    for (long count = 0; !stop_requested && !quit && count < 100000; ++count) {
        MQ_MSG msg{};
        ssize_t n = msgrcv(q, &msg, MQ_TEXT_SIZE, MQ_TYPE_CLIENT, MSG_NOERROR);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;  // queue removed or unusable
        }
        msg.text[MQ_TEXT_SIZE - 1] = '\0';
        log_text(msg.text);
        if (mode == Mode::Silent) continue;

        if (msg.text[0] == '/') {  // connection request
            if (mode == Mode::Refuse) {
                reply(MQ_TYPE_CONNECT, 1, "");
                continue;
            }
            reply(MQ_TYPE_CONNECT, 2, std::to_string(next_channel));
            next_channel = next_channel >= 21 ? 3 : next_channel + 1;
            continue;
        }
        if (mode == Mode::Mute) continue;
        long channel = msg.text[0] - '0';
        if (channel < 1) continue;
        const char *body = msg.text + 1;

        if (starts_with(body, "query res ")) {
            pause_for(delay);
            if (mode == Mode::Down) {
                reply(channel, -3, "");
                continue;
            }
            if (const Value *v = find(body + strlen("query res ")))
                for (const auto &line : v->lines) reply(channel, 0, line);
            reply(channel, 1, "");
        } else if (starts_with(body, "set res ")) {
            const char *name = body + strlen("set res ");
            const char *space = strchr(name, ' ');
            std::string key_name = space ? std::string(name, space) : std::string(name);
            std::string value = space ? std::string(space + 1) : std::string();
            if (Value *v = find(key_name))
                v->lines = {value};
            else
                values.push_back({key_name, {value}});
            reply(channel, 1, "");
        } else if (!strcmp(body, "quit")) {
            reply(channel, 1, "");
            quit = true;
        } else {
            reply(channel, 1, "");
        }
    }

    if (quit) drain();
    alarm(0);
    queue_id = -1;
    msgctl(q, IPC_RMID, nullptr);
    if (log_file) fclose(log_file);
    return 0;
}
