// The common editor behaviour, driven through real editor windows on the simulated bus: the poll turn, the
// settings controls, the configuration write with its outcomes, the close handling and the sharing of the
// bus.

#include "editor_bench.h"

#include "editors/editor_4050.h"
#include "editors/editor_4060.h"

#include <QSignalSpy>

namespace {
// A tool window's reply handler: it records what it receives while it holds the bus.
class FakeTool : public ToolReplyHandler
{
public:
    void HandleToolReply(const QByteArray &reply) override { replies.append(reply); }
    QList<QByteArray> replies;
};

QComboBox *Baudrate(ModuleEditorWindow *window)
{
    return &window->BaudrateComboBox;
}

// A click on the box's indicator, as the user ticks it.
void Tick(QCheckBox &box)
{
    QTest::mouseClick(&box, Qt::LeftButton, {}, QPoint(box.height() / 2, box.height() / 2));
}
} // namespace

class TestEditorFramework : public QObject
{
    Q_OBJECT
private slots:
    void showsConfigurationAndPolls();
    void firmwareTimeOutShowsUnknown();
    void settingsControls();
    void settingsLayoutWidths();
    void addressChangeWritesConfiguration();
    void initModeConfiguration();
    void usedAddressIsRefused();
    void configurationTimeOutRestoresSettings();
    void nestedDeliveryIsIgnoredByEditorsOfTheType();
    void closeInRestPhaseFreesWindow();
    void closeDuringExchangeWaitsForTurnEnd();
    void closeDuringConfigurationKeepsWrittenConfiguration();
    void editorsOfDifferentTypesTakeTurns();
    void toolTakesBusAtEndOfTurn();
};

void TestEditorFramework::showsConfigurationAndPolls()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400640");
    auto *editor = bench.Open<TForm40>(record);
    QVERIFY(editor);
    QCOMPARE(record->Editor(), static_cast<ModuleEditor *>(editor));

    QCOMPARE(editor->windowTitle(), QString("Navix 720"));
    QCOMPARE(editor->AdresHexEdit.text(), QString("0A (Hex)"));
    QCOMPARE(editor->DecAdrSpinEdit.value(), 10);
    QCOMPARE(editor->GroupBox1.title(), QString("0A (10)"));
    QCOMPARE(Baudrate(editor)->currentText(), QString("9600"));
    QVERIFY(editor->CheckSumBox.isChecked());
    QVERIFY(editor->StoredChecksum());
    QVERIFY(!editor->UpdateButton.isEnabled());
    QVERIFY(!editor->IsInitMode());
    QVERIFY(editor->SettingBox.isEnabled());
    QVERIFY(!Baudrate(editor)->isEnabled());
    QVERIFY(!editor->CheckSumBox.isEnabled());
    QVERIFY(!editor->ShowSettingsBox.isChecked());
    QVERIFY(editor->SettingBox.isHidden());

    const SimModule &module = bench.Module(record);
    QTRY_COMPARE_WITH_TIMEOUT(editor->FirmWareEdit.text(), FromWire(module.firmware), EditorBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(editor->StatusBox.title(), QString(" Communication..."), EditorBench::WaitMs);
    QVERIFY(bench.WaitForTurns("$0A6" + ComputeChecksum("$0A6") + "\r", 2));
    // The firmware is asked once, at the start of the first turn only.
    QCOMPARE(bench.CountOf("$0AF" + ComputeChecksum("$0AF") + "\r"), 1);
}

void TestEditorFramework::firmwareTimeOutShowsUnknown()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600");
    SimModule &module = bench.Module(record);
    module.loseAllReplies = true;
    auto *editor = bench.Open<TForm40>(record);
    QTRY_COMPARE_WITH_TIMEOUT(editor->FirmWareEdit.text(), QString("Unknow !"), EditorBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(editor->StatusBox.title(), QString(" Communication Error..."),
                              EditorBench::WaitMs);
    // Polling goes on and recovers when the module answers again.
    module.loseAllReplies = false;
    QTRY_COMPARE_WITH_TIMEOUT(editor->StatusBox.title(), QString(" Communication..."), EditorBench::WaitMs);
    QCOMPARE(editor->FirmWareEdit.text(), QString("Unknow !"));
}

void TestEditorFramework::settingsControls()
{
    EditorBench bench;
    bench.workspace.port.baud = 4800; // the module's rate
    ModuleRecordPtr record = bench.AddModule("4060", "0A400500", true);
    auto *editor = bench.Open<TForm40>(record);
    QCOMPARE(editor->windowTitle(), QString("Navix 720 - Init"));
    QVERIFY(editor->IsInitMode());
    QCOMPARE(Baudrate(editor)->currentText(), QString("4800"));
    Tick(editor->ShowSettingsBox);

    // Every label names its field for keyboard users and screen readers.
    QCOMPARE(editor->AdresLabel.buddy(), &editor->DecAdrSpinEdit);
    QCOMPARE(editor->FirmWareLabel.buddy(), &editor->FirmWareEdit);
    QCOMPARE(editor->BaudrateLabel.buddy(), Baudrate(editor));
    QCOMPARE(editor->CheckSumLabel.buddy(), &editor->CheckSumBox);
    QCOMPARE(editor->findChild<QComboBox *>("Baudrate60ComboBox"), Baudrate(editor));
    QVERIFY(editor->findChild<QGroupBox *>("Box4060"));
    QVERIFY(editor->findChild<QGroupBox *>("GSBox4060"));
    QVERIFY(editor->findChild<QGroupBox *>("DABox4060"));
    QVERIFY(editor->findChild<QPushButton *>("UpdateSetingButton"));
    QVERIFY(editor->findChild<QCheckBox *>("ShowSetingsCheckBox"));
    QVERIFY(editor->findChild<QLineEdit *>("SynDataEdit")->isHidden());

    editor->DecAdrSpinEdit.setValue(27);
    QCOMPARE(editor->AdresHexEdit.text(), QString(" 1B (Hex)"));
    QVERIFY(editor->UpdateButton.isEnabled());

    // A text that is no item brings back the stored one; an item is taken and enables the update.
    editor->UpdateButton.setEnabled(false);
    Baudrate(editor)->setEditText("12345");
    QCOMPARE(Baudrate(editor)->currentText(), QString("4800"));
    QVERIFY(!editor->UpdateButton.isEnabled());
    Baudrate(editor)->setCurrentIndex(5);
    QCOMPARE(Baudrate(editor)->currentText(), QString("38400"));
    QVERIFY(editor->UpdateButton.isEnabled());

    editor->UpdateButton.setEnabled(false);
    Tick(editor->CheckSumBox);
    QVERIFY(editor->CheckSumBox.isChecked());
    QVERIFY(editor->UpdateButton.isEnabled());

    // Nothing is sent at the click: the request waits for the editor's turn.
    QVERIFY(!editor->UpdateRequested());
    QTest::mouseClick(&editor->UpdateButton, Qt::LeftButton);
    QVERIFY(editor->UpdateRequested());

    // The stored settings come back whatever the controls show.
    editor->RestoreSettings();
    QCOMPARE(editor->DecAdrSpinEdit.value(), 10);
    QCOMPARE(editor->AdresHexEdit.text(), QString("0A (Hex)"));
    QCOMPARE(Baudrate(editor)->currentText(), QString("4800"));
    QVERIFY(!editor->CheckSumBox.isChecked());
}

void TestEditorFramework::settingsLayoutWidths()
{
    EditorBench bench;
    auto *editor = bench.Open<TForm30>(bench.AddModule("4050", "0A400600"));
    QVERIFY(QTest::qWaitForWindowExposed(editor));
    const int dataWidth = editor->DataAreaBox.width();
    QCOMPARE(editor->StatusBox.width(), dataWidth + 4);
    QCOMPARE(editor->width(), editor->StatusBox.width() + 21);

    Tick(editor->ShowSettingsBox);
    QVERIFY(editor->SettingBox.isVisible());
    QCOMPARE(editor->StatusBox.width(), dataWidth + editor->SettingBox.width() + 5);
    QCOMPARE(editor->width(), editor->StatusBox.width() + 22);
    // Both groups lie inside the status box, side by side.
    QVERIFY(editor->StatusBox.rect().contains(editor->SettingBox.geometry()));
    QVERIFY(!editor->DataAreaBox.geometry().intersects(editor->SettingBox.geometry()));

    Tick(editor->ShowSettingsBox);
    QVERIFY(editor->SettingBox.isHidden());
    QCOMPARE(editor->width(), dataWidth + 4 + 21);
}

void TestEditorFramework::addressChangeWritesConfiguration()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600");
    auto *editor = bench.Open<TForm40>(record);
    QVERIFY(bench.WaitForTurns("$0A6\r"));

    editor->DecAdrSpinEdit.setValue(11);
    QTest::mouseClick(&editor->UpdateButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              EditorBench::WaitMs);
    QCOMPARE(bench.CountOf("%0A0B400600\r"), 1);
    QVERIFY(!bench.prompt.messages.first().error);

    QCOMPARE(record->config, QByteArray("0B400600"));
    QCOMPARE(record->editorState, 1);
    QCOMPARE(bench.workspace.treeItems, QStringList{" (0B) N720"});
    QCOMPARE(editor->StoredAddress(), 11);
    QCOMPARE(editor->GroupBox1.title(), QString("0B (11)"));
    QCOMPARE(editor->AdresHexEdit.text(), QString("0B (Hex)"));
    QVERIFY(!editor->UpdateButton.isEnabled());
    // The module moved, and the editor follows it.
    QCOMPARE(bench.Module(record).address, 11);
    QVERIFY(bench.WaitForTurns("$0B6\r"));
    QCOMPARE(editor->StatusBox.title(), QString(" Communication..."));
}

void TestEditorFramework::initModeConfiguration()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600", true);
    QCOMPARE(bench.workspace.treeItems, QStringList{"*(0A) N720"});
    auto *editor = bench.Open<TForm40>(record);
    QVERIFY(bench.WaitForTurns("$006\r"));
    QCOMPARE(bench.Commands().first(), QByteArray("$00F\r"));

    Tick(editor->ShowSettingsBox);
    editor->DecAdrSpinEdit.setValue(11);
    Baudrate(editor)->setCurrentIndex(Baudrate(editor)->findText("19200"));
    Tick(editor->CheckSumBox);
    QTest::mouseClick(&editor->UpdateButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              EditorBench::WaitMs);
    QCOMPARE(bench.CountOf("%000B400740\r"), 1);

    QCOMPARE(record->config, QByteArray("0B400740"));
    QCOMPARE(bench.workspace.treeItems, QStringList{"*(0B) N720"});
    QVERIFY(editor->StoredChecksum());
    // Still in INIT mode: the module answers at 00 and nothing carries a checksum, now at its new rate only.
    QTRY_COMPARE_WITH_TIMEOUT(editor->StatusBox.title(), QString(" Communication Error..."),
                              EditorBench::WaitMs);
    bench.workspace.SetLineBaud(19200);
    QTRY_COMPARE_WITH_TIMEOUT(editor->StatusBox.title(), QString(" Communication..."), EditorBench::WaitMs);
    const qsizetype before = bench.Commands().size();
    QVERIFY(bench.WaitForTurns("$006\r"));
    for (const QByteArray &command : bench.CommandsAfter(before))
        QCOMPARE(command, QByteArray("$006\r"));
    QCOMPARE(editor->StatusBox.title(), QString(" Communication..."));
}

void TestEditorFramework::usedAddressIsRefused()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600");
    bench.AddModule("4050", "0B400600");
    auto *editor = bench.Open<TForm40>(record);
    QVERIFY(bench.WaitForTurns("$0A6\r"));

    editor->DecAdrSpinEdit.setValue(11);
    QTest::mouseClick(&editor->UpdateButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(),
                              (QStringList{"Invalid address !", "Configuration successful !"}),
                              EditorBench::WaitMs);
    QVERIFY(bench.prompt.messages.first().error);
    QCOMPARE(bench.CountOf("%0A0A400600\r"), 1);
    QCOMPARE(editor->DecAdrSpinEdit.value(), 10);
    QCOMPARE(editor->AdresHexEdit.text(), QString("0A (Hex)"));
    QCOMPARE(record->config, QByteArray("0A400600"));
    QCOMPARE(bench.workspace.treeItems.first(), QString(" (0A) N720"));
}

void TestEditorFramework::configurationTimeOutRestoresSettings()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600", true);
    SimModule &module = bench.Module(record);
    auto *editor = bench.Open<TForm40>(record);
    QVERIFY(bench.WaitForTurns("$006\r"));
    // A time-out differing from the port panel's shows that the panel's value is put back.
    bench.workspace.engine.SetTimeOutMs(EditorBench::ReplyTimeOutMs + 10);

    Tick(editor->ShowSettingsBox);
    editor->DecAdrSpinEdit.setValue(12);
    Baudrate(editor)->setCurrentIndex(0);
    Tick(editor->CheckSumBox);
    module.loseAllReplies = true;
    QTest::mouseClick(&editor->UpdateButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration failed !"},
                              EditorBench::WaitMs);
    QVERIFY(bench.prompt.messages.first().error);
    QCOMPARE(bench.CountOf("%000C400340\r"), 1);

    QCOMPARE(editor->DecAdrSpinEdit.value(), 10);
    QCOMPARE(editor->AdresHexEdit.text(), QString("0A (Hex)"));
    QCOMPARE(Baudrate(editor)->currentText(), QString("9600"));
    QVERIFY(!editor->CheckSumBox.isChecked());
    QCOMPARE(record->config, QByteArray("0A400600"));
    QCOMPARE(bench.workspace.engine.TimeOutMs(), EditorBench::ReplyTimeOutMs);
    // Polling goes on.
    module.loseAllReplies = false;
    QVERIFY(bench.WaitForTurns("$006\r"));
}

void TestEditorFramework::nestedDeliveryIsIgnoredByEditorsOfTheType()
{
    EditorBench bench;
    ModuleRecordPtr first = bench.AddModule("4060", "0A400600");
    ModuleRecordPtr second = bench.AddModule("4060", "0B400600");
    auto *editor = bench.Open<TForm40>(first);
    auto *other = bench.Open<TForm40>(second);
    QVERIFY(bench.WaitForTurns("$0B6\r"));

    // While the message box of the first editor is open, the event loop runs and may deliver again.
    bool nestedTurnOver = true;
    bool otherTurnOver = true;
    EditorPhase phaseDuringBox = EditorPhase::Start;
    qsizetype commandsDuringBox = 0;
    bench.prompt.onMessage = [&](const QString &) {
        commandsDuringBox = bench.Commands().size();
        phaseDuringBox = editor->Phase();
        nestedTurnOver = editor->HandleReply("!0B\r");
        otherTurnOver = other->HandleReply(QByteArray());
        commandsDuringBox = bench.Commands().size() - commandsDuringBox;
    };
    editor->DecAdrSpinEdit.setValue(12);
    QTest::mouseClick(&editor->UpdateButton, Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              EditorBench::WaitMs);
    bench.prompt.onMessage = nullptr;
    QVERIFY(!nestedTurnOver);
    QVERIFY(!otherTurnOver);
    QCOMPARE(phaseDuringBox, EditorPhase::ConfigSent);
    QCOMPARE(commandsDuringBox, 0);
    // Once the box is closed both go on polling.
    QVERIFY(bench.WaitForTurns("$0C6\r"));
    QVERIFY(bench.WaitForTurns("$0B6\r"));
}

void TestEditorFramework::closeInRestPhaseFreesWindow()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600");
    record->captions = QStringList{"Pump", "Fan", "Light", "Horn"};
    auto *editor = bench.Open<TForm40>(record);
    QCOMPARE(editor->Captions(), record->captions);
    // The engine holds the bus for a tool, so the editor rests between its turns.
    FakeTool tool;
    bench.workspace.router.RegisterTool(ToolKind::Terminal, &tool);
    QTRY_VERIFY_WITH_TIMEOUT(bench.workspace.router.RequestBus(ToolKind::Terminal), EditorBench::WaitMs);
    QCOMPARE(editor->Phase(), EditorPhase::Idle);

    QPointer<TForm40> window = editor;
    editor->findChild<QLineEdit *>("Edit2")->setText("Blower");
    editor->DecAdrSpinEdit.setValue(40); // not written: the record keeps the stored address
    editor->close();
    QCOMPARE(record->editorState, 0);
    QCOMPARE(record->config, QByteArray("0A400600"));
    QCOMPARE(record->captions, (QStringList{"Pump", "Blower", "Light", "Horn"}));
    QVERIFY(!record->Editor());
    QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), EditorBench::WaitMs);
    bench.workspace.router.ReleaseBus();
    QCOMPARE(bench.workspace.router.State(), RouterState::Idle);
}

void TestEditorFramework::closeDuringExchangeWaitsForTurnEnd()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600");
    auto *editor = bench.Open<TForm40>(record);
    // The firmware query went out as the cycle started and its reply is still on its way.
    QCOMPARE(editor->Phase(), EditorPhase::FirmwareAsked);
    QPointer<TForm40> window = editor;
    editor->DecAdrSpinEdit.setValue(40);
    editor->close();
    QCOMPARE(record->editorState, 2);
    QVERIFY(editor->isVisible());
    QCOMPARE(editor->DecAdrSpinEdit.value(), 10);

    // The firmware reply and the data read of the turn are still handled; then the window goes.
    QString firmwareShown;
    QObject::connect(&editor->FirmWareEdit, &QLineEdit::textChanged,
                     [&](const QString &text) { firmwareShown = text; });
    QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), EditorBench::WaitMs);
    QCOMPARE(firmwareShown, FromWire(bench.Module(record).firmware));
    QCOMPARE(bench.Commands(), (QList<QByteArray>{"$0AF\r", "$0A6\r"}));
    QCOMPARE(record->editorState, 0);
    QCOMPARE(record->config, QByteArray("0A400600"));
    QVERIFY(!record->Editor());
    QCOMPARE(bench.workspace.router.State(), RouterState::Idle);
    // A late delivery finds no window to reach.
    bench.workspace.router.DeliverReply("!0A0000\r");
}

void TestEditorFramework::closeDuringConfigurationKeepsWrittenConfiguration()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600");
    auto *editor = bench.Open<TForm40>(record);
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    QPointer<TForm40> window = editor;

    // The user closes the window while the module is taking its new address.
    QObject::connect(&bench.workspace.engine, &TransactionEngine::CommandWritten, editor,
                     [editor](const QByteArray &command) {
                         if (command.startsWith('%'))
                             editor->close();
                     });
    editor->DecAdrSpinEdit.setValue(11);
    QTest::mouseClick(&editor->UpdateButton, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(window.isNull(), EditorBench::WaitMs);
    QCOMPARE(bench.CountOf("%0A0B400600\r"), 1);
    QCOMPARE(bench.prompt.Texts(), QStringList{"Configuration successful !"});
    // Record and tree describe the module as it now is.
    QCOMPARE(bench.Module(record).address, 11);
    QCOMPARE(record->config, QByteArray("0B400600"));
    QCOMPARE(record->editorState, 0);
    QCOMPARE(bench.workspace.treeItems, QStringList{" (0B) N720"});
}

void TestEditorFramework::editorsOfDifferentTypesTakeTurns()
{
    EditorBench bench;
    auto *relays = bench.Open<TForm40>(bench.AddModule("4060", "0B400600"));
    auto *outputs = bench.Open<TForm30>(bench.AddModule("4050", "0A400600"));
    QVERIFY(bench.WaitForTurns("$0A6\r", 3));
    QVERIFY(bench.WaitForTurns("$0B6\r", 3));
    QCOMPARE(relays->StatusBox.title(), QString(" Communication..."));
    QCOMPARE(outputs->StatusBox.title(), QString(" Communication..."));

    // Once both have read their firmware, each pass serves the 4050 and then the 4060, one turn each.
    QList<QByteArray> queries;
    for (const QByteArray &command : bench.Commands())
        if (command == "$0A6\r" || command == "$0B6\r")
            queries.append(command);
    const qsizetype start = queries.indexOf("$0A6\r");
    QVERIFY(start >= 0);
    for (qsizetype i = start; i < queries.size(); ++i)
        QCOMPARE(queries[i], (i - start) % 2 == 0 ? QByteArray("$0A6\r") : QByteArray("$0B6\r"));
}

void TestEditorFramework::toolTakesBusAtEndOfTurn()
{
    EditorBench bench;
    ModuleRecordPtr record = bench.AddModule("4050", "0A400600");
    auto *editor = bench.Open<TForm30>(record);
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    FakeTool tool;
    TransactionEngine &engine = bench.workspace.engine;
    BusRouter &router = bench.workspace.router;
    router.RegisterTool(ToolKind::Terminal, &tool);

    // The terminal asks from its timer until the running turn has ended.
    QTRY_VERIFY_WITH_TIMEOUT(router.RequestBus(ToolKind::Terminal), EditorBench::WaitMs);
    QCOMPARE(editor->Phase(), EditorPhase::Idle);
    QCOMPARE(router.State(), RouterState::ToolHolds);
    const qsizetype held = bench.Commands().size();

    engine.SendCommand({.command = "$0AF\r",
                        .checksum = false,
                        .receiveMode = ReceiveMode::CheckedFrame,
                        .startChar = '!',
                        .endChar = CR,
                        .expectedLength = 8});
    QTRY_COMPARE_WITH_TIMEOUT(tool.replies.size(), 1, EditorBench::WaitMs);
    QCOMPARE(tool.replies.first(), "!0A" + bench.Module(record).firmware + "\r");
    QCOMPARE(bench.CommandsAfter(held), QList<QByteArray>{"$0AF\r"});

    // Given back, the bus returns to the editor, which goes on with its data reads.
    router.ReleaseBus();
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    QCOMPARE(tool.replies.size(), 1);
}

QTEST_MAIN(TestEditorFramework)
#include "tst_editor_framework.moc"
