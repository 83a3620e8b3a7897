#include "deviceholder.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Qt Serial Port's folders, in its order: it takes its lock in the first
// that is readable and either holds the file or is writable.
const char *const qtLockFolders[] = {"/var/lock",         "/etc/locks", "/var/spool/locks",
                                     "/var/spool/uucp",   "/tmp",       "/var/tmp",
                                     "/var/lock/lockdev", "/run/lock"};

// A lock names its holder in its first line; a program name and a host
// follow. More than this is no lock.
constexpr int lockBound = 4096;

// "/dev/pts/3" locks as "LCK..pts_3", as Qt Serial Port and UUCP name it.
QString lockName(QString name)
{
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    return QStringLiteral("LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
}

QByteArray procFile(qint64 pid, const char *name)
{
    return "/proc/" + QByteArray::number(pid) + '/' + name;
}

// The name of the program that process pid runs: its executable's, as Qt's
// lock files give it, or, where that is another account's, its command
// name, which the kernel cuts to 15 characters.
QString programOf(qint64 pid, bool *cut)
{
    char target[4096];
    const ssize_t size = ::readlink(procFile(pid, "exe").constData(), target, sizeof target - 1);
    *cut = size <= 0;
    if (!*cut) {
        QByteArray exe(target, int(size));
        if (exe.endsWith(" (deleted)"))
            exe.chop(10);
        return QFileInfo(QFile::decodeName(exe)).fileName();
    }
    QFile comm(QFile::decodeName(procFile(pid, "comm")));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.read(64).trimmed())
                                          : QString();
}

struct Lock
{
    enum State { Absent, NoLock, Unreadable, Own, Stale, Live };
    explicit Lock(State found = Absent, qint64 holder = 0)
        : state(found)
        , pid(holder)
    { }
    State state;
    qint64 pid;
    QString program;
};

// What the file at path is, read as a stranger's: only a regular file, not a
// link, whose first line names a process, is a lock. It is stale, as Qt
// Serial Port judges, when its process is gone or runs another program than
// the one it names.
Lock readLock(const QString &path)
{
    const QByteArray file = QFile::encodeName(path);
    struct stat info;
    if (::lstat(file.constData(), &info) != 0)
        return Lock();
    if (!S_ISREG(info.st_mode))
        return Lock(Lock::NoLock);
    const int fd =
            ::open(file.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return Lock(errno == ENOENT ? Lock::Absent : Lock::Unreadable);
    QByteArray text(lockBound, Qt::Uninitialized);
    struct stat opened;
    const ssize_t size =
            ::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && opened.st_ino == info.st_ino
            ? ::read(fd, text.data(), lockBound)
            : -1;
    ::close(fd);
    if (size < 0)
        return Lock(Lock::NoLock);
    text.truncate(int(size));

    // Qt writes "pid\nprogram\nhost\n..."; UUCP's programs "%10d\n", some
    // with the program and account after the number.
    const QList<QByteArray> lines = text.split('\n');
    if (lines.size() < 2 && size == lockBound)
        return Lock(Lock::NoLock);
    const QList<QByteArray> words = lines.first().simplified().split(' ');
    bool number = false;
    Lock lock(Lock::Live, words.first().toLongLong(&number));
    // A number past any process's would name a process group to kill().
    if (!number || lock.pid <= 0 || lock.pid > std::numeric_limits<pid_t>::max())
        return Lock(Lock::NoLock);
    lock.program = QFileInfo(QString::fromUtf8(words.size() > 1 ? words.at(1) : lines.value(1)))
                           .fileName();
    if (lock.pid == QCoreApplication::applicationPid())
        lock.state = Lock::Own;
    else if (::kill(pid_t(lock.pid), 0) != 0 && errno == ESRCH)
        lock.state = Lock::Stale;
    bool cut = false;
    const QString running = programOf(lock.pid, &cut);
    if (lock.state == Lock::Live && !lock.program.isEmpty() && !running.isEmpty()
        && running != (cut ? lock.program.left(15) : lock.program))
        lock.state = Lock::Stale; // its number now belongs to another program
    if (lock.program.isEmpty())
        lock.program = running;
    return lock;
}

// Whether rdev is a terminal's device, by the kernel's list of terminal
// drivers: another program that holds /dev/null holds no line.
bool isTerminal(dev_t rdev)
{
    QFile drivers(QStringLiteral("/proc/tty/drivers"));
    if (!drivers.open(QIODevice::ReadOnly))
        return true;
    for (const QByteArray &line : drivers.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() >= 5 && !fields.at(4).startsWith("system")
            && fields.at(2).toUInt() == major(rdev))
            return true;
    }
    return false;
}

// The first process but this one with the terminal rdev open.
DeviceHolder openedBy(dev_t rdev)
{
    if (!isTerminal(rdev))
        return {};
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return {};
    DeviceHolder holder;
    while (const dirent *entry = ::readdir(proc)) {
        bool number = false;
        const qint64 pid = QByteArray(entry->d_name).toLongLong(&number);
        if (!number || pid == QCoreApplication::applicationPid())
            continue;
        // Another account's descriptors are hidden but from root.
        const int fds = ::open(procFile(pid, "fd").constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        DIR *dir = fds >= 0 ? ::fdopendir(fds) : nullptr;
        if (!dir) {
            if (fds >= 0)
                ::close(fds);
            continue;
        }
        while (const dirent *fd = ::readdir(dir)) {
            struct stat info;
            if (fd->d_name[0] != '.' && ::fstatat(fds, fd->d_name, &info, 0) == 0
                && S_ISCHR(info.st_mode) && info.st_rdev == rdev) {
                bool cut = false;
                holder = {pid, programOf(pid, &cut), QString()};
                break;
            }
        }
        ::closedir(dir);
        if (!holder.isNull())
            break;
    }
    ::closedir(proc);
    return holder;
}

} // namespace

QStringList DeviceHolder::lockFolders()
{
    // /var/lock is /run/lock on Debian: each is read once.
    QStringList folders;
    for (const char *folder : qtLockFolders) {
        const QString real = QFileInfo(QLatin1String(folder)).canonicalFilePath();
        if (!real.isEmpty() && !folders.contains(real))
            folders << real;
    }
    return folders;
}

DeviceHolder DeviceHolder::of(const QString &device, const QStringList &names)
{
    QSet<QString> files;
    for (const QString &name : names)
        files.insert(lockName(name));
    for (const QString &folder : lockFolders()) {
        for (const QString &file : std::as_const(files)) {
            const QString path = folder + QLatin1Char('/') + file;
            const Lock lock = readLock(path);
            if (lock.state == Lock::Live)
                return {lock.pid, lock.program, path};
        }
    }
    struct stat info;
    if (::stat(QFile::encodeName(device).constData(), &info) != 0 || !S_ISCHR(info.st_mode))
        return {};
    return openedBy(info.st_rdev);
}

QString DeviceHolder::clearLockPath(const QString &device, const QString &location)
{
    const QString file = QLatin1Char('/') + lockName(device);
    for (const char *folder : qtLockFolders) {
        const QFileInfo dir{QLatin1String(folder)};
        const QString path = QLatin1String(folder) + file;
        if (!dir.isReadable() || !(QFile::exists(path) || dir.isWritable()))
            continue;
        const Lock::State state = readLock(path).state;
        if ((state == Lock::NoLock || state == Lock::Stale)
            && ::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT)
            return tr("The serial device %1 cannot be locked: %2 is in the way, a stale lock or "
                      "no lock file at all, and this account may not remove it. Ask an "
                      "administrator to delete that file, then open the link again.")
                    .arg(location, path);
        break;
    }
    return QString();
}

QString DeviceHolder::reason(const QString &location) const
{
    const QString who =
            tr("%1 (process %2)").arg(program.isEmpty() ? tr("a program") : program).arg(pid);
    return lockFile.isEmpty()
            ? tr("The serial device %1 is in use by another program: %2 has it open. Close that "
                 "program, then open the link again.")
                      .arg(location, who)
            : tr("The serial device %1 is in use by another program: %2 holds its lock file %3. "
                 "Close that program, then open the link again.")
                      .arg(location, who, lockFile);
}
