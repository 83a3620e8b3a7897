// Loaded into the installed console as a Qt generic plugin
// (QT_QPA_GENERIC_PLUGINS=norvex_toolbarprobe), so that the program runs as
// installed. As soon as the event loop runs, it checks what the window
// shows, prints a line for each thing that is wrong, and ends the program
// with exit code 1 if anything was, 0 otherwise. With
// NORVEX_PROBE_SCREENSHOT set, it saves the window there as a picture too.
#include "paintedpixels.h"

#include <QAction>
#include <QApplication>
#include <QGenericPlugin>
#include <QMainWindow>
#include <QPixmap>
#include <QToolBar>

#include <cstdio>

namespace {

bool draws(const QIcon &icon)
{
    return paintedPixels(icon) > 48;
}

int failures = 0;

void fail(const QString &what)
{
    std::printf("toolbarprobe: %s\n", qPrintable(what));
    ++failures;
}

void probe()
{
    QMainWindow *window = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *w = qobject_cast<QMainWindow *>(widget); w && w->isVisible())
            window = w;
    auto *toolBar = window ? window->findChild<QToolBar *>() : nullptr;
    if (!toolBar) {
        fail(QStringLiteral("no main window with a tool bar"));
        QCoreApplication::exit(1);
        return;
    }
    if (toolBar->actions().size() != 7)
        fail(QStringLiteral("%1 tool bar actions, not 7").arg(toolBar->actions().size()));
    for (const QAction *action : toolBar->actions())
        if (!draws(action->icon()))
            fail(action->objectName() + QStringLiteral(": the icon draws nothing"));
    if (!draws(window->windowIcon()))
        fail(QStringLiteral("the window icon draws nothing"));
    if (QGuiApplication::desktopFileName() != QStringLiteral(NORVEX_APP_ID))
        fail(QStringLiteral("desktop file name \"%1\"").arg(QGuiApplication::desktopFileName()));
    const QString screenshot = qEnvironmentVariable("NORVEX_PROBE_SCREENSHOT");
    if (!screenshot.isEmpty() && !window->grab().save(screenshot))
        fail(QStringLiteral("cannot save the window as %1").arg(screenshot));
    QCoreApplication::exit(failures ? 1 : 0);
}

} // namespace

class ToolBarProbe : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "toolbarprobe.json")

public:
    QObject *create(const QString &, const QString &) override
    {
        auto *context = new QObject;
        QMetaObject::invokeMethod(context, probe, Qt::QueuedConnection);
        return context;
    }
};

#include "toolbarprobe.moc"
