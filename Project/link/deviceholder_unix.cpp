#include "deviceholder_unix.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

// Calls found with each name in the folder open at dir but . and .., until
// it returns false. No allocation: this runs over every process there is.
template<typename Found>
void forEachEntry(int dir, Found found)
{
    alignas(dirent64) char buffer[8192];
    for (ssize_t size; (size = ::getdents64(dir, buffer, sizeof buffer)) > 0;) {
        for (ssize_t at = 0; at < size;) {
            const auto *entry = reinterpret_cast<const dirent64 *>(buffer + at);
            at += entry->d_reclen;
            if (entry->d_name[0] != '.' && !found(entry->d_name))
                return;
        }
    }
}

// What the kernel says of descriptor fd of process pid: its flags and, for a
// pseudo-terminal's master, which one it is.
QByteArray fdInfo(int proc, const char *pid, const char *fd)
{
    char path[600];
    std::snprintf(path, sizeof path, "%s/fdinfo/%s", pid, fd);
    const int info = ::openat(proc, path, O_RDONLY | O_CLOEXEC);
    if (info < 0)
        return QByteArray();
    char text[512];
    const ssize_t size = ::read(info, text, sizeof text);
    ::close(info);
    return QByteArray(text, size > 0 ? int(size) : 0);
}

} // namespace

QString DeviceHolder::programOf(qint64 pid, bool *cut)
{
    char target[4096];
    const QByteArray proc = "/proc/" + QByteArray::number(pid) + '/';
    const ssize_t size = ::readlink(proc + "exe", target, sizeof target - 1);
    *cut = size <= 0;
    if (!*cut) {
        QByteArray exe(target, int(size));
        if (exe.endsWith(" (deleted)"))
            exe.chop(10);
        return QFileInfo(QFile::decodeName(exe)).fileName();
    }
    QFile comm(QFile::decodeName(proc + "comm"));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.read(64).trimmed())
                                          : QString();
}

DeviceHolder DeviceHolder::openedBy(dev_t rdev, int ptyIndex)
{
    const int proc = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (proc < 0)
        return {};
    const qint64 self = QCoreApplication::applicationPid();
    qint64 found = 0;
    forEachEntry(proc, [&](const char *pid) {
        char *end = nullptr;
        const qint64 number = std::strtoll(pid, &end, 10);
        if (*end != '\0' || number == self)
            return true;
        char path[600];
        std::snprintf(path, sizeof path, "%s/fd", pid);
        // Another account's descriptors are hidden but from root.
        const int fds = ::openat(proc, path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fds < 0)
            return true;
        bool line = false;
        bool master = false;
        forEachEntry(fds, [&](const char *fd) {
            // The link's text comes from the kernel's own record of the
            // open file: reading it asks no file system anything.
            char target[256];
            const ssize_t size = ::readlinkat(fds, fd, target, sizeof target - 1);
            if (size < 5 || std::memcmp(target, "/dev/", 5) != 0)
                return true;
            target[size] = '\0';
            struct statx device;
            if (ptyIndex >= 0
                && (std::strcmp(target, "/dev/ptmx") == 0
                    || std::strcmp(target, "/dev/pts/ptmx") == 0))
                master = master
                        || fdInfo(proc, pid, fd)
                                   .contains("tty-index:\t" + QByteArray::number(ptyIndex) + '\n');
            else if (::statx(fds, fd, AT_STATX_DONT_SYNC, STATX_TYPE, &device) == 0
                     && S_ISCHR(device.stx_mode) && device.stx_rdev_major == major(rdev)
                     && device.stx_rdev_minor == minor(rdev)) {
                // A path descriptor can neither read nor write the line.
                const QByteArray info = fdInfo(proc, pid, fd);
                const qsizetype at = info.indexOf("flags:\t");
                line = line || at < 0
                        || (std::strtol(info.constData() + at + 7, nullptr, 8) & O_PATH) == 0;
            }
            return true;
        });
        ::close(fds);
        if (line && !master)
            found = number;
        return found == 0;
    });
    ::close(proc);
    if (found == 0)
        return {};
    bool cut = false;
    return {found, programOf(found, &cut), QString()};
}

QString DeviceHolder::reason(const QString &location) const
{
    const QString who =
            tr("%1 (process %2)").arg(program.isEmpty() ? tr("a program") : program).arg(pid);
    if (lockFile.isEmpty())
        return tr("The serial device %1 is in use by another program: %2 has it open. Close that "
                  "program, then open the link again.")
                .arg(location, who);
    if (pid == 0)
        return tr("The serial device %1 is in use by another program, which holds its lock file "
                  "%2. Close that program, then open the link again.")
                .arg(location, lockFile);
    return tr("The serial device %1 is in use by another program: %2 holds its lock file %3. "
              "Close that program, then open the link again.")
            .arg(location, who, lockFile);
}
