#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

#include <QRegularExpression>
#include <QTest>

// Any Qt warning during a test function fails it: a failed connection or a
// bad property shows up as a warning long before it shows up as a bug. The
// offscreen platform's note that it cannot pass size hints to a window
// manager is about the test platform, not about the program.
inline void failOnAnyWarning()
{
    QTest::failOnWarning(QRegularExpression(
            QStringLiteral("^(?!This plugin does not support propagateSizeHints\\(\\)$)")));
}

// A named child that the test cannot do without.
template<typename T = QWidget>
T *child(const QObject *parent, const QString &name)
{
    auto *found = parent->findChild<T *>(name);
    if (!found)
        qFatal("no %s", qPrintable(name));
    return found;
}

#endif // TESTSUPPORT_H
