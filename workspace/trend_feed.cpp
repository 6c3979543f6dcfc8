#include "trend_feed.h"

void TrendFeed::SetTitle(const QString &text)
{
    if (text == title)
        return;
    title = text;
    emit Described();
}

void TrendFeed::Describe(const QList<TrendChannel> &newChannels, const QString &newUnit)
{
    if (newChannels == channels && newUnit == unit)
        return;
    channels = newChannels;
    unit = newUnit;
    emit Described();
}

void TrendFeed::Record(const QList<double> &values)
{
    emit Sampled({QDateTime::currentDateTime(), values});
}
