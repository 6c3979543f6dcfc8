// The search over every baud rate: the search window with "All baud rates" checked against a simulated bus
// whose modules talk at different rates. What the wire carries at each rate, the captions with their rates,
// where the port is left and what the hint says.

#include "bus/text.h"
#include "search/search_window.h"
#include "sim/sim_bus.h"
#include "support/find_control.h"
#include "support/test_workspace.h"

#include <QtTest>

using namespace navix;

namespace {
constexpr int ReplyTimeOutMs = 20;
constexpr int BoundMs = 10000;

struct AllRatesBench
{
    AllRatesBench()
    {
        workspace.engine.SetTimeOutMs(ReplyTimeOutMs);
        bus.Attach(workspace.port);
    }
    // Shows the window, scans first..last and closes it again.
    bool Search(int first, int last, bool allRates)
    {
        window.show();
        if (!QTest::qWaitFor([this] { return window.Phase() == ScanPhase::Ready; }, BoundMs))
            return false;
        Find<QSpinBox>(window, "FirstAdresSpinEdit")->setValue(first);
        Find<QSpinBox>(window, "SecondAdresSpinEdit")->setValue(last);
        Find<QCheckBox>(window, "AllBaudRatesCheckBox")->setChecked(allRates);
        QTest::mouseClick(Find<QPushButton>(window, "StartScanButton"), Qt::LeftButton);
        if (!QTest::qWaitFor([this] { return !window.Sweep().Running(); }, BoundMs))
            return false;
        finishedHint = workspace.hint;
        QTest::mouseClick(Find<QPushButton>(window, "CancelButton"), Qt::LeftButton);
        return QTest::qWaitFor([this] { return !workspace.router.OwnsBus(ToolKind::Search); }, BoundMs);
    }
    int TimeOuts()
    {
        int count = 0;
        for (int row = 0; row < workspace.engine.CommandLog().Count(); ++row)
            count += workspace.engine.CommandLog().Row(row).contains("Time out !") ? 1 : 0;
        return count;
    }

    TestWorkspace workspace;
    SimBus bus;
    TForm3 window{workspace};
    QString finishedHint;
};
} // namespace

class AllRatesSearchTest : public QObject
{
    Q_OBJECT
private slots:
    void findsModulesAtEveryRate_data();
    void findsModulesAtEveryRate();
    void uncheckedSearchesAtThePortRateOnly();
};

void AllRatesSearchTest::findsModulesAtEveryRate_data()
{
    QTest::addColumn<QByteArrayList>("configs"); // 4060 modules at 01, 02, ...
    QTest::addColumn<QStringList>("captions");   // tree items after the close
    QTest::addColumn<int>("endBaud");            // where the port is left
    QTest::addColumn<QString>("hint");           // once the search is over
    QTest::addColumn<QString>("closeHint");      // after the window closed

    QTest::newRow("three rates") << QByteArrayList{"01400700", "02400500", "03400600"}
                                 << QStringList{" (02) N720 @4800", " (03) N720 @9600", " (01) N720 @19200"}
                                 << 19200
                                 << "Hint: the port stays at 19200 bps, the rate of the last module found"
                                 << "Hint: Available modules... the port stays at 19200 bps, the rate of the "
                                    "last module found";
    QTest::newRow("one address, two rates")
        << QByteArrayList{"01400300", "01400800"} << QStringList{" (01) N720 @1200", " (01) N720 @38400"}
        << 38400 << "Hint: the port stays at 38400 bps, the rate of the last module found"
        << "Hint: Available modules... the port stays at 38400 bps, the rate of the last module found";
    QTest::newRow("nobody") << QByteArrayList{} << QStringList{} << 2400
                            << "Hint: no module at any rate, the port is back at 2400 bps"
                            << "Hint: Available modules...";
}

void AllRatesSearchTest::findsModulesAtEveryRate()
{
    QFETCH(QByteArrayList, configs);
    QFETCH(QStringList, captions);
    QFETCH(int, endBaud);
    QFETCH(QString, hint);
    QFETCH(QString, closeHint);
    AllRatesBench bench;
    bench.workspace.port.baud = 2400;
    for (const QByteArray &config : configs)
        bench.bus.AddModule("4060", config);
    const int last = 3;
    QVERIFY(bench.Search(1, last, true));

    // Every rate a module can be set to, slowest first, through the port panel's path, then the rate of the
    // last find.
    const QList<int> rates = {1200, 2400, 4800, 9600, 19200, 38400};
    QCOMPARE(bench.workspace.baudChanges, QList<int>(rates) << endBaud);
    QCOMPARE(bench.workspace.port.baud, endBaud);
    QCOMPARE(bench.workspace.treeItems, captions);
    QCOMPARE(bench.workspace.modules.Count(), configs.size());
    QCOMPARE(bench.finishedHint, hint);
    QCOMPARE(bench.workspace.hint, closeHint);

    // An empty address costs its two name requests (without and with checksum) at each rate, no more; a
    // module found costs its name and configuration requests.
    const int empty = last * static_cast<int>(rates.size()) - static_cast<int>(configs.size());
    QCOMPARE(bench.TimeOuts(), 2 * empty);
    QCOMPARE(bench.bus.Commands().size(), 2 * empty + 2 * configs.size());
    QCOMPARE(bench.bus.Commands().count("$01M\r"), rates.size());
}

void AllRatesSearchTest::uncheckedSearchesAtThePortRateOnly()
{
    AllRatesBench bench;
    bench.bus.AddModule("4060", "01400700");
    bench.bus.AddModule("4060", "02400600");
    QVERIFY(bench.Search(1, 2, false));
    QVERIFY(bench.workspace.baudChanges.isEmpty());
    QCOMPARE(bench.workspace.treeItems, QStringList{" (02) N720"});
    QCOMPARE(bench.bus.Commands(), (QByteArrayList{"$01M\r", "$01MD2\r", "$02M\r", "$022\r"}));
    QCOMPARE(bench.workspace.hint, QString("Hint: Available modules..."));
}

QTEST_MAIN(AllRatesSearchTest)
#include "tst_all_rates_search.moc"
