// The type 4021 output turn on the simulated bus, without a window: the output position a configuration sets
// up and the set value texts, the read-backs and writes of the turn with their exact bytes, and the
// calibrations and the trim.

#include "turn_bench.h"

#include "editors/turn_4021.h"

#include <functional>

using namespace navix;

namespace {
// What the turn last reported of its values.
struct OutputView
{
    explicit OutputView(Turn4021 &turn)
    {
        QObject::connect(&turn, &Turn4021::LastValueShown, &context,
                         [this](const QString &text) { lastValue = text; });
        QObject::connect(&turn, &Turn4021::OutputShown, &context,
                         [this](const QString &text) { output = text; });
        QObject::connect(&turn, &Turn4021::SetValueShown, &context,
                         [this](const QString &text) { setValue = text; });
    }
    QObject context;
    QString lastValue;
    QString output;
    QString setValue;
};

// A turn on the bench, through its first full turn.
Turn4021 *OpenAndSettle(TurnBench &bench, const ModuleRecordPtr &record)
{
    Turn4021 &turn = bench.OpenTurn<Turn4021>(record);
    return bench.WaitForTurns("$" + record->Address() + "8\r") ? &turn : nullptr;
}
} // namespace

class TestTurn4021 : public QObject
{
    Q_OBJECT
private slots:
    void configurationSetsUpPosition_data();
    void configurationSetsUpPosition();
    void setValueTexts();
    void firstTurnReadsLastValue();
    void outputKeepsItsValue();
    void positionIsWritten();
    void valuePickedDuringWriteIsNotLost();
    void hexadecimalFormat();
    void garbledReadDoesNotMoveOutput();
    void configurationCommand();
    void calibrationsSucceed_data();
    void calibrationsSucceed();
    void failedCalibrationIsNotRepeated();
    void trimCounts();
};

void TestTurn4021::configurationSetsUpPosition_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("dataLength");
    QTest::addColumn<QString>("firstSetValue");

    QTest::newRow("4 to 20 mA") << QByteArray("0A310600") << 4000 << 20000 << 6 << "04.000";
    QTest::newRow("0 to 20 mA") << QByteArray("0A300600") << 0 << 20000 << 6 << "00.000";
    QTest::newRow("0 to 10 V") << QByteArray("0A320600") << 0 << 10000 << 6 << "00.000";
    QTest::newRow("% of FSR") << QByteArray("0A310601") << 0 << 10000 << 7 << "+000.00";
    QTest::newRow("hexadecimal") << QByteArray("0A320602") << 0 << 4095 << 3 << "000";
    // A range code the module type does not know: the widest range, in engineering units.
    QTest::newRow("unknown range") << QByteArray("0A390600") << 0 << 20000 << 6 << "00.000";
}

void TestTurn4021::configurationSetsUpPosition()
{
    QFETCH(QByteArray, config);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, dataLength);
    QFETCH(QString, firstSetValue);

    TestWorkspace workspace;
    Turn4021 turn(workspace);
    // A position far up from an earlier configuration must not survive into the new range.
    turn.ShowConfig("0A300600");
    turn.MovePosition(20000);
    turn.ShowConfig(config);

    QCOMPARE(turn.Setting(Turn4021::SlewRateSetting).stored, 0);
    QCOMPARE(turn.Setting(EditorTurn::BaudSetting).stored, 3);
    QVERIFY(!turn.StoredChecksum());
    QCOMPARE(turn.Minimum(), minimum);
    QCOMPARE(turn.Maximum(), maximum);
    QCOMPARE(turn.Position(), minimum);
    QCOMPARE(turn.DataLength(), dataLength);
    QCOMPARE(turn.SetValueText(), firstSetValue);
    // Shown, but nothing the user chose: it waits for no write.
    QVERIFY(!turn.SetValuePending());
    // What was read is what goes back: the configuration text composes unchanged.
    QCOMPARE(turn.ComposeConfig(), "0A" + config);
}

void TestTurn4021::setValueTexts()
{
    TestWorkspace workspace;
    Turn4021 turn(workspace);
    const struct
    {
        QByteArray config;
        int position;
        QString text;
    } cases[] = {
        {"0A300600", 20000, "20.000"},
        {"0A300600", 4000, "04.000"},
        {"0A300600", 12345, "12.345"},
        {"0A300601", 10000, "+100.00"},
        {"0A300601", 5000, "+050.00"},
        {"0A300601", 7, "+000.07"},
        {"0A300602", 4095, "FFF"},
        {"0A300602", 10, "00A"},
        // Outside the range the position stops at its end.
        {"0A310600", 100, "04.000"},
        {"0A300602", 5000, "FFF"},
    };
    for (const auto &sample : cases) {
        turn.ShowConfig(sample.config);
        turn.MovePosition(sample.position);
        QCOMPARE(turn.SetValueText(), sample.text);
    }
}

void TestTurn4021::firstTurnReadsLastValue()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A300600");
    SimModule &module = bench.Module(record);
    module.outputValue = 12.345;
    module.outputReadback = 11.5;
    Turn4021 &turn = bench.OpenTurn<Turn4021>(record);
    OutputView view(turn);
    TurnView status(turn);
    QVERIFY(bench.WaitForTurns("$0A8\r"));

    QCOMPARE(view.lastValue, QString("12.345"));
    QCOMPARE(view.setValue, QString("12.345"));
    QCOMPARE(turn.Position(), 12345);
    QCOMPARE(view.output, QString("11.500"));
    QCOMPARE(status.status, EditorTurn::CommunicationText);
    // The first turn reads; the value the position took is the module's own and is not written back.
    const QList<QByteArray> expected = {"$0AF\r", "$0A6\r", "$0A8\r", "$0A8\r"};
    QCOMPARE(bench.Commands().mid(0, expected.size()), expected);
    QVERIFY(!turn.SetValuePending());
    QVERIFY(bench.Writes().isEmpty());
    QCOMPARE(status.firmware, QString(module.firmware));
}

void TestTurn4021::outputKeepsItsValue()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A310600");
    SimModule &module = bench.Module(record);
    module.outputValue = module.outputReadback = 12.345;
    module.loseReplies = 2; // the firmware query and the first read

    // The first turn loses the module's value: the next one reads it again instead of writing anything.
    Turn4021 &turn = bench.OpenTurn<Turn4021>(record);
    TurnView status(turn);
    QVERIFY(bench.WaitForTurns("$0A8\r"));
    const QList<QByteArray> opening = {"$0AF\r", "$0A6\r", "$0A6\r", "$0A8\r"};
    QCOMPARE(bench.Commands().mid(0, opening.size()), opening);
    QCOMPARE(status.firmware, QString("Unknow !"));
    QCOMPARE(turn.SetValueText(), QString("12.345"));
    QCOMPARE(turn.Position(), 12345);
    QVERIFY(!turn.SetValuePending());

    // After each configuration the output is read back first, and its value is adopted.
    const struct
    {
        QByteArray address;
        std::function<void()> change;
        QByteArray command;
        QString message;
    } steps[] = {
        {"0B", [&turn] { turn.ChooseAddress(0x0B); }, "%0A0B310600\r", "Configuration successful !"},
        {"0B", [&turn] { turn.ChooseSetting(Turn4021::OutputRangeSetting, 0); }, "%0B0B300600\r",
         "Configuration successful !"},
        {"0B", [&turn] { turn.ChooseAddress(0x0C); }, "%0B0C300600\r", "Configuration failed !"},
    };
    // The last configuration is lost on the line: the module never hears it.
    MemoryPort &port = bench.workspace.port;
    port.onWrite = [toBus = port.onWrite](const QByteArray &command) {
        if (command != "%0B0C300600\r")
            toBus(command);
    };
    for (const auto &step : steps) {
        bench.prompt.Clear();
        step.change();
        turn.RequestUpdate();
        QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{step.message},
                                  EditorTurn::RaisedTimeOutMs + TurnBench::WaitMs);
        const qsizetype sent = port.written.indexOf(step.command);
        QVERIFY2(sent >= 0, step.command.constData());
        QVERIFY(bench.WaitForTurns("$" + step.address + "8\r"));
        const QList<QByteArray> readBack = {"$" + step.address + "6\r", "$" + step.address + "8\r"};
        QCOMPARE(port.written.mid(sent + 1, readBack.size()), readBack);
        QCOMPARE(turn.SetValueText(), QString("12.345"));
        QCOMPARE(turn.Position(), 12345);
        QVERIFY(!turn.SetValuePending());
    }
    QCOMPARE(turn.Minimum(), 0);
    QCOMPARE(bench.Writes(), QList<QByteArray>{});
    QCOMPARE(module.outputValue, 12.345);

    // The user's own choice is what goes out.
    turn.MovePosition(15000);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes(), QList<QByteArray>{"#0B15.000\r"}, TurnBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(module.outputValue, 15.0, TurnBench::WaitMs);
}

void TestTurn4021::positionIsWritten()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A320600");
    SimModule &module = bench.Module(record);
    Turn4021 *turn = OpenAndSettle(bench, record);
    QVERIFY(turn);
    OutputView view(*turn);
    const qsizetype writesBefore = bench.Writes().size();

    turn->MovePosition(7500);
    QCOMPARE(view.setValue, QString("07.500"));
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes().size(), writesBefore + 1, TurnBench::WaitMs);
    QCOMPARE(bench.Writes().last(), QByteArray("#0A07.500\r"));
    QCOMPARE(module.outputValue, 7.5);
    // The write is read back as the last value, then the present output is read.
    QTRY_COMPARE_WITH_TIMEOUT(view.lastValue, QString("07.500"), TurnBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(view.output, QString("07.500"), TurnBench::WaitMs);
    // Nothing more is written until the position moves again.
    QVERIFY(bench.WaitForTurns("$0A8\r", 3));
    QCOMPARE(bench.Writes().size(), writesBefore + 1);
}

void TestTurn4021::valuePickedDuringWriteIsNotLost()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A300600");
    SimModule &module = bench.Module(record);
    Turn4021 *turn = OpenAndSettle(bench, record);
    QVERIFY(turn);

    // The user moves the position again while the first write is on its way.
    QObject context;
    QObject::connect(&bench.workspace.engine, &TransactionEngine::CommandWritten, &context,
                     [turn](const QByteArray &command) {
                         if (command == "#0A05.000\r")
                             turn->MovePosition(9000);
                     });
    turn->MovePosition(5000);
    QTRY_VERIFY_WITH_TIMEOUT(bench.Writes().contains("#0A09.000\r"), TurnBench::WaitMs);
    QVERIFY(bench.Writes().contains("#0A05.000\r"));
    QCOMPARE(module.outputValue, 9.0);
}

void TestTurn4021::hexadecimalFormat()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A300602");
    SimModule &module = bench.Module(record);
    module.outputValue = 10.0;
    module.outputReadback = 10.0;
    Turn4021 &turn = bench.OpenTurn<Turn4021>(record);
    OutputView view(turn);
    QVERIFY(bench.WaitForTurns("$0A8\r"));

    // Reads are '!0A' + three hex digits + CR.
    const QByteArray lastRead = bench.bus.Transcript().at(1).reply;
    QCOMPARE(lastRead.size(), 7);
    QCOMPARE(view.lastValue, FromWire(Copy(lastRead, 4, 3)));
    QCOMPARE(turn.Position(), HexToInt(Copy(lastRead, 4, 3)));

    turn.MovePosition(4095);
    QTRY_COMPARE_WITH_TIMEOUT(bench.Writes(), QList<QByteArray>{"#0AFFF\r"}, TurnBench::WaitMs);
    QCOMPARE(module.outputValue, 20.0);
    QTRY_COMPARE_WITH_TIMEOUT(view.lastValue, QString("FFF"), TurnBench::WaitMs);
}

void TestTurn4021::garbledReadDoesNotMoveOutput()
{
    // The replies are handed to the turn directly: the simulated modules never send such texts.
    TestWorkspace workspace;
    for (auto [config, garbled] : {std::pair{QByteArray("0A300602"), QByteArray("!0AXYZ\r")},
                                   std::pair{QByteArray("0A300600"), QByteArray("!0A1?.2#4\r")}}) {
        for (const bool userMoved : {false, true}) {
            Turn4021 turn(workspace);
            OutputView view(turn);
            turn.ShowConfig(config);
            if (userMoved)
                turn.MovePosition(100);
            const int position = turn.Position();
            const QString before = turn.SetValueText();
            QVERIFY(!turn.HandleReply({}));          // firmware query goes out
            QVERIFY(!turn.HandleReply("!0AA1.3\r")); // last value query goes out
            QVERIFY(!turn.HandleReply(garbled));     // present output query goes out
            QCOMPARE(turn.Phase(), EditorPhase::DataAsked);
            QCOMPARE(view.lastValue, FromWire(Copy(garbled, 4, turn.DataLength())));
            QCOMPARE(turn.Position(), position);
            QCOMPARE(turn.SetValueText(), before);
            // Only the user's own choice waits to be written; without it the next turn reads the output
            // again.
            QCOMPARE(turn.SetValuePending(), userMoved);
            QVERIFY(turn.HandleReply(garbled));
            QVERIFY(!turn.HandleReply({}));
            QCOMPARE(workspace.port.written.constLast(),
                     userMoved ? "#0A" + ToWire(before) + "\r" : "$0A6\r");
        }
    }
}

void TestTurn4021::configurationCommand()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A310600");
    SimModule &module = bench.Module(record);
    module.outputValue = module.outputReadback = 12.0;
    Turn4021 *turn = OpenAndSettle(bench, record);
    QVERIFY(turn);
    OutputView view(*turn);

    turn->ChooseSetting(Turn4021::SlewRateSetting, 1);
    turn->ChooseSetting(Turn4021::DataFormatSetting, 1);
    turn->RequestUpdate();
    QTRY_VERIFY_WITH_TIMEOUT(bench.Commands().contains("%0A0A310605\r"), TurnBench::WaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              TurnBench::WaitMs);
    QCOMPARE(record->config, QByteArray("0A310605"));
    QCOMPARE(bench.workspace.treeItems, QStringList{" (0A) N780"});

    // The new format takes effect: 7-character reads, and the output, read back as percent, keeps its value.
    QCOMPARE(turn->DataLength(), 7);
    QCOMPARE(turn->Mode(), Turn4021::ScrollMode::PercentOfRange);
    QTRY_COMPARE_WITH_TIMEOUT(view.setValue, QString("+050.00"), TurnBench::WaitMs);
    QCOMPARE(view.lastValue, QString("+050.00"));
    QCOMPARE(turn->Position(), 5000);
    QVERIFY(bench.WaitForTurns("$0A8\r", 2));
    QVERIFY(bench.Writes().isEmpty());
    QCOMPARE(module.outputValue, 12.0);
}

void TestTurn4021::calibrationsSucceed_data()
{
    QTest::addColumn<bool>("twentyMilliamps");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("4 mA") << false << QByteArray("$0A0\r");
    QTest::newRow("20 mA") << true << QByteArray("$0A1\r");
}

void TestTurn4021::calibrationsSucceed()
{
    QFETCH(bool, twentyMilliamps);
    QFETCH(QByteArray, command);

    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A310600");
    Turn4021 *turn = OpenAndSettle(bench, record);
    QVERIFY(turn);

    turn->RequestCalibration(twentyMilliamps ? CalibrationCode::TwentyMilliamps
                                             : CalibrationCode::FourMilliamps);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Calibration successful !"},
                              TurnBench::WaitMs);
    QVERIFY(!bench.prompt.messages.first().error);
    QCOMPARE(bench.CountOf(command), 1);
    // The calibration goes out after the present output read of a turn.
    const qsizetype at = bench.Commands().indexOf(command);
    QCOMPARE(bench.Commands().at(at - 1), QByteArray("$0A8\r"));
    QVERIFY(!turn->CalibrationRequest());
}

void TestTurn4021::failedCalibrationIsNotRepeated()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A310600");
    SimModule &module = bench.Module(record);
    Turn4021 *turn = OpenAndSettle(bench, record);
    QVERIFY(turn);
    TurnView view(*turn);

    module.loseAllReplies = true;
    turn->RequestCalibration(CalibrationCode::FourMilliamps);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Calibration failed !"},
                              EditorTurn::RaisedTimeOutMs + TurnBench::WaitMs);
    QVERIFY(bench.prompt.messages.first().error);

    module.loseAllReplies = false;
    QVERIFY(bench.WaitForTurns("$0A8\r", 2));
    QCOMPARE(bench.CountOf("$0A0\r"), 1);
    QCOMPARE(bench.prompt.Texts().size(), 1);
    QCOMPARE(view.status, EditorTurn::CommunicationText);
}

void TestTurn4021::trimCounts()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4021", "0A310600");
    Turn4021 *turn = OpenAndSettle(bench, record);
    QVERIFY(turn);

    // -1 count goes out as the byte FF.
    turn->RequestTrim(0xFF);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Calibration successful !"},
                              TurnBench::WaitMs);
    QCOMPARE(bench.CountOf("$0A3FF\r"), 1);
    QCOMPARE(turn->TrimRequest(), 0);

    // A calibration goes before a trim asked for in the same turn; the trim follows on the next.
    bench.prompt.Clear();
    turn->RequestTrim(0x05);
    turn->RequestCalibration(CalibrationCode::TwentyMilliamps);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts().size(), 2, TurnBench::WaitMs);
    const QList<QByteArray> commands = bench.Commands();
    const qsizetype calibration = commands.indexOf("$0A1\r");
    QVERIFY(calibration > 0);
    QVERIFY(commands.indexOf("$0A305\r") > calibration);

    // 0 counts send nothing.
    bench.prompt.Clear();
    turn->RequestTrim(0);
    QVERIFY(bench.WaitForTurns("$0A8\r", 2));
    QCOMPARE(bench.CountOf("$0A3FF\r") + bench.CountOf("$0A305\r"), 2);
    for (const QByteArray &command : bench.Commands())
        QVERIFY(command == "$0A3FF\r" || command == "$0A305\r" || !command.startsWith("$0A3"));
    QVERIFY(bench.prompt.Texts().isEmpty());
}

QTEST_GUILESS_MAIN(TestTurn4021)
#include "tst_turn_4021.moc"
