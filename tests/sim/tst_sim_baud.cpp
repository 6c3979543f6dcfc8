// The simulated modules and baud rates: each module answers only at the rate of its baud code, silent (or
// with --garble a few characters of garbage) at any other; the navix-sim program hears the rate the program
// sets on its pseudo-terminal; a baud change in INIT moves the module to its new rate.

#include "bus/serial_port.h"
#include "bus/text.h"
#include "bus/transaction_engine.h"
#include "sim/sim_bus.h"
#include "support/recording_tool.h"
#include "support/sim_process.h"
#include "workspace/bus_session.h"

#include <QFileInfo>
#include <QTest>

using namespace navix;

namespace {
constexpr int ReplyTimeOutMs = 300;

} // namespace

class SimBaudTest : public QObject
{
    Q_OBJECT
private slots:
    void answersOnlyAtItsOwnRate_data();
    void answersOnlyAtItsOwnRate();
    void commandAtAnotherRateChangesNothing();
    void baudChangeInInitMovesTheModule();
    void programHearsTheRateItSets();
};

void SimBaudTest::answersOnlyAtItsOwnRate_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<int>("lineBaud");
    QTest::addColumn<bool>("garble");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("9600 at 9600") << QByteArray("01400600") << 9600 << false << QByteArray("!014060\r");
    QTest::newRow("1200 at 1200") << QByteArray("01400300") << 1200 << false << QByteArray("!014060\r");
    QTest::newRow("38400 at 38400") << QByteArray("01400800") << 38400 << false << QByteArray("!014060\r");
    QTest::newRow("19200 at 9600") << QByteArray("01400700") << 9600 << false << QByteArray();
    QTest::newRow("9600 at 4800") << QByteArray("01400600") << 4800 << false << QByteArray();
    QTest::newRow("19200 at 9600, garbled")
        << QByteArray("01400700") << 9600 << true << SimFaults::GarbleText;
    QTest::newRow("garble at the right rate")
        << QByteArray("01400700") << 19200 << true << QByteArray("!014060\r");
    QTest::newRow("code outside the table") << QByteArray("01400900") << 9600 << false << QByteArray();
}

void SimBaudTest::answersOnlyAtItsOwnRate()
{
    QFETCH(QByteArray, config);
    QFETCH(int, lineBaud);
    QFETCH(bool, garble);
    QFETCH(QByteArray, reply);
    SimBus bus;
    bus.AddModule("4060", config);
    bus.Line().baud = lineBaud;
    bus.faults.garble = garble;
    QCOMPARE(bus.Answer("$01M\r"), reply);
    // An address where nothing is stays silent at every rate, garble or not.
    QCOMPARE(bus.Answer("$02M\r"), QByteArray());
}

void SimBaudTest::commandAtAnotherRateChangesNothing()
{
    SimBus bus;
    SimModule &module = bus.AddModule("4060", "01400700");
    bus.Line().baud = 9600;
    QCOMPARE(bus.Answer("%0102400700\r"), QByteArray());
    QCOMPARE(module.address, 1);
    // Two modules at one address but at different rates: each hears only its own rate.
    bus.AddModule("4050", "01400600");
    QCOMPARE(bus.Answer("$01M\r"), QByteArray("!014050\r"));
    bus.Line().baud = 19200;
    QCOMPARE(bus.Answer("$01M\r"), QByteArray("!014060\r"));
}

void SimBaudTest::baudChangeInInitMovesTheModule()
{
    SimBus bus;
    SimModule &module = bus.AddModule("4060", "0A400600");
    module.initMode = true;
    bus.Line().baud = 9600;
    // The acknowledgement still comes at the old rate; from then on the module talks at 19200 only.
    QCOMPARE(bus.Answer("%000A400700\r"), QByteArray("!0A\r"));
    QCOMPARE(bus.Answer("$002\r"), QByteArray());
    bus.Line().baud = 19200;
    QCOMPARE(bus.Answer("$002\r"), QByteArray("!00400700\r"));
}

void SimBaudTest::programHearsTheRateItSets()
{
    QTemporaryDir runtimeFolder;
    QVERIFY(UsePrivateRuntimeFolder(runtimeFolder));
    if (!QFileInfo::exists("/dev/ptmx"))
        QSKIP("this system has no pseudo-terminals");
    const QString busFile = runtimeFolder.filePath("bus.txt");
    QFile file(busFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("4060 01400600\n4060 02400700\n4513 03200500\n");
    file.close();
    SimProcess sim;
    QVERIFY(sim.Start(runtimeFolder.path(), {"--bus", busFile, "--garble"}));

    BusSession session;
    TApdComPort &port = *session.ComPort();
    port.SetComNumber(static_cast<quint16>(sim.comNumber));
    port.SetOpen(true);
    QVERIFY(port.IsOpen());
    TransactionEngine &engine = session.Engine();
    BusRouter &router = session.Router();
    RecordingTool tool;
    engine.SetPacingTag(VeryFast);
    engine.SetTimeOutMs(ReplyTimeOutMs);
    router.RegisterTool(ToolKind::Terminal, &tool);
    QVERIFY(router.RequestBus(ToolKind::Terminal));
    const auto ask = [&](const QByteArray &command) {
        const qsizetype before = tool.replies.size();
        engine.SendCommand({.command = command, .expectedLength = 8});
        return QTest::qWaitFor([&] { return tool.replies.size() > before; }, 5000) ? tool.replies.last()
                                                                                   : QByteArray("(none)");
    };

    struct Row
    {
        int baud;
        QList<QByteArray> replies; // to $01M, $02M, $03M
    };
    const QList<Row> table = {
        {9600, {"!014060\r", "", ""}}, {19200, {"", "!024060\r", ""}}, {4800, {"", "", "!034513\r"}}};
    for (const Row &row : table) {
        port.SetBaud(row.baud);
        QCOMPARE(port.Baud(), row.baud);
        QCOMPARE((QList<QByteArray>{ask("$01M\r"), ask("$02M\r"), ask("$03M\r")}), row.replies);
    }
    // With --garble the module at another rate brings garbage: the program reads it raw, and no frame.
    port.SetBaud(9600);
    QCOMPARE(ask("$02M\r"), QByteArray());
    const qsizetype before = tool.replies.size();
    engine.SendCommand({.command = "$02M\r",
                        .receiveMode = ReceiveMode::RawMode,
                        .startChar = ' ',
                        .endChar = ' ',
                        .expectedLength = 0});
    QTRY_VERIFY_WITH_TIMEOUT(tool.replies.mid(before).join().contains(SimFaults::GarbleText), 5000);
    QCOMPARE(ask("$01M\r"), QByteArray("!014060\r"));
    port.SetOpen(false);
}

QTEST_GUILESS_MAIN(SimBaudTest)
#include "tst_sim_baud.moc"
