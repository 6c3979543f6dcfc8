#pragma once
// How a reply travels back over the line: when its characters arrive and in how many pieces. A real line
// takes ten bit times per character (start bit, eight data bits, stop bit), so n characters at a baud rate
// need n * 10 / baud seconds; the command has to arrive in full before a module can answer.

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

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
    qint64 atMs = 0; // after the command was written
    QByteArray bytes;
};

struct LineSettings
{
    int baud = 9600;
    bool lineTiming = false; // characters take their time on the line
};

// The pieces of a reply and their times. Split replies come in pieces of two characters one millisecond apart
// (or as the line delivers them, when that is slower); with line timing the characters of a piece arrive
// grouped by the millisecond in which they are complete.
QList<TimedPiece> PlanDelivery(const SimOutgoing &reply, const LineSettings &line);

// Milliseconds that n characters take on a line at baud.
double LineTimeMs(qsizetype characters, int baud);

// Hands reply pieces to a sink at their times, in order, through the event loop. The line is shared: a reply
// does not start before the previous one has left it.
class ReplyScheduler : public QObject
{
    Q_OBJECT
public:
    explicit ReplyScheduler(QObject *parent = nullptr);

    void SetSink(std::function<void(const QByteArray &)> sink) { this->sink = std::move(sink); }
    LineSettings line;

    void Send(const SimOutgoing &reply);
    bool Idle() const { return queue.isEmpty(); }
    void Clear();

private:
    struct Queued
    {
        qint64 dueMs;
        QByteArray bytes;
    };
    void DeliverDue();
    void ArmTimer();

    std::function<void(const QByteArray &)> sink;
    QList<Queued> queue; // ordered by due time
    QElapsedTimer clock;
    QTimer timer;
    qint64 lineFreeAtMs = 0;
};
