#ifndef HOSTPORT_H
#define HOSTPORT_H

#include <QFile>
#include <QSaveFile>
#include <QString>
#include <QTest>

// Line settings of a device, as it has them or as a program asked for them.
struct LineSettings
{
    qint64 rate = -1;
    int dataBits = 0;
    QString parity; // "none", "even" or "odd"
    int stopBits = 0;
    bool echo = false;
};

// A port whose far end a program outside this process keeps (the pty host
// under wine, the bench's far end on the host of the virtual machine). It
// takes orders through the file <base>-order and writes what it sees of the
// port into <base>-state.
class HostPort
{
public:
    explicit HostPort(const QString &base)
        : m_base(base)
    { }

    QString value(const char *key, const QString &file = QStringLiteral("-state")) const
    {
        QFile state(file.startsWith(QLatin1Char('-')) ? m_base + file : file);
        if (!state.open(QIODevice::ReadOnly))
            return QString();
        const QByteArray prefix = QByteArray(key) + ' ';
        for (const QByteArray &line : state.readAll().split('\n')) {
            if (line.startsWith(prefix))
                return QString::fromLatin1(line.mid(prefix.size()));
        }
        return QString();
    }
    qint64 number(const char *key) const { return value(key).toLongLong(); }

    // Gives an order and waits until the host has carried it out; the host
    // has then also counted what reached it before.
    bool order(const QString &order) const
    {
        const qint64 sequence = number("done") + 1;
        QSaveFile file(m_base + QStringLiteral("-order"));
        if (file.open(QIODevice::WriteOnly)
            && file.write(QByteArray::number(sequence) + ' ' + order.toLatin1() + '\n') > 0
            && file.commit() && QTest::qWaitFor([&] { return number("done") == sequence; }, 30000)
            && value("error").isEmpty())
            return true;
        qWarning("the far end did not carry out %s %s", qPrintable(order),
                 qPrintable(value("error")));
        return false;
    }
    // A figure of the host's once it has counted anew; -1 if it did not
    // count, as its last figure would pass for a new one.
    qint64 counted(const char *key) const
    {
        return order(QStringLiteral("count")) ? number(key) : -1;
    }

private:
    QString m_base;
};

#endif // HOSTPORT_H
