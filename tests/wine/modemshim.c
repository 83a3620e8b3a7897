/* Loaded into wine's processes by the tests (LD_PRELOAD): answers the
 * modem-status ioctls on pseudo-terminals as a UART does. A Linux pty
 * refuses them (ENOTTY), so wine's GetCommModemStatus fails and Qt's pending
 * WaitCommEvent ends at once: every open would look like a lost device.
 * Every other error, EIO after a hang-up among them, passes through.
 * It also records the framing a program asks of a pty, which the pty's
 * driver does not keep (8 data bits, no parity), into
 * $NORVEX_WINE_PORTS_DIR/asked-MAJOR-MINOR: the last request that changes it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>

#include "ptyslave.h"

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

static void record(int fd, tcflag_t asked)
{
    const tcflag_t framing = CSIZE | PARENB | PARODD | CSTOPB;
    const char *dir = getenv("NORVEX_WINE_PORTS_DIR");
    dev_t device;
    struct termios now;
    if (!dir || !isPtySlave(fd, &device) || tcgetattr(fd, &now) != 0
        || (now.c_cflag & framing) == (asked & framing))
        return;
    char path[PATH_MAX];
    snprintf(path, sizeof path, "%s/asked-%u-%u", dir, major(device), minor(device));
    FILE *file = fopen(path, "w");
    if (!file)
        return;
    fprintf(file, "databits %d\nparity %s\nstopbits %d\n", dataBitsOf(asked), parityOf(asked),
            asked & CSTOPB ? 2 : 1);
    fclose(file);
}

int tcsetattr(int fd, int actions, const struct termios *settings)
{
    static int (*real)(int, int, const struct termios *);
    if (!real)
        real = (int (*)(int, int, const struct termios *))dlsym(RTLD_NEXT, "tcsetattr");
    if (settings)
        record(fd, settings->c_cflag);
    return real(fd, actions, settings);
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
    if (arg
        && (request == TCSETS || request == TCSETSW || request == TCSETSF || request == TCSETS2
            || request == TCSETSW2 || request == TCSETSF2))
        record(fd, ((const struct termios2 *)arg)->c_cflag);

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
