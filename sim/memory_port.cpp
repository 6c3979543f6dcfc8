#include "memory_port.h"

#include <QTimer>

namespace navix {

MemoryPort::MemoryPort(QObject *parent) : BusPort(parent) {}

void MemoryPort::WriteText(const QByteArray &text)
{
    written.append(text);
    if (onWrite)
        onWrite(text);
}

char MemoryPort::ReadChar()
{
    if (received.empty())
        return 0;
    const char c = received.front();
    received.pop_front();
    return c;
}

int MemoryPort::TakeInArrived()
{
    for (const QByteArray &piece : std::as_const(waiting))
        received.insert(received.end(), piece.begin(), piece.end());
    waiting.clear();
    return static_cast<int>(received.size());
}

void MemoryPort::HoldNotifications(bool hold)
{
    held = hold;
    ReceivePieces({});
}

void MemoryPort::Receive(const QByteArray &bytes)
{
    ReceivePieces({bytes});
}

void MemoryPort::ReceivePieces(const QList<QByteArray> &pieces)
{
    for (const QByteArray &piece : pieces)
        if (!piece.isEmpty())
            waiting.append(piece);
    if (!held && !announcing && !waiting.isEmpty()) {
        announcing = true;
        QTimer::singleShot(0, this, &MemoryPort::AnnounceNext);
    }
}

void MemoryPort::AnnounceNext()
{
    if (held || waiting.isEmpty()) {
        announcing = false;
        return;
    }
    const QByteArray piece = waiting.takeFirst();
    received.insert(received.end(), piece.begin(), piece.end());
    if (!waiting.isEmpty())
        QTimer::singleShot(0, this, &MemoryPort::AnnounceNext);
    else
        announcing = false;
    emit TriggerAvail(static_cast<quint16>(received.size()));
}

} // namespace navix
