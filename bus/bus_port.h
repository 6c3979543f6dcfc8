#pragma once
// The one path between the transaction engine and the bus. The program uses the serial port TApdComPort; the
// tests use an in-memory port answered by the simulated module bus.

#include <QByteArray>
#include <QObject>

namespace navix {

class BusPort : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~BusPort() override = default;

    virtual bool IsOpen() const = 0;
    // Queues all characters for sending, in order, without waiting for them to leave.
    virtual void WriteText(const QByteArray &text) = 0;
    // Next received character, removed from the receive buffer; 0 when nothing waits.
    virtual char ReadChar() = 0;
    // Takes in at once what the line has brought but no notification has announced yet (the program was busy
    // when it came), and returns the number of received characters that wait to be read.
    virtual int TakeInArrived() = 0;
    // The line's rate. Every port keeps it; a port that sets no line (a device server's) keeps it unused.
    virtual int Baud() const = 0;
    virtual void SetBaud(int rate) = 0;

signals:
    // Raised on the user-interface thread with the number of received characters that wait to be read.
    void TriggerAvail(quint16 count);
};

} // namespace navix
