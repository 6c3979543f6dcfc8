#include "memory_port.h"

#include <QTimer>

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

void MemoryPort::Receive(const QByteArray &bytes)
{
    ReceivePieces({bytes});
}

void MemoryPort::ReceivePieces(const QList<QByteArray> &pieces)
{
    for (const QByteArray &piece : pieces)
        if (!piece.isEmpty())
            waiting.append(piece);
    if (!announcing && !waiting.isEmpty()) {
        announcing = true;
        QTimer::singleShot(0, this, &MemoryPort::AnnounceNext);
    }
}

void MemoryPort::AnnounceNext()
{
    if (waiting.isEmpty()) {
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
