/* The Linux side of the COM ports that the Windows link tests open under
 * wine: a pseudo-terminal per port, linked into the wine prefix, whose
 * master this program keeps and works as the unit at the far end would.
 *
 *   ptyhost start DIR DOSDEVICES COMn...   makes the ports, runs on in the
 *                                          background, returns when ready
 *   ptyhost stop DIR                       ends the one started in DIR
 *
 * DIR/COMn links to the port's pty; the prefix's DOSDEVICES/comn (and the
 * registry, which the wrapper sets) names DIR/COMn, so a pty made anew takes
 * the same name. A test gives orders by writing DIR/COMn-order (Windows
 * reserves COM1 to COM9 as file names, with any extension) as
 * "<sequence> <order> [<argument>]":
 *   unplug      closes the master, so that the device vanishes; a new, quiet
 *               pty takes the name at once
 *   talk N      sends N bytes a second until told otherwise
 *   quiet       stops talking, and drops what the program has not read
 *   count       counts what reached the port before, and the descriptors of
 *               other processes open on its pty: held while there are any
 * and reads DIR/COMn-state, rewritten whole as the port changes: the last
 * order done, the descriptors on the pty at the last
 * count, bytes received from the program (the console never sends) and sent
 * to it, the line settings the program gave the pty, and the pty's device
 * number, by which the modem shim records the framing the program asked for
 * (asked-MAJOR-MINOR). */
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "ptyslave.h"

enum { MaxPorts = 10, IdleSeconds = 1800, TickMs = 2 };

struct Port
{
    char name[16];
    char device[24];
    int master;
    int slave; /* held, so that the master never reads as hung up */
    int holders;
    unsigned long done;
    long long received;
    long long sent;
    long rate;
    double talkStart;
    long long talkSent;
    char state[512];
};

static struct Port ports[MaxPorts];
static int portCount;
static const char *dir;
static volatile sig_atomic_t stopping;

static double now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static void pathOf(char *path, const char *name, const char *suffix)
{
    if (snprintf(path, PATH_MAX, "%s/%s%s", dir, name, suffix) >= PATH_MAX) {
        fprintf(stderr, "ptyhost: %s: path too long\n", dir);
        exit(1);
    }
}

/* Replaces a file or link whole, so that a reader never sees half of it. */
static int replaceLink(const char *target, const char *path)
{
    char temporary[PATH_MAX];
    if (snprintf(temporary, sizeof temporary, "%s.new", path) >= PATH_MAX)
        return -1;
    unlink(temporary);
    return symlink(target, temporary) == 0 && rename(temporary, path) == 0 ? 0 : -1;
}

static int makePty(struct Port *port)
{
    port->master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (port->master < 0 || grantpt(port->master) != 0 || unlockpt(port->master) != 0)
        return -1;
    const char *slaveName = ptsname(port->master);
    if (!slaveName)
        return -1;
    port->slave = open(slaveName, O_RDWR | O_NOCTTY | O_CLOEXEC);
    struct stat info;
    if (port->slave < 0 || fstat(port->slave, &info) != 0)
        return -1;
    char asked[PATH_MAX];
    snprintf(port->device, sizeof port->device, "%u-%u", major(info.st_rdev), minor(info.st_rdev));
    pathOf(asked, "asked-", port->device);
    unlink(asked); /* left by an earlier pty of that number */
    /* Raw, as the program will set it: nothing the unit sends echoes back. */
    struct termios settings;
    tcgetattr(port->slave, &settings);
    cfmakeraw(&settings);
    tcsetattr(port->slave, TCSANOW, &settings);
    char link[PATH_MAX];
    pathOf(link, port->name, "");
    return replaceLink(slaveName, link);
}

static void closePty(struct Port *port)
{
    if (port->slave >= 0)
        close(port->slave);
    if (port->master >= 0)
        close(port->master);
    port->slave = port->master = -1;
}

#ifndef BOTHER
#define BOTHER 0010000 /* as the kernel's asm/termbits.h has it */
#endif

static long rateOf(int fd, const struct termios *settings)
{
    struct termios2 exact;
    if ((settings->c_cflag & CBAUD) == BOTHER && ioctl(fd, TCGETS2, &exact) == 0)
        return (long)exact.c_ospeed;
    const speed_t speed = cfgetospeed(settings);
    static const struct
    {
        speed_t speed;
        long rate;
    } rates[] = {{B1200, 1200},   {B2400, 2400},   {B4800, 4800},   {B9600, 9600},
                 {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};
    for (size_t i = 0; i < sizeof rates / sizeof rates[0]; ++i) {
        if (rates[i].speed == speed)
            return rates[i].rate;
    }
    return -1;
}

static void writeState(struct Port *port)
{
    struct termios settings;
    memset(&settings, 0, sizeof settings);
    tcgetattr(port->master, &settings);
    char text[sizeof port->state];
    snprintf(text, sizeof text,
             "done %lu\ndevice %s\nholders %d\nreceived %lld\nsent %lld\n"
             "speed %ld\nstopbits %d\ndatabits %d\nparity %s\n",
             port->done, port->device, port->holders, port->received, port->sent,
             rateOf(port->master, &settings), settings.c_cflag & CSTOPB ? 2 : 1,
             dataBitsOf(settings.c_cflag), parityOf(settings.c_cflag));
    if (strcmp(text, port->state) == 0)
        return;
    strcpy(port->state, text);
    char path[PATH_MAX], temporary[PATH_MAX];
    pathOf(path, port->name, "-state");
    pathOf(temporary, port->name, "-state.new");
    FILE *file = fopen(temporary, "w");
    if (!file)
        return;
    fputs(text, file);
    if (fclose(file) == 0)
        rename(temporary, path);
}

/* How many descriptors of other processes (wineserver's for each handle, and
 * the copies its clients keep) are open on the port's pty. */
static int countHolders(const struct Port *port)
{
    struct stat pty;
    DIR *processes = fstat(port->slave, &pty) == 0 ? opendir("/proc") : NULL;
    if (!processes)
        return -1;
    int holders = 0;
    struct dirent *process;
    while ((process = readdir(processes))) {
        char path[PATH_MAX];
        if (atol(process->d_name) <= 0 || atol(process->d_name) == (long)getpid()
            || snprintf(path, sizeof path, "/proc/%s/fd", process->d_name) >= PATH_MAX)
            continue;
        DIR *fds = opendir(path);
        for (struct dirent *fd; fds && (fd = readdir(fds));) {
            char fdPath[PATH_MAX];
            struct stat info;
            if (snprintf(fdPath, sizeof fdPath, "%s/%s", path, fd->d_name) < PATH_MAX
                && stat(fdPath, &info) == 0 && S_ISCHR(info.st_mode) && info.st_rdev == pty.st_rdev)
                ++holders;
        }
        if (fds)
            closedir(fds);
    }
    closedir(processes);
    return holders;
}

/* Carries out a new order, if there is one. */
static int takeOrder(struct Port *port)
{
    char path[PATH_MAX], order[32] = "";
    pathOf(path, port->name, "-order");
    FILE *file = fopen(path, "r");
    if (!file)
        return 0;
    unsigned long sequence = 0;
    long argument = 0;
    const int fields = fscanf(file, "%lu %31s %ld", &sequence, order, &argument);
    fclose(file);
    if (fields < 2 || sequence == port->done)
        return 0;
    if (strcmp(order, "unplug") == 0) {
        port->rate = 0; /* a device pulled says no more */
        closePty(port);
        if (makePty(port) != 0) {
            perror("ptyhost: pty");
            stopping = 1;
        }
    } else if (strcmp(order, "talk") == 0 && fields == 3 && argument > 0) {
        port->rate = argument;
        port->talkStart = now();
        port->talkSent = 0;
    } else if (strcmp(order, "quiet") == 0) {
        port->rate = 0;
        /* What the program has not read yet goes too: the next case starts
         * on a quiet line. */
        tcflush(port->slave, TCIFLUSH);
    } else if (strcmp(order, "count") == 0) {
        port->holders = countHolders(port);
    } else {
        fprintf(stderr, "ptyhost: %s: unknown order %s\n", port->name, order);
    }
    port->done = sequence;
    return 1;
}

/* Sends what is due at the port's rate, as far as the pty takes it. */
static void talk(struct Port *port)
{
    static const char data[4096] = {0};
    if (port->rate <= 0)
        return;
    long long due = (long long)((now() - port->talkStart) * port->rate) - port->talkSent;
    while (due > 0) {
        const ssize_t written =
                write(port->master, data, due < (long long)sizeof data ? (size_t)due : sizeof data);
        if (written <= 0)
            break;
        due -= written;
        port->talkSent += written;
        port->sent += written;
    }
}

static void onSignal(int signal)
{
    (void)signal;
    stopping = 1;
}

static int serve(void)
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    sigaction(SIGTERM, &action, NULL);
    sigaction(SIGINT, &action, NULL);
    double lastOrder = now();
    while (!stopping) {
        struct pollfd fds[MaxPorts];
        for (int i = 0; i < portCount; ++i)
            fds[i] = (struct pollfd){ports[i].master, POLLIN, 0};
        poll(fds, portCount, TickMs);
        for (int i = 0; i < portCount; ++i) {
            struct Port *port = &ports[i];
            char buffer[4096];
            ssize_t count;
            while ((count = read(port->master, buffer, sizeof buffer)) > 0)
                port->received += count;
            if (takeOrder(port))
                lastOrder = now();
            talk(port);
            writeState(port);
        }
        /* Ends by itself should nobody stop it (an interrupted test run). */
        if (now() - lastOrder > IdleSeconds)
            break;
    }
    for (int i = 0; i < portCount; ++i)
        closePty(&ports[i]);
    char path[PATH_MAX];
    pathOf(path, "ptyhost.pid", "");
    unlink(path);
    return 0;
}

static pid_t runningHost(void)
{
    char path[PATH_MAX];
    pathOf(path, "ptyhost.pid", "");
    FILE *file = fopen(path, "r");
    long pid = 0;
    if (file) {
        if (fscanf(file, "%ld", &pid) != 1)
            pid = 0;
        fclose(file);
    }
    return pid > 0 && kill((pid_t)pid, 0) == 0 ? (pid_t)pid : 0;
}

static int stop(void)
{
    const pid_t pid = runningHost();
    if (pid == 0)
        return 0;
    kill(pid, SIGTERM);
    for (int i = 0; i < 500 && kill(pid, 0) == 0; ++i)
        usleep(10000);
    return kill(pid, 0) == 0;
}

static int start(const char *dosdevices, char **names, int count)
{
    stop(); /* one left by an interrupted run */
    if (count > MaxPorts) {
        fprintf(stderr, "ptyhost: at most %d ports\n", MaxPorts);
        return 1;
    }
    for (int i = 0; i < count; ++i) {
        struct Port *port = &ports[portCount++];
        snprintf(port->name, sizeof port->name, "%s", names[i]);
        char path[PATH_MAX];
        pathOf(path, port->name, "-order");
        unlink(path);
        if (makePty(port) != 0) {
            fprintf(stderr, "ptyhost: %s: %s\n", port->name, strerror(errno));
            return 1;
        }
        char device[PATH_MAX];
        if (snprintf(device, sizeof device, "%s/%s", dosdevices, port->name) >= PATH_MAX)
            return 1;
        for (char *c = device + strlen(dosdevices); *c; ++c) {
            if (*c >= 'A' && *c <= 'Z')
                *c += 'a' - 'A';
        }
        pathOf(path, port->name, "");
        if (replaceLink(path, device) != 0) {
            fprintf(stderr, "ptyhost: %s: %s\n", device, strerror(errno));
            return 1;
        }
        writeState(port);
    }

    int ready[2];
    if (pipe(ready) != 0)
        return 1;
    const pid_t child = fork();
    if (child < 0)
        return 1;
    if (child > 0) {
        /* Ready once the background host has written its pid. */
        close(ready[1]);
        char answer = 0;
        const int ok = read(ready[0], &answer, 1) == 1 && answer == '1';
        return ok ? 0 : 1;
    }
    close(ready[0]);
    setsid();
    /* CTest waits for whatever holds its output: hand back every descriptor. */
    char path[PATH_MAX];
    pathOf(path, "ptyhost.log", "");
    const int log = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    const int none = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (log < 0 || none < 0)
        return 1;
    dup2(none, 0);
    dup2(log, 1);
    dup2(log, 2);
    pathOf(path, "ptyhost.pid", "");
    FILE *pidFile = fopen(path, "w");
    if (!pidFile)
        return 1;
    fprintf(pidFile, "%ld\n", (long)getpid());
    fclose(pidFile);
    if (write(ready[1], "1", 1) != 1)
        return 1;
    close(ready[1]);
    return serve();
}

int main(int argc, char **argv)
{
    if (argc >= 5 && strcmp(argv[1], "start") == 0) {
        dir = argv[2];
        return start(argv[3], argv + 4, argc - 4);
    }
    if (argc == 3 && strcmp(argv[1], "stop") == 0) {
        dir = argv[2];
        return stop();
    }
    fprintf(stderr,
            "usage: ptyhost start DIR DOSDEVICES COMn...\n"
            "       ptyhost stop DIR\n");
    return 2;
}
