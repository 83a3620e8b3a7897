#include "formfonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QPainter>
#include <QString>
#include <QTextDocument>
#include <QVariant>
#include <QWidget>

#include <cmath>

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
    int excess = layout->sizeHint().width() - row->width();
    if (excess <= 0)
        return;

    const QFont inherited = texts.first()->font();
    const bool inPoints = inherited.pointSizeF() > 0;
    const qreal step = inPoints ? 0.25 : 1;
    const qreal smallest = inPoints ? 6 : 8;
    qreal size = inPoints ? inherited.pointSizeF() : inherited.pixelSize();
    // Text widths grow with the size: the first guess takes the excess off
    // the texts' widths in proportion. Each new size loads a font, so guess
    // well and step on from there only if hinting made the guess too big.
    int width = 0;
    for (const QWidget *text : texts)
        width += text->fontMetrics().horizontalAdvance(text->property("text").toString());
    qreal next = width > excess ? size * (width - excess) / width : smallest;
    while (excess > 0 && size > smallest) {
        size = qMax(smallest, std::floor(next / step) * step);
        QFont smaller; // the size alone: face and style still follow the parent
        if (inPoints)
            smaller.setPointSizeF(size);
        else
            smaller.setPixelSize(int(size));
        for (QWidget *text : texts)
            text->setFont(smaller);
        excess = layout->sizeHint().width() - row->width();
        next = size - step;
    }
}

void makeRoomForSlant(QLabel *label)
{
    static const char formMinimum[] = "formMinimumWidth";
    if (!label->property(formMinimum).isValid())
        label->setProperty(formMinimum, label->minimumWidth());

    // The text laid out as the label lays it out, drawn unclipped with room
    // on the right for any slant, at the label's pixel ratio: the font engine
    // alone knows where a synthesised slant ends.
    QTextDocument document;
    document.setDefaultFont(label->font());
    document.setDocumentMargin(0);
    QTextOption option = document.defaultTextOption();
    option.setWrapMode(QTextOption::ManualWrap);
    document.setDefaultTextOption(option);
    if (label->textFormat() == Qt::PlainText
        || (label->textFormat() == Qt::AutoText && !Qt::mightBeRichText(label->text())))
        document.setPlainText(label->text());
    else
        document.setHtml(label->text());
    const QSizeF size = document.size();
    const qreal ratio = label->devicePixelRatioF();
    QImage ink((QSizeF(size.width() + size.height(), size.height()) * ratio).toSize(),
               QImage::Format_ARGB32_Premultiplied);
    ink.setDevicePixelRatio(ratio);
    ink.fill(Qt::transparent);
    {
        QPainter painter(&ink);
        document.drawContents(&painter);
    }
    int right = -1;
    for (int x = ink.width() - 1; x >= 0 && right < 0; --x) {
        for (int y = 0; y < ink.height() && right < 0; ++y) {
            if (qAlpha(ink.pixel(x, y)) > 0)
                right = x;
        }
    }
    // Not from sizeHint(): a label's size hint never falls below its minimum,
    // and the minimum set for a longer text would stay.
    const int width = qMax(int(std::ceil(size.width())), int(std::ceil((right + 1) / ratio)));
    const QMargins margins = label->contentsMargins();
    label->setMinimumWidth(qMax(label->property(formMinimum).toInt(),
                                width + margins.left() + margins.right() + 2 * label->margin()));
}
