// The 4017 eight-channel input turn, without a window: the configuration text with its range codes, the
// channel mask and the channel scan with their exact bytes, switching channels, the zero and span
// calibrations, the configuration write and closing in the middle of a turn.

#include "turn_bench.h"

#include "editors/turn_4017.h"

using namespace navix;

namespace {
// What the turn last reported of its channels.
struct ChannelView
{
    explicit ChannelView(Turn4017 &turn)
    {
        values.fill(QString("old"), Turn4017::ChannelCount);
        QObject::connect(&turn, &Turn4017::ChannelBoxesShown, &context, [this](int mask) { boxes = mask; });
        QObject::connect(&turn, &Turn4017::ChannelValueShown, &context,
                         [this](int channel, const QString &value) { values[channel] = value; });
    }
    QObject context;
    int boxes = -1;
    QStringList values;
};

Turn4017 *OpenAndSettle(TurnBench &bench, const ModuleRecordPtr &record)
{
    Turn4017 &turn = bench.OpenTurn<Turn4017>(record);
    return bench.WaitForTurns("$" + record->Address() + "6\r") ? &turn : nullptr;
}

// Commands of one turn: from the last but one mask read up to the last one.
QList<QByteArray> LastTurn(const TurnBench &bench, const QByteArray &maskRead)
{
    const QList<QByteArray> commands = bench.Commands();
    const qsizetype last = commands.lastIndexOf(maskRead);
    const qsizetype previous = commands.lastIndexOf(maskRead, last - 1);
    return previous < 0 ? QList<QByteArray>() : commands.mid(previous, last - previous);
}
} // namespace

class TestTurn4017 : public QObject
{
    Q_OBJECT
private slots:
    void configurationText();
    void channelScan_data();
    void channelScan();
    void lostChannelReadIsBlanked();
    void tickedChannelIsWrittenBeforeRefresh();
    void calibrations();
    void configurationWithAllChannelsOff();
    void closeDuringChannelReads();
};

void TestTurn4017::configurationText()
{
    TestWorkspace workspace;
    Turn4017 turn(workspace);
    QCOMPARE(turn.Setting(EditorTurn::BaudSetting).itemCount, 5);
    turn.ShowConfig("0A0D0680");
    QCOMPARE(turn.Setting(Turn4017::RangeSetting).stored, 5); // +/- 20 mA
    QCOMPARE(turn.Setting(Turn4017::IntegrationSetting).stored, 1);
    QCOMPARE(turn.ComposeConfig(), QByteArray("0A0A0D0680"));
    turn.ShowConfig("0A080640");
    QCOMPARE(turn.Setting(Turn4017::RangeSetting).stored, 0);
    QVERIFY(turn.StoredChecksum());
    QCOMPARE(turn.ComposeConfig(), QByteArray("0A0A080640"));
    // A range code without an item goes back as the module reported it.
    turn.ShowConfig("0A0F0600");
    QCOMPARE(turn.Setting(Turn4017::RangeSetting).stored, -1);
    QCOMPARE(turn.ComposeConfig(), QByteArray("0A0A0F0600"));
    // The channel names.
    turn.SetCaptions({"Tlak", "Teplota"});
    QCOMPARE(turn.Captions().mid(0, 2), (QStringList{"Tlak", "Teplota"}));
    QCOMPARE(turn.Captions().value(7), QString("Vstup 8"));
}

void TestTurn4017::channelScan_data()
{
    QTest::addColumn<int>("mask");
    QTest::addColumn<QList<QByteArray>>("turnCommands");
    QTest::newRow("05") << 0x05 << QList<QByteArray>{"$0A6\r", "#0A0\r", "#0A2\r"};
    QTest::newRow("00") << 0x00 << QList<QByteArray>{"$0A6\r"};
    QTest::newRow("80") << 0x80 << QList<QByteArray>{"$0A6\r", "#0A7\r"};
}

void TestTurn4017::channelScan()
{
    QFETCH(int, mask);
    QFETCH(QList<QByteArray>, turnCommands);

    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4017", "0A080600");
    bench.Module(record).channelMask = static_cast<quint8>(mask);
    Turn4017 &turn = bench.OpenTurn<Turn4017>(record);
    // Texts from an earlier mask must go where the channel is off.
    ChannelView view(turn);
    QVERIFY(bench.WaitForTurns("$0A6\r", 2));
    QCOMPARE(bench.Commands().mid(0, 2), (QList<QByteArray>{"$0AF\r", "$0A6\r"}));
    QCOMPARE(LastTurn(bench, "$0A6\r"), turnCommands);
    QCOMPARE(view.boxes, mask);
    for (int channel = 0; channel < Turn4017::ChannelCount; ++channel) {
        const bool enabled = (mask >> channel & 1) != 0;
        QCOMPARE(view.values[channel].size(), enabled ? 7 : 0);
    }
    QCOMPARE(turn.ChannelMask(), mask);
}

void TestTurn4017::lostChannelReadIsBlanked()
{
    // Replies handed to the turn directly, so that exactly one channel read is lost.
    TestWorkspace workspace;
    Turn4017 turn(workspace);
    ChannelView view(turn);
    TurnView status(turn);
    turn.ShowConfig("0A080600");
    QVERIFY(!turn.HandleReply({}));          // firmware query goes out
    QVERIFY(!turn.HandleReply("!0AA1.3\r")); // mask read goes out
    QVERIFY(!turn.HandleReply("!0A03\r"));   // channel 1 read goes out
    QCOMPARE(workspace.port.written.last(), QByteArray("#0A0\r"));
    QVERIFY(!turn.HandleReply({}));
    QCOMPARE(view.values[0], QString());
    QCOMPARE(status.status, EditorTurn::CommunicationErrorText);
    QCOMPARE(workspace.port.written.last(), QByteArray("#0A1\r"));
    QVERIFY(turn.HandleReply(">+02.500\r"));
    QCOMPARE(view.values[1], QString("+02.500"));
    QCOMPARE(status.status, EditorTurn::CommunicationText);
    QCOMPARE(turn.Phase(), EditorPhase::Idle);

    // A lost or garbled mask read ends the turn without reading a channel.
    for (const QByteArray &maskReply : {QByteArray(), QByteArray("!0AZ1\r")}) {
        const qsizetype written = workspace.port.written.size();
        QVERIFY(!turn.HandleReply({})); // idle visit: the mask read goes out
        QVERIFY(turn.HandleReply(maskReply));
        QCOMPARE(workspace.port.written.mid(written), QList<QByteArray>{"$0A6\r"});
        QCOMPARE(status.status, EditorTurn::CommunicationErrorText);
        QCOMPARE(view.values[1], QString("+02.500"));
    }
}

void TestTurn4017::tickedChannelIsWrittenBeforeRefresh()
{
    TestWorkspace workspace;
    Turn4017 turn(workspace);
    ChannelView view(turn);
    turn.ShowConfig("0A080600");
    QVERIFY(!turn.HandleReply({}));
    QVERIFY(!turn.HandleReply("!0AA1.3\r"));
    QVERIFY(!turn.HandleReply("!0A01\r"));
    QVERIFY(turn.HandleReply(">+01.000\r"));

    // The user ticks channel 3; the mask read of this turn must not untick it.
    turn.ClickChannel(2, true);
    QCOMPARE(turn.BoxMask(), 0x05);
    QVERIFY(turn.ChannelChanged());
    const qsizetype written = workspace.port.written.size();
    QVERIFY(!turn.HandleReply({}));
    QCOMPARE(workspace.port.written.mid(written), QList<QByteArray>{"$0A505\r"});
    // A second tick while the mask is on its way waits for its own write.
    turn.ClickChannel(7, true);
    QVERIFY(!turn.HandleReply("!0A05\r"));
    QVERIFY(turn.ChannelChanged());
    view.boxes = -1;
    QVERIFY(!turn.HandleReply("!0A05\r")); // the module's mask lacks channel 8 as yet
    QCOMPARE(view.boxes, -1);
    QCOMPARE(turn.BoxMask(), 0x85);
    QVERIFY(!turn.HandleReply(">+01.000\r"));
    QVERIFY(turn.HandleReply(">+03.000\r"));
    QCOMPARE(view.values[2], QString("+03.000"));
    const qsizetype before = workspace.port.written.size();
    QVERIFY(!turn.HandleReply({}));
    QCOMPARE(workspace.port.written.mid(before), QList<QByteArray>{"$0A585\r"});
    QVERIFY(!turn.HandleReply("!0A85\r"));
    QVERIFY(!turn.ChannelChanged());
    // From now on the boxes follow the module again.
    QVERIFY(!turn.HandleReply("!0A01\r"));
    QCOMPARE(view.boxes, 0x01);
    QCOMPARE(turn.BoxMask(), 0x01);
}

void TestTurn4017::calibrations()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4017", "0A0D0600");
    bench.Module(record).channelMask = 0x03;
    Turn4017 *turn = OpenAndSettle(bench, record);
    QVERIFY(turn);

    const struct
    {
        CalibrationCode code;
        QByteArray command;
    } cases[] = {{CalibrationCode::Span, "$0A0\r"}, {CalibrationCode::Zero, "$0A1\r"}};
    for (const auto &sample : cases) {
        bench.prompt.Clear();
        turn->RequestCalibration(sample.code);
        QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Calibration successful !"},
                                  TurnBench::WaitMs);
        QCOMPARE(bench.CountOf(sample.command), 1);
        // After the last channel read of a turn.
        QCOMPARE(bench.Commands().at(bench.Commands().indexOf(sample.command) - 1), QByteArray("#0A1\r"));
    }
}

void TestTurn4017::configurationWithAllChannelsOff()
{
    // With no channel to read the turn ends after the mask read, but a configuration the user asked for
    // still goes out after it.
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4017", "0A0D0600");
    bench.Module(record).channelMask = 0x00;
    Turn4017 *turn = OpenAndSettle(bench, record);
    QVERIFY(turn);
    QCOMPARE(LastTurn(bench, "$0A6\r"), QList<QByteArray>{"$0A6\r"});

    turn->ChooseAddress(12);
    turn->ChooseSetting(Turn4017::RangeSetting, 0);
    turn->ChooseSetting(Turn4017::IntegrationSetting, 1);
    turn->RequestUpdate();
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              TurnBench::WaitMs);
    const QList<QByteArray> commands = bench.Commands();
    QCOMPARE(commands.at(commands.indexOf("%0A0C080680\r") - 1), QByteArray("$0A6\r"));
    QCOMPARE(record->config, QByteArray("0C080680"));
    QCOMPARE(bench.workspace.treeItems, QStringList{" (0C) N770"});
    QCOMPARE(turn->Setting(Turn4017::RangeSetting).stored, 0);
    QVERIFY(bench.WaitForTurns("$0C6\r"));
}

void TestTurn4017::closeDuringChannelReads()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4017", "0A080600");
    bench.Module(record).channelMask = 0x0D;
    Turn4017 *turn = OpenAndSettle(bench, record);
    QVERIFY(turn);
    TurnView view(*turn);
    record->captions.clear();
    turn->SetCaption(0, "Tlak");

    bool closedDuringRead = false;
    QObject context;
    QObject::connect(&bench.workspace.engine, &TransactionEngine::CommandWritten, &context,
                     [&](const QByteArray &command) {
                         if (command == "#0A2\r" && !closedDuringRead) {
                             closedDuringRead = true;
                             // The read is outstanding: the close waits until the turn ends.
                             QVERIFY(!turn->Close());
                             QCOMPARE(record->editorState, EditorState::CloseAtTurnEnd);
                         }
                     });
    QTRY_COMPARE_WITH_TIMEOUT(view.closeRequests, 1, TurnBench::WaitMs);
    QVERIFY(closedDuringRead);
    QCOMPARE(record->editorState, EditorState::Closed);
    QCOMPARE(record->captions.value(0), QString("Tlak"));
    // The rest of the turn was served: the channel after the one being read when the window closed.
    const QList<QByteArray> commands = bench.Commands();
    const qsizetype closedAt = commands.lastIndexOf("#0A2\r");
    QCOMPARE(commands.mid(closedAt), (QList<QByteArray>{"#0A2\r", "#0A3\r"}));
}

QTEST_GUILESS_MAIN(TestTurn4017)
#include "tst_turn_4017.moc"
