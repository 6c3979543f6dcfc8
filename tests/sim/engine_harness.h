#pragma once
// A bus session on an in-memory port answered by a simulated bus: the engine holds the bus
// for a tool, so every reply (or the empty text of a time-out or a wrong checksum) lands here.

#include "bus/transaction_engine.h"
#include "sim/memory_port.h"
#include "sim/sim_bus.h"
#include "workspace/bus_session.h"

#include <QTest>
#include <QTestEventLoop>

namespace navix {

struct EngineHarness : ToolReplyHandler
{
    EngineHarness()
    {
        engine.SetPacingTag(VeryFast);
        engine.SetTimeOutMs(25);
        bus.Attach(port);
        router.RegisterTool(ToolKind::Terminal, this);
        router.RequestBus(ToolKind::Terminal);
    }

    void HandleToolReply(const QByteArray &reply) override
    {
        replies.append(reply);
        waiting.exitLoop();
    }

    // Sends one command as the program would and waits (bounded) for what the engine delivers. The wait runs
    // the event loop without pauses, so replies in pieces take no longer than on a real event loop.
    QByteArray Exchange(const QByteArray &command, bool checksum, ReceiveMode mode, char start, char end,
                        int length)
    {
        const qsizetype before = replies.size();
        engine.SendCommand({.command = command,
                            .checksum = checksum,
                            .receiveMode = mode,
                            .startChar = start,
                            .endChar = end,
                            .expectedLength = length});
        if (replies.size() == before)
            waiting.enterLoopMSecs(2000);
        return replies.size() > before ? replies.last() : QByteArray("(nothing delivered)");
    }

    // Every cell of the command log, newest row first.
    QStringList LogTexts()
    {
        QStringList texts;
        for (int row = 0; row < engine.CommandLog().Count(); ++row)
            texts += engine.CommandLog().Row(row);
        return texts;
    }

    BusSession session{std::make_unique<MemoryPort>()};
    TransactionEngine &engine = session.Engine();
    BusRouter &router = session.Router();
    MemoryPort &port = static_cast<MemoryPort &>(session.Port());
    SimBus bus;
    QList<QByteArray> replies;
    QTestEventLoop waiting;
};

} // namespace navix
