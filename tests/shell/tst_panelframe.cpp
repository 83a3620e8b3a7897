#include "configuration.h"
#include "coverage.h"
#include "measurement.h"
#include "memory.h"
#include "quietwarnings.h"
#include "switching.h"
#include "systeme.h"

#include <QTest>

#include <functional>
#include <memory>

using PanelFactory = std::function<QWidget *(QWidget *)>;
Q_DECLARE_METATYPE(PanelFactory)

template<typename Panel>
static PanelFactory factory()
{
    return [](QWidget *parent) -> QWidget * {
        return new Panel(parent);
    };
}

class tst_PanelFrame : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnAnyWarning(); }

    void frame_data();
    void frame();
};

void tst_PanelFrame::frame_data()
{
    QTest::addColumn<PanelFactory>("create");
    QTest::addColumn<QString>("className");
    QTest::addColumn<bool>("formOnly");

    QTest::newRow("configuration") << factory<Configuration>() << "Configuration" << false;
    QTest::newRow("coverage") << factory<Coverage>() << "Coverage" << true;
    QTest::newRow("measurement") << factory<Measurement>() << "Measurement" << true;
    QTest::newRow("memory") << factory<Memory>() << "Memory" << true;
    QTest::newRow("switching") << factory<Switching>() << "Switching" << true;
    QTest::newRow("systeme") << factory<Systeme>() << "Systeme" << true;
}

void tst_PanelFrame::frame()
{
    QFETCH(PanelFactory, create);
    QFETCH(QString, className);
    QFETCH(bool, formOnly);

    QWidget parent;
    QWidget *panel = create(&parent);

    QCOMPARE(panel->parentWidget(), &parent);
    QCOMPARE(panel->objectName(), className);
    QCOMPARE(panel->windowTitle(), QStringLiteral("Form"));
    QCOMPARE(panel->size(), QSize(531, 501));

    const QMetaObject *meta = panel->metaObject();
    QCOMPARE(QString::fromLatin1(meta->className()), className);
    QCOMPARE(meta->superClass(), &QWidget::staticMetaObject);
    QCOMPARE(panel->qt_metacast(className.toLatin1().constData()), static_cast<void *>(panel));
    QVERIFY(panel->inherits("QWidget"));
    if (formOnly)
        QCOMPARE(meta->methodCount(), QWidget::staticMetaObject.methodCount());

    // The panel's widgets die with it.
    delete panel;
    QVERIFY(parent.findChildren<QObject *>().isEmpty());
}

QTEST_MAIN(tst_PanelFrame)
#include "tst_panelframe.moc"
