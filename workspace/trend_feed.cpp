#include "trend_feed.h"

#include <QMetaMethod>

namespace navix {

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
    // Every poll of every editor comes here; the local time it is stamped with costs a look at the time
    // zone, which nobody needs while no trend of the module is open.
    static const QMetaMethod sampled = QMetaMethod::fromSignal(&TrendFeed::Sampled);
    if (!isSignalConnected(sampled))
        return;
    emit Sampled({QDateTime::currentDateTime(), values});
}

void TrendFeed::Take(const ModuleValues &values)
{
    SetTitle(values.model + " (" + QString::fromLatin1(values.address) + ")");
    Describe(values.channels, values.unit);
    Record(values.values);
}

} // namespace navix
