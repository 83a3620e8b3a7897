#include "systeme.h"
#include "ui_systeme.h"

Systeme::Systeme(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::Systeme)
{
    ui->setupUi(this);
}

Systeme::~Systeme()
{
    delete ui;
}
