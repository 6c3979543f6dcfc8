#pragma once
// A TCP port on the loopback address that nothing listens on right now, for a server a test starts.

#include <QHostAddress>
#include <QTcpServer>

namespace navix {

inline quint16 FreeTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

} // namespace navix
