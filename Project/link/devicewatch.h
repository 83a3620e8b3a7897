#ifndef DEVICEWATCH_H
#define DEVICEWATCH_H

#include <QObject>
#include <QSerialPort>

class QSocketNotifier;

// How a lost serial device is recognised, in one place. A device that goes
// away while open (a USB adapter pulled, the far end of a pseudo-terminal
// closed) hangs up its terminal. On Unix the watch sees the hang-up on a
// descriptor of its own, so it does not rest on how a Qt version reports it;
// Qt's own report of a vanished device counts too. On Windows Qt's report,
// an error while the port is open, is all there is (see meansLoss()).
class DeviceWatch : public QObject
{
    Q_OBJECT

public:
    explicit DeviceWatch(QObject *parent = nullptr);
    ~DeviceWatch() override;

    // Watches the open device behind the port's handle until stop().
    void watch(QSerialPort *port);
    void stop();

    // Whether an error the port reports means that its device is gone; open
    // tells whether the port was open when it reported the error.
    static bool meansLoss(QSerialPort::SerialPortError error, bool open);

signals:
    // Emitted once per watch, from the event loop.
    void lost();

private:
    void check();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
};

#endif // DEVICEWATCH_H
