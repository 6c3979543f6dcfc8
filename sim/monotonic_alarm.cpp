#include "monotonic_alarm.h"

#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>
#endif

namespace navix {

namespace {
constexpr qint64 MicrosecondsPerSecond = 1000000;
#ifdef Q_OS_LINUX
// Linux may postpone a sleeper's wake-up by this much to group wake-ups (50 us unless told otherwise), as
// long as a character at 115200 Bd; one microsecond keeps the line's timing.
constexpr unsigned long TimerSlackNs = 1000;
#endif
} // namespace

MonotonicAlarm::MonotonicAlarm(QObject *parent) : QObject(parent)
{
#ifdef Q_OS_LINUX
    ::prctl(PR_SET_TIMERSLACK, TimerSlackNs);
    timerHandle = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timerHandle >= 0) {
        notifier = new QSocketNotifier(timerHandle, QSocketNotifier::Read, this);
        connect(notifier, &QSocketNotifier::activated, this, &MonotonicAlarm::Fire);
        return;
    }
#endif
    fallback = new QTimer(this);
    fallback->setSingleShot(true);
    fallback->setTimerType(Qt::PreciseTimer);
    connect(fallback, &QTimer::timeout, this, &MonotonicAlarm::Rang);
}

MonotonicAlarm::~MonotonicAlarm()
{
#ifdef Q_OS_LINUX
    if (timerHandle >= 0)
        ::close(timerHandle);
#endif
}

qint64 MonotonicAlarm::NowUs()
{
#ifdef Q_OS_LINUX
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * MicrosecondsPerSecond + now.tv_nsec / 1000;
#else
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
#endif
}

void MonotonicAlarm::RingAt(qint64 monotonicUs, qint64 wakeLeadUs)
{
    ringAtUs = monotonicUs;
    if (fallback) {
        const double waitMs = std::max<qint64>(0, monotonicUs - NowUs()) / 1000.0;
        fallback->start(static_cast<int>(std::ceil(waitMs)));
        return;
    }
#ifdef Q_OS_LINUX
    // Zero would disarm the timer: a moment that has passed rings one nanosecond after the clock's start.
    const qint64 wakeUs = monotonicUs - std::max<qint64>(0, wakeLeadUs);
    itimerspec due{};
    due.it_value.tv_sec = wakeUs / MicrosecondsPerSecond;
    due.it_value.tv_nsec = (wakeUs % MicrosecondsPerSecond) * 1000;
    if (wakeUs <= 0)
        due.it_value.tv_nsec = 1;
    ::timerfd_settime(timerHandle, TFD_TIMER_ABSTIME, &due, nullptr);
#endif
}

void MonotonicAlarm::Stop()
{
    if (fallback) {
        fallback->stop();
        return;
    }
#ifdef Q_OS_LINUX
    const itimerspec off{};
    ::timerfd_settime(timerHandle, TFD_TIMER_ABSTIME, &off, nullptr);
#endif
}

void MonotonicAlarm::Fire()
{
#ifdef Q_OS_LINUX
    quint64 expirations = 0;
    if (::read(timerHandle, &expirations, sizeof expirations) != sizeof expirations)
        return; // moved or stopped since it became readable
    while (NowUs() < ringAtUs)
        ; // the wake-up lead at most
#endif
    emit Rang();
}

} // namespace navix
