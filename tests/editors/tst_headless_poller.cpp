// The headless poller: the demo bus polled with the editors' turns and no window, every module's values
// handed on as numbers with their names and quality, and a module that never answers (the 4060, which talks
// at another rate than the line) reported absent while the others keep their good reads.

#include "turn_bench.h"

#include "sim/sim_bus_file.h"

#include <QHash>

using namespace navix;

class TestHeadlessPoller : public QObject
{
    Q_OBJECT
private slots:
    void pollsTheDemoBusWithoutWindows();
};

void TestHeadlessPoller::pollsTheDemoBusWithoutWindows()
{
    TurnBench bench;
    QVERIFY(LoadBusText(bench.bus, DemoBusText()).isEmpty());
    bench.bus.SetFrozen(true);
    // The records a search of the demo bus at 9600 Bd leaves, and the 4060 that answers only at 19200 Bd.
    struct Found
    {
        const char *type;
        const char *config;
        bool init;
    };
    const QList<Found> found = {
        {"4113", "00200600", true},  {"4013", "01200600", false}, {"4017", "02080600", false},
        {"4021", "03310600", false}, {"4050", "04400600", false}, {"4052", "05400600", false},
        {"4060", "06400700", false}, {"4113", "07200600", false}, {"4213", "08200600", false},
        {"4313", "09200600", false}, {"4413", "0A200600", false}, {"4613", "0C200600", false},
        {"4152", "0D400600", false}, {"20", "10200602", false},   {"4017", "14080640", false}};
    for (const Found &module : found)
        bench.workspace.modules.AddModule(module.type, module.config, module.init);

    // Every command as the engine wrote it (the simulator's transcript keeps only the latest).
    const WrittenCommands written(bench.workspace.engine);
    QHash<QByteArray, ModuleValues> last;
    QHash<QByteArray, int> reads;
    QObject::connect(&bench.poller, &HeadlessPoller::ValuesRead, &bench.poller,
                     [&](const ModuleValues &values) {
                         last[values.address] = values;
                         ++reads[values.address];
                     });
    QCOMPARE(bench.poller.OpenAll(), found.size());

    // Every module at the line's rate is read, and read again; the silent one is absent.
    const auto settled = [&] {
        for (const Found &module : found) {
            const QByteArray address = QByteArray(module.config).left(2);
            if (reads.value(address) < HeadlessPoller::MissedPollsForAbsent + 1)
                return false;
        }
        return true;
    };
    QVERIFY(QTest::qWaitFor(settled, 20000));
    for (const Found &module : found) {
        const QByteArray address = QByteArray(module.config).left(2);
        const ValueQuality expected = address == "06" ? ValueQuality::Absent : ValueQuality::Good;
        QCOMPARE(last.value(address).quality, expected);
        // Each turn started with the editors' firmware query, at the address the module answers at.
        const QByteArray firmware = "$" + (module.init ? QByteArray("00") : address) + "F";
        QVERIFY2(std::any_of(written.commands.cbegin(), written.commands.cend(),
                             [&](const QByteArray &command) { return command.startsWith(firmware); }),
                 firmware.constData());
    }

    // The numbers and names a 4017 shows as text.
    const ModuleValues &inputs = last.value("02");
    QCOMPARE(inputs.typeId, QByteArray("4017"));
    QCOMPARE(inputs.unit, QString("V"));
    QCOMPARE(inputs.channels.size(), 8);
    QCOMPARE(inputs.channels.first().name, QString("Vstup 1"));
    QCOMPARE(inputs.values.first(), 1.0);
    QCOMPARE(inputs.values.last(), 8.0);
    // A digital module's channels are states.
    const ModuleValues &outputs = last.value("04");
    QCOMPARE(outputs.values.size(), 8);
    QVERIFY(outputs.channels.first().steps);
}

QTEST_GUILESS_MAIN(TestHeadlessPoller)
#include "tst_headless_poller.moc"
