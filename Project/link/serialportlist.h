#ifndef SERIALPORTLIST_H
#define SERIALPORTLIST_H

#include <QCoreApplication>
#include <QList>
#include <QString>

// The serial ports present on this computer, and what a failed open tells
// the operator about them: which ports there are and, on Linux, how to give
// a USB adapter the port name that was chosen.
class SerialPortList
{
    Q_DECLARE_TR_FUNCTIONS(SerialPortList)

public:
    struct Port
    {
        QString device;
        QString description;
        QString manufacturer;
        bool usb = false; // vendorId and productId are known
        quint16 vendorId = 0;
        quint16 productId = 0;
    };

    static QList<Port> present();
    // The ports, one a line, and for each USB adapter the udev rule that
    // would make it the port named name (COM1 to COM10).
    static QString describe(const QString &name, const QList<Port> &ports);
};

#endif // SERIALPORTLIST_H
