#include "ttyline_unix.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The number of the pseudo-terminal whose slave rdev is, -1 for any other
// device: its master's holder is the far end of the line, not a competitor.
int ptyIndex(dev_t rdev)
{
    const unsigned int group = major(rdev) - 136; // Unix 98 slaves: majors 136 to 143
    return group < 8 ? int(group * 256 + minor(rdev)) : -1;
}

// Whether rdev is a terminal's: every process holds /dev/null.
bool isTerminal(dev_t rdev)
{
    char path[64];
    char subsystem[256];
    std::snprintf(path, sizeof path, "/sys/dev/char/%u:%u/subsystem", major(rdev), minor(rdev));
    const ssize_t size = ::readlink(path, subsystem, sizeof subsystem);
    return ptyIndex(rdev) >= 0 || (size > 4 && std::memcmp(subsystem + size - 4, "/tty", 4) == 0);
}

speed_t speedOf(qint32 rate)
{
    return rate == 9600 ? B9600 : rate == 19200 ? B19200 : rate == 38400 ? B38400 : B57600;
}

} // namespace

TtyLine::TtyLine(QObject *parent)
    : QObject(parent)
{ }

TtyLine::~TtyLine()
{
    close();
}

QSerialPort::SerialPortError TtyLine::open(const QString &device, const QString &location,
                                           qint32 rate, QString *cause)
{
    close();
    const QByteArray path = QFile::encodeName(device);
    struct stat info;
    if (::stat(path.constData(), &info) != 0)
        return fail(errno);
    if (!S_ISCHR(info.st_mode) || !isTerminal(info.st_rdev))
        return fail(ENOTTY);
    // Lock files first: once they are taken, no program that honours them
    // can come in while the descriptors are looked at.
    const QStringList names = LockFiles::namesOf({device, location});
    const int pty = ptyIndex(info.st_rdev);
    *cause = m_locks.take(names, location);
    if (!cause->isEmpty())
        return fail(EBUSY);
    const DeviceHolder holder = DeviceHolder::openedBy(info.st_rdev, pty);
    if (!holder.isNull()) {
        *cause = holder.reason(location);
        return fail(EBUSY);
    }

    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return fail(errno);
    struct stat opened;
    termios line;
    int exclusive = 0;
    int error = 0;
    if (::fstat(fd, &opened) != 0 || opened.st_rdev != info.st_rdev)
        error = ENXIO; // another device took the name meanwhile
    else if (::tcgetattr(fd, &line) != 0)
        error = errno;
    // Exclusive use, which root passes, or an flock: a holder this account
    // may not see. Neither is touched.
    else if ((::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive)
             || ::flock(fd, LOCK_EX | LOCK_NB) != 0)
        error = EBUSY;
    if (error == 0) {
        ::cfmakeraw(&line);
        line.c_cflag &= ~tcflag_t(CSIZE | PARODD | CSTOPB | CRTSCTS);
        line.c_cflag |= CS8 | PARENB | CREAD | CLOCAL;
        line.c_iflag &= ~tcflag_t(IXOFF | IXANY);
        ::cfsetspeed(&line, speedOf(rate));
        // A pseudo-terminal drops parity: EINVAL once the rest is set.
        if ((::tcsetattr(fd, TCSANOW, &line) != 0 && (errno != EINVAL || pty < 0))
            || ::ioctl(fd, TIOCEXCL) != 0)
            error = errno;
    }
    if (error != 0) {
        ::close(fd);
        return fail(error);
    }
    m_fd = fd;
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TtyLine::readable);
    return QSerialPort::NoError;
}

void TtyLine::close()
{
    if (m_fd < 0)
        return;
    delete m_notifier;
    m_notifier = nullptr;
    // What the unit sent is of no use, and nothing waits for the line.
    ::tcflush(m_fd, TCIOFLUSH);
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd);
    m_fd = -1;
    m_locks.release();
}

void TtyLine::readable()
{
    // Nothing reads the link: what comes is dropped. A device that went
    // reads as the end of the file, or fails.
    char buffer[4096];
    ssize_t size = 0;
    for (int i = 0; i < 16 && (size = ::read(m_fd, buffer, sizeof buffer)) > 0; ++i) { }
    if (size == 0 || (size < 0 && errno != EAGAIN && errno != EINTR)) {
        m_notifier->setEnabled(false);
        emit lost();
    }
}

QSerialPort::SerialPortError TtyLine::fail(int error)
{
    m_error = QString::fromLocal8Bit(std::strerror(error));
    m_locks.release();
    return error == ENOENT || error == ENODEV || error == ENXIO   ? QSerialPort::DeviceNotFoundError
            : error == EACCES || error == EPERM || error == EBUSY ? QSerialPort::PermissionError
            : error == ENOTTY ? QSerialPort::UnsupportedOperationError
                              : QSerialPort::ResourceError;
}
