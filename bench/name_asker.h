#pragma once
// Keeps asking one module for its name, one exchange after the other as the search does, holding the bus as
// a tool; the loop ends when the last reply (or time-out) is in.

#include "bus/text.h"
#include "bus/transaction_engine.h"
#include "workspace/bus_router.h"

#include <QEventLoop>

namespace navix {

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
    void Send() { engine.SendCommand({.command = "$01M\r", .expectedLength = ReplyLength::ModuleName}); }
    TransactionEngine &engine;
    int left;
};

} // namespace navix
