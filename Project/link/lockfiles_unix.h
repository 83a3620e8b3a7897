#ifndef LOCKFILES_UNIX_H
#define LOCKFILES_UNIX_H

#include "deviceholder_unix.h"

#include <QCoreApplication>
#include <QList>
#include <QStringList>

// The lock files of a serial device, LCK..<name>, in Qt Serial Port's folders
// and format, held under an flock as Qt holds its own; given back at release
// and on SIGTERM, SIGHUP and SIGINT. Anyone may write in those folders: a
// lock is read without blocking or following links, and one that may be live
// is never removed.
class LockFiles
{
    Q_DECLARE_TR_FUNCTIONS(LockFiles)

public:
    LockFiles() = default;
    ~LockFiles() { release(); }
    Q_DISABLE_COPY(LockFiles)

    // The names programs lock the devices at paths by: pts/3 as Qt's pts_3,
    // and as the bare 3 that others take under /dev.
    static QStringList namesOf(const QStringList &paths);
    // Takes the lock of each of names, each whole at once, or none; returns
    // why the device at location cannot be locked, empty on success. A live
    // lock of any of names, in any folder, refuses.
    QString take(const QStringList &names, const QString &location);
    void release();

private:
    struct Held
    {
        QByteArray path;
        int fd;
        int slot; // for the signal handler
    };
    QString takeOne(const QByteArray &path, const QString &location);

    QList<Held> m_held;
};

#endif // LOCKFILES_UNIX_H
