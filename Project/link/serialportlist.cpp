#include "serialportlist.h"

QString SerialPortList::hex4(quint16 id)
{
    return QStringLiteral("%1").arg(id, 4, 16, QLatin1Char('0'));
}

QString SerialPortList::describe(const QString &name, const QList<Port> &ports,
                                 const QStringList &ruleFolders)
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

    lines << adapterHints(name, ports, ruleFolders);
    return lines.join(QLatin1Char('\n'));
}
