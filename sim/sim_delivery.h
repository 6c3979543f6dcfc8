#pragma once
// How a reply travels back over the line: when its characters reach the program and in how many pieces. A
// real line takes ten bit times per character (start bit, eight data bits, stop bit), so n characters at a
// baud rate need n * 10 / baud seconds; the command has to arrive in full before a module can answer. Times
// are kept in microseconds: at 115200 Bd a whole exchange lasts about a millisecond.

#include "sim/monotonic_alarm.h"

#include <QByteArray>
#include <QList>
#include <QObject>

#include <functional>

namespace navix {

// A reply on its way: its bytes (noise included) and the delivery faults that apply to it.
struct SimOutgoing
{
    QByteArray bytes;
    int commandLength = 0; // characters of the command it answers
    bool split = false;
    int lateMs = 0;
};

struct TimedPiece
{
    qint64 atUs = 0; // after the command was taken
    QByteArray bytes;
};

struct LineSettings
{
    int baud = 9600;
    bool lineTiming = false; // characters take their time on the line
    // A USB adapter that holds what it receives until its latency timer runs out (0: none in the way).
    int adapterLatencyMs = 0;
    // Replies leave to the microsecond rather than when the process happens to wake (see MonotonicAlarm).
    bool awakeForReplies = false;
};

// How early the scheduler wakes for a reply when it keeps awake for it.
constexpr qint64 ReplyWakeLeadUs = 100;

// A USB adapter hands over at once what fills one packet (64 bytes, two of them its status).
constexpr int AdapterPacketCharacters = 62;
// Split replies come in pieces of two characters at least this far apart, each a notification of its own.
constexpr qint64 SplitPieceGapUs = 1000;

// The pieces of a reply and their times. A reply arrives in one piece, when its last character is complete
// (with line timing) or at once; behind an adapter, in the pieces it hands over when its latency timer,
// started by the first character it holds, runs out; split replies in pieces of two characters.
QList<TimedPiece> PlanDelivery(const SimOutgoing &reply, const LineSettings &line);

// Microseconds that n characters take on a line at baud.
double LineTimeUs(qsizetype characters, int baud);

// Hands reply pieces to a sink at their times, in order, through the event loop, on the monotonic clock.
// The line is shared: a reply does not start before the previous one has left it.
class ReplyScheduler : public QObject
{
    Q_OBJECT
public:
    explicit ReplyScheduler(QObject *parent = nullptr);

    void SetSink(std::function<void(const QByteArray &)> sink) { this->sink = std::move(sink); }
    LineSettings line;

    // The reply to a command that came in at takenAtUs on the monotonic clock: its line time runs from then.
    void Send(const SimOutgoing &reply, qint64 takenAtUs);
    bool Idle() const { return queue.isEmpty(); }
    void Clear();

private:
    struct Queued
    {
        qint64 dueUs; // on the monotonic clock
        QByteArray bytes;
    };
    void DeliverDue();
    void Arm();

    std::function<void(const QByteArray &)> sink;
    QList<Queued> queue; // ordered by due time
    MonotonicAlarm alarm;
    qint64 lineFreeAtUs = 0;
};

} // namespace navix
