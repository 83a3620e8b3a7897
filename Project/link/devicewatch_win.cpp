#include "devicewatch_win.h"

DeviceWatch::DeviceWatch(QObject *parent)
    : QObject(parent)
{ }

DeviceWatch::~DeviceWatch()
{
    stop();
}

void DeviceWatch::watch(QSerialPort *port)
{
    stop();
    m_portErrors = connect(port, &QSerialPort::errorOccurred, this,
                           [this, port](QSerialPort::SerialPortError error) {
                               if (meansLoss(error, port->isOpen()))
                                   emit lost();
                           });
}

void DeviceWatch::stop()
{
    // Never called from inside a report: the loss is acted on from the
    // event loop.
    disconnect(m_portErrors);
}

bool DeviceWatch::meansLoss(QSerialPort::SerialPortError error, bool open)
{
    // Qt keeps a read (on Windows a comm event too) pending on an open port.
    // A device that goes ends it with an error, after which Qt waits no
    // more: an open port that reports one of these is deaf for good.
    // - ResourceError: the device removed, hung up or its handle invalid,
    //   the pending wait aborted.
    // - PermissionError: what a pulled USB adapter often ends the wait with
    //   on Windows.
    // - ReadError, UnknownError: a read that cannot start, or a wait that
    //   ends as calls on a device half gone do.
    // Only while open: a failed open reports its own cause, and there a
    // PermissionError is a port that another program holds.
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::PermissionError:
    case QSerialPort::ReadError:
    case QSerialPort::UnknownError:
        return open;
    default:
        return false;
    }
}
