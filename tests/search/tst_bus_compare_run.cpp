// The compare's step machine on a simulated bus whose replies arrive in pieces: a failed module replaced by a
// spare in INIT and a changed range put back, the bus clean after the spare's power-up, and a run broken off
// while it looks for a module or while a module's turn writes.

#include "bus/text.h"
#include "editors/headless_poller.h"
#include "search/bus_compare_run.h"
#include "sim/sim_bus.h"
#include "support/test_workspace.h"

#include <QtTest>

using namespace navix;

namespace {
constexpr int ReplyTimeOutMs = 30;
constexpr int BoundMs = 10000;

// Holds the bus as a tool window does and feeds the run the replies.
struct RunBench : public ToolReplyHandler
{
    RunBench()
    {
        workspace.engine.SetTimeOutMs(ReplyTimeOutMs);
        workspace.timeOutField = ReplyTimeOutMs;
        bus.faults.splitReplies = true;
        bus.Attach(workspace.port);
        workspace.router.RegisterTool(ToolKind::Compare, this);
        // A module of the tree, which the run neither drops nor doubles.
        workspace.modules.AddModule("4060", "0A400600", false);
        workspace.treeItems.append(" (0A) N720");
        file.AddModule("4017", "02080600", false);
        file.AddModule("4050", "04400600", false);
    }
    ~RunBench() override { workspace.router.RegisterTool(ToolKind::Compare, nullptr); }

    void HandleToolReply(const QByteArray &reply) override
    {
        if (run.Running())
            run.ReplyStep(reply);
    }
    bool Compare()
    {
        if (!workspace.router.RequestBus(ToolKind::Compare))
            return false;
        run.Compare(ModulesByAddress(file));
        return QTest::qWaitFor([this] { return !run.Running(); }, BoundMs);
    }
    QStringList Differences() const
    {
        QStringList texts;
        for (const CompareRow &row : run.Rows())
            texts.append(FromWire(row.address) + " " + row.differences.join(","));
        return texts;
    }
    qsizetype Configurations() const
    {
        const QByteArrayList commands = bus.Commands();
        return std::count_if(commands.cbegin(), commands.cend(),
                             [](const QByteArray &command) { return command.startsWith('%'); });
    }

    TestWorkspace workspace;
    SimBus bus;
    ModuleRegistry file;
    BusCompareRun run{workspace, ToolKind::Compare};
};
} // namespace

class BusCompareRunTest : public QObject
{
    Q_OBJECT
private slots:
    void spareReplacesAFailedModule();
    void brokenOffHandsTheBusBack_data();
    void brokenOffHandsTheBusBack();
};

void BusCompareRunTest::spareReplacesAFailedModule()
{
    RunBench bench;
    bench.bus.AddModule("4017", "02090600");                 // range changed on site
    bench.bus.AddModule("4050", "20400600").initMode = true; // the spare out of the box; the file's 04 failed
    const ModuleRecordPtr treeRecord = bench.workspace.modules.AddModule("4017", "02090600", false);
    QVERIFY(bench.Compare());
    QCOMPARE(bench.Differences(), QStringList({"02 range", "04 in INIT"}));
    QCOMPARE(bench.run.Rows().at(1).action, RestoreAction::ConfigureSpare);
    // A compare writes nothing; 00 is asked with reads alone.
    QCOMPARE(bench.Configurations(), 0);
    QVERIFY(bench.bus.Commands().contains("$00M\r"));

    QList<std::pair<QByteArray, RestoreOutcome>> results;
    connect(&bench.run, &BusCompareRun::RowRestored, this,
            [&results](const QByteArray &address, RestoreOutcome outcome) {
                results.append({address, outcome});
            });
    bench.bus.ClearTranscript();
    bench.run.Restore(bench.run.Rows());
    QVERIFY(QTest::qWaitFor([&] { return !bench.run.Running(); }, BoundMs));
    QCOMPARE(results, (QList<std::pair<QByteArray, RestoreOutcome>>{{"02", RestoreOutcome::Done},
                                                                    {"04", RestoreOutcome::Done}}));
    // Each through its turn's configuration command, the spare at 00 where it answers in INIT; read back.
    QByteArrayList written;
    for (const QByteArray &command : bench.bus.Commands())
        if (command.startsWith('%'))
            written.append(command);
    QCOMPARE(written, QByteArrayList({"%0202080600\r", "%0004400600\r"}));
    QVERIFY(bench.bus.Commands().endsWith("$002\r"));
    // The run lent the bus to the editors' cycle and took it back; the tree keeps its records, the one of the
    // module written with what the module now holds.
    QVERIFY(bench.workspace.router.OwnsBus(ToolKind::Compare));
    QCOMPARE(bench.workspace.modules.Count(), 2);
    QCOMPARE(treeRecord->config, QByteArray("02080600"));
    QCOMPARE(bench.workspace.treeItems, QStringList({" (0A) N720"}));

    // Still in INIT the spare answers at 00; powered up without its INIT wire it is the file's module.
    QVERIFY(bench.Compare());
    QCOMPARE(bench.Differences(), QStringList({"02 ", "04 in INIT"}));
    for (SimModule *module : bench.bus.Modules())
        module->initMode = false;
    QVERIFY(bench.Compare());
    QCOMPARE(bench.Differences(), QStringList({"02 ", "04 "}));
}

void BusCompareRunTest::brokenOffHandsTheBusBack_data()
{
    QTest::addColumn<bool>("restore");  // broken off in a restore, else in a compare
    QTest::addColumn<QByteArray>("at"); // the command after which the run is broken off
    QTest::newRow("looking for a module") << false << QByteArray("$04M\r");
    QTest::newRow("while its turn writes") << true << QByteArray("%0202080600\r");
}

void BusCompareRunTest::brokenOffHandsTheBusBack()
{
    QFETCH(bool, restore);
    QFETCH(QByteArray, at);
    RunBench bench;
    bench.bus.AddModule("4017", "02090600");
    bench.bus.AddModule("4060", "0A400600");
    if (restore)
        QVERIFY(bench.Compare());
    bool brokenOff = false;
    connect(&bench.bus, &SimBus::Exchanged, this, [&](const SimExchange &exchange) {
        if (exchange.command == at && !brokenOff) {
            brokenOff = true;
            bench.run.Cancel();
        }
    });
    if (restore) {
        bench.run.Restore(bench.run.Rows());
    } else {
        QVERIFY(bench.workspace.router.RequestBus(ToolKind::Compare));
        bench.run.Compare(ModulesByAddress(bench.file));
    }
    QVERIFY(QTest::qWaitFor([&] { return brokenOff; }, BoundMs));
    QVERIFY(!bench.run.Running());
    // What a tool window does as it closes: it gives the bus back once the reply on the wire is in.
    TransactionEngine &engine = bench.workspace.engine;
    QVERIFY(QTest::qWaitFor([&] { return !engine.AwaitingReply() && !engine.CommandWaiting(); }, BoundMs));
    if (bench.workspace.router.OwnsBus(ToolKind::Compare))
        bench.workspace.router.ReleaseBus();

    // The editors' cycle has the bus: a module of the tree is polled, and the run asks nothing more.
    HeadlessPoller poller(bench.workspace);
    QVERIFY(poller.Open(bench.workspace.modules.FindForOpen("0A")));
    const qsizetype after = bench.bus.Commands().lastIndexOf(at);
    QVERIFY(QTest::qWaitFor([&] { return bench.bus.Commands().mid(after).count("$0A6\r") >= 2; }, BoundMs));
    const QByteArrayList since = bench.bus.Commands().mid(after + 1);
    QVERIFY2(std::all_of(since.cbegin(), since.cend(),
                         [](const QByteArray &command) { return command.startsWith("$0A"); }),
             since.join(' ').constData());
    QVERIFY(!bench.workspace.router.OwnsBus(ToolKind::Compare));
    // The record lent to the write's turn is gone again.
    QCOMPARE(bench.workspace.modules.Count(), 1);
}

QTEST_MAIN(BusCompareRunTest)
#include "tst_bus_compare_run.moc"
