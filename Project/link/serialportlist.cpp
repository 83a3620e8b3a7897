#include "serialportlist.h"

#include <QRegularExpression>

int SerialPortList::comNumber(const QString &name)
{
#ifdef Q_OS_WIN
    const auto matchCase = QRegularExpression::CaseInsensitiveOption;
#else
    const auto matchCase = QRegularExpression::NoPatternOption;
#endif
    // At most nine digits, so that the number fits an int.
    static const QRegularExpression comName(QStringLiteral("^COM([1-9][0-9]{0,8})$"), matchCase);
    const QRegularExpressionMatch com = comName.match(name);
    return com.hasMatch() ? com.captured(1).toInt() : 0;
}

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
