#include "transaction_engine.h"

#include "text.h"

#include <QTime>

namespace {
int ToolIndex(ToolKind tool)
{
    return static_cast<int>(tool);
}
} // namespace

TransactionEngine::TransactionEngine(ModuleRegistry &modules, QObject *parent)
    : QObject(parent), modules(modules)
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

void TransactionEngine::SendCommand(const QByteArray &command, bool addChecksum, int mode, char start,
                                    char end, int length)
{
    checksumInUse = addChecksum;
    QByteArray text = command;
    if (addChecksum) {
        // The checksum goes in front of the last character, which the callers always make the CR.
        const QByteArray checksum = ComputeChecksum(text);
        if (!text.isEmpty())
            text.insert(text.size() - 1, checksum);
        length += 2;
    }
    pendingCommand = text;
    receiveMode = mode;
    startChar = start;
    endChar = end;
    expectedLength = length;

    int delay = 50;
    switch (pacingTag) {
    case VerySlow:
        delay = 1000;
        break;
    case Slow:
        delay = 300;
        break;
    case Average:
        delay = 150;
        break;
    case VeryFast:
        SpeedTimerTimer();
        return;
    case SendingStopped:
        delay = HeldCommandMs;
        break;
    default:
        delay = 50;
        break;
    }
    // A second command during the delay replaces the held one and restarts the delay.
    speedTimer.start(delay);
}

void TransactionEngine::SpeedTimerTimer()
{
    speedTimer.stop();
    LogExchange(pendingCommand, false, receiveMode);
    // A closed port is not an error: the command is logged and the time-out reports the exchange.
    if (port && port->IsOpen())
        port->WriteText(pendingCommand);
    emit CommandWritten(pendingCommand);
    ArmTimeOut(true);
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
    timeOutArmed = false;
    if (receiveMode == LineMode) {
        const QByteArray partial = rxBuffer;
        rxBuffer.clear();
        DeliverReply(partial);
        return;
    }
    rxBuffer.clear();
    LogExchange("Time out !", true, receiveMode);
    DeliverReply(QByteArray());
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

void TransactionEngine::ApdComPort1TriggerAvail(quint16 count)
{
    if (!port)
        return;
    for (int i = 0; i < count; ++i)
        rxBuffer.append(port->ReadChar());
    TrimRxBuffer();
    // A reply handler that is still inside the receive path (a modal box keeps the event loop running) leaves
    // the new characters to the running loop, which looks at the buffer again when the handler returns.
    if (processing)
        return;
    ProcessReceived();
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
    while (goOn) {
        goOn = false;
        switch (receiveMode) {
        case CheckedFrame:
        case UncheckedFrame:
            RunFrameLoop();
            // The loop stops when it must wait for more characters; it runs again only if a handler added
            // some.
            goOn = false;
            break;
        case RawMode:
            if (!rxBuffer.isEmpty()) {
                const QByteArray reply = rxBuffer;
                rxBuffer.clear();
                ArmTimeOut(false);
                LogExchange(reply, true, RawMode);
                DeliverReply(reply);
                goOn = true;
            }
            break;
        case LineMode:
            if (rxBuffer.contains(CR)) {
                if (!lineTimeOutStopped) {
                    ArmTimeOut(false);
                    lineTimeOutStopped = true;
                }
                const qsizetype end = rxBuffer.indexOf(CR) + 1;
                const QByteArray line = rxBuffer.left(end);
                rxBuffer.remove(0, end);
                LogExchange(line, true, LineMode);
                DeliverReply(line);
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
    while (receiveMode == CheckedFrame || receiveMode == UncheckedFrame) {
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
        if (receiveMode == CheckedFrame && frame.back() != endChar) {
            rxBuffer.clear(); // the time-out will report the exchange
            return;
        }
        // The frame leaves the buffer before it is delivered: the handler may send the next command, and
        // characters that arrive meanwhile belong after it.
        rxBuffer.remove(0, length);
        const int mode = receiveMode;
        const bool checked = checksumInUse;
        ArmTimeOut(false);
        LogExchange(frame, true, mode);
        if (checked) {
            const QByteArray received = Copy(frame, length - 2, 2);
            const QByteArray body = Copy(frame, 1, length - 3);
            if (length >= 3 && ComputeChecksum(body) == received) {
                Delete(frame, length - 2, 2);
                DeliverReply(frame);
            } else {
                DeliverReply(QByteArray());
                LogExchange("Wrong checksum !", false, mode);
            }
        } else {
            DeliverReply(frame);
        }
    }
}

void TransactionEngine::LogExchange(const QByteArray &text, bool isResponse, int mode)
{
    if (mode >= RawMode)
        return;
    QByteArray shown = text;
    const qsizetype cr = shown.indexOf(CR);
    if (cr >= 0)
        shown.remove(cr, 1);
    if (isResponse)
        commandLog.AppendToTop({FromWire(shown), LogTimeStamp(LogTimeOfDay())});
    else
        commandLog.InsertRow(FromWire(shown));
}

void TransactionEngine::RegisterTool(ToolKind tool, ToolReplyHandler *handler)
{
    tools[ToolIndex(tool)].handler = handler;
}

bool TransactionEngine::OwnsBus(ToolKind tool) const
{
    return tools[ToolIndex(tool)].owner;
}

bool TransactionEngine::BusAsked(ToolKind tool) const
{
    return tools[ToolIndex(tool)].asked;
}

bool TransactionEngine::RequestBus(ToolKind tool)
{
    ToolSlot &slot = tools[ToolIndex(tool)];
    if (slot.owner)
        return true;
    if (editorTurnActive) {
        slot.asked = true; // granted at the end of the running editor turn
        return false;
    }
    slot.owner = true;
    slot.asked = false; // granted now: a request noted earlier must not hand it the bus again later
    if (tool == ToolKind::Memory)
        return false; // the memory window is granted on its next request; routing stays as it is
    routingSuspended = false;
    return true;
}

void TransactionEngine::ReleaseBus()
{
    // Requests noted during an editor turn are forgotten too: a tool that still wants the bus asks again from
    // its timer, and a closed one must not be handed the bus at the end of some later turn.
    for (ToolSlot &slot : tools) {
        slot.owner = false;
        slot.asked = false;
    }
    cursors.fill(0);
    phase = 1;
    routingSuspended = false;
    DeliverReply(QByteArray());
}

void TransactionEngine::DeliverReply(const QByteArray &reply)
{
    if (routingSuspended)
        return;
    for (ToolSlot &slot : tools) {
        if (slot.owner) {
            if (slot.handler)
                slot.handler->HandleToolReply(reply);
            return;
        }
    }
    RunEditorCycle(reply);
}

bool TransactionEngine::HandOverToAskingTool()
{
    for (ToolSlot &slot : tools) {
        if (slot.asked) {
            slot.asked = false;
            slot.owner = true;
            phase = ToolPhase;
            return true;
        }
    }
    return false;
}

void TransactionEngine::RunEditorCycle(const QByteArray &reply)
{
    if (phase < 1 || phase > EditorKindCount)
        return;
    int restarts = 0;
    for (;;) {
        while (phase >= 1 && phase <= EditorKindCount) {
            const ModuleRegistry::List &list = modules.Records(static_cast<EditorKind>(phase - 1));
            int &cursor = cursors[phase - 1];
            while (cursor >= 0 && cursor < static_cast<int>(list.size())) {
                const ModuleRecordPtr record = list[cursor]; // kept alive while its editor runs
                if (record->editorState == 0) {
                    ++cursor;
                    continue;
                }
                ModuleEditor *editor = record->Editor();
                if (!editor) {
                    // The window is gone without telling its record: it can take no turn.
                    record->editorState = 0;
                    ++cursor;
                    continue;
                }
                editorTurnActive = true;
                if (!editor->HandleReply(reply))
                    return;
                editorTurnActive = false;
                if (record->editorState == 2) {
                    if (ModuleEditor *closing = record->Editor())
                        closing->CloseAtTurnEnd();
                    record->editorState = 0;
                    record->SetEditor(nullptr, nullptr);
                }
                if (HandOverToAskingTool())
                    return;
                if (phase < 1 || phase > EditorKindCount)
                    return; // the bus changed hands while the editor ran
                ++cursor;
            }
            ++phase;
        }
        if (!modules.AnyEditorOpen()) {
            editorTurnActive = false;
            phase = IdlePhase;
            return;
        }
        cursors.fill(0);
        phase = 1;
        if (++restarts > 1) {
            // Every open editor ended its turn without sending: go on from the event loop instead of
            // spinning.
            if (!continuationQueued) {
                continuationQueued = true;
                QTimer::singleShot(0, this, [this] {
                    continuationQueued = false;
                    DeliverReply(QByteArray());
                });
            }
            return;
        }
    }
}

void TransactionEngine::ClearModuleRecords(bool keepRouting)
{
    editorTurnActive = false;
    routingSuspended = !keepRouting;
    modules.Clear([](ModuleRecord &record) {
        if (QObject *window = record.EditorObject())
            window->deleteLater();
        record.SetEditor(nullptr, nullptr);
        record.editorState = 0;
    });
}
