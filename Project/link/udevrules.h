#ifndef UDEVRULES_H
#define UDEVRULES_H

#include <QString>
#include <QStringList>

// The udev rule that gives a USB serial adapter a name under /dev, as the
// console's open-failure dialog tells an administrator to write it:
// SUBSYSTEM=="tty", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6001", SYMLINK+="COM3"
struct UdevRule
{
    QString file;
    QString vendorId;
    QString productId;

    bool isNull() const { return file.isEmpty(); }

    // The rule that names the link /dev/<name>, as udev reads the folders: a
    // file masks one of the same name in a later folder.
    static UdevRule naming(const QString &name, const QStringList &folders = systemFolders());
    static QStringList systemFolders();
};

#endif // UDEVRULES_H
