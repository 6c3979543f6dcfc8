#pragma once
// The gateway's Modbus TCP server: MBAP framing on a QTcpServer, the PDUs parsed and built with QtSerialBus's
// QModbusRequest and QModbusResponse.
//
// Why not QModbusTcpServer: in Qt 6.4 it answers one unit id (its server address) and drops requests to every
// other id inside its private code, and its processRequest must return the response at once. The gateway
// answers one unit id per module, and a write only after the module's read-back, which takes several
// exchanges on the line. So this front does the framing (7-byte header, transaction id, protocol id 0,
// length, unit id; a connection that sends anything else is closed) and hands each request with its unit id
// to whoever answers it, now or later, through Answer.
//
// Responses go out per connection in the order of the requests: a write waiting for its read-back holds the
// later responses of its connection back. Many clients send one request at a time and match answers in order,
// so none of them has to cope with a reordered stream; other connections are not held back.

#include <QHash>
#include <QHostAddress>
#include <QModbusPdu>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTimer>

#include <deque>
#include <map>
#include <memory>
#include <optional>

class QTcpSocket;

namespace navix::modbus {

using Ticket = quint64;

class TcpFront : public QObject
{
    Q_OBJECT
public:
    // Requests of one connection taken but not yet answered; more stay unread in its socket until these go.
    static constexpr int MostWaitingPerConnection = 16;
    // A client that sends nothing for so long is disconnected, so that forgotten connections do not keep
    // the places of max_clients.
    static constexpr int IdleMs = 300000;

    explicit TcpFront(int maxClients, QObject *parent = nullptr);
    ~TcpFront() override;

    bool Listen(const QHostAddress &address, quint16 port);
    QString ErrorText() const { return server.errorString(); }
    quint16 Port() const { return server.serverPort(); }
    int Clients() const { return static_cast<int>(connections.size()); }

    // The response to a request handed out by RequestReceived; nothing happens for a ticket whose
    // connection has gone.
    void Answer(Ticket ticket, const QModbusResponse &response);

signals:
    void RequestReceived(Ticket ticket, quint8 unit, const QModbusRequest &request);

private:
    struct Waiting
    {
        Ticket ticket = 0;
        quint16 transaction = 0;
        quint8 unit = 0;
        std::optional<QModbusResponse> response;
    };
    struct Connection
    {
        QByteArray received;
        std::deque<Waiting> waiting;
        std::unique_ptr<QTimer> idle;
    };

    void TakeConnections();
    void ReadRequests(QTcpSocket *socket);
    void SendAnswered(QTcpSocket *socket);
    void Drop(QTcpSocket *socket);

    QTcpServer server;
    int maxClients;
    std::map<QTcpSocket *, Connection> connections;
    QHash<Ticket, QTcpSocket *> tickets;
    Ticket lastTicket = 0;
};

} // namespace navix::modbus
