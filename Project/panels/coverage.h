#ifndef COVERAGE_H
#define COVERAGE_H

#include <QWidget>

namespace Ui {
class Coverage;
}

class Coverage : public QWidget
{
    Q_OBJECT

public:
    explicit Coverage(QWidget *parent = nullptr);
    ~Coverage() override;

private:
    Ui::Coverage *ui;
};

#endif // COVERAGE_H
