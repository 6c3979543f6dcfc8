#pragma once
// bus/ holds the wire: text helpers, checksum, the serial port layer, the command log and the transaction
// engine. Who gets a reply (tool windows, module editors) is decided above it, in workspace/ (BusRouter).
//
// The transaction engine: the only writer to and reader from the bus. One exchange is outstanding at a time.
// SendCommand completes a command with its checksum, holds it for the pacing delay, writes and logs it and
// arms the reply time-out; the receive path assembles replies in four modes and hands each reply (or the
// empty text of a time-out or a wrong checksum) to its reply sink. Everything runs on the event loop of the
// user-interface thread; nothing here blocks or owns a widget.

#include "bus_port.h"
#include "command_log.h"
#include "exchange.h"
#include "reply_sink.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <optional>

namespace navix {

// Pacing choices (the tag of the pacing dialog's SpeedInfo group).
enum PacingTag : int { VerySlow = 1, Slow = 2, Average = 3, Fast = 4, VeryFast = 5, SendingStopped = 6 };

// How the exchange whose reply the engine handed on last ended. The reply sink gets an empty text for every
// exchange that did not end in Answered; this says which it was.
enum class ReplyStatus {
    Answered,      // a reply came (in line mode also a line cut short by the time-out)
    TimedOut,      // nothing that could be the reply came before the time-out
    WrongChecksum, // a frame came whose checksum did not match
    PortClosed     // the port was closed (or gone) when the time-out ended the exchange
};

// What the engine is doing on the wire. Writing takes no time of the engine's: the port queues the command.
enum class EngineState {
    Idle,          // no exchange is outstanding
    Holding,       // a command waits out its pacing delay (or is held by "stop sending")
    AwaitingReply, // a command went out and its reply or time-out has not come yet
};

class TransactionEngine : public QObject
{
    Q_OBJECT
public:
    // The delay a command waits before it goes out, by pacing choice; VeryFast sends at once.
    static constexpr int VerySlowPacingMs = 1000;
    static constexpr int SlowPacingMs = 300;
    static constexpr int AveragePacingMs = 150;
    static constexpr int FastPacingMs = 50;
    static constexpr int HeldCommandMs = 65535;
    static constexpr int RxBufferLimit = 4096; // the port's buffer size
    // Command column of the log row for characters that came in before a command went out and were dropped
    // (a reply after its time-out, noise); the response column shows them.
    static constexpr const char *DroppedRowText = "Dropped !";

    // The delay a command held by "stop sending" goes out with once the hold is lifted.
    static constexpr int ReleaseHeldCommandMs = 10;

    explicit TransactionEngine(QObject *parent = nullptr);

    // Where replies go (not owned; null drops them).
    void SetReplySink(ReplySink *sink) { replySink = sink; }

    // The port the engine writes to and reads from (not owned; may be replaced while closed, or be null).
    void SetPort(BusPort *port);
    BusPort *Port() const { return port.data(); }

    void SendCommand(const Exchange &exchange);
    void LogExchange(const QByteArray &text, bool isResponse, ReceiveMode mode);
    void ArmTimeOut(bool on);

    int TimeOutMs() const { return timeOutMs; }
    void SetTimeOutMs(int ms);
    int PacingTag() const { return pacingTag; }
    void SetPacingTag(int tag);
    // A command held by "stop sending" goes out shortly (after ReleaseHeldCommandMs); otherwise nothing
    // changes.
    void ReleaseHeldCommand();

    // The pacing delay of the command waiting to go out, and whether one waits.
    int PacingDelayMs() const { return speedTimer.interval(); }
    bool CommandWaiting() const { return speedTimer.isActive(); }
    // The wait for the reply: its length as armed, and whether it runs.
    int ReplyWaitMs() const { return timeOutTimer.interval(); }
    bool AwaitingReply() const { return timeOutTimer.isActive(); }

    EngineState State() const;
    ReplyStatus LastReplyStatus() const { return lastReplyStatus; }

    CommandLogModel &CommandLog() { return commandLog; }
    // The time from writing the last answered or timed-out command to its complete reply or its time-out, in
    // milliseconds; the command log keeps it for every exchange in its row.
    double LastRoundTripMs() const { return lastRoundTripMs; }

    // Exchange parameters, for the windows and tests that look at them.
    const QByteArray &PendingCommand() const { return pendingCommand; }
    const QByteArray &RxBuffer() const { return rxBuffer; }
    ReceiveMode CurrentReceiveMode() const { return receiveMode; }
    int ExpectedLength() const { return expectedLength; }
    bool ChecksumInUse() const { return checksumInUse; }

public slots:
    // Data notification of the port: count characters wait to be read.
    void ApdComPort1TriggerAvail(quint16 count);

signals:
    // A command went out (or would have, with the port closed): for windows that show traffic.
    void CommandWritten(const QByteArray &command);

private:
    void SpeedTimerTimer();
    void TimeOutTimerTimer();
    void TakeIn(int count);
    void TakeInArrived();
    void DropEarlierInput();
    void ProcessReceived();
    void RunFrameLoop();
    void TrimRxBuffer();
    void Deliver(const QByteArray &reply, ReplyStatus status);
    // Ends the round trip of the written command, once: its time, or nothing when it had ended already.
    std::optional<double> EndRoundTrip();

    ReplySink *replySink = nullptr;
    QPointer<BusPort> port;
    CommandLogModel commandLog;
    QTimer speedTimer;
    QTimer timeOutTimer;

    QByteArray pendingCommand;
    ReceiveMode receiveMode = ReceiveMode::NoMode;
    char startChar = ' ';
    char endChar = ' ';
    int expectedLength = 0;
    bool checksumInUse = false;
    QByteArray rxBuffer;
    int timeOutMs = 100;
    int pacingTag = Fast;

    // A time-out belongs to the exchange it was armed for; a late one must not end a newer exchange.
    bool timeOutArmed = false;
    // Received characters are taken as replies only from the moment a command is written until its
    // time-out; what comes before it, or after the time-out, is no reply and goes when the next command does.
    bool exchangeOpen = false;
    quint64 exchangesWritten = 0;
    // A frame was read short of the module's CR, and that CR has not come yet.
    bool crOwed = false;

    bool processing = false; // the receive path is running (a reply handler may be inside it)

    QElapsedTimer sinceWrite;   // runs from the moment the last command was written
    bool roundTripOpen = false; // that command has had neither its reply nor its time-out yet
    double lastRoundTripMs = 0;
    ReplyStatus lastReplyStatus = ReplyStatus::Answered;
};

} // namespace navix
