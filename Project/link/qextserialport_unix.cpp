// The serial port on Unix: COM names under /dev, the operator's guidance for
// a failed open, and the care a pseudo-terminal needs when it closes.
#include "qextserialport.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <sys/sysmacros.h>
#endif

namespace {

// Whether the path names something other than a character device: a regular
// file or a folder can be opened, but it never is a serial port.
bool isOtherThanCharacterDevice(const QString &path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISCHR(info.st_mode);
}

// Whether this process may read and write the device, by its effective ids.
bool mayReadAndWrite(const QString &path)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), R_OK | W_OK, AT_EACCESS) == 0;
}

// Whether the open device is the slave side of a pseudo-terminal (majors 136
// to 143 on Linux).
bool isPseudoTerminal([[maybe_unused]] int fd)
{
#ifdef Q_OS_LINUX
    struct stat info;
    return ::fstat(fd, &info) == 0 && S_ISCHR(info.st_mode) && major(info.st_rdev) >= 136
            && major(info.st_rdev) <= 143;
#else
    return false;
#endif
}

} // namespace

QString QextSerialPort::systemLocation() const
{
    if (m_name.contains(QLatin1Char('/')))
        return m_name;
    const QString device = QStringLiteral("/dev/") + m_name;
    static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]*)$"));
    const QRegularExpressionMatch com = comName.match(m_name);
    if (!com.hasMatch())
        return device;
    // An administrator may name an adapter COMn with a udev rule; otherwise
    // COMn is the n-th built-in port.
    const QFileInfo info(device);
    if (info.exists() || info.isSymLink())
        return device;
    return QStringLiteral("/dev/ttyS") + QString::number(com.captured(1).toInt() - 1);
}

void QextSerialPort::afterOpen()
{
    // A pseudo-terminal keeps output stopped from an earlier close.
    ::tcflow(int(m_port->handle()), TCOON);
}

void QextSerialPort::closeDevice()
{
    const int fd = int(m_port->handle());
    // Qt turns the port's own settings (echo among them) back on just before
    // it closes. With output stopped and the queues emptied, nothing echoes
    // to the unit in that moment, and the last close of a serial port drops
    // queued output instead of waiting for the line. A pseudo-terminal,
    // unlike a real port, keeps the stop past the last close: hold it open
    // past Qt's close to restart its output.
    const int held = isPseudoTerminal(fd) ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
    ::tcflow(fd, TCOOFF);
    ::tcflush(fd, TCIOFLUSH);
    m_port->close();
    if (held >= 0) {
        ::tcflush(held, TCIOFLUSH);
        ::tcflow(held, TCOON);
        ::close(held);
    }
}

void QextSerialPort::dropInput()
{
    m_port->clear(QSerialPort::Input);
}

QString QextSerialPort::platformFailureCause(QSerialPort::SerialPortError error,
                                             const QString &name, const QString &location,
                                             BaudRateType)
{
    if (isOtherThanCharacterDevice(location))
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
