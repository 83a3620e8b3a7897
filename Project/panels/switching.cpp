#include "switching.h"
#include "formfonts.h"
#include "ui_switching.h"

#include <QEvent>

Switching::Switching(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::Switching)
{
    ui->setupUi(this);
}

Switching::~Switching()
{
    delete ui;
}

// The texts are fitted when the panel is shown, not when it is built: the
// console starts on another panel, and a font size of its own costs a font
// lookup.
void Switching::showEvent(QShowEvent *event)
{
    if (!fitted_)
        fitTexts();
    QWidget::showEvent(event);
}

void Switching::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange) {
        fitted_ = false;
        if (isVisible())
            fitTexts();
    }
    QWidget::changeEvent(event);
}

// The antenna mode and detector amplifier rows fill group boxes that reach
// the panel's edge: where the desktop font is too wide for them, the texts
// that do not fit get a smaller size of it.
void Switching::fitTexts()
{
    shrinkToFit(ui->horizontalLayoutWidget, {ui->modeTx});
    shrinkToFit(ui->horizontalLayoutWidget_2, {ui->ampliOff, ui->ampliOn});
    fitted_ = true;
}
