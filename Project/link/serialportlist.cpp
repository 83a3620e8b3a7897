#include "serialportlist.h"

#include <QRegularExpression>
#include <QSerialPortInfo>
#include <QStringList>

#include <algorithm>

QList<SerialPortList::Port> SerialPortList::present()
{
    QList<Port> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        Port port;
#ifdef Q_OS_WIN
        port.device = info.portName(); // COM3, as the port list names it
#else
        port.device = info.systemLocation();
#endif
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.usb = info.hasVendorIdentifier() && info.hasProductIdentifier();
        port.vendorId = info.vendorIdentifier();
        port.productId = info.productIdentifier();
        ports << port;
    }
    return ports;
}

static QString hex4(quint16 id)
{
    return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0'));
}

QString SerialPortList::describe(const QString &name, const QList<Port> &ports)
{
    if (ports.isEmpty())
        return tr("This computer has no serial port now.");

    QStringList lines{tr("Serial ports on this computer now:")};
    for (const Port &port : ports) {
        QStringList details;
        for (const QString &detail : {port.description, port.manufacturer}) {
            if (!detail.isEmpty())
                details << detail;
        }
        if (port.usb)
            details << hex4(port.vendorId) + QLatin1Char(':') + hex4(port.productId);
        lines << (details.isEmpty() ? port.device
                                    : port.device + QStringLiteral(": ") + details.join(", "));
    }

#ifdef Q_OS_LINUX
    // udev names an adapter by a link under /dev, which is where COMn is
    // looked for first.
    static const QRegularExpression comName(QStringLiteral("^COM[1-9][0-9]*$"));
    if (comName.match(name).hasMatch()) {
        for (const Port &port : ports) {
            if (!port.usb)
                continue;
            lines << QString()
                  << tr("To reach %1 as %2, put this line into "
                        "/etc/udev/rules.d/99-norvex.rules, run \"sudo udevadm control "
                        "--reload\" and plug the adapter in again:")
                             .arg(port.device, name)
                  << QStringLiteral("SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"%1\", "
                                    "ATTRS{idProduct}==\"%2\", SYMLINK+=\"%3\"")
                             .arg(hex4(port.vendorId), hex4(port.productId), name);
        }
    }
#elif defined(Q_OS_WIN)
    // Windows numbers each USB adapter itself, often above COM10, which the
    // port list does not reach; Device Manager renumbers it. That helps only
    // when the chosen port is absent: beside a busy port it would mislead.
    // A Bluetooth serial port has no USB ids, and renumbering it is no cure.
    static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]*)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const auto chosen = [&name](const Port &port) {
        return port.device.compare(name, Qt::CaseInsensitive) == 0;
    };
    if (comName.match(name).hasMatch() && std::none_of(ports.begin(), ports.end(), chosen)) {
        for (const Port &port : ports) {
            const QRegularExpressionMatch com = comName.match(port.device);
            if (!port.usb || !com.hasMatch() || com.captured(1).toInt() <= 10)
                continue;
            lines << QString()
                  << tr("To reach %1 as %2, open Device Manager; under Ports (COM & LPT) open "
                        "the Properties of %1, then Port Settings, Advanced, and set COM Port "
                        "Number to %2.")
                             .arg(port.device, name);
        }
    }
#else
    Q_UNUSED(name);
#endif
    return lines.join(QLatin1Char('\n'));
}
