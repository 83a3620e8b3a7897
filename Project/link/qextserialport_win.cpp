// The serial port on Windows: COM names as they are, and the operator's
// guidance for a failed open.
#include "qextserialport.h"

QString QextSerialPort::systemLocation() const
{
    return m_name; // Qt Serial Port itself reaches COM10 and above correctly
}

QSerialPort::SerialPortError QextSerialPort::openDevice(const QString &location, OpenMode mode)
{
    // Windows' serial drivers do not echo: nothing to quiet first.
    m_port->setPortName(location);
    return m_port->open(mode) ? QSerialPort::NoError : m_port->error();
}

void QextSerialPort::closeDevice()
{
    m_port->close();
}

void QextSerialPort::dropInput()
{
    // Taken out of Qt's buffer, which is left unbounded: with a capped buffer
    // full, Qt would keep no read pending and not see the device go. Purging
    // instead would abort Qt's pending read, which it reports as the
    // ResourceError that a lost device gives.
    m_port->skip(m_port->bytesAvailable());
}

QString QextSerialPort::platformFailureCause(QSerialPort::SerialPortError error, const QString &,
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
