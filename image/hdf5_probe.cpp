// The netCDF-4 open probe.  A file is opened first by a throw-away process,
// and the program opens it itself only when that process got through.
//
// Forking the throw-away process from the reader's own process is what
// costs, far more than the open: fork copies the page tables, and after it
// every page the reader writes again (the heap it reuses for strips, chunk
// caches and the image) takes a fault, because fork left the page shared
// with the child.  A full-disk read in a long-running process takes some
// fourteen thousand of those faults.  So the throw-away processes are
// forked by a probe server instead: a child forked once, at the first
// probe, that waits on a socket.  The bytes reach it through a memfd; it
// forks one child per file, which opens and closes them and reports
// through a pipe.  The reader's process forks only once.  Should the
// server be unavailable, the reader's process forks the throw-away child
// itself.
#include "image/hdf5_probe.h"

#include <fcntl.h>
#include <malloc.h>
#include <netcdf.h>
#include <netcdf_mem.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>

namespace rdr {
namespace {

// A probe that has not finished by then counts as dead (a hang).
constexpr unsigned PROBE_SECONDS = 10;
constexpr size_t MAX_NAME = 4096;
// The server's replies.
constexpr char SURVIVES = 'y', DIES = 'n', NO_PROBE = '?';

struct Request {
    uint64_t size;
    uint64_t name_len;  // as wide as size: no padding bytes go over the socket
};

bool is_hdf5(const unsigned char *b, size_t n) { return n >= 8 && !std::memcmp(b, "\x89HDF\r\n\x1a\n", 8); }

bool send_all(int sock, const void *p, size_t n)
{
    const char *c = static_cast<const char *>(p);
    while (n) {
        const ssize_t k = send(sock, c, n, MSG_NOSIGNAL);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        c += k, n -= (size_t)k;
    }
    return true;
}

bool recv_all(int fd, void *p, size_t n)
{
    char *c = static_cast<char *>(p);
    while (n) {
        const ssize_t k = read(fd, c, n);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        c += k, n -= (size_t)k;
    }
    return true;
}

pid_t wait_child(pid_t pid, int *status)
{
    pid_t r;
    while ((r = waitpid(pid, status, 0)) < 0 && errno == EINTR) {}
    return r;
}

// In a forked process: standard input and output on /dev/null, the
// program's signal handlers and mask gone (the deadline must fire, and a
// handler of the program must not run here).
void detach()
{
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        for (int fd = 0; fd <= 2; ++fd)
            if (fd != null) dup2(null, fd);
        if (null > 2) close(null);
    }
    for (int sig = 1; sig < NSIG; ++sig)
        if (sig != SIGKILL && sig != SIGSTOP) std::signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

// The probe itself, in a throw-away process; returns when it got through.
// Memory the library allocates here starts as garbage instead of the zeros
// that fresh pages often hold: a pointer it frees without having set it (as
// on the fuzzer's file) then kills this process every time, rather than
// passing as a null pointer by luck here and doing harm in the program's
// own open.
void try_open(const char *name, const unsigned char *bytes, size_t size)
{
    mallopt(M_PERTURB, 0xa5);
    alarm(PROBE_SECONDS);
    int id;
    if (nc_open_mem(name, NC_NOWRITE, size, const_cast<unsigned char *>(bytes), &id) != NC_NOERR) return;
    // The library reads the rest of a variable's header (fill value,
    // attributes, attached dimension scales) when it is first asked about
    // the variable, and the reader asks about each one; a damaged scale can
    // loop there without end.  So each is asked about here too.
    int n = 0;
    if (nc_inq_nvars(id, &n) == NC_NOERR)
        for (int v = 0; v < n; ++v) {
            nc_type type;
            int dims, atts;
            nc_inq_var(id, v, nullptr, &type, &dims, nullptr, &atts);
        }
    nc_close(id);
}

// The server's loop: a request (size, name length, name; the bytes in the
// memfd) gets one reply.  The throw-away child reports to the server
// through a pipe as soon as it got through, so the reply does not wait for
// the child's exit.  Ends when the reader's process closes its end.
[[noreturn]] void serve(int sock, int mem)
{
    char name[MAX_NAME + 1];
    for (;;) {
        Request rq;
        if (!recv_all(sock, &rq, sizeof rq) || rq.name_len > MAX_NAME || !recv_all(sock, name, rq.name_len))
            _exit(0);
        name[rq.name_len] = '\0';
        void *bytes = rq.size ? mmap(nullptr, rq.size, PROT_READ, MAP_SHARED, mem, 0) : MAP_FAILED;
        int report[2] = {-1, -1};
        pid_t child = -1;
        if (bytes != MAP_FAILED && pipe2(report, O_CLOEXEC) == 0) {
            child = fork();
            if (child == 0) {
                close(report[0]);
                try_open(name, static_cast<const unsigned char *>(bytes), rq.size);
                const char done = SURVIVES;
                _exit(write(report[1], &done, 1) == 1 ? 0 : 1);
            }
            close(report[1]);
        }
        char reply = NO_PROBE;
        if (child > 0 && !recv_all(report[0], &reply, 1)) reply = DIES;  // end of pipe: it died first
        if (report[0] >= 0) close(report[0]);
        const bool sent = send_all(sock, &reply, 1);
        int status;
        if (child > 0) wait_child(child, &status);
        if (bytes != MAP_FAILED) munmap(bytes, rq.size);
        if (!sent) _exit(0);
    }
}

// The caller's copy of the bytes as the server sees it, given back: the
// server never reads it, and a large file would otherwise stay in memory
// for as long as the server runs, after the caller has freed it.
void drop_snapshot(const unsigned char *bytes, size_t size)
{
    const uintptr_t page = (uintptr_t)sysconf(_SC_PAGESIZE);
    const uintptr_t from = ((uintptr_t)bytes + page - 1) & ~(page - 1);
    const uintptr_t to = ((uintptr_t)bytes + size) & ~(page - 1);
    if (to > from) madvise(reinterpret_cast<void *>(from), to - from, MADV_DONTNEED);
}

// The server as the reader's process sees it.  `owner` is the process that
// started it: a process forked from the owner has the same fields and
// descriptors, and starts a server of its own.
struct Server {
    pid_t pid = -1, owner = -1;
    int sock = -1, mem = -1;
};
Server server;

// Forgets the server.  One that failed to answer is gone or going (it ends
// when its socket closes); it is reaped here if it has ended already, and
// never signalled, since a process of that number may no longer be it (the
// program's own waits for its commands reap any child).
void stop_server()
{
    if (server.owner > 0) {
        close(server.sock);
        close(server.mem);
    }
    if (server.owner == getpid()) {
        int status;
        while (waitpid(server.pid, &status, WNOHANG) < 0 && errno == EINTR) {}
    }
    server = Server{};
}

bool start_server(const unsigned char *bytes, size_t size)
{
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return false;
    const int mem = memfd_create("hdf5-probe", MFD_CLOEXEC);
    if (mem < 0) {
        close(sv[0]);
        close(sv[1]);
        return false;
    }
    const pid_t owner = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        // Gone with the reader's process, and out of its terminal's process
        // group (an interrupt is for the program to handle).
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != owner) _exit(0);
        setpgid(0, 0);
        int sock = sv[1], file = mem;
        if (sock <= 2) sock = fcntl(sock, F_DUPFD, 3);
        if (file <= 2) file = fcntl(file, F_DUPFD, 3);
        detach();
        drop_snapshot(bytes, size);
        // Nothing else of the program's stays open here (a pipe to a
        // command it runs must see its end when the program closes it).
        const int lo = std::min(sock, file), hi = std::max(sock, file);
        if (lo > 3) close_range(3, (unsigned)lo - 1, 0);
        if (hi > lo + 1) close_range((unsigned)lo + 1, (unsigned)hi - 1, 0);
        close_range((unsigned)hi + 1, ~0U, 0);
        serve(sock, file);
    }
    close(sv[1]);
    if (pid < 0) {
        close(sv[0]);
        close(mem);
        return false;
    }
    server = Server{pid, owner, sv[0], mem};
    return true;
}

// The server's verdict on the bytes, or NO_PROBE when it cannot give one.
char ask_server(const char *name, const unsigned char *bytes, size_t size)
{
    const size_t name_len = std::strlen(name);
    if (name_len > MAX_NAME) return NO_PROBE;
    if (server.owner != getpid()) {
        stop_server();
        if (!start_server(bytes, size)) return NO_PROBE;
    }
    if (ftruncate(server.mem, (off_t)size) != 0) return NO_PROBE;
    void *copy = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, server.mem, 0);
    if (copy == MAP_FAILED) return NO_PROBE;
    std::memcpy(copy, bytes, size);
    munmap(copy, size);
    const Request rq{size, name_len};
    char reply = NO_PROBE;
    const bool answered = send_all(server.sock, &rq, sizeof rq) && send_all(server.sock, name, name_len) &&
                          recv_all(server.sock, &reply, 1);
    // The copy's memory goes back now; the server holds no view of it that
    // it still reads.
    (void)!ftruncate(server.mem, 0);
    if (!answered) {
        stop_server();  // the next probe starts a new one
        return NO_PROBE;
    }
    return reply;
}

// The throw-away process forked from the reader's own process.
bool probe_here(const char *name, const unsigned char *bytes, size_t size)
{
    const pid_t pid = fork();
    if (pid < 0) return true;  // no probe possible: open it as before
    if (pid == 0) {
        detach();
        try_open(name, bytes, size);
        _exit(0);
    }
    int status = 0;
    if (wait_child(pid, &status) < 0) return true;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool hdf5_open_survives(const char *name, const unsigned char *bytes, size_t size)
{
    if (!is_hdf5(bytes, size)) return true;
    // The libraries are loaded and set up here, once, so that every process
    // forked from now on has them ready instead of setting them up to throw
    // away.
    static const int ready = nc_initialize();
    (void)ready;
    const char verdict = ask_server(name, bytes, size);
    return verdict == NO_PROBE ? probe_here(name, bytes, size) : verdict == SURVIVES;
}

}  // namespace rdr
