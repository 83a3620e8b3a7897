#include "qextserialport.h"
#include "serialportlist.h"

QextSerialPort::QextSerialPort(QObject *parent)
    : QIODevice(parent)
{
    createDevice();
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
    setSupported(Rate, bitsPerSecond(baud) != 0);
}

BaudRateType QextSerialPort::baudRate() const
{
    return m_baudRate;
}

void QextSerialPort::setDataBits(DataBitsType dataBits)
{
    setSupported(Bits, dataBits == DATA_8);
}

void QextSerialPort::setParity(ParityType parity)
{
    setSupported(Parity, parity == PAR_EVEN);
}

void QextSerialPort::setStopBits(StopBitsType stopBits)
{
    setSupported(Stop, stopBits == STOP_1);
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
    m_location = location;
    return QIODevice::open(mode);
}

void QextSerialPort::close()
{
    m_lossPending = false;
    closeDevice();
    QIODevice::close();
}

bool QextSerialPort::isSequential() const
{
    return true;
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
                    ? openFailureCause(error, m_name, location, m_baudRate, deviceErrorString())
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
