#include "antenna_w.h"
#include "comPc.h"
#include "configuration.h"
#include "coverage.h"
#include "measurement.h"
#include "memory.h"
#include "port_com.h"
#include "switching.h"
#include "systeme.h"
#include "testsupport.h"

#include <QMainWindow>
#include <QMetaMethod>
#include <QTest>

#include <functional>
#include <memory>

using Factory = std::function<QObject *()>;
Q_DECLARE_METATYPE(Factory)

// The console's signals and slots are what the form's auto-connection and
// the string-based connections find them by: names, argument types, order and
// parameter names must not drift. The antenna test panels add none.
class tst_LinkMeta : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnAnyWarning(); }

    void methods_data();
    void methods();
};

void tst_LinkMeta::methods_data()
{
    QTest::addColumn<Factory>("create");
    QTest::addColumn<const QMetaObject *>("superClass");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("Port_Com") << Factory([] { return new Port_Com; }) << &QObject::staticMetaObject
                              << QStringList{"private slot set_baudRate(BaudRateType) baud",
                                             "private slot set_portName(QString) name"};
    QTest::newRow("Configuration")
            << Factory([] { return new Configuration; }) << &QWidget::staticMetaObject
            << QStringList{"public signal sig_portName_Changed(QString)",
                           "public signal sig_baud_Changed(BaudRateType)",
                           "public signal sig_open_Serial(int)",
                           "private slot on_openCom_toggled(bool)",
                           "private slot on_portName_combo_currentIndexChanged(int) index",
                           "private slot on_baud_combo_currentIndexChanged(int) index",
                           "private slot on_partNumber_textChanged(QString) text",
                           "private slot on_serialNumber_textChanged(QString) text"};
    QTest::newRow("comPc") << Factory([] { return new comPc; }) << &QObject::staticMetaObject
                           << QStringList{"public signal sig_text(QString)",
                                          "public slot status_RS232(int) resul"};
    QTest::newRow("Coverage") << Factory([] { return new Coverage; }) << &QWidget::staticMetaObject
                              << QStringList();
    QTest::newRow("Measurement") << Factory([] { return new Measurement; })
                                 << &QWidget::staticMetaObject << QStringList();
    QTest::newRow("Memory") << Factory([] { return new Memory; }) << &QWidget::staticMetaObject
                            << QStringList();
    QTest::newRow("Switching") << Factory([] { return new Switching; })
                               << &QWidget::staticMetaObject << QStringList();
    QTest::newRow("Systeme") << Factory([] { return new Systeme; }) << &QWidget::staticMetaObject
                             << QStringList();
    QTest::newRow("Antenna_w") << Factory([] { return new Antenna_w; })
                               << &QMainWindow::staticMetaObject
                               << QStringList{"public signal sig_open_Serial(bool)",
                                              "private slot on_actionConfig_triggered()",
                                              "private slot on_actionCoverage_triggered()",
                                              "private slot on_actionFactory_settings_triggered()",
                                              "private slot on_actionMeasurement_triggered()",
                                              "private slot on_actionTest_System_triggered()",
                                              "private slot on_actionSwitching_triggered()",
                                              "private slot on_actionClear_triggered()",
                                              "private slot set_Text(QString) text"};
}

void tst_LinkMeta::methods()
{
    QFETCH(Factory, create);
    QFETCH(const QMetaObject *, superClass);
    QFETCH(QStringList, expected);

    const std::unique_ptr<QObject> object(create());
    const QMetaObject *meta = object->metaObject();
    const QByteArray className = QTest::currentDataTag();
    QCOMPARE(QByteArray(meta->className()), className);
    QCOMPARE(meta->superClass(), superClass);
    QCOMPARE(object->qt_metacast(className.constData()), static_cast<void *>(object.get()));
    QCOMPARE(object->qt_metacast(nullptr), nullptr);

    QStringList methods;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        const char *access = method.access() == QMetaMethod::Private ? "private"
                : method.access() == QMetaMethod::Protected          ? "protected"
                                                                     : "public";
        const char *kind = method.methodType() == QMetaMethod::Signal ? "signal"
                : method.methodType() == QMetaMethod::Slot            ? "slot"
                                                                      : "other";
        methods << QStringLiteral("%1 %2 %3 %4")
                           .arg(access, kind, method.methodSignature(),
                                method.parameterNames().join(','))
                           .trimmed();
    }
    QCOMPARE(methods, expected);
    QCOMPARE(meta->propertyCount(), superClass->propertyCount());
    QCOMPARE(meta->enumeratorCount(), superClass->enumeratorCount());
    QCOMPARE(meta->classInfoCount(), superClass->classInfoCount());
    QCOMPARE(meta->constructorCount(), 0);
    // A panel comes in its form's name and size.
    if (superClass == &QWidget::staticMetaObject) {
        QCOMPARE(object->objectName(), QString::fromLatin1(className));
        QCOMPARE(static_cast<QWidget *>(object.get())->size(), QSize(531, 501));
    }
}

QTEST_MAIN(tst_LinkMeta)
#include "tst_linkmeta.moc"
