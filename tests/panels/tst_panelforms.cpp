// The five antenna test forms, each built by its generated Ui record on a
// bare widget.
#include "panelstate.h"
#include "testsupport.h"
#include "ui_coverage.h"
#include "ui_measurement.h"
#include "ui_memory.h"
#include "ui_switching.h"
#include "ui_systeme.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QTest>
#include <QTranslator>

#include <functional>
#include <memory>

struct FormOps
{
    std::function<void(QWidget *)> setupUi;
    std::function<void(QWidget *)> retranslateUi;
};
Q_DECLARE_METATYPE(FormOps)

template<typename Ui>
static FormOps formOps()
{
    auto ui = std::make_shared<Ui>();
    return {[ui](QWidget *form) { ui->setupUi(form); },
            [ui](QWidget *form) {
                ui->retranslateUi(form);
            }};
}

static void setTextOf(QWidget *widget, const QString &text)
{
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        button->setText(text);
    else if (auto *label = qobject_cast<QLabel *>(widget))
        label->setText(text);
    else if (auto *box = qobject_cast<QGroupBox *>(widget))
        box->setTitle(text);
    else
        widget->setWindowTitle(text);
}

// Records every translation lookup and translates nothing.
class RecordingTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *disambiguation,
                      int) const override
    {
        contexts << QString::fromUtf8(context);
        sources << QString::fromUtf8(sourceText);
        disambiguated |= disambiguation != nullptr;
        return QString();
    }

    void clear()
    {
        contexts.clear();
        sources.clear();
        disambiguated = false;
    }

    mutable QStringList contexts;
    mutable QStringList sources;
    mutable bool disambiguated = false;
};

// Object name and text, in the order retranslateUi sets them; an empty name
// stands for the form's window title.
using Texts = QList<QPair<QString, QString>>;

class tst_PanelForms : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnAnyWarning(); }

    void startState_data();
    void startState();
    void layouts_data();
    void layouts();
    void creationOrder_data();
    void creationOrder();
    void retranslateResetsTextsOnly_data();
    void retranslateResetsTextsOnly();
    void texts_data();
    void texts();

private:
    void addFormRows();
};

void tst_PanelForms::addFormRows()
{
    QTest::addColumn<FormOps>("ops");
    QTest::newRow("test system") << formOps<Ui::Systeme>();
    QTest::newRow("measurement") << formOps<Ui::Measurement>();
    QTest::newRow("factory settings") << formOps<Ui::Memory>();
    QTest::newRow("switching") << formOps<Ui::Switching>();
    QTest::newRow("coverage") << formOps<Ui::Coverage>();
}

void tst_PanelForms::startState_data()
{
    QTest::addColumn<FormOps>("ops");
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<QStringList>("disabled");
    QTest::addColumn<QStringList>("emptyAreas");

    QTest::newRow("test system: no indicator checked")
            << formOps<Ui::Systeme>() << QStringList() << QStringList() << QStringList();
    QTest::newRow("measurement: boxes unticked, empty plot")
            << formOps<Ui::Measurement>() << QStringList() << QStringList()
            << QStringList{"vswr_Plot"};
    QTest::newRow("factory settings: progress at 0")
            << formOps<Ui::Memory>() << QStringList() << QStringList() << QStringList();
    QTest::newRow("switching: first of each set, CU control disabled")
            << formOps<Ui::Switching>()
            << QStringList{"ampliOff", "ext0", "ixit0", "modeRx", "sleepSynthe"}
            << QStringList{"ampliOff",
                           "ampliOn",
                           "groupBox_4",
                           "groupBox_41",
                           "groupBox_42",
                           "horizontalLayoutWidget_2",
                           "horizontalLayoutWidget_3",
                           "runSynthe",
                           "sleepSynthe"}
            << QStringList();
    QTest::newRow("coverage: empty area")
            << formOps<Ui::Coverage>() << QStringList() << QStringList() << QStringList{"widget"};
}

void tst_PanelForms::startState()
{
    QFETCH(FormOps, ops);
    QFETCH(QStringList, checked);
    QFETCH(QStringList, disabled);
    QFETCH(QStringList, emptyAreas);

    QWidget form;
    ops.setupUi(&form);

    QCOMPARE(checkedButtons(&form), checked);
    QStringList notEnabled;
    for (const QWidget *widget : form.findChildren<QWidget *>()) {
        if (!widget->isEnabled())
            notEnabled << widget->objectName();
    }
    notEnabled.sort();
    QCOMPARE(notEnabled, disabled);

    // Fields are empty and take any text: nothing limits or checks it.
    const int defaultMaxLength = QLineEdit().maxLength();
    for (const QLineEdit *edit : form.findChildren<QLineEdit *>()) {
        QVERIFY2(edit->text().isEmpty(), qPrintable(edit->objectName()));
        QVERIFY2(!edit->isReadOnly(), qPrintable(edit->objectName()));
        QVERIFY2(!edit->validator(), qPrintable(edit->objectName()));
        QVERIFY2(edit->inputMask().isEmpty(), qPrintable(edit->objectName()));
        QCOMPARE(edit->maxLength(), defaultMaxLength);
    }
    for (const QProgressBar *bar : form.findChildren<QProgressBar *>()) {
        QCOMPARE(bar->value(), 0);
        QCOMPARE(bar->minimum(), 0);
        QCOMPARE(bar->maximum(), 100);
        QCOMPARE(bar->text(), QStringLiteral("0%"));
    }
    for (const QCheckBox *box : form.findChildren<QCheckBox *>())
        QVERIFY2(!box->isTristate(), qPrintable(box->objectName()));
    for (const QGroupBox *box : form.findChildren<QGroupBox *>())
        QVERIFY2(!box->isCheckable(), qPrintable(box->objectName()));
    for (const QString &name : emptyAreas) {
        auto *area = form.findChild<QWidget *>(name);
        QVERIFY2(area, qPrintable(name));
        QVERIFY(area->children().isEmpty());
        QVERIFY(!area->layout());
    }
}

void tst_PanelForms::layouts_data()
{
    addFormRows();
}

// Every row or column of controls is a container with one layout of zero
// margins, named after it; a labelled field is a one-row form layout.
void tst_PanelForms::layouts()
{
    QFETCH(FormOps, ops);

    QWidget form;
    ops.setupUi(&form);
    QVERIFY(!form.layout());

    const auto layouts = form.findChildren<QLayout *>();
    QVERIFY(!layouts.isEmpty());
    for (const QLayout *layout : layouts) {
        const QString name = layout->objectName();
        QWidget *container = layout->parentWidget();
        QCOMPARE(container->layout(), layout);
        QCOMPARE(container->objectName(),
                 QString(name).replace(QLatin1String("Layout"), QLatin1String("LayoutWidget")));
        QCOMPARE(layout->contentsMargins(), QMargins());

        int widgets = 0;
        for (int i = 0; i < layout->count(); ++i) {
            QLayoutItem *item = layout->itemAt(i);
            QVERIFY2(item->widget(), qPrintable(name));
            QCOMPARE(item->widget()->parentWidget(), container);
            QCOMPARE(item->alignment(), Qt::Alignment());
            if (auto *box = qobject_cast<const QBoxLayout *>(layout))
                QCOMPARE(box->stretch(i), 0);
            ++widgets;
        }
        QCOMPARE(int(container->findChildren<QWidget *>(Qt::FindDirectChildrenOnly).size()),
                 widgets);

        if (auto *formLayout = qobject_cast<const QFormLayout *>(layout)) {
            QCOMPARE(formLayout->rowCount(), 1);
            QVERIFY(qobject_cast<QLabel *>(
                    formLayout->itemAt(0, QFormLayout::LabelRole)->widget()));
            QVERIFY(qobject_cast<QLineEdit *>(
                    formLayout->itemAt(0, QFormLayout::FieldRole)->widget()));
            QCOMPARE(formLayout->formAlignment(),
                     Qt::AlignLeading | Qt::AlignLeft | Qt::AlignVCenter);
        }
    }
}

void tst_PanelForms::creationOrder_data()
{
    QTest::addColumn<FormOps>("ops");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QStringList>("children");

    QTest::newRow("test system: TEST button after the groups")
            << formOps<Ui::Systeme>() << "groupBox_3"
            << QStringList{"groupBox_31",      "groupBox_32", "groupBox_33", "groupBox_34",
                           "groupBox_35",      "groupBox_36", "groupBox_37", "groupBox_38",
                           "formLayoutWidget", "detStatus"};
    QTest::newRow("test system: group, label, Faild, Pass")
            << formOps<Ui::Systeme>() << "groupBox_35"
            << QStringList{"label_5", "ind_LinFaild", "ind_LinPass"};
    QTest::newRow("measurement: scan block")
            << formOps<Ui::Measurement>() << "groupBox_2"
            << QStringList{"formLayoutWidget_2", "formLayoutWidget_3",
                           "formLayoutWidget_4", "start",
                           "ind_Tune_Link",      "vswr_Plot",
                           "formLayoutWidget_5", "formLayoutWidget_6"};
    QTest::newRow("factory settings: linearisation first")
            << formOps<Ui::Memory>() << "" << QStringList{"groupBox_2", "groupBox"};
    QTest::newRow("factory settings: erase button last")
            << formOps<Ui::Memory>() << "groupBox"
            << QStringList{"read_Param",         "write_Param",        "formLayoutWidget_3",
                           "formLayoutWidget_4", "formLayoutWidget_5", "formLayoutWidget_6",
                           "formLayoutWidget_7", "formLayoutWidget_8", "eraseMemPoste"};
    QTest::newRow("form layout: layout, label, field")
            << formOps<Ui::Memory>() << "formLayoutWidget_5"
            << QStringList{"formLayout_5", "tOSMinLabel", "toSMin"};
    QTest::newRow("switching: amplifier before synthesizer")
            << formOps<Ui::Switching>() << "groupBox_4"
            << QStringList{"groupBox_42", "groupBox_41"};
    QTest::newRow("switching: capacitors in number order")
            << formOps<Ui::Switching>() << "verticalLayoutWidget"
            << QStringList{"verticalLayout", "capa00", "capa01", "capa02", "capa03",
                           "capa04",         "capa05", "capa06", "capa07", "capa08",
                           "capa09",         "capa10", "capa11", "capa12", "capa13"};
    QTest::newRow("coverage: empty area first")
            << formOps<Ui::Coverage>() << ""
            << QStringList{"widget", "formLayoutWidget", "formLayoutWidget_2", "formLayoutWidget_3",
                           "start_Cover"};
}

// Creation order decides what lies on top where widgets touch and the order
// Tab walks through the fields: it shows as each child's place.
void tst_PanelForms::creationOrder()
{
    QFETCH(FormOps, ops);
    QFETCH(QString, parent);
    QFETCH(QStringList, children);

    QWidget form;
    ops.setupUi(&form);
    QObject *owner = parent.isEmpty() ? &form : form.findChild<QObject *>(parent);
    QVERIFY(owner);
    QStringList names;
    for (const QObject *child : owner->children())
        names << child->objectName();
    QCOMPARE(names, children);
}

void tst_PanelForms::retranslateResetsTextsOnly_data()
{
    addFormRows();
}

void tst_PanelForms::retranslateResetsTextsOnly()
{
    QFETCH(FormOps, ops);

    QWidget form;
    form.setObjectName(QStringLiteral("named"));
    ops.setupUi(&form);
    QCOMPARE(form.objectName(), QStringLiteral("named"));
    const QStringList texts = textsOf(&form);

    // Change everything the operator or the program could change.
    for (QAbstractButton *button : form.findChildren<QAbstractButton *>()) {
        if (button->isCheckable())
            button->setChecked(!button->isChecked());
    }
    for (QLineEdit *edit : form.findChildren<QLineEdit *>())
        edit->setText(QStringLiteral("typed ") + edit->objectName());
    for (QProgressBar *bar : form.findChildren<QProgressBar *>())
        bar->setValue(42);
    for (QWidget *widget : form.findChildren<QWidget *>()) {
        widget->setToolTip(QStringLiteral("tip"));
        setTextOf(widget, QStringLiteral("changed"));
    }
    form.setWindowTitle(QStringLiteral("changed"));
    const QStringList checked = checkedButtons(&form);
    const QStringList fields = fieldContents(&form);

    ops.retranslateUi(&form);

    // Texts come back exactly; texts the form never sets stay as they were.
    QStringList expected = texts;
    for (QString &text : expected) {
        if (text.endsWith(QLatin1Char('=')))
            text += QStringLiteral("changed");
    }
    QCOMPARE(textsOf(&form), expected);
    QCOMPARE(checkedButtons(&form), checked);
    QCOMPARE(fieldContents(&form), fields);
    for (const QWidget *widget : form.findChildren<QWidget *>())
        QCOMPARE(widget->toolTip(), QStringLiteral("tip"));
}

void tst_PanelForms::texts_data()
{
    QTest::addColumn<FormOps>("ops");
    QTest::addColumn<QString>("context");
    QTest::addColumn<Texts>("texts");

    Texts systeme{{"", "Form"},
                  {"groupBox_1", "General information"},
                  {"softRef_Request", "SOFTWARE REFERENCE"},
                  {"softRefVal", "Software reference"},
                  {"groupBox_2", "General status"},
                  {"genStatus", "TEST"},
                  {"ind_StatusFaild", "Faild"},
                  {"ind_StatusPass", "Pass"},
                  {"groupBox_3", "Detailled status"}};
    const char *const groups[][2] = {{"Alim", "Power supply"}, {"Synthe", "Synthesizer"},
                                     {"Temp", "Temperature"},  {"Cal", "Calibration"},
                                     {"Lin", "Linearisation"}, {"Capa", "Capacitors test"},
                                     {"Relay", "Relays test"}, {"Spare", "Spare"}};
    for (int i = 0; i < 8; ++i) {
        const QString stem = QLatin1String(groups[i][0]);
        // Each row's frame carries its label's text as its name, which tells
        // its Faild and Pass apart from the other rows'.
        systeme << qMakePair(QStringLiteral("groupBox_3%1").arg(i + 1),
                             QString::fromLatin1(groups[i][1]))
                << qMakePair(i == 0 ? QStringLiteral("label")
                                    : QStringLiteral("label_%1").arg(i + 1),
                             QString::fromLatin1(groups[i][1]))
                << qMakePair(QStringLiteral("ind_%1Faild").arg(stem), QStringLiteral("Faild"))
                << qMakePair(QStringLiteral("ind_%1Pass").arg(stem), QStringLiteral("Pass"));
    }
    systeme << qMakePair(QStringLiteral("ind_nb_MstLabel"), QStringLiteral("Number Of Power ON"))
            << qMakePair(QStringLiteral("detStatus"), QStringLiteral("TEST"));
    QTest::newRow("test system") << formOps<Ui::Systeme>() << "Systeme" << systeme;

    QTest::newRow("measurement") << formOps<Ui::Measurement>() << "Measurement"
                                 << Texts{{"", "Form"},
                                          {"groupBox", "Frequency measurement"},
                                          {"frequencyLabel", "Frequency (Hz)"},
                                          {"tune", "TUNE"},
                                          {"vswr", "VSWR"},
                                          {"tuneResult", "Tune result"},
                                          {"vswrVal", "VSWR value"},
                                          {"ind_Canal", "Channel (max. 255)"},
                                          {"channel", "Channel"},
                                          {"groupBox_2", "Scan VSWR"},
                                          {"freqStartLabel", "Freq. start (Hz)"},
                                          {"freqStopLabel", "Freq. stop (Hz)"},
                                          {"stepFrequencyHzLabel", "Step frequency (Hz)"},
                                          {"start", "START"},
                                          {"ind_Tune_Link", "Associated Tune sequence"},
                                          {"vSWRMinLabel", "VSWR Min"},
                                          {"freqMinLabel", "Freq. Min"}};

    QTest::newRow("factory settings") << formOps<Ui::Memory>() << "Memory"
                                      << Texts{{"", "Form"},
                                               {"groupBox_2", "Linearisation"},
                                               {"freqMinHzLabel", "Freq. Min (Hz)"},
                                               {"freqMaxHzLabel", "Freq. Max (Hz)"},
                                               {"extract_Lin", "EXTRACT LINEARISATION"},
                                               {"progressBar", "Extraction progress"},
                                               {"groupBox", "Parameters"},
                                               {"read_Param", "READ PARAMETERS"},
                                               {"write_Param", "WRITE PARAMETERS"},
                                               {"nbOfPowerONLabel", "Nb of Power ON      "},
                                               {"softwareReferenceLabel", "Software reference"},
                                               {"tOSMinLabel", "TOS Min.                 "},
                                               {"nbOfRelaysLabel", "Nb of relays            "},
                                               {"nbBitForceLabel", "Nb Bit force             "},
                                               {"nbMaxRelaysLabel", "Nb Max. Relays       "},
                                               {"eraseMemPoste", "ERASE MEMORY POSTE"}};

    Texts switching{{"", "Form"}, {"groupBox", "Capacitors switching"}};
    for (int i = 0; i < 14; ++i) {
        switching << qMakePair(QStringLiteral("capa%1").arg(i, 2, 10, QLatin1Char('0')),
                               QStringLiteral("C%1").arg(i).leftJustified(10));
    }
    switching << Texts{{"recovAllOff", "ALL OFF"},
                       {"recovAllOn", "ALL ON"},
                       {"groupBox_2", "Antenna Control"},
                       {"ext0", "EXT OFF"},
                       {"ext1", "EXT 1"},
                       {"ext2", "EXT 2"},
                       {"ext3", "EXT 3"},
                       {"ixit0", "IXIT OFF"},
                       {"ixit1", "IXIT 1"},
                       {"ixit2", "IXIT 2"},
                       {"ixit3", "IXIT 3"},
                       {"groupBox_3", "Antenna mode"},
                       {"modeRx", "RECEPTION"},
                       {"modeTx", "TRANSMISSION"},
                       {"modeTune", "TUNE"},
                       {"groupBox_4", "CU Control"},
                       {"ampliOff", "Detector amplifier OFF"},
                       {"ampliOn", "Detector amplifier ON"},
                       {"sleepSynthe", "SLEEP SYNTHE"},
                       {"runSynthe", "RUN SYNTHE"}};
    QTest::newRow("switching") << formOps<Ui::Switching>() << "Switching" << switching;

    QTest::newRow("coverage") << formOps<Ui::Coverage>() << "Coverage"
                              << Texts{{"", "Form"},
                                       {"freqStartLabel", "Freq. Start"},
                                       {"freqStopLabel", "Freq. Stop"},
                                       {"stepFreqLabel", "Step Freq."},
                                       {"start_Cover", "START"}};
}

// Each text goes through the translation hook once, in its form's context, in
// order, and lands on its widget as written, trailing blanks included; every
// other widget shows no text of its own. A widget without a text of its own
// gets its text as its accessible name.
void tst_PanelForms::texts()
{
    QFETCH(FormOps, ops);
    QFETCH(QString, context);
    QFETCH(Texts, texts);

    QStringList sources;
    for (const auto &text : texts)
        sources << text.second;

    RecordingTranslator translator;
    QVERIFY(QCoreApplication::installTranslator(&translator));
    // Installing asks for the layout direction; that lookup is the toolkit's.
    translator.clear();
    QWidget form;
    ops.setupUi(&form);
    QCOMPARE(translator.sources, sources);
    QCOMPARE(translator.contexts, QStringList(sources.size(), context));
    QVERIFY(!translator.disambiguated);
    translator.clear();
    ops.retranslateUi(&form);
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(translator.sources, sources);
    QCOMPARE(translator.contexts, QStringList(sources.size(), context));
    QVERIFY(!translator.disambiguated);

    QCOMPARE(form.windowTitle(), texts.first().second);
    QStringList named;
    for (const auto &text : texts.mid(1)) {
        auto *widget = form.findChild<QWidget *>(text.first);
        QVERIFY2(widget, qPrintable(text.first));
        const QString shown = textOf(widget);
        QCOMPARE(shown.isEmpty() ? widget->accessibleName() : shown, text.second);
        named << text.first;
    }
    for (const QWidget *widget : form.findChildren<QWidget *>()) {
        if (!named.contains(widget->objectName()) && !qobject_cast<const QLineEdit *>(widget))
            QVERIFY2(textOf(widget).isEmpty(), qPrintable(widget->objectName()));
    }
}

QTEST_MAIN(tst_PanelForms)
#include "tst_panelforms.moc"
