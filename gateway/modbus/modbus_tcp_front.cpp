#include "modbus_tcp_front.h"

#include "modbus_log.h"

#include <QTcpSocket>

namespace navix::modbus {

Q_LOGGING_CATEGORY(ModbusLog, "navix.modbus", QtWarningMsg)

namespace {
constexpr int HeaderSize = 7; // transaction id, protocol id, length, unit id
// The length field counts the unit id and the PDU, which is 253 bytes at most.
constexpr int LeastLength = 2;
constexpr int MostLength = 254;
constexpr quint8 ExceptionBit = 0x80;
// Bytes kept of a connection that sends faster than its requests are answered; beyond them it is closed.
constexpr qsizetype MostReceived = 16 * (6 + MostLength);

quint16 Word(const QByteArray &bytes, int at)
{
    return static_cast<quint16>(static_cast<quint8>(bytes[at]) << 8 | static_cast<quint8>(bytes[at + 1]));
}

void AppendWord(QByteArray &bytes, quint16 word)
{
    bytes.append(static_cast<char>(word >> 8));
    bytes.append(static_cast<char>(word & 0xFF));
}
} // namespace

TcpFront::TcpFront(int clients, QObject *parent) : QObject(parent), maxClients(clients)
{
    connect(&server, &QTcpServer::newConnection, this, &TcpFront::TakeConnections);
}

TcpFront::~TcpFront()
{
    server.close();
    for (auto &[socket, connection] : connections) {
        socket->disconnect(this);
        socket->abort();
        delete socket;
    }
}

bool TcpFront::Listen(const QHostAddress &address, quint16 port)
{
    return server.listen(address, port);
}

void TcpFront::TakeConnections()
{
    while (QTcpSocket *socket = server.nextPendingConnection()) {
        if (Clients() >= maxClients) {
            qCWarning(ModbusLog) << "client" << socket->peerAddress().toString() << "refused: max_clients"
                                 << maxClients << "are connected";
            socket->abort();
            socket->deleteLater();
            continue;
        }
        Connection &connection = connections[socket];
        connection.idle = std::make_unique<QTimer>();
        connection.idle->setSingleShot(true);
        connection.idle->setInterval(IdleMs);
        connect(connection.idle.get(), &QTimer::timeout, this, [this, socket = QPointer<QTcpSocket>(socket)] {
            qCInfo(ModbusLog) << "client" << socket->peerAddress().toString() << "idle, disconnected";
            // Not from within the timer's own signal: dropping the connection deletes the timer.
            QMetaObject::invokeMethod(
                this,
                [this, socket] {
                    if (socket)
                        Drop(socket);
                },
                Qt::QueuedConnection);
        });
        connection.idle->start();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { ReadRequests(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { Drop(socket); });
        qCInfo(ModbusLog) << "client" << socket->peerAddress().toString() << "connected";
    }
}

void TcpFront::ReadRequests(QTcpSocket *socket)
{
    auto found = connections.find(socket);
    if (found == connections.end())
        return;
    found->second.idle->start();
    found->second.received.append(socket->readAll());
    if (found->second.received.size() > MostReceived) {
        qCWarning(ModbusLog) << "client" << socket->peerAddress().toString()
                             << "sends faster than it is answered, disconnected";
        Drop(socket);
        return;
    }
    while (found != connections.end() && found->second.waiting.size() < MostWaitingPerConnection) {
        Connection &connection = found->second;
        if (connection.received.size() < HeaderSize)
            return;
        const quint16 transaction = Word(connection.received, 0);
        const quint16 protocol = Word(connection.received, 2);
        const quint16 length = Word(connection.received, 4);
        if (protocol != 0 || length < LeastLength || length > MostLength) {
            qCWarning(ModbusLog) << "client" << socket->peerAddress().toString()
                                 << "sent no Modbus TCP frame, disconnected";
            Drop(socket);
            return;
        }
        if (connection.received.size() < HeaderSize - 1 + length)
            return;
        const auto unit = static_cast<quint8>(connection.received[6]);
        const auto code = static_cast<quint8>(connection.received[7]);
        const QByteArray data = connection.received.mid(HeaderSize + 1, length - 2);
        connection.received.remove(0, HeaderSize - 1 + length);
        const QModbusRequest request(QModbusPdu::FunctionCode(code), data);
        // The data size QtSerialBus expects for the function; -1 for a function it does not know, which the
        // processing refuses with 0x01.
        const int expected = QModbusRequest::calculateDataSize(request);
        if ((code & ExceptionBit) != 0 || (expected >= 0 && expected != data.size())) {
            qCWarning(ModbusLog) << "client" << socket->peerAddress().toString()
                                 << "sent a malformed request, disconnected";
            Drop(socket);
            return;
        }
        const Ticket ticket = ++lastTicket;
        connection.waiting.push_back({ticket, transaction, unit, std::nullopt});
        tickets.insert(ticket, socket);
        emit RequestReceived(ticket, unit, request);
        // Whoever answered may have let the connection go.
        found = connections.find(socket);
    }
}

void TcpFront::Answer(Ticket ticket, const QModbusResponse &response)
{
    QTcpSocket *socket = tickets.take(ticket);
    const auto found = connections.find(socket);
    if (!socket || found == connections.end())
        return;
    for (Waiting &waiting : found->second.waiting)
        if (waiting.ticket == ticket)
            waiting.response = response;
    SendAnswered(socket);
}

void TcpFront::SendAnswered(QTcpSocket *socket)
{
    const auto found = connections.find(socket);
    if (found == connections.end())
        return;
    std::deque<Waiting> &waiting = found->second.waiting;
    QByteArray frames;
    while (!waiting.empty() && waiting.front().response) {
        const Waiting &answered = waiting.front();
        const QModbusResponse &response = *answered.response;
        AppendWord(frames, answered.transaction);
        AppendWord(frames, 0);
        AppendWord(frames, static_cast<quint16>(2 + response.data().size()));
        frames.append(static_cast<char>(answered.unit));
        frames.append(
            static_cast<char>(response.functionCode() | (response.isException() ? ExceptionBit : 0)));
        frames.append(response.data());
        waiting.pop_front();
    }
    if (!frames.isEmpty())
        socket->write(frames);
    // Requests left unread while the connection had too many waiting.
    if (waiting.size() < MostWaitingPerConnection && !found->second.received.isEmpty())
        QMetaObject::invokeMethod(
            this,
            [this, socket = QPointer<QTcpSocket>(socket)] {
                if (socket)
                    ReadRequests(socket);
            },
            Qt::QueuedConnection);
}

void TcpFront::Drop(QTcpSocket *socket)
{
    const auto found = connections.find(socket);
    if (found == connections.end())
        return;
    for (const Waiting &waiting : found->second.waiting)
        tickets.remove(waiting.ticket);
    connections.erase(found);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    qCInfo(ModbusLog) << "client disconnected," << Clients() << "connected";
}

} // namespace navix::modbus
