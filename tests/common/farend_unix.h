#ifndef FAREND_UNIX_H
#define FAREND_UNIX_H

#include "hostport.h"
#include "qextserialport.h"
#include "termiosrecorder.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <linux/serial.h>
#include <malloc.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator statistics (GCC ships no header for them).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

inline LineSettings lineSettingsOf(const termios &attributes)
{
    const speed_t speeds[] = {B9600, B19200, B38400, B57600};
    const qint64 rates[] = {9600, 19200, 38400, 57600};
    LineSettings line;
    for (int i = 0; i < 4; ++i) {
        if (cfgetospeed(&attributes) == speeds[i])
            line.rate = rates[i];
    }
    const tcflag_t size = attributes.c_cflag & CSIZE;
    line.dataBits = size == CS8 ? 8 : size == CS7 ? 7 : size == CS6 ? 6 : 5;
    line.parity = !(attributes.c_cflag & PARENB) ? QStringLiteral("none")
            : attributes.c_cflag & PARODD        ? QStringLiteral("odd")
                                                 : QStringLiteral("even");
    line.stopBits = attributes.c_cflag & CSTOPB ? 2 : 1;
    line.echo = attributes.c_lflag & (ECHO | ECHONL);
    return line;
}

// The process's open file descriptors, each as "number -> target".
inline QStringList openFileDescriptors()
{
    QStringList found;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &fd :
         fds.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        found << fd.fileName() + QStringLiteral(" -> ") + fd.symLinkTarget();
    found.sort();
    return found;
}

// Serial lock files that this process holds, in the folders Qt Serial Port
// uses. Other processes (other test runs among them) may lock devices of
// their own meanwhile; a lock file names its holder's process id first.
inline QStringList serialLockFiles()
{
    const QByteArray self = QByteArray::number(QCoreApplication::applicationPid());
    QStringList found;
    for (const char *folder : {"/var/lock", "/run/lock", "/tmp"}) {
        const QDir dir(QFileInfo(QLatin1String(folder)).canonicalFilePath());
        // Other tests leave FIFOs and links there under a lock's name:
        // read without blocking or following, and only a line's worth.
        for (const QString &name :
             dir.entryList({QStringLiteral("LCK..*")}, QDir::Files | QDir::Hidden)) {
            const QString path = dir.filePath(name);
            const int fd = ::open(QFile::encodeName(path).constData(),
                                  O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
            char head[32] = {};
            const ssize_t n = fd >= 0 ? ::read(fd, head, sizeof head - 1) : -1;
            if (fd >= 0)
                ::close(fd);
            if (n > 0 && QByteArray(head).split('\n').value(0).trimmed() == self)
                found << path;
        }
    }
    found.removeDuplicates();
    found.sort();
    return found;
}

// The far end of a port. By default a pseudo-terminal under a name of its
// own that stays when a new one takes the place of one that went, as udev
// keeps a link for an adapter: the test keeps the master, talks and listens
// there, and closes it to make the device vanish. On the bench
// (NORVEX_BENCH_PORTS names the far end's folder), the real port
// NORVEX_BENCH_PORT of the virtual machine, whatever name is asked for.
// Held means that the port holds the device or a lock file of it.
class FarEnd
{
public:
    explicit FarEnd(const QString &name = QStringLiteral("COM3"))
        : m_link(m_dir.filePath(name))
    {
        askedFraming().clear();
        if (!qEnvironmentVariableIsSet("NORVEX_BENCH_PORTS")) {
            plugInNew();
            return;
        }
        m_link = qEnvironmentVariable("NORVEX_BENCH_PORT");
        m_host.emplace(qEnvironmentVariable("NORVEX_BENCH_PORTS") + QLatin1Char('/') + m_link);
        m_bench = m_host->order(QStringLiteral("quiet"));
        m_sent = m_host->number("sent");
        m_received = m_host->counted("received");
        m_devices << device();
    }
    ~FarEnd()
    {
        sendOnEachSetting(false);
        if (m_asNobody && ::seteuid(0) != 0)
            qFatal("cannot take root's rights back");
        if (!m_host)
            pull();
        else if (m_bench
                 && (!m_host->order(QStringLiteral("quiet")) || (device().isEmpty() && !replug())))
            qWarning("the bench's far end is left talking or pulled out");
    }
    Q_DISABLE_COPY(FarEnd)

    bool isValid() const { return m_master >= 0 || m_bench; }
    QString portName() const { return m_link; }
    QString missingPortName() const
    {
        return m_host ? QStringLiteral("/dev/ttyUSB7") : m_dir.filePath(QStringLiteral("ttyUSB0"));
    }
    // A built-in UART cannot be pulled out.
    bool canUnplug() const { return !m_host || m_link != QLatin1String("COM1"); }
    bool isPseudoTerminal() const { return !m_host; }
    // The kernel's device, as the far end knows it.
    QString kernelDevice() const { return m_devices.constLast(); }
    // The device that the port's name leads to, as the dialog names it.
    QString location() const
    {
        return !m_host ? m_link : m_link == QLatin1String("COM1") ? "/dev/ttyS0" : "/dev/" + m_link;
    }
    // The line's settings and modem lines, to compare before and after.
    QByteArray lineState() const
    {
        const int own = m_host ? ::open(QFile::encodeName(kernelDevice()).constData(),
                                        O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)
                               : -1;
        const int fd = m_host ? own : m_master;
        termios attributes{};
        int modem = -1;
        const bool read = ::tcgetattr(fd, &attributes) == 0;
        if (::ioctl(fd, TIOCMGET, &modem) != 0)
            modem = -errno;
        if (own >= 0)
            ::close(own);
        return QByteArray(reinterpret_cast<const char *>(&attributes), sizeof attributes)
                + QByteArray::number(modem) + (read ? "" : " unread");
    }
    // What a unit sends for a test to see memory stay flat: a virtual
    // machine's port takes far less a second than a pseudo-terminal.
    qint64 plenty() const { return m_host ? 1 << 20 : 8 << 20; }

    // As the driver applied them: a pseudo-terminal keeps 8 data bits and
    // drops parity whatever it is asked for.
    LineSettings settings() const
    {
        termios attributes{};
        if (!m_host) {
            ::tcgetattr(m_master, &attributes);
        } else {
            // Through the port's own descriptor while it is open.
            const int fd = openDescriptor();
            const int own = fd >= 0 ? -1
                                    : ::open(m_devices.constLast().toLocal8Bit().constData(),
                                             O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
            ::tcgetattr(fd >= 0 ? fd : own, &attributes);
            if (own >= 0)
                ::close(own);
        }
        return lineSettingsOf(attributes);
    }
    // What the driver told the chip, as the far end read it on the wire:
    // "8E1 at <rate>", the rate as asked while within the 1 % that a UART
    // allows; empty off the bench.
    QString wire(qint64 asked) const
    {
        const QStringList read = m_host ? m_host->value("wire").split(' ') : QStringList();
        if (read.size() != 4)
            return read.join(' ');
        const qint64 rate = read[0].toLongLong();
        return read[1] + read[2].left(1).toUpper() + read[3] + QStringLiteral(" at ")
                + QString::number(qAbs(rate - asked) * 100 <= asked ? asked : rate);
    }
    // The vendor and product ids of the adapter, as a udev rule names them.
    QString adapterIds() const
    {
        return m_host ? m_host->value("ids") : QStringLiteral("0403:6001");
    }
    // The framing the program last asked for where the driver did not keep
    // it, as on a pseudo-terminal.
    LineSettings asked() const
    {
        struct stat device;
        const QByteArray path = QFile::encodeName(m_devices.constLast());
        if (::stat(path.constData(), &device) == 0 && askedFraming().contains(device.st_rdev))
            return lineSettingsOf(askedFraming().value(device.st_rdev));
        return settings();
    }
    // Bytes the driver of the open port has sent, by its own count; 0 where
    // it keeps none.
    qint64 transmitted() const
    {
        serial_icounter_struct counts{};
        const int fd = openDescriptor();
        return fd >= 0 && ::ioctl(fd, TIOCGICOUNT, &counts) == 0 ? counts.tx : 0;
    }
    // The device goes; a new one takes its name. Returns when the far end
    // reported it gone, in milliseconds from the call.
    qint64 unplug()
    {
        if (!m_host) {
            plugInNew();
            return 0;
        }
        qint64 went = 0;
        if (!pullOut(&went) || !replug())
            qWarning("the bench's adapter did not come back");
        return went;
    }
    // The adapter goes, and stays away until replug(); went is when the far
    // end reported it gone, in milliseconds from the call.
    bool pullOut(qint64 *went = nullptr)
    {
        QElapsedTimer clock;
        clock.start();
        const QString gone = m_devices.constLast();
        const bool pulled = m_host && m_host->order(QStringLiteral("pull"));
        if (went)
            *went = clock.elapsed();
        return pulled && QTest::qWaitFor([&] { return !QFileInfo::exists(gone); }, 10000);
    }
    // Takes this process's rights to the device: root, who may open
    // anything, acts as an ordinary user until the far end goes.
    bool takeRights()
    {
        if (::geteuid() == 0)
            return m_asNobody = ::seteuid(65534) == 0;
        return ::chmod(QFile::encodeName(m_devices.constLast()).constData(), 0) == 0;
    }
    // While on, a pseudo-terminal's unit sends a byte each time the program
    // has set the line, and listens a moment for an echo.
    void sendOnEachSetting(bool on)
    {
        afterTcsetattr() = nullptr;
        if (on && !m_host) {
            afterTcsetattr() = [this] {
                if (!sendOnce())
                    qWarning("the unit could not send");
                listen(200);
            };
        }
    }
    // A new device takes the name, the unit talking as soon as it is there,
    // and what comes back is counted apart until freshEcho() (on the bench,
    // until the far end next counts: the first sent() after the OPEN): a
    // new device, as a port not opened since boot, has the kernel's fresh
    // settings and echoes until the program sets the line. A
    // pseudo-terminal's unit talks only while the program has it open, as a
    // pseudo-terminal echoes even while closed. On the bench a built-in
    // UART stays, and a port not opened since boot (NORVEX_BENCH_AS_BOOTED)
    // is not pulled; any other port's echo counts as any byte back.
    bool plugInTalking()
    {
        if (!m_host) {
            plugInNew();
            m_freshFrom = m_received;
            m_intoOpenOnly = true;
            talk();
            return m_master >= 0;
        }
        const bool asBooted = qEnvironmentVariableIsSet("NORVEX_BENCH_AS_BOOTED");
        const bool plug = canUnplug() && !asBooted;
        if (plug && !pullOut())
            return false;
        talk();
        m_freshFrom = m_host->number("fresh");
        return (!plug || replug())
                && (!(plug || asBooted) || m_host->order(QStringLiteral("fresh")));
    }
    qint64 freshEcho()
    {
        if (m_host)
            return countedSince("fresh", m_freshFrom);
        const qint64 echo = m_received - m_freshFrom;
        m_received -= echo;
        return echo;
    }
    // An adapter plugged back comes back under its old kernel name unless
    // a descriptor of the old one is still open.
    bool replug()
    {
        if (!m_host->order(QStringLiteral("plug"))
            || !QTest::qWaitFor([&] { return !device().isEmpty(); }, 20000))
            return false;
        if (device() != m_devices.constLast())
            qWarning("the adapter came back as %s, not %s", qPrintable(device()),
                     qPrintable(m_devices.constLast()));
        m_devices << device();
        return true;
    }
    // Talks as fast as the line takes it, until quiet() or unplug(); then the
    // line goes in the middle of the talk.
    void talk()
    {
        if (m_host) {
            m_host->order(QStringLiteral("talk 4000000"));
            return;
        }
        m_stop = false;
        m_talker = std::thread([this] {
            static const QByteArray chunk(4096, 'U');
            while (!m_stop) {
                pollfd line{m_master, POLLIN | POLLOUT, 0};
                if (::poll(&line, 1, 10) <= 0 || (m_intoOpenOnly && (line.revents & POLLHUP)))
                    continue;
                if (line.revents & POLLIN)
                    listen(0);
                if (line.revents & POLLOUT)
                    sendOnce(chunk);
            }
            if (m_hangUp)
                closeMaster();
        });
    }
    void quiet()
    {
        if (m_host) {
            m_host->order(QStringLiteral("quiet"));
            return;
        }
        m_stop = true;
        if (m_talker.joinable())
            m_talker.join();
        m_intoOpenOnly = false;
        ::tcflush(m_master, TCOFLUSH);
    }
    qint64 sent() const { return m_host ? countedSince("sent", m_sent) : qint64(m_sent); }
    qint64 received()
    {
        if (m_host)
            return countedSince("received", m_received);
        if (!m_talker.joinable())
            listen(0);
        return m_received;
    }
    bool isHeld() const
    {
        QStringList names = m_devices;
        names << m_link;
        const QString held = (openFileDescriptors() + serialLockFiles()).join('\n') + '\n';
        return std::any_of(names.begin(), names.end(), [&held](QString name) {
            const QString target = QStringLiteral(" -> ") + name + '\n';
            if (name.startsWith(QLatin1String("/dev/")))
                name.remove(0, 5);
            name.replace(QLatin1Char('/'), QLatin1Char('_'));
            return held.contains(target) || held.contains(QStringLiteral("/LCK..") + name + '\n');
        });
    }

    // Bytes in the open port's input that the program has not read yet.
    int unread() const
    {
        int size = -1;
        const int fd = openDescriptor();
        return fd >= 0 && ::ioctl(fd, FIONREAD, &size) == 0 ? size : -1;
    }

    // Sends once what the line takes of bytes (on a pseudo-terminal).
    bool sendOnce(const QByteArray &bytes = QByteArray(1, 'U'))
    {
        const ssize_t n = ::write(m_master, bytes.constData(), size_t(bytes.size()));
        if (n > 0)
            m_sent += n;
        return n > 0;
    }
    // Waits up to the time given for anything to reach the unit, and counts
    // it (on a pseudo-terminal).
    void listen(int milliseconds)
    {
        pollfd readable{m_master, POLLIN, 0};
        char buffer[4096];
        ssize_t n = 0;
        while (::poll(&readable, 1, milliseconds) > 0 && (n = ::read(m_master, buffer, 4096)) > 0)
            m_received += n;
    }

private:
    // A figure of the far end's since the one given; -1 unless both were
    // counted, as a difference of two stale figures would pass for 0.
    qint64 countedSince(const char *key, qint64 from) const
    {
        const qint64 now = m_host->counted(key);
        return now < 0 || from < 0 ? -1 : now - from;
    }
    // The kernel's device that the port's name leads to now, empty while
    // there is none.
    QString device() const
    {
        return QFileInfo(QextSerialPort::systemLocationOf(m_link)).canonicalFilePath();
    }
    // This process's descriptor of the port's device, -1 if it has none.
    int openDescriptor() const
    {
        for (const QString &fd : openFileDescriptors()) {
            if (fd.endsWith(QStringLiteral(" -> ") + m_devices.constLast()))
                return fd.section(QLatin1Char(' '), 0, 0).toInt();
        }
        return -1;
    }
    // The device there was goes; a new one takes its name.
    void plugInNew()
    {
        pull();
        char name[PATH_MAX] = {};
        int slave = -1;
        if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
            return;
        ::close(slave);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        ::fcntl(m_master, F_SETFD, FD_CLOEXEC); // the unit's end is no other program's
        m_devices << QString::fromLocal8Bit(name);
        QFile::remove(m_link);
        QFile::link(m_devices.constLast(), m_link);
    }
    void pull()
    {
        m_hangUp = true;
        quiet();
        m_hangUp = false;
        closeMaster();
    }
    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    QTemporaryDir m_dir;
    QString m_link;
    QStringList m_devices; // every device it has had so far
    std::optional<HostPort> m_host; // on the bench
    bool m_bench = false;
    bool m_asNobody = false;
    int m_master = -1;
    qint64 m_freshFrom = 0;
    bool m_intoOpenOnly = false;
    std::thread m_talker;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_hangUp{false};
    std::atomic<qint64> m_sent{0};
    std::atomic<qint64> m_received{0};
};

// What an open link holds: open files and serial lock files. Closing it, in
// whatever way, must give back exactly these.
inline QStringList heldResources()
{
    return openFileDescriptors() + serialLockFiles();
}

// Bytes of heap in use now. The sanitizer's allocator keeps freed blocks
// aside for a while, so there the count comes from it.
inline qint64 memoryInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = ::mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
#endif
}
constexpr qint64 memorySlack = 1 << 18;

#endif // FAREND_UNIX_H
