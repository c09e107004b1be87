/* A full disk for one folder, loaded with LD_PRELOAD into a process under test.
 *
 * Files opened for writing whose absolute path starts with
 * $QUILLOMAT_FULL_DISK_PREFIX (and contains $QUILLOMAT_FULL_DISK_MATCH after
 * it, when that is set) are watched. Writes to watched files obey the control file
 * named by $QUILLOMAT_FULL_DISK_CONTROL, read again on every such write:
 *   "free" (or no file)  writes pass;
 *   "full"               writes fail with ENOSPC;
 *   a number N           N more bytes pass from the moment this text is first
 *                        seen (the write that crosses it is cut short, as on
 *                        a disk that fills up), then ENOSPC.
 *   "size N"             a file system of N bytes: the regular files under
 *                        the prefix (counted anew at every write) may take
 *                        up to N bytes, the write that crosses it is cut
 *                        short and later ones fail with ENOSPC until files
 *                        are removed; statvfs and statfs of a path under the
 *                        prefix report N bytes, and as free what the files
 *                        leave of them.
 * Opening, renaming and removing still work, as on a real full disk.
 *
 * glibc's stdio writes through its internal write, which cannot be
 * interposed, so fopen of a watched file returns a fopencookie stream whose
 * writes take the same path as write(2). Built without sanitizers: its
 * functions run inside the sanitizer's own interceptors. */
#undef _FORTIFY_SOURCE
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <limits.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#define EXPORT __attribute__((visibility("default")))
#define MAX_WATCHED_FDS 4096

int __open_2(const char* path, int flags);
int __open64_2(const char* path, int flags);
int __openat_2(int dirfd, const char* path, int flags);

typedef int (*OpenFn)(const char*, int, ...);
typedef int (*OpenAtFn)(int, const char*, int, ...);
typedef FILE* (*FopenFn)(const char*, const char*);
typedef ssize_t (*WriteFn)(int, const void*, size_t);
typedef ssize_t (*WritevFn)(int, const struct iovec*, int);
typedef ssize_t (*ReadFn)(int, void*, size_t);
typedef int (*CloseFn)(int);
typedef int (*DupFn)(int);
typedef int (*Dup2Fn)(int, int);
typedef int (*Dup3Fn)(int, int, int);
typedef int (*FcntlFn)(int, int, ...);
typedef int (*StatvfsFn)(const char*, struct statvfs*);
typedef int (*Statvfs64Fn)(const char*, struct statvfs64*);
typedef int (*StatfsFn)(const char*, struct statfs*);
typedef int (*Statfs64Fn)(const char*, struct statfs64*);

static OpenFn real_open;
static OpenFn real_open64;
static OpenAtFn real_openat;
static OpenAtFn real_openat64;
static FopenFn real_fopen;
static FopenFn real_fopen64;
static WriteFn real_write;
static WritevFn real_writev;
static ReadFn real_read;
static CloseFn real_close;
static DupFn real_dup;
static Dup2Fn real_dup2;
static Dup3Fn real_dup3;
static FcntlFn real_fcntl;
static FcntlFn real_fcntl64;
static StatvfsFn real_statvfs;
static Statvfs64Fn real_statvfs64;
static StatfsFn real_statfs;
static Statfs64Fn real_statfs64;

static atomic_bool g_watched[MAX_WATCHED_FDS];
static pthread_mutex_t g_budget_mutex = PTHREAD_MUTEX_INITIALIZER;
static char g_seen_state[64];
static long long g_budget = -1; /* bytes left; -1: no limit */
static long long g_size = -1;   /* "size N": the file system's bytes; -1: none */
static long long g_used;        /* UsedBytes' sum, under g_budget_mutex */

static void Resolve(void) {
    if (real_write != NULL) return;
    real_open = (OpenFn)dlsym(RTLD_NEXT, "open");
    real_open64 = (OpenFn)dlsym(RTLD_NEXT, "open64");
    real_openat = (OpenAtFn)dlsym(RTLD_NEXT, "openat");
    real_openat64 = (OpenAtFn)dlsym(RTLD_NEXT, "openat64");
    real_fopen = (FopenFn)dlsym(RTLD_NEXT, "fopen");
    real_fopen64 = (FopenFn)dlsym(RTLD_NEXT, "fopen64");
    real_read = (ReadFn)dlsym(RTLD_NEXT, "read");
    real_close = (CloseFn)dlsym(RTLD_NEXT, "close");
    real_dup = (DupFn)dlsym(RTLD_NEXT, "dup");
    real_dup2 = (Dup2Fn)dlsym(RTLD_NEXT, "dup2");
    real_dup3 = (Dup3Fn)dlsym(RTLD_NEXT, "dup3");
    real_fcntl = (FcntlFn)dlsym(RTLD_NEXT, "fcntl");
    real_fcntl64 = (FcntlFn)dlsym(RTLD_NEXT, "fcntl64");
    real_writev = (WritevFn)dlsym(RTLD_NEXT, "writev");
    real_statvfs = (StatvfsFn)dlsym(RTLD_NEXT, "statvfs");
    real_statvfs64 = (Statvfs64Fn)dlsym(RTLD_NEXT, "statvfs64");
    real_statfs = (StatfsFn)dlsym(RTLD_NEXT, "statfs");
    real_statfs64 = (Statfs64Fn)dlsym(RTLD_NEXT, "statfs64");
    real_write = (WriteFn)dlsym(RTLD_NEXT, "write");
}

/* Resolved before any thread or signal handler can need them. */
__attribute__((constructor)) static void Init(void) { Resolve(); }

static int IsWatchedPath(int dirfd, const char* path) {
    const char* prefix = getenv("QUILLOMAT_FULL_DISK_PREFIX");
    if (prefix == NULL || *prefix == '\0' || path == NULL) return 0;
    char full[2 * PATH_MAX];
    if (path[0] == '/') {
        snprintf(full, sizeof full, "%s", path);
    } else {
        char base[PATH_MAX];
        if (dirfd == AT_FDCWD) {
            if (getcwd(base, sizeof base) == NULL) return 0;
        } else {
            char link[64];
            snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
            const ssize_t n = readlink(link, base, sizeof base - 1);
            if (n < 0) return 0;
            base[n] = '\0';
        }
        snprintf(full, sizeof full, "%s/%s", base, path);
    }
    const size_t prefix_length = strlen(prefix);
    if (strncmp(full, prefix, prefix_length) != 0) return 0;
    const char* match = getenv("QUILLOMAT_FULL_DISK_MATCH");
    return match == NULL || strstr(full + prefix_length, match) != NULL;
}

static void Track(int fd, int dirfd, const char* path, int flags) {
    if (fd < 0 || fd >= MAX_WATCHED_FDS) return;
    const int writes = (flags & O_ACCMODE) != O_RDONLY;
    atomic_store(&g_watched[fd], writes && IsWatchedPath(dirfd, path));
}

static int IsWatchedFd(int fd) {
    return fd >= 0 && fd < MAX_WATCHED_FDS && atomic_load(&g_watched[fd]);
}

/* Caller holds g_budget_mutex. */
static long long CurrentBudget(void) {
    const char* control = getenv("QUILLOMAT_FULL_DISK_CONTROL");
    char state[sizeof g_seen_state];
    memset(state, 0, sizeof state);
    if (control != NULL && *control != '\0') {
        const int fd = real_open(control, O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            const ssize_t n = real_read(fd, state, sizeof state - 1);
            real_close(fd);
            if (n < 0) state[0] = '\0';
        }
    }
    size_t len = strlen(state);
    while (len > 0 && (state[len - 1] == '\n' || state[len - 1] == '\r' || state[len - 1] == ' '))
        state[--len] = '\0';
    if (strcmp(state, g_seen_state) != 0) {
        memcpy(g_seen_state, state, sizeof state);
        g_size = -1;
        if (strncmp(state, "size ", 5) == 0) {
            g_size = strtoll(state + 5, NULL, 10);
            g_budget = -1;
        } else if (strcmp(state, "full") == 0) {
            g_budget = 0;
        } else if (state[0] >= '0' && state[0] <= '9') {
            g_budget = strtoll(state, NULL, 10);
        } else {
            g_budget = -1;
        }
    }
    return g_budget;
}

static int AddFileSize(const char* path, const struct stat* st, int type, struct FTW* ftw) {
    (void)path;
    (void)ftw;
    if (type == FTW_F && S_ISREG(st->st_mode)) g_used += (long long)st->st_size;
    return 0;
}

/* Caller holds g_budget_mutex. Bytes of the regular files under the prefix,
 * links not followed. */
static long long UsedBytes(void) {
    const char* prefix = getenv("QUILLOMAT_FULL_DISK_PREFIX");
    g_used = 0;
    if (prefix != NULL && *prefix != '\0') nftw(prefix, AddFileSize, 16, FTW_PHYS);
    return g_used;
}

static ssize_t BudgetedWrite(int fd, const void* buf, size_t count) {
    if (count == 0) return real_write(fd, buf, count);
    pthread_mutex_lock(&g_budget_mutex);
    long long left = CurrentBudget();
    if (g_size >= 0) {
        left = g_size - UsedBytes();
        if (left < 0) left = 0;
    }
    size_t allowed = count;
    if (left == 0) {
        pthread_mutex_unlock(&g_budget_mutex);
        errno = ENOSPC;
        return -1;
    }
    if (left > 0 && (unsigned long long)left < count) allowed = (size_t)left;
    const ssize_t written = real_write(fd, buf, allowed);
    if (written > 0 && g_budget > 0 && g_size < 0) g_budget -= written;
    pthread_mutex_unlock(&g_budget_mutex);
    return written;
}

/* --- fd level --- */

static mode_t ModeArgument(int flags, va_list args) {
    if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE)
        return (mode_t)va_arg(args, int);
    return 0;
}

EXPORT int open(const char* path, int flags, ...) {
    Resolve();
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    const int fd = real_open(path, flags, mode);
    Track(fd, AT_FDCWD, path, flags);
    return fd;
}

EXPORT int open64(const char* path, int flags, ...) {
    Resolve();
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    const int fd = real_open64(path, flags, mode);
    Track(fd, AT_FDCWD, path, flags);
    return fd;
}

EXPORT int openat(int dirfd, const char* path, int flags, ...) {
    Resolve();
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    const int fd = real_openat(dirfd, path, flags, mode);
    Track(fd, dirfd, path, flags);
    return fd;
}

EXPORT int openat64(int dirfd, const char* path, int flags, ...) {
    Resolve();
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    const int fd = real_openat64(dirfd, path, flags, mode);
    Track(fd, dirfd, path, flags);
    return fd;
}

/* The fortified forms never create a file, so they take no mode. */
EXPORT int __open_2(const char* path, int flags) { return open(path, flags); }
EXPORT int __open64_2(const char* path, int flags) { return open64(path, flags); }
EXPORT int __openat_2(int dirfd, const char* path, int flags) { return openat(dirfd, path, flags); }

EXPORT ssize_t write(int fd, const void* buf, size_t count) {
    Resolve();
    if (!IsWatchedFd(fd)) return real_write(fd, buf, count);
    return BudgetedWrite(fd, buf, count);
}

/* GStreamer's file sinks write buffers of several pieces in one call. */
EXPORT ssize_t writev(int fd, const struct iovec* iov, int iovcnt) {
    Resolve();
    if (!IsWatchedFd(fd)) return real_writev(fd, iov, iovcnt);
    ssize_t total = 0;
    for (int i = 0; i < iovcnt; ++i) {
        if (iov[i].iov_len == 0) continue;
        const ssize_t written = BudgetedWrite(fd, iov[i].iov_base, iov[i].iov_len);
        if (written < 0) return total > 0 ? total : -1;
        total += written;
        if ((size_t)written < iov[i].iov_len) break;
    }
    return total;
}

EXPORT int close(int fd) {
    Resolve();
    if (fd >= 0 && fd < MAX_WATCHED_FDS) atomic_store(&g_watched[fd], 0);
    return real_close(fd);
}

/* A copy of a watched descriptor is watched too (shells redirect that way). */
static void CopyWatch(int from, int to) {
    if (to >= 0 && to < MAX_WATCHED_FDS) atomic_store(&g_watched[to], IsWatchedFd(from));
}

EXPORT int dup(int fd) {
    Resolve();
    const int copy = real_dup(fd);
    CopyWatch(fd, copy);
    return copy;
}

EXPORT int dup2(int fd, int to) {
    Resolve();
    const int copy = real_dup2(fd, to);
    if (copy >= 0 && fd != to) CopyWatch(fd, copy);
    return copy;
}

EXPORT int dup3(int fd, int to, int flags) {
    Resolve();
    const int copy = real_dup3(fd, to, flags);
    CopyWatch(fd, copy);
    return copy;
}

/* The argument is an int or a pointer; both travel in one register. */
static int Fcntl(FcntlFn real, int fd, int cmd, void* arg) {
    const int result = real(fd, cmd, arg);
    if (result >= 0 && (cmd == F_DUPFD || cmd == F_DUPFD_CLOEXEC)) CopyWatch(fd, result);
    return result;
}

EXPORT int fcntl(int fd, int cmd, ...) {
    Resolve();
    va_list args;
    va_start(args, cmd);
    void* arg = va_arg(args, void*);
    va_end(args);
    return Fcntl(real_fcntl, fd, cmd, arg);
}

EXPORT int fcntl64(int fd, int cmd, ...) {
    Resolve();
    va_list args;
    va_start(args, cmd);
    void* arg = va_arg(args, void*);
    va_end(args);
    return Fcntl(real_fcntl64 != NULL ? real_fcntl64 : real_fcntl, fd, cmd, arg);
}

/* --- stdio level --- */

static ssize_t CookieRead(void* cookie, char* buf, size_t size) {
    return real_read((int)(intptr_t)cookie, buf, size);
}

/* A short count (0 on failure, never negative) marks the stream's error. */
static ssize_t CookieWrite(void* cookie, const char* buf, size_t size) {
    const ssize_t written = BudgetedWrite((int)(intptr_t)cookie, buf, size);
    return written < 0 ? 0 : written;
}

static int CookieSeek(void* cookie, off64_t* offset, int whence) {
    const off64_t at = lseek64((int)(intptr_t)cookie, *offset, whence);
    if (at < 0) return -1;
    *offset = at;
    return 0;
}

static int CookieClose(void* cookie) { return close((int)(intptr_t)cookie); }

static int WritesMode(const char* mode) {
    return mode != NULL &&
           (strchr(mode, 'w') != NULL || strchr(mode, 'a') != NULL || strchr(mode, '+') != NULL);
}

static FILE* WatchedFopen(const char* path, const char* mode) {
    int flags = strchr(mode, '+') != NULL ? O_RDWR : O_WRONLY;
    if (mode[0] == 'w') flags |= O_CREAT | O_TRUNC;
    if (mode[0] == 'a') flags |= O_CREAT | O_APPEND;
    if (strchr(mode, 'x') != NULL) flags |= O_EXCL;
    if (strchr(mode, 'e') != NULL) flags |= O_CLOEXEC;
    const int fd = real_open(path, flags, 0666);
    if (fd < 0) return NULL;
    Track(fd, AT_FDCWD, path, flags);
    const cookie_io_functions_t io = {CookieRead, CookieWrite, CookieSeek, CookieClose};
    FILE* file = fopencookie((void*)(intptr_t)fd, mode, io);
    if (file == NULL) close(fd);
    return file;
}

EXPORT FILE* fopen(const char* path, const char* mode) {
    Resolve();
    if (WritesMode(mode) && IsWatchedPath(AT_FDCWD, path)) return WatchedFopen(path, mode);
    return real_fopen(path, mode);
}

EXPORT FILE* fopen64(const char* path, const char* mode) {
    Resolve();
    if (WritesMode(mode) && IsWatchedPath(AT_FDCWD, path)) return WatchedFopen(path, mode);
    return real_fopen64(path, mode);
}

/* --- the size of a small file system --- */

static int IsUnderPrefix(const char* path) {
    const char* prefix = getenv("QUILLOMAT_FULL_DISK_PREFIX");
    if (prefix == NULL || *prefix == '\0' || path == NULL) return 0;
    char full[2 * PATH_MAX];
    if (path[0] == '/') {
        snprintf(full, sizeof full, "%s", path);
    } else {
        char base[PATH_MAX];
        if (getcwd(base, sizeof base) == NULL) return 0;
        snprintf(full, sizeof full, "%s/%s", base, path);
    }
    return strncmp(full, prefix, strlen(prefix)) == 0;
}

/* The size and the free bytes of the small file system holding `path`, or 0
 * when it is none. */
static int SmallFileSystem(const char* path, long long* size, long long* free_bytes) {
    if (!IsUnderPrefix(path)) return 0;
    pthread_mutex_lock(&g_budget_mutex);
    CurrentBudget();
    *size = g_size;
    if (g_size >= 0) {
        *free_bytes = g_size - UsedBytes();
        if (*free_bytes < 0) *free_bytes = 0;
    }
    pthread_mutex_unlock(&g_budget_mutex);
    return *size >= 0;
}

#define SMALL_BLOCK 4096

// The four calls differ only in their types: each answers for a small file
// system with the budget's size and what is left of it.
#define SMALL_FILE_SYSTEM_CALL(name, info_type, count_type)                          \
    EXPORT int name(const char* path, struct info_type* info) {                      \
        Resolve();                                                                   \
        const int result = real_##name(path, info);                                  \
        long long size = 0, free_bytes = 0;                                          \
        if (result == 0 && SmallFileSystem(path, &size, &free_bytes)) {              \
            info->f_bsize = info->f_frsize = SMALL_BLOCK;                            \
            info->f_blocks = (count_type)(size / SMALL_BLOCK);                       \
            info->f_bfree = info->f_bavail = (count_type)(free_bytes / SMALL_BLOCK); \
        }                                                                            \
        return result;                                                               \
    }

SMALL_FILE_SYSTEM_CALL(statvfs, statvfs, fsblkcnt_t)
SMALL_FILE_SYSTEM_CALL(statvfs64, statvfs64, fsblkcnt64_t)
SMALL_FILE_SYSTEM_CALL(statfs, statfs, fsblkcnt_t)
SMALL_FILE_SYSTEM_CALL(statfs64, statfs64, fsblkcnt64_t)
