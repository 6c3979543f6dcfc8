#include "command_log.h"

#include <QDateTime>
#include <QTime>

#include <algorithm>
#include <cstdio>

CommandLogModel::CommandLogModel(QObject *parent)
    : BatchedRowModel({"Command : ", "Response :", "Time :"}, MaxRows, Order::NewestFirst, parent)
{
}

QString LogTimeStamp(const QTime &time)
{
    // Written out directly: at line rate every reply gets one.
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%d:%d:%d.%d", time.hour(), time.minute(),
                                     time.second(), time.msec());
    return QString::fromLatin1(text, std::clamp(length, 0, int(sizeof text) - 1));
}

QTime LogTimeOfDay()
{
    constexpr qint64 OffsetKeptMs = 1000;
    constexpr qint64 MsPerDay = 24 * 60 * 60 * 1000;
    static qint64 offsetMs = 0;
    static qint64 offsetValidUntil = 0;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now >= offsetValidUntil || now < offsetValidUntil - OffsetKeptMs) {
        offsetMs = QDateTime::fromMSecsSinceEpoch(now).offsetFromUtc() * qint64(1000);
        offsetValidUntil = now + OffsetKeptMs;
    }
    return QTime::fromMSecsSinceStartOfDay(
        static_cast<int>(((now + offsetMs) % MsPerDay + MsPerDay) % MsPerDay));
}
