#pragma once
// A bus line behind a serial device server (ser2net and its kind): the server passes the bytes of its serial
// line to and from one TCP connection, raw, with no telnet or line-setting protocol on top. The line's baud
// rate and framing are the server's; nothing here sets them.

#include "bus_port.h"
#include "network_address.h"

#include <QTcpSocket>
#include <QTimer>

namespace navix {

class NetworkPort : public BusPort
{
    Q_OBJECT
public:
    static constexpr int ConnectTimeOutMs = 5000;
    // Unread characters the connection holds at most; beyond that TCP holds the server back.
    static constexpr int BufferSize = 4096;

    explicit NetworkPort(QObject *parent = nullptr);
    ~NetworkPort() override;

    // Starts connecting; Opened or OpenFailed tells how it ended. Does nothing while open or connecting.
    void Open(const NetworkAddress &address);
    // Ends the connection or the attempt to make one, without a signal.
    void Close();
    bool IsOpen() const override;
    bool IsOpening() const { return state == LinkState::Opening; }
    const NetworkAddress &Address() const { return address; }

    // Does nothing while not connected.
    void WriteText(const QByteArray &text) override;
    char ReadChar() override;
    int TakeInArrived() override;
    // The device server sets its line's rate: the rate is kept, and has no effect.
    int Baud() const override { return baud; }
    void SetBaud(int rate) override { baud = rate; }

signals:
    void Opened();
    void OpenFailed(const QString &reason);
    // The connection ended from the other side or broke; the port is closed already.
    void Lost(const QString &reason);

private:
    void Connected();
    void Failed(const QString &reason);
    void ScheduleAnnouncement();
    void Announce();

    enum class LinkState { Closed, Opening, Open };

    QTcpSocket socket;
    QTimer connectTimer;
    NetworkAddress address;
    LinkState state = LinkState::Closed;
    bool closing = false;
    bool announcementQueued = false;
    bool announcing = false;
    bool arrivedWhileAnnouncing = false;
    int baud = 9600;
};

} // namespace navix
