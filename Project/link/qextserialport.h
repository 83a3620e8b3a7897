#ifndef QEXTSERIALPORT_H
#define QEXTSERIALPORT_H

#include <QIODevice>
#include <QSerialPort>
#include <QString>

// Line settings, with the values of the classic serial library's enumerations
// so that code written against it reads and behaves the same.
enum BaudRateType { BAUD9600 = 12, BAUD19200 = 14, BAUD38400 = 15, BAUD57600 = 17 };
enum DataBitsType { DATA_8 = 3 };
enum ParityType { PAR_EVEN = 2 };
enum StopBitsType { STOP_1 = 0 };

// A serial port with the classic serial library's interface: over Qt Serial
// Port on Windows, over this program's own open of the tty elsewhere
// (ttyline_unix.h). Settings given while the port is closed apply at the
// next open.
// After a failed open, errorString() tells the operator why, and lists the
// serial ports this computer has. When the open device disappears, the port
// closes itself and emits deviceLost() once. What the device sends is
// dropped as it arrives; nothing is ever sent to it.
class DeviceWatch;
class TtyLine;

class QextSerialPort : public QIODevice
{
    Q_OBJECT

public:
    explicit QextSerialPort(QObject *parent = nullptr);
    ~QextSerialPort() override;

    void setPortName(const QString &name);
    QString portName() const;
    // The device the next open uses.
    QString systemLocation() const { return systemLocationOf(m_name); }
    // The device a port name leads to: on Windows the name itself; elsewhere
    // a path, "COMn" meaning /dev/COMn if that exists or a udev rule names
    // it, and /dev/ttyS<n-1> if not.
    static QString systemLocationOf(const QString &name);

    void setBaudRate(BaudRateType baud);
    BaudRateType baudRate() const;
    void setDataBits(DataBitsType dataBits);
    void setParity(ParityType parity);
    void setStopBits(StopBitsType stopBits);

    bool open(OpenMode mode) override;
    void close() override;
    bool isSequential() const override;

    // Why the open of location, the device of the port named name, failed
    // with error at the given rate, in the operator's words; qtReason is Qt
    // Serial Port's own text for the error.
    static QString openFailureCause(QSerialPort::SerialPortError error, const QString &name,
                                    const QString &location, BaudRateType rate,
                                    const QString &qtReason);

signals:
    void deviceLost();

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    enum Setting { Rate = 0x1, Bits = 0x2, Parity = 0x4, Stop = 0x8 };

    void setSupported(Setting setting, bool supported);
    void onDeviceLost();
    QString failedOpenMessage(QSerialPort::SerialPortError error, const QString &location,
                              const QString &cause) const;
    static qint32 bitsPerSecond(BaudRateType baud);

    // Per platform (qextserialport_unix.cpp, qextserialport_win.cpp).
    // The cause of a failed open where this system knows better than the
    // common texts; empty where it does not.
    static QString systemSpecificCause(QSerialPort::SerialPortError error, const QString &name,
                                       const QString &location, BaudRateType rate);
    // The device itself: opened with the line settings given, where it
    // refuses for a reason of its own, cause says why.
    void createDevice();
    QSerialPort::SerialPortError openDevice(const QString &location, OpenMode mode, QString *cause);
    void closeDevice();
    QString deviceErrorString() const; // the system's text for the last failure

#ifdef Q_OS_WIN
    void dropInput();

    QSerialPort *m_port = nullptr;
    DeviceWatch *m_watch = nullptr;
#else
    TtyLine *m_line = nullptr;
#endif
    QString m_name;
    QString m_location; // the device while open
    BaudRateType m_baudRate = BAUD9600;
    int m_unsupported = 0; // settings last given a value the port cannot use
    bool m_lossPending = false;
};

#endif // QEXTSERIALPORT_H
