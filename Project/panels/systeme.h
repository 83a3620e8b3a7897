#ifndef SYSTEME_H
#define SYSTEME_H

#include <QWidget>

namespace Ui {
class Systeme;
}

class Systeme : public QWidget
{
    Q_OBJECT

public:
    explicit Systeme(QWidget *parent = nullptr);
    ~Systeme() override;

private:
    Ui::Systeme *ui;
};

#endif // SYSTEME_H
