// The simulated bus on its own: checksum use, the INIT state, the three addresses of the Tvr 5x, refusals,
// state that commands change, the readings in each data format, live values and the bus description file.

#include "bus/text.h"
#include "sim/sim_bus.h"
#include "sim/sim_bus_file.h"

#include <QSet>

#include <QTest>
#include <cctype>

using namespace navix;

namespace {
QByteArray WithChecksum(const QByteArray &command)
{
    return command + ComputeChecksum(command) + CR;
}

QByteArray Cmd(const QByteArray &command)
{
    return command + CR;
}
} // namespace

class TestSimBus : public QObject
{
    Q_OBJECT
private slots:
    void checksumUse();
    void initState_data();
    void initState();
    void tvrOnThreeAddresses();
    void refusalsAndSilence_data();
    void refusalsAndSilence();
    void commandsChangeTheModule();
    void clockRuns();
    void readingsInEachFormat_data();
    void readingsInEachFormat();
    void liveValuesMoveDeterministically();
    void memoryRecords();
    void transcript();
    void busFileAccepted();
    void busFileRejected_data();
    void busFileRejected();
    void demoBus();
};

void TestSimBus::checksumUse()
{
    SimBus bus;
    bus.AddModule("4013", "0A200640");
    bus.AddModule("4017", "0B080600");

    // With checksum on, a plain command or a wrong checksum gets no answer at all.
    QCOMPARE(bus.Answer(Cmd("$0AM")), QByteArray());
    QCOMPARE(bus.Answer("$0AM00\r"), QByteArray());
    const QByteArray reply = bus.Answer(WithChecksum("$0AM"));
    QCOMPARE(reply, "!0A4013" + ComputeChecksum("!0A4013") + CR);
    // The checksum of the example command of the protocol: '$012' + CR goes out as '$012B7' + CR.
    bus.AddModule("4060", "01400640");
    QCOMPARE(bus.Answer("$012B7\r"), "!01400640" + ComputeChecksum("!01400640") + CR);

    // With checksum off, the checksum characters make the command one the module does not know.
    QCOMPARE(bus.Answer(Cmd("$0BM")), QByteArray("!0B4017\r"));
    QCOMPARE(bus.Answer(WithChecksum("$0BM")), QByteArray("?0B\r"));

    // The checksum stands directly in front of the CR also in the replies that the program reads by length
    // without their CR.
    SimModule &tvr = bus.AddModule("20", "10200642");
    tvr.frozen = true;
    tvr.status = 0x21;
    tvr.pointer = 0x01F8;
    const QList<QPair<QByteArray, QByteArray>> shortRead = {
        {"@10G", ">07/12/24 1 12:30:05"}, {"$126", "!21"}, {"@10E", ">01F8"}, {"@10K2F", "!10"}};
    for (const auto &[command, body] : shortRead)
        QCOMPARE(bus.Answer(WithChecksum(command)), body + ComputeChecksum(body) + CR);
}

void TestSimBus::initState_data()
{
    QTest::addColumn<bool>("initMode");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("configAfter");
    QTest::addColumn<int>("answersAt");

    // A module configured at 05 with checksum on.
    QTest::newRow("INIT answers at 00 without checksum")
        << true << Cmd("$00M") << QByteArray("!004013\r") << QByteArray("05200640") << 0;
    QTest::newRow("INIT is silent at its own address")
        << true << WithChecksum("$05M") << QByteArray() << QByteArray("05200640") << 0;
    QTest::newRow("INIT reports its settings at 00")
        << true << Cmd("$002") << QByteArray("!00200640\r") << QByteArray("05200640") << 0;
    QTest::newRow("INIT takes baud and checksum changes")
        << true << Cmd("%0006200700") << QByteArray("!06\r") << QByteArray("06200700") << 0;
    QTest::newRow("outside INIT the address answers with checksum")
        << false << WithChecksum("$05M") << "!054013" + ComputeChecksum("!054013") + CR
        << QByteArray("05200640") << 5;
    QTest::newRow("outside INIT 00 is silent")
        << false << Cmd("$00M") << QByteArray() << QByteArray("05200640") << 5;
    QTest::newRow("outside INIT a baud change is refused")
        << false << WithChecksum("%0505200740") << "?05" + ComputeChecksum("?05") + CR
        << QByteArray("05200640") << 5;
    QTest::newRow("outside INIT a checksum change is refused")
        << false << WithChecksum("%0505200600") << "?05" + ComputeChecksum("?05") + CR
        << QByteArray("05200640") << 5;
    QTest::newRow("outside INIT address, range and format change")
        << false << WithChecksum("%05072906C1") << "!07" + ComputeChecksum("!07") + CR
        << QByteArray("072906C1") << 7;
}

void TestSimBus::initState()
{
    QFETCH(bool, initMode);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, configAfter);
    QFETCH(int, answersAt);

    SimBus bus;
    SimModule &module = bus.AddModule("4013", "05200640");
    module.initMode = initMode;
    QCOMPARE(bus.Answer(command), reply);
    QCOMPARE(module.Config(), configAfter);
    QCOMPARE(bus.Module(answersAt), &module);
    for (const int other : {0, 5, 6, 7})
        if (other != answersAt)
            QCOMPARE(bus.Module(other), nullptr);
}

void TestSimBus::tvrOnThreeAddresses()
{
    SimBus bus;
    SimModule &tvr = bus.AddModule("20", "10200600");
    SimModule &plain = bus.AddModule("4013", "0A200600");
    QVERIFY(tvr.tvr);
    QCOMPARE(tvr.typeId, QByteArray("4013"));
    QCOMPARE(bus.Module(0x10), &tvr);
    QCOMPARE(bus.Module(0x11), &tvr);
    QCOMPARE(bus.Module(0x12), &tvr);
    QCOMPARE(bus.Module(0x13), nullptr);

    QCOMPARE(bus.Answer(Cmd("$10M")), QByteArray("!104013\r"));
    QVERIFY(bus.Answer(Cmd("@10G")).startsWith('>'));
    QCOMPARE(bus.Answer(Cmd("$11M")), QByteArray("?11\r"));
    QCOMPARE(bus.Answer(Cmd("@11G")), QByteArray("?11\r"));
    QCOMPARE(bus.Answer(Cmd("$106")), QByteArray("?10\r"));
    tvr.status = 0xA5;
    QCOMPARE(bus.Answer(Cmd("$126")), QByteArray("!A5\r"));
    tvr.frozen = true;
    tvr.stackValue = 151.25;
    QCOMPARE(bus.Answer(Cmd("#11")), QByteArray(">+151.25\r"));

    // Only the Tvr 5x knows the '@' commands; a plain 4013 stays silent, which is how the search tells them
    // apart.
    for (const char *command : {"@0AG", "@0AR", "@0AE", "@0AC"})
        QCOMPARE(bus.Answer(Cmd(command)), QByteArray());
    QCOMPARE(bus.Answer(Cmd("#0B")), QByteArray());
    QVERIFY(!plain.tvr);

    // A new address moves all three; in INIT they are 00, 01 and 02.
    QCOMPARE(bus.Answer(Cmd("%1020200600")), QByteArray("!20\r"));
    QCOMPARE(bus.Module(0x22), &tvr);
    QCOMPARE(bus.Module(0x10), nullptr);
    tvr.initMode = true;
    QCOMPARE(bus.Module(0x02), &tvr);
    QCOMPARE(bus.Answer(Cmd("#01")), QByteArray(">+151.25\r"));
    QCOMPARE(bus.Module(0x20), nullptr);
}

void TestSimBus::refusalsAndSilence_data()
{
    struct Row
    {
        const char *name, *type, *config, *command, *reply;
    };
    // Type, configuration, command without CR ("" for none), reply ("?" for the module's refusal).
    const Row rows[] = {
        {"unknown letter", "4013", "0A200600", "$0AZ", "?"},
        {"nothing at the address", "4013", "0A200600", "$0BM", ""},
        {"no command character", "4013", "0A200600", "x0AM", ""},
        {"address not hex", "4013", "0A200600", "$G1M", ""},
        {"lower-case address", "4013", "0A200600", "$0aM", "!0A4013\r"},
        {"4013 range code 30", "4013", "0A200600", "%0A0A300600", "?"},
        {"4013 format bits 5..2", "4013", "0A200600", "%0A0A200604", "?"},
        {"4017 baud code 08", "4017", "0A080600", "%0A0A080800", "?"},
        {"4017 channel 8", "4017", "0A080600", "#0A8", "?"},
        {"4017 mask of one digit", "4017", "0A080600", "$0A55", "?"},
        {"4021 above 20 mA", "4021", "0A310600", "#0A20.001", "?"},
        {"4021 below 4 mA", "4021", "0A310600", "#0A03.999", "?"},
        {"4021 hex value in engineering format", "4021", "0A310600", "#0AFFF", "?"},
        {"4021 slew code 12", "4021", "0A310600", "%0A0A310630", "?"},
        {"4050 channel 8", "4050", "0A400600", "#0A1801", "?"},
        {"4050 state 2", "4050", "0A400600", "#0A1302", "?"},
        {"4060 relay 4", "4060", "0A400600", "#0A1401", "?"},
        {"4060 value 10", "4060", "0A400600", "#0A0010", "?"},
        {"4052 has no outputs", "4052", "0A400600", "#0A0001", "?"},
        {"4113 takes no calibration", "4113", "0A200600", "$0A0", "?"},
        {"4413 range code 21", "4413", "0A200600", "%0A0A210600", "?"},
        {"unknown type knows its name", "4018", "0A400600", "$0AM", "!0A4018\r"},
        {"unknown type knows no data", "4018", "0A400600", "$0A6", "?"},
        {"Tvr clock with a bad month", "20", "0A200600", "@0AP07132401123005", "?"},
        {"Tvr limit X0", "20", "0A200600", "@0AT044", "?"},
        {"Tvr pointer of three digits", "20", "0A200600", "@0AS100", "?"},
    };
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QByteArray>("reply");
    for (const Row &row : rows)
        QTest::newRow(row.name) << QByteArray(row.type) << QByteArray(row.config) << Cmd(row.command)
                                << (QByteArray(row.reply) == "?" ? QByteArray("?0A\r")
                                                                 : QByteArray(row.reply));
    QTest::newRow("no CR yet") << QByteArray("4013") << QByteArray("0A200600") << QByteArray("$0AM")
                               << QByteArray();
}

void TestSimBus::refusalsAndSilence()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, config);
    QFETCH(QByteArray, command);
    QFETCH(QByteArray, reply);

    SimBus bus;
    SimModule &module = bus.AddModule(type, config);
    QCOMPARE(bus.Answer(command), reply);
    if (reply.startsWith('?'))
        QCOMPARE(module.Config(), config); // a refused write changes nothing
}

void TestSimBus::commandsChangeTheModule()
{
    SimBus bus;
    bus.SetFrozen(true);
    bus.AddModule("4021", "0A310600");
    bus.AddModule("4017", "0B080600");
    bus.AddModule("4050", "0C400600");
    bus.AddModule("4060", "0D400600");
    bus.AddModule("20", "10200602");

    QCOMPARE(bus.Answer(Cmd("#0A12.345")), QByteArray(">\r"));
    QCOMPARE(bus.Answer(Cmd("$0A6")), QByteArray("!0A12.345\r"));
    QCOMPARE(bus.Answer(Cmd("$0A8")), QByteArray("!0A12.345\r")); // no slew: the output follows at once

    QCOMPARE(bus.Answer(Cmd("$0B505")), QByteArray("!0B05\r"));
    QCOMPARE(bus.Answer(Cmd("$0B6")), QByteArray("!0B05\r"));

    QCOMPARE(bus.Answer(Cmd("#0C1301")), QByteArray(">\r"));
    QCOMPARE(bus.Answer(Cmd("#0C1001")), QByteArray(">\r"));
    QVERIFY(bus.Answer(Cmd("$0C6")).startsWith("!09"));
    QCOMPARE(bus.Answer(Cmd("#0C1300")), QByteArray(">\r"));
    QVERIFY(bus.Answer(Cmd("$0C6")).startsWith("!01"));
    QCOMPARE(bus.Answer(Cmd("#0C00A5")), QByteArray(">\r"));
    QVERIFY(bus.Answer(Cmd("$0C6")).startsWith("!A5"));

    QCOMPARE(bus.Answer(Cmd("#0D0005")), QByteArray(">\r"));
    QCOMPARE(bus.Answer(Cmd("$0D6")), QByteArray("!050000\r"));
    QCOMPARE(bus.Answer(Cmd("#0D1301")), QByteArray(">\r"));
    QCOMPARE(bus.Answer(Cmd("$0D6")), QByteArray("!0D0000\r"));

    QCOMPARE(bus.Answer(Cmd("@10T344")), QByteArray("!10\r"));
    QCOMPARE(bus.Answer(Cmd("@10T9FF")), QByteArray("!10\r"));
    const QByteArray limits = bus.Answer(Cmd("@10R"));
    QCOMPARE(Copy(limits, 6, 2), QByteArray("44"));
    QCOMPARE(Copy(limits, 18, 2), QByteArray("FF"));
    QCOMPARE(bus.Answer(Cmd("@10K2F")), QByteArray("!10\r"));
    QCOMPARE(bus.Answer(Cmd("@10C")), QByteArray(">2F\r"));
    QCOMPARE(bus.Answer(Cmd("@10N01")), QByteArray("!10\r"));
    QCOMPARE(bus.Answer(Cmd("@10I")), QByteArray(">01\r"));
    QCOMPARE(bus.Answer(Cmd("@10S01F8")), QByteArray("!10\r"));
    QCOMPARE(bus.Answer(Cmd("@10E")), QByteArray(">01F8\r"));
    // The clock digits of the editor: 24.12.07, day 1, 12:30:05.
    QCOMPARE(bus.Answer(Cmd("@10P07122401123005")), QByteArray("!10\r"));
    QCOMPARE(bus.Answer(Cmd("@10G")), QByteArray(">07/12/24 1 12:30:05\r"));
}

void TestSimBus::clockRuns()
{
    SimModule module("20", "10200602");
    module.SetClock(QDateTime(QDate(2008, 3, 3), QTime(23, 59, 59)), 1, 5000);
    QCOMPARE(module.ClockAt(5000), QDateTime(QDate(2008, 3, 3), QTime(23, 59, 59)));
    QCOMPARE(module.ClockAt(5000 + 61000), QDateTime(QDate(2008, 3, 4), QTime(0, 1, 0)));
    QCOMPARE(module.WeekdayAt(5000 + 999), 1);
    QCOMPARE(module.WeekdayAt(5000 + 1000), 2);
    QCOMPARE(module.WeekdayAt(5000 + 7 * 86400000LL), 1);
    module.frozen = true;
    QCOMPARE(module.ClockAt(5000 + 61000), QDateTime(QDate(2008, 3, 3), QTime(23, 59, 59)));
}

void TestSimBus::readingsInEachFormat_data()
{
    struct Row
    {
        const char *name, *type, *config, *command;
        double value;
        const char *reply;
    };
    const Row rows[] = {
        // 4013: engineering units, % of the full scale, two's complement of the full scale, sensor
        // resistance.
        {"4013 units", "4013", "0A200600", "#0A", 23.45, ">+023.45\r"},
        {"4013 units negative", "4013", "0A200600", "#0A", -7.5, ">-007.50\r"},
        {"4013 no negative zero", "4013", "0A200600", "#0A", -0.001, ">+000.00\r"},
        {"4013 units clamp at the width", "4013", "0A230600", "#0A", 1234.5, ">+999.99\r"},
        {"4013 percent of 600", "4013", "0A230601", "#0A", 300.0, ">+050.00\r"},
        {"4013 hex half scale", "4013", "0A200602", "#0A", 50.0, ">4000\r"},
        {"4013 hex negative half", "4013", "0A200602", "#0A", -50.0, ">C000\r"},
        {"4013 ohms Pt100 at 0", "4013", "0A200603", "#0A", 0.0, ">+100.00\r"},
        {"4013 ohms Pt100 at 100", "4013", "0A210603", "#0A", 100.0, ">+138.50\r"},
        // The Tvr 5x in hex format reports its temperature code; the ends of its characteristic are fixed.
        {"Tvr code at -50", "20", "0A200602", "#0A", -50.0, ">0000\r"},
        {"Tvr code at 300", "20", "0A200602", "#0A", 300.0, ">FF00\r"},
        {"4513 kPa", "4513", "0A200600", "#0A", 101.3, ">+101.30\r"},
        {"4613 percent of 500 Pa", "4613", "0A200601", "#0A", 125.0, ">+025.00\r"},
        // 4017 channels in the resolution of each range.
        {"4017 10 V", "4017", "0A080600", "#0A3", 7.2111, ">+07.211\r"},
        {"4017 1 V", "4017", "0A0A0600", "#0A3", -0.2345, ">-0.2345\r"},
        {"4017 150 mV", "4017", "0A0C0600", "#0A3", 125.0, ">+125.00\r"},
        // 4021 last value in its three formats (4..20 mA).
        {"4021 units", "4021", "0A310600", "$0A6", 4.0, "!0A04.000\r"},
        {"4021 percent", "4021", "0A310601", "$0A6", 12.0, "!0A+050.00\r"},
        {"4021 hex full", "4021", "0A310602", "$0A6", 20.0, "!0AFFF\r"},
    };
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("reply");
    for (const Row &row : rows)
        QTest::newRow(row.name) << QByteArray(row.type) << QByteArray(row.config) << Cmd(row.command)
                                << row.value << QByteArray(row.reply);
}

void TestSimBus::readingsInEachFormat()
{
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, config);
    QFETCH(QByteArray, command);
    QFETCH(double, value);
    QFETCH(QByteArray, reply);

    SimBus bus;
    bus.SetFrozen(true);
    SimModule &module = bus.AddModule(type, config);
    module.value = value;
    module.channels[3] = value;
    module.outputValue = value;
    QCOMPARE(bus.Answer(command), reply);
}

void TestSimBus::liveValuesMoveDeterministically()
{
    const auto run = [](quint32 seed, bool frozen) {
        SimBus bus(seed);
        bus.AddModule("4013", "0A200600");
        bus.AddModule("4052", "0B400600");
        bus.AddModule("4017", "0C080600");
        bus.SetFrozen(frozen);
        QList<QByteArray> replies;
        for (int round = 0; round < 40; ++round)
            for (const char *command : {"#0A", "$0B6", "#0C2"})
                replies.append(bus.Answer(Cmd(command)));
        return replies;
    };
    const QList<QByteArray> first = run(7, false);
    QCOMPARE(run(7, false), first);
    QVERIFY(run(8, false) != first);
    // Every kind of value shows life, and none when frozen.
    for (int kind = 0; kind < 3; ++kind) {
        QSet<QByteArray> moving;
        QSet<QByteArray> still;
        const QList<QByteArray> frozen = run(7, true);
        for (qsizetype index = kind; index < first.size(); index += 3) {
            moving.insert(first[index]);
            still.insert(frozen[index]);
        }
        QVERIFY2(moving.size() > 2, qPrintable(QString::number(kind)));
        QCOMPARE(still.size(), 1);
    }
}

void TestSimBus::memoryRecords()
{
    SimBus bus;
    SimModule &tvr = bus.AddModule("20", "10200602");
    // A fresh controller has logged for a while: records before the pointer, erased memory after it.
    const QByteArray pointerReply = bus.Answer(Cmd("@10E"));
    const int pointer = HexToInt(Copy(pointerReply, 2, 4));
    QVERIFY(pointer >= 16);
    QCOMPARE(pointer % 8, 0);
    const QByteArray last = bus.Answer(Cmd("@10D" + HexDigits(pointer - 8, 4)));
    QCOMPARE(last.size(), 18);
    const QList<int> limits = {59, 59, 23, 31, 12}; // BCD seconds, minutes, hours, day, month
    for (int field = 0; field < 5; ++field) {
        const QByteArray digits = Copy(last, 2 + 2 * field, 2);
        const bool decimal = digits.size() == 2 && std::isdigit(digits[0]) && std::isdigit(digits[1]);
        QVERIFY2(decimal && digits.toInt() <= limits[field], last.constData());
    }
    QCOMPARE(bus.Answer(Cmd("@10D" + HexDigits(pointer, 4))), QByteArray(">FFFFFFFFFFFFFFFF\r"));

    // A logged record: time and date in BCD, the two temperature codes, the status byte.
    tvr.frozen = true;
    tvr.SetClock(QDateTime(QDate(2008, 3, 24), QTime(12, 30, 5)), 1, bus.ElapsedMs());
    tvr.value = -50;
    tvr.stackValue = 300;
    tvr.status = 0x01;
    tvr.LogRecord(bus.ElapsedMs());
    QCOMPARE(bus.Answer(Cmd("@10D" + HexDigits(pointer, 4))), QByteArray(">053012240300FF01\r"));
    QCOMPARE(bus.Answer(Cmd("@10E")), ">" + HexDigits(pointer + 8, 4) + CR);

    // Left running, the controller goes on logging.
    tvr.frozen = false;
    for (int i = 0; i < 40; ++i)
        bus.Answer(Cmd("#10"));
    QVERIFY(HexToInt(Copy(bus.Answer(Cmd("@10E")), 2, 4)) > pointer + 8);
}

void TestSimBus::transcript()
{
    SimBus bus;
    SimModule &module = bus.AddModule("4050", "0A400600");
    module.loseReplies = 1;
    bus.Answer(Cmd("$0AM"));
    bus.Answer(Cmd("$0BM"));
    bus.Answer(Cmd("$0AM"));
    const QList<SimExchange> exchanges = bus.Transcript();
    QCOMPARE(exchanges.size(), 3);
    QCOMPARE(bus.Commands(), (QList<QByteArray>{Cmd("$0AM"), Cmd("$0BM"), Cmd("$0AM")}));
    QVERIFY(exchanges[0].lost);
    QCOMPARE(exchanges[0].reply, QByteArray());
    QVERIFY(!exchanges[1].lost);
    QCOMPARE(exchanges[1].reply, QByteArray());
    QCOMPARE(exchanges[2].reply, QByteArray("!0A4050\r"));
    QVERIFY(exchanges[0].timeMs <= exchanges[2].timeMs);
    bus.ClearTranscript();
    QVERIFY(bus.Transcript().isEmpty());
}

void TestSimBus::busFileAccepted()
{
    SimBus bus;
    const QString problem =
        LoadBusText(bus, "# a test bus\n"
                         "\n"
                         "4013 01200600\r\n"
                         "  20   10200602   frozen   # Tvr 5x\n"
                         "4113 0b200600 init firmware=B2.0\n"
                         "4060 06400640 lose=2 late=30 noise split bad-checksum lose-every=5\n"
                         "4050 07400600 lose=all\n");
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QList<SimModule *> modules = bus.Modules();
    QCOMPARE(modules.size(), 5);
    QVERIFY(modules[1]->tvr && modules[1]->frozen);
    QCOMPARE(modules[2]->Config(), QByteArray("0B200600"));
    QVERIFY(modules[2]->initMode);
    QCOMPARE(modules[2]->firmware, QByteArray("B2.0"));
    QCOMPARE(bus.Module(0), modules[2]);
    const SimModule &faulty = *modules[3];
    QCOMPARE(faulty.loseReplies, 2);
    QCOMPARE(faulty.lateReplyMs, 30);
    QCOMPARE(faulty.loseEvery, 5);
    QVERIFY(faulty.noise && faulty.splitReplies && faulty.badChecksum);
    QVERIFY(modules[4]->loseAllReplies);
}

void TestSimBus::busFileRejected_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("lineNumber");
    QTest::addColumn<QString>("lineText");

    QTest::newRow("type not a number")
        << QByteArray("4013 01200600\nN770 02400600\n") << 2 << "N770 02400600";
    QTest::newRow("short configuration") << QByteArray("# c\n4013 012006\n") << 2 << "4013 012006";
    QTest::newRow("configuration not hex") << QByteArray("4013 0120060G\n") << 1 << "4013 0120060G";
    QTest::newRow("missing configuration") << QByteArray("\n\n4050\n") << 3 << "4050";
    QTest::newRow("unknown option") << QByteArray("4013 01200600 fast\n") << 1 << "4013 01200600 fast";
    QTest::newRow("bad fault value") << QByteArray("4013 01200600 lose=x\n") << 1 << "4013 01200600 lose=x";
    QTest::newRow("firmware of three")
        << QByteArray("4013 01200600 firmware=1.0\n") << 1 << "4013 01200600 firmware=1.0";
    QTest::newRow("tvr of another type") << QByteArray("4017 01080600 tvr\n") << 1 << "4017 01080600 tvr";
    QTest::newRow("address twice") << QByteArray("4013 05200600\n4050 05400600\n") << 2 << "4050 05400600";
    QTest::newRow("address inside a Tvr")
        << QByteArray("20 04200600\n4050 06400600\n") << 2 << "4050 06400600";
    QTest::newRow("two modules in INIT")
        << QByteArray("4013 05200600 init\n4050 00400600\n") << 2 << "4050 00400600";
}

void TestSimBus::busFileRejected()
{
    QFETCH(QByteArray, text);
    QFETCH(int, lineNumber);
    QFETCH(QString, lineText);

    SimBus bus;
    const QString problem = LoadBusText(bus, text);
    QVERIFY2(problem.startsWith(QStringLiteral("line %1: ").arg(lineNumber)), qPrintable(problem));
    QVERIFY2(problem.endsWith(lineText), qPrintable(problem));
    QVERIFY(bus.Modules().isEmpty()); // a bad line adds nothing, not even the good lines before it
}

void TestSimBus::demoBus()
{
    SimBus bus;
    QCOMPARE(LoadBusText(bus, DemoBusText()), QString());
    QSet<QByteArray> types;
    bool tvr = false;
    bool init = false;
    bool checksum = false;
    QSet<int> otherRates;
    for (SimModule *module : bus.Modules()) {
        // Each module talks at its own rate.
        bus.Line().baud = module->Baud();
        if (module->Baud() != 9600)
            otherRates.insert(module->address);
        types.insert(module->typeId);
        tvr = tvr || module->tvr;
        init = init || module->initMode;
        checksum = checksum || module->UsesChecksum();
        // Every module answers its name where the search would look for it.
        const QByteArray address = HexByte(module->initMode ? 0 : module->address);
        const QByteArray command = "$" + address + "M";
        const QByteArray reply = bus.Answer(module->UsesChecksum() ? WithChecksum(command) : Cmd(command));
        QVERIFY2(reply.startsWith("!" + address + module->typeId), reply.constData());
    }
    const QSet<QByteArray> everyType = {"4013", "4017", "4021", "4050", "4052", "4060", "4113",
                                        "4213", "4313", "4413", "4513", "4613", "4152"};
    QCOMPARE(types, everyType);
    QVERIFY(tvr && init && checksum);
    QCOMPARE(otherRates, (QSet<int>{0x06, 0x0B})); // found only by a search over every rate
}

QTEST_GUILESS_MAIN(TestSimBus)
#include "tst_sim_bus.moc"
