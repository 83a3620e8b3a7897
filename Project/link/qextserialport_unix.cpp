// The serial port on Unix: COM names under /dev, a line that never answers
// the unit, and the operator's guidance for a failed open.
#include "deviceholder.h"
#include "qextserialport.h"
#include "udevrules.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

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

// The tty's line discipline echoes what arrives, and sends flow-control
// characters, whenever its settings say so: from the device's open until
// the switch to raw mode, and between the port's earlier settings being put
// back and its close. Opened at once before Qt's open and held across it,
// this turns all that off: Qt then finds the line quiet, puts it back quiet
// at close, and the kernel keeps it so for the next open. A device that
// another program holds for exclusive use is left as it is: root may open
// it, but two programs on one line garble it.
class QuietLine
{
public:
    explicit QuietLine(const QString &device)
        : m_fd(::open(QFile::encodeName(device).constData(),
                      O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC))
    {
        if (m_fd < 0)
            return;
#ifdef TIOCGEXCL
        int exclusive = 0;
        m_held = ::ioctl(m_fd, TIOCGEXCL, &exclusive) == 0 && exclusive;
#endif
        if (m_held || ::tcgetattr(m_fd, &m_found) != 0)
            return;
        termios line = m_found;
        // The rate and framing stay as they are; Qt sets its own.
        ::cfmakeraw(&line);
        line.c_cflag = m_found.c_cflag;
        line.c_iflag &= ~tcflag_t(IXOFF | IXANY);
        m_quieted = ::tcsetattr(m_fd, TCSANOW, &line) == 0;
    }
    ~QuietLine()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Q_DISABLE_COPY(QuietLine)

    bool isHeldByAnother() const { return m_held; }
    // After an open that failed: the line as it was found.
    void restore()
    {
        if (m_quieted)
            ::tcsetattr(m_fd, TCSANOW, &m_found);
    }

private:
    int m_fd;
    bool m_held = false;
    bool m_quieted = false;
    termios m_found{};
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

QSerialPort::SerialPortError QextSerialPort::openDevice(const QString &location, OpenMode mode,
                                                        QString *cause)
{
    // By the kernel's name, which a udev link resolves to: the lock file is
    // then the one that other programs opening that name take.
    const QString target = QFileInfo(location).canonicalFilePath();
    const QString device = target.isEmpty() ? location : target;
    // Whatever may refuse comes before the device is opened: an open raises
    // DTR and RTS, and a port fresh from boot or plug echoes until quieted.
    struct stat info;
    if (::stat(QFile::encodeName(device).constData(), &info) == 0 && S_ISCHR(info.st_mode)) {
        const DeviceHolder holder = DeviceHolder::of(device, {device, location});
        *cause = holder.isNull() ? DeviceHolder::clearLockPath(device, location)
                                 : holder.reason(location);
        if (!cause->isEmpty())
            return QSerialPort::PermissionError;
    }
    QuietLine line(device);
    if (line.isHeldByAnother())
        return QSerialPort::PermissionError;
    m_port->setPortName(device);
    if (m_port->open(mode))
        return QSerialPort::NoError;
    line.restore();
    return m_port->error();
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
