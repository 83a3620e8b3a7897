// A lost device on Unix: its terminal hangs up.
#include "devicewatch.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

// A descriptor of its own on the device: Qt allows one read notifier per
// descriptor, and the port's belongs to Qt.
struct DeviceWatch::Device
{
    Device(int descriptor, DeviceWatch *watch)
        : fd(descriptor)
        , notifier(descriptor, QSocketNotifier::Read)
    {
        // Wakes on data too; hungUp() tells the two apart.
        QObject::connect(&notifier, &QSocketNotifier::activated, watch, [this, watch] {
            if (!hungUp())
                return;
            notifier.setEnabled(false);
            emit watch->lost();
        });
    }
    ~Device() { ::close(fd); }
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    // A hung-up terminal polls as hung up (or in error), and refuses its
    // settings: either tells it from a device that merely has data.
    bool hungUp() const
    {
        pollfd device{fd, POLLIN, 0};
        if (::poll(&device, 1, 0) > 0 && (device.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
            return true;
        termios settings;
        return ::tcgetattr(fd, &settings) != 0
                && (errno == EIO || errno == ENXIO || errno == ENODEV);
    }

    int fd;
    QSocketNotifier notifier;
};

DeviceWatch::Device *DeviceWatch::watchDevice(QSerialPort *port)
{
    const int fd = ::fcntl(int(port->handle()), F_DUPFD_CLOEXEC, 0);
    return fd >= 0 ? new Device(fd, this) : nullptr;
}

void DeviceWatch::Deleter::operator()(Device *device) const
{
    delete device;
}
