// norvex_screengrab X Y WIDTH HEIGHT OUTPUT.png
// Saves a rectangle of the X screen once it has stopped changing, so that a
// window that has just been mapped is captured fully painted.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6) {
        std::fprintf(stderr, "usage: norvex_screengrab X Y WIDTH HEIGHT OUTPUT.png\n");
        return 2;
    }
    const int x = args.at(1).toInt();
    const int y = args.at(2).toInt();
    const int width = args.at(3).toInt();
    const int height = args.at(4).toInt();

    QScreen *screen = QGuiApplication::primaryScreen();
    QImage last;
    for (int attempt = 0; attempt < 50; ++attempt) {
        QThread::msleep(200);
        const QImage now = screen->grabWindow(0, x, y, width, height).toImage();
        if (!now.isNull() && now == last)
            break;
        last = now;
    }
    if (last.isNull() || !last.save(args.at(5))) {
        std::fprintf(stderr, "norvex_screengrab: could not save %s\n", qPrintable(args.at(5)));
        return 1;
    }
    return 0;
}
