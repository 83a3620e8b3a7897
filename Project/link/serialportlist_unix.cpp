// Serial ports on Unix: listed by device path; a USB adapter becomes COMn
// through a udev rule.
#include "qextserialport.h"
#include "serialportlist.h"
#include "udevrules.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>

#include <algorithm>

QString SerialPortList::deviceOf(const QSerialPortInfo &info)
{
    return info.systemLocation();
}

QStringList SerialPortList::adapterHints(const QString &name, const QList<Port> &ports,
                                         const QStringList &ruleFolders)
{
    QStringList lines;
#ifdef Q_OS_LINUX
    // udev names an adapter by a link under /dev, which is where COMn is
    // looked for first. A COMn that leads to a port there is, busy or not,
    // needs no rule.
    static const QRegularExpression comName(QStringLiteral("^COM[1-9][0-9]*$"));
    if (!comName.match(name).hasMatch())
        return lines;
    const QString device = QFileInfo(QextSerialPort::systemLocationOf(name)).canonicalFilePath();
    if (std::any_of(ports.begin(), ports.end(),
                    [&device](const Port &port) { return port.device == device; }))
        return lines;
    // Nor does one that a rule names already: a second rule would only
    // fight the first.
    if (!UdevRule::naming(name, ruleFolders.isEmpty() ? UdevRule::systemFolders() : ruleFolders)
                 .isNull())
        return lines;
    for (const Port &port : ports) {
        if (!port.usb)
            continue;
        lines << QString()
              << tr("To reach %1 as %2, put this line into /etc/udev/rules.d/99-norvex.rules, "
                    "run \"sudo udevadm control --reload\" and plug the adapter in again:")
                         .arg(port.device, name)
              << QStringLiteral("SUBSYSTEM==\"tty\", ATTRS{idVendor}==\"%1\", "
                                "ATTRS{idProduct}==\"%2\", SYMLINK+=\"%3\"")
                         .arg(hex4(port.vendorId), hex4(port.productId), name);
    }
#else
    Q_UNUSED(name);
    Q_UNUSED(ports);
    Q_UNUSED(ruleFolders);
#endif
    return lines;
}
