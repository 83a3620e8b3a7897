// One open_Serial + close_Serial of Port_Com on a pseudo-terminal, against
// what a program does with the bare system calls on the same device: open,
// tcsetattr with the same line settings (the rate in use, 8 data bits, even
// parity, one stop bit) and close.
#include "port_com.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

char devicePath[PATH_MAX];

void portComCycle(benchmark::State &state)
{
    Port_Com port;
    // set_portName is private: reach it the way the panel's signal does.
    QMetaObject::invokeMethod(&port, "set_portName",
                              Q_ARG(QString, QString::fromLocal8Bit(devicePath)));
    for (auto _ : state) {
        if (port.open_Serial() != 2 || port.close_Serial() != 1) {
            state.SkipWithError("Port_Com could not open and close the device");
            break;
        }
        // What the event loop does next: delete the port's read notifiers.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

void posixCycle(benchmark::State &state)
{
    for (auto _ : state) {
        const int fd = ::open(devicePath, O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios settings{};
        if (fd < 0 || ::tcgetattr(fd, &settings) != 0) {
            state.SkipWithError("the device could not be opened");
            break;
        }
        ::cfmakeraw(&settings);
        settings.c_cflag &= ~(CSIZE | PARODD | CSTOPB | CRTSCTS);
        settings.c_cflag |= CS8 | PARENB | CREAD | CLOCAL;
        ::cfsetispeed(&settings, B9600);
        ::cfsetospeed(&settings, B9600);
        // A pseudo-terminal drops the parity bit, and the C library, reading
        // the settings back, then reports EINVAL: the request was still made.
        const bool applied = ::tcsetattr(fd, TCSANOW, &settings) == 0 || errno == EINVAL;
        ::close(fd);
        if (!applied) {
            state.SkipWithError("the line settings could not be applied");
            break;
        }
    }
}

} // namespace

BENCHMARK(posixCycle)->Unit(benchmark::kMicrosecond);
BENCHMARK(portComCycle)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv);
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, devicePath, nullptr, nullptr) != 0) {
        std::perror("norvex_bench_link: openpty");
        return 1;
    }
    ::close(slave);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ::close(master);
    return 0;
}
