#ifndef TTYLINE_UNIX_H
#define TTYLINE_UNIX_H

#include "lockfiles_unix.h"

#include <QObject>
#include <QSerialPort>

class QSocketNotifier;

// A serial line on Unix, opened by this program itself in one sequence that
// nothing can block or steer: lock files read, then taken, descriptors read,
// and the device opened as no controlling terminal, taken under an flock for
// exclusive use and set raw before anything can echo. A refusal leaves the
// line as it was. What arrives is dropped; a hang-up emits lost() once.
class TtyLine : public QObject
{
    Q_OBJECT

public:
    explicit TtyLine(QObject *parent = nullptr);
    ~TtyLine() override;

    // Opens device, reached as location, at rate, 8E1; where it refuses for a
    // reason of its own, cause says why.
    QSerialPort::SerialPortError open(const QString &device, const QString &location, qint32 rate,
                                      QString *cause);
    void close();
    QString errorString() const { return m_error; } // the system's, for the last failure

signals:
    void lost();

private:
    void readable();
    QSerialPort::SerialPortError fail(int error);

    int m_fd = -1;
    LockFiles m_locks;
    QSocketNotifier *m_notifier = nullptr;
    QString m_error;
};

#endif // TTYLINE_UNIX_H
