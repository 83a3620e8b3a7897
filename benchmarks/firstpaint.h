#ifndef FIRSTPAINT_H
#define FIRSTPAINT_H

#include <QEvent>
#include <QGuiApplication>
#include <QObject>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <utility>

// Calls `then` once the window's first paint is done: queued, so that the
// whole window has been painted and handed to the window system by then.
// A window that does not paint within two minutes (valgrind is slow) ends
// the process with status 3 rather than hang whoever started it.
class FirstPaint : public QObject
{
public:
    FirstPaint(QWidget *window, std::function<void()> then)
        : QObject(window)
        , then_(std::move(then))
    {
        window->installEventFilter(this);
        watchdog_.setSingleShot(true);
        connect(&watchdog_, &QTimer::timeout, this, [] {
            std::fputs("no first paint within two minutes\n", stderr);
            std::_Exit(3);
        });
        watchdog_.start(120 * 1000);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && then_) {
            watchdog_.stop();
            watched->removeEventFilter(this);
            QMetaObject::invokeMethod(this, std::exchange(then_, {}), Qt::QueuedConnection);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> then_;
    QTimer watchdog_;
};

// The window owns the hook.
inline void onFirstPaint(QWidget *window, std::function<void()> then)
{
    new FirstPaint(window, std::move(then));
}

// Ends the process at once, skipping teardown: the start-up benchmark times
// process start to first picture, and both of its programs stop here. The
// round trip makes sure the window system has the picture.
inline void exitNow()
{
    QGuiApplication::sync();
    std::_Exit(0);
}

#endif // FIRSTPAINT_H
