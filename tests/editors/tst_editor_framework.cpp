// The common editor window: its controls show what the turn reports (configuration, INIT mode, firmware,
// status, the outcome of a configuration write), the settings controls hand the user's choices to the turn,
// the settings layout, and closing the window in and out of a turn.

#include "editor_bench.h"

#include "editors/editor_4050.h"
#include "editors/editor_4060.h"
#include "support/recording_tool.h"

using namespace navix;

namespace {
QComboBox &Baudrate(const QWidget *window)
{
    return Find<QComboBox>(window, "Baudrate60ComboBox");
}
} // namespace

class TestEditorFramework : public QObject
{
    Q_OBJECT
private slots:
    void showsConfigurationAndPolling();
    void settingsControls();
    void settingsLayoutWidths();
    void configurationOutcomesShow();
    void initConfigurationHint();
    void outcomeBoxOpensAfterTheTurnsStep();
    void refusedAddressShows();
    void closeInRestPhaseFreesWindow();
    void closeDuringExchangeWaitsForTurnEnd();
};

void TestEditorFramework::showsConfigurationAndPolling()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400640");
    auto *editor = bench.Open<TForm40>(record);
    QVERIFY(editor);
    QCOMPARE(record->EditorObject(), editor);
    QCOMPARE(record->Editor(), static_cast<ModuleEditor *>(&editor->Turn()));

    QCOMPARE(editor->windowTitle(), QString("Navix 720"));
    QCOMPARE(Find<QLineEdit>(editor, "AdresHexEdit").text(), QString("0A (Hex)"));
    QCOMPARE(Find<QSpinBox>(editor, "DecAdrSpinEdit").value(), 10);
    QCOMPARE(Find<QGroupBox>(editor, "GroupBox1").title(), QString("0A (10)"));
    QCOMPARE(Baudrate(editor).currentText(), QString("9600"));
    QCheckBox &checkSum = Find<QCheckBox>(editor, "CheckSumBox");
    QVERIFY(checkSum.isChecked());
    QVERIFY(!Find<QPushButton>(editor, "UpdateSetingButton").isEnabled());
    QGroupBox &settings = Find<QGroupBox>(editor, "GSBox4060");
    QVERIFY(settings.isEnabled());
    QVERIFY(!Baudrate(editor).isEnabled());
    QVERIFY(!checkSum.isEnabled());
    QVERIFY(!Find<QCheckBox>(editor, "ShowSetingsCheckBox").isChecked());
    QVERIFY(settings.isHidden());

    const SimModule &module = bench.Module(record);
    QTRY_COMPARE_WITH_TIMEOUT(Find<QLineEdit>(editor, "FirmWareEdit").text(), FromWire(module.firmware),
                              EditorBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(Find<QGroupBox>(editor, "Box4060").title(), QString(" Communication..."),
                              EditorBench::WaitMs);
}

void TestEditorFramework::settingsControls()
{
    EditorBench bench;
    bench.workspace.port.baud = 4800; // the module's rate
    ModuleRecordPtr record = bench.AddModule("4060", "0A400500", true);
    auto *editor = bench.Open<TForm40>(record);
    EditorTurn &turn = editor->Turn();
    QCOMPARE(editor->windowTitle(), QString("Navix 720 - Init"));
    QVERIFY(Baudrate(editor).isEnabled());
    QCOMPARE(Baudrate(editor).currentText(), QString("4800"));
    Tick(Find<QCheckBox>(editor, "ShowSetingsCheckBox"));

    // Every label names its field for keyboard users and screen readers.
    QSpinBox &address = Find<QSpinBox>(editor, "DecAdrSpinEdit");
    QLineEdit &addressHex = Find<QLineEdit>(editor, "AdresHexEdit");
    QCheckBox &checkSum = Find<QCheckBox>(editor, "CheckSumBox");
    QPushButton &update = Find<QPushButton>(editor, "UpdateSetingButton");
    QCOMPARE(Find<QLabel>(editor, "AdresLabel").buddy(), &address);
    QCOMPARE(Find<QLabel>(editor, "FirmWareLabel").buddy(), &Find<QLineEdit>(editor, "FirmWareEdit"));
    QCOMPARE(Find<QLabel>(editor, "BaudrateLabel").buddy(), &Baudrate(editor));
    QCOMPARE(Find<QLabel>(editor, "CheckSumLabel").buddy(), &checkSum);
    QVERIFY(editor->findChild<QGroupBox *>("DABox4060"));
    QVERIFY(editor->findChild<QLineEdit *>("SynDataEdit")->isHidden());

    address.setValue(27);
    QCOMPARE(addressHex.text(), QString(" 1B (Hex)"));
    QVERIFY(update.isEnabled());
    QCOMPARE(turn.ChosenAddress(), 27);

    // A text that is no item brings back the stored one; an item is taken and enables the update.
    update.setEnabled(false);
    Baudrate(editor).setEditText("12345");
    QCOMPARE(Baudrate(editor).currentText(), QString("4800"));
    QVERIFY(!update.isEnabled());
    QCOMPARE(turn.Setting(EditorTurn::BaudSetting).chosen, 2);
    Baudrate(editor).setCurrentIndex(5);
    QCOMPARE(Baudrate(editor).currentText(), QString("38400"));
    QVERIFY(update.isEnabled());
    QCOMPARE(turn.Setting(EditorTurn::BaudSetting).chosen, 5);

    update.setEnabled(false);
    Tick(checkSum);
    QVERIFY(checkSum.isChecked());
    QVERIFY(update.isEnabled());
    QVERIFY(turn.ChosenChecksum());
    // Set without the mouse, the box still decides what the configuration carries.
    checkSum.setChecked(false);
    QVERIFY(!turn.ChosenChecksum());
    checkSum.setChecked(true);
    QVERIFY(turn.ChosenChecksum());

    // Nothing is sent at the click: the request waits for the editor's turn.
    QVERIFY(!turn.UpdateRequested());
    QTest::mouseClick(&update, Qt::LeftButton);
    QVERIFY(turn.UpdateRequested());

    // The controls show the stored settings again when the turn restores them.
    turn.RestoreSettings();
    QCOMPARE(address.value(), 10);
    QCOMPARE(addressHex.text(), QString("0A (Hex)"));
    QCOMPARE(Baudrate(editor).currentText(), QString("4800"));
    QVERIFY(!checkSum.isChecked());
}

void TestEditorFramework::settingsLayoutWidths()
{
    EditorBench bench;
    auto *editor = bench.Open<TForm30>(bench.AddModule("4050", "0A400600"));
    QVERIFY(QTest::qWaitForWindowExposed(editor));
    const QGroupBox &data = Find<QGroupBox>(editor, "DABox4050");
    const QGroupBox &status = Find<QGroupBox>(editor, "Box4050");
    const QGroupBox &settings = Find<QGroupBox>(editor, "GSBox4050");
    QCheckBox &showSettings = Find<QCheckBox>(editor, "ShowSetingsCheckBox");
    const int dataWidth = data.width();
    QCOMPARE(status.width(), dataWidth + 4);
    QCOMPARE(editor->width(), status.width() + 21);

    Tick(showSettings);
    QVERIFY(settings.isVisible());
    QCOMPARE(status.width(), dataWidth + settings.width() + 5);
    QCOMPARE(editor->width(), status.width() + 22);
    // Both groups lie inside the status box, side by side.
    QVERIFY(status.rect().contains(settings.geometry()));
    QVERIFY(!data.geometry().intersects(settings.geometry()));

    Tick(showSettings);
    QVERIFY(settings.isHidden());
    QCOMPARE(editor->width(), dataWidth + 4 + 21);
}

void TestEditorFramework::configurationOutcomesShow()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600");
    auto *editor = bench.Open<TForm40>(record);
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    QSpinBox &address = Find<QSpinBox>(editor, "DecAdrSpinEdit");
    QLineEdit &addressHex = Find<QLineEdit>(editor, "AdresHexEdit");
    QPushButton &update = Find<QPushButton>(editor, "UpdateSetingButton");

    // Written: the controls show the new configuration.
    address.setValue(11);
    QTest::mouseClick(&update, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              EditorBench::WaitMs);
    QCOMPARE(Find<QGroupBox>(editor, "GroupBox1").title(), QString("0B (11)"));
    QCOMPARE(addressHex.text(), QString("0B (Hex)"));
    QVERIFY(!update.isEnabled());
    QCOMPARE(bench.workspace.hint, QString()); // a module out of INIT moves at once

    // Not answered: the controls show the stored settings again.
    bench.prompt.Clear();
    bench.Module(record).loseAllReplies = true;
    address.setValue(12);
    QTest::mouseClick(&update, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration failed !"},
                              EditorBench::WaitMs);
    QCOMPARE(address.value(), 11);
    QCOMPARE(addressHex.text(), QString("0B (Hex)"));
}

void TestEditorFramework::outcomeBoxOpensAfterTheTurnsStep()
{
    EditorBench bench;
    ModuleRecordPtr first = bench.AddModule("4060", "0A400600");
    ModuleRecordPtr second = bench.AddModule("4060", "0B400600");
    auto *editor = bench.Open<TForm40>(first);
    bench.Open<TForm40>(second);
    QVERIFY(bench.WaitForTurns("$0B6\r"));

    // The box opens from the event loop once the step that wrote the configuration is over: the turn is no
    // longer waiting for that reply, and a box the user leaves open holds up no exchange.
    EditorPhase phaseDuringBox = EditorPhase::ConfigSent;
    bench.prompt.onMessage = [&](const QString &) { phaseDuringBox = editor->Turn().Phase(); };
    Find<QSpinBox>(editor, "DecAdrSpinEdit").setValue(12);
    QTest::mouseClick(&Find<QPushButton>(editor, "UpdateSetingButton"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              EditorBench::WaitMs);
    bench.prompt.onMessage = nullptr;
    QVERIFY(phaseDuringBox != EditorPhase::ConfigSent);
    QVERIFY(bench.WaitForTurns("$0C6\r"));
    QVERIFY(bench.WaitForTurns("$0B6\r"));
}

void TestEditorFramework::initConfigurationHint()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600", true);
    auto *editor = bench.Open<TForm40>(record);
    QVERIFY(bench.WaitForTurns("$006\r"));
    Find<QSpinBox>(editor, "DecAdrSpinEdit").setValue(11);
    QTest::mouseClick(&Find<QPushButton>(editor, "UpdateSetingButton"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              EditorBench::WaitMs);
    // The tree shows the new address, and the technician learns why the module is still found at 00.
    QCOMPARE(bench.workspace.treeItems, QStringList{"*(0B) N720"});
    QCOMPARE(bench.workspace.hint,
             QString("Hint: the module keeps address 00 until it is powered up without INIT"));
}

void TestEditorFramework::refusedAddressShows()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600");
    bench.AddModule("4050", "0B400600");
    auto *editor = bench.Open<TForm40>(record);
    QVERIFY(bench.WaitForTurns("$0A6\r"));

    QSpinBox &address = Find<QSpinBox>(editor, "DecAdrSpinEdit");
    address.setValue(11);
    QTest::mouseClick(&Find<QPushButton>(editor, "UpdateSetingButton"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(),
                              (QStringList{"Invalid address !", "Configuration successful !"}),
                              EditorBench::WaitMs);
    QVERIFY(bench.prompt.messages.first().error);
    QCOMPARE(address.value(), 10);
    QCOMPARE(Find<QLineEdit>(editor, "AdresHexEdit").text(), QString("0A (Hex)"));
}

void TestEditorFramework::closeInRestPhaseFreesWindow()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600");
    record->captions = QStringList{"Pump", "Fan", "Light", "Horn"};
    auto *editor = bench.Open<TForm40>(record);
    QCOMPARE(Find<QLineEdit>(editor, "Edit4").text(), QString("Horn"));
    // The bus is held for a tool, so the editor rests between its turns.
    RecordingTool tool;
    bench.workspace.router.RegisterTool(ToolKind::Terminal, &tool);
    QTRY_VERIFY_WITH_TIMEOUT(bench.workspace.router.RequestBus(ToolKind::Terminal), EditorBench::WaitMs);

    QPointer<TForm40> window = editor;
    Find<QLineEdit>(editor, "Edit2").setText("Blower");
    editor->close();
    QCOMPARE(record->editorState, EditorState::Closed);
    QCOMPARE(record->captions, (QStringList{"Pump", "Blower", "Light", "Horn"}));
    QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), EditorBench::WaitMs);
}

void TestEditorFramework::closeDuringExchangeWaitsForTurnEnd()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600");
    auto *editor = bench.Open<TForm40>(record);
    // The firmware query went out as the cycle started and its reply is still on its way.
    QCOMPARE(editor->Turn().Phase(), EditorPhase::FirmwareAsked);
    QPointer<TForm40> window = editor;
    QSpinBox &address = Find<QSpinBox>(editor, "DecAdrSpinEdit");
    address.setValue(40);
    editor->close();
    QCOMPARE(record->editorState, EditorState::CloseAtTurnEnd);
    QVERIFY(editor->isVisible());
    QCOMPARE(address.value(), 10);

    // The firmware reply and the data read of the turn are still shown; then the window goes.
    QString firmwareShown;
    QObject::connect(&Find<QLineEdit>(editor, "FirmWareEdit"), &QLineEdit::textChanged,
                     [&](const QString &text) { firmwareShown = text; });
    QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), EditorBench::WaitMs);
    QCOMPARE(firmwareShown, FromWire(bench.Module(record).firmware));
    QCOMPARE(record->editorState, EditorState::Closed);
}

QTEST_MAIN(TestEditorFramework)
#include "tst_editor_framework.moc"
