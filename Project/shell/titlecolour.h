#ifndef TITLECOLOUR_H
#define TITLECOLOUR_H

#include <QColor>
#include <QObject>

class QLabel;

// The contrast ratio of two colours as WCAG 2 defines it, from 1 to 21.
qreal contrastRatio(const QColor &a, const QColor &b);

// Keeps a label's own text colour where it reads well on the window behind
// it, and otherwise takes one from the palette: the link colour where that
// reads well, else the window text. Follows palette changes (a dark or
// high-contrast scheme chosen while the program runs).
class TitleColour : public QObject
{
    Q_OBJECT

public:
    explicit TitleColour(QLabel *label);

    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void apply();

    QLabel *label_;
    QColor preferred_;
};

#endif // TITLECOLOUR_H
