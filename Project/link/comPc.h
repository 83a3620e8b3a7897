#ifndef COMPC_H
#define COMPC_H

#include <QObject>
#include <QString>

// Turns link results into lines for the message log.
class comPc : public QObject
{
    Q_OBJECT

public:
    comPc();
    ~comPc() override;

signals:
    void sig_text(QString);

public slots:
    void status_RS232(int resul);
};

#endif // COMPC_H
