// A unit that talks: the link held open on a pseudo-terminal for a while
// whose peer, another process, writes to it the whole time, as a unit that
// sends a banner or status lines would. Prints, as KEY=VALUE lines, the
// console's resident memory at the start, at the end and at its peak, its
// CPU share, how long CLOSE took, and what the peer sent and got back.
//
//   norvex_soak_link <seconds> <bytes per second, 0 for as fast as it goes>
//
// At a given rate the peer writes 8 bytes at a time, as a 16550A UART hands
// them over at its default receive trigger level.
#include "port_com.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t stopPeer = 0;

void onTerm(int)
{
    stopPeer = 1;
}

// Reads whatever the console sent back, without waiting.
long long drain(int master)
{
    long long got = 0;
    char buffer[4096];
    pollfd readable{master, POLLIN, 0};
    while (::poll(&readable, 1, 0) > 0 && (readable.revents & POLLIN)) {
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        got += n;
    }
    return got;
}

// The unit: writes until told to stop, then reports to the pipe what it
// sent and what it got back.
[[noreturn]] void peer(int master, long rate, int report)
{
    struct sigaction action = {};
    action.sa_handler = onTerm;
    ::sigaction(SIGTERM, &action, nullptr);
    char chunk[65536];
    for (size_t i = 0; i < sizeof chunk; ++i)
        chunk[i] = char('A' + i % 26);
    const size_t size = rate > 0 ? 8 : sizeof chunk;
    const long long interval = rate > 0 ? 8'000'000'000LL / rate : 0; // ns
    long long sent = 0;
    long long back = 0;
    timespec next{};
    ::clock_gettime(CLOCK_MONOTONIC, &next);
    while (!stopPeer) {
        const ssize_t n = ::write(master, chunk, size);
        if (n > 0)
            sent += n;
        else if (n < 0 && errno != EINTR && errno != EAGAIN)
            break;
        back += drain(master);
        if (interval > 0) {
            next.tv_nsec += interval;
            while (next.tv_nsec >= 1'000'000'000L) {
                next.tv_nsec -= 1'000'000'000L;
                ++next.tv_sec;
            }
            ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        }
    }
    back += drain(master);
    const long long figures[] = {sent, back};
    [[maybe_unused]] const auto written = ::write(report, figures, sizeof figures);
    ::_exit(0);
}

// A field of /proc/self/status in kB.
long statusKib(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
            + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <seconds> <bytes per second, 0 for full speed>\n", argv[0]);
        return 2;
    }
    const int seconds = std::atoi(argv[1]);
    const long rate = std::atol(argv[2]);

    int master = -1;
    int slave = -1;
    char path[PATH_MAX] = {};
    if (::openpty(&master, &slave, path, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    ::close(slave);

    Port_Com port;
    // The panel reaches these private slots through its signals.
    QMetaObject::invokeMethod(&port, "set_portName", Q_ARG(QString, QString::fromLocal8Bit(path)));
    QMetaObject::invokeMethod(&port, "set_baudRate", Q_ARG(BaudRateType, BAUD57600));
    if (port.open_Serial() != 2) {
        std::fprintf(stderr, "the link did not open on %s\n", path);
        return 1;
    }

    int report[2];
    if (::pipe(report) != 0) {
        std::perror("pipe");
        return 1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(report[0]);
        peer(master, rate, report[1]);
    }
    ::close(report[1]);

    const long startKib = statusKib("VmRSS");
    const double cpuStart = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
    app.exec();
    const double cpu = cpuSeconds() - cpuStart;
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    const long endKib = statusKib("VmRSS");

    // CLOSE while the peer still writes.
    QElapsedTimer closing;
    closing.start();
    const int closed = port.close_Serial();
    const double closeMs = double(closing.nsecsElapsed()) / 1e6;

    ::kill(child, SIGTERM);
    long long figures[2] = {-1, -1};
    [[maybe_unused]] const auto got = ::read(report[0], figures, sizeof figures);
    ::waitpid(child, nullptr, 0);

    std::printf("seconds=%.1f\nrate=%ld\nsent_bytes=%lld\nreturned_bytes=%lld\n"
                "rss_start_kib=%ld\nrss_end_kib=%ld\nrss_peak_kib=%ld\ngrowth_kib=%ld\n"
                "cpu_percent=%.2f\nclose_ms=%.2f\nclosed=%d\n",
                elapsed, rate, figures[0], figures[1], startKib, endKib, statusKib("VmHWM"),
                endKib - startKib, 100.0 * cpu / elapsed, closeMs, closed);
    return closed == 1 ? 0 : 1;
}
