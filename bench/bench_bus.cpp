// Bus throughput figures: how many exchanges per second the transaction engine carries against the simulated
// bus, with and without the character timing of a real line, next to what the line itself allows. Prints
// figures only; it judges nothing. Run: build/bench/navix-bench [exchanges]

#include "bus/text.h"
#include "bus/transaction_engine.h"
#include "sim/memory_port.h"
#include "sim/sim_bus.h"
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
    bus.AddModule("4017", "01080600");
    bus.SetFrozen(true);
    bus.Line().baud = baud;
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
    // "$01M" CR out, "!014017" CR back: 13 characters of 10 bit times each.
    const int charactersPerExchange = 5 + 8;

    std::printf("exchanges per run: %d (name request, 13 characters on the line each)\n", exchanges);
    const Figures free = Run(exchanges, 115200, false);
    std::printf("%-28s %10.0f exchanges/s  %8.1f us/exchange  failed %d\n", "engine + simulator, no line",
                exchanges / free.seconds, free.seconds * 1e6 / exchanges, free.failed);
    for (int baud : {9600, 115200}) {
        const int timed = std::max(1, exchanges / (baud == 9600 ? 10 : 2));
        const Figures line = Run(timed, baud, true);
        const double limit = baud / 10.0 / charactersPerExchange;
        std::printf("%-28s %10.0f exchanges/s  line limit %6.0f/s  (%5.1f %% of it)  failed %d\n",
                    QByteArray("line at " + QByteArray::number(baud) + " bps").constData(),
                    timed / line.seconds, limit, 100.0 * (timed / line.seconds) / limit, line.failed);
    }
    return 0;
}
