#include "qextserialport.h"
#include "devicewatch.h"
#include "serialportlist.h"

#include <QFileInfo>
#include <QRegularExpression>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <sys/sysmacros.h>
#endif

namespace {

#ifdef Q_OS_UNIX
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
#else
bool isOtherThanCharacterDevice(const QString &)
{
    return false;
}

// Windows refuses a port that another program holds as access denied.
bool mayReadAndWrite(const QString &)
{
    return true;
}
#endif

qint32 bitsPerSecond(BaudRateType baud)
{
    switch (baud) {
    case BAUD9600:
        return QSerialPort::Baud9600;
    case BAUD19200:
        return QSerialPort::Baud19200;
    case BAUD38400:
        return QSerialPort::Baud38400;
    case BAUD57600:
        return QSerialPort::Baud57600;
    }
    return 0;
}

} // namespace

QextSerialPort::QextSerialPort(QObject *parent)
    : QIODevice(parent)
    , m_port(new QSerialPort(this))
    , m_watch(new DeviceWatch(this))
{
    connect(m_port, &QSerialPort::errorOccurred, this, &QextSerialPort::onPortError);
    connect(m_watch, &DeviceWatch::lost, this, &QextSerialPort::onDeviceLost);
    // Nothing reads the link: drop what the unit sends as it arrives, or Qt
    // would keep it all.
    connect(m_port, &QSerialPort::readyRead, this, &QextSerialPort::dropInput);
}

QextSerialPort::~QextSerialPort()
{
    close();
}

void QextSerialPort::setPortName(const QString &name)
{
    m_name = name;
}

QString QextSerialPort::portName() const
{
    return m_name;
}

QString QextSerialPort::systemLocation() const
{
#ifdef Q_OS_WIN
    return m_name; // Qt Serial Port itself reaches COM10 and above correctly
#else
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
#endif
}

void QextSerialPort::setBaudRate(BaudRateType baud)
{
    m_baudRate = baud;
    const qint32 rate = bitsPerSecond(baud);
    setSupported(Rate, rate != 0);
    if (rate != 0)
        m_port->setBaudRate(rate);
}

BaudRateType QextSerialPort::baudRate() const
{
    return m_baudRate;
}

void QextSerialPort::setDataBits(DataBitsType dataBits)
{
    setSupported(Bits, dataBits == DATA_8);
    if (dataBits == DATA_8)
        m_port->setDataBits(QSerialPort::Data8);
}

void QextSerialPort::setParity(ParityType parity)
{
    setSupported(Parity, parity == PAR_EVEN);
    if (parity == PAR_EVEN)
        m_port->setParity(QSerialPort::EvenParity);
}

void QextSerialPort::setStopBits(StopBitsType stopBits)
{
    setSupported(Stop, stopBits == STOP_1);
    if (stopBits == STOP_1)
        m_port->setStopBits(QSerialPort::OneStop);
}

void QextSerialPort::setSupported(Setting setting, bool supported)
{
    if (supported)
        m_unsupported &= ~setting;
    else
        m_unsupported |= setting;
}

bool QextSerialPort::open(OpenMode mode)
{
    if (isOpen())
        return true;
    const QString location = systemLocation();
    if (m_unsupported != 0) {
        setErrorString(tr("The serial port cannot use the line settings asked for."));
        return false;
    }
    m_port->setPortName(location);
    // Qt Serial Port refuses Unbuffered; it only matters to this device's own
    // read and write calls, which the inner port serves at once anyway.
    if (!m_port->open(mode & ~OpenMode(Unbuffered))) {
        setErrorString(openFailureReason(location));
        return false;
    }
#ifdef Q_OS_UNIX
    // A pseudo-terminal keeps output stopped from an earlier close.
    ::tcflow(int(m_port->handle()), TCOON);
#endif
    m_watch->watch(m_port);
    m_location = location;
    return QIODevice::open(mode);
}

void QextSerialPort::close()
{
    m_lossPending = false;
    m_watch->stop();
    if (m_port->isOpen()) {
#ifdef Q_OS_UNIX
        const int fd = int(m_port->handle());
        // Qt turns the port's own settings (echo among them) back on just
        // before it closes. With output stopped and the queues emptied,
        // nothing echoes to the unit in that moment, and the last close of a
        // serial port drops queued output instead of waiting for the line.
        // A pseudo-terminal, unlike a real port, keeps the stop past the last
        // close: hold it open past Qt's close to restart its output.
        const int held = isPseudoTerminal(fd) ? ::fcntl(fd, F_DUPFD_CLOEXEC, 0) : -1;
        ::tcflow(fd, TCOOFF);
        ::tcflush(fd, TCIOFLUSH);
#endif
        m_port->close();
#ifdef Q_OS_UNIX
        if (held >= 0) {
            ::tcflush(held, TCIOFLUSH);
            ::tcflow(held, TCOON);
            ::close(held);
        }
#endif
    }
    QIODevice::close();
}

bool QextSerialPort::isSequential() const
{
    return true;
}

qint64 QextSerialPort::readData(char *data, qint64 maxSize)
{
    return m_port->read(data, maxSize);
}

qint64 QextSerialPort::writeData(const char *data, qint64 maxSize)
{
    return m_port->write(data, maxSize);
}

void QextSerialPort::dropInput()
{
#ifdef Q_OS_WIN
    // Taken out of Qt's buffer, which is left unbounded: with a capped buffer
    // full, Qt would keep no read pending and not see the device go. Purging
    // instead would abort Qt's pending read, which it reports as the
    // ResourceError that a lost device gives.
    m_port->skip(m_port->bytesAvailable());
#else
    m_port->clear(QSerialPort::Input);
#endif
}

void QextSerialPort::onPortError(QSerialPort::SerialPortError error)
{
    if (DeviceWatch::meansLoss(error, m_port->isOpen()))
        onDeviceLost();
}

void QextSerialPort::onDeviceLost()
{
    if (!isOpen() || m_lossPending)
        return;
    m_lossPending = true;
    // Reported from inside a notifier that closing deletes: close once
    // control is back in the event loop.
    QMetaObject::invokeMethod(
            this,
            [this] {
                if (!m_lossPending)
                    return; // closed in the meantime
                close();
                setErrorString(tr("The serial device %1 has disappeared. Check the cable or "
                                  "the USB adapter.")
                                       .arg(m_location));
                emit deviceLost();
            },
            Qt::QueuedConnection);
}

QString QextSerialPort::openFailureReason(const QString &location) const
{
    return openFailureCause(m_port->error(), m_name, location, m_baudRate, m_port->errorString())
            + QStringLiteral("\n\n") + SerialPortList::describe(m_name, SerialPortList::present());
}

QString QextSerialPort::openFailureCause(QSerialPort::SerialPortError error, const QString &name,
                                         const QString &location, BaudRateType rate,
                                         const QString &qtReason)
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
        return tr("The serial device %1 does not exist. Check that the cable or the USB "
                  "adapter is plugged in and that the right port is chosen.")
                .arg(location);
    case QSerialPort::PermissionError:
        if (!mayReadAndWrite(location))
            return tr("You are not allowed to use the serial device %1. Add your account to "
                      "the dialout group (sudo usermod -aG dialout <account>), then log out "
                      "and in again.")
                    .arg(location);
        // Qt reports a device locked by another program (its LCK.. file, or
        // exclusive use) as a permission error.
        return tr("The serial device %1 is in use by another program. Close that program, "
                  "then open the link again.")
                .arg(location);
    case QSerialPort::UnsupportedOperationError:
#ifdef Q_OS_WIN
        // What SetCommState's refusal of the line settings comes back as.
        return tr("The driver of %1 refused the line settings: 8 data bits, even parity and one "
                  "stop bit at %2 baud.")
                .arg(location)
                .arg(bitsPerSecond(rate));
#else
        Q_UNUSED(rate);
        return tr("%1 is not a serial port.").arg(location);
#endif
    case QSerialPort::ResourceError:
        if (builtIn)
            return tr("The serial device %1 exists, but no serial port answers there: this "
                      "computer has no built-in serial port %1, and no udev rule names a USB "
                      "adapter %2.")
                    .arg(location, name);
        Q_FALLTHROUGH();
    default:
        return tr("The serial device %1 could not be opened: %2.").arg(location, qtReason);
    }
}
