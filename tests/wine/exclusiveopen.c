/* Loaded into wineserver by the tests (LD_PRELOAD): a pseudo-terminal opens
 * once at a time, as Windows opens a COM port, so that a port held by another
 * handle refuses the next open with access denied. wine itself would open it
 * any number of times. wineserver opens every device for its clients; the
 * lock lasts as long as any copy of the first handle's descriptor. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <sys/file.h>
#include <unistd.h>

#include "ptyslave.h"

static int claim(int fd)
{
    dev_t device;
    if (!isPtySlave(fd, &device) || flock(fd, LOCK_EX | LOCK_NB) == 0)
        return fd;
    close(fd);
    errno = EACCES;
    return -1;
}

static mode_t modeOf(int flags, va_list args)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;
}

#define INTERPOSE_OPEN(name) \
    int name(const char *path, int flags, ...) \
    { \
        static int (*real)(const char *, int, ...); \
        if (!real) \
            real = (int (*)(const char *, int, ...))dlsym(RTLD_NEXT, #name); \
        va_list args; \
        va_start(args, flags); \
        const mode_t mode = modeOf(flags, args); \
        va_end(args); \
        return claim(real(path, flags, mode)); \
    }

#define INTERPOSE_OPENAT(name) \
    int name(int dir, const char *path, int flags, ...) \
    { \
        static int (*real)(int, const char *, int, ...); \
        if (!real) \
            real = (int (*)(int, const char *, int, ...))dlsym(RTLD_NEXT, #name); \
        va_list args; \
        va_start(args, flags); \
        const mode_t mode = modeOf(flags, args); \
        va_end(args); \
        return claim(real(dir, path, flags, mode)); \
    }

INTERPOSE_OPEN(open)
INTERPOSE_OPEN(open64)
INTERPOSE_OPENAT(openat)
INTERPOSE_OPENAT(openat64)
