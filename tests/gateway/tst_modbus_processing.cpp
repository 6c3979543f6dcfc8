// Modbus requests answered from the values the gateway holds, without a socket: a 4017's inputs in both
// register blocks, a 4050's discrete inputs and coils, a 4021's output and status, the blocks' edges, unit
// ids that are no module or whose module is away, functions the map does not offer, and the sets that writes
// ask for.

#include "gateway/modbus/modbus_processing.h"

#include <QTest>

#include <cmath>

using namespace navix;
using namespace navix::modbus;

namespace {
constexpr qint64 NowMs = 100000;

UnitValues Unit(QList<PointKind> kinds, QStringList ids, QList<double> values, QList<int> decimals,
                UnitQuality quality)
{
    UnitValues unit;
    unit.kinds = std::move(kinds);
    unit.pointIds = std::move(ids);
    unit.values = std::move(values);
    unit.decimals = std::move(decimals);
    unit.quality = quality;
    unit.lastGoodMs = quality == UnitQuality::NotYetRead ? -1 : NowMs - 2550;
    unit.exchanges = 70000;
    unit.timeOuts = 3;
    unit.wrongChecksums = 1;
    return unit;
}

// Unit 1: a 4017 reading +5.123 V, -0.150 V and a channel switched off; unit 2: a 4050 with outputs
// 1,0,1,1,0,0,0,1 and inputs 0,1,1,0,0,0,1; unit 3: a 4021 away; unit 4: a 4050 never read; unit 5: a 4021 at
// 12.345 mA.
const QHash<int, UnitValues> &Units()
{
    static const QHash<int, UnitValues> units = [] {
        using enum PointKind;
        const double none = std::nan("");
        QHash<int, UnitValues> held;
        QList<PointKind> inputs(8, AnalogInput);
        held[1] = Unit(inputs, {"ai0", "ai1", "ai2", "ai3", "ai4", "ai5", "ai6", "ai7"},
                       {5.123, -0.15, none, 0, 0, 0, 0, 0}, {3, 3, 0, 3, 3, 3, 3, 3}, UnitQuality::Good);
        QList<PointKind> digital(8, DigitalOutput);
        digital += QList<PointKind>(7, DigitalInput);
        const QStringList digitalIds{"do0", "do1", "do2", "do3", "do4", "do5", "do6", "do7",
                                     "di0", "di1", "di2", "di3", "di4", "di5", "di6"};
        held[2] =
            Unit(digital, digitalIds, {1, 0, 1, 1, 0, 0, 0, 1, 0, 1, 1, 0, 0, 0, 1}, {}, UnitQuality::Good);
        held[3] = Unit({AnalogOutput}, {"ao0"}, {4.0}, {3}, UnitQuality::Absent);
        held[4] = Unit(digital, digitalIds, {}, {}, UnitQuality::NotYetRead);
        held[5] = Unit({AnalogOutput}, {"ao0"}, {12.345}, {3}, UnitQuality::Lost);
        return held;
    }();
    return units;
}
} // namespace

class ModbusProcessingTest : public QObject
{
    Q_OBJECT
private slots:
    void requests_data();
    void requests();
    void scaling();
};

void ModbusProcessingTest::requests_data()
{
    QTest::addColumn<int>("unit");
    QTest::addColumn<QByteArray>("request");  // function code and data, hex
    QTest::addColumn<QByteArray>("response"); // the same, the exception bit set for an exception
    QTest::addColumn<QString>("sets");        // the sets a write asks for
    const auto row = [](const char *name, int unit, const char *request, const char *response,
                        const char *sets = "") {
        QTest::newRow(name) << unit << QByteArray(request) << QByteArray(response) << QString(sets);
    };
    row("4017 inputs scaled", 1, "04 0000 0003", "04 06 1403 ff6a 8000");
    row("4017 inputs as floats", 1, "04 03e8 0006", "04 0c 40a3ef9e be19999a 7fc00000");
    row("4017 float's low word alone", 1, "04 03e9 0001", "04 02 ef9e");
    row("4017 last input", 1, "04 0007 0001", "04 02 0000");
    row("4017 past the last input", 1, "04 0007 0002", "84 02");
    row("4017 between the blocks", 1, "04 0008 0001", "84 02");
    row("4017 past the float block", 1, "04 03f7 0002", "84 02");
    row("4017 more registers than one read takes", 1, "04 0000 007e", "84 03");
    row("4017 no coils", 1, "01 0000 0001", "81 02");
    row("4017 status", 1, "03 03e8 0008", "03 10 0000 0019 0001 1170 0000 0003 0000 0001");
    row("4050 discrete inputs", 2, "02 0000 0007", "02 01 46");
    row("4050 coils", 2, "01 0000 0008", "01 01 8d");
    row("4050 coils from the middle", 2, "01 0003 0003", "01 01 01");
    row("4050 past the last coil", 2, "01 0008 0001", "81 02");
    row("4050 no holding register 0", 2, "03 0000 0001", "83 02");
    row("4050 coil on", 2, "05 0002 ff00", "05 0002 ff00", "do2=1");
    row("4050 coil off", 2, "05 0000 0000", "05 0000 0000", "do0=0");
    row("4050 coil neither on nor off", 2, "05 0002 1234", "85 03");
    row("4050 coil past the last", 2, "05 0008 ff00", "85 02");
    row("4050 coils together", 2, "0f 0001 0003 01 05", "0f 0001 0003", "do1=1 do2=0 do3=1");
    row("4050 coils with a wrong byte count", 2, "0f 0001 0003 02 0500", "8f 03");
    row("4050 never read", 4, "01 0000 0001", "81 0b");
    row("4050 never read, its status", 4, "03 03e8 0002", "03 04 0004 ffff");
    row("4021 away", 3, "03 0000 0001", "83 0b");
    row("4021 away, its status", 3, "03 03e8 0001", "03 02 0003");
    row("4021 away, a write", 3, "06 0000 2ee0", "86 0b");
    row("4021 away, a coil it does not have", 3, "05 0000 ff00", "85 0b");
    row("4021 away, a function the map does not offer", 3, "07", "87 0b");
    row("4021 last value after a lost poll", 5, "03 0000 0001", "03 02 3039");
    row("4021 output written", 5, "06 0000 2ee0", "06 0000 2ee0", "ao0=12");
    row("4021 output written as one of many", 5, "10 0000 0001 02 0fa0", "10 0000 0001", "ao0=4");
    row("4021 status not writable", 5, "06 03e8 0000", "86 02");
    row("4021 two outputs written", 5, "10 0000 0002 04 0fa0 0fa0", "90 02");
    row("unit that is no module", 9, "04 0000 0001", "84 0b");
    row("function the map does not offer", 1, "07", "87 01");
    row("diagnostics", 1, "08 0000 1234", "88 01");
}

void ModbusProcessingTest::requests()
{
    QFETCH(int, unit);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, response);
    QFETCH(QString, sets);
    const QByteArray pdu = QByteArray::fromHex(request.replace(' ', ""));
    const QModbusRequest modbusRequest(QModbusPdu::FunctionCode(static_cast<quint8>(pdu[0])), pdu.mid(1));
    const auto held = Units().constFind(unit);
    const Answer answer = ProcessRequest(modbusRequest, held != Units().cend() ? &*held : nullptr, NowMs);
    const quint8 code = answer.response.functionCode() | (answer.response.isException() ? 0x80 : 0);
    QCOMPARE(QByteArray(1, static_cast<char>(code)) + answer.response.data(),
             QByteArray::fromHex(response.replace(' ', "")));
    QStringList asked;
    for (const PointWrite &write : answer.writes)
        asked.append(QStringLiteral("%1=%2").arg(write.pointId).arg(write.value));
    QCOMPARE(asked.join(' '), sets);
}

void ModbusProcessingTest::scaling()
{
    QCOMPARE(DecimalsOf("+05.123"), 3);
    QCOMPARE(DecimalsOf("-150.00"), 2);
    QCOMPARE(DecimalsOf("7FFF"), 0);
    QCOMPARE(ScaledRegister(-32768, 0),
             qint16(-32767)); // a count at the bottom of the hex format stays a value
    QCOMPARE(ScaledRegister(99999, 0), qint16(32767));
    QCOMPARE(ScaledRegister(-0.0015, 3), qint16(-2));
}

QTEST_GUILESS_MAIN(ModbusProcessingTest)
#include "tst_modbus_processing.moc"
