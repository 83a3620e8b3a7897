#include "strangerfile_unix.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

StrangerFile::StrangerFile(const QByteArray &path, bool followLinks)
{
    const int looked =
            followLinks ? ::stat(path.constData(), &m_info) : ::lstat(path.constData(), &m_info);
    if (looked != 0) {
        m_kind = errno == ENOENT || errno == ENOTDIR ? Absent : Unopened;
        return;
    }
    if (!S_ISREG(m_info.st_mode)) {
        m_kind = NotRegular;
        return;
    }
    // A FIFO or a device swapped in since it was looked at must not block
    // the console or act on a line.
    m_fd = ::open(path.constData(),
                  O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (followLinks ? 0 : O_NOFOLLOW));
    struct stat opened;
    if (m_fd < 0) {
        m_kind = errno == ENOENT ? Absent : Unopened;
    } else if (::fstat(m_fd, &opened) != 0 || !sameFile(opened, m_info)) {
        ::close(m_fd);
        m_fd = -1;
        m_kind = Unopened;
    } else {
        m_info = opened;
        m_kind = Opened;
    }
}

StrangerFile::~StrangerFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QByteArray StrangerFile::read(qsizetype bound) const
{
    QByteArray text(m_fd >= 0 ? bound : 0, Qt::Uninitialized);
    qsizetype size = 0;
    while (size < text.size()) {
        const ssize_t got = ::pread(m_fd, text.data() + size, size_t(text.size() - size), size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        size += got;
    }
    text.truncate(size);
    return text;
}
