// The 4x13 sensor turn on the simulated bus, without a window: the sensor table by type id, the data formats
// with their reply lengths, the configuration write and the offset and span calibrations.

#include "turn_bench.h"

#include "editors/turn_4x13.h"

using namespace navix;

namespace {
// A turn on the bench, through its first full turn.
Turn4x13 *OpenAndSettle(TurnBench &bench, const ModuleRecordPtr &record, const QByteArray &read = "#05\r")
{
    Turn4x13 &turn = bench.OpenTurn<Turn4x13>(record);
    return bench.WaitForTurns(read) ? &turn : nullptr;
}
} // namespace

class TestTurn4x13 : public QObject
{
    Q_OBJECT
private slots:
    void sensorTable_data();
    void sensorTable();
    void unknownSensorAndOtherRange();
    void dataFormats_data();
    void dataFormats();
    void configurationWrite();
    void calibrations_data();
    void calibrations();
};

void TestTurn4x13::sensorTable_data()
{
    QTest::addColumn<QByteArray>("typeId");
    QTest::addColumn<int>("subType");
    QTest::addColumn<QString>("modelLabel");
    QTest::newRow("4113") << QByteArray("4113") << 1 << "N755";
    QTest::newRow("4213") << QByteArray("4213") << 2 << "N756";
    QTest::newRow("4313") << QByteArray("4313") << 3 << "N742";
    QTest::newRow("4413") << QByteArray("4413") << 4 << "N743";
    QTest::newRow("4513") << QByteArray("4513") << 5 << "PKR-02";
    QTest::newRow("4613") << QByteArray("4613") << 6 << "PKR-01";
}

void TestTurn4x13::sensorTable()
{
    QFETCH(QByteArray, typeId);
    QFETCH(int, subType);
    QFETCH(QString, modelLabel);

    for (const bool init : {false, true}) {
        TurnBench bench;
        ModuleRecordPtr record = bench.AddModule(typeId, "05200600", init);
        Turn4x13 *turn = OpenAndSettle(bench, record, init ? "#00\r" : "#05\r");
        QVERIFY(turn);
        QCOMPARE(turn->SubType(), subType);
        QCOMPARE(turn->ModelLabel(), modelLabel);
        QCOMPARE(turn->Setting(AnalogInputTurn::RangeSetting).itemCount, 1);
        QCOMPARE(turn->Setting(AnalogInputTurn::RangeSetting).stored, 0);
        QCOMPARE(turn->Captions(), record->captions);
        const QList<QByteArray> firstTurn =
            init ? QList<QByteArray>{"$00F\r", "#00\r"} : QList<QByteArray>{"$05F\r", "#05\r"};
        QCOMPARE(bench.Commands().mid(0, 2), firstTurn);
    }
}

void TestTurn4x13::unknownSensorAndOtherRange()
{
    // A type id the table does not hold leaves the turn as it was.
    TestWorkspace workspace;
    Turn4x13 turn(workspace);
    turn.SetModuleName("4017");
    QCOMPARE(turn.SubType(), 0);
    QVERIFY(!turn.Sensor());
    QCOMPARE(turn.Setting(AnalogInputTurn::RangeSetting).itemCount, 0);
    // A range code other than the sensor's one is no item and goes back as the module reported it.
    turn.SetModuleName("4313");
    turn.ShowConfig("05210600");
    QCOMPARE(turn.Setting(AnalogInputTurn::RangeSetting).stored, -1);
    QCOMPARE(turn.ComposeConfig(), QByteArray("0505210600"));
}

void TestTurn4x13::dataFormats_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<int>("valueLength");
    QTest::addColumn<int>("integrationTime");
    QTest::newRow("engineering units") << QByteArray("05200600") << 7 << 0;
    QTest::newRow("% of FSR") << QByteArray("05200601") << 7 << 0;
    QTest::newRow("hex, 60 ms") << QByteArray("05200682") << 4 << 1;
    QTest::newRow("ohms") << QByteArray("05200603") << 7 << 0;
}

void TestTurn4x13::dataFormats()
{
    QFETCH(QByteArray, config);
    QFETCH(int, valueLength);
    QFETCH(int, integrationTime);

    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4313", config);
    Turn4x13 &turn = bench.OpenTurn<Turn4x13>(record);
    QByteArray shownValue;
    QObject::connect(&turn, &AnalogInputTurn::ValueShown, &turn,
                     [&shownValue](const QByteArray &value) { shownValue = value; });
    QVERIFY(bench.WaitForTurns("#05\r"));
    QCOMPARE(turn.ValueLength(), valueLength);
    QCOMPARE(turn.Setting(AnalogInputTurn::IntegrationSetting).stored, integrationTime);
    // What was read composes back unchanged.
    QCOMPARE(turn.ComposeConfig(), "05" + config);
    // The reply is '>' + the value + CR, and the value shows as the module sent it.
    const QByteArray reply = bench.bus.Transcript().at(1).reply;
    QCOMPARE(reply.size(), valueLength + 2);
    QCOMPARE(shownValue, Copy(reply, 2, valueLength));
}

void TestTurn4x13::configurationWrite()
{
    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule("4313", "05200600");
    Turn4x13 *turn = OpenAndSettle(bench, record);
    QVERIFY(turn);

    turn->ChooseAddress(6);
    turn->ChooseSetting(AnalogInputTurn::IntegrationSetting, 1);
    turn->ChooseSetting(AnalogInputTurn::DataFormatSetting, 3);
    turn->RequestUpdate();
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Configuration successful !"},
                              TurnBench::WaitMs);
    QCOMPARE(bench.CountOf("%0506200683\r"), 1);
    QCOMPARE(record->config, QByteArray("06200683"));
    QCOMPARE(bench.workspace.treeItems, QStringList{" (06) N742"});
    QCOMPARE(turn->Setting(AnalogInputTurn::DataFormatSetting).stored, 3);
    QVERIFY(bench.WaitForTurns("#06\r"));
}

void TestTurn4x13::calibrations_data()
{
    QTest::addColumn<QByteArray>("typeId");
    QTest::addColumn<bool>("span");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("4313 span") << QByteArray("4313") << true << QByteArray("$050\r");
    QTest::newRow("4413 offset") << QByteArray("4413") << false << QByteArray("$051\r");
    QTest::newRow("4513 span") << QByteArray("4513") << true << QByteArray("$050\r");
    QTest::newRow("4613 offset") << QByteArray("4613") << false << QByteArray("$051\r");
}

void TestTurn4x13::calibrations()
{
    QFETCH(QByteArray, typeId);
    QFETCH(bool, span);
    QFETCH(QByteArray, command);

    TurnBench bench;
    ModuleRecordPtr record = bench.AddModule(typeId, "05200600");
    Turn4x13 *turn = OpenAndSettle(bench, record);
    QVERIFY(turn);

    turn->RequestCalibration(span ? CalibrationCode::Span : CalibrationCode::Offset);
    QTRY_COMPARE_WITH_TIMEOUT(bench.prompt.Texts(), QStringList{"Calibration successful !"},
                              TurnBench::WaitMs);
    QVERIFY(!bench.prompt.messages.first().error);
    QCOMPARE(bench.CountOf(command), 1);
    // The calibration follows the value read of a turn.
    QCOMPARE(bench.Commands().at(bench.Commands().indexOf(command) - 1), QByteArray("#05\r"));
}

QTEST_GUILESS_MAIN(TestTurn4x13)
#include "tst_turn_4x13.moc"
