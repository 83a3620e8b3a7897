#include "switching.h"
#include "formfonts.h"
#include "ui_switching.h"

#include <QEvent>

Switching::Switching(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::Switching)
{
    ui->setupUi(this);
    fitTexts();
}

Switching::~Switching()
{
    delete ui;
}

void Switching::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        fitTexts();
    QWidget::changeEvent(event);
}

// The antenna mode and detector amplifier rows fill group boxes that reach
// the panel's edge: where the desktop font is too wide for them, the texts
// that do not fit get a smaller size of it.
void Switching::fitTexts()
{
    shrinkToFit(ui->horizontalLayoutWidget, {ui->modeTx});
    shrinkToFit(ui->horizontalLayoutWidget_2, {ui->ampliOff, ui->ampliOn});
}
