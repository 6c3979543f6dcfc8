#include "tool_session.h"

#include <QEvent>

namespace navix {

ToolBusSession::ToolBusSession(TransactionEngine &engine, BusRouter &router, ToolKind tool,
                               ToolReplyHandler &handler, QObject &window, QTimer &initTimer,
                               QTimer &closeTimer)
    : engine(engine), router(router), tool(tool), window(window), initTimer(initTimer), closeTimer(closeTimer)
{
    // The window's two timers are its children, named as its controls are, at the form's interval until
    // the show sets the bus's time-out interval.
    for (QTimer *timer : {&initTimer, &closeTimer}) {
        timer->setParent(&window);
        timer->setInterval(DefaultTimerMs);
        timer->setSingleShot(true);
    }
    initTimer.setObjectName("InitTimer");
    closeTimer.setObjectName("CloseTimer");
    connect(&initTimer, &QTimer::timeout, this, &ToolBusSession::InitTimerTimer);
    connect(&closeTimer, &QTimer::timeout, this, &ToolBusSession::CloseTimerTimer);
    window.installEventFilter(this);
    router.RegisterTool(tool, &handler);
}

ToolBusSession::~ToolBusSession()
{
    // The router outlives the window; no reply may reach it once it is gone.
    router.RegisterTool(tool, nullptr);
}

bool ToolBusSession::eventFilter(QObject *watched, QEvent *event)
{
    // Only the program's own show and hide count, not the window system's (minimising, another desktop).
    if (watched == &window && !event->spontaneous()) {
        if (event->type() == QEvent::Show)
            FormShow();
        else if (event->type() == QEvent::Hide)
            FormHide();
    }
    return false;
}

void ToolBusSession::FormShow()
{
    if (closePending)
        Close();
    phase = ScanPhase::WaitingForBus;
    initTimer.setInterval(engine.TimeOutMs());
    initTimer.start();
    if (onShow)
        onShow();
}

void ToolBusSession::InitTimerTimer()
{
    initTimer.stop();
    if (!router.RequestBus(tool)) {
        initTimer.start();
        return;
    }
    phase = ScanPhase::Ready;
    if (onBusGranted)
        onBusGranted();
}

void ToolBusSession::FormHide()
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
    if (router.BusAsked(tool) && !router.OwnsBus(tool) && router.EditorTurnActive()) {
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
    if (router.OwnsBus(tool))
        router.ReleaseBus();
}

} // namespace navix
