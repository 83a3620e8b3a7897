// The serial port on Windows: COM names as they are, and the operator's
// guidance for a failed open.
#include "devicewatch_win.h"
#include "qextserialport.h"

QString QextSerialPort::systemLocationOf(const QString &name)
{
    return name; // Qt Serial Port itself reaches COM10 and above correctly
}

void QextSerialPort::createDevice()
{
    m_port = new QSerialPort(this);
    m_watch = new DeviceWatch(this);
    connect(m_watch, &DeviceWatch::lost, this, &QextSerialPort::onDeviceLost);
    // Nothing reads the link: drop what the unit sends as it arrives, or Qt
    // would keep it all.
    connect(m_port, &QSerialPort::readyRead, this, &QextSerialPort::dropInput);
}

QSerialPort::SerialPortError QextSerialPort::openDevice(const QString &location, OpenMode mode,
                                                        QString *)
{
    // Windows' serial drivers do not echo: nothing to quiet first.
    m_port->setPortName(location);
    m_port->setBaudRate(bitsPerSecond(m_baudRate));
    m_port->setDataBits(QSerialPort::Data8);
    m_port->setParity(QSerialPort::EvenParity);
    m_port->setStopBits(QSerialPort::OneStop);
    if (!m_port->open(mode))
        return m_port->error();
    m_watch->watch(m_port);
    return QSerialPort::NoError;
}

void QextSerialPort::closeDevice()
{
    m_watch->stop();
    if (m_port->isOpen())
        m_port->close();
}

QString QextSerialPort::deviceErrorString() const
{
    return m_port->errorString();
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

QString QextSerialPort::systemSpecificCause(QSerialPort::SerialPortError error, const QString &,
                                            const QString &location, BaudRateType rate)
{
    // What SetCommState's refusal of the line settings comes back as.
    if (error == QSerialPort::UnsupportedOperationError)
        return tr("The driver of %1 refused the line settings: 8 data bits, even parity and one "
                  "stop bit at %2 baud.")
                .arg(location)
                .arg(bitsPerSecond(rate));
    return QString();
}
