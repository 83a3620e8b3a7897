#ifndef LINKTEST_H
#define LINKTEST_H

// Helpers for the data link's tests: real pseudo-terminals, the process's
// open files and serial lock files (these on Unix only), captured debug
// traces and the link's error dialogs.

#include "port_com.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <malloc.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <climits>
#endif

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator statistics (GCC ships no header for them).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

#ifdef Q_OS_UNIX
// A pseudo-terminal pair. The port under test opens the slave by its path;
// the test keeps the master, reads the line settings through it and closes
// it to make the device vanish.
class Pty
{
public:
    Pty()
    {
        char name[PATH_MAX] = {};
        int slave = -1;
        if (::openpty(&m_master, &slave, name, nullptr, nullptr) == 0) {
            ::close(slave);
            m_path = QString::fromLocal8Bit(name);
        }
    }
    ~Pty() { closeMaster(); }
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString path() const { return m_path; }
    int master() const { return m_master; }

    // The slave's settings, as its driver applied them.
    termios attributes() const
    {
        termios attributes{};
        ::tcgetattr(m_master, &attributes);
        return attributes;
    }

    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    // The lock file that Qt Serial Port keeps while the slave is open.
    QString lockFileName() const
    {
        QString name = m_path;
        name.remove(0, int(qstrlen("/dev/")));
        return QStringLiteral("LCK..") + name.replace(QLatin1Char('/'), QLatin1Char('_'));
    }

private:
    int m_master = -1;
    QString m_path;
};

// The process's open file descriptors, each as "number -> target".
inline QStringList openFileDescriptors()
{
    QStringList found;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &fd :
         fds.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        found << fd.fileName() + QStringLiteral(" -> ") + fd.symLinkTarget();
    found.sort();
    return found;
}

// Serial lock files that this process holds, in the folders Qt Serial Port
// uses. Other processes (other test runs among them) may lock devices of
// their own meanwhile; a lock file names its holder's process id first.
inline QStringList serialLockFiles()
{
    const QByteArray self = QByteArray::number(QCoreApplication::applicationPid());
    QStringList found;
    for (const char *folder : {"/var/lock", "/run/lock", "/tmp"}) {
        const QDir dir(QFileInfo(QLatin1String(folder)).canonicalFilePath());
        for (const QString &name :
             dir.entryList({QStringLiteral("LCK..*")}, QDir::Files | QDir::System | QDir::Hidden)) {
            QFile lock(dir.filePath(name));
            if (lock.open(QIODevice::ReadOnly) && lock.readLine().trimmed() == self)
                found << lock.fileName();
        }
    }
    found.removeDuplicates();
    found.sort();
    return found;
}

// What an open link holds: open files and serial lock files. Closing it, in
// whatever way, must give back exactly these.
inline QStringList heldResources()
{
    return openFileDescriptors() + serialLockFiles();
}

inline bool lockFileExists(const Pty &pty)
{
    for (const QString &file : serialLockFiles()) {
        if (file.endsWith(QLatin1Char('/') + pty.lockFileName()))
            return true;
    }
    return false;
}

// Bytes of heap in use now. The sanitizer's allocator keeps freed blocks
// aside for a while, so there the count comes from it.
inline qint64 heapInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = ::mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
#endif
}
#endif // Q_OS_UNIX

// Names the wrapper's port, as the Configuration panel does.
inline void setPortName(Port_Com &port, const QString &name)
{
    QVERIFY(QMetaObject::invokeMethod(&port, "set_portName", Q_ARG(QString, name)));
}

// Collects debug traces, in order, into events; any other message goes on to
// the test framework, so warnings still fail the test. Tests may append
// their own entries (signals, dialogs) to see how everything interleaves.
class TraceLog
{
public:
    TraceLog()
    {
        s_current = this;
        m_previous = qInstallMessageHandler(&TraceLog::handle);
    }
    ~TraceLog()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    TraceLog(const TraceLog &) = delete;
    TraceLog &operator=(const TraceLog &) = delete;

    QStringList events;

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (type == QtDebugMsg)
            s_current->events << message;
        else
            s_current->m_previous(type, context, message);
    }

    static inline TraceLog *s_current = nullptr;
    QtMessageHandler m_previous = nullptr;
};

// What an error dialog showed before the catcher dismissed it.
struct SeenDialog
{
    QString title;
    QString text;
    QString informativeText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    int buttonCount = 0;
    bool hasDefaultButton = false;
    QWidget *parent = nullptr;
    bool modal = false;
};

// Dismisses every modal message box with OK, as an operator would, and
// records what it showed (also as "dialog: <text>" in events, if given).
class DialogCatcher
{
public:
    explicit DialogCatcher(QStringList *events = nullptr)
        : m_events(events)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { dismiss(); });
        m_timer.start(10);
    }

    QList<SeenDialog> seen;

private:
    void dismiss()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        SeenDialog dialog;
        dialog.title = box->windowTitle();
        dialog.text = box->text();
        dialog.informativeText = box->informativeText();
        dialog.icon = box->icon();
        dialog.buttons = box->standardButtons();
        dialog.buttonCount = int(box->buttons().size());
        dialog.hasDefaultButton = box->defaultButton() != nullptr;
        dialog.parent = box->parentWidget();
        dialog.modal = box->isModal();
        seen << dialog;
        if (m_events)
            *m_events << QStringLiteral("dialog: ") + dialog.text;
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    }

    QStringList *m_events;
    QTimer m_timer;
};

#endif // LINKTEST_H
