// A main window of the console's size that shows the same kinds of things as
// the console, ended at its first painted frame: the fair reference of the
// start-up benchmark. A text label, a vertical tool bar with the console's
// seven SVG icons, a menu bar with two menus and a plain-text edit; no forms,
// no serial port, no font of its own. Start it from the folder that holds the
// icons, as the console.
#include "firstpaint.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QToolBar>
#include <QVBoxLayout>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.resize(800, 600);

    QMenu *help = window.menuBar()->addMenu(QStringLiteral("Help"));
    help->addAction(QStringLiteral("About"));
    help->addAction(QStringLiteral("Documentation"));
    QMenu *file = window.menuBar()->addMenu(QStringLiteral("File"));
    file->addAction(QStringLiteral("Clear"));

    auto *tools = new QToolBar(QStringLiteral("toolBar"));
    tools->setIconSize(QSize(48, 48));
    window.addToolBar(Qt::LeftToolBarArea, tools);
    const char *const icons[] = {"dataLink.svg",    "Test_System.svg",       "factory_settings.svg",
                                 "Measurement.svg", "gears_maintenance.svg", "coverage_plot.svg",
                                 "close_cross.svg"};
    for (const char *icon : icons)
        tools->addAction(QIcon(QLatin1String(icon)), QLatin1String(icon));

    auto *central = new QWidget;
    auto *rows = new QVBoxLayout(central);
    rows->addWidget(new QLabel(QStringLiteral("Antenna configuration")));
    auto *columns = new QHBoxLayout;
    columns->addStretch();
    auto *log = new QPlainTextEdit;
    log->setMaximumWidth(191);
    columns->addWidget(log);
    rows->addLayout(columns);
    window.setCentralWidget(central);

    onFirstPaint(&window, exitNow);
    window.show();
    return app.exec();
}
