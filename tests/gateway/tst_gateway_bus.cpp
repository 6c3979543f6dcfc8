// One bus of the gateway against navix-sim on a pseudo-terminal: a dead module backs off while the others
// keep their rate, sets go out through the modules' turns and are read back, refused sets put nothing on the
// wire, a simulator killed and started again is found again, and replies that come in pieces are read whole.

#include "gateway/gateway_bus.h"
#include "gateway_test_bus.h"
#include "support/sim_process.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using namespace navix;

namespace {
constexpr int BoundMs = 20000;

struct Done
{
    QByteArray address;
    QString point;
    QString id;
    SetOutcome outcome;
};
} // namespace

class GatewayBusTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void deadModuleBacksOffWhileTheOthersKeepTheirRate();
    void setsGoThroughTheTurnsAndAreReadBack();
    void refusedSetsPutNothingOnTheWire_data();
    void refusedSetsPutNothingOnTheWire();
    void simulatorKilledAndStartedAgain();
    void repliesInPieces();

private:
    bool StartSim(const QStringList &extra = {}, int com = 0);
    void StartBus();
    // Waits for the set's answer.
    Done SetAndWait(const QByteArray &address, const QString &point, double value);
    // The write commands the simulator has heard so far.
    QStringList WritesHeard();
    int Polls(const QByteArray &address, ValueQuality quality) const;

    QTemporaryDir folder;
    std::unique_ptr<SimProcess> sim;
    QByteArray simLog;
    std::unique_ptr<GatewayBus> bus;
    QList<ModuleValues> reads;
};

void GatewayBusTest::initTestCase()
{
    if (!QFileInfo::exists("/dev/ptmx"))
        QSKIP("this system has no pseudo-terminals");
    QVERIFY(UsePrivateRuntimeFolder(folder));
    qputenv("NAVIX_SETTINGS", QFile::encodeName(folder.filePath("navix-utility.conf")));
    QFile busFile(folder.filePath("bus.txt"));
    QVERIFY(busFile.open(QIODevice::WriteOnly));
    busFile.write(SimBusFile);
    QFile modules(folder.filePath("bus1.cfg"));
    QVERIFY(modules.open(QIODevice::WriteOnly));
    modules.write(ModuleFile);
}

bool GatewayBusTest::StartSim(const QStringList &extra, int com)
{
    sim = std::make_unique<SimProcess>();
    simLog.clear();
    QStringList arguments{"--bus", folder.filePath("bus.txt"), "--trace", "--frozen", "--close-grace", "-1"};
    if (com > 0)
        arguments << "--com" << QString::number(com);
    return sim->Start(folder.path(), arguments + extra);
}

void GatewayBusTest::StartBus()
{
    GatewayBusConfig config{.name = "bus1",
                            .port = QStringLiteral("COM%1").arg(sim->comNumber),
                            .baud = 9600,
                            .timeOutMs = 50,
                            .modules = folder.filePath("bus1.cfg"),
                            .modulesDigest = {},
                            .writable = {"0A", "03"}};
    bus = std::make_unique<GatewayBus>(config);
    connect(bus.get(), &GatewayBus::ValuesRead, this,
            [this](const ModuleValues &values) { reads.append(values); });
    QVERIFY(bus->Start());
    QTRY_VERIFY_WITH_TIMEOUT(Polls("0A", ValueQuality::Good) > 0 && Polls("03", ValueQuality::Good) > 0,
                             BoundMs);
}

void GatewayBusTest::init()
{
    reads.clear();
}

void GatewayBusTest::cleanup()
{
    bus.reset();
    sim.reset();
}

int GatewayBusTest::Polls(const QByteArray &address, ValueQuality quality) const
{
    return static_cast<int>(std::count_if(reads.cbegin(), reads.cend(), [&](const ModuleValues &values) {
        return values.address == address && values.quality == quality;
    }));
}

QStringList GatewayBusTest::WritesHeard()
{
    simLog += sim->process.readAllStandardError();
    return OutputWrites(simLog);
}

Done GatewayBusTest::SetAndWait(const QByteArray &address, const QString &point, double value)
{
    std::optional<Done> done;
    const auto connection =
        connect(bus.get(), &GatewayBus::SetDone, this,
                [&done](const QByteArray &a, const QString &p, const QString &id, const SetOutcome &outcome) {
                    done = Done{a, p, id, outcome};
                });
    bus->Set(address, point, value, "request-1");
    if (!QTest::qWaitFor([&] { return done.has_value(); }, BoundMs))
        qWarning() << "no answer to the set within" << BoundMs << "ms";
    disconnect(connection);
    return done.value_or(Done{{}, {}, {}, {false, 0, "no answer"}});
}

void GatewayBusTest::deadModuleBacksOffWhileTheOthersKeepTheirRate()
{
    QVERIFY(StartSim());
    StartBus();
    QTRY_VERIFY_WITH_TIMEOUT(Polls("01", ValueQuality::Absent) > 0, BoundMs);
    // While the 4050 is read twenty times more, the dead 4013 is asked at most once or twice (its back-off
    // begins at two seconds); without one it would be asked in every cycle.
    const int deadBefore = Polls("01", ValueQuality::Absent);
    const int aliveBefore = Polls("0A", ValueQuality::Good);
    QTRY_VERIFY_WITH_TIMEOUT(Polls("0A", ValueQuality::Good) >= aliveBefore + 20, BoundMs);
    QVERIFY2(Polls("01", ValueQuality::Absent) - deadBefore <= 2,
             qPrintable(QString::number(Polls("01", ValueQuality::Absent) - deadBefore)));
    // Nothing good ever came from it, and the figures count its time-outs.
    QCOMPARE(Polls("01", ValueQuality::Good), 0);
    const BusMetrics metrics = bus->TakeMetrics();
    QVERIFY(metrics.modules["01"].timeOuts >= 3);
    QCOMPARE(metrics.modules["0A"].timeOuts, 0u);
    QVERIFY(metrics.modules["0A"].roundTripP95 > 0);
    QVERIFY(metrics.cycleMs > 0);
}

void GatewayBusTest::setsGoThroughTheTurnsAndAreReadBack()
{
    QVERIFY(StartSim());
    StartBus();
    Done done = SetAndWait("0A", "do2", 1);
    QVERIFY2(done.outcome.ok, qPrintable(done.outcome.error));
    QCOMPARE(done.outcome.value, 1.0);
    QCOMPARE(done.id, QString("request-1"));
    QTRY_COMPARE_WITH_TIMEOUT(WritesHeard(), QStringList{"#0A1201"}, BoundMs);
    // The module's own read says so too, in the poll after the answer.
    QTRY_VERIFY_WITH_TIMEOUT(
        !reads.isEmpty() && reads.last().address == "0A" && reads.last().values.value(2) == 1.0, BoundMs);

    done = SetAndWait("03", "ao0", 12.5);
    QVERIFY2(done.outcome.ok, qPrintable(done.outcome.error));
    QCOMPARE(done.outcome.value, 12.5);
    QTRY_COMPARE_WITH_TIMEOUT(WritesHeard().last(), QString("#0312.500"), BoundMs);
}

void GatewayBusTest::refusedSetsPutNothingOnTheWire_data()
{
    QTest::addColumn<QByteArray>("address");
    QTest::addColumn<QString>("point");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("error");
    QTest::newRow("module not writable") << QByteArray("05") << "di0" << 1.0 << "readonly";
    QTest::newRow("dead module not writable") << QByteArray("01") << "ai0" << 1.0 << "readonly";
    QTest::newRow("no such output") << QByteArray("0A") << "do8" << 1.0 << "readonly";
    QTest::newRow("digital output not 0 or 1") << QByteArray("0A") << "do0" << 2.0 << "range";
    QTest::newRow("below 4 mA") << QByteArray("03") << "ao0" << 3.9 << "range";
    QTest::newRow("above 20 mA") << QByteArray("03") << "ao0" << 20.5 << "range";
}

void GatewayBusTest::refusedSetsPutNothingOnTheWire()
{
    QFETCH(QByteArray, address);
    QFETCH(QString, point);
    QFETCH(double, value);
    QFETCH(QString, error);
    if (!sim) {
        QVERIFY(StartSim());
        StartBus();
    }
    const Done done = SetAndWait(address, point, value);
    QVERIFY(!done.outcome.ok);
    QCOMPARE(done.outcome.error, error);
    // The polls go on; a later read of the module shows that the line went on without a write.
    const int polls = Polls("0A", ValueQuality::Good);
    QTRY_VERIFY_WITH_TIMEOUT(Polls("0A", ValueQuality::Good) > polls + 1, BoundMs);
    QCOMPARE(WritesHeard(), QStringList());
    sim->process.readAllStandardError();
}

void GatewayBusTest::simulatorKilledAndStartedAgain()
{
    QVERIFY(StartSim());
    StartBus();
    const int com = sim->comNumber;
    ::kill(static_cast<pid_t>(sim->process.processId()), SIGKILL);
    QVERIFY(sim->process.waitForFinished(BoundMs));
    QTRY_VERIFY_WITH_TIMEOUT(Polls("0A", ValueQuality::Absent) > 0, BoundMs);
    QVERIFY(!bus->IsPortOpen());
    const int good = Polls("0A", ValueQuality::Good);
    QVERIFY(StartSim({}, com));
    QTRY_VERIFY_WITH_TIMEOUT(Polls("0A", ValueQuality::Good) > good, BoundMs);
    QVERIFY(bus->IsPortOpen());
}

void GatewayBusTest::repliesInPieces()
{
    QVERIFY(StartSim({"--split"}));
    StartBus();
    QTRY_VERIFY_WITH_TIMEOUT(Polls("0A", ValueQuality::Good) >= 5 && Polls("03", ValueQuality::Good) >= 5 &&
                                 Polls("05", ValueQuality::Good) >= 5,
                             BoundMs);
    QCOMPARE(Polls("0A", ValueQuality::WrongChecksum) + Polls("0A", ValueQuality::Lost), 0);
    const Done done = SetAndWait("0A", "do7", 1);
    QVERIFY2(done.outcome.ok, qPrintable(done.outcome.error));
}

QTEST_GUILESS_MAIN(GatewayBusTest)
#include "tst_gateway_bus.moc"
