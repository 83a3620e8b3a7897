// Every text of the main window whole under the fonts of real desktops. With
// each as the application's font, every text that the window draws (title,
// logo, menus, the six panels with their group box titles, each entry of the
// port and rate lists; the tool bar shows icons only) is drawn again alone,
// unclipped, the way its widget had the style draw it, and each pixel of
// that ink must show in the window: not cut off by its widget or a parent,
// not painted over by another widget, and not lying under another text.
#include "antenna_w.h"
#include "formfonts.h"
#include "panels.h"
#include "testsupport.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFontInfo>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QSignalBlocker>
#include <QStyleFactory>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

namespace {

// One text as its widget had it drawn: enough to draw it again, unclipped.
struct TextDraw
{
    QPointer<QWidget> widget;
    QString text;
    QTransform transform; // from the widget's painter to the picture
    QRect rect;
    int flags = 0;
    QFont font;
    Qt::LayoutDirection direction = Qt::LeftToRight;
    const QTextDocument *document = nullptr; // rich text: its document draws it
};

// Passes on every text that a widget has the style draw, or drops it while
// hiding, and notes how it was drawn while recording. All plain texts go
// this way: buttons, labels, group box titles, list entries, menu titles.
class TextProbe : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    void drawItemText(QPainter *painter, const QRect &rect, int flags, const QPalette &palette,
                      bool enabled, const QString &text,
                      QPalette::ColorRole textRole) const override
    {
        if (recording && !text.isEmpty()) {
            TextDraw draw;
            draw.widget = dynamic_cast<QWidget *>(painter->device());
            draw.text = text;
            draw.transform = painter->deviceTransform();
            draw.rect = rect;
            draw.flags = flags;
            draw.font = painter->font();
            draw.direction = painter->layoutDirection();
            draws.append(draw);
        }
        if (!hiding)
            QProxyStyle::drawItemText(painter, rect, flags, palette, enabled, text, textRole);
    }

    mutable QList<TextDraw> draws;
    bool recording = false;
    bool hiding = false;
};

// A rich-text label (the title, the logo) draws its document itself, not
// through the style, and paints nothing else: while texts are hidden it is
// not painted at all.
class PaintBlocker : public QObject
{
public:
    bool blocking = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (blocking && event->type() == QEvent::Paint)
            return true;
        return QObject::eventFilter(watched, event);
    }
};

// The window's picture with its texts and without them, and how each text
// was drawn.
struct Grab
{
    QImage shown;
    QImage bare;
    QList<TextDraw> draws;
};

// The ink of one text drawn alone, unclipped, black on clear, over the part
// of the picture it can reach.
struct Ink
{
    QRect box;
    QImage image;

    // A pixel counts as ink where the glyphs cover at least half of it.
    bool at(int x, int y) const
    {
        return box.contains(x, y) && qAlpha(image.pixel(x - box.x(), y - box.y())) >= 128;
    }
};

Ink inkOf(const TextDraw &draw, const QRect &picture)
{
    QRectF reach;
    if (draw.document) {
        reach = QRectF(QPointF(), draw.document->size());
    } else {
        const QFontMetrics metrics(draw.font);
        reach = metrics.boundingRect(draw.rect, draw.flags | Qt::TextDontClip, draw.text);
    }
    Ink ink;
    ink.box = draw.transform.mapRect(reach).toAlignedRect().adjusted(-8, -8, 8, 8) & picture;
    if (ink.box.isEmpty())
        return ink;
    ink.image = QImage(ink.box.size(), QImage::Format_ARGB32);
    ink.image.fill(Qt::transparent);
    QPainter painter(&ink.image);
    painter.setTransform(draw.transform * QTransform::fromTranslate(-ink.box.x(), -ink.box.y()));
    if (draw.document) {
        QAbstractTextDocumentLayout::PaintContext context;
        context.palette.setColor(QPalette::Text, Qt::black);
        draw.document->documentLayout()->draw(&painter, context);
    } else {
        painter.setFont(draw.font);
        painter.setLayoutDirection(draw.direction);
        painter.setPen(Qt::black);
        painter.drawText(draw.rect, draw.flags | Qt::TextDontClip, draw.text);
    }
    return ink;
}

// The ink of a text shows where the picture with the texts differs from the
// one without.
bool shows(QRgb shown, QRgb bare)
{
    return qAbs(qRed(shown) - qRed(bare)) > 16 || qAbs(qGreen(shown) - qGreen(bare)) > 16
            || qAbs(qBlue(shown) - qBlue(bare)) > 16;
}

} // namespace

class tst_Fonts : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { failOnAnyWarning(); }

    void textsWhole_data();
    void textsWhole();

private:
    Grab grab(QWidget *window, const QRect &area);
    static QStringList faults(const Grab &grab);

    TextProbe *probe = nullptr;
    PaintBlocker blocker;
};

void tst_Fonts::initTestCase()
{
    QVERIFY2(loadFormFonts(),
             "no Tahoma in /usr/share/wine/fonts: scripts/deps installs fonts-wine");
#ifdef Q_OS_WIN
    // The style Windows gives the console.
    const QString style = QApplication::style()->name();
#else
    const QString style = QStringLiteral("Fusion");
#endif
    probe = new TextProbe(QStyleFactory::create(style));
    QApplication::setStyle(probe);
}

// The desktops' own fonts: a bare X server, KDE Plasma, GNOME, and two near
// Qt's default on Windows; scripts/deps installs them. And the Windows dialog
// font the forms were laid out for, whose italic is synthesised.
void tst_Fonts::textsWhole_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<qreal>("points");
    QTest::addColumn<bool>("linuxDesktop");
    const auto row = [](const char *family, qreal points) {
        QTest::addRow("%s %g", family, points) << QString::fromLatin1(family) << points << true;
    };
    row("DejaVu Sans", 9);
    row("Noto Sans", 10);
    row("Cantarell", 11);
    row("Liberation Sans", 9);
    row("Noto Sans", 9);
    QTest::newRow("Tahoma 8.25 as on Windows") << QStringLiteral("Tahoma") << qreal(8.25) << false;
}

// A rich-text label's document, placed where QLabel draws it: at the left of
// the contents, centred vertically unless taller than they are.
static TextDraw richTextDraw(QLabel *label, QWidget *window, const QRect &area)
{
    TextDraw draw;
    draw.widget = label;
    draw.document = label->findChild<QTextDocument *>();
    draw.text = draw.document->toPlainText();
    const QRect contents = label->contentsRect();
    const qreal height = draw.document->documentLayout()->documentSize().height();
    const qreal top = qMax((contents.height() - height) / 2, qreal(0));
    const QPoint origin = label->mapTo(
            window, QRectF(contents.x(), contents.y() + top, 1, 1).toAlignedRect().topLeft());
    const qreal ratio = window->devicePixelRatioF();
    draw.transform = QTransform::fromTranslate(origin.x() - area.x(), origin.y() - area.y())
            * QTransform::fromScale(ratio, ratio);
    return draw;
}

Grab tst_Fonts::grab(QWidget *window, const QRect &area)
{
    QList<QLabel *> richLabels;
    for (QLabel *label : window->findChildren<QLabel *>()) {
        if (label->isVisible() && label->findChild<QTextDocument *>())
            richLabels << label;
    }
    Grab grab;
    probe->draws.clear();
    probe->recording = true;
    grab.shown = window->grab(area).toImage().convertToFormat(QImage::Format_ARGB32);
    probe->recording = false;
    grab.draws = probe->draws;
    for (QLabel *label : richLabels) {
        grab.draws << richTextDraw(label, window, area);
        label->installEventFilter(&blocker);
    }
    probe->hiding = blocker.blocking = true;
    grab.bare = window->grab(area).toImage().convertToFormat(QImage::Format_ARGB32);
    probe->hiding = blocker.blocking = false;
    for (QLabel *label : richLabels)
        label->removeEventFilter(&blocker);
    return grab;
}

QStringList tst_Fonts::faults(const Grab &grab)
{
    QList<Ink> inks;
    for (const TextDraw &draw : grab.draws)
        inks << inkOf(draw, grab.shown.rect());

    QStringList found;
    for (qsizetype i = 0; i < grab.draws.size(); ++i) {
        const TextDraw &draw = grab.draws.at(i);
        const QRect box = inks.at(i).box;
        int lost = 0;
        int covered = 0;
        QRect where;
        for (int y = box.top(); y <= box.bottom(); ++y) {
            for (int x = box.left(); x <= box.right(); ++x) {
                if (!inks.at(i).at(x, y))
                    continue;
                bool underOther = false;
                for (qsizetype j = 0; j < inks.size() && !underOther; ++j) {
                    underOther = grab.draws.at(j).widget != draw.widget && inks.at(j).at(x, y);
                }
                if (underOther)
                    ++covered;
                else if (!shows(grab.shown.pixel(x, y), grab.bare.pixel(x, y)))
                    ++lost;
                else
                    continue;
                where |= QRect(x, y, 1, 1);
            }
        }
        if (lost + covered > 0) {
            found << QString::asprintf("%s \"%s\": %d pixels of ink not shown and %d under another "
                                       "text, within (%d,%d %dx%d) of the window",
                                       draw.widget ? qUtf8Printable(draw.widget->objectName())
                                                   : "?",
                                       qUtf8Printable(draw.text), lost, covered, where.x(),
                                       where.y(), where.width(), where.height());
        }
    }
    return found;
}

void tst_Fonts::textsWhole()
{
    QFETCH(QString, family);
    QFETCH(qreal, points);
    QFETCH(bool, linuxDesktop);

#ifdef Q_OS_WIN
    // Windows has none of the Linux desktops' fonts, and where a test gives
    // it one, the font engine hints it otherwise than either desktop: a
    // missing pixel there says nothing of what an operator sees.
    if (linuxDesktop)
        QSKIP(qPrintable(family + QStringLiteral(" is a Linux desktop's font, not Windows'")));
#else
    Q_UNUSED(linuxDesktop);
#endif
    // A missing font would fall back to another one and prove nothing.
    QFont font(family);
    font.setPointSizeF(points);
    if (QFontInfo(font).family() != family)
        QFAIL(qPrintable(family + QStringLiteral(" is not installed: scripts/deps installs it")));
    QApplication::setFont(font);

    Antenna_w window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // A scale factor that did not reach the program would test 1x twice.
    const QByteArray scale = qgetenv("NORVEX_FONTS_SCALE");
    if (!scale.isEmpty())
        QCOMPARE(window.devicePixelRatioF(), scale.toDouble());

    // The rich-text labels (title, logo) are placed as richTextDraw() expects
    // and draw in the Tahoma they ask for, whatever the desktop's font.
    int richLabels = 0;
    for (const QLabel *label : window.findChildren<QLabel *>()) {
        const QTextDocument *document = label->findChild<QTextDocument *>();
        if (!document)
            continue;
        ++richLabels;
        QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
        const QTextFragment text = document->begin().begin().fragment();
        QCOMPARE(QFontInfo(text.charFormat().font()).family(), QStringLiteral("Tahoma"));
    }
    QCOMPARE(richLabels, 2);

    QStringList found;
    // The Data Link panel, the first, comes last.
    for (int i = int(std::size(panelInfo)) - 1; i >= 0; --i) {
        const char *action = panelInfo[i].action;
        window.findChild<QAction *>(QLatin1String(action))->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        for (const QString &fault : faults(grab(&window, window.rect())))
            found << QLatin1String(action) + QLatin1String(": ") + fault;
    }

    // Every entry of the Data Link panel's port and rate lists as the closed
    // list shows it.
    for (QComboBox *list : window.findChildren<QComboBox *>()) {
        const QSignalBlocker quiet(list);
        const QRect area(list->mapTo(&window, QPoint()), list->size());
        for (int i = 0; i < list->count(); ++i) {
            list->setCurrentIndex(i);
            for (const QString &fault : faults(grab(&window, area.adjusted(-4, -4, 4, 4)))) {
                if (fault.startsWith(list->objectName() + QLatin1Char(' ')))
                    found << fault;
            }
        }
        list->setCurrentIndex(0);
    }

    for (const QString &fault : std::as_const(found))
        qInfo().noquote() << fault;
    QVERIFY2(found.isEmpty(), qPrintable(QString::number(found.size()) + " texts not whole"));
}

QTEST_MAIN(tst_Fonts)
#include "tst_fonts.moc"
