#ifndef PANELSTATE_H
#define PANELSTATE_H

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
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

// The user-visible text of a widget: a button's or label's text, a group
// box's title, the form's window title.
inline QString textOf(const QWidget *widget)
{
    if (auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (auto *box = qobject_cast<const QGroupBox *>(widget))
        return box->title();
    return widget->windowTitle();
}

inline QStringList textsOf(const QWidget *form)
{
    QStringList texts{form->windowTitle()};
    for (const QWidget *widget : form->findChildren<QWidget *>())
        texts << widget->objectName() + QLatin1Char('=') + textOf(widget);
    return texts;
}

#endif // PANELSTATE_H
