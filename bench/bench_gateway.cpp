#include "bench_gateway.h"

#include "bench_sim_run.h"

#include "gateway/gateway_bus.h"
#include "gateway/gateway_modbus.h"
#include "support/free_port.h"

#include <QMap>
#include <QModbusReply>
#include <QModbusTcpClient>

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
// The Modbus cases: eight clients, each with one request outstanding at a time as a PLC polls, and coil
// writes to the 4050 at 04.
constexpr int ModbusClients = 8;
constexpr int CoilWrites = 40;
const QByteArray CoilAddress = "04";
constexpr int CoilUnit = 4;

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

    bool Start(const BenchPlace &place, bool firstDead, const QStringList &simOptions = {},
               const QList<QByteArray> &writable = {})
    {
        if (!sim.Start(place, SimBusText(firstDead), GatewayBaud, simOptions))
            return false;
        const GatewayBusConfig config{.name = "bench",
                                      .port = QStringLiteral("COM%1").arg(sim.ComNumber()),
                                      .baud = GatewayBaud,
                                      .timeOutMs = GatewayTimeOutMs,
                                      .modules = WriteModuleFile(place, GatewayBaud),
                                      .modulesDigest = {},
                                      .writable = writable};
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
// A Modbus server on the bus of run, and clients connected to it.
struct ModbusRun
{
    std::unique_ptr<GatewayModbus> server;
    std::vector<std::unique_ptr<QModbusTcpClient>> clients;

    bool Start(GatewayRun &run, int clientCount)
    {
        GatewayModbusConfig config;
        config.port = FreeTcpPort();
        config.maxClients = clientCount;
        server = std::make_unique<GatewayModbus>(config);
        if (!server->Start())
            return false;
        server->AddBus(*run.bus);
        for (int count = 0; count < clientCount; ++count) {
            auto client = std::make_unique<QModbusTcpClient>();
            client->setConnectionParameter(QModbusDevice::NetworkAddressParameter, config.host);
            client->setConnectionParameter(QModbusDevice::NetworkPortParameter, config.port);
            client->setTimeout(InputBoundMs);
            client->setNumberOfRetries(0);
            client->connectDevice();
            clients.push_back(std::move(client));
        }
        return RunUntil(
            [&] {
                return std::all_of(clients.cbegin(), clients.cend(), [](const auto &client) {
                    return client->state() == QModbusDevice::ConnectedState;
                });
            },
            StartBoundMs);
    }
};

// Requests per second that eight clients get answered from the held values while the bus is polled; each
// client sends its next request when the last is answered, walking through the 4017's two input blocks, the
// 4050's coils, the 4052's inputs and the 4021's output.
BenchRow ModbusReadsRow(const BenchPlace &place, const QString &name, int seconds)
{
    GatewayRun run;
    ModbusRun modbus;
    if (!run.Start(place, false) || !modbus.Start(run, ModbusClients))
        return BenchRow::Failed(name, "no Modbus server on a polled bus");
    const QList<std::pair<int, QModbusDataUnit>> requests{
        {2, QModbusDataUnit(QModbusDataUnit::InputRegisters, 0, 8)},
        {2, QModbusDataUnit(QModbusDataUnit::InputRegisters, 1000, 16)},
        {4, QModbusDataUnit(QModbusDataUnit::Coils, 0, 8)},
        {5, QModbusDataUnit(QModbusDataUnit::DiscreteInputs, 0, 8)},
        {3, QModbusDataUnit(QModbusDataUnit::HoldingRegisters, 0, 1)}};
    // The server takes each module's values from its next poll on: every unit answers before the span starts.
    for (const auto &[unit, data] : requests) {
        const bool served = RunUntil(
            [&, unit = unit, data = data] {
                QModbusReply *reply = modbus.clients.front()->sendReadRequest(data, unit);
                if (!reply || !RunUntil([reply] { return reply->isFinished(); }, InputBoundMs))
                    return false;
                reply->deleteLater();
                return reply->error() == QModbusDevice::NoError;
            },
            StartBoundMs);
        if (!served)
            return BenchRow::Failed(name, QStringLiteral("unit %1 not served").arg(unit));
    }
    int answered = 0;
    int failed = 0;
    QMap<QString, int> failures;
    bool measuring = true;
    std::function<void(QModbusTcpClient *, int)> ask = [&](QModbusTcpClient *client, int turn) {
        if (!measuring)
            return;
        const auto &[unit, data] = requests[turn % requests.size()];
        QModbusReply *reply = client->sendReadRequest(data, unit);
        if (!reply) {
            ++failed;
            return;
        }
        QObject::connect(reply, &QModbusReply::finished, client, [&, client, reply, turn, unit = unit] {
            reply->deleteLater();
            if (reply->error() == QModbusDevice::NoError) {
                ++answered;
            } else {
                ++failed;
                // An exception's code is its one data byte.
                const QByteArray data = reply->rawResult().data();
                ++failures[QStringLiteral("%1 %2 unit %3").arg(reply->errorString(), data.toHex()).arg(unit)];
            }
            ask(client, turn + 1);
        });
    };
    const Span span(0);
    for (size_t index = 0; index < modbus.clients.size(); ++index)
        ask(modbus.clients[index].get(), static_cast<int>(index));
    RunFor(seconds * 1000);
    measuring = false;
    BenchRow row = span.End(name, answered);
    RunUntil([&] { return false; }, 100); // the last answers land outside the span
    if (failed > 0)
        row.name += QStringLiteral(" (%1 failed)").arg(failed);
    for (auto failure = failures.cbegin(); failure != failures.cend(); ++failure)
        std::fprintf(stderr, "navix-bench: %d x %s\n", failure.value(), qPrintable(failure.key()));
    row.goal = "served from the cache";
    return row;
}

// A coil write from its request to its response: the set goes out in the 4050's next turn and is answered
// once the module's outputs have been read back.
BenchRow CoilWriteRow(const BenchPlace &place, const QString &name)
{
    GatewayRun run;
    ModbusRun modbus;
    if (!run.Start(place, false, {}, {CoilAddress}) || !modbus.Start(run, 1))
        return BenchRow::Failed(name, "no Modbus server on a polled bus");
    run.bus->TakeMetrics();
    // From the request to the response, and from the read-back (the set's outcome on the bus) to the
    // response: the Modbus server's own share after the bus has done its part.
    std::vector<double> latencies;
    std::vector<double> afterReadBack;
    QElapsedTimer sinceReadBack;
    QObject::connect(run.bus.get(), &GatewayBus::SetDone, run.bus.get(),
                     [&sinceReadBack] { sinceReadBack.start(); });
    const Span span(0);
    for (int write = 0; write < CoilWrites; ++write) {
        QModbusDataUnit coil(QModbusDataUnit::Coils, 0, 1);
        coil.setValue(0, write % 2 == 0 ? 1 : 0);
        QElapsedTimer sinceRequest;
        sinceRequest.start();
        QModbusReply *reply = modbus.clients.front()->sendWriteRequest(coil, CoilUnit);
        if (!reply)
            return BenchRow::Failed(name, "a write was not sent");
        // Timed as the answer arrives: the wait below looks only every few milliseconds.
        QObject::connect(reply, &QModbusReply::finished, reply, [&, reply] {
            if (reply->error() != QModbusDevice::NoError)
                return;
            latencies.push_back(sinceRequest.nsecsElapsed() / 1e6);
            afterReadBack.push_back(sinceReadBack.nsecsElapsed() / 1e6);
        });
        if (!RunUntil([reply] { return reply->isFinished(); }, InputBoundMs) ||
            reply->error() != QModbusDevice::NoError)
            return BenchRow::Failed(name, "a write was not answered");
        reply->deleteLater();
        // The next write comes at another point of the cycle.
        RunFor(7 + (write * 37) % 53);
    }
    const BusMetrics metrics = run.bus->TakeMetrics();
    BenchRow row = span.End(name, 0);
    // The write "#04" + "1001" + CR answered ">" + CR: ten characters of ten bits.
    const double exchangeMs = 10 * 10 * 1000.0 / GatewayBaud;
    row.name +=
        QStringLiteral(" (p50 %1 ms, p95 %2 ms; after the read-back p50 %3 ms, p95 %4 ms; one exchange "
                       "%5 ms, cycle %6 ms)")
            .arg(Percentile(latencies, 0.5), 0, 'f', 1)
            .arg(Percentile(latencies, 0.95), 0, 'f', 1)
            .arg(Percentile(afterReadBack, 0.5), 0, 'f', 2)
            .arg(Percentile(afterReadBack, 0.95), 0, 'f', 2)
            .arg(exchangeMs, 0, 'f', 1)
            .arg(metrics.cycleMs, 0, 'f', 1);
    row.goal = "<= one exchange + 5 ms";
    return row;
}
} // namespace

QList<BenchCase> GatewayCases(const BenchPlace &place, int secondsPerCase)
{
    const QString eight = QStringLiteral("gateway, 8 modules, %1 Bd").arg(GatewayBaud);
    const QString dead = QStringLiteral("gateway, 8 modules, one dead, %1 Bd").arg(GatewayBaud);
    const QString input = QStringLiteral("gateway, digital input to its values, %1 Bd").arg(GatewayBaud);
    const QString four = QStringLiteral("gateway, 4 buses of 8 modules, %1 Bd").arg(GatewayBaud);
    const QString modbusReads =
        QStringLiteral("gateway Modbus, %1 clients reading, %2 Bd bus").arg(ModbusClients).arg(GatewayBaud);
    const QString coilWrite =
        QStringLiteral("gateway Modbus, coil write to its response, %1 Bd").arg(GatewayBaud);
    return {{eight, [=] { return BusRow(place, eight, false, secondsPerCase); }},
            {dead, [=] { return BusRow(place, dead, true, secondsPerCase); }},
            {input, [=] { return InputChangeRow(place, input); }},
            {four, [=] { return FourBusesRow(place, four, secondsPerCase); }},
            {modbusReads, [=] { return ModbusReadsRow(place, modbusReads, secondsPerCase); }},
            {coilWrite, [=] { return CoilWriteRow(place, coilWrite); }}};
}

} // namespace navix
