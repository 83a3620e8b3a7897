#include "devicewatch.h"

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
    watchDevice(port);
}

void DeviceWatch::stop()
{
    // Never called from inside a report: the loss is acted on from the
    // event loop.
    disconnect(m_portErrors);
    stopWatchingDevice();
}
