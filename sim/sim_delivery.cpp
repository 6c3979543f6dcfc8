#include "sim_delivery.h"

#include <algorithm>
#include <cmath>

namespace navix {

namespace {
constexpr double BitsPerCharacter = 10.0;
constexpr double MicrosecondsPerSecond = 1e6;
constexpr qint64 MicrosecondsPerMillisecond = 1000;
} // namespace

double LineTimeUs(qsizetype characters, int baud)
{
    return baud > 0 ? characters * BitsPerCharacter * MicrosecondsPerSecond / baud : 0.0;
}

namespace {
// Pieces of the reply as the adapter hands them over: a piece is complete when its latency timer, started
// by its first character, runs out, or earlier when it fills a packet.
QList<TimedPiece> AdapterPieces(const QByteArray &bytes, const QList<qint64> &arrivals, qint64 latencyUs)
{
    QList<TimedPiece> pieces;
    qint64 handOverAt = 0;
    for (qsizetype index = 0; index < bytes.size(); ++index) {
        const qint64 at = arrivals[index];
        if (pieces.isEmpty() || at > handOverAt || pieces.last().bytes.size() >= AdapterPacketCharacters) {
            handOverAt = at + latencyUs;
            pieces.append(TimedPiece{handOverAt, QByteArray()});
        }
        pieces.last().bytes += bytes[index];
        if (pieces.last().bytes.size() >= AdapterPacketCharacters)
            pieces.last().atUs = at;
    }
    return pieces;
}

// Each piece cut into pieces of two characters, each there when its last character is and at least the gap
// after the one before.
QList<TimedPiece> SplitPieces(const QList<TimedPiece> &pieces, const QList<qint64> &arrivals)
{
    QList<TimedPiece> split;
    qsizetype index = 0;
    for (const TimedPiece &piece : pieces) {
        for (qsizetype offset = 0; offset < piece.bytes.size(); offset += 2, index += 2) {
            const QByteArray part = piece.bytes.mid(offset, 2);
            qint64 at = std::max(piece.atUs, arrivals[index + part.size() - 1]);
            if (!split.isEmpty())
                at = std::max(at, split.last().atUs + SplitPieceGapUs);
            split.append(TimedPiece{at, part});
        }
    }
    return split;
}
} // namespace

QList<TimedPiece> PlanDelivery(const SimOutgoing &reply, const LineSettings &line)
{
    if (reply.bytes.isEmpty())
        return {};
    const int baud = line.lineTiming ? line.baud : 0;
    const double start =
        reply.lateMs * double(MicrosecondsPerMillisecond) + LineTimeUs(reply.commandLength, baud);
    // When each character has arrived in full.
    QList<qint64> arrivals;
    arrivals.reserve(reply.bytes.size());
    for (qsizetype index = 0; index < reply.bytes.size(); ++index)
        arrivals.append(static_cast<qint64>(std::ceil(start + LineTimeUs(index + 1, baud) - 1e-6)));

    if (line.adapterLatencyMs > 0) {
        const QList<TimedPiece> pieces =
            AdapterPieces(reply.bytes, arrivals, line.adapterLatencyMs * MicrosecondsPerMillisecond);
        return reply.split ? SplitPieces(pieces, arrivals) : pieces;
    }
    // Straight from the line a split reply comes as its characters do, each piece once its last one is there.
    if (reply.split)
        return SplitPieces({TimedPiece{arrivals.first(), reply.bytes}}, arrivals);
    return {TimedPiece{arrivals.last(), reply.bytes}};
}

ReplyScheduler::ReplyScheduler(QObject *parent) : QObject(parent)
{
    connect(&alarm, &MonotonicAlarm::Rang, this, &ReplyScheduler::DeliverDue);
}

void ReplyScheduler::Send(const SimOutgoing &reply, qint64 takenAtUs)
{
    const QList<TimedPiece> pieces = PlanDelivery(reply, line);
    if (pieces.isEmpty())
        return;
    const qint64 now = MonotonicAlarm::NowUs();
    // The line carries one reply at a time: with line timing a reply waits until the previous one has left.
    const qint64 base = line.lineTiming ? std::max(takenAtUs, lineFreeAtUs) : takenAtUs;
    // An adapter may still hold the last characters when the line is free again.
    lineFreeAtUs =
        base + reply.lateMs * MicrosecondsPerMillisecond +
        static_cast<qint64>(std::ceil(LineTimeUs(reply.commandLength + reply.bytes.size(), line.baud)));
    for (const TimedPiece &piece : pieces) {
        const qint64 due = base + piece.atUs;
        if (due <= now && queue.isEmpty()) {
            if (sink)
                sink(piece.bytes);
            continue;
        }
        const auto later =
            std::upper_bound(queue.begin(), queue.end(), due,
                             [](qint64 value, const Queued &queued) { return value < queued.dueUs; });
        queue.insert(later, {due, piece.bytes});
    }
    Arm();
}

void ReplyScheduler::Clear()
{
    queue.clear();
    alarm.Stop();
    lineFreeAtUs = 0;
}

void ReplyScheduler::DeliverDue()
{
    const qint64 now = MonotonicAlarm::NowUs();
    while (!queue.isEmpty() && queue.first().dueUs <= now) {
        const QByteArray bytes = queue.takeFirst().bytes;
        if (sink)
            sink(bytes);
    }
    Arm();
}

void ReplyScheduler::Arm()
{
    if (queue.isEmpty())
        alarm.Stop();
    else
        alarm.RingAt(queue.first().dueUs, line.awakeForReplies ? ReplyWakeLeadUs : 0);
}

} // namespace navix
