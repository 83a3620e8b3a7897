#include "formfonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QLayout>
#include <QString>
#include <QWidget>

bool loadFormFonts()
{
#ifdef Q_OS_WIN
    return true;
#else
    bool loaded = true;
    for (const char *file :
         {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"})
        loaded &= QFontDatabase::addApplicationFont(QString::fromLatin1(file)) >= 0;
    return loaded;
#endif
}

void shrinkToFit(QWidget *row, const QList<QWidget *> &texts)
{
    QLayout *layout = row->layout();
    if (!layout || texts.isEmpty())
        return;
    // An empty font sets nothing of its own: each widget inherits again.
    for (QWidget *text : texts)
        text->setFont(QFont());
    const QFont inherited = texts.first()->font();
    const bool inPoints = inherited.pointSizeF() > 0;
    qreal size = inPoints ? inherited.pointSizeF() : inherited.pixelSize();
    const qreal step = inPoints ? 0.25 : 1;
    const qreal smallest = inPoints ? 6 : 8;
    while (layout->sizeHint().width() > row->width() && size - step >= smallest) {
        size -= step;
        QFont smaller; // the size alone: face and style still follow the parent
        if (inPoints)
            smaller.setPointSizeF(size);
        else
            smaller.setPixelSize(int(size));
        for (QWidget *text : texts)
            text->setFont(smaller);
    }
}
