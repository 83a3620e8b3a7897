#ifndef LINKTEST_H
#define LINKTEST_H

// Helpers for the data link's tests: the far end of a real serial device,
// what the process holds, captured debug traces and the link's error
// dialogs. The far end is a pseudo-terminal (farend_unix.h); under wine, a
// COM port of the pty host, tests/wine/ptyhost.c (farend_win.h); on the
// serial bench, a virtual machine's UART or USB adapter whose far end
// tests/drivers/far-end, run by scripts/test-drivers, keeps (farend_unix.h).
// The tests make the same calls on all three.

#include "port_com.h"
#include "testsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

#ifdef Q_OS_WIN
#include "farend_win.h"
#else
#include "farend_unix.h"
#endif

// Waits until no one holds the far end's device: under wine a closed port is
// let go a moment later, and opening it again before then is refused.
inline bool letGo(const FarEnd &remote)
{
    return QTest::qWaitFor([&remote] { return !remote.isHeld(); });
}

// Whether the text of a failed open gives the reason, names the device as
// written and ends with the ports that this computer has.
inline bool explainsFailedOpen(const QString &text, const QString &device, const QString &reason)
{
    return text.contains(reason) && text.contains(device)
            && (text.contains(QStringLiteral("\n\nSerial ports on this computer now:\n"))
                || text.endsWith(QStringLiteral("\n\nThis computer has no serial port now.")));
}

// Counts what the process holds once the link has been opened and closed
// (Qt opens some files of its own the first time), opens it again, and
// checks that end gives back exactly that and lets the device go.
inline void checkEndReleasesLink(const FarEnd &remote, const std::function<void()> &open,
                                 const std::function<void()> &close,
                                 const std::function<void()> &end)
{
    open();
    close();
    QVERIFY(letGo(remote));
    const QStringList held = heldResources();
    open();
    QVERIFY(remote.isHeld());
    end();
    QTRY_COMPARE(heldResources(), held);
    QTRY_VERIFY(!remote.isHeld());
}

// Chooses the device in the Data Link panel's port list, as one more entry
// where it is none of COM1 to COM10, as the operator would choose COM3.
inline void selectPort(const QObject *window, const QString &path)
{
    auto *combo = child<QComboBox>(window, "portName_combo");
    if (combo->findText(path) < 0)
        combo->addItem(path);
    combo->setCurrentIndex(combo->findText(path));
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

// Dismisses every modal message box with OK, as an operator would, once
// inspect (if given) has seen it, and records its text in seen (and as
// "dialog: <text>" in events, if given).
class DialogCatcher
{
public:
    explicit DialogCatcher(QStringList *events = nullptr,
                           std::function<void(const QMessageBox &)> inspect = {})
        : m_events(events)
        , m_inspect(std::move(inspect))
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] { dismiss(); });
        m_timer.start(10);
    }

    QStringList seen;

private:
    void dismiss()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (m_inspect)
            m_inspect(*box);
        seen << box->text();
        if (m_events)
            *m_events << QStringLiteral("dialog: ") + box->text();
        if (QAbstractButton *ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    }

    QStringList *m_events;
    std::function<void(const QMessageBox &)> m_inspect;
    QTimer m_timer;
};

#endif // LINKTEST_H
