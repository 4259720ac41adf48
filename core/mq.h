// Client side of the loop-window message queue (System V).  The loop-window
// process holds resource values for the programs it starts; a program
// reaches it through a queue whose key is a number from the defaults search
// list.  Every message carries a 120-byte text area: one channel character
// ('0' + channel for a sender, '0' + reply code for a replier, '/' for a
// connection request) followed by NUL-terminated text.
#pragma once

enum {
    MQ_TEXT_SIZE = 120,      // channel character + text + NUL
    MQ_TYPE_CLIENT = 1,      // every message from a client
    MQ_TYPE_CONNECT = 2,     // the reply to a connection request
    MQ_DEFAULT_TIMEOUT = 20, // seconds before an unanswered exchange ends the program
};

struct MQ_MSG {
    long type;
    char text[MQ_TEXT_SIZE];
};

int MQ_open(int number);
int MQ_connect(int queue);
int MQ_put(int queue, int channel, const char *format, ...) __attribute__((format(printf, 3, 4)));
int MQ_get(int queue, int channel, char *out);
int MQ_clear(int queue, long type);
void MQ_enable_alarm();
void MQ_disable_alarm();
// The default alarm handler: prints "Queue not responding!!" and requests
// the end of the program with status 7 (ZYR_request_exit).  The blocked
// send or receive then fails; while an end is requested every function
// here returns -1 at once, without touching the queue.
void MQ_intrp(int sig);

// Module settings: the alarm time-out in seconds (default 20), an alarm
// handler replacing MQ_intrp (null restores it), and the key offset added to
// every queue number (0 in this program).
void MQ_set_timeout(int seconds);
void MQ_set_alarm_handler(void (*handler)(int));
void MQ_set_key_offset(int offset);
// Program start: the default time-out, no alarm handler of the caller's, no
// key offset.
void MQ_reset();
