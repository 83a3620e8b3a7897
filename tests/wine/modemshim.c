/* Loaded into wine's processes by the tests (LD_PRELOAD): answers the
 * modem-status ioctls on pseudo-terminals as a UART does. A Linux pty
 * refuses them (ENOTTY), so wine's GetCommModemStatus fails and Qt's pending
 * WaitCommEvent ends at once: every open would look like a lost device.
 * Every other error, EIO after a hang-up among them, passes through. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

enum { Outputs = TIOCM_DTR | TIOCM_RTS, Inputs = TIOCM_DSR | TIOCM_CTS | TIOCM_CAR };
enum { MaxFds = 4096 };

/* The output lines of each descriptor; a descriptor reused for another
 * device starts afresh. */
static struct
{
    dev_t device;
    int lines;
} modem[MaxFds];
static pthread_mutex_t modemLock = PTHREAD_MUTEX_INITIALIZER;

static int isPtySlave(int fd, dev_t *device)
{
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode))
        return 0;
    *device = info.st_rdev;
    return major(info.st_rdev) >= 136 && major(info.st_rdev) <= 143;
}

static int answer(int fd, unsigned long request, int *arg)
{
    dev_t device;
    if (!isPtySlave(fd, &device))
        return 0;
    pthread_mutex_lock(&modemLock);
    int lines = Outputs;
    if (fd >= 0 && fd < MaxFds) {
        if (modem[fd].device != device) {
            modem[fd].device = device;
            modem[fd].lines = Outputs;
        }
        lines = modem[fd].lines;
    }
    switch (request) {
    case TIOCMSET:
        lines = *arg & Outputs;
        break;
    case TIOCMBIS:
        lines |= *arg & Outputs;
        break;
    case TIOCMBIC:
        lines &= ~(*arg & Outputs);
        break;
    }
    if (fd >= 0 && fd < MaxFds)
        modem[fd].lines = lines;
    pthread_mutex_unlock(&modemLock);
    if (request == TIOCMGET)
        *arg = lines | Inputs;
    return 1;
}

int ioctl(int fd, unsigned long request, ...)
{
    static int (*real)(int, unsigned long, ...);
    va_list args;
    va_start(args, request);
    void *arg = va_arg(args, void *);
    va_end(args);
    if (!real)
        real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");

    const int result = real(fd, request, arg);
    const int error = errno;
    if (result != -1 || error != ENOTTY || !arg)
        return result;
    if ((request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC)
        && answer(fd, request, (int *)arg))
        return 0;
    errno = error;
    return result;
}
