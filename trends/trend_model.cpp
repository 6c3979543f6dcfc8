#include "trend_model.h"

#include <QTimeZone>

#include <algorithm>

namespace navix {

namespace {
constexpr int SmallestLimit = 4;

// Appends the lowest and highest value of a slice in the order they came.
void AppendExtremes(QList<QPointF> &run, const QPointF &low, const QPointF &high)
{
    if (low.x() == high.x()) {
        run.append(low);
    } else if (low.x() < high.x()) {
        run.append(low);
        run.append(high);
    } else {
        run.append(high);
        run.append(low);
    }
}

QList<QPointF> AsSteps(const QList<QPointF> &run)
{
    QList<QPointF> steps;
    steps.reserve(run.size() * 2);
    for (qsizetype i = 0; i < run.size(); ++i) {
        if (i > 0)
            steps.append({run[i].x(), run[i - 1].y()});
        steps.append(run[i]);
    }
    return steps;
}
} // namespace

TrendModel::TrendModel(int sampleLimit) : sampleLimit(std::max(sampleLimit, SmallestLimit)) {}

void TrendModel::SetChannels(const QList<TrendChannel> &newChannels)
{
    channels = newChannels;
    columns.resize(channels.size(), std::vector<double>(times.size(), LostValue));
}

void TrendModel::Append(const TrendSample &sample)
{
    if (SampleCount() >= sampleLimit)
        Thin();
    if (sample.values.size() > ChannelCount()) {
        QList<TrendChannel> wider = channels;
        while (wider.size() < sample.values.size())
            wider.append({QString::number(wider.size() + 1)});
        SetChannels(wider);
    }
    times.push_back(sample.time.toMSecsSinceEpoch());
    offsets.push_back(sample.time.offsetFromUtc());
    for (int channel = 0; channel < ChannelCount(); ++channel)
        columns[channel].push_back(sample.values.value(channel, LostValue));
}

void TrendModel::Clear()
{
    times.clear();
    offsets.clear();
    for (std::vector<double> &column : columns)
        column.clear();
}

void TrendModel::Thin()
{
    const std::size_t half = times.size() / 2;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < times.size(); ++i) {
        const bool pairStart = i < half && i % 2 == 0;
        if (i < half && !pairStart)
            continue;
        times[kept] = times[i];
        offsets[kept] = offsets[i];
        for (std::vector<double> &column : columns) {
            double value = column[i];
            if (pairStart && i + 1 < half && IsLost(column[i + 1]))
                value = LostValue;
            column[kept] = value;
        }
        ++kept;
    }
    times.resize(kept);
    offsets.resize(kept);
    for (std::vector<double> &column : columns)
        column.resize(kept);
}

QDateTime TrendModel::DateTimeAt(int index) const
{
    return QDateTime::fromMSecsSinceEpoch(times[index], QTimeZone(offsets[index]));
}

TrendSample TrendModel::SampleAt(int index) const
{
    TrendSample sample{DateTimeAt(index), {}};
    for (const std::vector<double> &column : columns)
        sample.values.append(column[index]);
    return sample;
}

int TrendModel::IndexAtOrAfter(qint64 time) const
{
    return static_cast<int>(std::lower_bound(times.begin(), times.end(), time) - times.begin());
}

QList<QList<QPointF>> TrendModel::Runs(int channel, qint64 from, qint64 to, int maxPoints) const
{
    QList<QList<QPointF>> runs;
    if (channel < 0 || channel >= ChannelCount())
        return runs;
    const std::vector<double> &column = columns[channel];
    const int first = IndexAtOrAfter(from);
    const int end = IndexAtOrAfter(to + 1);
    const int count = end - first;
    const int slices = std::max(1, maxPoints / 2);
    const bool decimate = count > maxPoints;

    QList<QPointF> run;
    auto closeRun = [&] {
        if (!run.isEmpty())
            runs.append(channels[channel].steps ? AsSteps(run) : run);
        run.clear();
    };
    int index = first;
    for (int slice = 0; index < end; ++slice) {
        const int sliceEnd =
            decimate ? first + static_cast<int>(qint64(count) * (slice + 1) / slices) : index + 1;
        bool any = false;
        QPointF low, high;
        for (; index < sliceEnd; ++index) {
            const double value = column[index];
            if (IsLost(value)) {
                if (any)
                    AppendExtremes(run, low, high);
                any = false;
                closeRun();
                continue;
            }
            const QPointF point(static_cast<double>(times[index]), value);
            if (!any || value < low.y())
                low = point;
            if (!any || value > high.y())
                high = point;
            any = true;
        }
        if (any)
            AppendExtremes(run, low, high);
    }
    closeRun();
    return runs;
}

bool TrendModel::ValueRange(const QList<bool> &shown, qint64 from, qint64 to, double &low, double &high) const
{
    bool any = false;
    const int first = IndexAtOrAfter(from);
    const int end = IndexAtOrAfter(to + 1);
    for (int channel = 0; channel < ChannelCount(); ++channel) {
        if (!shown.value(channel, true))
            continue;
        for (int index = first; index < end; ++index) {
            const double value = columns[channel][index];
            if (IsLost(value))
                continue;
            low = any ? std::min(low, value) : value;
            high = any ? std::max(high, value) : value;
            any = true;
        }
    }
    return any;
}

std::size_t TrendModel::MemoryBytes() const
{
    std::size_t bytes = times.capacity() * sizeof(qint64) + offsets.capacity() * sizeof(int);
    for (const std::vector<double> &column : columns)
        bytes += column.capacity() * sizeof(double);
    return bytes;
}

} // namespace navix
