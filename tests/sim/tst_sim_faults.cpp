// Faults of the simulated bus as the program's engine meets them, and the timing of replies on the line.

#include "engine_harness.h"

#include "bus/text.h"
#include "sim/sim_delivery.h"

#include <QElapsedTimer>
#include <QSignalSpy>

using namespace navix;

namespace {
QByteArray AskName(EngineHarness &harness)
{
    return harness.Exchange("$0AM\r", false, ReceiveMode::CheckedFrame, '!', CR, 8);
}
} // namespace

class TestSimFaults : public QObject
{
    Q_OBJECT
private slots:
    void lostReplies_data();
    void lostReplies();
    void badChecksum();
    void noiseBeforeTheStart();
    void splitReplies();
    void lateReplies();
    void deliveryPlan_data();
    void deliveryPlan();
    void lineTimingThroughTheEngine();
    void lineCarriesOneReplyAtATime();
};

void TestSimFaults::lostReplies_data()
{
    QTest::addColumn<bool>("onBus");
    QTest::addColumn<int>("loseReplies");
    QTest::addColumn<bool>("loseAll");
    QTest::addColumn<int>("loseEvery");
    QTest::addColumn<QList<bool>>("delivered");

    const QList<bool> firstTwoLost{false, false, true, true, true, true};
    const QList<bool> everyThird{true, true, false, true, true, false};
    const QList<bool> none{false, false, false, false, false, false};
    QTest::newRow("module loses the next two") << false << 2 << false << 0 << firstTwoLost;
    QTest::newRow("bus loses the next two") << true << 2 << false << 0 << firstTwoLost;
    QTest::newRow("module loses every third") << false << 0 << false << 3 << everyThird;
    QTest::newRow("bus loses every third") << true << 0 << false << 3 << everyThird;
    QTest::newRow("module loses all") << false << 0 << true << 0 << none;
}

void TestSimFaults::lostReplies()
{
    QFETCH(bool, onBus);
    QFETCH(int, loseReplies);
    QFETCH(bool, loseAll);
    QFETCH(int, loseEvery);
    QFETCH(QList<bool>, delivered);

    EngineHarness harness;
    SimModule &module = harness.bus.AddModule("4013", "0A200600");
    SimFaults &faults = onBus ? harness.bus.faults : module;
    faults.loseReplies = loseReplies;
    faults.loseAllReplies = loseAll;
    faults.loseEvery = loseEvery;
    for (const bool expected : delivered)
        QCOMPARE(AskName(harness), expected ? QByteArray("!0A4013\r") : QByteArray());
    QCOMPARE(harness.LogTexts().count("Time out !"), delivered.count(false));
    int lost = 0;
    for (const SimExchange &exchange : harness.bus.Transcript())
        lost += exchange.lost ? 1 : 0;
    QCOMPARE(lost, delivered.count(false));
}

void TestSimFaults::badChecksum()
{
    EngineHarness harness;
    SimModule &checked = harness.bus.AddModule("4013", "0A200640");
    SimModule &plain = harness.bus.AddModule("4017", "0B080600");
    checked.badChecksum = true;
    plain.badChecksum = true;

    QCOMPARE(harness.Exchange("$0AM\r", true, ReceiveMode::CheckedFrame, '!', CR, 8), QByteArray());
    QCOMPARE(harness.LogTexts().count("Wrong checksum !"), 1);
    QCOMPARE(harness.LogTexts().count("Time out !"), 0);
    // A mode 2 frame read short of the CR fails the same way.
    harness.bus.faults.badChecksum = true;
    checked.badChecksum = false;
    QCOMPARE(harness.Exchange("$0A2\r", true, ReceiveMode::UncheckedFrame, '!', ' ', 10), QByteArray());
    QCOMPARE(harness.LogTexts().count("Wrong checksum !"), 2);
    // Without checksum there is nothing to get wrong.
    QCOMPARE(harness.Exchange("$0BM\r", false, ReceiveMode::CheckedFrame, '!', CR, 8),
             QByteArray("!0B4017\r"));
    harness.bus.faults.badChecksum = false;
    QCOMPARE(harness.Exchange("$0AM\r", true, ReceiveMode::CheckedFrame, '!', CR, 8),
             QByteArray("!0A4013\r"));
}

void TestSimFaults::noiseBeforeTheStart()
{
    EngineHarness harness;
    SimModule &module = harness.bus.AddModule("4013", "0A200640");
    module.noise = true;
    QCOMPARE(harness.Exchange("$0AM\r", true, ReceiveMode::CheckedFrame, '!', CR, 8),
             QByteArray("!0A4013\r"));
    const QByteArray sent = harness.bus.Transcript().last().reply;
    QVERIFY(sent.startsWith(SimFaults::NoiseText));
    QCOMPARE(sent.mid(SimFaults::NoiseText.size()), "!0A4013" + ComputeChecksum("!0A4013") + CR);
    for (const char c : SimFaults::NoiseText)
        QVERIFY(c != '!' && c != '>' && c != CR);
}

void TestSimFaults::splitReplies()
{
    EngineHarness harness;
    harness.bus.AddModule("4013", "0A200600");
    harness.bus.faults.splitReplies = true;
    QSignalSpy notifications(&harness.port, &BusPort::TriggerAvail);
    QCOMPARE(AskName(harness), QByteArray("!0A4013\r"));
    QCOMPARE(notifications.size(), 4); // eight characters in pieces of two
    for (const QList<QVariant> &notification : notifications)
        QCOMPARE(notification.first().value<quint16>(), quint16(2));
}

void TestSimFaults::lateReplies()
{
    EngineHarness harness;
    SimModule &module = harness.bus.AddModule("4013", "0A200600");
    module.lateReplyMs = 60;
    harness.engine.SetTimeOutMs(20);
    QCOMPARE(AskName(harness), QByteArray());
    QCOMPARE(harness.LogTexts().count("Time out !"), 1);
    // The late reply still comes and waits in the buffer; it answers nothing and goes, with a row that says
    // so, when the next command is written.
    QTRY_COMPARE_WITH_TIMEOUT(harness.engine.RxBuffer(), QByteArray("!0A4013\r"), 1000);

    harness.engine.SetTimeOutMs(400);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(harness.Exchange("$0A2\r", false, ReceiveMode::CheckedFrame, '!', CR, 10),
             QByteArray("!0A200600\r"));
    QVERIFY(clock.elapsed() >= 60);
    QCOMPARE(harness.engine.CommandLog().Row(1).mid(0, 2),
             QStringList({TransactionEngine::DroppedRowText, "!0A4013"}));
}

void TestSimFaults::deliveryPlan_data()
{
    QTest::addColumn<int>("replyLength");
    QTest::addColumn<int>("commandLength");
    QTest::addColumn<bool>("split");
    QTest::addColumn<int>("lateMs");
    QTest::addColumn<bool>("lineTiming");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("adapterMs");
    QTest::addColumn<QList<qint64>>("timesUs");

    // 10 bits a character: at 9600 baud 4 + 8 characters take 12.5 ms; the reply comes in one piece when its
    // last character is complete, not character by character.
    QTest::newRow("at once") << 8 << 4 << false << 0 << false << 9600 << 0 << QList<qint64>{0};
    QTest::newRow("late") << 8 << 4 << false << 25 << false << 9600 << 0 << QList<qint64>{25000};
    QTest::newRow("split") << 8 << 4 << true << 0 << false << 9600 << 0 << QList<qint64>{0, 1000, 2000, 3000};
    QTest::newRow("split and late") << 9 << 4 << true << 10 << false << 9600 << 0
                                    << QList<qint64>{10000, 11000, 12000, 13000, 14000};
    QTest::newRow("line at 9600") << 8 << 4 << false << 0 << true << 9600 << 0 << QList<qint64>{12500};
    QTest::newRow("line at 1200") << 8 << 4 << false << 0 << true << 1200 << 0 << QList<qint64>{100000};
    // 25 characters of 86.8 us: the moment is kept to the microsecond, not rounded to a millisecond.
    QTest::newRow("line at 115200") << 20 << 5 << false << 0 << true << 115200 << 0 << QList<qint64>{2171};
    QTest::newRow("line and late") << 8 << 4 << false << 7 << true << 9600 << 0 << QList<qint64>{19500};
    QTest::newRow("line and split") << 8 << 4 << true << 0 << true << 9600 << 0
                                    << QList<qint64>{6250, 8334, 10417, 12500};
    // An adapter holds what it receives for its latency time, counted from the first character it holds.
    QTest::newRow("adapter at 115200")
        << 8 << 5 << false << 0 << true << 115200 << 16 << QList<qint64>{521 + 16000};
    QTest::newRow("adapter without line")
        << 8 << 4 << false << 0 << false << 9600 << 16 << QList<qint64>{16000};
    // At 1200 baud a character takes 8.3 ms: two of them fit into each 16 ms the adapter waits.
    QTest::newRow("adapter at 1200") << 8 << 4 << false << 0 << true << 1200 << 16
                                     << QList<qint64>{41667 + 16000, 58334 + 16000, 75000 + 16000,
                                                      91667 + 16000};
    // What fills a packet is handed over at once.
    QTest::newRow("adapter packet") << 70 << 4 << false << 0 << false << 9600 << 16
                                    << QList<qint64>{0, 16000};
}

void TestSimFaults::deliveryPlan()
{
    QFETCH(int, replyLength);
    QFETCH(int, commandLength);
    QFETCH(bool, split);
    QFETCH(int, lateMs);
    QFETCH(bool, lineTiming);
    QFETCH(int, baud);
    QFETCH(int, adapterMs);
    QFETCH(QList<qint64>, timesUs);

    SimOutgoing reply;
    for (int i = 0; i < replyLength; ++i)
        reply.bytes += char('a' + i % 26);
    reply.commandLength = commandLength;
    reply.split = split;
    reply.lateMs = lateMs;
    const QList<TimedPiece> plan = PlanDelivery(reply, {baud, lineTiming, adapterMs});
    QList<qint64> times;
    QByteArray joined;
    for (const TimedPiece &piece : plan) {
        times.append(piece.atUs);
        joined += piece.bytes;
        if (split)
            QVERIFY(piece.bytes.size() <= 2);
        QVERIFY(piece.bytes.size() <= AdapterPacketCharacters);
        // No character comes before the line could have carried it.
        if (lineTiming)
            QVERIFY(piece.atUs >= lateMs * 1000 + LineTimeUs(commandLength + joined.size(), baud) - 1);
    }
    QCOMPARE(times, timesUs);
    QCOMPARE(joined, reply.bytes);
}

void TestSimFaults::lineTimingThroughTheEngine()
{
    // "$0AM" + CR and "!0A4013" + CR are 13 characters: 108 ms at 1200 baud.
    EngineHarness harness;
    harness.bus.AddModule("4013", "0A200300"); // a module at 1200 baud, on a port at its rate
    harness.port.baud = 1200;
    harness.bus.Line() = {1200, true};
    harness.engine.SetTimeOutMs(60);
    QCOMPARE(AskName(harness), QByteArray());
    QTRY_VERIFY_WITH_TIMEOUT(!harness.bus.RepliesPending(), 1000);
    harness.engine.SetTimeOutMs(600);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(AskName(harness), QByteArray("!0A4013\r"));
    QVERIFY(clock.elapsed() >= 108);
}

void TestSimFaults::lineCarriesOneReplyAtATime()
{
    ReplyScheduler scheduler;
    scheduler.line = {2400, true};
    QByteArray received;
    QElapsedTimer clock;
    qint64 doneAt = 0;
    scheduler.SetSink([&](const QByteArray &bytes) {
        received += bytes;
        doneAt = clock.elapsed();
    });
    clock.start();
    // Two replies of ten characters after commands of four: 14 characters each, 58 ms each at 2400 baud.
    scheduler.Send({"0123456789", 4, false, 0}, MonotonicAlarm::NowUs());
    scheduler.Send({"abcdefghij", 4, false, 0}, MonotonicAlarm::NowUs());
    QTRY_COMPARE_WITH_TIMEOUT(received, QByteArray("0123456789abcdefghij"), 1000);
    QVERIFY(doneAt >= 2 * 58);
}

QTEST_GUILESS_MAIN(TestSimFaults)
#include "tst_sim_faults.moc"
