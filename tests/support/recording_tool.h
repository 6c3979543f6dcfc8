#pragma once
// A tool that holds the bus in a test and keeps every reply the router hands it, in order; given the engine,
// also how each exchange ended, as the engine told at the delivery.

#include "bus/transaction_engine.h"
#include "workspace/bus_router.h"

#include <QByteArray>
#include <QList>

#include <functional>

namespace navix {

struct RecordingTool : ToolReplyHandler
{
    void HandleToolReply(const QByteArray &reply) override
    {
        replies.append(reply);
        if (engine)
            statuses.append(engine->LastReplyStatus());
        if (onReply)
            onReply(reply);
    }
    QList<QByteArray> replies;
    QList<ReplyStatus> statuses;
    const TransactionEngine *engine = nullptr;
    std::function<void(const QByteArray &)> onReply;
};

} // namespace navix
