#include "devicewatch.h"

#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#endif

DeviceWatch::DeviceWatch(QObject *parent)
    : QObject(parent)
{ }

DeviceWatch::~DeviceWatch()
{
    stop();
}

void DeviceWatch::watch([[maybe_unused]] QSerialPort *port)
{
    stop();
#ifdef Q_OS_UNIX
    // A descriptor of its own: Qt allows one read notifier per descriptor,
    // and the port's belongs to Qt.
    m_fd = ::fcntl(int(port->handle()), F_DUPFD_CLOEXEC, 0);
    if (m_fd < 0)
        return;
    // Wakes on data too; check() tells the two apart.
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &DeviceWatch::check);
#endif
}

void DeviceWatch::stop()
{
    // Never called from check(): the loss is acted on from the event loop.
    delete m_notifier;
    m_notifier = nullptr;
#ifdef Q_OS_UNIX
    if (m_fd >= 0)
        ::close(m_fd);
#endif
    m_fd = -1;
}

bool DeviceWatch::meansLoss(QSerialPort::SerialPortError error, bool open)
{
#ifdef Q_OS_WIN
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
#else
    // A vanished device reads as an error on some Qt versions; the hang-up
    // seen by check() covers the others.
    Q_UNUSED(open);
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
#endif
}

void DeviceWatch::check()
{
#ifdef Q_OS_UNIX
    // A hung-up terminal polls as hung up (or in error), and refuses its
    // settings: either tells it from a device that merely has data.
    pollfd device{m_fd, POLLIN, 0};
    const bool hungUp =
            ::poll(&device, 1, 0) > 0 && (device.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    termios settings;
    const bool refused = !hungUp && ::tcgetattr(m_fd, &settings) != 0
            && (errno == EIO || errno == ENXIO || errno == ENODEV);
    if (!hungUp && !refused)
        return;
    m_notifier->setEnabled(false);
    emit lost();
#endif
}
