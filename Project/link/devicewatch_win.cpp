// A lost device on Windows: Qt's report of it is all there is.
#include "devicewatch.h"

void DeviceWatch::watchDevice(QSerialPort *) { }

void DeviceWatch::stopWatchingDevice() { }

bool DeviceWatch::meansLoss(QSerialPort::SerialPortError error, bool open)
{
    // Qt keeps a read or a comm event pending on an open port. A device that
    // goes completes it with an error, and after any error Qt waits no more:
    // an open port that reports one of these is deaf for good.
    // - ResourceError: the handle invalid, the device removed, the pending
    //   wait aborted (ERROR_INVALID_HANDLE, ERROR_BAD_COMMAND,
    //   ERROR_DEVICE_REMOVED, ERROR_OPERATION_ABORTED).
    // - PermissionError: ERROR_ACCESS_DENIED, what a pulled USB adapter often
    //   completes the wait with.
    // - ReadError, UnknownError: a read that cannot start, or a wait that ends
    //   with ERROR_NOT_READY or ERROR_BROKEN_PIPE, as calls on a device half
    //   gone do.
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
