#ifndef FAREND_WIN_H
#define FAREND_WIN_H

#include "hostport.h"

#include <QStringList>

#include <windows.h>

#include <psapi.h>
#include <winternl.h>

// A COM port of the pty host. Held means that a process has the pty open;
// wine lets it go a moment after the handle closes.
class FarEnd
{
public:
    explicit FarEnd(const QString &name = QStringLiteral("COM3"))
        : m_name(name)
        , m_host(QStringLiteral(NORVEX_WINE_PORTS_DIR "/") + name)
        , m_valid(m_host.order(QStringLiteral("quiet")))
    { }
    ~FarEnd() { unplug(); }
    Q_DISABLE_COPY(FarEnd)

    bool isValid() const { return m_valid; }
    QString portName() const { return m_name; }
    QString location() const { return m_name; }
    QString kernelDevice() const { return m_name; }
    // wine's COM ports keep no line of their own to compare.
    static QByteArray lineState() { return QByteArray(); }
    static QString missingPortName() { return QStringLiteral("COM99"); }
    static bool canUnplug() { return true; }
    static bool isPseudoTerminal() { return true; }
    static QString wire(qint64) { return QString(); }
    static QString adapterIds() { return QString(); }
    static qint64 plenty() { return 8 << 20; }

    LineSettings settings() const
    {
        return {m_host.number("speed"), int(m_host.number("databits")), m_host.value("parity"),
                int(m_host.number("stopbits"))};
    }
    // The framing the program last asked of the device, as the modem shim
    // recorded it: a pseudo-terminal keeps 8 data bits and no parity.
    LineSettings asked() const
    {
        const QString file =
                QStringLiteral(NORVEX_WINE_PORTS_DIR "/asked-") + m_host.value("device");
        return {-1, m_host.value("databits", file).toInt(), m_host.value("parity", file),
                m_host.value("stopbits", file).toInt()};
    }
    // The device goes; a new one takes its name at once. Returns when the
    // device went, in milliseconds from the call.
    qint64 unplug()
    {
        m_host.order(QStringLiteral("unplug"));
        return 0;
    }
    // No adapter stays out: wine's COM ports are named by the prefix.
    static bool pullOut() { return false; }
    static bool replug() { return false; }
    // Windows gives every user its COM ports: no rights to take away.
    static bool takeRights() { return false; }
    // Windows' serial drivers do not echo: nothing to listen for.
    static void sendOnEachSetting(bool) { }
    // Sends far faster than the line until quiet() or unplug().
    void talk() { m_host.order(QStringLiteral("talk 4000000")); }
    // Stops talking, and drops what the program has not read.
    void quiet() { m_host.order(QStringLiteral("quiet")); }
    qint64 sent() const { return m_host.number("sent"); }
    qint64 received() const { return m_host.counted("received"); }
    static qint64 transmitted() { return 0; }
    bool isHeld() const { return m_host.counted("holders") != 0; }

private:
    QString m_name;
    HostPort m_host;
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

#endif // FAREND_WIN_H
