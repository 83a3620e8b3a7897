// The console started as its main() starts it and left the way an operator
// leaves it: a click on the Exit button of the tool bar, here as soon as the
// window is painted. scripts/memcheck runs it under valgrind.
#include "antenna_w.h"
#include "appsetup.h"
#include "firstpaint.h"

#include <QAction>
#include <QApplication>
#include <QTest>
#include <QToolBar>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    setUpConsoleApplication();
    Antenna_w window(nullptr);
    onFirstPaint(&window, [&window] {
        auto *toolBar = window.findChild<QToolBar *>(QStringLiteral("toolBar"));
        auto *exit = window.findChild<QAction *>(QStringLiteral("actionExit"));
        QWidget *button = toolBar && exit ? toolBar->widgetForAction(exit) : nullptr;
        if (!button) {
            std::fputs("norvex_exitclick: no Exit button on the tool bar\n", stderr);
            QCoreApplication::exit(1);
            return;
        }
        QTest::mouseClick(button, Qt::LeftButton);
    });
    window.show();
    return app.exec();
}
