#ifndef DEVICEHOLDER_UNIX_H
#define DEVICEHOLDER_UNIX_H

#include <QCoreApplication>
#include <QString>

#include <sys/types.h>

// Another process that holds a serial device, as far as this one can see: by
// a lock file (lockfiles_unix.h) or by an open descriptor that /proc shows
// (every process's to root, only the account's own otherwise).
class DeviceHolder
{
    Q_DECLARE_TR_FUNCTIONS(DeviceHolder)

public:
    qint64 pid = 0; // 0 where the lock names no process this one can judge
    QString program;
    QString lockFile; // the lock it holds; empty where its descriptor shows it

    bool isNull() const { return pid == 0 && lockFile.isEmpty(); }
    // Why the device at location cannot be opened, in the operator's words.
    QString reason(const QString &location) const;

    // The first process but this one with the terminal rdev open, unless it
    // holds the master of that pseudo-terminal (ptyIndex) too, as the far end
    // of a virtual pair does. Only descriptors that lead to /dev are followed.
    static DeviceHolder openedBy(dev_t rdev, int ptyIndex);
    // The name of the program that process pid runs, as Qt's lock files give
    // it; cut is set where only the kernel's 15 characters could be read.
    static QString programOf(qint64 pid, bool *cut);
};

#endif // DEVICEHOLDER_UNIX_H
