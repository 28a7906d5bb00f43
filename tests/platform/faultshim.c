/* Failure injector for the safe-write tests, loaded with LD_PRELOAD into the
 * write helper. VX_FAULT="<call>:<action>[:<n>]" (up to four, comma-separated) makes the n-th call
 * (from 1; default 1) of <call> and every later one fail with errno <action> (ENOSPC, EIO, EXDEV,
 * EPERM, EDQUOT, EOPNOTSUPP, ENOSYS, EINVAL), write short ("short": one byte at a time, always;
 * "zero": nothing), or kill the process ("KILL", only the n-th call), or take longer
 * ("delay<ms>": sleeps that many milliseconds, then does the call, as a slow disk would). <call>
 * is write (write and pwrite), read (read and pread; delays only), fsync, syncfs, rename (rename
 * and renameat2), fallocate, readdir (readdir64; delays only) or openat2 (made through syscall(2)). Only descriptors and paths inside
 * VX_FAULT_DIR are touched, except that openat2 is refused everywhere, as a seccomp filter refuses
 * it. */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

struct fault {
    char call[32];
    char action[32];
    long from;
    long count;
};
static struct fault faults[4];
static int fault_total;
static const char* fault_dir;
static int parsed;

static void parse(void) {
    if (parsed)
        return;
    parsed = 1;
    const char* setting = getenv("VX_FAULT");
    fault_dir = getenv("VX_FAULT_DIR");
    if (setting == NULL)
        return;
    char copy[256];
    strncpy(copy, setting, sizeof copy - 1);
    copy[sizeof copy - 1] = '\0';
    char* save = NULL;
    for (char* one = strtok_r(copy, ",", &save); one != NULL && fault_total < 4;
         one = strtok_r(NULL, ",", &save)) {
        char* inner = NULL;
        char* call = strtok_r(one, ":", &inner);
        char* action = strtok_r(NULL, ":", &inner);
        char* from = strtok_r(NULL, ":", &inner);
        if (call == NULL || action == NULL)
            continue;
        struct fault* f = &faults[fault_total++];
        strncpy(f->call, call, sizeof f->call - 1);
        strncpy(f->action, action, sizeof f->action - 1);
        f->from = from != NULL ? strtol(from, NULL, 10) : 1;
    }
}

static int inside(const char* path) {
    parse();
    return fault_dir != NULL && path != NULL && strncmp(path, fault_dir, strlen(fault_dir)) == 0;
}

/* The path an open descriptor stands for, optionally followed by "/" and name. */
static int fd_path_inside(int fd, const char* name) {
    char link[64];
    char path[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, sizeof path - 1);
    if (n < 0)
        return 0;
    path[n] = '\0';
    if (name != NULL) {
        strncat(path, "/", sizeof path - strlen(path) - 1);
        strncat(path, name, sizeof path - strlen(path) - 1);
    }
    return inside(path);
}

static int fd_inside(int fd) {
    return fd_path_inside(fd, NULL);
}

static int error_number(const char* name) {
    if (strcmp(name, "ENOSPC") == 0)
        return ENOSPC;
    if (strcmp(name, "EIO") == 0)
        return EIO;
    if (strcmp(name, "EXDEV") == 0)
        return EXDEV;
    if (strcmp(name, "EPERM") == 0)
        return EPERM;
    if (strcmp(name, "EDQUOT") == 0)
        return EDQUOT;
    if (strcmp(name, "EOPNOTSUPP") == 0)
        return EOPNOTSUPP;
    if (strcmp(name, "ENOSYS") == 0)
        return ENOSYS;
    if (strcmp(name, "EINVAL") == 0)
        return EINVAL;
    return 0;
}

/* 0: do the call; 1: fail with errno set; 2: write short; 3: write nothing */
static int decide(const char* call, int applies) {
    parse();
    if (!applies)
        return 0;
    for (int i = 0; i < fault_total; ++i) {
        struct fault* f = &faults[i];
        if (strcmp(call, f->call) != 0)
            continue;
        ++f->count;
        if (strcmp(f->action, "KILL") == 0) {
            if (f->count == f->from)
                raise(SIGKILL);
            return 0;
        }
        if (f->count < f->from)
            return 0;
        if (strncmp(f->action, "delay", 5) == 0) {
            const long ms = strtol(f->action + 5, NULL, 10);
            const struct timespec pause = {ms / 1000, (ms % 1000) * 1000000L};
            nanosleep(&pause, NULL);
            return 0;
        }
        if (strcmp(f->action, "short") == 0)
            return 2;
        if (strcmp(f->action, "zero") == 0)
            return 3;
        errno = error_number(f->action);
        return errno != 0 ? 1 : 0;
    }
    return 0;
}

#define NEXT(name, type) ((type)dlsym(RTLD_NEXT, name))

/* Whether any fault names call: reads are many, most of them not the files'. */
static int named(const char* call) {
    parse();
    for (int i = 0; i < fault_total; ++i)
        if (strcmp(call, faults[i].call) == 0)
            return 1;
    return 0;
}

ssize_t read(int fd, void* buf, size_t n) {
    decide("read", named("read") && fd > 2 && fd_inside(fd));
    return NEXT("read", ssize_t(*)(int, void*, size_t))(fd, buf, n);
}

ssize_t pread64(int fd, void* buf, size_t n, off_t offset) {
    decide("read", named("read") && fd > 2 && fd_inside(fd));
    return NEXT("pread64", ssize_t(*)(int, void*, size_t, off_t))(fd, buf, n, offset);
}

ssize_t pread(int fd, void* buf, size_t n, off_t offset) {
    return pread64(fd, buf, n, offset);
}

ssize_t write(int fd, const void* buf, size_t n) {
    const int d = decide("write", fd > 2 && fd_inside(fd));
    if (d == 1)
        return -1;
    if (d == 3)
        return 0;
    if (d == 2 && n > 1)
        n = 1;
    return NEXT("write", ssize_t(*)(int, const void*, size_t))(fd, buf, n);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off_t offset) {
    const int d = decide("write", fd > 2 && fd_inside(fd));
    if (d == 1)
        return -1;
    if (d == 3)
        return 0;
    if (d == 2 && n > 1)
        n = 1;
    return NEXT("pwrite64", ssize_t(*)(int, const void*, size_t, off_t))(fd, buf, n, offset);
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t offset) {
    return pwrite64(fd, buf, n, offset);
}

int fsync(int fd) {
    if (decide("fsync", fd_inside(fd)) == 1)
        return -1;
    return NEXT("fsync", int (*)(int))(fd);
}

int syncfs(int fd) {
    if (decide("syncfs", fd_inside(fd)) == 1)
        return -1;
    return NEXT("syncfs", int (*)(int))(fd);
}

int rename(const char* from, const char* to) {
    if (decide("rename", inside(to)) == 1)
        return -1;
    return NEXT("rename", int (*)(const char*, const char*))(from, to);
}

/* A name relative to an open folder, as a path. */
static int inside_at(int dir, const char* name) {
    if (name == NULL || name[0] == '/' || dir == AT_FDCWD)
        return inside(name);
    return fd_path_inside(dir, name);
}

int renameat2(int fromdir, const char* from, int todir, const char* to, unsigned int flags) {
    if (decide("rename", inside_at(todir, to)) == 1)
        return -1;
    return NEXT("renameat2", int (*)(int, const char*, int, const char*, unsigned int))(
        fromdir, from, todir, to, flags);
}

int fallocate64(int fd, int mode, off_t offset, off_t len) {
    if (decide("fallocate", fd_inside(fd)) == 1)
        return -1;
    return NEXT("fallocate64", int (*)(int, int, off_t, off_t))(fd, mode, offset, len);
}

int fallocate(int fd, int mode, off_t offset, off_t len) {
    return fallocate64(fd, mode, offset, len);
}

struct dirent* readdir(DIR* dir) {
    decide("readdir", dir != NULL && fd_inside(dirfd(dir)));
    return NEXT("readdir", struct dirent * (*)(DIR*))(dir);
}

struct dirent64* readdir64(DIR* dir) {
    decide("readdir", dir != NULL && fd_inside(dirfd(dir)));
    return NEXT("readdir64", struct dirent64 * (*)(DIR*))(dir);
}
/* syscall(2) passes up to six arguments the size of a long. */
long syscall(long number, ...) {
    va_list ap;
    va_start(ap, number);
    long a[6];
    for (int i = 0; i < 6; ++i)
        a[i] = va_arg(ap, long);
    va_end(ap);
#ifdef SYS_openat2
    if (number == SYS_openat2 && decide("openat2", 1) == 1)
        return -1;
#endif
    return NEXT("syscall", long (*)(long, ...))(number, a[0], a[1], a[2], a[3], a[4], a[5]);
}
