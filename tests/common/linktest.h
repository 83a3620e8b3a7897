#ifndef LINKTEST_H
#define LINKTEST_H

// Helpers for the data link's tests: the far end of a real serial device,
// what the process holds, captured debug traces and the link's error
// dialogs. The far end is a pseudo-terminal on Unix and, under wine, a COM
// port whose pseudo-terminal the pty host (tests/wine/ptyhost.c) keeps on
// the Linux side; the tests make the same calls on both.

#include "port_com.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSerialPort>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <thread>

#ifdef Q_OS_WIN
#include <QSaveFile>

#include <windows.h>

#include <psapi.h>
#include <winternl.h>
#else
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <climits>
#endif

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator statistics (GCC ships no header for them).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

// Line settings of a device, as it has them or as a program asked for them.
struct LineSettings
{
    qint64 rate = -1;
    int dataBits = 0;
    QString parity; // "none", "even" or "odd"
    int stopBits = 0;
};

#ifdef Q_OS_WIN
// A COM port of the pty host, which takes orders through a file and writes
// what it sees of the port into another. Held means that a process has the
// pty open; wine lets it go a moment after the handle closes.
class FarEnd
{
public:
    explicit FarEnd(const QString &name = QStringLiteral("COM3"))
        : m_name(name)
        , m_base(QStringLiteral(NORVEX_WINE_PORTS_DIR "/") + name)
        , m_valid(order(QStringLiteral("quiet")))
    { }
    ~FarEnd() { unplug(); }
    Q_DISABLE_COPY(FarEnd)

    bool isValid() const { return m_valid; }
    QString portName() const { return m_name; }
    static QString missingPortName() { return QStringLiteral("COM99"); }

    LineSettings settings() const
    {
        return {number("speed"), int(number("databits")), value("parity"), int(number("stopbits"))};
    }
    // The framing the program last asked of the device, as the modem shim
    // recorded it: a pseudo-terminal keeps 8 data bits and no parity.
    LineSettings asked() const
    {
        const QString file = QStringLiteral(NORVEX_WINE_PORTS_DIR "/asked-") + value("device");
        return {-1, value("databits", file).toInt(), value("parity", file),
                value("stopbits", file).toInt()};
    }
    // The device goes; a new one takes its name at once.
    void unplug() { order(QStringLiteral("unplug")); }
    // Sends far faster than the line until quiet() or unplug().
    void talk() { order(QStringLiteral("talk 4000000")); }
    // Stops talking, and drops what the program has not read.
    void quiet() { order(QStringLiteral("quiet")); }
    qint64 sent() const { return number("sent"); }
    qint64 received() const { return counted("received"); }
    bool isHeld() const { return counted("holders") != 0; }

private:
    QString value(const char *key, const QString &file = QStringLiteral("-state")) const
    {
        QFile state(file.startsWith(QLatin1Char('-')) ? m_base + file : file);
        if (!state.open(QIODevice::ReadOnly))
            return QString();
        const QByteArray prefix = QByteArray(key) + ' ';
        for (const QByteArray &line : state.readAll().split('\n')) {
            if (line.startsWith(prefix))
                return QString::fromLatin1(line.mid(prefix.size()));
        }
        return QString();
    }
    qint64 number(const char *key) const { return value(key).toLongLong(); }

    // Gives an order and waits until the host has carried it out; the host
    // has then also counted what reached it before.
    bool order(const QString &order) const
    {
        const qint64 sequence = number("done") + 1;
        QSaveFile file(m_base + QStringLiteral("-order"));
        if (file.open(QIODevice::WriteOnly)
            && file.write(QByteArray::number(sequence) + ' ' + order.toLatin1() + '\n') > 0
            && file.commit() && QTest::qWaitFor([&] { return number("done") == sequence; }))
            return true;
        qWarning("the pty host did not carry out %s", qPrintable(order));
        return false;
    }
    // A figure of the host's once it has counted anew.
    qint64 counted(const char *key) const
    {
        order(QStringLiteral("count"));
        return number(key);
    }

    QString m_name;
    QString m_base;
    bool m_valid = false;
};

// What an open link holds: this process's handles, each as "value type"
// (wine has no GetProcessHandleCount, but the system's handle table). Closing
// it, in whatever way, must give back exactly these.
inline QStringList heldResources()
{
    QByteArray table(1 << 20, '\0');
    ULONG size = 0;
    while (::NtQuerySystemInformation(SystemHandleInformation, table.data(), ULONG(table.size()),
                                      &size)
           == LONG(0xC0000004)) // STATUS_INFO_LENGTH_MISMATCH
        table.resize(table.size() * 2);
    const auto *info = reinterpret_cast<const SYSTEM_HANDLE_INFORMATION *>(table.constData());
    const SYSTEM_HANDLE_ENTRY *handles = info->Handle;
    QStringList found;
    for (ULONG i = 0; i < info->Count; ++i) {
        if (handles[i].OwnerPid == ::GetCurrentProcessId())
            found << QStringLiteral("%1 %2").arg(handles[i].HandleValue).arg(handles[i].ObjectType);
    }
    found.sort();
    return found;
}

// Private bytes of this process (its commit charge): what it keeps grows
// them. wine leaves PrivateUsage at 0 but counts PagefileUsage, which is the
// same figure on Windows. Grows by pages, hence the larger slack.
inline qint64 memoryInUse()
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &counters, sizeof counters);
    return qint64(counters.PagefileUsage);
}
constexpr qint64 memorySlack = 1 << 20;
#else
inline LineSettings lineSettingsOf(const termios &attributes)
{
    const speed_t speeds[] = {B9600, B19200, B38400, B57600};
    const qint64 rates[] = {9600, 19200, 38400, 57600};
    LineSettings line;
    for (int i = 0; i < 4; ++i) {
        if (cfgetospeed(&attributes) == speeds[i])
            line.rate = rates[i];
    }
    const tcflag_t size = attributes.c_cflag & CSIZE;
    line.dataBits = size == CS8 ? 8 : size == CS7 ? 7 : size == CS6 ? 6 : 5;
    line.parity = !(attributes.c_cflag & PARENB) ? QStringLiteral("none")
            : attributes.c_cflag & PARODD        ? QStringLiteral("odd")
                                                 : QStringLiteral("even");
    line.stopBits = attributes.c_cflag & CSTOPB ? 2 : 1;
    return line;
}

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

// A pseudo-terminal under a name of its own that stays when a new one takes
// the place of one that went, as udev keeps a link for an adapter. The test
// keeps the master: it talks and listens there, and closes it to make the
// device vanish. Held means that the port holds the device or its lock file.
class FarEnd
{
public:
    explicit FarEnd(const QString &name = QStringLiteral("COM3"))
        : m_link(m_dir.filePath(name))
    {
        plugInNew();
    }
    ~FarEnd() { pull(); }
    Q_DISABLE_COPY(FarEnd)

    bool isValid() const { return m_master >= 0; }
    QString portName() const { return m_link; }
    QString missingPortName() const { return m_dir.filePath(QStringLiteral("ttyUSB0")); }

    // As the driver applied them: a pseudo-terminal keeps 8 data bits and
    // drops parity whatever it is asked for.
    LineSettings settings() const
    {
        termios attributes{};
        ::tcgetattr(m_master, &attributes);
        return lineSettingsOf(attributes);
    }
    void unplug() { plugInNew(); }
    // Talks as fast as the line takes it, from a thread of its own, until
    // quiet() or unplug(); then the line goes in the middle of the talk.
    void talk()
    {
        m_stop = false;
        m_talker = std::thread([this] {
            static const QByteArray chunk(4096, 'U');
            while (!m_stop) {
                pollfd line{m_master, POLLIN | POLLOUT, 0};
                if (::poll(&line, 1, 10) <= 0)
                    continue;
                if (line.revents & POLLIN)
                    listen(0);
                if (line.revents & POLLOUT)
                    sendOnce(chunk);
            }
            if (m_hangUp)
                closeMaster();
        });
    }
    void quiet()
    {
        m_stop = true;
        if (m_talker.joinable())
            m_talker.join();
        ::tcflush(m_master, TCOFLUSH);
    }
    qint64 sent() const { return m_sent; }
    qint64 received()
    {
        if (!m_talker.joinable())
            listen(0);
        return m_received;
    }
    bool isHeld() const
    {
        QString lock = m_link;
        lock.replace(QLatin1Char('/'), QLatin1Char('_')).prepend(QStringLiteral("/LCK.."));
        const QString held = (openFileDescriptors() + serialLockFiles()).join('\n') + '\n';
        return held.contains(lock + '\n')
                || std::any_of(m_devices.begin(), m_devices.end(), [&held](const QString &device) {
                       return held.contains(QStringLiteral(" -> ") + device + '\n');
                   });
    }

    // Sends once what the line takes of bytes; waits up to the time given
    // for anything to reach the unit and counts it.
    bool sendOnce(const QByteArray &bytes = QByteArray(1, 'U'))
    {
        const ssize_t n = ::write(m_master, bytes.constData(), size_t(bytes.size()));
        if (n > 0)
            m_sent += n;
        return n > 0;
    }
    void listen(int milliseconds)
    {
        pollfd readable{m_master, POLLIN, 0};
        char buffer[4096];
        ssize_t n = 0;
        while (::poll(&readable, 1, milliseconds) > 0 && (n = ::read(m_master, buffer, 4096)) > 0)
            m_received += n;
    }

private:
    // The device there was goes; a new one takes its name.
    void plugInNew()
    {
        pull();
        char name[PATH_MAX] = {};
        int slave = -1;
        if (::openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
            return;
        ::close(slave);
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
        m_devices << QString::fromLocal8Bit(name);
        QFile::remove(m_link);
        QFile::link(m_devices.constLast(), m_link);
    }
    void pull()
    {
        m_hangUp = true;
        quiet();
        m_hangUp = false;
        closeMaster();
    }
    void closeMaster()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

    QTemporaryDir m_dir;
    QString m_link;
    QStringList m_devices; // every pseudo-terminal made so far
    int m_master = -1;
    std::thread m_talker;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_hangUp{false};
    std::atomic<qint64> m_sent{0};
    std::atomic<qint64> m_received{0};
};

// What an open link holds: open files and serial lock files. Closing it, in
// whatever way, must give back exactly these.
inline QStringList heldResources()
{
    return openFileDescriptors() + serialLockFiles();
}

// Bytes of heap in use now. The sanitizer's allocator keeps freed blocks
// aside for a while, so there the count comes from it.
inline qint64 memoryInUse()
{
#if defined(__SANITIZE_ADDRESS__)
    return qint64(__sanitizer_get_current_allocated_bytes());
#else
    const struct mallinfo2 info = ::mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
#endif
}
constexpr qint64 memorySlack = 1 << 18;
#endif

// Waits until no one holds the far end's device: under wine a closed port is
// let go a moment later, and opening it again before then is refused.
inline bool letGo(const FarEnd &remote)
{
    return QTest::qWaitFor([&remote] { return !remote.isHeld(); });
}

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
    Q_DISABLE_COPY(TraceLog)

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
