#include "titlecolour.h"

#include <QEvent>
#include <QLabel>
#include <QPalette>

#include <cmath>

namespace {

// WCAG AA for normal text.
constexpr qreal MinimumContrast = 4.5;

qreal relativeLuminance(const QColor &colour)
{
    auto linear = [](qreal c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const QColor rgb = colour.toRgb();
    return 0.2126 * linear(rgb.redF()) + 0.7152 * linear(rgb.greenF())
            + 0.0722 * linear(rgb.blueF());
}

} // namespace

qreal contrastRatio(const QColor &a, const QColor &b)
{
    const qreal la = relativeLuminance(a);
    const qreal lb = relativeLuminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

TitleColour::TitleColour(QLabel *label)
    : QObject(label)
    , label_(label)
    , preferred_(label->palette().color(QPalette::Active, QPalette::WindowText))
{
    label->installEventFilter(this);
    apply();
}

bool TitleColour::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == label_ && event->type() == QEvent::PaletteChange)
        apply();
    return QObject::eventFilter(watched, event);
}

void TitleColour::apply()
{
    // The label draws on its parent's window colour; the parent's palette is
    // the one the desktop or the application chose.
    const QWidget *behind = label_->parentWidget();
    const QPalette scheme = behind ? behind->palette() : label_->palette();
    const QColor window = scheme.color(QPalette::Active, QPalette::Window);
    QColor colour = preferred_;
    if (contrastRatio(colour, window) < MinimumContrast) {
        colour = scheme.color(QPalette::Active, QPalette::Link);
        if (contrastRatio(colour, window) < MinimumContrast)
            colour = scheme.color(QPalette::Active, QPalette::WindowText);
    }
    // Setting the palette sends another PaletteChange: set only on a change.
    QPalette palette = label_->palette();
    if (palette.color(QPalette::Active, QPalette::WindowText) == colour
        && palette.color(QPalette::Inactive, QPalette::WindowText) == colour)
        return;
    palette.setColor(QPalette::Active, QPalette::WindowText, colour);
    palette.setColor(QPalette::Inactive, QPalette::WindowText, colour);
    label_->setPalette(palette);
}
