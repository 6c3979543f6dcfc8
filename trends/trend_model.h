#pragma once
// The samples of one trend, without any widget: a time stamp per poll and a value per channel, bounded in
// size. When the bound is reached the older half is thinned to every second sample (a lost value in a pair
// stays lost, so no gap disappears), so a day of polling keeps its whole span at a coarser grain in the
// past and the full grain of the recent hours, in a memory that does not grow. Drawing takes decimated runs
// between the gaps, so the plot's cost follows its width, not the number of samples.

#include "workspace/trend_feed.h"

#include <QList>
#include <QPointF>

#include <cstddef>
#include <vector>

namespace navix {

class TrendModel
{
public:
    static constexpr int DefaultSampleLimit = 100000;

    explicit TrendModel(int sampleLimit = DefaultSampleLimit);

    // The channels as the feed describes them now; the samples so far keep their values by position, a
    // channel new to them reads as lost there.
    void SetChannels(const QList<TrendChannel> &newChannels);
    const QList<TrendChannel> &Channels() const { return channels; }
    int ChannelCount() const { return static_cast<int>(channels.size()); }

    void Append(const TrendSample &sample);
    void Clear();

    int SampleCount() const { return static_cast<int>(times.size()); }
    int SampleLimit() const { return sampleLimit; }
    // Milliseconds since the epoch and the offset from UTC the sample was taken in.
    qint64 TimeAt(int index) const { return times[index]; }
    QDateTime DateTimeAt(int index) const;
    double ValueAt(int channel, int index) const { return columns[channel][index]; }
    TrendSample SampleAt(int index) const;

    // The runs of a channel's values between from and to (milliseconds since the epoch), split at every lost
    // value, as points (time in ms, value). More than maxPoints samples are reduced to the lowest and highest
    // value of each of maxPoints / 2 slices. A stepping channel holds each value until the next one.
    QList<QList<QPointF>> Runs(int channel, qint64 from, qint64 to, int maxPoints) const;
    // The lowest and highest value between from and to over the channels shown; none when all are lost.
    bool ValueRange(const QList<bool> &shown, qint64 from, qint64 to, double &low, double &high) const;

    // The bytes the samples hold.
    std::size_t MemoryBytes() const;

private:
    int IndexAtOrAfter(qint64 time) const;
    void Thin();

    int sampleLimit;
    QList<TrendChannel> channels;
    std::vector<qint64> times;
    std::vector<int> offsets; // seconds from UTC, so a file shows the local time the sample was taken in
    std::vector<std::vector<double>> columns;
};

} // namespace navix
