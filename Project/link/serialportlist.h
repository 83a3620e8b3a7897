#ifndef SERIALPORTLIST_H
#define SERIALPORTLIST_H

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <QStringList>

// The serial ports present on this computer, and what a failed open tells
// the operator about them: which ports there are and how to give an adapter
// the port name that was chosen (on Linux a udev rule, on Windows Device
// Manager).
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

    // Per platform (serialportlist_unix.cpp, serialportlist_win.cpp); no
    // port is opened to list it.
    static QList<Port> present();
    // The ports, one a line, and, where the port named name (COM1 to COM10)
    // is absent, how to make an adapter that port: on Linux for each USB
    // adapter the udev rule, unless a rule in ruleFolders (the system's if
    // empty) names it already; on Windows for each USB adapter above COM10
    // the way Device Manager renumbers it.
    static QString describe(const QString &name, const QList<Port> &ports,
                            const QStringList &ruleFolders = QStringList());
    // n where name is the port name COMn, else 0; the case counts where
    // device names are case-sensitive (Unix).
    static int comNumber(const QString &name);

private:
    static QStringList adapterHints(const QString &name, const QList<Port> &ports,
                                    const QStringList &ruleFolders);
    static QString hex4(quint16 id);
};

#endif // SERIALPORTLIST_H
