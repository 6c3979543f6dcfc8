#include "tool_session.h"

ToolBusSession::ToolBusSession(TransactionEngine &engine, ToolKind tool, ToolReplyHandler &handler,
                               QTimer &initTimer, QTimer &closeTimer)
    : engine(engine), tool(tool), initTimer(initTimer), closeTimer(closeTimer)
{
    initTimer.setSingleShot(true);
    closeTimer.setSingleShot(true);
    engine.RegisterTool(tool, &handler);
}

ToolBusSession::~ToolBusSession()
{
    // The engine outlives the window; no reply may reach it once it is gone.
    engine.RegisterTool(tool, nullptr);
}

void ToolBusSession::Open()
{
    if (closePending)
        Close();
    phase = ScanPhase::WaitingForBus;
    initTimer.setInterval(engine.TimeOutMs());
    initTimer.start();
}

bool ToolBusSession::AskForBus()
{
    initTimer.stop();
    if (!engine.RequestBus(tool)) {
        initTimer.start();
        return false;
    }
    phase = ScanPhase::Ready;
    return true;
}

void ToolBusSession::BeginClose()
{
    // A hidden window must not go on asking for the bus.
    initTimer.stop();
    phase = ScanPhase::Closing;
    closePending = true;
    closeTimer.setInterval(2 * engine.TimeOutMs());
    closeTimer.start();
}

void ToolBusSession::CloseTimerTimer()
{
    closeTimer.stop();
    // A request for the bus noted during an editor's turn is granted when that turn ends; the close waits for
    // it, or the bus would be handed to this closed window afterwards and stay with it.
    if (engine.BusAsked(tool) && !engine.OwnsBus(tool) && engine.EditorTurnActive()) {
        closeTimer.start();
        return;
    }
    Close();
}

bool ToolBusSession::ReplyArrived()
{
    if (phase == ScanPhase::Closing)
        Close();
    return phase == ScanPhase::Ready;
}

void ToolBusSession::Close()
{
    closeTimer.stop();
    if (!closePending)
        return;
    closePending = false;
    if (onClose)
        onClose();
    // Releasing restarts the editor cycle; without having held the bus that would break into an editor's
    // turn.
    if (engine.OwnsBus(tool))
        engine.ReleaseBus();
}
