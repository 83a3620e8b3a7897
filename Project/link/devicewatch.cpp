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

bool DeviceWatch::meansLoss(QSerialPort::SerialPortError error)
{
    // A vanished device reads as an error on some Qt versions, and shows as
    // a resource error on Windows.
    return error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
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
