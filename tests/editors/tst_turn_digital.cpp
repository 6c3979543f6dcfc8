// The digital turns on the simulated bus, without windows: output clicks and taken values of the 4050 and
// 4060 with the writes they cause, the display-only 4052 and 4152, and where the types differ (time-out
// paths, channel counts).

#include "turn_bench.h"

#include "editors/digital_turns.h"

using namespace navix;

namespace {
// What the turn last reported of its channels and data field.
struct ChannelView
{
    explicit ChannelView(DigitalTurn &turn)
    {
        QObject::connect(&turn, &DigitalTurn::ChannelsShown, &context,
                         [this](int shown) { channels = shown; });
        QObject::connect(&turn, &DigitalTurn::DataTextShown, &context,
                         [this](const QString &text) { data = text; });
    }
    QObject context;
    int channels = -1;
    QString data;
};

OutputTurn &OpenOutputs(TurnBench &bench, const ModuleRecordPtr &record)
{
    return bench.OpenTurn<OutputTurn>(record);
}
} // namespace

class TestTurnDigital : public QObject
{
    Q_OBJECT
private slots:
    void channelClickIsWritten();
    void twoClicksInOneTurnWriteWholeValue();
    void takenValueIsWritten();
    void focusedDataFieldKeepsItsText();
    void lostWriteIsNotRepeated();
    void outputConfigurationAfterReadOrWrite_data();
    void outputConfigurationAfterReadOrWrite();
    void relays();
    void inputsAreShown();
    void narrowInputTurnFollowsAllInputs();
};

void TestTurnDigital::channelClickIsWritten()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4050", "0A400600");
    OutputTurn &turn = OpenOutputs(bench, record);
    ChannelView view(turn);
    QCOMPARE(turn.ChannelCount(), 8);
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    QCOMPARE(view.channels, 0);
    QCOMPARE(view.data, QString("00"));

    turn.ClickChannel(2);
    QCOMPARE(view.channels, 0x04);
    QCOMPARE(view.data, QString("04"));
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes(), QList<QByteArray>{"#0A1201\r"}, TurnBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Module(record).outputs, quint8(0x04), TurnBench::WaitMs);
    // The reads that follow agree with the click.
    QVERIFY(bench.WaitForTurns("$0A6\r", 2));
    QCOMPARE(view.channels, 0x04);

    turn.ClickChannel(2);
    QCOMPARE(view.channels, 0x00);
    QCOMPARE(view.data, QString("00"));
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes().size(), 2, TurnBench::WaitMs);
    QCOMPARE(bench.Writes().last(), QByteArray("#0A1200\r"));
    QTRY_COMPARE_WITH_TIMEOUT(bench.Module(record).outputs, quint8(0x00), TurnBench::WaitMs);
}

void TestTurnDigital::twoClicksInOneTurnWriteWholeValue()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4050", "0A400600");
    bench.Module(record).outputs = 0x80;
    OutputTurn &turn = OpenOutputs(bench, record);
    ChannelView view(turn);
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    QCOMPARE(view.channels, 0x80);

    // Both clicks land before the turn's next visit.
    turn.ClickChannel(0);
    turn.ClickChannel(2);
    QCOMPARE(view.data, QString("85"));
    QCOMPARE(turn.PendingChange(), OutputTurn::WholeValue);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes(), QList<QByteArray>{"#0A0085\r"}, TurnBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Module(record).outputs, quint8(view.channels), TurnBench::WaitMs);

    // A click after a taken value still writes the whole value the channels show.
    turn.TakeDataText("f0", true);
    turn.ClickChannel(7);
    QCOMPARE(view.channels, 0x70);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes().size(), 2, TurnBench::WaitMs);
    QCOMPARE(bench.Writes().last(), QByteArray("#0A0070\r"));
    QTRY_COMPARE_WITH_TIMEOUT(bench.Module(record).outputs, quint8(0x70), TurnBench::WaitMs);
}

void TestTurnDigital::takenValueIsWritten()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4050", "0A400600");
    OutputTurn &turn = OpenOutputs(bench, record);
    ChannelView view(turn);
    QVERIFY(bench.WaitForTurns("$0A6\r"));

    // Enter shows one digit with its leading zero, in upper case.
    turn.TakeDataText("a", true);
    QCOMPARE(view.data, QString("0A"));
    QCOMPARE(view.channels, 0x0A);
    QCOMPARE(turn.OutputValue(), 0x0A);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes(), QList<QByteArray>{"#0A000A\r"}, TurnBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Module(record).outputs, quint8(0x0A), TurnBench::WaitMs);

    // Leaving the field shows the value as typed.
    turn.TakeDataText("c3", false);
    QCOMPARE(view.data, QString("c3"));
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes().size(), 2, TurnBench::WaitMs);
    QCOMPARE(bench.Writes().last(), QByteArray("#0A00C3\r"));
    // An empty field takes back the last value taken or clicked, and writes nothing.
    QTRY_COMPARE_WITH_TIMEOUT(turn.PendingChange(), OutputTurn::NoChange, TurnBench::WaitMs);
    turn.TakeDataText(QString(), true);
    QCOMPARE(view.data, QString("C3"));
    QCOMPARE(turn.PendingChange(), OutputTurn::NoChange);
}

void TestTurnDigital::focusedDataFieldKeepsItsText()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4050", "0A400600");
    bench.Module(record).outputs = 0x3C;
    OutputTurn &turn = OpenOutputs(bench, record);
    ChannelView view(turn);
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    QCOMPARE(view.data, QString("3C"));

    // While the user types, reads move the channels but leave the text alone.
    turn.SetDataFocused(true);
    view.data = "b";
    bench.Module(record).outputs = 0x81;
    QTRY_COMPARE_WITH_TIMEOUT(view.channels, 0x81, TurnBench::WaitMs);
    QCOMPARE(view.data, QString("b"));
    QVERIFY(bench.Writes().isEmpty());

    // Leaving takes the value as typed.
    turn.TakeDataText("b", false);
    turn.SetDataFocused(false);
    QCOMPARE(view.data, QString("0b"));
    QCOMPARE(view.channels, 0x0B);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes(), QList<QByteArray>{"#0A000B\r"}, TurnBench::WaitMs);
    // Unfocused, the reads show the text again.
    bench.Module(record).outputs = 0x42;
    QTRY_COMPARE_WITH_TIMEOUT(view.data, QString("42"), TurnBench::WaitMs);
}

void TestTurnDigital::lostWriteIsNotRepeated()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4050", "0A400600");
    OutputTurn &turn = OpenOutputs(bench, record);
    ChannelView view(turn);
    TurnView status(turn);
    QVERIFY(bench.WaitForTurns("$0A6\r"));

    bench.Module(record).loseAllReplies = true;
    turn.ClickChannel(1);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes().size(), 1, TurnBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(status.status, QString(" Communication Error..."), TurnBench::WaitMs);
    QVERIFY(bench.WaitForTurns("$0A6\r", 2));
    QCOMPARE(bench.Writes(), QList<QByteArray>{"#0A1101\r"});
    QCOMPARE(status.status, QString(" Communication Error..."));
    // The channel keeps what the user clicked until a read says otherwise.
    QCOMPARE(view.channels, 0x02);
    bench.Module(record).loseAllReplies = false;
    QTRY_COMPARE_WITH_TIMEOUT(status.status, QString(" Communication..."), TurnBench::WaitMs);
}

void TestTurnDigital::outputConfigurationAfterReadOrWrite_data()
{
    QTest::addColumn<QByteArray>("typeId");
    QTest::addColumn<bool>("afterWrite");
    QTest::newRow("4050 after read") << QByteArray("4050") << false;
    QTest::newRow("4050 after write") << QByteArray("4050") << true;
    QTest::newRow("4060 after read") << QByteArray("4060") << false;
    QTest::newRow("4060 after write") << QByteArray("4060") << true;
}

void TestTurnDigital::outputConfigurationAfterReadOrWrite()
{
    QFETCH(QByteArray, typeId);
    QFETCH(bool, afterWrite);
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule(typeId, "0A400600");
    OutputTurn &turn = bench.OpenTurn<OutputTurn>(record);
    QVERIFY(bench.WaitForTurns("$0A6\r"));

    // Within one turn: a pending output change is written first, then the configuration follows it.
    turn.ChooseAddress(0x0D);
    if (afterWrite)
        turn.ClickChannel(0);
    turn.RequestUpdate();
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              TurnBench::WaitMs);
    QCOMPARE(bench.Writes().size(), afterWrite ? 1 : 0);
    const QString label = typeId == "4050" ? " (0D) N730" : " (0D) N720";
    QCOMPARE(bench.workspace.treeItems, QStringList{label});
    QCOMPARE(record->config, QByteArray("0D400600"));
}

void TestTurnDigital::relays()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4060", "0A400600");
    OutputTurn &turn = bench.OpenTurn<OutputTurn>(record);
    ChannelView view(turn);
    QCOMPARE(turn.ChannelCount(), 4);
    QCOMPARE(turn.Captions(), (QStringList{"Vystup 1", "Vystup 2", "Vystup 3", "Vystup 4"}));
    QVERIFY(bench.WaitForTurns("$0A6\r"));

    turn.ClickChannel(3);
    QCOMPARE(view.data, QString("08"));
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes(), QList<QByteArray>{"#0A1301\r"}, TurnBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Module(record).outputs, quint8(0x08), TurnBench::WaitMs);

    turn.TakeDataText("5", true);
    QCOMPARE(view.data, QString("05"));
    QCOMPARE(view.channels, 0x05);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes().size(), 2, TurnBench::WaitMs);
    QCOMPARE(bench.Writes().last(), QByteArray("#0A0005\r"));

    // A read of all four relays on, with no change pending.
    bench.Module(record).outputs = 0x0F;
    QTRY_COMPARE_WITH_TIMEOUT(view.data, QString("0F"), TurnBench::WaitMs);
    QCOMPARE(view.channels, 0x0F);
}

void TestTurnDigital::inputsAreShown()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4052", "0A400600");
    bench.Module(record).inputs = 0xA5;
    InputTurn &turn = bench.OpenTurn<InputTurn>(record);
    ChannelView view(turn);
    QTRY_COMPARE_WITH_TIMEOUT(view.data, QString("A5"), TurnBench::WaitMs);
    QCOMPARE(view.channels, 0xA5);

    // Nothing is written.
    QVERIFY(bench.WaitForTurns("$0A6\r"));
    QVERIFY(bench.Writes().isEmpty());

    bench.Module(record).inputs = 0x18;
    QTRY_COMPARE_WITH_TIMEOUT(view.data, QString("18"), TurnBench::WaitMs);
    QCOMPARE(view.channels, 0x18);
}

void TestTurnDigital::narrowInputTurnFollowsAllInputs()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4152", "0A400600", true);
    record->captions[5] = "Door";
    bench.Module(record).inputs = 0xA5;
    InputTurn &turn = bench.OpenTurn<InputTurn>(record);
    ChannelView view(turn);
    QTRY_COMPARE_WITH_TIMEOUT(view.data, QString("A5"), TurnBench::WaitMs);
    QCOMPARE(view.channels, 0xA5);

    turn.ChooseAddress(0x0B);
    turn.RequestUpdate();
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              TurnBench::WaitMs);
    QCOMPARE(bench.CountOf("%000B400600\r"), 1);
    QCOMPARE(bench.workspace.treeItems, QStringList{"*(0B) N790"});
    // All eight names go back into the record.
    QCOMPARE(record->captions.size(), 8);
    QCOMPARE(record->captions[5], QString("Door"));
}

QTEST_GUILESS_MAIN(TestTurnDigital)
#include "tst_turn_digital.moc"
