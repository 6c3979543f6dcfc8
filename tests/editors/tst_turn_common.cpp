// The common poll turn, driven without any window on the simulated bus: firmware and data reads, the settings
// the user chooses, the configuration write with its outcomes, the reply time-out raised for the writes and
// calibrations of every kind and set back after them, closing during a turn, the re-entrancy guard and the
// sharing of the bus.

#include "turn_bench.h"

#include "editors/digital_turns.h"
#include "editors/turn_4021.h"
#include "support/recording_tool.h"

#include <QSignalSpy>

#include <functional>

using namespace navix;

namespace {
OutputTurn &OpenRelays(TurnBench &bench, const ModuleRecordPtr &record)
{
    return bench.OpenTurn<OutputTurn>(record);
}

// The time-out a command keeps: it goes out with whatever the engine had before.
constexpr int Kept = -1;

// What a user asks of an editor, the command it sends for it, and the time-out that command waits.
struct TimeOutRow
{
    const char *name;
    const char *type; // "20": a Tvr 5x at 10..12
    const char *config;
    std::function<void(EditorTurn &)> ask;
    QByteArray command;
    int waitsMs;
    bool answered = true;
};

std::function<void(EditorTurn &)> Configure(bool afterWrite = false)
{
    return [afterWrite](EditorTurn &turn) {
        turn.ChooseAddress(0x0B);
        if (afterWrite)
            dynamic_cast<OutputTurn &>(turn).ClickChannel(0);
        turn.RequestUpdate();
    };
}
std::function<void(EditorTurn &)> Calibrate(CalibrationCode code)
{
    return [code](EditorTurn &turn) { turn.RequestCalibration(code); };
}

QList<TimeOutRow> TimeOutRows()
{
    constexpr int Raised = EditorTurn::RaisedTimeOutMs;
    // The digital outputs raise it for the configuration that follows their slower step: the 4050's read, the
    // 4060's write.
    return {
        {"4050 configuration after a read", "4050", "0A400600", Configure(), "%0A0B400600\r", Raised},
        {"4050 configuration after a write", "4050", "0A400600", Configure(true), "%0A0B400600\r", Kept},
        {"4060 configuration after a read", "4060", "0A400600", Configure(), "%0A0B400600\r", Kept},
        {"4060 configuration after a write", "4060", "0A400600", Configure(true), "%0A0B400600\r", Raised},
        {"4060 configuration unanswered", "4060", "0A400600", Configure(), "%0A0B400600\r", Kept, false},
        {"4013 configuration", "4013", "0A200600", Configure(), "%0A0B200600\r", Raised},
        {"4013 span", "4013", "0A200600", Calibrate(CalibrationCode::Span), "$0A0\r", Raised},
        {"Tvr 5x stack span", "20", "10200602", Calibrate(CalibrationCode::StackSpan), "$110\r", Raised},
        {"Tvr 5x offset unanswered", "20", "10200602", Calibrate(CalibrationCode::Offset), "$101\r", Raised,
         false},
        {"4313 configuration", "4313", "0A200600", Configure(), "%0A0B200600\r", Raised},
        {"4413 offset", "4413", "0A200600", Calibrate(CalibrationCode::Offset), "$0A1\r", Raised},
        {"4017 configuration", "4017", "0A0D0600", Configure(), "%0A0B0D0600\r", Raised},
        {"4017 span", "4017", "0A0D0600", Calibrate(CalibrationCode::Span), "$0A0\r", Raised},
        {"4017 zero", "4017", "0A0D0600", Calibrate(CalibrationCode::Zero), "$0A1\r", Raised},
        {"4021 configuration", "4021", "0A310600", Configure(), "%0A0B310600\r", Raised},
        {"4021 4 mA", "4021", "0A310600", Calibrate(CalibrationCode::FourMilliamps), "$0A0\r", Raised},
        {"4021 20 mA", "4021", "0A310600", Calibrate(CalibrationCode::TwentyMilliamps), "$0A1\r", Raised},
        {"4021 4 mA unanswered", "4021", "0A310600", Calibrate(CalibrationCode::FourMilliamps), "$0A0\r",
         Raised, false},
        {"4021 trim", "4021", "0A310600", [](EditorTurn &turn) { turn.RequestTrim(0xFF); }, "$0A3FF\r",
         Raised},
    };
}
} // namespace

class TestTurnCommon : public QObject
{
    Q_OBJECT
private slots:
    void configurationAndPolling();
    void firmwareTimeOutShowsUnknown();
    void chosenSettingsAndRestore();
    void addressChangeWritesConfiguration();
    void initModeConfiguration();
    void usedAddressIsRefused();
    void configurationTimeOutRestoresSettings();
    void raisedTimeOutIsSetBack_data();
    void raisedTimeOutIsSetBack();
    void closeInRestPhase();
    void closeDuringExchangeWaitsForTurnEnd();
    void closeDuringConfigurationKeepsWrittenConfiguration();
    void turnsOfDifferentTypesTakeTurns();
    void toolTakesBusAtEndOfTurn();
};

void TestTurnCommon::configurationAndPolling()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400640");
    OutputTurn &turn = OpenRelays(bench, record);
    QCOMPARE(record->Editor(), static_cast<ModuleEditor *>(&turn));
    TurnView view(turn);

    QCOMPARE(turn.StoredAddress(), 10);
    QCOMPARE(turn.ConfigAddressText(), QByteArray("0A"));
    QCOMPARE(turn.Setting(EditorTurn::BaudSetting).stored, 3); // 9600
    QVERIFY(turn.StoredChecksum());
    QVERIFY(turn.ChecksumFlag());
    QVERIFY(!turn.IsInitMode());
    QCOMPARE(turn.AddressText(), QByteArray("0A"));

    const SimModule &module = bench.Module(record);
    QTRY_COMPARE_WITH_TIMEOUT(view.firmware, FromWire(module.firmware), TurnBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(view.status, EditorTurn::CommunicationText, TurnBench::WaitMs);
    QVERIFY(bench.WaitForTurns("$0A6" + ComputeChecksum("$0A6") + "\r", 2));
    // The firmware is asked once, at the start of the first turn only.
    QCOMPARE(bench.CountOf("$0AF" + ComputeChecksum("$0AF") + "\r"), 1);
}

void TestTurnCommon::firmwareTimeOutShowsUnknown()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600");
    SimModule &module = bench.Module(record);
    module.loseAllReplies = true;
    OutputTurn &turn = OpenRelays(bench, record);
    TurnView view(turn);
    QTRY_COMPARE_WITH_TIMEOUT(view.firmware, QString("Unknow !"), TurnBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(view.status, QString(" Communication Error..."), TurnBench::WaitMs);
    // Polling goes on and recovers when the module answers again.
    module.loseAllReplies = false;
    QTRY_COMPARE_WITH_TIMEOUT(view.status, QString(" Communication..."), TurnBench::WaitMs);
    QCOMPARE(view.firmware, QString("Unknow !"));
}

void TestTurnCommon::chosenSettingsAndRestore()
{
    TurnBench bench;
    bench.workspace.port.baud = 4800; // the module's rate
    ModuleRecordPtr record = bench.AddModule("4060", "0A400500", true);
    OutputTurn &turn = OpenRelays(bench, record);
    QVERIFY(turn.IsInitMode());
    QCOMPARE(turn.AddressText(), QByteArray("00"));
    QVERIFY(!turn.ChecksumFlag());
    QCOMPARE(turn.Setting(EditorTurn::BaudSetting).stored, 2); // 4800

    turn.ChooseAddress(27);
    turn.ChooseSetting(EditorTurn::BaudSetting, 5);
    turn.ChooseChecksum(true);
    QCOMPARE(turn.ChosenAddress(), 27);
    QCOMPARE(turn.Setting(EditorTurn::BaudSetting).chosen, 5);
    // In INIT mode no command carries a checksum, whatever is chosen.
    QVERIFY(!turn.ChecksumFlag());
    // A text that is no item brings the stored one back.
    turn.ChooseSetting(EditorTurn::BaudSetting, -1);
    QCOMPARE(turn.Setting(EditorTurn::BaudSetting).chosen, 2);
    turn.ChooseSetting(EditorTurn::BaudSetting, 5);

    // Nothing is sent at the request: it waits for the editor's turn.
    QVERIFY(!turn.UpdateRequested());
    turn.RequestUpdate();
    QVERIFY(turn.UpdateRequested());

    // The stored settings come back whatever was chosen.
    QSignalSpy restored(&turn, &EditorTurn::SettingsRestored);
    turn.RestoreSettings();
    QCOMPARE(restored.size(), 1);
    QCOMPARE(turn.ChosenAddress(), 10);
    QCOMPARE(turn.Setting(EditorTurn::BaudSetting).chosen, 2);
    QVERIFY(!turn.ChosenChecksum());
    QCOMPARE(turn.ComposeConfig(), QByteArray("000A400500"));
}

void TestTurnCommon::addressChangeWritesConfiguration()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600");
    OutputTurn &turn = OpenRelays(bench, record);
    QSignalSpy shown(&turn, &EditorTurn::ConfigShown);
    QSignalSpy started(&turn, &EditorTurn::UpdateStarted);
    QVERIFY(bench.WaitForTurns("$0A6\r"));

    turn.ChooseAddress(11);
    turn.RequestUpdate();
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              TurnBench::WaitMs);
    QCOMPARE(bench.CountOf("%0A0B400600\r"), 1);
    QVERIFY(!bench.prompt.messages.first().error);
    QCOMPARE(started.size(), 1);
    QCOMPARE(shown.size(), 1);

    QCOMPARE(record->config, QByteArray("0B400600"));
    QCOMPARE(record->editorState, EditorState::Open);
    QCOMPARE(bench.workspace.treeItems, QStringList{" (0B) N720"});
    QCOMPARE(turn.StoredAddress(), 11);
    QCOMPARE(turn.ConfigAddressText(), QByteArray("0B"));
    QVERIFY(!turn.UpdateRequested());
    // The module moved, and the turn follows it.
    QCOMPARE(bench.Module(record).address, 11);
    QVERIFY(bench.WaitForTurns("$0B6\r"));
}

void TestTurnCommon::initModeConfiguration()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600", true);
    QCOMPARE(bench.workspace.treeItems, QStringList{"*(0A) N720"});
    OutputTurn &turn = OpenRelays(bench, record);
    QVERIFY(bench.WaitForTurns("$006\r"));
    QCOMPARE(bench.Commands().first(), QByteArray("$00F\r"));

    turn.ChooseAddress(11);
    turn.ChooseSetting(EditorTurn::BaudSetting, EditorTurn::BaudrateItems.indexOf("19200"));
    turn.ChooseChecksum(true);
    turn.RequestUpdate();
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              TurnBench::WaitMs);
    QCOMPARE(bench.CountOf("%000B400740\r"), 1);

    QCOMPARE(record->config, QByteArray("0B400740"));
    QCOMPARE(bench.workspace.treeItems, QStringList{"*(0B) N720"});
    QVERIFY(turn.StoredChecksum());
    // Still in INIT mode: the module answers at 00 and nothing carries a checksum, now at its new rate only.
    QString status;
    QObject::connect(&turn, &EditorTurn::StatusShown, &turn,
                     [&status](const QString &caption) { status = caption; });
    QTRY_COMPARE_WITH_TIMEOUT(status, EditorTurn::CommunicationErrorText, TurnBench::WaitMs);
    bench.workspace.SetLineBaud(19200);
    QTRY_COMPARE_WITH_TIMEOUT(status, EditorTurn::CommunicationText, TurnBench::WaitMs);
    const qsizetype before = bench.Commands().size();
    QVERIFY(bench.WaitForTurns("$006\r"));
    for (const QByteArray &command : bench.CommandsAfter(before))
        QCOMPARE(command, QByteArray("$006\r"));
    QCOMPARE(status, EditorTurn::CommunicationText);
}

void TestTurnCommon::usedAddressIsRefused()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600");
    bench.AddModule("4050", "0B400600");
    OutputTurn &turn = OpenRelays(bench, record);
    QSignalSpy refused(&turn, &EditorTurn::AddressRefused);
    QVERIFY(bench.WaitForTurns("$0A6\r"));

    turn.ChooseAddress(11);
    turn.RequestUpdate();
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(),
                              (QStringList{"Invalid address !", "Configuration successful !"}),
                              TurnBench::WaitMs);
    QVERIFY(bench.prompt.messages.first().error);
    QCOMPARE(refused.size(), 1);
    QCOMPARE(bench.CountOf("%0A0A400600\r"), 1);
    QCOMPARE(turn.ChosenAddress(), 10);
    QCOMPARE(record->config, QByteArray("0A400600"));
    QCOMPARE(bench.workspace.treeItems.first(), QString(" (0A) N720"));
}

void TestTurnCommon::configurationTimeOutRestoresSettings()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600", true);
    SimModule &module = bench.Module(record);
    OutputTurn &turn = OpenRelays(bench, record);
    QVERIFY(bench.WaitForTurns("$006\r"));

    turn.ChooseAddress(12);
    turn.ChooseSetting(EditorTurn::BaudSetting, 0);
    turn.ChooseChecksum(true);
    module.loseAllReplies = true;
    turn.RequestUpdate();
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration failed !"}, TurnBench::WaitMs);
    QVERIFY(bench.prompt.messages.first().error);
    QCOMPARE(bench.CountOf("%000C400340\r"), 1);

    QCOMPARE(turn.ChosenAddress(), 10);
    QCOMPARE(turn.Setting(EditorTurn::BaudSetting).chosen, 3);
    QVERIFY(!turn.ChosenChecksum());
    QCOMPARE(record->config, QByteArray("0A400600"));
    // Polling goes on.
    module.loseAllReplies = false;
    QVERIFY(bench.WaitForTurns("$006\r"));
}

void TestTurnCommon::raisedTimeOutIsSetBack_data()
{
    QTest::addColumn<int>("row");
    const QList<TimeOutRow> rows = TimeOutRows();
    for (int row = 0; row < rows.size(); ++row)
        QTest::newRow(rows[row].name) << row;
}

void TestTurnCommon::raisedTimeOutIsSetBack()
{
    QFETCH(int, row);
    const TimeOutRow timeOutRow = TimeOutRows().at(row);
    const bool tvr = QByteArray(timeOutRow.type) == "20";
    TurnBench bench;
    const ModuleRecordPtr record = bench.AddModule(tvr ? "4013" : timeOutRow.type, timeOutRow.config);
    SimModule &module = bench.Module(record);
    module.tvr = tvr;
    WrittenCommands written(bench.workspace.engine);
    EditorTurn &turn = bench.OpenTurn<EditorTurn>(record);
    QVERIFY(QTest::qWaitFor([&] { return bench.Commands().size() >= 12; }, TurnBench::WaitMs));
    // A time-out other than the port panel's shows which of the two the turn puts back.
    const int beforeMs = TurnBench::ReplyTimeOutMs + 10;
    bench.workspace.engine.SetTimeOutMs(beforeMs);

    timeOutRow.ask(turn);
    // Every reply not yet on its way is lost, the one to the command among them.
    module.loseAllReplies = !timeOutRow.answered;
    QTRY_VERIFY_WITH_TIMEOUT(!bench.prompt.Texts().isEmpty(), EditorTurn::RaisedTimeOutMs + TurnBench::WaitMs);
    QCOMPARE(bench.prompt.messages.first().error, !timeOutRow.answered);
    QCOMPARE(written.TimeOutOf(timeOutRow.command), timeOutRow.waitsMs == Kept ? beforeMs : timeOutRow.waitsMs);
    QCOMPARE(bench.workspace.engine.TimeOutMs(), TurnBench::ReplyTimeOutMs);
    QCOMPARE(bench.workspace.engine.ReplyWaitMs(), TurnBench::ReplyTimeOutMs);
}

void TestTurnCommon::closeInRestPhase()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600");
    record->captions = QStringList{"Pump", "Fan", "Light", "Horn"};
    OutputTurn &turn = OpenRelays(bench, record);
    QCOMPARE(turn.Captions(), record->captions);
    // The engine holds the bus for a tool, so the turn rests between its turns.
    RecordingTool tool;
    bench.workspace.router.RegisterTool(ToolKind::Terminal, &tool);
    QTRY_VERIFY_WITH_TIMEOUT(bench.workspace.router.RequestBus(ToolKind::Terminal), TurnBench::WaitMs);
    QCOMPARE(turn.Phase(), EditorPhase::Idle);

    turn.SetCaption(1, "Blower");
    turn.ChooseAddress(40); // not written: the record keeps the stored address
    QVERIFY(turn.Close());
    QCOMPARE(turn.ChosenAddress(), 10);
    QCOMPARE(record->editorState, EditorState::Closed);
    QCOMPARE(record->config, QByteArray("0A400600"));
    QCOMPARE(record->captions, (QStringList{"Pump", "Blower", "Light", "Horn"}));
    QVERIFY(!record->Editor());
    bench.workspace.router.ReleaseBus();
    QCOMPARE(bench.workspace.router.State(), RouterState::Idle);
}

void TestTurnCommon::closeDuringExchangeWaitsForTurnEnd()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600");
    OutputTurn &turn = OpenRelays(bench, record);
    TurnView view(turn);
    // The firmware query went out as the cycle started and its reply is still on its way.
    QCOMPARE(turn.Phase(), EditorPhase::FirmwareAsked);
    turn.ChooseAddress(40);
    QVERIFY(!turn.Close());
    QCOMPARE(record->editorState, EditorState::CloseAtTurnEnd);
    QCOMPARE(turn.ChosenAddress(), 10);

    // The firmware reply and the data read of the turn are still handled; then the turn asks for the close.
    QTRY_COMPARE_WITH_TIMEOUT(view.closeRequests, 1, TurnBench::WaitMs);
    QCOMPARE(view.firmware, FromWire(bench.Module(record).firmware));
    QCOMPARE(bench.Commands(), (QList<QByteArray>{"$0AF\r", "$0A6\r"}));
    QCOMPARE(record->editorState, EditorState::Closed);
    QCOMPARE(record->config, QByteArray("0A400600"));
    QVERIFY(!record->Editor());
    QCOMPARE(bench.workspace.router.State(), RouterState::Idle);
    // A late delivery finds no turn to reach, and starts no cycle.
    bench.workspace.router.DeliverReply("!0A0000\r");
    QCOMPARE(bench.Commands().size(), 2);
    QCOMPARE(bench.workspace.router.State(), RouterState::Idle);
    QCOMPARE(record->editorState, EditorState::Closed);
}

void TestTurnCommon::closeDuringConfigurationKeepsWrittenConfiguration()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600");
    OutputTurn &turn = OpenRelays(bench, record);
    TurnView view(turn);
    QVERIFY(bench.WaitForTurns("$0A6\r"));

    // The user closes the window while the module is taking its new address.
    bool closedNow = true;
    QObject::connect(&bench.workspace.engine, &TransactionEngine::CommandWritten, &turn,
                     [&](const QByteArray &command) {
                         if (command.startsWith('%'))
                             closedNow = turn.Close();
                     });
    turn.ChooseAddress(11);
    turn.RequestUpdate();
    QTRY_COMPARE_WITH_TIMEOUT(view.closeRequests, 1, TurnBench::WaitMs);
    QVERIFY(!closedNow);
    QCOMPARE(bench.CountOf("%0A0B400600\r"), 1);
    QCOMPARE(bench.prompt.Texts(), QStringList{"Configuration successful !"});
    // Record and tree describe the module as it now is.
    QCOMPARE(bench.Module(record).address, 11);
    QCOMPARE(record->config, QByteArray("0B400600"));
    QCOMPARE(record->editorState, EditorState::Closed);
    QCOMPARE(bench.workspace.treeItems, QStringList{" (0B) N720"});
}

void TestTurnCommon::turnsOfDifferentTypesTakeTurns()
{
    TurnBench bench;
    OutputTurn &relays = OpenRelays(bench, bench.AddModule("4060", "0B400600"));
    OutputTurn &outputs = bench.OpenTurn<OutputTurn>(bench.AddModule("4050", "0A400600"));
    TurnView relaysView(relays);
    TurnView outputsView(outputs);
    QVERIFY(bench.WaitForTurns("$0A6\r", 3));
    QVERIFY(bench.WaitForTurns("$0B6\r", 3));
    QCOMPARE(relaysView.status, QString(" Communication..."));
    QCOMPARE(outputsView.status, QString(" Communication..."));

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

void TestTurnCommon::toolTakesBusAtEndOfTurn()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4050", "0A400600");
    OutputTurn &turn = bench.OpenTurn<OutputTurn>(record);
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    RecordingTool tool;
    TransactionEngine &engine = bench.workspace.engine;
    BusRouter &router = bench.workspace.router;
    router.RegisterTool(ToolKind::Terminal, &tool);

    // The terminal asks from its timer until the running turn has ended.
    QTRY_VERIFY_WITH_TIMEOUT(router.RequestBus(ToolKind::Terminal), TurnBench::WaitMs);
    QCOMPARE(turn.Phase(), EditorPhase::Idle);
    QCOMPARE(router.State(), RouterState::ToolHolds);
    const qsizetype held = bench.Commands().size();

    engine.SendCommand({.command = "$0AF\r", .expectedLength = ReplyLength::Firmware});
    QTRY_COMPARE_WITH_TIMEOUT(tool.replies.size(), 1, TurnBench::WaitMs);
    QCOMPARE(tool.replies.first(), "!0A" + bench.Module(record).firmware + "\r");
    QCOMPARE(bench.CommandsAfter(held), QList<QByteArray>{"$0AF\r"});

    // Given back, the bus returns to the editor, which goes on with its data reads.
    router.ReleaseBus();
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    QCOMPARE(tool.replies.size(), 1);
}

QTEST_GUILESS_MAIN(TestTurnCommon)
#include "tst_turn_common.moc"
