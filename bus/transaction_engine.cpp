#include "transaction_engine.h"

#include "diagnostics.h"

#include "text.h"

#include <QTime>

#include <optional>
#include <utility>

namespace navix {

namespace {
constexpr double NanosecondsPerMillisecond = 1e6;

const char *StatusName(ReplyStatus status)
{
    switch (status) {
    case ReplyStatus::Answered:
        return "answered";
    case ReplyStatus::TimedOut:
        return "timed out";
    case ReplyStatus::WrongChecksum:
        return "wrong checksum";
    case ReplyStatus::PortClosed:
        return "port closed";
    }
    return "";
}
} // namespace

TransactionEngine::TransactionEngine(QObject *parent) : QObject(parent)
{
    speedTimer.setSingleShot(true);
    speedTimer.setTimerType(Qt::PreciseTimer);
    timeOutTimer.setSingleShot(true);
    timeOutTimer.setTimerType(Qt::PreciseTimer);
    timeOutTimer.setInterval(timeOutMs);
    connect(&speedTimer, &QTimer::timeout, this, &TransactionEngine::SpeedTimerTimer);
    connect(&timeOutTimer, &QTimer::timeout, this, &TransactionEngine::TimeOutTimerTimer);
}

void TransactionEngine::SetPort(BusPort *newPort)
{
    if (port)
        disconnect(port, &BusPort::TriggerAvail, this, &TransactionEngine::ApdComPort1TriggerAvail);
    port = newPort;
    if (port)
        connect(port, &BusPort::TriggerAvail, this, &TransactionEngine::ApdComPort1TriggerAvail);
}

void TransactionEngine::SendCommand(const Exchange &exchange)
{
    checksumInUse = exchange.checksum;
    QByteArray text = exchange.command;
    int length = exchange.expectedLength;
    if (exchange.checksum) {
        // The checksum goes in front of the last character, which the callers always make the CR.
        const QByteArray checksum = ComputeChecksum(text);
        if (!text.isEmpty())
            text.insert(text.size() - 1, checksum);
        length += 2;
    }
    // The program's callers send one command at a time; one that replaces a command still held for its
    // pacing is said in the engine's log, so that a lost exchange can be traced.
    if (State() == EngineState::Holding)
        qCInfo(EngineLog) << "command" << text << "replaces the held" << pendingCommand;
    pendingCommand = text;
    // Until the command is written, nothing that comes in can be its reply.
    exchangeOpen = false;
    receiveMode = exchange.receiveMode;
    startChar = exchange.startChar;
    endChar = exchange.endChar;
    expectedLength = length;

    int delay = FastPacingMs;
    switch (pacingTag) {
    case VerySlow:
        delay = VerySlowPacingMs;
        break;
    case Slow:
        delay = SlowPacingMs;
        break;
    case Average:
        delay = AveragePacingMs;
        break;
    case VeryFast:
        SpeedTimerTimer();
        return;
    case SendingStopped:
        delay = HeldCommandMs;
        break;
    default:
        break;
    }
    // A second command during the delay replaces the held one and restarts the delay.
    speedTimer.start(delay);
}

void TransactionEngine::SpeedTimerTimer()
{
    speedTimer.stop();
    // A command replaced before its reply came has no round trip; characters dropped now answer none.
    roundTripOpen = false;
    DropEarlierInput();
    LogExchange(pendingCommand, false, receiveMode);
    // A closed port is not an error: the command is logged and the time-out reports the exchange.
    qCDebug(EngineLog) << "command" << pendingCommand;
    if (port && port->IsOpen())
        port->WriteText(pendingCommand);
    sinceWrite.start();
    roundTripOpen = true;
    ++exchangesWritten;
    exchangeOpen = true;
    emit CommandWritten(pendingCommand);
    ArmTimeOut(true);
}

void TransactionEngine::DropEarlierInput()
{
    // What came in before the command goes out cannot answer it: it is a reply that came after its time-out
    // (a slow module, or a program held up for a moment) or noise. Taken as this command's reply, it would
    // put every later reply one exchange behind its command.
    TakeInArrived();
    if (rxBuffer.isEmpty())
        return;
    const QByteArray dropped = std::exchange(rxBuffer, QByteArray());
    qCDebug(EngineLog) << "dropped" << dropped;
    LogExchange(DroppedRowText, false, receiveMode);
    LogExchange(dropped.simplified(), true, receiveMode);
}

void TransactionEngine::ArmTimeOut(bool on)
{
    timeOutTimer.stop();
    timeOutTimer.setInterval(timeOutMs);
    timeOutArmed = on;
    if (on)
        timeOutTimer.start();
}

void TransactionEngine::TimeOutTimerTimer()
{
    timeOutTimer.stop();
    // Only the exchange the timer was armed for may end by it.
    if (!timeOutArmed)
        return;
    // A reply that already stands in the port, unannounced because the program was held up, is no time-out.
    const quint64 exchange = exchangesWritten;
    TakeInArrived();
    if (!processing)
        ProcessReceived();
    // Answered after all (maybe with the next command out already), or a line begun that earns a new wait.
    if (!timeOutArmed || timeOutTimer.isActive() || exchange != exchangesWritten)
        return;
    timeOutArmed = false;
    exchangeOpen = false;
    const ReplyStatus silent = port && port->IsOpen() ? ReplyStatus::TimedOut : ReplyStatus::PortClosed;
    if (receiveMode == ReceiveMode::LineMode) {
        const QByteArray partial = rxBuffer;
        rxBuffer.clear();
        Deliver(partial, partial.isEmpty() ? silent : ReplyStatus::Answered);
        return;
    }
    rxBuffer.clear();
    LogExchange("Time out !", true, receiveMode);
    Deliver(QByteArray(), silent);
}

void TransactionEngine::SetTimeOutMs(int ms)
{
    timeOutMs = ms;
    if (!timeOutTimer.isActive())
        timeOutTimer.setInterval(ms);
}

void TransactionEngine::SetPacingTag(int tag)
{
    pacingTag = tag;
}

void TransactionEngine::ReleaseHeldCommand()
{
    if (speedTimer.interval() == HeldCommandMs)
        speedTimer.setInterval(ReleaseHeldCommandMs);
}

std::optional<double> TransactionEngine::EndRoundTrip()
{
    if (!std::exchange(roundTripOpen, false))
        return std::nullopt;
    lastRoundTripMs = static_cast<double>(sinceWrite.nsecsElapsed()) / NanosecondsPerMillisecond;
    return lastRoundTripMs;
}

EngineState TransactionEngine::State() const
{
    if (speedTimer.isActive())
        return EngineState::Holding;
    return timeOutArmed ? EngineState::AwaitingReply : EngineState::Idle;
}

void TransactionEngine::Deliver(const QByteArray &reply, ReplyStatus status)
{
    lastReplyStatus = status;
    qCDebug(EngineLog) << "reply" << reply << StatusName(status);
    // Replies that the log leaves out (raw and line mode) end their round trip here.
    EndRoundTrip();
    if (replySink)
        replySink->DeliverReply(reply);
}

void TransactionEngine::ApdComPort1TriggerAvail(quint16 count)
{
    if (!port)
        return;
    TakeIn(count);
    // A reply handler that is still inside the receive path (a modal box keeps the event loop running) leaves
    // the new characters to the running loop, which looks at the buffer again when the handler returns.
    if (processing)
        return;
    ProcessReceived();
}

void TransactionEngine::TakeIn(int count)
{
    for (int i = 0; i < count; ++i) {
        const char character = port->ReadChar();
        // The CR behind a frame read short of it ends that reply; it is neither noise nor the next line.
        if (std::exchange(crOwed, false) && character == CR)
            continue;
        rxBuffer.append(character);
    }
    TrimRxBuffer();
}

void TransactionEngine::TakeInArrived()
{
    if (port && port->IsOpen())
        TakeIn(port->TakeInArrived());
}

void TransactionEngine::TrimRxBuffer()
{
    // Before the first command, or while a stream without a start character comes in, nothing consumes the
    // buffer: keep only the newest characters, as much as the port itself would hold.
    if (rxBuffer.size() > RxBufferLimit)
        rxBuffer.remove(0, rxBuffer.size() - RxBufferLimit);
}

void TransactionEngine::ProcessReceived()
{
    processing = true;
    bool lineTimeOutStopped = false;
    bool goOn = true;
    while (goOn && exchangeOpen) {
        goOn = false;
        switch (receiveMode) {
        case ReceiveMode::CheckedFrame:
        case ReceiveMode::UncheckedFrame:
            RunFrameLoop();
            // The loop stops when it must wait for more characters; it runs again only if a handler added
            // some.
            goOn = false;
            break;
        case ReceiveMode::RawMode:
            if (!rxBuffer.isEmpty()) {
                const QByteArray reply = rxBuffer;
                rxBuffer.clear();
                ArmTimeOut(false);
                LogExchange(reply, true, ReceiveMode::RawMode);
                Deliver(reply, ReplyStatus::Answered);
                goOn = true;
            }
            break;
        case ReceiveMode::LineMode:
            if (rxBuffer.contains(CR)) {
                if (!lineTimeOutStopped) {
                    ArmTimeOut(false);
                    lineTimeOutStopped = true;
                }
                const qsizetype end = rxBuffer.indexOf(CR) + 1;
                const QByteArray line = rxBuffer.left(end);
                rxBuffer.remove(0, end);
                LogExchange(line, true, ReceiveMode::LineMode);
                Deliver(line, ReplyStatus::Answered);
                goOn = true;
            } else if (lineTimeOutStopped && !rxBuffer.isEmpty() && !timeOutArmed) {
                // A line without its CR yet: the time-out hands over what came, as for a silent module.
                ArmTimeOut(true);
            }
            break;
        default:
            break; // before the first command the characters only wait in the buffer
        }
    }
    processing = false;
}

void TransactionEngine::RunFrameLoop()
{
    while (exchangeOpen &&
           (receiveMode == ReceiveMode::CheckedFrame || receiveMode == ReceiveMode::UncheckedFrame)) {
        const qsizetype start = rxBuffer.indexOf(startChar);
        if (start < 0)
            return;
        rxBuffer.remove(0, start); // noise in front of the start character
        const int length = qMax(expectedLength, 1);
        if (rxBuffer.size() < length)
            return;
        // A second start character inside the frame window: what precedes it was a broken frame.
        const qsizetype second = rxBuffer.indexOf(startChar, 1);
        if (second > 0 && second < length) {
            rxBuffer.remove(0, second);
            return;
        }
        QByteArray frame = rxBuffer.left(length);
        if (receiveMode == ReceiveMode::CheckedFrame && frame.back() != endChar) {
            rxBuffer.clear(); // the time-out will report the exchange
            return;
        }
        // The frame leaves the buffer before it is delivered: the handler may send the next command, and
        // characters that arrive meanwhile belong after it.
        rxBuffer.remove(0, length);
        if (frame.back() != CR) {
            // Read by length short of the module's CR: that CR is still part of this reply.
            if (rxBuffer.startsWith(CR))
                rxBuffer.remove(0, 1);
            else
                crOwed = rxBuffer.isEmpty();
        }
        const ReceiveMode mode = receiveMode;
        const bool checked = checksumInUse;
        const bool endsWithEndChar = frame.back() == endChar;
        ArmTimeOut(false);
        LogExchange(frame, true, mode);
        if (checked) {
            if (const std::optional<QByteArray> reply = WithoutChecksum(frame, endsWithEndChar)) {
                Deliver(*reply, ReplyStatus::Answered);
            } else {
                Deliver(QByteArray(), ReplyStatus::WrongChecksum);
                LogExchange("Wrong checksum !", false, mode);
            }
        } else {
            Deliver(frame, ReplyStatus::Answered);
        }
    }
}

void TransactionEngine::LogExchange(const QByteArray &text, bool isResponse, ReceiveMode mode)
{
    if (mode == ReceiveMode::RawMode || mode == ReceiveMode::LineMode)
        return;
    QByteArray shown = text;
    const qsizetype cr = shown.indexOf(CR);
    if (cr >= 0)
        shown.remove(cr, 1);
    if (isResponse) {
        commandLog.AppendResponse(FromWire(shown), LogTimeStamp(LogTimeOfDay()), EndRoundTrip());
    } else
        commandLog.InsertRow(FromWire(shown));
}

} // namespace navix
