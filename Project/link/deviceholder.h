#ifndef DEVICEHOLDER_H
#define DEVICEHOLDER_H

#include <QCoreApplication>
#include <QString>
#include <QStringList>

// Another process that holds a serial device, as far as this one can see: by
// a lock file in a folder where serial programs take them, or by an open
// descriptor that /proc shows (every process's to root, only the account's
// own otherwise). Lock files are anyone's to write: nothing here blocks,
// follows a link or reads more than a lock file's first bytes.
class DeviceHolder
{
    Q_DECLARE_TR_FUNCTIONS(DeviceHolder)

public:
    qint64 pid = 0;
    QString program;
    QString lockFile; // the lock it holds; empty where its descriptor shows it

    bool isNull() const { return pid == 0; }
    // Why the device at location cannot be opened, in the operator's words.
    QString reason(const QString &location) const;

    // The live holder of device, whose lock files may be taken under any of
    // names; null if there is none to see.
    static DeviceHolder of(const QString &device, const QStringList &names);
    // Removes what stands where Qt Serial Port takes the lock of device: a
    // stale lock, or a file that is no lock at all, on which Qt would block
    // or which it would read whole. Where that fails, returns why the device
    // at location cannot be opened; empty otherwise.
    static QString clearLockPath(const QString &device, const QString &location);
    // Where serial programs take lock files, each folder once.
    static QStringList lockFolders();
};

#endif // DEVICEHOLDER_H
