#include "network_port.h"

#include "serial_platform.h"

#include <QPointer>
#include <QScopedValueRollback>

#include <algorithm>

namespace navix {

NetworkPort::NetworkPort(QObject *parent) : BusPort(parent)
{
    socket.setReadBufferSize(BufferSize);
    connectTimer.setSingleShot(true);
    connectTimer.setInterval(ConnectTimeOutMs);
    connect(&connectTimer, &QTimer::timeout, this,
            [this] { Failed(QStringLiteral("no answer from the server")); });
    connect(&socket, &QTcpSocket::connected, this, &NetworkPort::Connected);
    connect(&socket, &QTcpSocket::readyRead, this, &NetworkPort::ScheduleAnnouncement);
    connect(&socket, &QTcpSocket::errorOccurred, this, [this] { Failed(socket.errorString()); });
    connect(&socket, &QTcpSocket::disconnected, this,
            [this] { Failed(QStringLiteral("the server closed the connection")); });
}

NetworkPort::~NetworkPort()
{
    Close();
}

void NetworkPort::Open(const NetworkAddress &target)
{
    if (state != LinkState::Closed)
        return;
    address = target;
    state = LinkState::Opening;
    connectTimer.start();
    socket.connectToHost(address.host, address.port);
}

void NetworkPort::Close()
{
    const QScopedValueRollback guard(closing, true);
    connectTimer.stop();
    state = LinkState::Closed;
    socket.abort();
}

bool NetworkPort::IsOpen() const
{
    return state == LinkState::Open;
}

void NetworkPort::WriteText(const QByteArray &text)
{
    if (!IsOpen() || text.isEmpty())
        return;
    socket.write(text);
}

char NetworkPort::ReadChar()
{
    char character = 0;
    if (!IsOpen() || !socket.getChar(&character))
        return 0;
    return character;
}

int NetworkPort::TakeInArrived()
{
    if (!IsOpen())
        return 0;
    // What the connection has brought while the program was held up waits in the system: a read without
    // waiting takes it in, as the read notification would have. Only when something is there: a wait that
    // finds nothing reports a time-out error, which would end the connection.
    if (SerialInputWaiting(socket.socketDescriptor()))
        socket.waitForReadyRead(0);
    return static_cast<int>(std::min<qint64>(socket.bytesAvailable(), 65535));
}

void NetworkPort::Connected()
{
    connectTimer.stop();
    state = LinkState::Open;
    // Commands are a few characters each and wait for their reply: sending them at once matters more than
    // filling packets.
    socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    emit Opened();
}

void NetworkPort::Failed(const QString &reason)
{
    // Aborting the socket below reports the disconnection again; that is no news.
    if (closing || state == LinkState::Closed)
        return;
    const bool wasOpening = state == LinkState::Opening;
    Close();
    if (wasOpening)
        emit OpenFailed(reason);
    else
        emit Lost(reason);
}

void NetworkPort::ScheduleAnnouncement()
{
    // A notification never runs inside another; what arrives meanwhile is announced once it has returned.
    if (announcing) {
        arrivedWhileAnnouncing = true;
        return;
    }
    if (announcementQueued)
        return;
    announcementQueued = true;
    // Announced from a fresh turn of the event loop: QTcpSocket does not raise readyRead again while a
    // handler of it runs, so characters arriving during a long handler (a modal message box) would otherwise
    // wait unannounced. (The serial port announces at once and takes what came meanwhile itself; here the
    // characters stay in the socket, where new ones cannot be told from ones a handler left.)
    QMetaObject::invokeMethod(this, &NetworkPort::Announce, Qt::QueuedConnection);
}

void NetworkPort::Announce()
{
    announcementQueued = false;
    if (!IsOpen() || socket.bytesAvailable() == 0)
        return;
    announcing = true;
    arrivedWhileAnnouncing = false;
    const QPointer<NetworkPort> alive(this);
    emit TriggerAvail(static_cast<quint16>(std::min<qint64>(socket.bytesAvailable(), 65535)));
    if (!alive)
        return;
    announcing = false;
    if (arrivedWhileAnnouncing && IsOpen() && socket.bytesAvailable() > 0)
        ScheduleAnnouncement();
}

} // namespace navix
