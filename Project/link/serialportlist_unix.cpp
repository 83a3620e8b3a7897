// Serial ports on Unix: listed by device path; a USB adapter becomes COMn
// through a udev rule.
#include "qextserialport.h"
#include "serialportlist.h"
#include "udevrules_unix.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

QString attribute(const QDir &dir, const QString &name)
{
    QFile file(dir.filePath(name));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.read(256).trimmed()) : QString();
}

} // namespace

QList<SerialPortList::Port> SerialPortList::present()
{
    // From sysfs: opening a port to see whether it answers would raise and
    // drop its modem lines, whatever is attached.
    QList<Port> ports;
    const QDir ttys(QStringLiteral("/sys/class/tty"));
    for (const QString &name : ttys.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        QDir device(ttys.filePath(name + QStringLiteral("/device")));
        // No device: a console or a pseudo-terminal. Type 0: a built-in
        // port's slot with no UART in it.
        const QString type = attribute(QDir(ttys.filePath(name)), QStringLiteral("type"));
        if (!device.exists() || type == QLatin1String("0"))
            continue;
        // A USB adapter's ids and names are on the USB device above its
        // interface.
        device.setPath(device.canonicalPath());
        for (int up = 0; up < 3 && !device.exists(QStringLiteral("idVendor")); ++up)
            device.cdUp();
        bool ids[2] = {};
        ports << Port{QStringLiteral("/dev/") + name,
                      attribute(device, QStringLiteral("product")),
                      attribute(device, QStringLiteral("manufacturer")),
                      false,
                      attribute(device, QStringLiteral("idVendor")).toUShort(&ids[0], 16),
                      attribute(device, QStringLiteral("idProduct")).toUShort(&ids[1], 16)};
        ports.last().usb = ids[0] && ids[1];
    }
    return ports;
}

QStringList SerialPortList::adapterHints(const QString &name, const QList<Port> &ports,
                                         const QStringList &ruleFolders)
{
    QStringList lines;
#ifdef Q_OS_LINUX
    // udev names an adapter by a link under /dev, which is where COMn is
    // looked for first. A COMn that leads to a port there is, busy or not,
    // needs no rule.
    if (comNumber(name) == 0)
        return lines;
    const QString device = QFileInfo(QextSerialPort::systemLocationOf(name)).canonicalFilePath();
    if (std::any_of(ports.begin(), ports.end(),
                    [&device](const Port &port) { return port.device == device; }))
        return lines;
    // Nor does one that a rule names already: a second rule would only
    // fight the first. Where the rules could not all be read, none is
    // advised.
    const UdevRule rule =
            UdevRule::naming(name, ruleFolders.isEmpty() ? UdevRule::systemFolders() : ruleFolders);
    if (rule.isUnread())
        lines << QString() << rule.notPluggedIn(name);
    if (!rule.isNull())
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
