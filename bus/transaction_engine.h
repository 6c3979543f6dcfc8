#pragma once
// The transaction engine: the only writer to and reader from the bus. One exchange is outstanding at a time.
// SendCommand completes a command with its checksum, holds it for the pacing delay, writes and logs it and
// arms the reply time-out; the receive path assembles replies in four modes; DeliverReply hands each reply
// (or the empty text of a time-out or a wrong checksum) to the tool that holds the bus or to the module
// editors in turn. Everything runs on the event loop of the user-interface thread; nothing here blocks or
// owns a widget.

#include "bus_port.h"
#include "command_log.h"
#include "exchange.h"
#include "module_records.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <array>

// The tool windows that can hold the bus, in the order DeliverReply looks at them.
enum class ToolKind { Search = 0, Terminal, Memory };

class ToolReplyHandler
{
public:
    virtual ~ToolReplyHandler() = default;
    // Receives every reply while the tool holds the bus; empty for a time-out or a wrong checksum.
    virtual void HandleToolReply(const QByteArray &reply) = 0;
};

// The receive modes as the plain numbers that the six-argument SendCommand and the receive path take.
constexpr int NoMode = static_cast<int>(ReceiveMode::NoMode);
constexpr int CheckedFrame = static_cast<int>(ReceiveMode::CheckedFrame);
constexpr int UncheckedFrame = static_cast<int>(ReceiveMode::UncheckedFrame);
constexpr int RawMode = static_cast<int>(ReceiveMode::RawMode);
constexpr int LineMode = static_cast<int>(ReceiveMode::LineMode);

// Pacing choices (the tag of the pacing dialog's SpeedInfo group).
enum PacingTag : int { VerySlow = 1, Slow = 2, Average = 3, Fast = 4, VeryFast = 5, SendingStopped = 6 };

class TransactionEngine : public QObject
{
    Q_OBJECT
public:
    static constexpr int HeldCommandMs = 65535;
    static constexpr int RxBufferLimit = 4096; // the port's buffer size
    // Command column of the log row for characters that came in before a command went out and were dropped
    // (a reply after its time-out, noise); the response column shows them.
    static constexpr const char *DroppedRowText = "Dropped !";

    explicit TransactionEngine(ModuleRegistry &modules, QObject *parent = nullptr);

    // The port the engine writes to and reads from (not owned; may be replaced while closed, or be null).
    void SetPort(BusPort *port);
    BusPort *Port() const { return port.data(); }

    void SendCommand(const Exchange &exchange);
    void SendCommand(const QByteArray &command, bool addChecksum, int receiveMode, char startChar,
                     char endChar, int expectedLength);
    void DeliverReply(const QByteArray &reply);
    void LogExchange(const QByteArray &text, bool isResponse, int mode);
    void ArmTimeOut(bool on);

    void RegisterTool(ToolKind tool, ToolReplyHandler *handler);
    bool RequestBus(ToolKind tool);
    void ReleaseBus();
    bool OwnsBus(ToolKind tool) const;
    // The record half of clearing the modules: ends the running editor turn, suspends routing unless asked to
    // keep it, frees every open editor window (later, from the event loop, so that a window whose handler is
    // still running is not destroyed under it) and drops every record. Cursors stay; the next ReleaseBus
    // resets them.
    void ClearModuleRecords(bool keepRouting);
    bool BusAsked(ToolKind tool) const; // the tool's tag is 1: it gets the bus at the end of the current turn

    int TimeOutMs() const { return timeOutMs; }
    void SetTimeOutMs(int ms);
    int PacingTag() const { return pacingTag; }
    void SetPacingTag(int tag);

    bool RoutingSuspended() const { return routingSuspended; }
    void SetRoutingSuspended(bool suspended) { routingSuspended = suspended; }
    bool EditorTurnActive() const { return editorTurnActive; }
    void SetEditorTurnActive(bool active) { editorTurnActive = active; }
    // 0 before the first pass, 1..8 the active list, 9 idle, 100 the bus handed to a tool.
    int Phase() const { return phase; }
    static constexpr int IdlePhase = 9;
    static constexpr int ToolPhase = 100;

    QTimer &SpeedTimer() { return speedTimer; }
    QTimer &TimeOutTimer() { return timeOutTimer; }
    CommandLogModel &CommandLog() { return commandLog; }
    ModuleRegistry &Modules() { return modules; }

    // Exchange parameters, for the windows and tests that look at them.
    const QByteArray &PendingCommand() const { return pendingCommand; }
    const QByteArray &RxBuffer() const { return rxBuffer; }
    int CurrentReceiveMode() const { return receiveMode; }
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
    void RunEditorCycle(const QByteArray &reply);
    bool HandOverToAskingTool();
    void TrimRxBuffer();

    ModuleRegistry &modules;
    QPointer<BusPort> port;
    CommandLogModel commandLog;
    QTimer speedTimer;
    QTimer timeOutTimer;

    QByteArray pendingCommand;
    int receiveMode = NoMode;
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

    struct ToolSlot
    {
        ToolReplyHandler *handler = nullptr;
        bool owner = false;
        bool asked = false;
    };
    std::array<ToolSlot, 3> tools;
    bool routingSuspended = false;
    bool editorTurnActive = false;
    int phase = 0;
    std::array<int, EditorKindCount> cursors{};
    bool continuationQueued = false;
};
