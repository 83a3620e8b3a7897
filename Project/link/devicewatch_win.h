#ifndef DEVICEWATCH_WIN_H
#define DEVICEWATCH_WIN_H

#include <QObject>
#include <QSerialPort>

// How a lost serial device is recognised where Qt Serial Port keeps the
// port (Windows): by Qt's report of an error that means a vanished device
// (see meansLoss()). On Unix the line sees its own hang-up (ttyline_unix.h).
class DeviceWatch : public QObject
{
    Q_OBJECT

public:
    explicit DeviceWatch(QObject *parent = nullptr);
    ~DeviceWatch() override;

    // Watches the open port and its device until stop().
    void watch(QSerialPort *port);
    void stop();

    // Whether an error the port reports means that its device is gone; open
    // tells whether the port was open when it reported the error.
    static bool meansLoss(QSerialPort::SerialPortError error, bool open);

signals:
    // Emitted from the event loop; the port acts on the first of a watch.
    void lost();

private:
    QMetaObject::Connection m_portErrors;
};

#endif // DEVICEWATCH_WIN_H
