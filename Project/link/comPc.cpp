#include "comPc.h"

#include <QDebug>

comPc::comPc() = default;

comPc::~comPc() = default;

void comPc::status_RS232(int resul)
{
    switch (resul) {
    case 0:
        emit sig_text(QStringLiteral("Com Data Link: not used \n"));
        break;
    case 1:
        emit sig_text(QStringLiteral("Com Data Link: close \n"));
        break;
    case 2:
        emit sig_text(QStringLiteral("Com Data Link: open \n"));
        break;
    default:
        break;
    }
    qDebug("comPc::status_RS232");
}
