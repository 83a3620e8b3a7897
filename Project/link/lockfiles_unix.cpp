#include "lockfiles_unix.h"
#include "strangerfile_unix.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Qt Serial Port's lock folders.
const char *const qtLockFolders[] = {"/var/lock",         "/etc/locks", "/var/spool/locks",
                                     "/var/spool/uucp",   "/tmp",       "/var/tmp",
                                     "/var/lock/lockdev", "/run/lock"};

constexpr int lockBound = 4096; // more than a lock's few lines is no lock
// How long QLockFile takes a lock it cannot judge by its process for live.
constexpr qint64 staleAfter = 30000;

// The locks held, for the signal handler, which may touch nothing else.
struct Slot
{
    std::atomic<bool> used{false};
    ino_t inode = 0;
    char path[256] = {};
};
Slot taken[32];
const int givenBackOn[] = {SIGTERM, SIGHUP, SIGINT};
struct sigaction previousAction[3];

// Removes the lock files still held, then lets the signal do what it did.
void giveBack(int signal)
{
    struct stat info;
    for (Slot &slot : taken) {
        if (slot.used.load() && ::lstat(slot.path, &info) == 0 && info.st_ino == slot.inode)
            ::unlink(slot.path);
    }
    for (int i = 0; i < 3; ++i) {
        if (givenBackOn[i] == signal)
            ::sigaction(signal, &previousAction[i], nullptr);
    }
    ::raise(signal);
}

int remember(const QByteArray &path, ino_t inode)
{
    static bool handled = false;
    for (int i = 0; i < 3 && !handled; ++i) {
        struct sigaction action = {};
        action.sa_handler = giveBack;
        // A signal ignored (SIGHUP under nohup) stays so: the locks stay
        // with the process that goes on.
        if (::sigaction(givenBackOn[i], &action, &previousAction[i]) == 0
            && previousAction[i].sa_handler == SIG_IGN)
            ::sigaction(givenBackOn[i], &previousAction[i], nullptr);
    }
    handled = true;
    for (Slot &slot : taken) {
        if (!slot.used && path.size() < int(sizeof slot.path)) {
            std::memcpy(slot.path, path.constData(), size_t(path.size()) + 1);
            slot.inode = inode;
            slot.used = true;
            return int(&slot - taken);
        }
    }
    return -1;
}

// The folder path leads to; none where path is an ordinary account's own
// folder or link (/var/lock is anyone's to write in), which may lead
// anywhere, to a stalled file system too.
QByteArray trustedFolder(const char *path)
{
    struct statx info;
    char real[PATH_MAX];
    if (::statx(AT_FDCWD, path, AT_SYMLINK_NOFOLLOW | AT_STATX_DONT_SYNC, STATX_UID, &info) != 0
        || (info.stx_uid != 0 && info.stx_uid >= 1000) || !::realpath(path, real))
        return QByteArray();
    return real;
}

struct Lock
{
    enum State { Absent, InTheWay, Live, Stale };
    State state = Absent;
    DeviceHolder holder;
};

// Judges the lock file as Qt does: stale when its process is gone or runs
// another program; one it cannot judge so is live until 30 s old.
Lock judge(const StrangerFile &file, const QByteArray &path, bool flocked)
{
    const QByteArray text = file.read(lockBound);
    Lock lock{Lock::Live, {0, QString(), QFile::decodeName(path)}};
    const qint64 age = QDateTime::currentMSecsSinceEpoch() - qint64(file.info().st_mtime) * 1000;
    const Lock::State unjudged = flocked || qAbs(age) <= staleAfter ? Lock::Live : Lock::Stale;

    // Qt writes "pid\nprogram\nhost\n..."; UUCP's programs "%10d\n", some
    // with the program and account after the number.
    const QList<QByteArray> lines = text.split('\n');
    const QList<QByteArray> words = lines.first().simplified().split(' ');
    bool number = false;
    const qint64 pid = words.first().toLongLong(&number);
    // A number past any process's would name a process group to kill().
    if (!number || pid <= 0 || pid > std::numeric_limits<pid_t>::max()
        || (lines.size() < 2 && text.size() == lockBound))
        return {unjudged, lock.holder};
    const QByteArray host = words.size() == 1 ? lines.value(2) : QByteArray();
    if (!host.isEmpty() && host != QSysInfo::machineHostName().toUtf8())
        return {unjudged, lock.holder};
    lock.holder.pid = pid;
    lock.holder.program =
            QFileInfo(QString::fromUtf8(words.size() > 1 ? words.at(1) : lines.value(1)))
                    .fileName();
    bool cut = false;
    const QString running = DeviceHolder::programOf(pid, &cut);
    if (!flocked
        && ((::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
            || (!lock.holder.program.isEmpty() && !running.isEmpty()
                && running != (cut ? lock.holder.program.left(15) : lock.holder.program))))
        lock.state = Lock::Stale; // gone, or its number now another program's
    if (lock.holder.program.isEmpty())
        lock.holder.program = running;
    return lock;
}

// What stands at path, read as a stranger's file.
Lock readLock(const QByteArray &path)
{
    const StrangerFile file(path, false);
    if (file.kind() == StrangerFile::Absent)
        return {};
    if (file.kind() != StrangerFile::Opened)
        return {Lock::InTheWay, {0, QString(), QFile::decodeName(path)}};
    // A live QLockFile keeps an flock on its file, whatever it says.
    const bool flocked = ::flock(file.descriptor(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    return judge(file, path, flocked);
}

// What Qt writes into its lock files, so that Qt judges this one as its own.
QByteArray contents()
{
    return QByteArray::number(QCoreApplication::applicationPid()) + '\n'
            + QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8() + '\n'
            + QSysInfo::machineHostName().toUtf8() + '\n' + QSysInfo::machineUniqueId() + '\n'
            + QSysInfo::bootUniqueId() + '\n';
}

// A new file beside path with this process's lock in it, under an flock.
int newLock(const QByteArray &path, QByteArray *name)
{
    *name = path + ".XXXXXX";
    const int fd = ::mkostemp(name->data(), O_CLOEXEC);
    const QByteArray text = contents();
    if (fd >= 0
        && (::fchmod(fd, 0644) != 0
            || ::write(fd, text.constData(), size_t(text.size())) != text.size()
            || ::flock(fd, LOCK_EX | LOCK_NB) != 0)) {
        ::unlink(name->constData());
        ::close(fd);
        return -1;
    }
    return fd;
}

// Removes what is at path, a stale lock or no lock at all, as QLockFile
// removes a stale lock: while holding path.rmlock, once judged anew under an
// flock that no live Qt holder would leave it.
bool removeStale(const QByteArray &path)
{
    const QByteArray guardPath = path + ".rmlock";
    QByteArray name;
    const int guard = newLock(guardPath, &name);
    if (guard < 0)
        return false;
    bool removed = false;
    if (::link(name.constData(), guardPath.constData()) == 0
        || (readLock(guardPath).state == Lock::Stale && ::unlink(guardPath.constData()) == 0
            && ::link(name.constData(), guardPath.constData()) == 0)) {
        const StrangerFile file(path, false);
        const mode_t mode = file.info().st_mode;
        if (file.kind() == StrangerFile::Absent)
            removed = true;
        else if (file.kind() == StrangerFile::NotRegular
                 && (S_ISFIFO(mode) || S_ISLNK(mode) || S_ISSOCK(mode)))
            removed = ::unlink(path.constData()) == 0;
        else if (file.kind() == StrangerFile::Opened
                 && ::flock(file.descriptor(), LOCK_EX | LOCK_NB) == 0
                 && judge(file, path, false).state == Lock::Stale)
            removed = ::unlink(path.constData()) == 0;
        ::unlink(guardPath.constData());
    }
    ::unlink(name.constData());
    ::close(guard);
    return removed;
}

// The lock folders, each once, in Qt Serial Port's order.
QList<QByteArray> lockFolders()
{
    QList<QByteArray> folders;
    for (const char *folder : qtLockFolders) {
        const QByteArray real = trustedFolder(folder);
        if (!real.isEmpty() && !folders.contains(real))
            folders << real;
    }
    return folders;
}

} // namespace

QStringList LockFiles::namesOf(const QStringList &paths)
{
    QStringList names;
    for (QString path : paths) {
        const bool underDev = path.startsWith(QLatin1String("/dev/"));
        if (underDev)
            path.remove(0, 5);
        names << QString(path).replace(QLatin1Char('/'), QLatin1Char('_'));
        if (underDev)
            names << path.section(QLatin1Char('/'), -1);
    }
    names.removeDuplicates();
    return names;
}

QString LockFiles::take(const QStringList &names, const QString &location)
{
    release();
    const QList<QByteArray> folders = lockFolders();
    for (const QByteArray &folder : folders) {
        for (const QString &name : names) {
            const Lock lock = readLock(folder + "/LCK.." + QFile::encodeName(name));
            if (lock.state == Lock::Live)
                return lock.holder.reason(location);
        }
    }
    // Where Qt Serial Port takes its lock: the first folder that is
    // readable and either holds the file or is writable.
    for (const QString &name : names) {
        const QByteArray file = "/LCK.." + QFile::encodeName(name);
        const auto folder = std::find_if(folders.begin(), folders.end(), [&](const QByteArray &in) {
            return ::faccessat(AT_FDCWD, in.constData(), R_OK, AT_EACCESS) == 0
                    && (::faccessat(AT_FDCWD, (in + file).constData(), F_OK, AT_SYMLINK_NOFOLLOW)
                                == 0
                        || ::faccessat(AT_FDCWD, in.constData(), W_OK, AT_EACCESS) == 0);
        });
        const QString why = folder == folders.end()
                ? tr("The serial device %1 cannot be locked: no folder for serial lock files "
                     "may be written here.")
                          .arg(location)
                : takeOne(*folder + file, location);
        if (!why.isEmpty()) {
            release();
            return why;
        }
    }
    return QString();
}

QString LockFiles::takeOne(const QByteArray &path, const QString &location)
{
    QByteArray name;
    const int fd = newLock(path, &name);
    Lock found;
    // The lock appears whole, under its flock, or not at all. What is in the
    // way is removed once; if it is back, the device is refused.
    for (int attempt = 0; fd >= 0 && attempt < 2; ++attempt) {
        struct stat info;
        if (::link(name.constData(), path.constData()) == 0 && ::fstat(fd, &info) == 0) {
            ::unlink(name.constData());
            m_held << Held{path, fd, remember(path, info.st_ino)};
            return QString();
        }
        found = errno == EEXIST ? readLock(path) : Lock{};
        if (found.state == Lock::Live || found.state == Lock::Absent || attempt > 0
            || !removeStale(path))
            break;
    }
    if (fd >= 0) {
        ::unlink(name.constData());
        ::close(fd);
    }
    if (found.state == Lock::Live)
        return found.holder.reason(location);
    const QString end = ::geteuid() == 0
            ? tr("Remove it, then open the link again.")
            : tr("Ask an administrator to delete that file, then open the link again.");
    return tr("The serial device %1 cannot be locked: %2 is in the way, a stale lock or no lock "
              "file at all, and it could not be removed. %3")
            .arg(location, QFile::decodeName(path), end);
}

void LockFiles::release()
{
    for (const Held &held : std::as_const(m_held)) {
        if (held.slot >= 0)
            taken[held.slot].used = false;
        struct stat mine;
        struct stat there;
        if (::fstat(held.fd, &mine) == 0 && ::lstat(held.path.constData(), &there) == 0
            && StrangerFile::sameFile(mine, there))
            ::unlink(held.path.constData());
        ::close(held.fd);
    }
    m_held.clear();
}
