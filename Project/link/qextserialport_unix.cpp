// The serial port on Unix: COM names under /dev, the line opened by this
// program itself, and the operator's guidance for a failed open.
#include "qextserialport.h"
#include "serialportlist.h"
#include "ttyline_unix.h"
#include "udevrules_unix.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Whether this process may read and write the device, by its effective ids.
bool mayReadAndWrite(const QString &path)
{
    return ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), R_OK | W_OK, AT_EACCESS) == 0;
}

} // namespace

QString QextSerialPort::systemLocationOf(const QString &name)
{
    if (name.contains(QLatin1Char('/')))
        return name;
    const QString device = QStringLiteral("/dev/") + name;
    const int number = SerialPortList::comNumber(name);
    if (number == 0)
        return device;
    // An administrator may name an adapter COMn with a udev rule, which
    // holds while the adapter is unplugged too; otherwise COMn is the n-th
    // built-in port.
    const QFileInfo info(device);
    if (info.exists() || info.isSymLink())
        return device;
    const UdevRule rule = UdevRule::naming(name);
    if (!rule.isNull() && !rule.isUnread())
        return device;
    return QStringLiteral("/dev/ttyS") + QString::number(number - 1);
}

void QextSerialPort::createDevice()
{
    m_line = new TtyLine(this);
    connect(m_line, &TtyLine::lost, this, &QextSerialPort::onDeviceLost);
}

QSerialPort::SerialPortError QextSerialPort::openDevice(const QString &location, OpenMode,
                                                        QString *cause)
{
    // Locked by the kernel's name, which a udev link resolves to, and by the
    // name the operator chose, which other programs may be given too.
    const QString target = QFileInfo(location).canonicalFilePath();
    return m_line->open(target.isEmpty() ? location : target, location, bitsPerSecond(m_baudRate),
                        cause);
}

void QextSerialPort::closeDevice()
{
    m_line->close();
}

QString QextSerialPort::deviceErrorString() const
{
    return m_line->errorString();
}

qint64 QextSerialPort::readData(char *, qint64)
{
    return 0; // what the unit sends is dropped as it comes
}

qint64 QextSerialPort::writeData(const char *, qint64)
{
    return -1; // nothing is ever sent to the unit
}

QString QextSerialPort::systemSpecificCause(QSerialPort::SerialPortError error, const QString &name,
                                            const QString &location, BaudRateType)
{
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
