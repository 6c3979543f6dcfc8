#pragma once
// An in-memory stand-in for the serial port: it records every written command and hands received bytes to the
// engine later, through the event loop, in one piece or in several, as a real port's notifications would.

#include "bus/bus_port.h"

#include <QByteArray>
#include <QList>

#include <deque>
#include <functional>

namespace navix {

class MemoryPort : public BusPort
{
    Q_OBJECT
public:
    explicit MemoryPort(QObject *parent = nullptr);

    bool IsOpen() const override { return open; }
    void SetOpen(bool isOpen) { open = isOpen; }
    void WriteText(const QByteArray &text) override;
    char ReadChar() override;
    int TakeInArrived() override;
    int Baud() const override { return baud; }
    void SetBaud(int rate) override { baud = rate; }

    // Bytes arriving from the bus, announced by one notification each piece, a turn of the event loop apart.
    void Receive(const QByteArray &bytes);
    void ReceivePieces(const QList<QByteArray> &pieces);
    // While held, arriving bytes wait in the port unannounced, as they do while the program is busy
    // elsewhere; released, the notifications follow.
    void HoldNotifications(bool hold);

    // Called for every written command (the simulated bus answers through it).
    std::function<void(const QByteArray &)> onWrite;

    QList<QByteArray> written; // every command as written, in order
    int baud = 9600;           // the line's rate as the program set it; the simulated bus answers at it

private:
    void AnnounceNext();

    bool open = true;
    std::deque<char> received;
    QList<QByteArray> waiting; // pieces not yet announced
    bool announcing = false;
    bool held = false;
};

} // namespace navix
