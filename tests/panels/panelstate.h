#ifndef PANELSTATE_H
#define PANELSTATE_H

#include <QAbstractButton>
#include <QLineEdit>
#include <QProgressBar>
#include <QStringList>
#include <QWidget>

// The object names of a panel's checked buttons, sorted.
inline QStringList checkedButtons(const QWidget *panel)
{
    QStringList names;
    for (const QAbstractButton *button : panel->findChildren<QAbstractButton *>()) {
        if (button->isChecked())
            names << button->objectName();
    }
    names.sort();
    return names;
}

// Everything else an operator or the program could change on a panel: the
// fields' text and the progress bars' value.
inline QStringList fieldContents(const QWidget *panel)
{
    QStringList contents;
    for (const QLineEdit *edit : panel->findChildren<QLineEdit *>())
        contents << edit->objectName() + QLatin1Char('=') + edit->text();
    for (const QProgressBar *bar : panel->findChildren<QProgressBar *>())
        contents << bar->objectName() + QLatin1Char('=') + QString::number(bar->value());
    return contents;
}

#endif // PANELSTATE_H
