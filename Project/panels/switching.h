#ifndef SWITCHING_H
#define SWITCHING_H

#include <QWidget>

namespace Ui {
class Switching;
}

class Switching : public QWidget
{
    Q_OBJECT

public:
    explicit Switching(QWidget *parent = nullptr);
    ~Switching() override;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void fitTexts();

    Ui::Switching *ui;
    bool fitted_ = false;
};

#endif // SWITCHING_H
