#pragma once
// A wake-up at a moment on the monotonic clock, to the microsecond. Qt's timers count whole milliseconds,
// which at 115200 Bd is the length of a whole exchange; the simulated line needs its replies on time to a
// small part of that.

#include <QObject>

class QSocketNotifier;
class QTimer;

namespace navix {

class MonotonicAlarm : public QObject
{
    Q_OBJECT
public:
    explicit MonotonicAlarm(QObject *parent = nullptr);
    ~MonotonicAlarm() override;

    // Microseconds on the monotonic clock (from an arbitrary start).
    static qint64 NowUs();

    // Rings once at that moment, through the event loop (at once when it has passed); a later call moves it.
    // Waking a process takes its time, tens of microseconds and more on a busy or virtual machine: with a
    // wake-up lead the process wakes that much early and waits out the rest awake, so that the alarm rings
    // neither late nor early, at the cost of the processor time it waits.
    void RingAt(qint64 monotonicUs, qint64 wakeLeadUs = 0);
    void Stop();

signals:
    void Rang();

private:
    void Fire();

    qint64 ringAtUs = 0;
    int timerHandle = -1;
    QSocketNotifier *notifier = nullptr;
    QTimer *fallback = nullptr; // where the system has no timer of finer grain
};

} // namespace navix
