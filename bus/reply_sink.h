#pragma once
// Where the transaction engine hands every reply: the one interface between the wire and whoever routes the
// replies to the windows.

#include <QByteArray>

namespace navix {

class ReplySink
{
public:
    virtual ~ReplySink() = default;
    // A reply as read, without its checksum; empty for a time-out or a wrong checksum.
    virtual void DeliverReply(const QByteArray &reply) = 0;
};

} // namespace navix
