// The serial port on Unix: COM names under /dev, a line that never answers
// the unit, and the operator's guidance for a failed open.
#include "qextserialport.h"
#include "udevrules.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Whether the path names a file that is there but is no character device,
// as every serial port is: a regular file or a folder can be opened too.
bool isOrdinaryFile(const QString &path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISCHR(info.st_mode);
}

// Whether this process may read and write the device, by its effective ids.
bool mayReadAndWrite(const QString &path)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), R_OK | W_OK, AT_EACCESS) == 0;
}

// Whether another process holds the device: for exclusive use, or by a lock
// file under one of its names, as Qt Serial Port and other serial programs
// take it. Root may open a device held for exclusive use; the console does
// not, as two programs on one line garble it.
bool heldByAnother(int fd, const QStringList &names)
{
#ifdef TIOCGEXCL
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive)
        return true;
#endif
    for (QString lock : names) {
        if (lock.startsWith(QLatin1String("/dev/")))
            lock.remove(0, 5);
        lock.replace(QLatin1Char('/'), QLatin1Char('_')).prepend(QStringLiteral("/LCK.."));
        for (const char *folder : {"/var/lock", "/run/lock", "/tmp"}) {
            QFile file(QLatin1String(folder) + lock);
            if (!file.open(QIODevice::ReadOnly))
                continue;
            const pid_t holder = pid_t(file.readLine().trimmed().toLong());
            if (holder > 0 && holder != ::getpid() && (::kill(holder, 0) == 0 || errno == EPERM))
                return true;
        }
    }
    return false;
}

// The tty's line discipline echoes what arrives, and sends flow-control
// characters, whenever its settings say so: in the moment between the
// device's open and the switch to raw mode, and in the one between the port's
// earlier settings being put back and its close. Held open across Qt's open,
// this turns all that off first: Qt then finds the line quiet, puts it back
// quiet at close, and the kernel keeps it so for the next open.
class QuietLine
{
public:
    QuietLine(const QString &device, const QStringList &names)
        : m_fd(::open(QFile::encodeName(device).constData(),
                      O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
        , m_held(m_fd >= 0 && heldByAnother(m_fd, names))
    {
        termios line;
        if (m_fd < 0 || m_held || ::tcgetattr(m_fd, &line) != 0)
            return;
        // The rate and framing stay as they are; Qt sets its own.
        const tcflag_t control = line.c_cflag;
        ::cfmakeraw(&line);
        line.c_cflag = control;
        line.c_iflag &= ~tcflag_t(IXOFF | IXANY);
        ::tcsetattr(m_fd, TCSANOW, &line);
    }
    ~QuietLine()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Q_DISABLE_COPY(QuietLine)

    bool isHeldByAnother() const { return m_held; }

private:
    int m_fd;
    bool m_held;
};

} // namespace

QString QextSerialPort::systemLocationOf(const QString &name)
{
    if (name.contains(QLatin1Char('/')))
        return name;
    const QString device = QStringLiteral("/dev/") + name;
    static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]*)$"));
    const QRegularExpressionMatch com = comName.match(name);
    if (!com.hasMatch())
        return device;
    // An administrator may name an adapter COMn with a udev rule, which
    // holds while the adapter is unplugged too; otherwise COMn is the n-th
    // built-in port.
    const QFileInfo info(device);
    if (info.exists() || info.isSymLink() || !UdevRule::naming(name).isNull())
        return device;
    return QStringLiteral("/dev/ttyS") + QString::number(com.captured(1).toInt() - 1);
}

QSerialPort::SerialPortError QextSerialPort::openDevice(const QString &location, OpenMode mode)
{
    // By the kernel's name, which a udev link resolves to: the lock file is
    // then the one that other programs opening that name take.
    const QString target = QFileInfo(location).canonicalFilePath();
    const QString device = target.isEmpty() ? location : target;
    const QuietLine line(device, {device, location});
    if (line.isHeldByAnother())
        return QSerialPort::PermissionError;
    m_port->setPortName(device);
    return m_port->open(mode) ? QSerialPort::NoError : m_port->error();
}

void QextSerialPort::closeDevice()
{
    // What the unit sent is of no use, and nothing waits for the line.
    m_port->clear(QSerialPort::AllDirections);
    m_port->close();
}

QString QextSerialPort::systemSpecificCause(QSerialPort::SerialPortError error, const QString &name,
                                            const QString &location, BaudRateType)
{
    if (isOrdinaryFile(location))
        return tr("%1 is not a serial port.").arg(location);
    // COMn that no udev rule names is the n-th built-in port, which a USB
    // adapter never becomes.
    const bool builtIn = location != name && location.startsWith(QLatin1String("/dev/ttyS"));
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        if (builtIn)
            return tr("The serial device %1 does not exist: this computer has no built-in serial "
                      "port %1, and no udev rule names a USB adapter %2.")
                    .arg(location, name);
        if (location == QStringLiteral("/dev/") + name) {
            const UdevRule rule = UdevRule::naming(name);
            if (!rule.isNull())
                return rule.notPluggedIn(name);
        }
        break;
    case QSerialPort::PermissionError:
        if (!mayReadAndWrite(location))
            return tr("You are not allowed to use the serial device %1. Add your account to "
                      "the dialout group (sudo usermod -aG dialout <account>), then log out "
                      "and in again.")
                    .arg(location);
        break;
    case QSerialPort::UnsupportedOperationError:
        return tr("%1 is not a serial port.").arg(location);
    case QSerialPort::ResourceError:
        if (builtIn)
            return tr("The serial device %1 exists, but no serial port answers there: this "
                      "computer has no built-in serial port %1, and no udev rule names a USB "
                      "adapter %2.")
                    .arg(location, name);
        break;
    default:
        break;
    }
    return QString();
}
