// The digital module editors on the simulated bus: output panels and typed values of the 4050 and 4060 with
// the writes they cause, the display-only 4052 and 4152, and where the types differ (time-out paths,
// captions).

#include "editor_bench.h"

#include "editors/editor_4050.h"
#include "editors/editor_4052.h"
#include "editors/editor_4060.h"

#include <QClipboard>
#include <QGuiApplication>

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
// The panels that show "1", as the bits of a value (k-th panel = bit k).
int LitPanels(const DigitalEditorWindow *editor)
{
    int value = 0;
    const QList<OutputPanel *> &panels = editor->Panels();
    for (int k = 0; k < panels.size(); ++k) {
        if (ShowsOne(panels[k]))
            value |= 1 << k;
        else if (!ShowsZero(panels[k]))
            return -1; // caption, colour and bevel disagree
    }
    return value;
}
void ClickPanel(DigitalEditorWindow *editor, int number)
{
    QTest::mouseClick(editor->findChild<OutputPanel *>("Panel" + QString::number(number)), Qt::LeftButton);
}
// The editor's data field with the keyboard focus, as when the user clicks into it.
void FocusDataEdit(DigitalEditorWindow *editor)
{
    editor->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(editor));
    editor->DataEdit.setFocus(Qt::MouseFocusReason);
    QTRY_VERIFY(editor->DataEdit.hasFocus());
}
// TimeOutMs at the moment the configuration command goes out.
struct ConfigTimeOutProbe
{
    explicit ConfigTimeOutProbe(TransactionEngine &engine)
    {
        QObject::connect(&engine, &TransactionEngine::CommandWritten, &context,
                         [this, &engine](const QByteArray &command) {
                             if (command.startsWith('%'))
                                 timeOutMs = engine.TimeOutMs();
                         });
    }
    QObject context;
    int timeOutMs = 0;
};
} // namespace

class TestDigitalEditors : public QObject
{
    Q_OBJECT
private slots:
    void outputPanelClickIsWritten();
    void twoClicksInOneTurnWriteWholeValue();
    void typedValueIsWritten();
    void leavingDataEditWritesShownValue();
    void pastedValueObeysTheDigitCount_data();
    void pastedValueObeysTheDigitCount();
    void lostWriteIsNotRepeated();
    void outputConfigurationTimeOutPaths_data();
    void outputConfigurationTimeOutPaths();
    void relayEditor();
    void inputEditorShowsInputs();
    void narrowInputEditorFollowsAllInputs();
    void moduleNameKeepsInitMark();
};

void TestDigitalEditors::outputPanelClickIsWritten()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4050", "0A400600");
    auto *editor = bench.Open<TForm30>(record);
    QCOMPARE(editor->windowTitle(), QString("Navix 730"));
    QCOMPARE(editor->Panels().size(), 8);
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    QCOMPARE(LitPanels(editor), 0);
    QCOMPARE(editor->DataEdit.text(), QString("00"));

    ClickPanel(editor, 3);
    QVERIFY(ShowsOne(editor->Panels()[2]));
    QCOMPARE(editor->DataEdit.text(), QString("04"));
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes(), QList<QByteArray>{"#0A1201\r"}, EditorBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Module(record).outputs, quint8(0x04), EditorBench::WaitMs);
    // The reads that follow agree with the panel.
    QVERIFY(bench.WaitForTurns("$0A6\r", 2));
    QCOMPARE(LitPanels(editor), 0x04);

    ClickPanel(editor, 3);
    QVERIFY(ShowsZero(editor->Panels()[2]));
    QCOMPARE(editor->DataEdit.text(), QString("00"));
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes().size(), 2, EditorBench::WaitMs);
    QCOMPARE(bench.Writes().last(), QByteArray("#0A1200\r"));
    QTRY_COMPARE_WITH_TIMEOUT(bench.Module(record).outputs, quint8(0x00), EditorBench::WaitMs);
}

void TestDigitalEditors::twoClicksInOneTurnWriteWholeValue()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4050", "0A400600");
    bench.Module(record).outputs = 0x80;
    auto *editor = bench.Open<TForm30>(record);
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    QCOMPARE(LitPanels(editor), 0x80);

    // Both clicks land before the editor's next turn.
    editor->PanelClick(editor->Panels()[0]);
    editor->PanelClick(editor->Panels()[2]);
    QCOMPARE(editor->DataEdit.text(), QString("85"));
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes(), QList<QByteArray>{"#0A0085\r"}, EditorBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Module(record).outputs, quint8(LitPanels(editor)), EditorBench::WaitMs);

    // A click after a typed value still writes the whole value the panels show.
    FocusDataEdit(editor);
    editor->DataEdit.clear();
    QTest::keyClicks(&editor->DataEdit, "f0");
    QTest::keyClick(&editor->DataEdit, Qt::Key_Return);
    editor->PanelClick(editor->Panels()[7]);
    QCOMPARE(LitPanels(editor), 0x70);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes().size(), 2, EditorBench::WaitMs);
    QCOMPARE(bench.Writes().last(), QByteArray("#0A0070\r"));
    QTRY_COMPARE_WITH_TIMEOUT(bench.Module(record).outputs, quint8(0x70), EditorBench::WaitMs);
}

void TestDigitalEditors::typedValueIsWritten()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4050", "0A400600");
    auto *editor = bench.Open<TForm30>(record);
    QVERIFY(bench.WaitForTurns("$0A6\r"));

    FocusDataEdit(editor);
    QVERIFY(editor->DataFocused());
    editor->DataEdit.clear();
    // Only hexadecimal digits are taken, two at most.
    QTest::keyClicks(&editor->DataEdit, "g-a");
    QCOMPARE(editor->DataEdit.text(), QString("a"));
    QTest::keyClick(&editor->DataEdit, Qt::Key_Return);
    QCOMPARE(editor->DataEdit.text(), QString("0A"));
    QCOMPARE(LitPanels(editor), 0x0A);
    QVERIFY(editor->DataFocused());
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes(), QList<QByteArray>{"#0A000A\r"}, EditorBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Module(record).outputs, quint8(0x0A), EditorBench::WaitMs);

    editor->DataEdit.selectAll();
    QTest::keyClicks(&editor->DataEdit, "c3d");
    QCOMPARE(editor->DataEdit.text(), QString("c3"));
    // An empty field takes back the last value typed or clicked.
    editor->DataEdit.clear();
    QTest::keyClick(&editor->DataEdit, Qt::Key_Enter);
    QCOMPARE(editor->DataEdit.text(), QString("0A"));
}

void TestDigitalEditors::leavingDataEditWritesShownValue()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4050", "0A400600");
    bench.Module(record).outputs = 0x3C;
    auto *editor = bench.Open<TForm30>(record);
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    QCOMPARE(editor->DataEdit.text(), QString("3C"));

    // Entering and leaving without a change still writes what the field shows.
    FocusDataEdit(editor);
    editor->DecAdrSpinEdit.setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(!editor->DataFocused());
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes(), QList<QByteArray>{"#0A003C\r"}, EditorBench::WaitMs);

    // While the user types, reads move the panels but leave the text alone.
    FocusDataEdit(editor);
    editor->DataEdit.clear();
    QTest::keyClicks(&editor->DataEdit, "b");
    bench.Module(record).outputs = 0x81;
    QTRY_COMPARE_WITH_TIMEOUT(LitPanels(editor), 0x81, EditorBench::WaitMs);
    QCOMPARE(editor->DataEdit.text(), QString("b"));
    QCOMPARE(bench.Writes().size(), 1);

    // Leaving takes the value and shows the text as typed.
    editor->DecAdrSpinEdit.setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(!editor->DataFocused());
    QCOMPARE(editor->DataEdit.text(), QString("0b"));
    QCOMPARE(LitPanels(editor), 0x0B);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes().size(), 2, EditorBench::WaitMs);
    QCOMPARE(bench.Writes().last(), QByteArray("#0A000B\r"));
}

void TestDigitalEditors::pastedValueObeysTheDigitCount_data()
{
    QTest::addColumn<QByteArray>("typeId");
    QTest::addColumn<QString>("pasted");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QByteArray>("write");
    QTest::addColumn<quint8>("outputs");
    QTest::newRow("4050 two digits") << QByteArray("4050") << "A5"
                                     << "A5" << QByteArray("#0A00A5\r") << quint8(0xA5);
    QTest::newRow("4050 three digits") << QByteArray("4050") << "A51"
                                       << "03" << QByteArray("#0A0003\r") << quint8(0x03);
    QTest::newRow("4060 two digits") << QByteArray("4060") << "A5"
                                     << "03" << QByteArray("#0A0003\r") << quint8(0x03);
    QTest::newRow("4060 one digit") << QByteArray("4060") << "c"
                                    << "0C" << QByteArray("#0A000C\r") << quint8(0x0C);
    QTest::newRow("4060 as shown") << QByteArray("4060") << "05"
                                   << "05" << QByteArray("#0A0005\r") << quint8(0x05);
}

void TestDigitalEditors::pastedValueObeysTheDigitCount()
{
    QFETCH(QByteArray, typeId);
    QFETCH(QString, pasted);
    QFETCH(QString, shown);
    QFETCH(QByteArray, write);
    QFETCH(quint8, outputs);

    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule(typeId, "0A400600");
    bench.Module(record).outputs = 0x03;
    auto *editor = bench.Open<OutputEditorWindow>(record);
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    QCOMPARE(editor->DataEdit.text(), QString("03"));

    // Pasted over the whole field, as from the field's pop-up menu; what the module cannot take is refused.
    FocusDataEdit(editor);
    editor->DataEdit.selectAll();
    QGuiApplication::clipboard()->setText(pasted);
    editor->DataEdit.paste();
    QTest::keyClick(&editor->DataEdit, Qt::Key_Return);
    QCOMPARE(editor->DataEdit.text(), shown);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes(), QList<QByteArray>{write}, EditorBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Module(record).outputs, outputs, EditorBench::WaitMs);
}

void TestDigitalEditors::lostWriteIsNotRepeated()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4050", "0A400600");
    auto *editor = bench.Open<TForm30>(record);
    QVERIFY(bench.WaitForTurns("$0A6\r"));

    bench.Module(record).loseAllReplies = true;
    ClickPanel(editor, 2);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes().size(), 1, EditorBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(editor->StatusBox.title(), QString(" Communication Error..."),
                              EditorBench::WaitMs);
    QVERIFY(bench.WaitForTurns("$0A6\r", 2));
    QCOMPARE(bench.Writes(), QList<QByteArray>{"#0A1101\r"});
    QCOMPARE(editor->StatusBox.title(), QString(" Communication Error..."));
    // The panel keeps what the user clicked until a read says otherwise.
    QVERIFY(ShowsOne(editor->Panels()[1]));
    bench.Module(record).loseAllReplies = false;
    QTRY_COMPARE_WITH_TIMEOUT(editor->StatusBox.title(), QString(" Communication..."), EditorBench::WaitMs);
}

void TestDigitalEditors::outputConfigurationTimeOutPaths_data()
{
    QTest::addColumn<QByteArray>("typeId");
    QTest::addColumn<bool>("afterWrite");
    QTest::addColumn<bool>("raised");
    QTest::newRow("4050 after read") << QByteArray("4050") << false << true;
    QTest::newRow("4050 after write") << QByteArray("4050") << true << false;
    QTest::newRow("4060 after read") << QByteArray("4060") << false << false;
    QTest::newRow("4060 after write") << QByteArray("4060") << true << true;
}

void TestDigitalEditors::outputConfigurationTimeOutPaths()
{
    QFETCH(QByteArray, typeId);
    QFETCH(bool, afterWrite);
    QFETCH(bool, raised);
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule(typeId, "0A400600");
    auto *editor = bench.Open<OutputEditorWindow>(record);
    QVERIFY(editor);
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    const int currentMs = EditorBench::ReplyTimeOutMs + 10;
    bench.workspace.engine.SetTimeOutMs(currentMs);
    ConfigTimeOutProbe probe(bench.workspace.engine);

    // Within one turn: a pending output change is written first, then the configuration follows it.
    editor->DecAdrSpinEdit.setValue(0x0D);
    if (afterWrite)
        editor->PanelClick(editor->Panels()[0]);
    editor->UpdateSetingButtonClick();
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              EditorBench::WaitMs);
    QCOMPARE(bench.Writes().size(), afterWrite ? 1 : 0);
    QCOMPARE(probe.timeOutMs, raised ? ModuleEditorWindow::RaisedTimeOutMs : currentMs);
    QCOMPARE(bench.workspace.engine.TimeOutMs(), EditorBench::ReplyTimeOutMs);
    const QString label = typeId == "4050" ? " (0D) N730" : " (0D) N720";
    QCOMPARE(bench.workspace.treeItems, QStringList{label});
    QCOMPARE(record->config, QByteArray("0D400600"));
}

void TestDigitalEditors::relayEditor()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600");
    auto *editor = bench.Open<TForm40>(record);
    QCOMPARE(editor->Panels().size(), 4);
    QCOMPARE(editor->Captions(), (QStringList{"Vystup 1", "Vystup 2", "Vystup 3", "Vystup 4"}));
    QVERIFY(bench.WaitForTurns("$0A6\r"));

    ClickPanel(editor, 4);
    QCOMPARE(editor->DataEdit.text(), QString("08"));
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes(), QList<QByteArray>{"#0A1301\r"}, EditorBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Module(record).outputs, quint8(0x08), EditorBench::WaitMs);

    // One digit can be typed.
    FocusDataEdit(editor);
    editor->DataEdit.clear();
    QTest::keyClicks(&editor->DataEdit, "57");
    QCOMPARE(editor->DataEdit.text(), QString("5"));
    QTest::keyClick(&editor->DataEdit, Qt::Key_Return);
    QCOMPARE(editor->DataEdit.text(), QString("05"));
    QCOMPARE(LitPanels(editor), 0x05);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes().size(), 2, EditorBench::WaitMs);
    QCOMPARE(bench.Writes().last(), QByteArray("#0A0005\r"));
    editor->DecAdrSpinEdit.setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(!editor->DataFocused());

    // A read of all four relays on, with no change pending.
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes().size(), 3, EditorBench::WaitMs);
    bench.Module(record).outputs = 0x0F;
    QTRY_COMPARE_WITH_TIMEOUT(editor->DataEdit.text(), QString("0F"), EditorBench::WaitMs);
    QCOMPARE(LitPanels(editor), 0x0F);
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
    QVERIFY(editor->DataEdit.isReadOnly());
    QTRY_COMPARE_WITH_TIMEOUT(editor->DataEdit.text(), QString("A5"), EditorBench::WaitMs);
    QCOMPARE(LitPanels(editor), 0xA5);
    for (int k : {0, 2, 5, 7})
        QVERIFY(ShowsOne(editor->Panels()[k]));

    // Nothing can be written: a click changes nothing and sends nothing.
    ClickPanel(editor, 2);
    QCOMPARE(LitPanels(editor), 0xA5);
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    QVERIFY(bench.Writes().isEmpty());

    bench.Module(record).inputs = 0x18;
    QTRY_COMPARE_WITH_TIMEOUT(editor->DataEdit.text(), QString("18"), EditorBench::WaitMs);
    QCOMPARE(LitPanels(editor), 0x18);
}

void TestDigitalEditors::narrowInputEditorFollowsAllInputs()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4152", "0A400600", true);
    record->captions[5] = "Door";
    bench.Module(record).inputs = 0xA5;
    auto *editor = bench.Open<TForm2x>(record);
    QCOMPARE(editor->windowTitle(), QString("Navix 790 - Init"));
    QVERIFY(editor->findChild<QGroupBox *>("Box4x52"));
    QVERIFY(!editor->findChild<QLineEdit *>("SynDataEdit"));
    QVERIFY(editor->Panels()[0]->isVisible());
    QVERIFY(editor->ChannelEdits()[0]->isVisible());
    for (int k = 1; k < 8; ++k) {
        QVERIFY(editor->Panels()[k]->isHidden());
        QVERIFY(editor->ChannelEdits()[k]->isHidden());
    }
    QTRY_COMPARE_WITH_TIMEOUT(editor->DataEdit.text(), QString("A5"), EditorBench::WaitMs);
    QCOMPARE(LitPanels(editor), 0xA5);

    editor->DecAdrSpinEdit.setValue(0x0B);
    QTest::mouseClick(&editor->UpdateButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              EditorBench::WaitMs);
    QCOMPARE(bench.CountOf("%000B400600\r"), 1);
    QCOMPARE(bench.workspace.treeItems, QStringList{"*(0B) N790"});
    // All eight names, hidden ones included, go back into the record.
    QCOMPARE(record->captions.size(), 8);
    QCOMPARE(record->captions[5], QString("Door"));
}

void TestDigitalEditors::moduleNameKeepsInitMark()
{
    EditorBench bench;
    // Only the type id 4152 names the window; an INIT mark already in the caption stays.
    TForm2x window(bench.workspace);
    window.setWindowTitle("Navix - Init");
    window.SetModuleName("4152");
    QCOMPARE(window.windowTitle(), QString("Navix 790 - Init"));
    window.SetModuleName("4052");
    QCOMPARE(window.windowTitle(), QString("Navix 790 - Init"));
}

QTEST_MAIN(TestDigitalEditors)
#include "tst_digital_editors.moc"
