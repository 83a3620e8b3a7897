// One open_Serial + close_Serial of Port_Com on a pseudo-terminal, against
// what a program does with the bare system calls on the same device: open,
// tcsetattr with the same line settings (the rate in use, 8 data bits, even
// parity, one stop bit) and close. Two more cases show where Port_Com's time
// goes: the same cycle on Qt Serial Port alone, and the lock file that Qt
// Serial Port takes and gives back around each open.
#include "port_com.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSerialPort>

#include <benchmark/benchmark.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
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

// The same among other processes, each with the usual three descriptors, as
// on a busy desktop: OPEN looks through every process's descriptors for
// another holder of the line.
void portComAmongOthers(benchmark::State &state)
{
    std::vector<pid_t> others;
    for (int64_t i = 0; i < state.range(0); ++i) {
        const pid_t other = ::fork();
        if (other == 0) {
            ::closefrom(3);
            for (;;)
                ::pause();
        }
        others.push_back(other);
    }
    portComCycle(state);
    for (const pid_t other : others)
        ::kill(other, SIGKILL);
    for (const pid_t other : others)
        ::waitpid(other, nullptr, 0);
}

void qSerialPortCycle(benchmark::State &state)
{
    QSerialPort port(QString::fromLocal8Bit(devicePath));
    port.setBaudRate(QSerialPort::Baud9600);
    port.setDataBits(QSerialPort::Data8);
    port.setParity(QSerialPort::EvenParity);
    port.setStopBits(QSerialPort::OneStop);
    for (auto _ : state) {
        if (!port.open(QIODevice::ReadWrite)) {
            state.SkipWithError("Qt Serial Port could not open the device");
            break;
        }
        port.close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// The first of Qt Serial Port's lock folders that this process may write,
// as Qt Serial Port chooses it.
QString lockFolder()
{
    for (const char *candidate :
         {"/var/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp"}) {
        const QFileInfo info{QLatin1String(candidate)};
        if (info.isReadable() && info.isWritable())
            return info.filePath();
    }
    return QString();
}

// The lock file alone, under a name no device has.
void lockFileCycle(benchmark::State &state)
{
    QLockFile lock(lockFolder() + QStringLiteral("/LCK..norvex_benchmark_link"));
    for (auto _ : state) {
        if (!lock.tryLock(0)) {
            state.SkipWithError("the lock file could not be taken");
            break;
        }
        lock.unlock();
    }
}

// What the lock file does at the system level: a new file in the lock
// folder, written, synced to disk if asked, closed and removed.
void newFileCycle(benchmark::State &state)
{
    const bool synced = state.range(0) != 0;
    const QByteArray path =
            QFile::encodeName(lockFolder() + QStringLiteral("/LCK..norvex_benchmark_new"));
    const QByteArray contents(97, 'x');
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        const bool written = fd >= 0
                && ::write(fd, contents.constData(), contents.size()) == contents.size()
                && (!synced || ::fdatasync(fd) == 0);
        ::close(fd);
        ::unlink(path.constData());
        if (!written) {
            state.SkipWithError("the file could not be made");
            break;
        }
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
BENCHMARK(portComAmongOthers)->ArgName("others")->Arg(3000)->Unit(benchmark::kMicrosecond);
BENCHMARK(qSerialPortCycle)->Unit(benchmark::kMicrosecond);
BENCHMARK(lockFileCycle)->Unit(benchmark::kMicrosecond);
BENCHMARK(newFileCycle)->ArgName("synced")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv);
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, devicePath, nullptr, nullptr) != 0) {
        std::perror("norvex_benchmark_link: openpty");
        return 1;
    }
    ::close(slave);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ::close(master);
    return 0;
}
