// Serial ports on Windows: listed by COM name; Device Manager renumbers an
// adapter.
#include "serialportlist.h"

#include <QSerialPortInfo>

#include <algorithm>

QList<SerialPortList::Port> SerialPortList::present()
{
    QList<Port> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        Port port;
        port.device = info.portName(); // COM3, as the port list names it
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.usb = info.hasVendorIdentifier() && info.hasProductIdentifier();
        port.vendorId = info.vendorIdentifier();
        port.productId = info.productIdentifier();
        ports << port;
    }
    return ports;
}

QStringList SerialPortList::adapterHints(const QString &name, const QList<Port> &ports,
                                         const QStringList &)
{
    // Windows numbers each USB adapter itself, often above COM10, which the
    // port list does not reach; Device Manager renumbers it. That helps only
    // when the chosen port is absent: beside a busy port it would mislead.
    // A Bluetooth serial port has no USB ids, and renumbering it is no cure.
    const auto chosen = [&name](const Port &port) {
        return port.device.compare(name, Qt::CaseInsensitive) == 0;
    };
    QStringList lines;
    if (comNumber(name) == 0 || std::any_of(ports.begin(), ports.end(), chosen))
        return lines;
    for (const Port &port : ports) {
        if (!port.usb || comNumber(port.device) <= 10)
            continue;
        lines << QString()
              << tr("To reach %1 as %2, open Device Manager; under Ports (COM & LPT) open the "
                    "Properties of %1, then Port Settings, Advanced, and set COM Port Number "
                    "to %2.")
                         .arg(port.device, name);
    }
    return lines;
}
