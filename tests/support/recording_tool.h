#pragma once
// A tool that holds the bus in a test and keeps every reply the router hands it, in order.

#include "workspace/bus_router.h"

#include <QByteArray>
#include <QList>

namespace navix {

struct RecordingTool : ToolReplyHandler
{
    void HandleToolReply(const QByteArray &reply) override { replies.append(reply); }
    QList<QByteArray> replies;
};

} // namespace navix
