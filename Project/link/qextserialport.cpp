#include "qextserialport.h"
#include "devicewatch.h"
#include "serialportlist.h"

QextSerialPort::QextSerialPort(QObject *parent)
    : QIODevice(parent)
    , m_port(new QSerialPort(this))
    , m_watch(new DeviceWatch(this))
{
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
    // Qt Serial Port refuses Unbuffered; it only matters to this device's own
    // read and write calls, which the inner port serves at once anyway.
    QString cause;
    const QSerialPort::SerialPortError error =
            openDevice(location, mode & ~OpenMode(Unbuffered), &cause);
    if (error != QSerialPort::NoError) {
        setErrorString(failedOpenMessage(error, location, cause));
        return false;
    }
    m_watch->watch(m_port);
    m_location = location;
    return QIODevice::open(mode);
}

void QextSerialPort::close()
{
    m_lossPending = false;
    m_watch->stop();
    if (m_port->isOpen())
        closeDevice();
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
    // Taken out of Qt's buffer, which is left unbounded: with a capped buffer
    // full, Qt on Windows would keep no read pending and not see the device
    // go. Purging the driver's queue instead would abort that read, which Qt
    // reports as the ResourceError that a lost device gives.
    m_port->skip(m_port->bytesAvailable());
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

QString QextSerialPort::failedOpenMessage(QSerialPort::SerialPortError error,
                                          const QString &location, const QString &cause) const
{
    return (cause.isEmpty()
                    ? openFailureCause(error, m_name, location, m_baudRate, m_port->errorString())
                    : cause)
            + QStringLiteral("\n\n") + SerialPortList::describe(m_name, SerialPortList::present());
}

QString QextSerialPort::openFailureCause(QSerialPort::SerialPortError error, const QString &name,
                                         const QString &location, BaudRateType rate,
                                         const QString &qtReason)
{
    const QString cause = systemSpecificCause(error, name, location, rate);
    if (!cause.isEmpty())
        return cause;
    switch (error) {
    case QSerialPort::DeviceNotFoundError:
        return tr("The serial device %1 does not exist. Check that the cable or the USB "
                  "adapter is plugged in and that the right port is chosen.")
                .arg(location);
    case QSerialPort::PermissionError:
        // Both systems report a port that another program holds (on Unix its
        // LCK.. file, or exclusive use) as a permission error.
        return tr("The serial device %1 is in use by another program. Close that program, "
                  "then open the link again.")
                .arg(location);
    default:
        return tr("The serial device %1 could not be opened: %2.").arg(location, qtReason);
    }
}

qint32 QextSerialPort::bitsPerSecond(BaudRateType baud)
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
