// norvex_panelshots OUTPUT_DIR
// Shows the main window as main() does, saves its picture with the Data Link
// panel as OUTPUT_DIR/main-window.png, then switches to each antenna test
// panel with its tool bar action and saves the picture as
// OUTPUT_DIR/panel-<name>.png.
// Start it from the folder that holds the icons, as the console itself.
#include "antenna_w.h"
#include "appsetup.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>

#include <cstdio>

namespace {

struct Shot
{
    const char *action;
    const char *file;
};

const Shot shots[] = {
        {"actionConfig", "main-window.png"},
        {"actionTest_System", "panel-test-system.png"},
        {"actionFactory_settings", "panel-factory-settings.png"},
        {"actionMeasurement", "panel-measurement.png"},
        {"actionSwitching", "panel-switching.png"},
        {"actionCoverage", "panel-coverage.png"},
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: norvex_panelshots OUTPUT_DIR\n");
        return 2;
    }
    const QDir out(args.at(1));
    if (!out.exists()) {
        std::fprintf(stderr, "norvex_panelshots: no folder %s\n", qPrintable(args.at(1)));
        return 1;
    }
    // Without its icons the tool bar would be empty in every picture.
    if (!QFile::exists(QStringLiteral("Test_System.svg"))) {
        std::fprintf(stderr, "norvex_panelshots: start it from the folder that holds the icons\n");
        return 1;
    }

    setUpConsoleApplication();
    Antenna_w window;
    window.show();

    for (const Shot &shot : shots) {
        auto *action = window.findChild<QAction *>(QLatin1String(shot.action));
        if (!action) {
            std::fprintf(stderr, "norvex_panelshots: no action %s\n", shot.action);
            return 1;
        }
        action->trigger();
        // Let the panel area lay out the newly shown panel before painting.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();

        const QString path = out.filePath(QLatin1String(shot.file));
        if (!window.grab().save(path)) {
            std::fprintf(stderr, "norvex_panelshots: could not save %s\n", qPrintable(path));
            return 1;
        }
        std::printf("%s\n", qPrintable(path));
    }
    return 0;
}
