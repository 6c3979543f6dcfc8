// Bus throughput figures: how many exchanges per second the transaction engine carries against the simulated
// bus, with and without the character timing of a real line, next to what the line itself allows; and how
// long a search over every baud rate takes next to one search at one rate. Prints figures only; it judges
// nothing. Run: build/bench/navix-bench [exchanges]

#include "bus/baud_table.h"
#include "bus/text.h"
#include "bus/transaction_engine.h"
#include "search/baud_sweep.h"
#include "sim/memory_port.h"
#include "sim/sim_bus.h"
#include "sim/sim_bus_file.h"
#include "support/test_workspace.h"
#include "workspace/bus_router.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>

namespace {
// Keeps asking one module for its name, one exchange after the other, as the search does.
class NameAsker : public ToolReplyHandler
{
public:
    NameAsker(TransactionEngine &engine, int count) : engine(engine), left(count) {}
    void Start() { Send(); }
    void HandleToolReply(const QByteArray &reply) override
    {
        if (reply.isEmpty())
            ++failed;
        if (--left > 0)
            Send();
        else
            loop.quit();
    }
    QEventLoop loop;
    int failed = 0;

private:
    void Send()
    {
        engine.SendCommand({.command = "$01M\r",
                            .checksum = false,
                            .receiveMode = ReceiveMode::CheckedFrame,
                            .startChar = '!',
                            .endChar = CR,
                            .expectedLength = 8});
    }
    TransactionEngine &engine;
    int left;
};

// Feeds the search's replies to its scan, as the search window does while it holds the bus.
class ScanFeeder : public ToolReplyHandler
{
public:
    explicit ScanFeeder(ModuleScan &scan) : scan(scan) {}
    void HandleToolReply(const QByteArray &reply) override { scan.ReplyStep(reply); }

private:
    ModuleScan &scan;
};

// Seconds one search of first..last on the demo bus takes, at baud or at every rate; found is the number of
// modules found.
double SearchSeconds(int first, int last, int timeOutMs, int baud, bool allRates, int &found)
{
    TestWorkspace workspace;
    workspace.port.baud = baud;
    SimBus bus;
    LoadBusText(bus, DemoBusText());
    bus.SetFrozen(true);
    bus.Attach(workspace.port);
    workspace.engine.SetPacingTag(VeryFast);
    workspace.engine.SetTimeOutMs(timeOutMs);
    ModuleScan scan(workspace);
    BaudSweep sweep(workspace, scan);
    ScanFeeder feeder(scan);
    workspace.router.RegisterTool(ToolKind::Search, &feeder);
    workspace.router.RequestBus(ToolKind::Search);
    QEventLoop loop;
    QObject::connect(&sweep, &BaudSweep::Finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(0, [&] { sweep.Start(first, last, allRates); });
    loop.exec();
    found = workspace.modules.Count();
    return clock.nsecsElapsed() / 1e9;
}

struct Figures
{
    double seconds;
    int failed;
};

Figures Run(int exchanges, int baud, bool lineTiming)
{
    ModuleRegistry modules;
    TransactionEngine engine;
    BusRouter router(engine, modules);
    MemoryPort port;
    SimBus bus;
    // The module talks at the line's rate, as it must to answer at all.
    bus.AddModule("4017", "0108" + HexByte(CodeOfBaud(baud)) + "00");
    bus.SetFrozen(true);
    port.baud = baud;
    bus.Line().lineTiming = lineTiming;
    bus.Attach(port);
    engine.SetPort(&port);
    engine.SetPacingTag(VeryFast);
    engine.SetTimeOutMs(1000);
    NameAsker asker(engine, exchanges);
    router.RegisterTool(ToolKind::Terminal, &asker);
    router.RequestBus(ToolKind::Terminal);
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(0, [&] { asker.Start(); });
    asker.loop.exec();
    return {clock.nsecsElapsed() / 1e9, asker.failed};
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int exchanges = argc > 1 ? QByteArray(argv[1]).toInt() : 2000;
    // "$01M" CR out, "!014017" CR back: 13 characters of 10 bit times each. The lines run at the lowest
    // common rate and at the highest rate a module can be set to.
    const int charactersPerExchange = 5 + 8;

    std::printf("exchanges per run: %d (name request, 13 characters on the line each)\n", exchanges);
    const Figures free = Run(exchanges, 38400, false);
    std::printf("%-28s %10.0f exchanges/s  %8.1f us/exchange  failed %d\n", "engine + simulator, no line",
                exchanges / free.seconds, free.seconds * 1e6 / exchanges, free.failed);
    for (int baud : {9600, 38400}) {
        const int timed = std::max(1, exchanges / (baud == 9600 ? 10 : 2));
        const Figures line = Run(timed, baud, true);
        const double limit = baud / 10.0 / charactersPerExchange;
        std::printf("%-28s %10.0f exchanges/s  line limit %6.0f/s  (%5.1f %% of it)  failed %d\n",
                    QByteArray("line at " + QByteArray::number(baud) + " bps").constData(),
                    timed / line.seconds, limit, 100.0 * (timed / line.seconds) / limit, line.failed);
    }

    // The search over every rate: an empty address costs its two time-outs at each rate, so the whole search
    // takes about six times one search at one rate.
    constexpr int First = 0x00;
    constexpr int Last = 0x1F;
    constexpr int SearchTimeOutMs = 100;
    int foundOne = 0;
    int foundNone = 0;
    int foundAll = 0;
    const double one = SearchSeconds(First, Last, SearchTimeOutMs, 9600, false, foundOne);
    // A rate at which no module of the demo bus talks: every address costs its two time-outs.
    const double none = SearchSeconds(First, Last, SearchTimeOutMs, 1200, false, foundNone);
    const double all = SearchSeconds(First, Last, SearchTimeOutMs, 9600, true, foundAll);
    std::printf("search 00..1F, time-out %d ms: at 9600 %6.2f s (%d modules), at 1200 %6.2f s (%d modules)\n",
                SearchTimeOutMs, one, foundOne, none, foundNone);
    std::printf(
        "search 00..1F at all %zu rates: %6.2f s (%d modules), %.2f times the search at a rate without "
        "modules\n",
        ModuleBaudRates.size(), all, foundAll, all / none);
    return 0;
}
