#include "bench_gateway.h"

#include "bench_sim_run.h"

#include "gateway/gateway_bus.h"

#include <QMap>

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

namespace navix {

namespace {
constexpr int GatewayBaud = ModuleBaudRates.back();
constexpr int GatewayTimeOutMs = 100;
constexpr int StartBoundMs = 10000;
constexpr int InputChanges = 40;
constexpr int InputBoundMs = 2000;
const QByteArray InputAddress = "05";

// Eight modules of the kinds the gateway polls, one exchange or a few a turn.
const QList<std::pair<QByteArray, QByteArray>> EightModules = {
    {"4013", "01200600"}, {"4017", "02080600"}, {"4021", "03310600"}, {"4050", "04400600"},
    {"4052", "05400600"}, {"4060", "06400600"}, {"4113", "07200600"}, {"4152", "08400600"}};

QByteArray SimBusText(bool firstDead)
{
    QByteArray text;
    for (const auto &[type, config] : EightModules)
        text += type + ' ' + config + (firstDead && config.startsWith("01") ? " lose=all" : "") + '\n';
    return text;
}

// The same modules as the utility saves them, at the rate of the line.
QString WriteModuleFile(const BenchPlace &place, int baud)
{
    static int files = 0;
    const QString path = place.folder + "/gateway" + QString::number(++files) + ".cfg";
    QByteArray text;
    for (const auto &[type, config] : EightModules)
        text += type + ',' + config.left(4) + HexByte(CodeOfBaud(baud)) + config.mid(6) + "\r\nEND\r\n";
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
    return path;
}

// One bus of the gateway on a simulator, counting the reads of every module.
struct GatewayRun
{
    SimRun sim;
    std::unique_ptr<GatewayBus> bus;
    QMap<QByteArray, int> goodReads;
    std::function<void(const ModuleValues &)> onRead;

    bool Start(const BenchPlace &place, bool firstDead, const QStringList &simOptions = {})
    {
        if (!sim.Start(place, SimBusText(firstDead), GatewayBaud, simOptions))
            return false;
        const GatewayBusConfig config{.name = "bench",
                                      .port = QStringLiteral("COM%1").arg(sim.ComNumber()),
                                      .baud = GatewayBaud,
                                      .timeOutMs = GatewayTimeOutMs,
                                      .modules = WriteModuleFile(place, GatewayBaud),
                                      .modulesDigest = {},
                                      .writable = {}};
        bus = std::make_unique<GatewayBus>(config);
        QObject::connect(bus.get(), &GatewayBus::ValuesRead, bus.get(), [this](const ModuleValues &values) {
            if (values.quality == ValueQuality::Good)
                ++goodReads[values.address];
            if (onRead)
                onRead(values);
        });
        if (!bus->Start())
            return false;
        const int alive = firstDead ? 7 : 8;
        return RunUntil([&] { return goodReads.size() >= alive; }, StartBoundMs);
    }
    quint64 Exchanges()
    {
        quint64 total = 0;
        for (const ModuleMetrics &module : bus->TakeMetrics().modules)
            total += module.exchanges;
        return total;
    }
};

// The read rate of every module over the measured span.
QMap<QByteArray, double> ModuleRates(const QMap<QByteArray, int> &before, const QMap<QByteArray, int> &after,
                                     double seconds)
{
    QMap<QByteArray, double> rates;
    for (auto module = after.cbegin(); module != after.cend(); ++module)
        rates.insert(module.key(), (module.value() - before.value(module.key())) / seconds);
    return rates;
}

// The modules' rates of the bus with all of them alive, for the case with one dead.
QMap<QByteArray, double> &AliveRates()
{
    static QMap<QByteArray, double> rates;
    return rates;
}

BenchRow BusRow(const BenchPlace &place, const QString &name, bool firstDead, int seconds)
{
    GatewayRun run;
    if (!run.Start(place, firstDead))
        return BenchRow::Failed(name, "bus not polled");
    RunFor(GatewayBus::FirstBackOffMs); // the dead module has backed off
    const qsizetype traced = run.sim.Exchanges().size();
    const QMap<QByteArray, int> before = run.goodReads;
    run.Exchanges();
    const Span span(0);
    RunFor(seconds * 1000);
    BenchRow row = span.End(name, static_cast<int>(run.Exchanges()));
    row.boundSeconds =
        BoundSeconds(run.sim.Exchanges(traced, row.exchanges), {GatewayBaud, 0, GatewayTimeOutMs});
    const QMap<QByteArray, double> rates = ModuleRates(before, run.goodReads, row.seconds);
    if (!firstDead) {
        AliveRates() = rates;
        row.name += QStringLiteral(" (slowest module %1/s)")
                        .arg(*std::min_element(rates.cbegin(), rates.cend()), 0, 'f', 1);
        return row;
    }
    // Skipping the dead module's turns can make the others faster than before: the share may pass 100 %.
    double worst = std::numeric_limits<double>::infinity();
    for (auto module = rates.cbegin(); module != rates.cend(); ++module)
        if (module.key() != "01" && AliveRates().value(module.key()) > 0)
            worst = std::min(worst, module.value() / AliveRates().value(module.key()));
    row.name += QStringLiteral(" (others at >= %1 %)").arg(100 * worst, 0, 'f', 1);
    row.goal = "others lose <= 10 %";
    return row;
}

double Percentile(std::vector<double> sorted, double share)
{
    std::sort(sorted.begin(), sorted.end());
    if (sorted.empty())
        return 0;
    return sorted[std::min(sorted.size() - 1,
                           static_cast<size_t>(share * static_cast<double>(sorted.size())))];
}

BenchRow InputChangeRow(const BenchPlace &place, const QString &name)
{
    GatewayRun run;
    if (!run.Start(place, false, {"--control"}))
        return BenchRow::Failed(name, "bus not polled");
    run.bus->TakeMetrics();
    std::vector<double> latencies;
    QElapsedTimer sinceChange;
    int wanted = -1;
    run.onRead = [&](const ModuleValues &values) {
        if (values.address != InputAddress || wanted < 0 || values.quality != ValueQuality::Good)
            return;
        if (values.values.value(0) == (wanted & 1)) {
            latencies.push_back(sinceChange.nsecsElapsed() / 1e6);
            wanted = -1;
        }
    };
    const Span span(0);
    for (int change = 0; change < InputChanges; ++change) {
        const int value = change % 2 == 0 ? 0x5A : 0xA5; // input 0 off, then on
        wanted = value;
        sinceChange.start();
        run.sim.Tell("inputs " + InputAddress + ' ' + HexByte(value) + '\n');
        if (!RunUntil([&] { return wanted < 0; }, InputBoundMs))
            return BenchRow::Failed(name, "a change was not seen");
        // The next change comes at another point of the cycle.
        RunFor(7 + change % 11);
    }
    const BusMetrics metrics = run.bus->TakeMetrics();
    BenchRow row = span.End(name, 0);
    row.name += QStringLiteral(" (p50 %1 ms, p95 %2 ms; cycle %3 ms)")
                    .arg(Percentile(latencies, 0.5), 0, 'f', 1)
                    .arg(Percentile(latencies, 0.95), 0, 'f', 1)
                    .arg(metrics.cycleMs, 0, 'f', 1);
    row.goal = "<= one cycle + 5 ms";
    return row;
}

BenchRow FourBusesRow(const BenchPlace &place, const QString &name, int seconds)
{
    std::vector<std::unique_ptr<GatewayRun>> runs;
    for (int bus = 0; bus < 4; ++bus) {
        runs.push_back(std::make_unique<GatewayRun>());
        if (!runs.back()->Start(place, false))
            return BenchRow::Failed(name, "bus not polled");
    }
    for (auto &run : runs)
        run->Exchanges();
    const Span span(0);
    RunFor(seconds * 1000);
    quint64 exchanges = 0;
    for (auto &run : runs)
        exchanges += run->Exchanges();
    BenchRow row = span.End(name, static_cast<int>(exchanges));
    row.goal = "<= 100 us/exch.";
    return row;
}
} // namespace

QList<BenchCase> GatewayCases(const BenchPlace &place, int secondsPerCase)
{
    const QString eight = QStringLiteral("gateway, 8 modules, %1 Bd").arg(GatewayBaud);
    const QString dead = QStringLiteral("gateway, 8 modules, one dead, %1 Bd").arg(GatewayBaud);
    const QString input = QStringLiteral("gateway, digital input to its values, %1 Bd").arg(GatewayBaud);
    const QString four = QStringLiteral("gateway, 4 buses of 8 modules, %1 Bd").arg(GatewayBaud);
    return {{eight, [=] { return BusRow(place, eight, false, secondsPerCase); }},
            {dead, [=] { return BusRow(place, dead, true, secondsPerCase); }},
            {input, [=] { return InputChangeRow(place, input); }},
            {four, [=] { return FourBusesRow(place, four, secondsPerCase); }}};
}

} // namespace navix
