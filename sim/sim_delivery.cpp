#include "sim_delivery.h"

#include <algorithm>
#include <cmath>

double LineTimeMs(qsizetype characters, int baud)
{
    return baud > 0 ? characters * 10.0 * 1000.0 / baud : 0.0;
}

QList<TimedPiece> PlanDelivery(const SimOutgoing &reply, const LineSettings &line)
{
    QList<TimedPiece> pieces;
    if (reply.bytes.isEmpty())
        return pieces;
    const double start = reply.lateMs + (line.lineTiming ? LineTimeMs(reply.commandLength, line.baud) : 0.0);
    // When each character has arrived in full.
    const auto arrival = [&](qsizetype index) {
        const double at = line.lineTiming ? start + LineTimeMs(index + 1, line.baud) : start;
        return static_cast<qint64>(std::ceil(at - 1e-9));
    };
    for (qsizetype index = 0; index < reply.bytes.size(); ++index) {
        const char character = reply.bytes[index];
        const qint64 at = arrival(index);
        if (pieces.isEmpty()) {
            pieces.append({at, QByteArray(1, character)});
        } else if (reply.split) {
            // Split pieces of two characters come at least a millisecond apart, so that each is a
            // notification of its own; a piece is there when its last character is.
            if (index % 2 == 0)
                pieces.append({std::max(at, pieces.last().atMs + 1), QByteArray(1, character)});
            else {
                pieces.last().bytes += character;
                pieces.last().atMs = std::max(pieces.last().atMs, at);
            }
        } else if (at > pieces.last().atMs) {
            pieces.append({at, QByteArray(1, character)});
        } else {
            pieces.last().bytes += character;
        }
    }
    return pieces;
}

ReplyScheduler::ReplyScheduler(QObject *parent) : QObject(parent)
{
    clock.start();
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &ReplyScheduler::DeliverDue);
}

void ReplyScheduler::Send(const SimOutgoing &reply)
{
    const QList<TimedPiece> pieces = PlanDelivery(reply, line);
    if (pieces.isEmpty())
        return;
    const qint64 now = clock.elapsed();
    // The line carries one reply at a time: with line timing a reply waits until the previous one has left.
    const qint64 base = line.lineTiming ? std::max(now, lineFreeAtMs) : now;
    lineFreeAtMs = base + pieces.last().atMs;
    for (const TimedPiece &piece : pieces) {
        const qint64 due = base + piece.atMs;
        if (due <= now && queue.isEmpty()) {
            if (sink)
                sink(piece.bytes);
            continue;
        }
        const auto later =
            std::upper_bound(queue.begin(), queue.end(), due,
                             [](qint64 value, const Queued &queued) { return value < queued.dueMs; });
        queue.insert(later, {due, piece.bytes});
    }
    ArmTimer();
}

void ReplyScheduler::Clear()
{
    queue.clear();
    timer.stop();
    lineFreeAtMs = 0;
}

void ReplyScheduler::DeliverDue()
{
    const qint64 now = clock.elapsed();
    while (!queue.isEmpty() && queue.first().dueMs <= now) {
        const QByteArray bytes = queue.takeFirst().bytes;
        if (sink)
            sink(bytes);
    }
    ArmTimer();
}

void ReplyScheduler::ArmTimer()
{
    if (queue.isEmpty()) {
        timer.stop();
        return;
    }
    timer.start(static_cast<int>(std::max<qint64>(0, queue.first().dueMs - clock.elapsed())));
}
