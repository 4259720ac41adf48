// Process utilities: the version text, detaching the process, the requested
// end of the program, the
// terminal prompts with their "set" commands, the sleep and elapsed-time
// clock, and the table of child processes started by ZYR_run.

#include "core/util.h"

#include "core/flags.h"
#include "core/res.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

#if defined(__linux__)
#define ZYR_OS_NAME "Linux"
#elif defined(__APPLE__)
#define ZYR_OS_NAME "Darwin"
#else
#define ZYR_OS_NAME "Unix"
#endif

// One fixed text: version number, operating system, window system.
constexpr const char version_text[] = ZYR_VERSION_TEXT " " ZYR_OS_NAME " X11";

// A prompt reads at most this many characters of a line.
constexpr int PROMPT_LINE = 80;

// Elapsed-time clock.
struct timeval start_time = {0, 0};
bool start_set = false;
float elapse = 0.0f;

// Child-process table.
constexpr int MAX_PROC = 10;
constexpr int PROC_NAME = 20;
constexpr int PROC_FILE = 160;

struct Proc {
    pid_t pid = -1;
    char name[PROC_NAME + 1] = {};
};

Proc procs[MAX_PROC];
char in_file[PROC_FILE + 1] = {};
char out_file[PROC_FILE + 1] = {};

// Reads one line from standard input into line (PROMPT_LINE + 1 bytes); the
// part of a longer line beyond PROMPT_LINE characters is read and dropped so
// that it does not turn into the next answer.  False at end of input with
// nothing read.
bool read_prompt_line(char *line)
{
    int len = 0;
    int c = EOF;
    bool any = false;
    while ((c = getc(stdin)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        if (len < PROMPT_LINE)
            line[len++] = static_cast<char>(c);
    }
    line[len] = '\0';
    return any;
}

// The requested end: 0 none, else the status plus one.  One word a signal
// handler can write.
volatile sig_atomic_t exit_request = 0;

// The shared prompt loop: print the prompt, read a line, trim it, scan it
// with format into dest, offer the line as a command; again while nothing
// was scanned or the line was a "set" command.  False when the line asked
// to end the program or input ended.
//
// At the end of standard input a prompt can never be answered; asking again
// would spin forever.  We treat it like the answer "exit" (status 0), after
// a line feed so the terminal is left on a fresh line.
bool prompt_loop(const char *prompt, const char *format, void *dest)
{
    char line[PROMPT_LINE + 1];
    for (;;) {
        if (prompt)
            MESS_print(MESS_PRINT, "%s", prompt);
        fflush(stdout);
        if (!read_prompt_line(line)) {
            MESS_print(MESS_PRINT, "\n");
            ZYR_request_exit(0);
            return false;
        }
        wstrim_string(line);
        int got = sscanf(line, format, dest);
        int command = ZYR_set_command(line);
        if (command == -1)
            return false;
        if (command == 1)
            continue;
        if (got == 1)
            return true;
    }
}

// A text prompt's result: the answer, or null when the program is to end
// (the caller's buffer then holds an empty text; one the prompt allocated
// is freed).
char *answer_or_null(bool answered, char *out, bool allocated)
{
    if (answered)
        return out;
    out[0] = '\0';
    if (allocated)
        free(out);
    return nullptr;
}

void set_name(char *dst, const char *name)
{
    strntcpy(dst, name ? name : "", PROC_NAME + 1);
}

// Points standard input at the redirection input file (or /dev/null) and,
// when an output file is set, standard output at it.  Runs in a child.
void redirect_child()
{
    const char *in = in_file[0] ? in_file : "/dev/null";
    int fd = open(in, O_RDONLY);
    if (fd < 0) {
        fprintf(stderr, "ZYR_run: Cannot open input %s: %s\n", in, strerror(errno));
        _exit(2);
    }
    if (fd != 0) {
        dup2(fd, 0);
        close(fd);
    }
    if (out_file[0]) {
        fd = open(out_file, O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd < 0) {
            fprintf(stderr, "ZYR_run: Cannot create output %s: %s\n", out_file, strerror(errno));
            _exit(2);
        }
        if (fd != 1) {
            dup2(fd, 1);
            close(fd);
        }
    }
}

// Exit status of a waited-for child: its exit code, or 128 plus the signal
// number when a signal ended it (the shells' convention).
int child_status(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

// Waits for one foreground child; children of the table that end meanwhile
// are reaped and their entries cleared.
int wait_for(pid_t pid)
{
    for (;;) {
        int status = 0;
        pid_t done = wait(&status);
        if (done == pid)
            return child_status(status);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            MESS_print(MESS_ERROR, "ZYR_run: Waiting for %d: %s\n", static_cast<int>(pid),
                       strerror(errno));
            return -1;
        }
        ZYR_clr_proc(done);
    }
}

// Common start of ZYR_run and ZYR_run_func: a background start needs a free
// table entry, which is checked before anything is forked.
bool room_for_background(int mode)
{
    if (!(mode & 2))
        return true;
    ZYR_chk_proc();
    if (ZYR_numproc() < MAX_PROC)
        return true;
    MESS_print(MESS_ERROR, "ZYR_run: Too many background processes (%d)\n", MAX_PROC);
    return false;
}

// After the fork in the parent: record a background child and return its
// process id, or wait for a foreground child and return its status.
int finish_parent(pid_t pid, const char *name, int mode)
{
    if (mode & 2) {
        ZYR_add_proc(pid, name);
        return static_cast<int>(pid);
    }
    return wait_for(pid);
}

} // namespace

// ---- process ----

const char *ZYR_version()
{
    return version_text;
}

void ZYR_request_exit(int status)
{
    if (exit_request == 0)
        exit_request = status + 1;
}

bool ZYR_exit_requested()
{
    return exit_request != 0;
}

int ZYR_exit_status()
{
    return exit_request == 0 ? 0 : exit_request - 1;
}

void ZYR_clear_exit()
{
    exit_request = 0;
}

// A fork failure leaves nothing detached; it is reported and 0 returned, the
// same answer as when /dev/null cannot be opened, so the caller gives up.
// The parent's part ends here: it asks for the program's end with status 0
// and returns -1, so that its callers unwind to the program, which ends it.
//
// The child must outlive the terminal the command ran in: when the shell
// ends, the hang-up goes to the terminal's session, and the child would get
// it before it has left.  So the hang-up is ignored from before the fork
// until the child runs in a session of its own, without a terminal; then
// its disposition is what it was, as it is in the parent when the fork
// fails.
int ZYR_back_proc()
{
    fflush(nullptr);
    struct sigaction ignore {}, hangup {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGHUP, &ignore, &hangup);
    pid_t pid = fork();
    if (pid < 0) {
        sigaction(SIGHUP, &hangup, nullptr);
        MESS_print(MESS_ERROR, "ZYR_back_proc: Cannot fork: %s\n", strerror(errno));
        return 0;
    }
    if (pid > 0) {
        ZYR_request_exit(0);
        return -1;
    }

    setsid();
    sigaction(SIGHUP, &hangup, nullptr);
    signal(SIGINT, SIG_DFL);
    close(0);
    close(1);
    close(2);
    // open returns the lowest free descriptor: 0, then 1 and 2 as copies.
    int fd = open("/dev/null", O_RDWR);
    if (fd != 0)
        return 0;
    if (dup2(0, 1) != 1 || dup2(0, 2) != 2)
        return 0;
    clearerr(stdin);
    clearerr(stdout);
    clearerr(stderr);
    return 1;
}

char *ZYR_prompts(const char *prompt, char *out, int n)
{
    if (n < 2)
        n = 2;
    const bool allocated = !out;
    if (!out) {
        out = static_cast<char *>(malloc(static_cast<size_t>(n) + 1));
        if (!out)
            return nullptr;
    }
    char format[24];
    snprintf(format, sizeof format, "%%%ds", n - 1);
    out[0] = '\0';
    return answer_or_null(prompt_loop(prompt, format, out), out, allocated);
}

float ZYR_promptf(const char *prompt)
{
    float value = 0.0f;
    return prompt_loop(prompt, "%f", &value) ? value : 0.0f;
}

int ZYR_promptd(const char *prompt)
{
    int value = 0;
    return prompt_loop(prompt, "%d", &value) ? value : 0;
}

char *ZYR_promptl(const char *prompt, char *out)
{
    const bool allocated = !out;
    if (!out) {
        out = static_cast<char *>(malloc(81));
        if (!out)
            return nullptr;
    }
    out[0] = '\0';
    return answer_or_null(prompt_loop(prompt, "%19s", out), out, allocated);
}

// The keywords are matched as line prefixes, as documented for the prompts:
// "set" in any case, "exit" exactly as written.
int ZYR_set_command(const char *line)
{
    if (!line)
        return 0;
    if (strnicmp(line, "set", 3) == 0) {
        char name[PROMPT_LINE + 1];
        int pos = -1;
        int got = sscanf(line, "%*s %80[^= ]%*[= ]%n", name, &pos);
        if (got == 1) {
            // "set name" with nothing after the name stores an empty value.
            const char *rest = pos >= 0 ? line + pos : "";
            char *value = create_string(rest);
            if (value) {
                wstrim_string(value);
                RES_put(name, value);
                free(value);
            }
        } else {
            MESS_print(2048, "Set resources\n");
            RES_list();
            MESS_print(2048, "\n");
        }
        return 1;
    }
    if (strncmp(line, "exit", 4) == 0) {
        ZYR_request_exit(0);
        return -1;
    }
    return 0;
}

int ZYR_sleep(float seconds)
{
    if (!(seconds > 0.0f))
        return -1;
    elapse += seconds;
    // Cap absurd requests so the conversion below cannot overflow.
    double s = seconds > 1.0e9f ? 1.0e9 : static_cast<double>(seconds);
    struct timespec want;
    want.tv_sec = static_cast<time_t>(s);
    want.tv_nsec = static_cast<long>((s - static_cast<double>(want.tv_sec)) * 1.0e6) * 1000L;
    struct timespec left;
    while (nanosleep(&want, &left) != 0 && errno == EINTR)
        want = left;
    return 0;
}

void ZYR_init_time()
{
    gettimeofday(&start_time, nullptr);
    start_set = true;
    elapse = 0.0f;
}

// Before ZYR_init_time there is no start to measure from; the sum of the
// seconds slept is the best answer then, as it is when the clock has no
// microsecond resolution (it reports exactly zero microseconds).
float ZYR_elapse_time()
{
    struct timeval now;
    gettimeofday(&now, nullptr);
    if (!start_set || now.tv_usec == 0)
        return elapse;
    long sec = static_cast<long>(now.tv_sec - start_time.tv_sec);
    long usec = static_cast<long>(now.tv_usec - start_time.tv_usec);
    if (usec < 0) {
        sec -= 1;
        usec += 1000000L;
    }
    return static_cast<float>(sec) + static_cast<float>(usec) / 1.0e6f;
}

int ZYR_get_pid()
{
    return static_cast<int>(getpid());
}

long ZYR_get_virt_mem()
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(getpid()));
    FILE *fp = fopen(path, "r");
    if (!fp)
        return 0;
    char buf[1024];
    size_t len = fread(buf, 1, sizeof buf - 1, fp);
    fclose(fp);
    buf[len] = '\0';
    // The second field is the command name in parentheses and may hold
    // blanks; the fields are counted from after its closing parenthesis,
    // which is followed by field 3.  The virtual memory size is field 23.
    const char *p = strrchr(buf, ')');
    if (!p)
        return 0;
    unsigned long vsize = 0;
    if (sscanf(p + 1, "%*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s "
                      "%*s %*s %lu",
               &vsize) != 1)
        return 0;
    return static_cast<long>(vsize);
}

namespace {

// Forks for ZYR_run and ZYR_run_func once the table has room for a
// background child: the child's id in the parent, 0 in the child, -1 after
// printing why when no child could be started.
pid_t start_child(const char *who, int mode)
{
    if (!room_for_background(mode))
        return -1;
    fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0)
        MESS_print(MESS_ERROR, "%s: Cannot fork: %s\n", who, strerror(errno));
    return pid;
}

// Ends a child whose command could not be started, with the system's reason.
[[noreturn]] void child_fail(const char *what, const char *name)
{
    char text[200];
    snprintf(text, sizeof text, "%s %s", what, name);
    perror(text);
    _exit(2);
}

} // namespace

// ---- child processes ----

// The entries of env ("NAME=value") are added to the child's environment
// before the command is run; the command itself is found through PATH by
// execvp.  In the background the child's process id is returned (-1 when the
// table is full or fork fails); in the foreground its exit status.
int ZYR_run(const char *dir, char *const argv[], char *const env[], int mode)
{
    if (!argv || !argv[0]) {
        MESS_print(MESS_ERROR, "ZYR_run: No command\n");
        return -1;
    }
    pid_t pid = start_child("ZYR_run", mode);
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if ((mode & 1) && dir && chdir(dir) != 0)
            child_fail("Changing to", dir);
        redirect_child();
        if (env) {
            for (int i = 0; env[i]; i++)
                putenv(env[i]);
        }
        execvp(argv[0], argv);
        child_fail("Running", argv[0]);
    }
    const char *base = strrchr(argv[0], '/');
    return finish_parent(pid, base ? base + 1 : argv[0], mode);
}

// The function's result is the child's exit status (its low eight bits).
// Mode bit 1 has no meaning here, there being no directory to change to.
int ZYR_run_func(int (*f)(void *), void *arg, int mode)
{
    if (!f)
        return -1;
    pid_t pid = start_child("ZYR_run_func", mode);
    if (pid < 0)
        return -1;
    if (pid == 0) {
        redirect_child();
        int rc = f(arg);
        fflush(nullptr);
        // _exit: the parent's exit handlers must not run a second time.
        _exit(rc & 0xFF);
    }
    return finish_parent(pid, "function", mode);
}

int ZYR_add_proc(pid_t pid, const char *name)
{
    for (int i = 0; i < MAX_PROC; i++) {
        if (procs[i].pid == -1) {
            procs[i].pid = pid;
            set_name(procs[i].name, name);
            return i;
        }
    }
    return -1;
}

int ZYR_proc(int i)
{
    if (i < 0 || i >= MAX_PROC)
        return -1;
    return static_cast<int>(procs[i].pid);
}

pid_t ZYR_proc_id(const char *name)
{
    if (!name)
        return -1;
    for (const Proc &p : procs) {
        if (p.pid != -1 && strcmp(p.name, name) == 0)
            return p.pid;
    }
    return -1;
}

const char *ZYR_proc_name(int i)
{
    if (i < 0 || i >= MAX_PROC)
        return nullptr;
    return procs[i].name;
}

int ZYR_set_proc(int i, pid_t pid, const char *name)
{
    if (i < 0 || i >= MAX_PROC)
        return -1;
    procs[i].pid = pid;
    set_name(procs[i].name, pid == -1 ? "" : name);
    return 0;
}

// Returns the index of the cleared entry, -1 when the process is not listed.
int ZYR_clr_proc(pid_t pid)
{
    if (pid == -1)
        return -1;
    for (int i = 0; i < MAX_PROC; i++) {
        if (procs[i].pid == pid) {
            procs[i].pid = -1;
            procs[i].name[0] = '\0';
            return i;
        }
    }
    return -1;
}

// A child of ours that has ended stays a zombie until reaped, and a zombie
// still answers signal 0; so children are reaped first (without waiting),
// then the signal-0 test catches processes that are gone.
int ZYR_chk_proc()
{
    int alive = 0;
    for (Proc &p : procs) {
        if (p.pid == -1)
            continue;
        int status = 0;
        bool dead = p.pid > 0 && waitpid(p.pid, &status, WNOHANG) == p.pid;
        if (!dead && kill(p.pid, 0) != 0 && errno == ESRCH)
            dead = true;
        if (dead) {
            p.pid = -1;
            p.name[0] = '\0';
        } else {
            alive++;
        }
    }
    return alive;
}

int ZYR_numproc()
{
    int n = 0;
    for (const Proc &p : procs) {
        if (p.pid != -1)
            n++;
    }
    return n;
}

// The redirection names stay in force for every later ZYR_run and
// ZYR_run_func until changed; a null or empty name switches them off.
void ZYR_set_infile(const char *name)
{
    strntcpy(in_file, name ? name : "", sizeof in_file);
}

void ZYR_set_outfile(const char *name)
{
    strntcpy(out_file, name ? name : "", sizeof out_file);
}

char *FILE_add_path_delim(char *text)
{
    if (!text) return text;
    size_t n = std::strlen(text);
    // An empty path means the working directory and stays empty, rather than
    // turning into the root directory.
    if (n > 0 && text[n - 1] != '/') {
        text[n] = '/';
        text[n + 1] = '\0';
    }
    return text;
}

const char *FILE_data_dir()
{
    // An installed program finds its data beside itself, so that a copy
    // installed anywhere works whether or not the build tree is still there.
    // A program run where it was built takes the source tree's data; one
    // copied away from both takes the data folder of the configured install
    // prefix (/usr/share/zyrsat for the Debian package).
    static const std::string dir = [] {
        auto is_dir = [](const std::string &path) {
            struct stat st;
            return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        };
        char exe[4096];
        ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
        if (n > 0) {
            exe[n] = '\0';
            std::string bin(exe);
            bin.erase(bin.rfind('/'));
            std::string installed = bin + "/../share/zyrsat";
            if (is_dir(installed)) return installed;
            // Helpers installed in <prefix>/libexec/zyrsat.
            installed = bin + "/../../share/zyrsat";
            if (bin.ends_with("/zyrsat") && is_dir(installed)) return installed;
        }
        if (is_dir(ZYR_DATA_DIR)) return std::string(ZYR_DATA_DIR);
        return std::string(ZYR_INSTALLED_DATA_DIR);
    }();
    return dir.c_str();
}

void ZYR_reset()
{
    start_time = {0, 0};
    start_set = false;
    elapse = 0.0f;
    for (Proc &p : procs) p = Proc{};
    in_file[0] = out_file[0] = '\0';
    ZYR_clear_exit();
}
