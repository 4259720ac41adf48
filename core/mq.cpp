// Client side of the loop-window message queue.
//
// Every exchange with the loop-window process is guarded by SIGALRM: the
// alarm is armed before a call that may wait on the peer and cancelled when
// the call returns.  The default handler ends the program, so a peer that
// stops answering can never leave this program hanging.

#include "core/mq.h"

#include "core/flags.h"
#include "core/util.h"

#include <sys/ipc.h>
#include <sys/msg.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

constexpr uint32_t DEBUG_LEVEL = 0x80000000u;

int alarm_timeout = MQ_DEFAULT_TIMEOUT;
void (*alarm_handler)(int) = nullptr;
int key_offset = 0;

// MQ_clear drops at most this many messages per call, so a peer that keeps
// filling the queue cannot keep us in the loop.
constexpr int CLEAR_LIMIT = 10000;

void install_alarm(void (*handler)(int)) {
    struct sigaction sa{};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a handler that returns must interrupt a blocked
    // msgsnd/msgrcv (System V calls are never restarted anyway).
    sa.sa_flags = 0;
    sigaction(SIGALRM, &sa, nullptr);
}

double now_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

char channel_char(int channel) { return static_cast<char>('0' + channel); }

}  // namespace

void MQ_set_timeout(int seconds) {
    // alarm(0) would mean "no alarm" and let a silent peer hold us forever,
    // so anything below one second is taken as one second.
    alarm_timeout = seconds < 1 ? 1 : seconds;
}

void MQ_set_alarm_handler(void (*handler)(int)) { alarm_handler = handler; }

void MQ_set_key_offset(int offset) { key_offset = offset; }

void MQ_intrp(int) {
    MESS_print(MESS_WARN, "Queue not responding!!\n");
    ZYR_request_exit(7);
}

void MQ_enable_alarm() {
    install_alarm(alarm_handler ? alarm_handler : MQ_intrp);
    alarm(static_cast<unsigned>(alarm_timeout));
}

void MQ_disable_alarm() { alarm(0); }

int MQ_open(int number) {
    if (ZYR_exit_requested()) return -1;
    install_alarm(MQ_intrp);
    // Any failure (no such queue, no permission) gives -1; every other call
    // of this module refuses a negative queue id, so nothing is ever sent on
    // a queue that failed to open.
    // Key 0 is IPC_PRIVATE, for which msgget always makes a new queue that
    // no loop window listens on ("#0" or "#abc" in the search list).
    key_t key = static_cast<key_t>(number + key_offset);
    if (key == IPC_PRIVATE) return -1;
    int queue = msgget(key, 0);
    return queue < 0 ? -1 : queue;
}

int MQ_clear(int queue, long type) {
    if (queue < 0 || ZYR_exit_requested()) return -1;
    MQ_MSG msg;
    int dropped = 0;
    while (dropped < CLEAR_LIMIT &&
           msgrcv(queue, &msg, MQ_TEXT_SIZE, type, IPC_NOWAIT | MSG_NOERROR) >= 0)
        ++dropped;
    return dropped;
}

int MQ_connect(int queue) {
    if (queue < 0 || ZYR_exit_requested()) return -1;
    MQ_clear(queue, MQ_TYPE_CONNECT);

    MQ_MSG msg{};
    msg.type = MQ_TYPE_CLIENT;
    msg.text[0] = channel_char(-1);
    snprintf(msg.text + 1, MQ_TEXT_SIZE - 1, "%d", static_cast<int>(getuid()));

    // The alarm is armed before the request rather than after it, so that a
    // full queue cannot block the send without a time-out either.
    MQ_enable_alarm();
    if (msgsnd(queue, &msg, MQ_TEXT_SIZE, 0) < 0) {
        MQ_disable_alarm();
        return -1;
    }
    MQ_MSG reply{};
    ssize_t n = msgrcv(queue, &reply, MQ_TEXT_SIZE, MQ_TYPE_CONNECT, MSG_NOERROR);
    if (n < 0 || reply.text[0] != channel_char(2) || ZYR_exit_requested()) {
        MQ_disable_alarm();
        return -1;
    }
    reply.text[MQ_TEXT_SIZE - 1] = '\0';
    char *end = nullptr;
    long channel = strtol(reply.text + 1, &end, 10);
    // A channel is used as a message type, which must be positive.
    if (end == reply.text + 1 || channel < 1 || channel > 100000) {
        MQ_disable_alarm();
        return -1;
    }
    // Replies still waiting on the channel belong to an earlier holder of
    // it; drop them so they are not read as answers to our queries.
    MQ_clear(queue, channel);
    MQ_disable_alarm();
    return static_cast<int>(channel);
}

int MQ_put(int queue, int channel, const char *format, ...) {
    if (queue < 0 || ZYR_exit_requested()) return -1;
    MQ_MSG msg{};
    msg.type = MQ_TYPE_CLIENT;
    msg.text[0] = channel_char(channel);
    va_list ap;
    va_start(ap, format);
    // Longer texts are cut to the 118 characters the text area holds.
    vsnprintf(msg.text + 1, MQ_TEXT_SIZE - 1, format, ap);
    va_end(ap);
    MESS_print(DEBUG_LEVEL, "PUT:%d:%s\n", channel, msg.text);

    MQ_enable_alarm();
    int result = msgsnd(queue, &msg, MQ_TEXT_SIZE, 0);
    MQ_disable_alarm();
    return result;
}

int MQ_get(int queue, int channel, char *out) {
    if (queue < 0 || ZYR_exit_requested()) {
        out[0] = '\0';
        return -1;
    }
    MQ_MSG msg{};
    MQ_enable_alarm();
    // With the default handler the alarm requests the program's end, and
    // polling stops at once.  A replacement handler may just return;
    // polling then stops once the time-out has passed, as if the receive
    // had failed.
    const double give_up = now_seconds() + alarm_timeout + 1;
    ssize_t n = -1;
    int err = 0;
    for (int tries = 1;; ++tries) {
        n = msgrcv(queue, &msg, MQ_TEXT_SIZE, channel, IPC_NOWAIT | MSG_NOERROR);
        err = n < 0 ? errno : 0;
        MESS_print(DEBUG_LEVEL, "GET-MSG:%d %d %d %d\n", channel, static_cast<int>(n), err, tries);
        if (tries > 200)
            ZYR_sleep(1.0f);
        else if (tries >= 3)
            ZYR_sleep(0.1f);
        if (n >= 0 || err != ENOMSG) break;
        if (ZYR_exit_requested()) break;
        if (alarm_handler && now_seconds() > give_up) break;
    }
    MQ_disable_alarm();
    if (ZYR_exit_requested()) {
        out[0] = '\0';
        return -1;
    }

    if (n < 0) {
        out[0] = '\0';
        MESS_print(DEBUG_LEVEL, "GET:%s\n", out);
        return -1;
    }
    msg.text[MQ_TEXT_SIZE - 1] = '\0';
    MESS_print(DEBUG_LEVEL, "GET:%s\n", msg.text);
    // text[0] is the reply code; the rest (at most 118 characters) is the text.
    memcpy(out, msg.text + 1, strlen(msg.text + 1) + 1);
    return msg.text[0] - '0';
}

void MQ_reset()
{
    alarm_timeout = MQ_DEFAULT_TIMEOUT;
    alarm_handler = nullptr;
    key_offset = 0;
}
