#ifndef DEVICEWATCH_H
#define DEVICEWATCH_H

#include <QObject>
#include <QSerialPort>

#include <memory>

// How a lost serial device is recognised, in one place. Qt's own report of
// an error that means a vanished device counts on every platform (see
// meansLoss()). On Unix the watch also sees the hang-up of a device that
// goes away while open (a USB adapter pulled, the far end of a
// pseudo-terminal closed) on a descriptor of its own, so it does not rest on
// how a Qt version reports it.
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
    // Per platform (devicewatch_unix.cpp, devicewatch_win.cpp): what watches
    // the device itself, where anything does.
    struct Device;
    struct Deleter
    {
        void operator()(Device *device) const;
    };
    Device *watchDevice(QSerialPort *port);

    QMetaObject::Connection m_portErrors;
    std::unique_ptr<Device, Deleter> m_device;
};

#endif // DEVICEWATCH_H
