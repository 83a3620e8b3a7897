/* What the wine helpers share about the pseudo-terminals behind the COM
 * ports. */
#ifndef PTYSLAVE_H
#define PTYSLAVE_H

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

/* Whether fd is a pty's slave (Unix 98 ptys have majors 136 to 143), and
 * which device. */
static inline int isPtySlave(int fd, dev_t *device)
{
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode))
        return 0;
    *device = info.st_rdev;
    return major(info.st_rdev) >= 136 && major(info.st_rdev) <= 143;
}

/* The kernel's settings with the rate as a number: wine sets any rate that
 * way (BOTHER), which cfgetospeed cannot tell. c_cflag stands third, as in
 * the kernel's termios. */
struct termios2
{
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};

/* The framing of c_cflag, as the state files write it. */
static inline int dataBitsOf(tcflag_t flags)
{
    const tcflag_t size = flags & CSIZE;
    return size == CS8 ? 8 : size == CS7 ? 7 : size == CS6 ? 6 : 5;
}

static inline const char *parityOf(tcflag_t flags)
{
    return !(flags & PARENB) ? "none" : flags & PARODD ? "odd" : "even";
}

#endif
