#ifndef PAINTEDPIXELS_H
#define PAINTEDPIXELS_H

#include <QIcon>
#include <QImage>

// Renders the icon at the tool bar's size and counts the pixels it paints: a
// missing file or a missing SVG plugin gives an empty or fully transparent
// picture.
inline int paintedPixels(const QIcon &icon)
{
    const QImage image = icon.pixmap(QSize(48, 48)).toImage();
    int painted = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            painted += qAlpha(image.pixel(x, y)) > 0;
    return painted;
}

#endif // PAINTEDPIXELS_H
