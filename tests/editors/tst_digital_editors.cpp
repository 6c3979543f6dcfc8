// The digital module windows on the simulated bus: the panels and the data field show what the turn
// reports, clicks and typed values reach the turn, the data field takes hexadecimal digits only and keeps
// what the user types, and the display-only 4052 and 4152. The writes the turn makes of them, byte for byte,
// are tst_turn_digital's matter.

#include "editor_bench.h"

#include "editors/editor_4050.h"
#include "editors/editor_4052.h"
#include "editors/editor_4060.h"

#include <QClipboard>
#include <QGuiApplication>

using namespace navix;

namespace {
bool ShowsOne(const OutputPanel *panel)
{
    return panel->text() == "1" && panel->Color() == OutputPanel::OnColor &&
           panel->frameShadow() == QFrame::Sunken;
}
bool ShowsZero(const OutputPanel *panel)
{
    return panel->text() == "0" && panel->Color() == OutputPanel::OffColor &&
           panel->frameShadow() == QFrame::Raised;
}
OutputPanel *Panel(const QWidget *editor, int number)
{
    return &Find<OutputPanel>(editor, "Panel" + QString::number(number));
}
// The panels that show "1", as the bits of a value (Panel k+1 = bit k).
int LitPanels(const QWidget *editor)
{
    int value = 0;
    const QList<OutputPanel *> panels = editor->findChildren<OutputPanel *>();
    for (const OutputPanel *panel : panels) {
        if (ShowsOne(panel))
            value |= 1 << panel->Tag();
        else if (!ShowsZero(panel))
            return -1; // caption, colour and bevel disagree
    }
    return value;
}
void ClickPanel(const QWidget *editor, int number)
{
    QTest::mouseClick(Panel(editor, number), Qt::LeftButton);
}
QLineEdit &DataEdit(const QWidget *editor)
{
    return Find<QLineEdit>(editor, "DataEdit");
}
// The editor's data field with the keyboard focus, as when the user clicks into it.
void FocusDataEdit(QWidget *editor)
{
    editor->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(editor));
    DataEdit(editor).setFocus(Qt::MouseFocusReason);
    QTRY_VERIFY(DataEdit(editor).hasFocus());
}
void LeaveDataEdit(QWidget *editor)
{
    Find<QSpinBox>(editor, "DecAdrSpinEdit").setFocus(Qt::TabFocusReason);
}
OutputTurn &Outputs(ModuleEditorWindow *editor)
{
    return static_cast<OutputTurn &>(editor->Turn());
}
} // namespace

class TestDigitalEditors : public QObject
{
    Q_OBJECT
private slots:
    void panelClickReachesTurn();
    void typedValueReachesTurn();
    void leavingDataEditWritesShownValue();
    void pastedValueObeysTheDigitCount_data();
    void pastedValueObeysTheDigitCount();
    void relayEditorTakesOneDigit();
    void inputEditorShowsInputs();
    void narrowInputEditorHidesChannels();
    void moduleNameKeepsInitMark();
};

void TestDigitalEditors::panelClickReachesTurn()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4050", "0A400600");
    auto *editor = bench.Open<TForm30>(record);
    QCOMPARE(editor->windowTitle(), QString("Navix 730"));
    QCOMPARE(editor->findChildren<OutputPanel *>().size(), 8);
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    QCOMPARE(LitPanels(editor), 0);
    QCOMPARE(DataEdit(editor).text(), QString("00"));

    // Panel 3 is output 2: the turn gets that output switched on.
    ClickPanel(editor, 3);
    QVERIFY(ShowsOne(Panel(editor, 3)));
    QCOMPARE(DataEdit(editor).text(), QString("04"));
    QCOMPARE(Outputs(editor).PendingChange(), 2 + 10 * 1);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Module(record).outputs, quint8(0x04), EditorBench::WaitMs);

    // Reads repaint the panels.
    bench.Module(record).outputs = 0x81;
    QTRY_COMPARE_WITH_TIMEOUT(LitPanels(editor), 0x81, EditorBench::WaitMs);
    QCOMPARE(DataEdit(editor).text(), QString("81"));
}

void TestDigitalEditors::typedValueReachesTurn()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4050", "0A400600");
    auto *editor = bench.Open<TForm30>(record);
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    QLineEdit &data = DataEdit(editor);

    FocusDataEdit(editor);
    QVERIFY(Outputs(editor).DataFocused());
    data.clear();
    // Only hexadecimal digits are taken, two at most.
    QTest::keyClicks(&data, "g-a");
    QCOMPARE(data.text(), QString("a"));
    QTest::keyClick(&data, Qt::Key_Return);
    QCOMPARE(data.text(), QString("0A"));
    QCOMPARE(LitPanels(editor), 0x0A);
    QVERIFY(Outputs(editor).DataFocused());
    QCOMPARE(Outputs(editor).OutputValue(), 0x0A);
    QCOMPARE(Outputs(editor).PendingChange(), OutputTurn::WholeValue);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Module(record).outputs, quint8(0x0A), EditorBench::WaitMs);

    data.selectAll();
    QTest::keyClicks(&data, "c3d");
    QCOMPARE(data.text(), QString("c3"));
    // An empty field takes back the last value typed or clicked.
    data.clear();
    QTest::keyClick(&data, Qt::Key_Enter);
    QCOMPARE(data.text(), QString("0A"));
}

void TestDigitalEditors::leavingDataEditWritesShownValue()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4050", "0A400600");
    bench.Module(record).outputs = 0x3C;
    auto *editor = bench.Open<TForm30>(record);
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    QLineEdit &data = DataEdit(editor);
    QCOMPARE(data.text(), QString("3C"));

    // Entering and leaving without a change still hands the turn what the field shows, and it is written.
    FocusDataEdit(editor);
    LeaveDataEdit(editor);
    QTRY_VERIFY(!Outputs(editor).DataFocused());
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes().size(), 1, EditorBench::WaitMs);

    // While the user types, reads move the panels but leave the text alone.
    FocusDataEdit(editor);
    data.clear();
    QTest::keyClicks(&data, "b");
    bench.Module(record).outputs = 0x81;
    QTRY_COMPARE_WITH_TIMEOUT(LitPanels(editor), 0x81, EditorBench::WaitMs);
    QCOMPARE(data.text(), QString("b"));
    QCOMPARE(bench.Writes().size(), 1);

    // Leaving takes the value and shows the text as typed.
    LeaveDataEdit(editor);
    QTRY_VERIFY(!Outputs(editor).DataFocused());
    QCOMPARE(data.text(), QString("0b"));
    QCOMPARE(LitPanels(editor), 0x0B);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Module(record).outputs, quint8(0x0B), EditorBench::WaitMs);
}

void TestDigitalEditors::pastedValueObeysTheDigitCount_data()
{
    QTest::addColumn<QByteArray>("typeId");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("value");
    QTest::newRow("4050 two digits") << QByteArray("4050") << "A5"
                                     << "A5" << 0xA5;
    QTest::newRow("4050 three digits") << QByteArray("4050") << "A51"
                                       << "03" << 0x03;
    QTest::newRow("4060 two digits") << QByteArray("4060") << "A5"
                                     << "03" << 0x03;
    QTest::newRow("4060 one digit") << QByteArray("4060") << "c"
                                    << "0C" << 0x0C;
    QTest::newRow("4060 as shown") << QByteArray("4060") << "05"
                                   << "05" << 0x05;
}

void TestDigitalEditors::pastedValueObeysTheDigitCount()
{
    QFETCH(QByteArray, typeId);
    QFETCH(QString, pasted);
    QFETCH(QString, shown);
    QFETCH(int, value);

    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule(typeId, "0A400600");
    bench.Module(record).outputs = 0x03;
    auto *editor = bench.Open<OutputEditorWindow>(record);
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    QLineEdit &data = DataEdit(editor);
    QCOMPARE(data.text(), QString("03"));

    // Pasted over the whole field, as from the field's pop-up menu; what the module cannot take is refused.
    FocusDataEdit(editor);
    data.selectAll();
    QGuiApplication::clipboard()->setText(pasted);
    data.paste();
    QTest::keyClick(&data, Qt::Key_Return);
    QCOMPARE(data.text(), shown);
    QCOMPARE(Outputs(editor).OutputValue(), value);
    QCOMPARE(Outputs(editor).PendingChange(), OutputTurn::WholeValue);
}

void TestDigitalEditors::relayEditorTakesOneDigit()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600");
    auto *editor = bench.Open<TForm40>(record);
    QCOMPARE(editor->findChildren<OutputPanel *>().size(), 4);
    QCOMPARE(Find<QLineEdit>(editor, "Edit4").text(), QString("Vystup 4"));
    QVERIFY(bench.WaitForTurns("$0A6\r"));

    ClickPanel(editor, 4);
    QCOMPARE(DataEdit(editor).text(), QString("08"));
    QCOMPARE(Outputs(editor).PendingChange(), 3 + 10 * 1);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Module(record).outputs, quint8(0x08), EditorBench::WaitMs);

    // One digit can be typed.
    FocusDataEdit(editor);
    QLineEdit &data = DataEdit(editor);
    data.clear();
    QTest::keyClicks(&data, "57");
    QCOMPARE(data.text(), QString("5"));
    QTest::keyClick(&data, Qt::Key_Return);
    QCOMPARE(data.text(), QString("05"));
    QCOMPARE(LitPanels(editor), 0x05);
    QCOMPARE(Outputs(editor).OutputValue(), 0x05);
    QCOMPARE(Outputs(editor).PendingChange(), OutputTurn::WholeValue);
}

void TestDigitalEditors::inputEditorShowsInputs()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4052", "0A400600");
    bench.Module(record).inputs = 0xA5;
    auto *editor = bench.Open<TForm20>(record);
    QCOMPARE(editor->windowTitle(), QString("Navix 76x"));
    QVERIFY(editor->findChild<QGroupBox *>("Box4052"));
    QVERIFY(editor->findChild<QComboBox *>("Baudrate52ComboBox"));
    QVERIFY(editor->findChild<QLineEdit *>("SynDataEdit"));
    QVERIFY(DataEdit(editor).isReadOnly());
    QTRY_COMPARE_WITH_TIMEOUT(DataEdit(editor).text(), QString("A5"), EditorBench::WaitMs);
    QCOMPARE(LitPanels(editor), 0xA5);
    for (int number : {1, 3, 6, 8})
        QVERIFY(ShowsOne(Panel(editor, number)));

    // Nothing can be written: a click changes nothing and sends nothing.
    ClickPanel(editor, 2);
    QCOMPARE(LitPanels(editor), 0xA5);
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    QVERIFY(bench.Writes().isEmpty());
}

void TestDigitalEditors::narrowInputEditorHidesChannels()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4152", "0A400600", true);
    record->captions[5] = "Door";
    bench.Module(record).inputs = 0xA5;
    auto *editor = bench.Open<TForm2x>(record);
    QCOMPARE(editor->windowTitle(), QString("Navix 790 - Init"));
    QVERIFY(editor->findChild<QGroupBox *>("Box4x52"));
    QVERIFY(!editor->findChild<QLineEdit *>("SynDataEdit"));
    QVERIFY(Panel(editor, 1)->isVisible());
    QVERIFY(Find<QLineEdit>(editor, "Edit1").isVisible());
    for (int number = 2; number <= 8; ++number) {
        QVERIFY(Panel(editor, number)->isHidden());
        QVERIFY(Find<QLineEdit>(editor, "Edit" + QString::number(number)).isHidden());
    }
    QCOMPARE(Find<QLineEdit>(editor, "Edit6").text(), QString("Door"));
    // The hidden panels follow the reads as well.
    QTRY_COMPARE_WITH_TIMEOUT(DataEdit(editor).text(), QString("A5"), EditorBench::WaitMs);
    QCOMPARE(LitPanels(editor), 0xA5);
}

void TestDigitalEditors::moduleNameKeepsInitMark()
{
    EditorBench bench;
    // Only the type id 4152 names the window; an INIT mark already in the caption stays.
    TForm2x window(bench.workspace);
    window.setWindowTitle("Navix - Init");
    window.Turn().SetModuleName("4152");
    QCOMPARE(window.windowTitle(), QString("Navix 790 - Init"));
    window.setWindowTitle("Navix");
    window.Turn().SetModuleName("4052");
    QCOMPARE(window.windowTitle(), QString("Navix"));
}

QTEST_MAIN(TestDigitalEditors)
#include "tst_digital_editors.moc"
