#ifndef UDEVRULES_UNIX_H
#define UDEVRULES_UNIX_H

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// The udev rule that gives a serial device a name under /dev, such as the one
// the console's open-failure dialog tells an administrator to write:
// SUBSYSTEM=="tty", ATTRS{idVendor}=="0403", ATTRS{idProduct}=="6001", SYMLINK+="COM3"
// Rule files are read as udev reads them, and as files that anyone with root
// may have put there: only regular files of a sane size are opened.
struct UdevRule
{
    Q_DECLARE_TR_FUNCTIONS(UdevRule)

public:
    QString file;
    int line = 0; // where the rule starts
    // Set only when the rule picks a USB adapter by these two alone.
    QString vendorId;
    QString productId;
    // The rule's match keys as written, KEY{attr}=="value".
    QStringList matches;

    bool isNull() const { return file.isEmpty(); }
    // No rule read names it, but file, which could not be read, may.
    bool isUnread() const { return !isNull() && line == 0; }

    // What the open-failure dialog says when the device this rule names
    // /dev/<name> is not there.
    QString notPluggedIn(const QString &name) const;

    // The first rule, in the order udev applies them, that names the link
    // /dev/<name>; a file masks one of the same name in a later folder, and
    // a GOTO that holds for any tty skips the rules up to its LABEL. Where
    // none does and a rule file could not be read, that file, unread.
    static UdevRule naming(const QString &name, const QStringList &folders = systemFolders());
    static QStringList systemFolders();
};

#endif // UDEVRULES_UNIX_H
