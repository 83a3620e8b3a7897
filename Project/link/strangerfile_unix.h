#ifndef STRANGERFILE_UNIX_H
#define STRANGERFILE_UNIX_H

#include <QByteArray>

#include <sys/stat.h>

// A file that anyone may have put where the console looks, a lock file or a
// udev rule: opened for reading only if it is a regular file, without
// blocking or becoming a controlling terminal, and only if it is still the
// file that was looked at; read up to a bound.
class StrangerFile
{
public:
    enum Kind { Absent, NotRegular, Unopened, Opened };

    // followLinks as udev follows a rule file's link; a lock's never is.
    StrangerFile(const QByteArray &path, bool followLinks);
    ~StrangerFile();
    Q_DISABLE_COPY(StrangerFile)

    Kind kind() const { return m_kind; }
    int descriptor() const { return m_fd; }
    // What was looked at: the link itself where links are not followed.
    const struct stat &info() const { return m_info; }
    // At most bound bytes from its start; none unless Opened.
    QByteArray read(qsizetype bound) const;

    // Whether a and b describe the same file.
    static bool sameFile(const struct stat &a, const struct stat &b)
    {
        return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    }

private:
    Kind m_kind = Absent;
    int m_fd = -1;
    struct stat m_info = {};
};

#endif // STRANGERFILE_UNIX_H
