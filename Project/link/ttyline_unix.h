#ifndef TTYLINE_UNIX_H
#define TTYLINE_UNIX_H

#include "lockfiles_unix.h"

#include <QObject>
#include <QSerialPort>

class QSocketNotifier;

// A serial line on Unix, opened by this program itself in one sequence that
// nothing can block or steer between its steps: what others hold is read
// first (lock files, then descriptors), the locks are taken, and the device
// is opened without becoming a controlling terminal, taken for exclusive use
// under an flock and set raw before anything can echo. A refusal leaves the
// line as it was. What the device sends is dropped as it arrives; a hang-up
// emits lost() once.
class TtyLine : public QObject
{
    Q_OBJECT

public:
    explicit TtyLine(QObject *parent = nullptr);
    ~TtyLine() override;

    // Opens device, reached by the name location, at rate with 8 data bits,
    // even parity and one stop bit; where it refuses for a reason of its
    // own, cause says why.
    QSerialPort::SerialPortError open(const QString &device, const QString &location, qint32 rate,
                                      QString *cause);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    qint64 write(const char *data, qint64 size);
    // The system's text for the last failure.
    QString errorString() const { return m_error; }

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
