#pragma once
// The bus life of a tool window (search, terminal, memory utilities). Shown, the window asks for the bus
// every time-out interval until it is granted; hidden, it closes at the first of the next reply or twice the
// time-out interval, and gives the bus back only when it holds it. The timers belong to the window (they
// carry its names); the session watches the window's showing and hiding and drives them. The window's reply
// handler is known to the router for the session's life.

#include "bus/transaction_engine.h"
#include "bus_router.h"

#include <QObject>
#include <QTimer>
#include <functional>

namespace navix {

enum class ScanPhase { WaitingForBus = 0, Ready = 1, Closing = 2 };

class ToolBusSession : public QObject
{
public:
    // A tool window's timers before the show sets the bus's time-out interval.
    static constexpr int DefaultTimerMs = 100;

    ToolBusSession(TransactionEngine &engine, BusRouter &router, ToolKind tool, ToolReplyHandler &handler,
                   QObject &window, QTimer &initTimer, QTimer &closeTimer);
    ~ToolBusSession() override;

    // What the window does when it is shown, once its wait for the bus has begun.
    std::function<void()> onShow;
    // What the window does when the bus has been granted.
    std::function<void()> onBusGranted;
    // What the window does when it closes; the bus is given back right after.
    std::function<void()> onClose;

    ScanPhase Phase() const { return phase; }

    // A reply delivered to the window: a closing window closes with it; true only when the window is ready to
    // act on it (while waiting for the bus a reply means nothing to it).
    bool ReplyArrived();

    void InitTimerTimer();
    void CloseTimerTimer();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // On show: a close still pending from the last hide is finished first, so that a shown window always has
    // its own bus request running; then the window waits for the bus.
    void FormShow();
    // On hide: no more asking; the close comes with the next reply or from CloseTimer.
    void FormHide();
    // Finishes the close; the reply and CloseTimer race, and whichever comes second finds nothing left to do.
    void Close();

    TransactionEngine &engine;
    BusRouter &router;
    ToolKind tool;
    QObject &window;
    QTimer &initTimer;
    QTimer &closeTimer;
    ScanPhase phase = ScanPhase::WaitingForBus;
    bool closePending = false;
};

} // namespace navix
