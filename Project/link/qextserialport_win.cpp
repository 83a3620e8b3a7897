// The serial port on Windows: COM names as they are, and the operator's
// guidance for a failed open.
#include "qextserialport.h"

QString QextSerialPort::systemLocationOf(const QString &name)
{
    return name; // Qt Serial Port itself reaches COM10 and above correctly
}

QSerialPort::SerialPortError QextSerialPort::openDevice(const QString &location, OpenMode mode,
                                                        QString *)
{
    // Windows' serial drivers do not echo: nothing to quiet first.
    m_port->setPortName(location);
    return m_port->open(mode) ? QSerialPort::NoError : m_port->error();
}

void QextSerialPort::closeDevice()
{
    m_port->close();
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
